#pragma once

// Photo-like sample images for the demo collection, the benchmarks and the tests: gradients
// with noise, so they compress like real photos, optionally tagged with an EXIF orientation.

#include <QByteArray>
#include <QDateTime>
#include <QImage>
#include <QString>

namespace SamplePhotos {

// A width × height image: a diagonal gradient with soft shapes and noise, varied by `seed`.
QImage makeImage(int width, int height, quint32 seed);

// JPEG bytes of `image`. An orientation of 1 to 8 adds an EXIF segment carrying that tag.
QByteArray encodeJpeg(const QImage &image, int orientation = 0, int quality = 85);

// Writes the image as JPEG to `path`; false when the file cannot be written.
bool writeJpeg(const QString &path, const QImage &image, int orientation = 0);

// Inserts an EXIF segment with only the orientation tag right after the JPEG's start marker.
QByteArray withExifOrientation(const QByteArray &jpeg, int orientation);
// The same with, when `thumbnail` holds JPEG data, an EXIF thumbnail (IFD1) as cameras store.
QByteArray withExif(const QByteArray &jpeg, int orientation, const QByteArray &thumbnail);
// JPEG bytes as a camera writes them: a 160 × 120 EXIF thumbnail beside the photo.
QByteArray encodeCameraJpeg(const QImage &image, int orientation = 0);

// The EXIF block (a TIFF structure) of a camera's photo taken at `taken` (its clock's date and
// time, to the millisecond, and its offset from UTC), stored with `orientation`: the camera,
// lens and exposure, and as many other entries and as large a maker note as cameras write, so
// that reading it costs what reading a real one does.
QByteArray cameraExif(const QDateTime &taken, int orientation = 1);
// `jpeg` with `tiff` as its EXIF segment (APP1), right after the start marker; unchanged when
// the block does not fit in a segment.
QByteArray withExifBlock(const QByteArray &jpeg, const QByteArray &tiff);

} // namespace SamplePhotos
