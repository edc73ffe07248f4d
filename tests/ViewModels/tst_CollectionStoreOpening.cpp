#include "support/FaultyFileSystem.h"
#include "support/StoreFixture.h"

#include <QFile>
#include <QFileInfo>
#include <QMutex>

#include <atomic>
#include <thread>

using namespace TestFolders;

// Opening folders, loads that race each other, reloads and their merge, change notices while
// our own disk work runs, the HUD and the recent list.
class tst_CollectionStoreOpening : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void openPublishesAndRemembers();
    void secondOpenWinsOverSlowFirst();
    void failedLoadKeepsOldCollection_data();
    void failedLoadKeepsOldCollection();
    void reloadMergesSelection_data();
    void reloadMergesSelection();
    void reloadDropsVanishedBrowseFilter();
    void outsideChangeIsPickedUp();
    void reconcileListsWhatChanged_data();
    void reconcileListsWhatChanged();
    void noticeDuringMoveWaitsForIt();
    void hudShowsLastOfQuickMessages();
    void restoreRunsOnce();
    void recentFoldersAndClearMenu();
};

void tst_CollectionStoreOpening::openPublishesAndRemembers()
{
    StoreFixture f;
    writeJpeg(f.path(), QStringLiteral("a.jpg"));
    writeJpeg(f.path(), QStringLiteral("Cats/b.jpg"));
    f.desktop.folderToChoose = QUrl::fromLocalFile(f.path());
    CollectionStore &store = f.make();
    QCOMPARE(store.loadingMessage(), QStringLiteral("Reading folder"));
    store.chooseFolder();
    QCOMPARE(f.desktop.lastPanel->title, QStringLiteral("Open a Photo Collection"));
    QCOMPARE(f.desktop.lastPanel->prompt, QStringLiteral("Open Collection"));
    QVERIFY(store.isLoading());
    QCOMPARE(store.loadingMessage(), QStringLiteral("Reading ") + QDir(f.path()).dirName());
    QTRY_VERIFY_WITH_TIMEOUT(!store.isLoading(), 10000);
    QVERIFY(store.collection());
    QCOMPARE(store.photoCount(), 2);
    QVERIFY(!store.alert());
    // A folder chosen in the dialog becomes the last collection and a recent folder.
    QCOMPARE(f.settings->value(QStringLiteral("lastCollectionPath")).toString(), f.path());
    QCOMPARE(store.recentFolders(), QList<QUrl>{QUrl::fromLocalFile(f.path())});
}

void tst_CollectionStoreOpening::secondOpenWinsOverSlowFirst()
{
    StoreFixture f;
    QTemporaryDir slow;
    writeJpeg(slow.path(), QStringLiteral("slow.jpg"));
    writeJpeg(f.path(), QStringLiteral("fast.jpg"));
    auto fs = std::make_shared<FaultyFileSystem>();
    const QString slowPath = slow.path();
    // The first folder's listing takes a while, then fails: its failure must stay silent.
    fs->hook = [slowPath](FaultyFileSystem::Call call, const QString &path,
                          const QString &) -> std::optional<int> {
        if (call == FaultyFileSystem::Call::list && path == slowPath) {
            std::this_thread::sleep_for(std::chrono::milliseconds(300));
            return EACCES;
        }
        return std::nullopt;
    };
    CollectionStore &store = f.make(fs);
    QList<QUrl> published; // the root of every collection shown (dimensions come in later)
    connect(&store, &CollectionStore::collectionChanged, this,
            [&] { published.append(store.collection()->rootURL); });
    store.openCollection(QUrl::fromLocalFile(slowPath), false);
    store.openCollection(QUrl::fromLocalFile(f.path()), false);
    QCOMPARE(store.loadingMessage(), QStringLiteral("Reading ") + QDir(f.path()).dirName());
    QTRY_VERIFY_WITH_TIMEOUT(!store.isLoading(), 10000);
    QVERIFY(f.settle());
    QVERIFY(!published.isEmpty());
    QCOMPARE(QSet<QUrl>(published.cbegin(), published.cend()),
             QSet<QUrl>{QUrl::fromLocalFile(f.path())});
    QCOMPARE(f.names(QStringLiteral("Unsorted")), QStringList{QStringLiteral("fast.jpg")});
    QVERIFY(!store.alert());
}

