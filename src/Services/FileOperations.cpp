#include "FileOperations.h"

#include <QCoreApplication>
#include <QDir>
#include <QHash>
#include <QSet>

#include <algorithm>

#include "Models/Companions.h"
#include "Models/FilePaths.h"
#include "Models/Photo.h"
#include "Platform/FileIdentity.h"
#include "VolumeLoss.h"

#include <cerrno>

namespace {

// A batch never loops forever when another program keeps taking the names we pick.
constexpr int maxClashRetries = 64;

QString pathOf(const QUrl &url)
{
    return standardizedPath(url);
}

using FilePaths::child;
using FilePaths::nameOf;
using FilePaths::parentOf;

bool isClash(const FileSystemError &error)
{
    return error.code == FileSystemError::Code::platform && error.systemError == EEXIST;
}

// Editors save a sidecar by writing a new file and renaming it over the old one. A newer
// sidecar under the name ours had is that rewrite and still belongs with its photo; an image
// in our image's place, or an older file, may be anyone's.
bool isRewrittenSidecar(const QString &recordedIdentity, const EntryInfo &item)
{
    const std::optional<FileTime> recorded = FileIdentity::recordedTime(recordedIdentity);
    return item.isRegularFile() && Companions::isSidecarName(item.name) && recorded
           && item.modificationTime > *recorded;
}

FileSystemError unreadableEntryIn(const QString &folder)
{
    return FileSystemError::system(
        EILSEQ, QCoreApplication::translate("FileSystem", "%1 holds an item whose name can\u2019t be read. "
                                                  "Rename or remove it in a file manager first")
                    .arg(quotedName(folder)));
}

} // namespace

// Names taken in each folder touched by one operation, listed once and kept up to date as the
// operation adds names, so that a batch of a thousand files lists a folder once. With a memory,
// folders known from earlier batches are not listed at all, and what this batch leaves is
// remembered for the next.
class FileOperations::NameReservations
{
public:
    explicit NameReservations(PlatformFileSystem &fileSystem, FolderNameMemory *memory = nullptr)
        : m_fileSystem(fileSystem)
        , m_memory(memory)
    {
    }

    Result<QString> reserve(const QString &folder, const QString &preferredName)
    {
        Result<QStringList> names = reserveShot(folder, {preferredName});
        if (!names) {
            return std::unexpected(names.error());
        }
        return names->first();
    }

    // Free names in `folder` for every member of a shot, one number for all of them, so the
    // members keep a shared stem. Paths in the order of `preferredNames`.
    Result<QStringList> reserveShot(const QString &folder, const QStringList &preferredNames)
    {
        auto taken = m_taken.find(folder);
        if (taken == m_taken.end()) {
            Result<FolderNames> names = namesOf(folder);
            if (!names) {
                return std::unexpected(names.error());
            }
            taken = m_taken.insert(folder, std::move(*names));
        }
        QSet<size_t> own;
        for (const QString &name : preferredNames) {
            own.insert(Companions::nameHash(name));
        }
        if (own.size() < preferredNames.size()) {
            // Two members whose names differ only in letter case can share no number: each
            // gets its own free name instead.
            QStringList paths;
            for (const QString &name : preferredNames) {
                paths.append(reserveShot(folder, {name})->first());
            }
            return paths;
        }
        for (int number = 1;; ++number) {
            const QStringList names = Companions::pairedNames(preferredNames, number);
            const bool free = std::none_of(names.cbegin(), names.cend(), [&](const QString &n) {
                return taken->contains(Companions::nameHash(n));
            });
            if (free) {
                QStringList paths;
                for (const QString &name : names) {
                    taken->add(Companions::nameHash(name));
                    paths.append(child(folder, name));
                }
                return paths;
            }
        }
    }

