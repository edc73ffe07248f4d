#pragma once

// HEIF, HEIC and AVIF files through libheif. The size comes from the box headers alone
// (`HeifBoxes`), because libheif reads the whole file before it answers anything. Pictures
// come upright from libheif's own `irot`/`imir` handling; the EXIF orientation such files
// also carry describes the same turn and is never applied on top. A thumbnail item large
// enough for the request is decoded instead of the full picture: phones store one, and it
// costs milliseconds where the 12-megapixel primary costs over a second.
// Holds no state: every call opens its own libheif context, so threads may decode at once. A
// grid's tiles (phones tile their photos) decode on libheif's own threads while cores are free.

#include "ImageDecoder.h"

class HeifDecoder : public ImageDecoder
{
public:
    // Larger files are not read into memory.
    static constexpr qint64 maximumFileLength = qint64(512) * 1024 * 1024;
    // No side of any item may exceed this (libheif refuses the file while parsing it), and
    // no picture with more pixels is decoded: either would cost gigabytes.
    static constexpr int maximumSide = 32768;
    static constexpr qint64 maximumPixels = qint64(16384) * 16384;

    QSize uprightSize(const ImageSource &file) const override;
    // The size and the Exif item from one read of the boxes.
    Header header(const ImageSource &file) const override;
    PhotoInfo photoInfo(const ImageSource &file) const override;
    using ImageDecoder::decode;
    QImage
    decode(const ImageSource &file, int maximumPixelDimension, DecodeBudget &budget) const override;
    QImage decodeOnTheWay(const ImageSource &file,
                          int maximumPixelDimension,
                          DecodeBudget &budget,
                          const OnTheWay &onTheWay) const override;
    QImage embeddedPreview(const ImageSource &file) const override;
};
