#include "Photo.h"

#include <QDir>


QString Photo::dimensionsLabel() const
{
    if (!hasDimensions()) {
        return QStringLiteral("\u2014");
    }
    return QString::number(pixelWidth) + QStringLiteral(" \u00D7 ") + QString::number(pixelHeight);
}

double Photo::aspectRatio() const
{
    if (!hasDimensions()) {
        return 1.0;
    }
    return std::max(0.05, double(pixelWidth) / double(pixelHeight));
}

QString Photo::cacheKey() const
{
    return standardizedPath(url) + QLatin1Char('|') + modificationDate.referenceDateText()
           + QLatin1Char('|') + QString::number(byteCount);
}

size_t qHash(const Photo &photo, size_t seed)
{
    return qHashMulti(seed, photo.id, photo.url, photo.filename, photo.modificationDate,
                      photo.byteCount, photo.pixelWidth, photo.pixelHeight);
}

QString standardizedPath(const QUrl &url)
{
    const QString path = url.isLocalFile() ? url.toLocalFile() : url.path();
    return QDir::cleanPath(path);
}

QUrl childURL(const QUrl &folder, const QString &name)
{
    QString path = standardizedPath(folder);
    if (!path.endsWith(QLatin1Char('/'))) {
        path += QLatin1Char('/');
    }
    return QUrl::fromLocalFile(path + name);
}