    // Takes the remembered names of a folder files are about to leave, so that they can be
    // counted out and the folder stays known. Never lists it.
    void recallSource(const QString &folder)
    {
        if (m_taken.contains(folder)) {
            return;
        }
        if (std::optional<FolderNames> names = remembered(folder)) {
            m_taken.insert(folder, std::move(*names));
        }
    }
    // A move failed: the names reserved no longer say what the folders hold.
    void spoil() { m_spoiled = true; }
    // The batch performed `moves`, and nothing else changed the folders: remembers them as the
    // moves left them.
    void remember(const QList<FileMove> &moves)
    {
        if (!m_memory || m_spoiled || moves.isEmpty()) {
            return;
        }
        for (const FileMove &move : moves) {
            const QString source = pathOf(move.source);
            if (const auto names = m_taken.find(parentOf(source)); names != m_taken.end()) {
                names->remove(Companions::nameHash(nameOf(source)));
            }
        }
        for (auto names = m_taken.begin(); names != m_taken.end(); ++names) {
            if (const Result<EntryInfo> now = m_fileSystem.stat(names.key())) {
                m_memory->keep(names.key(), std::move(*names), *now);
            }
        }
    }

private:
    // The folder's names as our last batch left them, when it still looks as it did then.
    std::optional<FolderNames> remembered(const QString &folder)
    {
        if (!m_memory) {
            return std::nullopt;
        }
        const Result<EntryInfo> now = m_fileSystem.stat(folder);
        return now ? m_memory->take(folder, *now) : std::nullopt;
    }

    Result<FolderNames> namesOf(const QString &folder)
    {
        if (std::optional<FolderNames> names = remembered(folder)) {
            return std::move(*names);
        }
        // Hashes, gathered one entry at a time: a folder of 100,000 names then costs a
        // fraction of its listing and of a set of its keys. A hash shared by a free name only
        // numbers that name; the file system still never lets a move replace a file.
        FolderNames names;
        const Result<void> listed = m_fileSystem.visitNames(
            folder, [&names](const QString &name) { names.add(Companions::nameHash(name)); });
        if (!listed) {
            return std::unexpected(listed.error());
        }
        return names;
    }

    PlatformFileSystem &m_fileSystem;
    FolderNameMemory *m_memory;
    QHash<QString, FolderNames> m_taken;
    bool m_spoiled = false;
};

FileOperations::FileOperations(std::shared_ptr<PlatformFileSystem> fileSystem)
    : m_fileSystem(std::move(fileSystem))
{
}

Result<void> FileOperations::beginBatch(const JournalEntry &entry)
{
    if (m_lost) {
        return std::unexpected(*m_lost); // nothing on a volume that is gone is tried again
    }
    m_entry = entry;
    m_kept.reset();
    if (m_journal && !entry.name.isEmpty()) {
        const Result<qint64> batch = m_journal->beginBatch(entry.role, entry.name, entry.kind);
        if (!batch) {
            m_entry = {};
            return std::unexpected(batch.error());
        }
        m_batch = *batch;
    }
    return {};
}

void FileOperations::endBatch(bool succeeded)
{
    // A batch cut off by its volume's loss stays open: what it did is put back by recovery,
    // from what the disk shows once the volume is back.
    if (m_journal && m_batch && !m_lost) {
        const bool kept = succeeded && m_kept;
        const Kept record = kept ? *m_kept : Kept{};
        (void)m_journal->endBatch(*m_batch,
                                  kept ? OperationJournal::Outcome::kept
                                       : OperationJournal::Outcome::failed,
                                  record.moves, record.folder);
    }
    m_batch.reset();
    m_kept.reset();
    m_entry = {};
}

FileSystemError FileOperations::judged(const FileSystemError &failure)
{
    if (failure.code == FileSystemError::Code::volumeLost) {
        return failure;
    }
    const QString identity = m_journal ? m_journal->rootIdentity() : QString();
    const bool lost = VolumeLoss::isLost(failure, identity, [this] {
        return m_fileSystem->stat(m_journal->rootPath(), /*followLink=*/true);
    });
    if (!lost) {
        return failure;
    }
    m_lost = FileSystemError::volumeLost(failure);
    return *m_lost;
}

