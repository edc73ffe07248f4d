#include "CollectionWorkspace.h"

#include "FileIntoField.h"

#include "BrandMark.h"
#include "BrowseView.h"
#include "DarkroomButton.h"
#include "DarkroomPalette.h"
#include "FileIntoField.h"
#include "FocusInfoLine.h"
#include "GalleryView.h"
#include "SegmentedControl.h"
#include "Symbols.h"
#include "Typography.h"
#include "ViewModels/CollectionStore.h"

#include <QCoreApplication>
#include <QBoxLayout>
#include <QLabel>
#include <QLocale>
#include <QPainter>
#include <QSlider>
#include <QStackedWidget>

namespace {

// A one-line label that elides its text in the middle when it does not fit.
class MiddleElidedLabel : public QLabel
{
public:
    using QLabel::QLabel;
    QSize minimumSizeHint() const override { return {0, QLabel::minimumSizeHint().height()}; }

protected:
    void paintEvent(QPaintEvent *) override
    {
        QPainter painter(this);
        painter.setFont(font());
        painter.setPen(palette().color(QPalette::WindowText));
        painter.drawText(rect(), Qt::AlignLeft | Qt::AlignVCenter,
                         fontMetrics().elidedText(text(), Qt::ElideMiddle, width()));
    }
};

QWidget *hairline(QWidget *parent, Qt::Orientation orientation, int length = 0)
{
    auto *line = new QWidget(parent);
    DarkroomPalette::fillBackground(line, DarkroomPalette::separator());
    if (orientation == Qt::Horizontal) {
        line->setFixedHeight(1);
    } else {
        line->setFixedSize(1, length);
    }
    return line;
}

QLabel *symbolLabel(const QString &name, int size, QWidget *parent)
{
    auto *label = new QLabel(parent);
    label->setFixedSize(size, size);
    label->setPixmap(Symbols::icon(name, DarkroomPalette::quiet()).pixmap(size, size));
    return label;
}

} // namespace

// ----- Header

CollectionHeader::CollectionHeader(CollectionStore &store, QWidget *parent)
    : QWidget(parent)
    , m_store(store)
{
    using namespace DarkroomPalette;
    DarkroomPalette::fillBackground(this, canvas());
    auto *row = new QHBoxLayout(this);
    row->setContentsMargins(24, 15, 24, 15);
    row->setSpacing(20);

    auto *mark = new BrandMark(paper(), this);
    mark->setFixedSize(34, 34);
    row->addWidget(mark);

    auto *titles = new QVBoxLayout;
    titles->setSpacing(4);
    m_name = Typography::label({}, Typography::font(21, QFont::Bold), paper(), this);
    m_path = new MiddleElidedLabel(this);
    m_path->setFont(Typography::font(11, QFont::Medium));
    QPalette pathPalette = m_path->palette();
    pathPalette.setColor(QPalette::WindowText, quiet());
    m_path->setPalette(pathPalette);
    m_path->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    m_name->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    m_note = Typography::label({}, Typography::font(11, QFont::Medium), quiet(), this);
    m_note->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    m_note->hide();
    // Where the folder lies, before its path: "Network share · nas:/photos", "Read-only".
    auto *place = new QHBoxLayout;
    place->setSpacing(8);
    m_volume = Typography::label({}, Typography::font(11, QFont::DemiBold), mutedPaper(), this);
    m_volume->hide();
    m_readOnly = Typography::label(QCoreApplication::translate("CollectionWorkspace", "Read-only"),
                                   Typography::font(11, QFont::DemiBold), ember(), this);
    m_readOnly->hide();
    place->addWidget(m_volume);
    place->addWidget(m_readOnly);
    place->addWidget(m_path, 1);
    titles->addWidget(m_name);
    titles->addLayout(place);
    titles->addWidget(m_note);
    row->addLayout(titles, 1);

    QList<SegmentedControl::Segment> modes;
    for (const WorkspaceMode mode : allCases<WorkspaceMode>()) {
        modes.append({label(mode), {}, {}});
    }
    m_modePicker = new SegmentedControl(modes, 144, this);
    m_modePicker->setToolTip(QCoreApplication::translate("CollectionWorkspace", "Switch between Sort and Browse"));
    m_modePicker->setAccessibleName(QCoreApplication::translate("CollectionWorkspace", "Mode"));
    connect(m_modePicker, &SegmentedControl::activated, this, [this](int index) {
        m_store.setWorkspaceMode(allCases<WorkspaceMode>()[std::size_t(index)]);
    });
    row->addWidget(m_modePicker);

    m_metrics = new QWidget(this);
    auto *metrics = new QHBoxLayout(m_metrics);
    metrics->setContentsMargins(0, 0, 0, 0);
    metrics->setSpacing(18);
    const auto metric = [&](QLabel *&value, QLabel *&word) {
        auto *pair = new QHBoxLayout;
        pair->setSpacing(5);
        value =
            Typography::label({}, Typography::monospaced(13, QFont::DemiBold), paper(), m_metrics);
        word = Typography::label({}, Typography::font(12, QFont::Medium), mutedPaper(), m_metrics);
        pair->addWidget(value);
        pair->addWidget(word);
        metrics->addLayout(pair);
    };
    metric(m_photoValue, m_photoLabel);
    metric(m_categoryValue, m_categoryLabel);
    row->addWidget(m_metrics);

    QList<SegmentedControl::Segment> layouts;
    for (const BrowseLayoutMode layout : allCases<BrowseLayoutMode>()) {
        layouts.append({{}, systemImage(layout), label(layout)});
    }
    m_layoutPicker = new SegmentedControl(layouts, 116, this);
    m_layoutPicker->setAccessibleName(QCoreApplication::translate("CollectionWorkspace", "Browse layout"));
    connect(m_layoutPicker, &SegmentedControl::activated, this, [this](int index) {
        m_store.setBrowseLayout(allCases<BrowseLayoutMode>()[std::size_t(index)]);
    });
    row->addWidget(m_layoutPicker);

    auto *newCategory = new DarkroomButton(QCoreApplication::translate("CollectionWorkspace", "New Category"), false, this);
    newCategory->setSymbol(QStringLiteral("folder.badge.plus"));
    connect(newCategory, &QPushButton::clicked, &m_store, &CollectionStore::showNewCategoryPrompt);
    m_newCategory = newCategory;
    row->addWidget(newCategory);
    auto *open = new DarkroomButton(QCoreApplication::translate("CollectionWorkspace", "Open"), true, this);
    open->setSymbol(QStringLiteral("folder"));
    connect(open, &QPushButton::clicked, &m_store, &CollectionStore::chooseFolder);
    row->addWidget(open);

    for (auto signal :
         {&CollectionStore::collectionChanged, &CollectionStore::isLoadingChanged,
          &CollectionStore::workspaceModeChanged, &CollectionStore::browseLayoutChanged,
          &CollectionStore::volumeChanged}) {
        connect(&store, signal, this, &CollectionHeader::refresh);
    }
    refresh();
}

