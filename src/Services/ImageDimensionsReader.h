#pragma once

// Fills in every photo's upright pixel size and capture time after a scan, from image headers
// only (no pixel is ever decoded; the one opening of a file gives both). Results are cached by
// photo id, modification time and size, so a rescan reads only new or changed files; uncached files
// are read in parallel batches no wider than the machine (at most 8), with a cancellation check
// before each batch. Not thread-safe: the file-system service calls it from its own thread only.

#include "CancelCheck.h"
#include "Models/FileSystemError.h"
#include "Models/PhotoSection.h"

#include <QHash>
#include <QThreadPool>

#include <atomic>
#include <functional>

// What the header read of a photo gives.
struct ImageDimensions
{
    qint64 width = 0; // 0 means unreadable
    qint64 height = 0;
    std::optional<CaptureTime> captureTime = {}; // when the file says when it was taken
    qint64 durationMs = 0;                       // a video's length
    bool embeddedVideo = false;                  // a motion photo's video confirmed

    // What `photo` holds of these, and the other way round.
    static ImageDimensions of(const Photo &photo)
    {
        return {photo.pixelWidth, photo.pixelHeight, photo.captureTime, photo.durationMs,
                photo.embeddedVideo};
    }
    void applyTo(Photo &photo) const
    {
        photo.pixelWidth = width;
        photo.pixelHeight = height;
        photo.captureTime = captureTime;
        photo.durationMs = durationMs;
        photo.embeddedVideo = embeddedVideo;
    }

    friend bool operator==(const ImageDimensions &, const ImageDimensions &) = default;
};

struct DimensionCacheKey
{
    QString photoID;
    FileTime modificationDate;
    qint64 byteCount = 0;

    friend bool operator==(const DimensionCacheKey &, const DimensionCacheKey &) = default;
};

inline size_t qHash(const DimensionCacheKey &key, size_t seed = 0)
{
    return qHashMulti(seed, key.photoID, key.modificationDate, key.byteCount);
}

class ImageDimensionsReader
{
public:
    using HeaderReader = std::function<ImageDimensions(const QString &path)>;

    // `readHeader` is the per-file read (tests count or slow it); `processorCount` sets the
    // batch width.
    explicit ImageDimensionsReader(HeaderReader readHeader = imageDimensions,
                                   int processorCount = QThread::idealThreadCount());

    // Sets what ImageDimensions holds of every photo in place (the sections keep
    // their order). Fails only when cancelled.
    // `isCancelled` is asked from the reading threads, so it must be thread-safe.
    Result<void> populateImageDimensions(QList<PhotoSection> &sections,
                                         const CancelCheck &isCancelled = neverCancelled);

    // Upright size (0 × 0 when it cannot be read) and capture time from the header of the
    // image file at `path`. Safe to call from any thread.
    static ImageDimensions imageDimensions(const QString &path);
    // Processors, raised to 1 and lowered to 8.
    static int batchWidth(int processorCount);

    qsizetype cacheSize() const { return m_cache.size(); }
    // Header reads since creation, for tests and benchmarks.
    qint64 headersRead() const { return m_headersRead.load(); }
    int width() const { return m_width; }

private:
    HeaderReader m_readHeader;
    int m_width;
    QHash<DimensionCacheKey, ImageDimensions> m_cache;
    std::atomic<qint64> m_headersRead{0};
    QThreadPool m_pool;
};
