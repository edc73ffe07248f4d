#include "Services/Platform/LinuxFileSystem.h"
#include "Services/ThumbnailService.h"
#include "Views/BrowseListView.h"
#include "Views/BrowseView.h"
#include "Views/CollectionWorkspace.h"
#include "Views/FileIntoField.h"
#include "Views/GalleryView.h"
#include "Views/MultiFileDrag.h"
#include "Views/PhotoCellPainter.h"
#include "Views/PhotoContextMenu.h"
#include "Views/SegmentedControl.h"
#include "Views/ThumbnailFeed.h"
#include "support/FaultyFileSystem.h"
#include "support/StoreFixture.h"

#include <QAccessible>
#include <QAction>
#include <QApplication>
#include <QContextMenuEvent>
#include <QDeadlineTimer>
#include <QFileInfo>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMimeData>
#include <QScopeGuard>
#include <QScreen>
#include <QScrollBar>
#include <QSemaphore>
#include <QSlider>
#include <QThread>

#include <atomic>

using namespace TestFolders;
using namespace Qt::StringLiterals;

namespace {

// The real disk, with each move held until `beforeMove` returns and failing when it says so:
// lets a test order the disk against the thumbnail decoder.
class HeldMoves : public LinuxFileSystem
{
public:
    std::function<bool(const QString &source)> beforeMove; // false fails the move
    Result<void> moveNoReplace(const QString &source, const QString &destination,
                               const CopyNote &note = {}) override
    {
        if (beforeMove && !beforeMove(source)) {
            return std::unexpected(FileSystemError::system(EIO, QStringLiteral("Held move")));
        }
        return LinuxFileSystem::moveNoReplace(source, destination, note);
    }
};

// The photo cells of `view` whose centre shows no thumbnail in what the window last painted
// (the offscreen screen keeps it), not in what the view would paint now. Test photos are dark
// cyan; a placeholder is grey.
QStringList unpaintedCells(const PhotoCanvas &view)
{
    const QImage screen = view.screen()->grabWindow(view.window()->winId()).toImage();
    QStringList missing;
    for (const PhotoCanvas::AccessibleCell &cell : view.accessibleCells()) {
        const QPoint centre = cell.rect.center().toPoint();
        if (cell.isPhoto && view.viewport()->rect().contains(centre)) {
            const QRgb pixel = screen.pixel(view.viewport()->mapTo(view.window(), centre));
            if (qGreen(pixel) - qRed(pixel) < 48) {
                missing.append(cell.name);
            }
        }
    }
    return missing;
}

} // namespace

// The sorting board as a user drives it, headless: clicks, keys, drags and drops over real
// folders, plus the header and status strip around it.
class tst_SortingBoard : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates)); }
    void clickSelection();
    void digitKeyFilesAndAdvances();
    void drops_data();
    void drops();
    void dragHighlightFollowsBlocks();
    void moveGlides_data();
    void moveGlides();
    void columnCountFollowsWidth();
    void scrollRequestCentresPhoto();
    void onlyVisibleCellsGetThumbnails();
    void hiddenFeedLeavesOthersAlone();
    void thumbnailsFillTheirCell_data();
    void thumbnailsFillTheirCell();
    void portraitDecodedToFillItsCell();
    void movedCellsGetTheirThumbnailsAgain_data();
    void movedCellsGetTheirThumbnailsAgain();
    void failedThumbnailsAskedAgainOnce();
    void visibleCellsPaintedAfterChanges_data();
    void visibleCellsPaintedAfterChanges();
    void cellsAreAccessible();
    void photoMenuTitles();
    void sectionMenus();
    void multiFileFrames();
    void badgeText_data();
    void badgeText();
    void headerAndStatus();
    void fileIntoByName();
    void unreadableEntriesAreNoted();

private:
    struct Board
    {
        StoreFixture f;
        std::unique_ptr<ThumbnailService> thumbnails;
        std::unique_ptr<GalleryView> view;
        std::atomic<int> decodes{0};
        std::atomic<int> largestBound{0};

        // Opens the fixture's folder and shows a board of `size` over it.
        bool show(QSize size = {1000, 700})
        {
            CollectionStore &store = f.store ? *f.store : f.make();
            thumbnails = std::make_unique<ThumbnailService>(
                1, [](const QString &, int) { return QImage(); },
                [this](const QString &path, int pixels) {
                    ++decodes;
                    largestBound = std::max(largestBound.load(), pixels);
                    return ThumbnailService::downsample(path, pixels);
                });
            view = std::make_unique<GalleryView>(store, *thumbnails);
            view->resize(size);
            view->show();
            return f.open() && QTest::qWaitForWindowExposed(view.get());
        }
        QPoint centre(const QString &filename) const
        {
            return view->cellRect(f.idOf(filename)).center().toPoint();
        }
        void click(const QString &filename, Qt::KeyboardModifiers modifiers = {})
        {
            QTest::mouseClick(view->viewport(), Qt::LeftButton, modifiers, centre(filename));
        }
        QString sectionID(const QString &name) const { return f.sectionNamed(name)->id; }
        // Delivers a whole drag (enter, move, drop) of `data` at `point` to the board.
        void drop(const QMimeData &data, QPoint point, Qt::DropActions actions)
        {
            QDragEnterEvent enter(point, actions, &data, Qt::LeftButton, {});
            QApplication::sendEvent(view->viewport(), &enter);
            QDropEvent drop(point, actions, &data, Qt::LeftButton, {});
            QApplication::sendEvent(view->viewport(), &drop);
        }
    };
};

