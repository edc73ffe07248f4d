#include "BrowseListView.h"

#include "BrowseListModel.h"
#include "DarkroomPalette.h"
#include "PhotoCellPainter.h"
#include "PhotoContextMenu.h"
#include "ThumbnailFeed.h"
#include "Typography.h"
#include "ViewModels/CollectionStore.h"

#include <QApplication>
#include <QDrag>
#include <QHeaderView>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>
#include <QSortFilterProxyModel>
#include <QStyledItemDelegate>
#include <QTimer>

namespace {

constexpr QSizeF thumbnailArea{44, 40};
constexpr int cellInset = 8;

// Sorts by the model's typed keys directly: a QVariant per comparison made re-sorting 10,000
// rows after every change too slow.
class SortProxy : public QSortFilterProxyModel
{
public:
    using QSortFilterProxyModel::QSortFilterProxyModel;

protected:
    bool lessThan(const QModelIndex &left, const QModelIndex &right) const override
    {
        const auto *model = static_cast<const BrowseListModel *>(sourceModel());
        return model->lessThan(left.row(), right.row(), left.column());
    }
};

} // namespace

// Paints the cells: the thumbnail with its outline and count badge, and one line of text in
// the list's type (monospaced digits for sizes and dimensions).
class BrowseListView::Delegate : public QStyledItemDelegate
{
public:
    explicit Delegate(BrowseListView &view)
        : QStyledItemDelegate(&view)
        , m_view(view)
    {
    }

    static QRectF thumbnailRect(const QRect &cell)
    {
        return {cell.left() + (cell.width() - thumbnailArea.width()) / 2,
                cell.top() + (cell.height() - thumbnailArea.height()) / 2, thumbnailArea.width(),
                thumbnailArea.height()};
    }

    void paint(QPainter *painter,
               const QStyleOptionViewItem &option,
               const QModelIndex &index) const override
    {
        using namespace DarkroomPalette;
        const QString id = index.data(BrowseListModel::IdRole).toString();
        const QSet<QString> &selected = m_view.m_store.selectedPhotoIDs();
        const bool isSelected = selected.contains(id);
        if (index.column() == BrowseListModel::PhotoColumn) {
            const PhotoCellState state{isSelected, false, selected.size()};
            PhotoCellPainter::paintListThumbnail(*painter, thumbnailRect(option.rect),
                                                 m_view.m_feed->image(id), state);
            return;
        }
        static const QFont text = Typography::font(12, QFont::Medium);
        static const QFont digits = Typography::monospaced(12, QFont::Medium);
        const QFont &font = BrowseListModel::hasMonospacedDigits(index.column()) ? digits : text;
        const QRect area = option.rect.adjusted(cellInset, 0, -cellInset, 0);
        painter->save();
        painter->setFont(font);
        const QVariant colour = index.data(Qt::ForegroundRole);
        painter->setPen(colour.isValid() ? colour.value<QColor>()
                        : isSelected     ? paper()
                                         : mutedPaper());
        const Qt::TextElideMode elide =
            index.column() == BrowseListModel::NameColumn ? Qt::ElideMiddle : Qt::ElideRight;
        painter->drawText(
            area, Qt::AlignLeft | Qt::AlignVCenter,
            QFontMetrics(font).elidedText(index.data().toString(), elide, area.width()));
        painter->restore();
    }

    QSize sizeHint(const QStyleOptionViewItem &, const QModelIndex &) const override
    {
        return {0, rowHeight};
    }

private:
    BrowseListView &m_view;
};

