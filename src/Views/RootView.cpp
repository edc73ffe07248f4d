#include "RootView.h"

#include "CategoryNameSheet.h"
#include "CollectionWorkspace.h"
#include "DarkroomPalette.h"
#include "HudView.h"
#include "LoadingView.h"
#include "RecoveryBanner.h"
#include "Services/ThumbnailService.h"
#include "Typography.h"
#include "ViewModels/CollectionStore.h"
#include "ViewModels/ViewSettings.h"
#include "WelcomeView.h"

#include <QApplication>
#include <QDialogButtonBox>
#include <QLabel>
#include <QLocale>
#include <QMessageBox>
#include <QPushButton>
#include <QStackedLayout>
#include <QTextBoundaryFinder>
#include <QUndoStack>
#include <QVBoxLayout>

namespace {

constexpr int hudTopMargin = 18;

} // namespace

// A label wraps only where the text allows a break, and a run without one (a 250-character
// file name, a folder path) stretches it to the width of the screen and cuts the text off. A
// zero-width space between the graphemes of such a run allows a break there and draws
// nothing; ordinary words are left whole.
QString RootView::breakable(const QString &text)
{
    constexpr qsizetype longestWholeRun = 24;
    constexpr QChar zeroWidthSpace(0x200B);
    QString result;
    result.reserve(text.size());
    qsizetype i = 0;
    while (i < text.size()) {
        qsizetype end = i;
        while (end < text.size() && !text[end].isSpace()) {
            ++end;
        }
        if (end - i <= longestWholeRun) {
            end = qMax(end, i + 1); // a run, or the space after it
            result += QStringView(text).sliced(i, end - i);
            i = end;
            continue;
        }
        const QString run = text.sliced(i, end - i);
        QTextBoundaryFinder graphemes(QTextBoundaryFinder::Grapheme, run);
        qsizetype from = 0;
        for (qsizetype to = graphemes.toNextBoundary(); to > 0; to = graphemes.toNextBoundary()) {
            if (from > 0) {
                result += zeroWidthSpace;
            }
            result += QStringView(run).sliced(from, to - from);
            from = to;
        }
        i = end;
    }
    return result;
}

RootView::RootView(CollectionStore &store,
                   QUndoStack &undoStack,
                   std::shared_ptr<QSettings> settings,
                   QWidget *parent)
    : QWidget(parent)
    , m_store(store)
    , m_undoStack(undoStack)
    , m_settings(std::move(settings))
{
    DarkroomPalette::fillBackground(this, DarkroomPalette::canvas());

    auto *column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);
    m_recoveryBanner = new RecoveryBanner(m_store, this);
    column->addWidget(m_recoveryBanner);
    m_pages = new QStackedLayout;
    column->addLayout(m_pages, 1);
    auto *welcome = new WelcomeView(this);
    auto *loading = new LoadingView(this);
    m_welcome = welcome;
    m_loading = loading;
    m_workspace = new CollectionWorkspace(m_store, ThumbnailService::shared(), this);
    m_pages->addWidget(m_welcome);
    m_pages->addWidget(m_loading);
    m_pages->addWidget(m_workspace);
    connect(welcome, &WelcomeView::openFolder, &m_store, &CollectionStore::chooseFolder);
    connect(loading, &LoadingView::openFolder, &m_store, &CollectionStore::chooseFolder);
    connect(&m_store, &CollectionStore::loadingMessageChanged, loading,
            [this, loading] { loading->setMessage(m_store.loadingMessage()); });
    loading->setMessage(m_store.loadingMessage());
    connect(&m_store, &CollectionStore::loadingCountChanged, loading,
            [this, loading] { loading->setCount(m_store.loadingCount()); });

    m_hud = new HudView(this);

    connect(&m_store, &CollectionStore::collectionChanged, this, &RootView::updatePage);
    connect(&m_store, &CollectionStore::isLoadingChanged, this, &RootView::updatePage);
    connect(&m_store, &CollectionStore::hudMessageChanged, this, &RootView::updateHud);
    connect(&m_store, &CollectionStore::alertChanged, this, &RootView::presentAlert);
    connect(&m_store, &CollectionStore::deleteCategoryPromptChanged, this,
            &RootView::presentDeleteConfirmation);
    connect(&m_store, &CollectionStore::categoryPromptChanged, this,
            &RootView::presentCategoryPrompt);
    connect(&m_store, &CollectionStore::homeTrashPromptChanged, this,
            &RootView::presentHomeTrashConfirmation);
    for (auto signal :
         {&CollectionStore::workspaceModeChanged, &CollectionStore::browseLayoutChanged,
          &CollectionStore::browseFilterSectionIDChanged, &CollectionStore::thumbnailSizeChanged,
          &CollectionStore::browseCellSizeChanged}) {
        connect(&m_store, signal, this, &RootView::persistSettings);
    }
    updatePage();
}

