#include "support/FaultyFileSystem.h"
#include "support/PrivateMounts.h"
#include "support/StoreFixture.h"

#include <QFile>
#include <QFileInfo>
#include <QMutex>

#include <atomic>
#include <csignal>
#include <future>
#include <thread>

using namespace Qt::StringLiterals;
using namespace TestFolders;
using Call = FaultyFileSystem::Call;
constexpr auto hooked = &FaultyFileSystem::hookedOn;

namespace {

// Whether another window would be refused the journal of the folder at `path`.
bool journalIsLocked(const QString &path)
{
    const auto journal = StoreFixture::journalOf(path);
    return !journal && journal.error().systemError == EWOULDBLOCK;
}

} // namespace

// Opening folders, loads that race each other, reloads and their merge, change notices while
// our own disk work runs, the HUD and the recent list.
class tst_CollectionStoreOpening : public QObject
{
    Q_OBJECT
    // Entered before any thread starts: a thread started earlier would stay outside it and
    // not see its mounts.
    std::optional<PrivateMounts> m_mounts;

private Q_SLOTS:
    void initTestCase() { m_mounts.emplace(); }
    void secondOpenWinsOverSlowFirst();
    void failedLoadKeepsOldCollection_data();
    void failedLoadKeepsOldCollection();
    void reloadMergesSelection_data();
    void reloadMergesSelection();
    void reconcileListsWhatChanged_data();
    void reconcileListsWhatChanged();
    void noticeDuringMoveWaitsForIt();
    void hudShowsLastOfQuickMessages();
    void restoreRunsOnce();
    void chooseFolderAndRecentFolders();
    void recentShareThatStopsAnswering();
};

