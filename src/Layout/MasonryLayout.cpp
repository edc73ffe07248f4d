#include "MasonryLayout.h"

#include "ColumnRule.h"

#include <algorithm>

QList<MasonryDistribution::Position> MasonryDistribution::itemsIn(double top, double bottom) const
{
    QList<Position> found;
    for (int column = 0; column < columnCount(); ++column) {
        const QList<QRectF> &cells = columnFrames[column];
        // Cells of a column never overlap, so their bottoms grow with their tops.
        auto it = std::partition_point(cells.cbegin(), cells.cend(),
                                       [top](const QRectF &r) { return r.bottom() <= top; });
        for (; it != cells.cend() && it->top() < bottom; ++it) {
            if (it->bottom() > top) { // a zero-height cell touches nothing
                found.append({column, qsizetype(it - cells.cbegin())});
            }
        }
    }
    return found;
}

std::optional<MasonryDistribution::Position> MasonryDistribution::itemAt(QPointF point) const
{
    for (int column = 0; column < columnCount(); ++column) {
        const QList<QRectF> &cells = columnFrames[column];
        if (cells.isEmpty() || point.x() < cells.first().left() ||
            point.x() >= cells.first().right()) {
            continue;
        }
        const auto below = std::upper_bound(cells.cbegin(), cells.cend(), point.y(),
                                            [](double y, const QRectF &r) { return y < r.top(); });
        if (below != cells.cbegin() && point.y() < std::prev(below)->bottom()) {
            return Position{column, qsizetype(below - cells.cbegin()) - 1};
        }
        return std::nullopt;
    }
    return std::nullopt;
}

namespace MasonryLayout {

int columns(double width, const MasonryMetrics &metrics)
{
    return ColumnRule::columnCount(width, metrics.horizontalPadding, metrics.gutter,
                                   metrics.cellWidth);
}

MasonryDistribution
distribute(const QList<BrowsePhotoItem> &items, int columnCount, const MasonryMetrics &metrics)
{
    const int n = std::max(1, columnCount);
    MasonryDistribution result;
    result.columns.resize(n);
    result.columnFrames.resize(n);
    if (items.isEmpty()) {
        return result;
    }
    result.frames.reserve(items.size());
    for (int column = 0; column < n; ++column) {
        result.columns[column].reserve(items.size() / n + 1);
        result.columnFrames[column].reserve(items.size() / n + 1);
    }
    QList<double> heights(n, 0.0);
    const double z = metrics.cellWidth;
    const double g = metrics.gutter;
    for (const BrowsePhotoItem &item : items) {
        int target = 0;
        for (int column = 1; column < n; ++column) {
            if (heights[column] < heights[target]) { // strictly: the leftmost wins ties
                target = column;
            }
        }
        const double h = z / item.photo.aspectRatio();
        const QRectF frame((z + g) * target, heights[target], z, h);
        result.frames.insert(item.id(), frame);
        result.columns[target].append(item);
        result.columnFrames[target].append(frame);
        heights[target] += h + g;
    }
    result.height = std::max(0.0, *std::max_element(heights.cbegin(), heights.cend()) - g);
    return result;
}

double blockWidth(int columnCount, const MasonryMetrics &metrics)
{
    const int n = std::max(1, columnCount);
    return n * metrics.cellWidth + (n - 1) * metrics.gutter;
}

QPointF blockOrigin(double width, int columnCount, const MasonryMetrics &metrics)
{
    const double centred = (width - blockWidth(columnCount, metrics)) / 2;
    return {std::max(metrics.horizontalPadding, centred), metrics.verticalPadding};
}

double contentHeight(const MasonryDistribution &distribution, const MasonryMetrics &metrics)
{
    return distribution.height + 2 * metrics.verticalPadding;
}

} // namespace MasonryLayout
