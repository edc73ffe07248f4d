#include "PhotoCanvas.h"

#include "DarkroomPalette.h"
#include "PhotoCanvasAccessible.h"
#include "PhotoContextMenu.h"
#include "ThumbnailFeed.h"
#include "ViewModels/CollectionStore.h"

#include <QApplication>
#include <QContextMenuEvent>
#include <QDrag>
#include <QMenu>
#include <QMimeData>
#include <QPainter>
#include <QScrollBar>
#include <QVariantAnimation>

namespace {

constexpr int nearbyScreens = 1; // thumbnails are prepared one screen above and below
constexpr int scrollStep = 48;

} // namespace

PhotoCanvas::PhotoCanvas(CollectionStore &store, ThumbnailService &thumbnails, QWidget *parent)
    : QAbstractScrollArea(parent)
    , m_store(store)
    , m_feed(new ThumbnailFeed(thumbnails, this))
{
    setFrameShape(QFrame::NoFrame);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    setFocusPolicy(Qt::StrongFocus);
    viewport()->setMouseTracking(true);
    viewport()->setAutoFillBackground(false);
    verticalScrollBar()->setSingleStep(scrollStep);

    m_thumbnailTimer.setSingleShot(true);
    m_thumbnailTimer.setInterval(0);
    connect(&m_thumbnailTimer, &QTimer::timeout, this, &PhotoCanvas::updateThumbnails);
    connect(m_feed, &ThumbnailFeed::imageReady, this, &PhotoCanvas::updatePhoto);
    connect(m_feed, &ThumbnailFeed::screenWaitingChanged, this,
            [this](bool waiting) { m_store.setScreenWaiting(this, waiting); });
    // A reload that finds the disk as predicted publishes nothing new, so no cell would ask
    // again for a thumbnail that failed while its file was still on the way.
    connect(&store, &CollectionStore::reconciled, m_feed, &ThumbnailFeed::retryFailed);
    connect(&store, &CollectionStore::scrollRequestChanged, this, &PhotoCanvas::applyScrollRequest);
    connect(&store, &CollectionStore::selectedPhotoIDsChanged, viewport(),
            qOverload<>(&QWidget::update));
    PhotoCanvasAccessible::install();
    m_animation = new QVariantAnimation(this);
    m_animation->setStartValue(0.0);
    m_animation->setEndValue(1.0);
    m_animation->setEasingCurve(QEasingCurve::OutCubic);
    connect(m_animation, &QVariantAnimation::valueChanged, viewport(),
            qOverload<>(&QWidget::update));
    connect(m_animation, &QVariantAnimation::finished, this, [this] {
        m_animationStart.clear();
        viewport()->update();
    });
}

PhotoCanvas::~PhotoCanvas() = default;

void PhotoCanvas::layoutChanged()
{
    QScrollBar *bar = verticalScrollBar();
    bar->setPageStep(viewport()->height());
    bar->setRange(0, qMax(0, qCeil(contentHeight()) - viewport()->height()));
    if (m_hovered && !cellOf(*m_hovered)) {
        m_hovered.reset();
    }
    if (m_scrollPending && isVisible()) {
        applyScrollRequest();
    }
    viewport()->update();
    scheduleThumbnails();
}

void PhotoCanvas::resizeEvent(QResizeEvent *event)
{
    QAbstractScrollArea::resizeEvent(event);
    widthChanged();
}

void PhotoCanvas::showEvent(QShowEvent *event)
{
    QAbstractScrollArea::showEvent(event);
    setFocus(); // the photos are where keys and the keyboard user start
    widthChanged();
}

void PhotoCanvas::hideEvent(QHideEvent *event)
{
    QAbstractScrollArea::hideEvent(event);
    m_thumbnailTimer.stop();
    m_feed->setWanted({}, {}); // nothing on screen needs a thumbnail now
}

void PhotoCanvas::scrollContentsBy(int, int)
{
    m_hovered.reset();
    viewport()->update();
    scheduleThumbnails();
}

double PhotoCanvas::scrollTop() const
{
    return verticalScrollBar()->value();
}

QPointF PhotoCanvas::toContent(QPointF viewportPoint) const
{
    return viewportPoint + QPointF(0, scrollTop());
}

