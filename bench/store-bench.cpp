// Times the collection store's work per key press on a generated collection of 10,000 photos:
// Unsorted holds 8,000, "Category 01" holds 2,000 and "Category 02" to "Category 20" are empty
// folders, so the number key 1 files into a 2,000-photo category. Every photo is the same
// 16 × 12 JPEG under a natural-order name (IMG_7.jpg, DSC00012.JPG, "Holiday 31.jpeg", …)
// with its own modification time.
//   calvenor-store-bench [--companions] ROOT
// ROOT must be missing or empty; the collection is made there. With --companions every photo is
// a shot of three files as a camera set to RAW+JPEG and an editor leave it: the JPEG, a RAW of
// its stem (DSC00012.CR3, a tiny DNG, see TinyRaw.h) and a sidecar (DSC00012.xmp), so every
// number key moves three files and its name check looks at every member of the target.
//
// What each figure is, after untimed warm-up runs of the same operation:
//   digit           moveSelectionToDigit(1) with one Unsorted photo selected: the synchronous
//                   call only (optimistic move, insertion into the sorted target, next focus,
//                   selection, HUD). 200 runs, each at a different position.
//   unsorted_digit  moveSelectionToDigit(0) with one "Category 01" photo selected, into the
//                   8,000-photo Unsorted section. Interleaved with the digit runs, so the
//                   section sizes stay at 8,000 and 2,000 throughout.
//   Between runs the disk move and the reload after it finish (no mutation pending and
//   reconciled() seen); none of that waiting is timed. With --companions the reloaded photo
//   must still carry both companions, or the run fails.
//   navigate        navigateSelection(1, 0), 1,000 steps through Unsorted.
//   select_all      selectAll() after an untimed deselectAll(), 21 runs.
//   resort          setSortOrder, alternating modification date and filename, 20 runs.
//   reload_merge    what a reload costs the main thread: the thread's CPU time from calling
//                   reloadFromDisk() until reconciled(), while the scan runs on the service
//                   thread. That is the continuation applying the fresh collection (id set,
//                   selection, comparing against the shown collection, monitor update) plus
//                   event dispatch. The disk is unchanged, so the fresh collection equals the
//                   shown one and the comparison runs over every photo. 9 runs.
// Beside each wall-clock figure the main thread's CPU time over the same span is printed: it
// leaves out time the thread sat preempted while other programs had the cores.
// The last line is machine-readable: digit_median_ms=… digit_worst_ms=… … reload_merge_ms=…
//
// With --scale the collection is a card dump of 100,000 photos: 98,000 in Unsorted and 2,000
// in "Category 01", the other categories empty. It prints
//   bytes_per_photo   the heap the open collection holds (malloc's in-use bytes after the
//                     open and every dimension read, less those before), per photo
//   digit             number keys 1 and 0 in turn, 100 in all, each waited for as above
//   key_process_cpu   the CPU time of every thread of the process over those 100 keys, until
//                     the monitor's last report of them is read, per key: the store, the
//                     moves on the service thread, the journal, the monitor, the regrouping of
//                     bursts. The keys start once the similarity pass is done (its time and
//                     CPU are printed first).
//   burst_reconcile   20 number keys pressed without waiting, then the main thread's CPU time
//                     from the last one until reconciled() (the rescan runs on the service
//                     thread); 5 bursts
//   rss_open_mb, peak_after_keys_mb  resident memory after the open, and its peak over the
//                     100 keys and the bursts (the peak is reset after the similarity pass;
//                     peak_growth_pct is against the resident memory then)
//   calvenor-store-bench --scale ROOT

#include "TinyRaw.h"

#include "ViewModels/CollectionStore.h"
#include "Services/Platform/LargeBlocks.h"

#include <QBuffer>
#include <QDeadlineTimer>
#include <QDir>
#include <QElapsedTimer>
#include <QGuiApplication>
#include <QImage>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <fstream>
#include <malloc.h>
#include <string>
#include <vector>

