#include "Services/ThumbnailService.h"
#include "Views/BrowseGridView.h"
#include "Views/BrowseListModel.h"
#include "Views/BrowseListView.h"
#include "Views/BrowseView.h"
#include "Views/CollectionWorkspace.h"
#include "support/StoreFixture.h"

#include <QHeaderView>
#include <QScrollBar>

using namespace TestFolders;

// Browse mode as a user drives it, headless: the filter chips, the three layouts and what
// each reports back to the store, the list's sorting and selection, and the layout fade.
class tst_BrowseViews : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates)); }
    void chipsCountAndFilter();
    void emptyFilterInEveryLayout();
    void layoutsReportTheirOrder();
    void listSortThenDownArrow();
    void listSelectionBothWays();
    void listBadgeIsADragHandle();
    void fadeFollowsReduceMotion();
    void browseOpensOnTheFocusedPhoto();

private:
    struct Browse
    {
        StoreFixture f;
        ThumbnailService thumbnails{1};
        std::unique_ptr<BrowseView> view;
        std::unique_ptr<CategoryFilterBar> bar;

        bool show(BrowseLayoutMode layout = BrowseLayoutMode::tiles)
        {
            CollectionStore &store = f.store ? *f.store : f.make();
            store.installKeyEventMonitor();
            if (!f.open()) {
                return false;
            }
            store.setWorkspaceMode(WorkspaceMode::browse);
            store.setBrowseLayout(layout);
            bar = std::make_unique<CategoryFilterBar>(store);
            bar->show();
            view = std::make_unique<BrowseView>(store, thumbnails);
            QObject::connect(bar.get(), &CategoryFilterBar::filterApplied, view.get(),
                             &BrowseView::reload);
            view->resize(1000 + view->tiles()->verticalScrollBar()->sizeHint().width(), 700);
            view->show();
            return QTest::qWaitForWindowExposed(view.get());
        }
        QStringList navigationNames() const
        {
            QStringList names;
            for (const QString &id : f.store->browseNavigationPhotoIDs()) {
                names.append(f.store->photo(id)->filename);
            }
            return names;
        }
        void pressDown() { QTest::keyClick(view->windowHandle(), Qt::Key_Down); }
    };
};

void tst_BrowseViews::chipsCountAndFilter()
{
    Browse b;
    for (int i = 0; i < 1234; ++i) {
        writeFile(b.f.path(), QStringLiteral("p%1.jpg").arg(i));
    }
    writeFile(b.f.path(), QStringLiteral("Cats/c.jpg"));
    QVERIFY(b.show());
    QList<FilterChip *> chips = b.bar->chips();
    QCOMPARE(chips.size(), 3);
    QCOMPARE(chips[0]->text(), QStringLiteral("All"));
    QCOMPARE(chips[0]->countText(), QStringLiteral("1,235"));
    QVERIFY(chips[0]->isSelected());
    QCOMPARE(chips[1]->text(), QStringLiteral("Unsorted"));
    QCOMPARE(chips[1]->countText(), QStringLiteral("1,234"));

    chips[2]->click();
    QCOMPARE(b.f.store->browseFilterSectionID(), b.f.sectionNamed(QStringLiteral("Cats"))->id);
    QVERIFY(b.bar->chips()[2]->isSelected());
    QCOMPARE(b.navigationNames(), QStringList{QStringLiteral("c.jpg")}); // reported anew
    // Clicking the active chip again keeps the filter and clears the selection.
    b.f.store->selectAll();
    QCOMPARE(b.f.store->selectedCount(), 1);
    b.bar->chips()[2]->click();
    QCOMPARE(b.f.store->browseFilterSectionID(), b.f.sectionNamed(QStringLiteral("Cats"))->id);
    QCOMPARE(b.f.store->selectedCount(), 0);
    QCOMPARE(b.navigationNames(), QStringList{QStringLiteral("c.jpg")});
}