QRectF PhotoCanvas::toViewport(const QRectF &contentRect) const
{
    return contentRect.translated(0, -scrollTop());
}

QRectF PhotoCanvas::cellRect(const QString &photoID) const
{
    const std::optional<Cell> cell = cellOf(photoID);
    return cell ? toViewport(cell->imageRect) : QRectF();
}

// ----- Thumbnails

void PhotoCanvas::scheduleThumbnails()
{
    if (!m_thumbnailTimer.isActive()) {
        m_thumbnailTimer.start();
    }
}

void PhotoCanvas::updateThumbnails()
{
    if (!isVisible()) {
        m_feed->setWanted({}, {});
        return;
    }
    const double top = scrollTop();
    const double height = viewport()->height();
    QList<ThumbnailFeed::Want> visible;
    QList<ThumbnailFeed::Want> nearby;
    QSet<QString> shown;
    QList<Photo> onScreen;
    for (const Cell &cell : cellsIn(top, top + height)) {
        visible.append({cell.photo, thumbnailSize(cell)});
        shown.insert(cell.photo.id);
        onScreen.append(cell.photo);
    }
    const double margin = nearbyScreens * height;
    for (const Cell &cell : cellsIn(top - margin, top + height + margin)) {
        if (!shown.contains(cell.photo.id)) {
            nearby.append({cell.photo, thumbnailSize(cell)});
        }
    }
    m_feed->setScale(devicePixelRatioF());
    m_feed->setWanted(visible, nearby);
    // After the feed, whose waiting holds the other photos' reads back: these are read at
    // once all the same, since their cells take their shape from them.
    store().prioritizeDimensions(onScreen);
}

void PhotoCanvas::updatePhoto(const QString &photoID)
{
    // Only a cell on screen needs repainting, and looking among those few is far cheaper than
    // finding the photo among 100,000 (which, after every change of the collection, means
    // indexing them all again).
    const double top = scrollTop();
    for (const Cell &cell : cellsIn(top, top + viewport()->height())) {
        if (cell.photo.id == photoID) {
            updateCellArea(cell.imageRect);
            return;
        }
    }
}

void PhotoCanvas::updateCellArea(const QRectF &imageRect)
{
    // The caption lies under the image on some cells: repaint a little more.
    constexpr int caption = int(PhotoCellPainter::captionGap + PhotoCellPainter::captionHeight);
    viewport()->update(toViewport(imageRect).toAlignedRect().adjusted(-2, -2, 2, 2 + caption));
}

// ----- Scrolling to a photo

void PhotoCanvas::applyScrollRequest()
{
    const std::optional<ScrollRequest> &request = m_store.scrollRequest();
    if (!request) {
        return;
    }
    if (!isVisible() || viewport()->width() <= 0) {
        m_scrollPending = true; // applied once the view is laid out
        return;
    }
    const std::optional<Cell> cell = cellOf(request->photoID);
    // A photo this view does not show yet (its items are still on their way) is looked for
    // again after the next layout.
    m_scrollPending = !cell;
    if (cell) {
        const double center = cell->imageRect.center().y();
        verticalScrollBar()->setValue(qRound(center - viewport()->height() / 2.0));
    }
}

QList<PhotoCanvas::AccessibleCell> PhotoCanvas::accessibleCells() const
{
    QList<AccessibleCell> cells;
    const double top = scrollTop();
    for (const Cell &cell : cellsIn(top, top + viewport()->height())) {
        cells.append({cell.photo.id, cell.photo.filename, toViewport(cell.imageRect), true,
                      m_store.selectedPhotoIDs().contains(cell.photo.id)});
    }
    return cells;
}

// ----- Moving cells

QHash<QString, QRectF> PhotoCanvas::visibleCellRects() const
{
    QHash<QString, QRectF> rects;
    if (!isVisible()) {
        return rects;
    }
    const double top = scrollTop();
    for (const Cell &cell : cellsIn(top, top + viewport()->height())) {
        rects.insert(cell.photo.id, cell.imageRect);
    }
    return rects;
}

void PhotoCanvas::animateFrom(const QHash<QString, QRectF> &start, int ms)
{
    m_animation->stop();
    m_animationStart = start;
    if (ms <= 0 || start.isEmpty()) {
        m_animationStart.clear();
        return;
    }
    m_animation->setDuration(ms);
    m_animation->start();
}

