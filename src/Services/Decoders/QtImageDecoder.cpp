#include "QtImageDecoder.h"

#include "ExifThumbnail.h"
#include "ImageScaling.h"
#include "JpegRegion.h"
#include "Services/DecodeBudget.h"

#include <QBuffer>
#include <QFile>
#include <QImageReader>

#include <cmath>
#include <mutex>

namespace {

bool hasReaderFor(const QByteArray &suffix)
{
    static const QList<QByteArray> formats = QImageReader::supportedImageFormats();
    return formats.contains(suffix);
}

QSize upright(QImageReader &reader)
{
    // size() and transformation() parse the header only; nothing is decoded or allocated.
    const QSize size = reader.size();
    if (!size.isValid() || size.isEmpty()) {
        return {};
    }
    // Orientations 5 to 8 turn by a quarter.
    return reader.transformation() & QImageIOHandler::TransformationRotate90 ? size.transposed()
                                                                             : size;
}

// Qt's own cap (128 MiB decoded) would refuse a 48-megapixel PNG or WebP outright, so such a
// photo never got a thumbnail. Our own checks bound every decode instead: the caps on the file
// and the header per image, the budget across threads. Raised once and never lowered.
void allowWholeImages()
{
    static std::once_flag once;
    std::call_once(once, [] {
        constexpr int megabytes = int(QtImageDecoder::maximumWholeImagePixels * 4 / (1024 * 1024));
        if (QImageReader::allocationLimit() < megabytes) {
            QImageReader::setAllocationLimit(megabytes);
        }
    });
}

// True when the reader must decode the whole image before it can shrink it. libjpeg scales
// its DCT while decoding; Qt's PNG reader shrinks row by row, but only 8-bit RGB or RGBA
// without interlacing; every other reader, as far as we know, decodes first.
bool decodesWholeImage(QImageReader &reader, const QByteArray &head)
{
    if (!reader.supportsOption(QImageIOHandler::ScaledSize)) {
        return true;
    }
    const QByteArray format = reader.format();
    if (format == "jpeg") {
        return false;
    }
    if (format == "png") {
        // Signature, chunk length, "IHDR", width, height, bit depth, colour type, compression,
        // filter, interlace.
        const bool streamed = head.size() >= 29 && head.sliced(12, 4) == "IHDR" &&
                              head.at(24) == 8 && (head.at(25) == 2 || head.at(25) == 6) &&
                              head.at(28) == 0;
        return !streamed;
    }
    return true;
}

// The descriptor is shared by every read of the file, and a reader through it leaves its offset
// wherever it stopped: a second reader that started there would miss the header, or a TIFF
// its directory.
bool openFromStart(QFile &device, const ImageSource &file)
{
    return device.open(file.descriptor(), QIODevice::ReadOnly, QFileDevice::DontCloseHandle) &&
           device.seek(0);
}

// A whole decode of a deep format (16 bits a channel) holds twice what a 32-bit one does.
qint64 budgetPixels(QSize size, QImage::Format format)
{
    const int bits =
        format == QImage::Format_Invalid ? 32 : QImage::toPixelFormat(format).bitsPerPixel();
    return qint64(size.width()) * size.height() * std::max(1, (bits + 31) / 32);
}

} // namespace

QSize QtImageDecoder::uprightSize(const ImageSource &file) const
{
    // Parsed from the head already in memory: the readers seek back and forth while they probe
    // formats, which costs system calls on a file and nothing here.
    QByteArray head = file.head();
    QBuffer buffer(&head);
    buffer.open(QIODevice::ReadOnly);
    // A JPEG or PNG is read by its own reader; otherwise the extension is tried first, as a
    // hint, and content that does not match it is probed.
    const QByteArray format = file.contentFormat();
    const QByteArray suffix = file.suffix();
    QSize size;
    if (format.isEmpty() && !suffix.isEmpty() && hasReaderFor(suffix)) {
        QImageReader reader(&buffer);
        ImageSource::readerFormat(reader, suffix);
        size = upright(reader);
    }
    if (size.isEmpty()) {
        buffer.seek(0);
        QImageReader reader(&buffer);
        ImageSource::readerFormat(reader, format);
        size = upright(reader);
    }
    if (size.isEmpty() && file.size() > head.size()) {
        // A JPEG whose EXIF block carries a big preview has its frame header further in.
        QFile whole;
        if (openFromStart(whole, file)) {
            QImageReader reader(&whole);
            ImageSource::readerFormat(reader, format);
            size = upright(reader);
        }
    }
    return size;
}

QImage QtImageDecoder::decode(const ImageSource &file,
                              int maximumPixelDimension,
                              DecodeBudget &budget) const
{
    const int bound = std::max(1, maximumPixelDimension);
    QFile device;
    if (file.size() == 0 || !openFromStart(device, file)) {
        return {};
    }
    QImageReader reader(&device);
    ImageSource::readerFormat(reader, file.contentFormat());
    reader.setAutoTransform(true);
    // Smooth scaling from the decoder's nearest DCT size: about the same time as the default
    // nearest-pixel pick, without its jagged edges.
    reader.setQuality(90);
    const QSize stored = reader.size();
    const qint64 storedPixels = qint64(stored.width()) * stored.height();
    if (!stored.isValid() || stored.isEmpty() || storedPixels > maximumSourcePixels) {
        return {};
    }
    // The scaled size applies to the image as stored, before the orientation turns it.
    const bool quarterTurn = reader.transformation() & QImageIOHandler::TransformationRotate90;
    const QSize upright = quarterTurn ? stored.transposed() : stored;
    const QSize target = ImageScaling::bounded(upright, bound);
    if (target != upright) {
        reader.setScaledSize(quarterTurn ? target.transposed() : target);
    }
    if (!decodesWholeImage(reader, file.head())) {
        return ImageScaling::shrunk(reader.read(), bound);
    }
    if (storedPixels > maximumWholeImagePixels) {
        return {};
    }
    allowWholeImages();
    // Only a whole decode is possible: it waits for its share of the pixel budget, so that a
    // few huge PNGs decoding at once cannot exhaust memory.
    const DecodeBudget::Reservation held =
        budget.reserve(budgetPixels(stored, reader.imageFormat()));
    return ImageScaling::shrunk(reader.read(), bound);
}

QImage QtImageDecoder::decodeRegion(const ImageSource &file,
                                    QRect region,
                                    QSize size,
                                    DecodeBudget &budget) const
{
    QByteArray head = file.head();
    QBuffer buffer(&head);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer);
    ImageSource::readerFormat(reader, file.contentFormat());
    const QSize stored = reader.size();
    if (reader.format() != "jpeg" || stored.isEmpty() || region.isEmpty() || size.isEmpty()) {
        return ImageDecoder::decodeRegion(file, region, size, budget);
    }
    const QImageIOHandler::Transformations turn = reader.transformation();
    const QRect part = ImageScaling::storedRect(region, stored, turn);
    // libjpeg scales by eighths while decoding: the smallest that still gives `size`.
    const double ratio = double(size.width()) / region.width();
    const int eighths = std::clamp(int(std::ceil(ratio * 8 - 1e-9)), 1, 8);
    const QImage decoded = JpegRegion::decode(file, part, eighths, budget);
    if (decoded.isNull()) {
        return ImageDecoder::decodeRegion(file, region, size, budget);
    }
    const QImage upright = ImageScaling::turned(decoded, turn);
    return upright.size() == size
               ? upright
               : upright.scaled(size, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
}

QImage QtImageDecoder::embeddedPreview(const ImageSource &file) const
{
    return ExifThumbnail::read(file.head());
}
