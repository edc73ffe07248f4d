#pragma once

// Reads what a camera recorded about a photo from its EXIF block: the camera, lens and
// exposure from IFD0 and the Exif IFD, and when it was taken (DateTimeOriginal with its
// sub-seconds and offset; DateTimeDigitized, which a camera writes the same, when that is
// missing; never DateTime, which editors rewrite on every save). Bounded like TiffStructure,
// and it allocates nothing until it makes the texts, so the capture time of a JPEG costs a
// microsecond or two on top of the header read that finds its size.
// Values that cannot be true are left out (see PhotoInfo); the file facts stay empty.
// Where it focused is read from the subject's area or location and turned as the picture is.

#include "Models/PhotoInfo.h"

#include <QByteArrayView>

namespace ExifInfo {

// The TIFF data of an EXIF block.
PhotoInfo fromTiff(QByteArrayView tiff);
// A HEIF file's Exif item: a 4-byte offset to the TIFF header, then the block.
PhotoInfo fromHeifItem(QByteArrayView item);
// The first bytes of a file: a JPEG's EXIF segment, or the file itself when it is a TIFF
// structure (TIFF images, most camera RAW formats).
PhotoInfo fromHead(QByteArrayView head);

// Only the capture time of the same three.
std::optional<CaptureTime> captureTimeFromTiff(QByteArrayView tiff);
std::optional<CaptureTime> captureTimeFromHeifItem(QByteArrayView item);
std::optional<CaptureTime> captureTimeFromHead(QByteArrayView head);

// The EXIF date and time texts as CaptureTime ("2024:05:03 14:22:07", "25", "+02:00"); the
// sub-seconds and offset are dropped when they are not readable, the whole when the date or
// time is not.
std::optional<CaptureTime>
parseCaptureTime(QByteArrayView dateTime, QByteArrayView subSeconds, QByteArrayView offset);
// Drops the values that cannot be true (see PhotoInfo), whoever read them.
void keepSane(PhotoInfo &info);
// An EXIF text (Make, LensModel…): up to its first NUL, printable characters only, white space
// simplified, at most 128 characters.
QString text(QByteArrayView bytes);

} // namespace ExifInfo
