#include "FolderScanner.h"

#include "Models/FilePaths.h"
#include "Models/NaturalOrder.h"

#include <QCoreApplication>
#include <QDir>

#include <algorithm>
#include <cerrno>
#include <optional>
#include <thread>
#include <vector>

namespace {

constexpr int cancelCheckInterval = 64;

using FilePaths::child;

QString lastComponent(const QString &path)
{
    const QString name = QDir(path).dirName();
    return name.isEmpty() ? path : name;
}

} // namespace

int FolderScanner::listingLanes(const CollectionVolumes &volumes)
{
    const auto remote = [](const Volume &volume) {
        return volume.kind == Volume::Kind::share || volume.kind == Volume::Kind::fuse;
    };
    return remote(volumes.root) || std::ranges::any_of(volumes.inside, remote) ? 4 : 1;
}

FolderScanner::FolderScanner(std::shared_ptr<PlatformFileSystem> fileSystem)
    : m_fileSystem(std::move(fileSystem))
{
}

Photo FolderScanner::photoFor(const QString &path, const EntryInfo &values, ImageKind kind)
{
    Photo photo;
    photo.id = stableIdentifier(&values, path);
    photo.url = QUrl::fromLocalFile(path);
    photo.filename = values.name.isEmpty() ? lastComponent(path) : values.name;
    photo.modificationDate = values.modificationTime;
    photo.byteCount = values.size;
    photo.kind = kind;
    return photo;
}

QString FolderScanner::stableIdentifier(const EntryInfo *values, const QString &fallback)
{
    if (values && values->hasAttributes && !values->identity.isEmpty()) {
        return values->identity;
    }
    return fallback;
}

std::optional<FolderScanner::MemberFile>
FolderScanner::memberFile(const QString &folder, const EntryInfo &entry,
                          qsizetype &unreadableNames, QList<EntryInfo> *subfolders) const
{
    if (!entry.nameIsValid && !entry.isDirectory()) {
        ++unreadableNames;
    }
    if (!entry.hasAttributes || !entry.nameIsValid || entry.isHidden()) {
        return std::nullopt;
    }
    if (entry.isDirectory()) {
        if (subfolders) {
            subfolders->append(entry);
        }
        return std::nullopt;
    }
    // Only regular files: a link is never followed, and a FIFO or device would block the
    // readers that open photos later.
    if (!entry.isRegularFile()) {
        return std::nullopt;
    }
    QString path = child(folder, entry.name);
    // A sidecar is never a photo, whatever its content (a camera's .THM is a small JPEG),
    // and its type is not looked for: most sidecar extensions are unknown to the MIME
    // database, which would read every one of them.
    if (Companions::isSidecarName(entry.name)) {
        return MemberFile{std::move(path), ImageKind::none};
    }
    const ImageKind kind = m_types.kindOf(path, entry.name);
    if (kind == ImageKind::none) {
        return std::nullopt;
    }
    return MemberFile{std::move(path), kind};
}

void FolderScanner::Digest::add(const QString &name, const QString &id, FileTime time,
                                qint64 size)
{
    ++files;
    first += qHashMulti(0x9e3779b97f4a7c15U, name, id, time, size);
    second += qHashMulti(0xc2b2ae3d27d4eb4fU, size, time, id, name);
}

FolderScanner::Digest &FolderScanner::Digest::operator+=(const Digest &other)
{
    files += other.files;
    first += other.first;
    second += other.second;
    unreadableNames += other.unreadableNames;
    return *this;
}

FolderScanner::Digest FolderScanner::Digest::of(const PhotoSection &section)
{
    Digest known;
    for (const Photo &photo : section.photos) {
        known.add(photo.filename, photo.id, photo.modificationDate, photo.byteCount);
        for (const Companion &companion : photo.companions) {
            known.add(companion.filename, companion.id, companion.modificationDate,
                      companion.byteCount);
        }
    }
    known.unreadableNames = section.unreadableNameCount;
    return known;
}