Result<void> FileOperations::checkRoot(const QString &root)
{
    if (m_lost) {
        return std::unexpected(*m_lost);
    }
    if (!m_journal || m_journal->rootPath() != root || m_journal->rootIdentity().isEmpty()) {
        return {};
    }
    const Result<EntryInfo> now = m_fileSystem->stat(root, /*followLink=*/true);
    if (VolumeLoss::rootIsThere(m_journal->rootIdentity(), now)) {
        return {};
    }
    m_lost = FileSystemError::volumeLost(now ? FileSystemError::noSuchFolder(root) : now.error());
    return std::unexpected(*m_lost);
}

Result<void> FileOperations::intendMove(const QString &source, const QString &destination,
                                        int shot)
{
    if (!m_journal) {
        return {};
    }
    if (!m_batch) {
        Result<qint64> batch = m_journal->beginBatch(m_entry.role, m_entry.name, m_entry.kind);
        if (!batch) {
            return std::unexpected(batch.error());
        }
        m_batch = *batch;
    }
    return m_journal->intend(*m_batch, FileMove{QUrl::fromLocalFile(source),
                                                destination.isEmpty()
                                                    ? QUrl()
                                                    : QUrl::fromLocalFile(destination),
                                                identityOf(source), shot});
}

void FileOperations::reportMove(const FileMove &done)
{
    if (m_journal && m_batch) {
        (void)m_journal->performed(*m_batch, done);
    }
}

PlatformFileSystem::CopyNote FileOperations::copyNote(const QString &source)
{
    if (!m_journal || !m_batch) {
        return {};
    }
    return m_journal->copyNote(*m_batch, QUrl::fromLocalFile(source), *m_fileSystem);
}

QString FileOperations::nameKey(const QString &name)
{
    return Companions::nameKey(name);
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
    return info ? FileIdentity::of(*info) : QString();
}

Result<QList<FileMove>> FileOperations::moveShotToFreeNames(const QStringList &sources,
                                                           const QString &folder,
                                                           const QStringList &preferredNames,
                                                           int shot, NameReservations &names)
{
    for (int attempt = 0;; ++attempt) {
        const Result<QStringList> destinations = names.reserveShot(folder, preferredNames);
        if (!destinations) {
            return std::unexpected(judged(destinations.error()));
        }
        QList<FileMove> moved;
        for (qsizetype i = 0; i < sources.size(); ++i) {
            if (Result<void> noted = intendMove(sources[i], destinations->at(i), shot); !noted) {
                const FileSystemError error = judged(noted.error());
                rollback(moved);
                return std::unexpected(error);
            }
            const Result<void> done =
                m_fileSystem->moveNoReplace(sources[i], destinations->at(i), copyNote(sources[i]));
            if (!done) {
                // The members moved so far go back, so that a retry keeps them paired.
                names.spoil();
                const FileSystemError error = judged(done.error());
                rollback(moved);
                if (!isClash(error) || attempt == maxClashRetries) {
                    return std::unexpected(error);
                }
                break;
            }
            moved.append(FileMove{QUrl::fromLocalFile(sources[i]),
                                  QUrl::fromLocalFile(destinations->at(i)),
                                  identityOf(destinations->at(i)), shot});
            reportMove(moved.last());
        }
        if (moved.size() == sources.size()) {
            return moved;
        }
    }
}

QList<QStringList> FileOperations::shotsOf(const QStringList &paths, CompanionRule rule) const
{
    QList<Companions::ListedFile> files;
    files.reserve(paths.size());
    for (const QString &path : paths) {
        const QString name = nameOf(path);
        files.append({name, Companions::isSidecarName(name) ? ImageKind::none
                                                            : m_types.kindOf(path, name)});
    }
    QList<bool> grouped(paths.size(), false);
    QList<QStringList> shots;
    for (const QList<qsizetype> &shot : Companions::group(files, rule)) {
        QStringList members;
        for (const qsizetype i : shot) {
            members.append(paths[i]);
            grouped[i] = true;
        }
        shots.append(members);
    }
    for (qsizetype i = 0; i < paths.size(); ++i) {
        if (!grouped[i]) {
            shots.append({paths[i]});
        }
    }
    return shots;
}

