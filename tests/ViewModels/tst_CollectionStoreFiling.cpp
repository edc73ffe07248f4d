#include "support/FaultyFileSystem.h"
#include "support/StoreFixture.h"

#include "Models/PhotoDragPayload.h"

#include <QDir>
#include <QFile>
#include <QMimeData>

using namespace TestFolders;

// Filing by number key, menus and drops; where the focus goes; predicted names against the
// disk; trash; copy-in; undo and redo of moves, including after the disk changed underneath.
class tst_CollectionStoreFiling : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void digitFilesAndAdvances();
    void digitZeroInPlaceStepsOn();
    void filingLastPhotosLeavesNothingSelected();
    void predictedNamesMatchDisk();
    void browseOrderDecidesNextFocus();
    void movedIntoDateSortedSectionLandsInPlace();
    void undoRedoMoves();
    void undoAfterFreeNameFollowsTheFile();
    void failedUndoReportsAndKeepsRecord();
    void trashAndUndo();
    void failedMoveAlertsAndReloads();
    void dropsAndDragData();
    void copyIn();
    void noUndoStackStillFiles();
    void shotsTravelWhole();
    void undoSurvivesARestart();
    void secondWindowOnTheSameFolderOpensNothing();

private:
    void selectNames(const QStringList &names);
    std::unique_ptr<StoreFixture> m_f;
    CollectionStore *m_store = nullptr;
};

void tst_CollectionStoreFiling::init()
{
    m_f = std::make_unique<StoreFixture>();
    for (const char *name : {"a.jpg", "b.jpg", "c.jpg", "d.jpg"}) {
        writeFile(m_f->path(), QString::fromUtf8(name), QByteArray("photo ") + name);
    }
    writeFile(m_f->path(), QStringLiteral("Cats/A.JPG"), "cat A");
    makeFolder(m_f->path(), QStringLiteral("Dogs"));
    m_store = &m_f->make();
    QVERIFY(m_f->open());
}

void tst_CollectionStoreFiling::selectNames(const QStringList &names)
{
    m_store->deselectAll();
    for (const QString &name : names) {
        const QString id = m_f->idOf(name);
        QVERIFY2(!id.isEmpty(), qPrintable(name));
        for (const PhotoSection &section : m_store->sections()) {
            for (const Photo &photo : section.photos) {
                if (photo.id == id) {
                    m_store->select(id, section.id, Qt::ControlModifier);
                }
            }
        }
    }
}

void tst_CollectionStoreFiling::digitFilesAndAdvances()
{
    selectNames({QStringLiteral("b.jpg")});
    QSignalSpy scroll(m_store, &CollectionStore::scrollRequestChanged);
    m_store->moveSelectionToDigit(1);
    // At once, before the disk: moved in memory, focus on the next photo, HUD shown.
    QCOMPARE(m_f->names(QStringLiteral("Cats")), (QStringList{QStringLiteral("A.JPG"), QStringLiteral("b.jpg")}));
    QCOMPARE(m_f->focusedName(), QStringLiteral("c.jpg"));
    QCOMPARE(m_f->selectedNames(), QStringList{QStringLiteral("c.jpg")});
    QCOMPARE(scroll.count(), 1);
    QCOMPARE(m_store->hudMessage(), std::optional<QString>(QStringLiteral("→ Cats")));
    QVERIFY(m_f->settle());
    QCOMPARE(readFile(m_f->path(QStringLiteral("Cats/b.jpg"))), QByteArray("photo b.jpg"));
    QCOMPARE(m_f->undoStack.undoText(), QStringLiteral("Move Photo"));
    // Focus on the last photo of a section goes to the one before it.
    selectNames({QStringLiteral("d.jpg")});
    m_store->moveSelectionToDigit(2);
    QCOMPARE(m_f->focusedName(), QStringLiteral("c.jpg"));
    QVERIFY(m_f->settle());
}

