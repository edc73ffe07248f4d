#include "BrowseGridView.h"

#include "Typography.h"
#include "ViewModels/CollectionStore.h"

#include <QScrollBar>

BrowseGridView::BrowseGridView(Style style,
                               CollectionStore &store,
                               ThumbnailService &thumbnails,
                               QWidget *parent)
    : PhotoCanvas(store, thumbnails, parent)
    , m_style(style)
{
    connect(&store, &CollectionStore::browseCellSizeChanged, this, &BrowseGridView::relayout);
}

void BrowseGridView::setItems(const QList<BrowsePhotoItem> &items)
{
    m_items = items;
    m_indexes.clear();
    m_indexes.reserve(m_items.size());
    for (qsizetype i = 0; i < m_items.size(); ++i) {
        m_indexes.insert(m_items[i].id(), i);
    }
    relayout();
}

TileMetrics BrowseGridView::tileMetrics() const
{
    TileMetrics metrics;
    metrics.cellSize = store().browseCellSize();
    metrics.sideMargin = horizontalPadding;
    metrics.columnSpacing = spacing;
    metrics.rowSpacing = tileRowSpacing;
    metrics.verticalInset = verticalPadding;
    metrics.captionHeight = PhotoCellPainter::captionGap + PhotoCellPainter::captionHeight;
    return metrics;
}

MasonryMetrics BrowseGridView::masonryMetrics() const
{
    MasonryMetrics metrics;
    metrics.cellWidth = store().browseCellSize();
    metrics.gutter = spacing;
    metrics.horizontalPadding = horizontalPadding;
    metrics.verticalPadding = verticalPadding;
    return metrics;
}

void BrowseGridView::showFromStart(const std::optional<QString> &photoID)
{
    const std::optional<Cell> cell = photoID ? cellOf(*photoID) : std::nullopt;
    const double top = cell ? cell->imageRect.center().y() - viewport()->height() / 2.0 : 0;
    verticalScrollBar()->setValue(qRound(top));
}

int BrowseGridView::columnCount() const
{
    return m_style == Style::tiles ? m_tiles.columnCount() : m_distribution.columnCount();
}

void BrowseGridView::relayout()
{
    if (!isVisible()) {
        return; // laid out when shown: the hidden layouts need not follow every change
    }
    const double width = viewport()->width();
    if (m_style == Style::tiles) {
        m_tiles = TileGrid::compute(m_items.size(), tileMetrics(), width);
    } else {
        const MasonryMetrics metrics = masonryMetrics();
        const int columns = MasonryLayout::columns(width, metrics);
        m_distribution = MasonryLayout::distribute(m_items, columns, metrics);
        m_blockOrigin = MasonryLayout::blockOrigin(width, columns, metrics);
        m_positions.clear();
        for (int c = 0; c < m_distribution.columnCount(); ++c) {
            for (qsizetype r = 0; r < m_distribution.columns[c].size(); ++r) {
                m_positions.insert(m_distribution.columns[c][r].id(), {c, r});
            }
        }
    }
    report();
    layoutChanged();
}

void BrowseGridView::report()
{
    if (!isVisible() || viewport()->width() <= 0) {
        return; // reported when shown
    }
    QStringList ids;
    ids.reserve(m_items.size());
    for (const BrowsePhotoItem &item : std::as_const(m_items)) {
        ids.append(item.id());
    }
    const int columns = columnCount();
    const double cellSize = store().browseCellSize();
    // The masonry's frames change with every dimension read, so it always reports.
    if (m_style == Style::tiles && ids == m_reportedIDs && columns == m_reportedColumns &&
        cellSize == m_reportedCellSize && store().browseNavigationPhotoIDs() == ids) {
        return;
    }
    m_reportedIDs = ids;
    m_reportedColumns = columns;
    m_reportedCellSize = cellSize;
    store().updateBrowseNavigationOrder(
        ids, columns, m_style == Style::masonry ? m_distribution.frames : QHash<QString, QRectF>());
}

double BrowseGridView::contentHeight() const
{
    return m_style == Style::tiles ? m_tiles.contentHeight()
                                   : MasonryLayout::contentHeight(m_distribution, masonryMetrics());
}

PhotoCanvas::Cell BrowseGridView::tile(qsizetype index) const
{
    const BrowsePhotoItem &item = m_items.at(index);
    return {item.photo, item.sectionID, m_tiles.imageRect(index)};
}

PhotoCanvas::Cell BrowseGridView::brick(const MasonryDistribution::Position &position) const
{
    const BrowsePhotoItem &item = m_distribution.item(position);
    return {item.photo, item.sectionID, m_distribution.frame(position).translated(m_blockOrigin)};
}

QList<PhotoCanvas::Cell> BrowseGridView::cellsIn(double top, double bottom) const
{
    QList<Cell> cells;
    if (m_style == Style::tiles) {
        const auto [first, end] = m_tiles.indexesIn(top, bottom);
        for (qsizetype i = first; i < end; ++i) {
            cells.append(tile(i));
        }
    } else {
        const double y = m_blockOrigin.y();
        for (const auto &position : m_distribution.itemsIn(top - y, bottom - y)) {
            cells.append(brick(position));
        }
    }
    return cells;
}

std::optional<PhotoCanvas::Cell> BrowseGridView::cellAt(QPointF point) const
{
    if (m_style == Style::tiles) {
        const std::optional<qsizetype> index = m_tiles.indexAt(point);
        return index ? std::optional(tile(*index)) : std::nullopt;
    }
    const auto position = m_distribution.itemAt(point - m_blockOrigin);
    return position ? std::optional(brick(*position)) : std::nullopt;
}

std::optional<PhotoCanvas::Cell> BrowseGridView::cellOf(const QString &photoID) const
{
    if (m_style == Style::tiles) {
        const auto it = m_indexes.constFind(photoID);
        return it == m_indexes.constEnd() ? std::nullopt : std::optional(tile(*it));
    }
    const auto it = m_positions.constFind(photoID);
    return it == m_positions.constEnd() ? std::nullopt : std::optional(brick(*it));
}

void BrowseGridView::cellClicked(const Cell &cell, Qt::KeyboardModifiers modifiers)
{
    store().selectBrowse(cell.photo.id, store().browseNavigationPhotoIDs(), modifiers);
}

void BrowseGridView::doubleClicked(QPointF, const std::optional<Cell> &cell)
{
    if (m_style == Style::masonry && cell) {
        store().focusForContextMenu(cell->photo.id);
        store().openFocusedPhoto();
    }
}

void BrowseGridView::paintCell(QPainter &painter,
                               const Cell &cell,
                               const QImage &thumbnail,
                               const PhotoCellState &state) const
{
    PhotoCellState shown = state;
    if (store().isShowingDuplicates()) {
        // A copy may lie in another category than its original: the caption says where.
        const auto it = m_indexes.constFind(cell.photo.id);
        if (it != m_indexes.constEnd()) {
            shown.caption = m_items[*it].categoryName + QStringLiteral(" / ") +
                            Typography::displayName(cell.photo.filename);
        }
    }
    if (m_style == Style::tiles) {
        PhotoCanvas::paintCell(painter, cell, thumbnail, shown);
    } else {
        PhotoCellPainter::paintMasonry(painter, cell.imageRect, cell.photo, thumbnail, shown);
    }
}

const Bursts *BrowseGridView::markedGroups() const
{
    return store().isShowingDuplicates() ? &store().duplicates() : nullptr;
}
