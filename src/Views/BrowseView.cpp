#include "BrowseView.h"

#include "BrowseGridView.h"
#include "BrowseListView.h"
#include "DarkroomPalette.h"
#include "Symbols.h"
#include "Typography.h"
#include "ViewModels/CollectionStore.h"

#include <QCoreApplication>
#include <QApplication>
#include <QBoxLayout>
#include <QGraphicsOpacityEffect>
#include <QLabel>
#include <QLocale>
#include <QMouseEvent>
#include <QPainter>
#include <QPropertyAnimation>
#include <QScrollArea>
#include <QScrollBar>
#include <QStackedWidget>

namespace {

constexpr int chipHeight = 28;
constexpr int chipInset = 12;
constexpr int chipSpacing = 7;

const QFont &chipTitleFont()
{
    static const QFont font = Typography::font(12, QFont::DemiBold);
    return font;
}

const QFont &chipCountFont()
{
    static const QFont font = Typography::monospaced(10, QFont::Bold);
    return font;
}

constexpr int rowMargin = 24;
constexpr int arrowWidth = 30;

// The chip row scrolls only sideways, so the wheel (or a vertical swipe) moves it sideways.
class ChipScrollArea : public QScrollArea
{
public:
    using QScrollArea::QScrollArea;

protected:
    void wheelEvent(QWheelEvent *event) override
    {
        // A horizontal scroll bar turns a vertical wheel into sideways steps itself.
        QCoreApplication::sendEvent(horizontalScrollBar(), event);
    }
};

// The button at either end of an overflowing chip row: a chevron, dimmed when the row cannot
// move further that way. Holding it keeps scrolling.
class ScrollArrow : public QAbstractButton
{
public:
    ScrollArrow(Qt::ArrowType direction, QWidget *parent)
        : QAbstractButton(parent)
        , m_direction(direction)
    {
        setCursor(Qt::PointingHandCursor);
        setFocusPolicy(Qt::NoFocus);
        setAutoRepeat(true);
        setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Expanding);
        setAccessibleName(direction == Qt::LeftArrow ? QCoreApplication::translate("BrowseView", "Scroll categories left")
                                                     : QCoreApplication::translate("BrowseView", "Scroll categories right"));
    }

