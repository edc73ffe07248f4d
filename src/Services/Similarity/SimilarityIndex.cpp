#include "SimilarityIndex.h"

#include "ImageFingerprint.h"
#include "Models/Duplicates.h"
#include "Services/Decoders/ImageScaling.h"
#include "Services/Decoders/ImageSource.h"
#include "Services/Decoders/JpegRegion.h"
#include "Services/ImageFile.h"
#include "Services/PhotoInfoReader.h"
#include "Services/Platform/BackgroundPriority.h"
#include "Services/ThumbnailService.h"
#include "ThumbnailFacts.h"

#include <QBuffer>
#include <QCryptographicHash>
#include <QFileInfo>
#include <QImageReader>
#include <QMutex>
#include <QStandardPaths>

#include <cmath>
#include <deque>

namespace {

DimensionCacheKey keyOf(const Photo &photo)
{
    return {photo.id, photo.modificationDate, photo.byteCount};
}

const SimilarityFacts *factsIn(const SimilarityEntries &entries, const Photo &photo)
{
    const auto it = entries.constFind(keyOf(photo));
    return it != entries.constEnd() && it->facts ? &*it->facts : nullptr;
}

// A JPEG's brightness alone, upright, its long side about `side` where libjpeg shrinks by
// eighths while decoding: the hash and the score need no colour, and the colour planes are
// most of a decode's work after the entropy decoding. Null for any other file.
QImage greyJpeg(const QString &path, int side)
{
    const std::optional<ImageSource> file = ImageSource::open(path);
    if (!file || file->contentFormat() != "jpeg") {
        return {};
    }
    QByteArray head = file->head();
    QBuffer buffer(&head);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer);
    ImageSource::readerFormat(reader, "jpeg");
    const QSize stored = reader.size();
    if (stored.isEmpty()) {
        return {};
    }
    const int longSide = std::max(stored.width(), stored.height());
    const int eighths = std::clamp(int(std::ceil(8.0 * side / longSide - 1e-9)), 1, 8);
    const QImage decoded =
        JpegRegion::decode(*file, QRect(QPoint(), stored), eighths, DecodeBudget::shared(), true);
    return decoded.isNull() ? decoded : ImageScaling::turned(decoded, reader.transformation());
}

} // namespace

struct SimilarityIndex::Job
{
    Photo photo;
    DimensionCacheKey key;
    bool digest = false; // the content digest rather than the facts
};

struct SimilarityIndex::Shared
{
    struct Result
    {
        DimensionCacheKey key;
        bool digest = false;
        bool gone = false; // no file at the photo's path any more: filed before it was read
        std::optional<SimilarityFacts> facts;
        QByteArray digestBytes;
    };

    Compute compute;
    DigestOf digestOf;
    int threadCount = 1;
    QMutex mutex;
    quint64 generation = 0;
    std::deque<Job> queue;
    std::deque<Job> urgent; // on screen
    bool held = false;      // a view waits for its first screen: nothing is taken
    int running = 0;        // worker loops
    int urgentRunning = 0;  // jobs taken from `urgent` and not done
    // Called, without the mutex, when the last photo on screen is done.
    std::function<void()> screenDone;
    QSet<DimensionCacheKey> started;
    QList<Result> results;

    // The next job, those on screen first (`urgentJob` says which); false when none is left
    // or the pass is held. Called with the mutex held.
    bool take(Job &job, bool &urgentJob)
    {
        const auto claim = [this, &job](std::deque<Job> &from) {
            while (!from.empty()) {
                Job candidate = std::move(from.front());
                from.pop_front();
                if (candidate.digest || !started.contains(candidate.key)) {
                    if (!candidate.digest) {
                        started.insert(candidate.key);
                    }
                    job = std::move(candidate);
                    return true;
                }
            }
            return false;
        };
        if (held) {
            return false;
        }
        urgentJob = claim(urgent);
        urgentRunning += urgentJob ? 1 : 0;
        return urgentJob || claim(queue);
    }

    bool hasWork() const { return !held && (!urgent.empty() || !queue.empty()); }

