#include "ThumbnailService.h"

#include "Services/Decoders/ImageScaling.h"
#include "Services/ImageFile.h"
#include "Services/Platform/BackgroundPriority.h"
#include "Services/Similarity/ThumbnailFacts.h"

#include <QThread>

#include <cmath>

ThumbnailService::ThumbnailService(int threadCount,
                                   ImageSource systemThumbnail,
                                   ImageSource decoder,
                                   std::unique_ptr<ThumbnailCache> cache)
    : m_threadCount(std::max(threadCount, 1))
    , m_systemThumbnail(std::move(systemThumbnail))
    , m_decoder(std::move(decoder))
    , m_cache(cache ? std::move(cache) : std::make_unique<ThumbnailCache>())
{
    m_pool.setMaxThreadCount(m_threadCount);
    m_previewPool.setMaxThreadCount(1);
}

ThumbnailService::~ThumbnailService()
{
    {
        const QMutexLocker lock(&m_mutex);
        for (Queue *queue : {&m_visible, &m_nearby}) {
            for (const auto &request : *queue) {
                request->transition(ThumbnailRequest::State::Queued,
                                    ThumbnailRequest::State::Cancelled);
            }
            queue->clear();
        }
        m_previews.clear();
    }
    m_pool.waitForDone();
    m_previewPool.waitForDone();
}

ThumbnailService &ThumbnailService::shared()
{
    // Deliberately leaked: pool threads may still be finishing when static objects die.
    static ThumbnailService *const instance = [] {
        auto *service = new ThumbnailService();
        service->setPreviewSource(ImageFile::readEmbeddedPreview);
        return service;
    }();
    return *instance;
}

int ThumbnailService::defaultThreadCount()
{
    // Every core decodes; the decoding threads run below the window's priority, so the
    // interface thread still gets a core the moment it needs one.
    return std::max(1, QThread::idealThreadCount());
}

QString ThumbnailService::contentKey(const Photo &photo)
{
    if (photo.id.isEmpty()) {
        return photo.cacheKey();
    }
    // The identity survives a move or a rename; the time and the size change with an edit.
    return photo.id + QLatin1Char('|') + photo.modificationDate.referenceDateText() +
           QLatin1Char('|') + QString::number(photo.byteCount);
}

ThumbnailService::RequestSize ThumbnailService::requestSize(QSizeF pointSize, qreal scale)
{
    const qreal s =
        std::isfinite(scale) && scale > 1 ? std::min<qreal>(scale, maximumNeededPixels) : 1;
    const auto pixels = [s](qreal points) {
        if (!(points > 0)) { // also NaN
            return 0;
        }
        // The tolerance keeps 100 points at 1.1 from becoming 111 pixels by rounding error.
        const qreal exact = std::ceil(points * s - 1e-6);
        return exact >= maximumNeededPixels ? maximumNeededPixels : int(exact);
    };
    const int pixelWidth = pixels(pointSize.width());
    const int pixelHeight = pixels(pointSize.height());
    RequestSize size;
    size.scale = s;
    size.pointSize =
        QSizeF(std::max<qreal>(pixelWidth / s, 1), std::max<qreal>(pixelHeight / s, 1));
    size.neededPixels =
        std::min(std::max({pixelWidth, pixelHeight, int(std::ceil(s))}), maximumNeededPixels);
    return size;
}

std::shared_ptr<ThumbnailRequest>
ThumbnailService::request(const Photo &photo,
                          QSizeF pointSize,
                          qreal scale,
                          Priority priority,
                          QObject *context,
                          std::function<void(const QImage &)> onReady,
                          std::function<void(const QImage &)> onPreview)
{
    auto request = std::shared_ptr<ThumbnailRequest>(new ThumbnailRequest);
    request->m_key = contentKey(photo);
    request->m_path = standardizedPath(photo.url);
    request->m_neededPixels = requestSize(pointSize, scale).neededPixels;
    request->m_context = context;
    request->m_hasContext = context != nullptr;
    request->m_onReady = std::move(onReady);
    request->m_onPreview = std::move(onPreview);

    if (const QImage cached = m_cache->find(request->m_key, request->m_neededPixels);
        !cached.isNull()) {
        request->m_state = ThumbnailRequest::State::Running;
        deliver(request, cached);
        return request;
    }
    const QMutexLocker lock(&m_mutex);
    (priority == Priority::Visible ? m_visible : m_nearby).push_back(request);
    startWorkerLocked();
    if (m_previewSource && context && request->m_onPreview) {
        // Newest and visible first: what was just scrolled to is what the eye is on.
        if (priority == Priority::Visible) {
            m_previews.push_front(request);
        } else {
            m_previews.push_back(request);
        }
        if (!m_previewWorkerActive) {
            m_previewWorkerActive = true;
            m_previewPool.start([this] { drainPreviews(); });
        }
    }
    return request;
}

void ThumbnailService::cancel(const std::shared_ptr<ThumbnailRequest> &request)
{
    if (!request) {
        return;
    }
    // Under the lock, so that once this returns no delivery to the context can be posted.
    const QMutexLocker lock(&m_mutex);
    if (request->transition(ThumbnailRequest::State::Queued, ThumbnailRequest::State::Cancelled)) {
        std::erase(m_visible, request);
        std::erase(m_nearby, request);
        return;
    }
    request->transition(ThumbnailRequest::State::Running, ThumbnailRequest::State::Cancelled);
}

