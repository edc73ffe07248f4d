#include "SystemCalls.h"

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

int SystemCalls::open(const char *path, int flags, mode_t mode)
{
    return ::open(path, flags, mode);
}

int SystemCalls::makeTemporary(char *pathTemplate, int flags)
{
    return ::mkostemp(pathTemplate, flags);
}

ssize_t SystemCalls::write(int fd, const void *bytes, size_t size)
{
    return ::write(fd, bytes, size);
}

int SystemCalls::fsync(int fd)
{
    return ::fsync(fd);
}

int SystemCalls::fdatasync(int fd)
{
    return ::fdatasync(fd);
}

int SystemCalls::makeDirectory(const char *path, mode_t mode)
{
    return ::mkdir(path, mode);
}

int SystemCalls::statAt(int dirFd, const char *path, struct stat *result, int flags)
{
    return ::fstatat(dirFd, path, result, flags);
}

int SystemCalls::statx(int dirFd, const char *path, int flags, unsigned int mask,
                       struct statx *result)
{
    return ::statx(dirFd, path, flags, mask, result);
}

int SystemCalls::renameAt2(
    int fromDirFd, const char *from, int toDirFd, const char *to, unsigned int flags)
{
    return ::renameat2(fromDirFd, from, toDirFd, to, flags);
}

int SystemCalls::rename(const char *from, const char *to)
{
    return ::rename(from, to);
}

int SystemCalls::link(const char *from, const char *to)
{
    return ::link(from, to);
}

int SystemCalls::statFileSystem(const char *path, struct statfs *result)
{
    return ::statfs(path, result);
}

int SystemCalls::changeMode(int fd, mode_t mode)
{
    return ::fchmod(fd, mode);
}

int SystemCalls::unlinkAt(int dirFd, const char *path, int flags)
{
    return ::unlinkat(dirFd, path, flags);
}

int SystemCalls::lstat(const char *path, struct stat *result)
{
    return statAt(AT_FDCWD, path, result, AT_SYMLINK_NOFOLLOW);
}

int SystemCalls::unlink(const char *path)
{
    return unlinkAt(AT_FDCWD, path, 0);
}

int SystemCalls::writeAll(int fd, const char *bytes, size_t size)
{
    for (size_t done = 0; done < size;) {
        const ssize_t put = write(fd, bytes + done, size - done);
        if (put < 0) {
            if (errno == EINTR) {
                continue;
            }
            return errno;
        }
        done += size_t(put);
    }
    return 0;
}

int SystemCalls::syncFolder(const char *folder)
{
    const int fd = open(folder, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) {
        return errno;
    }
    const int error = fsync(fd) == 0 || errno == EINVAL ? 0 : errno;
    ::close(fd);
    return error;
}

std::shared_ptr<SystemCalls> SystemCalls::kernel()
{
    static const std::shared_ptr<SystemCalls> instance = std::make_shared<SystemCalls>();
    return instance;
}
