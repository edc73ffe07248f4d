#include "ImageDimensionsReader.h"

#include "Decoders/ImageDecoders.h"
#include "Decoders/ImageSource.h"
#include "Decoders/MotionPhoto.h"
#include "Decoders/VideoDecoder.h"

#include <QSet>
#include <QtConcurrent/QtConcurrentRun>

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

ImageDimensions ImageDimensionsReader::imageDimensions(const QString &path)
{
    // Opened the safe way: a FIFO or a link put in the photo's place is never waited on or
    // followed. Each format's decoder reads the size from the header alone.
    const std::optional<ImageSource> file = ImageSource::open(path);
    if (!file) {
        return {};
    }
    const ImageDecoder &decoder = ImageDecoders::forFile(*file);
    const ImageDecoder::Header header = decoder.header(*file);
    ImageDimensions read{0, 0, header.captureTime, header.durationMs};
    // A phone's motion photo carries its clip after the picture; its XMP says where.
    if (dynamic_cast<const VideoDecoder *>(&decoder) == nullptr) {
        read.embeddedVideo =
            MotionPhoto::locate(file->head(), file->size(), file->reader()).has_value();
    }
    if (!header.uprightSize.isEmpty()) {
        read.width = header.uprightSize.width();
        read.height = header.uprightSize.height();
    }
    return read;
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
                cached->applyTo(photo);
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
        item.result.applyTo(photo);
        if (item.result.width > 0 && item.result.height > 0) {
            m_cache.insert(item.key, item.result);
        }
    }
    if (stopped) {
        return std::unexpected(FileSystemError::cancelled());
    }
    return {};
}
