#include "support/FaultyFileSystem.h"
#include "support/StoreFixture.h"
#include "support/TestRows.h"

#include "Models/PhotoDragPayload.h"

#include <QDir>
#include <QFile>
#include <QMimeData>

using namespace Qt::StringLiterals;
using namespace TestFolders;

// Filing by number key, menus and drops; where the focus goes; predicted names against the
// disk; trash; copy-in; undo and redo of moves, including after the disk changed underneath.
class tst_CollectionStoreFiling : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void digitFilesAndMovesOn_data();
    void digitFilesAndMovesOn();
    void digitDuringLoadFilesNothing();
    void predictedNamesMatchDisk();
    void movedIntoDateSortedSectionLandsInPlace();
    void undoRedoMoves();
    void undoAfterFreeNameFollowsTheFile();
    void trashAndUndo();
    void failedMoveAlertsAndReloads();
    void lostVolumeClosesOnceAndRecovers_data();
    void lostVolumeClosesOnceAndRecovers();
    void dropsAndDragData();
    void copyIn();
    void noUndoStackStillFiles();
    void shotsTravelWhole();
    void undoSurvivesARestart();

private:
    // Unsorted a.jpg..d.jpg ("photo a.jpg" ...), Cats/A.JPG ("cat A"), an empty Dogs.
    std::unique_ptr<StoreFixture> m_f;
    CollectionStore *m_store = nullptr;

    QString names(const QString &section) const { return m_f->names(section).join(u'|'); }
    QString sectionID(const QString &name) const { return m_f->sectionNamed(name)->id; }
    // The bytes of each file, "-" for a missing one.
    QString contents(QAnyStringView paths) const
    {
        QStringList result;
        for (const QString &path : split(paths)) {
            const QString file = m_f->path(path);
            result.append(QFile::exists(file) ? QString::fromLatin1(readFile(file)) : u"-"_s);
        }
        return result.join(u'|');
    }
    bool restart()
    {
        m_f->store.reset();
        m_f->undoStack.clear();
        m_store = &m_f->make();
        return m_f->open() && m_f->settle();
    }
    QString trash() const { return m_f->home.path() + "/Trash/files"_L1; }
};

void tst_CollectionStoreFiling::init()
{
    m_f = std::make_unique<StoreFixture>();
    for (const QString &name : split("a.jpg|b.jpg|c.jpg|d.jpg")) {
        writeFile(m_f->path(), name, "photo " + name.toLatin1());
    }
    writeFile(m_f->path(), u"Cats/A.JPG"_s, "cat A");
    makeFolder(m_f->path(), u"Dogs"_s);
    m_store = &m_f->make();
    QVERIFY(m_f->open());
}

void tst_CollectionStoreFiling::digitFilesAndMovesOn_data()
{
    QTest::addColumn<QString>("browseOrder"); // empty: on the board
    QTest::addColumn<QString>("selection");   // the last one focused
    QTest::addColumn<int>("digit");
    QTest::addColumn<QString>("focus"); // afterwards, and the whole selection
    QTest::addColumn<QString>("hud");
    QTest::addColumn<QString>("section"); // "name:photos" at once, and after the disk

    QTest::newRow("moves on to the next photo")
        << "" << "b.jpg" << 1 << "c.jpg" << u"\u2192 Cats"_s << "Cats:A.JPG|b.jpg";
    QTest::newRow("from the last photo back to the one before")
        << "" << "d.jpg" << 2 << "c.jpg" << u"\u2192 Dogs"_s << "Dogs:d.jpg";
    QTest::newRow("in Browse the next in the Browse order")
        << "d.jpg|b.jpg|A.JPG|a.jpg|c.jpg" << "b.jpg|A.JPG" << 2 << "a.jpg" << u"\u2192 Dogs"_s
        << "Dogs:A.JPG|b.jpg";
}

