#include "GalleryView.h"

#include "DarkroomPalette.h"
#include "PhotoCellPainter.h"
#include "PhotoContextMenu.h"
#include "SectionDropDelegate.h"
#include "Symbols.h"
#include "ThumbnailFeed.h"
#include "Typography.h"
#include "ViewModels/CollectionStore.h"

#include <QApplication>
#include <QContextMenuEvent>
#include <QDrag>
#include <QLocale>
#include <QMenu>
#include <QMimeData>
#include <QPainter>
#include <QPainterPath>
#include <QScrollBar>

namespace {

struct HeaderFonts
{
    QFont badge = Typography::monospaced(12, QFont::Bold);
    QFont name = Typography::font(16, QFont::Bold);
    QFont count = Typography::monospaced(11, QFont::DemiBold);
    QFont hint = Typography::font(10, QFont::Medium);
    QFont zoneTitle = Typography::font(12, QFont::Medium);
    QFont zoneHint = Typography::font(11, QFont::Medium);
};

const HeaderFonts &fonts()
{
    static const HeaderFonts instance;
    return instance;
}

// Draws `text` at `x`, centred on `centerY`, and returns the x just after it.
double drawRun(QPainter &painter, double x, double centerY, const QString &text, const QFont &font,
               const QColor &color, double maxRight)
{
    const QFontMetricsF metrics(font);
    const QString shown = metrics.elidedText(text, Qt::ElideRight, qMax(0.0, maxRight - x));
    const double width = metrics.horizontalAdvance(shown);
    painter.setFont(font);
    painter.setPen(color);
    painter.drawText(QRectF(x, centerY - metrics.height() / 2, width + 1, metrics.height()),
                     Qt::AlignLeft | Qt::AlignVCenter, shown);
    return x + width;
}

constexpr int nearbyScreens = 1; // thumbnails are prepared one screen above and below
constexpr int scrollStep = 48;
constexpr int autoScrollEdge = 48;     // how close to an edge a drag must come
constexpr int autoScrollIntervalMs = 16;

} // namespace

GalleryView::GalleryView(CollectionStore &store, ThumbnailService &thumbnails, QWidget *parent)
    : QAbstractScrollArea(parent)
    , m_store(store)
    , m_feed(new ThumbnailFeed(thumbnails, this))
{
    setFrameShape(QFrame::NoFrame);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    setFocusPolicy(Qt::StrongFocus);
    viewport()->setMouseTracking(true);
    viewport()->setAcceptDrops(true);
    viewport()->setAutoFillBackground(false);
    verticalScrollBar()->setSingleStep(scrollStep);

    m_thumbnailTimer.setSingleShot(true);
    m_thumbnailTimer.setInterval(0);
    connect(&m_thumbnailTimer, &QTimer::timeout, this, &GalleryView::updateThumbnails);
    m_autoScrollTimer.setInterval(autoScrollIntervalMs);
    connect(&m_autoScrollTimer, &QTimer::timeout, this, &GalleryView::autoScroll);
    connect(m_feed, &ThumbnailFeed::imageReady, this, [this](const QString &photoID) {
        if (const auto item = locate(photoID)) {
            updateItem(*item);
        }
    });

    connect(&store, &CollectionStore::collectionChanged, this, &GalleryView::collectionDidChange);
    connect(&store, &CollectionStore::thumbnailSizeChanged, this, &GalleryView::relayout);
    connect(&store, &CollectionStore::scrollRequestChanged, this, &GalleryView::applyScrollRequest);
    for (auto signal : {&CollectionStore::selectedPhotoIDsChanged,
                        &CollectionStore::dropTargetSectionIDChanged}) {
        connect(&store, signal, viewport(), qOverload<>(&QWidget::update));
    }
    collectionDidChange();
}

GalleryView::~GalleryView() = default;

BoardMetrics GalleryView::metrics(double thumbnailSize)
{
    BoardMetrics metrics;
    metrics.cellWidth = thumbnailSize;
    metrics.cellAspect = thumbnailAspect;
    metrics.sidePadding = horizontalPadding;
    metrics.columnSpacing = gridSpacing;
    metrics.captionGap = PhotoCellPainter::captionGap;
    metrics.captionHeight = PhotoCellPainter::captionHeight;
    return metrics;
}

void GalleryView::collectionDidChange()
{
    m_sections = m_store.sections();
    m_hovered.reset();
    relayout();
}

