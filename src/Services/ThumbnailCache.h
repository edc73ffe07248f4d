#pragma once

// Thread-safe least-recently-used store of rendered thumbnails, bounded by entry count and by
// decoded bytes (width × height × 4 per entry), whichever limit is reached first. An entry
// serves every request that needs no more pixels than its rendered dimension.

#include <QHash>
#include <QImage>
#include <QMutex>
#include <QString>

#include <list>

class ThumbnailCache
{
public:
    static constexpr qsizetype defaultCountLimit = 700;
    static constexpr qint64 defaultCostLimit = qint64(512) * 1024 * 1024;

    explicit ThumbnailCache(qsizetype countLimit = defaultCountLimit,
                            qint64 costLimit = defaultCostLimit);

    // The image under `key` when it was rendered for at least `neededPixels`; a null image
    // otherwise. A hit counts as a use.
    QImage find(const QString &key, qreal neededPixels);
    // Stores `image` as able to serve requests up to `renderedDimension` pixels. An entry that
    // already serves more is kept: a late, smaller render must not replace a larger one.
    void insert(const QString &key, const QImage &image, qreal renderedDimension);
    bool contains(const QString &key) const;
    qsizetype count() const;
    qint64 totalCost() const;

    static qint64 costOf(const QImage &image);

private:
    struct Entry
    {
        QString key;
        QImage image;
        qreal renderedDimension = 0;
        qint64 cost = 1;
    };
    using Order = std::list<Entry>; // most recently used first

    void evictLocked();

    const qsizetype m_countLimit;
    const qint64 m_costLimit;
    mutable QMutex m_mutex;
    Order m_order;
    QHash<QString, Order::iterator> m_index;
    qint64 m_totalCost = 0;
};
