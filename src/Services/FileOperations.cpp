#include "FileOperations.h"

#include <QDir>
#include <QHash>

#include "Models/Photo.h"

#include <cerrno>

namespace {

// A batch never loops forever when another program keeps taking the names we pick.
constexpr int maxClashRetries = 64;

QString pathOf(const QUrl &url)
{
    return standardizedPath(url);
}

QString parentOf(const QString &path)
{
    const int slash = path.lastIndexOf(QLatin1Char('/'));
    return slash > 0 ? path.left(slash) : QStringLiteral("/");
}

QString nameOf(const QString &path)
{
    return path.mid(path.lastIndexOf(QLatin1Char('/')) + 1);
}

QString join(const QString &folder, const QString &name)
{
    return folder.endsWith(QLatin1Char('/')) ? folder + name : folder + QLatin1Char('/') + name;
}

bool isClash(const FileSystemError &error)
{
    return error.code == FileSystemError::Code::platform && error.systemError == EEXIST;
}

FileSystemError unreadableEntryIn(const QString &folder)
{
    return FileSystemError::system(
        EILSEQ, quotedName(folder)
                    + QStringLiteral(" holds an item whose name can\u2019t be read. Rename or "
                                     "remove it in a file manager first"));
}

} // namespace

// Names taken in each folder touched by one operation, listed once and kept up to date as the
// operation adds names, so that a batch of a thousand files lists a folder once.
class FileOperations::NameReservations
{
public:
    explicit NameReservations(PlatformFileSystem &fileSystem)
        : m_fileSystem(fileSystem)
    {
    }

    Result<QString> reserve(const QString &folder, const QString &preferredName)
    {
        auto taken = m_taken.find(folder);
        if (taken == m_taken.end()) {
            Result<QList<EntryInfo>> entries = m_fileSystem.list(folder);
            if (!entries) {
                return std::unexpected(entries.error());
            }
            QSet<QString> keys;
            for (const EntryInfo &entry : std::as_const(*entries)) {
                keys.insert(nameKey(entry.name));
            }
            taken = m_taken.insert(folder, keys);
        }
        for (int number = 1;; ++number) {
            const QString name =
                number == 1 ? preferredName : numberedName(preferredName, number);
            const QString key = nameKey(name);
            if (!taken->contains(key)) {
                taken->insert(key);
                return join(folder, name);
            }
        }
    }

private:
    static QString nameKey(const QString &name) { return FileOperations::nameKey(name); }

    PlatformFileSystem &m_fileSystem;
    QHash<QString, QSet<QString>> m_taken;
};

FileOperations::FileOperations(std::shared_ptr<PlatformFileSystem> fileSystem)
    : m_fileSystem(std::move(fileSystem))
{
}

QString FileOperations::nameKey(const QString &name)
{
    return name.normalized(QString::NormalizationForm_C).toCaseFolded();
}

QString FileOperations::numberedName(const QString &name, int number)
{
    const qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
    const bool hasExtension = dot > 0;
    const QString base = hasExtension ? name.left(dot) : name;
    QString result = base + QLatin1Char(' ') + QString::number(number);
    if (hasExtension && dot + 1 < name.size()) {
        result += name.mid(dot);
    }
    return result;
}

Result<QString> FileOperations::validatedCategoryName(const QString &proposedName)
{
    const QString name = proposedName.trimmed();
    if (name.isEmpty() || name.startsWith(QLatin1Char('.')) || name.contains(QLatin1Char('/'))
        || name.contains(QLatin1Char(':')) || name.contains(QChar(0))) {
        return std::unexpected(FileSystemError::invalidCategoryName());
    }
    return name;
}

QString FileOperations::identityOf(const QString &path)
{
    const Result<EntryInfo> info = m_fileSystem->stat(path);
    return info ? info->identity : QString();
}

Result<FileMove> FileOperations::moveToFreeName(const QString &source, const QString &folder,
                                                const QString &preferredName,
                                                NameReservations &names)
{
    for (int attempt = 0;; ++attempt) {
        const Result<QString> destination = names.reserve(folder, preferredName);
        if (!destination) {
            return std::unexpected(destination.error());
        }
        const Result<void> moved = m_fileSystem->moveNoReplace(source, *destination);
        if (moved) {
            return FileMove{QUrl::fromLocalFile(source), QUrl::fromLocalFile(*destination),
                            identityOf(*destination)};
        }
        if (!isClash(moved.error()) || attempt == maxClashRetries) {
            return std::unexpected(moved.error());
        }
    }
}

void FileOperations::rollback(const QList<FileMove> &moves)
{
    for (auto move = moves.crbegin(); move != moves.crend(); ++move) {
        const QString destination = pathOf(move->destination);
        const Result<EntryInfo> item = m_fileSystem->stat(destination);
        // Another program may have put a file of its own under the name meanwhile: that one
        // stays where it is, and ours, wherever it went, is not ours to chase.
        if (!item || (!move->itemIdentity.isEmpty() && item->identity != move->itemIdentity)) {
            continue;
        }
        const bool fromTrash = m_fileSystem->isTrashedItem(destination);
        if (m_fileSystem->moveNoReplace(destination, pathOf(move->source)) && fromTrash) {
            m_fileSystem->forgetTrashedItem(destination);
        }
    }
}