void tst_SortingBoard::clickSelection()
{
    Board b;
    for (const char *name : {"a.jpg", "b.jpg", "c.jpg", "d.jpg", "e.jpg"}) {
        writeJpeg(b.f.path(), QString::fromLatin1(name));
    }
    QVERIFY(b.show());
    b.click(QStringLiteral("b.jpg"));
    QCOMPARE(b.f.selectedNames(), QStringList{QStringLiteral("b.jpg")});
    b.click(QStringLiteral("d.jpg"), Qt::ControlModifier);
    QCOMPARE(b.f.selectedNames(), (QStringList{QStringLiteral("b.jpg"), QStringLiteral("d.jpg")}));
    b.click(QStringLiteral("b.jpg"), Qt::ControlModifier); // toggles off
    QCOMPARE(b.f.selectedNames(), QStringList{QStringLiteral("d.jpg")});
    b.click(QStringLiteral("a.jpg"), Qt::ShiftModifier); // range from the anchor
    QCOMPARE(b.f.selectedNames(), (QStringList{QStringLiteral("a.jpg"), QStringLiteral("b.jpg"),
                                               QStringLiteral("c.jpg"), QStringLiteral("d.jpg")}));
    // A press that ends elsewhere is no click.
    const QStringList before = b.f.selectedNames();
    QTest::mousePress(b.view->viewport(), Qt::LeftButton, {}, b.centre(QStringLiteral("e.jpg")));
    QTest::mouseRelease(b.view->viewport(), Qt::LeftButton, {}, QPoint(2, 2));
    QCOMPARE(b.f.selectedNames(), before);
}

void tst_SortingBoard::digitKeyFilesAndAdvances()
{
    Board b;
    writeJpeg(b.f.path(), QStringLiteral("a.jpg"));
    writeJpeg(b.f.path(), QStringLiteral("b.jpg"));
    makeFolder(b.f.path(), QStringLiteral("Cats"));
    b.f.make().installKeyEventMonitor();
    QVERIFY(b.show());
    b.click(QStringLiteral("a.jpg"));
    QTest::keyClick(b.view->windowHandle(), Qt::Key_1); // as the window system delivers it
    QVERIFY(b.f.settle());
    QCOMPARE(filesBelow(b.f.path()),
             (QStringList{QStringLiteral("Cats/a.jpg"), QStringLiteral("b.jpg")}));
    QCOMPARE(b.f.focusedName(), QStringLiteral("b.jpg"));
    QCOMPARE(b.f.selectedNames(), QStringList{QStringLiteral("b.jpg")});
    // The board shows the move: a.jpg's cell now lies in the Cats block.
    QVERIFY(b.view->blockRect(b.sectionID(QStringLiteral("Cats")))
                .contains(b.view->cellRect(b.f.idOf(QStringLiteral("a.jpg")))));
    // On AZERTY the key marked 1 types "&" and sends the digit row's first scan code; the
    // keypad's 1 sends its own code and files nothing.
    const auto press = [&b](int key, Qt::KeyboardModifiers modifiers, quint32 scanCode,
                            const QString &text) {
        QKeyEvent event(QEvent::KeyPress, key, modifiers, scanCode, 0, 0, text);
        QCoreApplication::sendEvent(b.view->windowHandle(), &event);
        return b.f.settle();
    };
    QVERIFY(press(Qt::Key_1, Qt::KeypadModifier, 87, QStringLiteral("1")));
    QCOMPARE(filesBelow(b.f.path()),
             (QStringList{QStringLiteral("Cats/a.jpg"), QStringLiteral("b.jpg")}));
    QVERIFY(press(Qt::Key_Ampersand, Qt::NoModifier, 10, QStringLiteral("&")));
    QCOMPARE(filesBelow(b.f.path()),
             (QStringList{QStringLiteral("Cats/a.jpg"), QStringLiteral("Cats/b.jpg")}));
}

void tst_SortingBoard::drops_data()
{
    QTest::addColumn<bool>("internal");
    QTest::addColumn<QString>("target");
    QTest::addColumn<bool>("onEmptyZone");
    QTest::addColumn<QStringList>("expected");

    QTest::newRow("selection onto a category header")
        << true << QStringLiteral("Cats") << false
        << QStringLiteral("Cats/a.jpg,Cats/b.jpg,Dogs/d.jpg,c.jpg").split(u',');
    QTest::newRow("selection onto an empty zone")
        << true << QStringLiteral("Empty") << true
        << QStringLiteral("Dogs/d.jpg,Empty/a.jpg,Empty/b.jpg,c.jpg").split(u',');
    QTest::newRow("files from elsewhere are copied")
        << false << QStringLiteral("Dogs") << false
        << QStringLiteral("Dogs/d.jpg,Dogs/outside.jpg,a.jpg,b.jpg,c.jpg").split(u',');
    QTest::newRow("files from elsewhere into an empty zone")
        << false << QStringLiteral("Empty") << true
        << QStringLiteral("Dogs/d.jpg,Empty/outside.jpg,a.jpg,b.jpg,c.jpg").split(u',');
}

void tst_SortingBoard::drops()
{
    QFETCH(bool, internal);
    QFETCH(QString, target);
    QFETCH(bool, onEmptyZone);
    QFETCH(QStringList, expected);

    Board b;
    for (const char *name : {"a.jpg", "b.jpg", "c.jpg", "Dogs/d.jpg"}) {
        writeJpeg(b.f.path(), QString::fromLatin1(name));
    }
    makeFolder(b.f.path(), QStringLiteral("Cats"));
    makeFolder(b.f.path(), QStringLiteral("Empty"));
    QTemporaryDir elsewhere;
    const QString outside = writeJpeg(elsewhere.path(), QStringLiteral("outside.jpg"));
    QVERIFY(b.show({1000, 2000}));

    std::unique_ptr<QMimeData> data;
    if (internal) {
        b.click(QStringLiteral("a.jpg"));
        b.click(QStringLiteral("b.jpg"), Qt::ShiftModifier);
        data.reset(b.f.store->dragMimeData(b.f.idOf(QStringLiteral("a.jpg"))));
    } else {
        data = std::make_unique<QMimeData>();
        data->setUrls({QUrl::fromLocalFile(outside)});
    }
    const QString section = b.sectionID(target);
    const QRectF area = onEmptyZone ? b.view->emptyZoneRect(section) : b.view->headerRect(section);
    QVERIFY(!area.isEmpty());
    b.drop(*data, area.center().toPoint(), Qt::MoveAction | Qt::CopyAction);
    QVERIFY(b.f.settle());
    QCOMPARE(filesBelow(b.f.path()), expected);
    QVERIFY(QFile::exists(outside)); // a copy never takes the original away
    QCOMPARE(b.f.store->dropTargetSectionID(), std::nullopt);
}