void ThumbnailService::setInterest(const QSet<QString> &visibleKeys,
                                   const QSet<QString> &nearbyKeys)
{
    const QMutexLocker lock(&m_mutex);
    Queue visible;
    Queue nearby;
    for (const Queue *queue : {&m_visible, &m_nearby}) {
        for (const auto &request : *queue) {
            if (visibleKeys.contains(request->m_key)) {
                visible.push_back(request);
            } else if (nearbyKeys.contains(request->m_key)) {
                nearby.push_back(request);
            } else {
                request->transition(ThumbnailRequest::State::Queued,
                                    ThumbnailRequest::State::Cancelled);
            }
        }
    }
    m_visible = std::move(visible);
    m_nearby = std::move(nearby);
}

QImage ThumbnailService::cachedImage(const QString &key, int neededPixels) const
{
    return m_cache->find(key, neededPixels);
}

void ThumbnailService::startWorkerLocked()
{
    if (m_activeWorkers < m_threadCount) {
        ++m_activeWorkers;
        m_pool.start([this] { drain(); });
    }
}

std::shared_ptr<ThumbnailRequest> ThumbnailService::takeNextLocked()
{
    for (Queue *queue : {&m_visible, &m_nearby}) {
        while (!queue->empty()) {
            auto request = std::move(queue->front());
            queue->pop_front();
            if (request->transition(ThumbnailRequest::State::Queued,
                                    ThumbnailRequest::State::Running)) {
                return request;
            }
        }
    }
    return {};
}

void ThumbnailService::drain()
{
    BackgroundPriority::lowerCurrentThread();
    // A worker keeps taking the most urgent request until none is left, so a newly visible
    // photo never waits behind work queued earlier for the margin.
    for (;;) {
        std::shared_ptr<ThumbnailRequest> next;
        {
            const QMutexLocker lock(&m_mutex);
            next = takeNextLocked();
            if (!next) {
                --m_activeWorkers;
                return;
            }
        }
        run(next);
    }
}

void ThumbnailService::run(const std::shared_ptr<ThumbnailRequest> &request)
{
    const int needed = request->m_neededPixels;
    // Another request for the same photo may have rendered it while this one waited.
    QImage image = m_cache->find(request->m_key, needed);
    const bool rendered = image.isNull();
    if (rendered && m_systemThumbnail) {
        image = m_systemThumbnail(request->m_path, needed);
    }
    if (request->isCancelled()) {
        return;
    }
    if (image.isNull() && m_decoder) {
        image = m_decoder(request->m_path, needed);
    }
    if (request->isCancelled()) {
        return;
    }
    if (rendered && !image.isNull()) {
        // A photo smaller than the cell decodes whole; it still serves this size.
        m_cache->insert(request->m_key, image, std::max(needed, ImageScaling::longestSide(image.size())));
    }
    deliver(request, image);
}

void ThumbnailService::drainPreviews()
{
    BackgroundPriority::lowerCurrentThread();
    using State = ThumbnailRequest::State;
    for (;;) {
        std::shared_ptr<ThumbnailRequest> next;
        {
            const QMutexLocker lock(&m_mutex);
            while (!m_previews.empty() && !next) {
                next = std::move(m_previews.front());
                m_previews.pop_front();
                // Answered or dropped meanwhile: a stand-in would only cost time.
                if (next->isCancelled() || next->isFinished()) {
                    next.reset();
                }
            }
            if (!next) {
                m_previewWorkerActive = false;
                return;
            }
        }
        const QImage preview = m_previewSource(next->m_path);
        if (preview.isNull()) {
            continue;
        }
        const QMutexLocker lock(&m_mutex);
        QObject *const context = next->m_context.data();
        if (next->isCancelled() || next->isFinished() || !context) {
            continue;
        }
        // Checked again on the requester's thread, where the real answer may have arrived
        // since: a stand-in never replaces it.
        QMetaObject::invokeMethod(
            context,
            [request = next, preview] {
                const State state = request->m_state.load();
                if ((state == State::Queued || state == State::Running) && request->m_onPreview) {
                    request->m_onPreview(preview);
                }
            },
            Qt::QueuedConnection);
    }
}

void ThumbnailService::deliver(const std::shared_ptr<ThumbnailRequest> &request,
                               const QImage &image)
{
    using State = ThumbnailRequest::State;
    if (!request->m_hasContext) {
        if (request->transition(State::Running, State::Finished) && request->m_onReady) {
            request->m_onReady(image);
        }
        return;
    }
    const QMutexLocker lock(&m_mutex);
    QObject *const context = request->m_context.data();
    if (request->isCancelled() || !context) {
        return;
    }
    // The final state change happens on the requester's thread, so a cancel made there before
    // this runs still keeps the callback from being called.
    QMetaObject::invokeMethod(
        context,
        [request, image] {
            if (request->transition(State::Running, State::Finished) && request->m_onReady) {
                request->m_onReady(image);
            }
        },
        Qt::QueuedConnection);
}

QImage ThumbnailService::downsample(const QString &path, int maximumPixelDimension)
{
    return ThumbnailFacts::decode(path, std::clamp(maximumPixelDimension, 1, maximumNeededPixels));
}
