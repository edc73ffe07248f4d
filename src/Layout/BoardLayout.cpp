#include "BoardLayout.h"

#include "ColumnRule.h"

#include <algorithm>
#include <cmath>

BoardLayout BoardLayout::compute(const QList<qsizetype> &photoCounts, const BoardMetrics &metrics,
                                 double width)
{
    BoardLayout layout;
    layout.m_metrics = metrics;
    layout.m_width = width;
    layout.m_columns = ColumnRule::columnCount(width, metrics.sidePadding, metrics.columnSpacing,
                                               metrics.cellWidth);
    double y = metrics.topInset;
    for (const qsizetype count : photoCounts) {
        Section section;
        section.count = std::max<qsizetype>(0, count);
        section.top = y;
        section.gridTop = y + metrics.blockPadding + metrics.headerHeight + metrics.headerGap;
        const qsizetype rows = layout.rowsOf(section);
        const double gridHeight = rows == 0 ? metrics.emptyZoneHeight
                                            : double(rows) * metrics.cellHeight()
                                                  + double(rows - 1) * metrics.rowSpacing;
        section.bottom = section.gridTop + gridHeight + metrics.blockPadding;
        layout.m_sections.append(section);
        y = section.bottom + metrics.sectionSpacing;
    }
    const double lastBottom =
        layout.m_sections.isEmpty() ? metrics.topInset : layout.m_sections.last().bottom;
    layout.m_contentHeight = lastBottom + metrics.bottomInset;
    return layout;
}

double BoardLayout::contentWidth() const
{
    // A window narrower than one cell still shows that cell whole.
    const double grid = m_columns * m_metrics.cellWidth + (m_columns - 1) * m_metrics.columnSpacing;
    return std::max(m_width - 2 * m_metrics.sidePadding, grid);
}

qsizetype BoardLayout::rowsOf(const Section &section) const
{
    return (section.count + m_columns - 1) / m_columns;
}

QRectF BoardLayout::blockRect(int section) const
{
    const Section &s = m_sections.at(section);
    // The padding lies outside the content column, so cells line up with the column rule.
    return QRectF(m_metrics.sidePadding - m_metrics.blockPadding, s.top,
                  contentWidth() + 2 * m_metrics.blockPadding,
                  s.bottom - s.top);
}

QRectF BoardLayout::headerRect(int section) const
{
    const Section &s = m_sections.at(section);
    return QRectF(m_metrics.sidePadding, s.top + m_metrics.blockPadding, contentWidth(),
                  m_metrics.headerHeight);
}

QRectF BoardLayout::emptyZoneRect(int section) const
{
    const Section &s = m_sections.at(section);
    if (s.count > 0) {
        return {};
    }
    return QRectF(m_metrics.sidePadding, s.gridTop, contentWidth(), m_metrics.emptyZoneHeight);
}

QRectF BoardLayout::itemRect(const Item &item) const
{
    const Section &s = m_sections.at(item.section);
    const qsizetype row = item.index / m_columns;
    const qsizetype column = item.index % m_columns;
    return QRectF(m_metrics.sidePadding + double(column) * columnPitch(),
                  s.gridTop + double(row) * rowPitch(), m_metrics.cellWidth,
                  m_metrics.cellHeight());
}

QRectF BoardLayout::imageRect(const Item &item) const
{
    QRectF rect = itemRect(item);
    rect.setHeight(m_metrics.imageHeight());
    return rect;
}

int BoardLayout::firstSectionEndingBelow(double y) const
{
    const auto found = std::upper_bound(m_sections.cbegin(), m_sections.cend(), y,
                                        [](double value, const Section &s) {
                                            return value < s.bottom;
                                        });
    return int(found - m_sections.cbegin());
}

QList<BoardLayout::Item> BoardLayout::itemsIn(double top, double bottom) const
{
    QList<Item> items;
    for (int index = firstSectionEndingBelow(top); index < m_sections.size(); ++index) {
        const Section &s = m_sections[index];
        if (s.top >= bottom) {
            break;
        }
        const qsizetype rows = rowsOf(s);
        if (rows == 0) {
            continue;
        }
        // Rows whose cells reach into [top, bottom).
        const double pitch = rowPitch();
        qsizetype firstRow = qsizetype(std::floor((top - s.gridTop - m_metrics.cellHeight()) / pitch)) + 1;
        qsizetype lastRow = qsizetype(std::ceil((bottom - s.gridTop) / pitch)) - 1;
        firstRow = std::clamp<qsizetype>(firstRow, 0, rows - 1);
        lastRow = std::clamp<qsizetype>(lastRow, 0, rows - 1);
        for (qsizetype row = firstRow; row <= lastRow; ++row) {
            const double rowTop = s.gridTop + double(row) * pitch;
            if (rowTop >= bottom || rowTop + m_metrics.cellHeight() <= top) {
                continue;
            }
            const qsizetype end = std::min(s.count, (row + 1) * m_columns);
            for (qsizetype i = row * m_columns; i < end; ++i) {
                items.append({index, i});
            }
        }
    }
    return items;
}

std::optional<BoardLayout::Item> BoardLayout::itemAt(QPointF point) const
{
    const std::optional<int> section = sectionAt(point);
    if (!section) {
        return std::nullopt;
    }
    const Section &s = m_sections[*section];
    const double dy = point.y() - s.gridTop;
    const double dx = point.x() - m_metrics.sidePadding;
    if (s.count == 0 || dy < 0 || dx < 0) {
        return std::nullopt;
    }
    const qsizetype row = qsizetype(dy / rowPitch());
    const qsizetype column = qsizetype(dx / columnPitch());
    const bool inCell = dy - double(row) * rowPitch() < m_metrics.cellHeight()
                        && dx - double(column) * columnPitch() < m_metrics.cellWidth;
    const qsizetype index = row * m_columns + column;
    if (!inCell || column >= m_columns || index >= s.count) {
        return std::nullopt;
    }
    return Item{*section, index};
}

std::optional<int> BoardLayout::sectionAt(QPointF point) const
{
    const int index = firstSectionEndingBelow(point.y());
    if (index >= m_sections.size() || !blockRect(index).contains(point)) {
        return std::nullopt;
    }
    return index;
}
