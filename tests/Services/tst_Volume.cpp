// The mount table read as the kernel writes it, and what each kind of volume is taken to do.

#include "Services/Platform/BlockDeviceTags.h"
#include "Services/Platform/DeviceVolumes.h"
#include "Services/Platform/Volume.h"

#include "support/TestRows.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <sys/sysmacros.h>

using namespace Qt::StringLiterals;

class tst_Volume : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void describesEachKind_data()
    {
        QTest::addColumn<QByteArray>("line");
        QTest::addColumn<QString>("mountPoint");
        QTest::addColumn<QString>("source");
        QTest::addColumn<int>("kind");
        // stable inodes, changes seen, renames without replacing, Windows names, read-only
        QTest::addColumn<QString>("abilities");
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("identity");
        const auto local = int(Volume::Kind::local);
        const auto card = int(Volume::Kind::removable);
        const auto share = int(Volume::Kind::share);
        row("ext4", QByteArray("26 1 254:0 / / rw,relatime - ext4 /dev/vda rw,discard"), u"/"_s,
            u"/dev/vda"_s, local, u"SSR--"_s, QString(), QString());
        row("exfat card, escaped space, optional fields",
            QByteArray("90 26 8:17 / /media/ana/EOS\\040R6 rw,nosuid shared:7 master:2 - exfat "
                       "/dev/sdb1 rw,fmask=0022"),
            u"/media/ana/EOS R6"_s, u"/dev/sdb1"_s, card, u"-SRW-"_s, u"EOS R6"_s, QString());
        row("exfat-fuse", QByteArray("91 26 0:50 / /mnt/card rw - fuseblk /dev/loop0 rw,user_id=0"),
            u"/mnt/card"_s, u"/dev/loop0"_s, card, u"-S-W-"_s, u"card"_s, QString());
        row("sshfs", QByteArray("92 26 0:51 / /mnt/nas rw - fuse.sshfs ana@nas:/photos rw"),
            u"/mnt/nas"_s, u"ana@nas:/photos"_s, share, u"-----"_s, u"nas:/photos"_s,
            u"share:fuse.sshfs:ana@nas:/photos"_s);
        row("nfs mounted read-only",
            QByteArray("93 26 0:52 / /net/nas ro,relatime - nfs4 nas:/export rw,vers=4.2"),
            u"/net/nas"_s, u"nas:/export"_s, share, u"S---R"_s, u"nas:/export"_s,
            u"share:nfs4:nas:/export"_s);
        row("cifs read-only by its super options",
            QByteArray("94 26 0:53 / /mnt/smb rw - cifs //nas/photos ro,vers=3.1.1"), u"/mnt/smb"_s,
            u"//nas/photos"_s, share, u"S-RWR"_s, u"//nas/photos"_s, u"share:cifs://nas/photos"_s);
        row("bindfs", QByteArray("95 26 0:54 / /mnt/b rw - fuse /home/ana/p rw"), u"/mnt/b"_s,
            u"/home/ana/p"_s, int(Volume::Kind::fuse), u"-----"_s, u"b"_s, QString());
    }
    void describesEachKind()
    {
        QFETCH(QByteArray, line);
        const std::optional<MountEntry> entry = MountEntry::parse(line);
        QVERIFY(entry);
        QFETCH(QString, mountPoint);
        QFETCH(QString, source);
        QCOMPARE(entry->mountPoint, mountPoint);
        QCOMPARE(entry->source, source);
        const Volume volume = Volume::describe(*entry);
        QTEST(int(volume.kind), "kind");
        const QString abilities = QString(volume.stableInodes ? u'S' : u'-')
                                  + (volume.changesSeen ? u'S' : u'-')
                                  + (volume.renamesWithoutReplacing ? u'R' : u'-')
                                  + (volume.names.windowsNames ? u'W' : u'-')
                                  + (volume.readOnly ? u'R' : u'-');
        QTEST(abilities, "abilities");
        QTEST(volume.name, "name");
        QTEST(volume.identity, "identity");
    }

    // The mount a path reaches: the innermost, and of two on one path the later.
    void findsTheMountAPathReaches()
    {
        const QByteArray table = "26 1 254:0 / / rw - ext4 /dev/vda rw\n"
                                 "90 26 8:17 / /media/card rw - vfat /dev/sdb1 rw\n"
                                 "91 26 8:18 / /media/cardboard rw - ext4 /dev/sdc1 rw\n"
                                 "92 90 0:50 /DCIM /media/card/photos rw - vfat /dev/sdb1 rw\n"
                                 "93 26 8:33 / /media/card rw - exfat /dev/sdd1 rw\n"
                                 "garbage without fields\n";
        const auto reached = [&](const char *path) {
            const auto entry = MountEntry::containing(table, QString::fromUtf8(path));
            return entry ? entry->source + u' ' + entry->mountPoint : QString();
        };
        QCOMPARE(reached("/home/ana"), u"/dev/vda /"_s);
        QCOMPARE(reached("/media/card/x"), u"/dev/sdd1 /media/card"_s);
        QCOMPARE(reached("/media/cardboard"), u"/dev/sdc1 /media/cardboard"_s);
        QCOMPARE(reached("/media/card/photos/a.jpg"), u"/dev/sdd1 /media/card"_s);
        const Volume bound = Volume::describe(*MountEntry::containing(
            table.left(table.indexOf("93 ")), u"/media/card/photos/2024"_s));
        QCOMPARE(bound.pathWithin(u"/media/card/photos/2024"_s), u"/DCIM/2024"_s);
        QCOMPARE(bound.pathWithin(u"/media/card/photos"_s), u"/DCIM"_s);
        QCOMPARE(MountEntry::containing(table, u"/media/cardboard"_s)->device,
                 quint64(makedev(8, 18)));
        QVERIFY(!MountEntry::parse("1 2 3:4 / relative rw - ext4 /dev/x rw"));
        QVERIFY(!MountEntry::parse("1 2 3:4 / /m rw - ext4"));
    }

    // Whether a device's numbers last, for the identities of its files: read once, and again
    // when another file system takes a device number or one is mounted in the middle of a
    // listing.
    void tellsEachDeviceWhetherItsNumbersLast()
    {
        using Numbers = DeviceVolumes::Numbers;
        QByteArray table = "26 1 254:0 / / rw - ext4 /dev/vda rw\n"
                           "91 26 7:0 / /mnt/card rw - fuseblk /dev/loop0 rw\n";
        bool changed = false;
        int reads = 0;
        DeviceVolumes devices([&] { return ++reads, table; },
                              [&] { return std::exchange(changed, false); });
        QVERIFY(devices.of(makedev(7, 0)) == (Numbers{false, 1000}));
        QVERIFY(devices.of(makedev(254, 0)) == Numbers{});
        QVERIFY(devices.of(makedev(0, 99)) == Numbers{}); // a btrfs subvolume, say
        devices.refresh();
        QCOMPARE(reads, 1);
        table.replace("fuseblk /dev/loop0", "tmpfs tmpfs");
        changed = true;
        devices.refresh();
        QVERIFY(devices.of(makedev(7, 0)) == Numbers{});
        table += "92 26 0:60 / /mnt/nas rw - fuse.sshfs ana@nas:/ rw\n";
        changed = true;
        QVERIFY(devices.of(makedev(0, 60)) == (Numbers{false, 1000}));
        QCOMPARE(reads, 3);
    }

    // A card is known by the links udev makes to its device, relative and escaped as udev
    // writes them; links to other devices say nothing of it.
    void knowsABlockDeviceByItsLinks_data()
    {
        QTest::addColumn<QStringList>("links"); // "by-uuid/NAME" leads to the device, "!…" elsewhere
        QTest::addColumn<QString>("identity");
        row("uuid", QStringList{u"by-uuid/6FD7-DFAC"_s}, u"uuid:6FD7-DFAC"_s);
        row("uuid before label", QStringList{u"by-label/CARD"_s, u"by-uuid/6FD7-DFAC"_s},
            u"uuid:6FD7-DFAC"_s);
        row("label alone, with an escaped space",
            QStringList{u"!by-uuid/0000-0000"_s, u"by-label/EOS\\x20R6"_s}, u"label:EOS R6"_s);
        row("links to other devices only", QStringList{u"!by-uuid/0000-0000"_s, u"!by-label/X"_s},
            QString());
    }
    void knowsABlockDeviceByItsLinks()
    {
        QFETCH(QStringList, links);
        const QTemporaryDir dir;
        const QString device = dir.path() + u"/sdb1"_s; // neither a file system nor a link target
        QVERIFY(QDir().mkpath(dir.path() + u"/disk/by-uuid"_s));
        QVERIFY(QDir().mkpath(dir.path() + u"/disk/by-label"_s));
        QFile file(device);
        QVERIFY(file.open(QIODevice::WriteOnly) && file.write(QByteArray(4096, 'x')) == 4096);
        file.close();
        QFile other(dir.path() + u"/sdc1"_s);
        QVERIFY(other.open(QIODevice::WriteOnly));
        for (const QString &link : std::as_const(links)) {
            const bool elsewhere = link.startsWith(u'!');
            QVERIFY(QFile::link(elsewhere ? u"../../sdc1"_s : u"../../sdb1"_s,
                                dir.path() + u"/disk/"_s + link.mid(elsewhere ? 1 : 0)));
        }
        QTEST(BlockDeviceTags::identity(BlockDeviceTags::read(device, dir.path() + u"/disk"_s)),
              "identity");
    }

    void refusesNamesTheVolumeRefuses_data()
    {
        QTest::addColumn<bool>("windows");
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("refusal"); // a part of the message; empty: accepted
        row("plain", false, u"Keepers: 2024?"_s, QString());
        row("slash", false, u"a/b"_s, u"“/”"_s);
        row("dot dot", false, u".."_s, u"“..”"_s);
        row("256 bytes", false, QString(128, QChar(0xe9)), u"256 bytes"_s);
        row("255 bytes", false, QString(255, u'a'), QString());
        row("colon on a card", true, u"Keepers: 2024"_s, u"“:”"_s);
        row("question mark", true, u"q?m"_s, u"“?”"_s);
        row("backslash", true, u"a\\b"_s, u"“\\”"_s);
        row("control", true, u"a\tb"_s, u"control"_s);
        row("trailing dot", true, u"Best."_s, u"dot or a space"_s);
        row("trailing space", true, u"Best "_s, u"dot or a space"_s);
        row("255 accents in UTF-16", true, QString(255, QChar(0xe9)), QString());
        row("256 in UTF-16", true, QString(256, u'a'), u"256 characters"_s);
    }
    void refusesNamesTheVolumeRefuses()
    {
        QFETCH(bool, windows);
        QFETCH(QString, name);
        QFETCH(QString, refusal);
        const NameRules rules{windows, windows, 255};
        const QString message = rules.refusal(name);
        if (refusal.isEmpty()) {
            QVERIFY2(message.isEmpty(), qPrintable(message));
        } else {
            QVERIFY2(message.contains(refusal), qPrintable(message));
        }
    }
};

QTEST_GUILESS_MAIN(tst_Volume)
#include "tst_Volume.moc"
