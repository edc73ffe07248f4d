#pragma once

// One part of a JPEG at (up to) full resolution, without decoding the rest: the rows above the
// part are only entropy-decoded and skipped, the columns beside it never reach the inverse DCT,
// and decoding stops at the part's last row. This is what makes 100 % of a 48-megapixel photo
// appear in a fraction of a whole decode, in a few megabytes instead of two hundred.

#include "ImageSource.h"
#include "Services/DecodeBudget.h"

#include <QImage>
#include <QRect>

namespace JpegRegion {

// The part `region` of the picture as stored (before any EXIF turn), decoded at `eighths` / 8
// of full size (1 to 16; 8 is full size), so the result is about region × eighths / 8. Null
// when the file is no JPEG libjpeg can read in colour or grey (a CMYK JPEG, for one), or
// claims more than maximumSourcePixels. What it holds while decoding is drawn from `budget`.
// With `grey`, only the brightness is decoded (Format_Grayscale8), in a good part of the time.
QImage
decode(const ImageSource &file, QRect region, int eighths, DecodeBudget &budget, bool grey = false);

constexpr qint64 maximumSourcePixels = qint64(1) << 30;

} // namespace JpegRegion
