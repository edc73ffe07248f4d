#include "LinuxFileSystem.h"

#include "FileIdentity.h"
#include "Models/FilePaths.h"

#include <QCoreApplication>
#include <QFile>
#include <QUtf8StringView>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <memory>
#include <thread>
#include <vector>

#include <cerrno>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>

namespace {

FileTime timeOf(const struct statx_timestamp &time)
{
    return {qint64(time.tv_sec), qint32(time.tv_nsec)};
}

EntryInfo entryFromStat(const struct statx &st, DeviceVolumes &volumes)
{
    EntryInfo info;
    if (S_ISDIR(st.stx_mode)) {
        info.type = EntryType::directory;
    } else if (S_ISREG(st.stx_mode)) {
        info.type = EntryType::regularFile;
    } else if (S_ISLNK(st.stx_mode)) {
        info.type = EntryType::symbolicLink;
    } else {
        info.type = EntryType::other;
    }
    info.modificationTime = timeOf(st.stx_mtime);
    info.size = qint64(st.stx_size);
    const dev_t device = makedev(st.stx_dev_major, st.stx_dev_minor);
    info.identity = FileIdentity::text(device, st.stx_ino);
    const DeviceVolumes::Numbers numbers = volumes.of(device);
    info.stableInodes = numbers.stableInodes;
    info.timeResolutionMs = numbers.timeResolutionMs;
    // Each result says whether its file system keeps birth times.
    if (st.stx_mask & STATX_BTIME) {
        info.birthTime = timeOf(st.stx_btime);
    }
    return info;
}

// What the entry at `path` (relative to `dirFd`) is; fails with -1 and errno.
int examine(SystemCalls &calls, DeviceVolumes &volumes, int dirFd, const char *path, int flags,
            EntryInfo *info)
{
    struct statx st;
    if (calls.statx(dirFd, path, flags, STATX_BASIC_STATS | STATX_BTIME, &st) != 0) {
        return -1;
    }
    *info = entryFromStat(st, volumes);
    return 0;
}

QString decodedName(const char *raw, bool *valid)
{
    // File names are UTF-8 to Qt on Linux (QFile::decodeName). A name that is not valid UTF-8
    // would not come back to the same bytes, so it could not be opened again by its decoded
    // name. Checked in place: a round trip through encodeName costs a second conversion and
    // an allocation for every entry of a 100,000-file folder.
    const QUtf8StringView bytes(raw, qsizetype(std::strlen(raw)));
    *valid = bytes.isValidUtf8();
    return bytes.toString();
}

// What one entry of the open folder `dirFd` is; without attributes when it cannot be read
// (it vanished since it was listed, say).
EntryInfo entryAt(SystemCalls &calls, DeviceVolumes &volumes, int dirFd, const char *raw)
{
    EntryInfo info;
    if (examine(calls, volumes, dirFd, raw, AT_SYMLINK_NOFOLLOW, &info) != 0) {
        info.hasAttributes = false;
    }
    info.name = decodedName(raw, &info.nameIsValid);
    return info;
}

FileSystemError unreadableFolder(int error, const QString &folder)
{
    return FileSystemError::system(
        error, QCoreApplication::translate("FileSystem", "Couldn\u2019t read the folder %1").arg(quotedName(folder)));
}

using OpenFolder = std::unique_ptr<DIR, int (*)(DIR *)>;

Result<OpenFolder> openFolder(const QString &folder)
{
    DIR *dir = ::opendir(QFile::encodeName(folder).constData());
    if (!dir) {
        return std::unexpected(unreadableFolder(errno, folder));
    }
    return OpenFolder(dir, ::closedir);
}

// Hands `onName` the name of every entry of `dir` but "." and "..", in listing order, for as
// long as it answers true. Fails when the folder cannot be read on.
template<typename OnName>
Result<void> readNames(DIR *dir, const QString &folder, OnName onName)
{
    errno = 0;
    while (const dirent *entry = ::readdir(dir)) {
        const char *raw = entry->d_name;
        const bool selfOrParent = raw[0] == '.' && (raw[1] == '\0' || (raw[1] == '.' && raw[2] == '\0'));
        if (!selfOrParent && !onName(raw)) {
            return {};
        }
        errno = 0; // the entry's own calls may have set it
    }
    if (errno != 0) {
        return std::unexpected(unreadableFolder(errno, folder));
    }
    return {};
}

// How often a long listing reports its count and looks for cancellation: often enough that a
// slow (network) folder counts on and stops within a moment, rarely enough to cost nothing on
// a local one.
constexpr qint64 watchInterval = 16;

} // namespace