void tst_SortingBoard::dragHighlightFollowsBlocks()
{
    Board b;
    writeJpeg(b.f.path(), QStringLiteral("a.jpg"));
    makeFolder(b.f.path(), QStringLiteral("Cats"));
    QVERIFY(b.show({1000, 1200}));
    const QString unsorted = b.f.store->sections().first().id;
    const QString cats = b.sectionID(QStringLiteral("Cats"));
    QMimeData files;
    files.setUrls({QUrl::fromLocalFile(b.f.path(QStringLiteral("a.jpg")))});
    QMimeData text;
    text.setText(QStringLiteral("not a photo"));
    const QPoint overUnsorted = b.view->headerRect(unsorted).center().toPoint();
    const QPoint overCats = b.view->headerRect(cats).center().toPoint();
    const Qt::DropActions both = Qt::MoveAction | Qt::CopyAction;

    QDragEnterEvent refused(overUnsorted, both, &text, Qt::LeftButton, {});
    QApplication::sendEvent(b.view->viewport(), &refused);
    QVERIFY(!refused.isAccepted());
    QCOMPARE(b.f.store->dropTargetSectionID(), std::nullopt);

    QDragEnterEvent enter(overUnsorted, both, &files, Qt::LeftButton, {});
    QApplication::sendEvent(b.view->viewport(), &enter);
    QVERIFY(enter.isAccepted());
    QCOMPARE(enter.dropAction(), Qt::CopyAction); // files from elsewhere are copied
    QCOMPARE(b.f.store->dropTargetSectionID(), unsorted);
    QDragMoveEvent move(overCats, both, &files, Qt::LeftButton, {});
    QApplication::sendEvent(b.view->viewport(), &move);
    QCOMPARE(b.f.store->dropTargetSectionID(), cats); // Unsorted's leaving left Cats alone
    QDragLeaveEvent leave;
    QApplication::sendEvent(b.view->viewport(), &leave);
    QCOMPARE(b.f.store->dropTargetSectionID(), std::nullopt);

    b.click(QStringLiteral("a.jpg"));
    std::unique_ptr<QMimeData> ours(b.f.store->dragMimeData(b.f.idOf(QStringLiteral("a.jpg"))));
    QDragEnterEvent internal(overCats, both, ours.get(), Qt::LeftButton, {});
    QApplication::sendEvent(b.view->viewport(), &internal);
    QCOMPARE(internal.dropAction(), Qt::MoveAction); // our own photos move
}

void tst_SortingBoard::moveGlides_data()
{
    QTest::addColumn<bool>("reducedMotion");
    QTest::addColumn<bool>("byDigit");
    QTest::addColumn<bool>("glides");
    QTest::newRow("menu move") << false << false << true;
    QTest::newRow("menu move, reduced motion") << true << false << false;
    QTest::newRow("digit key: at once, for speed") << false << true << false;
}

void tst_SortingBoard::moveGlides()
{
    QFETCH(bool, reducedMotion);
    QFETCH(bool, byDigit);
    QFETCH(bool, glides);
    Board b;
    for (const char *name : {"a.jpg", "b.jpg", "c.jpg"}) {
        writeJpeg(b.f.path(), QString::fromLatin1(name));
    }
    makeFolder(b.f.path(), QStringLiteral("Cats"));
    b.f.desktop.reducedMotion = reducedMotion;
    QVERIFY(b.show());
    b.click(QStringLiteral("a.jpg"));
    if (byDigit) {
        b.f.store->moveSelectionToDigit(1);
    } else {
        b.f.store->moveSelected(b.sectionID(QStringLiteral("Cats")));
    }
    QCOMPARE(b.view->isAnimating(), glides);
    QTRY_VERIFY(!b.view->isAnimating());
    QVERIFY(b.f.settle());
    QCOMPARE(filesBelow(b.f.path()), QStringLiteral("Cats/a.jpg,b.jpg,c.jpg").split(u','));
}

void tst_SortingBoard::columnCountFollowsWidth()
{
    Board b;
    writeJpeg(b.f.path(), QStringLiteral("a.jpg"));
    QVERIFY(b.show());
    const int bar = b.view->verticalScrollBar()->width();
    for (const auto &[width, thumbnail, columns] :
         {std::tuple{1000, 184.0, 4}, std::tuple{1000, 80.0, 10}, std::tuple{150, 184.0, 1}}) {
        b.f.store->setThumbnailSize(thumbnail);
        b.view->resize(width + bar, 600);
        QTRY_COMPARE(b.view->viewport()->width(), width);
        QCOMPARE(b.f.store->gridColumnCount(), columns);
    }
}

void tst_SortingBoard::scrollRequestCentresPhoto()
{
    Board b;
    for (int i = 0; i < 120; ++i) {
        writeFile(b.f.path(), QStringLiteral("p%1.jpg").arg(i, 3, 10, QLatin1Char('0')));
    }
    QVERIFY(b.show({1000, 600}));
    b.click(QStringLiteral("p000.jpg"));
    for (int i = 0; i < 12; ++i) {
        b.f.store->navigateSelection(0, 1); // twelve rows down
    }
    QCOMPARE(b.f.focusedName(), QStringLiteral("p048.jpg"));
    const QRectF cell = b.view->cellRect(b.f.idOf(QStringLiteral("p048.jpg")));
    QVERIFY(qAbs(cell.center().y() - b.view->viewport()->height() / 2.0) <= 1);

    // A drag resting near the bottom edge scrolls the board; leaving stops it.
    QMimeData files;
    files.setUrls({QUrl::fromLocalFile(b.f.path(QStringLiteral("p000.jpg")))});
    QScrollBar *bar = b.view->verticalScrollBar();
    const int start = bar->value();
    QDragEnterEvent enter(QPoint(500, b.view->viewport()->height() - 5), Qt::CopyAction, &files,
                          Qt::LeftButton, {});
    QApplication::sendEvent(b.view->viewport(), &enter);
    QTRY_VERIFY(bar->value() > start + 50);
    QDragLeaveEvent leave;
    QApplication::sendEvent(b.view->viewport(), &leave);
    const int stopped = bar->value();
    QTest::qWait(100);
    QCOMPARE(bar->value(), stopped);
}