void tst_CollectionStoreFiling::digitFilesAndMovesOn()
{
    QFETCH(QString, browseOrder);
    QFETCH(QString, selection);
    QFETCH(int, digit);
    QFETCH(QString, focus);
    QFETCH(QString, hud);
    QFETCH(QString, section);
    if (!browseOrder.isEmpty()) {
        m_store->setWorkspaceMode(WorkspaceMode::browse);
        QStringList order;
        for (const QString &name : split(browseOrder)) {
            order.append(m_f->idOf(name));
        }
        m_store->updateBrowseNavigationOrder(order, 3, {});
        for (const QString &name : split(selection)) {
            m_store->selectBrowse(m_f->idOf(name), Qt::ControlModifier);
        }
    } else {
        m_f->selectOnly(selection);
    }
    QSignalSpy scroll(m_store, &CollectionStore::scrollRequestChanged);
    m_store->moveSelectionToDigit(digit);
    // At once, before the disk.
    QCOMPARE(m_f->focusedName(), focus);
    QCOMPARE(m_f->selectedNames(), split(focus));
    QCOMPARE(scroll.count(), 1);
    QCOMPARE(m_store->hudMessage().value_or(QString()), hud);
    QCOMPARE(names(section.section(u':', 0, 0)), section.section(u':', 1));
    QVERIFY(m_store->pendingMutationCount() > 0);
    QVERIFY(m_f->settle());
    QCOMPARE(names(section.section(u':', 0, 0)), section.section(u':', 1));
    QVERIFY(!m_store->alert());
}

void tst_CollectionStoreFiling::digitDuringLoadFilesNothing()
{
    m_f->selectOnly("b.jpg");
    m_store->openCollection(QUrl::fromLocalFile(m_f->path()), false);
    m_store->moveSelectionToDigit(1);
    QCOMPARE(m_store->pendingMutationCount(), 0);
    QTRY_VERIFY_WITH_TIMEOUT(!m_store->isLoading(), 10000);
}

// Two photos named like a third (letter case aside) get " 2" and " 3" at once, and the disk
// agrees after the reload.
void tst_CollectionStoreFiling::predictedNamesMatchDisk()
{
    writeFile(m_f->path(), u"Dogs/a.jpg"_s, "dog a");
    m_store->reloadFromDisk();
    QTRY_COMPARE(names(u"Dogs"_s), u"a.jpg"_s);
    m_store->move({m_store->sections()[0].photos[0].id, m_f->sectionNamed(u"Cats"_s)->photos[0].id},
                  sectionID(u"Dogs"_s));
    const QString predicted = names(u"Dogs"_s);
    QStringList sorted = split(predicted);
    sorted.sort(Qt::CaseInsensitive);
    QCOMPARE(sorted, split("a 2.jpg|A 3.JPG|a.jpg"));
    QVERIFY(m_f->settle());
    QCOMPARE(names(u"Dogs"_s), predicted);
    QCOMPARE(QDir(m_f->path(u"Dogs"_s)).entryList(QDir::Files, QDir::Name | QDir::IgnoreCase),
             split("a 2.jpg|A 3.JPG|a.jpg"));
    QCOMPARE(m_f->selectedNames().size(), 2); // filed from a menu or drop: they stay selected
}

void tst_CollectionStoreFiling::movedIntoDateSortedSectionLandsInPlace()
{
    setModificationTime(m_f->path(u"a.jpg"_s), 1000);
    setModificationTime(m_f->path(u"c.jpg"_s), 3000);
    setModificationTime(m_f->path(u"Cats/A.JPG"_s), 2000);
    m_store->setSortOrder(PhotoSortOrder::modificationDate);
    m_store->reloadFromDisk();
    QVERIFY(m_f->settle());
    m_f->selectOnly("a.jpg|c.jpg");
    m_store->moveSelected(sectionID(u"Cats"_s));
    QCOMPARE(names(u"Cats"_s), u"c.jpg|A.JPG|a 2.jpg"_s);
    QVERIFY(m_f->settle());
    QCOMPARE(names(u"Cats"_s), u"c.jpg|A.JPG|a 2.jpg"_s);
}

