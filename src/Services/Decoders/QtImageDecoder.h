#pragma once

// Every format Qt's image readers handle (JPEG, PNG, WebP, GIF, TIFF, …). JPEG decodes at a
// reduced size through DCT scaling; formats that can only decode at full size are scaled
// afterwards. Sizes come from the header alone, and a JPEG's EXIF thumbnail is its embedded
// preview.

#include "ImageDecoder.h"

class QtImageDecoder : public ImageDecoder
{
public:
    // A header claiming more is refused before any reader sees it: even a downsampling reader
    // allocates buffers in proportion to the claimed width.
    static constexpr qint64 maximumSourcePixels = qint64(1) << 30;
    // A reader that holds the whole image is given at most this many pixels (1 GiB at 32 bits).
    static constexpr qint64 maximumWholeImagePixels = qint64(1) << 28;

    QSize uprightSize(const ImageSource &file) const override;
    using ImageDecoder::decode;
    QImage
    decode(const ImageSource &file, int maximumPixelDimension, DecodeBudget &budget) const override;
    // A JPEG's part is decoded alone (JpegRegion); other formats whole.
    QImage decodeRegion(const ImageSource &file,
                        QRect region,
                        QSize size,
                        DecodeBudget &budget) const override;
    QImage embeddedPreview(const ImageSource &file) const override;
};