void tst_SortingBoard::onlyVisibleCellsGetThumbnails()
{
    Board b;
    for (int i = 0; i < 400; ++i) {
        writeJpeg(b.f.path(), QStringLiteral("p%1.jpg").arg(i, 3, 10, QLatin1Char('0')), {40, 30});
    }
    QVERIFY(b.show({1000, 600}));
    const QString first = b.f.idOf(QStringLiteral("p000.jpg"));
    QTRY_VERIFY(!b.view->thumbnailFeed().image(first).isNull());
    QTRY_COMPARE(b.view->thumbnailFeed().pendingCount(), 0);
    // One screen holds 4 × 4 cells; with a screen above and below about 40 are prepared.
    QVERIFY2(b.decodes > 0 && b.decodes < 60, qPrintable(QString::number(b.decodes)));
    QVERIFY(b.view->thumbnailFeed().image(b.f.idOf(QStringLiteral("p399.jpg"))).isNull());
    b.view->verticalScrollBar()->setValue(b.view->verticalScrollBar()->maximum());
    QTRY_VERIFY(!b.view->thumbnailFeed().image(b.f.idOf(QStringLiteral("p399.jpg"))).isNull());
    QVERIFY(b.view->thumbnailFeed().image(first).isNull()); // far away: let go
}

void tst_SortingBoard::hiddenFeedLeavesOthersAlone()
{
    // One decoding thread held up by the first photo, so the others stay queued.
    std::atomic<bool> release{false};
    ThumbnailService service(
        1, [](const QString &, int) { return QImage(); },
        [&release](const QString &, int) {
            while (!release) {
                QThread::msleep(2);
            }
            return QImage(4, 3, QImage::Format_RGB32);
        });
    QList<ThumbnailFeed::Want> wants;
    for (int i = 0; i < 3; ++i) {
        Photo photo;
        photo.id = QString::number(i);
        photo.url = QUrl::fromLocalFile(QStringLiteral("/photos/%1.jpg").arg(i));
        wants.append({photo, QSizeF(100, 72)});
    }
    ThumbnailFeed shown(service);
    ThumbnailFeed hidden(service);
    QStringList ready;
    connect(&shown, &ThumbnailFeed::imageReady, this, [&](const QString &id) { ready.append(id); });
    shown.setWanted(wants, {});
    hidden.setWanted({}, {}); // a hidden view reacting to the same change
    shown.setWanted(wants, {});
    release = true;
    QTRY_COMPARE(ready.size(), 3);
    QCOMPARE(shown.pendingCount(), 0);
}

void tst_SortingBoard::thumbnailsFillTheirCell_data()
{
    QTest::addColumn<QSize>("photo");
    QTest::addColumn<QSizeF>("cell");
    QTest::addColumn<QSizeF>("expected");
    QTest::newRow("portrait in a board cell")
        << QSize(300, 400) << QSizeF(184, 138) << QSizeF(184, 184 * 4 / 3.0);
    QTest::newRow("landscape in a square tile")
        << QSize(400, 300) << QSizeF(240, 240) << QSizeF(320, 240);
    QTest::newRow("same shape") << QSize(400, 300) << QSizeF(200, 150) << QSizeF(200, 150);
    QTest::newRow("dimensions unknown") << QSize(0, 0) << QSizeF(184, 132) << QSizeF(184, 132);
}

void tst_SortingBoard::thumbnailsFillTheirCell()
{
    QFETCH(QSize, photo);
    QFETCH(QSizeF, cell);
    QFETCH(QSizeF, expected);
    Photo p;
    p.pixelWidth = photo.width();
    p.pixelHeight = photo.height();
    const QSizeF size = ThumbnailFeed::fillingSize(p, cell);
    QVERIFY2(qAbs(size.width() - expected.width()) < 1e-9 &&
                 qAbs(size.height() - expected.height()) < 1e-9,
             qPrintable(QStringLiteral("%1 x %2").arg(size.width()).arg(size.height())));
}

void tst_SortingBoard::portraitDecodedToFillItsCell()
{
    Board b;
    writeJpeg(b.f.path(), QStringLiteral("portrait.jpg"), {30, 40});
    QVERIFY(b.show());
    QTRY_COMPARE(b.view->thumbnailFeed().pendingCount(), 0);
    QTRY_VERIFY(b.f.store->photo(b.f.idOf(QStringLiteral("portrait.jpg")))->hasDimensions());
    QTRY_COMPARE(b.largestBound.load(), qCeil(184 * 4 / 3.0 * b.view->devicePixelRatioF()));
}

void tst_SortingBoard::movedCellsGetTheirThumbnailsAgain_data()
{
    QTest::addColumn<int>("photos");
    QTest::addColumn<bool>("all"); // Ctrl+A before the digit; otherwise the first photo alone
    QTest::addColumn<bool>("moveFails");
    QTest::newRow("a screenful, then undo") << 40 << true << false;
    QTest::newRow("one photo, then undo") << 4 << false << false;
    QTest::newRow("a screenful, the move fails") << 40 << true << true;
}

