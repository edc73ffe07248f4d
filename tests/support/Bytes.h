#pragma once

// Numbers, ISO boxes and JPEG segments written out byte by byte, for files the tests assemble or
// patch.

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

// `jpeg` with `xmp` in an APP1 segment right after its start marker.
inline QByteArray withXmp(const QByteArray &jpeg, const QByteArray &xmp)
{
    const QByteArray payload = QByteArray("http://ns.adobe.com/xap/1.0/", 29) + xmp;
    return jpeg.left(2) + "\xFF\xE1" + number(quint64(payload.size() + 2), 2) + payload +
           jpeg.mid(2);
}

// `jpeg` made a motion photo of the older kind: its XMP says the last `videoLength` bytes of the
// file are its clip (to be appended).
inline QByteArray withMicroVideo(const QByteArray &jpeg, qint64 videoLength)
{
    return withXmp(jpeg, "<x:xmpmeta xmlns:x=\"adobe:ns:meta/\"><rdf:RDF xmlns:rdf=\"http://"
                         "www.w3.org/1999/02/22-rdf-syntax-ns#\"><rdf:Description xmlns:GCamera="
                         "\"http://ns.google.com/photos/1.0/camera/\" GCamera:MicroVideo=\"1\" "
                         "GCamera:MicroVideoOffset=\"" +
                             QByteArray::number(videoLength) + "\"/></rdf:RDF></x:xmpmeta>");
}

} // namespace Bytes
