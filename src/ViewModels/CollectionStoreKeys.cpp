#include "CollectionStore.h"

#include "KeyMap.h"
#include "Models/NaturalOrder.h"
#include "ViewSettings.h"

#include <QGuiApplication>
#include <QKeyEvent>
#include <QScopedValueRollback>
#include <QWindow>

#include <algorithm>

// The board keys, the preview window, open and reveal, and the view settings.

namespace {

// The X11 and xkb "Lock" modifier bit: Qt has no modifier flag for Caps Lock.
constexpr quint32 capsLockNativeMask = 0x2;

bool isArrow(int key)
{
    return key == Qt::Key_Left || key == Qt::Key_Right || key == Qt::Key_Up || key == Qt::Key_Down;
}

bool isPrintableCharacter(const QString &text)
{
    const QList<uint> codePoints = text.toUcs4();
    if (codePoints.size() != 1) {
        return false;
    }
    const QChar::Category category = QChar::category(char32_t(codePoints.first()));
    return category != QChar::Other_Control && category != QChar::Other_Format;
}

// A menu or a dialog open over the window has the keyboard: Escape must close it, and a digit
// typed into it must not file what is selected on the board behind it. While a menu is open
// its key presses still reach the main window first, so the window they arrive at says nothing.
bool menuOrDialogIsOpen()
{
    if (QGuiApplication::modalWindow()) {
        return true;
    }
    const QWindowList windows = QGuiApplication::topLevelWindows();
    return std::ranges::any_of(windows, [](const QWindow *window) {
        return window->isVisible() && window->type() == Qt::Popup;
    });
}

// Sees every key press of the application before the focused widget (and before menu
// shortcuts: a board key claims the shortcut-override so the press reaches us).
class KeyEventFilter : public QObject
{
public:
    explicit KeyEventFilter(CollectionStore &store)
        : QObject(&store)
        , m_store(store)
    {
    }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        const bool keyEvent =
            event->type() == QEvent::ShortcutOverride || event->type() == QEvent::KeyPress;
        if (!keyEvent || menuOrDialogIsOpen()) {
            return QObject::eventFilter(watched, event);
        }
        if (event->type() == QEvent::ShortcutOverride) {
            if (m_store.keyCommand(*static_cast<QKeyEvent *>(event))) {
                event->accept();
                return true;
            }
        } else if (event->type() == QEvent::KeyPress && watched->isWidgetType() == false
                   && watched->isWindowType()) {
            // Key presses reach the window first and then the focus widget; handling them at
            // the window keeps one press from acting twice.
            return m_store.handleKeyEvent(*static_cast<QKeyEvent *>(event));
        }
        return QObject::eventFilter(watched, event);
    }

private:
    CollectionStore &m_store;
};

} // namespace

void CollectionStore::installKeyEventMonitor()
{
    if (m_keyEventFilter) {
        return;
    }
    auto *filter = new KeyEventFilter(*this);
    QCoreApplication::instance()->installEventFilter(filter);
    m_keyEventFilter = filter;
}