// A filed photo is shown under its new name before the disk has it there, so its cell may ask
// for a file that is not there yet; once the disk has caught up, every cell on screen must
// still get its thumbnail, without a scroll.
void tst_SortingBoard::movedCellsGetTheirThumbnailsAgain()
{
    QFETCH(int, photos);
    QFETCH(bool, all);
    QFETCH(bool, moveFails);
    StoreFixture f;
    for (int i = 0; i < photos; ++i) {
        writeJpeg(f.path(), QStringLiteral("p%1.jpg").arg(i, 2, 10, QLatin1Char('0')), {40, 30});
    }
    makeFolder(f.path(), QStringLiteral("Cats"));
    auto disk = std::make_shared<HeldMoves>();
    f.make(disk);
    // A cache of one image: a moved cell decodes its file again instead of finding it there.
    std::atomic<int> misses{0};
    ThumbnailService service(
        1, [](const QString &, int) { return QImage(); },
        [&misses](const QString &path, int pixels) {
            QImage image = ThumbnailService::downsample(path, pixels);
            misses += image.isNull() ? 1 : 0;
            return image;
        },
        std::make_unique<ThumbnailCache>(1));
    GalleryView view(*f.store, service);
    view.resize(1000, 600);
    view.show();
    QVERIFY(f.open() && QTest::qWaitForWindowExposed(&view));
    const auto unpainted = [&view] {
        QStringList missing;
        for (const PhotoCanvas::AccessibleCell &cell : view.accessibleCells()) {
            if (cell.isPhoto && view.thumbnailFeed().image(cell.key).isNull()) {
                missing.append(cell.name);
            }
        }
        return missing;
    };
    QTRY_COMPARE(unpainted(), QStringList());
    QCOMPARE(misses.load(), 0);

    // The first move waits until a decode has looked for a photo under its new name.
    std::atomic<bool> holding{true};
    disk->beforeMove = [&misses, &holding, moveFails](const QString &) {
        const QDeadlineTimer deadline(20000);
        while (holding && misses == 0 && !deadline.hasExpired()) {
            QThread::msleep(1);
        }
        holding = false;
        return !moveFails;
    };
    const QString first = f.idOf(QStringLiteral("p00.jpg"));
    QTest::mouseClick(view.viewport(), Qt::LeftButton, {}, view.cellRect(first).center().toPoint());
    if (all) {
        f.store->selectAll();
    }
    f.store->moveSelectionToDigit(1);
    QVERIFY(f.settle());
    disk->beforeMove = {};
    QVERIFY(misses > 0);
    QVERIFY(!view.cellRect(first).isEmpty()); // the moved photo is on screen
    QTRY_COMPARE(unpainted(), QStringList());
    QCOMPARE(filesBelow(f.path()).contains(QStringLiteral("Cats/p00.jpg")), !moveFails);

    if (!moveFails) {
        f.undoStack.undo();
        QVERIFY(f.settle());
        QTRY_VERIFY(filesBelow(f.path()).contains(QStringLiteral("p00.jpg")));
        QTRY_COMPARE(unpainted(), QStringList());
    }
}

// Asked again when the disk catches up, also when the failure lands after that; an unreadable
// file is asked once per catching up, never in a loop.
void tst_SortingBoard::failedThumbnailsAskedAgainOnce()
{
    QSemaphore started, gate;
    QHash<QString, int> decodes; // touched by the one pool thread, read after it is idle
    ThumbnailService service(
        1, [](const QString &, int) { return QImage(); },
        [&](const QString &path, int) {
            const QString name = QFileInfo(path).fileName();
            if (++decodes[name] == 1 && name == u"late.jpg"_s) {
                started.release();
                gate.acquire(); // looks for the file before the move has put it there
                return QImage();
            }
            return name == u"broken.jpg"_s ? QImage() : QImage(4, 3, QImage::Format_RGB32);
        });
    QList<ThumbnailFeed::Want> wants;
    for (const QString &name : {u"late.jpg"_s, u"broken.jpg"_s}) {
        Photo photo;
        photo.id = name;
        photo.url = QUrl::fromLocalFile(u"/photos/"_s + name);
        wants.append({photo, QSizeF(100, 72)});
    }
    ThumbnailFeed feed(service);
    feed.setWanted(wants, {});
    QVERIFY(started.tryAcquire(1, 20000));
    feed.retryFailed(); // the disk has caught up while "late" still decodes
    gate.release();
    QTRY_VERIFY(!feed.image(u"late.jpg"_s).isNull());
    QTRY_COMPARE(feed.pendingCount(), 0);
    QCOMPARE(decodes.value(u"late.jpg"_s), 2);
    // Queued before the disk caught up as well, so asked once more; that failure is final.
    QCOMPARE(decodes.value(u"broken.jpg"_s), 2);

    feed.retryFailed();
    QTRY_COMPARE(feed.pendingCount(), 0);
    QCOMPARE(decodes.value(u"broken.jpg"_s), 3);
    QCOMPARE(decodes.value(u"late.jpg"_s), 2); // shown: never asked again
    QVERIFY(feed.image(u"broken.jpg"_s).isNull());
}

void tst_SortingBoard::visibleCellsPaintedAfterChanges_data()
{
    QTest::addColumn<QString>("change");
    for (const char *change : {"tiles", "list", "masonry"}) {
        QTest::addRow("back from Browse %s", change) << QString::fromLatin1(change);
    }
    QTest::newRow("larger thumbnails, then back") << u"size"_s;
    QTest::newRow("a filing undone") << u"undo"_s;
}