bool PhotoCanvas::isAnimating() const
{
    return m_animation->state() == QAbstractAnimation::Running;
}

// ----- Painting

PhotoCellState PhotoCanvas::stateOf(const QString &photoID) const
{
    const QSet<QString> &selected = m_store.selectedPhotoIDs();
    return {selected.contains(photoID), m_hovered == photoID, selected.size()};
}

void PhotoCanvas::paintEvent(QPaintEvent *event)
{
    QPainter painter(viewport());
    painter.fillRect(event->rect(), DarkroomPalette::canvas());
    const QRectF dirty = QRectF(event->rect()).translated(0, scrollTop());
    painter.translate(0, -scrollTop());
    paintBackground(painter, dirty);
    const bool animating = isAnimating();
    const double progress = animating ? m_animation->currentValue().toDouble() : 1;
    QList<Cell> cells = cellsIn(dirty.top(), dirty.bottom());
    for (Cell &cell : cells) {
        if (animating) {
            if (const auto it = m_animationStart.constFind(cell.photo.id);
                it != m_animationStart.constEnd()) {
                const QPointF from = it->topLeft();
                cell.imageRect.moveTopLeft(from + (cell.imageRect.topLeft() - from) * progress);
            }
        }
    }
    const Bursts *groups = markedGroups();
    m_paintedGroups = groups ? *groups : Bursts(); // shared, not copied
    const QList<PhotoCellPainter::BurstLook> looks = burstLooks(cells, m_paintedGroups);
    for (qsizetype i = 0; i < cells.size(); ++i) {
        const Cell &cell = cells[i];
        PhotoCellState state = stateOf(cell.photo.id);
        state.burst = looks[i].mark;
        state.burstBandReach = looks[i].bandReach;
        paintCell(painter, cell, m_feed->image(cell.photo.id), state);
    }
}

QList<PhotoCellPainter::BurstLook> PhotoCanvas::burstLooks(const QList<Cell> &cells,
                                                           const Bursts &groups)
{
    if (groups.isEmpty()) {
        return QList<PhotoCellPainter::BurstLook>(cells.size());
    }
    QStringList ids;
    QList<QRectF> rects;
    ids.reserve(cells.size());
    rects.reserve(cells.size());
    for (const Cell &cell : cells) {
        ids.append(cell.photo.id);
        rects.append(cell.imageRect);
    }
    return PhotoCellPainter::burstLooks(ids, rects, groups);
}

void PhotoCanvas::markedGroupsChanged()
{
    // Groups change all through a similarity pass, mostly among photos off screen: only the
    // cells on screen that would look different are painted again, not the whole board.
    const Bursts *groups = markedGroups();
    const Bursts now = groups ? *groups : Bursts();
    const double top = scrollTop();
    const QList<Cell> cells = cellsIn(top, top + viewport()->height());
    const QList<PhotoCellPainter::BurstLook> shown = burstLooks(cells, m_paintedGroups);
    const QList<PhotoCellPainter::BurstLook> looks = burstLooks(cells, now);
    for (qsizetype i = 0; i < cells.size(); ++i) {
        if (!looks[i].looksLike(shown[i])) {
            QRectF area = cells[i].imageRect;
            area.setRight(area.right() + std::max(looks[i].bandReach, shown[i].bandReach));
            updateCellArea(area);
        }
    }
}

void PhotoCanvas::paintBackground(QPainter &, const QRectF &) const
{
}

void PhotoCanvas::paintCell(QPainter &painter,
                            const Cell &cell,
                            const QImage &thumbnail,
                            const PhotoCellState &state) const
{
    PhotoCellPainter::paint(painter, cell.imageRect, cell.photo, thumbnail, state);
}

// ----- Pointer

bool PhotoCanvas::viewportEvent(QEvent *event)
{
    if (event->type() == QEvent::Leave) {
        setHovered(std::nullopt);
    }
    return QAbstractScrollArea::viewportEvent(event);
}

void PhotoCanvas::setHovered(const std::optional<QString> &photoID)
{
    if (m_hovered == photoID) {
        return;
    }
    const std::optional<QString> previous = std::exchange(m_hovered, photoID);
    if (previous) {
        updatePhoto(*previous);
    }
    if (photoID) {
        updatePhoto(*photoID);
    }
}