void CollectionHeader::refresh()
{
    const std::optional<PhotoCollection> &collection = m_store.collection();
    m_name->setText(collection ? Typography::displayName(collection->displayName) : QString());
    m_path->setText(collection ? Typography::displayName(collection->rootURL.toLocalFile())
                               : QString());
    m_path->setToolTip(m_path->text());
    const Volume &volume = m_store.volume();
    m_volume->setText(collection ? volumeText(volume) : QString());
    m_volume->setToolTip(volume.mount.source);
    m_volume->setVisible(!m_volume->text().isEmpty());
    m_readOnly->setVisible(collection && volume.readOnly);
    const QStringList unreadable = collection ? collection->unreadableFolders : QStringList();
    m_note->setText(unreadableFoldersNote(unreadable));
    m_note->setToolTip(m_note->text());
    m_note->setVisible(!unreadable.isEmpty());
    const qsizetype photos = collection ? collection->photoCount() : 0;
    const qsizetype categories = collection ? collection->categoryCount() : 0;
    m_photoValue->setText(QLocale().toString(photos));
    m_photoLabel->setText(photos == 1 ? QCoreApplication::translate("CollectionWorkspace", "photo")
                                      : QCoreApplication::translate("CollectionWorkspace", "photos",
                                                                    nullptr, int(photos)));
    m_categoryValue->setText(QLocale().toString(categories));
    m_categoryLabel->setText(
        categories == 1 ? QCoreApplication::translate("CollectionWorkspace", "category")
                        : QCoreApplication::translate("CollectionWorkspace", "categories", nullptr,
                                                      int(categories)));

    const bool browsing = m_store.workspaceMode() == WorkspaceMode::browse;
    const auto modes = allCases<WorkspaceMode>();
    m_modePicker->setCurrentIndex(
        int(std::find(modes.begin(), modes.end(), m_store.workspaceMode()) - modes.begin()));
    const auto layouts = allCases<BrowseLayoutMode>();
    m_layoutPicker->setCurrentIndex(
        int(std::find(layouts.begin(), layouts.end(), m_store.browseLayout()) - layouts.begin()));
    m_metrics->setVisible(!browsing);
    m_layoutPicker->setVisible(browsing);
    m_newCategory->setEnabled(m_store.canCreateCategory());
}

