// Times the sorting board over a real folder, in an offscreen window of 1180 × 800:
//   first_screen_ms  from the collection appearing until every cell of the first screen shows
//                    its thumbnail (the memory cache starts empty; the disk cache is warm when
//                    the folder was just written or read)
//   frame_*_ms       one Down key press after another from the first photo to the last: the
//                    key's handling, the events it leaves behind (scroll, thumbnails arriving)
//                    and a synchronous repaint of the board, per press; median and worst, as
//                    wall time and as the main thread's CPU time (which leaves out time the
//                    thread sat preempted by other programs)
//   tiles_/list_/masonry_*_ms  the same per step while Browse mode's layouts scroll from top
//                    to bottom over every photo, a quarter of the viewport per step (all
//                    filters off)
//   rss_mb           peak resident memory of the process at the end
//   calvenor-board-bench ROOT
//
// With --placeholders the board instead scrolls down one screen every 100 ms, as a user
// skimming a camera folder does, and every 16 ms counts the visible cells still drawn as empty
// placeholders: placeholder_share_pct is their share over all samples, frame_worst_ms the
// longest scroll step. The files' own small pictures stand in while thumbnails decode unless
// --no-previews is given.
//   calvenor-board-bench --placeholders ROOT [--no-previews]
//
// With --open it times opening ROOT as a user starting the application with it does, from the
// launch (CALVENOR_LAUNCH_NS, the wall clock in nanoseconds when the program was started; the
// program's own start without it):
//   shown_ms         until the board first shows the collection (the listing done)
//   first_screen_ms  until every cell of the first screen shows its thumbnail
//   settled_ms       until every photo's dimensions are read and nothing is left to do
//   input_worst_ms   the longest the window's thread left a 5 ms timer waiting between the
//                    open and settled_ms: how long a key press could have waited
//   rss_mb           peak resident memory
//   calvenor-board-bench --open ROOT
// The last line is machine-readable.

#include "Services/ImageFile.h"
#include "Services/ThumbnailService.h"
#include "ViewModels/CollectionStore.h"
#include "Views/BrowseGridView.h"
#include "Views/BrowseListView.h"
#include "Views/BrowseView.h"
#include "Views/CollectionWorkspace.h"
#include "Views/GalleryView.h"
#include "Views/ThumbnailFeed.h"
#include "support/RecordingDesktop.h"
#include "Services/Platform/LargeBlocks.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QKeyEvent>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTimer>
#include <QWindow>

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <sys/resource.h>
#include <vector>

namespace {

double threadCpuMs()
{
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return double(t.tv_sec) * 1e3 + double(t.tv_nsec) / 1e6;
}

bool firstScreenComplete(const GalleryView &view, const CollectionStore &store)
{
    const QList<PhotoSection> sections = store.sections();
    const double top = 0;
    const QList<BoardLayout::Item> items =
        view.boardLayout().itemsIn(top, top + view.viewport()->height());
    if (items.isEmpty()) {
        return false;
    }
    for (const BoardLayout::Item &item : items) {
        const Photo &photo = sections[item.section].photos[item.index];
        if (view.thumbnailFeed().image(photo.id).isNull()) {
            return false;
        }
    }
    return true;
}

struct Frames
{
    std::vector<double> wall;
    std::vector<double> cpu;

    template<typename Step>
    void time(Step step)
    {
        const double cpuStart = threadCpuMs();
        QElapsedTimer clock;
        clock.start();
        step();
        wall.push_back(double(clock.nsecsElapsed()) / 1e6);
        cpu.push_back(threadCpuMs() - cpuStart);
    }
};

double percentile(std::vector<double> values, double p)
{
    std::sort(values.begin(), values.end());
    return values.empty() ? 0 : values[std::size_t(p * double(values.size() - 1))];
}

} // namespace

