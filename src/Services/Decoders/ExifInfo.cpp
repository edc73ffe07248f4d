#include "ExifInfo.h"

#include "TiffStructure.h"

#include <algorithm>

namespace ExifInfo {

namespace {

enum Tag : quint16 {
    make = 0x010F,
    model = 0x0110,
    orientation = 0x0112,
    exifIfd = 0x8769,
    exposureTime = 0x829A,
    fNumber = 0x829D,
    photographicSensitivity = 0x8827,
    recommendedExposureIndex = 0x8832,
    isoSpeed = 0x8833,
    dateTimeOriginal = 0x9003,
    dateTimeDigitized = 0x9004,
    offsetTimeOriginal = 0x9011,
    offsetTimeDigitized = 0x9012,
    exposureBias = 0x9204,
    focalLength = 0x920A,
    subjectArea = 0x9214,
    subSecTimeOriginal = 0x9291,
    subSecTimeDigitized = 0x9292,
    pixelXDimension = 0xA002,
    pixelYDimension = 0xA003,
    subjectLocation = 0xA214,
    bodySerialNumber = 0xA431,
    lensMake = 0xA433,
    lensModel = 0xA434,
};

constexpr qsizetype maximumTextLength = 128;

// Where the fields lie while the directories are walked; turned into values at the end, the
// later directory (the Exif IFD) winning over IFD0 where both hold a tag.
struct Found
{
    QByteArrayView original[3]; // date and time, sub-seconds, offset
    QByteArrayView digitized[3];
    std::optional<TiffStructure::Entry> entries[11];
    QByteArrayView texts[5];
};

enum EntrySlot {
    exposureSlot,
    fNumberSlot,
    isoSlot,
    isoFallbackSlot,
    biasSlot,
    focalSlot,
    orientationSlot,
    subjectAreaSlot,
    subjectLocationSlot,
    pixelWidthSlot,
    pixelHeightSlot,
};
enum TextSlot { makeSlot, modelSlot, serialSlot, lensMakeSlot, lensModelSlot };

// A text value: ASCII as the standard says, but writers also use BYTE and UNDEFINED.
QByteArrayView textBytes(const TiffStructure &tiff, const TiffStructure::Entry &entry)
{
    return entry.type == 1 || entry.type == 2 || entry.type == 7 ? tiff.bytes(entry)
                                                                 : QByteArrayView();
}

void collect(const TiffStructure &tiff,
             const TiffStructure::Entry &entry,
             Found &found,
             bool everything)
{
    switch (entry.tag) {
    case dateTimeOriginal:
        found.original[0] = textBytes(tiff, entry);
        return;
    case subSecTimeOriginal:
        found.original[1] = textBytes(tiff, entry);
        return;
    case offsetTimeOriginal:
        found.original[2] = textBytes(tiff, entry);
        return;
    case dateTimeDigitized:
        found.digitized[0] = textBytes(tiff, entry);
        return;
    case subSecTimeDigitized:
        found.digitized[1] = textBytes(tiff, entry);
        return;
    case offsetTimeDigitized:
        found.digitized[2] = textBytes(tiff, entry);
        return;
    default:
        break;
    }
    if (!everything) {
        return;
    }
    switch (entry.tag) {
    case make:
        found.texts[makeSlot] = textBytes(tiff, entry);
        break;
    case model:
        found.texts[modelSlot] = textBytes(tiff, entry);
        break;
    case bodySerialNumber:
        found.texts[serialSlot] = textBytes(tiff, entry);
        break;
    case lensMake:
        found.texts[lensMakeSlot] = textBytes(tiff, entry);
        break;
    case lensModel:
        found.texts[lensModelSlot] = textBytes(tiff, entry);
        break;
    case exposureTime:
        found.entries[exposureSlot] = entry;
        break;
    case fNumber:
        found.entries[fNumberSlot] = entry;
        break;
    case photographicSensitivity:
        found.entries[isoSlot] = entry;
        break;
    case recommendedExposureIndex:
    case isoSpeed:
        found.entries[isoFallbackSlot] = entry;
        break;
    case exposureBias:
        found.entries[biasSlot] = entry;
        break;
    case focalLength:
        found.entries[focalSlot] = entry;
        break;
    case orientation:
        found.entries[orientationSlot] = entry;
        break;
    case subjectArea:
        found.entries[subjectAreaSlot] = entry;
        break;
    case subjectLocation:
        found.entries[subjectLocationSlot] = entry;
        break;
    case pixelXDimension:
        found.entries[pixelWidthSlot] = entry;
        break;
    case pixelYDimension:
        found.entries[pixelHeightSlot] = entry;
        break;
    default:
        break;
    }
}

// Walks IFD0 and the Exif IFD it points to: two directories at most, so a pointer back to
// IFD0 (or to itself) cannot make a loop.
Found walk(const TiffStructure &tiff, bool everything)
{
    Found found;
    const quint32 first = tiff.firstIfd();
    std::optional<quint32> exif;
    tiff.forEachEntry(first, [&](const TiffStructure::Entry &entry) {
        if (entry.tag == exifIfd) {
            exif = tiff.unsignedValue(entry);
        } else {
            collect(tiff, entry, found, everything);
        }
    });
    if (exif && *exif != first) {
        tiff.forEachEntry(*exif, [&](const TiffStructure::Entry &entry) {
            collect(tiff, entry, found, everything);
        });
    }
    return found;
}

std::optional<CaptureTime> captureTimeOf(const Found &found)
{
    if (std::optional<CaptureTime> original =
            parseCaptureTime(found.original[0], found.original[1], found.original[2])) {
        return original;
    }
    return parseCaptureTime(found.digitized[0], found.digitized[1], found.digitized[2]);
}

// The text up to its first NUL, without the spaces that pad it.
QByteArrayView trimmed(QByteArrayView bytes)
{
    if (const qsizetype nul = bytes.indexOf('\0'); nul >= 0) {
        bytes = bytes.first(nul);
    }
    while (!bytes.isEmpty() && bytes.front() == ' ') {
        bytes = bytes.sliced(1);
    }
    while (!bytes.isEmpty() && bytes.back() == ' ') {
        bytes.chop(1);
    }
    return bytes;
}

bool allDigits(QByteArrayView bytes)
{
    return !bytes.isEmpty() &&
           std::all_of(bytes.begin(), bytes.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// The decimal number in `bytes` (a few characters), which must be all digits.
std::optional<int> digits(QByteArrayView bytes)
{
    if (!allDigits(bytes)) {
        return std::nullopt;
    }
    int value = 0;
    for (const char c : bytes) {
        value = value * 10 + (c - '0');
    }
    return value;
}

std::optional<double> ratio(const TiffStructure &tiff,
                            const std::optional<TiffStructure::Entry> &entry)
{
    if (!entry) {
        return std::nullopt;
    }
    const std::optional<std::pair<qint64, qint64>> value = tiff.fraction(*entry);
    if (!value || value->second == 0) {
        return std::nullopt;
    }
    return double(value->first) / double(value->second);
}

// The `index`th value of a SHORT or LONG entry: in the entry when all its values fit in four
// bytes, where the entry points otherwise.
std::optional<quint32>
unsignedAt(const TiffStructure &tiff, const TiffStructure::Entry &entry, quint32 index)
{
    const int size = entry.type == 3 ? 2 : entry.type == 4 ? 4 : 0;
    if (size == 0 || index >= entry.count) {
        return std::nullopt;
    }
    qint64 at = entry.at + 8;
    if (qint64(entry.count) * size > 4) {
        const std::optional<quint32> offset = tiff.u32(at);
        if (!offset) {
            return std::nullopt;
        }
        at = *offset;
    }
    at += qint64(index) * size;
    return size == 2 ? std::optional<quint32>(tiff.u16(at)) : tiff.u32(at);
}

// The first two values of an entry holding `least` to `most` of them: a point. Like every
// other field, none when the entry's values run past the data.
std::optional<std::pair<quint32, quint32>> pointOf(const TiffStructure &tiff,
                                                   const std::optional<TiffStructure::Entry> &entry,
                                                   quint32 least,
                                                   quint32 most)
{
    if (!entry || entry->count < least || entry->count > most || tiff.bytes(*entry).isEmpty()) {
        return std::nullopt;
    }
    const std::optional<quint32> x = unsignedAt(tiff, *entry, 0);
    const std::optional<quint32> y = unsignedAt(tiff, *entry, 1);
    return x && y ? std::optional(std::pair(*x, *y)) : std::nullopt;
}

// A point of the picture as stored (0..1 across and down) where it shows once the picture is
// turned upright. An orientation names where the stored first row and first column show: 6
// puts the first row at the right and the first column at the top, a quarter turn clockwise.
QPointF upright(double u, double v, int orientation)
{
    switch (orientation) {
    case 2: // mirrored
        return {1 - u, v};
    case 3: // half a turn
        return {1 - u, 1 - v};
    case 4: // flipped
        return {u, 1 - v};
    case 5: // mirrored, a quarter turn anticlockwise
        return {v, u};
    case 6: // a quarter turn clockwise
        return {1 - v, u};
    case 7: // mirrored, a quarter turn clockwise
        return {1 - v, 1 - u};
    case 8: // a quarter turn anticlockwise
        return {v, 1 - u};
    default:
        return {u, v};
    }
}

// Where the camera focused: the subject area (a point, or the centre of a circle or a
// rectangle), else the subject location, in pixels of the picture as stored. The pixel
// dimensions recorded beside them make it a fraction of the picture; without them it cannot.
std::optional<QPointF> focusPointOf(const TiffStructure &tiff, const Found &found, int orientation)
{
    std::optional<std::pair<quint32, quint32>> point =
        pointOf(tiff, found.entries[subjectAreaSlot], 2, 4);
    if (!point) {
        point = pointOf(tiff, found.entries[subjectLocationSlot], 2, 2);
    }
    const auto dimension = [&tiff](const std::optional<TiffStructure::Entry> &entry) {
        return entry ? tiff.unsignedValue(*entry) : std::nullopt;
    };
    const std::optional<quint32> width = dimension(found.entries[pixelWidthSlot]);
    const std::optional<quint32> height = dimension(found.entries[pixelHeightSlot]);
    if (!point || !width || !height || point->first >= *width || point->second >= *height) {
        return std::nullopt;
    }
    // The centre of the pixel named, so that a mirrored picture's point is the mirrored pixel.
    return upright((point->first + 0.5) / *width, (point->second + 0.5) / *height, orientation);
}

PhotoInfo infoOf(const TiffStructure &tiff)
{
    const Found found = walk(tiff, true);
    PhotoInfo info;
    info.captureTime = captureTimeOf(found);
    info.make = text(found.texts[makeSlot]);
    info.model = text(found.texts[modelSlot]);
    info.bodySerialNumber = text(found.texts[serialSlot]);
    info.lensMake = text(found.texts[lensMakeSlot]);
    info.lensModel = text(found.texts[lensModelSlot]);
    info.focalLength = ratio(tiff, found.entries[focalSlot]);
    info.fNumber = ratio(tiff, found.entries[fNumberSlot]);
    info.exposureTime = ratio(tiff, found.entries[exposureSlot]);
    info.exposureBias = ratio(tiff, found.entries[biasSlot]);
    const auto unsignedValue = [&tiff](const std::optional<TiffStructure::Entry> &entry) {
        return entry ? tiff.unsignedValue(*entry) : std::nullopt;
    };
    // A SHORT cannot hold an ISO above 65535: cameras then write 65535 and the real value in a
    // LONG of its own.
    info.iso = unsignedValue(found.entries[isoSlot]);
    if (!info.iso || *info.iso == 65535) {
        if (const std::optional<quint32> wide = unsignedValue(found.entries[isoFallbackSlot])) {
            info.iso = wide;
        }
    }
    if (const std::optional<quint32> turn = unsignedValue(found.entries[orientationSlot])) {
        info.orientation = int(std::min<quint32>(*turn, 9));
    }
    // An orientation that cannot be turns nothing, as it turns nothing when the picture shows.
    info.focusPoint = focusPointOf(tiff, found, info.orientation.value_or(1));
    keepSane(info);
    return info;
}

// The TIFF data of a HEIF Exif item.
QByteArrayView tiffOfHeifItem(QByteArrayView item)
{
    if (item.size() < 4) {
        return {};
    }
    const quint32 skip = quint32(quint8(item[0])) << 24 | quint32(quint8(item[1])) << 16 |
                         quint32(quint8(item[2])) << 8 | quint32(quint8(item[3]));
    if (skip > quint32(item.size() - 4)) {
        return {};
    }
    return item.sliced(4 + skip);
}

std::optional<TiffStructure> tiffOfHead(QByteArrayView head)
{
    if (head.size() >= 2 && quint8(head[0]) == 0xFF && quint8(head[1]) == 0xD8) {
        return TiffStructure::inJpeg(head);
    }
    return TiffStructure::open(head);
}

} // namespace

void keepSane(PhotoInfo &info)
{
    // Bounds wider than any real camera's, so only nonsense is left out: no lens is longer
    // than 5 m, no exposure is shorter than a microsecond or longer than a day. NaN fails
    // every comparison and goes too.
    const auto keep = [](std::optional<double> &value, double least, double most) {
        if (value && !(*value >= least && *value <= most)) {
            value.reset();
        }
    };
    keep(info.focalLength, 0.1, 5000);
    keep(info.fNumber, 0.5, 1024);
    keep(info.exposureTime, 1e-6, 86400);
    keep(info.exposureBias, -20, 20);
    if (info.iso && (*info.iso < 1 || *info.iso > 10'000'000)) {
        info.iso.reset();
    }
    if (info.orientation && (*info.orientation < 1 || *info.orientation > 8)) {
        info.orientation.reset();
    }
    const auto inside = [](double fraction) { return fraction >= 0 && fraction <= 1; };
    if (info.focusPoint && !(inside(info.focusPoint->x()) && inside(info.focusPoint->y()))) {
        info.focusPoint.reset();
    }
}

std::optional<CaptureTime>
parseCaptureTime(QByteArrayView dateTime, QByteArrayView subSeconds, QByteArrayView offset)
{
    // "YYYY:MM:DD HH:MM:SS"; unknown parts are written as spaces, which fail as digits. Some
    // writers separate the date with dashes or put a T before the time.
    const QByteArrayView text = trimmed(dateTime);
    if (text.size() != 19 || (text[4] != ':' && text[4] != '-') || text[7] != text[4] ||
        (text[10] != ' ' && text[10] != 'T') || text[13] != ':' || text[16] != ':') {
        return std::nullopt;
    }
    const auto year = digits(text.sliced(0, 4));
    const auto month = digits(text.sliced(5, 2));
    const auto day = digits(text.sliced(8, 2));
    const auto hour = digits(text.sliced(11, 2));
    const auto minute = digits(text.sliced(14, 2));
    const auto second = digits(text.sliced(17, 2));
    if (!year || !month || !day || !hour || !minute || !second || *year < 1800) {
        return std::nullopt;
    }
    // QDate and QTime refuse the thirteenth month, the 30th of February and the 61st second.
    const QDate date(*year, *month, *day);
    const QTime time(*hour, *minute, *second);

    // Sub-seconds: the digits of a decimal fraction ("25" is a quarter), nanoseconds kept.
    qint32 nanoseconds = 0;
    const QByteArrayView fraction = trimmed(subSeconds);
    if (allDigits(fraction)) {
        qint32 scale = 100'000'000;
        for (qsizetype i = 0; i < fraction.size() && scale > 0; ++i, scale /= 10) {
            nanoseconds += (fraction[i] - '0') * scale;
        }
    }

    // The offset: "+HH:MM" or "-HH:MM", within the ±14 hours of the world's time zones.
    std::optional<qint16> offsetMinutes;
    const QByteArrayView zone = trimmed(offset);
    if (zone.size() == 6 && (zone[0] == '+' || zone[0] == '-') && zone[3] == ':') {
        const auto hours = digits(zone.sliced(1, 2));
        const auto minutes = digits(zone.sliced(4, 2));
        if (hours && minutes && *minutes < 60 && *hours * 60 + *minutes <= 14 * 60) {
            offsetMinutes = qint16((zone[0] == '-' ? -1 : 1) * (*hours * 60 + *minutes));
        }
    }
    return CaptureTime::make(date, time, nanoseconds, offsetMinutes);
}

QString text(QByteArrayView bytes)
{
    if (const qsizetype nul = bytes.indexOf('\0'); nul >= 0) {
        bytes = bytes.first(nul);
    }
    // Cut at a byte count first: a hostile count may name megabytes of junk.
    const QString decoded =
        QString::fromUtf8(bytes.first(std::min<qsizetype>(bytes.size(), 4 * maximumTextLength)));
    QString kept;
    kept.reserve(decoded.size());
    for (const QChar c : decoded) {
        if (c.isSpace()) {
            kept.append(QLatin1Char(' '));
        } else if (c.isPrint() && c != QChar::ReplacementCharacter) {
            kept.append(c);
        }
    }
    kept = kept.simplified();
    if (kept.size() > maximumTextLength) {
        kept.truncate(maximumTextLength);
        kept = kept.trimmed();
    }
    return kept;
}

PhotoInfo fromTiff(QByteArrayView tiff)
{
    const std::optional<TiffStructure> structure = TiffStructure::open(tiff);
    return structure ? infoOf(*structure) : PhotoInfo();
}

PhotoInfo fromHeifItem(QByteArrayView item)
{
    return fromTiff(tiffOfHeifItem(item));
}

PhotoInfo fromHead(QByteArrayView head)
{
    const std::optional<TiffStructure> structure = tiffOfHead(head);
    return structure ? infoOf(*structure) : PhotoInfo();
}

std::optional<CaptureTime> captureTimeFromTiff(QByteArrayView tiff)
{
    const std::optional<TiffStructure> structure = TiffStructure::open(tiff);
    return structure ? captureTimeOf(walk(*structure, false)) : std::nullopt;
}

std::optional<CaptureTime> captureTimeFromHeifItem(QByteArrayView item)
{
    return captureTimeFromTiff(tiffOfHeifItem(item));
}

std::optional<CaptureTime> captureTimeFromHead(QByteArrayView head)
{
    const std::optional<TiffStructure> structure = tiffOfHead(head);
    return structure ? captureTimeOf(walk(*structure, false)) : std::nullopt;
}

} // namespace ExifInfo
