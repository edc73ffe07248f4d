#include "CollectionStore.h"
#include "DiskCommand.h"
#include "HomeTrashConsent.h"
#include "IdSet.h"

#include "Models/FilePaths.h"
#include "Models/NaturalOrder.h"
#include "Models/PhotoDragPayload.h"
#include "Services/FileOperations.h"

#include <QFileInfo>
#include <QMimeData>

// Filing photos into sections (number keys, menus, drops), trashing, copying files in, the
// drag data, and the undo records of moves.

namespace {

// Where the focus goes when the photos in `ids` leave `list`, the focus at `at`: the next one
// that stays, else the nearest before it; never into another list.
template<typename List, typename IdOf>
std::optional<QString> nextStaying(const List &list, qsizetype at, const QSet<QString> &ids,
                                   IdOf idOf)
{
    for (qsizetype i = at + 1; i < list.size(); ++i) {
        if (!ids.contains(idOf(list[i]))) {
            return idOf(list[i]);
        }
    }
    for (qsizetype i = at - 1; i >= 0; --i) {
        if (!ids.contains(idOf(list[i]))) {
            return idOf(list[i]);
        }
    }
    return std::nullopt;
}

const auto photoID = [](const Photo &photo) { return photo.id; };

QString folderOf(const QUrl &url)
{
    return FilePaths::parentOf(standardizedPath(url));
}

// The names taken in a section, compared the way the file operations compare them on disk
// (letter case ignored). Looks the section up instead of building a set of thousands of names
// for the one or two names a key press needs.
class Occupancy
{
    // QString::compare(…, Qt::CaseInsensitive) == 0, made cheap for the usual pair of names
    // that differ: Qt folds case one UTF-16 unit at a time, so names of different lengths never
    // match, and camera names differ in their last digits, so the walk starts at the end. Only
    // letters outside ASCII take Qt's own folding.
    static bool sameIgnoringCase(QStringView a, QStringView b)
    {
        if (a.size() != b.size()) {
            return false;
        }
        for (qsizetype i = a.size() - 1; i >= 0; --i) {
            const char16_t x = a[i].unicode();
            const char16_t y = b[i].unicode();
            if (x == y) {
                continue;
            }
            if (x >= 128 || y >= 128) {
                return a.compare(b, Qt::CaseInsensitive) == 0;
            }
            const char16_t lower = x | 0x20;
            if (lower != (y | 0x20) || lower < u'a' || lower > u'z') {
                return false;
            }
        }
        return true;
    }

    static bool isAscii(const QString &name)
    {
        return std::all_of(name.cbegin(), name.cend(), [](QChar c) { return c.unicode() < 0x80; });
    }

public:
    // `lookup`, when given, describes the collection `photos` is section `section` of: it
    // answers most names without the walk.
    explicit Occupancy(const QList<Photo> &photos, const PhotoLookup *lookup = nullptr,
                       qsizetype section = -1)
        : m_photos(photos)
        , m_lookup(lookup)
        , m_section(section)
    {
    }