// The window's content, over a store with settings and data of its own.
struct Board
{
    explicit Board(bool previews)
    {
        qputenv("XDG_DATA_HOME", home.path().toUtf8());
        if (previews) {
            thumbnails.setPreviewSource(ImageFile::readEmbeddedPreview);
        }
        workspace.resize(1180, 800 - 38 - 65); // the window's content below the menu bar
        workspace.show();
    }

    QTemporaryDir home;
    RecordingDesktop desktop;
    std::shared_ptr<QSettings> settings = std::make_shared<QSettings>(
        home.path() + QStringLiteral("/settings.ini"), QSettings::IniFormat);
    CollectionStore store{desktop, settings};
    ThumbnailService thumbnails;
    CollectionWorkspace workspace{store, thumbnails};
};

// Share of visible cells drawn as empty placeholders while the board skims down.
int measurePlaceholders(const QString &root, bool previews)
{
    Board board(previews);
    CollectionStore &store = board.store;
    GalleryView &view = *board.workspace.gallery();
    store.openCollection(QUrl::fromLocalFile(root), false);
    QElapsedTimer clock;
    clock.start();
    while (!firstScreenComplete(view, store)) {
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 5);
        if (clock.elapsed() > 120000) {
            std::fprintf(stderr, "board-bench: the first screen never completed\n");
            return 1;
        }
    }
    QScrollBar *bar = view.verticalScrollBar();
    const int screen = view.viewport()->height();
    qint64 visible = 0;
    qint64 empty = 0;
    double worstStepMs = 0;
    for (int value = screen; value <= bar->maximum(); value += screen) {
        QElapsedTimer step;
        step.start();
        bar->setValue(value);
        QCoreApplication::processEvents();
        view.viewport()->repaint();
        worstStepMs = std::max(worstStepMs, double(step.nsecsElapsed()) / 1e6);
        // Samples a frame's worth apart until the next screen is due.
        while (step.elapsed() < 100) {
            const QList<PhotoSection> sections = store.sections();
            const double top = bar->value();
            for (const BoardLayout::Item &item :
                 view.boardLayout().itemsIn(top, top + view.viewport()->height())) {
                ++visible;
                empty += view.thumbnailFeed()
                             .image(sections[item.section].photos[item.index].id)
                             .isNull();
            }
            QCoreApplication::processEvents(QEventLoop::AllEvents, 16);
            const qint64 frameEnd = step.elapsed() + 16;
            while (step.elapsed() < frameEnd) {
                QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 4);
            }
        }
    }
    std::printf("placeholder_share_pct=%.1f samples=%lld frame_worst_ms=%.2f previews=%s\n",
                visible ? 100.0 * double(empty) / double(visible) : 0.0,
                static_cast<long long>(visible), worstStepMs, previews ? "on" : "off");
    return 0;
}

// Opening ROOT from the launch on: see the top of the file.
int measureOpening(const QString &root, qint64 launchNs)
{
    const auto sinceLaunchMs = [launchNs] {
        timespec now{};
        clock_gettime(CLOCK_REALTIME, &now);
        return double(qint64(now.tv_sec) * 1'000'000'000 + now.tv_nsec - launchNs) / 1e6;
    };
    Board board(true);
    CollectionStore &store = board.store;
    GalleryView &view = *board.workspace.gallery();
    double shownMs = -1;
    QObject::connect(&store, &CollectionStore::collectionChanged, &store, [&] {
        if (shownMs < 0 && store.collection()) {
            shownMs = sinceLaunchMs();
        }
    });
    // A timer due every 5 ms: the longest wait between two of its ticks is the longest any
    // input event could have waited for the window's thread.
    QElapsedTimer sinceTick;
    double worstGapMs = 0;
    QTimer ticker;
    ticker.setTimerType(Qt::PreciseTimer);
    ticker.setInterval(5);
    QObject::connect(&ticker, &QTimer::timeout, &ticker, [&] {
        worstGapMs = std::max(worstGapMs, double(sinceTick.nsecsElapsed()) / 1e6);
        sinceTick.restart();
    });
    const double openedMs = sinceLaunchMs();
    store.openCollection(QUrl::fromLocalFile(root), false);
    sinceTick.start();
    ticker.start();
    QElapsedTimer clock;
    clock.start();
    double firstScreenMs = -1;
    for (;;) {
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 5);
        if (firstScreenMs < 0 && firstScreenComplete(view, store)) {
            firstScreenMs = sinceLaunchMs();
        }
        if (firstScreenMs >= 0 && !store.isBusy() && !store.isLoading()
            && !store.isFillingDimensions()) {
            break;
        }
        if (clock.elapsed() > 300000) {
            std::fprintf(stderr, "board-bench: the folder never settled\n");
            return 1;
        }
    }
    const double settledMs = sinceLaunchMs();
    qsizetype unread = 0;
    for (const Photo &photo : store.flattenedPhotos()) {
        unread += !photo.hasDimensions();
    }
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    std::printf("photos=%lld without_dimensions=%lld\n", static_cast<long long>(store.photoCount()),
                static_cast<long long>(unread));
    std::printf("open_called_ms=%.0f shown_ms=%.0f first_screen_ms=%.0f settled_ms=%.0f input_worst_ms=%.1f "
                "rss_mb=%.1f\n",
                openedMs, shownMs, firstScreenMs, settledMs, worstGapMs, double(usage.ru_maxrss) / 1024.0);
    return 0;
}

