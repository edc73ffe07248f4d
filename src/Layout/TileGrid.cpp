#include "TileGrid.h"

#include "ColumnRule.h"

#include <algorithm>
#include <cmath>

TileGrid TileGrid::compute(qsizetype count, const TileMetrics &metrics, double width)
{
    TileGrid grid;
    grid.m_metrics = metrics;
    grid.m_count = std::max<qsizetype>(0, count);
    grid.m_columns =
        ColumnRule::columnCount(width, metrics.sideMargin, metrics.columnSpacing, metrics.cellSize);
    const double gridWidth =
        grid.m_columns * metrics.cellSize + (grid.m_columns - 1) * metrics.columnSpacing;
    grid.m_left = std::max(metrics.sideMargin, (width - gridWidth) / 2);
    return grid;
}

double TileGrid::rowPitch() const
{
    return cellHeight() + m_metrics.rowSpacing;
}

double TileGrid::contentHeight() const
{
    const qsizetype rows = (m_count + m_columns - 1) / m_columns;
    const double grid = rows == 0 ? 0 : double(rows) * rowPitch() - m_metrics.rowSpacing;
    return 2 * m_metrics.verticalInset + grid;
}

QRectF TileGrid::imageRect(qsizetype index) const
{
    const qsizetype row = index / m_columns;
    const qsizetype column = index % m_columns;
    return {m_left + double(column) * (m_metrics.cellSize + m_metrics.columnSpacing),
            m_metrics.verticalInset + double(row) * rowPitch(), m_metrics.cellSize,
            m_metrics.cellSize};
}

std::pair<qsizetype, qsizetype> TileGrid::indexesIn(double top, double bottom) const
{
    if (m_count == 0 || bottom <= top) {
        return {0, 0};
    }
    const double y0 = top - m_metrics.verticalInset;
    const double y1 = bottom - m_metrics.verticalInset;
    // A row intersects when it starts before the strip's end and ends after its start.
    const qsizetype firstRow =
        std::max<qsizetype>(0, qsizetype(std::floor((y0 - cellHeight()) / rowPitch())) + 1);
    const qsizetype endRow = std::max<qsizetype>(0, qsizetype(std::ceil(y1 / rowPitch())));
    const qsizetype first = std::min(m_count, firstRow * m_columns);
    const qsizetype end = std::min(m_count, endRow * m_columns);
    return {first, std::max(first, end)};
}

std::optional<qsizetype> TileGrid::indexAt(QPointF point) const
{
    const double x = point.x() - m_left;
    const double y = point.y() - m_metrics.verticalInset;
    if (x < 0 || y < 0) {
        return std::nullopt;
    }
    const double columnPitch = m_metrics.cellSize + m_metrics.columnSpacing;
    const auto column = qsizetype(x / columnPitch);
    const auto row = qsizetype(y / rowPitch());
    if (column >= m_columns || x - double(column) * columnPitch >= m_metrics.cellSize ||
        y - double(row) * rowPitch() >= cellHeight()) {
        return std::nullopt;
    }
    const qsizetype index = row * m_columns + column;
    return index < m_count ? std::optional(index) : std::nullopt;
}