Result<QList<EntryInfo>> LinuxFileSystem::list(const QString &folder, const ListingWatch &watch)
{
    // The names first, from the folder's own blocks in a few calls; then each entry's
    // attributes, one call per entry and most of the time in a large folder. Those calls are
    // shared out between threads, which on a cold disk also keeps several inode reads in flight.
    constexpr qsizetype sharedFrom = 4096; // below this, another thread costs more than it saves
    constexpr qsizetype chunk = 256;
    Result<OpenFolder> dir = openFolder(folder);
    if (!dir) {
        return std::unexpected(dir.error());
    }
    QByteArray names; // every name, each ended by its zero byte
    std::vector<qsizetype> starts;
    bool stopped = false;
    const Result<void> read = readNames(dir->get(), folder, [&](const char *raw) {
        if (starts.size() % watchInterval == 0 && watch.isCancelled && watch.isCancelled()) {
            stopped = true;
            return false;
        }
        starts.push_back(names.size());
        names.append(raw, qsizetype(std::strlen(raw)) + 1);
        return true;
    });
    if (!read) {
        return std::unexpected(read.error());
    }
    if (stopped) {
        return std::unexpected(FileSystemError::cancelled());
    }
    m_volumes->refresh();
    const int dirFd = ::dirfd(dir->get());
    const qsizetype total = qsizetype(starts.size());
    QList<EntryInfo> entries(total);
    std::atomic<qsizetype> nextChunk = 0;
    std::atomic<bool> cancelled = false;
    const auto work = [&] {
        qint64 uncounted = 0;
        for (qsizetype first = nextChunk.fetch_add(chunk); first < total && !cancelled;
             first = nextChunk.fetch_add(chunk)) {
            for (qsizetype i = first; i < std::min(total, first + chunk); ++i) {
                if (++uncounted == watchInterval) {
                    if (watch.entriesFound) {
                        watch.entriesFound->fetch_add(uncounted, std::memory_order_relaxed);
                    }
                    uncounted = 0;
                    if (cancelled || (watch.isCancelled && watch.isCancelled())) {
                        cancelled = true;
                        return;
                    }
                }
                entries[i] = entryAt(*m_calls, *m_volumes, dirFd,
                                     names.constData() + starts[size_t(i)]);
            }
        }
        if (watch.entriesFound) {
            watch.entriesFound->fetch_add(uncounted, std::memory_order_relaxed);
        }
    };
    std::vector<std::thread> helpers;
    if (total >= sharedFrom) {
        const unsigned threads = std::clamp(std::thread::hardware_concurrency(), 2U, 4U);
        for (unsigned t = 1; t < threads; ++t) {
            helpers.emplace_back(work);
        }
    }
    work();
    for (std::thread &helper : helpers) {
        helper.join();
    }
    if (cancelled) {
        return std::unexpected(FileSystemError::cancelled());
    }
    return entries;
}

Result<void> LinuxFileSystem::visit(const QString &folder,
                                    const std::function<void(const EntryInfo &)> &visitor,
                                    const ListingWatch &watch)
{
    Result<OpenFolder> dir = openFolder(folder);
    if (!dir) {
        return std::unexpected(dir.error());
    }
    m_volumes->refresh();
    const int dirFd = ::dirfd(dir->get());
    qint64 visited = 0;
    qint64 counted = 0; // added to the watch's running total (a scan lists many folders)
    const auto count = [&] {
        if (watch.entriesFound) {
            watch.entriesFound->fetch_add(visited - counted, std::memory_order_relaxed);
        }
        counted = visited;
    };
    bool stopped = false;
    const Result<void> read = readNames(dir->get(), folder, [&](const char *raw) {
        if (visited % watchInterval == 0 && visited > 0) {
            count();
            if (watch.isCancelled && watch.isCancelled()) {
                stopped = true;
                return false;
            }
        }
        visitor(entryAt(*m_calls, *m_volumes, dirFd, raw));
        ++visited;
        return true;
    });
    if (stopped) {
        return std::unexpected(FileSystemError::cancelled());
    }
    count();
    return read;
}

Result<void> LinuxFileSystem::visitNames(const QString &folder,
                                         const std::function<void(const QString &)> &visitor)
{
    Result<OpenFolder> dir = openFolder(folder);
    if (!dir) {
        return std::unexpected(dir.error());
    }
    return readNames(dir->get(), folder, [&](const char *raw) {
        bool valid = false;
        visitor(decodedName(raw, &valid));
        return true;
    });
}

Result<EntryInfo> LinuxFileSystem::stat(const QString &path, bool followLink)
{
    m_volumes->refresh();
    EntryInfo info;
    if (examine(*m_calls, *m_volumes, AT_FDCWD, QFile::encodeName(path).constData(),
                followLink ? 0 : AT_SYMLINK_NOFOLLOW, &info)
        != 0) {
        return std::unexpected(FileSystemError::system(
            errno, QCoreApplication::translate("FileSystem", "Couldn\u2019t read %1").arg(quotedName(path))));
    }
    info.name = FilePaths::nameOf(path);
    return info;
}