Result<bool> FolderScanner::holdsExactly(const QString &folder, const Digest &shown,
                                         CompanionRule rule, const CancelCheck &isCancelled,
                                         QList<EntryInfo> *subfolders) const
{
    Digest listed;
    // Whether a sidecar belongs to a photo is known only once every image was met.
    Companions::SidecarOwners owners(rule);
    std::vector<std::pair<Companions::SidecarOwners::Sidecar, Digest>> sidecars;
    const Result<void> visited = m_fileSystem->visit(
        folder,
        [&](const EntryInfo &entry) {
            const std::optional<MemberFile> file =
                memberFile(folder, entry, listed.unreadableNames, subfolders);
            if (!file) {
                return;
            }
            Digest one;
            one.add(entry.name, stableIdentifier(&entry, file->path), entry.modificationTime,
                    entry.size);
            if (file->kind == ImageKind::none) {
                sidecars.emplace_back(Companions::SidecarOwners::sidecar(entry.name), one);
            } else {
                owners.addImage(entry.name);
                listed += one;
            }
        },
        {isCancelled, nullptr});
    if (!visited) {
        return std::unexpected(visited.error());
    }
    for (const auto &[sidecar, one] : sidecars) {
        if (owners.hasOwner(sidecar)) {
            listed += one;
        }
    }
    return listed == shown;
}

Result<FolderScanner::FolderPhotos> FolderScanner::photosIn(const QString &folder,
                                                            PhotoSortOrder sortOrder,
                                                            const CancelCheck &isCancelled,
                                                            CompanionRule rule,
                                                            QList<EntryInfo> *subfolders,
                                                            std::atomic<qint64> *entriesFound) const
{
    Result<QList<EntryInfo>> listing = m_fileSystem->list(folder, {isCancelled, entriesFound});
    if (!listing) {
        return std::unexpected(listing.error());
    }
    FolderPhotos result;
    QList<Companions::ListedFile> files;
    QList<const EntryInfo *> fileEntries;
    QList<QString> filePaths; // built once per file, for the type check and the photo
    for (qsizetype i = 0; i < listing->size(); ++i) {
        if (i % cancelCheckInterval == 0 && isCancelled()) {
            return std::unexpected(FileSystemError::cancelled());
        }
        const EntryInfo &entry = listing->at(i);
        if (std::optional<MemberFile> file =
                memberFile(folder, entry, result.unreadableNameCount, subfolders)) {
            files.append({entry.name, file->kind});
            fileEntries.append(&entry);
            filePaths.append(std::move(file->path));
        }
    }
    const QList<QList<qsizetype>> shots = Companions::group(files, rule);
    QList<Photo> &photos = result.photos;
    photos.resize(shots.size());
    // Each shot makes its photo on its own (a URL, an identity and names apiece): a large
    // folder shares the shots out between two threads.
    Photo *const made = photos.data();
    const auto makePhotos = [&](qsizetype from, qsizetype to) {
        for (qsizetype s = from; s < to; ++s) {
            const QList<qsizetype> &shot = shots[s];
            Photo &photo = made[s];
            photo = photoFor(filePaths[shot.first()], *fileEntries[shot.first()],
                             files[shot.first()].kind);
            for (qsizetype m = 1; m < shot.size(); ++m) {
                const EntryInfo &member = *fileEntries[shot[m]];
                photo.companions.append({member.name,
                                         stableIdentifier(&member, filePaths[shot[m]]),
                                         member.modificationTime, member.size,
                                         files[shot[m]].kind});
            }
        }
    };
    constexpr qsizetype sharedFrom = 8192;
    if (shots.size() >= sharedFrom) {
        const qsizetype middle = shots.size() / 2;
        std::thread second(makePhotos, middle, shots.size());
        makePhotos(0, middle);
        second.join();
    } else {
        makePhotos(0, shots.size());
    }
    sortPhotos(photos, sortOrder);
    return result;
}

PhotoSection FolderScanner::unsortedSection(const QString &root, const EntryInfo &rootInfo,
                                            FolderPhotos &&photos)
{
    const QUrl url = QUrl::fromLocalFile(root);
    return {QStringLiteral("unsorted:") + stableIdentifier(&rootInfo, root),
            PhotoSectionKind::unsorted, url, QCoreApplication::translate("FileSystem", "Unsorted"),
            std::move(photos.photos), photos.unreadableNameCount};
}

PhotoSection FolderScanner::categorySection(const QString &path, const EntryInfo *folderInfo,
                                            FolderPhotos &&photos)
{
    return {QStringLiteral("category:") + stableIdentifier(folderInfo, path),
            PhotoSectionKind::category, QUrl::fromLocalFile(path), lastComponent(path),
            std::move(photos.photos), photos.unreadableNameCount};
}