QMessageBox *RootView::makeAlert(const QString &title,
                                 const QString &message,
                                 QMessageBox::StandardButtons buttons,
                                 QWidget *parent)
{
    const QString shownTitle = Typography::displayName(title);
    // A message box is at least as wide as its window title, so a long one is shortened there;
    // the label below carries it whole.
    constexpr int longestWindowTitle = 330;
    const QString windowTitle = QFontMetrics(QApplication::font("QMdiSubWindowTitleBar"))
                                    .elidedText(shownTitle, Qt::ElideMiddle, longestWindowTitle);
    auto *box = new QMessageBox(QMessageBox::Warning, windowTitle, {}, buttons, parent);
    // Window managers put an icon and three buttons beside the title and shorten a title that
    // does not fit; a message box leaves room for only a little more than the title itself. Its
    // layout is made anew with each text set, its buttons stay.
    constexpr int titleBarExtras = 130;
    constexpr int narrowestAlert = 360;
    if (auto *row = box->findChild<QDialogButtonBox *>()) {
        const int titleWidth = QFontMetrics(QApplication::font("QMdiSubWindowTitleBar"))
                                   .horizontalAdvance(windowTitle);
        row->setMinimumWidth(qMax(narrowestAlert, titleWidth + titleBarExtras));
    }
    // Names are the user's data: one named "<b>x</b>" is shown as typed, never as markup.
    box->setTextFormat(Qt::PlainText);
    box->setText(breakable(shownTitle));
    if (!message.isEmpty()) {
        box->setInformativeText(breakable(Typography::displayName(message)));
        if (auto *informative =
                box->findChild<QLabel *>(QStringLiteral("qt_msgbox_informativelabel"))) {
            informative->setTextFormat(Qt::PlainText);
        }
    }
    return box;
}

QString RootView::deleteConfirmationMessage(qsizetype photoCount, qsizetype unreadableNameCount)
{
    // Such a folder is never empty, and it cannot be removed until those names are fixed.
    if (unreadableNameCount == 1) {
        return tr("The folder holds a file whose name can\u2019t be read. Rename or "
                              "remove it in a file manager before deleting the category.");
    }
    if (unreadableNameCount > 1) {
        return tr("The folder holds %Ln files whose names can\u2019t be read. Rename or remove "
                  "them in a file manager before deleting the category.",
                  nullptr, int(unreadableNameCount));
    }
    if (photoCount == 0) {
        return tr("The empty folder will be removed. You can undo this action.");
    }
    if (photoCount == 1) {
        return tr("1 photo will move to Unsorted before the folder is removed. You can undo this "
                  "action.");
    }
    return tr("%Ln photos will move to Unsorted before the folder is removed. You can undo this "
              "action.",
              nullptr, int(photoCount));
}

QString RootView::homeTrashTitle(const HomeTrashPrompt &prompt)
{
    return prompt.volumeName.isEmpty() ? tr("This disk has no trash")
                                       : tr("\u201C%1\u201D has no trash").arg(prompt.volumeName);
}

QString RootView::homeTrashMessage(const HomeTrashPrompt &prompt)
{
    const QString size = QLocale().formattedDataSize(prompt.byteCount);
    if (prompt.photos.size() == 1) {
        return tr("The photo (%1) will be copied to the trash in your home folder, which takes a "
                  "while and uses that space on your home disk until the trash is emptied.")
            .arg(size);
    }
    return tr("%Ln photos (%1) will be copied to the trash in your home folder, which takes a "
              "while and uses that space on your home disk until the trash is emptied.",
              nullptr, int(prompt.photos.size()))
        .arg(size);
}

void RootView::prepareStore()
{
    if (m_prepared) {
        return;
    }
    m_prepared = true;
    m_store.setUndoStack(&m_undoStack);
    m_store.installKeyEventMonitor();
    const ViewSettings::Values saved = ViewSettings::read(*m_settings);
    m_store.setWorkspaceMode(saved.workspaceMode);
    m_store.setBrowseLayout(saved.browseLayout);
    m_store.setBrowseFilter(saved.browseFilter);
    m_store.setThumbnailSize(saved.thumbnailSize);
    m_store.setBrowseCellSize(saved.browseCellSize);
    persistSettings(); // clamped values go back, so both sides agree
}

void RootView::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    prepareStore();
}

void RootView::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    placeHud();
}

RootView::Page RootView::page() const
{
    if (m_store.collection()) {
        return Page::workspace;
    }
    return m_store.isLoading() ? Page::loading : Page::welcome;
}

void RootView::updatePage()
{
    switch (page()) {
    case Page::welcome:
        m_pages->setCurrentWidget(m_welcome);
        break;
    case Page::loading:
        m_pages->setCurrentWidget(m_loading);
        break;
    case Page::workspace:
        m_pages->setCurrentWidget(m_workspace);
        break;
    }
    m_hud->raise();
}

void RootView::placeHud()
{
    m_hud->resize(m_hud->sizeHint());
    // Below the recovery banner, which must stay readable.
    const int top = m_recoveryBanner->isVisible() ? m_recoveryBanner->geometry().bottom() + 1 : 0;
    m_hud->move((width() - m_hud->width()) / 2, top + hudTopMargin);
}

