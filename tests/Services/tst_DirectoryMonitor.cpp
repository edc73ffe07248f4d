#include "Services/DirectoryMonitor.h"
#include "support/PrivateMounts.h"
#include "support/TestFolders.h"
#include "support/TestRows.h"

#include <QDir>
#include <QFile>
#include <QMutex>
#include <QTemporaryDir>
#include <QTest>

#include <atomic>
#include <memory>
#include <thread>

using namespace TestFolders;
using namespace Qt::StringLiterals;

namespace {

// What a report's events said, folder by folder: "Cats -a.jpg Dogs +a.jpg", with + came,
// - went, ~ attribute, = written and ! something unnamed; folders by their last name.
QString eventText(const DirectoryMonitor::Change &change)
{
    QStringList words;
    for (const QString &folder : change.folders) {
        const DirectoryMonitor::FolderEvents events = change.events.value(folder);
        words.append(folder.section(u'/', -1));
        for (const DirectoryMonitor::NamedEvent &event : events.named) {
            words.append(QChar(u"+-~="[int(event.event)]) + event.name);
        }
        if (events.unnamed) {
            words.append(u"!"_s);
        }
    }
    return words.join(u' ');
}

// Counts callbacks, keeps the folders and events the last one reported and remembers whether
// one ever ran on the thread that created the counter.
struct Calls
{
    std::atomic<int> count = 0;
    std::atomic<bool> ranOnCallerThread = false;
    QMutex mutex;
    QStringList lastFolders;
    QString lastEvents;

    std::function<void(const DirectoryMonitor::Change &)> callback()
    {
        return [this, caller = std::this_thread::get_id()](const DirectoryMonitor::Change &change) {
            if (std::this_thread::get_id() == caller) {
                ranOnCallerThread = true;
            }
            {
                const QMutexLocker locker(&mutex);
                lastFolders = change.folders;
                lastEvents = eventText(change);
            }
            ++count;
        };
    }
    QStringList folders()
    {
        const QMutexLocker locker(&mutex);
        return lastFolders;
    }
};

// Long enough for a second callback (due 0.5 s after an event) to have arrived if one was due.
constexpr int quietPeriodMs = 1000;
constexpr int callbackTimeoutMs = 5000;

// Waits for `expected` callbacks in all, then a quiet period in which no other may come.
void expectCalls(const Calls &calls, int expected)
{
    QTRY_COMPARE_WITH_TIMEOUT(calls.count.load(), expected, callbackTimeoutMs);
    QTest::qWait(quietPeriodMs);
    QCOMPARE(calls.count.load(), expected);
    QVERIFY(!calls.ranOnCallerThread);
}

} // namespace

class tst_DirectoryMonitor : public QObject
{
    Q_OBJECT

private:
    // Cats/{a.jpg, Sub/b.jpg}, Cats-link (to Cats), Dogs/, Empty/ and Outside/c.jpg.
    std::unique_ptr<QTemporaryDir> m_dir;
    PrivateMounts m_mounts;

    QString path(const QString &relative) const
    {
        return QDir::cleanPath(m_dir->path() + u'/' + relative);
    }
    // Folders listed as "Cats|Dogs", relative to the test's folder unless they are URLs.
    QList<QUrl> urls(const QString &list) const
    {
        QList<QUrl> urls;
        for (const QString &entry : list.split(u'|', Qt::SkipEmptyParts)) {
            urls.append(entry.contains(u':') ? QUrl(entry)
                                             : QUrl::fromLocalFile(m_dir->path() + u'/' + entry));
        }
        return urls;
    }
    QStringList paths(const QString &list) const
    {
        QStringList paths;
        for (const QString &entry : list.split(u'|', Qt::SkipEmptyParts)) {
            paths.append(path(entry));
        }
        return paths;
    }
    // Watches `list` and waits until the monitor thread has applied it, as `applied` when given.
    void watch(DirectoryMonitor &monitor, const QString &list, const QString &applied = {})
    {
        monitor.watch(urls(list));
        QTRY_COMPARE(monitor.watchedFolders(), paths(applied.isEmpty() ? list : applied));
    }

private Q_SLOTS:
    void init()
    {
        m_dir = std::make_unique<QTemporaryDir>();
        writeFile(m_dir->path(), u"Cats/a.jpg"_s);
        writeFile(m_dir->path(), u"Cats/Sub/b.jpg"_s);
        writeFile(m_dir->path(), u"Outside/c.jpg"_s);
        makeFolder(m_dir->path(), u"Dogs"_s);
        makeFolder(m_dir->path(), u"Empty"_s);
        QVERIFY(QFile::link(path(u"Cats"_s), path(u"Cats-link"_s)));
    }

