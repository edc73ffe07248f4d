#include "RawDecoder.h"

#include "ExifThumbnail.h"

#include <QBuffer>
#include <QFile>
#include <QImageReader>

#include <libraw/libraw.h>

#include <cmath>
#include <ctime>
#include <memory>
#include <new>

namespace {

// More than any camera records (the largest multi-shot backs stay under 400 megapixels): a
// header claiming more is damaged or hostile, and nothing is sized by it.
constexpr qint64 maximumPixels = qint64(500) * 1000 * 1000;

// Camera previews stay far below this (a full-size JPEG of a 100-megapixel sensor is a few tens
// of megabytes); LibRaw would allocate whatever a header claims, on every worker at once.
constexpr qint64 maximumPreviewBytes = qint64(128) << 20;

bool believable(qint64 width, qint64 height)
{
    return width > 0 && height > 0 && width * height <= maximumPixels;
}

using ProcessedImage =
    std::unique_ptr<libraw_processed_image_t, decltype(&LibRaw::dcraw_clear_mem)>;

// The file identified by LibRaw (make, sizes, orientation, where the preview lies); nothing
// unpacked yet. Null when LibRaw does not know the file or its sizes are not believable.
std::unique_ptr<LibRaw> openRaw(const ImageSource &file)
{
    // On the heap: a LibRaw object takes three quarters of a megabyte.
    auto raw = std::make_unique<LibRaw>();
    // The default handlers print to stderr; a damaged file is an ordinary event here.
    raw->set_dataerror_handler(nullptr, nullptr);
    raw->set_memerror_handler(nullptr, nullptr);
    // The descriptor ImageSource opened, not the name: a link or a file swapped in afterwards
    // is never read.
    if (raw->open_file(QFile::encodeName(file.procPath()).constData()) != LIBRAW_SUCCESS) {
        return nullptr;
    }
    const libraw_image_sizes_t &sizes = raw->imgdata.sizes;
    if (!believable(sizes.raw_width, sizes.raw_height) || !believable(sizes.width, sizes.height)) {
        return nullptr;
    }
    return raw;
}

// LibRaw's flip keeps dcraw's bits (4 swaps rows and columns, 2 mirrors the rows, 1 the
// columns); the EXIF orientation that turns a picture the same way.
int exifOrientation(int flip)
{
    if (flip < 0 || flip > 7) {
        return 1;
    }
    return "12435867"[flip] - '0';
}

QSize fitted(QSize size, int maximumPixelDimension)
{
    if (qMax(size.width(), size.height()) <= maximumPixelDimension) {
        return size;
    }
    return size.scaled(maximumPixelDimension, maximumPixelDimension, Qt::KeepAspectRatio)
        .expandedTo(QSize(1, 1));
}

QImage decodeJpeg(const libraw_processed_image_t &jpeg, int maximumPixelDimension)
{
    QByteArray data = QByteArray::fromRawData(reinterpret_cast<const char *>(jpeg.data),
                                              qsizetype(jpeg.data_size));
    QBuffer buffer(&data);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer);
    ImageSource::readerFormat(reader, "jpeg");
    // LibRaw writes its flip into the JPEG it hands back as an EXIF orientation, and a camera's
    // own preview may carry one too: the picture is turned once, by LibRaw's flip, whatever
    // kind of preview the file holds.
    reader.setAutoTransform(false);
    const QSize size = reader.size();
    if (!believable(size.width(), size.height())) {
        return {};
    }
    // The JPEG reader scales while decoding (DCT scaling): a cell never pays for the full size.
    if (const QSize scaled = fitted(size, maximumPixelDimension); scaled != size) {
        reader.setScaledSize(scaled);
    }
    return reader.read();
}