void RootView::updateHud()
{
    // HudView reads motion from the desktop through the store's setting.
    const bool animate = !m_store.prefersReducedMotion();
    m_hud->setMessage(m_store.hudMessage(), animate);
    placeHud();
}

void RootView::presentAlert()
{
    if (m_alertBox) {
        m_alertBox->disconnect(this);
        m_alertBox->close();
        m_alertBox->deleteLater();
    }
    const std::optional<UserFacingAlert> &alert = m_store.alert();
    if (!alert) {
        return;
    }
    QMessageBox *box = makeAlert(alert->title, alert->message, QMessageBox::Ok, this);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setWindowModality(Qt::WindowModal);
    const QUuid id = alert->id;
    connect(box, &QMessageBox::finished, this, [this, id] {
        if (m_store.alert() && m_store.alert()->id == id) {
            m_store.clearAlert();
        }
    });
    m_alertBox = box;
    box->open();
}

void RootView::closeConfirmation(QPointer<QMessageBox> &slot, QObject *receiver)
{
    if (slot) {
        slot->disconnect(receiver);
        slot->close();
    }
}

void RootView::askConfirmation(QPointer<QMessageBox> &slot, const QString &title,
                               const QString &text, const QString &action,
                               QMessageBox::ButtonRole role, std::function<void()> confirm,
                               std::function<void()> cancel)
{
    closeConfirmation(slot, this);
    QMessageBox *box = makeAlert(title, {}, QMessageBox::Cancel, this);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setWindowModality(Qt::WindowModal);
    box->setInformativeText(text);
    QPushButton *button = box->addButton(action, role);
    box->setDefaultButton(QMessageBox::Cancel);
    box->setEscapeButton(QMessageBox::Cancel);
    connect(box, &QMessageBox::finished, this,
            [box, button, confirm = std::move(confirm), cancel = std::move(cancel)] {
                box->clickedButton() == button ? confirm() : cancel();
            });
    slot = box;
    box->open();
}

void RootView::presentDeleteConfirmation()
{
    const std::optional<DeleteCategoryPrompt> &prompt = m_store.deleteCategoryPrompt();
    if (!prompt) {
        closeConfirmation(m_deleteBox, this);
        return;
    }
    const DeleteCategoryPrompt confirmed = *prompt;
    askConfirmation(
        m_deleteBox, tr("Delete \u201C%1\u201D?").arg(confirmed.categoryName),
        deleteConfirmationMessage(confirmed.photoCount, confirmed.unreadableNameCount),
        tr("Delete Category"), QMessageBox::DestructiveRole,
        [this, confirmed] { m_store.confirmDeleteCategory(confirmed); },
        [this] { m_store.cancelDeleteCategory(); });
}

void RootView::presentHomeTrashConfirmation()
{
    const std::optional<HomeTrashPrompt> &prompt = m_store.homeTrashPrompt();
    if (!prompt) {
        closeConfirmation(m_homeTrashBox, this);
        return;
    }
    const HomeTrashPrompt asked = *prompt;
    askConfirmation(
        m_homeTrashBox, homeTrashTitle(asked), homeTrashMessage(asked), tr("Move to Home Trash"),
        QMessageBox::AcceptRole, [this, asked] { m_store.confirmHomeTrash(asked); },
        [this, asked] {
            if (m_store.homeTrashPrompt() && m_store.homeTrashPrompt()->id == asked.id) {
                m_store.cancelHomeTrash();
            }
        });
}

void RootView::presentCategoryPrompt()
{
    const std::optional<CategoryPrompt> &prompt = m_store.categoryPrompt();
    if (prompt && m_sheet && prompt->id == m_sheetPromptID) {
        return;
    }
    if (m_sheet) {
        m_sheet->disconnect(this);
        m_sheet->close();
        m_sheet->deleteLater();
    }
    if (!prompt) {
        return;
    }
    auto *sheet = new CategoryNameSheet(*prompt, this);
    sheet->setAttribute(Qt::WA_DeleteOnClose);
    const CategoryPrompt shown = *prompt;
    m_sheetPromptID = shown.id;
    connect(sheet, &CategoryNameSheet::submitted, this,
            [this, shown](const QString &name) { m_store.submitCategoryPrompt(shown, name); });
    connect(sheet, &QDialog::rejected, this, [this, shown] {
        if (m_store.categoryPrompt() && m_store.categoryPrompt()->id == shown.id) {
            m_store.cancelCategoryPrompt();
        }
    });
    m_sheet = sheet;
    sheet->open();
}

void RootView::persistSettings()
{
    using namespace ViewSettings;
    QSettings &s = *m_settings;
    s.setValue(workspaceModeKey, rawValue(m_store.workspaceMode()));
    s.setValue(browseLayoutKey, rawValue(m_store.browseLayout()));
    s.setValue(browseFilterKey, m_store.browseFilterSectionID().value_or(allCategories));
    s.setValue(thumbnailSizeKey, m_store.thumbnailSize());
    s.setValue(browseCellSizeKey, m_store.browseCellSize());
}