void PhotoCanvas::mousePressEvent(QMouseEvent *event)
{
    setFocus(Qt::MouseFocusReason);
    if (event->button() != Qt::LeftButton) {
        QAbstractScrollArea::mousePressEvent(event);
        return;
    }
    Press press;
    press.position = event->position().toPoint();
    press.cell = cellAt(toContent(event->position()));
    if (press.cell) {
        press.onHandle = PhotoCellPainter::hasMultiFileHandle(stateOf(press.cell->photo.id)) &&
                         PhotoCellPainter::badgeRect(press.cell->imageRect)
                             .contains(toContent(event->position()));
        if (press.onHandle) {
            m_handle.press();
        }
    }
    m_press = press;
}

void PhotoCanvas::mouseMoveEvent(QMouseEvent *event)
{
    const QPoint position = event->position().toPoint();
    if (!(event->buttons() & Qt::LeftButton) || !m_press) {
        const std::optional<Cell> cell = cellAt(toContent(event->position()));
        setHovered(cell ? std::optional(cell->photo.id) : std::nullopt);
        return;
    }
    if (!m_press->cell ||
        (position - m_press->position).manhattanLength() < QApplication::startDragDistance()) {
        return;
    }
    const Press press = *std::exchange(m_press, std::nullopt);
    if (press.onHandle) {
        QList<QUrl> urls;
        for (const Photo &photo : m_store.selectedPhotosInDisplayOrder()) {
            urls.append(photo.url);
        }
        m_handle.drag(viewport(), urls, position);
    } else {
        startCellDrag(*press.cell);
    }
}

void PhotoCanvas::mouseReleaseEvent(QMouseEvent *event)
{
    const std::optional<Press> press = std::exchange(m_press, std::nullopt);
    if (event->button() != Qt::LeftButton || !press || !press->cell) {
        QAbstractScrollArea::mouseReleaseEvent(event);
        return;
    }
    const std::optional<Cell> cell = cellAt(toContent(event->position()));
    if (cell && cell->photo.id == press->cell->photo.id) {
        cellClicked(*cell, event->modifiers());
    }
}

void PhotoCanvas::mouseDoubleClickEvent(QMouseEvent *event)
{
    const QPointF point = toContent(event->position());
    doubleClicked(point, cellAt(point));
}

void PhotoCanvas::doubleClicked(QPointF, const std::optional<Cell> &)
{
}

QMenu *PhotoCanvas::backgroundMenu(QPointF)
{
    return nullptr;
}

void PhotoCanvas::startCellDrag(const Cell &cell)
{
    auto *drag = new QDrag(viewport());
    drag->setMimeData(m_store.dragMimeData(cell.photo.id));
    const QSizeF image = cell.imageRect.size();
    const qreal scale = qMin(1.0, 120.0 / qMax(image.width(), image.height()));
    const QSize size = (image * scale).toSize().expandedTo(QSize(1, 1));
    QPixmap pixmap(size * devicePixelRatioF());
    pixmap.setDevicePixelRatio(devicePixelRatioF());
    pixmap.fill(Qt::transparent);
    {
        QPainter painter(&pixmap);
        painter.setOpacity(0.85);
        painter.scale(scale, scale);
        PhotoCellPainter::paint(painter, QRectF(QPointF(), image), cell.photo,
                                m_feed->image(cell.photo.id), {});
    }
    drag->setPixmap(pixmap);
    drag->setHotSpot(QPoint(size.width() / 2, size.height() / 2));
    drag->exec(Qt::MoveAction | Qt::CopyAction, Qt::MoveAction);
}

void PhotoCanvas::contextMenuEvent(QContextMenuEvent *event)
{
    const QPointF point = toContent(event->pos());
    QMenu *menu = nullptr;
    if (const std::optional<Cell> cell = cellAt(point)) {
        menu = PhotoContextMenu::create(m_store, cell->photo.id, cell->sectionID, this);
    } else {
        menu = backgroundMenu(point);
    }
    if (menu) {
        menu->setAttribute(Qt::WA_DeleteOnClose);
        menu->popup(event->globalPos());
    }
}
