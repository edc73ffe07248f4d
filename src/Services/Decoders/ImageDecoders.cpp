#include "ImageDecoders.h"

#include "HeifDecoder.h"
#include "JpegXlDecoder.h"
#include "QtImageDecoder.h"
#include "RawDecoder.h"
#include "VideoDecoder.h"

#include <QHash>
#include <QMimeDatabase>
#include <QMutex>

namespace ImageDecoders {

namespace {

const QtImageDecoder qtDecoder;
const HeifDecoder heifDecoder;
const RawDecoder rawDecoder;
const JpegXlDecoder jxlDecoder;
const VideoDecoder videoDecoder;

} // namespace

const ImageDecoder &forMimeType(const QMimeType &type)
{
    if (type.inherits(QStringLiteral("image/x-dcraw"))) {
        return rawDecoder;
    }
    if (type.inherits(QStringLiteral("image/heif")) ||
        type.inherits(QStringLiteral("image/avif"))) {
        return heifDecoder;
    }
    if (type.inherits(QStringLiteral("image/jxl"))) {
        return jxlDecoder;
    }
    if (type.name().startsWith(QLatin1String("video/"))) {
        return videoDecoder;
    }
    return qtDecoder;
}

const ImageDecoder &forFile(const ImageSource &file)
{
    static QMutex mutex;
    static QHash<QByteArray, const ImageDecoder *> byExtension;
    const QByteArray suffix = file.suffix();
    if (!suffix.isEmpty()) {
        const QMutexLocker lock(&mutex);
        if (const ImageDecoder *known = byExtension.value(suffix)) {
            return *known;
        }
    }
    const QMimeDatabase database;
    const QString name = QStringLiteral("photo.") + QString::fromLatin1(suffix);
    const QMimeType byName = database.mimeTypeForFile(name, QMimeDatabase::MatchExtension);
    if (!suffix.isEmpty() && !byName.isDefault()) {
        const ImageDecoder &decoder = forMimeType(byName);
        const QMutexLocker lock(&mutex);
        byExtension.insert(suffix, &decoder);
        return decoder;
    }
    // No extension we know: the first bytes decide, and the verdict is not remembered.
    return forMimeType(database.mimeTypeForData(file.head()));
}

} // namespace ImageDecoders
