#include "Services/JournalKey.h"
#include "Services/OperationJournal.h"
#include "Services/Platform/FileIdentity.h"
#include "Services/Platform/LinuxFileSystem.h"
#include "support/PrivateMounts.h"
#include "support/RecordingCalls.h"
#include "support/StoreFixture.h"
#include "support/TestRows.h"

#include <QDirIterator>
#include <QProcess>
#include <QRegularExpression>
#include <QScopeGuard>

// The store's disk commands on the volumes photographers really sort on, each mounted for real:
// bindfs and sshfs (FUSE, no renaming without replacing; sshfs without stable numbers), an exFAT
// card through exfat-fuse (no hard links, names compared without case) and NTFS through ntfs-3g
// with Windows' name rules. After every command, its undo and its redo the disk must hold every
// photo exactly once, nothing hidden of ours, a trash that lists exactly its items, and show what
// the store shows; the store alerts exactly when a command was refused. A batch cut off midway is
// put back when the collection opens again, and a name another program takes in the last moment
// is never replaced.

using namespace Qt::StringLiterals;
using namespace TestFolders;

namespace {

// Unsorted a.jpg and b.jpg; Cats with its own b.jpg and c.jpg.
const char *const before = "a.jpg|b.jpg|Cats/b.jpg|Cats/c.jpg";

// The bytes of each photo written, named by where it was written.
using Origins = QHash<QByteArray, QString>;

// The trash folder `trash` as "trash/name=origin" lines, and a line for each item without its
// record or record without its item.
QStringList trashed(const QString &trash, const Origins &origins)
{
    QStringList lines;
    const QStringList items =
        QDir(trash + "/files"_L1).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden);
    for (const QString &item : items) {
        lines.append("trash/"_L1 + item + u'=' +
                     origins.value(readFile(trash + "/files/"_L1 + item), u"?"_s));
    }
    QStringList records = QDir(trash + "/info"_L1).entryList(QDir::Files | QDir::Hidden);
    for (QString &record : records) {
        record.chop(qsizetype(sizeof(".trashinfo") - 1));
    }
    if (records != items) {
        lines.append("trash records "_L1 + records.join(u','));
    }
    return lines;
}

// The collection's folders ("Cats/") and files ("Cats/b 2.jpg=b.jpg", by the origin of their
// bytes), anything hidden below the root (a temporary or placeholder left behind), and the items
// of the volume's and the home trash, sorted.
QStringList onDisk(const StoreFixture &f, const Origins &origins)
{
    const QString volumeTrash = f.path(".Trash-"_L1 + QString::number(::getuid()));
    QStringList lines =
        trashed(volumeTrash, origins) + trashed(f.home.path() + "/Trash"_L1, origins);
    QDirIterator it(f.path(), QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        const QString relative = QDir(f.path()).relativeFilePath(path);
        if (path == volumeTrash || path.startsWith(volumeTrash + u'/')) {
            continue;
        }
        lines.append(it.fileInfo().isDir()
                         ? relative + u'/'
                         : relative + u'=' + origins.value(readFile(path), u"?"_s));
    }
    lines.sort();
    return lines;
}

// What the store shows, as onDisk() names the collection's part.
QStringList shown(const StoreFixture &f, const Origins &origins)
{
    QStringList lines;
    for (const PhotoSection &section : f.store->sections()) {
        if (section.kind == PhotoSectionKind::category) {
            lines.append(section.name + u'/');
        }
        for (const Photo &photo : section.photos) {
            const QString path = photo.url.toLocalFile();
            lines.append(QDir(f.path()).relativeFilePath(path) + u'=' +
                         origins.value(readFile(path), u"?"_s));
        }
    }
    lines.sort();
    return lines;
}

} // namespace

class tst_StoreOnMounts : public QObject
{
    Q_OBJECT

    PrivateMounts m_mounts; // entered before any thread starts

