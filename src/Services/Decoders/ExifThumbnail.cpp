#include "ExifThumbnail.h"

#include "TiffStructure.h"

#include <QTransform>

#include <optional>

namespace ExifThumbnail {

namespace {

struct Ifd
{
    std::optional<quint32> orientation;
    std::optional<quint32> thumbnailOffset;
    std::optional<quint32> thumbnailLength;
    quint32 next = 0;
};

// The entries we need of the IFD at `at`, which must lie whole in the data.
std::optional<Ifd> readIfd(const TiffStructure &tiff, quint32 at)
{
    Ifd ifd;
    const std::optional<quint32> next =
        tiff.forEachEntry(at, [&](const TiffStructure::Entry &entry) {
            switch (entry.tag) {
            case 0x0112:
                ifd.orientation = tiff.unsignedValue(entry);
                break;
            case 0x0201:
                ifd.thumbnailOffset = tiff.unsignedValue(entry);
                break;
            case 0x0202:
                ifd.thumbnailLength = tiff.unsignedValue(entry);
                break;
            default:
                break;
            }
        });
    if (!next) {
        return std::nullopt;
    }
    ifd.next = *next;
    return ifd;
}

} // namespace

Location locate(QByteArrayView head)
{
    qint64 start = 0;
    const std::optional<TiffStructure> tiff = TiffStructure::inJpeg(head, &start);
    if (!tiff) {
        return {};
    }
    const quint32 first = tiff->firstIfd();
    const std::optional<Ifd> ifd0 = readIfd(*tiff, first);
    if (!ifd0 || ifd0->next == 0 || ifd0->next == first) {
        return {};
    }
    const std::optional<Ifd> ifd1 = readIfd(*tiff, ifd0->next);
    if (!ifd1 || !ifd1->thumbnailOffset || !ifd1->thumbnailLength || *ifd1->thumbnailLength == 0 ||
        qint64(*ifd1->thumbnailOffset) + qint64(*ifd1->thumbnailLength) > tiff->size()) {
        return {};
    }
    Location location;
    location.offset = start + *ifd1->thumbnailOffset;
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
