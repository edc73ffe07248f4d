#include "Services/DirectoryMonitor.h"
#include "support/TestFolders.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <atomic>
#include <memory>
#include <thread>

using namespace TestFolders;

namespace {

// Changes made from outside to a folder tree: Cats/{a.jpg, Sub/b.jpg}, Empty/, Outside/c.jpg.
enum class Change {
    NewFile,
    FileRewritten,
    FileDeleted,
    FileMovedIn,
    FileMovedOut,
    AttributesChanged,
    NewSubfolder,
    WatchedFolderRenamed,
    WatchedFolderDeleted,
    NewFileInSubfolder,
};

// Counts callbacks and remembers whether one ever ran on the thread that created the counter.
struct Calls
{
    std::atomic<int> count = 0;
    std::atomic<bool> ranOnCallerThread = false;

    std::function<void()> callback()
    {
        return [this, caller = std::this_thread::get_id()] {
            if (std::this_thread::get_id() == caller) {
                ranOnCallerThread = true;
            }
            ++count;
        };
    }
};

// Long enough for a second callback (due 0.5 s after an event) to have arrived if one was due.
constexpr int quietPeriodMs = 1000;
constexpr int callbackTimeoutMs = 5000;

QString folder(const QTemporaryDir &dir, const QString &relativePath)
{
    return QDir::cleanPath(dir.path() + QLatin1Char('/') + relativePath);
}

QUrl folderUrl(const QTemporaryDir &dir, const QString &relativePath)
{
    return QUrl::fromLocalFile(dir.path() + QLatin1Char('/') + relativePath);
}

} // namespace

Q_DECLARE_METATYPE(Change)

class tst_DirectoryMonitor : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void watchedFolders_data();
    void watchedFolders();
    void changeReportsOnce_data();
    void changeReportsOnce();
    void burstGivesOneCallback();
    void changesApartGiveTwoCallbacks();
    void missingFolderDoesNotSilenceOthers();
    void stopDropsPendingCallback();
    void watchReplacesSetAndDropsPendingCallback();
    void rewatchKeepsPendingCallback();
    void destructionNeverLeavesCallbackBehind();
};

void tst_DirectoryMonitor::watchedFolders_data()
{
    QTest::addColumn<QStringList>("given");
    QTest::addColumn<QStringList>("expected");

    const QStringList cats{QStringLiteral("Cats")};
    QTest::newRow("nothing") << QStringList() << QStringList();
    QTest::newRow("one folder") << cats << cats;
    QTest::newRow("two folders") << QStringList{QStringLiteral("Dogs"), QStringLiteral("Cats")}
                                 << QStringList{QStringLiteral("Cats"), QStringLiteral("Dogs")};
    QTest::newRow("same folder twice")
        << QStringList{QStringLiteral("Cats"), QStringLiteral("Cats")} << cats;
    QTest::newRow("spellings of one folder")
        << QStringList{QStringLiteral("Cats"), QStringLiteral("Cats/"), QStringLiteral("Cats/."),
                       QStringLiteral("Dogs/../Cats")}
        << cats;
    QTest::newRow("link to a listed folder")
        << QStringList{QStringLiteral("Cats-link"), QStringLiteral("Cats")} << cats;
    QTest::newRow("missing folder")
        << QStringList{QStringLiteral("Missing"), QStringLiteral("Cats")} << cats;
    QTest::newRow("file instead of folder")
        << QStringList{QStringLiteral("Cats/a.jpg"), QStringLiteral("Cats")} << cats;
    QTest::newRow("remote url") << QStringList{QStringLiteral("https://example.com/Dogs"),
                                               QStringLiteral("Cats")}
                                << cats;
}

