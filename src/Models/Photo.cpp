#include "Photo.h"

#include <QDir>

#include <algorithm>

QString Photo::dimensionsLabel() const
{
    if (!hasDimensions()) {
        return QStringLiteral("\u2014");
    }
    return QString::number(pixelWidth) + QStringLiteral(" \u00D7 ") + QString::number(pixelHeight);
}

QString Photo::durationLabel() const
{
    return kind == ImageKind::video ? durationText(durationMs) : QString();
}

QString Photo::durationText(qint64 durationMs)
{
    if (durationMs <= 0) {
        return {};
    }
    // Whole seconds, a short clip never reading 0:00.
    const qint64 seconds = std::max<qint64>(1, (durationMs + 500) / 1000);
    const QString minutesAndSeconds =
        QStringLiteral("%1:%2").arg(seconds / 60 % 60).arg(seconds % 60, 2, 10, QLatin1Char('0'));
    if (seconds < 3600) {
        return minutesAndSeconds;
    }
    return QStringLiteral("%1:%2")
        .arg(seconds / 3600)
        .arg(minutesAndSeconds.rightJustified(5, QLatin1Char('0')));
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
    QString text;
    if (!companions.isEmpty()) {
        QList<ImageKind> kinds{kind};
        for (const Companion &companion : companions) {
            kinds.append(companion.kind);
        }
        text = Companions::badge(memberNames(), kinds);
    }
    if (embeddedVideo) {
        const bool joined = text.isEmpty() || text.startsWith(QLatin1Char('+'));
        text = QStringLiteral("MOTION") + (joined ? text : QLatin1Char('+') + text);
    }
    return text;
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
