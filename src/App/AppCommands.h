#pragma once

// The menu bar: File, Edit, View and Photo, with their shortcuts and enabling rules. Every item
// forwards to a store operation; enabling follows the store's state, so a disabled item's
// shortcut does nothing either.

#include <QObject>

class CollectionStore;
class QAction;
class QMenu;
class QMenuBar;
class QUndoStack;

class AppCommands : public QObject
{
    Q_OBJECT

public:
    AppCommands(CollectionStore &store, QUndoStack &undoStack, QMenuBar &menuBar,
                QObject *parent = nullptr);

    // Rebuilt from the store whenever they may have changed, and before they open.
    QMenu *openRecentMenu() const { return m_openRecent; }
    QMenu *moveToMenu() const { return m_moveTo; }
    QAction *action(const QString &title) const; // by title, for tests

protected:
    // Ctrl with a digit-row key on a layout that types no digit there still means Ctrl+digit.
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void buildFileMenu(QMenuBar &menuBar);
    void buildEditMenu(QMenuBar &menuBar, QUndoStack &undoStack);
    void buildViewMenu(QMenuBar &menuBar);
    void buildPhotoMenu(QMenuBar &menuBar);
    void rebuildOpenRecent();
    void rebuildMoveTo();
    void updateEnabled();
    void updateChecks();

    CollectionStore &m_store;
    QMenu *m_openRecent = nullptr;
    QMenu *m_moveTo = nullptr;
    QList<QAction *> m_actions;
    QList<QAction *> m_selectionActions; // enabled while the selection can be acted on
    QMenuBar *m_menuBar = nullptr;
    QAction *m_newCategory = nullptr;
    QAction *m_refresh = nullptr;
    QAction *m_companions = nullptr;
    QAction *m_larger = nullptr;
    QAction *m_smaller = nullptr;
    QList<QAction *> m_layoutActions;
    QList<QAction *> m_sortActions;
};
