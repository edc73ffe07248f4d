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

QList<QUrl> Photo::memberURLs() const
{
    QList<QUrl> urls{url};
    if (companions.isEmpty()) {
        return urls;
    }
    const QUrl folder = url.adjusted(QUrl::RemoveFilename);
    for (const Companion &companion : companions) {
        urls.append(childURL(folder, companion.filename));
    }
    return urls;
}

QStringList Photo::memberNames() const
{
    QStringList names{filename};
    for (const Companion &companion : companions) {
        names.append(companion.filename);
    }
    return names;
}

void Photo::renameMembers(const QStringList &names)
{
    if (names.size() != companions.size() + 1) {
        return;
    }
    filename = names.first();
    url = childURL(url.adjusted(QUrl::RemoveFilename), filename);
    for (qsizetype i = 0; i < companions.size(); ++i) {
        companions[i].filename = names[i + 1];
    }
}

qint64 Photo::shotByteCount() const
{
    qint64 total = byteCount;
    for (const Companion &companion : companions) {
        total += companion.byteCount;
    }
    return total;
}

QString Photo::companionBadge() const
{
    if (companions.isEmpty()) {
        return {};
    }
    QList<ImageKind> kinds{kind};
    for (const Companion &companion : companions) {
        kinds.append(companion.kind);
    }
    return Companions::badge(memberNames(), kinds);
}

size_t qHash(const Photo &photo, size_t seed)
{
    return qHashMulti(seed, photo.id, photo.url, photo.filename, photo.modificationDate,
                      photo.byteCount, photo.pixelWidth, photo.pixelHeight,
                      photo.companions.size());
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
