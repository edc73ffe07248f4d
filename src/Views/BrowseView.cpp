#include "BrowseView.h"

#include "BrowseGridView.h"
#include "BrowseListView.h"
#include "DarkroomPalette.h"
#include "Symbols.h"
#include "Typography.h"
#include "ViewModels/CollectionStore.h"

#include <QBoxLayout>
#include <QGraphicsOpacityEffect>
#include <QLabel>
#include <QLocale>
#include <QPainter>
#include <QPropertyAnimation>
#include <QScrollArea>
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

} // namespace

// ----- Chip

FilterChip::FilterChip(const QString &title, qsizetype count, bool selected, QWidget *parent)
    : QAbstractButton(parent)
    , m_count(count)
    , m_selected(selected)
{
    setText(title);
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
    setAccessibleName(text() + QStringLiteral(", ") + QString::number(m_count) +
                      QStringLiteral(" photos"));
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
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 1); // the separator line along the bottom
    auto *scroll = new QScrollArea(this);
    scroll->setFrameShape(QFrame::NoFrame);
    scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    scroll->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    scroll->setWidgetResizable(true);
    scroll->viewport()->setAutoFillBackground(false);
    m_row = new QWidget(scroll);
    m_row->setAutoFillBackground(false);
    m_rowLayout = new QHBoxLayout(m_row);
    m_rowLayout->setContentsMargins(24, 10, 24, 10);
    m_rowLayout->setSpacing(8);
    scroll->setWidget(m_row);
    layout->addWidget(scroll);
    setFixedHeight(chipHeight + 20 + 1);
    for (auto signal :
         {&CollectionStore::collectionChanged, &CollectionStore::browseFilterSectionIDChanged}) {
        connect(&store, signal, this, &CategoryFilterBar::rebuild);
    }
    rebuild();
}

void CategoryFilterBar::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    rebuild();
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
    if (!m_chips.isEmpty() && keys == m_chipKeys) {
        // The same sections: only counts and the selected chip change (every filing key).
        m_chips[0]->setState(collection ? collection->photoCount() : 0, !filter);
        for (qsizetype i = 0; i < sections.size(); ++i) {
            m_chips[i + 1]->setState(sections[i].count(), filter == sections[i].id);
        }
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
    auto *all = new FilterChip(QStringLiteral("All"), collection ? collection->photoCount() : 0,
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
    for (FilterChip *chip : std::as_const(m_chips)) {
        m_rowLayout->addWidget(chip);
    }
    m_rowLayout->addStretch(1);
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
    column->addWidget(Typography::label(QStringLiteral("No photos in this category"),
                                        Typography::font(14, QFont::DemiBold),
                                        DarkroomPalette::quiet(), this),
                      0, Qt::AlignHCenter);
    column->addStretch(1);
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

    for (auto signal :
         {&CollectionStore::collectionChanged, &CollectionStore::browseFilterSectionIDChanged}) {
        connect(&store, signal, this, &BrowseView::reload);
    }
    connect(&store, &CollectionStore::browseLayoutChanged, this, &BrowseView::layoutDidChange);
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