void tst_CollectionStoreFiling::undoRedoMoves()
{
    m_f->selectOnly("a.jpg|b.jpg");
    m_store->moveSelectionToDigit(2);
    QVERIFY(m_f->settle());
    const QStringList filed = filesBelow(m_f->path());
    for (int round = 0; round < 3; ++round) {
        m_f->undoStack.undo();
        QCOMPARE(m_f->undoStack.redoText(), u"Move Photos"_s); // at once
        QVERIFY(m_f->settle());
        QCOMPARE(contents("a.jpg|b.jpg"), u"photo a.jpg|photo b.jpg"_s);
        QCOMPARE(names(u"Dogs"_s), QString());
        m_f->undoStack.redo();
        QCOMPARE(m_f->undoStack.undoText(), u"Move Photos"_s);
        QVERIFY(m_f->settle());
        QCOMPARE(filesBelow(m_f->path()), filed);
    }
}

// After an undo had to put a photo under a free name (its old place was taken), the next redo
// and undo move that photo, from where it really is, and never the newcomer.
void tst_CollectionStoreFiling::undoAfterFreeNameFollowsTheFile()
{
    m_f->selectOnly("b.jpg");
    m_store->moveSelectionToDigit(2);
    QVERIFY(m_f->settle());
    writeFile(m_f->path(), u"b.jpg"_s, "newcomer");
    const char *files = "b.jpg|b 2.jpg|Dogs/b.jpg";
    for (const QString &expected :
         {u"newcomer|photo b.jpg|-"_s, u"newcomer|-|photo b.jpg"_s, u"newcomer|photo b.jpg|-"_s}) {
        m_f->undoStack.canUndo() ? m_f->undoStack.undo() : m_f->undoStack.redo();
        QVERIFY(m_f->settle());
        QVERIFY(!m_store->alert());
        QCOMPARE(contents(files), expected);
    }
}

void tst_CollectionStoreFiling::trashAndUndo()
{
    m_f->selectOnly("a.jpg|b.jpg");
    m_store->moveSelectionToTrash();
    QCOMPARE(names(u"Unsorted"_s), u"c.jpg|d.jpg"_s); // at once
    QVERIFY(m_f->settle());
    QCOMPARE(m_store->hudMessage().value_or(QString()), u"Moved 2 to Trash"_s);
    m_f->undoStack.undo();
    QVERIFY(m_f->settle());
    QCOMPARE(filesBelow(m_f->home.path() + "/Trash"_L1), QStringList());
    m_f->selectOnly("d.jpg");
    m_store->moveSelectionToTrash();
    QVERIFY(m_f->settle());
    QCOMPARE(m_store->hudMessage().value_or(QString()), u"Moved to Trash"_s);
}

void tst_CollectionStoreFiling::failedMoveAlertsAndReloads()
{
    StoreFixture f;
    writeFile(f.path(), u"a.jpg"_s);
    makeFolder(f.path(), u"Cats"_s);
    auto fs = std::make_shared<FaultyFileSystem>();
    CollectionStore &store = f.make(fs);
    QVERIFY(f.open());
    fs->failNth(FaultyFileSystem::Call::move, 1, ENOSPC);
    store.select(f.idOf(u"a.jpg"_s), store.sections()[0].id, {});
    store.moveSelectionToDigit(1);
    QCOMPARE(f.names(u"Cats"_s), QStringList{u"a.jpg"_s});
    QVERIFY(f.settle());
    QCOMPARE(store.alert()->title, u"Couldn\u2019t Move Photos"_s);
    QCOMPARE(store.hudMessage().value_or(QString()), u"\u2192 Cats"_s);
    QCOMPARE(f.names(u"Unsorted"_s), QStringList{u"a.jpg"_s});
    QCOMPARE(f.undoStack.count(), 0);
}

void tst_CollectionStoreFiling::lostVolumeClosesOnceAndRecovers_data()
{
    // "file" a..f into Cats, "trash" them, "rename" Cats, or "" (none)
    QTest::addColumn<QString>("command");
    QTest::addColumn<int>("goneAt");      // every call fails from this move or trash on (0: never)
    QTest::addColumn<int>("errnum");

    row("card pulled at the third move", u"file"_s, 3, EIO);
    row("share cut off at the first move", u"file"_s, 1, ENOTCONN);
    row("card pulled at the second item trashed", u"trash"_s, 2, EIO);
    row("share cut off as a category is renamed", u"rename"_s, 1, ENOTCONN);
    row("root folder moved away: the monitor tells", QString(), 0, 0);
}