    QSize sizeHint() const override { return {arrowWidth, chipHeight}; }

protected:
    void paintEvent(QPaintEvent *) override
    {
        using namespace DarkroomPalette;
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        const bool left = m_direction == Qt::LeftArrow;
        // A hairline on the side facing the chips, so the arrow reads as an edge of the row.
        painter.fillRect(QRectF(left ? width() - 1 : 0, 8, 1, height() - 17), separator());
        QColor ink = isEnabled() ? (isDown() ? paper() : mutedPaper()) : quiet();
        if (!isEnabled()) {
            ink.setAlphaF(0.5f);
        }
        painter.setPen(QPen(ink, 1.8, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
        const QPointF centre = QRectF(rect()).adjusted(0, 0, 0, -1).center();
        const double reach = left ? 2.5 : -2.5;
        const QPointF tip = centre - QPointF(reach, 0);
        painter.drawPolyline(
            QList<QPointF>{tip + QPointF(2 * reach, -5), tip, tip + QPointF(2 * reach, 5)});
    }

private:
    Qt::ArrowType m_direction;
};

} // namespace

// ----- Chip

FilterChip::FilterChip(const QString &title, qsizetype count, bool selected, QWidget *parent)
    : QAbstractButton(parent)
    , m_count(count)
    , m_selected(selected)
{
    setText(Typography::displayName(title));
    setCursor(Qt::PointingHandCursor);
    setFocusPolicy(Qt::NoFocus);
    countDidChange();
}

void FilterChip::setState(qsizetype count, bool selected)
{
    if (count == m_count && selected == m_selected) {
        return;
    }
    m_count = count;
    m_selected = selected;
    countDidChange();
    update();
}

void FilterChip::countDidChange()
{
    setAccessibleName(m_count == 1
                          ? QCoreApplication::translate("BrowseView", "%1, 1 photo").arg(text())
                          : QCoreApplication::translate("BrowseView", "%1, %Ln photos", nullptr,
                                                        int(m_count))
                                .arg(text()));
    setFixedSize(sizeHint()); // the count's width
}

QString FilterChip::countText() const
{
    return QLocale().toString(m_count);
}

QSize FilterChip::sizeHint() const
{
    const int width = QFontMetrics(chipTitleFont()).horizontalAdvance(text()) + chipSpacing +
                      QFontMetrics(chipCountFont()).horizontalAdvance(countText());
    return {width + 2 * chipInset, chipHeight};
}

void FilterChip::paintEvent(QPaintEvent *)
{
    using namespace DarkroomPalette;
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QRectF capsule = QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5);
    painter.setPen(QPen(m_selected ? paper() : separator(), 1));
    painter.setBrush(m_selected ? paper() : canvas());
    painter.drawRoundedRect(capsule, capsule.height() / 2, capsule.height() / 2);
    if (isDown()) {
        painter.setOpacity(0.7);
    }
    const QRectF content = capsule.adjusted(chipInset, 0, -chipInset, 0);
    painter.setFont(chipTitleFont());
    painter.setPen(m_selected ? canvas() : mutedPaper());
    painter.drawText(content, Qt::AlignLeft | Qt::AlignVCenter, text());
    QColor countColor = m_selected ? canvas() : quiet();
    if (m_selected) {
        countColor.setAlphaF(0.68f);
    }
    painter.setFont(chipCountFont());
    painter.setPen(countColor);
    painter.drawText(content, Qt::AlignRight | Qt::AlignVCenter, countText());
}

// ----- Filter bar

CategoryFilterBar::CategoryFilterBar(CollectionStore &store, QWidget *parent)
    : QWidget(parent)
    , m_store(store)
{
    DarkroomPalette::fillBackground(this, DarkroomPalette::raised());
    auto *layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 1); // the separator line along the bottom
    layout->setSpacing(0);
    m_scroll = new ChipScrollArea(this);
    m_scroll->setFrameShape(QFrame::NoFrame);
    m_scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_scroll->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_scroll->setWidgetResizable(true);
    m_scroll->viewport()->setAutoFillBackground(false);
    m_row = new QWidget(m_scroll);
    m_row->setAutoFillBackground(false);
    m_row->installEventFilter(this);
    m_rowLayout = new QHBoxLayout(m_row);
    m_rowLayout->setContentsMargins(rowMargin, 10, rowMargin, 10);
    m_rowLayout->setSpacing(8);
    m_scroll->setWidget(m_row);
    m_scrollLeft = new ScrollArrow(Qt::LeftArrow, this);
    m_scrollRight = new ScrollArrow(Qt::RightArrow, this);
    layout->addWidget(m_scrollLeft);
    layout->addWidget(m_scroll, 1);
    layout->addWidget(m_scrollRight);
    setFixedHeight(chipHeight + 20 + 1);
    // A step of most of the visible row, so the chip cut off at the edge comes fully into view.
    connect(m_scrollLeft, &QAbstractButton::clicked, this,
            [this] { scrollBy(-m_scroll->viewport()->width() * 3 / 4); });
    connect(m_scrollRight, &QAbstractButton::clicked, this,
            [this] { scrollBy(m_scroll->viewport()->width() * 3 / 4); });
    QScrollBar *bar = m_scroll->horizontalScrollBar();
    bar->setSingleStep(chipHeight);
    connect(bar, &QScrollBar::rangeChanged, this, &CategoryFilterBar::updateArrows);
    connect(bar, &QScrollBar::valueChanged, this, &CategoryFilterBar::updateArrows);
    for (auto signal :
         {&CollectionStore::collectionChanged, &CollectionStore::browseFilterSectionIDChanged,
          &CollectionStore::duplicatesChanged}) {
        connect(&store, signal, this, &CategoryFilterBar::rebuild);
    }
    rebuild();
    updateArrows();
}