// Thumbnails the cache already holds arrive without a decode: the cells painted before them
// (placeholders, or the photo where it was) must still be painted again, without a scroll.
void tst_SortingBoard::visibleCellsPaintedAfterChanges()
{
    QFETCH(QString, change);
    StoreFixture f;
    for (int i = 0; i < 12; ++i) {
        writeJpeg(f.path(), u"p%1.jpg"_s.arg(i, 2, 10, QLatin1Char('0')), {40, 30});
    }
    makeFolder(f.path(), u"Cats"_s);
    CollectionStore &store = f.make();
    ThumbnailService thumbnails(1, {}, &ThumbnailService::downsample);
    CollectionWorkspace workspace(store, thumbnails);
    workspace.resize(1180, 700);
    workspace.show();
    QVERIFY(QTest::qWaitForWindowExposed(&workspace) && f.open());
    const PhotoCanvas &board = *workspace.gallery();
    QTRY_COMPARE(unpaintedCells(board), QStringList());
    if (change == u"size") {
        store.setThumbnailSize(CollectionStore::maximumCellSize);
        QTRY_COMPARE(unpaintedCells(board), QStringList());
        store.setThumbnailSize(184);
    } else if (change == u"undo") {
        store.select(f.idOf(u"p00.jpg"_s), store.sections().first().id, {});
        store.moveSelectionToDigit(1);
        QVERIFY(f.settle());
        QTRY_COMPARE(unpaintedCells(board), QStringList());
        f.undoStack.undo();
        QVERIFY(f.settle());
    } else {
        store.setBrowseLayout(fromRawValue<BrowseLayoutMode>(change).value());
        store.setWorkspaceMode(WorkspaceMode::browse);
        QWidget *page = workspace.browseView()->currentPage();
        if (const auto *canvas = qobject_cast<PhotoCanvas *>(page)) {
            QTRY_COMPARE(unpaintedCells(*canvas), QStringList());
        } else {
            QTRY_VERIFY(!qobject_cast<BrowseListView *>(page)->thumbnailFeed().image(
                             f.idOf(u"p00.jpg"_s)).isNull());
        }
        store.setWorkspaceMode(WorkspaceMode::sort);
    }
    QTRY_COMPARE(unpaintedCells(board), QStringList());
}

void tst_SortingBoard::cellsAreAccessible()
{
    Board b;
    writeJpeg(b.f.path(), QStringLiteral("a.jpg"));
    writeJpeg(b.f.path(), QStringLiteral("b.jpg"));
    QVERIFY(b.show());
    b.click(QStringLiteral("a.jpg"));
    QAccessibleInterface *board = QAccessible::queryAccessibleInterface(b.view->viewport());
    QVERIFY(board);
    QCOMPARE(board->childCount(), 3); // the Unsorted header and its two cells
    QAccessibleInterface *header = board->child(0);
    QCOMPARE(header->text(QAccessible::Name), QStringLiteral("Unsorted, 2 photos"));
    QCOMPARE(header->role(), QAccessible::Heading);
    QAccessibleInterface *a = board->child(1);
    QAccessibleInterface *second = board->child(2);
    QCOMPARE(a->text(QAccessible::Name), QStringLiteral("a.jpg"));
    QCOMPARE(a->text(QAccessible::Value), QStringLiteral("Selected"));
    QVERIFY(a->state().selected);
    QCOMPARE(second->text(QAccessible::Value), QStringLiteral("Not selected"));
    QCOMPARE(a->role(), QAccessible::Graphic);
    QCOMPARE(board->child(1), a); // the same element while the cell stays
    QCOMPARE(board->indexOfChild(second), 2);
    const QPoint centre = b.view->viewport()->mapToGlobal(b.centre(QStringLiteral("b.jpg")));
    QCOMPARE(board->childAt(centre.x(), centre.y()), second);
    QCOMPARE(a->parent(), board);
}

void tst_SortingBoard::photoMenuTitles()
{
    StoreFixture f;
    writeJpeg(f.path(), QStringLiteral("a.jpg"));
    QStringList expected{QStringLiteral("0  Unsorted")};
    for (int i = 1; i <= 10; ++i) {
        const QString name = QStringLiteral("C%1").arg(i, 2, 10, QLatin1Char('0'));
        makeFolder(f.path(), name);
        expected.append(i <= 9 ? QString::number(i) + QStringLiteral("  ") + name : name);
    }
    f.make();
    QVERIFY(f.open());
    const QString unsorted = f.store->sections().first().id;
    std::unique_ptr<QMenu> menu(
        PhotoContextMenu::create(*f.store, f.idOf(QStringLiteral("a.jpg")), unsorted, nullptr));
    QStringList top;
    for (QAction *action : menu->actions()) {
        top.append(action->isSeparator() ? QStringLiteral("---") : action->text());
    }
    QCOMPARE(top,
             (QStringLiteral("Open,Quick Look,Reveal in File Manager,---,Move to,---,Move to Trash")
                  .split(u',')));
    const QList<QAction *> moves = menu->actions().at(4)->menu()->actions();
    QStringList titles;
    for (QAction *action : moves) {
        titles.append(action->text());
    }
    QCOMPARE(titles, expected);
    QVERIFY(!moves.first()->isEnabled()); // the photo's own section
    QVERIFY(moves.last()->isEnabled());

    moves.last()->trigger(); // focuses the photo, then files it
    QVERIFY(f.settle());
    QCOMPARE(filesBelow(f.path()), QStringList{QStringLiteral("C10/a.jpg")});
}

// Right-clicking a category's header or the room around its photos opens the category's menu;
// Unsorted has none.
void tst_SortingBoard::sectionMenus()
{
    Board b;
    writeJpeg(b.f.path(), u"Cats/a.jpg"_s);
    QVERIFY(b.show());
    const auto menuAt = [&b](QPointF point) {
        QContextMenuEvent event(QContextMenuEvent::Mouse, point.toPoint(),
                                b.view->viewport()->mapToGlobal(point.toPoint()));
        QApplication::sendEvent(b.view->viewport(), &event);
        QMenu *menu = qobject_cast<QMenu *>(QApplication::activePopupWidget());
        QStringList titles;
        for (const QAction *action : menu ? menu->actions() : QList<QAction *>()) {
            titles.append(action->text());
        }
        if (menu) {
            menu->close();
        }
        return titles;
    };
    const QString cats = b.sectionID(u"Cats"_s);
    const QStringList categoryMenu{u"Rename Category\u2026"_s, u"Delete Category\u2026"_s};
    QCOMPARE(menuAt(b.view->headerRect(b.f.store->sections().first().id).center()), QStringList());
    QCOMPARE(menuAt(b.view->headerRect(cats).center()), categoryMenu);
    QCOMPARE(menuAt(b.view->headerRect(cats).topRight() + QPointF(-2, 2)), categoryMenu);
    QCOMPARE(menuAt(b.view->blockRect(cats).bottomRight() + QPointF(-4, -4)), categoryMenu);
    std::unique_ptr<QMenu> menu(PhotoContextMenu::createForSection(*b.f.store, cats, nullptr));
    menu->actions().at(0)->trigger();
    QVERIFY(b.f.store->categoryPrompt());
    QCOMPARE(b.f.store->categoryPrompt()->initialName, u"Cats"_s);
}

