#pragma once

// The sorting board: one block per section (Unsorted first, then each category) with its
// header and a grid of photo cells, or a drop zone when the section is empty. Geometry comes
// from BoardLayout; cells, thumbnails and pointer input from PhotoCanvas. Drops onto a block
// file or copy photos into that section.

#include "Layout/BoardLayout.h"
#include "Models/PhotoSection.h"
#include "PhotoCanvas.h"

#include <QTimer>

#include <optional>

class GalleryView : public PhotoCanvas
{
    Q_OBJECT

public:
    static constexpr double horizontalPadding = 24;
    static constexpr double gridSpacing = 14;
    static constexpr double thumbnailAspect = 0.72;

    GalleryView(CollectionStore &store, ThumbnailService &thumbnails, QWidget *parent = nullptr);

    // The board's geometry for a thumbnail size.
    static BoardMetrics metrics(double thumbnailSize);
    // The quiet note of a section holding files whose names cannot be read (and so are not
    // shown): they exist, and the user should know.
    static QString unreadableNamesNote(qsizetype count);

    // Geometry in viewport coordinates, for tests; empty when the section is not shown.
    QRectF blockRect(const QString &sectionID) const;
    QRectF headerRect(const QString &sectionID) const;
    QRectF emptyZoneRect(const QString &sectionID) const;
    const BoardLayout &boardLayout() const { return m_layout; }
    const QList<PhotoSection> &sections() const { return m_sections; }
    // The section headers on screen ("Cats, 12 photos") and the cells under them.
    QList<AccessibleCell> accessibleCells() const override;

protected:
    double contentHeight() const override { return m_layout.contentHeight(); }
    QList<Cell> cellsIn(double top, double bottom) const override;
    std::optional<Cell> cellAt(QPointF point) const override;
    std::optional<Cell> cellOf(const QString &photoID) const override;
    const Bursts *markedGroups() const override;
    void cellClicked(const Cell &cell, Qt::KeyboardModifiers modifiers) override;
    void doubleClicked(QPointF point, const std::optional<Cell> &cell) override;
    QMenu *backgroundMenu(QPointF point) override;
    void paintBackground(QPainter &painter, const QRectF &dirty) const override;
    void widthChanged() override { relayout(); }

    void dragEnterEvent(QDragEnterEvent *event) override;
    void dragMoveEvent(QDragMoveEvent *event) override;
    void dragLeaveEvent(QDragLeaveEvent *event) override;
    void dropEvent(QDropEvent *event) override;

private:
    void collectionDidChange();
    void relayout();
    Cell cell(const BoardLayout::Item &item) const;
    void dragAt(QPoint position, QDropEvent *event);
    void setDragSection(std::optional<int> section);
    void autoScroll();
    void paintSection(QPainter &painter, int section) const;
    void paintHeader(QPainter &painter, int section) const;
    void paintEmptyZone(QPainter &painter, int section) const;
    int sectionIndex(const QString &sectionID) const;

    QList<PhotoSection> m_sections;
    BoardLayout m_layout;
    std::optional<QString> m_dragSectionID; // the block a drag from anywhere is over
    QTimer m_autoScrollTimer; // scrolls while a drag rests near the top or bottom edge
    QPoint m_dragPosition;
};
