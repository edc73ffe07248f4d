#pragma once

// The sorting board: one block per section (Unsorted first, then each category) with its
// header and a grid of photo cells, or a drop zone when the section is empty. One custom-
// painted scroll area: only cells that intersect the viewport are painted and given
// thumbnails, so 10,000 photos cost no more than a screenful. Clicks, drags, drops and menus
// each become one call on the store.

#include "Layout/BoardLayout.h"
#include "Models/PhotoSection.h"
#include "MultiFileDrag.h"

#include <QAbstractScrollArea>
#include <QPointer>
#include <QTimer>

#include <optional>

class CollectionStore;
class ThumbnailFeed;
class ThumbnailService;

class GalleryView : public QAbstractScrollArea
{
    Q_OBJECT

public:
    static constexpr double horizontalPadding = 24;
    static constexpr double gridSpacing = 14;
    static constexpr double thumbnailAspect = 0.72;

    explicit GalleryView(CollectionStore &store, ThumbnailService &thumbnails,
                         QWidget *parent = nullptr);
    ~GalleryView() override;

    // The board's geometry for the store's sizes at `width`.
    static BoardMetrics metrics(double thumbnailSize);

    // Geometry in viewport coordinates, for tests and drag sources; empty when not shown.
    QRectF cellRect(const QString &photoID) const;
    QRectF blockRect(const QString &sectionID) const;
    QRectF headerRect(const QString &sectionID) const;
    QRectF emptyZoneRect(const QString &sectionID) const;
    const BoardLayout &boardLayout() const { return m_layout; }
    const ThumbnailFeed &thumbnailFeed() const { return *m_feed; }

protected:
    void paintEvent(QPaintEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void showEvent(QShowEvent *event) override;
    void hideEvent(QHideEvent *event) override;
    void scrollContentsBy(int dx, int dy) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void mouseDoubleClickEvent(QMouseEvent *event) override;
    void leaveEvent(QEvent *event) override;
    void contextMenuEvent(QContextMenuEvent *event) override;
    void dragEnterEvent(QDragEnterEvent *event) override;
    void dragMoveEvent(QDragMoveEvent *event) override;
    void dragLeaveEvent(QDragLeaveEvent *event) override;
    void dropEvent(QDropEvent *event) override;
    bool viewportEvent(QEvent *event) override;

private:
    struct Press
    {
        QPoint position;
        std::optional<BoardLayout::Item> item;
        bool onHandle = false; // the multi-file drag handle over the selection badge
        bool dragged = false;
    };

    void collectionDidChange();
    void relayout();
    void scheduleThumbnails();
    void updateThumbnails();
    void applyScrollRequest();
    void setHovered(const std::optional<BoardLayout::Item> &item);
    void updateItem(const BoardLayout::Item &item);
    void startCellDrag(const BoardLayout::Item &item);
    void dragAt(QPoint position, QDropEvent *event);
    void setDragSection(std::optional<int> section);
    void autoScroll();
    void stopAutoScroll();
    void paintSection(QPainter &painter, int section) const;
    void paintHeader(QPainter &painter, int section) const;
    void paintEmptyZone(QPainter &painter, int section) const;

    double scrollTop() const;
    QPointF toContent(QPointF viewportPoint) const;
    QRectF toViewport(const QRectF &contentRect) const;
    std::optional<BoardLayout::Item> itemAt(QPoint viewportPoint) const;
    const Photo &photoAt(const BoardLayout::Item &item) const;
    std::optional<BoardLayout::Item> locate(const QString &photoID) const;
    int sectionIndex(const QString &sectionID) const;

    CollectionStore &m_store;
    ThumbnailFeed *m_feed = nullptr;
    QList<PhotoSection> m_sections;
    BoardLayout m_layout;
    double m_thumbnailSize = 0;
    std::optional<BoardLayout::Item> m_hovered;
    std::optional<Press> m_press;
    MultiFileDrag::Handle m_handle;
    std::optional<int> m_dragSection; // the block a drag from anywhere is over
    QTimer m_thumbnailTimer;
    QTimer m_autoScrollTimer; // scrolls while a drag rests near the top or bottom edge
    QPoint m_dragPosition;
    bool m_scrollPending = false;
};