void GalleryView::relayout()
{
    m_thumbnailSize = m_store.thumbnailSize();
    QList<qsizetype> counts;
    counts.reserve(m_sections.size());
    for (const PhotoSection &section : std::as_const(m_sections)) {
        counts.append(section.count());
    }
    m_layout = BoardLayout::compute(counts, metrics(m_thumbnailSize), viewport()->width());
    QScrollBar *bar = verticalScrollBar();
    bar->setPageStep(viewport()->height());
    bar->setRange(0, qMax(0, qCeil(m_layout.contentHeight()) - viewport()->height()));
    if (isVisible() && viewport()->width() > 0) {
        m_store.setGridColumnCount(m_layout.columnCount());
        if (m_scrollPending) {
            applyScrollRequest();
        }
    }
    viewport()->update();
    scheduleThumbnails();
}

void GalleryView::resizeEvent(QResizeEvent *event)
{
    QAbstractScrollArea::resizeEvent(event);
    relayout();
}

void GalleryView::showEvent(QShowEvent *event)
{
    QAbstractScrollArea::showEvent(event);
    setFocus(); // the board is where keys and the keyboard user start
    relayout();
}

void GalleryView::hideEvent(QHideEvent *event)
{
    QAbstractScrollArea::hideEvent(event);
    m_feed->setWanted({}, {}); // nothing on screen needs a thumbnail now
}

void GalleryView::scrollContentsBy(int, int)
{
    m_hovered.reset();
    viewport()->update();
    scheduleThumbnails();
}

double GalleryView::scrollTop() const
{
    return verticalScrollBar()->value();
}

QPointF GalleryView::toContent(QPointF viewportPoint) const
{
    return viewportPoint + QPointF(0, scrollTop());
}

QRectF GalleryView::toViewport(const QRectF &contentRect) const
{
    return contentRect.translated(0, -scrollTop());
}

std::optional<BoardLayout::Item> GalleryView::itemAt(QPoint viewportPoint) const
{
    return m_layout.itemAt(toContent(viewportPoint));
}

const Photo &GalleryView::photoAt(const BoardLayout::Item &item) const
{
    return m_sections.at(item.section).photos.at(item.index);
}

std::optional<BoardLayout::Item> GalleryView::locate(const QString &photoID) const
{
    for (int s = 0; s < m_sections.size(); ++s) {
        const QList<Photo> &photos = m_sections[s].photos;
        for (qsizetype i = 0; i < photos.size(); ++i) {
            if (photos[i].id == photoID) {
                return BoardLayout::Item{s, i};
            }
        }
    }
    return std::nullopt;
}

int GalleryView::sectionIndex(const QString &sectionID) const
{
    for (int s = 0; s < m_sections.size(); ++s) {
        if (m_sections[s].id == sectionID) {
            return s;
        }
    }
    return -1;
}

QRectF GalleryView::cellRect(const QString &photoID) const
{
    const auto item = locate(photoID);
    return item ? toViewport(m_layout.itemRect(*item)) : QRectF();
}

QRectF GalleryView::blockRect(const QString &sectionID) const
{
    const int s = sectionIndex(sectionID);
    return s < 0 ? QRectF() : toViewport(m_layout.blockRect(s));
}

QRectF GalleryView::headerRect(const QString &sectionID) const
{
    const int s = sectionIndex(sectionID);
    return s < 0 ? QRectF() : toViewport(m_layout.headerRect(s));
}

QRectF GalleryView::emptyZoneRect(const QString &sectionID) const
{
    const int s = sectionIndex(sectionID);
    return s < 0 ? QRectF() : toViewport(m_layout.emptyZoneRect(s));
}

// ----- Thumbnails

void GalleryView::scheduleThumbnails()
{
    if (!m_thumbnailTimer.isActive()) {
        m_thumbnailTimer.start();
    }
}

void GalleryView::updateThumbnails()
{
    if (!isVisible()) {
        m_feed->setWanted({}, {});
        return;
    }
    const double top = scrollTop();
    const double height = viewport()->height();
    QList<Photo> visible;
    QList<Photo> nearby;
    const QList<BoardLayout::Item> shown = m_layout.itemsIn(top, top + height);
    for (const BoardLayout::Item &item : shown) {
        visible.append(photoAt(item));
    }
    const double margin = nearbyScreens * height;
    for (const BoardLayout::Item &item : m_layout.itemsIn(top - margin, top + height + margin)) {
        if (!shown.contains(item)) {
            nearby.append(photoAt(item));
        }
    }
    m_feed->setCellSize(QSizeF(m_thumbnailSize, m_thumbnailSize * thumbnailAspect),
                        devicePixelRatioF());
    m_feed->setWanted(visible, nearby);
}