// The card is pulled out, or the share dies, mid-batch: one alert, the folder closed, nothing
// put back onto the gone volume and nothing more tried there (a command queued behind it
// included); the batch stays open in the journal, and opening the folder again with the card
// back puts every file back in its place, once.
void tst_CollectionStoreFiling::lostVolumeClosesOnceAndRecovers()
{
    QFETCH(QString, command);
    QFETCH(int, goneAt);
    QFETCH(int, errnum);

    auto fs = std::make_shared<FaultyFileSystem>();
    StoreFixture f;
    const char *photos = "a.jpg|b.jpg|c.jpg|d.jpg|e.jpg|f.jpg";
    for (const QString &name : split(photos)) {
        writeFile(f.path(), name, "photo " + name.toLatin1());
    }
    writeFile(f.path(), u"Cats/A.JPG"_s, "cat A");
    const QStringList before = filesBelow(f.path());
    CollectionStore &store = f.make(fs);
    QVERIFY(f.open());
    QSignalSpy alerts(&store, &CollectionStore::alertChanged);
    const QString away = f.path() + "-away"_L1;
    const QString trash = f.home.path() + "/Trash/files"_L1;

    if (command.isEmpty()) {
        QVERIFY(QDir().rename(f.path(), away));
    } else {
        fs->failFrom(command == "trash"_L1 ? FaultyFileSystem::Call::trash
                                           : FaultyFileSystem::Call::move,
                     goneAt, errnum);
        f.selectOnly(photos);
        if (command == "rename"_L1) {
            store.showRenamePrompt(f.sectionNamed(u"Cats"_s)->id);
            store.submitCategoryPrompt(*store.categoryPrompt(), u"Pets"_s);
        } else {
            command == "file"_L1 ? store.moveSelectionToDigit(1) : store.moveSelectionToTrash();
        }
        f.selectOnly("A.JPG");
        store.moveSelectionToTrash(); // queued behind the batch the loss cuts off
    }
    QTRY_VERIFY_WITH_TIMEOUT(!store.collection(), 10000);
    QVERIFY(f.settle());
    QCOMPARE(alerts.count(), 1);
    QCOMPARE(store.alert()->title, u"Folder No Longer Available"_s);
    QVERIFY2(store.alert()->message.startsWith(u"\u201C"_s + QDir(f.path()).dirName()),
             qPrintable(store.alert()->message));
    QCOMPARE(f.undoStack.count(), 0);
    QTRY_COMPARE(store.directoryMonitor().watchedFolders(), QStringList());

    if (command.isEmpty()) {
        QVERIFY(QDir().rename(away, f.path()));
    } else {
        // Cut off where it stood: the moves made stay made, nothing is put back or tried
        // after the failed call but the root's stat that told (an I/O error may be one file's),
        // and the queued trash never ran.
        QCOMPARE(fs->injectedCount, errnum == EIO ? 2 : 1);
        const int done = goneAt - 1;
        QCOMPARE(filesBelow(f.path()).size() + filesBelow(trash).size(), before.size());
        QCOMPARE(filesBelow(trash).size(), command == "trash"_L1 ? done : 0);
        QCOMPARE(filesBelow(f.path(u"Cats"_s)).size(), 1 + (command == "file"_L1 ? done : 0));
        // The service lets go of the journal once the work queued before is done.
        Result<std::unique_ptr<OperationJournal>> journal;
        QTRY_VERIFY((journal = StoreFixture::journalOf(f.path())).has_value());
        QCOMPARE((*journal)->pendingBatches().size(), 1);
        QCOMPARE((*journal)->pendingBatches()[0].moves.size(), goneAt);
    }

    fs->reset(); // the card is back
    QVERIFY(f.open());
    QCOMPARE(filesBelow(f.path()), before);
    QCOMPARE(filesBelow(trash), QStringList());
    QCOMPARE(f.names(u"Unsorted"_s), split(photos));
    QCOMPARE(store.recoveryReport().has_value(), goneAt > 1); // something had moved
    QCOMPARE(alerts.count(), 1);
}

