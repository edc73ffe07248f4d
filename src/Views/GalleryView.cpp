#include "GalleryView.h"

#include "DarkroomPalette.h"
#include "PhotoCellPainter.h"
#include "PhotoContextMenu.h"
#include "SectionDropDelegate.h"
#include "Symbols.h"
#include "Typography.h"
#include "ViewModels/CollectionStore.h"

#include <QCoreApplication>
#include <QDragEnterEvent>
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
double drawRun(QPainter &painter,
               double x,
               double centerY,
               const QString &text,
               const QFont &font,
               const QColor &color,
               double maxRight)
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

constexpr int autoScrollEdge = 48; // how close to an edge a drag must come
constexpr int autoScrollIntervalMs = 16;

} // namespace

GalleryView::GalleryView(CollectionStore &store, ThumbnailService &thumbnails, QWidget *parent)
    : PhotoCanvas(store, thumbnails, parent)
{
    viewport()->setAcceptDrops(true);
    m_autoScrollTimer.setInterval(autoScrollIntervalMs);
    connect(&m_autoScrollTimer, &QTimer::timeout, this, &GalleryView::autoScroll);
    connect(&store, &CollectionStore::collectionChanged, this, &GalleryView::collectionDidChange);
    connect(&store, &CollectionStore::thumbnailSizeChanged, this, &GalleryView::relayout);
    connect(&store, &CollectionStore::burstsChanged, this, &GalleryView::markedGroupsChanged);
    connect(&store, &CollectionStore::dropTargetSectionIDChanged, viewport(),
            qOverload<>(&QWidget::update));
    collectionDidChange();
}

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
    const QHash<QString, QRectF> before = visibleCellRects();
    m_sections = store().sections();
    relayout();
    if (m_dragSectionID) { // a drag is over the board: highlight what is under it now
        setDragSection(m_layout.sectionAt(toContent(m_dragPosition)));
    }
    animateFrom(before, store().collectionAnimationMs());
}

void GalleryView::relayout()
{
    QList<qsizetype> counts;
    counts.reserve(m_sections.size());
    for (const PhotoSection &section : std::as_const(m_sections)) {
        counts.append(section.count());
    }
    m_layout = BoardLayout::compute(counts, metrics(store().thumbnailSize()), viewport()->width());
    if (isVisible() && viewport()->width() > 0) {
        store().setGridColumnCount(m_layout.columnCount());
    }
    layoutChanged();
}

PhotoCanvas::Cell GalleryView::cell(const BoardLayout::Item &item) const
{
    const PhotoSection &section = m_sections.at(item.section);
    return {section.photos.at(item.index), section.id, m_layout.imageRect(item)};
}

QList<PhotoCanvas::Cell> GalleryView::cellsIn(double top, double bottom) const
{
    QList<Cell> cells;
    for (const BoardLayout::Item &item : m_layout.itemsIn(top, bottom)) {
        cells.append(cell(item));
    }
    return cells;
}

std::optional<PhotoCanvas::Cell> GalleryView::cellAt(QPointF point) const
{
    const std::optional<BoardLayout::Item> item = m_layout.itemAt(point);
    return item ? std::optional(cell(*item)) : std::nullopt;
}

std::optional<PhotoCanvas::Cell> GalleryView::cellOf(const QString &photoID) const
{
    // A walk, not an index: it is asked once or twice per change of the collection (a scroll
    // request, the hovered cell), and indexing 100,000 photos after every change would cost
    // a hundred times more than walking them once.
    for (int s = 0; s < m_sections.size(); ++s) {
        const QList<Photo> &photos = m_sections[s].photos;
        for (qsizetype i = 0; i < photos.size(); ++i) {
            if (photos[i].id == photoID) {
                return cell(BoardLayout::Item{s, i});
            }
        }
    }
    return std::nullopt;
}

void GalleryView::cellClicked(const Cell &cell, Qt::KeyboardModifiers modifiers)
{
    store().select(cell.photo.id, cell.sectionID, modifiers);
}

void GalleryView::doubleClicked(QPointF point, const std::optional<Cell> &)
{
    for (int s = 0; s < m_layout.sectionCount(); ++s) {
        if (m_layout.headerRect(s).contains(point)) {
            if (m_sections[s].kind == PhotoSectionKind::category) {
                store().showRenamePrompt(m_sections[s].id);
            }
            return;
        }
    }
}