void tst_DirectoryMonitor::watchedFolders()
{
    QFETCH(QStringList, given);
    QFETCH(QStringList, expected);
    QTemporaryDir dir;
    writeFile(dir.path(), QStringLiteral("Cats/a.jpg"));
    makeFolder(dir.path(), QStringLiteral("Dogs"));
    makeFolder(dir.path(), QStringLiteral("Warm-up"));
    QVERIFY(
        QFile::link(folder(dir, QStringLiteral("Cats")), folder(dir, QStringLiteral("Cats-link"))));

    Calls calls;
    DirectoryMonitor monitor(calls.callback());
    // Start from a set no row expects, so waiting for the row's set shows its watch was applied.
    monitor.watch({folderUrl(dir, QStringLiteral("Warm-up"))});
    QTRY_COMPARE(monitor.watchedFolders(), QStringList{folder(dir, QStringLiteral("Warm-up"))});

    QList<QUrl> urls;
    for (const QString &entry : given) {
        urls.append(entry.contains(QLatin1Char(':')) ? QUrl(entry) : folderUrl(dir, entry));
    }
    QStringList expectedPaths;
    for (const QString &entry : expected) {
        expectedPaths.append(folder(dir, entry));
    }
    monitor.watch(urls);
    QTRY_COMPARE(monitor.watchedFolders(), expectedPaths);
}

void tst_DirectoryMonitor::changeReportsOnce_data()
{
    QTest::addColumn<Change>("change");
    QTest::addColumn<QString>("watched");
    QTest::addColumn<int>("expectedCalls");

    const QString cats = QStringLiteral("Cats");
    QTest::newRow("new file") << Change::NewFile << cats << 1;
    QTest::newRow("file rewritten") << Change::FileRewritten << cats << 1;
    QTest::newRow("file deleted") << Change::FileDeleted << cats << 1;
    QTest::newRow("file moved in") << Change::FileMovedIn << cats << 1;
    QTest::newRow("file moved out") << Change::FileMovedOut << cats << 1;
    QTest::newRow("attributes changed") << Change::AttributesChanged << cats << 1;
    QTest::newRow("new subfolder") << Change::NewSubfolder << cats << 1;
    QTest::newRow("watched folder renamed") << Change::WatchedFolderRenamed << cats << 1;
    QTest::newRow("empty watched folder deleted")
        << Change::WatchedFolderDeleted << QStringLiteral("Empty") << 1;
    QTest::newRow("new file in subfolder") << Change::NewFileInSubfolder << cats << 0;
}

void tst_DirectoryMonitor::changeReportsOnce()
{
    QFETCH(Change, change);
    QFETCH(QString, watched);
    QFETCH(int, expectedCalls);
    QTemporaryDir dir;
    const QString root = dir.path();
    writeFile(root, QStringLiteral("Cats/a.jpg"));
    writeFile(root, QStringLiteral("Cats/Sub/b.jpg"));
    writeFile(root, QStringLiteral("Outside/c.jpg"));
    makeFolder(root, QStringLiteral("Empty"));

    Calls calls;
    DirectoryMonitor monitor(calls.callback());
    monitor.watch({folderUrl(dir, watched)});
    QTRY_COMPARE(monitor.watchedFolders(), QStringList{folder(dir, watched)});

    const auto path = [&](const char *relative) {
        return folder(dir, QString::fromUtf8(relative));
    };
    switch (change) {
    case Change::NewFile:
        writeFile(root, QStringLiteral("Cats/new.jpg"));
        break;
    case Change::FileRewritten:
        writeFile(root, QStringLiteral("Cats/a.jpg"), "changed");
        break;
    case Change::FileDeleted:
        QVERIFY(QFile::remove(path("Cats/a.jpg")));
        break;
    case Change::FileMovedIn:
        QVERIFY(QFile::rename(path("Outside/c.jpg"), path("Cats/c.jpg")));
        break;
    case Change::FileMovedOut:
        QVERIFY(QFile::rename(path("Cats/a.jpg"), path("Outside/a.jpg")));
        break;
    case Change::AttributesChanged:
        setModificationTime(path("Cats/a.jpg"), 1'000'000);
        break;
    case Change::NewSubfolder:
        makeFolder(root, QStringLiteral("Cats/Kittens"));
        break;
    case Change::WatchedFolderRenamed:
        QVERIFY(QDir().rename(path("Cats"), path("Felines")));
        break;
    case Change::WatchedFolderDeleted:
        QVERIFY(QDir().rmdir(path("Empty")));
        break;
    case Change::NewFileInSubfolder:
        writeFile(root, QStringLiteral("Cats/Sub/new.jpg"));
        break;
    }

    if (expectedCalls > 0) {
        QTRY_COMPARE_WITH_TIMEOUT(calls.count.load(), expectedCalls, callbackTimeoutMs);
        QVERIFY(!calls.ranOnCallerThread);
    } else {
        QTest::qWait(quietPeriodMs);
        QCOMPARE(calls.count.load(), 0);
    }
}