void GalleryView::updateItem(const BoardLayout::Item &item)
{
    viewport()->update(toViewport(m_layout.itemRect(item)).toAlignedRect().adjusted(-2, -2, 2, 2));
}

// ----- Scrolling to a photo

void GalleryView::applyScrollRequest()
{
    const std::optional<ScrollRequest> &request = m_store.scrollRequest();
    if (!request) {
        return;
    }
    if (!isVisible() || viewport()->width() <= 0) {
        m_scrollPending = true; // applied once the board is laid out
        return;
    }
    m_scrollPending = false;
    if (const auto item = locate(request->photoID)) {
        const double center = m_layout.itemRect(*item).center().y();
        verticalScrollBar()->setValue(qRound(center - viewport()->height() / 2.0));
    }
}

// ----- Painting

void GalleryView::paintEvent(QPaintEvent *event)
{
    QPainter painter(viewport());
    painter.fillRect(event->rect(), DarkroomPalette::canvas());
    const QRectF dirty = QRectF(event->rect()).translated(0, scrollTop());
    painter.translate(0, -scrollTop());
    for (int s = 0; s < m_layout.sectionCount(); ++s) {
        const QRectF block = m_layout.blockRect(s);
        if (block.bottom() < dirty.top()) {
            continue;
        }
        if (block.top() > dirty.bottom()) {
            break;
        }
        paintSection(painter, s);
    }
    const QSet<QString> &selected = m_store.selectedPhotoIDs();
    for (const BoardLayout::Item &item : m_layout.itemsIn(dirty.top(), dirty.bottom())) {
        const Photo &photo = photoAt(item);
        PhotoCellState state;
        state.selected = selected.contains(photo.id);
        state.hovered = m_hovered == item;
        state.selectedCount = selected.size();
        PhotoCellPainter::paint(painter, m_layout.imageRect(item), photo, m_feed->image(photo.id),
                                state);
    }
}

void GalleryView::paintSection(QPainter &painter, int section) const
{
    if (m_store.dropTargetSectionID() == m_sections[section].id) {
        painter.save();
        painter.setRenderHint(QPainter::Antialiasing);
        QColor fill = DarkroomPalette::emberSoft();
        fill.setAlphaF(0.32f);
        painter.setBrush(fill);
        painter.setPen(QPen(DarkroomPalette::ember(), 1.5));
        painter.drawRoundedRect(m_layout.blockRect(section).adjusted(0.75, 0.75, -0.75, -0.75), 11,
                                11);
        painter.restore();
    }
    paintHeader(painter, section);
    if (m_sections[section].photos.isEmpty()) {
        paintEmptyZone(painter, section);
    }
}

void GalleryView::paintHeader(QPainter &painter, int section) const
{
    using namespace DarkroomPalette;
    const PhotoSection &s = m_sections[section];
    const QRectF row = m_layout.headerRect(section);
    const double centerY = row.center().y();
    const double right = row.right();
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);

    const bool hasKey = section <= 9;
    const QRectF badge(row.left(), centerY - 12.5, 27, 25);
    painter.setPen(Qt::NoPen);
    painter.setBrush(hasKey ? paper() : raised());
    painter.drawRoundedRect(badge, 5, 5);
    painter.setFont(fonts().badge);
    painter.setPen(hasKey ? canvas() : quiet());
    painter.drawText(badge, Qt::AlignCenter,
                     hasKey ? QString::number(section) : QStringLiteral("\u00B7"));

    constexpr double spacing = 11;
    double x = badge.right() + spacing;
    x = drawRun(painter, x, centerY, s.name, fonts().name, paper(), right) + spacing;
    x = drawRun(painter, x, centerY, QLocale().toString(s.count()), fonts().count, quiet(), right)
        + spacing;
    if (s.kind == PhotoSectionKind::category) {
        drawRun(painter, x, centerY, QStringLiteral("Double-click to rename"), fonts().hint,
                quiet(), right);
    }
    painter.restore();
}

