#include "Models/PhotoDragPayload.h"
#include "support/FaultyFileSystem.h"
#include "support/PrivateMounts.h"
#include "support/StoreFixture.h"
#include "support/TestRows.h"

#include <QMimeData>
#include <QScopeGuard>
#include <QTest>

#include <atomic>
#include <unistd.h>

// What the volumes under a collection allow, through the store: on a read-only volume every
// command that changes the disk is refused at once with one alert, and a name the destination's
// volume refuses is named, with its reason, before anything moves. The volumes are given through
// the seam; one test mounts a real read-only folder.

using namespace Qt::StringLiterals;
using namespace TestFolders;

namespace {

// An exFAT card labelled EOS_R6 mounted at `mountPoint`.
Volume card(const QString &mountPoint, bool readOnly)
{
    Volume volume = Volume::describe({mountPoint, u"/"_s, u"exfat"_s, u"/dev/sdz1"_s, readOnly});
    volume.name = u"EOS_R6"_s;
    return volume;
}

QString sectionID(StoreFixture &f, const QString &name)
{
    const std::optional<PhotoSection> section = f.sectionNamed(name);
    return section ? section->id : QString();
}

// Runs one command of the user on `name` (a photo, a dropped file or a category name).
void run(StoreFixture &f, const QString &command, const QString &name, const QString &outside)
{
    CollectionStore &store = *f.store;
    const QString cats = sectionID(f, u"Cats"_s);
    // The photo named, else the first one (filing into a new category files it).
    store.select(f.idOf(name).isEmpty() ? f.idOf(u"a.jpg"_s) : f.idOf(name), {}, {});
    if (command == "number key"_L1) {
        store.moveSelectionToDigit(1);
    } else if (command == "0 key"_L1) {
        store.moveSelectionToDigit(0);
    } else if (command == "file into"_L1) {
        store.fileInto(cats);
    } else if (command == "drop"_L1) {
        std::unique_ptr<QMimeData> data(store.dragMimeData(f.idOf(name)));
        store.acceptInternalDrop(data->data(QString::fromLatin1(PhotoDragPayload::mimeType)), cats);
    } else if (command == "trash"_L1) {
        store.moveSelectionToTrash();
    } else if (command == "copy in"_L1) {
        store.copyExternalFiles({QUrl::fromLocalFile(outside + u'/' + name)}, cats);
    } else if (command == "file into new category"_L1) {
        store.createCategoryAndFileInto(u"New"_s);
    } else if (command == "new category prompt"_L1) {
        store.showNewCategoryPrompt();
    } else if (command == "new category"_L1) {
        store.submitCategoryPrompt(CategoryPrompt::make(CategoryPrompt::Mode::create(), {}, {}, {}),
                                   name);
    } else if (command == "rename category prompt"_L1) {
        store.showRenamePrompt(cats);
    } else if (command == "rename category"_L1) {
        store.submitCategoryPrompt(
            CategoryPrompt::make(CategoryPrompt::Mode::rename(cats), {}, {}, {}), name);
    } else if (command == "delete category"_L1) {
        store.requestDeleteCategory(cats);
    } else {
        QFAIL(qPrintable("no such command: "_L1 + command));
    }
}

} // namespace

class tst_CollectionStoreVolumes : public QObject
{
    Q_OBJECT

