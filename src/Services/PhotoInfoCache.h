#pragma once

// The info of the photos recently looked at, read off the window's thread: the status line
// asks for the focused photo's on every move of the focus. Keyed by photo and file version
// (id, modification time, size), so a changed file is read again. At most one read runs; a
// request made meanwhile waits, and a newer one replaces it, so holding an arrow key reads
// the photo the focus stops on, not every photo it passed. Lives on the window's thread.

#include "ImageDimensionsReader.h"
#include "Models/PhotoInfo.h"

#include <QHash>
#include <QObject>
#include <QThreadPool>

#include <functional>
#include <optional>

class PhotoInfoCache : public QObject
{
    Q_OBJECT

public:
    static constexpr int capacity = 64;
    using Reader = std::function<PhotoInfo(const QString &path)>;

    // `read` is the per-file read (tests count or hold it back).
    explicit PhotoInfoCache(Reader read = {}, QObject *parent = nullptr);
    // Waits for the read in progress.
    ~PhotoInfoCache() override;

    // The info of `photo`'s file as it is now, when read already.
    std::optional<PhotoInfo> cached(const Photo &photo) const;
    // Reads `photo` in the background unless it is cached or being read; ready() follows.
    void request(const Photo &photo);

Q_SIGNALS:
    void ready(const QString &photoID);

private:
    void start(const Photo &photo);
    void finished(const DimensionCacheKey &key, const PhotoInfo &info);

    Reader m_read;
    QThreadPool m_pool;
    QHash<DimensionCacheKey, PhotoInfo> m_infos;
    QList<DimensionCacheKey> m_used; // least recently read first
    std::optional<DimensionCacheKey> m_reading;
    std::optional<Photo> m_waiting;
};
