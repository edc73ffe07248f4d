#include "ThumbnailCache.h"

ThumbnailCache::ThumbnailCache(qsizetype countLimit, qint64 costLimit)
    : m_countLimit(std::max<qsizetype>(countLimit, 1))
    , m_costLimit(std::max<qint64>(costLimit, 1))
{
}

qint64 ThumbnailCache::costOf(const QImage &image)
{
    return std::max<qint64>(qint64(image.width()) * image.height() * 4, 1);
}

QImage ThumbnailCache::find(const QString &key, qreal neededPixels)
{
    const QMutexLocker lock(&m_mutex);
    const auto found = m_index.constFind(key);
    if (found == m_index.cend() || (*found)->renderedDimension < neededPixels) {
        return {};
    }
    m_order.splice(m_order.begin(), m_order, *found);
    return (*found)->image;
}

void ThumbnailCache::insert(const QString &key, const QImage &image, qreal renderedDimension)
{
    if (image.isNull()) {
        return;
    }
    const qint64 cost = costOf(image);
    const QMutexLocker lock(&m_mutex);
    if (const auto found = m_index.constFind(key); found != m_index.cend()) {
        if ((*found)->renderedDimension > renderedDimension) {
            return;
        }
        m_totalCost -= (*found)->cost;
        m_order.erase(*found);
        m_index.erase(found);
    }
    // An image larger than the whole budget would only flush everything else and then leave.
    if (cost > m_costLimit) {
        return;
    }
    m_order.push_front({key, image, renderedDimension, cost});
    m_index.insert(key, m_order.begin());
    m_totalCost += cost;
    evictLocked();
}

void ThumbnailCache::evictLocked()
{
    while (m_order.size() > size_t(m_countLimit) || m_totalCost > m_costLimit) {
        const Entry &oldest = m_order.back();
        m_totalCost -= oldest.cost;
        m_index.remove(oldest.key);
        m_order.pop_back();
    }
}

bool ThumbnailCache::contains(const QString &key) const
{
    const QMutexLocker lock(&m_mutex);
    return m_index.contains(key);
}

qsizetype ThumbnailCache::count() const
{
    const QMutexLocker lock(&m_mutex);
    return m_index.size();
}

qint64 ThumbnailCache::totalCost() const
{
    const QMutexLocker lock(&m_mutex);
    return m_totalCost;
}
