#include "DimensionFill.h"

#include "Models/NaturalOrder.h"
#include "Services/Platform/BackgroundPriority.h"

#include <QSet>
#include <QHash>
#include <QMutex>
#include <QThread>

#include <atomic>
#include <deque>

namespace {

DimensionCacheKey keyOf(const Photo &photo)
{
    return {photo.id, photo.modificationDate, photo.byteCount};
}

} // namespace

struct DimensionFill::Shared
{
    // A list queued whole: queuing costs the window's thread nothing however long it is (the
    // list is shared, not copied), and the readers walk it.
    struct Batch
    {
        QList<Photo> photos;
        qsizetype next = 0;
    };

    ImageDimensionsReader::HeaderReader readHeader;
    mutable QMutex mutex;
    quint64 generation = 0;
    std::deque<Batch> batches;
    std::deque<Photo> urgent;        // on screen
    bool held = false;               // only urgent photos are taken
    QSet<DimensionCacheKey> taken;   // read or being read, while anything is queued
    qsizetype queued = 0;            // photos in batches and urgent, not yet taken
    int reading = 0;                 // reads in progress
    int readers = 0;                 // reader loops running
    QList<DimensionsRead> results;
    std::atomic<qint64> headersRead = 0;

    // The next photo to read, those on screen first; false when nothing is left, or only
    // what is held back. Called with the mutex held.
    bool take(Photo &photo)
    {
        const auto claim = [this, &photo](const Photo &candidate) {
            --queued;
            if (candidate.hasDimensions() || taken.contains(keyOf(candidate))) {
                return false;
            }
            taken.insert(keyOf(candidate));
            photo = candidate;
            return true;
        };
        while (!urgent.empty()) {
            const Photo candidate = std::move(urgent.front());
            urgent.pop_front();
            if (claim(candidate)) {
                return true;
            }
        }
        if (held) {
            return false; // the readers stop; releasing the hold starts them again
        }
        while (!batches.empty()) {
            Batch &batch = batches.front();
            if (batch.next >= batch.photos.size()) {
                batches.pop_front();
                continue;
            }
            if (claim(batch.photos.at(batch.next++))) {
                return true;
            }
        }
        taken.clear(); // nothing queued: a photo queued again later is read again
        return false;
    }

    void readAll()
    {
        BackgroundPriority::idleCurrentThread();
        QMutexLocker locker(&mutex);
        Photo photo;
        while (take(photo)) {
            const quint64 started = generation;
            const ImageDimensionsReader::HeaderReader read = readHeader;
            ++reading;
            locker.unlock();
            const ImageDimensions dimensions = read(standardizedPath(photo.url));
            locker.relock();
            --reading;
            ++headersRead;
            if (started == generation) {
                results.append({photo.id, photo.modificationDate, photo.byteCount, dimensions});
            }
        }
        --readers;
    }
};

int DimensionFill::defaultThreadCount()
{
    // Header reads wait on the disk far more than they compute: a few more readers than cores
    // keep a cold disk busy.
    return std::clamp(QThread::idealThreadCount() * 2, 2, 8);
}

DimensionFill::DimensionFill(ImageDimensionsReader::HeaderReader readHeader,
                             int threadCount,
                             QObject *parent)
    : QObject(parent)
    , m_shared(std::make_shared<Shared>())
    , m_lock(
          m_shared->mutex, [this] { applyWaiting(); }, [this] { startReaders(); })
    , m_hold(defaultHoldLimitMs, [this](bool held) { setHeld(held); })
{
    m_shared->readHeader = std::move(readHeader);
    m_pool.setMaxThreadCount(std::max(1, threadCount));
    m_delivery.setInterval(pollingIntervalMs);
    m_sinceDelivery.start();
    connect(&m_delivery, &QTimer::timeout, this, &DimensionFill::deliver);
    m_start.setSingleShot(true);
    m_start.setInterval(0);
    connect(&m_start, &QTimer::timeout, this, &DimensionFill::startReaders);
}

DimensionFill::~DimensionFill()
{
    {
        const QMutexLocker locker(&m_shared->mutex);
        m_waiting = {};
        m_waiting.clear = true;
        applyWaiting();
    }
    m_pool.waitForDone();
}

void DimensionFill::setHeaderReader(ImageDimensionsReader::HeaderReader readHeader)
{
    const QMutexLocker locker(&m_shared->mutex);
    m_shared->readHeader = std::move(readHeader);
}

QMutex &DimensionFill::readersLock()
{
    return m_shared->mutex;
}

void DimensionFill::applyWaiting()
{
    Shared &shared = *m_shared;
    if (std::exchange(m_waiting.clear, false)) {
        ++shared.generation;
        shared.batches.clear();
        shared.urgent.clear();
        shared.taken.clear();
        shared.queued = 0;
        shared.results.clear();
    }
    for (QList<Photo> &photos : m_waiting.batches) {
        shared.queued += photos.size();
        shared.batches.push_back({std::move(photos), 0});
    }
    m_waiting.batches.clear();
    if (shared.queued > 0) { // once everything queued is read, nothing is put first
        for (const Photo &photo : std::as_const(m_waiting.urgent)) {
            shared.urgent.push_back(photo);
            ++shared.queued;
        }
    }
    m_waiting.urgent.clear();
    if (m_waiting.held) {
        shared.held = *std::exchange(m_waiting.held, std::nullopt);
    }
    m_pendingSeen = shared.queued + shared.reading + shared.results.size();
}

