#include "ThumbnailFeed.h"

#include <QSet>

#include <algorithm>
#include <utility>

ThumbnailFeed::ThumbnailFeed(ThumbnailService &service, QObject *parent)
    : QObject(parent)
    , m_service(service)
{
}

ThumbnailFeed::~ThumbnailFeed()
{
    cancelAll(m_entries);
}

QSizeF ThumbnailFeed::fillingSize(const Photo &photo, QSizeF cellSize)
{
    if (cellSize.isEmpty()) {
        return cellSize;
    }
    if (!photo.hasDimensions()) {
        // The shape is unknown until the header is read, after the first screen of a folder
        // opened afresh: enough to fill the cell as a 3:2 photo either way up, so that a
        // portrait photo is not decoded a second time once its shape is known. The decode
        // costs the same (the JPEG's eighth is larger still), the picture kept a little more.
        const double side = std::max(cellSize.width(), cellSize.height()) * 1.5;
        return {side, side};
    }
    const QSizeF pixels(double(photo.pixelWidth), double(photo.pixelHeight));
    const double scale =
        std::max(cellSize.width() / pixels.width(), cellSize.height() / pixels.height());
    return pixels * scale;
}

QString ThumbnailFeed::entryKey(const Photo &photo, QSizeF size) const
{
    // The path is part of it, unlike in the service's content key: the decode reads the file
    // where it is now, so a photo that moved asks again (from the cache, when it is there).
    return photo.cacheKey() + QLatin1Char('|') + QString::number(int(size.width())) +
           QLatin1Char('|') + QString::number(int(size.height())) + QLatin1Char('@') +
           QString::number(m_scale);
}

void ThumbnailFeed::setWanted(const QList<Want> &visible, const QList<Want> &nearby)
{
    QHash<QString, Entry> next;
    next.reserve(visible.size() + nearby.size());
    QSet<QString> visibleKeys;
    QSet<QString> nearbyKeys;
    for (const Want &wanted : visible) {
        visibleKeys.insert(want(wanted, ThumbnailService::Priority::Visible, next));
    }
    for (const Want &wanted : nearby) {
        nearbyKeys.insert(want(wanted, ThumbnailService::Priority::Nearby, next));
    }
    cancelAll(m_entries); // what is left is no longer wanted
    m_entries = std::move(next);
    // Found in the cache, so no answer will come: the view painted these cells before it
    // asked (its placeholders, or the photo where it was) and must hear of them now.
    for (const QString &photoID : std::exchange(m_foundInCache, {})) {
        Q_EMIT imageReady(photoID);
    }
    // The service is shared: a view that wants nothing (a hidden one) withdraws only its own
    // requests, and leaves the priorities to the view on screen.
    if (!m_entries.isEmpty()) {
        m_service.setInterest(visibleKeys, nearbyKeys);
    }
    updateScreenWaiting();
}

QString ThumbnailFeed::want(const Want &wanted,
                            ThumbnailService::Priority priority,
                            QHash<QString, Entry> &next)
{
    const Photo &photo = wanted.photo;
    const QString contentKey = ThumbnailService::contentKey(photo);
    // Rendered large enough to fill the cell: a thumbnail bounded by the cell's longest side
    // would be enlarged, and blurred, to cover a cell of another shape. The filling size
    // changes when the photo's dimensions become known; then the key changes and it asks again.
    const QSizeF size = fillingSize(photo, wanted.pointSize);
    const QString key = entryKey(photo, size);
    const int neededPixels = ThumbnailService::requestSize(size, m_scale).neededPixels;
    if (auto it = m_entries.find(photo.id); it != m_entries.end()) {
        // A request the service dropped (another view's interest moved on) is asked again.
        const bool dropped = it->request && it->request->isCancelled();
        // A decode under way at least this large serves the new size too: a photo's shape
        // becomes known while the first screen is decoded, and asking again would throw the
        // nearly finished decode away. (The file is compared last: that builds its keys.)
        const auto coveredInFlight = [&] {
            return it->request && !dropped && !it->request->isFinished() &&
                   it->neededPixels >= neededPixels && it->photo.cacheKey() == photo.cacheKey();
        };
        if ((it->key == key && !dropped) || coveredInFlight()) {
            it->priority = priority;
            next.insert(photo.id, std::move(*it));
            m_entries.erase(it);
            return contentKey;
        }
    }
    Entry entry;
    entry.key = key;
    entry.neededPixels = neededPixels;
    entry.image = m_service.cachedImage(contentKey, neededPixels);
    entry.photo = photo;
    entry.size = size;
    entry.priority = priority;
    if (entry.image.isNull()) {
        ask(photo.id, entry);
    } else {
        m_foundInCache.append(photo.id);
    }
    next.insert(photo.id, std::move(entry));
    return contentKey;
}

void ThumbnailFeed::ask(const QString &photoID, Entry &entry)
{
    entry.failed = false;
    entry.round = m_round;
    entry.request = m_service.request(
        entry.photo, entry.size, m_scale, entry.priority, this,
        [this, photoID, key = entry.key](const QImage &image) { answered(photoID, key, image); },
        [this, photoID, key = entry.key](const QImage &preview) {
            // The file's own small picture stands in while the real thumbnail is decoded, so
            // fast scrolling through a camera folder never shows empty cells.
            const auto it = m_entries.find(photoID);
            if (it != m_entries.end() && it->key == key && it->image.isNull()) {
                it->image = preview;
                Q_EMIT imageReady(photoID);
                updateScreenWaiting();
            }
        });
}

void ThumbnailFeed::answered(const QString &photoID, const QString &key, const QImage &image)
{
    const auto it = m_entries.find(photoID);
    if (it == m_entries.end() || it->key != key) {
        return;
    }
    it->request.reset();
    if (image.isNull()) {
        // Asked before the disk caught up, answered after retryFailed(): this failure may be
        // the lag, not the file.
        if (it->round != m_round) {
            ask(photoID, *it);
        } else {
            it->failed = true;
            updateScreenWaiting();
        }
        return;
    }
    it->image = image;
    Q_EMIT imageReady(photoID);
    updateScreenWaiting();
}

void ThumbnailFeed::retryFailed()
{
    ++m_round;
    for (auto it = m_entries.begin(); it != m_entries.end(); ++it) {
        if (it->failed) {
            ask(it.key(), *it);
        }
    }
    updateScreenWaiting();
}

void ThumbnailFeed::updateScreenWaiting()
{
    // A few screens of entries at most: cheaper to look again than to keep a count right
    // through every path that answers, re-asks or drops one.
    const bool waiting =
        std::any_of(m_entries.cbegin(), m_entries.cend(), [](const Entry &entry) {
            return entry.priority == ThumbnailService::Priority::Visible && entry.image.isNull()
                   && !entry.failed;
        });
    if (waiting != m_screenWaiting) {
        m_screenWaiting = waiting;
        Q_EMIT screenWaitingChanged(waiting);
    }
}

void ThumbnailFeed::cancelAll(QHash<QString, Entry> &entries)
{
    for (const Entry &entry : std::as_const(entries)) {
        m_service.cancel(entry.request);
    }
    entries.clear();
}

QImage ThumbnailFeed::image(const QString &photoID) const
{
    const auto it = m_entries.constFind(photoID);
    return it == m_entries.constEnd() ? QImage() : it->image;
}

qsizetype ThumbnailFeed::pendingCount() const
{
    qsizetype count = 0;
    for (const Entry &entry : m_entries) {
        count += entry.request && !entry.request->isFinished() && !entry.request->isCancelled();
    }
    return count;
}
