#pragma once

// Pure picture measures for finding bursts (near-identical frames shot one after another) and
// the best frame of each: a difference hash that survives re-compression, small shifts and
// changes of exposure, and a sharpness score. Both read any QImage format and run on the
// background threads for every photo of a folder, so they read scan lines, never pixels one
// call at a time.

#include <QImage>
#include <QPointF>

#include <optional>

namespace ImageFingerprint {

// A 64-bit difference hash: the picture shrunk (area average, not nearest pixel) to a 9 × 8 grey,
// one bit per pair of horizontal neighbours, set where the left one is brighter. 0 for a null
// image.
quint64 differenceHash(const QImage &image);
// Bits in which two hashes differ.
int distance(quint64 a, quint64 b);
// How sharp the picture is: the variance of the Laplacian of its grey, weighted to the centre,
// or to `focus` (0..1 across and down the picture) when the camera recorded where it focused.
// Larger is sharper; comparable between pictures of the same size. 0 for a null or tiny image.
double sharpness(const QImage &image, std::optional<QPointF> focus = std::nullopt);

} // namespace ImageFingerprint
