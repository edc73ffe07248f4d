// The write half of the Linux seam. Nothing here may replace an existing entry: every name is
// published with RENAME_NOREPLACE, a hard link or an exclusive create, and a copy only appears
// under a real name once it is complete and on disk.

#include "LinuxFileSystem.h"
#include "LinuxTrash.h"
#include "SystemCalls.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

QByteArray encoded(const QString &path)
{
    return QFile::encodeName(path);
}

std::unexpected<FileSystemError> failure(int error, const QString &whatFailed)
{
    return std::unexpected(FileSystemError::system(error, whatFailed));
}

// Closes on every way out; close() is separate because some file systems report a failed
// write-back only there.
class Descriptor
{
public:
    explicit Descriptor(int fd)
        : m_fd(fd)
    {
    }
    ~Descriptor()
    {
        if (m_fd >= 0) {
            ::close(m_fd);
        }
    }
    Descriptor(const Descriptor &) = delete;
    Descriptor &operator=(const Descriptor &) = delete;

    int get() const { return m_fd; }
    int close()
    {
        const int status = ::close(m_fd);
        m_fd = -1;
        return status == 0 ? 0 : errno;
    }

private:
    int m_fd;
};

// Where hard links are missing too (FAT, exFAT), an exclusively created placeholder reserves
// the name; replacing our own placeholder is the only plain rename this file ever makes.
int moveOntoPlaceholder(SystemCalls &calls, const char *from, const char *to)
{
    Descriptor placeholder(
        calls.open(to, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600));
    if (placeholder.get() < 0) {
        return errno;
    }
    struct stat reserved;
    if (::fstat(placeholder.get(), &reserved) != 0) {
        const int error = errno;
        calls.unlink(to);
        return error;
    }
    placeholder.close();
    struct stat current;
    if (calls.lstat(to, &current) != 0 || current.st_ino != reserved.st_ino ||
        current.st_dev != reserved.st_dev) {
        return EEXIST; // another program took the name meanwhile: it is no longer ours to replace
    }
    if (calls.rename(from, to) != 0) {
        const int error = errno;
        calls.unlink(to);
        return error;
    }
    return 0;
}

// A folder moved where renaming without replacing is missing: renamed onto an empty folder made
// for it, exclusively. A rename replaces only an empty folder, so nothing another program made
// there, or put into ours meanwhile, is ever lost: the move then fails as if the name were taken.
// Some volumes (fusefat, rclone) refuse to replace even an empty folder: the placeholder, still
// empty and so still ours, goes, and a plain rename follows, which such a volume never lets
// replace anything either.
int moveFolderOntoPlaceholder(SystemCalls &calls, const char *from, const char *to)
{
    if (calls.makeDirectory(to, 0700) != 0) {
        return errno;
    }
    if (calls.rename(from, to) == 0) {
        return 0;
    }
    const int error = errno;
    // Only ever removes it while empty: whatever another program put into it stays.
    if (calls.unlinkAt(AT_FDCWD, to, AT_REMOVEDIR) != 0 ||
        (error != EPERM && error != EEXIST && error != ENOTEMPTY)) {
        return error == ENOTEMPTY ? EEXIST : error;
    }
    if (calls.rename(from, to) == 0) {
        return 0;
    }
    return errno == ENOTEMPTY || errno == ENOTDIR || errno == EISDIR ? EEXIST : errno;
}

// Whether the folder `path` is to lie in is a FUSE mount (sshfs, rclone, exfat-fuse…). Those may
// number each name of one file on its own, so the two names of a hard link cannot be told to be
// one file, and a link's old name could be kept as someone else's while the move reports done.
bool onFuseVolume(SystemCalls &calls, const char *path)
{
    constexpr decltype(statfs::f_type) fuseMagic = 0x65735546;
    const char *slash = std::strrchr(path, '/');
    const std::string folder = slash == path ? std::string("/")
                               : slash       ? std::string(path, size_t(slash - path))
                                             : std::string(".");
    struct statfs volume;
    return calls.statFileSystem(folder.c_str(), &volume) == 0 && volume.f_type == fuseMagic;
}

