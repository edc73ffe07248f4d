#include "PlaceholderWindow.h"

#include <QFileDialog>
#include <QHeaderView>
#include <QLabel>
#include <QLocale>
#include <QMenuBar>
#include <QMessageBox>
#include <QTreeWidget>
#include <QVBoxLayout>

PlaceholderWindow::PlaceholderWindow(QWidget *parent)
    : QMainWindow(parent)
{
    setWindowTitle(QStringLiteral("Calvenor Photo Sorter"));
    resize(1180, 800);
    setMinimumSize(820, 600);

    auto *central = new QWidget(this);
    auto *layout = new QVBoxLayout(central);
    m_status = new QLabel(QStringLiteral("Open a folder of photos to begin."), central);
    m_tree = new QTreeWidget(central);
    m_tree->setColumnCount(2);
    m_tree->setHeaderLabels({QStringLiteral("Name"), QStringLiteral("Dimensions")});
    m_tree->header()->setSectionResizeMode(0, QHeaderView::Stretch);
    m_tree->setUniformRowHeights(true);
    layout->addWidget(m_status);
    layout->addWidget(m_tree);
    setCentralWidget(central);

    QMenu *file = menuBar()->addMenu(QStringLiteral("&File"));
    QAction *open = file->addAction(QStringLiteral("Open Folder\u2026"));
    open->setShortcut(QKeySequence::Open);
    connect(open, &QAction::triggered, this, &PlaceholderWindow::chooseFolder);
    QAction *quit = file->addAction(QStringLiteral("Quit"));
    quit->setShortcut(QKeySequence::Quit);
    connect(quit, &QAction::triggered, this, &QWidget::close);

    connect(&m_scan, &QFutureWatcherBase::finished, this, [this] {
        if (!m_scan.isCanceled() && m_scan.future().resultCount() > 0) {
            showResult(m_scan.result());
        }
    });
}

void PlaceholderWindow::chooseFolder()
{
    const QString path = QFileDialog::getExistingDirectory(this, QStringLiteral("Open Folder"));
    if (!path.isEmpty()) {
        openFolder(path);
    }
}

void PlaceholderWindow::openFolder(const QString &path)
{
    m_scan.cancel();
    m_status->setText(QStringLiteral("Loading \u201C%1\u201D\u2026").arg(path));
    m_scan.setFuture(
        m_service.scan(QUrl::fromLocalFile(QFileInfo(path).absoluteFilePath()), PhotoSortOrder::filename));
}

void PlaceholderWindow::showResult(const Result<PhotoCollection> &result)
{
    m_tree->clear();
    if (!result) {
        m_status->setText(QStringLiteral("Couldn\u2019t open the folder."));
        QMessageBox::warning(this, QStringLiteral("Couldn\u2019t Open Folder"), result.error().message);
        return;
    }
    const QLocale locale;
    setWindowTitle(result->displayName + QStringLiteral(" \u2014 Calvenor Photo Sorter"));
    m_status->setText(QStringLiteral("%1 \u2014 %2 photos in %3 categories")
                          .arg(standardizedPath(result->rootURL), locale.toString(result->photoCount()),
                               locale.toString(result->categoryCount())));
    for (const PhotoSection &section : result->sections) {
        auto *sectionItem = new QTreeWidgetItem(
            m_tree, {QStringLiteral("%1 (%2)").arg(section.name, locale.toString(section.count()))});
        QFont bold = sectionItem->font(0);
        bold.setBold(true);
        sectionItem->setFont(0, bold);
        for (const Photo &photo : section.photos) {
            new QTreeWidgetItem(sectionItem, {photo.filename, photo.dimensionsLabel()});
        }
        sectionItem->setExpanded(true);
    }
}
