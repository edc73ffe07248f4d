#pragma once

// Camera RAW files (DNG, CR2, CR3, NEF, ARW, ORF, RW2, RAF, PEF …) through LibRaw: the preview
// the camera embedded, never a demosaic, which would cost seconds per photo. Each call owns its
// own LibRaw object (the thread-safe build), so concurrent calls share nothing; LibRaw reads the
// descriptor `ImageSource` opened, never the name again.

#include "ImageDecoder.h"

class RawDecoder : public ImageDecoder
{
public:
    // The longest side of `embeddedPreview`.
    static constexpr int previewDimension = 320;

    QSize uprightSize(const ImageSource &file) const override;
    using ImageDecoder::decode;
    QImage
    decode(const ImageSource &file, int maximumPixelDimension, DecodeBudget &budget) const override;
    QImage embeddedPreview(const ImageSource &file) const override;
};
