#include "JournalKey.h"

#include "Platform/FileIdentity.h"

#include <QFileInfo>

JournalKey JournalKey::of(const Volume &volume, const QString &rootPath,
                          const QString &rootIdentity)
{
    const QString numbers = FileIdentity::volumeKey(rootIdentity);
    // A btrfs subvolume numbers its files on its own, under a device number of its own that
    // the mount table does not show: there the volume's identity does not tell its inodes
    // from another subvolume's.
    const bool ownDevice = volume.mount.device != 0
                           && numbers.section(QLatin1Char(':'), 0, 0).toULongLong()
                                  != volume.mount.device;
    if (volume.identity.isEmpty() || ownDevice) {
        return {numbers, {}};
    }
    if (volume.stableInodes) {
        return {volume.identity + QStringLiteral("\ninode:") + numbers.section(QLatin1Char(':'), 1),
                numbers};
    }
    return {volume.identity + QStringLiteral("\npath:") + volume.pathWithin(rootPath), {}};
}

JournalKey JournalKey::of(const QString &rootPath, const QString &rootIdentity)
{
    // A root reached through a link lies on the volume the link leads to.
    const QString resolved = QFileInfo(rootPath).canonicalFilePath();
    const QString path = resolved.isEmpty() ? rootPath : resolved;
    return of(Volume::of(path), path, rootIdentity);
}
