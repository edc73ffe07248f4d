#pragma once

// The Browse tiles and the masonry: every shown photo in one scrolling grid, square tiles with
// the file name under them, or columns of photos at their own proportions. Both report the
// order they show to the store, so arrow keys and range selection follow what the user sees.

#include "Layout/MasonryLayout.h"
#include "Layout/TileGrid.h"
#include "Models/BrowsePhotoItem.h"
#include "PhotoCanvas.h"

#include <QHash>

class BrowseGridView : public PhotoCanvas
{
    Q_OBJECT

public:
    enum class Style { tiles, masonry };

    static constexpr double horizontalPadding = 24;
    static constexpr double spacing = 14; // between columns, and between masonry cells
    static constexpr double tileRowSpacing = 18;
    static constexpr double verticalPadding = 24;

    BrowseGridView(Style style,
                   CollectionStore &store,
                   ThumbnailService &thumbnails,
                   QWidget *parent = nullptr);

    Style style() const { return m_style; }
    // The photos to show, in list order.
    void setItems(const QList<BrowsePhotoItem> &items);
    int columnCount() const;
    // Brings `photoID` to the middle of the view when it is shown, else the top into view.
    void showFromStart(const std::optional<QString> &photoID);
    // The masonry frames as last reported (content coordinates of the column block).
    const QHash<QString, QRectF> &reportedFrames() const { return m_distribution.frames; }

protected:
    double contentHeight() const override;
    QList<Cell> cellsIn(double top, double bottom) const override;
    std::optional<Cell> cellAt(QPointF point) const override;
    std::optional<Cell> cellOf(const QString &photoID) const override;
    void cellClicked(const Cell &cell, Qt::KeyboardModifiers modifiers) override;
    void doubleClicked(QPointF point, const std::optional<Cell> &cell) override;
    void paintCell(QPainter &painter,
                   const Cell &cell,
                   const QImage &thumbnail,
                   const PhotoCellState &state) const override;
    void widthChanged() override { relayout(); }
    const Bursts *markedGroups() const override;

private:
    void relayout();
    void report();
    Cell tile(qsizetype index) const;
    Cell brick(const MasonryDistribution::Position &position) const;
    TileMetrics tileMetrics() const;
    MasonryMetrics masonryMetrics() const;

    const Style m_style;
    QList<BrowsePhotoItem> m_items;
    QHash<QString, qsizetype> m_indexes; // list position by photo id
    TileGrid m_tiles;
    MasonryDistribution m_distribution;
    QPointF m_blockOrigin;
    QHash<QString, MasonryDistribution::Position> m_positions;
    // What was last reported, so an unchanged order is not sent again.
    QStringList m_reportedIDs;
    int m_reportedColumns = 0;
    double m_reportedCellSize = 0;
};