QImage decodeBitmap(const libraw_processed_image_t &bitmap, int maximumPixelDimension)
{
    if (bitmap.bits != 8 || (bitmap.colors != 1 && bitmap.colors != 3)) {
        return {};
    }
    const qint64 lineLength = qint64(bitmap.width) * bitmap.colors;
    if (!believable(bitmap.width, bitmap.height) ||
        lineLength * bitmap.height > qint64(bitmap.data_size)) {
        return {};
    }
    const QImage wrapped(bitmap.data, bitmap.width, bitmap.height, qsizetype(lineLength),
                         bitmap.colors == 3 ? QImage::Format_RGB888 : QImage::Format_Grayscale8);
    const QSize size = fitted(wrapped.size(), maximumPixelDimension);
    // Either way a copy: LibRaw's buffer is freed when this returns.
    return size == wrapped.size()
               ? wrapped.copy()
               : wrapped.scaled(size, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
}

// The largest picture the camera embedded, upright, its longest side at most
// `maximumPixelDimension`; null when there is none or it cannot be read.
QImage readPreview(const ImageSource &file, int maximumPixelDimension)
{
    if (maximumPixelDimension < 1) {
        return {};
    }
    const std::unique_ptr<LibRaw> raw = openRaw(file);
    if (!raw) {
        return {};
    }
    const libraw_thumbnail_t &thumbnail = raw->imgdata.thumbnail;
    // thumbOK: the preview lies wholly inside the file, and is not too large. LibRaw does not
    // check what it reads, so a preview cut short would otherwise reach the decoder with a tail
    // of whatever the heap held.
    if (!believable(thumbnail.twidth, thumbnail.theight) || !raw->thumbOK(maximumPreviewBytes) ||
        raw->unpack_thumb() != LIBRAW_SUCCESS) {
        return {};
    }
    int error = LIBRAW_SUCCESS;
    const ProcessedImage preview(raw->dcraw_make_mem_thumb(&error), &LibRaw::dcraw_clear_mem);
    if (!preview || error != LIBRAW_SUCCESS) {
        return {};
    }
    QImage image;
    switch (preview->type) {
    case LIBRAW_IMAGE_JPEG:
        image = decodeJpeg(*preview, maximumPixelDimension);
        break;
    case LIBRAW_IMAGE_BITMAP:
        image = decodeBitmap(*preview, maximumPixelDimension);
        break;
    default:
        break;
    }
    if (image.isNull()) {
        return {};
    }
    return ExifThumbnail::oriented(image, exifOrientation(raw->imgdata.sizes.flip));
}

// The size LibRaw's own output would have: non-square pixels stretched, Fuji's diagonal
// sensor turned, the flip applied.
QSize uprightSizeOf(LibRaw &raw)
{
    if (raw.adjust_sizes_info_only() != LIBRAW_SUCCESS) {
        return {};
    }
    const libraw_image_sizes_t &sizes = raw.imgdata.sizes;
    if (!believable(sizes.iwidth, sizes.iheight)) {
        return {};
    }
    return QSize(sizes.iwidth, sizes.iheight);
}

// LibRaw's time stamp: the camera's clock read as local time (mktime), so turned back the same
// way; whole seconds, no offset. 0 when the file has none.
std::optional<CaptureTime> captureTimeOf(const LibRaw &raw)
{
    const time_t stamp = raw.imgdata.other.timestamp;
    tm local{};
    if (stamp <= 0 || !localtime_r(&stamp, &local)) {
        return std::nullopt;
    }
    return CaptureTime::make(QDate(local.tm_year + 1900, local.tm_mon + 1, local.tm_mday),
                             QTime(local.tm_hour, local.tm_min, local.tm_sec));
}

// LibRaw's fixed-size text fields, which it fills from the file without promising a NUL.
template<std::size_t size>
QString textOf(const char (&field)[size])
{
    return ExifInfo::text(QByteArrayView(field, qsizetype(qstrnlen(field, size))));
}

// What LibRaw parsed, for the fields the TIFF structure did not give.
void fillFrom(const LibRaw &raw, PhotoInfo &info)
{
    const libraw_iparams_t &camera = raw.imgdata.idata;
    const libraw_imgother_t &shot = raw.imgdata.other;
    if (!info.captureTime) {
        info.captureTime = captureTimeOf(raw);
    }
    if (info.make.isEmpty() && info.model.isEmpty()) {
        info.make = textOf(camera.make);
        info.model = textOf(camera.model);
    }
    if (info.bodySerialNumber.isEmpty()) {
        info.bodySerialNumber = textOf(raw.imgdata.shootinginfo.BodySerial);
    }
    if (info.lensModel.isEmpty()) {
        info.lensMake = textOf(raw.imgdata.lens.LensMake);
        info.lensModel = textOf(raw.imgdata.lens.Lens);
    }
    // LibRaw leaves 0 where it found nothing.
    const auto known = [](float value) {
        return value > 0 ? std::optional<double>(value) : std::nullopt;
    };
    info.focalLength = info.focalLength ? info.focalLength : known(shot.focal_len);
    info.fNumber = info.fNumber ? info.fNumber : known(shot.aperture);
    info.exposureTime = info.exposureTime ? info.exposureTime : known(shot.shutter);
    if (!info.iso && shot.iso_speed >= 1 && shot.iso_speed <= 1e7) {
        info.iso = quint32(std::lround(shot.iso_speed));
    }
    ExifInfo::keepSane(info);
}

} // namespace

QSize RawDecoder::uprightSize(const ImageSource &file) const
{
    try {
        const std::unique_ptr<LibRaw> raw = openRaw(file);
        return raw ? uprightSizeOf(*raw) : QSize();
    } catch (const std::bad_alloc &) {
        return {};
    }
}

ImageDecoder::Header RawDecoder::header(const ImageSource &file) const
{
    Header header;
    header.captureTime = ExifInfo::captureTimeFromHead(file.head());
    try {
        const std::unique_ptr<LibRaw> raw = openRaw(file);
        if (raw) {
            if (!header.captureTime) {
                header.captureTime = captureTimeOf(*raw);
            }
            header.uprightSize = uprightSizeOf(*raw);
        }
    } catch (const std::bad_alloc &) {
        header.uprightSize = {};
    }
    return header;
}

PhotoInfo RawDecoder::photoInfo(const ImageSource &file) const
{
    PhotoInfo info = ExifInfo::fromHead(file.head());
    try {
        if (const std::unique_ptr<LibRaw> raw = openRaw(file)) {
            fillFrom(*raw, info);
        }
    } catch (const std::bad_alloc &) {
    }
    return info;
}

QImage
RawDecoder::decode(const ImageSource &file, int maximumPixelDimension, DecodeBudget &budget) const
{
    Q_UNUSED(budget); // previews decode shrunk, never whole
    try {
        return readPreview(file, maximumPixelDimension);
    } catch (const std::bad_alloc &) {
        return {};
    }
}

QImage RawDecoder::embeddedPreview(const ImageSource &file) const
{
    try {
        return readPreview(file, previewDimension);
    } catch (const std::bad_alloc &) {
        return {};
    }
}
