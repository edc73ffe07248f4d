#pragma once

// The system calls that decide where a name points and when a write is on disk: the moves and
// copies of the Linux seam, the trash's info files and the undo journal. The kernel instance
// forwards each call unchanged; tests put one in its place that records the order of the calls,
// fails some of them, dies at one, or changes the disk between two of them. Every virtual keeps
// its call's contract: -1 with errno on failure.

#include <memory>
#include <sys/stat.h>
#include <sys/vfs.h>
#include <sys/types.h>

class SystemCalls
{
public:
    virtual ~SystemCalls() = default;

    virtual int open(const char *path, int flags, mode_t mode = 0);
    // mkostemp: fills in the trailing XXXXXX of `pathTemplate`.
    virtual int makeTemporary(char *pathTemplate, int flags);
    virtual ssize_t write(int fd, const void *bytes, size_t size);
    virtual int fsync(int fd);
    virtual int fdatasync(int fd);
    virtual int makeDirectory(const char *path, mode_t mode);
    virtual int statAt(int dirFd, const char *path, struct stat *result, int flags);
    virtual int statx(int dirFd, const char *path, int flags, unsigned int mask,
                      struct statx *result);
    virtual int
    renameAt2(int fromDirFd, const char *from, int toDirFd, const char *to, unsigned int flags);
    virtual int rename(const char *from, const char *to);
    virtual int link(const char *from, const char *to);
    virtual int unlinkAt(int dirFd, const char *path, int flags);
    virtual int statFileSystem(const char *path, struct statfs *result);
    virtual int changeMode(int fd, mode_t mode);

    int lstat(const char *path, struct stat *result);
    int unlink(const char *path);
    // All of `bytes`, through short writes and interruptions. Returns 0 or errno.
    int writeAll(int fd, const char *bytes, size_t size);
    // Makes the entries of a folder durable. Returns 0 or errno; a file system that cannot sync
    // a folder says EINVAL, which counts as done.
    int syncFolder(const char *folder);

    // The one instance that calls the kernel, shared by every seam given no other.
    static std::shared_ptr<SystemCalls> kernel();
};
