#pragma once

// The Browse tiles as a pure value: equal cells in rows, the grid centred in the width with at
// least the side margin on each side, and the cell's caption under its image.

#include <QPointF>
#include <QRectF>

#include <optional>
#include <utility>

struct TileMetrics
{
    double cellSize = 240; // image width and height
    double sideMargin = 24;
    double columnSpacing = 14;
    double rowSpacing = 18;
    double verticalInset = 24; // above the first row and below the last
    double captionHeight = 21; // the gap and the file name under the image
};

class TileGrid
{
public:
    static TileGrid compute(qsizetype count, const TileMetrics &metrics, double width);

    int columnCount() const { return m_columns; }
    qsizetype count() const { return m_count; }
    double contentHeight() const;
    QRectF imageRect(qsizetype index) const;
    // The first and one past the last index of the cells that intersect the strip.
    std::pair<qsizetype, qsizetype> indexesIn(double top, double bottom) const;
    // The cell whose image or caption lies under a point; none in the gaps.
    std::optional<qsizetype> indexAt(QPointF point) const;

private:
    double rowPitch() const;
    double cellHeight() const { return m_metrics.cellSize + m_metrics.captionHeight; }

    TileMetrics m_metrics;
    qsizetype m_count = 0;
    int m_columns = 1;
    double m_left = 0;
};
