#include "ImageSource.h"

#include <QFile>
#include <QFileInfo>
#include <QImageReader>
#include <QMimeDatabase>

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

ImageSource::ImageSource(QString path, int fd, qint64 size)
    : m_path(std::move(path))
    , m_fd(fd)
    , m_size(size)
{
}

ImageSource::~ImageSource()
{
    if (m_fd >= 0) {
        ::close(m_fd);
    }
}

ImageSource::ImageSource(ImageSource &&other) noexcept
    : m_path(std::move(other.m_path))
    , m_fd(std::exchange(other.m_fd, -1))
    , m_size(other.m_size)
    , m_head(std::move(other.m_head))
{
}

ImageSource &ImageSource::operator=(ImageSource &&other) noexcept
{
    if (this != &other) {
        if (m_fd >= 0) {
            ::close(m_fd);
        }
        m_path = std::move(other.m_path);
        m_fd = std::exchange(other.m_fd, -1);
        m_size = other.m_size;
        m_head = std::move(other.m_head);
    }
    return *this;
}

bool ImageSource::isVideoName(const QString &path)
{
    static const QMimeDatabase database;
    return database.mimeTypeForFile(path, QMimeDatabase::MatchExtension)
        .name()
        .startsWith(QLatin1String("video/"));
}

std::function<QByteArray(qint64, qint64)> ImageSource::reader() const
{
    return [this](qint64 offset, qint64 length) {
        const bool wholeFile = m_head.size() == m_size;
        if (offset >= 0 && length >= 0 && offset < m_head.size() &&
            (length <= m_head.size() - offset || wholeFile)) {
            return m_head.sliced(offset, std::min(length, m_head.size() - offset));
        }
        return readAt(offset, length);
    };
}

std::optional<ImageSource> ImageSource::open(const QString &path)
{
    // O_NONBLOCK: a FIFO put in a photo's place must not hang the reader; O_NOFOLLOW: a link
    // is never a photo.
    const int fd =
        ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        return std::nullopt;
    }
    struct stat st;
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) ||
        st.st_size > (st.st_size > maximumFileSize && isVideoName(path) ? maximumVideoSize
                                                                        : maximumFileSize)) {
        ::close(fd);
        return std::nullopt;
    }
    ImageSource source(path, fd, st.st_size);
    source.m_head = source.readAt(0, headLength);
    return source;
}

QByteArray ImageSource::readAt(qint64 offset, qint64 length) const
{
    if (offset < 0 || length <= 0 || offset >= m_size) {
        return {};
    }
    QByteArray data(qMin(length, m_size - offset), Qt::Uninitialized);
    qint64 done = 0;
    while (done < data.size()) {
        const ssize_t got =
            ::pread(m_fd, data.data() + done, size_t(data.size() - done), offset + done);
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got <= 0) {
            break;
        }
        done += got;
    }
    data.resize(done);
    return data;
}

std::optional<QByteArray> ImageSource::readAll(qint64 limit) const
{
    if (m_size > limit) {
        return std::nullopt;
    }
    QByteArray data = readAt(0, m_size);
    if (data.size() != m_size) {
        return std::nullopt;
    }
    return data;
}

QString ImageSource::procPath() const
{
    return QStringLiteral("/proc/self/fd/") + QString::number(m_fd);
}

QByteArray ImageSource::suffix() const
{
    return QFileInfo(m_path).suffix().toLower().toLatin1();
}

void ImageSource::readerFormat(QImageReader &reader, const QByteArray &format)
{
    if (!format.isEmpty()) {
        reader.setFormat(format);
        reader.setAutoDetectImageFormat(false);
    }
}

QByteArray ImageSource::contentFormat() const
{
    if (m_head.startsWith("\xFF\xD8\xFF")) {
        return QByteArrayLiteral("jpeg");
    }
    if (m_head.startsWith("\x89PNG\r\n\x1A\n")) {
        return QByteArrayLiteral("png");
    }
    return {};
}