    void work()
    {
        BackgroundPriority::idleCurrentThread();
        QMutexLocker locker(&mutex);
        Job job;
        bool urgentJob = false;
        while (take(job, urgentJob)) {
            const quint64 startedIn = generation;
            const Compute computeNow = compute;
            const DigestOf digestNow = digestOf;
            locker.unlock();
            Result result{job.key, job.digest, false, {}, {}};
            const QString path = standardizedPath(job.photo.url);
            if (job.digest) {
                result.digestBytes = digestNow(path);
            } else {
                result.facts = computeNow(path);
                result.gone = !result.facts && !QFileInfo::exists(path);
            }
            locker.relock();
            if (startedIn == generation) {
                results.append(std::move(result));
            }
            if (urgentJob && --urgentRunning == 0 && urgent.empty() && screenDone) {
                const std::function<void()> done = screenDone;
                locker.unlock();
                done();
                locker.relock();
            }
        }
        --running;
    }
};

int SimilarityIndex::defaultThreadCount()
{
    return ThumbnailService::defaultThreadCount();
}

QString SimilarityIndex::defaultCacheFolder()
{
    return QStandardPaths::writableLocation(QStandardPaths::CacheLocation) +
           QStringLiteral("/similarity");
}

SimilarityIndex::SimilarityIndex(Compute compute,
                                 DigestOf digestOf,
                                 int threadCount,
                                 QObject *parent)
    : QObject(parent)
    , m_shared(std::make_shared<Shared>())
    , m_lock(
          m_shared->mutex, [this] { applyWaiting(); }, [this] { startWorkers(); })
    , m_hold(holdLimitMs, [this](bool held) { setHeld(held); })
{
    m_shared->compute = std::move(compute);
    m_shared->digestOf = std::move(digestOf);
    m_shared->threadCount = std::max(1, threadCount);
    m_shared->screenDone = [this] {
        QMetaObject::invokeMethod(
            this,
            [this] {
                m_screenDone = true;
                deliver();
            },
            Qt::QueuedConnection);
    };
    m_pool.setMaxThreadCount(m_shared->threadCount);
    m_cachePool.setMaxThreadCount(1);
    m_delivery.setInterval(deliveryIntervalMs);
    connect(&m_delivery, &QTimer::timeout, this, &SimilarityIndex::deliver);
    // The workers start on the next turn of the event loop, by when the views showing a new
    // collection have asked for their first screen and held the pass.
    m_start.setSingleShot(true);
    m_start.setInterval(0);
    connect(&m_start, &QTimer::timeout, this, &SimilarityIndex::startWorkers);
    m_nextSlice.setSingleShot(true);
    m_nextSlice.setInterval(0);
    connect(&m_nextSlice, &QTimer::timeout, this, &SimilarityIndex::queueMissingSlice);
    m_afterSnapshot.setSingleShot(true);
    m_afterSnapshot.setInterval(afterSnapshotMs);
    connect(&m_afterSnapshot, &QTimer::timeout, this, &SimilarityIndex::deliver);
}

SimilarityIndex::~SimilarityIndex()
{
    {
        const QMutexLocker locker(&m_shared->mutex);
        ++m_shared->generation;
        m_shared->queue.clear();
        m_shared->urgent.clear();
    }
    m_pool.waitForDone();
    saveCache(true);
    m_cachePool.waitForDone();
}

QMutex &SimilarityIndex::workersLock()
{
    return m_shared->mutex;
}

void SimilarityIndex::applyWaiting()
{
    Shared &shared = *m_shared;
    if (std::exchange(m_waiting.clear, false)) {
        ++shared.generation;
        shared.queue.clear();
        shared.urgent.clear();
        shared.started.clear();
        shared.results.clear();
    }
    for (std::deque<Job> &jobs : m_waiting.jobs) {
        if (shared.queue.empty()) {
            shared.queue.swap(jobs); // a whole collection's jobs cost no pass here
        } else {
            std::move(jobs.begin(), jobs.end(), std::back_inserter(shared.queue));
        }
    }
    m_waiting.jobs.clear();
    if (m_waiting.urgent) {
        shared.urgent.clear(); // what was on screen before is in the queue all the same
        for (const Photo &photo : std::as_const(*m_waiting.urgent)) {
            DimensionCacheKey key = keyOf(photo);
            if (m_queued.contains(key) && !shared.started.contains(key)) {
                shared.urgent.push_back({photo, std::move(key), false});
            }
        }
        m_waiting.urgent.reset();
    }
    if (m_waiting.held) {
        shared.held = *std::exchange(m_waiting.held, std::nullopt);
    }
}

