#include "DimensionFill.h"

#include <QHash>
#include <QMutex>
#include <QThread>

#include <deque>

#include <sys/syscall.h>
#include <unistd.h>

namespace {

struct Job
{
    QString photoID;
    QString path;
    FileTime modificationDate;
    qint64 byteCount = 0;
};

// The calling thread's disk reads go after everyone else's (the idle I/O class), as its CPU
// time does after everyone else's.
void yieldToOtherWork()
{
    QThread::currentThread()->setPriority(QThread::IdlePriority);
#ifdef SYS_ioprio_set
    constexpr int whoThread = 1;  // IOPRIO_WHO_PROCESS: with a thread id, that thread
    constexpr int classIdle = 3;  // IOPRIO_CLASS_IDLE
    constexpr int classShift = 13;
    ::syscall(SYS_ioprio_set, whoThread, 0, classIdle << classShift);
#endif
}

} // namespace

struct DimensionFill::Shared
{
    ImageDimensionsReader::HeaderReader readHeader;
    mutable QMutex mutex;
    quint64 generation = 0;
    std::deque<QString> order;   // photo ids, as queued
    std::deque<QString> urgent;  // photo ids on screen
    QHash<QString, Job> queued;  // not yet taken by a reader
    int reading = 0;             // reads in progress
    int readers = 0;             // reader loops running
    QList<DimensionsRead> results;
    qint64 headersRead = 0;

    // Next job, urgent ones first; false when nothing is left. Called with the mutex held.
    bool take(Job &job)
    {
        for (std::deque<QString> *queue : {&urgent, &order}) {
            while (!queue->empty()) {
                const QString id = std::move(queue->front());
                queue->pop_front();
                if (const auto found = queued.find(id); found != queued.end()) {
                    job = std::move(*found);
                    queued.erase(found);
                    return true;
                }
            }
        }
        return false;
    }

    void readAll()
    {
        yieldToOtherWork();
        QMutexLocker locker(&mutex);
        Job job;
        while (take(job)) {
            const quint64 started = generation;
            ++reading;
            locker.unlock();
            const ImageDimensions dimensions = readHeader(job.path);
            locker.relock();
            --reading;
            ++headersRead;
            if (started == generation) {
                results.append({job.photoID, job.modificationDate, job.byteCount, dimensions});
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

DimensionFill::DimensionFill(ImageDimensionsReader::HeaderReader readHeader, int threadCount,
                             QObject *parent)
    : QObject(parent)
    , m_shared(std::make_shared<Shared>())
{
    m_shared->readHeader = std::move(readHeader);
    m_pool.setMaxThreadCount(std::max(1, threadCount));
    m_delivery.setInterval(pollingIntervalMs);
    m_sinceDelivery.start();
    connect(&m_delivery, &QTimer::timeout, this, &DimensionFill::deliver);
}

DimensionFill::~DimensionFill()
{
    clear();
    m_pool.waitForDone();
}

void DimensionFill::clear()
{
    const QMutexLocker locker(&m_shared->mutex);
    ++m_shared->generation;
    m_shared->order.clear();
    m_shared->urgent.clear();
    m_shared->queued.clear();
    m_shared->results.clear();
}

void DimensionFill::enqueue(const QList<Photo> &photos)
{
    {
        const QMutexLocker locker(&m_shared->mutex);
        for (const Photo &photo : photos) {
            if (photo.hasDimensions()) {
                continue;
            }
            if (!m_shared->queued.contains(photo.id)) {
                m_shared->order.push_back(photo.id);
            }
            m_shared->queued.insert(photo.id, {photo.id, standardizedPath(photo.url),
                                               photo.modificationDate, photo.byteCount});
        }
    }
    startReaders();
}

void DimensionFill::prioritize(const QStringList &photoIDs)
{
    const QMutexLocker locker(&m_shared->mutex);
    for (const QString &id : photoIDs) {
        if (m_shared->queued.contains(id)) {
            m_shared->urgent.push_back(id);
        }
    }
}

qsizetype DimensionFill::pendingCount() const
{
    const QMutexLocker locker(&m_shared->mutex);
    return m_shared->queued.size() + m_shared->reading + m_shared->results.size();
}

qint64 DimensionFill::headersRead() const
{
    const QMutexLocker locker(&m_shared->mutex);
    return m_shared->headersRead;
}

void DimensionFill::startReaders()
{
    {
        const QMutexLocker locker(&m_shared->mutex);
        const int wanted =
            int(std::min<qsizetype>(m_pool.maxThreadCount(), m_shared->queued.size()));
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
    bool finished = false;
    {
        const QMutexLocker locker(&m_shared->mutex);
        finished = m_shared->readers == 0 && m_shared->queued.isEmpty();
        if (!finished && m_sinceDelivery.elapsed() < deliveryIntervalMs) {
            return;
        }
        batch.swap(m_shared->results);
    }
    m_sinceDelivery.restart();
    if (finished) {
        m_delivery.stop();
    }
    if (!batch.isEmpty()) {
        Q_EMIT dimensionsRead(batch);
    }
}