int main(int argc, char **argv)
{
    useOwnPagesForLargeBlocks(); // as the application does
    timespec started{};
    clock_gettime(CLOCK_REALTIME, &started);
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    if (argc == 3 && qstrcmp(argv[1], "--open") == 0) {
        const QByteArray given = qgetenv("CALVENOR_LAUNCH_NS");
        return measureOpening(QString::fromLocal8Bit(argv[2]),
                              given.isEmpty() ? qint64(started.tv_sec) * 1'000'000'000
                                                    + started.tv_nsec
                                              : given.toLongLong());
    }
    if (argc >= 3 && qstrcmp(argv[1], "--placeholders") == 0) {
        return measurePlaceholders(QString::fromLocal8Bit(argv[2]),
                                   !(argc == 4 && qstrcmp(argv[3], "--no-previews") == 0));
    }
    if (argc != 2) {
        std::fprintf(stderr, "usage: calvenor-board-bench ROOT\n");
        return 2;
    }
    // The measured behaviour is the application's: its shared service reads stand-ins.
    Board setup(true);
    CollectionStore &store = setup.store;
    CollectionWorkspace &workspace = setup.workspace;
    store.installKeyEventMonitor();
    GalleryView &view = *workspace.gallery();

    QElapsedTimer clock;
    qint64 appearedNs = -1;
    QObject::connect(&store, &CollectionStore::collectionChanged, &store, [&] {
        if (appearedNs < 0 && store.collection()) {
            appearedNs = clock.nsecsElapsed();
        }
    });
    clock.start();
    store.openCollection(QUrl::fromLocalFile(QString::fromLocal8Bit(argv[1])), false);
    while (!firstScreenComplete(view, store)) {
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 5);
        if (clock.elapsed() > 120000) {
            std::fprintf(stderr, "board-bench: the first screen never completed\n");
            return 1;
        }
    }
    const double firstScreenMs = double(clock.nsecsElapsed() - appearedNs) / 1e6;
    const qsizetype photos = store.photoCount();

    // One press of Down per row, from the first photo to the last.
    store.selectAll();
    store.navigateSelection(1, 0); // a plain selection of the first photo
    store.deselectAll();
    store.navigateSelection(1, 0);
    QWindow *window = workspace.windowHandle();
    Frames board;
    std::optional<QString> last;
    for (;;) {
        board.time([&] {
            QKeyEvent press(QEvent::KeyPress, Qt::Key_Down, Qt::NoModifier);
            QCoreApplication::sendEvent(window, &press);
            QCoreApplication::processEvents();
            view.viewport()->repaint();
        });
        if (store.focusedPhotoID() == last) {
            break; // the last row: Down stays put
        }
        last = store.focusedPhotoID();
    }

    // Browse mode: each layout scrolled from top to bottom.
    store.deselectAll();
    store.setWorkspaceMode(WorkspaceMode::browse);
    BrowseView &browse = *workspace.browseView();
    std::vector<std::pair<QByteArray, Frames>> layouts;
    for (const BrowseLayoutMode layout : allCases<BrowseLayoutMode>()) {
        store.setBrowseLayout(layout);
        QCoreApplication::processEvents();
        QAbstractScrollArea *area = layout == BrowseLayoutMode::list
                                        ? static_cast<QAbstractScrollArea *>(browse.list())
                                    : layout == BrowseLayoutMode::tiles ? browse.tiles()
                                                                        : browse.masonry();
        QScrollBar *bar = area->verticalScrollBar();
        const int step = std::max(1, area->viewport()->height() / 4);
        Frames frames;
        for (int value = 0; value <= bar->maximum() + step; value += step) {
            frames.time([&] {
                bar->setValue(value);
                QCoreApplication::processEvents();
                area->viewport()->repaint();
            });
        }
        layouts.emplace_back(rawValue(layout).toLatin1(), std::move(frames));
    }
    // Filing with the number key 1, on the board and in the list (whose rows re-sort after
    // every change): the key, the events it leaves and a repaint. The disk move and the rescan
    // after it finish between presses, untimed.
    const auto filing = [&](QAbstractScrollArea *area) {
        Frames frames;
        const QString target = store.sections().at(1).id;
        for (int i = 0; i < 20; ++i) {
            // A photo that is not in the target yet, so every press really files one.
            for (const PhotoSection &section : store.sections()) {
                if (section.id != target && !section.photos.isEmpty()) {
                    store.select(section.photos.first().id, section.id, Qt::NoModifier);
                    break;
                }
            }
            frames.time([&] {
                QKeyEvent press(QEvent::KeyPress, Qt::Key_1, Qt::NoModifier, QStringLiteral("1"));
                QCoreApplication::sendEvent(window, &press);
                QCoreApplication::processEvents();
                area->viewport()->repaint();
            });
            while (store.isBusy()) {
                QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 5);
            }
        }
        return frames;
    };
    store.setBrowseLayout(BrowseLayoutMode::list);
    QCoreApplication::processEvents();
    const Frames listFiling = filing(browse.list());
    store.setWorkspaceMode(WorkspaceMode::sort);
    QCoreApplication::processEvents();
    const Frames boardFiling = filing(&view);
    layouts.emplace_back("list_file", listFiling);
    layouts.emplace_back("board_file", boardFiling);

    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    std::printf("photos=%lld presses=%zu columns=%d\n", static_cast<long long>(photos),
                board.wall.size(), view.boardLayout().columnCount());
    for (const auto &[name, frames] : layouts) {
        std::printf("%s: steps=%zu median_ms=%.2f worst_ms=%.2f cpu_median_ms=%.2f "
                    "cpu_worst_ms=%.2f\n",
                    name.constData(), frames.wall.size(), percentile(frames.wall, 0.5),
                    percentile(frames.wall, 1.0), percentile(frames.cpu, 0.5),
                    percentile(frames.cpu, 1.0));
    }
    std::printf("first_screen_ms=%.1f frame_median_ms=%.2f frame_worst_ms=%.2f "
                "frame_cpu_median_ms=%.2f frame_cpu_worst_ms=%.2f",
                firstScreenMs, percentile(board.wall, 0.5), percentile(board.wall, 1.0),
                percentile(board.cpu, 0.5), percentile(board.cpu, 1.0));
    for (const auto &[name, frames] : layouts) {
        std::printf(" %s_worst_ms=%.2f %s_cpu_worst_ms=%.2f", name.constData(),
                    percentile(frames.wall, 1.0), name.constData(), percentile(frames.cpu, 1.0));
    }
    std::printf(" rss_mb=%.1f\n", double(usage.ru_maxrss) / 1024.0);
    return 0;
}