    bool isTaken(const QString &name) const
    {
        const QString key = FileOperations::nameKey(name);
        if (m_added.contains(key)) {
            return true;
        }
        // The lookup hashes names the file system's way; an ASCII name equal to another with
        // case ignored has the same key, so a name it does not hold is free.
        if (m_lookup && isAscii(name) && !m_lookup->mayHoldName(m_section, name)) {
            return false;
        }
        const auto same = [&name](const QString &other) { return sameIgnoringCase(other, name); };
        return std::any_of(m_photos.cbegin(), m_photos.cend(), [&same](const Photo &photo) {
            return same(photo.filename)
                   || std::any_of(photo.companions.cbegin(), photo.companions.cend(),
                                  [&same](const Companion &c) { return same(c.filename); });
        });
    }
    void take(const QString &name) { m_added.insert(FileOperations::nameKey(name)); }

private:
    const QList<Photo> &m_photos;
    const PhotoLookup *m_lookup;
    qsizetype m_section;
    QSet<QString> m_added;
};

// The names a shot will get, as the file operations pick them: one number for every member.
template<typename Occupied>
QStringList uniqueNames(const QStringList &names, Occupied &occupied)
{
    for (int number = 1;; ++number) {
        const QStringList candidate = Companions::pairedNames(names, number);
        if (std::none_of(candidate.cbegin(), candidate.cend(),
                         [&occupied](const QString &name) { return occupied.isTaken(name); })) {
            for (const QString &name : candidate) {
                occupied.take(name);
            }
            return candidate;
        }
    }
}

// The folders `photos` leave, and `also` (where they go).
QStringList foldersOf(const QList<Photo> &photos, const QString &also = {})
{
    QSet<QString> folders;
    if (!also.isEmpty()) {
        folders.insert(also);
    }
    for (const Photo &photo : photos) {
        folders.insert(folderOf(photo.url));
    }
    return folders.values();
}

// The names of every file of `photos`: what arrives in the folder they are filed into.
QStringList memberNamesOf(const QList<Photo> &photos)
{
    QStringList names;
    for (const Photo &photo : photos) {
        names.append(photo.memberNames());
    }
    return names;
}

struct NameSet
{
    QSet<QString> &names;
    bool isTaken(const QString &name) const { return names.contains(FileOperations::nameKey(name)); }
    void take(const QString &name) { names.insert(FileOperations::nameKey(name)); }
};

} // namespace

QStringList CollectionStore::predictedUniqueNames(const QStringList &names,
                                                  QSet<QString> &occupied)
{
    NameSet set{occupied};
    return uniqueNames(names, set);
}

void CollectionStore::moveSelectionToDigit(int digit)
{
    if (!canActOnSelection() || !m_collection) {
        return;
    }
    std::optional<PhotoSection> target;
    if (digit == 0) {
        for (const PhotoSection &candidate : m_collection->sections) {
            if (candidate.kind == PhotoSectionKind::unsorted) {
                target = candidate;
                break;
            }
        }
        if (!target) {
            return;
        }
    } else {
        int number = 0;
        for (const PhotoSection &candidate : m_collection->sections) {
            if (candidate.kind == PhotoSectionKind::category && ++number == digit) {
                target = candidate;
                break;
            }
        }
        if (!target) {
            m_desktop.beep();
            showHUD(tr("No category %1").arg(digit));
            return;
        }
    }
    const QString targetID = target->id;
    const QString hud = tr("\u2192 %1").arg(target->name);
    target.reset(); // shares the section's photos, which the move is about to change
    startMoveSelected(targetID, true, hud);
}

void CollectionStore::openFileInto(const QString &text)
{
    if (m_workspaceMode == WorkspaceMode::sort && canActOnSelection()) {
        setFileIntoText(text);
    }
}

void CollectionStore::setFileIntoText(const QString &text)
{
    if (m_fileInto.setText(text)) {
        Q_EMIT fileIntoTextChanged();
    }
}

void CollectionStore::closeFileInto()
{
    if (m_fileInto.close()) {
        Q_EMIT fileIntoTextChanged();
    }
}

void CollectionStore::fileInto(const QString &sectionID)
{
    closeFileInto();
    std::optional<PhotoSection> target = section(sectionID);
    if (target && canActOnSelection()) {
        const QString hud = tr("\u2192 %1").arg(target->name);
        target.reset(); // shares the section's photos, which the move is about to change
        startMoveSelected(sectionID, true, hud);
    }
}

