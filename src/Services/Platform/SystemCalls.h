#pragma once

// The system calls that decide where a name points and when a write is on disk, for the moves
// and copies of the Linux seam. The kernel instance forwards each call unchanged; tests put one
// in its place that records the order of the calls, fails some of them, or changes the disk
// between two of them. Every function keeps its call's contract: -1 with errno on failure.

#include <memory>
#include <sys/stat.h>
#include <sys/types.h>

class SystemCalls
{
public:
    virtual ~SystemCalls() = default;

    virtual int open(const char *path, int flags, mode_t mode = 0);
    // mkostemp: fills in the trailing XXXXXX of `pathTemplate`.
    virtual int makeTemporary(char *pathTemplate, int flags);
    virtual int fsync(int fd);
    virtual int statAt(int dirFd, const char *path, struct stat *result, int flags);
    virtual int statx(int dirFd, const char *path, int flags, unsigned int mask,
                      struct statx *result);
    virtual int
    renameAt2(int fromDirFd, const char *from, int toDirFd, const char *to, unsigned int flags);
    virtual int rename(const char *from, const char *to);
    virtual int link(const char *from, const char *to);
    virtual int unlinkAt(int dirFd, const char *path, int flags);

    int lstat(const char *path, struct stat *result);
    int unlink(const char *path);

    // The one instance that calls the kernel, shared by every seam given no other.
    static std::shared_ptr<SystemCalls> kernel();
};