void tst_CollectionStoreOpening::secondOpenWinsOverSlowFirst()
{
    StoreFixture f;
    QTemporaryDir slow;
    writeJpeg(slow.path(), u"slow.jpg"_s);
    writeJpeg(f.path(), u"fast.jpg"_s);
    const QString slowPath = slow.path();
    // The first folder's listing takes a while, then fails: its failure must stay silent.
    CollectionStore &store = f.make(hooked(Call::list, [slowPath](const QString &path) {
        if (path != slowPath) {
            return std::optional<int>();
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        return std::optional(EACCES);
    }));
    QList<QUrl> published; // the root of every collection shown (dimensions come in later)
    connect(&store, &CollectionStore::collectionChanged, this,
            [&] { published.append(store.collection()->rootURL); });
    store.openCollection(QUrl::fromLocalFile(slowPath), false);
    store.openCollection(QUrl::fromLocalFile(f.path()), false);
    QCOMPARE(store.loadingMessage(), u"Reading "_s + QDir(f.path()).dirName());
    QTRY_VERIFY_WITH_TIMEOUT(!store.isLoading(), 10000);
    QVERIFY(f.settle());
    QCOMPARE(QSet<QUrl>(published.cbegin(), published.cend()), QSet{QUrl::fromLocalFile(f.path())});
    QCOMPARE(f.names(u"Unsorted"_s), QStringList{u"fast.jpg"_s});
    QVERIFY(!store.alert());
}

void tst_CollectionStoreOpening::failedLoadKeepsOldCollection_data()
{
    QTest::addColumn<QString>("target");
    QTest::addColumn<QString>("message");
    QTest::newRow("a file") << u"notes.txt"_s << u"“notes.txt” is not a folder."_s;
    QTest::newRow("a missing folder") << u"Gone"_s << u"Couldn’t read “Gone”: It is no longer there."_s;
    QTest::newRow("an unreadable folder")
        << u"Unreadable"_s << u"Injected failure at “Unreadable”: You don’t have permission."_s;
    QTest::newRow("a folder open in another window")
        << u"Locked"_s
        << u"This folder is open in another Calvenor Photo Sorter window. Close it there first."_s;
}

void tst_CollectionStoreOpening::failedLoadKeepsOldCollection()
{
    QFETCH(QString, target);
    QFETCH(QString, message);
    StoreFixture f;
    QTemporaryDir other;
    const QString targetPath = other.path() + u'/' + target;
    writeFile(other.path(), u"notes.txt"_s);
    writeJpegs(other.path(), "Unreadable/u.jpg|Locked/l.jpg");
    writeJpegs(f.path(), "a.jpg|b.jpg");
    CollectionStore &store = f.make(hooked(Call::list, [](const QString &path) {
        return path.endsWith("Unreadable"_L1) ? std::optional(EACCES) : std::nullopt;
    }));
    QVERIFY(f.open());
    store.select(f.idOf(u"a.jpg"_s), store.sections().first().id, {});
    store.moveSelectionToTrash(); // an action to undo; the focus moves on to b.jpg
    QVERIFY(f.settle());
    const bool locked = target == "Locked"_L1;
    Result<std::unique_ptr<OperationJournal>> elsewhere; // the other window's
    if (locked) {
        elsewhere = StoreFixture::journalOf(targetPath);
        QVERIFY(elsewhere);
    }
    store.openCollection(QUrl::fromLocalFile(targetPath), false);
    QTRY_VERIFY_WITH_TIMEOUT(!store.isLoading(), 10000);
    QCOMPARE(store.alert().value_or(UserFacingAlert()).title, u"Couldn’t Open Folder"_s);
    QCOMPARE(store.alert()->message, message);
    QCOMPARE(store.collection()->rootURL, QUrl::fromLocalFile(f.path()));
    QCOMPARE(f.selectedNames(), QStringList{u"b.jpg"_s});
    // The shown folder keeps its journal: locked, its history on the undo stack, and the undo
    // written to it, not to the failed folder's.
    QVERIFY(journalIsLocked(f.path()));
    QCOMPARE(f.undoStack.count(), 1);
    if (QFileInfo::exists(targetPath) && !locked) {
        QVERIFY(!journalIsLocked(targetPath)); // given back
    }
    f.undoStack.undo();
    QTRY_VERIFY_WITH_TIMEOUT(QFileInfo::exists(f.path(u"a.jpg"_s)), 10000);
    QVERIFY(f.settle());
    // Still watched: a file added by another program shows up.
    QTRY_COMPARE(store.directoryMonitor().watchedFolders(), QStringList{f.path()});
    writeJpeg(f.path(), u"c.jpg"_s);
    QTRY_COMPARE_WITH_TIMEOUT(store.photoCount(), 3, 10000);
    f.make();
    QVERIFY(f.open());
    QCOMPARE(f.undoStack.count(), 1);
    QVERIFY(f.undoStack.canRedo() && !f.undoStack.canUndo());
}

void tst_CollectionStoreOpening::reloadMergesSelection_data()
{
    QTest::addColumn<QString>("removed");
    QTest::addColumn<QString>("selectedAfter");
    QTest::addColumn<QString>("focusAfter"); // "?": one of the remaining selection
    QTest::addColumn<QString>("anchorAfter");
    // Selected a, b, c with the focus and anchor on b.
    QTest::newRow("focused photo removed") << "b.jpg" << "a.jpg|c.jpg" << "?" << "=focus";
    QTest::newRow("other photo removed") << "c.jpg" << "a.jpg|b.jpg" << "b.jpg" << "b.jpg";
    QTest::newRow("everything selected removed") << "a.jpg|b.jpg|c.jpg" << "" << "" << "";
}

void tst_CollectionStoreOpening::reloadMergesSelection()
{
    QFETCH(QString, removed);
    QFETCH(QString, selectedAfter);
    QFETCH(QString, focusAfter);
    QFETCH(QString, anchorAfter);
    StoreFixture f;
    writeJpegs(f.path(), "a.jpg|b.jpg|c.jpg|d.jpg");
    CollectionStore &store = f.make();
    QVERIFY(f.open());
    for (const QString &name : split("c.jpg|^a.jpg|^b.jpg")) {
        store.select(f.idOf(QString(name).remove(u'^')), store.sections().first().id,
                     name.startsWith(u'^') ? Qt::ControlModifier : Qt::NoModifier);
    }
    QCOMPARE(f.focusedName(), u"b.jpg"_s);
    for (const QString &name : split(removed)) {
        QVERIFY(QFile::remove(f.path(name)));
    }
    QSignalSpy changed(&store, &CollectionStore::collectionChanged);
    store.reloadFromDisk(); // a quick scan may land before this returns
    QTRY_VERIFY_WITH_TIMEOUT(changed.count() > 0, 10000);
    QCOMPARE(f.selectedNames(), split(selectedAfter));
    QVERIFY2(focusAfter == u'?' ? f.selectedNames().contains(f.focusedName())
                                : f.focusedName() == focusAfter,
             qPrintable(f.focusedName()));
    QCOMPARE(store.selectionAnchorID(), anchorAfter == "=focus"_L1 ? store.focusedPhotoID()
                     : anchorAfter.isEmpty()    ? std::nullopt
                                                : std::optional(f.idOf(anchorAfter)));
}

void tst_CollectionStoreOpening::reconcileListsWhatChanged_data()
{
    QTest::addColumn<QString>("action");
    QTest::addColumn<QString>("listed"); // the folders listed again, "." for the root
    QTest::addColumn<QString>("section");
    QTest::addColumn<QString>("names"); // what that section shows afterwards

    QTest::newRow("our move") << "file a.jpg" << "" << "Cats" << "a.jpg|c.jpg";
    QTest::newRow("outside, in a folder we never touched")
        << "write Dogs/e.jpg" << "Dogs" << "Dogs" << "d.jpg|e.jpg";
    QTest::newRow("outside, while our move runs")
        << "file a.jpg|write Dogs/e.jpg" << "Dogs" << "Dogs" << "d.jpg|e.jpg";
    QTest::newRow("outside, among our keys in the same folder")
        << "file a.jpg|write Cats/e.jpg|file b.jpg" << "Cats" << "Cats" << "a.jpg|b.jpg|c.jpg|e.jpg";
    QTest::newRow("outside, a new category") << "mkdir Birds" << ".|Birds|Cats|Dogs" << "Birds" << "";
    QTest::newRow("Refresh") << "refresh" << ".|Cats|Dogs" << "Cats" << "c.jpg";
}

// Our own moves list no folder: the board shows them, and the monitor's report of them is
// recognised. An outside change lists only the folders the monitor names, even among our keys;
// a change of the categories themselves, or Refresh, lists everything.
void tst_CollectionStoreOpening::reconcileListsWhatChanged()
{
    QFETCH(QString, action);
    QFETCH(QString, listed);
    QFETCH(QString, section);
    QFETCH(QString, names);
    StoreFixture f;
    writeJpegs(f.path(), "a.jpg|b.jpg|Cats/c.jpg|Dogs/d.jpg");
    auto mutex = std::make_shared<QMutex>();
    auto folders = std::make_shared<QSet<QString>>();
    CollectionStore &store = f.make(hooked(Call::list, [=, root = f.path()](const QString &path) {
        const QMutexLocker locker(mutex.get());
        folders->insert(path == root ? u"."_s : QDir(root).relativeFilePath(path));
        return std::optional<int>();
    }));
    QVERIFY(f.open());
    QTRY_COMPARE(store.directoryMonitor().watchedFolders().size(), 3);
    {
        const QMutexLocker locker(mutex.get());
        folders->clear();
    }
    for (const QString &step : action.split(u'|')) {
        const QString argument = step.section(u' ', 1);
        if (step.startsWith(u"file")) {
            store.select(f.idOf(argument), store.sections().first().id, {});
            store.moveSelectionToDigit(1);
        } else if (step.startsWith(u"write")) {
            writeJpeg(f.path(), argument);
        } else if (step.startsWith(u"mkdir")) {
            makeFolder(f.path(), argument);
        } else {
            store.reloadFromDisk();
        }
    }
    const QStringList expected = split(names);
    QTRY_VERIFY_WITH_TIMEOUT(f.sectionNamed(section) && f.names(section) == expected, 10000);
    // Long enough for the monitor's report of our own moves to come in: it lists nothing.
    QTest::qWait(2 * int(DirectoryMonitor::debounceInterval.count()));
    QVERIFY(f.settle());
    QCOMPARE(f.names(section), expected);
    const QMutexLocker locker(mutex.get());
    QStringList seen(folders->cbegin(), folders->cend());
    seen.sort();
    QCOMPARE(seen.join(u"|"), listed);
}

// A change notice while our own move is on disk starts no scan; the one reload after the move
// covers it.
void tst_CollectionStoreOpening::noticeDuringMoveWaitsForIt()
{
    StoreFixture f;
    writeJpeg(f.path(), u"a.jpg"_s);
    makeFolder(f.path(), u"Cats"_s);
    auto fs = std::make_shared<FaultyFileSystem>();
    auto rootScans = std::make_shared<std::atomic<int>>(0);
    const QString root = f.path();
    fs->hook = [=](FaultyFileSystem::Call call, const QString &path,
                   const QString &) -> std::optional<int> {
        if (call == FaultyFileSystem::Call::list && path == root) {
            ++*rootScans;
        }
        if (call == FaultyFileSystem::Call::move) {
            std::this_thread::sleep_for(std::chrono::milliseconds(200));
        }
        return std::nullopt;
    };
    CollectionStore &store = f.make(fs);
    QVERIFY(f.open());
    QCOMPARE(rootScans->load(), 1);
    store.select(f.idOf(u"a.jpg"_s), store.sections().first().id, {});
    store.moveSelectionToDigit(1);
    QCOMPARE(store.pendingMutationCount(), 1);
    writeJpeg(f.path(), u"outside.jpg"_s);
    store.externalFolderDidChange(); // as the monitor would, while the move runs
    QVERIFY(f.settle());
    QCOMPARE(rootScans->load(), 2); // the open and the one reload after the move
    QCOMPARE(f.names(u"Unsorted"_s), QStringList{u"outside.jpg"_s});
    QCOMPARE(f.names(u"Cats"_s), QStringList{u"a.jpg"_s});
}

void tst_CollectionStoreOpening::hudShowsLastOfQuickMessages()
{
    StoreFixture f;
    writeJpeg(f.path(), u"a.jpg"_s);
    CollectionStore &store = f.make();
    QVERIFY(f.open());
    store.select(f.idOf(u"a.jpg"_s), store.sections().first().id, {});
    QSignalSpy hud(&store, &CollectionStore::hudMessageChanged);
    for (int digit : {7, 8, 9}) {
        store.moveSelectionToDigit(digit); // no such category: beep and a HUD each
    }
    QCOMPARE(f.desktop.beeps, 3);
    QCOMPARE(store.hudMessage(), std::optional<QString>(u"No category 9"_s));
    QTRY_VERIFY_WITH_TIMEOUT(!store.hudMessage(), 5000);
    QCOMPARE(hud.count(), 4); // three texts, then hidden once
}

void tst_CollectionStoreOpening::restoreRunsOnce()
{
    StoreFixture f;
    writeJpeg(f.path(), u"a.jpg"_s);
    QVERIFY(BookmarkStore(f.settings).save(QUrl::fromLocalFile(f.path()), true));
    CollectionStore &store = f.make();
    store.restoreLastCollectionIfNeeded();
    QTRY_VERIFY_WITH_TIMEOUT(store.collection().has_value(), 10000);
    QCOMPARE(store.collection()->rootURL, QUrl::fromLocalFile(f.path()));
    store.restoreLastCollectionIfNeeded();
    QVERIFY(!store.isLoading());

    // A remembered folder that is gone: one alert, no load.
    StoreFixture g;
    QTemporaryDir gone;
    QVERIFY(BookmarkStore(g.settings).save(QUrl::fromLocalFile(gone.path()), true));
    gone.remove();
    CollectionStore &second = g.make();
    second.restoreLastCollectionIfNeeded();
    QTRY_VERIFY(second.alert());
    QCOMPARE(second.alert()->title, u"Couldn’t Reopen Folder"_s);
    QVERIFY(!second.isLoading());
}

void tst_CollectionStoreOpening::chooseFolderAndRecentFolders()
{
    StoreFixture f;
    QTemporaryDir other;
    writeJpegs(f.path(), "a.jpg|Cats/b.jpg");
    CollectionStore &store = f.make();
    QCOMPARE(store.loadingMessage(), u"Reading folder"_s);
    f.desktop.folderToChoose = QUrl::fromLocalFile(other.path());
    store.chooseFolder();
    QCOMPARE(f.desktop.lastPanel->title, u"Open a Photo Collection"_s);
    QCOMPARE(f.desktop.lastPanel->prompt, u"Open Collection"_s);
    QTRY_VERIFY_WITH_TIMEOUT(!store.isLoading(), 10000);
    f.desktop.folderToChoose = QUrl::fromLocalFile(f.path());
    store.chooseFolder();
    QVERIFY(store.isLoading());
    QCOMPARE(store.loadingMessage(), u"Reading "_s + QDir(f.path()).dirName());
    QTRY_VERIFY_WITH_TIMEOUT(!store.isLoading() && store.recentFolders().size() == 2, 10000);
    QCOMPARE(store.photoCount(), 2);
    QVERIFY(!store.alert());
    // A folder chosen in the dialog becomes the last collection and the first recent folder.
    QCOMPARE(f.settings->value(u"lastCollectionPath"_s).toString(), f.path());
    QCOMPARE(store.recentFolders().first(), QUrl::fromLocalFile(f.path()));
    // Opening from the recent list does not change the last collection.
    store.openRecent(QUrl::fromLocalFile(other.path()));
    QTRY_VERIFY_WITH_TIMEOUT(!store.isLoading()
                                 && store.collection()->rootURL == QUrl::fromLocalFile(other.path()),
                             10000);
    QCOMPARE(f.settings->value(u"lastCollectionPath"_s).toString(), f.path());
    store.clearRecentFolders();
    QTRY_COMPARE(store.recentFolders(), QList<QUrl>{QUrl::fromLocalFile(f.path())});
}

// A recent folder on a share whose server stopped answering: the window comes up at once, and
// the folder is listed once the share answers again.
void tst_CollectionStoreOpening::recentShareThatStopsAnswering()
{
    StoreFixture f;
    PrivateMounts &mounts = *m_mounts;
    QDir(f.path()).mkpath(u"remote/Trips"_s);
    QDir(f.path()).mkpath(u"share/Trips"_s);
    const QString share = f.path() + u"/share"_s, pidFile = f.home.path() + u"/server.pid"_s;
    const QString trips = share + u"/Trips"_s;
    // Remembered before the share hides the local folder of that path, so the share's own
    // has never been looked at, and without caches every look at it asks the server.
    QVERIFY(BookmarkStore(f.settings).save(QUrl::fromLocalFile(trips), false));
    if (const QString why = mounts.mountSshfs(
            f.path() + u"/remote"_s, share, f.home.path() + u"/ssh"_s, pidFile,
            u"cache=no,attr_timeout=0,entry_timeout=0,negative_timeout=0"_s);
        !why.isEmpty()) {
        QSKIP(qPrintable(why));
    }
    const pid_t server = readFile(pidFile).trimmed().toInt();
    QVERIFY(server > 0 && ::kill(server, SIGSTOP) == 0);
    // Should the store wait for the share, the server answers again after a while, and the
    // folder is listed before the check below.
    std::promise<void> made;
    std::thread release([server, waited = made.get_future()] {
        waited.wait_for(std::chrono::seconds(5));
        ::kill(server, SIGCONT);
    });
    CollectionStore &store = f.make();
    const QList<QUrl> before = store.recentFolders();
    made.set_value();
    release.join();
    QCOMPARE(before, QList<QUrl>());
    QTRY_COMPARE(store.recentFolders(), QList<QUrl>{QUrl::fromLocalFile(trips)});
    mounts.unmountAll();
}

QTEST_GUILESS_MAIN(tst_CollectionStoreOpening)
#include "tst_CollectionStoreOpening.moc"