void CategoryFilterBar::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    rebuild();
}

void CategoryFilterBar::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    updateArrows();
}

void CategoryFilterBar::updateArrows()
{
    // Whether the chips fit is judged against the whole bar, not the row left between the
    // arrows: judged against the latter, showing the arrows would keep them shown.
    const bool overflows = m_rowLayout->minimumSize().width() > width();
    m_scrollLeft->setVisible(overflows);
    m_scrollRight->setVisible(overflows);
    const QScrollBar *bar = m_scroll->horizontalScrollBar();
    m_scrollLeft->setEnabled(bar->value() > bar->minimum());
    m_scrollRight->setEnabled(bar->value() < bar->maximum());
}

void CategoryFilterBar::scrollBy(int dx)
{
    QScrollBar *bar = m_scroll->horizontalScrollBar();
    bar->setValue(bar->value() + dx);
}

bool CategoryFilterBar::eventFilter(QObject *watched, QEvent *event)
{
    // Watches the row and every chip: a press anywhere on them may begin a drag of the row.
    switch (event->type()) {
    case QEvent::MouseButtonPress: {
        const auto *mouse = static_cast<QMouseEvent *>(event);
        if (mouse->button() == Qt::LeftButton) {
            m_drag = Drag{mouse->globalPosition().toPoint(),
                          m_scroll->horizontalScrollBar()->value(), false};
            return watched == m_row; // the row itself has nothing else to do with a press
        }
        break;
    }
    case QEvent::MouseMove: {
        const auto *mouse = static_cast<QMouseEvent *>(event);
        if (!m_drag || !(mouse->buttons() & Qt::LeftButton)) {
            break;
        }
        QScrollBar *bar = m_scroll->horizontalScrollBar();
        const int dx = mouse->globalPosition().toPoint().x() - m_drag->start.x();
        if (!m_drag->moving && qAbs(dx) >= QApplication::startDragDistance() &&
            bar->maximum() > bar->minimum()) {
            m_drag->moving = true;
            if (auto *chip = qobject_cast<QAbstractButton *>(watched)) {
                chip->setDown(false); // so letting go does not choose it
            }
        }
        if (m_drag->moving) {
            bar->setValue(m_drag->startValue - dx);
            return true; // the chip would press itself down again while under the pointer
        }
        break;
    }
    case QEvent::MouseButtonRelease:
        if (static_cast<QMouseEvent *>(event)->button() == Qt::LeftButton) {
            m_drag.reset(); // a chip let up by the drag takes the release without a click
        }
        break;
    default:
        break;
    }
    return QWidget::eventFilter(watched, event);
}