    // Mounts `volume` over the fixture's root; returns why it could not, or nothing.
    QString mount(const QString &volume,
                  StoreFixture &f,
                  const QTemporaryDir &backing,
                  const QTemporaryDir &outside)
    {
        if (volume == "bindfs"_L1) {
            return m_mounts.mountFuse(volume, {backing.path(), f.path()}, f.path());
        }
        if (volume == "sshfs"_L1) {
            return m_mounts.mountSshfs(backing.path(), f.path(), outside.filePath(u"sftp.sh"_s));
        }
        const QString image = backing.filePath(u"volume.img"_s);
        if (volume == "exfat-fuse card"_L1) {
            return m_mounts.mountExfat(image, f.path());
        }
        QFile file(image);
        if (!file.open(QIODevice::WriteOnly) || !file.resize(16 << 20)) {
            return u"cannot make an image"_s;
        }
        file.close();
        if (volume == "fusefat card"_L1) {
            const QString mkfs =
                QStandardPaths::findExecutable(u"mkfs.vfat"_s, {u"/usr/sbin"_s, u"/sbin"_s});
            QProcess format; // its warning about a small FAT32 is noise
            format.start(mkfs, {u"-F"_s, u"32"_s, image});
            if (mkfs.isEmpty() || !format.waitForFinished() || format.exitCode() != 0) {
                return u"mkfs.vfat is missing or failed"_s;
            }
            return m_mounts.mountFuse(u"fusefat"_s, {u"-o"_s, u"rw+"_s, image, f.path()}, f.path());
        }
        const QString mkntfs =
            QStandardPaths::findExecutable(u"mkntfs"_s, {u"/usr/sbin"_s, u"/sbin"_s});
        QProcess format; // its complaints about an image's geometry are noise
        format.start(mkntfs, {u"-q"_s, u"-F"_s, u"-Q"_s, image});
        if (mkntfs.isEmpty() || !format.waitForFinished() || format.exitCode() != 0) {
            return u"mkntfs is missing or failed"_s;
        }
        return m_mounts.mountFuse(u"ntfs-3g"_s, {u"-o"_s, u"windows_names"_s, image, f.path()},
                                  f.path());
    }

private Q_SLOTS:
    void operations_data()
    {
        QTest::addColumn<QString>("volume");
        QTest::addColumn<QString>("operation");
        QTest::addColumn<QString>("after");  // on disk, as onDisk() lists it
        QTest::addColumn<QString>("undone"); // empty: as before
        // Made by another program just before the placeholder that is to reserve it is made: it
        // must stay. A file then goes to a free name; a folder's rename (no undone state) is
        // refused with an alert.
        QTest::addColumn<QString>("taken");

        const QString cats = u"Cats/|Cats/b.jpg=Cats/b.jpg|Cats/c.jpg=Cats/c.jpg"_s;
        const QString unsorted = u"|a.jpg=a.jpg|b.jpg=b.jpg"_s;
        // rclone is left out: its mount reads a file renamed onto another back empty for seconds
        // under load (cache off), or loses a renamed folder's files still in its write cache.
        for (const char *volume :
             {"bindfs", "sshfs", "exfat-fuse card", "ntfs-3g windows_names", "fusefat card"}) {
            const auto row = [&](const char *operation, const QString &after,
                                 const QString &undone = {}, const QString &taken = {}) {
                QTest::addRow("%s: %s", volume, operation)
                    << QString::fromLatin1(volume) << QString::fromLatin1(operation) << after
                    << undone << taken;
            };
            row("file into a category", cats + u"|Cats/a.jpg=a.jpg|b.jpg=b.jpg"_s);
            row("file onto a taken name", cats + u"|Cats/b 2.jpg=b.jpg|a.jpg=a.jpg"_s);
            row("create a category", cats + unsorted + u"|Dogs/"_s);
            // fusefat loses the files of a folder it renames: the rename is refused at once.
            const bool renames = QLatin1StringView(volume) != "fusefat card"_L1;
            row("rename a category",
                renames ? u"Pets/|Pets/b.jpg=Cats/b.jpg|Pets/c.jpg=Cats/c.jpg"_s + unsorted
                        : QString());
            row("rename a category's letter case",
                renames ? u"CATS/|CATS/b.jpg=Cats/b.jpg|CATS/c.jpg=Cats/c.jpg"_s + unsorted
                        : QString());
            row("delete a category", u"b 2.jpg=Cats/b.jpg|c.jpg=Cats/c.jpg"_s + unsorted);
            row("copy in", cats + u"|Cats/d.jpg=d.jpg"_s + unsorted,
                cats + unsorted + u"|trash/d.jpg=d.jpg"_s); // a copy's undo trashes it
            row("trash", cats + u"|b.jpg=b.jpg|trash/a.jpg=a.jpg"_s);
            row("cut off a filing, recovered", cats + unsorted);
            if (renames) {
                row("cut off a category rename, recovered", cats + unsorted);
            }
            row("file while another program takes the name",
                cats + u"|Cats/a 2.jpg=a.jpg|Cats/a.jpg=theirs|b.jpg=b.jpg"_s,
                cats + u"|Cats/a.jpg=theirs"_s + unsorted, u"Cats/a.jpg"_s);
            row("copy in while another program takes the name",
                cats + u"|Cats/d 2.jpg=d.jpg|Cats/d.jpg=theirs"_s + unsorted,
                cats + u"|Cats/d.jpg=theirs|trash/d 2.jpg=d.jpg"_s + unsorted, u"Cats/d.jpg"_s);
            if (renames) {
                row("rename while an empty folder takes the name", cats + unsorted + u"|Pets/"_s,
                    {}, u"Pets/"_s);
            }
        }
    }