void SimilarityIndex::queueJobs(std::deque<Job> &jobs)
{
    m_waiting.jobs.push_back(std::move(jobs));
    m_lock.tryTake();
    m_delivery.start();
}

void SimilarityIndex::clear()
{
    saveCache(false);
    ++m_generation;
    m_waiting = {};
    m_waiting.clear = true;
    m_lock.tryTake();
    m_rootPath.clear();
    m_lists.clear();
    m_entries.clear();
    m_queued.clear();
    m_queuedDigests.clear();
    m_digestsTried.clear();
    m_doneCount = 0;
    m_nextSlice.stop();
    m_loading = false;
    m_complete = false;
    m_digestsChecked = false;
    m_findingDigests = 0;
    m_delivery.stop();
    m_afterSnapshot.stop();
    Q_EMIT progressChanged();
}

void SimilarityIndex::setPhotos(const QString &rootPath, const PhotoLists &lists, bool newFiles)
{
    if (rootPath != m_rootPath) {
        newFiles = true;
        clear();
        m_rootPath = rootPath;
        if (!m_cacheFolder.isEmpty()) {
            m_loading = true;
            const QString file = SimilarityCache::fileFor(m_cacheFolder, rootPath);
            m_cachePool.start([this, file, generation = m_generation] {
                SimilarityEntries loaded = SimilarityCache::load(file);
                QMetaObject::invokeMethod(
                    this, [this, generation, loaded = std::move(loaded)]() mutable {
                        if (generation != m_generation) {
                            return;
                        }
                        m_loading = false;
                        // Taken whole when nothing was known yet (the usual case): merging
                        // 100,000 entries one by one would hold the window up.
                        if (m_entries.isEmpty()) {
                            m_entries = std::move(loaded);
                        } else {
                            for (auto it = loaded.constBegin(); it != loaded.constEnd(); ++it) {
                                m_entries.insert(it.key(), it.value());
                            }
                        }
                        m_digestsChecked = false;
                        queueMissing();
                        Q_EMIT factsChanged();
                    });
            });
        }
    }
    m_lists = lists;
    if (!m_loading && newFiles) {
        queueMissing();
    }
}

void SimilarityIndex::queueMissing()
{
    m_doneCount = 0;
    m_sliceList = 0;
    m_sliceFrom = 0;
    queueMissingSlice();
}

void SimilarityIndex::queueMissingSlice()
{
    std::deque<Job> jobs;
    TurnBudget budget(m_queueTurnBudget);
    if (m_sliceList == 0 && m_sliceFrom == 0 && m_entries.isEmpty()) {
        // Nothing known: every photo is queued and learnt, and neither table grows (rehashing
        // as it goes) on the window's thread.
        m_queued.reserve(totalCount());
        m_entries.reserve(totalCount());
    }
    while (m_sliceList < m_lists.size() && !budget.over()) {
        const QList<Photo> &photos = m_lists.at(m_sliceList);
        if (m_sliceFrom == photos.size()) {
            ++m_sliceList;
            m_sliceFrom = 0;
            continue;
        }
        const Photo &photo = photos.at(m_sliceFrom++);
        DimensionCacheKey key = keyOf(photo);
        if (m_entries.contains(key)) {
            ++m_doneCount;
        } else if (photo.kind == ImageKind::video) {
            m_entries.insert(key, {}); // a clip is never a burst's frame
            ++m_doneCount;
            m_dirty = true;
        } else if (!m_queued.contains(key)) {
            m_queued.insert(key);
            jobs.push_back({photo, std::move(key), false});
        }
    }
    if (!jobs.empty()) {
        m_complete = false;
        queueJobs(jobs);
        m_start.start();
    }
    if (m_sliceList < m_lists.size()) {
        m_nextSlice.start();
    } else if (m_queued.isEmpty()) {
        queueDigests();
    }
    Q_EMIT progressChanged();
}

