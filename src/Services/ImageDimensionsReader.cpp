#include "ImageDimensionsReader.h"

#include <QFile>
#include <QImageReader>
#include <QSet>
#include <QtConcurrent/QtConcurrentMap>

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
};

} // namespace

ImageDimensionsReader::ImageDimensionsReader(HeaderReader readHeader, int processorCount)
    : m_readHeader(std::move(readHeader))
    , m_width(batchWidth(processorCount))
{
    // The executor thread joins each batch and takes part in it, so the pool needs one
    // thread fewer than the batch is wide.
    m_pool.setMaxThreadCount(std::max(1, m_width - 1));
    m_pool.setExpiryTimeout(-1);
}

int ImageDimensionsReader::batchWidth(int processorCount)
{
    return std::clamp(processorCount, 1, 8);
}

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
    QFile file(path); // keeps the name, so the reader can use the extension as a hint
    if (!file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        return {};
    }
    QImageReader reader(&file);
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

    for (qsizetype start = 0; start < work.size(); start += m_width) {
        if (isCancelled()) {
            return std::unexpected(FileSystemError::cancelled());
        }
        const qsizetype end = std::min(work.size(), start + m_width);
        auto batch = QList<DimensionWorkItem *>();
        batch.reserve(end - start);
        for (qsizetype i = start; i < end; ++i) {
            batch.append(&work[i]);
        }
        QtConcurrent::blockingMap(&m_pool, batch, [this](DimensionWorkItem *item) {
            item->result = m_readHeader(item->path);
            m_headersRead.fetch_add(1, std::memory_order_relaxed);
        });
        for (const DimensionWorkItem *item : std::as_const(batch)) {
            Photo &photo = sections[item->sectionIndex].photos[item->photoIndex];
            photo.pixelWidth = item->result.width;
            photo.pixelHeight = item->result.height;
            if (item->result.width > 0 && item->result.height > 0) {
                m_cache.insert(item->key, item->result);
            }
        }
    }
    return {};
}
