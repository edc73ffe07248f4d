// The journal belongs to the volume and the folder on it: a card keeps its history and its
// cut-off batch wherever and in whichever reader it is mounted, and another card in the same
// reader finds none of it.

#include "Services/FileSystemService.h"
#include "Services/JournalKey.h"
#include "Services/Platform/FileIdentity.h"
#include "Services/Platform/LinuxFileSystem.h"
#include "support/PrivateMounts.h"
#include "support/TestFolders.h"
#include "support/TestRows.h"

#include <QDir>
#include <QTemporaryDir>
#include <QTest>

using namespace TestFolders;
using namespace Qt::StringLiterals;

namespace {

// A volume as the mount table and the device describe it: "uuid:A" (or nothing), whether its
// numbers last, and where the file system's folder `mountRoot` is mounted.
Volume volume(const QString &identity, bool stableInodes, const QString &mountPoint,
              const QString &mountRoot = u"/"_s)
{
    Volume described;
    described.identity = identity;
    described.stableInodes = stableInodes;
    described.mount.mountPoint = mountPoint;
    described.mount.root = mountRoot;
    return described;
}

struct Opening
{
    Volume volume;
    QString rootPath;
    QString rootIdentity;
};

} // namespace

Q_DECLARE_METATYPE(Opening)

