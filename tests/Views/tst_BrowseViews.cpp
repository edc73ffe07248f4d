#include "Services/ThumbnailService.h"
#include "Views/BrowseGridView.h"
#include "Views/BrowseListModel.h"
#include "Views/BrowseListView.h"
#include "Views/BrowseView.h"
#include "Views/CollectionWorkspace.h"
#include "support/StoreFixture.h"

#include <QFileInfo>
#include <QHeaderView>
#include <QPainter>
#include <QScopeGuard>
#include <QScrollArea>
#include <QScrollBar>

#include <thread>

using namespace TestFolders;
using namespace Qt::StringLiterals;

Q_DECLARE_METATYPE(BrowseLayoutMode)

// Browse mode as a user drives it, headless: the filter chips, the three layouts and what
// each reports back to the store, the list's sorting and selection, and the layout fade.
class tst_BrowseViews : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates)); }
    void chipsCountAndFilter();
    void duplicatesAcrossCategories();
    void emptyFilterInEveryLayout();
    void layoutsReportTheirOrder();
    void dimensionsFillInWhileShown_data();
    void dimensionsFillInWhileShown();
    void firstScreenBeforeOtherHeaders_data();
    void firstScreenBeforeOtherHeaders();
    void listSelectsSortsAndDrags();
    void browseOpensOnTheFocusedPhoto();
    void crowdedChipsScroll_data();
    void crowdedChipsScroll();
    void chosenFilterStartsAtTheTop_data();
    void chosenFilterStartsAtTheTop();
    void controlCharactersInNamesShow();

