#include "ExifThumbnail.h"

#include <QTransform>

#include <optional>

namespace ExifThumbnail {

namespace {

constexpr int maximumEntries = 1024;
constexpr int maximumSegments = 256;

// A TIFF structure inside the APP1 segment, read in its own byte order.
class Tiff
{
public:
    explicit Tiff(QByteArrayView data)
        : m_data(data)
    {
    }

    bool readHeader(quint32 *firstIfd)
    {
        if (m_data.size() < 8) {
            return false;
        }
        if (m_data[0] == 'I' && m_data[1] == 'I') {
            m_littleEndian = true;
        } else if (m_data[0] != 'M' || m_data[1] != 'M') {
            return false;
        }
        const auto magic = u16(2);
        const auto offset = u32(4);
        if (!magic || *magic != 42 || !offset) {
            return false;
        }
        *firstIfd = *offset;
        return true;
    }

    std::optional<quint16> u16(qint64 at) const { return number<quint16>(at, 2); }
    std::optional<quint32> u32(qint64 at) const { return number<quint32>(at, 4); }
    qint64 size() const { return m_data.size(); }

private:
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
};

struct Ifd
{
    std::optional<quint32> orientation;
    std::optional<quint32> thumbnailOffset;
    std::optional<quint32> thumbnailLength;
    quint32 next = 0;
};

// The entries we need of the IFD at `at`; a SHORT or LONG value held in the entry itself.
std::optional<Ifd> readIfd(const Tiff &tiff, quint32 at)
{
    const std::optional<quint16> count = tiff.u16(at);
    if (!count || *count > maximumEntries) {
        return std::nullopt;
    }
    Ifd ifd;
    for (quint16 i = 0; i < *count; ++i) {
        const qint64 entry = qint64(at) + 2 + qint64(i) * 12;
        const auto tag = tiff.u16(entry);
        const auto type = tiff.u16(entry + 2);
        if (!tag || !type) {
            return std::nullopt;
        }
        std::optional<quint32> value;
        if (*type == 3) { // SHORT
            if (const auto shortValue = tiff.u16(entry + 8)) {
                value = *shortValue;
            }
        } else if (*type == 4) { // LONG
            value = tiff.u32(entry + 8);
        }
        switch (*tag) {
        case 0x0112:
            ifd.orientation = value;
            break;
        case 0x0201:
            ifd.thumbnailOffset = value;
            break;
        case 0x0202:
            ifd.thumbnailLength = value;
            break;
        default:
            break;
        }
    }
    const auto next = tiff.u32(qint64(at) + 2 + qint64(*count) * 12);
    ifd.next = next.value_or(0);
    return ifd;
}

// The start and length of the EXIF APP1 segment's TIFF data in a JPEG head.
std::optional<std::pair<qint64, qint64>> exifSegment(QByteArrayView head)
{
    if (head.size() < 4 || quint8(head[0]) != 0xFF || quint8(head[1]) != 0xD8) {
        return std::nullopt;
    }
    qint64 at = 2;
    for (int segment = 0; segment < maximumSegments; ++segment) {
        while (at < head.size() && quint8(head[at]) == 0xFF) {
            ++at; // fill bytes before a marker
        }
        if (at + 2 >= head.size() || quint8(head[at - 1]) != 0xFF) {
            return std::nullopt;
        }
        const quint8 marker = quint8(head[at]);
        if (marker == 0xDA || marker == 0xD9) {
            return std::nullopt; // image data begins: no EXIF came before it
        }
        const qint64 length = qint64(quint8(head[at + 1])) << 8 | quint8(head[at + 2]);
        if (length < 2 || at + 1 + length > head.size()) {
            return std::nullopt;
        }
        const qint64 payload = at + 3;
        const qint64 payloadLength = length - 2;
        if (marker == 0xE1 && payloadLength > 6 &&
            head.sliced(payload, 6) == QByteArrayView("Exif\0\0", 6)) {
            return std::pair(payload + 6, payloadLength - 6);
        }
        at += 1 + length;
    }
    return std::nullopt;
}

} // namespace

Location locate(QByteArrayView head)
{
    const auto segment = exifSegment(head);
    if (!segment) {
        return {};
    }
    const Tiff tiff(head.sliced(segment->first, segment->second));
    quint32 first = 0;
    Tiff reader = tiff;
    if (!reader.readHeader(&first)) {
        return {};
    }
    const std::optional<Ifd> ifd0 = readIfd(reader, first);
    if (!ifd0 || ifd0->next == 0 || ifd0->next == first) {
        return {};
    }
    const std::optional<Ifd> ifd1 = readIfd(reader, ifd0->next);
    if (!ifd1 || !ifd1->thumbnailOffset || !ifd1->thumbnailLength || *ifd1->thumbnailLength == 0 ||
        qint64(*ifd1->thumbnailOffset) + qint64(*ifd1->thumbnailLength) > reader.size()) {
        return {};
    }
    Location location;
    location.offset = segment->first + *ifd1->thumbnailOffset;
    location.length = *ifd1->thumbnailLength;
    const quint32 orientation = ifd0->orientation.value_or(1);
    location.orientation = orientation >= 1 && orientation <= 8 ? int(orientation) : 1;
    return location;
}

QImage oriented(const QImage &image, int orientation)
{
    QTransform turn;
    switch (orientation) {
    case 2:
        return image.mirrored(true, false);
    case 3:
        turn.rotate(180);
        break;
    case 4:
        return image.mirrored(false, true);
    case 5:
        return image.mirrored(true, false).transformed(QTransform().rotate(270));
    case 6:
        turn.rotate(90);
        break;
    case 7:
        return image.mirrored(true, false).transformed(QTransform().rotate(90));
    case 8:
        turn.rotate(270);
        break;
    default:
        return image;
    }
    return image.transformed(turn);
}

QImage read(QByteArrayView head)
{
    const Location location = locate(head);
    if (!location.isValid()) {
        return {};
    }
    const QByteArrayView data = head.sliced(location.offset, location.length);
    QImage image;
    if (!image.loadFromData(data, "JPEG")) {
        return {};
    }
    return oriented(image, location.orientation);
}

} // namespace ExifThumbnail