void CollectionStore::createCategoryAndFileInto(const QString &name)
{
    closeFileInto();
    const QList<Photo> photos = selectedPhotosInDisplayOrder();
    if (!m_collection || !canActOnSelection() || photos.isEmpty()) {
        return;
    }
    const QString root = standardizedPath(m_collection->rootURL);
    const QString category = name.trimmed();
    if (refuse(FolderAccess::Command::newCategory, {root}, root, {category})
        || refuse(FolderAccess::Command::move, foldersOf(photos, root),
                  FilePaths::child(root, category), memberNamesOf(photos))) {
        return;
    }
    // Gone from their sections at once; the rescan after the disk work shows the new category.
    const QList<QList<QUrl>> shots = takeOffBoard(photos);
    showHUD(tr("\u2192 %1").arg(name.trimmed()));
    const QString actionName =
        photos.size() == 1 ? QStringLiteral("Move Photo") : QStringLiteral("Move Photos");
    mutate(m_fileSystem.createCategory(name, m_collection->rootURL,
                                       {OperationJournal::Role::action,
                                        QStringLiteral("New Category"),
                                        OperationJournal::ActionKind::newCategory}),
           [this, shots, actionName](const Result<QUrl> &folder) {
               if (!folder) {
                   show(folder.error(), tr("Couldn\u2019t Create Category"));
                   return;
               }
               const QUrl created = *folder;
               mutate(m_fileSystem.moveShots(shots, created,
                                             {OperationJournal::Role::action, actionName}),
                      [this, created, actionName](const Result<QList<FileMove>> &moves) {
                          // The two are one step on the undo stack (the journal keeps two
                          // actions, undone together).
                          const bool both = moves && !moves->isEmpty() && m_undo.undoStack();
                          if (both) {
                              m_undo.undoStack()->beginMacro(tr("File into New Category"));
                          }
                          registerNewCategoryUndo(created);
                          if (both) {
                              registerMoveUndo(*moves, actionName);
                              m_undo.undoStack()->endMacro();
                          }
                          if (!moves) {
                              show(moves.error(), tr("Couldn\u2019t Move Photos"));
                          }
                      });
           });
}

void CollectionStore::moveSelected(const QString &sectionID)
{
    startMoveSelected(sectionID, false, std::nullopt);
}

void CollectionStore::move(const QSet<QString> &photoIDs, const QString &sectionID)
{
    const std::optional<QString> focus =
        photoIDs.isEmpty() ? std::nullopt
                           : std::optional<QString>(*std::min_element(photoIDs.cbegin(),
                                                                      photoIDs.cend()));
    setSelectedPhotoIDs(photoIDs);
    setFocusedPhotoID(focus);
    startMoveSelected(sectionID, false, std::nullopt);
}

void CollectionStore::acceptInternalDrop(const QByteArray &data, const QString &sectionID)
{
    const std::optional<PhotoDragPayload> payload = PhotoDragPayload::fromJson(data);
    if (!payload || !m_collection) {
        return;
    }
    QHash<QString, QString> idByPath;
    for (const PhotoSection &section : m_collection->sections) {
        for (const Photo &photo : section.photos) {
            idByPath.insert(standardizedPath(photo.url), photo.id);
        }
    }
    QSet<QString> ids;
    for (const QUrl &url : payload->urls) {
        if (const auto id = idByPath.constFind(standardizedPath(url)); id != idByPath.cend()) {
            ids.insert(*id);
        }
    }
    if (!ids.isEmpty()) {
        move(ids, sectionID);
    }
}

