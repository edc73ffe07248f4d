#pragma once

// Turns a root folder into a PhotoCollection: the root's images form Unsorted, every visible
// first-level subfolder is a category holding the images lying directly in it. Deeper folders
// are never read, links are never followed, and nothing on disk changes.
// Synchronous and stateless; the file-system service runs it on its own thread.

#include "CancelCheck.h"
#include "Models/PhotoCollection.h"
#include "Models/TextEnums.h"
#include "Platform/ImageTypeDetector.h"
#include "Platform/PlatformFileSystem.h"

#include <memory>
#include <optional>

class FolderScanner
{
public:
    explicit FolderScanner(std::shared_ptr<PlatformFileSystem> fileSystem);

    // The collection without pixel dimensions (those are filled in afterwards). Each photo
    // is a shot: its companions are grouped by `rule`. `entriesFound`, when given, counts the
    // folder entries listed so far, for a loading screen.
    Result<PhotoCollection> scan(const QUrl &rootURL, PhotoSortOrder sortOrder,
                                 const CancelCheck &isCancelled = neverCancelled,
                                 CompanionRule rule = CompanionRule::together,
                                 std::atomic<qint64> *entriesFound = nullptr) const;

    // One folder of the collection at rootURL listed again: Unsorted when it is the root (its
    // subfolders are then added to `subfolders`), otherwise the category it holds.
    Result<PhotoSection> scanFolder(const QUrl &rootURL, const QString &folder,
                                    PhotoSortOrder sortOrder, const CancelCheck &isCancelled,
                                    CompanionRule rule, QList<EntryInfo> *subfolders) const;

    // A folder's files summed up as a count and two order-independent digests of every file's
    // (name, identity, time, size), and its unreadable names counted: no list of the folder is
    // ever held, which matters in a folder of 100,000 files. Two 64-bit sums agreeing by chance
    // is beyond any real folder.
    struct Digest
    {
        qint64 files = 0;
        size_t first = 0;
        size_t second = 0;
        qsizetype unreadableNames = 0;

        void add(const QString &name, const QString &id, FileTime time, qint64 size);
        Digest &operator+=(const Digest &other);
        // The files `section` was made from.
        static Digest of(const PhotoSection &section);
        bool operator==(const Digest &) const = default;
    };

    // Whether `folder` still holds exactly the files `shown` sums up: listing it again would
    // then give the same photos, so none need be made. Sidecars of no photo under `rule` are
    // left out, as the photos leave them out. The subfolders are added to `subfolders`.
    Result<bool> holdsExactly(const QString &folder, const Digest &shown, CompanionRule rule,
                              const CancelCheck &isCancelled,
                              QList<EntryInfo> *subfolders) const;

    // The entry's identity when it has one, otherwise the fallback (its path).
    static QString stableIdentifier(const EntryInfo *values, const QString &fallback);

    // How many categories a scan lists at once: several on shares and FUSE mounts, where each
    // entry waits on a round trip, one on local disks.
    static int listingLanes(const CollectionVolumes &volumes);

private:
    struct FolderPhotos
    {
        QList<Photo> photos;
        qsizetype unreadableNameCount = 0;
    };
    Result<FolderPhotos> photosIn(const QString &folder, PhotoSortOrder sortOrder,
                                  const CancelCheck &isCancelled, CompanionRule rule,
                                  QList<EntryInfo> *subfolders,
                                  std::atomic<qint64> *entriesFound = nullptr) const;
    static PhotoSection unsortedSection(const QString &root, const EntryInfo &rootInfo,
                                        FolderPhotos &&photos);
    static PhotoSection categorySection(const QString &path, const EntryInfo *folderInfo,
                                        FolderPhotos &&photos);
    static Photo photoFor(const QString &path, const EntryInfo &values, ImageKind kind);
    // A listed file the folder's photos are made of: a supported image, or a sidecar (kind
    // none). Both photosIn() and holdsExactly() sort entries with it, so they always agree.
    struct MemberFile
    {
        QString path;
        ImageKind kind = ImageKind::none;
    };
    // The file `entry` names when it is one, after counting an unreadable name and keeping a
    // subfolder in `subfolders` (when given).
    std::optional<MemberFile> memberFile(const QString &folder, const EntryInfo &entry,
                                         qsizetype &unreadableNames,
                                         QList<EntryInfo> *subfolders) const;

    std::shared_ptr<PlatformFileSystem> m_fileSystem;
    ImageTypeDetector m_types;
};