void CategoryFilterBar::rebuild()
{
    if (!isVisible() && !m_chips.isEmpty()) {
        return; // rebuilt when shown: filing in Sort mode changes counts at every key press
    }
    const QList<PhotoSection> sections = m_store.sections();
    const std::optional<PhotoCollection> &collection = m_store.collection();
    const std::optional<QString> &filter = m_store.browseFilterSectionID();
    QStringList keys;
    for (const PhotoSection &section : sections) {
        keys.append(section.id + QLatin1Char('/') + section.name);
    }
    const bool duplicatesShown = m_store.isShowingDuplicates();
    const auto duplicateCount = [this] {
        qsizetype count = 0;
        for (const QStringList &group : m_store.duplicates().groups()) {
            count += group.size();
        }
        return count;
    };
    if (!m_chips.isEmpty() && keys == m_chipKeys) {
        // The same sections: only counts and the selected chip change (every filing key).
        m_chips[0]->setState(collection ? collection->photoCount() : 0, !filter);
        for (qsizetype i = 0; i < sections.size(); ++i) {
            m_chips[i + 1]->setState(sections[i].count(), filter == sections[i].id);
        }
        m_chips.last()->setState(duplicateCount(), duplicatesShown);
        return;
    }
    m_chipKeys = keys;
    for (FilterChip *chip : std::as_const(m_chips)) {
        chip->hide();
        chip->deleteLater(); // a chip may be rebuilding the bar from its own click
    }
    m_chips.clear();
    while (QLayoutItem *item = m_rowLayout->takeAt(0)) {
        delete item;
    }
    auto *all = new FilterChip(QCoreApplication::translate("BrowseView", "All"), collection ? collection->photoCount() : 0,
                               !filter, m_row);
    connect(all, &QAbstractButton::clicked, this, [this] {
        m_store.setBrowseFilter(std::nullopt);
        Q_EMIT filterApplied();
    });
    m_chips.append(all);
    for (const PhotoSection &section : sections) {
        auto *chip = new FilterChip(section.name, section.count(), filter == section.id, m_row);
        const QString id = section.id;
        connect(chip, &QAbstractButton::clicked, this, [this, id] {
            m_store.setBrowseFilter(id);
            Q_EMIT filterApplied();
        });
        m_chips.append(chip);
    }
    // Last: the photos that are copies or near copies of another, wherever they lie.
    auto *duplicates = new FilterChip(QCoreApplication::translate("BrowseView", "Duplicates"),
                                      duplicateCount(), duplicatesShown, m_row);
    connect(duplicates, &QAbstractButton::clicked, this, [this] {
        m_store.setBrowseFilter(CollectionStore::duplicatesFilter());
        Q_EMIT filterApplied();
    });
    m_chips.append(duplicates);
    for (FilterChip *chip : std::as_const(m_chips)) {
        chip->installEventFilter(this);
        m_rowLayout->addWidget(chip);
    }
    m_rowLayout->addStretch(1);
    updateArrows();
}

void CategoryFilterBar::paintEvent(QPaintEvent *event)
{
    QWidget::paintEvent(event);
    QPainter painter(this);
    painter.fillRect(QRect(0, height() - 1, width(), 1), DarkroomPalette::separator());
}

// ----- Empty state

EmptyBrowseView::EmptyBrowseView(QWidget *parent)
    : QWidget(parent)
{
    auto *column = new QVBoxLayout(this);
    column->setSpacing(10);
    column->addStretch(1);
    auto *symbol = new QLabel(this);
    symbol->setPixmap(
        Symbols::icon(QStringLiteral("photo.on.rectangle.angled"), DarkroomPalette::quiet())
            .pixmap(28, 28));
    column->addWidget(symbol, 0, Qt::AlignHCenter);
    m_message = Typography::label(QString(), Typography::font(14, QFont::DemiBold),
                                  DarkroomPalette::quiet(), this);
    setDuplicates(false);
    column->addWidget(m_message, 0, Qt::AlignHCenter);
    column->addStretch(1);
}

void EmptyBrowseView::setDuplicates(bool duplicates)
{
    m_message->setText(
        duplicates ? QCoreApplication::translate("BrowseView", "No duplicates found")
                   : QCoreApplication::translate("BrowseView", "No photos in this category"));
}

// ----- Browse view