namespace {

int unsortedCount = 8000;
constexpr int bigCategoryCount = 2000;
constexpr int scaleUnsortedCount = 98'000;
constexpr int categoryCount = 20;
constexpr int moveRuns = 200;
constexpr int warmUpRuns = 5;

[[noreturn]] void fail(const QString &message)
{
    std::fprintf(stderr, "store-bench: %s\n", qPrintable(message));
    std::exit(1);
}

// The store needs a desktop; this one has no preview, no motion and no text field.
class QuietDesktop : public DesktopServices
{
public:
    void chooseFolder(const FolderPanelRequest &,
                      std::function<void(std::optional<QUrl>)> completion) override
    {
        completion(std::nullopt);
    }
    bool isPreviewVisible() const override { return false; }
    bool isPreviewActive() const override { return false; }
    void showPreview() override {}
    void hidePreview() override {}
    void reloadPreview() override {}
    void openWithDefaultApplication(const QUrl &) override {}
    void revealInFileManager(const QUrl &) override {}
    void beep() override {}
    bool prefersReducedMotion() const override { return true; }
    bool textInputHasFocus() const override { return false; }
};

QString photoName(int number)
{
    switch (number % 4) {
    case 0:
        return QStringLiteral("IMG_%1.jpg").arg(number);
    case 1:
        return QStringLiteral("DSC%1.JPG").arg(number, 5, 10, QLatin1Char('0'));
    case 2:
        return QStringLiteral("Holiday %1.jpeg").arg(number);
    default:
        return QStringLiteral("img-%1.jpg").arg(number);
    }
}

// The RAW and the sidecar that travel with every photo under --companions; empty otherwise.
struct ShotFiles
{
    QByteArray raw;
    QByteArray xmp;
};

void writeFile(const QString &path, const QByteArray &bytes, const QDateTime &time)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::NewOnly) || file.write(bytes) != bytes.size()
        || !file.setFileTime(time, QFileDevice::FileModificationTime)) {
        fail(QStringLiteral("cannot write ") + path);
    }
}

void writePhotos(const QString &folder, int first, int count, const QByteArray &jpeg,
                 const ShotFiles &companions)
{
    if (!QDir().mkpath(folder)) {
        fail(QStringLiteral("cannot create ") + folder);
    }
    const QDateTime base(QDate(2020, 1, 1), QTime(8, 0), Qt::UTC);
    for (int number = first; number < first + count; ++number) {
        const QString name = photoName(number);
        // Times scattered over a year, so date order differs from name order.
        const QDateTime time = base.addSecs(qint64(number) * 7919 % 31'536'000);
        writeFile(folder + QLatin1Char('/') + name, jpeg, time);
        if (!companions.raw.isEmpty()) {
            const QString stem = folder + QLatin1Char('/') + name.left(name.lastIndexOf(u'.'));
            writeFile(stem + QStringLiteral(".CR3"), companions.raw, time);
            writeFile(stem + QStringLiteral(".xmp"), companions.xmp, time);
        }
    }
}

void makeCollection(const QString &root, bool withCompanions)
{
    QImage image(16, 12, QImage::Format_RGB32);
    image.fill(QColor(90, 140, 200));
    QByteArray jpeg;
    QBuffer buffer(&jpeg);
    if (!buffer.open(QIODevice::WriteOnly) || !image.save(&buffer, "JPG")) {
        fail(QStringLiteral("cannot encode a JPEG (is the image format plugin installed?)"));
    }
    ShotFiles companions;
    if (withCompanions) {
        companions.raw = TinyRaw::dng();
        companions.xmp = QByteArrayLiteral(
            "<?xpacket begin=\"\xEF\xBB\xBF\" id=\"W5M0MpCehiHzreSzNTczkc9d\"?>\n"
            "<x:xmpmeta xmlns:x=\"adobe:ns:meta/\">\n"
            " <rdf:RDF xmlns:rdf=\"http://www.w3.org/1999/02/22-rdf-syntax-ns#\">\n"
            "  <rdf:Description rdf:about=\"\" xmlns:xmp=\"http://ns.adobe.com/xap/1.0/\"\n"
            "   xmp:Rating=\"3\" xmp:Label=\"Red\"/>\n"
            " </rdf:RDF>\n"
            "</x:xmpmeta>\n"
            "<?xpacket end=\"w\"?>\n");
    }
    writePhotos(root, 1, unsortedCount, jpeg, companions);
    writePhotos(root + QStringLiteral("/Category 01"), unsortedCount + 1, bigCategoryCount, jpeg,
                companions);
    for (int i = 2; i <= categoryCount; ++i) {
        const QString folder = root + QStringLiteral("/Category %1").arg(i, 2, 10, QLatin1Char('0'));
        if (!QDir().mkpath(folder)) {
            fail(QStringLiteral("cannot create ") + folder);
        }
    }
}

