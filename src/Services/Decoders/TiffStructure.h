#pragma once

// A TIFF structure held in memory, read in its own byte order: a JPEG's EXIF block, a HEIF
// file's Exif item, the head of a TIFF-based camera RAW. Every offset and count is checked
// against the bytes given, so damaged or hostile input reads as entries missing, never as a
// read out of bounds. Shared by the EXIF thumbnail locator and the EXIF info reader, which
// each follow at most two directories, so a loop between directories costs nothing.

#include <QByteArrayView>

#include <optional>
#include <utility>

class TiffStructure
{
public:
    // More than any real directory holds; the entries past these are never read.
    static constexpr quint32 maximumEntries = 1024;

    struct Entry
    {
        quint16 tag = 0;
        quint16 type = 0;
        quint32 count = 0;
        qint64 at = 0; // of the entry itself
    };

    // The structure in `data`, or nothing when it does not start with a TIFF header.
    static std::optional<TiffStructure> open(QByteArrayView data);
    // The TIFF structure of the EXIF block (APP1) of a JPEG whose first bytes are `head`;
    // `start`, when given, gets where it starts in the head.
    static std::optional<TiffStructure> inJpeg(QByteArrayView head, qint64 *start = nullptr);

    quint32 firstIfd() const { return m_firstIfd; }
    qint64 size() const { return m_data.size(); }

    // Calls `visit(entry)` for each entry of the directory at `offset` that lies in the data,
    // at most maximumEntries of them. Returns the offset of the next directory (0 for none),
    // or nothing when the directory is longer than the data or than maximumEntries.
    template<typename Visit>
    std::optional<quint32> forEachEntry(quint32 offset, Visit visit) const
    {
        const std::optional<quint16> count = u16(offset);
        if (!count) {
            return std::nullopt;
        }
        const quint32 read = std::min<quint32>(*count, maximumEntries);
        for (quint32 i = 0; i < read; ++i) {
            const qint64 at = qint64(offset) + 2 + qint64(i) * 12;
            if (at + 12 > m_data.size()) {
                return std::nullopt;
            }
            visit(Entry{*u16(at), *u16(at + 2), *u32(at + 4), at});
        }
        if (read < *count) {
            return std::nullopt;
        }
        return u32(qint64(offset) + 2 + qint64(*count) * 12);
    }

    // The entry's first value as an unsigned number (BYTE, SHORT, LONG or IFD).
    std::optional<quint32> unsignedValue(const Entry &entry) const;
    // The entry's first value as a fraction (RATIONAL or SRATIONAL): numerator, denominator.
    std::optional<std::pair<qint64, qint64>> fraction(const Entry &entry) const;
    // The bytes of the entry's values (any type); empty when they do not lie in the data.
    QByteArrayView bytes(const Entry &entry) const;

    std::optional<quint16> u16(qint64 at) const { return number<quint16>(at, 2); }
    std::optional<quint32> u32(qint64 at) const { return number<quint32>(at, 4); }

private:
    explicit TiffStructure(QByteArrayView data)
        : m_data(data)
    {
    }

    template<typename T>
    std::optional<T> number(qint64 at, int bytes) const
    {
        if (at < 0 || at > m_data.size() - bytes) {
            return std::nullopt;
        }
        T value = 0;
        for (int i = 0; i < bytes; ++i) {
            const T byte = quint8(m_data[at + (m_littleEndian ? bytes - 1 - i : i)]);
            value = T(value << 8 | byte);
        }
        return value;
    }

    QByteArrayView m_data;
    bool m_littleEndian = false;
    quint32 m_firstIfd = 0;
};
