#pragma once

// Numbers and ISO boxes written out byte by byte, for files the tests assemble or patch.

#include <QByteArray>

#include <algorithm>

namespace Bytes {

// `value` in `bytes` bytes, the most significant first unless `littleEndian`; bytes past the
// eighth (a run of reserved zeros) are zero.
inline QByteArray number(quint64 value, int bytes, bool littleEndian = false)
{
    QByteArray out(bytes, '\0');
    for (int i = 0; i < std::min(bytes, 8); ++i) {
        out[littleEndian ? i : bytes - 1 - i] = char(value >> (8 * i) & 0xff);
    }
    return out;
}

// A box as HEIF and the JPEG XL container frame them: a 32-bit size, the type, the payload.
inline QByteArray box(const char *type, const QByteArray &payload)
{
    return number(quint64(8 + payload.size()), 4) + QByteArray(type, 4) + payload;
}

} // namespace Bytes
