#pragma once

// Read-only lookup in the freedesktop.org thumbnail cache that file managers share
// ($XDG_CACHE_HOME/thumbnails). An entry counts only when its Thumb::URI and Thumb::MTime
// match the file as it is now; this program never writes to that cache.

#include <QImage>
#include <QString>

namespace FreedesktopThumbnails {

// "file://" + the path percent-encoded as GLib encodes it, the text the cache is keyed by.
QString fileUri(const QString &path);
// The cache's root folder: $XDG_CACHE_HOME/thumbnails, or ~/.cache/thumbnails.
QString cacheRoot();
// A valid cached thumbnail of the file at `path` whose longest side is at least
// `neededPixels`, scaled down to that; a null image when there is none.
QImage find(const QString &path, int neededPixels);

} // namespace FreedesktopThumbnails
