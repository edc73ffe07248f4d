#include "OwnModule.h"

#include <QFileInfo>

QStringList OwnModule::candidatePaths(const QString &fileName, const QString &buildPath)
{
    const QString programFolder =
        QFileInfo(QFileInfo(QStringLiteral("/proc/self/exe")).canonicalFilePath()).path();
    QStringList paths;
    for (const QString &path :
         {programFolder + QStringLiteral("/../lib/calvenor-photo-sorter/") + fileName, buildPath}) {
        if (!path.isEmpty() && QFileInfo::exists(path)) {
            paths.append(path);
        }
    }
    return paths;
}
