#include "CollectionVolumes.h"

#include <QFile>
#include <QSet>

namespace {

// Whether `path` is `folder` or lies inside it.
bool liesIn(const QString &path, const QString &folder)
{
    if (folder == QLatin1String("/")) {
        return path.startsWith(QLatin1Char('/'));
    }
    return path.startsWith(folder)
           && (path.size() == folder.size() || path.at(folder.size()) == QLatin1Char('/'));
}

} // namespace

const Volume &CollectionVolumes::of(const QString &folder) const
{
    const Volume *found = &root;
    qsizetype depth = -1;
    for (const Volume &volume : inside) {
        const QString &point = volume.mount.mountPoint;
        if (point.size() > depth && liesIn(folder, point)) {
            found = &volume;
            depth = point.size();
        }
    }
    return *found;
}

CollectionVolumes CollectionVolumes::read(const QString &root)
{
    CollectionVolumes volumes{Volume::of(root), {}};
    QFile table(QStringLiteral("/proc/self/mountinfo"));
    if (!table.open(QIODevice::ReadOnly)) {
        return volumes;
    }
    const QByteArray text = table.readAll(); // the proc file reports size 0
    QSet<QString> seen;
    for (const QByteArrayView line :
         QLatin1StringView(text).tokenize(QLatin1Char('\n'), Qt::SkipEmptyParts)) {
        const std::optional<MountEntry> entry =
            MountEntry::parse(QByteArrayView(line.data(), line.size()));
        if (!entry || entry->mountPoint == root || !liesIn(entry->mountPoint, root)
            || seen.contains(entry->mountPoint)) {
            continue;
        }
        seen.insert(entry->mountPoint);
        // Asked at the mount point itself: a later mount there, or above it, is what counts.
        volumes.inside.append(Volume::of(entry->mountPoint));
    }
    return volumes;
}