BrowseListView::BrowseListView(CollectionStore &store,
                               ThumbnailService &thumbnails,
                               QWidget *parent)
    : QTableView(parent)
    , m_store(store)
    , m_model(new BrowseListModel(this))
    , m_sorted(new SortProxy(this))
    , m_feed(new ThumbnailFeed(thumbnails, this))
{
    m_sorted->setSourceModel(m_model);
    m_sorted->setSortRole(BrowseListModel::SortRole);
    m_sorted->setSortLocaleAware(false); // the sort keys are already folded for comparing
    setModel(m_sorted);
    setItemDelegate(new Delegate(*this));
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setSelectionMode(QAbstractItemView::ExtendedSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setShowGrid(false);
    setAlternatingRowColors(false);
    setWordWrap(false);
    setFrameShape(QFrame::NoFrame);
    setMouseTracking(true);
    setDragEnabled(true);
    setDragDropMode(QAbstractItemView::DragOnly);
    setVerticalScrollMode(QAbstractItemView::ScrollPerPixel);
    setSortingEnabled(true);
    verticalHeader()->hide();
    verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    verticalHeader()->setDefaultSectionSize(rowHeight);
    QPalette colors = palette();
    colors.setColor(QPalette::Base, DarkroomPalette::canvas());
    colors.setColor(QPalette::Window, DarkroomPalette::canvas());
    // Selected rows: a quiet ember wash; the thumbnail's outline carries the accent.
    const QColor ember = DarkroomPalette::emberSoft();
    const QColor canvas = DarkroomPalette::canvas();
    const auto mix = [](int a, int b) { return (a * 22 + b * 78) / 100; };
    colors.setColor(QPalette::Highlight,
                    QColor(mix(ember.red(), canvas.red()), mix(ember.green(), canvas.green()),
                           mix(ember.blue(), canvas.blue())));
    colors.setColor(QPalette::HighlightedText, DarkroomPalette::paper());
    setPalette(colors);

    QHeaderView *header = horizontalHeader();
    header->setHighlightSections(false);
    header->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    header->setStretchLastSection(true);
    header->setMinimumSectionSize(BrowseListModel::columnWidths[0].minimum);
    for (int column = 0; column < BrowseListModel::ColumnCount; ++column) {
        header->resizeSection(column, BrowseListModel::columnWidths[std::size_t(column)].ideal);
    }
    header->setSectionResizeMode(BrowseListModel::PhotoColumn, QHeaderView::Fixed);
    connect(header, &QHeaderView::sectionResized, this, &BrowseListView::keepMinimumWidth);
    resetSortOrder();

    connect(m_sorted, &QAbstractItemModel::layoutChanged, this, [this] {
        report();
        scheduleThumbnails();
    });
    connect(selectionModel(), &QItemSelectionModel::selectionChanged, this,
            &BrowseListView::tableSelectionChanged);
    connect(&store, &CollectionStore::selectedPhotoIDsChanged, this,
            &BrowseListView::showStoreSelection);
    connect(&store, &CollectionStore::scrollRequestChanged, this,
            &BrowseListView::applyScrollRequest);
    connect(verticalScrollBar(), &QScrollBar::valueChanged, this,
            &BrowseListView::scheduleThumbnails);
    // A row filed before its file arrived failed its first decode: asked again once the store
    // has caught up with the disk.
    connect(&store, &CollectionStore::reconciled, m_feed, &ThumbnailFeed::retryFailed);
    connect(m_feed, &ThumbnailFeed::screenWaitingChanged, this,
            [this](bool waiting) { m_store.setScreenWaiting(this, waiting); });
    connect(m_feed, &ThumbnailFeed::imageReady, this, [this](const QString &id) {
        if (const int row = rowOf(id); row >= 0) {
            viewport()->update(visualRect(m_sorted->index(row, BrowseListModel::PhotoColumn)));
        }
    });
}

BrowseListView::~BrowseListView() = default;

void BrowseListView::setItems(const QList<BrowsePhotoItem> &items)
{
    m_model->setItems(items);
    showStoreSelection();
    report();
    scheduleThumbnails();
}

void BrowseListView::resetSortOrder()
{
    sortByColumn(BrowseListModel::NameColumn, Qt::AscendingOrder);
}

void BrowseListView::showFromStart(const std::optional<QString> &photoID)
{
    if (const int row = photoID ? rowOf(*photoID) : -1; row >= 0) {
        scrollTo(m_sorted->index(row, 0), QAbstractItemView::PositionAtCenter);
    } else {
        scrollToTop();
    }
}

QStringList BrowseListView::sortedIDs() const
{
    QStringList ids;
    const int rows = m_sorted->rowCount();
    ids.reserve(rows);
    for (int row = 0; row < rows; ++row) {
        ids.append(m_model->item(m_sorted->mapToSource(m_sorted->index(row, 0)).row()).id());
    }
    return ids;
}

int BrowseListView::rowOf(const QString &photoID) const
{
    const int source = m_model->rowOf(photoID);
    return source < 0 ? -1 : m_sorted->mapFromSource(m_model->index(source, 0)).row();
}

QRect BrowseListView::thumbnailRect(int row) const
{
    return Delegate::thumbnailRect(visualRect(m_sorted->index(row, BrowseListModel::PhotoColumn)))
        .toAlignedRect();
}

void BrowseListView::report()
{
    if (!isVisible()) {
        return; // reported when shown
    }
    const QStringList ids = sortedIDs();
    if (ids == m_reportedIDs && m_store.browseNavigationPhotoIDs() == ids) {
        return;
    }
    m_reportedIDs = ids;
    m_store.updateBrowseNavigationOrder(ids, 1, {});
}

void BrowseListView::showEvent(QShowEvent *event)
{
    QTableView::showEvent(event);
    setFocus();
    m_reportedIDs.clear();
    report();
    showStoreSelection();
    applyScrollRequest();
    scheduleThumbnails();
}

void BrowseListView::hideEvent(QHideEvent *event)
{
    QTableView::hideEvent(event);
    m_feed->setWanted({}, {});
}

void BrowseListView::resizeEvent(QResizeEvent *event)
{
    QTableView::resizeEvent(event);
    scheduleThumbnails();
}

void BrowseListView::keepMinimumWidth(int column, int, int newWidth)
{
    const int minimum = BrowseListModel::columnWidths[std::size_t(column)].minimum;
    if (newWidth < minimum) {
        horizontalHeader()->resizeSection(column, minimum);
    }
}

// ----- Selection, both ways

void BrowseListView::showStoreSelection()
{
    if (!isVisible()) {
        return; // shown again when the list is
    }
    const QSet<QString> &ids = m_store.selectedPhotoIDs();
    QList<int> rows;
    rows.reserve(ids.size());
    for (const QString &id : ids) {
        if (const int row = rowOf(id); row >= 0) {
            rows.append(row);
        }
    }
    std::sort(rows.begin(), rows.end());
    QItemSelection selection;
    for (qsizetype i = 0; i < rows.size();) {
        qsizetype j = i;
        while (j + 1 < rows.size() && rows[j + 1] == rows[j] + 1) {
            ++j;
        }
        selection.select(m_sorted->index(rows[i], 0),
                         m_sorted->index(rows[j], BrowseListModel::ColumnCount - 1));
        i = j + 1;
    }
    m_applyingStoreSelection = true;
    selectionModel()->select(selection, QItemSelectionModel::ClearAndSelect);
    // Made current without scrolling to it: the store asks for scrolling when it wants it, and
    // rows changing under a user who scrolled away (dimensions coming in) must leave the list
    // where it is.
    if (const auto &focus = m_store.focusedPhotoID(); focus && rowOf(*focus) >= 0) {
        const bool scrolls = hasAutoScroll();
        setAutoScroll(false);
        selectionModel()->setCurrentIndex(m_sorted->index(rowOf(*focus), 0),
                                          QItemSelectionModel::NoUpdate);
        setAutoScroll(scrolls);
    }
    m_applyingStoreSelection = false;
    viewport()->update();
}

void BrowseListView::tableSelectionChanged()
{
    if (m_applyingStoreSelection) {
        return;
    }
    QSet<QString> ids;
    for (const QModelIndex &index : selectionModel()->selectedRows()) {
        ids.insert(index.data(BrowseListModel::IdRole).toString());
    }
    m_store.replaceBrowseSelection(ids);
}

void BrowseListView::applyScrollRequest()
{
    const std::optional<ScrollRequest> &request = m_store.scrollRequest();
    if (!request || !isVisible()) {
        return;
    }
    if (const int row = rowOf(request->photoID); row >= 0) {
        scrollTo(m_sorted->index(row, 0), QAbstractItemView::PositionAtCenter);
    }
}

// ----- Thumbnails

void BrowseListView::scheduleThumbnails()
{
    if (!m_thumbnailsScheduled) {
        m_thumbnailsScheduled = true;
        QTimer::singleShot(0, this, &BrowseListView::updateThumbnails);
    }
}

void BrowseListView::updateThumbnails()
{
    m_thumbnailsScheduled = false;
    if (!isVisible() || m_sorted->rowCount() == 0) {
        m_feed->setWanted({}, {});
        return;
    }
    const int height = viewport()->height();
    const int first = qMax(0, rowAt(0));
    int last = rowAt(height - 1);
    last = last < 0 ? m_sorted->rowCount() - 1 : last;
    const int margin = last - first + 1; // a screen above and below
    QList<ThumbnailFeed::Want> visible;
    QList<ThumbnailFeed::Want> nearby;
    const int rows = m_sorted->rowCount();
    QList<Photo> onScreen;
    for (int row = qMax(0, first - margin); row <= qMin(rows - 1, last + margin); ++row) {
        const BrowsePhotoItem &item =
            m_model->item(m_sorted->mapToSource(m_sorted->index(row, 0)).row());
        const bool shown = row >= first && row <= last;
        (shown ? visible : nearby).append({item.photo, QSizeF(thumbnailPointSize)});
        if (shown) {
            onScreen.append(item.photo);
        }
    }
    m_feed->setScale(devicePixelRatioF());
    m_feed->setWanted(visible, nearby);
    // After the feed, whose waiting holds the other photos' reads back: the Dimensions column
    // on screen fills in at once all the same.
    m_store.prioritizeDimensions(onScreen);
}

// ----- Pointer

void BrowseListView::mousePressEvent(QMouseEvent *event)
{
    const QPoint position = event->position().toPoint();
    const QModelIndex index = indexAt(position);
    m_pressPosition = position;
    m_pressOnHandle = false;
    if (event->button() == Qt::LeftButton && index.isValid()) {
        const QString id = index.data(BrowseListModel::IdRole).toString();
        const PhotoCellState state{m_store.selectedPhotoIDs().contains(id), false,
                                   m_store.selectedCount()};
        m_pressOnHandle =
            PhotoCellPainter::hasMultiFileHandle(state) &&
            PhotoCellPainter::listBadgeRect(thumbnailRect(index.row())).contains(event->position());
        if (m_pressOnHandle) {
            m_handle.press();
            return; // the badge's press starts a drag of every selected file, never a selection
        }
    }
    QTableView::mousePressEvent(event);
}

void BrowseListView::mouseMoveEvent(QMouseEvent *event)
{
    if (m_pressOnHandle && (event->buttons() & Qt::LeftButton)) {
        if ((event->position().toPoint() - m_pressPosition).manhattanLength() >=
            QApplication::startDragDistance()) {
            QList<QUrl> urls;
            for (const Photo &photo : m_store.selectedPhotosInDisplayOrder()) {
                urls.append(photo.url);
            }
            m_handle.drag(viewport(), urls, event->position().toPoint());
            m_pressOnHandle = false;
        }
        return;
    }
    QTableView::mouseMoveEvent(event);
}

void BrowseListView::mouseDoubleClickEvent(QMouseEvent *event)
{
    const QModelIndex index = indexAt(event->position().toPoint());
    if (event->button() != Qt::LeftButton || !index.isValid()) {
        QTableView::mouseDoubleClickEvent(event);
        return;
    }
    m_store.focusForContextMenu(index.data(BrowseListModel::IdRole).toString());
    m_store.openFocusedPhoto();
}

void BrowseListView::contextMenuEvent(QContextMenuEvent *event)
{
    const QModelIndex index = indexAt(event->pos());
    if (!index.isValid()) {
        return;
    }
    const auto item = index.data(BrowseListModel::ItemRole).value<BrowsePhotoItem>();
    QMenu *menu = PhotoContextMenu::create(m_store, item.id(), item.sectionID, this);
    menu->setAttribute(Qt::WA_DeleteOnClose);
    menu->popup(event->globalPos());
}

void BrowseListView::startDrag(Qt::DropActions)
{
    const QModelIndex index = indexAt(m_pressPosition);
    if (!index.isValid()) {
        return;
    }
    const QString id = index.data(BrowseListModel::IdRole).toString();
    auto *drag = new QDrag(this);
    drag->setMimeData(m_store.dragMimeData(id));
    const QImage thumbnail = m_feed->image(id);
    if (!thumbnail.isNull()) {
        drag->setPixmap(QPixmap::fromImage(thumbnail.scaled(
            QSize(64, 64) * devicePixelRatioF(), Qt::KeepAspectRatio, Qt::SmoothTransformation)));
    }
    drag->exec(Qt::MoveAction | Qt::CopyAction, Qt::MoveAction);
}
