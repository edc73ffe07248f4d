#include "DemoCollection.h"

#include "Samples/SamplePhotos.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

namespace DemoCollection {

QString defaultLocation()
{
    return QStandardPaths::writableLocation(QStandardPaths::AppDataLocation)
           + QStringLiteral("/Demo Collection");
}

bool ensure(const QString &root, QString *error)
{
    struct Folder
    {
        const char *name; // empty: the root itself (Unsorted)
        int count;
    };
    const Folder folders[] = {{"", 24}, {"Keepers", 8}, {"Family", 6}, {"Maybe Later", 4}};
    quint32 seed = 1;
    for (const Folder &folder : folders) {
        const QString path = folder.name[0] ? root + QLatin1Char('/') + QLatin1String(folder.name)
                                            : root;
        if (!QDir().mkpath(path)) {
            *error = QCoreApplication::translate("FileSystem", "Couldn\u2019t create the folder \u201C%1\u201D.").arg(path);
            return false;
        }
        for (int i = 1; i <= folder.count; ++i, ++seed) {
            const QString file = path + QStringLiteral("/IMG_%1.jpg").arg(1000 + seed);
            if (QFileInfo::exists(file)) {
                continue;
            }
            // Every fifth photo is stored landscape but shot in portrait (orientation 6).
            const bool portrait = seed % 5 == 0;
            const QImage image = SamplePhotos::makeImage(640, seed % 3 == 0 ? 640 : 427, seed);
            if (!SamplePhotos::writeJpeg(file, image, portrait ? 6 : 1)) {
                *error = QCoreApplication::translate("FileSystem", "Couldn\u2019t write \u201C%1\u201D.").arg(file);
                return false;
            }
        }
    }
    return true;
}

} // namespace DemoCollection