    PrivateMounts m_mounts; // entered before any thread starts

private Q_SLOTS:
    void commandsAskTheVolume_data()
    {
        QTest::addColumn<QString>("volume");
        QTest::addColumn<QString>("command");
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("refusal"); // a part of the one alert; empty: the disk changes

        const QString readOnly = u"“EOS_R6” is read-only"_s;
        for (const char *command :
             {"number key", "0 key", "file into", "drop", "trash", "file into new category",
              "new category prompt", "rename category prompt", "delete category"}) {
            const QString photo =
                QLatin1StringView(command) == "0 key"_L1 ? u"b.jpg"_s : u"a.jpg"_s;
            QTest::addRow("read-only card: %s", command)
                << u"read-only card"_s << QString::fromLatin1(command) << photo << readOnly;
        }
        // The sheet may have been open before the card was locked.
        row("read-only card: new category", "read-only card", "new category", "Birds", readOnly);
        row("read-only card: rename category", "read-only card", "rename category", "Birds",
            readOnly);
        row("read-only card: copy in", "read-only card", "copy in", "c.jpg", readOnly);
        row("read-only card in a category: number key", "read-only card in Cats", "number key",
            "a.jpg", readOnly);
        row("read-only card in a category: 0 key", "read-only card in Cats", "0 key", "b.jpg",
            readOnly);

        row("card: new category with a colon", "card", "new category", "Birds: 2024",
            "can’t contain “:”");
        row("card: rename category to a trailing dot", "card", "rename category", "Birds.",
            "end with a dot");
        row("card: new category of 256 UTF-16 units", "card", "new category", QString(256, u'é'),
            "256 characters, at most 255");
        row("card: copy in a name with a question mark", "card", "copy in", "q?m.jpg",
            "“q?m.jpg” can’t be copied to “Cats”");
        row("card in a category: filing a name with a colon", "card in Cats", "number key",
            "x:y.jpg",
            "“x:y.jpg” can’t be moved to “Cats”. Names on this volume can’t contain “:”");

        row("card: an accepted category name", "card", "new category", "Été 2024", "");
        row("card: an accepted copy", "card", "copy in", "c.jpg", "");
        row("card: filing an accepted name", "card", "number key", "a.jpg", "");
        row("local disk: filing a name with a colon", "local disk", "number key", "x:y.jpg", "");
        row("local disk: a colon in a copied name", "local disk", "copy in", "q:m.jpg", "");
    }

    void commandsAskTheVolume()
    {
        QFETCH(QString, volume);
        QFETCH(QString, command);
        QFETCH(QString, name);
        QFETCH(QString, refusal);

        StoreFixture f;
        QTemporaryDir outside;
        writeJpegs(f.path(), u"a.jpg|x:y.jpg|Cats/b.jpg|Dogs/");
        if (command == "copy in"_L1) {
            writeJpeg(outside.path(), name);
        }
        const QString cats = f.path(u"Cats"_s);
        auto fs = std::make_shared<FaultyFileSystem>();
        fs->volumeLookup = [volume, cats](const QString &root) {
            CollectionVolumes volumes;
            if (volume == "card"_L1 || volume == "read-only card"_L1) {
                volumes.root = card(root, volume.startsWith("read-only"_L1));
            } else if (volume.endsWith("in Cats"_L1)) {
                volumes.inside = {card(cats, volume.startsWith("read-only"_L1))};
            }
            return volumes;
        };
        CollectionStore &store = f.make(fs);
        QVERIFY(f.open());
        QCOMPARE(store.volume().readOnly, volume == "read-only card"_L1);
        const QStringList before = entriesBelow(f.path());
        QSignalSpy alertSpy(&store, &CollectionStore::alertChanged);

        run(f, command, name, outside.path());
        QVERIFY(f.settle());

        if (refusal.isEmpty()) {
            QVERIFY2(!store.alert(), qPrintable(store.alert().value_or(UserFacingAlert()).message));
            QVERIFY(entriesBelow(f.path()) != before);
            return;
        }
        // One alert, shown at once; nothing asked, nothing moved, nothing on screen changed.
        QCOMPARE(alertSpy.count(), 1);
        QVERIFY(store.alert());
        QVERIFY2(store.alert()->message.contains(refusal), qPrintable(store.alert()->message));
        QCOMPARE(entriesBelow(f.path()), before);
        QVERIFY(!store.categoryPrompt());
        QVERIFY(!store.deleteCategoryPrompt());
        QCOMPARE(f.names(u"Cats"_s), QStringList{u"b.jpg"_s});
        QCOMPARE(store.undoStack()->count(), 0);
    }

