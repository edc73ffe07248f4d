#pragma once

// What the benchmarks share: writing their corpus files whole, warming the page cache with a
// file, and the processor time of this process and of the peers it ran.

#include <QFile>
#include <QFileInfo>
#include <QString>

#include <array>

#include <fcntl.h>
#include <sys/resource.h>
#include <unistd.h>

namespace BenchFiles {

// Written under a hidden name and renamed, so a killed run never leaves a truncated file that
// the next run would take for a finished one. Without `replace`, a file someone else wrote
// meanwhile stays (Qt's rename never replaces) and counts as written.
inline bool writeAtomically(const QString &path, const QByteArray &bytes, bool replace)
{
    const QFileInfo info(path);
    const QString part =
        info.path() + QStringLiteral("/.") + info.fileName() + QStringLiteral(".part");
    QFile file(part);
    if (bytes.isEmpty() || !file.open(QIODevice::WriteOnly | QIODevice::Truncate) ||
        file.write(bytes) != bytes.size() || !file.flush()) {
        QFile::remove(part);
        return false;
    }
    file.close();
    if (replace) {
        QFile::remove(path);
    }
    if (!QFile::rename(part, path)) {
        QFile::remove(part);
        return !replace && QFileInfo::exists(path);
    }
    return true;
}

// Reads the whole file and throws the bytes away, so later decodes never wait on the disk.
// False when it cannot be opened.
inline bool readThrough(const QString &path)
{
    static std::array<char, 1 << 20> buffer;
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        return false;
    }
    while (::read(fd, buffer.data(), buffer.size()) > 0) {
    }
    ::close(fd);
    return true;
}

inline double milliseconds(const timeval &time)
{
    return double(time.tv_sec) * 1e3 + double(time.tv_usec) / 1e3;
}

struct CpuTimes
{
    double self = 0;     // this process, every thread
    double children = 0; // waited-for child processes and their own children
};

inline CpuTimes cpuNow()
{
    rusage self{};
    rusage children{};
    ::getrusage(RUSAGE_SELF, &self);
    ::getrusage(RUSAGE_CHILDREN, &children);
    return {milliseconds(self.ru_utime) + milliseconds(self.ru_stime),
            milliseconds(children.ru_utime) + milliseconds(children.ru_stime)};
}

} // namespace BenchFiles
