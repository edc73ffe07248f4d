#include "PhotoInfoReader.h"

#include "Decoders/ImageDecoders.h"
#include "Decoders/ImageSource.h"

#include <QMimeDatabase>
#include <QThreadPool>
#include <QtConcurrent/QtConcurrentRun>

namespace PhotoInfoReader {

PhotoInfo read(const QString &path)
{
    const std::optional<ImageSource> file = ImageSource::open(path);
    if (!file) {
        return {};
    }
    const ImageDecoder &decoder = ImageDecoders::forFile(*file);
    PhotoInfo info = decoder.photoInfo(*file);
    const QSize size = decoder.uprightSize(*file);
    if (!size.isEmpty()) {
        info.pixelWidth = size.width();
        info.pixelHeight = size.height();
    }
    info.byteCount = file->size();
    // The type as the file manager names it, in the user's language ("JPEG image").
    info.format = QMimeDatabase().mimeTypeForFile(path).comment();
    return info;
}

QFuture<PhotoInfo> readInBackground(const QString &path)
{
    // Two threads: one slow share cannot hold up every other read, and the reads never take
    // more of the machine than that.
    static QThreadPool pool;
    static const bool configured = [] {
        pool.setMaxThreadCount(2);
        return true;
    }();
    Q_UNUSED(configured);
    return QtConcurrent::run(&pool, [path] { return read(path); });
}

} // namespace PhotoInfoReader