namespace {

// Whether another window would be refused the journal of the folder at `path`.
bool journalIsLocked(const QString &path)
{
    const Result<EntryInfo> info = LinuxFileSystem().stat(path, true);
    const Result<std::unique_ptr<OperationJournal>> journal =
        OperationJournal::open(OperationJournal::defaultStateFolder(), path, info->identity);
    return !journal && journal.error().systemError == EWOULDBLOCK;
}

} // namespace

void tst_CollectionStoreOpening::failedLoadKeepsOldCollection_data()
{
    QTest::addColumn<QString>("target");
    QTest::addColumn<QString>("message");
    QTest::newRow("a file") << QStringLiteral("notes.txt")
                            << QStringLiteral("“notes.txt” is not a folder.");
    QTest::newRow("a missing folder")
        << QStringLiteral("Gone") << QStringLiteral("Couldn’t read “Gone”: It is no longer there.");
    QTest::newRow("an unreadable folder")
        << QStringLiteral("Unreadable") << QStringLiteral("Injected failure at “Unreadable”: You don’t have permission.");
    QTest::newRow("a folder open in another window")
        << QStringLiteral("Locked")
        << QStringLiteral("This folder is open in another Calvenor Photo Sorter window. Close it "
                          "there first.");
}

void tst_CollectionStoreOpening::failedLoadKeepsOldCollection()
{
    QFETCH(QString, target);
    QFETCH(QString, message);
    StoreFixture f;
    QTemporaryDir other;
    const QString targetPath = other.path() + QLatin1Char('/') + target;
    writeFile(other.path(), QStringLiteral("notes.txt"));
    writeJpeg(other.path(), QStringLiteral("Unreadable/u.jpg"));
    writeJpeg(other.path(), QStringLiteral("Locked/l.jpg"));
    writeJpeg(f.path(), QStringLiteral("a.jpg"));
    writeJpeg(f.path(), QStringLiteral("b.jpg"));
    auto fs = std::make_shared<FaultyFileSystem>();
    fs->hook = [](FaultyFileSystem::Call call, const QString &path,
                  const QString &) -> std::optional<int> {
        return call == FaultyFileSystem::Call::list && path.endsWith(QStringLiteral("Unreadable"))
                   ? std::optional(EACCES)
                   : std::nullopt;
    };
    CollectionStore &store = f.make(fs);
    QVERIFY(f.open());
    store.select(f.idOf(QStringLiteral("a.jpg")), store.sections().first().id, {});
    store.moveSelectionToTrash(); // an action to undo; the focus moves on to b.jpg
    QVERIFY(f.settle());
    const bool locked = target == QLatin1String("Locked");
    Result<std::unique_ptr<OperationJournal>> elsewhere; // the other window's
    if (locked) {
        elsewhere = OperationJournal::open(OperationJournal::defaultStateFolder(), targetPath,
                                           LinuxFileSystem().stat(targetPath, true)->identity);
        QVERIFY(elsewhere);
    }
    store.openCollection(QUrl::fromLocalFile(targetPath), false);
    QTRY_VERIFY_WITH_TIMEOUT(!store.isLoading(), 10000);
    QVERIFY(store.alert());
    QCOMPARE(store.alert()->title, QStringLiteral("Couldn’t Open Folder"));
    QCOMPARE(store.alert()->message, message);
    QCOMPARE(store.collection()->rootURL, QUrl::fromLocalFile(f.path()));
    QCOMPARE(f.selectedNames(), QStringList{QStringLiteral("b.jpg")});
    // The shown folder keeps its journal: locked, its history on the undo stack, and the undo
    // written to it, not to the failed folder's.
    QVERIFY(journalIsLocked(f.path()));
    QCOMPARE(f.undoStack.count(), 1);
    if (QFileInfo::exists(targetPath) && !locked) {
        QVERIFY(!journalIsLocked(targetPath)); // given back
    }
    f.undoStack.undo();
    QTRY_VERIFY_WITH_TIMEOUT(QFileInfo::exists(f.path(QStringLiteral("a.jpg"))), 10000);
    QVERIFY(f.settle());
    // Still watched: a file added by another program shows up.
    QTRY_COMPARE(store.directoryMonitor().watchedFolders(), QStringList{f.path()});
    writeJpeg(f.path(), QStringLiteral("c.jpg"));
    QTRY_COMPARE_WITH_TIMEOUT(store.photoCount(), 3, 10000);
    f.make();
    QVERIFY(f.open());
    QCOMPARE(f.undoStack.count(), 1);
    QVERIFY(f.undoStack.canRedo() && !f.undoStack.canUndo());
}

