#pragma once

// Learns, in the background, what the burst and duplicate finders need of every photo of the
// open collection: its similarity facts (difference hash, sharpness, camera) and, for photos
// whose byte count another shares, a digest of the content. Facts already in the cache file
// arrive at once; the rest are computed on threads of their own at idle CPU and disk priority,
// none while a view still waits for its first screen of thumbnails (held), then the photos on
// screen first. Results come back on the owner's thread in batches. Lives on the window's
// thread.

#include "Services/BackgroundHold.h"
#include "Services/TurnBudget.h"
#include "Services/WindowSideLock.h"
#include "SimilarityCache.h"

#include "Models/Photo.h"
#include "Models/PhotoInfo.h"

#include <QObject>
#include <QSet>
#include <QThreadPool>
#include <QTimer>

#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

class SimilarityIndex : public QObject
{
    Q_OBJECT

public:
    using Compute = std::function<std::optional<SimilarityFacts>(const QString &path)>;
    using DigestOf = std::function<QByteArray(const QString &path)>;

    // Results come back this often, but those of the photos on screen as soon as the last of
    // them is known: the screen's "similar" marks wait for nothing else.
    static constexpr int deliveryIntervalMs = 200;
    static constexpr int afterSnapshotMs = 20;
    // A hold lets go by itself after this long: a view whose thumbnails never come (a stalled
    // mount) must not keep the pass back for good.
    static constexpr int holdLimitMs = 2000;
    // About the long side of the picture the sharpness is measured on.
    static constexpr int sharpnessPixels = 1024;
    // The long side actually decoded for a picture whose long side is `longSide`: halved while
    // it stays at least three quarters of sharpnessPixels, so that a JPEG's decoder reaches it
    // by itself, shrinking by halves while it decodes, with nothing left to resample.
    static int sharpnessSide(qint64 longSide);

    explicit SimilarityIndex(Compute compute = computeFacts,
                             DigestOf digestOf = contentDigest,
                             int threadCount = defaultThreadCount(),
                             QObject *parent = nullptr);
    // Writes what is new to the cache and waits for the computations in progress.
    ~SimilarityIndex() override;

    // Where the cache files go; empty keeps nothing between sessions (the default).
    void setCacheFolder(const QString &folder) { m_cacheFolder = folder; }
    // The open collection, at `rootPath`, now holds `photos`: what is not known of them is
    // computed. Another root starts afresh from its own cache file. Without `newFiles` the
    // photos are only where they now are (filed, renamed, taken away): none is looked for.
    // The lists are taken as they are, shared: a board's sections need not be put end to end
    // (19 ms at 100,000 photos).
    using PhotoLists = QList<QList<Photo>>;
    void setPhotos(const QString &rootPath, const PhotoLists &lists, bool newFiles = true);
    void setPhotos(const QString &rootPath, const QList<Photo> &photos, bool newFiles = true)
    {
        setPhotos(rootPath, PhotoLists{photos}, newFiles);
    }
    // Forgets the collection (written to the cache first).
    void clear();
    // These are on screen: computed first once the pass is not held.
    void prioritize(const QList<Photo> &photos);
    void hold(const void *holder) { m_hold.hold(holder); }
    void release(const void *holder) { m_hold.release(holder); }
    // Tests stretch it, to see what does not wait for it.
    void setDeliveryInterval(int ms) { m_delivery.setInterval(ms); }
    // The time a turn of the window's event loop may spend queueing a collection; tests
    // shorten it to a few photos per turn.
    void setQueueTurnBudget(std::chrono::nanoseconds budget) { m_queueTurnBudget = budget; }
    // The workers' lock, for tests that play a worker preempted while it holds it: nothing
    // above waits for it.
    QMutex &workersLock();

    // What is known of `photo`'s file as it is now; null while nothing is (or never will be:
    // a video, an unreadable file).
    const SimilarityFacts *facts(const Photo &photo) const;
    // The facts known now, to read on another thread: a copy that costs nothing. What the pass
    // learns while one is out waits until it is let go, a grouping's few tens of milliseconds:
    // adding to a table a snapshot shares would copy all of it on the window's thread (13 ms at
    // 30,000 photos).
    class Snapshot
    {
    public:
        const SimilarityFacts *facts(const Photo &photo) const;