    void watchedFolders_data()
    {
        QTest::addColumn<QString>("given");
        QTest::addColumn<QString>("expected");

        row("two folders, sorted", "Dogs|Cats", "Cats|Dogs");
        row("spellings of one folder", "Cats/.|Dogs/../Cats|Cats/|Cats/.", "Cats");
        row("link to a listed folder", "Cats-link|Cats", "Cats");
        row("missing folder", "Missing|Cats", "Cats");
        row("file instead of folder", "Cats/a.jpg|Cats", "Cats");
        row("remote url", "https://example.com/Dogs|Cats", "Cats");
    }

    void watchedFolders()
    {
        QFETCH(QString, given);
        QFETCH(QString, expected);
        DirectoryMonitor monitor([](const DirectoryMonitor::Change &) {});
        watch(monitor, given, expected);
    }

    void changeReportsOnce_data()
    {
        QTest::addColumn<QString>("watched");
        QTest::addColumn<QString>("change"); // write, remove, rename or touch
        QTest::addColumn<QString>("from");
        QTest::addColumn<QString>("to");
        QTest::addColumn<int>("expectedCalls");
        QTest::addColumn<QString>("reported"); // the folders the call names
        QTest::addColumn<QString>("events");   // as eventText() gives them

        row("new file", "Cats|Dogs", "write", "Cats/new.jpg", "", 1, "Cats",
            "Cats +new.jpg =new.jpg");
        row("file rewritten", "Cats", "write", "Cats/a.jpg", "", 1, "Cats", "Cats =a.jpg");
        row("file deleted", "Cats", "remove", "Cats/a.jpg", "", 1, "Cats", "Cats -a.jpg");
        row("file moved in", "Cats|Dogs", "rename", "Outside/c.jpg", "Cats/c.jpg", 1, "Cats",
            "Cats +c.jpg");
        row("moved between watched", "Cats|Dogs", "rename", "Cats/a.jpg", "Dogs/a.jpg", 1,
            "Cats|Dogs", "Cats -a.jpg Dogs +a.jpg");
        row("file moved out", "Cats", "rename", "Cats/a.jpg", "Outside/a.jpg", 1, "Cats",
            "Cats -a.jpg");
        row("attributes changed", "Cats", "touch", "Cats/a.jpg", "", 1, "Cats", "Cats ~a.jpg");
        row("new subfolder", "Cats", "write", "Cats/Kittens/new.jpg", "", 1, "Cats",
            "Cats +Kittens");
        row("watched folder renamed", "Cats|Dogs", "rename", "Cats", "Felines", 1, "Cats",
            "Cats !");
        row("empty watched folder deleted", "Empty", "remove", "Empty", "", 1, "Empty", "Empty !");
        row("new file in a subfolder", "Cats", "write", "Cats/Sub/new.jpg", "", 0, "", "");
    }

    void changeReportsOnce()
    {
        QFETCH(QString, watched);
        QFETCH(QString, change);
        QFETCH(QString, from);
        QFETCH(QString, to);
        QFETCH(int, expectedCalls);
        QFETCH(QString, reported);
        QFETCH(QString, events);
        Calls calls;
        DirectoryMonitor monitor(calls.callback());
        watch(monitor, watched);

        if (change == "write"_L1) {
            writeFile(m_dir->path(), from, "changed");
        } else if (change == "remove"_L1) {
            QVERIFY(QDir().rmdir(path(from)) || QFile::remove(path(from)));
        } else if (change == "rename"_L1) {
            QVERIFY(QDir().rename(path(from), path(to)));
        } else {
            setModificationTime(path(from), 1'000'000);
        }
        expectCalls(calls, expectedCalls);
        QCOMPARE(calls.folders(), paths(reported));
        const QMutexLocker locker(&calls.mutex);
        QCOMPARE(calls.lastEvents, events);
    }