void tst_CollectionStoreOpening::reloadMergesSelection_data()
{
    QTest::addColumn<QStringList>("removed");
    QTest::addColumn<QStringList>("selectedAfter");
    QTest::addColumn<QString>("focusAfter");
    QTest::addColumn<QString>("anchorAfter");
    // Selected a, b, c with the focus and anchor on b.
    QTest::newRow("focused photo removed")
        << QStringList{QStringLiteral("b.jpg")}
        << QStringList{QStringLiteral("a.jpg"), QStringLiteral("c.jpg")} << QStringLiteral("?")
        << QStringLiteral("=focus");
    QTest::newRow("other photo removed")
        << QStringList{QStringLiteral("c.jpg")}
        << QStringList{QStringLiteral("a.jpg"), QStringLiteral("b.jpg")} << QStringLiteral("b.jpg")
        << QStringLiteral("b.jpg");
    QTest::newRow("everything selected removed")
        << QStringList{QStringLiteral("a.jpg"), QStringLiteral("b.jpg"), QStringLiteral("c.jpg")}
        << QStringList{} << QString() << QString();
}

void tst_CollectionStoreOpening::reloadMergesSelection()
{
    QFETCH(QStringList, removed);
    QFETCH(QStringList, selectedAfter);
    QFETCH(QString, focusAfter);
    QFETCH(QString, anchorAfter);
    StoreFixture f;
    for (const char *name : {"a.jpg", "b.jpg", "c.jpg", "d.jpg"}) {
        writeJpeg(f.path(), QString::fromUtf8(name));
    }
    CollectionStore &store = f.make();
    QVERIFY(f.open());
    const QString unsorted = store.sections().first().id;
    store.select(f.idOf(QStringLiteral("c.jpg")), unsorted, {});
    store.select(f.idOf(QStringLiteral("a.jpg")), unsorted, Qt::ControlModifier);
    store.select(f.idOf(QStringLiteral("b.jpg")), unsorted, Qt::ControlModifier);
    QCOMPARE(f.focusedName(), QStringLiteral("b.jpg"));
    const std::optional<QString> anchorBefore = store.selectionAnchorID();
    for (const QString &name : removed) {
        QVERIFY(QFile::remove(f.path(name)));
    }
    QSignalSpy changed(&store, &CollectionStore::collectionChanged);
    store.reloadFromDisk(); // a quick scan may land before this returns
    QTRY_VERIFY_WITH_TIMEOUT(changed.count() > 0, 10000);
    QCOMPARE(f.selectedNames(), selectedAfter);
    if (focusAfter == QLatin1String("?")) {
        QVERIFY(selectedAfter.contains(f.focusedName())); // one of the remaining selection
    } else {
        QCOMPARE(f.focusedName(), focusAfter);
    }
    if (anchorAfter == QLatin1String("=focus")) {
        QCOMPARE(store.selectionAnchorID(), store.focusedPhotoID());
    } else if (anchorAfter.isEmpty()) {
        QVERIFY(!store.selectionAnchorID());
    } else {
        QCOMPARE(store.selectionAnchorID(), anchorBefore);
    }
}

void tst_CollectionStoreOpening::reloadDropsVanishedBrowseFilter()
{
    StoreFixture f;
    writeJpeg(f.path(), QStringLiteral("Cats/a.jpg"));
    CollectionStore &store = f.make();
    QVERIFY(f.open());
    store.setBrowseFilter(f.sectionNamed(QStringLiteral("Cats"))->id);
    QVERIFY(store.browseFilterSectionID());
    QVERIFY(QDir(f.path(QStringLiteral("Cats"))).removeRecursively());
    QSignalSpy changed(&store, &CollectionStore::browseFilterSectionIDChanged);
    store.reloadFromDisk();
    QTRY_VERIFY_WITH_TIMEOUT(changed.count() > 0, 10000);
    QVERIFY(!store.browseFilterSectionID());
}

