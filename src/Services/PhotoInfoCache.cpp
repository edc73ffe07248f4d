#include "PhotoInfoCache.h"

#include "PhotoInfoReader.h"

#include <QtConcurrent/QtConcurrentRun>

namespace {

DimensionCacheKey keyOf(const Photo &photo)
{
    return {photo.id, photo.modificationDate, photo.byteCount};
}

} // namespace

PhotoInfoCache::PhotoInfoCache(Reader read, QObject *parent)
    : QObject(parent)
    , m_read(read ? std::move(read) : Reader(PhotoInfoReader::read))
{
    m_pool.setMaxThreadCount(1);
}

PhotoInfoCache::~PhotoInfoCache()
{
    m_pool.waitForDone();
}

std::optional<PhotoInfo> PhotoInfoCache::cached(const Photo &photo) const
{
    const auto found = m_infos.constFind(keyOf(photo));
    return found == m_infos.cend() ? std::nullopt : std::optional<PhotoInfo>(*found);
}

void PhotoInfoCache::request(const Photo &photo)
{
    const DimensionCacheKey key = keyOf(photo);
    if (m_infos.contains(key) || m_reading == key) {
        m_waiting.reset(); // the focus came back: what it passed meanwhile is not wanted
        return;
    }
    if (m_reading) {
        m_waiting = photo;
        return;
    }
    start(photo);
}

void PhotoInfoCache::start(const Photo &photo)
{
    const DimensionCacheKey key = keyOf(photo);
    m_reading = key;
    QtConcurrent::run(&m_pool, [read = m_read, path = standardizedPath(photo.url)] {
        return read(path);
    }).then(this, [this, key](const PhotoInfo &info) { finished(key, info); });
}

void PhotoInfoCache::finished(const DimensionCacheKey &key, const PhotoInfo &info)
{
    m_reading.reset();
    m_used.removeOne(key);
    m_used.append(key);
    m_infos.insert(key, info);
    while (m_used.size() > capacity) {
        m_infos.remove(m_used.takeFirst());
    }
    Q_EMIT ready(key.photoID);
    if (m_waiting) {
        const Photo next = *std::exchange(m_waiting, std::nullopt);
        request(next);
    }
}
