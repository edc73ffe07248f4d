#pragma once

// The one window: the root view, the menu bar and the undo stack the store records into.
// Closing it quits the application, preview window or not.

#include <QMainWindow>
#include <QSettings>
#include <QUndoStack>

#include <memory>

class AppCommands;
class CollectionStore;
class RootView;

class MainWindow : public QMainWindow
{
    Q_OBJECT

public:
    static constexpr QSize defaultSize{1180, 800};
    static constexpr QSize minimumContentSize{820, 600};

    MainWindow(CollectionStore &store, std::shared_ptr<QSettings> settings,
               QWidget *parent = nullptr);
    ~MainWindow() override;

    QUndoStack &undoStack() { return m_undoStack; }
    RootView *rootView() const { return m_rootView; }
    AppCommands *commands() const { return m_commands; }

protected:
    void closeEvent(QCloseEvent *event) override;
    // Minimized or hidden, the window tells the store that nobody sees the folder.
    void showEvent(QShowEvent *event) override;
    void hideEvent(QHideEvent *event) override;

private:
    CollectionStore &m_store;
    QUndoStack m_undoStack;
    RootView *m_rootView = nullptr;
    AppCommands *m_commands = nullptr;
};