void CollectionStore::startMoveSelected(const QString &sectionID, bool autoAdvance,
                                        const std::optional<QString> &hud)
{
    // Only the target's folder is kept: a copy of the section would share its photo list, and
    // the optimistic move below would then copy the whole list to insert one photo.
    QUrl targetURL;
    if (const std::optional<PhotoSection> target = section(sectionID)) {
        targetURL = target->url;
    } else {
        return;
    }
    const QString targetFolder = standardizedPath(targetURL);
    // A number key's usual case: one photo, focused, on the board. The lookup finds it, and so
    // the photo the focus moves on to and the place it leaves; in a folder of 100,000 the
    // general way (find the selection, then the next photo, then take it out) walks it thrice.
    std::optional<Place> single;
    std::optional<QString> singleNext;
    if (m_collection && m_selectedPhotoIDs.size() == 1 && m_focusedPhotoID
        && m_selectedPhotoIDs.contains(*m_focusedPhotoID)
        && !(m_workspaceMode == WorkspaceMode::browse && !m_browseNavigationPhotoIDs.isEmpty())) {
        m_photoLookup.sync(*m_collection, m_collectionRevision);
        single = m_photoLookup.find(*m_collection, *m_focusedPhotoID);
        if (single) {
            singleNext = nextStaying(m_collection->sections[single->first].photos, single->second,
                                     m_selectedPhotoIDs, photoID);
        }
    }
    QList<Photo> photos;
    if (single) {
        const Photo &photo = m_collection->sections[single->first].photos[single->second];
        if (folderOf(photo.url) != targetFolder) {
            photos.append(photo);
        }
    } else {
        for (const Photo &photo : selectedPhotosInDisplayOrder()) {
            if (folderOf(photo.url) != targetFolder) {
                photos.append(photo);
            }
        }
    }
    if (photos.isEmpty()) {
        if (autoAdvance) {
            navigateSelection(1, 0); // a number key on photos already there just steps on
        }
        return;
    }
    if (refuse(FolderAccess::Command::move, foldersOf(photos, targetFolder), targetFolder,
               memberNamesOf(photos))) {
        return;
    }
    QSet<QString> ids;
    QList<QList<QUrl>> shots;
    OwnChanges::Shown shown;
    for (const Photo &photo : std::as_const(photos)) {
        ids.insert(photo.id);
        shots.append(photo.memberURLs());
        for (const QUrl &member : std::as_const(shots.last())) {
            shown.taken.insert(standardizedPath(member));
        }
    }
    if (autoAdvance) {
        const std::optional<QString> next =
            single ? singleNext : nextPhotoAfterRemoving(ids, m_focusedPhotoID);
        shown.placed = movePhotosOptimistically(photos, sectionID, 0, single);
        setPostMoveSelection(next ? QSet<QString>{*next} : QSet<QString>());
    } else {
        shown.placed = movePhotosOptimistically(
            photos, sectionID, m_desktop.prefersReducedMotion() ? 0 : 180, single);
        setPostMoveSelection(ids);
    }
    if (hud) {
        showHUD(*hud);
    }
    const QString actionName =
        photos.size() == 1 ? QStringLiteral("Move Photo") : QStringLiteral("Move Photos");
    mutate(m_fileSystem.moveShots(shots, targetURL, {OperationJournal::Role::action, actionName}),
           [this, actionName](const Result<QList<FileMove>> &moves) {
               if (!moves) {
                   show(moves.error(), tr("Couldn\u2019t Move Photos"));
               } else if (!moves->isEmpty()) {
                   registerMoveUndo(*moves, actionName);
               }
           },
           std::make_shared<const OwnChanges::Shown>(std::move(shown)));
}