std::optional<CollectionStore::KeyCommand> CollectionStore::keyCommand(const QKeyEvent &event) const
{
    if (m_desktop.textInputHasFocus()) {
        return std::nullopt; // typing goes to the text field
    }
    const int key = event.key();
    Qt::KeyboardModifiers held =
        event.modifiers()
        & (Qt::ShiftModifier | Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier
           | Qt::KeypadModifier);
    if (isArrow(key)) {
        held &= ~Qt::KeypadModifier;
    }
    if (event.nativeModifiers() & capsLockNativeMask) {
        return std::nullopt;
    }
    // The preview's own keys (Z, I, +, −, Tab) are its own: typing there never opens "File
    // into…" or types a name. The board's digits, arrows, Delete and Escape still act, and
    // undo and redo, whose menu shortcuts belong to the main window.
    const bool previewActive = m_desktop.isPreviewActive();
    if (previewActive && held == (Qt::ControlModifier | Qt::ShiftModifier) && key == Qt::Key_Z) {
        return KeyCommand::redo;
    }
    if (previewActive && held == Qt::ControlModifier && key == Qt::Key_Z) {
        return KeyCommand::undo;
    }
    const bool browseList = !previewActive && m_workspaceMode == WorkspaceMode::browse &&
                            m_browseLayout == BrowseLayoutMode::list;
    // Capitals, underscores and, once a name has begun with a letter, digits belong to the
    // name typed into the list: "IMG_2016" jumps to that file, it files nothing. Space stays
    // the preview's key.
    const bool partOfName = browseList && (held & ~Qt::ShiftModifier) == Qt::NoModifier
                            && key != Qt::Key_Space && isPrintableCharacter(event.text());
    if (partOfName && !m_typeSelectBuffer.isEmpty() && m_typeSelectBuffer.front().isLetter()) {
        return KeyCommand::typeSelect;
    }
    if (KeyMap::filingDigit(key, event.modifiers(), event.nativeScanCode())) {
        return KeyCommand::fileToDigit;
    }
    if (held == Qt::ShiftModifier && isArrow(key) && !browseList) {
        switch (key) {
        case Qt::Key_Left:
            return KeyCommand::extendLeft;
        case Qt::Key_Right:
            return KeyCommand::extendRight;
        case Qt::Key_Down:
            return KeyCommand::extendDown;
        default:
            return KeyCommand::extendUp;
        }
    }
    if ((held & ~Qt::ShiftModifier) == Qt::NoModifier && m_workspaceMode == WorkspaceMode::sort &&
        !previewActive && canActOnSelection() && event.text().size() == 1 &&
        event.text()[0].isLetter()) {
        return KeyCommand::typeToFile;
    }
    if (partOfName) {
        return KeyCommand::typeSelect;
    }
    if (held != Qt::NoModifier) {
        // Bursts are marked on the board only.
        const bool focusInBurst = m_workspaceMode == WorkspaceMode::sort && m_focusedPhotoID &&
                                  bursts().mark(*m_focusedPhotoID);
        if (held == Qt::ControlModifier) {
            if (key == Qt::Key_A) {
                return KeyCommand::selectAll;
            }
            if (key == Qt::Key_B && focusInBurst) {
                return KeyCommand::selectBurst;
            }
            if (key == Qt::Key_Backspace) {
                return KeyCommand::moveToTrash;
            }
        }
        // Elsewhere Ctrl+Shift+B stays the Browse Mode shortcut.
        if (held == (Qt::ControlModifier | Qt::ShiftModifier) && key == Qt::Key_B && focusInBurst) {
            return KeyCommand::selectBurstExceptBest;
        }
        return std::nullopt;
    }
    switch (key) {
    case Qt::Key_Space:
        return focusedPhoto() ? std::optional(KeyCommand::toggleQuickLook) : std::nullopt;
    case Qt::Key_Escape:
        // The preview is in front of the board: Escape closes it and keeps what it showed.
        return m_desktop.isPreviewVisible() ? KeyCommand::closePreview : KeyCommand::deselectAll;
    case Qt::Key_Left:
        return KeyCommand::navigateLeft;
    case Qt::Key_Right:
        return KeyCommand::navigateRight;
    case Qt::Key_Down:
        return KeyCommand::navigateDown;
    case Qt::Key_Up:
        return KeyCommand::navigateUp;
    case Qt::Key_Delete:
        return KeyCommand::moveToTrash; // the trash key of Linux file managers
    default:
        break;
    }
    return std::nullopt;
}