private:
    struct Browse
    {
        StoreFixture f;
        ThumbnailService thumbnails{1};
        std::unique_ptr<BrowseView> view;
        std::unique_ptr<CategoryFilterBar> bar;

        // Writes a few bytes at each of "a.jpg|Cats/b.jpg", an empty folder for "Dogs/".
        explicit Browse(const char *entries = "")
        {
            for (const QString &entry : split(entries)) {
                entry.endsWith(u'/') ? void(makeFolder(f.path(), entry))
                                     : void(writeFile(f.path(), entry));
            }
        }
        // 120 photos in Unsorted and 60 in Cats.
        void writeMany()
        {
            for (int i = 0; i < 120; ++i) {
                writeFile(f.path(), u"p%1.jpg"_s.arg(i, 3, 10, QLatin1Char('0')));
                if (i < 60) {
                    writeFile(f.path(), u"Cats/c%1.jpg"_s.arg(i, 3, 10, QLatin1Char('0')));
                }
            }
        }
        bool show(BrowseLayoutMode layout = BrowseLayoutMode::tiles, bool readDimensions = true)
        {
            CollectionStore &store = f.store ? *f.store : f.make();
            store.installKeyEventMonitor();
            if (!f.open(readDimensions)) {
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
    Browse b("Cats/c.jpg");
    for (int i = 0; i < 1234; ++i) {
        writeFile(b.f.path(), u"p%1.jpg"_s.arg(i));
    }
    QVERIFY(b.show());
    QList<FilterChip *> chips = b.bar->chips();
    QCOMPARE(chips.size(), 4);
    QCOMPARE(chips[3]->text(), u"Duplicates"_s); // last, whatever the categories
    QCOMPARE(chips[3]->countText(), u"0"_s);
    QCOMPARE(chips[0]->text(), u"All"_s);
    QCOMPARE(chips[0]->countText(), u"1,235"_s);
    QVERIFY(chips[0]->isSelected());
    QCOMPARE(chips[1]->text(), u"Unsorted"_s);
    QCOMPARE(chips[1]->countText(), u"1,234"_s);

    const QString cats = b.f.sectionNamed(u"Cats"_s)->id;
    chips[2]->click();
    QCOMPARE(b.f.store->browseFilterSectionID(), cats);
    QVERIFY(b.bar->chips()[2]->isSelected());
    QCOMPARE(b.navigationNames(), split("c.jpg")); // reported anew
    // Clicking the active chip again keeps the filter and clears the selection.
    b.f.store->selectAll();
    QCOMPARE(b.f.store->selectedCount(), 1);
    b.bar->chips()[2]->click();
    QCOMPARE(b.f.store->browseFilterSectionID(), cats);
    QCOMPARE(b.f.store->selectedCount(), 0);
    QCOMPARE(b.navigationNames(), split("c.jpg"));
}

void tst_BrowseViews::duplicatesAcrossCategories()
{
    // A photo, its copy filed into Cats, and another picture: only the two copies are listed.
    Browse b("Cats/");
    const auto gradient = [&b](const QString &name, bool brightLeft) {
        QImage image(96, 64, QImage::Format_RGB32);
        QLinearGradient ramp(0, 0, 96, 0);
        ramp.setStops(
            {{0, brightLeft ? Qt::white : Qt::black}, {1, brightLeft ? Qt::black : Qt::white}});
        QPainter(&image).fillRect(image.rect(), ramp);
        return image.save(b.f.path(name), "JPEG", 90);
    };
    QVERIFY(gradient(u"a.jpg"_s, true) && gradient(u"b.jpg"_s, false));
    QVERIFY(QFile::copy(b.f.path(u"a.jpg"_s), b.f.path(u"Cats/a.jpg"_s)));
    QVERIFY(b.show());
    QTRY_COMPARE_WITH_TIMEOUT(b.bar->chips().last()->countText(), u"2"_s, 15'000);
    b.bar->chips().last()->click();
    QVERIFY(b.f.store->isShowingDuplicates());
    QCOMPARE(b.navigationNames(), split("a.jpg|a.jpg"));
    QStringList where;
    for (const BrowsePhotoItem &item : b.f.store->browseItems()) {
        where.append(item.categoryName);
    }
    where.sort();
    QCOMPARE(where, split("Cats|Unsorted"));
    // The same bytes: once the pass is done, the digests were read, and they agree. (The
    // pictures alike make the two duplicates before that.)
    QTRY_VERIFY_WITH_TIMEOUT(b.f.store->similarity().isComplete(), 15'000);
    const Photo copy = *b.f.store->photo(b.f.idOf(u"a.jpg"_s));
    QVERIFY(!b.f.store->similarity().digest(copy).isEmpty());
}

void tst_BrowseViews::emptyFilterInEveryLayout()
{
    Browse b("a.jpg|b.jpg|Empty/");
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
    for (const auto &[name, size] : {std::pair{"Cats/a.jpg", QSize(40, 20)}, {"b.jpg", {20, 40}},
                                     {"c.jpg", {20, 20}}, {"d.jpg", {20, 20}}}) {
        writeJpeg(b.f.path(), QString::fromLatin1(name), size);
    }
    QVERIFY(b.show());
    // Tiles: list order (Unsorted first), the column rule's 3 columns at 1000 wide.
    const QStringList listOrder = split("b.jpg|c.jpg|d.jpg|a.jpg");
    QCOMPARE(b.navigationNames(), listOrder);
    QCOMPARE(b.f.store->gridColumnCount(), 3);
    QVERIFY(b.f.store->browseSpatialFrames().isEmpty());

    b.f.desktop.reducedMotion = true; // the layouts change at once
    b.f.store->setBrowseLayout(BrowseLayoutMode::masonry);
    QVERIFY(!b.view->isFading());
    QCOMPARE(b.view->currentPage(), b.view->masonry());
    QCOMPARE(b.navigationNames(), listOrder); // list order, not the visual column order
    const QHash<QString, QRectF> &frames = b.f.store->browseSpatialFrames();
    QCOMPARE(frames.size(), 4);
    QCOMPARE(frames.value(b.f.idOf(u"b.jpg"_s)), QRectF(0, 0, 240, 480));
    QCOMPARE(frames.value(b.f.idOf(u"a.jpg"_s)), QRectF(254, 254, 240, 120));
    // The cell on screen is where the frame says, offset by the centred block.
    const QRectF shown = b.view->masonry()->cellRect(b.f.idOf(u"c.jpg"_s));
    QCOMPARE(shown.size(), QSizeF(240, 240));

    b.f.desktop.reducedMotion = false; // they fade into each other
    b.f.store->setBrowseLayout(BrowseLayoutMode::list);
    QVERIFY(b.view->isFading());
    QVERIFY(b.f.store->browseSpatialFrames().isEmpty());
    QCOMPARE(b.navigationNames(), split("a.jpg|b.jpg|c.jpg|d.jpg"));
    QTRY_VERIFY_WITH_TIMEOUT(!b.view->isFading(), 2000);
}

void tst_BrowseViews::dimensionsFillInWhileShown_data()
{
    QTest::addColumn<BrowseLayoutMode>("layout");
    QTest::newRow("masonry") << BrowseLayoutMode::masonry;
    QTest::newRow("list") << BrowseLayoutMode::list;
}

// The collection shows before any header is read; the dimensions then fill in under a user who
// has already selected a photo and scrolled, and neither is lost.
void tst_BrowseViews::dimensionsFillInWhileShown()
{
    QFETCH(BrowseLayoutMode, layout);
    Browse b;
    for (int i = 0; i < 60; ++i) { // every third one portrait
        writeJpeg(b.f.path(), u"p%1.jpg"_s.arg(i, 2, 10, QLatin1Char('0')),
                  i % 3 ? QSize(40, 20) : QSize(20, 40));
    }
    CollectionStore &store = b.f.make();
    std::atomic<bool> released = false;
    store.dimensionFill().setHeaderReader([&released](const QString &path) {
        while (!released) {
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
        return ImageDimensionsReader::imageDimensions(path);
    });
    QVERIFY(b.show(layout, /*readDimensions=*/false));
    const QList<Photo> listed = store.flattenedPhotos();
    QCOMPARE(listed.size(), 60);
    QVERIFY(std::none_of(listed.cbegin(), listed.cend(), [](const Photo &p) { return p.hasDimensions(); }));

    const QString portrait = b.f.idOf(u"p30.jpg"_s);
    store.select(portrait, b.f.sectionNamed(u"Unsorted"_s)->id, {});
    QAbstractScrollArea *area = layout == BrowseLayoutMode::list
                                    ? static_cast<QAbstractScrollArea *>(b.view->list())
                                    : static_cast<QAbstractScrollArea *>(b.view->masonry());
    QScrollBar *bar = area->verticalScrollBar();
    QVERIFY(bar->maximum() > 200);
    bar->setValue(200);
    const QStringList order = store.browseNavigationPhotoIDs();

    released = true;
    QVERIFY(b.f.settle());
    const QList<Photo> read = store.flattenedPhotos();
    QVERIFY(std::all_of(read.cbegin(), read.cend(), [](const Photo &p) { return p.hasDimensions(); }));
    QCOMPARE(store.photo(portrait)->dimensionsLabel(), u"20 × 40"_s);
    QCOMPARE(store.selectedPhotoIDs(), QSet<QString>{portrait});
    QCOMPARE(store.focusedPhotoID(), portrait);
    QCOMPARE(bar->value(), 200);
    QCOMPARE(store.browseNavigationPhotoIDs(), order);
    if (layout == BrowseLayoutMode::masonry) { // the cell takes the photo's shape
        QTRY_COMPARE(store.browseSpatialFrames().value(portrait).size(), QSizeF(240, 480));
    } else { // the Dimensions column shows what was read
        const QAbstractItemModel *rows = b.view->list()->model();
        QStringList shown;
        for (int row = 0; row < rows->rowCount(); ++row) {
            shown.append(rows->index(row, BrowseListModel::DimensionsColumn).data().toString());
        }
        QCOMPARE(shown.count(u"20 × 40"_s), 20);
        QCOMPARE(shown.count(u"40 × 20"_s), 40);
    }
}

void tst_BrowseViews::firstScreenBeforeOtherHeaders_data()
{
    QTest::addColumn<BrowseLayoutMode>("layout");
    QTest::addColumn<bool>("thumbnailsCome");
    QTest::newRow("masonry") << BrowseLayoutMode::masonry << true;
    QTest::newRow("list") << BrowseLayoutMode::list << true;
    QTest::newRow("thumbnails that never come") << BrowseLayoutMode::masonry << false;
}

// While the first screen waits for its thumbnails only its photos' headers are read (a masonry
// cell takes its shape from them); the others follow once the screen has its thumbnails, or
// once the hold has waited long enough for thumbnails that do not come.
void tst_BrowseViews::firstScreenBeforeOtherHeaders()
{
    QFETCH(BrowseLayoutMode, layout);
    QFETCH(bool, thumbnailsCome);
    StoreFixture f;
    for (int i = 0; i < 120; ++i) {
        writeJpeg(f.path(), u"p%1.jpg"_s.arg(i, 3, 10, QLatin1Char('0')),
                  i % 3 ? QSize(40, 20) : QSize(20, 40));
    }
    std::atomic<bool> decode = false;
    ThumbnailService thumbnails(
        1, [](const QString &, int) { return QImage(); },
        [&decode](const QString &path, int pixels) {
            while (!decode) {
                std::this_thread::sleep_for(std::chrono::milliseconds(2));
            }
            return ThumbnailService::downsample(path, pixels);
        });
    const auto decodeAtLast = qScopeGuard([&decode] { decode = true; });
    CollectionStore &store = f.make();
    store.setWorkspaceMode(WorkspaceMode::browse);
    store.setBrowseLayout(layout);
    store.dimensionFill().setHoldLimit(thumbnailsCome ? 60'000 : 200);
    // The second half lies far below the first screen of either layout.
    std::atomic<int> secondHalfRead = 0;
    store.dimensionFill().setHeaderReader([&secondHalfRead](const QString &path) {
        secondHalfRead += QFileInfo(path).baseName().mid(1).toInt() >= 60;
        return ImageDimensionsReader::imageDimensions(path);
    });
    BrowseView view(store, thumbnails);
    view.resize(1000, 700);
    view.show();
    QVERIFY(QTest::qWaitForWindowExposed(&view) && f.open(false));

    // Read while the rest waits: the photos on screen, and those a scroll brings there.
    const auto screenRead = [&] {
        QStringList ids;
        if (layout == BrowseLayoutMode::list) {
            const BrowseListView &list = *view.list();
            const int last = list.rowAt(list.viewport()->height() - 1);
            for (int row = list.rowAt(0); row >= 0 && row <= last; ++row) {
                ids.append(list.model()->index(row, 0).data(BrowseListModel::IdRole).toString());
            }
        } else {
            for (const PhotoCanvas::AccessibleCell &cell : view.masonry()->accessibleCells()) {
                ids.append(cell.key);
            }
        }
        return !ids.isEmpty() && std::all_of(ids.cbegin(), ids.cend(), [&](const QString &id) {
            return store.photo(id)->hasDimensions();
        });
    };
    QTRY_VERIFY(screenRead());
    if (thumbnailsCome) {
        auto *area = layout == BrowseLayoutMode::list
                         ? static_cast<QAbstractScrollArea *>(view.list())
                         : static_cast<QAbstractScrollArea *>(view.masonry());
        area->verticalScrollBar()->setValue(area->viewport()->height());
        QTRY_VERIFY(screenRead());
        QVERIFY(!QTest::qWaitFor([&] { return secondHalfRead > 0; }, 500));
        decode = true;
    }
    QVERIFY(f.settle()); // the rest is read at last
    QCOMPARE(secondHalfRead.load(), 60);
}

void tst_BrowseViews::listSelectsSortsAndDrags()
{
    Browse b;
    for (const auto &[name, bytes] : {std::pair{"a.jpg", 300}, {"b.jpg", 100}, {"c.jpg", 200},
                                      {"d.jpg", 400}}) {
        writeFile(b.f.path(), QString::fromLatin1(name), QByteArray(bytes, 'x'));
    }
    QVERIFY(b.show(BrowseLayoutMode::list));
    BrowseListView *list = b.view->list();
    b.f.store->selectAll();
    QCOMPARE(list->selectionModel()->selectedRows().size(), 4);
    // Two selected: the badge is the handle that drags them; pressing it keeps the selection.
    const QPoint badge = PhotoCellPainter::listBadgeRect(list->thumbnailRect(0)).center().toPoint();
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, badge);
    QCOMPARE(b.f.store->selectedCount(), 4);
    // A click on a row's name selects that row alone; Ctrl adds one.
    const auto click = [&](int row, Qt::KeyboardModifiers modifiers = {}) {
        const QRect rect = list->visualRect(list->model()->index(row, BrowseListModel::NameColumn));
        QTest::mouseClick(list->viewport(), Qt::LeftButton, modifiers, rect.center());
    };
    click(1);
    QCOMPARE(b.f.selectedNames(), split("b.jpg"));
    click(3, Qt::ControlModifier);
    QCOMPARE(b.f.selectedNames(), split("b.jpg|d.jpg"));
    // One selected: no badge, so a press there selects the row.
    b.f.store->selectBrowse(b.f.idOf(u"c.jpg"_s), {});
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, badge);
    QCOMPARE(b.f.selectedNames(), split("a.jpg"));
    // A double click opens the file.
    const QRect rect = list->visualRect(list->model()->index(2, BrowseListModel::SizeColumn));
    QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, rect.center());
    QVERIFY(b.f.desktop.calls.contains(u"open c.jpg"_s));

    // The arrow keys walk the order shown.
    list->horizontalHeader()->setSortIndicator(BrowseListModel::SizeColumn, Qt::AscendingOrder);
    QCOMPARE(b.navigationNames(), split("b.jpg|c.jpg|a.jpg|d.jpg"));
    b.f.store->selectBrowse(b.f.idOf(u"b.jpg"_s), {});
    b.pressDown();
    QCOMPARE(b.f.focusedName(), u"c.jpg"_s);
    b.pressDown();
    QCOMPARE(b.f.focusedName(), u"a.jpg"_s);
    // Entering the list again starts from name order.
    b.f.store->setBrowseLayout(BrowseLayoutMode::tiles);
    b.f.store->setBrowseLayout(BrowseLayoutMode::list);
    QCOMPARE(b.navigationNames(), split("a.jpg|b.jpg|c.jpg|d.jpg"));
}

void tst_BrowseViews::browseOpensOnTheFocusedPhoto()
{
    StoreFixture f;
    for (int i = 0; i < 150; ++i) {
        writeFile(f.path(), u"p%1.jpg"_s.arg(i, 3, 10, QLatin1Char('0')));
    }
    CollectionStore &store = f.make();
    ThumbnailService thumbnails(1);
    CollectionWorkspace workspace(store, thumbnails);
    workspace.resize(1180, 700);
    workspace.show();
    QVERIFY(f.open());
    store.selectBrowse(f.idOf(u"p000.jpg"_s), {});
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

void tst_BrowseViews::crowdedChipsScroll_data()
{
    QTest::addColumn<int>("categories");
    QTest::addColumn<QString>("way"); // how the user reaches the last chip

    QTest::newRow("12 categories, right arrow") << 12 << u"arrow"_s;
    QTest::newRow("12 categories, wheel over a chip") << 12 << u"wheel"_s;
    QTest::newRow("12 categories, drag from a chip") << 12 << u"drag"_s;
    QTest::newRow("2 categories fit: no arrows, the wheel moves nothing") << 2 << u"wheel"_s;
}

// Chips that run past the bar's right edge can be reached; the arrows show only then.
void tst_BrowseViews::crowdedChipsScroll()
{
    QFETCH(int, categories);
    QFETCH(QString, way);
    Browse b;
    writeFile(b.f.path(), u"a.jpg"_s);
    for (int i = 1; i <= categories; ++i) {
        makeFolder(b.f.path(), u"Category %1"_s.arg(i, 2, 10, QLatin1Char('0')));
    }
    QVERIFY(b.show());
    CategoryFilterBar &bar = *b.bar;
    bar.resize(660, bar.height());
    QWidget *viewport = bar.scrollArea()->viewport();
    const QScrollBar *offset = bar.scrollArea()->horizontalScrollBar();
    const auto inView = [&](const FilterChip *chip) {
        return viewport->rect().contains(QRect(chip->mapTo(viewport, QPoint()), chip->size()));
    };
    const QList<FilterChip *> chips = bar.chips();
    QCOMPARE(chips.size(), categories + 3); // All, Unsorted, the categories, Duplicates
    const bool crowded = categories > 2;
    QTRY_COMPARE(bar.scrollRightButton()->isVisible(), crowded);
    QCOMPARE(bar.scrollLeftButton()->isVisible(), crowded);
    QCOMPARE(inView(chips.last()), !crowded);
    QVERIFY(!bar.scrollLeftButton()->isEnabled()); // at the start already

    if (way == "arrow"_L1) {
        for (int i = 0; i < 20 && bar.scrollRightButton()->isEnabled(); ++i) {
            QTest::mouseClick(bar.scrollRightButton(), Qt::LeftButton);
        }
        QVERIFY(!bar.scrollRightButton()->isEnabled()); // at the end
        QVERIFY(bar.scrollLeftButton()->isEnabled());
    } else if (way == "wheel"_L1) {
        for (int i = 0; i < 40 && (i == 0 || !inView(chips.last())); ++i) {
            const QPoint middle = viewport->rect().center();
            QWidget *under = viewport->childAt(middle);
            QWidget *target = under ? under : viewport;
            const QPointF at = target->mapFrom(viewport, middle);
            QWheelEvent wheel(at, target->mapToGlobal(at), QPoint(), QPoint(0, -120), Qt::NoButton,
                              Qt::NoModifier, Qt::NoScrollPhase, false);
            // Delivered as QTest delivers mouse events: as if from the window system, so a chip
            // that ignores it passes it on to its parents.
            QSpontaneKeyEvent::setSpontaneous(&wheel);
            qApp->notify(target, &wheel);
        }
        QCOMPARE(offset->value() > 0, crowded);
    } else {
        // The row follows the pointer, so the pointer stays over the chip it pressed.
        FilterChip *chip = chips[1];
        const QPoint start = chip->mapToGlobal(chip->rect().center());
        QTest::mousePress(chip, Qt::LeftButton, {}, chip->mapFromGlobal(start));
        for (int dx = 10; dx <= 300; dx += 10) { // small steps, as a pointer moves
            QTest::mouseMove(chip, chip->mapFromGlobal(start - QPoint(dx, 0)));
        }
        QCOMPARE(offset->value(), 300);
        QCOMPARE(chip->mapToGlobal(chip->rect().center()), start - QPoint(300, 0));
        QTest::mouseRelease(chip, Qt::LeftButton, {}, chip->rect().center());
        QVERIFY(!b.f.store->browseFilterSectionID()); // the drag chose no chip
        QVERIFY(!chip->isDown());
        return;
    }
    QVERIFY(inView(chips.last()));
    QCOMPARE(bar.scrollLeftButton()->isVisible(), crowded);
}

void tst_BrowseViews::chosenFilterStartsAtTheTop_data()
{
    QTest::addColumn<BrowseLayoutMode>("layout");
    for (const BrowseLayoutMode layout : allCases<BrowseLayoutMode>()) {
        QTest::newRow(qPrintable(rawValue(layout))) << layout;
    }
}

// Far down "All", choosing a category shows its first photos, not wherever the old offset
// lands (its end, as it holds fewer photos); and back. Deleting the filtered category falls
// back to "All" with the focused photo kept in view rather than the view jumping to the top.
void tst_BrowseViews::chosenFilterStartsAtTheTop()
{
    QFETCH(BrowseLayoutMode, layout);
    Browse b;
    b.writeMany();
    QVERIFY(b.show(layout));
    auto *page = qobject_cast<QAbstractScrollArea *>(b.view->currentPage());
    QVERIFY(page);
    QScrollBar *offset = page->verticalScrollBar();
    offset->setValue(offset->maximum());
    QVERIFY(offset->value() > 0);

    b.bar->chips()[2]->click(); // Cats
    QCOMPARE(b.view->currentPage(), page);
    QVERIFY(offset->maximum() > 0); // Cats alone still scrolls: the top is not the only place
    QCOMPARE(offset->value(), 0);

    offset->setValue(offset->maximum());
    b.bar->chips()[0]->click(); // All
    QCOMPARE(offset->value(), 0);
    if (layout != BrowseLayoutMode::tiles) {
        return;
    }

    CollectionStore &store = *b.f.store;
    b.bar->chips()[2]->click();
    const QString focused = b.f.idOf(u"c050.jpg"_s);
    store.selectBrowse(focused, {});
    store.requestDeleteCategory(b.f.sectionNamed(u"Cats"_s)->id);
    QVERIFY(store.deleteCategoryPrompt());
    store.confirmDeleteCategory(*store.deleteCategoryPrompt());
    QVERIFY(b.f.settle());
    QVERIFY(!store.browseFilterSectionID());
    QCOMPARE(store.focusedPhotoID(), std::optional(focused));
    QVERIFY(offset->value() > 0);
    const QRectF cell = b.view->tiles()->cellRect(focused);
    QVERIFY(!cell.isEmpty());
    QVERIFY(b.view->tiles()->viewport()->rect().contains(cell.toAlignedRect()));
}

// Names from the disk may hold line breaks and tabs: the chips and the list show them as
// symbols on one line.
void tst_BrowseViews::controlCharactersInNamesShow()
{
    Browse b("Cats\tDogs/two\nlines.jpg");
    QVERIFY(b.show(BrowseLayoutMode::list));
    QCOMPARE(b.bar->chips().value(2)->text(), u"Cats⇥Dogs"_s); // after All and Unsorted
    const QAbstractItemModel *rows = b.view->list()->model();
    QCOMPARE(rows->rowCount(), 1);
    QCOMPARE(rows->index(0, BrowseListModel::NameColumn).data().toString(), u"two↵lines.jpg"_s);
    QCOMPARE(rows->index(0, BrowseListModel::CategoryColumn).data().toString(), u"Cats⇥Dogs"_s);
}

QTEST_MAIN(tst_BrowseViews)
#include "tst_BrowseViews.moc"
