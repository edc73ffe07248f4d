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
#include <QPainter>
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

// "p007.jpg" for (7, 3).
QString numbered(int i, int digits)
{
    return u"p%1.jpg"_s.arg(i, digits, 10, QLatin1Char('0'));
}

QList<ThumbnailFeed::Want> wantsFor(const QStringList &ids)
{
    QList<ThumbnailFeed::Want> wants;
    for (const QString &id : ids) {
        Photo photo;
        photo.id = id;
        photo.url = QUrl::fromLocalFile(u"/photos/"_s + id);
        wants.append({photo, QSizeF(100, 72)});
    }
    return wants;
}

const auto noSystemThumbnail = [](const QString &, int) { return QImage(); };

// A made-up scene of shapes from `seed`; `blur` softens it as a shaken frame would be.
QImage scene(int seed, int blur = 0)
{
    QImage image(480, 360, QImage::Format_RGB32);
    image.fill(QColor::fromHsv(seed * 47 % 360, 90, 120));
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    for (int i = 0; i < 14; ++i) {
        const int v = (seed * 131 + i * 977) % 1009;
        painter.setBrush(QColor::fromHsv(v % 360, 200, 60 + v % 190));
        painter.setPen(QPen(Qt::black, 2));
        painter.drawEllipse(QRect(v % 400, (v * 7) % 300, 30 + v % 90, 30 + (v * 3) % 80));
    }
    painter.end();
    if (blur > 0) {
        image = image.scaled(image.size() / blur, Qt::IgnoreAspectRatio, Qt::SmoothTransformation)
                    .scaled(image.size(), Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    }
    return image;
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
    void decodedOnceToFillItsCell_data();
    void decodedOnceToFillItsCell();
    void movedCellsGetTheirThumbnailsAgain_data();
    void movedCellsGetTheirThumbnailsAgain();
    void failedThumbnailsAskedAgainOnce();
    void visibleCellsPaintedAfterChanges_data();
    void visibleCellsPaintedAfterChanges();
    void cellsAreAccessible();
    void photoMenuTitles();
    void sectionMenus();
    void multiFileFrames();
    void headerAndStatus();
    void fileIntoByName();
    void unreadableEntriesAreNoted();
    void headerNamesTheVolume_data();
    void headerNamesTheVolume();
    void burstDecidedInTwoKeys();

private:
    struct Board
    {
        StoreFixture f;
        std::shared_ptr<PlatformFileSystem> disk;
        std::unique_ptr<ThumbnailCache> cache; // the service's own when null
        std::unique_ptr<ThumbnailService> thumbnails;
        std::unique_ptr<GalleryView> view;
        std::atomic<int> decodes{0};
        std::atomic<int> misses{0}; // decodes that found no picture
        std::atomic<int> largestBound{0};
        std::atomic<bool> holdDecodes{false}; // decodes wait while it is set

        explicit Board(const char *entries = "") { writeJpegs(f.path(), entries); }
        // Opens the fixture's folder and shows a board of `size` over it.
        bool show(QSize size = {1000, 700})
        {
            CollectionStore &store = f.store ? *f.store : f.make(disk);
            thumbnails = std::make_unique<ThumbnailService>(
                1, noSystemThumbnail,
                [this](const QString &path, int pixels) {
                    ++decodes;
                    while (holdDecodes) {
                        QThread::msleep(5);
                    }
                    largestBound = std::max(largestBound.load(), pixels);
                    QImage image = ThumbnailService::downsample(path, pixels);
                    misses += image.isNull() ? 1 : 0;
                    return image;
                },
                std::move(cache));
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
        QImage thumbnail(const QString &filename) const
        {
            return view->thumbnailFeed().image(f.idOf(filename));
        }
        // Delivers a whole drag (enter, move, drop) of `data` at `point` to the board.
        void drop(const QMimeData &data, QPoint point, Qt::DropActions actions)
        {
            QDragEnterEvent enter(point, actions, &data, Qt::LeftButton, {});
            QApplication::sendEvent(view->viewport(), &enter);
            QDropEvent drop(point, actions, &data, Qt::LeftButton, {});
            QApplication::sendEvent(view->viewport(), &drop);
        }
    };

    // The whole workspace (header, board, status strip) over a fixture's folder.
    struct Workspace
    {
        StoreFixture f;
        ThumbnailService thumbnails{1, {}, &ThumbnailService::downsample};
        std::unique_ptr<CollectionWorkspace> view;

        CollectionStore &show(std::shared_ptr<PlatformFileSystem> disk = {})
        {
            CollectionStore &store = f.make(std::move(disk));
            store.installKeyEventMonitor();
            view = std::make_unique<CollectionWorkspace>(store, thumbnails);
            view->resize(1180, 700);
            view->show();
            return store;
        }
    };
};

void tst_SortingBoard::clickSelection()
{
    Board b("a.jpg|b.jpg|c.jpg|d.jpg|e.jpg");
    QVERIFY(b.show());
    b.click(u"b.jpg"_s);
    QCOMPARE(b.f.selectedNames(), split("b.jpg"));
    b.click(u"d.jpg"_s, Qt::ControlModifier);
    QCOMPARE(b.f.selectedNames(), split("b.jpg|d.jpg"));
    b.click(u"b.jpg"_s, Qt::ControlModifier); // toggles off
    QCOMPARE(b.f.selectedNames(), split("d.jpg"));
    b.click(u"a.jpg"_s, Qt::ShiftModifier); // range from the anchor
    QCOMPARE(b.f.selectedNames(), split("a.jpg|b.jpg|c.jpg|d.jpg"));
    // A press that ends elsewhere is no click.
    QTest::mousePress(b.view->viewport(), Qt::LeftButton, {}, b.centre(u"e.jpg"_s));
    QTest::mouseRelease(b.view->viewport(), Qt::LeftButton, {}, QPoint(2, 2));
    QCOMPARE(b.f.selectedNames(), split("a.jpg|b.jpg|c.jpg|d.jpg"));
}

void tst_SortingBoard::drops_data()
{
    QTest::addColumn<bool>("internal");
    QTest::addColumn<QString>("target");
    QTest::addColumn<bool>("onEmptyZone");
    QTest::addColumn<QStringList>("expected");

    QTest::newRow("selection onto a category header")
        << true << u"Cats"_s << false << split("Cats/a.jpg|Cats/b.jpg|Dogs/d.jpg|c.jpg");
    QTest::newRow("selection onto an empty zone")
        << true << u"Empty"_s << true << split("Dogs/d.jpg|Empty/a.jpg|Empty/b.jpg|c.jpg");
    QTest::newRow("files from elsewhere are copied")
        << false << u"Dogs"_s << false << split("Dogs/d.jpg|Dogs/outside.jpg|a.jpg|b.jpg|c.jpg");
    QTest::newRow("files from elsewhere into an empty zone")
        << false << u"Empty"_s << true << split("Dogs/d.jpg|Empty/outside.jpg|a.jpg|b.jpg|c.jpg");
}

void tst_SortingBoard::drops()
{
    QFETCH(bool, internal);
    QFETCH(QString, target);
    QFETCH(bool, onEmptyZone);
    QFETCH(QStringList, expected);
    Board b("a.jpg|b.jpg|c.jpg|Dogs/d.jpg|Cats/|Empty/");
    QTemporaryDir elsewhere;
    const QString outside = writeJpeg(elsewhere.path(), u"outside.jpg"_s);
    QVERIFY(b.show({1000, 2000}));

    std::unique_ptr<QMimeData> data;
    if (internal) {
        b.click(u"a.jpg"_s);
        b.click(u"b.jpg"_s, Qt::ShiftModifier);
        data.reset(b.f.store->dragMimeData(b.f.idOf(u"a.jpg"_s)));
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
    Board b("a.jpg|Cats/");
    QVERIFY(b.show({1000, 1200}));
    const QString unsorted = b.f.store->sections().first().id;
    const QString cats = b.sectionID(u"Cats"_s);
    QMimeData files;
    files.setUrls({QUrl::fromLocalFile(b.f.path(u"a.jpg"_s))});
    QMimeData text;
    text.setText(u"not a photo"_s);
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

    b.click(u"a.jpg"_s);
    std::unique_ptr<QMimeData> ours(b.f.store->dragMimeData(b.f.idOf(u"a.jpg"_s)));
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
    Board b("a.jpg|b.jpg|c.jpg|Cats/");
    b.f.desktop.reducedMotion = reducedMotion;
    QVERIFY(b.show());
    b.click(u"a.jpg"_s);
    if (byDigit) {
        b.f.store->moveSelectionToDigit(1);
    } else {
        b.f.store->moveSelected(b.sectionID(u"Cats"_s));
    }
    QCOMPARE(b.view->isAnimating(), glides);
    QTRY_VERIFY(!b.view->isAnimating());
    QVERIFY(b.f.settle());
    QCOMPARE(filesBelow(b.f.path()), split("Cats/a.jpg|b.jpg|c.jpg"));
    QVERIFY(b.view->blockRect(b.sectionID(u"Cats"_s)).contains(b.centre(u"a.jpg"_s)));
}

void tst_SortingBoard::columnCountFollowsWidth()
{
    Board b("a.jpg");
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
        writeFile(b.f.path(), numbered(i, 3));
    }
    QVERIFY(b.show({1000, 600}));
    b.click(u"p000.jpg"_s);
    for (int i = 0; i < 12; ++i) {
        b.f.store->navigateSelection(0, 1); // twelve rows down
    }
    QCOMPARE(b.f.focusedName(), u"p048.jpg"_s);
    const QRectF cell = b.view->cellRect(b.f.idOf(u"p048.jpg"_s));
    QVERIFY(qAbs(cell.center().y() - b.view->viewport()->height() / 2.0) <= 1);

    // A drag resting near the bottom edge scrolls the board; leaving stops it.
    QMimeData files;
    files.setUrls({QUrl::fromLocalFile(b.f.path(u"p000.jpg"_s))});
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
        writeJpeg(b.f.path(), numbered(i, 3), {40, 30});
    }
    QVERIFY(b.show({1000, 600}));
    QTRY_VERIFY(!b.thumbnail(u"p000.jpg"_s).isNull());
    QTRY_COMPARE(b.view->thumbnailFeed().pendingCount(), 0);
    // One screen holds 4 × 4 cells; with a screen above and below about 40 are prepared.
    QVERIFY2(b.decodes > 0 && b.decodes < 60, qPrintable(QString::number(b.decodes)));
    QVERIFY(b.thumbnail(u"p399.jpg"_s).isNull());
    b.view->verticalScrollBar()->setValue(b.view->verticalScrollBar()->maximum());
    QTRY_VERIFY(!b.thumbnail(u"p399.jpg"_s).isNull());
    QVERIFY(b.thumbnail(u"p000.jpg"_s).isNull()); // far away: let go
}

void tst_SortingBoard::hiddenFeedLeavesOthersAlone()
{
    // One decoding thread held up by the first photo, so the others stay queued.
    std::atomic<bool> release{false};
    ThumbnailService service(1, noSystemThumbnail, [&release](const QString &, int) {
        while (!release) {
            QThread::msleep(2);
        }
        return QImage(4, 3, QImage::Format_RGB32);
    });
    const QList<ThumbnailFeed::Want> wants = wantsFor(split("0|1|2"));
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
    QTest::newRow("dimensions unknown") << QSize(0, 0) << QSizeF(184, 132) << QSizeF(276, 276);
}

void tst_SortingBoard::thumbnailsFillTheirCell()
{
    QFETCH(QSize, photo);
    QFETCH(QSizeF, cell);
    QFETCH(QSizeF, expected);
    Photo p;
    p.pixelWidth = photo.width();
    p.pixelHeight = photo.height();
    QCOMPARE(ThumbnailFeed::fillingSize(p, cell), expected);
}

void tst_SortingBoard::decodedOnceToFillItsCell_data()
{
    QTest::addColumn<QSize>("shape");
    QTest::addColumn<bool>("learntWhileDecoding"); // the decode waits until the shape is known
    QTest::newRow("portrait") << QSize(30, 40) << false;
    QTest::newRow("landscape, its shape learnt while decoding") << QSize(40, 30) << true;
}

void tst_SortingBoard::decodedOnceToFillItsCell()
{
    QFETCH(QSize, shape);
    QFETCH(bool, learntWhileDecoding);
    Board b;
    writeJpeg(b.f.path(), u"photo.jpg"_s, shape);
    b.holdDecodes = learntWhileDecoding;
    QVERIFY(b.show());
    const QString id = b.f.idOf(u"photo.jpg"_s);
    QTRY_VERIFY(b.f.store->photo(id)->hasDimensions());
    QTest::qWait(50); // the board asks for its new size
    b.holdDecodes = false;
    QTRY_COMPARE(b.view->thumbnailFeed().pendingCount(), 0);
    QTRY_VERIFY(!b.thumbnail(u"photo.jpg"_s).isNull());
    const int longSide = shape.width() > shape.height() ? 184 : qCeil(184 * 4 / 3.0);
    QVERIFY(b.largestBound.load() >= qCeil(longSide * b.view->devicePixelRatioF()));
    // Asked before its shape was known or after, it is decoded once.
    QTest::qWait(200);
    QCOMPARE(b.decodes.load(), 1);
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
    Board b("Cats/");
    for (int i = 0; i < photos; ++i) {
        writeJpeg(b.f.path(), numbered(i, 2), {40, 30});
    }
    auto disk = std::make_shared<HeldMoves>();
    b.disk = disk;
    // A cache of one image: a moved cell decodes its file again instead of finding it there.
    b.cache = std::make_unique<ThumbnailCache>(1);
    QVERIFY(b.show({1000, 600}));
    const auto unpainted = [&b] {
        QStringList missing;
        for (const PhotoCanvas::AccessibleCell &cell : b.view->accessibleCells()) {
            if (cell.isPhoto && b.view->thumbnailFeed().image(cell.key).isNull()) {
                missing.append(cell.name);
            }
        }
        return missing;
    };
    QTRY_COMPARE(unpainted(), QStringList());
    QCOMPARE(b.misses.load(), 0);

    // The first move waits until a decode has looked for a photo under its new name.
    std::atomic<bool> holding{true};
    disk->beforeMove = [&b, &holding, moveFails](const QString &) {
        const QDeadlineTimer deadline(20000);
        while (holding && b.misses == 0 && !deadline.hasExpired()) {
            QThread::msleep(1);
        }
        holding = false;
        return !moveFails;
    };
    b.click(u"p00.jpg"_s);
    if (all) {
        b.f.store->selectAll();
    }
    b.f.store->moveSelectionToDigit(1);
    QVERIFY(b.f.settle());
    disk->beforeMove = {};
    QVERIFY(b.misses > 0);
    QVERIFY(!b.view->cellRect(b.f.idOf(u"p00.jpg"_s)).isEmpty()); // the moved photo is on screen
    QTRY_COMPARE(unpainted(), QStringList());
    QCOMPARE(filesBelow(b.f.path()).contains(u"Cats/p00.jpg"_s), !moveFails);
    if (!moveFails) {
        b.f.undoStack.undo();
        QVERIFY(b.f.settle());
        QTRY_VERIFY(filesBelow(b.f.path()).contains(u"p00.jpg"_s));
        QTRY_COMPARE(unpainted(), QStringList());
    }
}

// Asked again when the disk catches up, also when the failure lands after that; an unreadable
// file is asked once per catching up, never in a loop.
void tst_SortingBoard::failedThumbnailsAskedAgainOnce()
{
    QSemaphore started, gate;
    QHash<QString, int> decodes; // touched by the one pool thread, read after it is idle
    ThumbnailService service(1, noSystemThumbnail, [&](const QString &path, int) {
        const QString name = QFileInfo(path).fileName();
        if (++decodes[name] == 1 && name == u"late.jpg"_s) {
            started.release();
            gate.acquire(); // looks for the file before the move has put it there
            return QImage();
        }
        return name == u"broken.jpg"_s ? QImage() : QImage(4, 3, QImage::Format_RGB32);
    });
    ThumbnailFeed feed(service);
    feed.setWanted(wantsFor(split("late.jpg|broken.jpg")), {});
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
    Workspace w;
    StoreFixture &f = w.f;
    for (int i = 0; i < 12; ++i) {
        writeJpeg(f.path(), numbered(i, 2), {40, 30});
    }
    makeFolder(f.path(), u"Cats"_s);
    CollectionStore &store = w.show();
    QVERIFY(QTest::qWaitForWindowExposed(w.view.get()) && f.open());
    const PhotoCanvas &board = *w.view->gallery();
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
        QWidget *page = w.view->browseView()->currentPage();
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
    Board b("a.jpg|b.jpg");
    QVERIFY(b.show());
    b.click(u"a.jpg"_s);
    QAccessibleInterface *board = QAccessible::queryAccessibleInterface(b.view->viewport());
    QVERIFY(board);
    QCOMPARE(board->childCount(), 3); // the Unsorted header and its two cells
    QAccessibleInterface *header = board->child(0);
    QCOMPARE(header->text(QAccessible::Name), u"Unsorted, 2 photos"_s);
    QCOMPARE(header->role(), QAccessible::Heading);
    QAccessibleInterface *a = board->child(1);
    QAccessibleInterface *second = board->child(2);
    QCOMPARE(a->text(QAccessible::Name), u"a.jpg"_s);
    QCOMPARE(a->text(QAccessible::Value), u"Selected"_s);
    QVERIFY(a->state().selected);
    QCOMPARE(second->text(QAccessible::Value), u"Not selected"_s);
    QCOMPARE(a->role(), QAccessible::Graphic);
    QCOMPARE(board->child(1), a); // the same element while the cell stays
    QCOMPARE(board->indexOfChild(second), 2);
    const QPoint centre = b.view->viewport()->mapToGlobal(b.centre(u"b.jpg"_s));
    QCOMPARE(board->childAt(centre.x(), centre.y()), second);
    QCOMPARE(a->parent(), board);
}

// A photo's menu files it into any section, numbered as its key.
void tst_SortingBoard::photoMenuTitles()
{
    StoreFixture f;
    writeJpegs(f.path(), "a.jpg|C01/|C02/|C03/|C04/|C05/|C06/|C07/|C08/|C09/|C10/");
    f.make();
    QVERIFY(f.open());
    const auto titles = [](QMenu *menu) {
        QStringList result;
        for (QAction *action : menu->actions()) {
            result.append(action->isSeparator() ? u"---"_s : action->text());
        }
        return result.join(u',');
    };
    std::unique_ptr<QMenu> menu(PhotoContextMenu::create(*f.store, f.idOf(u"a.jpg"_s),
                                                         f.store->sections().first().id, nullptr));
    QCOMPARE(titles(menu.get()),
             u"Open,Quick Look,Reveal in File Manager,---,Move to,---,Move to Trash"_s);
    QMenu *moveTo = menu->actions().at(4)->menu();
    QCOMPARE(titles(moveTo), u"0  Unsorted,1  C01,2  C02,3  C03,4  C04,5  C05,6  C06,7  C07,"
                             "8  C08,9  C09,C10"_s);
    QVERIFY(!moveTo->actions().first()->isEnabled()); // the photo's own section
    QVERIFY(moveTo->actions().last()->isEnabled());
    moveTo->actions().last()->trigger(); // focuses the photo, then files it
    QVERIFY(f.settle());
    QCOMPARE(filesBelow(f.path()), split("C10/a.jpg"));
}

// Right-clicking a category's header or the room around its photos opens the category's menu;
// Unsorted has none.
void tst_SortingBoard::sectionMenus()
{
    Board b("Cats/a.jpg");
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

// The stacked cards of a multi-file drag, and the badge that offers it: a checkmark for one
// photo, the grouped count from two on, when the cell is also a handle.
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
    QVERIFY(!handle.drag(nullptr, {QUrl::fromLocalFile(u"/a.jpg"_s)}, {}));
    QVERIFY(!handle.didBeginDragging()); // a single file travels with the cell's own drag
    std::unique_ptr<QMimeData> data(MultiFileDrag::mimeData(
        {QUrl::fromLocalFile(u"/a.jpg"_s), QUrl::fromLocalFile(u"/b.jpg"_s)}));
    QCOMPARE(data->formats(), split("text/uri-list"));
    for (const auto &[selected, text] : {std::pair<qsizetype, const char *>{1, ""}, {2, "2"},
                                         {1234, "1,234"}}) {
        QCOMPARE(PhotoCellPainter::badgeText(selected), QString::fromLatin1(text));
        QCOMPARE(PhotoCellPainter::hasMultiFileHandle({true, false, selected}), selected >= 2);
    }
}

void tst_SortingBoard::headerAndStatus()
{
    Workspace w;
    writeJpegs(w.f.path(), "a.jpg|Cats/");
    CollectionStore &store = w.show();
    CollectionHeader *header = w.view->header();
    QCOMPARE(header->metricsText(), u"0 photos 0 categories"_s);
    QVERIFY(w.f.open());
    QCOMPARE(header->metricsText(), u"1 photo 1 category"_s);
    StatusStrip *status = w.view->statusStrip();
    QCOMPARE(status->selectionText(), u"No selection"_s);
    store.selectAll();
    QCOMPARE(status->selectionText(), u"1 selected"_s);

    status->slider()->setValue(101); // snaps to the slider's steps of 8
    QCOMPARE(store.thumbnailSize(), 104.0);
    header->modePicker()->activated(1);
    QCOMPARE(store.workspaceMode(), WorkspaceMode::browse);
    QVERIFY(header->layoutPicker()->isVisible());
    QCOMPARE(status->sizeSymbol(), u"square.grid.3x3"_s);
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
    Workspace w;
    StoreFixture &f = w.f;
    writeJpegs(f.path(), "a.jpg|b.jpg|c.jpg|Cat 01/|Cat 02/|Cat 03/|Cat 04/|Cat 05/|Cat 06/|"
                         "Cat 07/|Cat 08/|Cat 09/|Cat 10/|Cat 11/");
    makeFolder(f.path(), u"\u00c9t\u00e9 2024"_s); // the twelfth: no number key
    CollectionStore &store = w.show();
    QVERIFY(QTest::qWaitForWindowExposed(w.view.get()));
    QVERIFY(f.open());
    QVERIFY(w.view->statusStrip()->hints().contains(u"A\u2013Z FILE BY NAME"_s));
    FileIntoField *field = w.view->fileIntoField();
    QLineEdit *edit = field->edit();
    // Selects `name` alone and types `first` on the board, which opens the field.
    const auto start = [&](const QString &name, Qt::Key first) {
        store.deselectAll();
        store.select(f.idOf(name), f.sectionNamed(u"Unsorted"_s)->id, {});
        w.view->gallery()->setFocus();
        QTest::keyClick(w.view->windowHandle(), first);
    };

    start(u"a.jpg"_s, Qt::Key_E);
    QVERIFY(field->isVisible());
    QVERIFY(edit->hasFocus());
    QTest::keyClicks(edit, u"t"_s);
    QCOMPARE(field->matchesText(), u"[\u00c9t\u00e9 2024]"_s);
    // A digit typed in the field is text, not a number key.
    QTest::keyClick(edit, Qt::Key_1);
    QCOMPARE(edit->text(), u"et1"_s);
    QCOMPARE(store.pendingMutationCount(), 0);
    QTest::keyClick(edit, Qt::Key_Backspace);
    QTest::keyClick(edit, Qt::Key_Return);
    QVERIFY(f.settle());
    QVERIFY(!field->isVisible());
    QCOMPARE(filesBelow(f.path()).filter(u"a.jpg"_s), QStringList{u"\u00c9t\u00e9 2024/a.jpg"_s});
    QCOMPARE(f.focusedName(), u"b.jpg"_s); // on to the next, as a number key goes
    f.undoStack.undo();
    QVERIFY(f.settle());
    QVERIFY(QFile::exists(f.path(u"a.jpg"_s)));

    // Up and Down choose among the matches; Escape closes without filing.
    start(u"c.jpg"_s, Qt::Key_C);
    QTest::keyClicks(edit, u"at 1"_s);
    QCOMPARE(field->matchesText(), u"[Cat 10] \u00B7 Cat 11"_s);
    QTest::keyClick(edit, Qt::Key_Up);
    QCOMPARE(field->matchesText(), u"Cat 10 \u00B7 [Cat 11]"_s);
    QTest::keyClick(edit, Qt::Key_Backspace);
    QTest::keyClick(edit, Qt::Key_Backspace);
    QCOMPARE(field->matchesText().left(12), u"[1 Cat 01] \u00B7"_s); // numbered as its key
    QTest::keyClick(edit, Qt::Key_Escape);
    QVERIFY(!field->isVisible());
    QVERIFY(w.view->gallery()->hasFocus());
    QCOMPARE(store.pendingMutationCount(), 0);

    // No match: Return creates the category and files into it, one step to undo.
    start(u"b.jpg"_s, Qt::Key_Z);
    QTest::keyClicks(edit, u"ebra"_s);
    QCOMPARE(field->matchesText(), u"Return: create \u201Czebra\u201D and file into it"_s);
    QTest::keyClick(edit, Qt::Key_Return);
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
    Workspace w;
    StoreFixture &f = w.f;
    writeJpegs(f.path(), "a.jpg|Cats/b.jpg|lost+found/");
    // A name that is not valid UTF-8 (Latin-1 "café.jpg").
    const QByteArray badName = QFile::encodeName(f.path()) + "/Cats/caf\xE9.jpg";
    QFile bad;
    QVERIFY(bad.open(::fopen(badName.constData(), "wb"), QIODevice::WriteOnly,
                     QFileDevice::AutoCloseHandle));
    bad.close();
    const auto removeBad = qScopeGuard([&] { ::unlink(badName.constData()); });
    // A folder the user may not list, as a root-only lost+found is for everyone else.
    CollectionStore &store = w.show(FaultyFileSystem::hookedOn(
        FaultyFileSystem::Call::list, [lostAndFound = f.path(u"lost+found"_s)](const QString &path) {
            return path == lostAndFound ? std::optional(EACCES) : std::nullopt;
        }));
    QVERIFY(f.open());
    // Everything else opens; the unreadable folder gets no section and no number.
    QCOMPARE(store.collection()->categoryCount(), 1);
    QVERIFY(!f.sectionNamed(u"lost+found"_s));
    QVERIFY(w.view->header()->note()->isVisible());
    QCOMPARE(w.view->header()->note()->text(), u"1 folder can’t be read: lost+found"_s);
    QCOMPARE(CollectionHeader::unreadableFoldersNote({u"a"_s, u"b\nc"_s}),
             u"2 folders can’t be read: a, b↵c"_s);
    // The file with the unreadable name is not shown, but counted, and its folder is never
    // offered for deletion as empty.
    const std::optional<PhotoSection> cats = f.sectionNamed(u"Cats"_s);
    QCOMPARE(cats->count(), 1);
    QCOMPARE(cats->unreadableNameCount, 1);
    store.requestDeleteCategory(cats->id);
    QCOMPARE(store.deleteCategoryPrompt()->unreadableNameCount, 1);
}


void tst_SortingBoard::headerNamesTheVolume_data()
{
    QTest::addColumn<QString>("type");
    QTest::addColumn<QString>("source");
    QTest::addColumn<bool>("readOnly");
    QTest::addColumn<QString>("shown"); // the volume's kind and name; empty: no such line

    QTest::newRow("local disk") << u"ext4"_s << u"/dev/sda1"_s << false << QString();
    QTest::newRow("read-only local folder") << u"ext4"_s << u"/dev/sda1"_s << true << QString();
    QTest::newRow("card") << u"exfat"_s << u"/dev/sdb1"_s << false << u"Removable disk · EOS R6"_s;
    QTest::newRow("read-only share")
        << u"fuse.sshfs"_s << u"ana@nas:/photos"_s << true << u"Network share · nas:/photos"_s;
    QTest::newRow("FUSE mount") << u"fuse.bindfs"_s << u"/srv/b"_s << false
                                << u"FUSE mount · EOS R6"_s;
}

void tst_SortingBoard::headerNamesTheVolume()
{
    QFETCH(QString, type);
    QFETCH(QString, source);
    QFETCH(bool, readOnly);
    QFETCH(QString, shown);
    Workspace w;
    writeJpegs(w.f.path(), "a.jpg");
    auto disk = std::make_shared<FaultyFileSystem>();
    auto switched = std::make_shared<std::atomic<bool>>(false); // read on the service thread
    disk->volumeLookup = [=](const QString &) {
        return CollectionVolumes{Volume::describe({u"/media/ana/EOS R6"_s, u"/"_s, type, source,
                                                   readOnly != *switched}),
                                 {}};
    };
    w.show(disk);
    QVERIFY(w.f.open());
    CollectionHeader *header = w.view->header();
    QTRY_COMPARE(!header->readOnlyLabel()->isHidden(), readOnly);
    QCOMPARE(!header->volumeLabel()->isHidden(), !shown.isEmpty());
    QCOMPARE(header->volumeLabel()->text(), shown);
    // A card's lock switch moved: Refresh reads the volume again.
    *switched = true;
    w.f.store->reloadFromDisk();
    QTRY_COMPARE(!header->readOnlyLabel()->isHidden(), !readOnly);
}

QTEST_MAIN(tst_SortingBoard)
#include "tst_SortingBoard.moc"

void tst_SortingBoard::burstDecidedInTwoKeys()
{
    Board b("Rejects/");
    // Four frames of one scene a second apart, the third the only sharp one; then two other
    // scenes shot within the same seconds, which only their pictures set apart.
    const QStringList burst = split("b1.jpg|b2.jpg|b3.jpg|b4.jpg");
    for (int i = 0; i < burst.size(); ++i) {
        const QString path = b.f.path(burst[i]);
        QVERIFY(scene(1, i == 2 ? 0 : 3 + i).save(path, "JPEG", 90));
        setModificationTime(path, 1'700'000'000 + i);
    }
    for (int i = 0; i < 2; ++i) {
        const QString path = b.f.path(u"c%1.jpg"_s.arg(i));
        QVERIFY(scene(7 + i).save(path, "JPEG", 90));
        setModificationTime(path, 1'700'000'004 + i);
    }
    // No thumbnail arrives to paint a cell again: the marks alone must.
    b.holdDecodes = true;
    const auto release = qScopeGuard([&b] { b.holdDecodes = false; });
    QVERIFY(b.show());
    CollectionStore &store = *b.f.store;
    QTRY_COMPARE_WITH_TIMEOUT(store.bursts().groups().size(), 1, 15'000);
    QStringList ids;
    for (const QString &name : burst) {
        ids.append(b.f.idOf(name));
    }
    QCOMPARE(store.bursts().groups().first(), ids);
    QCOMPARE(store.bursts().best(0), ids[2]);

    // The band runs under the burst's cells, and only there, in what the window painted (the
    // offscreen screen keeps it) once the burst was found.
    const auto bands = [&] {
        const QImage shown = b.view->screen()->grabWindow(b.view->winId()).toImage();
        QStringList marked;
        for (const QString &name : split("b1.jpg|b2.jpg|b3.jpg|b4.jpg|c0.jpg|c1.jpg")) {
            const QRectF cell = b.view->cellRect(b.f.idOf(name));
            const QPoint under = b.view->viewport()->mapTo(
                b.view.get(), QPointF(cell.center().x(), cell.bottom() + 3).toPoint());
            const QRgb pixel = shown.pixel(under);
            if (qRed(pixel) > 2 * qBlue(pixel) && qRed(pixel) > 120) {
                marked.append(name);
            }
        }
        return marked;
    };
    QTRY_COMPARE(bands(), burst);
    b.holdDecodes = false;

    const auto press = [&store](Qt::KeyboardModifiers modifiers, int key, const QString &text) {
        QKeyEvent event(QEvent::KeyPress, key, modifiers, text);
        return store.handleKeyEvent(event);
    };
    b.click(u"b2.jpg"_s);
    QVERIFY(press(Qt::ControlModifier, Qt::Key_B, {}));
    QCOMPARE(b.f.selectedNames(), burst);
    QVERIFY(press(Qt::ControlModifier | Qt::ShiftModifier, Qt::Key_B, {}));
    QCOMPARE(b.f.selectedNames(), split("b1.jpg|b2.jpg|b4.jpg"));
    // Outside a burst the keys are not the board's: Ctrl+Shift+B stays Browse Mode's.
    b.click(u"c0.jpg"_s);
    QVERIFY(!press(Qt::ControlModifier | Qt::ShiftModifier, Qt::Key_B, {}));

    // Two keys: the rest of the burst goes to the rejects, the sharp frame stays.
    b.click(u"b4.jpg"_s);
    QVERIFY(press(Qt::ControlModifier | Qt::ShiftModifier, Qt::Key_B, {}));
    QVERIFY(press({}, Qt::Key_1, u"1"_s));
    QVERIFY(b.f.settle());
    QCOMPARE(b.f.names(u"Rejects"_s), split("b1.jpg|b2.jpg|b4.jpg"));
    QVERIFY(QFileInfo::exists(b.f.path(u"b3.jpg"_s)));
    QVERIFY(QFileInfo::exists(b.f.path(u"Rejects/b1.jpg"_s)));
}