void tst_DirectoryMonitor::burstGivesOneCallback()
{
    QTemporaryDir dir;
    makeFolder(dir.path(), QStringLiteral("Cats"));
    Calls calls;
    DirectoryMonitor monitor(calls.callback());
    monitor.watch({folderUrl(dir, QStringLiteral("Cats"))});
    QTRY_COMPARE(monitor.watchedFolders(), QStringList{folder(dir, QStringLiteral("Cats"))});

    // Paced so the burst lasts well over one debounce interval, each file still well within it.
    for (int i = 0; i < 200; ++i) {
        writeFile(dir.path(), QStringLiteral("Cats/IMG_%1.jpg").arg(i));
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    QTRY_COMPARE_WITH_TIMEOUT(calls.count.load(), 1, callbackTimeoutMs);
    QTest::qWait(1500);
    QCOMPARE(calls.count.load(), 1);
}

void tst_DirectoryMonitor::changesApartGiveTwoCallbacks()
{
    QTemporaryDir dir;
    makeFolder(dir.path(), QStringLiteral("Cats"));
    Calls calls;
    DirectoryMonitor monitor(calls.callback());
    monitor.watch({folderUrl(dir, QStringLiteral("Cats"))});
    QTRY_COMPARE(monitor.watchedFolders(), QStringList{folder(dir, QStringLiteral("Cats"))});

    writeFile(dir.path(), QStringLiteral("Cats/1.jpg"));
    QTRY_COMPARE_WITH_TIMEOUT(calls.count.load(), 1, callbackTimeoutMs);
    writeFile(dir.path(), QStringLiteral("Cats/2.jpg"));
    QTRY_COMPARE_WITH_TIMEOUT(calls.count.load(), 2, callbackTimeoutMs);
}

void tst_DirectoryMonitor::missingFolderDoesNotSilenceOthers()
{
    QTemporaryDir dir;
    makeFolder(dir.path(), QStringLiteral("Cats"));
    Calls calls;
    DirectoryMonitor monitor(calls.callback());
    monitor.watch(
        {folderUrl(dir, QStringLiteral("Missing")), folderUrl(dir, QStringLiteral("Cats"))});
    QTRY_COMPARE(monitor.watchedFolders(), QStringList{folder(dir, QStringLiteral("Cats"))});

    writeFile(dir.path(), QStringLiteral("Cats/1.jpg"));
    QTRY_COMPARE_WITH_TIMEOUT(calls.count.load(), 1, callbackTimeoutMs);
}

void tst_DirectoryMonitor::stopDropsPendingCallback()
{
    QTemporaryDir dir;
    makeFolder(dir.path(), QStringLiteral("Cats"));
    Calls calls;
    DirectoryMonitor monitor(calls.callback());
    monitor.watch({folderUrl(dir, QStringLiteral("Cats"))});
    QTRY_COMPARE(monitor.watchedFolders(), QStringList{folder(dir, QStringLiteral("Cats"))});

    writeFile(dir.path(), QStringLiteral("Cats/1.jpg"));
    QTRY_VERIFY(monitor.hasPendingChange());
    monitor.stop();
    QTRY_VERIFY(monitor.watchedFolders().isEmpty());
    writeFile(dir.path(), QStringLiteral("Cats/2.jpg"));
    QTest::qWait(quietPeriodMs);
    QCOMPARE(calls.count.load(), 0);
    QVERIFY(!monitor.hasPendingChange());
}

void tst_DirectoryMonitor::watchReplacesSetAndDropsPendingCallback()
{
    QTemporaryDir dir;
    makeFolder(dir.path(), QStringLiteral("Cats"));
    makeFolder(dir.path(), QStringLiteral("Dogs"));
    Calls calls;
    DirectoryMonitor monitor(calls.callback());
    monitor.watch({folderUrl(dir, QStringLiteral("Cats"))});
    QTRY_COMPARE(monitor.watchedFolders(), QStringList{folder(dir, QStringLiteral("Cats"))});

    writeFile(dir.path(), QStringLiteral("Cats/1.jpg"));
    QTRY_VERIFY(monitor.hasPendingChange());
    monitor.watch({folderUrl(dir, QStringLiteral("Dogs"))});
    QTRY_COMPARE(monitor.watchedFolders(), QStringList{folder(dir, QStringLiteral("Dogs"))});
    writeFile(dir.path(), QStringLiteral("Cats/2.jpg"));
    QTest::qWait(quietPeriodMs);
    QCOMPARE(calls.count.load(), 0);

    writeFile(dir.path(), QStringLiteral("Dogs/1.jpg"));
    QTRY_COMPARE_WITH_TIMEOUT(calls.count.load(), 1, callbackTimeoutMs);
}

// The store re-watches its folders after every rescan; a change that came in meanwhile must
// still be reported.
void tst_DirectoryMonitor::rewatchKeepsPendingCallback()
{
    QTemporaryDir dir;
    makeFolder(dir.path(), QStringLiteral("Cats"));
    makeFolder(dir.path(), QStringLiteral("Dogs"));
    Calls calls;
    DirectoryMonitor monitor(calls.callback());
    monitor.watch({folderUrl(dir, QStringLiteral("Cats"))});
    QTRY_COMPARE(monitor.watchedFolders(), QStringList{folder(dir, QStringLiteral("Cats"))});
    writeFile(dir.path(), QStringLiteral("Cats/1.jpg"));
    QTRY_VERIFY(monitor.hasPendingChange());
    monitor.watch({folderUrl(dir, QStringLiteral("Cats")), folderUrl(dir, QStringLiteral("Dogs"))});
    QTRY_COMPARE_WITH_TIMEOUT(calls.count.load(), 1, callbackTimeoutMs);
    writeFile(dir.path(), QStringLiteral("Cats/2.jpg"));
    QTRY_COMPARE_WITH_TIMEOUT(calls.count.load(), 2, callbackTimeoutMs);
}

void tst_DirectoryMonitor::destructionNeverLeavesCallbackBehind()
{
    QTemporaryDir dir;
    makeFolder(dir.path(), QStringLiteral("Cats"));

    // A pending callback is dropped.
    Calls calls;
    auto monitor = std::make_unique<DirectoryMonitor>(calls.callback());
    monitor->watch({folderUrl(dir, QStringLiteral("Cats"))});
    QTRY_COMPARE(monitor->watchedFolders(), QStringList{folder(dir, QStringLiteral("Cats"))});
    writeFile(dir.path(), QStringLiteral("Cats/1.jpg"));
    QTRY_VERIFY(monitor->hasPendingChange());
    monitor.reset();
    QTest::qWait(quietPeriodMs);
    QCOMPARE(calls.count.load(), 0);

    // A running callback has finished by the time the destructor returns.
    std::atomic<int> started = 0;
    std::atomic<int> finished = 0;
    monitor = std::make_unique<DirectoryMonitor>([&] {
        ++started;
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        ++finished;
    });
    monitor->watch({folderUrl(dir, QStringLiteral("Cats"))});
    QTRY_COMPARE(monitor->watchedFolders(), QStringList{folder(dir, QStringLiteral("Cats"))});
    writeFile(dir.path(), QStringLiteral("Cats/2.jpg"));
    QTRY_COMPARE_WITH_TIMEOUT(started.load(), 1, callbackTimeoutMs);
    monitor.reset();
    QCOMPARE(finished.load(), 1);
}

QTEST_GUILESS_MAIN(tst_DirectoryMonitor)
#include "tst_DirectoryMonitor.moc"