QString CollectionHeader::unreadableFoldersNote(const QStringList &names)
{
    if (names.isEmpty()) {
        return {};
    }
    QStringList shown;
    for (const QString &name : names) {
        shown.append(Typography::displayName(name));
    }
    return (names.size() == 1
                ? QCoreApplication::translate("CollectionWorkspace", "1 folder can\u2019t be read: ")
                : QCoreApplication::translate("CollectionWorkspace", "%Ln folders can\u2019t be read: ",
                                              nullptr, int(names.size()))) +
           shown.join(QStringLiteral(", "));
}

QString CollectionHeader::volumeText(const Volume &volume)
{
    QString kind;
    switch (volume.kind) {
    case Volume::Kind::local:
        return {};
    case Volume::Kind::removable:
        kind = QCoreApplication::translate("CollectionWorkspace", "Removable disk");
        break;
    case Volume::Kind::share:
        kind = QCoreApplication::translate("CollectionWorkspace", "Network share");
        break;
    case Volume::Kind::fuse:
        kind = QCoreApplication::translate("CollectionWorkspace", "FUSE mount");
        break;
    }
    if (volume.name.isEmpty()) {
        return kind;
    }
    return kind + QStringLiteral(" \u00B7 ") + Typography::displayName(volume.name);
}

QString CollectionHeader::metricsText() const
{
    return m_photoValue->text() + QLatin1Char(' ') + m_photoLabel->text() + QLatin1Char(' ') +
           m_categoryValue->text() + QLatin1Char(' ') + m_categoryLabel->text();
}

// ----- Status strip

StatusStrip::StatusStrip(CollectionStore &store, QWidget *parent)
    : QWidget(parent)
    , m_store(store)
{
    using namespace DarkroomPalette;
    DarkroomPalette::fillBackground(this, raised());
    setFixedHeight(38);
    auto *row = new QHBoxLayout(this);
    row->setContentsMargins(24, 0, 24, 0);
    row->setSpacing(18);
    m_selection =
        Typography::label({}, Typography::monospaced(11, QFont::DemiBold), mutedPaper(), this);
    row->addWidget(m_selection);
    row->addWidget(hairline(this, Qt::Vertical, 16));
    const QFont hintFont = Typography::monospaced(10, QFont::DemiBold);
    for (const char *hint :
         {QT_TRANSLATE_NOOP("CollectionWorkspace", "1–9 FILE"),
          QT_TRANSLATE_NOOP("CollectionWorkspace", "0 UNSORTED"),
          QT_TRANSLATE_NOOP("CollectionWorkspace", "SPACE PREVIEW"),
          QT_TRANSLATE_NOOP("CollectionWorkspace", "DEL TRASH")}) {
        row->addWidget(Typography::label(QCoreApplication::translate("CollectionWorkspace", hint),
                                         hintFont, quiet(), this));
    }
    m_byName = Typography::label(QCoreApplication::translate("CollectionWorkspace", "A\u2013Z FILE BY NAME"), hintFont, quiet(), this);
    row->addWidget(m_byName);
    row->addStretch(1);
    m_sizeSymbol = symbolLabel(QStringLiteral("rectangle.grid.3x2"), 14, this);
    row->addWidget(m_sizeSymbol);
    m_slider = new QSlider(Qt::Horizontal, this);
    m_slider->setFixedWidth(132);
    m_slider->setRange(sliderMinimum, sliderMaximum);
    m_slider->setSingleStep(sliderStep);
    m_slider->setPageStep(sliderStep);
    m_slider->setAccessibleName(QCoreApplication::translate("CollectionWorkspace", "Thumbnail size"));
    QPalette sliderPalette = m_slider->palette();
    sliderPalette.setColor(QPalette::Highlight, ember());
    sliderPalette.setColor(QPalette::Disabled, QPalette::Highlight, separator());
    m_slider->setPalette(sliderPalette);
    connect(m_slider, &QSlider::valueChanged, this, &StatusStrip::sliderMoved);
    row->addWidget(m_slider);

    for (auto signal :
         {&CollectionStore::selectedPhotoIDsChanged, &CollectionStore::workspaceModeChanged,
          &CollectionStore::browseLayoutChanged, &CollectionStore::thumbnailSizeChanged,
          &CollectionStore::browseCellSizeChanged, &CollectionStore::collectionChanged}) {
        connect(&store, signal, this, &StatusStrip::refresh);
    }
    refresh();
}