    private:
        friend class SimilarityIndex;
        explicit Snapshot(SimilarityEntries entries)
            : m_entries(std::move(entries))
        {
        }
        SimilarityEntries m_entries;
    };
    Snapshot snapshot() const { return Snapshot(m_entries); }
    // Its content digest; empty unless another photo has its byte count.
    QByteArray digest(const Photo &photo) const;
    // Every photo of the collection has its facts, and every needed digest is read.
    bool isComplete() const { return m_complete; }
    qsizetype doneCount() const { return m_doneCount; }
    qsizetype totalCount() const { return countOf(m_lists); }

    static int defaultThreadCount();
    static QString defaultCacheFolder();
    // The real computations: the file's picture at sharpnessPixels and its camera, read the safe
    // way; and a SHA-256 of its bytes.
    // What a thumbnail's decode left (ThumbnailFacts) is taken instead where there is any.
    static std::optional<SimilarityFacts> computeFacts(const QString &path);
    // The facts of `picture`, the photo at its sharpnessSide, whose camera recorded `info`.
    static SimilarityFacts factsOf(const QImage &picture, const PhotoInfo &info);
    static QByteArray contentDigest(const QString &path);

Q_SIGNALS:
    // New facts or digests arrived.
    void factsChanged();
    // The facts of every photo last prioritized are known now (told with factsChanged, after
    // it): what the screen shows can be marked without waiting.
    void screenFactsKnown();
    void progressChanged();

private:
    struct Shared;
    struct Job;
    // What was asked while the workers held their lock, done with the next hold of it in the
    // order asked.
    struct Waiting
    {
        bool clear = false;
        std::vector<std::deque<Job>> jobs;  // batches, each taken whole
        std::optional<QList<Photo>> urgent; // the latest on screen
        std::optional<bool> held;
    };

    void applyWaiting(); // with the lock, taken by the window's thread (see WindowSideLock)
    void queueJobs(std::deque<Job> &jobs);
    // Queues what is not known of the photos, a slice per turn of the event loop: at 100,000
    // photos one pass would hold the window up for a quarter of a second.
    void queueMissing();
    void queueMissingSlice();
    void queueDigests();
    // The photos whose duplicates need their content digest, where it is not known.
    static QList<Photo> needingDigest(const PhotoLists &lists, const SimilarityEntries &entries);
    void queueDigestsOf(const QList<Photo> &photos);
    static qsizetype countOf(const PhotoLists &lists);
    void startWorkers();
    void deliver();
    void finishIfDone();
    void saveCache(bool wait);
    void setHeld(bool held);

    std::shared_ptr<Shared> m_shared;
    Waiting m_waiting;
    WindowSideLock m_lock;
    QThreadPool m_pool;
    QThreadPool m_cachePool; // loads and saves the cache file
    QString m_cacheFolder;
    QString m_rootPath;
    PhotoLists m_lists;
    SimilarityEntries m_entries;
    QSet<DimensionCacheKey> m_queued; // facts handed to the workers, no answer yet
    QSet<DimensionCacheKey> m_queuedDigests;
    QSet<DimensionCacheKey> m_digestsTried; // once each: an unreadable file is not read again
    qsizetype m_doneCount = 0;
    bool m_loading = false;
    bool m_complete = false;
    bool m_dirty = false; // entries the cache file does not have yet
    bool m_screenDone = false; // the workers finished the screen's photos; not yet told
    // No facts arrived since the last look for photos needing a digest: a change of the board
    // (every filing key) need not look again.
    bool m_digestsChecked = false;
    int m_findingDigests = 0; // looks for photos needing a digest, on the cache's thread
    quint64 m_generation = 0;
    QTimer m_delivery;
    QTimer m_start;
    QTimer m_nextSlice;
    QTimer m_afterSnapshot;    // delivers again once the snapshot out is likely let go
    // The first photo queueMissing has not looked at: its list, and its place in it.
    qsizetype m_sliceList = 0;
    qsizetype m_sliceFrom = 0;
    std::chrono::nanoseconds m_queueTurnBudget = TurnBudget::defaultBudget;
    BackgroundHold m_hold;
};
