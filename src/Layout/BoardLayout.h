#pragma once

// Where everything of the sorting board goes, as a pure value: one block per section (header,
// then a grid of cells or an empty drop zone) stacked top to bottom. The view asks it which
// cells intersect the visible strip and which cell lies under a point, so only visible cells
// are ever painted or given thumbnails.

#include <QList>
#include <QPointF>
#include <QRectF>

#include <optional>

struct BoardMetrics
{
    double cellWidth = 184;    // the thumbnail size
    double cellAspect = 0.72;  // image height ÷ width
    double sidePadding = 24;   // left and right of the sections
    double columnSpacing = 14;
    double rowSpacing = 17;
    double topInset = 24;
    double bottomInset = 42;
    double sectionSpacing = 38;
    double blockPadding = 10;  // around a section's header and grid
    double headerHeight = 30;
    double headerGap = 14;     // between the header and the grid
    double captionGap = 7;     // between the image and the file name
    double captionHeight = 14;
    double emptyZoneHeight = 82;

    double imageHeight() const { return cellWidth * cellAspect; }
    double cellHeight() const { return imageHeight() + captionGap + captionHeight; }
};

class BoardLayout
{
public:
    struct Item
    {
        int section = 0;
        qsizetype index = 0;
        friend bool operator==(const Item &, const Item &) = default;
    };

    // `photoCounts` holds the number of photos of each section, in board order.
    static BoardLayout compute(const QList<qsizetype> &photoCounts, const BoardMetrics &metrics,
                               double width);

    int columnCount() const { return m_columns; }
    double contentHeight() const { return m_contentHeight; }
    int sectionCount() const { return int(m_sections.size()); }

    QRectF blockRect(int section) const;     // the section's highlight and drop area
    QRectF headerRect(int section) const;
    QRectF emptyZoneRect(int section) const; // empty when the section has photos
    QRectF itemRect(const Item &item) const; // image and caption
    QRectF imageRect(const Item &item) const;

    // Every cell that intersects the strip from `top` to `bottom`, in board order.
    QList<Item> itemsIn(double top, double bottom) const;
    // The cell under a point; none in the gaps between cells.
    std::optional<Item> itemAt(QPointF point) const;
    // The section whose block holds a point, for drops.
    std::optional<int> sectionAt(QPointF point) const;

private:
    struct Section
    {
        qsizetype count = 0;
        double top = 0;     // of the block
        double gridTop = 0; // first row of cells, or the empty zone
        double bottom = 0;  // of the block
    };

    double rowPitch() const { return m_metrics.cellHeight() + m_metrics.rowSpacing; }
    double columnPitch() const { return m_metrics.cellWidth + m_metrics.columnSpacing; }
    qsizetype rowsOf(const Section &section) const;
    double contentWidth() const;
    // The first section whose block ends below y.
    int firstSectionEndingBelow(double y) const;

    BoardMetrics m_metrics;
    double m_width = 0;
    int m_columns = 1;
    double m_contentHeight = 0;
    QList<Section> m_sections;
};