BrowseView::BrowseView(CollectionStore &store, ThumbnailService &thumbnails, QWidget *parent)
    : QWidget(parent)
    , m_store(store)
{
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    m_pages = new QStackedWidget(this);
    m_tiles = new BrowseGridView(BrowseGridView::Style::tiles, store, thumbnails, m_pages);
    m_list = new BrowseListView(store, thumbnails, m_pages);
    m_masonry = new BrowseGridView(BrowseGridView::Style::masonry, store, thumbnails, m_pages);
    m_empty = new EmptyBrowseView(m_pages);
    for (QWidget *page : {static_cast<QWidget *>(m_tiles), static_cast<QWidget *>(m_list),
                          static_cast<QWidget *>(m_masonry), static_cast<QWidget *>(m_empty)}) {
        m_pages->addWidget(page);
    }
    layout->addWidget(m_pages);

    connect(&store, &CollectionStore::collectionChanged, this, &BrowseView::reload);
    connect(&store, &CollectionStore::browseFilterSectionIDChanged, this,
            &BrowseView::filterDidChange);
    connect(&store, &CollectionStore::browseLayoutChanged, this, &BrowseView::layoutDidChange);
    connect(&store, &CollectionStore::duplicatesChanged, this, [this] {
        if (m_store.isShowingDuplicates()) {
            reload();
        }
    });
    m_list->resetSortOrder();
}

QWidget *BrowseView::currentPage() const
{
    return m_pages->currentWidget();
}

void BrowseView::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    if (!std::exchange(m_prepared, false)) {
        reload();
    }
    if (std::exchange(m_startPending, false)) {
        showFromStart();
    }
}

void BrowseView::prepare()
{
    load();
    m_prepared = true;
}

void BrowseView::reload()
{
    if (isVisible()) {
        load();
    } // otherwise the items are fetched when Browse mode is shown
}

void BrowseView::load()
{
    const QList<BrowsePhotoItem> items = m_store.browseItems();
    if (items.isEmpty()) {
        m_empty->setDuplicates(m_store.isShowingDuplicates());
        m_pages->setCurrentWidget(m_empty);
        m_store.updateBrowseNavigationOrder({}, 1, {});
        return;
    }
    QWidget *page = nullptr;
    switch (m_store.browseLayout()) {
    case BrowseLayoutMode::tiles:
        m_tiles->setItems(items);
        page = m_tiles;
        break;
    case BrowseLayoutMode::list:
        m_list->setItems(items);
        page = m_list;
        break;
    case BrowseLayoutMode::masonry:
        m_masonry->setItems(items);
        page = m_masonry;
        break;
    }
    m_pages->setCurrentWidget(page);
}

void BrowseView::filterDidChange()
{
    if (!isVisible()) {
        m_startPending = true;
        return;
    }
    load();
    showFromStart();
}

void BrowseView::showFromStart()
{
    // Another filter shows other photos: the scroll offset kept from the last ones would land
    // anywhere in them, and at their end whenever they are fewer. The focused photo, when the
    // filter shows it, stays in view instead.
    const std::optional<QString> focus = m_store.focusedPhotoID();
    switch (m_store.browseLayout()) {
    case BrowseLayoutMode::tiles:
        m_tiles->showFromStart(focus);
        break;
    case BrowseLayoutMode::list:
        m_list->showFromStart(focus);
        break;
    case BrowseLayoutMode::masonry:
        m_masonry->showFromStart(focus);
        break;
    }
}

void BrowseView::layoutDidChange()
{
    if (m_store.browseLayout() == BrowseLayoutMode::list) {
        m_list->resetSortOrder(); // the list starts from name order each time it is entered
    }
    reload();
    fadeIn();
}

void BrowseView::fadeIn()
{
    if (!isVisible() || m_store.prefersReducedMotion()) {
        return;
    }
    auto *effect = new QGraphicsOpacityEffect(m_pages);
    m_pages->setGraphicsEffect(effect); // replaces (and deletes) any fade still running
    auto *fade = new QPropertyAnimation(effect, "opacity", effect);
    fade->setDuration(fadeMs);
    fade->setStartValue(0.0);
    fade->setEndValue(1.0);
    fade->setEasingCurve(QEasingCurve::OutCubic);
    connect(fade, &QPropertyAnimation::finished, m_pages,
            [pages = m_pages] { pages->setGraphicsEffect(nullptr); });
    fade->start();
}

bool BrowseView::isFading() const
{
    return m_pages->graphicsEffect() != nullptr;
}