QMenu *GalleryView::backgroundMenu(QPointF point)
{
    const std::optional<int> section = m_layout.sectionAt(point);
    return section ? PhotoContextMenu::createForSection(store(), m_sections[*section].id, this)
                   : nullptr;
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

QList<PhotoCanvas::AccessibleCell> GalleryView::accessibleCells() const
{
    const QList<AccessibleCell> photos = PhotoCanvas::accessibleCells();
    QList<AccessibleCell> all;
    const QRectF screen(0, 0, viewport()->width(), viewport()->height());
    qsizetype next = 0;
    for (int s = 0; s < m_layout.sectionCount(); ++s) {
        const QRectF header = toViewport(m_layout.headerRect(s));
        if (!header.intersects(screen)) {
            continue;
        }
        // The cells of earlier sections come first, so the order is the order on screen.
        while (next < photos.size() && photos[next].rect.top() < header.top()) {
            all.append(photos[next++]);
        }
        const PhotoSection &section = m_sections[s];
        all.append({QStringLiteral("section ") + section.id,
                    (section.count() == 1
                         ? QCoreApplication::translate("GalleryView", "%1, 1 photo")
                         : QCoreApplication::translate("GalleryView", "%1, %Ln photos", nullptr,
                                                       int(section.count())))
                        .arg(section.name),
                    header, false, false});
    }
    all.append(photos.mid(next));
    return all;
}

// ----- Painting

void GalleryView::paintBackground(QPainter &painter, const QRectF &dirty) const
{
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
}

void GalleryView::paintSection(QPainter &painter, int section) const
{
    if (store().dropTargetSectionID() == m_sections[section].id) {
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

QString GalleryView::unreadableNamesNote(qsizetype count)
{
    // The source texts are English for one and for many; a translation gives every plural
    // form of the second (French says "0 fichier").
    return count == 1 ? QCoreApplication::translate("GalleryView",
                                                    "1 file with an unreadable name is not shown")
                      : QCoreApplication::translate(
                            "GalleryView", "%Ln files with unreadable names are not shown", nullptr,
                            int(count));
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
    x = drawRun(painter, x, centerY, Typography::displayName(s.name), fonts().name, paper(),
                right) +
        spacing;
    x = drawRun(painter, x, centerY, QLocale().toString(s.count()), fonts().count, quiet(), right) +
        spacing;
    if (s.kind == PhotoSectionKind::category) {
        x = drawRun(painter, x, centerY, QCoreApplication::translate("GalleryView", "Double-click to rename"), fonts().hint,
                    quiet(), right) +
            spacing;
    }
    if (s.unreadableNameCount > 0) {
        drawRun(painter, x, centerY, unreadableNamesNote(s.unreadableNameCount), fonts().hint,
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
    const QString title = QCoreApplication::translate("GalleryView", "Drop photos here");
    const QString hint = unsorted ? QCoreApplication::translate("GalleryView", "or press 0")
                                  : QCoreApplication::translate("GalleryView", "or press its number");
    constexpr double symbolSize = 13;
    constexpr double spacing = 9;
    const double width = symbolSize + spacing +
                         QFontMetricsF(fonts().zoneTitle).horizontalAdvance(title) + spacing +
                         QFontMetricsF(fonts().zoneHint).horizontalAdvance(hint);
    double x = zone.center().x() - width / 2;
    const double centerY = zone.center().y();
    Symbols::paint(painter, QStringLiteral("arrow.down.doc"),
                   QRectF(x, centerY - symbolSize / 2, symbolSize, symbolSize), mutedPaper(), 1.2);
    x += symbolSize + spacing;
    x = drawRun(painter, x, centerY, title, fonts().zoneTitle, mutedPaper(), zone.right()) +
        spacing;
    drawRun(painter, x, centerY, hint, fonts().zoneHint, quiet(), zone.right());
    painter.restore();
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
    // Kept by id: when a rescan reorders the sections mid-drag, the highlight follows the
    // section under the pointer, not an old position.
    const std::optional<QString> id =
        section ? std::optional(m_sections[*section].id) : std::nullopt;
    if (id == m_dragSectionID) {
        return;
    }
    const std::optional<QString> previous = std::exchange(m_dragSectionID, id);
    if (id) {
        SectionDropDelegate(store(), *id).dropEntered();
    }
    if (previous) {
        SectionDropDelegate(store(), *previous).dropExited();
    }
}

void GalleryView::autoScroll()
{
    const int y = m_dragPosition.y();
    const int depth =
        y < autoScrollEdge ? y - autoScrollEdge : y - (viewport()->height() - autoScrollEdge);
    QScrollBar *bar = verticalScrollBar();
    bar->setValue(bar->value() + qBound(-autoScrollEdge, depth, autoScrollEdge) / 2);
    // The pointer rests while the board moves under it.
    setDragSection(m_layout.sectionAt(toContent(m_dragPosition)));
}

void GalleryView::dragLeaveEvent(QDragLeaveEvent *event)
{
    m_autoScrollTimer.stop();
    setDragSection(std::nullopt);
    event->accept();
}

void GalleryView::dropEvent(QDropEvent *event)
{
    m_autoScrollTimer.stop();
    m_dragSectionID.reset();
    const std::optional<int> section = m_layout.sectionAt(toContent(event->position()));
    if (!section) {
        store().setDropTargetSectionID(std::nullopt);
        event->ignore();
        return;
    }
    const Qt::DropAction action = SectionDropDelegate::proposedAction(event->mimeData());
    if (SectionDropDelegate(store(), m_sections[*section].id).performDrop(event->mimeData())) {
        event->setDropAction(action);
        event->accept();
    } else {
        event->ignore();
    }
}

const Bursts *GalleryView::markedGroups() const
{
    return &store().bursts();
}