void SimilarityIndex::queueDigests()
{
    if (std::exchange(m_digestsChecked, true)) {
        finishIfDone();
        return;
    }
    // A look over the whole collection: on the cache's thread, from copies that cost nothing
    // (what the pass learns meanwhile waits, as for a snapshot).
    ++m_findingDigests;
    m_cachePool.start([this, generation = m_generation, lists = m_lists, entries = m_entries] {
        QList<Photo> needing = needingDigest(lists, entries);
        QMetaObject::invokeMethod(this, [this, generation, needing = std::move(needing)] {
            if (generation == m_generation) {
                --m_findingDigests;
                queueDigestsOf(needing);
            }
        });
    });
}

QList<Photo> SimilarityIndex::needingDigest(const PhotoLists &lists,
                                            const SimilarityEntries &entries)
{
    QList<DuplicateCandidate> candidates;
    QHash<QString, Photo> byID;
    for (const QList<Photo> &photos : lists) {
        for (const Photo &photo : photos) {
            const auto it = entries.constFind(keyOf(photo));
            if (it != entries.constEnd() && it->facts) {
                candidates.append({photo.id, photo.byteCount, it->digest, it->facts->hash, 0});
                byID.insert(photo.id, photo);
            }
        }
    }
    QList<Photo> needing;
    for (const QString &id : Duplicates::needingDigest(candidates)) {
        needing.append(byID.value(id));
    }
    return needing;
}

qsizetype SimilarityIndex::countOf(const PhotoLists &lists)
{
    qsizetype count = 0;
    for (const QList<Photo> &photos : lists) {
        count += photos.size();
    }
    return count;
}

void SimilarityIndex::queueDigestsOf(const QList<Photo> &photos)
{
    std::deque<Job> jobs;
    for (const Photo &photo : photos) {
        DimensionCacheKey key = keyOf(photo);
        if (m_digestsTried.contains(key)) {
            continue; // could not be read: not again this session
        }
        m_digestsTried.insert(key);
        m_queuedDigests.insert(key);
        jobs.push_back({photo, std::move(key), true});
    }
    if (jobs.empty()) {
        finishIfDone();
        return;
    }
    queueJobs(jobs);
    startWorkers();
}

void SimilarityIndex::startWorkers()
{
    const std::unique_lock<QMutex> lock = m_lock.tryTake();
    if (!lock.owns_lock()) {
        return; // called again in a moment
    }
    while (m_shared->running < m_shared->threadCount && m_shared->hasWork()) {
        ++m_shared->running;
        m_pool.start([shared = m_shared] { shared->work(); });
    }
}

void SimilarityIndex::prioritize(const QList<Photo> &photos)
{
    if (m_queued.isEmpty()) {
        return;
    }
    m_waiting.urgent = photos;
    startWorkers();
}

void SimilarityIndex::setHeld(bool held)
{
    m_waiting.held = held;
    startWorkers();
}

void SimilarityIndex::deliver()
{
    if (!m_entries.isEmpty() && !m_entries.isDetached()) {
        m_afterSnapshot.start(); // a snapshot is out: the results wait in the workers' list
        return;
    }
    QList<Shared::Result> results;
    {
        const std::unique_lock<QMutex> lock = m_lock.tryTake();
        if (!lock.owns_lock()) {
            return; // the next delivery takes them
        }
        results.swap(m_shared->results);
        for (const Shared::Result &result : std::as_const(results)) {
            if (result.gone) {
                m_shared->started.remove(result.key); // to be taken again where it went
            }
        }
    }
    bool gone = false;
    for (Shared::Result &result : results) {
        if (result.gone) {
            // Not unreadable: queued again where the collection now has it, rather than kept
            // (and cached) as a file without facts.
            gone = m_queued.remove(result.key) || gone;
        } else if (result.digest) {
            m_queuedDigests.remove(result.key);
            if (const auto it = m_entries.find(result.key); it != m_entries.end()) {
                it->digest = std::move(result.digestBytes);
            }
        } else if (m_queued.remove(result.key)) {
            m_entries.insert(result.key, {std::move(result.facts), {}});
            ++m_doneCount;
        }
    }
    if (!results.isEmpty()) {
        m_dirty = true;
        m_digestsChecked = false;
        Q_EMIT factsChanged();
        Q_EMIT progressChanged();
    }
    if (std::exchange(m_screenDone, false)) {
        Q_EMIT screenFactsKnown();
    }
    if (gone && !m_nextSlice.isActive()) {
        queueMissing();
    } else if (m_queued.isEmpty() && m_queuedDigests.isEmpty() && !m_nextSlice.isActive()) {
        queueDigests();
    }
}