QString StatusStrip::selectionText() const
{
    return m_selection->text();
}

QStringList StatusStrip::hints() const
{
    QStringList shown;
    for (const QLabel *label : findChildren<QLabel *>(Qt::FindDirectChildrenOnly)) {
        if (label != m_selection && !label->isHidden() && !label->text().isEmpty()) {
            shown.append(label->text());
        }
    }
    return shown;
}

void StatusStrip::refresh()
{
    using namespace DarkroomPalette;
    const qsizetype selected = m_store.selectedCount();
    m_selection->setText(selected > 0 ? QCoreApplication::translate("CollectionWorkspace",
                                                                    "%Ln selected", nullptr,
                                                                    int(selected))
                                      : QCoreApplication::translate("CollectionWorkspace",
                                                                    "No selection"));
    QPalette palette = m_selection->palette();
    palette.setColor(QPalette::WindowText, selected > 0 ? paper() : mutedPaper());
    m_selection->setPalette(palette);

    const bool browsing = m_store.workspaceMode() == WorkspaceMode::browse;
    const std::optional<PhotoCollection> &collection = m_store.collection();
    // Beyond nine categories the rest have no number key: typing a name reaches them.
    m_byName->setVisible(!browsing && collection && collection->categoryCount() > 9);
    const QString symbol =
        browsing ? systemImage(m_store.browseLayout()) : QStringLiteral("rectangle.grid.3x2");
    if (symbol != m_sizeSymbolName) {
        m_sizeSymbolName = symbol;
        m_sizeSymbol->setPixmap(Symbols::icon(symbol, quiet()).pixmap(14, 14));
    }
    const QSignalBlocker blocker(m_slider);
    m_slider->setValue(qRound(browsing ? m_store.browseCellSize() : m_store.thumbnailSize()));
    m_slider->setEnabled(!(browsing && m_store.browseLayout() == BrowseLayoutMode::list));
}

void StatusStrip::sliderMoved(int value)
{
    // Keep to the slider's steps of 8 from its minimum, whatever moved it.
    const int stepped =
        sliderMinimum + qRound(double(value - sliderMinimum) / sliderStep) * sliderStep;
    if (m_store.workspaceMode() == WorkspaceMode::browse) {
        m_store.setBrowseCellSize(stepped);
    } else {
        m_store.setThumbnailSize(stepped);
    }
}

void StatusStrip::paintEvent(QPaintEvent *event)
{
    QWidget::paintEvent(event);
    QPainter painter(this);
    painter.fillRect(QRect(0, 0, width(), 1), DarkroomPalette::separator());
}

// ----- Workspace

CollectionWorkspace::CollectionWorkspace(CollectionStore &store,
                                         ThumbnailService &thumbnails,
                                         QWidget *parent)
    : QWidget(parent)
    , m_store(store)
{
    auto *column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);
    m_header = new CollectionHeader(store, this);
    column->addWidget(m_header);
    column->addWidget(hairline(this, Qt::Horizontal));
    m_content = new QStackedWidget(this);
    m_gallery = new GalleryView(store, thumbnails, m_content);
    m_browse = new QWidget(m_content);
    auto *browse = new QVBoxLayout(m_browse);
    browse->setContentsMargins(0, 0, 0, 0);
    browse->setSpacing(0);
    m_filterBar = new CategoryFilterBar(store, m_browse);
    m_browseView = new BrowseView(store, thumbnails, m_browse);
    connect(m_filterBar, &CategoryFilterBar::filterApplied, m_browseView, &BrowseView::reload);
    browse->addWidget(m_filterBar);
    browse->addWidget(m_browseView, 1);
    m_content->addWidget(m_gallery);
    m_content->addWidget(m_browse);
    column->addWidget(m_content, 1);
    m_fileInto = new FileIntoField(store, m_gallery, this);
    column->addWidget(m_fileInto);
    m_status = new StatusStrip(store, this);
    column->addWidget(m_status);
    m_focusInfo = new FocusInfoLine(store, {}, this);
    column->addWidget(m_focusInfo);
    connect(&store, &CollectionStore::workspaceModeChanged, this, &CollectionWorkspace::showMode);
    showMode();
}

void CollectionWorkspace::showMode()
{
    const bool browsing = m_store.workspaceMode() == WorkspaceMode::browse;
    if (browsing && m_content->currentWidget() != m_browse && isVisible()) {
        m_browseView->prepare();
    }
    m_content->setCurrentWidget(browsing ? m_browse : m_gallery);
}
