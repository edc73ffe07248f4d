#pragma once

// What the thumbnail benchmarks share: warming the page cache with a file, and the processor
// time of this process and of the peers it ran.

#include <QFile>
#include <QString>

#include <array>

#include <fcntl.h>
#include <sys/resource.h>
#include <unistd.h>

namespace BenchFiles {

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
