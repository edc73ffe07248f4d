#include "FolderAccess.h"

#include "Models/FilePaths.h"

namespace {

QString quoted(const QString &text)
{
    return QCoreApplication::translate("FileSystem", "\u201C%1\u201D").arg(text);
}

} // namespace

bool FolderAccess::setVolumes(const QString &root, const CollectionVolumes &volumes)
{
    const bool changed = !(volumes.root == m_volumes.root);
    m_root = root;
    m_volumes = volumes;
    return changed;
}

std::optional<UserFacingAlert> FolderAccess::refusal(Command command, const QStringList &folders,
                                                     const QString &destination,
                                                     const QStringList &names) const
{
    for (const QString &folder : folders) {
        const Volume &volume = m_volumes.of(folder);
        if (!volume.readOnly) {
            continue;
        }
        QString message = tr("%1 is read-only: nothing in it can be added, moved, renamed or "
                             "removed.")
                              .arg(placeName(volume, folder));
        if (volume.kind == Volume::Kind::removable) {
            message += QLatin1Char(' ') + tr("If it’s a memory card, check its lock switch.");
        }
        return UserFacingAlert::make(title(command), message);
    }
    for (const QString &folder : folders) {
        const Volume &volume = m_volumes.of(folder);
        if (command == Command::renameCategory && !volume.renamesFolders) {
            return UserFacingAlert::make(
                title(command),
                tr("%1 loses the photos of a folder it renames, so categories can’t be renamed "
                   "there. Create a new category and move the photos into it instead.")
                    .arg(placeName(volume, folder)));
        }
    }
    if (names.isEmpty()) {
        return std::nullopt;
    }
    const NameRules &rules = m_volumes.of(destination).names;
    for (const QString &name : names) {
        const QString why = rules.refusal(name);
        if (why.isEmpty()) {
            continue;
        }
        QString message;
        switch (command) {
        case Command::move:
            message = tr("%1 can’t be moved to %2. %3 Nothing was moved.")
                          .arg(quoted(name), quoted(FilePaths::nameOf(destination)), why);
            break;
        case Command::copyIn:
            message = tr("%1 can’t be copied to %2. %3 Nothing was copied.")
                          .arg(quoted(name), quoted(FilePaths::nameOf(destination)), why);
            break;
        default:
            message = why; // the name the user just typed
            break;
        }
        return UserFacingAlert::make(title(command), message);
    }
    return std::nullopt;
}

QString FolderAccess::title(Command command)
{
    // The titles the store gives the same commands' other failures.
    const auto store = [](const char *text) {
        return QCoreApplication::translate("CollectionStore", text);
    };
    switch (command) {
    case Command::move:
        return store("Couldn’t Move Photos");
    case Command::trash:
        return store("Couldn’t Move to Trash");
    case Command::copyIn:
        return store("Couldn’t Copy Photos");
    case Command::newCategory:
        return store("Couldn’t Create Category");
    case Command::renameCategory:
        return store("Couldn’t Rename Category");
    case Command::deleteCategory:
        return store("Couldn’t Delete Category");
    case Command::undo:
        return tr("Couldn’t Undo");
    case Command::redo:
        return tr("Couldn’t Redo");
    }
    return {};
}

QString FolderAccess::placeName(const Volume &volume, const QString &folder) const
{
    if (!volume.name.isEmpty()) {
        return quoted(volume.name);
    }
    // A local volume: the collection's folder, or the mount inside it.
    const bool isRoot = &volume == &m_volumes.root;
    return quoted(FilePaths::nameOf(isRoot && !m_root.isEmpty() ? m_root
                                    : isRoot                    ? folder
                                                                : volume.mount.mountPoint));
}
