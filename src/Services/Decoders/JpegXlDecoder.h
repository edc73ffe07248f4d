#pragma once

// JPEG XL files through libjxl. Files are read in growing pieces, only as far as libjxl asks:
// the size needs the first bytes, the preview frame the ones after them. Pictures come upright
// from libjxl, which applies the orientation itself. libjxl 0.7 cannot decode at a reduced size,
// so every decode renders the full size (holding that many pixels of the shared budget); a
// thumbnail of an eighth of the photo or less stops after the 1:8 pass, skipping the fine detail
// and the bytes that carry it.
// Holds no state: every call makes its own libjxl decoder, so threads may decode at once.

#include "ImageDecoder.h"

class JpegXlDecoder : public ImageDecoder
{
public:
    // Larger files are not read.
    static constexpr qint64 maximumFileLength = qint64(512) * 1024 * 1024;
    // A header claiming a longer side or more pixels is not believed to be a photo.
    static constexpr int maximumSide = 65535;
    static constexpr qint64 maximumPixels = qint64(1) << 30;
    // No picture with more pixels is decoded: libjxl's own buffers take several times the
    // 4 bytes a pixel of ours needs, on every decoding thread.
    static constexpr qint64 defaultMaximumDecodedPixels = 100'000'000;

    explicit JpegXlDecoder(qint64 maximumDecodedPixels = defaultMaximumDecodedPixels);

    QSize uprightSize(const ImageSource &file) const override;
    using ImageDecoder::decode;
    QImage
    decode(const ImageSource &file, int maximumPixelDimension, DecodeBudget &budget) const override;
    QImage embeddedPreview(const ImageSource &file) const override;

private:
    const qint64 m_maximumDecodedPixels;
};
