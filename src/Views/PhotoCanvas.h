#pragma once

// What every custom-painted photo view shares (the sorting board, the Browse tiles and the
// masonry): a vertical scroll area whose subclass says where cells are; this class paints only
// the cells that intersect the viewport, gives only those (and the ones just around it)
// thumbnails, and turns pointer input into store calls: a click selects, a drag carries the
// photo (or, from the selection badge, every selected file), the context menu acts on the
// photo, and a new scroll request brings its photo to the centre.

#include "Models/Photo.h"
#include "MultiFileDrag.h"
#include "PhotoCellPainter.h"

#include <QAbstractScrollArea>
#include <QHash>
#include <QTimer>

#include <optional>

class CollectionStore;
class ThumbnailFeed;
class ThumbnailService;

class PhotoCanvas : public QAbstractScrollArea
{
    Q_OBJECT

public:
    ~PhotoCanvas() override;

    // Where a photo's image area is, in viewport coordinates; empty when it is not shown.
    QRectF cellRect(const QString &photoID) const;
    const ThumbnailFeed &thumbnailFeed() const { return *m_feed; }
    // What is on screen as assistive technologies read it (viewport coordinates): the photo
    // cells, and whatever headings a view adds.
    struct AccessibleCell
    {
        QString key;  // the photo id, or a view's own key for a heading
        QString name; // the file name, or the heading's text
        QRectF rect;
        bool isPhoto = true;
        bool selected = false;
    };
    virtual QList<AccessibleCell> accessibleCells() const;
    // True while cells glide from where they were to where a change put them.
    bool isAnimating() const;

protected:
    // One cell as laid out, in content coordinates (y grows down from the top of the content).
    struct Cell
    {
        Photo photo;
        QString sectionID;
        QRectF imageRect;
    };

    PhotoCanvas(CollectionStore &store, ThumbnailService &thumbnails, QWidget *parent);

    // ----- What a subclass provides
    virtual double contentHeight() const = 0;
    // The cells that intersect the strip from `top` to `bottom`, in content coordinates.
    virtual QList<Cell> cellsIn(double top, double bottom) const = 0;
    virtual std::optional<Cell> cellAt(QPointF point) const = 0;
    virtual std::optional<Cell> cellOf(const QString &photoID) const = 0;
    // A single click on a cell.
    virtual void cellClicked(const Cell &cell, Qt::KeyboardModifiers modifiers) = 0;
    // A double click anywhere; nothing by default.
    virtual void doubleClicked(QPointF point, const std::optional<Cell> &cell);
    // The menu for a point outside every cell; none by default.
    virtual class QMenu *backgroundMenu(QPointF point);
    // Draws what lies behind the cells in the dirty strip (content coordinates).
    virtual void paintBackground(QPainter &painter, const QRectF &dirty) const;
    virtual void paintCell(QPainter &painter,
                           const Cell &cell,
                           const QImage &thumbnail,
                           const PhotoCellState &state) const;
    // The groups whose frames are marked and joined by a band (the board's bursts, Browse's
    // duplicates); none by default.
    virtual const Bursts *markedGroups() const { return nullptr; }
    // Call when the groups markedGroups() returns have changed: repaints the cells on screen
    // that now look different.
    void markedGroupsChanged();
    // The pixel area the thumbnail must fill for a cell: the image area by default.
    virtual QSizeF thumbnailSize(const Cell &cell) const { return cell.imageRect.size(); }

    // ----- For subclasses
    // Where the cells on screen are now, by photo id; taken before a change moves them.
    QHash<QString, QRectF> visibleCellRects() const;
    // Cells that were on screen glide from those places to their new ones over `ms`.
    void animateFrom(const QHash<QString, QRectF> &start, int ms);
    // Call after anything that moves cells: scroll range, repaint, thumbnails.
    void layoutChanged();
    void scheduleThumbnails();
    double scrollTop() const;
    QPointF toContent(QPointF viewportPoint) const;
    QRectF toViewport(const QRectF &contentRect) const;
    CollectionStore &store() const { return m_store; }

    void paintEvent(QPaintEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void showEvent(QShowEvent *event) override;
    void hideEvent(QHideEvent *event) override;
    void scrollContentsBy(int dx, int dy) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void mouseDoubleClickEvent(QMouseEvent *event) override;
    void contextMenuEvent(QContextMenuEvent *event) override;
    bool viewportEvent(QEvent *event) override;
    // A resize or a showing; subclasses recompute their geometry here and end with
    // layoutChanged().
    virtual void widthChanged() { layoutChanged(); }

private:
    struct Press
    {
        QPoint position;
        std::optional<Cell> cell;
        bool onHandle = false; // the multi-file drag handle over the selection badge
    };

    void updateThumbnails();
    void applyScrollRequest();
    void setHovered(const std::optional<QString> &photoID);
    void updatePhoto(const QString &photoID);
    void startCellDrag(const Cell &cell);
    PhotoCellState stateOf(const QString &photoID) const;
    void updateCellArea(const QRectF &imageRect);
    static QList<PhotoCellPainter::BurstLook> burstLooks(const QList<Cell> &cells,
                                                         const Bursts &groups);

    CollectionStore &m_store;
    ThumbnailFeed *m_feed = nullptr;
    std::optional<QString> m_hovered;
    std::optional<Press> m_press;
    MultiFileDrag::Handle m_handle;
    QTimer m_thumbnailTimer;
    bool m_scrollPending = false;
    QHash<QString, QRectF> m_animationStart;
    Bursts m_paintedGroups; // the marked groups as last painted
    class QVariantAnimation *m_animation = nullptr;
};
