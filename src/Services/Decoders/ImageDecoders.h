#pragma once

// Picks the decoder for a file by its MIME type (QMimeDatabase: the extension when it is known,
// the content otherwise), as the scanner decides what is a photo: camera RAW (every type that
// inherits image/x-dcraw) goes to LibRaw before Qt's TIFF reader could show a DNG's tiny
// thumbnail blown up; HEIF/HEIC/AVIF to libheif; JPEG XL to libjxl; videos (video/*) to FFmpeg;
// everything else to Qt.

#include "ImageDecoder.h"

class QMimeType;

namespace ImageDecoders {

const ImageDecoder &forMimeType(const QMimeType &type);
// The decoder for an opened file; its verdict per extension is remembered.
const ImageDecoder &forFile(const ImageSource &file);

} // namespace ImageDecoders
