#include "MainWindow.h"

#include "AppCommands.h"
#include "ViewModels/CollectionStore.h"
#include "Views/RootView.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QMenuBar>

MainWindow::MainWindow(CollectionStore &store, std::shared_ptr<QSettings> settings,
                       QWidget *parent)
    : QMainWindow(parent)
    , m_store(store)
{
    setWindowTitle(tr("Calvenor Photo Sorter"));
    m_rootView = new RootView(store, m_undoStack, std::move(settings), this);
    m_rootView->setMinimumSize(minimumContentSize);
    setCentralWidget(m_rootView);
    m_commands = new AppCommands(store, m_undoStack, *menuBar(), this);
    resize(defaultSize);
}

MainWindow::~MainWindow() = default;

void MainWindow::closeEvent(QCloseEvent *event)
{
    event->accept();
    QCoreApplication::quit();
}

void MainWindow::showEvent(QShowEvent *event)
{
    QMainWindow::showEvent(event);
    // The window system may show a window that is still minimized.
    m_store.setWindowShown(!isMinimized());
}

void MainWindow::hideEvent(QHideEvent *event)
{
    QMainWindow::hideEvent(event);
    // Also sent when the window is minimized; restoring it sends a show event.
    m_store.setWindowShown(false);
}