void SimilarityIndex::finishIfDone()
{
    if (m_loading || m_findingDigests > 0 || m_nextSlice.isActive() || !m_queued.isEmpty() ||
        !m_queuedDigests.isEmpty() || m_complete) {
        return;
    }
    m_complete = true;
    m_delivery.stop();
    saveCache(false);
    Q_EMIT progressChanged();
}

void SimilarityIndex::saveCache(bool wait)
{
    if (!m_dirty || m_cacheFolder.isEmpty() || m_rootPath.isEmpty()) {
        return;
    }
    m_dirty = false;
    const QString file = SimilarityCache::fileFor(m_cacheFolder, m_rootPath);
    m_cachePool.start([file, lists = m_lists, entries = m_entries] {
        // Only the photos the collection holds now: the file does not grow with every edit.
        SimilarityEntries kept;
        kept.reserve(countOf(lists));
        for (const QList<Photo> &photos : lists) {
            for (const Photo &photo : photos) {
                const DimensionCacheKey key = keyOf(photo);
                if (const auto it = entries.constFind(key); it != entries.constEnd()) {
                    kept.insert(key, *it);
                }
            }
        }
        SimilarityCache::save(file, kept);
    });
    if (wait) {
        m_cachePool.waitForDone();
    }
}

const SimilarityFacts *SimilarityIndex::facts(const Photo &photo) const
{
    return factsIn(m_entries, photo);
}

const SimilarityFacts *SimilarityIndex::Snapshot::facts(const Photo &photo) const
{
    return factsIn(m_entries, photo);
}

QByteArray SimilarityIndex::digest(const Photo &photo) const
{
    return m_entries.value(keyOf(photo)).digest;
}

std::optional<SimilarityFacts> SimilarityIndex::computeFacts(const QString &path)
{
    if (ImageSource::isVideoName(path)) {
        return std::nullopt;
    }
    if (std::optional<SimilarityFacts> left = ThumbnailFacts::shared().take(path)) {
        return left;
    }
    const PhotoInfo info = PhotoInfoReader::read(path);
    const int side = sharpnessSide(std::max(info.pixelWidth, info.pixelHeight));
    QImage image = greyJpeg(path, side);
    if (image.isNull()) {
        image = ImageFile::readImage(path, side);
    }
    if (image.isNull()) {
        return std::nullopt;
    }
    return factsOf(image, info);
}

SimilarityFacts SimilarityIndex::factsOf(const QImage &picture, const PhotoInfo &info)
{
    SimilarityFacts facts;
    facts.hash = ImageFingerprint::differenceHash(picture);
    facts.sharpness = ImageFingerprint::sharpness(picture, info.focusPoint);
    if (!info.make.isEmpty() || !info.model.isEmpty() || !info.bodySerialNumber.isEmpty()) {
        facts.camera = QStringList{info.make, info.model, info.bodySerialNumber}.join(u'\x1f');
    }
    return facts;
}

int SimilarityIndex::sharpnessSide(qint64 longSide)
{
    if (longSide <= 0) {
        return sharpnessPixels; // the header said nothing: the decoder shrinks as it can
    }
    qint64 side = longSide;
    while ((side + 1) / 2 >= sharpnessPixels * 3 / 4) {
        side = (side + 1) / 2;
    }
    return int(std::min<qint64>(side, ThumbnailService::maximumNeededPixels));
}

QByteArray SimilarityIndex::contentDigest(const QString &path)
{
    const std::optional<ImageSource> file = ImageSource::open(path);
    if (!file) {
        return {};
    }
    constexpr qint64 chunk = 1 << 20;
    QCryptographicHash hash(QCryptographicHash::Sha256);
    for (qint64 offset = 0; offset < file->size();) {
        const QByteArray bytes = file->readAt(offset, chunk);
        if (bytes.isEmpty()) {
            return {}; // cut short: no digest rather than a wrong one
        }
        hash.addData(bytes);
        offset += bytes.size();
    }
    return hash.result();
}