bool CollectionStore::handleKeyEvent(const QKeyEvent &event)
{
    const std::optional<KeyCommand> command = keyCommand(event);
    if (!command) {
        return false;
    }
    switch (*command) {
    case KeyCommand::toggleQuickLook:
        toggleQuickLook();
        break;
    case KeyCommand::deselectAll:
        deselectAll();
        break;
    case KeyCommand::closePreview:
        m_desktop.hidePreview();
        break;
    case KeyCommand::navigateLeft:
        navigateSelection(-1, 0);
        break;
    case KeyCommand::navigateRight:
        navigateSelection(1, 0);
        break;
    case KeyCommand::navigateDown:
        navigateSelection(0, 1);
        break;
    case KeyCommand::navigateUp:
        navigateSelection(0, -1);
        break;
    case KeyCommand::extendLeft:
        navigateSelection(-1, 0, true);
        break;
    case KeyCommand::extendRight:
        navigateSelection(1, 0, true);
        break;
    case KeyCommand::extendDown:
        navigateSelection(0, 1, true);
        break;
    case KeyCommand::extendUp:
        navigateSelection(0, -1, true);
        break;
    case KeyCommand::selectAll:
        selectAll();
        break;
    case KeyCommand::selectBurst:
        selectBurst(false);
        break;
    case KeyCommand::selectBurstExceptBest:
        selectBurst(true);
        break;
    case KeyCommand::undo:
        undo();
        break;
    case KeyCommand::redo:
        redo();
        break;
    case KeyCommand::moveToTrash:
        // Comparing, a key acts on the focused photo alone.
        if (m_desktop.isPreviewVisible() && isComparing()) {
            actOnComparedPhoto([this] { moveSelectionToTrash(); });
        } else {
            moveSelectionToTrash();
        }
        break;
    case KeyCommand::fileToDigit: {
        const int digit =
            KeyMap::filingDigit(event.key(), event.modifiers(), event.nativeScanCode()).value_or(0);
        if (m_desktop.isPreviewVisible() && isComparing()) {
            actOnComparedPhoto([this, digit] { moveSelectionToDigit(digit); });
        } else {
            moveSelectionToDigit(digit);
        }
        break;
    }
    case KeyCommand::typeSelect:
        performTypeSelect(event.text());
        break;
    case KeyCommand::typeToFile:
        openFileInto(event.text());
        break;
    }
    return true;
}

// ----- Preview, open and reveal

void CollectionStore::toggleQuickLook()
{
    if (!focusedPhoto()) {
        return;
    }
    if (m_desktop.isPreviewVisible()) {
        m_desktop.hidePreview();
    } else {
        m_desktop.showPreview();
    }
}

void CollectionStore::syncQuickLook()
{
    if (!m_desktop.isPreviewVisible() || m_previewSyncHeld) {
        return;
    }
    // A preview with nothing left to show closes (Escape deselects, and so closes it too).
    if (numberOfPreviewItems() == 0) {
        m_desktop.hidePreview();
    } else {
        m_desktop.reloadPreview();
    }
}

qsizetype CollectionStore::numberOfPreviewItems() const
{
    return selectedPhotosInDisplayOrder().size();
}

std::optional<QUrl> CollectionStore::previewItem(qsizetype index) const
{
    QList<Photo> items = selectedPhotosInDisplayOrder();
    if (m_focusedPhotoID) {
        for (qsizetype i = 0; i < items.size(); ++i) {
            if (items[i].id == *m_focusedPhotoID) {
                items.move(i, 0); // the focused photo first: the preview opens on it
                break;
            }
        }
    }
    if (index < 0 || index >= items.size()) {
        return std::nullopt;
    }
    return items[index].url;
}

bool CollectionStore::isComparing() const
{
    const qsizetype count = m_selectedPhotoIDs.size();
    if (count < 2 || !m_focusedPhotoID || !m_selectedPhotoIDs.contains(*m_focusedPhotoID)) {
        return false;
    }
    if (count <= maximumCompared) {
        return true;
    }
    // A longer burst is compared too, a few frames at a time around the focus.
    const QStringList burst = bursts().groupOf(*m_focusedPhotoID);
    return std::ranges::all_of(m_selectedPhotoIDs,
                               [&burst](const QString &id) { return burst.contains(id); });
}