// Runs the event loop until `done` holds; false after `timeoutMs`.
template<typename Done>
bool waitFor(Done done, int timeoutMs = 60'000)
{
    QTimer wake; // the loop otherwise sleeps until an event arrives
    wake.start(10);
    const QDeadlineTimer deadline(timeoutMs);
    while (!done()) {
        if (deadline.hasExpired()) {
            return false;
        }
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }
    return true;
}

double cpuMs(clockid_t clock)
{
    timespec now{};
    ::clock_gettime(clock, &now);
    return double(now.tv_sec) * 1e3 + double(now.tv_nsec) / 1e6;
}

double threadCpuMs()
{
    return cpuMs(CLOCK_THREAD_CPUTIME_ID);
}

// One operation's runs: wall-clock time, and the main thread's CPU time over the same span,
// which leaves out time the thread sat preempted when other programs share the cores.
struct Figures
{
    std::vector<double> ms;
    std::vector<double> cpuMs;

    template<typename Work>
    void measure(bool keep, Work work)
    {
        QElapsedTimer timer;
        const double cpuBefore = threadCpuMs();
        timer.start();
        work();
        const double wall = double(timer.nsecsElapsed()) / 1e6;
        const double cpu = threadCpuMs() - cpuBefore;
        if (keep) {
            ms.push_back(wall);
            cpuMs.push_back(cpu);
        }
    }

    static double median(std::vector<double> values)
    {
        std::sort(values.begin(), values.end());
        const size_t n = values.size();
        return n == 0 ? 0 : n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
    }
    static double worst(const std::vector<double> &values)
    {
        return values.empty() ? 0 : *std::max_element(values.begin(), values.end());
    }
    double median() const { return median(ms); }
    double worst() const { return worst(ms); }
    void print(const char *label) const
    {
        std::printf("%-15s runs=%4zu median=%8.3f ms worst=%8.3f ms   cpu: median=%8.3f ms "
                    "worst=%8.3f ms\n",
                    label, ms.size(), median(), worst(), median(cpuMs), worst(cpuMs));
    }
};

template<typename Work>
double timeMs(Work work)
{
    QElapsedTimer timer;
    timer.start();
    work();
    return double(timer.nsecsElapsed()) / 1e6;
}

class Bench
{
public:
    explicit Bench(const QString &root)
        : m_root(QUrl::fromLocalFile(root))
    {
        m_settings = std::make_shared<QSettings>(m_home.path() + QStringLiteral("/settings.ini"),
                                                 QSettings::IniFormat);
        m_store = std::make_unique<CollectionStore>(m_desktop, m_settings);
        m_store->setUndoStack(&m_undoStack);
        QObject::connect(m_store.get(), &CollectionStore::reconciled, m_store.get(),
                         [this] { ++m_reconciled; });
    }

    CollectionStore &store() { return *m_store; }
    const QUrl &root() const { return m_root; }
    int reconciledCount() const { return m_reconciled; }

    void open()
    {
        m_store->openCollection(m_root, false);
        if (!waitFor([this] { return !m_store->isLoading() && m_store->collection(); })) {
            fail(QStringLiteral("the collection did not open"));
        }
    }

    // The section with `name`, or Unsorted for an empty name.
    PhotoSection sectionNamed(const QString &name) const
    {
        for (const PhotoSection &section : m_store->sections()) {
            if (name.isEmpty() ? section.kind == PhotoSectionKind::unsorted
                               : section.name == name) {
                return section;
            }
        }
        fail(QStringLiteral("no section ") + name);
    }

    // Waits for the disk work started since `reconciledBefore` and the reload after it, and
    // for every other reload in flight: the late reconciliation of an earlier reload must not
    // pass for this one while this one still scans (and delays whatever is timed next).
    void settle(int reconciledBefore)
    {
        if (!waitFor([&] { return !m_store->isBusy() && m_reconciled > reconciledBefore; })) {
            fail(QStringLiteral("the store did not reconcile with the disk"));
        }
        if (m_store->alert()) {
            fail(QStringLiteral("the store reported: ") + m_store->alert()->message);
        }
    }

    // Lets late folder-monitor notices of our own moves arrive and the reloads they start
    // finish, so none lands inside a later measurement: returns once nothing is in flight and a
    // full second (twice the monitor's debounce) passed with no reconciliation.
    void quiesce()
    {
        int seen = -1;
        while (seen != m_reconciled || m_store->isBusy()) {
            seen = m_reconciled;
            waitFor([] { return false; }, 1000);
        }
    }

    // Selects the photo at `position` (wrapped) of a section, times a number key and checks
    // that the photo landed in `targetID`, and after the reload still has `companionCount`
    // companions.
    void fileOne(Figures &figures, bool keep, const QString &fromID, qsizetype position,
                 int digit, const QString &targetID, qsizetype companionCount)
    {
        // Only the id is kept: a copy of the section would share its photos, and the timed key
        // would then pay for copying them all.
        QString id;
        if (const std::optional<PhotoSection> from = m_store->section(fromID);
            from && !from->photos.isEmpty()) {
            id = from->photos[position % from->photos.size()].id;
        } else {
            fail(QStringLiteral("an empty source section"));
        }
        m_store->select(id, fromID, {});
        const int before = m_reconciled;
        figures.measure(keep, [&] { m_store->moveSelectionToDigit(digit); });
        const std::optional<PhotoSection> target = m_store->section(targetID);
        if (!target || std::none_of(target->photos.cbegin(), target->photos.cend(),
                                    [&id](const Photo &photo) { return photo.id == id; })) {
            fail(QStringLiteral("number key %1 did not move the photo").arg(digit));
        }
        settle(before);
        const std::optional<PhotoSection> reloaded = m_store->section(targetID);
        if (!reloaded
            || std::none_of(reloaded->photos.cbegin(), reloaded->photos.cend(),
                            [&](const Photo &photo) {
                                return photo.id == id && photo.companions.size() == companionCount;
                            })) {
            fail(QStringLiteral("after number key %1 the disk does not hold the whole shot")
                     .arg(digit));
        }
    }

private:
    QUrl m_root;
    QTemporaryDir m_home; // the settings file, away from the user's own
    QuietDesktop m_desktop;
    std::shared_ptr<QSettings> m_settings;
    QUndoStack m_undoStack;
    std::unique_ptr<CollectionStore> m_store;
    int m_reconciled = 0;
};

// A figure from /proc/self/status ("VmRSS", "VmHWM"), in MiB.
double statusMiB(const char *field)
{
    std::ifstream status("/proc/self/status");
    std::string line;
    const std::string prefix = std::string(field) + ':';
    while (std::getline(status, line)) {
        if (line.rfind(prefix, 0) == 0) {
            return std::stod(line.substr(prefix.size())) / 1024.0;
        }
    }
    return 0;
}

// The card-dump run: see the top of the file.
int runAtScale(const QString &rootPath)
{
    unsortedCount = scaleUnsortedCount;
    const double makeMs = timeMs([&] { makeCollection(rootPath, false); });
    const size_t heapBefore = mallinfo2().uordblks;
    Bench bench(rootPath);
    CollectionStore &store = bench.store();
    const double openMs = timeMs([&] { bench.open(); });
    if (!waitFor([&] { return !store.isFillingDimensions() && !store.isBusy(); })) {
        fail(QStringLiteral("the dimensions were never read"));
    }
    const qsizetype photos = store.photoCount();
    const bool allRead = [&] { // the copy is let go before the keys change the sections
        const QList<Photo> all = store.flattenedPhotos();
        return std::all_of(all.cbegin(), all.cend(),
                           [](const Photo &photo) { return photo.hasDimensions(); });
    }();
    if (photos != scaleUnsortedCount + bigCategoryCount || !allRead) {
        fail(QStringLiteral("the collection shows %1 photos, not all with dimensions").arg(photos));
    }
    struct
    {
        QString id;
    } unsorted{bench.sectionNamed(QString()).id},
        big{bench.sectionNamed(QStringLiteral("Category 01")).id};
    malloc_trim(0);
    const double bytesPerPhoto = double(mallinfo2().uordblks - heapBefore) / double(photos);
    const double rssOpen = statusMiB("VmRSS");
    std::printf("%s: %lld photos, generated in %.0f ms, opened in %.0f ms\n", qPrintable(rootPath),
                qint64(photos), makeMs, openMs);
    // The keys are timed once the similarity pass is done, as in every session after the first,
    // whose cache has the facts: while the pass runs, it reads photos at idle priority on every
    // core whatever the keys do, and its work would be counted against them.
    const double passCpuBefore = cpuMs(CLOCK_PROCESS_CPUTIME_ID);
    const double passMs = timeMs([&] {
        if (!waitFor([&] { return store.similarity().isComplete(); }, 30 * 60'000)) {
            fail(QStringLiteral("the similarity pass never finished"));
        }
    });
    std::printf("similarity pass: done %.0f ms after the dimensions, %.0f ms of CPU\n", passMs,
                cpuMs(CLOCK_PROCESS_CPUTIME_ID) - passCpuBefore);
    const double rssBeforeKeys = statusMiB("VmRSS");
    std::ofstream("/proc/self/clear_refs") << "5"; // the peak starts again from here

    // What the heap holds, as against what the process keeps from the system: the live heap
    // after 10 and after 100 keys, each once the store is quiet, tells what accumulates.
    const size_t heapOpen = mallinfo2().uordblks;
    const auto heapGrowthMiB = [&] {
        bench.quiesce();
        return (double(mallinfo2().uordblks) - double(heapOpen)) / (1024.0 * 1024.0);
    };
    Figures digit;
    double heapAfter10 = 0;
    const double processCpuBefore = cpuMs(CLOCK_PROCESS_CPUTIME_ID);
    for (int run = 0; run < 50; ++run) {
        const qsizetype position = qsizetype(run) * 7919;
        bench.fileOne(digit, true, unsorted.id, position, 1, big.id, 0);
        bench.fileOne(digit, true, big.id, position, 0, unsorted.id, 0);
        if (run == 4) {
            heapAfter10 = heapGrowthMiB();
        }
    }
    const double heapAfter100 = heapGrowthMiB(); // the monitor's last report read too
    const double keyProcessCpu = (cpuMs(CLOCK_PROCESS_CPUTIME_ID) - processCpuBefore) / 100;
    const double peakAfter100 = statusMiB("VmHWM");
    malloc_trim(0);
    const double rssAfter100Trimmed = statusMiB("VmRSS");
    digit.print("digit");
    std::printf("%-15s every thread's CPU time per key, the disk work and the monitor's "
                "reports included: %.3f ms\n", "key_process_cpu", keyProcessCpu);
    std::printf("after keys: live heap +%.1f MiB after 10, +%.1f MiB after 100; peak %.1f MiB; "
                "resident once trimmed %.1f MiB\n",
                heapAfter10, heapAfter100, peakAfter100, rssAfter100Trimmed);

    // Bursts: 20 keys as fast as the store takes them, then the reconciliation after them.
    Figures burst;
    for (int run = 0; run < 5; ++run) {
        const int before = bench.reconciledCount();
        const int digitKey = run % 2 ? 0 : 1;
        const QString from = run % 2 ? big.id : unsorted.id;
        const QString first = [&] { // the list is let go before the keys change it
            const QList<Photo> source = store.section(from)->photos;
            return source[qsizetype(run) * 101 % source.size()].id;
        }();
        store.select(first, from, {});
        for (int key = 0; key < 20; ++key) {
            store.moveSelectionToDigit(digitKey); // the focus moves on to the next photo
        }
        const double cpuBefore = threadCpuMs();
        bench.settle(before);
        burst.cpuMs.push_back(threadCpuMs() - cpuBefore);
        burst.ms.push_back(0);
        bench.quiesce();
    }
    const double peakAfterKeys = statusMiB("VmHWM");
    std::printf("%-15s runs=%4zu cpu: median=%8.3f ms worst=%8.3f ms\n", "burst_reconcile",
                burst.cpuMs.size(), Figures::median(burst.cpuMs), Figures::worst(burst.cpuMs));
    std::printf("bytes_per_photo=%.0f digit_median_ms=%.3f digit_cpu_median_ms=%.3f "
                "key_process_cpu_ms=%.3f "
                "burst_reconcile_cpu_median_ms=%.3f rss_open_mb=%.1f peak_after_keys_mb=%.1f "
                "peak_growth_pct=%.1f\n",
                bytesPerPhoto, digit.median(), Figures::median(digit.cpuMs), keyProcessCpu,
                Figures::median(burst.cpuMs), rssOpen, peakAfterKeys,
                100.0 * (peakAfterKeys - rssBeforeKeys) / rssBeforeKeys);
    return 0;
}

} // namespace

int main(int argc, char **argv)
{
    useOwnPagesForLargeBlocks(); // as the application does
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QGuiApplication app(argc, argv);
    const bool atScale = argc == 3 && qstrcmp(argv[1], "--scale") == 0;
    const bool withCompanions = argc == 3 && qstrcmp(argv[1], "--companions") == 0;
    if (argc != 2 && !withCompanions && !atScale) {
        std::fprintf(stderr,
                     "usage: %s [--companions | --scale] ROOT (a missing or empty folder)\n",
                     argv[0]);
        return 2;
    }
    const qsizetype companionCount = withCompanions ? 2 : 0;
    // The benchmark moves files around inside ROOT, so it only ever works on files it made.
    const QString rootPath = QDir(QFile::decodeName(argv[argc - 1])).absolutePath();
    if (QFileInfo::exists(rootPath)
        && (!QFileInfo(rootPath).isDir()
            || !QDir(rootPath).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden
                                         | QDir::System)
                    .isEmpty())) {
        fail(rootPath + QStringLiteral(" exists and is not an empty folder"));
    }
    if (atScale) {
        return runAtScale(rootPath);
    }
    const double makeMs = timeMs([&] { makeCollection(rootPath, withCompanions); });

    Bench bench(rootPath);
    CollectionStore &store = bench.store();
    const double openMs = timeMs([&] { bench.open(); });
    const PhotoSection unsorted = bench.sectionNamed(QString());
    const PhotoSection big = bench.sectionNamed(QStringLiteral("Category 01"));
    if (store.photoCount() != unsortedCount + bigCategoryCount
        || store.sections().size() != categoryCount + 1 || unsorted.count() != unsortedCount
        || big.count() != bigCategoryCount) {
        fail(QStringLiteral("the collection shows %1 photos in %2 sections")
                 .arg(store.photoCount())
                 .arg(store.sections().size()));
    }
    if (std::any_of(unsorted.photos.cbegin(), unsorted.photos.cend(), [&](const Photo &photo) {
            return photo.companions.size() != companionCount;
        })) {
        fail(QStringLiteral("the photos do not have %1 companions each").arg(companionCount));
    }
    std::printf("%s: %lld photos, Unsorted %lld, Category 01 %lld, %d empty categories%s\n",
                qPrintable(rootPath), qint64(store.photoCount()), qint64(unsorted.count()),
                qint64(big.count()), categoryCount - 1,
                withCompanions ? "; every photo a JPEG+CR3+XMP shot" : "");
    std::printf("generated in %.0f ms, opened in %.0f ms\n", makeMs, openMs);

    // Number keys, interleaved so both sections keep their size. Positions step by a prime
    // so the moved photos and their insertion points spread over the sections.
    Figures digit, unsortedDigit;
    const int reconciledBeforeMoves = bench.reconciledCount();
    for (int run = -warmUpRuns; run < moveRuns; ++run) {
        const qsizetype position = qsizetype(run + warmUpRuns) * 7919;
        bench.fileOne(digit, run >= 0, unsorted.id, position, 1, big.id, companionCount);
        bench.fileOne(unsortedDigit, run >= 0, big.id, position, 0, unsorted.id, companionCount);
    }
    bench.quiesce();
    const int strayReloads =
        bench.reconciledCount() - reconciledBeforeMoves - 2 * (moveRuns + warmUpRuns);
    if (bench.sectionNamed(QString()).count() != unsortedCount
        || bench.sectionNamed(QStringLiteral("Category 01")).count() != bigCategoryCount) {
        fail(QStringLiteral("the sections changed size during the number-key runs"));
    }
    digit.print("digit");
    unsortedDigit.print("unsorted_digit");
    std::printf("%-15s %d reconciliations beyond one per move (folder-monitor reloads)\n", "",
                strayReloads);

    // Arrow key through the middle of Unsorted.
    Figures navigate;
    const PhotoSection walk = bench.sectionNamed(QString());
    store.select(walk.photos[3000].id, walk.id, {});
    for (int run = -20; run < 1000; ++run) {
        navigate.measure(run >= 0, [&] { store.navigateSelection(1, 0); });
    }
    if (store.focusedPhotoID() != walk.photos[3000 + 1020].id) {
        fail(QStringLiteral("the arrow key did not step one photo at a time"));
    }
    navigate.print("navigate");

    Figures selectAll;
    for (int run = -3; run < 21; ++run) {
        store.deselectAll();
        selectAll.measure(run >= 0, [&] { store.selectAll(); });
        if (store.selectedCount() != unsortedCount + bigCategoryCount) {
            fail(QStringLiteral("select all selected %1 photos").arg(store.selectedCount()));
        }
    }
    store.deselectAll();
    selectAll.print("select_all");

    Figures resort;
    for (int run = -2; run < 20; ++run) {
        const PhotoSortOrder order =
            run % 2 ? PhotoSortOrder::filename : PhotoSortOrder::modificationDate;
        resort.measure(run >= 0, [&] { store.setSortOrder(order); });
        if (store.sortOrder() != order) {
            fail(QStringLiteral("the sort order did not change"));
        }
    }
    if (store.sortOrder() != PhotoSortOrder::filename) {
        fail(QStringLiteral("the runs should end in filename order"));
    }
    resort.print("resort");

    // Reload of an unchanged disk: the scan alone (the main thread only waits for it), then
    // the whole reload, whose main-thread CPU time is the merge. A photo stays selected so the
    // selection is carried over, as after a move.
    store.select(walk.photos[10].id, walk.id, {});
    Figures scan, reload;
    for (int run = -2; run < 9; ++run) {
        scan.measure(run >= 0, [&] {
            if (!store.fileSystem().scan(bench.root(), store.sortOrder()).result()) {
                fail(QStringLiteral("the scan failed"));
            }
        });
        const int before = bench.reconciledCount();
        reload.measure(run >= 0, [&] {
            store.reloadFromDisk();
            bench.settle(before);
        });
    }
    const double reloadMergeMs = Figures::median(reload.cpuMs);
    std::printf("%-15s runs=%4zu median=%8.3f ms worst=%8.3f ms\n", "scan", scan.ms.size(),
                scan.median(), scan.worst());
    reload.print("reload");
    std::printf("%-15s reload minus scan, wall medians: %.3f ms; reload_merge is the cpu median\n",
                "", reload.median() - scan.median());

    std::printf("digit_median_ms=%.3f digit_worst_ms=%.3f unsorted_digit_median_ms=%.3f "
                "unsorted_digit_worst_ms=%.3f navigate_median_ms=%.3f select_all_ms=%.3f "
                "resort_ms=%.3f reload_merge_ms=%.3f\n",
                digit.median(), digit.worst(), unsortedDigit.median(), unsortedDigit.worst(),
                navigate.median(), selectAll.median(), resort.median(), reloadMergeMs);
    return 0;
}