void tst_CollectionStoreFiling::digitZeroInPlaceStepsOn()
{
    selectNames({QStringLiteral("b.jpg")});
    m_store->moveSelectionToDigit(0);
    QCOMPARE(m_f->focusedName(), QStringLiteral("c.jpg"));
    QVERIFY(!m_store->hudMessage());
    QCOMPARE(m_store->pendingMutationCount(), 0);
    QCOMPARE(m_f->names(QStringLiteral("Unsorted")).size(), 4);
    // A load in progress blocks number keys.
    m_store->openCollection(QUrl::fromLocalFile(m_f->path()), false);
    m_store->moveSelectionToDigit(1);
    QCOMPARE(m_store->pendingMutationCount(), 0);
    QTRY_VERIFY_WITH_TIMEOUT(!m_store->isLoading(), 10000);
}

void tst_CollectionStoreFiling::filingLastPhotosLeavesNothingSelected()
{
    selectNames({QStringLiteral("A.JPG")});
    m_store->moveSelectionToDigit(0);
    QVERIFY(m_store->selectedPhotoIDs().isEmpty());
    QVERIFY(!m_store->focusedPhotoID());
    QVERIFY(m_f->settle());
    QVERIFY(m_f->names(QStringLiteral("Cats")).isEmpty());
}

// Two photos named like a third (letter case aside) get " 2" and " 3" at once, and the disk
// agrees after the reload.
void tst_CollectionStoreFiling::predictedNamesMatchDisk()
{
    writeFile(m_f->path(), QStringLiteral("Dogs/a.jpg"), "dog a");
    m_store->reloadFromDisk();
    QTRY_COMPARE(m_f->names(QStringLiteral("Dogs")), QStringList{QStringLiteral("a.jpg")});
    const QString rootA = m_store->sections()[0].photos[0].id;
    const QString catA = m_f->sectionNamed(QStringLiteral("Cats"))->photos[0].id;
    m_store->move({rootA, catA}, m_f->sectionNamed(QStringLiteral("Dogs"))->id);
    const QStringList predicted = m_f->names(QStringLiteral("Dogs"));
    QStringList sorted = predicted;
    sorted.sort(Qt::CaseInsensitive);
    QCOMPARE(sorted, (QStringList{QStringLiteral("a 2.jpg"), QStringLiteral("A 3.JPG"),
                                  QStringLiteral("a.jpg")}));
    QVERIFY(m_f->settle());
    QCOMPARE(m_f->names(QStringLiteral("Dogs")), predicted);
    QCOMPARE(QDir(m_f->path(QStringLiteral("Dogs"))).entryList(QDir::Files, QDir::Name | QDir::IgnoreCase),
             (QStringList{QStringLiteral("a 2.jpg"), QStringLiteral("A 3.JPG"), QStringLiteral("a.jpg")}));
    QCOMPARE(m_f->selectedNames().size(), 2); // filed from a menu or drop: they stay selected
}

void tst_CollectionStoreFiling::browseOrderDecidesNextFocus()
{
    m_store->setWorkspaceMode(WorkspaceMode::browse);
    QStringList order;
    for (const char *name : {"d.jpg", "b.jpg", "A.JPG", "a.jpg", "c.jpg"}) {
        order.append(m_f->idOf(QString::fromUtf8(name)));
    }
    m_store->updateBrowseNavigationOrder(order, 3, {});
    m_store->selectBrowse(order[1], {});
    m_store->selectBrowse(order[2], Qt::ControlModifier); // focus on A.JPG, b and A selected
    m_store->moveSelectionToDigit(2);
    QCOMPARE(m_f->focusedName(), QStringLiteral("a.jpg")); // next in the Browse order
    QVERIFY(m_f->settle());
}

void tst_CollectionStoreFiling::movedIntoDateSortedSectionLandsInPlace()
{
    setModificationTime(m_f->path(QStringLiteral("a.jpg")), 1000);
    setModificationTime(m_f->path(QStringLiteral("c.jpg")), 3000);
    setModificationTime(m_f->path(QStringLiteral("Cats/A.JPG")), 2000);
    m_store->setSortOrder(PhotoSortOrder::modificationDate);
    m_store->reloadFromDisk();
    QVERIFY(m_f->settle());
    selectNames({QStringLiteral("a.jpg"), QStringLiteral("c.jpg")});
    m_store->moveSelected(m_f->sectionNamed(QStringLiteral("Cats"))->id);
    QCOMPARE(m_f->names(QStringLiteral("Cats")),
             (QStringList{QStringLiteral("c.jpg"), QStringLiteral("A.JPG"), QStringLiteral("a 2.jpg")}));
    QVERIFY(m_f->settle());
    QCOMPARE(m_f->names(QStringLiteral("Cats")),
             (QStringList{QStringLiteral("c.jpg"), QStringLiteral("A.JPG"), QStringLiteral("a 2.jpg")}));
}

