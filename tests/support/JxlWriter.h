#pragma once

// JPEG XL codestreams written by libjxl's own encoder, for the JPEG XL decoder's tests and the
// tests every decoder shares.

#include <QByteArray>
#include <QImage>

#include <jxl/color_encoding.h>

#include <optional>

namespace JxlWriter {

// A bare codestream (no container) of `picture`, its pixels in `space` (sRGB when none);
// empty when libjxl refuses.
QByteArray encoded(const QImage &picture,
                   int orientation = 1,
                   bool lossless = false,
                   const std::optional<JxlColorEncoding> &space = std::nullopt);

} // namespace JxlWriter
