#pragma once

// The masonry layout of Browse mode as pure functions and one plain value: columns of equal
// width, every photo at its own proportions, each photo going to the column that is currently
// the shortest, so the columns grow evenly. Frames are relative to the top-left of the column
// block (outer margins excluded); the same frames serve painting, hit testing and the store's
// spatial arrow-key moves.

#include "Models/BrowsePhotoItem.h"

#include <QHash>
#include <QList>
#include <QPointF>
#include <QRectF>

#include <optional>

struct MasonryMetrics
{
    double cellWidth = 240;        // the column width, the store's browseCellSize
    double gutter = 14;            // between columns and between photos in a column
    double horizontalPadding = 24; // left and right of the block
    double verticalPadding = 24;   // above and below the block
};

// The result of one distribution run.
struct MasonryDistribution
{
    struct Position
    {
        int column = 0;
        qsizetype row = 0; // within the column
        friend bool operator==(const Position &, const Position &) = default;
    };

    QList<QList<BrowsePhotoItem>> columns; // one per column, items in the order placed
    QList<QList<QRectF>> columnFrames;     // parallel to `columns`, top to bottom
    QHash<QString, QRectF> frames;         // photo id → frame, as the store wants them
    double height = 0;                     // of the block: the tallest column, no trailing gutter

    int columnCount() const { return int(columns.size()); }
    const BrowsePhotoItem &item(Position p) const { return columns.at(p.column).at(p.row); }
    QRectF frame(Position p) const { return columnFrames.at(p.column).at(p.row); }

    // Every cell that intersects the strip top ≤ y < bottom, column by column, top to bottom.
    // A binary search per column, so a viewport over 10,000 photos costs only what it shows.
    QList<Position> itemsIn(double top, double bottom) const;
    // The cell under a point; none in the gutters.
    std::optional<Position> itemAt(QPointF point) const;

    friend bool operator==(const MasonryDistribution &, const MasonryDistribution &) = default;
};

namespace MasonryLayout {

// Columns that fit the full available width: the column rule with the padding as side margin,
// the gutter as spacing and the cell width as cell size; at least 1.
int columns(double width, const MasonryMetrics &metrics);

// Places `items` in list order into `columnCount` columns (below 1 counts as 1). Cell height is
// cellWidth ÷ the photo's aspect ratio, so unread dimensions give a square cell and a ratio
// below 0.05 counts as 0.05. Ties between column heights go to the leftmost column.
MasonryDistribution
distribute(const QList<BrowsePhotoItem> &items, int columnCount, const MasonryMetrics &metrics);

// Width of the block of `columnCount` columns, and where its top-left lies in a view of the
// given width: centred, never closer than the padding to the left edge.
double blockWidth(int columnCount, const MasonryMetrics &metrics);
QPointF blockOrigin(double width, int columnCount, const MasonryMetrics &metrics);
// Scrollable height: the block and the vertical padding above and below it.
double contentHeight(const MasonryDistribution &distribution, const MasonryMetrics &metrics);

} // namespace MasonryLayout