Result<PhotoSection> FolderScanner::scanFolder(const QUrl &rootURL, const QString &folder,
                                               PhotoSortOrder sortOrder,
                                               const CancelCheck &isCancelled, CompanionRule rule,
                                               QList<EntryInfo> *subfolders) const
{
    const QString root = standardizedPath(rootURL);
    const bool isRoot = folder == root;
    const Result<EntryInfo> info = m_fileSystem->stat(folder, /*followLink=*/isRoot);
    if (!info) {
        return std::unexpected(info.error());
    }
    if (!info->isDirectory()) {
        return std::unexpected(FileSystemError::notDirectory(QUrl::fromLocalFile(folder)));
    }
    Result<FolderPhotos> photos =
        photosIn(folder, sortOrder, isCancelled, rule, isRoot ? subfolders : nullptr);
    if (!photos) {
        return std::unexpected(photos.error());
    }
    return isRoot ? unsortedSection(root, *info, std::move(*photos))
                  : categorySection(folder, &*info, std::move(*photos));
}

Result<PhotoCollection> FolderScanner::scan(const QUrl &rootURL, PhotoSortOrder sortOrder,
                                            const CancelCheck &isCancelled,
                                            CompanionRule rule,
                                            std::atomic<qint64> *entriesFound) const
{
    if (isCancelled()) {
        return std::unexpected(FileSystemError::cancelled());
    }
    const QString root = standardizedPath(rootURL);
    const QUrl rootUrl = QUrl::fromLocalFile(root);

    const Result<EntryInfo> rootInfo = m_fileSystem->stat(root, /*followLink=*/true);
    if (!rootInfo) {
        return std::unexpected(rootInfo.error());
    }
    if (!rootInfo->isDirectory()) {
        return std::unexpected(FileSystemError::notDirectory(rootUrl));
    }

    QList<EntryInfo> folders;
    Result<FolderPhotos> rootPhotos =
        photosIn(root, sortOrder, isCancelled, rule, &folders, entriesFound);
    if (!rootPhotos) {
        return std::unexpected(rootPhotos.error());
    }
    if (isCancelled()) {
        return std::unexpected(FileSystemError::cancelled());
    }

    PhotoCollection collection;
    collection.rootURL = rootUrl;
    collection.displayName = lastComponent(root);
    collection.sections.append(unsortedSection(root, *rootInfo, std::move(*rootPhotos)));

    QStringList names;
    for (const EntryInfo &folder : std::as_const(folders)) {
        names.append(folder.name);
    }
    sortNames(names);
    QHash<QString, const EntryInfo *> folderByName;
    for (const EntryInfo &folder : std::as_const(folders)) {
        folderByName.insert(folder.name, &folder);
    }

    // On a share each entry costs a round trip, and FUSE answers the lookups of one folder one
    // at a time: several categories listed at once overlap their waits. A local disk gains
    // nothing from it, and a spinning one would seek between the folders.
    const qsizetype lanes =
        std::min<qsizetype>(listingLanes(m_fileSystem->volumes(root)), names.size());
    QList<std::optional<Result<FolderPhotos>>> listed(names.size());
    std::atomic<qsizetype> next = 0;
    const auto listCategories = [&] {
        for (qsizetype i = next++; i < names.size() && !isCancelled(); i = next++) {
            listed[i] = photosIn(child(root, names[i]), sortOrder, isCancelled, rule, nullptr,
                                 entriesFound);
        }
    };
    std::vector<std::thread> helpers;
    for (qsizetype lane = 1; lane < lanes; ++lane) {
        helpers.emplace_back(listCategories);
    }
    listCategories();
    for (std::thread &helper : helpers) {
        helper.join();
    }

    for (qsizetype i = 0; i < names.size(); ++i) {
        if (!listed[i]) { // not reached: cancelled before it
            return std::unexpected(FileSystemError::cancelled());
        }
        const QString &name = names[i];
        Result<FolderPhotos> &photos = *listed[i];
        if (!photos) {
            if (photos.error().code == FileSystemError::Code::cancelled) {
                return std::unexpected(photos.error());
            }
            // One folder the user may not read (a root-only lost+found) must not hide all the
            // others; a folder that vanished since the root was listed is simply gone.
            const int error = photos.error().systemError;
            if (error != ENOENT && error != ENOTDIR) {
                collection.unreadableFolders.append(name);
            }
            continue;
        }
        collection.sections.append(
            categorySection(child(root, name), folderByName.value(name), std::move(*photos)));
    }
    return collection;
}
