#include "VideoModule.h"

#include <QFileInfo>
#include <QLibrary>
#include <QStringList>

namespace {

// Installed, the module lies in the package's own library folder beside the program's
// (/usr/bin and /usr/lib/calvenor-photo-sorter); in a build folder, where the build put it.
QStringList candidatePaths()
{
    const QString programFolder =
        QFileInfo(QFileInfo(QStringLiteral("/proc/self/exe")).canonicalFilePath()).path();
    QStringList paths{programFolder +
                      QStringLiteral("/../lib/calvenor-photo-sorter/calvenor-video.so")};
#ifdef CALVENOR_BUILD_VIDEO_MODULE
    paths.append(QStringLiteral(CALVENOR_BUILD_VIDEO_MODULE));
#endif
    return paths;
}

const VideoModule::Api *load()
{
    QStringList errors;
    for (const QString &path : candidatePaths()) {
        if (!QFileInfo::exists(path)) {
            continue;
        }
        // Never unloaded: the module's code stays in use until the program ends.
        auto *library = new QLibrary(path);
        const auto entry =
            reinterpret_cast<CalvenorVideoModuleEntry *>(library->resolve("calvenor_video_module"));
        const VideoModule::Api *api = entry ? entry() : nullptr;
        if (api && api->version == VideoModule::apiVersion) {
            return api;
        }
        errors.append(api ? QStringLiteral("%1: from another build").arg(path)
                          : library->errorString());
        library->unload();
        delete library;
    }
    qWarning("Videos cannot be read: %s",
             qPrintable(errors.isEmpty() ? QStringLiteral("the video module is not installed")
                                         : errors.join(QStringLiteral("; "))));
    return nullptr;
}

} // namespace

const VideoModule::Api *VideoModule::api()
{
    static const Api *const loaded = load();
    return loaded;
}