    void trashWithoutVolumeTrash_data()
    {
        QTest::addColumn<QString>("volume");
        QTest::addColumn<QString>("answer"); // to the question, when one is asked

        QTest::newRow("share: asks, Cancel leaves the photo") << u"share"_s << u"cancel"_s;
        QTest::newRow("share: asks, Confirm copies it to the home trash")
            << u"share"_s << u"confirm"_s;
        QTest::newRow("card, small photo: the home trash at once") << u"card"_s << QString();
    }

    // A volume whose trash cannot be made (here its .Trash-uid is a file) sends photos to the
    // home trash, on another disk, only once the user agrees where that copy is slow or large.
    // Nothing is deleted outright, and the trashing is undone like any other.
    void trashWithoutVolumeTrash()
    {
        QFETCH(QString, volume);
        QFETCH(QString, answer);
        StoreFixture f;
        const auto unmount = qScopeGuard([this] { m_mounts.unmountAll(); });
        if (const QString why = m_mounts.mountTmpfs(f.path(), "size=4m"); !why.isEmpty()) {
            QSKIP(qPrintable(why));
        }
        const QString trashFile = u".Trash-"_s + QString::number(::getuid());
        writeFile(f.path(), trashFile, "not a folder");
        writeJpegs(f.path(), u"a.jpg|b.jpg");
        auto fs = std::make_shared<FaultyFileSystem>();
        fs->volumeLookup = [volume](const QString &root) {
            if (volume == "card"_L1) {
                return CollectionVolumes{card(root, false), {}};
            }
            Volume share = Volume::describe({root, u"/"_s, u"cifs"_s, u"//nas/photos"_s, false});
            share.name = u"nas/photos"_s;
            return CollectionVolumes{share, {}};
        };
        CollectionStore &store = f.make(fs);
        QVERIFY(f.open());
        // The collection, then the home trash's items.
        const auto disk = [&] {
            return filesBelow(f.path()) + QStringList{u"|"_s} +
                   filesBelow(f.home.path() + u"/Trash/files"_s);
        };
        const QStringList before = disk();

        store.select(f.idOf(u"a.jpg"_s), {}, {});
        store.moveSelectionToTrash();
        QVERIFY(f.settle());

        if (!answer.isEmpty()) {
            QVERIFY(store.homeTrashPrompt());
            QCOMPARE(store.homeTrashPrompt()->byteCount, QFileInfo(f.path(u"a.jpg"_s)).size());
            QCOMPARE(store.homeTrashPrompt()->volumeName, u"nas/photos"_s);
            QVERIFY2(!store.alert(), qPrintable(store.alert().value_or(UserFacingAlert()).message));
            QCOMPARE(disk(), before);
            QVERIFY(!f.idOf(u"a.jpg"_s).isEmpty()); // back on the board
            QCOMPARE(store.undoStack()->count(), 0);
            if (answer == "cancel"_L1) {
                store.cancelHomeTrash();
                QVERIFY(f.settle());
                QVERIFY(!store.homeTrashPrompt());
                QCOMPARE(disk(), before);
                QCOMPARE(store.undoStack()->count(), 0);
                return;
            }
            store.confirmHomeTrash(*store.homeTrashPrompt());
            QVERIFY(f.settle());
        }
        QVERIFY(!store.homeTrashPrompt());
        QVERIFY2(!store.alert(), qPrintable(store.alert().value_or(UserFacingAlert()).message));
        QCOMPARE(disk(), (QStringList{trashFile, u"b.jpg"_s, u"|"_s, u"a.jpg"_s}));
        QVERIFY(f.idOf(u"a.jpg"_s).isEmpty());
        store.undo();
        QVERIFY(f.settle());
        QCOMPARE(disk(), before);
        QVERIFY(!f.idOf(u"a.jpg"_s).isEmpty());
    }