void tst_SortingBoard::multiFileFrames()
{
    const QList<QRect> frames = MultiFileDrag::cardFrames(QPoint(100, 100), 8);
    QCOMPARE(frames.size(), 8);
    QCOMPARE(frames[0], QRect(62, 72, 76, 56));
    QCOMPARE(frames[1].topLeft() - frames[0].topLeft(), QPoint(3, -3));
    for (int i : {5, 6, 7}) {
        QCOMPARE(frames[i].topLeft() - frames[0].topLeft(), QPoint(15, -15));
    }
    MultiFileDrag::Handle handle;
    handle.press();
    QVERIFY(!handle.drag(nullptr, {QUrl::fromLocalFile(QStringLiteral("/a.jpg"))}, {}));
    QVERIFY(!handle.didBeginDragging()); // a single file travels with the cell's own drag
    std::unique_ptr<QMimeData> data(
        MultiFileDrag::mimeData({QUrl::fromLocalFile(QStringLiteral("/a.jpg")),
                                 QUrl::fromLocalFile(QStringLiteral("/b.jpg"))}));
    QCOMPARE(data->formats(), QStringList{QStringLiteral("text/uri-list")});
}

void tst_SortingBoard::badgeText_data()
{
    QTest::addColumn<qsizetype>("selected");
    QTest::addColumn<QString>("text");
    QTest::newRow("one: checkmark") << qsizetype(1) << QString();
    QTest::newRow("three") << qsizetype(3) << QStringLiteral("3");
    QTest::newRow("grouped") << qsizetype(1234) << QStringLiteral("1,234");
}

void tst_SortingBoard::badgeText()
{
    QFETCH(qsizetype, selected);
    QFETCH(QString, text);
    QCOMPARE(PhotoCellPainter::badgeText(selected), text);
    PhotoCellState state{true, false, selected};
    QCOMPARE(PhotoCellPainter::hasMultiFileHandle(state), selected >= 2);
}

void tst_SortingBoard::headerAndStatus()
{
    StoreFixture f;
    writeJpeg(f.path(), QStringLiteral("a.jpg"));
    makeFolder(f.path(), QStringLiteral("Cats"));
    CollectionStore &store = f.make();
    ThumbnailService thumbnails(1);
    CollectionWorkspace workspace(store, thumbnails);
    workspace.resize(1180, 700);
    workspace.show();
    QCOMPARE(workspace.header()->metricsText(), QStringLiteral("0 photos 0 categories"));
    QVERIFY(f.open());
    QCOMPARE(workspace.header()->metricsText(), QStringLiteral("1 photo 1 category"));
    StatusStrip *status = workspace.statusStrip();
    QCOMPARE(status->selectionText(), QStringLiteral("No selection"));
    store.selectAll();
    QCOMPARE(status->selectionText(), QStringLiteral("1 selected"));

    status->slider()->setValue(101); // snaps to the slider's steps of 8
    QCOMPARE(store.thumbnailSize(), 104.0);
    workspace.header()->modePicker()->activated(1);
    QCOMPARE(store.workspaceMode(), WorkspaceMode::browse);
    QVERIFY(workspace.header()->layoutPicker()->isVisible());
    QCOMPARE(status->sizeSymbol(), QStringLiteral("square.grid.3x3"));
    status->slider()->setValue(200);
    QCOMPARE(store.browseCellSize(), 200.0);
    QCOMPARE(store.thumbnailSize(), 104.0);
    store.setBrowseLayout(BrowseLayoutMode::list);
    QVERIFY(!status->slider()->isEnabled());
}

