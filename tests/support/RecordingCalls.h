#pragma once

// The real system calls, each recorded as "<call> <role>" or "<call> <role> -> <role>". A role is
// a name the test gave a path ("source", "destination folder"), a path below `base` relative to
// it, or the path itself; any hidden ".calvenor-" file is "temporary". A write names the journal
// record it carries ("write journal move"). A test can fail one call by its record, change the
// disk right after a call, and declare a folder a second volume: renames into or out of it fail
// with EXDEV as between real devices, so the copy across devices runs on any single file system.
// A test can also act just before any call, even end the process there as if it were killed.

#include "Services/Platform/SystemCalls.h"

#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QRegularExpression>
#include <QStringList>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <fcntl.h>
#include <functional>
#include <unistd.h>

class RecordingCalls : public SystemCalls
{
public:
    QStringList log;
    QString base;
    QHash<QString, QString> roles; // path → role
    QHash<QString, int> failures;  // record → errno; each fails once, without running
    QString secondVolume;
    std::function<void(const QString &record)> before; // runs before every call
    std::function<void(const QString &record)> after;  // runs after every call that ran

    int open(const char *path, int flags, mode_t mode) override
    {
        return run(QStringLiteral("open ") + role(decoded(path)),
                   [&] { return SystemCalls::open(path, flags, mode); });
    }
    int makeTemporary(char *pathTemplate, int flags) override
    {
        return run(QStringLiteral("mkostemp ") + role(decoded(pathTemplate)),
                   [&] { return SystemCalls::makeTemporary(pathTemplate, flags); });
    }
    ssize_t write(int fd, const void *bytes, size_t size) override
    {
        static const QRegularExpression type(QStringLiteral("\"t\":\"(\\w+)\""));
        const QRegularExpressionMatch record =
            type.match(QString::fromUtf8(static_cast<const char *>(bytes), qsizetype(size)));
        ssize_t written = -1;
        run(QStringLiteral("write ") + role(pathOf(fd))
                + (record.hasMatch() ? QLatin1Char(' ') + record.captured(1) : QString()),
            [&] { return int(written = SystemCalls::write(fd, bytes, size)) < 0 ? -1 : 0; });
        return written;
    }
    int fsync(int fd) override
    {
        return run(QStringLiteral("fsync ") + role(pathOf(fd)), [&] { return SystemCalls::fsync(fd); });
    }
    int fdatasync(int fd) override
    {
        return run(QStringLiteral("fdatasync ") + role(pathOf(fd)),
                   [&] { return SystemCalls::fdatasync(fd); });
    }
    int makeDirectory(const char *path, mode_t mode) override
    {
        return run(QStringLiteral("mkdir ") + role(decoded(path)),
                   [&] { return SystemCalls::makeDirectory(path, mode); });
    }
    int statAt(int dirFd, const char *path, struct stat *result, int flags) override
    {
        return run(QStringLiteral("%1 %2").arg(dirFd == AT_FDCWD ? QStringLiteral("lstat")
                                                                 : QStringLiteral("fstatat"),
                                               role(pathOf(dirFd, path))),
                   [&] { return SystemCalls::statAt(dirFd, path, result, flags); });
    }
    int renameAt2(int fromDirFd, const char *from, int toDirFd, const char *to,
                  unsigned int flags) override
    {
        const QString fromPath = pathOf(fromDirFd, from), toPath = pathOf(toDirFd, to);
        return run(
            pair((flags & RENAME_NOREPLACE) ? QStringLiteral("renameat2 NOREPLACE")
                                            : QStringLiteral("renameat2"),
                 fromPath, toPath),
            [&] { return SystemCalls::renameAt2(fromDirFd, from, toDirFd, to, flags); },
            crossesVolumes(fromPath, toPath));
    }
    int rename(const char *from, const char *to) override
    {
        return run(
            pair(QStringLiteral("rename"), decoded(from), decoded(to)),
            [&] { return SystemCalls::rename(from, to); },
            crossesVolumes(decoded(from), decoded(to)));
    }
    // Answers as a FUSE mount would for every folder, when set.
    bool fuseVolumes = false;
    int statFileSystem(const char *path, struct statfs *result) override
    {
        const int status = run(QStringLiteral("statfs ") + role(decoded(path)),
                               [&] { return SystemCalls::statFileSystem(path, result); });
        if (status == 0 && fuseVolumes) {
            result->f_type = 0x65735546;
        }
        return status;
    }
    int link(const char *from, const char *to) override
    {
        return run(
            pair(QStringLiteral("link"), decoded(from), decoded(to)),
            [&] { return SystemCalls::link(from, to); },
            crossesVolumes(decoded(from), decoded(to)));
    }
    int changeMode(int fd, mode_t mode) override
    {
        return run(QStringLiteral("fchmod ") + role(pathOf(fd)),
                   [&] { return SystemCalls::changeMode(fd, mode); });
    }
    int unlinkAt(int dirFd, const char *path, int flags) override
    {
        return run(QStringLiteral("%1 %2").arg(dirFd == AT_FDCWD ? QStringLiteral("unlink")
                                                                 : QStringLiteral("unlinkat"),
                                               role(pathOf(dirFd, path))),
                   [&] { return SystemCalls::unlinkAt(dirFd, path, flags); });
    }