void tst_CollectionStoreFiling::dropsAndDragData()
{
    m_f->selectOnly("a.jpg|b.jpg");
    // Dragging an unselected photo drags it alone.
    std::unique_ptr<QMimeData> alone(m_store->dragMimeData(m_f->idOf(u"c.jpg"_s)));
    QCOMPARE(m_f->selectedNames(), QStringList{u"c.jpg"_s});
    QCOMPARE(alone->urls(), QList{QUrl::fromLocalFile(m_f->path(u"c.jpg"_s))});
    m_f->selectOnly("a.jpg|b.jpg");
    std::unique_ptr<QMimeData> data(m_store->dragMimeData(m_f->idOf(u"a.jpg"_s)));
    QCOMPARE(data->urls().size(), 2);
    const QByteArray payload = data->data(QString::fromLatin1(PhotoDragPayload::mimeType));
    // Onto their own section, or not a payload: nothing happens on disk.
    m_store->acceptInternalDrop(payload, m_store->sections()[0].id);
    m_store->acceptInternalDrop("not json", sectionID(u"Dogs"_s));
    QCOMPARE(m_store->pendingMutationCount(), 0);
    m_store->acceptInternalDrop(payload, sectionID(u"Dogs"_s));
    QVERIFY(!m_store->hudMessage()); // no HUD for drops
    QVERIFY(m_f->settle());
    QCOMPARE(names(u"Dogs"_s), u"a.jpg|b.jpg"_s);
}

void tst_CollectionStoreFiling::copyIn()
{
    QTemporaryDir outside;
    const QString png = writePng(outside.path(), u"shot.png"_s);
    const QString notes = writeFile(outside.path(), u"notes.txt"_s);
    m_store->copyExternalFiles({QUrl::fromLocalFile(png), QUrl::fromLocalFile(notes)},
                               sectionID(u"Dogs"_s));
    QVERIFY(m_f->settle());
    QCOMPARE(names(u"Dogs"_s), u"shot.png"_s);
    QCOMPARE(m_store->hudMessage().value_or(QString()), u"Copied to Dogs"_s);
    // Undone, the copy goes to the trash, and a redo brings it back; the dropped file stays.
    for (const bool restarted : {false, true}) {
        QVERIFY(!restarted || restart());
        QCOMPARE(m_f->undoStack.undoText(), u"Copy Photos"_s);
        m_f->undoStack.undo();
        QVERIFY(m_f->settle());
        QCOMPARE(names(u"Dogs"_s), QString());
        QCOMPARE(QDir(trash()).entryList(QDir::Files), QStringList{u"shot.png"_s});
        m_f->undoStack.redo();
        QVERIFY(m_f->settle());
        QCOMPARE(names(u"Dogs"_s), u"shot.png"_s);
        QVERIFY(QDir(trash()).isEmpty());
    }
    QVERIFY(!m_store->alert());
    QCOMPARE(readFile(png), readFile(m_f->path(u"Dogs/shot.png"_s)));
}

void tst_CollectionStoreFiling::noUndoStackStillFiles()
{
    m_store->setUndoStack(nullptr);
    m_f->selectOnly("a.jpg");
    m_store->moveSelectionToDigit(1);
    QVERIFY(m_f->settle());
    QCOMPARE(contents("Cats/a 2.jpg"), u"photo a.jpg"_s); // beside A.JPG
    QCOMPARE(m_f->undoStack.count(), 0);
}

