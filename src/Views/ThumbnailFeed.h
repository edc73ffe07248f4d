#pragma once

// The thumbnails of one view's cells. The view says which cells are on screen and which lie
// just around the viewport; the feed asks the thumbnail service for those it lacks (visible
// first), cancels requests for cells that went away and keeps only the wanted images, so
// memory follows the viewport, not the collection.

#include "Models/Photo.h"
#include "Services/ThumbnailService.h"

#include <QHash>
#include <QImage>
#include <QObject>
#include <QSizeF>
#include <QStringList>

#include <memory>

class ThumbnailFeed : public QObject
{
    Q_OBJECT

public:
    explicit ThumbnailFeed(ThumbnailService &service, QObject *parent = nullptr);
    ~ThumbnailFeed() override;

    // The size a photo must be rendered at to fill a cell of `cellSize` without being
    // enlarged: a portrait photo in a landscape cell is as wide as the cell and taller than
    // it. While the photo's dimensions are unknown, enough for either shape of a 3:2 photo.
    static QSizeF fillingSize(const Photo &photo, QSizeF cellSize);

    // A photo shown in a cell of `pointSize`.
    struct Want
    {
        Photo photo;
        QSizeF pointSize;
    };

    // Pixels per point of the display the cells are on.
    void setScale(qreal scale) { m_scale = scale; }
    // The photos now visible and those just around the viewport; everything else is dropped.
    void setWanted(const QList<Want> &visible, const QList<Want> &nearby);
    // The disk and the collection agree again. A photo is shown under the name a move will
    // give it before the move is done, so a decode may have found no file there: every image
    // that failed since the last call is asked for once more.
    void retryFailed();
    // The loaded thumbnail of a photo; null while there is none (the cell shows a placeholder).
    QImage image(const QString &photoID) const;
    // How many requests are out; for tests.
    qsizetype pendingCount() const;

    ThumbnailService &service() const { return m_service; }

Q_SIGNALS:
    void imageReady(const QString &photoID);
    // Whether a cell on screen has neither a picture (its thumbnail or the file's own
    // stand-in) nor the answer that there is none; sent when that changes.
    void screenWaitingChanged(bool waiting);

private:
    struct Entry
    {
        QString key; // the photo's path and version, the cell's size: a change asks again
        QImage image;
        std::shared_ptr<ThumbnailRequest> request;
        // What is asked, kept to ask again.
        Photo photo;
        QSizeF size;
        int neededPixels = 0; // of `size` at the scale when asked
        ThumbnailService::Priority priority = ThumbnailService::Priority::Visible;
        quint64 round = 0;   // m_round when asked
        bool failed = false; // answered without an image
    };

    QString entryKey(const Photo &photo, QSizeF size) const;
    // Moves or makes the entry of `want` into `next`; returns the photo's content key.
    QString
    want(const Want &want, ThumbnailService::Priority priority, QHash<QString, Entry> &next);
    void ask(const QString &photoID, Entry &entry);
    void answered(const QString &photoID, const QString &key, const QImage &image);
    void cancelAll(QHash<QString, Entry> &entries);
    void updateScreenWaiting();

    ThumbnailService &m_service;
    qreal m_scale = 1;
    QHash<QString, Entry> m_entries; // by photo id
    QStringList m_foundInCache; // during setWanted
    quint64 m_round = 0;             // counts retryFailed() calls
    bool m_screenWaiting = false;
};