QSet<QString> CollectionStore::movePhotosOptimistically(const QList<Photo> &photos,
                                                        const QString &sectionID,
                                                        int animationMs,
                                                        std::optional<Place> from)
{
    if (!m_collection) {
        return {};
    }
    qsizetype targetIndex = -1;
    for (qsizetype i = 0; i < m_collection->sections.size(); ++i) {
        if (m_collection->sections[i].id == sectionID) {
            targetIndex = i;
            break;
        }
    }
    if (targetIndex < 0) {
        return {};
    }
    QSet<QString> idSet;
    for (const Photo &photo : photos) {
        idSet.insert(photo.id);
    }
    const IdSet ids(idSet);
    // Edited in place and published as a whole: copying the 8,000-photo lists on every key
    // press would cost more than the rest of the move.
    // A single photo's move is told to the lookup edit by edit, so the next key finds its photo
    // without building the lookup again; any other change leaves it to be built anew.
    PhotoLookup *lookup =
        from && m_photoLookup.describes(m_collectionRevision) ? &m_photoLookup : nullptr;
    PhotoCollection updated = std::move(*m_collection);
    if (from) {
        updated.sections[from->first].photos.removeAt(from->second);
        if (lookup) {
            lookup->noteRemoved(*from, photos.first());
        }
    } else {
        for (PhotoSection &section : updated.sections) {
            section.photos.removeIf([&ids](const Photo &p) { return ids.contains(p.id); });
        }
    }
    PhotoSection &target = updated.sections[targetIndex];
    Occupancy occupied(target.photos, lookup, targetIndex);
    QList<Photo> arriving;
    QSet<QString> placed;
    for (Photo photo : photos) {
        photo.url = childURL(target.url, photo.filename);
        photo.renameMembers(uniqueNames(photo.memberNames(), occupied));
        for (const QUrl &member : photo.memberURLs()) {
            placed.insert(standardizedPath(member));
        }
        arriving.append(std::move(photo));
    }
    for (const Photo &photo : std::as_const(arriving)) {
        // The section is kept sorted, so the photo goes where a stable sort would put it.
        const auto place = std::upper_bound(target.photos.cbegin(), target.photos.cend(), photo,
                                            [this](const Photo &a, const Photo &b) {
                                                return photoPrecedes(a, b, m_sortOrder);
                                            });
        const qsizetype at = place - target.photos.cbegin();
        target.photos.insert(at, photo);
        if (lookup) {
            lookup->noteInserted({targetIndex, at}, photo);
        }
    }
    publishCollection(std::move(updated), animationMs, SimilarShots::Change::moved);
    if (lookup) {
        lookup->advance(m_collectionRevision);
    }
    return placed;
}

void CollectionStore::removePhotosOptimistically(const QSet<QString> &ids)
{
    if (!m_collection) {
        return;
    }
    const IdSet matcher(ids);
    PhotoCollection updated = std::move(*m_collection);
    for (PhotoSection &section : updated.sections) {
        section.photos.removeIf([&matcher](const Photo &p) { return matcher.contains(p.id); });
    }
    publishCollection(std::move(updated), 0, SimilarShots::Change::moved);
}

std::optional<QString>
CollectionStore::nextPhotoAfterRemoving(const QSet<QString> &ids,
                                        const std::optional<QString> &focusedID) const
{
    if (m_workspaceMode == WorkspaceMode::browse && !m_browseNavigationPhotoIDs.isEmpty()) {
        const auto same = [](const QString &id) { return id; };
        const qsizetype at = focusedID ? m_browseNavigationPhotoIDs.indexOf(*focusedID) : -1;
        if (at >= 0) {
            return nextStaying(m_browseNavigationPhotoIDs, at, ids, same);
        }
        return nextStaying(m_browseNavigationPhotoIDs, -1, ids, same);
    }
    if (!m_collection) {
        return std::nullopt;
    }
    if (focusedID) {
        for (const PhotoSection &section : m_collection->sections) {
            for (qsizetype j = 0; j < section.photos.size(); ++j) {
                if (section.photos[j].id == *focusedID) {
                    // Focus never jumps into another section.
                    return nextStaying(section.photos, j, ids, photoID);
                }
            }
        }
    }
    for (const PhotoSection &section : m_collection->sections) {
        for (const Photo &photo : section.photos) {
            if (!ids.contains(photo.id)) {
                return photo.id;
            }
        }
    }
    return std::nullopt;
}

void CollectionStore::setPostMoveSelection(const QSet<QString> &ids)
{
    const std::optional<QString> focus =
        ids.isEmpty() ? std::nullopt
                      : std::optional<QString>(*std::min_element(ids.cbegin(), ids.cend()));
    setSelection(ids, focus, focus);
    if (focus) {
        setScrollRequest(ScrollRequest::make(*focus));
    }
    syncQuickLook();
}

