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
