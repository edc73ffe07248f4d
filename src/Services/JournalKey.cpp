#include "JournalKey.h"

#include "Platform/FileIdentity.h"

#include <QFileInfo>

JournalKey JournalKey::of(const Volume &volume, const QString &rootPath,
                          const QString &rootIdentity)
{
    const QString numbers = FileIdentity::volumeKey(rootIdentity);
    if (volume.identity.isEmpty()) {
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