QList<QList<QUrl>> CollectionStore::takeOffBoard(const QList<Photo> &photos)
{
    QSet<QString> ids;
    QList<QList<QUrl>> shots;
    for (const Photo &photo : photos) {
        ids.insert(photo.id);
        shots.append(photo.memberURLs());
    }
    const std::optional<QString> next = nextPhotoAfterRemoving(ids, m_focusedPhotoID);
    removePhotosOptimistically(ids);
    setPostMoveSelection(next ? QSet<QString>{*next} : QSet<QString>());
    return shots;
}

void CollectionStore::moveSelectionToTrash()
{
    const QList<Photo> photos = selectedPhotosInDisplayOrder();
    if (photos.isEmpty() || refuse(FolderAccess::Command::trash, foldersOf(photos))) {
        return;
    }
    trashPhotos(photos, HomeTrashConsent::isNeeded(photos, m_access.volumes())
                            ? HomeTrash::refused
                            : HomeTrash::allowed);
}

void CollectionStore::confirmHomeTrash(HomeTrashPrompt prompt)
{
    if (!m_homeTrashPrompt || m_homeTrashPrompt->id != prompt.id) {
        return; // answered already, or another question replaced it
    }
    setHomeTrashPrompt(std::nullopt);
    if (!prompt.photos.isEmpty() &&
        !refuse(FolderAccess::Command::trash, foldersOf(prompt.photos))) {
        trashPhotos(prompt.photos, HomeTrash::allowed);
    }
}

void CollectionStore::trashPhotos(const QList<Photo> &photos, HomeTrash homeTrash)
{
    const QList<QList<QUrl>> shots = takeOffBoard(photos);
    const qsizetype count = photos.size();
    OwnChanges::Shown shown; // nothing placed: the trash is no folder of the board
    for (const QList<QUrl> &shot : shots) {
        for (const QUrl &member : shot) {
            shown.taken.insert(standardizedPath(member));
        }
    }
    mutate(
        m_fileSystem.moveShotsToTrash(
            shots, {OperationJournal::Role::action, QStringLiteral("Move to Trash")}, homeTrash),
        [this, count, photos, homeTrash](const Result<QList<FileMove>> &moves) {
            if (!moves && homeTrash == HomeTrash::refused &&
                moves.error().code == FileSystemError::Code::noVolumeTrash) {
                // Nothing moved; the board gets the photos back with the listing after a failure.
                setHomeTrashPrompt(HomeTrashConsent::prompt(photos, m_access.volumes()));
                return;
            }
            if (!moves) {
                show(moves.error(), tr("Couldn\u2019t Move to Trash"));
                return;
            }
            if (!moves->isEmpty()) {
                registerMoveUndo(*moves, QStringLiteral("Move to Trash"));
            }
            showHUD(count == 1 ? tr("Moved to Trash")
                               : tr("Moved %Ln to Trash", nullptr, int(count)));
        },
        std::make_shared<const OwnChanges::Shown>(std::move(shown)));
}

void CollectionStore::copyExternalFiles(const QList<QUrl> &urls, const QString &sectionID)
{
    const std::optional<PhotoSection> target = section(sectionID);
    if (!target || urls.isEmpty()) {
        return;
    }
    const QString folder = standardizedPath(target->url);
    QStringList names;
    for (const QUrl &url : urls) {
        names.append(FilePaths::nameOf(standardizedPath(url)));
    }
    if (refuse(FolderAccess::Command::copyIn, {folder}, folder, names)) {
        return;
    }
    const QString name = target->name;
    const QString actionName =
        urls.size() == 1 ? QStringLiteral("Copy Photo") : QStringLiteral("Copy Photos");
    mutate(m_fileSystem.copyImageFiles(urls, target->url,
                                       {OperationJournal::Role::action, actionName,
                                        OperationJournal::ActionKind::copy}),
           [this, name, actionName](const Result<QList<FileMove>> &copies) {
               if (!copies) {
                   show(copies.error(), tr("Couldn\u2019t Copy Photos"));
                   return;
               }
               if (!copies->isEmpty()) {
                   registerMoveUndo(*copies, actionName, /*copies=*/true);
               }
               showHUD(tr("Copied to %1").arg(name));
           });
}