void GalleryView::paintEmptyZone(QPainter &painter, int section) const
{
    using namespace DarkroomPalette;
    const QRectF zone = m_layout.emptyZoneRect(section);
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    QColor fill = raised();
    fill.setAlphaF(0.72f);
    painter.setBrush(fill);
    QPen dashed(separator(), 1);
    dashed.setDashPattern({5, 5});
    painter.setPen(dashed);
    painter.drawRoundedRect(zone.adjusted(0.5, 0.5, -0.5, -0.5), 8, 8);

    const bool unsorted = m_sections[section].kind == PhotoSectionKind::unsorted;
    const QString title = QStringLiteral("Drop photos here");
    const QString hint = QStringLiteral("or press ")
                         + (unsorted ? QStringLiteral("0") : QStringLiteral("its number"));
    constexpr double symbolSize = 13;
    constexpr double spacing = 9;
    const double width = symbolSize + spacing
                         + QFontMetricsF(fonts().zoneTitle).horizontalAdvance(title) + spacing
                         + QFontMetricsF(fonts().zoneHint).horizontalAdvance(hint);
    double x = zone.center().x() - width / 2;
    const double centerY = zone.center().y();
    Symbols::paint(painter, QStringLiteral("arrow.down.doc"),
                   QRectF(x, centerY - symbolSize / 2, symbolSize, symbolSize), mutedPaper(), 1.2);
    x += symbolSize + spacing;
    x = drawRun(painter, x, centerY, title, fonts().zoneTitle, mutedPaper(), zone.right()) + spacing;
    drawRun(painter, x, centerY, hint, fonts().zoneHint, quiet(), zone.right());
    painter.restore();
}

// ----- Pointer

bool GalleryView::viewportEvent(QEvent *event)
{
    if (event->type() == QEvent::Leave) {
        setHovered(std::nullopt);
    }
    return QAbstractScrollArea::viewportEvent(event);
}

void GalleryView::leaveEvent(QEvent *event)
{
    setHovered(std::nullopt);
    QAbstractScrollArea::leaveEvent(event);
}

void GalleryView::setHovered(const std::optional<BoardLayout::Item> &item)
{
    if (m_hovered == item) {
        return;
    }
    if (m_hovered && m_hovered->section < m_sections.size()) {
        updateItem(*m_hovered);
    }
    m_hovered = item;
    if (item) {
        updateItem(*item);
    }
}

void GalleryView::mousePressEvent(QMouseEvent *event)
{
    setFocus(Qt::MouseFocusReason);
    if (event->button() != Qt::LeftButton) {
        QAbstractScrollArea::mousePressEvent(event);
        return;
    }
    Press press;
    press.position = event->position().toPoint();
    press.item = itemAt(press.position);
    if (press.item) {
        const Photo &photo = photoAt(*press.item);
        PhotoCellState state;
        state.selected = m_store.selectedPhotoIDs().contains(photo.id);
        state.selectedCount = m_store.selectedCount();
        const QRectF badge = PhotoCellPainter::badgeRect(m_layout.imageRect(*press.item));
        press.onHandle = PhotoCellPainter::hasMultiFileHandle(state)
                         && badge.contains(toContent(event->position()));
        if (press.onHandle) {
            m_handle.press();
        }
    }
    m_press = press;
}

void GalleryView::mouseMoveEvent(QMouseEvent *event)
{
    const QPoint position = event->position().toPoint();
    if (!(event->buttons() & Qt::LeftButton) || !m_press) {
        setHovered(itemAt(position));
        return;
    }
    if (!m_press->item || m_press->dragged
        || (position - m_press->position).manhattanLength() < QApplication::startDragDistance()) {
        return;
    }
    m_press->dragged = true;
    const BoardLayout::Item item = *m_press->item;
    if (m_press->onHandle) {
        QList<QUrl> urls;
        for (const Photo &photo : m_store.selectedPhotosInDisplayOrder()) {
            urls.append(photo.url);
        }
        m_handle.drag(viewport(), urls, position);
    } else {
        startCellDrag(item);
    }
    m_press.reset();
}

void GalleryView::mouseReleaseEvent(QMouseEvent *event)
{
    const std::optional<Press> press = std::exchange(m_press, std::nullopt);
    if (event->button() != Qt::LeftButton || !press || !press->item || press->dragged) {
        QAbstractScrollArea::mouseReleaseEvent(event);
        return;
    }
    if (itemAt(event->position().toPoint()) == press->item) {
        const BoardLayout::Item item = *press->item;
        m_store.select(photoAt(item).id, m_sections[item.section].id, event->modifiers());
    }
}

void GalleryView::mouseDoubleClickEvent(QMouseEvent *event)
{
    const QPointF point = toContent(event->position());
    for (int s = 0; s < m_layout.sectionCount(); ++s) {
        if (m_layout.headerRect(s).contains(point)) {
            if (m_sections[s].kind == PhotoSectionKind::category) {
                m_store.showRenamePrompt(m_sections[s].id);
            }
            return;
        }
    }
    // A second click on a cell is not a new selection click.
}