void tst_CollectionStoreFiling::undoRedoMoves()
{
    selectNames({QStringLiteral("a.jpg"), QStringLiteral("b.jpg")});
    m_store->moveSelectionToDigit(2);
    QVERIFY(m_f->settle());
    QCOMPARE(m_f->undoStack.undoText(), QStringLiteral("Move Photos"));
    const QStringList filed = filesBelow(m_f->path());
    for (int round = 0; round < 3; ++round) {
        m_f->undoStack.undo();
        QCOMPARE(m_f->undoStack.redoText(), QStringLiteral("Move Photos")); // at once
        QVERIFY(m_f->settle());
        QVERIFY(QFile::exists(m_f->path(QStringLiteral("a.jpg"))));
        QVERIFY(QFile::exists(m_f->path(QStringLiteral("b.jpg"))));
        QCOMPARE(m_f->names(QStringLiteral("Dogs")), QStringList());
        m_f->undoStack.redo();
        QCOMPARE(m_f->undoStack.undoText(), QStringLiteral("Move Photos"));
        QVERIFY(m_f->settle());
        QCOMPARE(filesBelow(m_f->path()), filed);
    }
}

// After an undo had to put a photo under a free name (its old place was taken), the next redo
// and undo move that photo, from where it really is, and never the newcomer.
void tst_CollectionStoreFiling::undoAfterFreeNameFollowsTheFile()
{
    selectNames({QStringLiteral("b.jpg")});
    m_store->moveSelectionToDigit(2);
    QVERIFY(m_f->settle());
    writeFile(m_f->path(), QStringLiteral("b.jpg"), "newcomer");
    m_f->undoStack.undo();
    QVERIFY(m_f->settle());
    QCOMPARE(readFile(m_f->path(QStringLiteral("b 2.jpg"))), QByteArray("photo b.jpg"));
    m_f->undoStack.redo();
    QVERIFY(m_f->settle());
    QVERIFY(!m_store->alert());
    QCOMPARE(readFile(m_f->path(QStringLiteral("Dogs/b.jpg"))), QByteArray("photo b.jpg"));
    QCOMPARE(readFile(m_f->path(QStringLiteral("b.jpg"))), QByteArray("newcomer"));
    QVERIFY(!QFile::exists(m_f->path(QStringLiteral("b 2.jpg"))));
    m_f->undoStack.undo();
    QVERIFY(m_f->settle());
    QVERIFY(!m_store->alert());
    QCOMPARE(readFile(m_f->path(QStringLiteral("b 2.jpg"))), QByteArray("photo b.jpg"));
    QCOMPARE(readFile(m_f->path(QStringLiteral("b.jpg"))), QByteArray("newcomer"));
}

void tst_CollectionStoreFiling::failedUndoReportsAndKeepsRecord()
{
    selectNames({QStringLiteral("c.jpg")});
    m_store->moveSelectionToDigit(1);
    QVERIFY(m_f->settle());
    QVERIFY(QFile::remove(m_f->path(QStringLiteral("Cats/c.jpg")))); // another program at work
    m_f->undoStack.undo();
    QVERIFY(m_f->settle());
    QVERIFY(m_store->alert());
    QCOMPARE(m_store->alert()->title, QStringLiteral("Couldn’t Complete Move Photo"));
    QCOMPARE(m_f->undoStack.redoText(), QStringLiteral("Move Photo"));
}

