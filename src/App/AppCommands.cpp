#include "AppCommands.h"

#include "ViewModels/CollectionStore.h"
#include "ViewModels/KeyMap.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QKeyEvent>
#include <QMenuBar>
#include <QUndoStack>

AppCommands::AppCommands(CollectionStore &store, QUndoStack &undoStack, QMenuBar &menuBar,
                         QObject *parent)
    : QObject(parent)
    , m_store(store)
    , m_menuBar(&menuBar)
{
    QCoreApplication::instance()->installEventFilter(this);
    buildFileMenu(menuBar);
    buildEditMenu(menuBar, undoStack);
    buildViewMenu(menuBar);
    buildPhotoMenu(menuBar);

    for (auto signal : {&CollectionStore::selectedPhotoIDsChanged,
                        &CollectionStore::isLoadingChanged, &CollectionStore::collectionChanged,
                        &CollectionStore::workspaceModeChanged,
                        &CollectionStore::browseLayoutChanged}) {
        connect(&m_store, signal, this, &AppCommands::updateEnabled);
    }
    for (auto signal : {&CollectionStore::browseLayoutChanged, &CollectionStore::sortOrderChanged,
                        &CollectionStore::companionRuleChanged}) {
        connect(&m_store, signal, this, &AppCommands::updateChecks);
    }
    // A click on a checkable item flips its mark before the store has spoken; put it back.
    for (QAction *item : m_layoutActions + m_sortActions) {
        connect(item, &QAction::triggered, this, &AppCommands::updateChecks);
    }
    connect(&m_store, &CollectionStore::recentFoldersChanged, this, &AppCommands::rebuildOpenRecent);
    connect(&m_store, &CollectionStore::collectionChanged, this, &AppCommands::rebuildMoveTo);
    rebuildOpenRecent();
    rebuildMoveTo();
    updateEnabled();
    updateChecks();
}

QAction *AppCommands::action(const QString &title) const
{
    for (QAction *candidate : m_actions) {
        if (candidate->text() == title) {
            return candidate;
        }
    }
    return nullptr;
}

void AppCommands::buildFileMenu(QMenuBar &menuBar)
{
    QMenu *file = menuBar.addMenu(tr("&File"));
    m_newCategory = file->addAction(tr("New Category\u2026"), &m_store,
                                    &CollectionStore::showNewCategoryPrompt);
    m_newCategory->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_N));
    file->addSeparator();
    QAction *open = file->addAction(tr("Open Folder\u2026"), &m_store,
                                    &CollectionStore::chooseFolder);
    open->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_O));
    m_openRecent = file->addMenu(tr("Open Recent"));
    file->addSeparator();
    QAction *quit = file->addAction(tr("Quit"), QCoreApplication::instance(), &QCoreApplication::quit);
    quit->setShortcut(QKeySequence::Quit);
    m_actions << m_newCategory << open << quit;
}

void AppCommands::buildEditMenu(QMenuBar &menuBar, QUndoStack &undoStack)
{
    QMenu *edit = menuBar.addMenu(tr("&Edit"));
    // The stack's own actions read "Undo Move Photos" and follow the stack's state.
    QAction *undo = undoStack.createUndoAction(edit, tr("Undo"));
    undo->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Z));
    QAction *redo = undoStack.createRedoAction(edit, tr("Redo"));
    redo->setShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Z));
    // Their texts and enabling follow the stack, but the store runs them: on a read-only
    // folder it explains at once instead of moving the stack past work it cannot do.
    disconnect(undo, &QAction::triggered, &undoStack, &QUndoStack::undo);
    disconnect(redo, &QAction::triggered, &undoStack, &QUndoStack::redo);
    connect(undo, &QAction::triggered, &m_store, &CollectionStore::undo);
    connect(redo, &QAction::triggered, &m_store, &CollectionStore::redo);
    edit->addAction(undo);
    edit->addAction(redo);
    m_actions << undo << redo;
}

void AppCommands::buildViewMenu(QMenuBar &menuBar)
{
    QMenu *view = menuBar.addMenu(tr("&View"));
    // Lists every folder again at once: what a share or a FUSE mount changed without telling
    // shows before the next look.
    m_refresh = view->addAction(tr("Refresh"), &m_store, &CollectionStore::reloadFromDisk);
    m_refresh->setShortcut(QKeySequence(Qt::Key_F5));
    view->addSeparator();
    QAction *sortMode = view->addAction(tr("Sort Mode"), this, [this] {
        m_store.setWorkspaceMode(WorkspaceMode::sort);
    });
    sortMode->setShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_S));
    QAction *browseMode = view->addAction(tr("Browse Mode"), this, [this] {
        m_store.setWorkspaceMode(WorkspaceMode::browse);
    });
    browseMode->setShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_B));
    QMenu *layouts = view->addMenu(tr("Browse Layout"));
    for (const BrowseLayoutMode layout : allCases<BrowseLayoutMode>()) {
        QAction *item = layouts->addAction(label(layout), this, [this, layout] {
            m_store.setWorkspaceMode(WorkspaceMode::browse);
            m_store.setBrowseLayout(layout);
        });
        item->setShortcut(QKeySequence(QStringLiteral("Ctrl+") + shortcutNumber(layout)));
        item->setCheckable(true);
        item->setData(rawValue(layout));
        m_layoutActions << item;
    }
    view->addSeparator();
    QMenu *sortPhotos = view->addMenu(tr("Sort Photos"));
    for (const PhotoSortOrder order : allCases<PhotoSortOrder>()) {
        QAction *item = sortPhotos->addAction(label(order), this,
                                              [this, order] { m_store.setSortOrder(order); });
        item->setCheckable(true);
        item->setData(rawValue(order));
        m_sortActions << item;
    }
    m_companions = view->addAction(tr("Keep Companions Together"), this, [this](bool on) {
        m_store.setCompanionRule(on ? CompanionRule::together : CompanionRule::apart);
    });
    m_companions->setCheckable(true);
    m_larger = view->addAction(tr("Larger Thumbnails"), &m_store,
                               &CollectionStore::increaseThumbnailSize);
    m_larger->setShortcuts({QKeySequence(Qt::CTRL | Qt::Key_Plus),
                            QKeySequence(Qt::CTRL | Qt::Key_Equal)});
    m_smaller = view->addAction(tr("Smaller Thumbnails"), &m_store,
                                &CollectionStore::decreaseThumbnailSize);
    m_smaller->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Minus));
    m_actions << m_refresh << sortMode << browseMode << m_layoutActions << m_sortActions << m_companions
              << m_larger << m_smaller;
}