    // A burst gives one callback, however long it lasts; a later change gives its own.
    void burstGivesOneCallback()
    {
        Calls calls;
        DirectoryMonitor monitor(calls.callback());
        watch(monitor, u"Cats"_s);
        // Paced so the burst lasts well over one debounce interval, each file still well within it.
        for (int i = 0; i < 200; ++i) {
            writeFile(m_dir->path(), u"Cats/IMG_%1.jpg"_s.arg(i));
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        expectCalls(calls, 1);
        writeFile(m_dir->path(), u"Cats/later.jpg"_s);
        expectCalls(calls, 2);
    }

    void pendingCallbackFollowsTheFolders_data()
    {
        QTest::addColumn<QString>("then");
        row("stop", "stop");
        row("watching a set with no folder in common", "Dogs");
        row("destruction", "destroy");
        row("watching a set that keeps the folder", "Cats|Dogs");
    }

    // A pending callback is dropped with the folders it was for, and those folders report
    // nothing more. The store re-watches its folders after every rescan: a change that came in
    // meanwhile is still reported, and the folders that stay keep reporting.
    void pendingCallbackFollowsTheFolders()
    {
        QFETCH(QString, then);
        const bool kept = then.contains("Cats"_L1);
        Calls calls;
        auto monitor = std::make_unique<DirectoryMonitor>(calls.callback());
        watch(*monitor, u"Cats"_s);
        writeFile(m_dir->path(), u"Cats/1.jpg"_s);
        QTRY_VERIFY(monitor->hasPendingChange());
        if (then == "stop"_L1) {
            monitor->stop();
            QTRY_VERIFY(monitor->watchedFolders().isEmpty());
        } else if (then == "destroy"_L1) {
            monitor.reset();
        } else {
            watch(*monitor, then);
        }
        if (kept) {
            expectCalls(calls, 1);
        }
        writeFile(m_dir->path(), u"Cats/2.jpg"_s);
        expectCalls(calls, kept ? 2 : 0);
        if (monitor && !kept) {
            QVERIFY(!monitor->hasPendingChange());
            writeFile(m_dir->path(), u"Dogs/1.jpg"_s);
            expectCalls(calls, then == "Dogs"_L1 ? 1 : 0);
        }
    }

    void changeBehindAMountIsPolled_data()
    {
        QTest::addColumn<QString>("program");
        row("FUSE mirror", "bindfs");
        // sshfs keeps listings and folder times 20 s unless told not to; the app cannot tell it.
        row("share", "sshfs");
    }

    // Through a FUSE mount inotify sees only what passes through the mount: a file added to the
    // folder behind it is found by polling, told without a name, and not while polling is off.
    void changeBehindAMountIsPolled()
    {
        QFETCH(QString, program);
        makeFolder(m_dir->path(), u"Mount"_s);
        const QString mount = path(u"Mount"_s);
        const QString why =
            program == "sshfs"_L1
                ? m_mounts.mountSshfs(path(u"Cats"_s), mount, path(u"sftp.sh"_s), {},
                                      u"dir_cache=no"_s)
                : m_mounts.mountFuse(program, {path(u"Cats"_s), mount}, mount);
        if (!why.isEmpty()) {
            QSKIP(qPrintable(why));
        }
        const std::optional<FolderPoller::Pace> pace = FolderPoller::pace(Volume::of(mount));
        QVERIFY(pace);
        // A round, the kernel's one second of cached attributes and the debounce.
        const int roundMs = int(pace->interval.count()) + 1000
                            + int(DirectoryMonitor::debounceInterval.count());
        Calls calls;
        DirectoryMonitor monitor(calls.callback());
        monitor.setPolling(false);
        watch(monitor, u"Mount"_s);
        QCOMPARE(monitor.polledFolders(), paths(u"Mount"_s));
        writeFile(m_dir->path(), u"Cats/behind.jpg"_s);
        QTest::qWait(roundMs); // past a round of polling, were it on
        QCOMPARE(calls.count.load(), 0);
        QCOMPARE(monitor.pollRounds(), 0);

        monitor.setPolling(true);
        QTRY_VERIFY(monitor.pollRounds() > 0); // the first look notes what the folder holds
        writeFile(m_dir->path(), u"Cats/later.jpg"_s);
        QTRY_COMPARE_WITH_TIMEOUT(calls.count.load(), 1, 2 * roundMs);
        QTest::qWait(quietPeriodMs);
        QCOMPARE(calls.count.load(), 1);
        const QMutexLocker locker(&calls.mutex);
        QCOMPARE(calls.lastEvents, u"Mount !"_s);
        QCOMPARE(calls.lastFolders, paths(u"Mount"_s));
    }

    void cleanup() { m_mounts.unmountAll(); }

    void destructionWaitsForRunningCallback()
    {
        std::atomic<int> started = 0;
        std::atomic<int> finished = 0;
        auto monitor = std::make_unique<DirectoryMonitor>([&](const DirectoryMonitor::Change &) {
            ++started;
            std::this_thread::sleep_for(std::chrono::milliseconds(300));
            ++finished;
        });
        watch(*monitor, u"Cats"_s);
        writeFile(m_dir->path(), u"Cats/1.jpg"_s);
        QTRY_COMPARE_WITH_TIMEOUT(started.load(), 1, callbackTimeoutMs);
        monitor.reset();
        QCOMPARE(finished.load(), 1);
    }
};

QTEST_GUILESS_MAIN(tst_DirectoryMonitor)
#include "tst_DirectoryMonitor.moc"