    // An action done while the folder could be written is neither undone nor redone once it is
    // read-only: the stack stays where it is, the disk as it is, and the user is told why.
    void undoOnAReadOnlyVolume()
    {
        StoreFixture f;
        writeJpegs(f.path(), u"a.jpg|Cats/b.jpg");
        auto fs = std::make_shared<FaultyFileSystem>();
        std::atomic<bool> locked = false; // read on the service thread
        fs->volumeLookup = [&locked](const QString &root) {
            return CollectionVolumes{card(root, locked.load()), {}};
        };
        CollectionStore &store = f.make(fs);
        QVERIFY(f.open());
        store.select(f.idOf(u"a.jpg"_s), {}, {});
        store.moveSelectionToDigit(1);
        QVERIFY(f.settle());
        store.undo();
        QVERIFY(f.settle());
        const QStringList unfiled{u"Cats/b.jpg"_s, u"a.jpg"_s};
        QCOMPARE(filesBelow(f.path()), unfiled);

        locked = true;
        store.reloadFromDisk(); // the lock switch moved: the volume is read again
        QTRY_VERIFY(store.volume().readOnly);
        store.redo();
        QVERIFY(f.settle());
        QVERIFY(store.alert() && store.alert()->message.contains(u"“EOS_R6” is read-only"_s));
        QCOMPARE(store.undoStack()->index(), 0);
        QCOMPARE(filesBelow(f.path()), unfiled);

        locked = false;
        store.reloadFromDisk();
        QTRY_VERIFY(!store.volume().readOnly);
        store.redo();
        QVERIFY(f.settle());
        QCOMPARE(filesBelow(f.path()), QStringList({u"Cats/a.jpg"_s, u"Cats/b.jpg"_s}));
        store.undo();
        QVERIFY(f.settle());
        QCOMPARE(filesBelow(f.path()), unfiled);
    }

    // A real read-only mount: the whole collection, and a category mounted read-only inside a
    // writable one. Filing into the other category still works.
    void readOnlyMount()
    {
        StoreFixture f;
        writeJpegs(f.path(), u"a.jpg|c.jpg|Cats/b.jpg|Dogs/");
        const auto unmount = qScopeGuard([this] { m_mounts.unmountAll(); });
        if (const QString why = m_mounts.bindReadOnly(f.path(u"Cats"_s)); !why.isEmpty()) {
            QSKIP(qPrintable(why));
        }
        CollectionStore &store = f.make();
        QVERIFY(f.open());
        QVERIFY(!store.volume().readOnly);

        store.select(f.idOf(u"a.jpg"_s), {}, {});
        store.moveSelectionToDigit(1);
        QVERIFY(f.settle());
        QVERIFY(store.alert() && store.alert()->message.contains(u"“Cats” is read-only"_s));
        store.clearAlert();
        store.select(f.idOf(u"c.jpg"_s), {}, {});
        store.moveSelectionToDigit(2);
        QVERIFY(f.settle());
        QVERIFY(!store.alert());
        const QStringList filed{u"Cats/b.jpg"_s, u"Dogs/c.jpg"_s, u"a.jpg"_s};
        QCOMPARE(filesBelow(f.path()), filed);

        QVERIFY(m_mounts.bindReadOnly(f.path()).isEmpty());
        store.reloadFromDisk();
        QTRY_VERIFY(store.volume().readOnly);
        store.select(f.idOf(u"a.jpg"_s), {}, {});
        store.moveSelectionToTrash();
        QVERIFY(f.settle());
        QVERIFY(store.alert());
        QVERIFY2(store.alert()->message.contains(
                     u"“%1” is read-only"_s.arg(QFileInfo(f.path()).fileName())),
                 qPrintable(store.alert()->message));
        QCOMPARE(filesBelow(f.path()), filed);
    }
};

QTEST_GUILESS_MAIN(tst_CollectionStoreVolumes)
#include "tst_CollectionStoreVolumes.moc"