    void operations()
    {
        QFETCH(QString, volume);
        QFETCH(QString, operation);
        QFETCH(QString, after);
        QFETCH(QString, undone);
        QFETCH(QString, taken);

        StoreFixture f;
        const QTemporaryDir backing;
        const QTemporaryDir outside;
        if (const QString why = mount(volume, f, backing, outside); !why.isEmpty()) {
            QSKIP(qPrintable(why));
        }
        const auto unmount = qScopeGuard([&] {
            f.store.reset();
            m_mounts.unmountAll();
        });
        Origins origins;
        QSize size(8, 6);
        for (const QString &name : split(before)) {
            origins.insert(readFile(writeJpeg(f.path(), name, size)), name);
            size.rwidth()++;
        }
        const QString dropped = writeJpeg(outside.path(), u"d.jpg"_s, size);
        origins.insert(readFile(dropped), u"d.jpg"_s);
        origins.insert("theirs", u"theirs"_s);
        const QStringList original = onDisk(f, origins);
        // The name is taken in the last moment: after the rename without replacing was refused
        // as unsupported, as the placeholder that is to reserve it is made.
        auto calls = std::make_shared<RecordingCalls>();
        calls->base = f.path();
        calls->before = [&f, taken](const QString &record) {
            const QString path = f.path(taken);
            if (taken.isEmpty()) {
                return;
            }
            if (record == "mkdir "_L1 + taken.chopped(1) && QDir().mkdir(path)) {
                return;
            }
            if (QFile file(path);
                record == "open "_L1 + taken && !file.exists() && file.open(QIODevice::WriteOnly)) {
                file.write("theirs");
            }
        };
        const auto expect = [&](const QString &listing, bool alerted = false) {
            QVERIFY(f.settle());
            QStringList expected = listing.isEmpty() ? original : split(listing);
            expected.sort();
            const QStringList disk = onDisk(f, origins);
            QCOMPARE(disk.join(u'|'), expected.join(u'|'));
            QCOMPARE(shown(f, origins).join(u'|'),
                     disk.filter(QRegularExpression(u"^(?!trash)"_s)).join(u'|'));
            QVERIFY2(
                f.store->alert().has_value() == alerted,
                qPrintable("alert: "_L1 + f.store->alert().value_or(UserFacingAlert()).message));
        };

        if (operation.startsWith("cut off"_L1)) {
            // A batch cut off once its one move was made (a.jpg into Cats, or Cats renamed to
            // Pets): begun, never ended.
            const bool filing = operation.contains("filing"_L1);
            const QString from = f.path(filing ? u"a.jpg"_s : u"Cats"_s);
            const QString to = f.path(filing ? u"Cats/a.jpg"_s : u"Pets"_s);
            LinuxFileSystem direct;
            const QString root = f.path();
            const QString identity = FileIdentity::of(*direct.stat(root, true));
            auto journal = OperationJournal::open(OperationJournal::defaultStateFolder(),
                                                  JournalKey::of(root, identity), root, identity);
            QVERIFY2(journal, qPrintable(why(journal)));
            const FileMove move{QUrl::fromLocalFile(from), QUrl::fromLocalFile(to),
                                FileIdentity::of(*direct.stat(from))};
            const qint64 batch = *(*journal)->beginBatch(OperationJournal::Role::action, u"Move"_s);
            QVERIFY((*journal)->intend(batch, move));
            QVERIFY(direct.moveNoReplace(from, to));
            QVERIFY((*journal)->performed(batch, move));
        }
        CollectionStore &store = f.make(std::make_shared<LinuxFileSystem>(calls));
        QVERIFY(f.open());
        if (operation.startsWith("cut off"_L1)) {
            QCOMPARE(store.recoveryReport().value_or(JournalRecovery::Report()).putBack, 1);
            expect(after);
            QCOMPARE(f.undoStack.count(), 0);
            return;
        }

        if (!taken.isEmpty() && undone.isEmpty()) {
            QTest::ignoreMessage(QtWarningMsg, QRegularExpression(u"^Couldn"_s));
        }
        const QString catsID = f.sectionNamed(u"Cats"_s)->id;
        const QString photo = operation == "file onto a taken name"_L1 ? u"b.jpg"_s : u"a.jpg"_s;
        store.select(f.idOf(photo), f.sectionNamed(u"Unsorted"_s)->id, {});
        if (operation.startsWith("file"_L1)) {
            store.moveSelectionToDigit(1);
        } else if (operation == "create a category"_L1) {
            store.showNewCategoryPrompt();
            store.submitCategoryPrompt(*store.categoryPrompt(), u"Dogs"_s);
        } else if (operation.startsWith("rename"_L1) && after.isEmpty()) {
            store.showRenamePrompt(catsID);
            QVERIFY(!store.categoryPrompt());
            expect(after, true);
            QCOMPARE(f.undoStack.count(), 0);
            return;
        } else if (operation.startsWith("rename"_L1)) {
            store.showRenamePrompt(catsID);
            store.submitCategoryPrompt(*store.categoryPrompt(),
                                       operation.contains("case"_L1) ? u"CATS"_s : u"Pets"_s);
        } else if (operation == "delete a category"_L1) {
            store.requestDeleteCategory(catsID);
            store.confirmDeleteCategory(*store.deleteCategoryPrompt());
        } else if (operation.startsWith("copy in"_L1)) {
            store.copyExternalFiles({QUrl::fromLocalFile(dropped)}, catsID);
        } else {
            store.moveSelectionToTrash();
        }
        if (!taken.isEmpty() && undone.isEmpty()) {
            expect(after, true);
            QCOMPARE(f.undoStack.count(), 0);
            return;
        }
        for (const QString &step : {u"do"_s, u"undo"_s, u"redo"_s}) {
            step == "undo"_L1   ? f.undoStack.undo()
            : step == "redo"_L1 ? f.undoStack.redo()
                                : void();
            expect(step == "undo"_L1 ? undone : after);
            QVERIFY2(!QTest::currentTestFailed(), qPrintable(step));
            QCOMPARE(f.undoStack.count(), 1);
        }
    }
};

QTEST_GUILESS_MAIN(tst_StoreOnMounts)
#include "tst_StoreOnMounts.moc"
