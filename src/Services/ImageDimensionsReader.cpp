#include "ImageDimensionsReader.h"

#include <QFile>
#include <QImageReader>
#include <QSet>
#include <QBuffer>
#include <QFileInfo>
#include <QtConcurrent/QtConcurrentRun>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

struct DimensionWorkItem
{
    qsizetype sectionIndex = 0;
    qsizetype photoIndex = 0;
    DimensionCacheKey key;
    QString path;
    ImageDimensions result; // written by exactly one worker
    bool done = false;
};

} // namespace

ImageDimensionsReader::ImageDimensionsReader(HeaderReader readHeader, int processorCount)
    : m_readHeader(std::move(readHeader))
    , m_width(batchWidth(processorCount))
{
    // The calling thread reads too, so the pool needs one thread fewer than a batch is wide.
    m_pool.setMaxThreadCount(std::max(1, m_width - 1));
    m_pool.setExpiryTimeout(-1);
}

int ImageDimensionsReader::batchWidth(int processorCount)
{
    return std::clamp(processorCount, 1, 8);
}

namespace {

// Every header we know fits in the first 64 KiB, except a JPEG whose EXIF block carries a big
// preview; that one falls back to reading from the file.
constexpr qint64 headLength = 64 * 1024;

ImageDimensions upright(QImageReader &reader)
{
    // size() and transformation() parse the header only; nothing is decoded or allocated.
    const QSize size = reader.size();
    if (!size.isValid() || size.width() < 1 || size.height() < 1) {
        return {};
    }
    if (reader.transformation() & QImageIOHandler::TransformationRotate90) {
        return {size.height(), size.width()}; // orientations 5 to 8 turn by a quarter
    }
    return {size.width(), size.height()};
}

bool hasReaderFor(const QByteArray &suffix)
{
    static const QList<QByteArray> formats = QImageReader::supportedImageFormats();
    return formats.contains(suffix);
}

bool isRead(const ImageDimensions &dimensions)
{
    return dimensions.width > 0 && dimensions.height > 0;
}

} // namespace

ImageDimensions ImageDimensionsReader::imageDimensions(const QString &path)
{
    // Opened by hand so that a FIFO or a link put in the photo's place is never waited on
    // or followed.
    const int fd = ::open(QFile::encodeName(path).constData(),
                          O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        return {};
    }
    struct stat st;
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        return {};
    }
    // One read of the file's start, then parse from memory: the image readers seek back and
    // forth while they probe formats, which costs system calls on a file and nothing here.
    QByteArray head(qMin<qint64>(headLength, st.st_size), Qt::Uninitialized);
    const ssize_t got = head.isEmpty() ? 0 : ::pread(fd, head.data(), size_t(head.size()), 0);
    head.resize(got > 0 ? got : 0);

    QBuffer buffer(&head);
    buffer.open(QIODevice::ReadOnly);
    // The extension is tried first, as a hint; content that does not match it is probed.
    const QByteArray suffix = QFileInfo(path).suffix().toLower().toLatin1();
    ImageDimensions result;
    if (!suffix.isEmpty() && hasReaderFor(suffix)) {
        QImageReader reader(&buffer, suffix);
        result = upright(reader);
    }
    if (!isRead(result)) {
        buffer.seek(0);
        QImageReader reader(&buffer);
        result = upright(reader);
    }
    if (!isRead(result) && st.st_size > headLength) {
        QFile file(path);
        if (file.open(fd, QIODevice::ReadOnly, QFileDevice::DontCloseHandle)) {
            QImageReader reader(&file);
            result = upright(reader);
        }
    }
    ::close(fd);
    return result;
}

Result<void> ImageDimensionsReader::populateImageDimensions(QList<PhotoSection> &sections,
                                                            const CancelCheck &isCancelled)
{
    QList<DimensionWorkItem> work;
    QSet<DimensionCacheKey> inUse;
    for (qsizetype s = 0; s < sections.size(); ++s) {
        QList<Photo> &photos = sections[s].photos;
        for (qsizetype p = 0; p < photos.size(); ++p) {
            Photo &photo = photos[p];
            DimensionCacheKey key{photo.id, photo.modificationDate, photo.byteCount};
            if (const auto cached = m_cache.constFind(key); cached != m_cache.cend()) {
                photo.pixelWidth = cached->width;
                photo.pixelHeight = cached->height;
            } else {
                work.append({s, p, key, standardizedPath(photo.url), {}});
            }
            inUse.insert(std::move(key));
        }
    }
    m_cache.removeIf([&inUse](const auto &entry) { return !inUse.contains(entry.key()); });

    // Workers take items in order. Items are grouped in batches of m_width: the first item of
    // each batch checks for cancellation, so a batch that has started always finishes and no
    // later one starts. No join per batch: that would cost a thread wake-up every few files.
    std::atomic<qsizetype> next{0};
    std::atomic<bool> stopped{false};
    const auto drain = [&] {
        for (;;) {
            const qsizetype index = next.fetch_add(1);
            if (index >= work.size() || stopped.load()) {
                return;
            }
            if (index % m_width == 0 && isCancelled()) {
                stopped = true;
                return;
            }
            work[index].result = m_readHeader(work[index].path);
            work[index].done = true;
            m_headersRead.fetch_add(1, std::memory_order_relaxed);
        }
    };
    QList<QFuture<void>> helpers;
    const qsizetype helperCount = std::min<qsizetype>(m_width - 1, work.size() - 1);
    for (qsizetype i = 0; i < helperCount; ++i) {
        helpers.append(QtConcurrent::run(&m_pool, drain));
    }
    drain();
    for (QFuture<void> &helper : helpers) {
        helper.waitForFinished();
    }

    for (const DimensionWorkItem &item : std::as_const(work)) {
        if (!item.done) {
            continue;
        }
        Photo &photo = sections[item.sectionIndex].photos[item.photoIndex];
        photo.pixelWidth = item.result.width;
        photo.pixelHeight = item.result.height;
        if (isRead(item.result)) {
            m_cache.insert(item.key, item.result);
        }
    }
    if (stopped) {
        return std::unexpected(FileSystemError::cancelled());
    }
    return {};
}
