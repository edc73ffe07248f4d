#include "TiffStructure.h"

namespace {

constexpr int maximumSegments = 256;

// Bytes per value of each TIFF type; 0 for types we do not know.
int typeSize(quint16 type)
{
    switch (type) {
    case 1: // BYTE
    case 2: // ASCII
    case 6: // SBYTE
    case 7: // UNDEFINED
        return 1;
    case 3: // SHORT
    case 8: // SSHORT
        return 2;
    case 4:  // LONG
    case 9:  // SLONG
    case 11: // FLOAT
    case 13: // IFD (an offset, as a LONG)
        return 4;
    case 5:  // RATIONAL
    case 10: // SRATIONAL
    case 12: // DOUBLE
        return 8;
    default:
        return 0;
    }
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

std::optional<TiffStructure> TiffStructure::open(QByteArrayView data)
{
    if (data.size() < 8) {
        return std::nullopt;
    }
    TiffStructure tiff(data);
    if (data[0] == 'I' && data[1] == 'I') {
        tiff.m_littleEndian = true;
    } else if (data[0] != 'M' || data[1] != 'M') {
        return std::nullopt;
    }
    const std::optional<quint16> magic = tiff.u16(2);
    const std::optional<quint32> first = tiff.u32(4);
    if (!magic || *magic != 42 || !first) {
        return std::nullopt;
    }
    tiff.m_firstIfd = *first;
    return tiff;
}

std::optional<TiffStructure> TiffStructure::inJpeg(QByteArrayView head, qint64 *start)
{
    const std::optional<std::pair<qint64, qint64>> segment = exifSegment(head);
    if (!segment) {
        return std::nullopt;
    }
    if (start) {
        *start = segment->first;
    }
    return open(head.sliced(segment->first, segment->second));
}

std::optional<quint32> TiffStructure::unsignedValue(const Entry &entry) const
{
    if (entry.count == 0) {
        return std::nullopt;
    }
    switch (entry.type) {
    case 1:
        return entry.at + 8 < m_data.size() ? std::optional<quint32>(quint8(m_data[entry.at + 8]))
                                            : std::nullopt;
    case 3:
        return u16(entry.at + 8);
    case 4:
    case 13: // IFD: the Exif IFD pointer, as some writers type it
        return u32(entry.at + 8);
    default:
        return std::nullopt;
    }
}

std::optional<std::pair<qint64, qint64>> TiffStructure::fraction(const Entry &entry) const
{
    if (entry.count == 0 || (entry.type != 5 && entry.type != 10)) {
        return std::nullopt;
    }
    const std::optional<quint32> at = u32(entry.at + 8); // 8 bytes never fit in the entry
    if (!at) {
        return std::nullopt;
    }
    const std::optional<quint32> numerator = u32(*at);
    const std::optional<quint32> denominator = u32(qint64(*at) + 4);
    if (!numerator || !denominator) {
        return std::nullopt;
    }
    if (entry.type == 10) {
        return std::pair<qint64, qint64>(qint32(*numerator), qint32(*denominator));
    }
    return std::pair<qint64, qint64>(*numerator, *denominator);
}

QByteArrayView TiffStructure::bytes(const Entry &entry) const
{
    // At most 2^32 values of at most 8 bytes: no overflow in 64 bits.
    const qint64 length = qint64(entry.count) * typeSize(entry.type);
    if (length == 0) {
        return {};
    }
    qint64 at = entry.at + 8;
    if (length > 4) {
        const std::optional<quint32> offset = u32(entry.at + 8);
        if (!offset) {
            return {};
        }
        at = *offset;
    }
    if (at < 0 || at > m_data.size() || length > m_data.size() - at) {
        return {};
    }
    return m_data.sliced(at, length);
}
