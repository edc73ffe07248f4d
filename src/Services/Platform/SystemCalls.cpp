#include "SystemCalls.h"

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

int SystemCalls::fsync(int fd)
{
    return ::fsync(fd);
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

std::shared_ptr<SystemCalls> SystemCalls::kernel()
{
    static const std::shared_ptr<SystemCalls> instance = std::make_shared<SystemCalls>();
    return instance;
}