void FileOperations::rollback(const QList<FileMove> &moves)
{
    if (m_lost) {
        return; // recovery puts them back once the volume is back
    }
    for (auto move = moves.crbegin(); move != moves.crend(); ++move) {
        const QString destination = pathOf(move->destination);
        const Result<EntryInfo> item = m_fileSystem->stat(destination);
        // Another program may have put a file of its own under the name meanwhile: that one
        // stays where it is, and ours, wherever it went, is not ours to chase.
        if (!item
            || (!move->itemIdentity.isEmpty()
                && !FileIdentity::matches(move->itemIdentity, *item))) {
            continue;
        }
        const bool fromTrash = m_fileSystem->isTrashedItem(destination);
        const QString source = pathOf(move->source);
        if (m_fileSystem->moveNoReplace(destination, source, copyNote(source)) && fromTrash) {
            m_fileSystem->forgetTrashedItem(destination);
        }
    }
}

Result<QList<FileMove>> FileOperations::moveFiles(const QList<QUrl> &urls, const QUrl &folder)
{
    QList<QList<QUrl>> shots;
    for (const QUrl &url : urls) {
        shots.append(QList<QUrl>{url});
    }
    return moveShots(shots, folder);
}

Result<QList<FileMove>> FileOperations::moveShots(const QList<QList<QUrl>> &shots,
                                                  const QUrl &folder)
{
    const QString destinationFolder = pathOf(folder);
    NameReservations names(*m_fileSystem, &m_folderNames);
    QSet<QString> sourceFolders;
    for (const QList<QUrl> &shot : shots) {
        if (!shot.isEmpty()) {
            sourceFolders.insert(parentOf(pathOf(shot.first())));
        }
    }
    sourceFolders.remove(destinationFolder); // files already there stay
    for (const QString &source : std::as_const(sourceFolders)) {
        names.recallSource(source);
    }
    QList<FileMove> performed;
    for (qsizetype shot = 0; shot < shots.size(); ++shot) {
        QStringList sources;
        QStringList preferred;
        for (const QUrl &url : shots[shot]) {
            sources.append(pathOf(url));
            preferred.append(nameOf(sources.last()));
        }
        if (sources.isEmpty() || parentOf(sources.first()) == destinationFolder) {
            continue; // already there
        }
        Result<QList<FileMove>> moved =
            moveShotToFreeNames(sources, destinationFolder, preferred, int(shot), names);
        if (!moved) {
            const FileSystemError error = judged(moved.error());
            rollback(performed);
            return std::unexpected(error);
        }
        performed.append(*moved);
    }
    names.remember(performed);
    return keep(Result<QList<FileMove>>(performed), performed);
}