class tst_VolumeJournal : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void namedByTheVolumeAndTheFolder_data()
    {
        QTest::addColumn<Opening>("first");
        QTest::addColumn<Opening>("second");
        QTest::addColumn<bool>("same");
        const Volume card = volume(u"uuid:6FD7-DFAC"_s, false, u"/media/ana/CARD"_s);
        const Volume otherCard = volume(u"uuid:7B57-4FAC"_s, false, u"/media/ana/CARD"_s);
        const Volume disk = volume(u"uuid:disk"_s, true, u"/"_s);
        const Volume unnamed = volume({}, true, u"/"_s);
        const Opening dcim{card, u"/media/ana/CARD/DCIM"_s, u"1792:1:r1000"_s};
        row("same card, same folder, another reader and mount point", dcim,
            Opening{volume(u"uuid:6FD7-DFAC"_s, false, u"/mnt/reader"_s), u"/mnt/reader/DCIM"_s,
                    u"0:52:7:r10"_s},
            true);
        row("another card with the same numbers in the same reader", dcim,
            Opening{otherCard, u"/media/ana/CARD/DCIM"_s, u"1792:1:r1000"_s}, false);
        row("same card, another folder", dcim,
            Opening{card, u"/media/ana/CARD/DCIM/100CANON"_s, u"1792:1:r1000"_s}, false);
        row("same card, the folder mounted by itself", dcim,
            Opening{volume(u"uuid:6FD7-DFAC"_s, false, u"/mnt/photos"_s, u"/DCIM"_s),
                    u"/mnt/photos"_s, u"1792:1:r1000"_s},
            true);
        row("disk, the folder renamed", Opening{disk, u"/home/ana/Photos"_s, u"2049:77:b1.0"_s},
            Opening{disk, u"/home/ana/Pictures"_s, u"2049:77:b1.0"_s}, true);
        row("disk, another folder", Opening{disk, u"/home/ana/Photos"_s, u"2049:77"_s},
            Opening{disk, u"/home/ana/Photos"_s, u"2049:78"_s}, false);
        row("another disk on the same device number",
            Opening{disk, u"/media/usb/Photos"_s, u"2065:77"_s},
            Opening{volume(u"uuid:other"_s, true, u"/"_s), u"/media/usb/Photos"_s, u"2065:77"_s},
            false);
        Volume btrfs = volume(u"uuid:btrfs"_s, true, u"/"_s);
        btrfs.mount.device = 32; // 0:32; its subvolumes show 0:33, 0:34…
        row("btrfs, the same inode in two subvolumes",
            Opening{btrfs, u"/home/ana/Photos"_s, u"33:300"_s},
            Opening{btrfs, u"/srv/Photos"_s, u"34:300"_s}, false);
        row("btrfs, a subvolume's folder renamed",
            Opening{btrfs, u"/home/ana/Photos"_s, u"33:300"_s},
            Opening{btrfs, u"/home/ana/Pictures"_s, u"33:300"_s}, true);
        row("no identity, the folder renamed", Opening{unnamed, u"/tmp/a"_s, u"38:12"_s},
            Opening{unnamed, u"/tmp/b"_s, u"38:12:b1.0"_s}, true);
        row("no identity, another folder", Opening{unnamed, u"/tmp/a"_s, u"38:12"_s},
            Opening{unnamed, u"/tmp/a"_s, u"38:13"_s}, false);
    }
    void namedByTheVolumeAndTheFolder()
    {
        QFETCH(Opening, first);
        QFETCH(Opening, second);
        const JournalKey a = JournalKey::of(first.volume, first.rootPath, first.rootIdentity);
        const JournalKey b = JournalKey::of(second.volume, second.rootPath, second.rootIdentity);
        QVERIFY(!a.name.isEmpty());
        QTEST(a.name == b.name, "same");
    }

    // A journal written under the device and inode before volumes were told apart goes on
    // being used where those numbers last; on a card they may have been another card's.
    void findsTheJournalWrittenBefore()
    {
        const QTemporaryDir state;
        const QString root = u"/photos"_s;
        const QString identity = u"8:99:b1.0"_s;
        {
            auto old = OperationJournal::open(state.path(), root, identity);
            QVERIFY2(old, qPrintable(why(old)));
            const FileMove move{QUrl::fromLocalFile(u"/photos/a.jpg"_s),
                                QUrl::fromLocalFile(u"/photos/Cats/a.jpg"_s), u"8:5:b3.0"_s};
            const qint64 batch =
                *(*old)->beginBatch(OperationJournal::Role::action, u"Move Photo"_s);
            QVERIFY((*old)->intend(batch, move));
            QVERIFY((*old)->endBatch(batch, OperationJournal::Outcome::kept, {move}));
        }
        const auto actionsUnder = [&](const Volume &on) {
            auto journal = OperationJournal::open(state.path(),
                                                  JournalKey::of(on, root, identity), root,
                                                  identity);
            return journal ? (*journal)->history().actions.size() : -1;
        };
        QCOMPARE(actionsUnder(volume(u"uuid:disk"_s, true, u"/"_s)), 1);
        QCOMPARE(actionsUnder(volume(u"uuid:card"_s, false, u"/"_s)), 0);
    }

    // Card A keeps a filing and a batch cut off on the way into Cats. Card B, put in the same
    // reader in turn (same mount point, same loop device, the same numbers for its folders),
    // opens with nothing; card A, in another reader at another mount point, finds its history
    // and has its batch put back.
    void aCardKeepsItsOwnJournal()
    {
        const QTemporaryDir dir; // removed once the cards are out
        PrivateMounts mounts;
        if (const QString missing = mounts.cardsUnavailable(); !missing.isEmpty()) {
            QSKIP(qPrintable(missing));
        }
        const QString base = QFileInfo(dir.path()).canonicalFilePath();
        const QString state = base + u"/state"_s;
        const QString reader = makeFolder(base, u"reader"_s);
        const QString otherReader = makeFolder(base, u"other reader"_s);
        const QString cardA = base + u"/a.img"_s;
        const QString cardB = base + u"/b.img"_s;
        const auto url = [](const QString &folder, const QString &name) {
            return QUrl::fromLocalFile(folder + u"/DCIM/"_s + name);
        };
        const auto open = [&](FileSystemService &service, const QString &mountPoint) {
            return service.openJournal(QUrl::fromLocalFile(mountPoint + u"/DCIM"_s), state).result();
        };

        QCOMPARE(mounts.mountExfat(cardA, reader), QString());
        QVERIFY(Volume::of(reader).identity.startsWith(u"uuid:"_s));
        for (const QString &name : {u"a.jpg"_s, u"b.jpg"_s, u"Cats/c.jpg"_s}) {
            writeFile(reader + u"/DCIM"_s, name, name.toUtf8());
        }
        {
            FileSystemService service;
            QVERIFY(open(service, reader));
            QVERIFY(service.moveShots({{url(reader, u"a.jpg"_s)}}, url(reader, u"Cats"_s),
                                      {OperationJournal::Role::action, u"Move Photo"_s})
                        .result());
        }
        {
            // Cut off after b.jpg reached Cats: no end record.
            LinuxFileSystem fs;
            const QString root = reader + u"/DCIM"_s;
            const QString rootIdentity = FileIdentity::of(*fs.stat(root, true));
            auto journal = OperationJournal::open(state, JournalKey::of(root, rootIdentity), root,
                                                  rootIdentity);
            QVERIFY2(journal, qPrintable(why(journal)));
            FileMove move{url(reader, u"b.jpg"_s), url(reader, u"Cats/b.jpg"_s),
                          FileIdentity::of(*fs.stat(root + u"/b.jpg"_s))};
            QVERIFY2(move.itemIdentity.contains(u":r"_s), qPrintable(move.itemIdentity));
            const qint64 batch = *(*journal)->beginBatch(OperationJournal::Role::action, u"Move"_s);
            QVERIFY((*journal)->intend(batch, move));
            QVERIFY(fs.moveNoReplace(root + u"/b.jpg"_s, root + u"/Cats/b.jpg"_s));
            QVERIFY((*journal)->performed(batch, move));
        }
        const QString cardARoot = FileIdentity::of(*LinuxFileSystem().stat(reader + u"/DCIM"_s));
        mounts.unmount(reader);

        QCOMPARE(mounts.mountExfat(cardB, reader), QString());
        for (const QString &name : {u"a.jpg"_s, u"Cats/b.jpg"_s}) {
            writeFile(reader + u"/DCIM"_s, name, "card B");
        }
        // What the journal used to be named by: card B's folder shows card A's numbers.
        QCOMPARE(FileIdentity::volumeKey(FileIdentity::of(*LinuxFileSystem().stat(reader + u"/DCIM"_s))),
                 FileIdentity::volumeKey(cardARoot));
        {
            FileSystemService service;
            const auto opening = open(service, reader);
            QVERIFY2(opening, qPrintable(why(opening)));
            QCOMPARE(opening->history.actions.size(), 0);
            QVERIFY2(opening->recovery.isEmpty(), qPrintable(opening->recovery.note()));
        }
        QCOMPARE(filesBelow(reader + u"/DCIM"_s), (QStringList{u"Cats/b.jpg"_s, u"a.jpg"_s}));

        // Card B stays in its reader, so card A gets another loop device.
        QCOMPARE(mounts.mountExfat(cardA, otherReader), QString());
        FileSystemService service;
        const auto opening = open(service, otherReader);
        QVERIFY2(opening, qPrintable(why(opening)));
        QCOMPARE(opening->history.actions.size(), 1);
        QCOMPARE(opening->history.actions[0].moves.value(0).destination,
                 url(otherReader, u"Cats/a.jpg"_s));
        QCOMPARE(opening->recovery.putBack, 1);
        QVERIFY2(opening->recovery.leftAlone.isEmpty(), qPrintable(opening->recovery.note()));
        QCOMPARE(filesBelow(otherReader + u"/DCIM"_s),
                 (QStringList{u"Cats/a.jpg"_s, u"Cats/c.jpg"_s, u"b.jpg"_s}));
        // Undo knows a.jpg under the numbers this mount gave it.
        const OperationJournal::Action filing = opening->history.actions[0];
        const auto undone =
            service
                .relocate(FileMove::reversedEach(filing.moves),
                          {OperationJournal::Role::undo, filing.name})
                .result();
        QVERIFY2(undone, qPrintable(why(undone)));
        QCOMPARE(filesBelow(otherReader + u"/DCIM"_s),
                 (QStringList{u"Cats/c.jpg"_s, u"a.jpg"_s, u"b.jpg"_s}));
    }
};

QTEST_GUILESS_MAIN(tst_VolumeJournal)
#include "tst_VolumeJournal.moc"
