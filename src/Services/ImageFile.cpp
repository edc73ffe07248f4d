#include "ImageFile.h"

#include "Services/Decoders/ImageDecoders.h"

ImageFile::Decoded
ImageFile::read(const QString &path, int maximumPixelDimension, DecodeBudget &budget)
{
    const std::optional<ImageSource> file = ImageSource::open(path);
    if (!file) {
        return {};
    }
    const ImageDecoder &decoder = ImageDecoders::forFile(*file);
    Decoded decoded{decoder.decode(*file, std::max(maximumPixelDimension, 1), budget), {}};
    if (!decoded.image.isNull()) {
        decoded.sourceSize = decoder.uprightSize(*file);
    }
    return decoded;
}

QImage ImageFile::readImage(const QString &path, int maximumPixelDimension, DecodeBudget &budget)
{
    const std::optional<ImageSource> file = ImageSource::open(path);
    return file ? ImageDecoders::forFile(*file).decode(*file, std::max(maximumPixelDimension, 1),
                                                       budget)
                : QImage();
}

QImage ImageFile::readRegion(const QString &path, QRect region, QSize size, DecodeBudget &budget)
{
    const std::optional<ImageSource> file = ImageSource::open(path);
    return file ? ImageDecoders::forFile(*file).decodeRegion(*file, region, size, budget)
                : QImage();
}

QImage ImageFile::readEmbeddedPreview(const QString &path)
{
    const std::optional<ImageSource> file = ImageSource::open(path);
    return file ? ImageDecoders::forFile(*file).embeddedPreview(*file) : QImage();
}