// A RAW+JPEG pair with its sidecar is one photo: filed, dragged, trashed and undone whole, and
// "Keep Companions Together" turned off makes its images separate photos again.
void tst_CollectionStoreFiling::shotsTravelWhole()
{
    StoreFixture f;
    for (const QString &name : split("IMG_1.JPG|IMG_1.CR3|IMG_1.xmp|lonely.xmp")) {
        writeFile(f.path(), name, name.toLatin1());
    }
    writeFile(f.path(), u"Cats/img_1.cr3"_s, "another shot");
    CollectionStore &store = f.make();
    QVERIFY(f.open());
    QCOMPARE(f.names(u"Unsorted"_s), QStringList{u"IMG_1.JPG"_s});
    const Photo shot = store.sections()[0].photos[0];
    QCOMPARE(shot.companionBadge(), u"RAW+JPG+XMP"_s);
    QCOMPARE(shot.memberURLs().size(), 3);
    store.select(shot.id, store.sections()[0].id, {});
    std::unique_ptr<QMimeData> drag(store.dragMimeData(shot.id));
    QCOMPARE(drag->urls(), shot.memberURLs());

    const QStringList before = filesBelow(f.path());
    store.moveSelectionToDigit(1);
    QCOMPARE(f.names(u"Cats"_s), split("IMG_1 2.JPG|img_1.cr3"));
    QVERIFY(f.settle());
    QCOMPARE(filesBelow(f.path()),
             split("Cats/IMG_1 2.CR3|Cats/IMG_1 2.JPG|Cats/IMG_1 2.xmp|Cats/img_1.cr3|lonely.xmp"));
    QCOMPARE(f.names(u"Cats"_s), split("IMG_1 2.JPG|img_1.cr3"));
    f.undoStack.undo();
    QVERIFY(f.settle());
    QCOMPARE(filesBelow(f.path()), before);

    store.select(shot.id, store.sections()[0].id, {});
    store.moveSelectionToTrash();
    QVERIFY(f.settle());
    QCOMPARE(filesBelow(f.home.path() + "/Trash/files"_L1).size(), 3);
    f.undoStack.undo();
    QVERIFY(f.settle());
    QCOMPARE(filesBelow(f.path()), before);

    store.setCompanionRule(CompanionRule::apart);
    QTRY_COMPARE(f.names(u"Unsorted"_s), split("IMG_1.CR3|IMG_1.JPG"));
    QCOMPARE(f.settings->value(u"keepCompanionsTogether"_s), QVariant(false));
}

// Filed, trashed, one of them undone, then the window closed: the next store on the folder
// has the same Edit menu, and undo and redo go on from there, also past an undo that fails.
void tst_CollectionStoreFiling::undoSurvivesARestart()
{
    m_f->selectOnly("a.jpg");
    m_store->moveSelectionToDigit(1);
    QVERIFY(m_f->settle());
    m_f->selectOnly("b.jpg|c.jpg");
    m_store->moveSelectionToTrash();
    QVERIFY(m_f->settle());
    m_f->selectOnly("d.jpg");
    m_store->moveSelectionToDigit(2);
    QVERIFY(m_f->settle());
    m_f->undoStack.undo();
    QVERIFY(m_f->settle());
    const QStringList before = filesBelow(m_f->path());

    QVERIFY(restart());
    QVERIFY(!m_store->alert()); // giving back the history replays nothing
    QCOMPARE(filesBelow(m_f->path()), before);
    QCOMPARE(m_f->undoStack.count(), 3);
    QCOMPARE(m_f->undoStack.undoText(), u"Move to Trash"_s);
    QCOMPARE(m_f->undoStack.redoText(), u"Move Photo"_s);
    m_f->undoStack.undo();
    QVERIFY(m_f->settle());
    QCOMPARE(contents("b.jpg|c.jpg"), u"photo b.jpg|photo c.jpg"_s);
    QVERIFY(QFile::remove(m_f->path(u"Cats/a 2.jpg"_s))); // changed outside
    m_f->undoStack.undo();
    QVERIFY(m_f->settle());
    QCOMPARE(m_store->alert()->title, u"Couldn\u2019t Complete Move Photo"_s);
    QCOMPARE(m_f->undoStack.redoText(), u"Move Photo"_s); // a failed undo keeps its record
    for (int i = 0; i < 3; ++i) {
        m_f->undoStack.redo(); // the first one cannot be replayed; the others can
    }
    QVERIFY(m_f->settle());
    QCOMPARE(contents("b.jpg|Dogs/d.jpg"), u"-|photo d.jpg"_s);
}

QTEST_GUILESS_MAIN(tst_CollectionStoreFiling)
#include "tst_CollectionStoreFiling.moc"