Result<QList<FileMove>> FileOperations::relocate(const QList<FileMove> &moves)
{
    NameReservations names(*m_fileSystem);
    QList<FileMove> performed;
    QStringList leftTrash;
    const auto fail = [&](const FileSystemError &failure) -> Result<QList<FileMove>> {
        const FileSystemError error = judged(failure);
        rollback(performed);
        return std::unexpected(error);
    };
    // Each shot is checked whole before any of its items moves, then moved as one.
    QList<QList<qsizetype>> groups;
    QHash<int, qsizetype> groupOfShot;
    for (qsizetype i = 0; i < moves.size(); ++i) {
        const int shot = moves[i].shot;
        const auto known = shot < 0 ? groupOfShot.cend() : groupOfShot.constFind(shot);
        if (known != groupOfShot.cend()
            && parentOf(pathOf(moves[groups[*known].first()].destination))
                   == parentOf(pathOf(moves[i].destination))) {
            groups[*known].append(i);
            continue;
        }
        if (shot >= 0) {
            groupOfShot.insert(shot, groups.size());
        }
        groups.append(QList<qsizetype>{i});
    }
    for (const QList<qsizetype> &group : std::as_const(groups)) {
        QStringList sources;
        QStringList preferred;
        for (const qsizetype i : group) {
            const FileMove &move = moves[i];
            const QString source = pathOf(move.source);
            const QString folder = parentOf(pathOf(move.destination));
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
                    ENOENT, (trashed ? QCoreApplication::translate("FileSystem", "%1 is no longer in the trash")
                                     : QCoreApplication::translate("FileSystem", "%1 is no longer where it was moved"))
                                .arg(quotedName(source))));
            }
            if (!move.itemIdentity.isEmpty() && !FileIdentity::matches(move.itemIdentity, *item)
                && !isRewrittenSidecar(move.itemIdentity, *item)) {
                return fail(FileSystemError::system(
                    ESTALE, QCoreApplication::translate("FileSystem", "%1 is a different file now, so it was left alone")
                                .arg(quotedName(source))));
            }
            sources.append(source);
            preferred.append(nameOf(pathOf(move.destination)));
        }
        const FileMove &first = moves[group.first()];
        const QString destination = pathOf(first.destination);
        // Into the trash again (a redo of "Move to Trash"): through the trash itself, so each
        // item gets a fresh .trashinfo and file managers list it and can restore it. The user
        // agreed to where the items went when the action was first done.
        if (m_fileSystem->isTrashedItem(destination) && !m_fileSystem->isTrashedItem(sources[0])) {
            for (const QString &source : std::as_const(sources)) {
                Result<FileMove> done = trash(source, first.shot, HomeTrash::allowed);
                if (!done) {
                    return fail(done.error());
                }
                performed.append(*done);
            }
            continue;
        }
        Result<QList<FileMove>> done =
            moveShotToFreeNames(sources, parentOf(destination), preferred, first.shot, names);
        if (!done) {
            return fail(done.error());
        }
        for (const QString &source : std::as_const(sources)) {
            if (m_fileSystem->isTrashedItem(source)) {
                leftTrash.append(source);
            }
        }
        performed.append(*done);
    }
    // Only now that nothing will be rolled back may the trash forget these items. Recovery puts
    // an item back into the trash with a fresh .trashinfo, should the batch be cut off now.
    for (const QString &trashed : std::as_const(leftTrash)) {
        m_fileSystem->forgetTrashedItem(trashed);
    }
    return keep(Result<QList<FileMove>>(performed), performed);
}

Result<QList<FileMove>> FileOperations::copyImageFiles(const QList<QUrl> &urls,
                                                      const QUrl &folder)
{
    const QString destinationFolder = pathOf(folder);
    NameReservations names(*m_fileSystem);
    QList<FileMove> copies;
    const auto removeCopies = [this](const QList<FileMove> &made) {
        if (m_lost) {
            return; // recovery removes them once the volume is back
        }
        for (auto copy = made.crbegin(); copy != made.crend(); ++copy) {
            // Only our own copy: another program may have put a file under its name meanwhile.
            const QString path = pathOf(copy->destination);
            const Result<EntryInfo> item = m_fileSystem->stat(path);
            if (item && FileIdentity::matches(copy->itemIdentity, *item)) {
                m_fileSystem->removeFile(path);
            }
        }
    };
    const auto fail = [&](const FileSystemError &failure) -> Result<QList<FileMove>> {
        const FileSystemError error = judged(failure);
        removeCopies(copies);
        return std::unexpected(error);
    };
    // Dropped files are grouped per folder they come from, so a RAW+JPEG pair and its
    // sidecars arrive as one shot under one stem.
    QStringList regularFiles;
    QHash<QString, QStringList> byFolder;
    QStringList folders;
    for (const QUrl &url : urls) {
        const QString source = pathOf(url);
        const Result<EntryInfo> info = m_fileSystem->stat(source);
        if (!info) {
            return fail(info.error());
        }
        if (!info->isRegularFile()) {
            continue;
        }
        const QString from = parentOf(source);
        if (!byFolder.contains(from)) {
            folders.append(from);
        }
        byFolder[from].append(source);
    }
    int shotNumber = 0;
    for (const QString &from : std::as_const(folders)) {
        for (const QStringList &shot : shotsOf(byFolder.value(from), CompanionRule::together)) {
            if (shot.size() == 1 && !m_types.isImage(shot[0], nameOf(shot[0]))) {
                continue; // neither a photo nor one of its companions
            }
            QStringList preferred;
            for (const QString &source : shot) {
                preferred.append(nameOf(source));
            }
            for (int attempt = 0;; ++attempt) {
                const Result<QStringList> destinations =
                    names.reserveShot(destinationFolder, preferred);
                if (!destinations) {
                    return fail(destinations.error());
                }
                QList<FileMove> made;
                Result<void> copied;
                for (qsizetype i = 0; i < shot.size() && copied; ++i) {
                    copied = intendMove(shot[i], destinations->at(i), -1);
                    if (copied) {
                        copied = m_fileSystem->copyNoReplace(shot[i], destinations->at(i));
                    }
                    if (copied) {
                        made.append({QUrl::fromLocalFile(shot[i]),
                                     QUrl::fromLocalFile(destinations->at(i)),
                                     identityOf(destinations->at(i)), shotNumber});
                        reportMove(made.last());
                    }
                }
                if (copied) {
                    copies.append(made);
                    ++shotNumber;
                    break;
                }
                copied = std::unexpected(judged(copied.error()));
                removeCopies(made);
                if (!isClash(copied.error()) || attempt == maxClashRetries) {
                    return fail(copied.error());
                }
            }
        }
    }
    return keep(Result<QList<FileMove>>(copies), copies);
}