void tst_CollectionStoreFiling::trashAndUndo()
{
    selectNames({QStringLiteral("a.jpg"), QStringLiteral("b.jpg")});
    m_store->moveSelectionToTrash();
    QCOMPARE(m_f->names(QStringLiteral("Unsorted")), (QStringList{QStringLiteral("c.jpg"), QStringLiteral("d.jpg")}));
    QCOMPARE(m_f->focusedName(), QStringLiteral("c.jpg"));
    QVERIFY(m_f->settle());
    QCOMPARE(m_store->hudMessage(), std::optional<QString>(QStringLiteral("Moved 2 to Trash")));
    QCOMPARE(m_f->undoStack.undoText(), QStringLiteral("Move to Trash"));
    QCOMPARE(filesBelow(m_f->home.path() + QStringLiteral("/Trash/files")).size(), 2);
    m_f->undoStack.undo();
    QVERIFY(m_f->settle());
    QCOMPARE(readFile(m_f->path(QStringLiteral("a.jpg"))), QByteArray("photo a.jpg"));
    QCOMPARE(readFile(m_f->path(QStringLiteral("b.jpg"))), QByteArray("photo b.jpg"));
    QCOMPARE(filesBelow(m_f->home.path() + QStringLiteral("/Trash")), QStringList());
    selectNames({QStringLiteral("d.jpg")});
    m_store->moveSelectionToTrash();
    QVERIFY(m_f->settle());
    QCOMPARE(m_store->hudMessage(), std::optional<QString>(QStringLiteral("Moved to Trash")));
}

void tst_CollectionStoreFiling::failedMoveAlertsAndReloads()
{
    StoreFixture f;
    writeFile(f.path(), QStringLiteral("a.jpg"));
    makeFolder(f.path(), QStringLiteral("Cats"));
    auto fs = std::make_shared<FaultyFileSystem>();
    CollectionStore &store = f.make(fs);
    QVERIFY(f.open());
    fs->failNth(FaultyFileSystem::Call::move, 1, ENOSPC);
    store.select(f.idOf(QStringLiteral("a.jpg")), store.sections()[0].id, {});
    store.moveSelectionToDigit(1);
    QCOMPARE(f.names(QStringLiteral("Cats")), QStringList{QStringLiteral("a.jpg")});
    QVERIFY(f.settle());
    QCOMPARE(store.alert()->title, QStringLiteral("Couldn’t Move Photos"));
    QCOMPARE(store.hudMessage(), std::optional<QString>(QStringLiteral("→ Cats")));
    QCOMPARE(f.names(QStringLiteral("Unsorted")), QStringList{QStringLiteral("a.jpg")});
    QCOMPARE(f.undoStack.count(), 0);
}

void tst_CollectionStoreFiling::dropsAndDragData()
{
    selectNames({QStringLiteral("a.jpg"), QStringLiteral("b.jpg")});
    // Dragging an unselected photo drags it alone.
    std::unique_ptr<QMimeData> alone(m_store->dragMimeData(m_f->idOf(QStringLiteral("c.jpg"))));
    QCOMPARE(m_f->selectedNames(), QStringList{QStringLiteral("c.jpg")});
    QCOMPARE(alone->urls(), QList<QUrl>{QUrl::fromLocalFile(m_f->path(QStringLiteral("c.jpg")))});
    selectNames({QStringLiteral("a.jpg"), QStringLiteral("b.jpg")});
    std::unique_ptr<QMimeData> data(m_store->dragMimeData(m_f->idOf(QStringLiteral("a.jpg"))));
    QCOMPARE(data->urls().size(), 2);
    const QByteArray payload = data->data(QString::fromLatin1(PhotoDragPayload::mimeType));
    // Onto their own section: nothing happens on disk.
    m_store->acceptInternalDrop(payload, m_store->sections()[0].id);
    QCOMPARE(m_store->pendingMutationCount(), 0);
    m_store->acceptInternalDrop("not json", m_f->sectionNamed(QStringLiteral("Dogs"))->id);
    QCOMPARE(m_store->pendingMutationCount(), 0);
    m_store->acceptInternalDrop(payload, m_f->sectionNamed(QStringLiteral("Dogs"))->id);
    QVERIFY(!m_store->hudMessage()); // no HUD for drops
    QVERIFY(m_f->settle());
    QCOMPARE(m_f->names(QStringLiteral("Dogs")), (QStringList{QStringLiteral("a.jpg"), QStringLiteral("b.jpg")}));
}