void tst_BrowseViews::emptyFilterInEveryLayout()
{
    Browse b;
    writeFile(b.f.path(), QStringLiteral("a.jpg"));
    writeFile(b.f.path(), QStringLiteral("b.jpg"));
    makeFolder(b.f.path(), QStringLiteral("Empty"));
    QVERIFY(b.show());
    for (const BrowseLayoutMode layout : allCases<BrowseLayoutMode>()) {
        b.bar->chips().first()->click(); // "All"
        b.f.store->setBrowseLayout(layout);
        QVERIFY(b.view->currentPage() != b.view->emptyState());
        QCOMPARE(b.f.store->browseNavigationPhotoIDs().size(), 2);
        b.f.store->setGridColumnCount(4);
        b.bar->chips().last()->click(); // "Empty"
        QCOMPARE(b.view->currentPage(), b.view->emptyState());
        QVERIFY(b.f.store->browseNavigationPhotoIDs().isEmpty());
        QVERIFY(b.f.store->browseSpatialFrames().isEmpty());
        if (layout == BrowseLayoutMode::tiles) {
            QCOMPARE(b.f.store->gridColumnCount(), 1);
        }
    }
}

void tst_BrowseViews::layoutsReportTheirOrder()
{
    Browse b;
    writeJpeg(b.f.path(), QStringLiteral("Cats/a.jpg"), {40, 20});
    writeJpeg(b.f.path(), QStringLiteral("b.jpg"), {20, 40});
    writeJpeg(b.f.path(), QStringLiteral("c.jpg"), {20, 20});
    writeJpeg(b.f.path(), QStringLiteral("d.jpg"), {20, 20});
    QVERIFY(b.show());
    // Tiles: list order (Unsorted first), the column rule's 3 columns at 1000 wide.
    const QStringList listOrder = QStringLiteral("b.jpg,c.jpg,d.jpg,a.jpg").split(u',');
    QCOMPARE(b.navigationNames(), listOrder);
    QCOMPARE(b.f.store->gridColumnCount(), 3);
    QVERIFY(b.f.store->browseSpatialFrames().isEmpty());

    b.f.store->setBrowseLayout(BrowseLayoutMode::masonry);
    QCOMPARE(b.view->currentPage(), b.view->masonry());
    QCOMPARE(b.navigationNames(), listOrder); // list order, not the visual column order
    const QHash<QString, QRectF> &frames = b.f.store->browseSpatialFrames();
    QCOMPARE(frames.size(), 4);
    QCOMPARE(frames.value(b.f.idOf(QStringLiteral("b.jpg"))), QRectF(0, 0, 240, 480));
    QCOMPARE(frames.value(b.f.idOf(QStringLiteral("a.jpg"))), QRectF(254, 254, 240, 120));
    // The cell on screen is where the frame says, offset by the centred block.
    const QRectF shown = b.view->masonry()->cellRect(b.f.idOf(QStringLiteral("c.jpg")));
    QCOMPARE(shown.size(), QSizeF(240, 240));

    b.f.store->setBrowseLayout(BrowseLayoutMode::list);
    QVERIFY(b.f.store->browseSpatialFrames().isEmpty());
    QCOMPARE(b.navigationNames(), QStringLiteral("a.jpg,b.jpg,c.jpg,d.jpg").split(u','));
}

void tst_BrowseViews::listSortThenDownArrow()
{
    Browse b;
    writeFile(b.f.path(), QStringLiteral("a.jpg"), QByteArray(300, 'x'));
    writeFile(b.f.path(), QStringLiteral("b.jpg"), QByteArray(100, 'x'));
    writeFile(b.f.path(), QStringLiteral("c.jpg"), QByteArray(200, 'x'));
    QVERIFY(b.show(BrowseLayoutMode::list));
    BrowseListView *list = b.view->list();
    list->horizontalHeader()->setSortIndicator(BrowseListModel::SizeColumn, Qt::AscendingOrder);
    QCOMPARE(b.navigationNames(), QStringLiteral("b.jpg,c.jpg,a.jpg").split(u','));
    b.f.store->selectBrowse(b.f.idOf(QStringLiteral("b.jpg")), {});
    b.pressDown();
    QCOMPARE(b.f.focusedName(), QStringLiteral("c.jpg"));
    b.pressDown();
    QCOMPARE(b.f.focusedName(), QStringLiteral("a.jpg"));
    // Entering the list again starts from name order.
    b.f.store->setBrowseLayout(BrowseLayoutMode::tiles);
    b.f.store->setBrowseLayout(BrowseLayoutMode::list);
    QCOMPARE(b.navigationNames(), QStringLiteral("a.jpg,b.jpg,c.jpg").split(u','));
}