void GalleryView::startCellDrag(const BoardLayout::Item &item)
{
    const Photo photo = photoAt(item);
    auto *drag = new QDrag(viewport());
    drag->setMimeData(m_store.dragMimeData(photo.id));
    const QRectF image = m_layout.imageRect(item);
    const QSize size = (image.size() * 0.5).toSize().expandedTo(QSize(1, 1));
    QPixmap pixmap(size * devicePixelRatioF());
    pixmap.setDevicePixelRatio(devicePixelRatioF());
    pixmap.fill(Qt::transparent);
    {
        QPainter painter(&pixmap);
        painter.setOpacity(0.85);
        painter.scale(0.5, 0.5);
        PhotoCellPainter::paint(painter, QRectF(QPointF(), image.size()), photo,
                                m_feed->image(photo.id), {});
    }
    drag->setPixmap(pixmap);
    drag->setHotSpot(QPoint(size.width() / 2, size.height() / 2));
    drag->exec(Qt::MoveAction | Qt::CopyAction, Qt::MoveAction);
}

void GalleryView::contextMenuEvent(QContextMenuEvent *event)
{
    QMenu *menu = nullptr;
    if (const auto item = itemAt(event->pos())) {
        menu = PhotoContextMenu::create(m_store, photoAt(*item).id,
                                        m_sections[item->section].id, this);
    } else if (const auto section = m_layout.sectionAt(toContent(event->pos()))) {
        menu = PhotoContextMenu::createForSection(m_store, m_sections[*section].id, this);
    }
    if (menu) {
        menu->setAttribute(Qt::WA_DeleteOnClose);
        menu->popup(event->globalPos());
    }
}

// ----- Drops

void GalleryView::dragEnterEvent(QDragEnterEvent *event)
{
    if (!SectionDropDelegate::accepts(event->mimeData())) {
        event->ignore();
        return;
    }
    dragAt(event->position().toPoint(), event);
}

void GalleryView::dragMoveEvent(QDragMoveEvent *event)
{
    if (!SectionDropDelegate::accepts(event->mimeData())) {
        event->ignore();
        return;
    }
    dragAt(event->position().toPoint(), event);
}

void GalleryView::dragAt(QPoint position, QDropEvent *event)
{
    m_dragPosition = position;
    const std::optional<int> section = m_layout.sectionAt(toContent(position));
    setDragSection(section);
    const bool nearEdge =
        position.y() < autoScrollEdge || position.y() > viewport()->height() - autoScrollEdge;
    if (nearEdge && !m_autoScrollTimer.isActive()) {
        m_autoScrollTimer.start();
    } else if (!nearEdge) {
        m_autoScrollTimer.stop();
    }
    if (section) {
        event->setDropAction(SectionDropDelegate::proposedAction(event->mimeData()));
        event->accept();
    } else if (event->type() == QEvent::DragEnter) {
        event->accept(); // entering between blocks: the drag must still reach the blocks
    } else {
        event->ignore(); // no drop in the gaps between blocks
    }
}

void GalleryView::setDragSection(std::optional<int> section)
{
    if (section == m_dragSection) {
        return;
    }
    const std::optional<int> previous = std::exchange(m_dragSection, section);
    if (section) {
        SectionDropDelegate(m_store, m_sections[*section].id).dropEntered();
    }
    if (previous && *previous < m_sections.size()) {
        SectionDropDelegate(m_store, m_sections[*previous].id).dropExited();
    }
}

void GalleryView::autoScroll()
{
    const int y = m_dragPosition.y();
    const int depth = y < autoScrollEdge ? y - autoScrollEdge
                                         : y - (viewport()->height() - autoScrollEdge);
    QScrollBar *bar = verticalScrollBar();
    bar->setValue(bar->value() + qBound(-autoScrollEdge, depth, autoScrollEdge) / 2);
    // The pointer rests while the board moves under it.
    setDragSection(m_layout.sectionAt(toContent(m_dragPosition)));
}

void GalleryView::stopAutoScroll()
{
    m_autoScrollTimer.stop();
}

void GalleryView::dragLeaveEvent(QDragLeaveEvent *event)
{
    stopAutoScroll();
    setDragSection(std::nullopt);
    event->accept();
}

void GalleryView::dropEvent(QDropEvent *event)
{
    stopAutoScroll();
    m_dragSection.reset();
    const std::optional<int> section = m_layout.sectionAt(toContent(event->position()));
    if (!section) {
        m_store.setDropTargetSectionID(std::nullopt);
        event->ignore();
        return;
    }
    const Qt::DropAction action = SectionDropDelegate::proposedAction(event->mimeData());
    if (SectionDropDelegate(m_store, m_sections[*section].id).performDrop(event->mimeData())) {
        event->setDropAction(action);
        event->accept();
    } else {
        event->ignore();
    }
}