Result<QList<FileMove>> FileOperations::moveFiles(const QList<QUrl> &urls, const QUrl &folder)
{
    const QString destinationFolder = pathOf(folder);
    NameReservations names(*m_fileSystem);
    QList<FileMove> performed;
    for (const QUrl &url : urls) {
        const QString source = pathOf(url);
        if (parentOf(source) == destinationFolder) {
            continue; // already there
        }
        Result<FileMove> move = moveToFreeName(source, destinationFolder, nameOf(source), names);
        if (!move) {
            rollback(performed);
            return std::unexpected(move.error());
        }
        performed.append(*move);
    }
    return performed;
}

Result<QList<FileMove>> FileOperations::relocate(const QList<FileMove> &moves)
{
    NameReservations names(*m_fileSystem);
    QList<FileMove> performed;
    QStringList leftTrash;
    const auto fail = [&](const FileSystemError &error) -> Result<QList<FileMove>> {
        rollback(performed);
        return std::unexpected(error);
    };
    for (const FileMove &move : moves) {
        const QString source = pathOf(move.source);
        const QString destination = pathOf(move.destination);
        const QString folder = parentOf(destination);
        const Result<EntryInfo> folderInfo = m_fileSystem->stat(folder, /*followLink=*/true);
        if (!folderInfo || !folderInfo->isDirectory()) {
            return fail(FileSystemError::noSuchFolder(folder));
        }
        const Result<EntryInfo> item = m_fileSystem->stat(source);
        if (!item) {
            if (item.error().systemError != ENOENT) {
                return fail(item.error());
            }
            const bool trashed = m_fileSystem->isTrashedItem(source);
            return fail(FileSystemError::system(
                ENOENT, quotedName(source)
                            + (trashed ? QStringLiteral(" is no longer in the trash")
                                       : QStringLiteral(" is no longer where it was moved"))));
        }
        if (!move.itemIdentity.isEmpty() && item->identity != move.itemIdentity) {
            return fail(FileSystemError::system(
                ESTALE, quotedName(source)
                            + QStringLiteral(" is a different file now, so it was left alone")));
        }
        // Into the trash again (a redo of "Move to Trash"): through the trash itself, so the
        // item gets a fresh .trashinfo and file managers list it and can restore it.
        const bool intoTrash =
            m_fileSystem->isTrashedItem(destination) && !m_fileSystem->isTrashedItem(source);
        Result<FileMove> done = intoTrash
                                    ? trash(source)
                                    : moveToFreeName(source, folder, nameOf(destination), names);
        if (!done) {
            return fail(done.error());
        }
        if (m_fileSystem->isTrashedItem(source)) {
            leftTrash.append(source);
        }
        performed.append(*done);
    }
    // Only now that nothing will be rolled back may the trash forget these items.
    for (const QString &trashed : std::as_const(leftTrash)) {
        m_fileSystem->forgetTrashedItem(trashed);
    }
    return performed;
}

Result<QList<QUrl>> FileOperations::copyImageFiles(const QList<QUrl> &urls, const QUrl &folder)
{
    const QString destinationFolder = pathOf(folder);
    NameReservations names(*m_fileSystem);
    QList<QUrl> copies;
    const auto fail = [&](const FileSystemError &error) -> Result<QList<QUrl>> {
        for (auto copy = copies.crbegin(); copy != copies.crend(); ++copy) {
            m_fileSystem->removeFile(pathOf(*copy));
        }
        return std::unexpected(error);
    };
    for (const QUrl &url : urls) {
        const QString source = pathOf(url);
        const Result<EntryInfo> info = m_fileSystem->stat(source);
        if (!info) {
            return fail(info.error());
        }
        if (!info->isRegularFile() || !m_types.isImage(source, nameOf(source))) {
            continue;
        }
        for (int attempt = 0;; ++attempt) {
            const Result<QString> destination = names.reserve(destinationFolder, nameOf(source));
            if (!destination) {
                return fail(destination.error());
            }
            const Result<void> copied = m_fileSystem->copyNoReplace(source, *destination);
            if (copied) {
                copies.append(QUrl::fromLocalFile(*destination));
                break;
            }
            if (!isClash(copied.error()) || attempt == maxClashRetries) {
                return fail(copied.error());
            }
        }
    }
    return copies;
}

Result<FileMove> FileOperations::trash(const QString &source)
{
    const Result<QString> trashed = m_fileSystem->moveToTrash(source);
    if (!trashed || trashed->isEmpty()) {
        return std::unexpected(trashed ? FileSystemError::writeUnknown(source) : trashed.error());
    }
    return FileMove{QUrl::fromLocalFile(source), QUrl::fromLocalFile(*trashed),
                    identityOf(*trashed)};
}

Result<QList<FileMove>> FileOperations::moveToTrash(const QList<QUrl> &urls)
{
    QList<FileMove> performed;
    for (const QUrl &url : urls) {
        Result<FileMove> move = trash(pathOf(url));
        if (!move) {
            rollback(performed);
            return std::unexpected(move.error());
        }
        performed.append(*move);
    }
    return performed;
}