    // The records of the calls that write, name, replace or flush something, in order.
    QStringList namingAndFlushing() const
    {
        static const QStringList calls = {
            QStringLiteral("write"),  QStringLiteral("fsync"),     QStringLiteral("fdatasync"),
            QStringLiteral("mkdir"),  QStringLiteral("renameat2"), QStringLiteral("rename"),
            QStringLiteral("link"),   QStringLiteral("unlink"),    QStringLiteral("unlinkat")};
        QStringList kept;
        for (const QString &record : log) {
            if (calls.contains(record.section(QLatin1Char(' '), 0, 0))) {
                kept.append(record);
            }
        }
        return kept;
    }

private:
    static QString decoded(const char *path) { return QFile::decodeName(QByteArray(path)); }

    static QString pathOf(int fd)
    {
        char target[PATH_MAX];
        const ssize_t size = ::readlink(
            qPrintable(QStringLiteral("/proc/self/fd/%1").arg(fd)), target, sizeof target);
        return size > 0 ? QFile::decodeName(QByteArray(target, size)) : QStringLiteral("?");
    }
    static QString pathOf(int dirFd, const char *path)
    {
        return dirFd == AT_FDCWD || path[0] == '/'
                   ? decoded(path)
                   : pathOf(dirFd) + QLatin1Char('/') + decoded(path);
    }
    QString role(const QString &path) const
    {
        if (roles.contains(path)) {
            return roles.value(path);
        }
        if (QFileInfo(path).fileName().startsWith(QLatin1String(".calvenor-"))) {
            return QStringLiteral("temporary");
        }
        return !base.isEmpty() && path.startsWith(base + QLatin1Char('/'))
                   ? path.mid(base.size() + 1)
                   : path;
    }
    QString pair(const QString &call, const QString &from, const QString &to) const
    {
        return call + QLatin1Char(' ') + role(from) + QStringLiteral(" -> ") + role(to);
    }
    bool onSecondVolume(const QString &path) const
    {
        return !secondVolume.isEmpty()
               && (path == secondVolume || path.startsWith(secondVolume + QLatin1Char('/')));
    }
    int crossesVolumes(const QString &from, const QString &to) const
    {
        return onSecondVolume(from) != onSecondVolume(to) ? EXDEV : 0;
    }

    template<typename Call>
    int run(const QString &record, Call call, int forcedError = 0)
    {
        log.append(record);
        if (before) {
            before(record);
        }
        if (const int error = forcedError ? forcedError : failures.take(record)) {
            errno = error;
            return -1;
        }
        const int result = call();
        const int error = errno;
        if (after) {
            after(record);
        }
        errno = error;
        return result;
    }
};