PreviewItems CollectionStore::previewItems() const
{
    PreviewItems items;
    if (isComparing()) {
        const QList<Photo> compared = selectedPhotosInDisplayOrder();
        qsizetype focus = 0;
        while (focus < compared.size() && compared[focus].id != *m_focusedPhotoID) {
            ++focus;
        }
        // The focused frame and its neighbours, the one before it first in view.
        const qsizetype first = std::clamp<qsizetype>(
            focus - 1, 0, std::max<qsizetype>(0, compared.size() - maximumCompared));
        for (qsizetype i = first; i < std::min(compared.size(), first + maximumCompared); ++i) {
            if (i == focus) {
                items.focused = items.urls.size();
            }
            items.urls.append(compared[i].url);
        }
        return items;
    }
    const std::optional<QUrl> first = previewItem(0);
    if (!first || !m_focusedPhotoID || !m_collection) {
        return first ? PreviewItems{{*first}} : items;
    }
    items.urls = {*first};
    // The photos either side of the focus in the order the arrows walk, the next one first:
    // filing moves on to it.
    std::optional<QString> before;
    std::optional<QString> after;
    if (m_workspaceMode == WorkspaceMode::browse && !m_browseNavigationPhotoIDs.isEmpty()) {
        const qsizetype at = m_browseNavigationPhotoIDs.indexOf(*m_focusedPhotoID);
        if (at >= 0) {
            after = m_browseNavigationPhotoIDs.value(at + 1);
            before = at > 0 ? std::optional(m_browseNavigationPhotoIDs[at - 1]) : std::nullopt;
        }
    } else {
        const Photo *previous = nullptr;
        bool found = false;
        for (const PhotoSection &section : m_collection->sections) {
            for (const Photo &photo : section.photos) {
                if (found) {
                    items.ahead.append(photo.url);
                    if (previous) {
                        items.ahead.append(previous->url);
                    }
                    return items;
                }
                if (photo.id == *m_focusedPhotoID) {
                    found = true;
                } else {
                    previous = &photo;
                }
            }
        }
        if (found && previous) {
            items.ahead.append(previous->url);
        }
        return items;
    }
    for (const std::optional<QString> &id : {after, before}) {
        if (const std::optional<Photo> neighbour = id ? photo(*id) : std::nullopt) {
            items.ahead.append(neighbour->url);
        }
    }
    return items;
}

void CollectionStore::focusComparedPhoto(const QUrl &url)
{
    for (const Photo &photo : selectedPhotosInDisplayOrder()) {
        if (photo.url == url) {
            setFocusedPhotoID(photo.id);
            setScrollRequest(ScrollRequest::make(photo.id));
            syncQuickLook();
            return;
        }
    }
}

void CollectionStore::actOnComparedPhoto(const std::function<void()> &action)
{
    const QList<Photo> compared = selectedPhotosInDisplayOrder();
    const QString focused = *m_focusedPhotoID;
    const QSet<QString> before = m_selectedPhotoIDs;
    const std::optional<QString> anchor = m_selectionAnchorID;
    {
        // The preview changes once, to the comparison without the photo that went.
        const QScopedValueRollback hold(m_previewSyncHeld, true);
        setSelection({focused}, focused, anchor);
        action();
    }
    if (m_selectedPhotoIDs == QSet<QString>{focused} && m_focusedPhotoID == focused) {
        setSelection(before, focused, anchor); // refused: nothing happened
        return;
    }
    // The next compared photo after the one that went takes the focus, else the one before.
    QSet<QString> rest = before;
    rest.remove(focused);
    qsizetype at = 0;
    while (at < compared.size() && compared[at].id != focused) {
        ++at;
    }
    const QString successor = at + 1 < compared.size()
                                  ? compared[at + 1].id
                                  : compared[std::max<qsizetype>(0, at - 1)].id;
    setSelection(rest, successor, successor);
    setScrollRequest(ScrollRequest::make(successor));
    syncQuickLook();
}

