#pragma once

// Camera RAW files (DNG, CR2, CR3, NEF, ARW, ORF, RW2, RAF, PEF …) through LibRaw: the preview
// the camera embedded, never a demosaic, which would cost seconds per photo. What the camera
// recorded comes from the file's own TIFF structure where it has one (DNG, CR2, NEF, ARW, PEF:
// sub-seconds, offset and lens included), and from what LibRaw parsed otherwise or where that
// lacks a field (CR3, RAF: the time then to the second, taken as local time). LibRaw's time
// may be a RAW file's DateTime: unlike a JPEG's, no editor rewrites it, so it is the camera's. Each call owns its
// own LibRaw object (the thread-safe build), so concurrent calls share nothing; LibRaw reads the
// descriptor `ImageSource` opened, never the name again.

#include "ImageDecoder.h"

class RawDecoder : public ImageDecoder
{
public:
    // The longest side of `embeddedPreview`.
    static constexpr int previewDimension = 320;

    QSize uprightSize(const ImageSource &file) const override;
    // One LibRaw parse for both.
    Header header(const ImageSource &file) const override;
    PhotoInfo photoInfo(const ImageSource &file) const override;
    using ImageDecoder::decode;
    QImage
    decode(const ImageSource &file, int maximumPixelDimension, DecodeBudget &budget) const override;
    QImage embeddedPreview(const ImageSource &file) const override;
};
