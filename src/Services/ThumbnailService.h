#pragma once

// Produces photo thumbnails at the pixel size a cell needs, off the calling thread, and keeps
// them in a bounded LRU cache. Work waits in a queue ordered visible-first and runs on a
// bounded pool; queued work the view no longer wants is dropped before it decodes anything.

#include "Models/Photo.h"
#include "Services/Platform/FreedesktopThumbnails.h"
#include "Services/ThumbnailCache.h"

#include <QImage>
#include <QMutex>
#include <QPointer>
#include <QSet>
#include <QSizeF>
#include <QThreadPool>

#include <atomic>
#include <deque>
#include <functional>
#include <memory>

// One pending or answered thumbnail request. Held by the requester to cancel it.
class ThumbnailRequest
{
public:
    const QString &key() const { return m_key; } // the photo's contentKey()
    int neededPixels() const { return m_neededPixels; }
    bool isCancelled() const { return m_state.load() == State::Cancelled; }
    // True once the answer has reached the requester's callback.
    bool isFinished() const { return m_state.load() == State::Finished; }

private:
    friend class ThumbnailService;
    enum class State { Queued, Running, Finished, Cancelled };

    ThumbnailRequest() = default;
    bool transition(State from, State to) { return m_state.compare_exchange_strong(from, to); }

    QString m_key;
    QString m_path;
    int m_neededPixels = 1;
    QPointer<QObject> m_context;
    bool m_hasContext = false;
    std::function<void(const QImage &)> m_onReady;
    std::function<void(const QImage &)> m_onPreview;
    std::atomic<State> m_state{State::Queued};
};

class ThumbnailService
{
public:
    enum class Priority { Visible, Nearby };

    // What a cell of `pointSize` at display `scale` asks for.
    struct RequestSize
    {
        QSizeF pointSize;     // rounded up to whole pixels, at least 1 point on each side
        qreal scale = 1;      // at least 1
        int neededPixels = 1; // the longest pixel side the cell needs
        friend bool operator==(const RequestSize &, const RequestSize &) = default;
    };
    // No cell needs more; also keeps absurd or non-finite sizes from reaching the decoder.
    static constexpr int maximumNeededPixels = 4096;

    // An image of the file at `path` whose longest side is at most `maximumPixelDimension`;
    // null when there is none. Called on pool threads.
    using ImageSource = std::function<QImage(const QString &path, int maximumPixelDimension)>;

    // The small picture a file carries (EXIF thumbnail, HEIF thumbnail item, RAW preview), or
    // null. Called on the preview thread.
    using PreviewSource = std::function<QImage(const QString &path)>;

    explicit ThumbnailService(int threadCount = defaultThreadCount(),
                              ImageSource systemThumbnail = FreedesktopThumbnails::find,
                              ImageSource decoder = downsample,
                              std::unique_ptr<ThumbnailCache> cache = {});
    ~ThumbnailService();
    ThumbnailService(const ThumbnailService &) = delete;
    ThumbnailService &operator=(const ThumbnailService &) = delete;

    // The instance the application shares; created on first use, never destroyed.
    static ThumbnailService &shared();
    static int defaultThreadCount();
    static RequestSize requestSize(QSizeF pointSize, qreal scale);
    // What the cache and the interest sets know a photo by: its file's identity, time and size,
    // not its path, so a photo filed into a category or put back by an undo is still drawn
    // from its thumbnail at once. Path, time and size for a photo without an identity.
    static QString contentKey(const Photo &photo);

    // Gives queued requests that ask for it a stand-in at once: the picture the file carries,
    // read on a thread of its own in a fraction of the real decode's time. Set before the
    // first request; none by default.
    void setPreviewSource(PreviewSource source) { m_previewSource = std::move(source); }

    // Asks for a thumbnail of `photo` for a cell of `pointSize` at `scale`. `onReady` runs on
    // `context`'s thread (on a pool thread when `context` is null) with the image, or with a
    // null image when the file cannot be read. A cancelled or dropped request never calls it.
    // While the request waits, `onPreview` (when given, with a context and a preview source)
    // may run first with the file's own small picture; never after `onReady`.
    // A requester that destroys `context` must cancel its requests first.
    std::shared_ptr<ThumbnailRequest> request(const Photo &photo,
                                              QSizeF pointSize,
                                              qreal scale,
                                              Priority priority,
                                              QObject *context,
                                              std::function<void(const QImage &)> onReady,
                                              std::function<void(const QImage &)> onPreview = {});
    // Stops the request: queued work is dropped, a running decode's result is discarded.
    void cancel(const std::shared_ptr<ThumbnailRequest> &request);
    // The photos now on screen and those just around the viewport, by content key. Queued work
    // is reordered visible first; queued work for any other photo is dropped. Running work
    // finishes.
    void setInterest(const QSet<QString> &visibleKeys, const QSet<QString> &nearbyKeys);
    // For painting: the cached image for content `key` when it serves `neededPixels`, else null.
    QImage cachedImage(const QString &key, int neededPixels) const;

    const ThumbnailCache &cache() const { return *m_cache; }

    // The file's first image read through ImageFile, its longest side at most
    // `maximumPixelDimension` (capped at maximumNeededPixels); a photo that decodes whole leaves
    // its similarity facts on the way (ThumbnailFacts).
    static QImage downsample(const QString &path, int maximumPixelDimension);

private:
    using Queue = std::deque<std::shared_ptr<ThumbnailRequest>>;

    void drain();
    std::shared_ptr<ThumbnailRequest> takeNextLocked();
    void run(const std::shared_ptr<ThumbnailRequest> &request);
    void deliver(const std::shared_ptr<ThumbnailRequest> &request, const QImage &image);
    void drainPreviews();
    void startWorkerLocked();

    const int m_threadCount;
    const ImageSource m_systemThumbnail;
    const ImageSource m_decoder;
    const std::unique_ptr<ThumbnailCache> m_cache;
    mutable QMutex m_mutex;
    Queue m_visible; // guarded by m_mutex, like the two below
    Queue m_nearby;
    int m_activeWorkers = 0;
    Queue m_previews; // guarded by m_mutex, like the flag below; the most urgent first
    bool m_previewWorkerActive = false;
    PreviewSource m_previewSource;
    QThreadPool m_pool;
    QThreadPool m_previewPool;
};