void tst_CollectionStoreFiling::copyIn()
{
    QTemporaryDir outside;
    const QString png = writePng(outside.path(), QStringLiteral("shot.png"));
    writeFile(outside.path(), QStringLiteral("notes.txt"));
    m_store->copyExternalFiles({QUrl::fromLocalFile(png),
                                QUrl::fromLocalFile(outside.path() + QStringLiteral("/notes.txt"))},
                               m_f->sectionNamed(QStringLiteral("Dogs"))->id);
    QVERIFY(m_f->settle());
    QCOMPARE(m_f->names(QStringLiteral("Dogs")), QStringList{QStringLiteral("shot.png")});
    QCOMPARE(m_store->hudMessage(), std::optional<QString>(QStringLiteral("Copied to Dogs")));
    QVERIFY(QFile::exists(png));
    // Undone, the copy goes to the trash, and a redo brings it back; the dropped file stays.
    for (const bool restart : {false, true}) {
        if (restart) {
            m_f->store.reset();
            m_f->undoStack.clear();
            m_store = &m_f->make();
            QVERIFY(m_f->open());
            QVERIFY(m_f->settle());
        }
        QCOMPARE(m_f->undoStack.undoText(), QStringLiteral("Copy Photos"));
        m_f->undoStack.undo();
        QVERIFY(m_f->settle());
        QCOMPARE(m_f->names(QStringLiteral("Dogs")), QStringList());
        QCOMPARE(QDir(m_f->home.path() + QStringLiteral("/Trash/files")).entryList(QDir::Files),
                 QStringList{QStringLiteral("shot.png")});
        m_f->undoStack.redo();
        QVERIFY(m_f->settle());
        QCOMPARE(m_f->names(QStringLiteral("Dogs")), QStringList{QStringLiteral("shot.png")});
        QVERIFY(QDir(m_f->home.path() + QStringLiteral("/Trash/files")).isEmpty());
    }
    QVERIFY(!m_store->alert());
    QCOMPARE(readFile(png), readFile(m_f->path(QStringLiteral("Dogs/shot.png"))));
}

void tst_CollectionStoreFiling::noUndoStackStillFiles()
{
    m_store->setUndoStack(nullptr);
    selectNames({QStringLiteral("a.jpg")});
    m_store->moveSelectionToDigit(1);
    QVERIFY(m_f->settle());
    QVERIFY(QFile::exists(m_f->path(QStringLiteral("Cats/a 2.jpg")))); // beside A.JPG
    QCOMPARE(m_f->undoStack.count(), 0);
}

// A RAW+JPEG pair with its sidecar is one photo: filed, dragged, trashed and undone whole, and
// "Keep Companions Together" turned off makes its images separate photos again.
void tst_CollectionStoreFiling::shotsTravelWhole()
{
    StoreFixture f;
    for (const char *name : {"IMG_1.JPG", "IMG_1.CR3", "IMG_1.xmp", "lonely.xmp"}) {
        writeFile(f.path(), QString::fromUtf8(name), name);
    }
    writeFile(f.path(), QStringLiteral("Cats/img_1.cr3"), "another shot");
    CollectionStore &store = f.make();
    QVERIFY(f.open());
    QCOMPARE(f.names(QStringLiteral("Unsorted")), QStringList{QStringLiteral("IMG_1.JPG")});
    const Photo shot = store.sections()[0].photos[0];
    QCOMPARE(shot.companionBadge(), QStringLiteral("RAW+JPG+XMP"));
    const QList<QUrl> members = shot.memberURLs();
    QCOMPARE(members.size(), 3);
    store.select(shot.id, store.sections()[0].id, {});
    std::unique_ptr<QMimeData> drag(store.dragMimeData(shot.id));
    QCOMPARE(drag->urls(), members);

    const QStringList before = filesBelow(f.path());
    store.moveSelectionToDigit(1);
    QCOMPARE(f.names(QStringLiteral("Cats")),
             (QStringList{QStringLiteral("IMG_1 2.JPG"), QStringLiteral("img_1.cr3")}));
    QVERIFY(f.settle());
    QCOMPARE(filesBelow(f.path()),
             (QStringList{QStringLiteral("Cats/IMG_1 2.CR3"), QStringLiteral("Cats/IMG_1 2.JPG"),
                          QStringLiteral("Cats/IMG_1 2.xmp"), QStringLiteral("Cats/img_1.cr3"),
                          QStringLiteral("lonely.xmp")}));
    QCOMPARE(f.names(QStringLiteral("Cats")),
             (QStringList{QStringLiteral("IMG_1 2.JPG"), QStringLiteral("img_1.cr3")}));
    f.undoStack.undo();
    QVERIFY(f.settle());
    QCOMPARE(filesBelow(f.path()), before);

    store.select(shot.id, store.sections()[0].id, {});
    store.moveSelectionToTrash();
    QVERIFY(f.settle());
    QCOMPARE(filesBelow(f.home.path() + QStringLiteral("/Trash/files")).size(), 3);
    f.undoStack.undo();
    QVERIFY(f.settle());
    QCOMPARE(filesBelow(f.path()), before);

    store.setCompanionRule(CompanionRule::apart);
    QTRY_COMPARE(f.names(QStringLiteral("Unsorted")),
                 (QStringList{QStringLiteral("IMG_1.CR3"), QStringLiteral("IMG_1.JPG")}));
    QCOMPARE(f.settings->value(QStringLiteral("keepCompanionsTogether")), QVariant(false));
}