QMimeData *CollectionStore::dragMimeData(const QString &photoID)
{
    if (!m_selectedPhotoIDs.contains(photoID)) {
        setSelection({photoID}, photoID, photoID); // an unselected photo is dragged alone
    }
    auto *data = new QMimeData;
    if (!photo(photoID)) {
        return data;
    }
    PhotoDragPayload payload;
    QList<QUrl> files;
    for (const Photo &photo : selectedPhotosInDisplayOrder()) {
        payload.urls.append(photo.url);
        files.append(photo.memberURLs());
    }
    data->setUrls(files); // other applications get the files themselves, companions too
    data->setData(QString::fromLatin1(PhotoDragPayload::mimeType), payload.toJson());
    return data;
}

DiskCommand *CollectionStore::registerMoveUndo(const QList<FileMove> &moves,
                                               const QString &actionName, bool copies)
{
    if (!m_undo.undoStack()) {
        return nullptr;
    }
    // The record always holds the moves as the disk last performed them: when putting a file
    // back had to pick a free name, the next redo or undo starts from where the file really is.
    // Copies are undone by moving them to the trash; from then on the record is that move.
    auto forward = std::make_shared<QList<FileMove>>(moves);
    auto copied = std::make_shared<bool>(copies);
    QPointer<CollectionStore> self(this);
    return m_undo.push(actionName, [self, forward, copied, actionName](bool redo) -> QFuture<void> {
        if (!self) {
            return QtFuture::makeReadyFuture();
        }
        const JournalEntry entry = UndoJournal::stepEntry(redo, actionName);
        const auto apply = [self, forward, copied, redo,
                            actionName](const Result<QList<FileMove>> &done) {
            if (!done) {
                self->show(done.error(), tr("Couldn\u2019t Complete %1").arg(tr(actionName.toUtf8().constData())));
                return;
            }
            *forward = redo ? *done : FileMove::reversedEach(*done);
            *copied = false;
        };
        if (!*copied) {
            return self->mutate(
                self->m_fileSystem.relocate(redo ? *forward : FileMove::reversedEach(*forward), entry), apply);
        }
        if (redo) {
            // The undo that would have trashed the copies failed, so they are still in place:
            // nothing to redo, but the journal moves on with the undo stack.
            return self->mutate(self->m_fileSystem.relocate({}, entry),
                                [](const Result<QList<FileMove>> &) {});
        }
        QList<QList<QUrl>> shots;
        QHash<int, qsizetype> shotIndex;
        for (const FileMove &copy : std::as_const(*forward)) {
            const auto known = copy.shot < 0 ? shotIndex.cend() : shotIndex.constFind(copy.shot);
            if (known != shotIndex.cend()) {
                shots[*known].append(copy.destination);
                continue;
            }
            shotIndex.insert(copy.shot, shots.size());
            shots.append(QList<QUrl>{copy.destination});
        }
        return self->mutate(self->m_fileSystem.moveShotsToTrash(shots, entry), apply);
    });
}

DiskCommand *CollectionStore::registerUndo(const OperationJournal::Action &action)
{
    switch (action.kind) {
    case OperationJournal::ActionKind::moves:
    case OperationJournal::ActionKind::copy:
        return registerMoveUndo(action.moves, action.name,
                                action.kind == OperationJournal::ActionKind::copy);
    case OperationJournal::ActionKind::newCategory:
        return registerNewCategoryUndo(action.folder);
    case OperationJournal::ActionKind::renameCategory:
        return registerRenameUndo(action.moves.value(0));
    case OperationJournal::ActionKind::deleteCategory:
        return registerDeletionUndo(
            {action.folder, QFileInfo(action.folder.toLocalFile()).fileName(), action.moves},
            QUrl::fromLocalFile(folderOf(action.folder)));
    }
    return nullptr;
}
