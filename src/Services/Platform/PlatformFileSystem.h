#pragma once

// The thin seam between the file-system service and the operating system. Every disk call of
// the service goes through one of these functions, so tests can make any call fail.
// Paths are absolute local paths; links are never followed.

#include "Models/FileSystemError.h"
#include "Models/FileTime.h"
#include "CollectionVolumes.h"

#include <QList>
#include <QString>

#include <atomic>
#include <functional>

// Whether an item whose own volume has no usable trash may go to the home trash instead: on
// another disk, that copies the whole item there (slow on a share, and it fills the home disk).
enum class HomeTrash { refused, allowed };

enum class EntryType { directory, regularFile, symbolicLink, other, unknown };

// One listed entry with the attributes the service needs, read with a single statx.
struct EntryInfo
{
    QString name;
    // False when the on-disk name is not valid UTF-8: such an entry could not be opened
    // again by its decoded name.
    bool nameIsValid = true;
    // False when the entry vanished or could not be examined after it was listed.
    bool hasAttributes = true;
    EntryType type = EntryType::unknown;
    FileTime modificationTime;
    qint64 size = 0;
    QString identity; // "device:inode"; FileIdentity::of gives the whole identity
    // When the file was made; the distant past where the file system keeps no birth time.
    FileTime birthTime;
    // Where inode numbers change across remounts and readers (FAT, exFAT, most FUSE file
    // systems), identities tell files apart by size and times, compared to the volume's
    // resolution (see FileIdentity).
    bool stableInodes = true;
    int timeResolutionMs = 0;

    bool isHidden() const { return name.startsWith(QLatin1Char('.')); }
    bool isDirectory() const { return type == EntryType::directory; }
    bool isRegularFile() const { return type == EntryType::regularFile; }

    friend bool operator==(const EntryInfo &, const EntryInfo &) = default;
};

// Who waits on a long listing: it stops at the next entry once `isCancelled` answers true
// (failing with FileSystemError::cancelled()), and counts the entries it has found so far.
struct ListingWatch
{
    std::function<bool()> isCancelled = {};
    std::atomic<qint64> *entriesFound = nullptr;
};

class PlatformFileSystem
{
public:
    virtual ~PlatformFileSystem() = default;

    // Every entry of a folder (hidden ones and undecodable names included), in listing order.
    virtual Result<QList<EntryInfo>> list(const QString &folder,
                                          const ListingWatch &watch = {}) = 0;
    // The same entries, handed to `visitor` one at a time and never held all at once: a check
    // of a folder of 100,000 files then needs no memory for them.
    virtual Result<void> visit(const QString &folder,
                               const std::function<void(const EntryInfo &)> &visitor,
                               const ListingWatch &watch = {}) = 0;
    // Only the names of the same entries: what a search for a free name needs, without a call
    // per entry for its attributes.
    virtual Result<void> visitNames(const QString &folder,
                                    const std::function<void(const QString &)> &visitor) = 0;
    // The entry at a path. A final symbolic link is followed only when asked (the root folder a
    // user picked may be reached through one; entries inside it never are).
    virtual Result<EntryInfo> stat(const QString &path, bool followLink = false) = 0;

    // Told, by a move across devices, the path of its complete and durable copy while that is
    // still under a hidden name in the destination's folder: the identity read there is the one
    // the copy keeps once published, so the journal can know it before any name changes. A
    // failure withdraws the copy and fails the move, the source untouched.
    using CopyNote = std::function<Result<void>(const QString &copy)>;

    // Moves a file or folder without ever replacing an existing entry, even one that another
    // program creates meanwhile. A clash fails with systemError EEXIST. Files also move across
    // devices (copied durably first, the source removed last); folders only within a device.
    virtual Result<void> moveNoReplace(const QString &source, const QString &destination,
                                       const CopyNote &beforePublishing = {}) = 0;
    // Copies a regular file to a name that must not exist yet. A failed copy leaves nothing
    // under `destination`. Clash: systemError EEXIST.
    virtual Result<void> copyNoReplace(const QString &source, const QString &destination) = 0;
    // Creates one folder (parents must exist). Clash: systemError EEXIST.
    virtual Result<void> makeFolder(const QString &path) = 0;
    virtual Result<void> removeFile(const QString &path) = 0;
    virtual Result<void> removeEmptyFolder(const QString &path) = 0;

    // Moves the item to the freedesktop trash of its volume (or the home trash) and returns
    // where it now is. Its .trashinfo is written before the item moves. When the volume is not
    // the home trash's and its own trash cannot be made or written, the item goes to the home
    // trash only if `homeTrash` allows it; else nothing moves and the call fails with
    // Code::noVolumeTrash, leaving no .trashinfo behind.
    virtual Result<QString> moveToTrash(const QString &path,
                                        HomeTrash homeTrash,
                                        const CopyNote &beforePublishing = {}) = 0;
    // True when `path` names an item in the files folder of a trash.
    virtual bool isTrashedItem(const QString &path) = 0;
    // After an item left the trash: removes its .trashinfo so the trash lists no stale entry.
    // Does nothing for paths outside a trash. Never fails.
    virtual void forgetTrashedItem(const QString &trashedPath) = 0;
    // The items of the trashes that may hold `originalPath` (the home trash and its volume's)
    // whose .trashinfo names it (or is empty, cut off before its first byte, under a name the
    // trash would give it), as paths of the item (which may be missing) in its files folder.
    // For putting back what an interrupted trashing left behind.
    virtual QStringList trashedItemsFrom(const QString &originalPath) = 0;

    // The volumes of the collection at `root` and of the mounts inside it: what each allows
    // (writing at all, which names), asked before anything is tried.
    virtual CollectionVolumes volumes(const QString &root) = 0;
};