// A move within one file system that fails with EEXIST rather than replace. Returns errno or 0.
// Where the file system lacks the flag, a hard link and the old name's removal do it, or on
// FUSE a placeholder of ours that the file is renamed onto.
int renameWithoutReplacing(SystemCalls &calls, const char *from, const char *to, bool isFolder)
{
    if (calls.renameAt2(AT_FDCWD, from, AT_FDCWD, to, RENAME_NOREPLACE) == 0) {
        return 0;
    }
    // EINVAL: the file system lacks the flag (FUSE, NTFS, network shares).
    if (errno != EINVAL) {
        return errno;
    }
    if (isFolder) {
        return moveFolderOntoPlaceholder(calls, from, to);
    }
    if (onFuseVolume(calls, to)) {
        return moveOntoPlaceholder(calls, from, to);
    }
    if (calls.link(from, to) == 0) {
        // Only the old name of the file just linked goes: a file another program saved under
        // it in between is theirs, and ours is already at its new name.
        struct stat linked;
        struct stat old;
        const bool known = calls.lstat(to, &linked) == 0;
        if (known && calls.lstat(from, &old) == 0 &&
            (old.st_ino != linked.st_ino || old.st_dev != linked.st_dev)) {
            return 0;
        }
        if (calls.unlink(from) == 0) {
            return 0;
        }
        const int error = errno;
        // Another program removed the old name in between: the new one is the file's last,
        // and the move is done. The new name is taken back only while the old one still
        // names the same file, never as the last name of the photo.
        if (error == ENOENT) {
            return 0;
        }
        if (known && calls.lstat(from, &old) == 0 && old.st_ino == linked.st_ino &&
            old.st_dev == linked.st_dev) {
            calls.unlink(to);
        }
        return error;
    }
    // Anything but a taken name (EPERM or EOPNOTSUPP where links are missing, EIO on some
    // network mounts) is left to the placeholder, which says for itself what fails.
    if (errno == EEXIST) {
        return EEXIST;
    }
    return moveOntoPlaceholder(calls, from, to);
}

int copyContents(SystemCalls &calls, int in, int out)
{
    std::vector<char> buffer(1 << 20);
    for (;;) {
        const ssize_t got = ::read(in, buffer.data(), buffer.size());
        if (got == 0) {
            return 0;
        }
        if (got < 0) {
            if (errno == EINTR) {
                continue;
            }
            return errno;
        }
        if (const int error = calls.writeAll(out, buffer.data(), size_t(got))) {
            return error;
        }
    }
}

// Copies the open regular file to a hidden temporary name in `folder`, with its mode and times,
// flushed to disk. On failure nothing is left behind.
int writeTemporaryCopy(
    SystemCalls &calls, int in, const struct stat &source, const QString &folder, QByteArray *path)
{
    *path = encoded(folder) + "/.calvenor-XXXXXX";
    Descriptor out(calls.makeTemporary(path->data(), O_CLOEXEC));
    if (out.get() < 0) {
        return errno;
    }
    const struct timespec times[2] = {source.st_atim, source.st_mtim};
    int error = copyContents(calls, in, out.get());
    // The mode is kept where the volume keeps modes: FAT and exFAT (EPERM when the mode does not
    // fit the mount's mask, ENOSYS through some FUSE drivers) and SMB (EOPNOTSUPP) give every
    // file theirs, and refusing the copy for it would refuse every copy onto a card.
    if (error == 0 && calls.changeMode(out.get(), source.st_mode & 07777) != 0 && errno != EPERM &&
        errno != ENOSYS && errno != EOPNOTSUPP) {
        error = errno;
    }
    if (error == 0 && (::futimens(out.get(), times) != 0 || calls.fsync(out.get()) != 0)) {
        error = errno;
    }
    const int closeError = out.close();
    if (error == 0) {
        error = closeError;
    }
    if (error != 0) {
        calls.unlink(path->constData());
    }
    return error;
}

int syncFolder(SystemCalls &calls, const QString &folder)
{
    return calls.syncFolder(encoded(folder).constData());
}