void tst_CollectionStoreOpening::outsideChangeIsPickedUp()
{
    StoreFixture f;
    writeJpeg(f.path(), QStringLiteral("Cats/a.jpg"));
    CollectionStore &store = f.make();
    QVERIFY(f.open());
    // The monitor takes up the new folders on its own thread; wait until it has.
    QTRY_COMPARE(store.directoryMonitor().watchedFolders().size(), 2);
    writeJpeg(f.path(), QStringLiteral("Cats/b.jpg"));
    QTRY_COMPARE_WITH_TIMEOUT(f.names(QStringLiteral("Cats")).size(), 2, 10000);
    QVERIFY(QDir(f.path()).rename(QStringLiteral("Cats"), QStringLiteral("Felines")));
    QTRY_VERIFY_WITH_TIMEOUT(f.sectionNamed(QStringLiteral("Felines")).has_value(), 10000);
}

void tst_CollectionStoreOpening::reconcileListsWhatChanged_data()
{
    QTest::addColumn<QString>("action");
    QTest::addColumn<QString>("listed"); // the folders listed again, "." for the root
    QTest::addColumn<QString>("section");
    QTest::addColumn<QString>("names"); // what that section shows afterwards

    QTest::newRow("our move") << "file a.jpg" << ".|Cats" << "Cats" << "a.jpg|c.jpg";
    QTest::newRow("outside, in a folder we never touched")
        << "write Dogs/e.jpg" << "Dogs" << "Dogs" << "d.jpg|e.jpg";
    QTest::newRow("outside, while our move runs")
        << "file a.jpg|write Dogs/e.jpg" << ".|Cats|Dogs" << "Dogs" << "d.jpg|e.jpg";
    QTest::newRow("outside, a new category") << "mkdir Birds" << ".|Birds|Cats|Dogs" << "Birds"
                                             << "";
    QTest::newRow("Refresh") << "refresh" << ".|Cats|Dogs" << "Cats" << "c.jpg";
}

// After our own moves only the folders they touched are listed again, after an outside change
// only the folders the monitor names; a change of the categories themselves, or Refresh, lists
// everything.
void tst_CollectionStoreOpening::reconcileListsWhatChanged()
{
    QFETCH(QString, action);
    QFETCH(QString, listed);
    QFETCH(QString, section);
    QFETCH(QString, names);
    StoreFixture f;
    writeJpeg(f.path(), QStringLiteral("a.jpg"));
    writeJpeg(f.path(), QStringLiteral("Cats/c.jpg"));
    writeJpeg(f.path(), QStringLiteral("Dogs/d.jpg"));
    auto fs = std::make_shared<FaultyFileSystem>();
    auto mutex = std::make_shared<QMutex>();
    auto folders = std::make_shared<QSet<QString>>();
    const QString root = f.path();
    fs->hook = [=](FaultyFileSystem::Call call, const QString &path,
                   const QString &) -> std::optional<int> {
        if (call == FaultyFileSystem::Call::list) {
            const QMutexLocker locker(mutex.get());
            folders->insert(path == root ? QStringLiteral(".") : QDir(root).relativeFilePath(path));
        }
        return std::nullopt;
    };
    CollectionStore &store = f.make(fs);
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
    const QStringList expected = names.split(u'|', Qt::SkipEmptyParts);
    QTRY_VERIFY_WITH_TIMEOUT(f.sectionNamed(section) && f.names(section) == expected, 10000);
    // Long enough for the monitor's report of our own moves to come in and be listed too.
    QTest::qWait(2 * int(DirectoryMonitor::debounceInterval.count()));
    QVERIFY(f.settle());
    QCOMPARE(f.names(section), expected);
    const QMutexLocker locker(mutex.get());
    QStringList seen(folders->cbegin(), folders->cend());
    seen.sort();
    QCOMPARE(seen, listed.split(u'|'));
}