// Filed, trashed, one of them undone, then the window closed: the next store on the folder
// has the same Edit menu, and undo and redo go on from there.
void tst_CollectionStoreFiling::undoSurvivesARestart()
{
    selectNames({QStringLiteral("a.jpg")});
    m_store->moveSelectionToDigit(1);
    QVERIFY(m_f->settle());
    selectNames({QStringLiteral("b.jpg"), QStringLiteral("c.jpg")});
    m_store->moveSelectionToTrash();
    QVERIFY(m_f->settle());
    selectNames({QStringLiteral("d.jpg")});
    m_store->moveSelectionToDigit(2);
    QVERIFY(m_f->settle());
    m_f->undoStack.undo();
    QVERIFY(m_f->settle());
    const QStringList before = filesBelow(m_f->path());

    m_f->store.reset();
    m_f->undoStack.clear();
    m_store = &m_f->make();
    QVERIFY(m_f->open());
    QVERIFY(m_f->settle());
    QVERIFY(!m_store->alert()); // giving back the history replays nothing
    QCOMPARE(filesBelow(m_f->path()), before);
    QCOMPARE(m_f->undoStack.count(), 3);
    QCOMPARE(m_f->undoStack.undoText(), QStringLiteral("Move to Trash"));
    QCOMPARE(m_f->undoStack.redoText(), QStringLiteral("Move Photo"));
    m_f->undoStack.undo();
    QVERIFY(m_f->settle());
    QCOMPARE(readFile(m_f->path(QStringLiteral("b.jpg"))), QByteArray("photo b.jpg"));
    QCOMPARE(readFile(m_f->path(QStringLiteral("c.jpg"))), QByteArray("photo c.jpg"));
    QVERIFY(QFile::remove(m_f->path(QStringLiteral("Cats/a 2.jpg")))); // changed outside
    m_f->undoStack.undo();
    QVERIFY(m_f->settle());
    QCOMPARE(m_store->alert()->title, QStringLiteral("Couldn’t Complete Move Photo"));
    for (int i = 0; i < 3; ++i) {
        m_f->undoStack.redo(); // the first one cannot be replayed; the others can
    }
    QVERIFY(m_f->settle());
    QVERIFY(!QFile::exists(m_f->path(QStringLiteral("b.jpg"))));
    QCOMPARE(readFile(m_f->path(QStringLiteral("Dogs/d.jpg"))), QByteArray("photo d.jpg"));
}

void tst_CollectionStoreFiling::secondWindowOnTheSameFolderOpensNothing()
{
    auto second = std::make_unique<CollectionStore>(m_f->desktop, m_f->settings);
    second->openCollection(QUrl::fromLocalFile(m_f->path()), false);
    QTRY_VERIFY(second->alert().has_value());
    QVERIFY(second->alert()->message.contains(QStringLiteral("another")));
    QVERIFY(!second->collection());
    QVERIFY(!second->isLoading());
    // Once the first window lets go, the folder opens.
    m_f->store.reset();
    second->openCollection(QUrl::fromLocalFile(m_f->path()), false);
    QTRY_VERIFY(second->collection().has_value());
}

QTEST_GUILESS_MAIN(tst_CollectionStoreFiling)
#include "tst_CollectionStoreFiling.moc"