void CollectionStore::openFocusedPhoto()
{
    if (const std::optional<Photo> focused = focusedPhoto()) {
        m_desktop.openWithDefaultApplication(focused->url);
    }
}

void CollectionStore::revealFocusedPhoto()
{
    if (const std::optional<Photo> focused = focusedPhoto()) {
        m_desktop.revealInFileManager(focused->url);
    }
}

// ----- View settings

void CollectionStore::setWorkspaceMode(WorkspaceMode mode)
{
    if (m_workspaceMode == mode) {
        return;
    }
    m_workspaceMode = mode;
    m_typeSelectBuffer.clear();
    closeFileInto(); // a board's field
    if (mode == WorkspaceMode::sort) {
        m_browseNavigationPhotoIDs.clear();
        m_browseSpatialFrames.clear();
    }
    paceDimensionFill();
    Q_EMIT workspaceModeChanged();
}

void CollectionStore::setBrowseLayout(BrowseLayoutMode layout)
{
    // Cleared before anyone hears of the change: the new layout reports its own geometry.
    m_browseSpatialFrames.clear();
    m_typeSelectBuffer.clear();
    if (m_browseLayout != layout) {
        m_browseLayout = layout;
        Q_EMIT browseLayoutChanged();
    }
}

void CollectionStore::setBrowseFilter(const std::optional<QString> &sectionID)
{
    // Cleared before the views hear of the new filter, so the order they then report stays.
    deselectAll();
    m_browseNavigationPhotoIDs.clear();
    m_browseSpatialFrames.clear();
    setBrowseFilterSectionID(sectionID);
}

void CollectionStore::setSortOrder(PhotoSortOrder order)
{
    if (m_sortOrder == order) {
        return;
    }
    m_sortOrder = order;
    m_settings->setValue(ViewSettings::sortOrderKey, rawValue(order));
    Q_EMIT sortOrderChanged();
    if (m_collection) {
        PhotoCollection resorted = *m_collection;
        for (PhotoSection &section : resorted.sections) {
            sortPhotos(section.photos, order);
        }
        setCollection(std::move(resorted), 0, SimilarShots::Change::moved);
    }
}

void CollectionStore::setCompanionRule(CompanionRule rule)
{
    if (m_companionRule == rule) {
        return;
    }
    m_companionRule = rule;
    m_settings->setValue(ViewSettings::companionsTogetherKey, rule == CompanionRule::together);
    Q_EMIT companionRuleChanged();
    reloadFromDisk(); // the photos themselves change: shots form or come apart
}

void CollectionStore::setThumbnailSize(double size)
{
    const double clamped = std::clamp(size, minimumCellSize, maximumCellSize);
    m_settings->setValue(ViewSettings::thumbnailSizeKey, clamped); // written even when unchanged
    if (m_thumbnailSize != clamped) {
        m_thumbnailSize = clamped;
        Q_EMIT thumbnailSizeChanged();
    }
}

void CollectionStore::setBrowseCellSize(double size)
{
    const double clamped = std::clamp(size, minimumCellSize, maximumCellSize);
    if (m_browseCellSize != clamped) {
        m_browseCellSize = clamped;
        Q_EMIT browseCellSizeChanged();
    }
}

void CollectionStore::increaseThumbnailSize()
{
    if (m_workspaceMode == WorkspaceMode::sort) {
        setThumbnailSize(m_thumbnailSize + cellSizeStep);
    } else if (m_browseLayout != BrowseLayoutMode::list) {
        setBrowseCellSize(m_browseCellSize + cellSizeStep);
    }
}

void CollectionStore::decreaseThumbnailSize()
{
    if (m_workspaceMode == WorkspaceMode::sort) {
        setThumbnailSize(m_thumbnailSize - cellSizeStep);
    } else if (m_browseLayout != BrowseLayoutMode::list) {
        setBrowseCellSize(m_browseCellSize - cellSizeStep);
    }
}
