#pragma once

// Reads everything the info overlay and the status line show of one photo file, from one
// opening of it: what its camera recorded, through the file's decoder (a JPEG's or TIFF's
// EXIF block, a HEIF file's Exif item, what LibRaw parses of a RAW), and what the file is
// (upright size, bytes, type). Opened the safe way (ImageSource): a FIFO or a link put in the
// photo's place is never waited on or followed.

#include "Models/PhotoInfo.h"

#include <QFuture>

namespace PhotoInfoReader {

// Safe to call from any thread; a file that cannot be opened gives an empty PhotoInfo.
PhotoInfo read(const QString &path);
// read() on a worker thread shared by every caller, so the window's thread never waits on the
// disk: the preview window calls this with the shown photo's path.
QFuture<PhotoInfo> readInBackground(const QString &path);

} // namespace PhotoInfoReader