void tst_BrowseViews::listSelectionBothWays()
{
    Browse b;
    for (const char *name : {"a.jpg", "b.jpg", "c.jpg", "d.jpg"}) {
        writeFile(b.f.path(), QString::fromLatin1(name));
    }
    QVERIFY(b.show(BrowseLayoutMode::list));
    BrowseListView *list = b.view->list();
    b.f.store->selectAll();
    QCOMPARE(list->selectionModel()->selectedRows().size(), 4);
    // A click on a row's name selects that row alone; Ctrl adds one.
    const auto click = [&](int row, Qt::KeyboardModifiers modifiers = {}) {
        const QRect rect = list->visualRect(list->model()->index(row, BrowseListModel::NameColumn));
        QTest::mouseClick(list->viewport(), Qt::LeftButton, modifiers, rect.center());
    };
    click(1);
    QCOMPARE(b.f.selectedNames(), QStringList{QStringLiteral("b.jpg")});
    click(3, Qt::ControlModifier);
    QCOMPARE(b.f.selectedNames(), QStringLiteral("b.jpg,d.jpg").split(u','));
    // A double click opens the file.
    const QRect rect = list->visualRect(list->model()->index(2, BrowseListModel::SizeColumn));
    QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, rect.center());
    QVERIFY(b.f.desktop.calls.contains(QStringLiteral("open c.jpg")));
}

void tst_BrowseViews::listBadgeIsADragHandle()
{
    Browse b;
    for (const char *name : {"a.jpg", "b.jpg", "c.jpg"}) {
        writeFile(b.f.path(), QString::fromLatin1(name));
    }
    QVERIFY(b.show(BrowseLayoutMode::list));
    BrowseListView *list = b.view->list();
    const QPoint badge = PhotoCellPainter::listBadgeRect(list->thumbnailRect(0)).center().toPoint();
    // One selected: no badge, so a press there selects the row.
    b.f.store->selectBrowse(b.f.idOf(QStringLiteral("c.jpg")), {});
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, badge);
    QCOMPARE(b.f.selectedNames(), QStringList{QStringLiteral("a.jpg")});
    // Two selected: the badge is the handle that drags both; pressing it keeps the selection.
    b.f.store->selectAll();
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, badge);
    QCOMPARE(b.f.store->selectedCount(), 3);
}

void tst_BrowseViews::fadeFollowsReduceMotion()
{
    Browse b;
    writeFile(b.f.path(), QStringLiteral("a.jpg"));
    QVERIFY(b.show());
    b.f.desktop.reducedMotion = true;
    b.f.store->setBrowseLayout(BrowseLayoutMode::masonry);
    QVERIFY(!b.view->isFading());
    b.f.desktop.reducedMotion = false;
    b.f.store->setBrowseLayout(BrowseLayoutMode::list);
    QVERIFY(b.view->isFading());
    QTRY_VERIFY_WITH_TIMEOUT(!b.view->isFading(), 2000);
}

void tst_BrowseViews::browseOpensOnTheFocusedPhoto()
{
    StoreFixture f;
    for (int i = 0; i < 150; ++i) {
        writeFile(f.path(), QStringLiteral("p%1.jpg").arg(i, 3, 10, QLatin1Char('0')));
    }
    CollectionStore &store = f.make();
    ThumbnailService thumbnails(1);
    CollectionWorkspace workspace(store, thumbnails);
    workspace.resize(1180, 700);
    workspace.show();
    QVERIFY(f.open());
    store.selectBrowse(f.idOf(QStringLiteral("p000.jpg")), {});
    for (int i = 0; i < 20; ++i) {
        store.navigateSelection(0, 1); // far down the board, where Browse has never been
    }
    const QString focused = *store.focusedPhotoID();
    store.setWorkspaceMode(WorkspaceMode::browse);
    BrowseGridView *tiles = workspace.browseView()->tiles();
    QVERIFY(tiles->isVisible());
    const QRectF cell = tiles->cellRect(focused);
    QVERIFY(!cell.isEmpty());
    QVERIFY2(qAbs(cell.center().y() - tiles->viewport()->height() / 2.0) <= 1,
             qPrintable(QString::number(cell.center().y())));
}

QTEST_MAIN(tst_BrowseViews)
#include "tst_BrowseViews.moc"