Result<QUrl> FileOperations::createCategory(const QString &proposedName, const QUrl &root)
{
    const Result<QString> name = validatedCategoryName(proposedName);
    if (!name) {
        return std::unexpected(name.error());
    }
    const QUrl folder = QUrl::fromLocalFile(join(pathOf(root), *name));
    if (Result<void> created = createCategory(folder); !created) {
        return std::unexpected(created.error());
    }
    return folder;
}

Result<void> FileOperations::createCategory(const QUrl &folder)
{
    const QString path = pathOf(folder);
    const QString name = nameOf(path);
    NameReservations names(*m_fileSystem);
    const Result<QString> free = names.reserve(parentOf(path), name);
    if (!free) {
        return std::unexpected(free.error());
    }
    if (*free != path) {
        return std::unexpected(FileSystemError::categoryAlreadyExists(name));
    }
    const Result<void> made = m_fileSystem->makeFolder(path);
    if (!made && isClash(made.error())) {
        return std::unexpected(FileSystemError::categoryAlreadyExists(name));
    }
    return made;
}

Result<FileMove> FileOperations::renameCategory(const QUrl &folder, const QString &proposedName)
{
    const Result<QString> name = validatedCategoryName(proposedName);
    if (!name) {
        return std::unexpected(name.error());
    }
    const QString path = pathOf(folder);
    const QString current = nameOf(path);
    if (name->normalized(QString::NormalizationForm_C)
        == current.normalized(QString::NormalizationForm_C)) {
        return FileMove{folder, folder, identityOf(path)};
    }
    const QString destination = join(parentOf(path), *name);
    // Only the folder itself may hold the new name in another letter case ("cats" → "Cats").
    if (nameKey(*name) != nameKey(current)) {
        NameReservations names(*m_fileSystem);
        const Result<QString> free = names.reserve(parentOf(path), *name);
        if (!free) {
            return std::unexpected(free.error());
        }
        if (*free != destination) {
            return std::unexpected(FileSystemError::categoryAlreadyExists(*name));
        }
    }
    const Result<void> moved = m_fileSystem->moveNoReplace(path, destination);
    if (!moved) {
        return std::unexpected(isClash(moved.error())
                                   ? FileSystemError::categoryAlreadyExists(*name)
                                   : moved.error());
    }
    return FileMove{QUrl::fromLocalFile(path), QUrl::fromLocalFile(destination),
                    identityOf(destination)};
}

Result<QList<EntryInfo>> FileOperations::listForRemoval(const QString &folder)
{
    Result<QList<EntryInfo>> entries = m_fileSystem->list(folder);
    if (!entries) {
        return entries;
    }
    for (const EntryInfo &entry : std::as_const(*entries)) {
        if (!entry.nameIsValid) {
            return std::unexpected(unreadableEntryIn(folder));
        }
    }
    return entries;
}

Result<CategoryDeletion> FileOperations::deleteCategory(const QUrl &folder, const QUrl &root)
{
    const QString path = pathOf(folder);
    const QString name = nameOf(path);
    const Result<QList<EntryInfo>> entries = listForRemoval(path);
    if (!entries) {
        return std::unexpected(entries.error());
    }
    for (const EntryInfo &entry : *entries) {
        if (entry.isDirectory()) {
            return std::unexpected(FileSystemError::categoryContainsFolders(name));
        }
    }
    NameReservations names(*m_fileSystem);
    CategoryDeletion deletion{QUrl::fromLocalFile(path), name, {}};
    for (const EntryInfo &entry : *entries) {
        Result<FileMove> move =
            moveToFreeName(join(path, entry.name), pathOf(root), entry.name, names);
        if (!move) {
            rollback(deletion.movedItems);
            return std::unexpected(move.error());
        }
        deletion.movedItems.append(*move);
    }
    if (Result<void> removed = m_fileSystem->removeEmptyFolder(path); !removed) {
        rollback(deletion.movedItems);
        return std::unexpected(removed.error());
    }
    return deletion;
}

Result<void> FileOperations::removeEmptyCategory(const QUrl &folder)
{
    const QString path = pathOf(folder);
    const Result<QList<EntryInfo>> entries = m_fileSystem->list(path);
    if (!entries) {
        return std::unexpected(entries.error());
    }
    if (!entries->isEmpty()) {
        return std::unexpected(FileSystemError::categoryContainsFolders(nameOf(path)));
    }
    return m_fileSystem->removeEmptyFolder(path);
}

Result<QList<FileMove>> FileOperations::restoreDeletedCategory(const CategoryDeletion &deletion)
{
    if (Result<void> created = createCategory(deletion.categoryURL); !created) {
        return std::unexpected(created.error());
    }
    QList<FileMove> back;
    for (const FileMove &move : deletion.movedItems) {
        back.append(move.reversed());
    }
    Result<QList<FileMove>> performed = relocate(back);
    if (!performed) {
        (void)removeEmptyCategory(deletion.categoryURL);
    }
    return performed;
}