// Copies a regular file (the one `expected` describes) to `destination`, which must stay free,
// and returns the copied file's attributes as they were when it was opened. The copy is written
// under a temporary name and published only when complete, so a real name never holds a partial
// file.
Result<struct stat> copyDurably(SystemCalls &calls,
                                const QString &source,
                                const struct stat &expected,
                                const QString &destination,
                                const QString &whatFailed,
                                const PlatformFileSystem::CopyNote &beforePublishing = {})
{
    const QByteArray to = encoded(destination);
    struct stat existing;
    if (calls.lstat(to.constData(), &existing) == 0) {
        return failure(EEXIST, whatFailed); // found before copying a large file for nothing
    }
    // O_NOFOLLOW and O_NONBLOCK: a link or FIFO swapped in after the lstat must neither be
    // followed nor block the service.
    Descriptor in(
        calls.open(encoded(source).constData(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
    struct stat opened;
    if (in.get() < 0 || ::fstat(in.get(), &opened) != 0) {
        return failure(errno, whatFailed);
    }
    if (!S_ISREG(opened.st_mode) || opened.st_ino != expected.st_ino ||
        opened.st_dev != expected.st_dev) {
        return failure(EAGAIN, whatFailed); // replaced while we looked at it
    }
    const QString folder = QFileInfo(destination).path();
    QByteArray temporary;
    if (const int error = writeTemporaryCopy(calls, in.get(), opened, folder, &temporary)) {
        return failure(error, whatFailed);
    }
    if (beforePublishing) {
        if (const Result<void> noted = beforePublishing(QFile::decodeName(temporary)); !noted) {
            calls.unlink(temporary.constData());
            return std::unexpected(noted.error());
        }
    }
    if (const int error =
            renameWithoutReplacing(calls, temporary.constData(), to.constData(), false)) {
        calls.unlink(temporary.constData());
        return failure(error, whatFailed);
    }
    if (const int error = syncFolder(calls, folder)) {
        calls.unlink(to.constData());
        return failure(error, whatFailed);
    }
    return opened;
}

// Same file, and not written to since it was opened for the copy.
bool isUnchanged(const struct stat &now, const struct stat &copied)
{
    return now.st_dev == copied.st_dev && now.st_ino == copied.st_ino &&
           now.st_size == copied.st_size && now.st_mtim.tv_sec == copied.st_mtim.tv_sec &&
           now.st_mtim.tv_nsec == copied.st_mtim.tv_nsec;
}

// After a copy across devices, removes the source only if it is still the file that was copied:
// another program may have replaced or rewritten it during a long copy, and its file must not be
// lost. Whenever that is in doubt nothing is deleted: the copy and the source name's file both
// stay. The check and the unlink name the source through its open folder, so a folder renamed
// meanwhile cannot redirect them; a program that replaces the file in the instant between the
// two calls still loses it, as Linux has no unlink-if-still-this-inode.
Result<void> removeCopiedSource(SystemCalls &calls,
                                const QString &source,
                                const struct stat &copied,
                                const QString &destination,
                                const QString &whatFailed)
{
    const QFileInfo info(source);
    Descriptor folder(
        calls.open(encoded(info.path()).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (folder.get() < 0) {
        return failure(errno, whatFailed);
    }
    const QByteArray name = encoded(info.fileName());
    struct stat now;
    const bool present =
        calls.statAt(folder.get(), name.constData(), &now, AT_SYMLINK_NOFOLLOW) == 0;
    if (!present && errno != ENOENT) {
        return failure(errno, whatFailed);
    }
    if (!present || !isUnchanged(now, copied)) {
        return std::unexpected(FileSystemError{
            FileSystemError::Code::platform,
            QCoreApplication::translate("FileSystem", "%1: another program changed, replaced or removed "
                                                  "it while it was being copied, so nothing was "
                                                  "deleted and the copy was kept.")
                .arg(whatFailed),
            ESTALE});
    }
    if (calls.unlinkAt(folder.get(), name.constData(), 0) != 0) {
        const int error = errno;
        // One copy, where it was, rather than two; but only while the original certainly
        // remains, or the copy may be the last one.
        if (calls.statAt(folder.get(), name.constData(), &now, AT_SYMLINK_NOFOLLOW) == 0 &&
            isUnchanged(now, copied)) {
            calls.unlink(encoded(destination).constData());
        }
        return failure(error, whatFailed);
    }
    // The removal made durable too, or after a power cut the photo could be in both folders.
    // The move has happened either way.
    (void)calls.fsync(folder.get());
    return {};
}

FileSystemError notRegularFile(const QString &whatFailed)
{
    return {FileSystemError::Code::platform,
            QCoreApplication::translate("FileSystem", "%1: only regular files can be copied.").arg(whatFailed), EINVAL};
}

} // namespace

Result<void> LinuxFileSystem::moveNoReplace(const QString &source, const QString &destination,
                                            const CopyNote &beforePublishing)
{
    const QString whatFailed = QCoreApplication::translate("FileSystem", "Couldn\u2019t move %1").arg(quotedName(source));
    const QByteArray from = encoded(source);
    struct stat item;
    if (m_calls->lstat(from.constData(), &item) != 0) {
        return failure(errno, whatFailed);
    }
    const int error = renameWithoutReplacing(
        *m_calls, from.constData(), encoded(destination).constData(), S_ISDIR(item.st_mode));
    if (error == 0) {
        // The new name made durable before anyone is told the move is done (the journal
        // records it next). The rename has happened either way: a folder that cannot be synced
        // does not undo it.
        const QString folder = QFileInfo(destination).path();
        (void)syncFolder(*m_calls, folder);
        if (const QString old = QFileInfo(source).path(); old != folder) {
            (void)syncFolder(*m_calls, old);
        }
        return {};
    }
    if (error != EXDEV || !S_ISREG(item.st_mode)) {
        return failure(error, whatFailed);
    }
    // Another device: the source goes only once its copy is durable under the new name.
    const Result<struct stat> copied =
        copyDurably(*m_calls, source, item, destination, whatFailed, beforePublishing);
    if (!copied) {
        return std::unexpected(copied.error());
    }
    return removeCopiedSource(*m_calls, source, *copied, destination, whatFailed);
}

Result<void> LinuxFileSystem::copyNoReplace(const QString &source, const QString &destination)
{
    const QString whatFailed = QCoreApplication::translate("FileSystem", "Couldn\u2019t copy %1").arg(quotedName(source));
    struct stat item;
    if (m_calls->lstat(encoded(source).constData(), &item) != 0) {
        return failure(errno, whatFailed);
    }
    if (!S_ISREG(item.st_mode)) {
        return std::unexpected(notRegularFile(whatFailed));
    }
    if (const Result<struct stat> copied =
            copyDurably(*m_calls, source, item, destination, whatFailed);
        !copied) {
        return std::unexpected(copied.error());
    }
    return {};
}

Result<void> LinuxFileSystem::makeFolder(const QString &path)
{
    if (m_calls->makeDirectory(encoded(path).constData(), 0777) != 0) {
        return failure(errno,
                       QCoreApplication::translate("FileSystem", "Couldn\u2019t create the folder %1").arg(quotedName(path)));
    }
    // The new folder is made durable before photos are filed into it; it exists either way.
    (void)syncFolder(*m_calls, QFileInfo(path).path());
    return {};
}

Result<void> LinuxFileSystem::removeFile(const QString &path)
{
    if (m_calls->unlink(encoded(path).constData()) != 0) {
        return failure(errno, QCoreApplication::translate("FileSystem", "Couldn\u2019t delete %1").arg(quotedName(path)));
    }
    return {};
}

Result<void> LinuxFileSystem::removeEmptyFolder(const QString &path)
{
    if (::rmdir(encoded(path).constData()) != 0) {
        return failure(errno,
                       QCoreApplication::translate("FileSystem", "Couldn\u2019t remove the folder %1").arg(quotedName(path)));
    }
    return {};
}

Result<QString> LinuxFileSystem::moveToTrash(const QString &path,
                                             HomeTrash homeTrash,
                                             const CopyNote &beforePublishing)
{
    return LinuxTrash::moveToTrash(*this, *m_calls, path, homeTrash, beforePublishing);
}

bool LinuxFileSystem::isTrashedItem(const QString &path)
{
    return LinuxTrash::isTrashedItem(path);
}

QStringList LinuxFileSystem::trashedItemsFrom(const QString &originalPath)
{
    return LinuxTrash::itemsFrom(originalPath);
}

void LinuxFileSystem::forgetTrashedItem(const QString &trashedPath)
{
    LinuxTrash::forgetTrashedItem(*m_calls, trashedPath);
}
