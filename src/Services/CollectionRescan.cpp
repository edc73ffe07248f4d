#include "CollectionRescan.h"

#include "ImageDimensionsReader.h"
#include "Models/NaturalOrder.h"

#include <QHash>

namespace {

bool sameVersion(const Photo &a, const Photo &b)
{
    return a.modificationDate == b.modificationDate && a.byteCount == b.byteCount;
}

Result<CollectionUpdate> listEverything(const FolderScanner &scanner, const PhotoCollection &shown,
                                        PhotoSortOrder sortOrder, CompanionRule rule,
                                        const CancelCheck &isCancelled)
{
    Result<PhotoCollection> fresh = scanner.scan(shown.rootURL, sortOrder, isCancelled, rule);
    if (!fresh) {
        return std::unexpected(fresh.error());
    }
    QList<Photo> known;
    for (const PhotoSection &section : shown.sections) {
        known.append(section.photos);
    }
    for (PhotoSection &section : fresh->sections) {
        CollectionRescan::carryDimensions(section.photos, known, sortOrder);
    }
    CollectionUpdate update;
    update.everything = true;
    update.collection = std::move(*fresh);
    return update;
}

// Whether the root's listed subfolders are still exactly the shown categories (and the
// folders that could not be read): anything else needs the whole collection listed.
bool sameCategories(const PhotoCollection &shown, const QList<EntryInfo> &subfolders)
{
    const auto key = [](const QString &id, const QString &name) {
        return id + QLatin1Char('/') + name;
    };
    QSet<QString> listed;
    for (const EntryInfo &folder : subfolders) {
        if (!shown.unreadableFolders.contains(folder.name)) {
            listed.insert(key(QStringLiteral("category:")
                                  + FolderScanner::stableIdentifier(&folder, folder.name),
                              folder.name));
        }
    }
    QSet<QString> known;
    for (const PhotoSection &section : shown.sections) {
        if (section.kind == PhotoSectionKind::category) {
            known.insert(key(section.id, section.name));
        }
    }
    return listed == known
           && subfolders.size() == known.size() + shown.unreadableFolders.size();
}

} // namespace

void CollectionRescan::carryDimensions(QList<Photo> &fresh,
                                       const QList<Photo> &known,
                                       PhotoSortOrder order)
{
    QHash<QString, const Photo *> byID;
    byID.reserve(known.size());
    for (const Photo &photo : known) {
        if (ImageDimensions::of(photo) != ImageDimensions()) {
            byID.insert(photo.id, &photo);
        }
    }
    if (byID.isEmpty()) {
        return;
    }
    bool timed = false;
    for (Photo &photo : fresh) {
        const auto old = byID.constFind(photo.id);
        if (old != byID.cend() && sameVersion(photo, **old)) {
            ImageDimensions::of(**old).applyTo(photo);
            timed = timed || photo.captureTime;
        }
    }
    // The listing sorted by file times alone; the board shows this folder by the times taken
    // already, and a listing that agrees with it must compare equal to it.
    if (timed && order == PhotoSortOrder::dateTaken) {
        sortPhotos(fresh, order);
    }
}

Result<CollectionUpdate> CollectionRescan::run(const FolderScanner &scanner, PhotoCollection shown,
                                               const QSet<QString> &folders, RescanScope scope,
                                               PhotoSortOrder sortOrder, CompanionRule rule,
                                               const CancelCheck &isCancelled)
{
    if (scope == RescanScope::everything) {
        return listEverything(scanner, shown, sortOrder, rule, isCancelled);
    }
    const QString root = standardizedPath(shown.rootURL);
    CollectionUpdate update;
    if (scope == RescanScope::check) {
        // The common case after our own moves: each folder is as the board shows it. Found
        // without making a single photo, which in a folder of 100,000 costs far more than
        // listing it; and the photos are let go before the first listing.
        QHash<QString, FolderScanner::Digest> known;
        for (PhotoSection &section : shown.sections) {
            const QString path = standardizedPath(section.url);
            if (folders.contains(path)) {
                known.insert(path, FolderScanner::Digest::of(section));
            }
            section.photos = {};
        }
        for (auto folder = known.cbegin(); folder != known.cend(); ++folder) {
            QList<EntryInfo> subfolders;
            const Result<bool> same =
                scanner.holdsExactly(folder.key(), *folder, rule, isCancelled, &subfolders);
            if (!same && same.error().code == FileSystemError::Code::cancelled) {
                return std::unexpected(same.error());
            }
            if (!same || !*same || (folder.key() == root && !sameCategories(shown, subfolders))) {
                update.changedFolders.insert(folder.key());
            }
        }
        return update;
    }
    // What the board knows of every photo in the folders listed: a photo moved between two of
    // them (an undone filing marks both) keeps its size and capture time, so it is neither read
    // again nor shown first by its file time.
    QList<Photo> known;
    for (const PhotoSection &section : std::as_const(shown.sections)) {
        if (folders.contains(standardizedPath(section.url))) {
            known.append(section.photos);
        }
    }
    QSet<QString> before;
    QSet<QString> after;
    for (const PhotoSection &section : shown.sections) {
        const QString path = standardizedPath(section.url);
        if (!folders.contains(path)) {
            continue;
        }
        QList<EntryInfo> subfolders;
        Result<PhotoSection> fresh =
            scanner.scanFolder(shown.rootURL, path, sortOrder, isCancelled, rule, &subfolders);
        if (!fresh && fresh.error().code == FileSystemError::Code::cancelled) {
            return std::unexpected(fresh.error());
        }
        // A category that vanished, or was replaced by another folder of its name, or a root
        // whose categories changed: only a full listing can say what the board is now.
        if (!fresh || fresh->id != section.id
            || (path == root && !sameCategories(shown, subfolders))) {
            return listEverything(scanner, shown, sortOrder, rule, isCancelled);
        }
        carryDimensions(fresh->photos, known, sortOrder);
        for (const Photo &photo : section.photos) {
            before.insert(photo.id);
        }
        for (const Photo &photo : fresh->photos) {
            after.insert(photo.id);
        }
        if (*fresh != section) {
            update.sections.append(std::move(*fresh));
        }
    }
    update.goneIDs = before - after;
    return update;
}