// A change notice while our own move is on disk starts no scan; the one reload after the move
// covers it.
void tst_CollectionStoreOpening::noticeDuringMoveWaitsForIt()
{
    StoreFixture f;
    writeJpeg(f.path(), QStringLiteral("a.jpg"));
    makeFolder(f.path(), QStringLiteral("Cats"));
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
    store.select(f.idOf(QStringLiteral("a.jpg")), store.sections().first().id, {});
    store.moveSelectionToDigit(1);
    QCOMPARE(store.pendingMutationCount(), 1);
    writeJpeg(f.path(), QStringLiteral("outside.jpg"));
    store.externalFolderDidChange(); // as the monitor would, while the move runs
    QVERIFY(f.settle());
    QCOMPARE(rootScans->load(), 2); // the open and the one reload after the move
    QCOMPARE(f.names(QStringLiteral("Unsorted")), QStringList{QStringLiteral("outside.jpg")});
    QCOMPARE(f.names(QStringLiteral("Cats")), QStringList{QStringLiteral("a.jpg")});
}

void tst_CollectionStoreOpening::hudShowsLastOfQuickMessages()
{
    StoreFixture f;
    writeJpeg(f.path(), QStringLiteral("a.jpg"));
    CollectionStore &store = f.make();
    QVERIFY(f.open());
    store.select(f.idOf(QStringLiteral("a.jpg")), store.sections().first().id, {});
    QSignalSpy hud(&store, &CollectionStore::hudMessageChanged);
    for (int digit : {7, 8, 9}) {
        store.moveSelectionToDigit(digit); // no such category: beep and a HUD each
    }
    QCOMPARE(f.desktop.beeps, 3);
    QCOMPARE(store.hudMessage(), std::optional<QString>(QStringLiteral("No category 9")));
    QTRY_VERIFY_WITH_TIMEOUT(!store.hudMessage(), 5000);
    QCOMPARE(hud.count(), 4); // three texts, then hidden once
}

void tst_CollectionStoreOpening::restoreRunsOnce()
{
    StoreFixture f;
    writeJpeg(f.path(), QStringLiteral("a.jpg"));
    {
        BookmarkStore bookmarks(f.settings);
        QVERIFY(bookmarks.save(QUrl::fromLocalFile(f.path()), true));
    }
    CollectionStore &store = f.make();
    store.restoreLastCollectionIfNeeded();
    QTRY_VERIFY_WITH_TIMEOUT(store.collection().has_value(), 10000);
    QCOMPARE(store.collection()->rootURL, QUrl::fromLocalFile(f.path()));
    store.restoreLastCollectionIfNeeded();
    QVERIFY(!store.isLoading());

    // A remembered folder that is gone: one alert, no load.
    StoreFixture g;
    QTemporaryDir gone;
    const QString path = gone.path();
    {
        BookmarkStore bookmarks(g.settings);
        QVERIFY(bookmarks.save(QUrl::fromLocalFile(path), true));
    }
    gone.remove();
    CollectionStore &second = g.make();
    second.restoreLastCollectionIfNeeded();
    QVERIFY(second.alert());
    QCOMPARE(second.alert()->title, QStringLiteral("Couldn’t Reopen Folder"));
    QVERIFY(!second.isLoading());
}

void tst_CollectionStoreOpening::recentFoldersAndClearMenu()
{
    StoreFixture f;
    QTemporaryDir other;
    CollectionStore &store = f.make();
    f.desktop.folderToChoose = QUrl::fromLocalFile(other.path());
    store.chooseFolder();
    QTRY_VERIFY_WITH_TIMEOUT(!store.isLoading(), 10000);
    f.desktop.folderToChoose = QUrl::fromLocalFile(f.path());
    store.chooseFolder();
    QTRY_VERIFY_WITH_TIMEOUT(!store.isLoading() && store.recentFolders().size() == 2, 10000);
    QCOMPARE(store.recentFolders().first(), QUrl::fromLocalFile(f.path()));
    // Opening from the recent list does not change the last collection.
    store.openRecent(QUrl::fromLocalFile(other.path()));
    QTRY_VERIFY_WITH_TIMEOUT(!store.isLoading(), 10000);
    QCOMPARE(store.collection()->rootURL, QUrl::fromLocalFile(other.path()));
    QCOMPARE(f.settings->value(QStringLiteral("lastCollectionPath")).toString(), f.path());
    store.clearRecentFolders();
    QCOMPARE(store.recentFolders(), QList<QUrl>{QUrl::fromLocalFile(f.path())});
}

QTEST_GUILESS_MAIN(tst_CollectionStoreOpening)
#include "tst_CollectionStoreOpening.moc"
