#include "FileRangeDevice.h"

#include <QFile>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

FileRangeDevice::FileRangeDevice(QString path, qint64 offset, qint64 length, QObject *parent)
    : QIODevice(parent)
    , m_path(std::move(path))
    , m_offset(offset)
    , m_length(length)
{
}

FileRangeDevice::~FileRangeDevice()
{
    FileRangeDevice::close();
}

bool FileRangeDevice::open(OpenMode mode)
{
    if (isOpen() || (mode & ~Unbuffered) != ReadOnly || m_offset < 0 ||
        (m_length < 0 && m_length != toTheEnd)) {
        return false;
    }
    // O_NONBLOCK: a FIFO in the file's place must not hang the opening thread; O_NOFOLLOW: a
    // link is never read.
    const int fd = ::open(QFile::encodeName(m_path).constData(),
                          O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        setErrorString(QString::fromLocal8Bit(strerror(errno)));
        return false;
    }
    struct stat st;
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_size <= m_offset) {
        ::close(fd);
        setErrorString(QStringLiteral("not a regular file reaching the window"));
        return false;
    }
    const qint64 available = st.st_size - m_offset;
    m_size = m_length == toTheEnd ? available : std::min(m_length, available);
    if (m_size <= 0) {
        ::close(fd);
        return false;
    }
    m_fd = fd;
    // Unbuffered: every read goes to pread at pos(), which then always is the device's own
    // position; a buffer would only copy what the kernel caches anyway.
    return QIODevice::open(ReadOnly | Unbuffered);
}

void FileRangeDevice::close()
{
    if (m_fd >= 0) {
        ::close(m_fd);
        m_fd = -1;
    }
    m_size = 0;
    if (isOpen()) {
        QIODevice::close();
    }
}

QString FileRangeDevice::procPath() const
{
    return m_fd < 0 ? QString() : QStringLiteral("/proc/self/fd/") + QString::number(m_fd);
}

qint64 FileRangeDevice::readData(char *data, qint64 maxSize)
{
    const qint64 at = pos();
    if (m_fd < 0 || at < 0) {
        return -1;
    }
    const qint64 wanted = std::min(maxSize, m_size - at);
    if (wanted <= 0) {
        return 0; // at or past the window's end
    }
    qint64 done = 0;
    while (done < wanted) {
        const ssize_t got = ::pread(m_fd, data + done, size_t(wanted - done), m_offset + at + done);
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got < 0) {
            return done > 0 ? done : -1;
        }
        if (got == 0) {
            break; // the file shrank since it was opened
        }
        done += got;
    }
    return done;
}

qint64 FileRangeDevice::writeData(const char *, qint64)
{
    return -1;
}