Result<FileMove> FileOperations::trash(const QString &source, int shot, HomeTrash homeTrash)
{
    // The trash picks the item's name itself, so the record names no destination.
    if (Result<void> noted = intendMove(source, QString(), shot); !noted) {
        return std::unexpected(noted.error());
    }
    const Result<QString> trashed = m_fileSystem->moveToTrash(source, homeTrash, copyNote(source));
    if (!trashed || trashed->isEmpty()) {
        return std::unexpected(trashed ? FileSystemError::writeUnknown(source) : trashed.error());
    }
    const FileMove move{QUrl::fromLocalFile(source), QUrl::fromLocalFile(*trashed),
                        identityOf(*trashed), shot};
    reportMove(move);
    return move;
}

Result<QList<FileMove>> FileOperations::moveToTrash(const QList<QUrl> &urls, HomeTrash homeTrash)
{
    QList<QList<QUrl>> shots;
    for (const QUrl &url : urls) {
        shots.append(QList<QUrl>{url});
    }
    return moveShotsToTrash(shots, homeTrash);
}

Result<QList<FileMove>> FileOperations::moveShotsToTrash(const QList<QList<QUrl>> &shots,
                                                         HomeTrash homeTrash)
{
    QList<FileMove> performed;
    for (qsizetype shot = 0; shot < shots.size(); ++shot) {
        for (const QUrl &url : shots[shot]) {
            Result<FileMove> move = trash(pathOf(url), int(shot), homeTrash);
            if (!move) {
                const FileSystemError error = judged(move.error());
                rollback(performed);
                return std::unexpected(error);
            }
            performed.append(*move);
        }
    }
    return keep(Result<QList<FileMove>>(performed), performed);
}

Result<QUrl> FileOperations::createCategory(const QString &proposedName, const QUrl &root)
{
    const Result<QString> name = validatedCategoryName(proposedName);
    if (!name) {
        return std::unexpected(name.error());
    }
    const QUrl folder = QUrl::fromLocalFile(child(pathOf(root), *name));
    if (Result<void> created = createCategory(folder); !created) {
        return std::unexpected(created.error());
    }
    return keep(Result<QUrl>(folder), {}, folder);
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
    if (!made) {
        return std::unexpected(isClash(made.error()) ? FileSystemError::categoryAlreadyExists(name)
                                                     : made.error());
    }
    return keep(made, {}, folder);
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
    const QString destination = child(parentOf(path), *name);
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
    if (Result<void> noted = intendMove(path, destination, -1); !noted) {
        return std::unexpected(noted.error());
    }
    Result<void> moved = m_fileSystem->moveNoReplace(path, destination);
    if (moved) {
        reportMove(
            {QUrl::fromLocalFile(path), QUrl::fromLocalFile(destination), identityOf(destination)});
    } else if (isClash(moved.error()) && nameKey(*name) == nameKey(current)) {
        moved = renameLetterCase(path, destination);
    }
    if (!moved) {
        return std::unexpected(isClash(moved.error())
                                   ? FileSystemError::categoryAlreadyExists(*name)
                                   : moved.error());
    }
    const FileMove renamed{QUrl::fromLocalFile(path), QUrl::fromLocalFile(destination),
                           identityOf(destination)};
    return keep(Result<FileMove>(renamed), {renamed});
}