void DimensionFill::clear()
{
    m_waiting = {};
    m_waiting.clear = true;
    m_lock.tryTake();
}

void DimensionFill::enqueue(const QList<Photo> &photos)
{
    if (photos.isEmpty()) {
        return;
    }
    m_waiting.batches.append(photos);
    m_start.start();
}

void DimensionFill::prioritize(const QList<Photo> &photos)
{
    for (const Photo &photo : photos) {
        if (!photo.hasDimensions()) {
            m_waiting.urgent.append(photo);
        }
    }
    startReaders(); // while held, none may be running
}

void DimensionFill::setHeld(bool held)
{
    m_waiting.held = held;
    startReaders();
}

qsizetype DimensionFill::pendingCount() const
{
    qsizetype waiting = m_waiting.urgent.size();
    for (const QList<Photo> &photos : m_waiting.batches) {
        waiting += photos.size();
    }
    const std::unique_lock<QMutex> lock(m_shared->mutex, std::try_to_lock);
    if (!lock.owns_lock()) {
        return waiting + std::max<qsizetype>(m_pendingSeen, 1); // a reader is at work
    }
    return waiting + m_shared->queued + m_shared->reading + m_shared->results.size();
}

qint64 DimensionFill::headersRead() const
{
    return m_shared->headersRead.load();
}

void DimensionFill::startReaders()
{
    {
        const std::unique_lock<QMutex> lock = m_lock.tryTake();
        if (!lock.owns_lock()) {
            return; // called again in a moment
        }
        const qsizetype readable =
            m_shared->held ? qsizetype(m_shared->urgent.size()) : m_shared->queued;
        const int wanted = int(std::min<qsizetype>(m_pool.maxThreadCount(), readable));
        for (; m_shared->readers < wanted; ++m_shared->readers) {
            // The readers hold the shared state, not this object: one finishing after the
            // object is gone touches nothing that was freed.
            m_pool.start([shared = m_shared] { shared->readAll(); });
        }
    }
    if (!m_delivery.isActive()) {
        m_delivery.start();
    }
}

void DimensionFill::deliver()
{
    QList<DimensionsRead> batch;
    bool idle = false;
    {
        const std::unique_lock<QMutex> lock = m_lock.tryTake();
        if (!lock.owns_lock()) {
            return;
        }
        // With no reader left nothing more comes until readers start again (which starts the
        // polling again): the queue is read, or what is left is held back.
        idle = m_shared->readers == 0;
        const bool finished = idle && m_shared->queued == 0;
        if (!finished && m_sinceDelivery.elapsed() < m_deliveryIntervalMs) {
            return;
        }
        batch.swap(m_shared->results);
    }
    m_sinceDelivery.restart();
    if (idle) {
        m_delivery.stop();
    }
    if (!batch.isEmpty()) {
        Q_EMIT dimensionsRead(batch);
    }
}

DimensionFill::Applied DimensionFill::applyTo(PhotoCollection &collection,
                                              const QList<DimensionsRead> &results,
                                              PhotoSortOrder order)
{
    QHash<QString, const DimensionsRead *> byID;
    byID.reserve(results.size());
    for (const DimensionsRead &read : results) {
        byID.insert(read.photoID, &read);
    }
    // Found by reading first, so the lists are written (and copied, when shared) only where a
    // photo really changes. The board's frames stay as they are.
    QList<std::pair<qsizetype, qsizetype>> hits;
    const QList<PhotoSection> &sections = std::as_const(collection).sections;
    for (qsizetype s = 0; s < sections.size(); ++s) {
        const QList<Photo> &photos = sections[s].photos;
        for (qsizetype p = 0; p < photos.size(); ++p) {
            const Photo &photo = photos[p];
            const auto read = byID.constFind(photo.id);
            if (read != byID.cend() && photo.modificationDate == (*read)->modificationDate &&
                photo.byteCount == (*read)->byteCount &&
                ImageDimensions::of(photo) != (*read)->dimensions) {
                hits.append({s, p});
            }
        }
    }
    QSet<qsizetype> timed; // sections where a capture time changed
    for (const auto &[s, p] : std::as_const(hits)) {
        Photo &photo = collection.sections[s].photos[p];
        const ImageDimensions &read = byID.value(photo.id)->dimensions;
        if (photo.captureTime != read.captureTime) {
            timed.insert(s);
        }
        read.applyTo(photo);
    }
    if (hits.isEmpty()) {
        return Applied::nothing;
    }
    bool reordered = false;
    if (order == PhotoSortOrder::dateTaken) {
        const auto precedes = [](const Photo &a, const Photo &b) {
            return photoPrecedes(a, b, PhotoSortOrder::dateTaken);
        };
        for (const qsizetype s : std::as_const(timed)) {
            QList<Photo> &photos = collection.sections[s].photos;
            if (!std::is_sorted(photos.cbegin(), photos.cend(), precedes)) {
                sortPhotos(photos, order);
                reordered = true;
            }
        }
    }
    return reordered ? Applied::reordered : Applied::inPlace;
}