void AppCommands::buildPhotoMenu(QMenuBar &menuBar)
{
    QMenu *photo = menuBar.addMenu(tr("&Photo"));
    QAction *open = photo->addAction(tr("Open"), &m_store,
                                     &CollectionStore::openFocusedPhoto);
    QAction *quickLook = photo->addAction(tr("Quick Look"), &m_store,
                                          &CollectionStore::toggleQuickLook);
    quickLook->setShortcut(QKeySequence(Qt::Key_Space));
    QAction *reveal = photo->addAction(tr("Reveal in File Manager"), &m_store,
                                       &CollectionStore::revealFocusedPhoto);
    photo->addSeparator();
    m_moveTo = photo->addMenu(tr("Move to"));
    photo->addSeparator();
    QAction *trash = photo->addAction(tr("Move to Trash"), &m_store,
                                      &CollectionStore::moveSelectionToTrash);
    trash->setShortcuts({QKeySequence(Qt::Key_Delete),
                         QKeySequence(Qt::CTRL | Qt::Key_Backspace)});
    m_selectionActions << open << quickLook << reveal << m_moveTo->menuAction() << trash;
    m_actions << open << quickLook << reveal << trash;
}

void AppCommands::rebuildOpenRecent()
{
    m_openRecent->clear();
    const QList<QUrl> &recent = m_store.recentFolders();
    if (recent.isEmpty()) {
        m_openRecent->addAction(tr("No Recent Folders"))->setEnabled(false);
        return;
    }
    for (const QUrl &folder : recent) {
        const QString path = standardizedPath(folder);
        QAction *item = m_openRecent->addAction(QFileInfo(path).fileName(), this,
                                                [this, folder] { m_store.openRecent(folder); });
        item->setData(path);
        item->setToolTip(path);
    }
    m_openRecent->addSeparator();
    m_openRecent->addAction(tr("Clear Menu"), &m_store,
                            &CollectionStore::clearRecentFolders);
}

bool AppCommands::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() != QEvent::ShortcutOverride) {
        return QObject::eventFilter(watched, event);
    }
    const auto *key = static_cast<QKeyEvent *>(event);
    const std::optional<int> digit =
        KeyMap::shortcutDigit(key->key(), key->modifiers(), key->nativeScanCode());
    if (!digit) {
        return false;
    }
    const QKeySequence wanted(Qt::CTRL | Qt::Key(Qt::Key_0 + *digit));
    for (QAction *action : m_menuBar->findChildren<QAction *>()) {
        if (action->isEnabled() && action->shortcuts().contains(wanted)) {
            action->trigger();
            event->accept();
            return true;
        }
    }
    return false;
}

void AppCommands::rebuildMoveTo()
{
    m_moveTo->clear();
    const QList<PhotoSection> sections = m_store.sections();
    for (qsizetype i = 0; i < sections.size(); ++i) {
        // Positions 0 to 9 carry the digit that files there from the keyboard.
        const QString title = i < 10 ? QString::number(i) + QStringLiteral("  ") + sections[i].name
                                     : sections[i].name;
        const QString id = sections[i].id;
        m_moveTo->addAction(title, this, [this, id] { m_store.moveSelected(id); });
    }
}

void AppCommands::updateEnabled()
{
    const bool canAct = m_store.canActOnSelection();
    for (QAction *item : std::as_const(m_selectionActions)) {
        item->setEnabled(canAct);
    }
    m_newCategory->setEnabled(m_store.canCreateCategory());
    m_refresh->setEnabled(m_store.collection().has_value() && !m_store.isLoading());
    const bool browseList = m_store.workspaceMode() == WorkspaceMode::browse
                            && m_store.browseLayout() == BrowseLayoutMode::list;
    m_larger->setEnabled(!browseList);
    m_smaller->setEnabled(!browseList);
}

void AppCommands::updateChecks()
{
    // The current layout keeps its check mark in Sort mode too.
    for (QAction *item : std::as_const(m_layoutActions)) {
        item->setChecked(item->data().toString() == rawValue(m_store.browseLayout()));
    }
    for (QAction *item : std::as_const(m_sortActions)) {
        item->setChecked(item->data().toString() == rawValue(m_store.sortOrder()));
    }
    m_companions->setChecked(m_store.companionRule() == CompanionRule::together);
}