// A volume that folds letter case (FAT, exFAT, SMB) finds the folder itself under its new
// spelling, so a rename that must not replace refuses "cats" → "Cats" as taken. Unless the
// folder holds that exact name as another entry, the folder goes by way of a hidden name of
// its own; each step is a move of the journal, so a crash between them is put back.
Result<void> FileOperations::renameLetterCase(const QString &path, const QString &destination)
{
    const QString folder = parentOf(path);
    const QString wanted = nameOf(destination);
    QSet<QString> names;
    if (const Result<void> listed =
            m_fileSystem->visitNames(folder, [&names](const QString &name) { names.insert(name); });
        !listed) {
        return listed;
    }
    if (names.contains(wanted) || !names.contains(nameOf(path))) {
        return std::unexpected(FileSystemError::system(EEXIST, QString()));
    }
    const auto step = [this](const QString &from, const QString &to) -> Result<void> {
        if (Result<void> noted = intendMove(from, to, -1); !noted) {
            return noted;
        }
        Result<void> moved = m_fileSystem->moveNoReplace(from, to);
        if (moved) {
            reportMove({QUrl::fromLocalFile(from), QUrl::fromLocalFile(to), identityOf(to)});
        }
        return moved;
    };
    for (int attempt = 1; attempt <= maxClashRetries; ++attempt) {
        const QString hidden =
            child(folder, QStringLiteral(".calvenor-rename-") + QString::number(attempt));
        if (names.contains(nameOf(hidden))) {
            continue;
        }
        const Result<void> aside = step(path, hidden);
        if (!aside && isClash(aside.error())) {
            continue;
        }
        if (!aside) {
            return aside;
        }
        const Result<void> renamed = step(hidden, destination);
        if (!renamed) {
            (void)step(hidden, path);
        }
        return renamed;
    }
    return std::unexpected(FileSystemError::system(EEXIST, QString()));
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
    // The category's shots return whole, each under one stem; anything else goes alone.
    QStringList paths;
    for (const EntryInfo &entry : *entries) {
        paths.append(child(path, entry.name));
    }
    NameReservations names(*m_fileSystem);
    CategoryDeletion deletion{QUrl::fromLocalFile(path), name, {}};
    const QList<QStringList> shots = shotsOf(paths, CompanionRule::together);
    for (qsizetype shot = 0; shot < shots.size(); ++shot) {
        QStringList preferred;
        for (const QString &member : shots[shot]) {
            preferred.append(nameOf(member));
        }
        Result<QList<FileMove>> moved =
            moveShotToFreeNames(shots[shot], pathOf(root), preferred, int(shot), names);
        if (!moved) {
            const FileSystemError error = judged(moved.error());
            rollback(deletion.movedItems);
            return std::unexpected(error);
        }
        deletion.movedItems.append(*moved);
    }
    if (Result<void> removed = m_fileSystem->removeEmptyFolder(path); !removed) {
        const FileSystemError error = judged(removed.error());
        rollback(deletion.movedItems);
        return std::unexpected(error);
    }
    return keep(Result<CategoryDeletion>(deletion), deletion.movedItems,
                      deletion.categoryURL);
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
    const Result<void> removed = m_fileSystem->removeEmptyFolder(path);
    return removed ? keep(removed, {}, folder) : removed;
}

Result<QList<FileMove>> FileOperations::restoreDeletedCategory(const CategoryDeletion &deletion)
{
    if (Result<void> created = createCategory(deletion.categoryURL); !created) {
        return std::unexpected(created.error());
    }
    Result<QList<FileMove>> performed = relocate(FileMove::reversedEach(deletion.movedItems));
    if (!performed) {
        if (!m_lost) {
            (void)removeEmptyCategory(deletion.categoryURL);
        }
        return performed;
    }
    return keep(performed, *performed, deletion.categoryURL);
}
