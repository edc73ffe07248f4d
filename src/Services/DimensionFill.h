#pragma once

// Reads photos' pixel dimensions and capture times in the background after a collection is
// already on screen: the board needs none, so the window shows the listing at once and masonry
// and the list's Dimensions and Date Taken columns fill in as the headers are read. Photos are read
// in the order they were queued, except that those the views report on screen go first. The reading
// threads run at idle CPU and disk priority, and while a view still waits for the thumbnails of its
// cells on screen only the photos on screen are read: the rest of the queue holds back, so it never
// competes with those decodes for the disk. Results come back on the owner's thread in
// batches, at most one per delivery interval.

#include "BackgroundHold.h"
#include "ImageDimensionsReader.h"
#include "Models/PhotoCollection.h"
#include "Models/TextEnums.h"
#include "WindowSideLock.h"

#include <QElapsedTimer>
#include <QMutex>
#include <QObject>
#include <QSet>
#include <QThreadPool>
#include <QTimer>

#include <memory>
#include <optional>

struct DimensionsRead
{
    QString photoID;
    FileTime modificationDate; // the file version that was read
    qint64 byteCount = 0;
    ImageDimensions dimensions; // 0 × 0 when the header could not be read; the capture time
};

class DimensionFill : public QObject
{
    Q_OBJECT

public:
    // Batches go out at most once per delivery interval while reads go on (120 ms unless set
    // otherwise); the last one as soon as the queue is empty (looked for at the polling
    // interval).
    static constexpr int defaultDeliveryIntervalMs = 120;
    static constexpr int pollingIntervalMs = 15;
    // A hold lets go by itself this long after the queue began to wait: a view whose
    // thumbnails never come (a file on a stalled mount) must not keep the reads back for good.
    static constexpr int defaultHoldLimitMs = 2000;

    explicit DimensionFill(ImageDimensionsReader::HeaderReader readHeader =
                               ImageDimensionsReader::imageDimensions,
                           int threadCount = defaultThreadCount(), QObject *parent = nullptr);
    // Drops what is queued and waits for the reads in progress.
    ~DimensionFill() override;

    // The per-file read; tests hold it back or count it. Waits for the readers' lock.
    void setHeaderReader(ImageDimensionsReader::HeaderReader readHeader);
    // The readers' lock, for tests that play a reader preempted while it holds it: nothing
    // above waits for it.
    QMutex &readersLock();
    // A longer interval suits an owner for whom every batch costs a pass over a large list
    // and whose screen does not need the dimensions yet.
    void setDeliveryInterval(int ms) { m_deliveryIntervalMs = ms; }
    // Forgets everything queued; results of reads already running are dropped.
    void clear();
    // Queues the photos without dimensions, after those already queued. Costs nothing on
    // the calling thread: the list is shared, and the readers walk it. They start on the next
    // turn of the event loop, by when the views showing a new collection have asked for their
    // first screen and held the queue.
    void enqueue(const QList<Photo> &photos);
    // Reads these photos (when they still lack dimensions) before all others, even while the
    // queue is held: they are on screen now, and a masonry cell needs its photo's shape.
    // Nothing is done once everything queued is read.
    void prioritize(const QList<Photo> &photos);
    // While any holder holds it, only prioritized photos are read; the rest of the queue waits
    // until the last holder releases it or the hold limit has passed. Holding again while held
    // does not extend the limit.
    void hold(const void *holder) { m_hold.hold(holder); }
    void release(const void *holder) { m_hold.release(holder); }
    void setHoldLimit(int ms) { m_hold.setLimit(ms); }
    // Photos queued or being read, or read and not yet delivered.
    qsizetype pendingCount() const;
    // Headers read since creation, for tests and benchmarks.
    qint64 headersRead() const;

    static int defaultThreadCount();

    enum class Applied {
        nothing,   // no photo changed
        inPlace,   // photos changed where they are
        reordered, // and, their capture times known now, some moved within their sections
    };
    // Writes `results` into the photos of `collection` they were read from (the same file
    // version). Under the date-taken order, a section whose capture times changed is sorted
    // again, so that the board shows it in that order and a photo filed into it finds its
    // place. A pass over every photo, and a copy of every list another owner shares: meant for
    // a thread other than the window's.
    static Applied applyTo(PhotoCollection &collection,
                           const QList<DimensionsRead> &results,
                           PhotoSortOrder order);

Q_SIGNALS:
    void dimensionsRead(const QList<DimensionsRead> &results);

private:
    struct Shared;
    // What was asked while the readers held their lock, done with the next hold of it in the
    // order asked.
    struct Waiting
    {
        bool clear = false;
        QList<QList<Photo>> batches;
        QList<Photo> urgent;
        std::optional<bool> held;
    };
    void applyWaiting(); // with the lock, taken by the window's thread (see WindowSideLock)
    void startReaders();
    void setHeld(bool held);
    void deliver();

    std::shared_ptr<Shared> m_shared;
    Waiting m_waiting;
    WindowSideLock m_lock;
    qsizetype m_pendingSeen = 0; // at the last hold of the lock
    QThreadPool m_pool;
    QTimer m_start; // the readers' deferred start after enqueue()
    QTimer m_delivery;
    BackgroundHold m_hold;
    QElapsedTimer m_sinceDelivery;
    int m_deliveryIntervalMs = defaultDeliveryIntervalMs;
};
