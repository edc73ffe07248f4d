#pragma once

// Loads one of the program's own modules: libraries it loads when first needed rather than at
// start, since what they link costs every start its loading. Installed, a module lies in the
// package's own library folder beside the program's (/usr/bin and
// /usr/lib/calvenor-photo-sorter); in a build folder, where the build put it.

#include <QLibrary>
#include <QString>
#include <QStringList>

namespace OwnModule {

// Where the module `fileName` may lie, the installed place first; `buildPath` is where the
// build put it (empty when unknown).
QStringList candidatePaths(const QString &fileName, const QString &buildPath);

// The functions the module's entry point `entry` returns, of the first module found whose
// `version` is this build's; loaded once and never unloaded, as its code stays in use. Null,
// with one warning that starts with `unavailable` ("Videos cannot be read"), when there is none.
template<typename Api>
const Api *load(const QString &fileName,
                const QString &buildPath,
                const char *entry,
                int version,
                const char *unavailable)
{
    QStringList errors;
    for (const QString &path : candidatePaths(fileName, buildPath)) {
        auto *library = new QLibrary(path);
        using Entry = const Api *();
        const auto resolved = reinterpret_cast<Entry *>(library->resolve(entry));
        const Api *api = resolved ? resolved() : nullptr;
        if (api && api->version == version) {
            return api;
        }
        errors.append(api ? QStringLiteral("%1: from another build").arg(path)
                          : library->errorString());
        library->unload();
        delete library;
    }
    qWarning("%s: %s", unavailable,
             qPrintable(errors.isEmpty() ? QStringLiteral("%1 is not installed").arg(fileName)
                                         : errors.join(QStringLiteral("; "))));
    return nullptr;
}

} // namespace OwnModule