// Beyond nine categories: a typed letter opens "File into…", which files by name, creates a
// category that is not there yet, or closes without filing.
void tst_SortingBoard::fileIntoByName()
{
    StoreFixture f;
    for (const char *name : {"a.jpg", "b.jpg", "c.jpg"}) {
        writeJpeg(f.path(), QString::fromLatin1(name));
    }
    for (int i = 1; i <= 11; ++i) {
        makeFolder(f.path(), u"Cat %1"_s.arg(i, 2, 10, QLatin1Char('0')));
    }
    makeFolder(f.path(), u"\u00c9t\u00e9 2024"_s); // the twelfth: no number key
    CollectionStore &store = f.make();
    store.installKeyEventMonitor();
    ThumbnailService thumbnails(1);
    CollectionWorkspace workspace(store, thumbnails);
    workspace.resize(1180, 700);
    workspace.show();
    QVERIFY(QTest::qWaitForWindowExposed(&workspace));
    QVERIFY(f.open());
    QVERIFY(workspace.statusStrip()->hints().contains(u"A\u2013Z FILE BY NAME"_s));
    FileIntoField *field = workspace.fileIntoField();
    const auto select = [&](const char *name) {
        store.deselectAll();
        store.select(f.idOf(QString::fromLatin1(name)), f.sectionNamed(u"Unsorted"_s)->id, {});
        workspace.gallery()->setFocus();
    };

    select("a.jpg");
    QTest::keyClick(workspace.windowHandle(), Qt::Key_E);
    QVERIFY(field->isVisible());
    QVERIFY(field->edit()->hasFocus());
    QTest::keyClicks(field->edit(), u"t"_s);
    QCOMPARE(field->matchesText(), u"[\u00c9t\u00e9 2024]"_s);
    // A digit typed in the field is text, not a number key.
    QTest::keyClick(field->edit(), Qt::Key_1);
    QCOMPARE(field->edit()->text(), u"et1"_s);
    QCOMPARE(store.pendingMutationCount(), 0);
    QTest::keyClick(field->edit(), Qt::Key_Backspace);
    QTest::keyClick(field->edit(), Qt::Key_Return);
    QVERIFY(f.settle());
    QVERIFY(!field->isVisible());
    QCOMPARE(filesBelow(f.path()).filter(u"a.jpg"_s), QStringList{u"\u00c9t\u00e9 2024/a.jpg"_s});
    QCOMPARE(f.focusedName(), u"b.jpg"_s); // on to the next, as a number key goes
    f.undoStack.undo();
    QVERIFY(f.settle());
    QVERIFY(QFile::exists(f.path(u"a.jpg"_s)));

    // Up and Down choose among the matches; Escape closes without filing.
    select("c.jpg");
    QTest::keyClick(workspace.windowHandle(), Qt::Key_C);
    QTest::keyClicks(field->edit(), u"at 1"_s);
    QCOMPARE(field->matchesText(), u"[Cat 10] \u00B7 Cat 11"_s);
    QTest::keyClick(field->edit(), Qt::Key_Up);
    QCOMPARE(field->matchesText(), u"Cat 10 \u00B7 [Cat 11]"_s);
    QTest::keyClick(field->edit(), Qt::Key_Backspace);
    QTest::keyClick(field->edit(), Qt::Key_Backspace);
    QCOMPARE(field->matchesText().left(12), u"[1 Cat 01] \u00B7"_s); // numbered as its key
    QTest::keyClick(field->edit(), Qt::Key_Escape);
    QVERIFY(!field->isVisible());
    QVERIFY(workspace.gallery()->hasFocus());
    QCOMPARE(store.pendingMutationCount(), 0);

    // No match: Return creates the category and files into it, one step to undo.
    select("b.jpg");
    QTest::keyClick(workspace.windowHandle(), Qt::Key_Z);
    QTest::keyClicks(field->edit(), u"ebra"_s);
    QCOMPARE(field->matchesText(), u"Return: create \u201Czebra\u201D and file into it"_s);
    QTest::keyClick(field->edit(), Qt::Key_Return);
    QVERIFY(f.settle());
    QVERIFY(QFile::exists(f.path(u"zebra/b.jpg"_s)));
    QCOMPARE(f.undoStack.undoText(), u"File into New Category"_s);
    QCOMPARE(f.undoStack.index(), 1);
    f.undoStack.undo();
    QVERIFY(f.settle());
    QVERIFY(QFile::exists(f.path(u"b.jpg"_s)));
    QVERIFY(!QFileInfo::exists(f.path(u"zebra"_s)));
    f.undoStack.redo();
    QVERIFY(f.settle());
    QVERIFY(QFile::exists(f.path(u"zebra/b.jpg"_s)));
}

void tst_SortingBoard::unreadableEntriesAreNoted()
{
    StoreFixture f;
    writeJpeg(f.path(), QStringLiteral("a.jpg"));
    makeFolder(f.path(), QStringLiteral("lost+found"));
    writeJpeg(f.path(), QStringLiteral("Cats/b.jpg"));
    // A name that is not valid UTF-8 (Latin-1 "café.jpg").
    const QByteArray badName = QFile::encodeName(f.path()) + "/Cats/caf\xE9.jpg";
    QFile bad;
    QVERIFY(bad.open(::fopen(badName.constData(), "wb"), QIODevice::WriteOnly, QFileDevice::AutoCloseHandle));
    bad.close();
    const auto removeBad = qScopeGuard([&] { ::unlink(badName.constData()); });
    // A folder the user may not list, as a root-only lost+found is for everyone else.
    auto fs = std::make_shared<FaultyFileSystem>();
    const QString lostAndFound = f.path() + QStringLiteral("/lost+found");
    fs->hook = [&](FaultyFileSystem::Call call, const QString &path, const QString &) -> std::optional<int> {
        return call == FaultyFileSystem::Call::list && path == lostAndFound ? std::optional(EACCES) : std::nullopt;
    };
    CollectionStore &store = f.make(fs);
    ThumbnailService thumbnails(1);
    CollectionWorkspace workspace(store, thumbnails);
    workspace.resize(1180, 700);
    workspace.show();
    QVERIFY(f.open());
    // Everything else opens; the unreadable folder gets no section and no number.
    QCOMPARE(store.collection()->categoryCount(), 1);
    QVERIFY(!f.sectionNamed(QStringLiteral("lost+found")));
    QVERIFY(workspace.header()->note()->isVisible());
    QCOMPARE(workspace.header()->note()->text(), QStringLiteral("1 folder can’t be read: lost+found"));
    QCOMPARE(CollectionHeader::unreadableFoldersNote({QStringLiteral("a"), QStringLiteral("b\nc")}),
             QStringLiteral("2 folders can’t be read: a, b↵c"));
    // The file with the unreadable name is not shown, but counted, and its folder is never
    // offered for deletion as empty.
    const std::optional<PhotoSection> cats = f.sectionNamed(QStringLiteral("Cats"));
    QCOMPARE(cats->count(), 1);
    QCOMPARE(cats->unreadableNameCount, 1);
    QCOMPARE(GalleryView::unreadableNamesNote(1), QStringLiteral("1 file with an unreadable name is not shown"));
    QCOMPARE(GalleryView::unreadableNamesNote(1200), QStringLiteral("1,200 files with unreadable names are not shown"));
    store.requestDeleteCategory(cats->id);
    QCOMPARE(store.deleteCategoryPrompt()->unreadableNameCount, 1);
}

QTEST_MAIN(tst_SortingBoard)
#include "tst_SortingBoard.moc"
