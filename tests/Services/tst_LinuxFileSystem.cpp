#include "Services/Platform/LinuxFileSystem.h"
#include "Services/Platform/LinuxTrash.h"
#include "support/PrivateMounts.h"
#include "support/RecordingCalls.h"
#include "support/TestFolders.h"
#include "support/TestRows.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QProcess>
#include <QTest>

#include <atomic>
#include <cerrno>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>

using namespace TestFolders;
using namespace Qt::StringLiterals;

namespace {

QByteArray encoded(const QString &path)
{
    return QFile::encodeName(path);
}

struct stat statOf(const QString &path)
{
    struct stat st = {};
    ::lstat(encoded(path).constData(), &st);
    return st;
}

QString uidText()
{
    return QString::number(::getuid());
}

// Every entry of a folder, hidden ones included: temporary copies must never stay behind.
QStringList entriesOf(const QString &folder)
{
    return QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::System |
                                  QDir::NoDotAndDotDot);
}

// What is at a path, so a test can show that a failed call changed nothing.
QString describe(const QString &path)
{
    struct stat st;
    if (::lstat(encoded(path).constData(), &st) != 0) {
        return u"nothing"_s;
    }
    return S_ISLNK(st.st_mode)   ? u"link to "_s + QFileInfo(path).symLinkTarget()
           : S_ISDIR(st.st_mode) ? u"folder holding "_s + entriesOf(path).join(u',')
           : S_ISREG(st.st_mode) ? u"file holding "_s + QString::fromLatin1(readFile(path))
                                 : u"special file"_s;
}

// Lays out one entry of `kind` at `path`, with its parent folder; "nothing" lays out the parent.
void makeEntry(const QString &kind, const QString &path)
{
    const QFileInfo info(path);
    QDir().mkpath(info.path());
    const QByteArray name = encoded(path);
    if (kind == "file"_L1) {
        writeFile(info.path(), info.fileName(), name);
    } else if (kind == "photo"_L1) { // larger than one copy buffer, with a mode and times to keep
        QByteArray bytes(2'500'000, Qt::Uninitialized);
        for (int i = 0; i < bytes.size(); ++i) {
            bytes[i] = char(i * 31 + i / 7);
        }
        writeFile(info.path(), info.fileName(), bytes);
        const struct timespec times[2] = {{1500000000, 500000000}, {1600000000, 123456789}};
        QCOMPARE(::chmod(name.constData(), 0604), 0);
        QCOMPARE(::utimensat(AT_FDCWD, name.constData(), times, 0), 0);
    } else if (kind == "folder"_L1) {
        writeFile(path, u"inside.jpg"_s);
    } else if (kind == "empty folder"_L1) {
        QDir().mkpath(path);
    } else if (kind == "dangling link"_L1) {
        QVERIFY(QFile::link(info.path() + u"/nowhere"_s, path));
    } else if (kind == "link"_L1) {
        QVERIFY(QFile::link(writeFile(info.path(), u"linked.jpg"_s), path));
    } else if (kind == "fifo"_L1) {
        QCOMPARE(::mkfifo(name.constData(), 0600), 0);
    }
}

enum class Write { makeFolder, removeFile, removeEmptyFolder };

} // namespace

class tst_LinuxFileSystem : public QObject
{
    Q_OBJECT

private:
    QString path(const QString &relative) const { return m_dir->path() + u'/' + relative; }
    QString homeTrash() const { return path(u"data/Trash"_s); }
    // A fresh tmpfs (another device) at `folder`; returns why it could not, or nothing.
    QString mountTmpfs(const QString &folder, const char *size)
    {
        QDir().mkpath(folder);
        return m_mounts.mountTmpfs(folder, size);
    }

    // Mounts `volume` at `share`; returns the folder whose files it shows, as seen without it
    // (the share itself for a file system in an image), or why it could not.
    std::pair<QString, QString> mountVolume(const QString &volume, const QString &share)
    {
        const QString backing = path(u"backing"_s);
        QDir().mkpath(backing);
        QString why;
        if (volume == "sshfs"_L1) {
            why = m_mounts.mountSshfs(backing, share, path(u"sftp.sh"_s));
        } else if (volume == "bindfs"_L1) {
            why = m_mounts.mountFuse(volume, {backing, share}, share);
        } else {
            const QString image = path(u"ntfs.img"_s);
            QFile file(image);
            if (!file.open(QIODevice::WriteOnly) || !file.resize(16 << 20)) {
                return {{}, u"cannot make an image"_s};
            }
            file.close();
            if (QProcess::execute(u"mkntfs"_s, {u"-q"_s, u"-F"_s, u"-Q"_s, image}) != 0) {
                return {{}, u"mkntfs is missing or failed"_s};
            }
            why = m_mounts.mountFuse(volume, {u"-o"_s, u"windows_names"_s, image, share}, share);
            return {share, why};
        }
        return {backing, why};
    }

    // On FUSE mounts renaming without replacing is refused, and on sshfs two names of one file
    // show two inode numbers and one link each: each operation must still leave every item in
    // exactly one place, no temporary behind, and report success only then.
    std::unique_ptr<QTemporaryDir> m_dir;
    PrivateMounts m_mounts;
    LinuxFileSystem m_fs;

private Q_SLOTS:
    void init()
    {
        m_dir = std::make_unique<QTemporaryDir>();
        QVERIFY(m_dir->isValid());
        qputenv("XDG_DATA_HOME", encoded(path(u"data"_s)));
    }

    void cleanup()
    {
        m_mounts.unmountAll();
        m_dir.reset();
    }

    // Copies, and moves onto another volume (which copy too), must never leave a partial file.
    void moveAndCopy_data()
    {
        QTest::addColumn<QString>("operation");
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("occupant"); // what already holds the destination name
        QTest::addColumn<int>("expectedError");

        row("move a photo", "move", "photo", "nothing", 0);
        row("move a category with its photos", "move", "folder", "nothing", 0);
        row("move a dangling link, as a link", "move", "dangling link", "nothing", 0);
        row("move never replaces a photo", "move", "file", "file", EEXIST);
        row("move never replaces a dangling link", "move", "file", "dangling link", EEXIST);
        row("move never replaces an empty folder", "move", "folder", "empty folder", EEXIST);
        row("copy keeps bytes, mode and times", "copy", "photo", "nothing", 0);
        row("copy never replaces", "copy", "file", "file", EEXIST);
        row("copy refuses a folder", "copy", "folder", "nothing", EINVAL);
        row("copy refuses a link to a photo", "copy", "link", "nothing", EINVAL);
        row("copy refuses a FIFO, without blocking", "copy", "fifo", "nothing", EINVAL);
        row("move across keeps bytes, mode and times", "across", "photo", "nothing", 0);
        row("move across never replaces", "across", "file", "file", EEXIST);
        row("move across refuses a folder", "across", "folder", "nothing", EXDEV);
        row("move across refuses a link", "across", "dangling link", "nothing", EXDEV);
        row("move onto a full volume keeps the source", "across", "photo", "nothing", ENOSPC);
    }

    void moveAndCopy()
    {
        QFETCH(QString, operation);
        QFETCH(QString, kind);
        QFETCH(QString, occupant);
        QFETCH(int, expectedError);
        const QString target = path(u"target"_s);
        if (operation != "across"_L1) {
            QDir().mkpath(target);
        } else if (const QString problem =
                       mountTmpfs(target, expectedError == ENOSPC ? "size=64k" : "size=8m");
                   !problem.isEmpty()) {
            QSKIP(qPrintable(problem));
        }
        const QString source = path(u"Été 1.jpg"_s), destination = target + u"/Été 1.jpg"_s;
        makeEntry(kind, source);
        makeEntry(occupant, destination);
        const QString before = describe(source), occupied = describe(destination);
        const struct stat original = statOf(source);

        const Result<void> done = operation == "copy"_L1 ? m_fs.copyNoReplace(source, destination)
                                                         : m_fs.moveNoReplace(source, destination);

        QCOMPARE(errorOf(done), expectedError);
        // No partial or temporary copy, under any name.
        QCOMPARE(entriesOf(target).size(),
                 qsizetype(expectedError == 0 || occupant != "nothing"_L1));
        if (expectedError != 0) {
            QVERIFY(done.error().message.contains(u"\u201CÉté 1.jpg\u201D"_s)); // names the item
            QCOMPARE(describe(source), before);
            QCOMPARE(describe(destination), occupied);
            return;
        }
        const struct stat result = statOf(destination);
        QCOMPARE(describe(destination), before);
        QCOMPARE(describe(source), operation == "copy"_L1 ? before : u"nothing"_s);
        QCOMPARE(result.st_mode, original.st_mode);
        QCOMPARE(result.st_mtim.tv_sec, original.st_mtim.tv_sec);
        QCOMPARE(result.st_mtim.tv_nsec, original.st_mtim.tv_nsec);
        if (operation == "move"_L1) {
            QCOMPARE(result.st_ino, original.st_ino); // renamed, not copied
        }
    }

    void operationsOnAShare_data()
    {
        QTest::addColumn<QString>("volume");    // sshfs, bindfs or ntfs-3g
        QTest::addColumn<QString>("operation"); // move, copy in, folder or trash
        QTest::addColumn<QString>("existing");  // already in b/
        QTest::addColumn<int>("expectedError");
        for (const char *volume : {"sshfs", "bindfs", "ntfs-3g"}) {
            const auto named = [&](const char *name) {
                return QByteArray(volume) + ": " + name;
            };
            row(named("file to a free name"), volume, "move", "", 0);
            row(named("file never over a file"), volume, "move", "x.jpg", EEXIST);
            row(named("copy in"), volume, "copy in", "", 0);
            row(named("copy in never over a file"), volume, "copy in", "x.jpg", EEXIST);
            row(named("folder to a free name"), volume, "folder", "", 0);
            row(named("folder never over a folder"), volume, "folder", "f/y.jpg", EEXIST);
            row(named("trash"), volume, "trash", "", 0);
        }
    }

    void operationsOnAShare()
    {
        QFETCH(QString, volume);
        QFETCH(QString, operation);
        QFETCH(QString, existing);
        QFETCH(int, expectedError);
        const QString share = path(u"share"_s);
        QDir().mkpath(share);
        const auto [remote, why] = mountVolume(volume, share);
        if (!why.isEmpty()) {
            QSKIP(qPrintable(why));
        }
        for (const QString &folder : {u"/a/f"_s, u"/b"_s}) {
            QDir().mkpath(remote + folder);
        }
        writeFile(remote, u"a/x.jpg"_s, "ours");
        writeFile(path(u"local"_s), u"x.jpg"_s, "ours");
        if (!existing.isEmpty()) {
            writeFile(remote, u"b/"_s + existing, "theirs");
        }
        QString source = u"a/x.jpg"_s, destination = u"b/x.jpg"_s;
        Result<void> done;
        if (operation == "move"_L1) {
            done = m_fs.moveNoReplace(share + u"/a/x.jpg"_s, share + u"/b/x.jpg"_s);
        } else if (operation == "copy in"_L1) {
            source.clear();
            done = m_fs.copyNoReplace(path(u"local/x.jpg"_s), share + u"/b/x.jpg"_s);
        } else if (operation == "folder"_L1) {
            source = u"a/f"_s, destination = u"b/f"_s;
            done = m_fs.moveNoReplace(share + u"/a/f"_s, share + u"/b/f"_s);
        } else {
            const Result<QString> trashed =
                m_fs.moveToTrash(share + u"/a/x.jpg"_s, HomeTrash::allowed);
            done = trashed ? Result<void>() : std::unexpected(trashed.error());
            destination = trashed ? *trashed : QString();
        }
        QCOMPARE(done ? 0 : done.error().systemError, expectedError);
        if (!source.isEmpty()) {
            QCOMPARE(QFileInfo::exists(remote + u'/' + source), expectedError != 0);
        }
        if (operation == "trash"_L1) {
            QVERIFY2(QFile::exists(destination), qPrintable(destination));
        } else if (operation != "folder"_L1) {
            QCOMPARE(readFile(remote + u'/' + destination), expectedError ? "theirs" : "ours");
        } else {
            QVERIFY(QFileInfo(remote + u'/' + destination).isDir());
        }
        QCOMPARE(QDir(remote + u"/b"_s).entryList(QDir::AllEntries | QDir::NoDotAndDotDot
                                                  | QDir::Hidden).size(),
                 operation == "trash"_L1 ? 0 : 1);
    }

    void folderAndFileWrites_data()
    {
        QTest::addColumn<Write>("write");
        QTest::addColumn<QString>("existing");
        QTest::addColumn<int>("expectedError");
        QTest::addColumn<QString>("left"); // what is at the path afterwards

        row("make a folder", Write::makeFolder, "nothing", 0, "folder");
        row("make a folder where a file is", Write::makeFolder, "file", EEXIST, "file");
        row("remove a file", Write::removeFile, "file", 0, "nothing");
        row("remove file refuses a folder", Write::removeFile, "empty folder", EISDIR, "folder");
        row("remove an empty folder", Write::removeEmptyFolder, "empty folder", 0, "nothing");
        row("remove empty folder refuses a full one", Write::removeEmptyFolder, "folder", ENOTEMPTY,
            "folder");
    }

    void folderAndFileWrites()
    {
        QFETCH(Write, write);
        QFETCH(QString, existing);
        QFETCH(int, expectedError);
        QFETCH(QString, left);
        const QString target = path(u"target"_s);
        makeEntry(existing, target);

        const Result<void> result = write == Write::makeFolder   ? m_fs.makeFolder(target)
                                    : write == Write::removeFile ? m_fs.removeFile(target)
                                                                 : m_fs.removeEmptyFolder(target);

        QCOMPARE(errorOf(result), expectedError);
        QCOMPARE(describe(target).section(u' ', 0, 0), left);
    }

    void trashPicksFreeName_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QStringList>("taken"); // already in the trash
        QTest::addColumn<QString>("expected");

        row("first taken in files, second by a leftover trashinfo", "IMG_1.jpg",
            QStringList{u"files/IMG_1.jpg"_s, u"info/IMG_1 2.jpg.trashinfo"_s}, "IMG_1 3.jpg");
        row("hidden file", ".notes", QStringList{u"files/.notes"_s}, ".notes 2");
        row("two extensions", "archive.tar.gz", QStringList{u"files/archive.tar.gz"_s},
            "archive.tar 2.gz");
        // 254 bytes fit in files/ but not with ".trashinfo" after them in info/.
        const QString longBase(250, u'a');
        row("longest name shortened to fit its trashinfo", longBase + u".jpg"_s, QStringList(),
            longBase.left(241) + u".jpg"_s);
    }

    void trashPicksFreeName()
    {
        QFETCH(QString, name);
        QFETCH(QStringList, taken);
        QFETCH(QString, expected);
        for (const QString &entry : taken) {
            writeFile(homeTrash(), entry, "older");
        }

        const Result<QString> trashed =
            m_fs.moveToTrash(writeFile(m_dir->path(), name, "trashed"), HomeTrash::allowed);

        QCOMPARE(errorOf(trashed), 0);
        QCOMPARE(*trashed, homeTrash() + u"/files/"_s + expected);
        QCOMPARE(readFile(*trashed), QByteArray("trashed"));
        QVERIFY(QFile::exists(homeTrash() + u"/info/"_s + expected + u".trashinfo"_s));
        for (const QString &entry : taken) {
            QCOMPARE(readFile(homeTrash() + u'/' + entry), QByteArray("older"));
        }
    }

    void isTrashedItem_data()
    {
        QTest::addColumn<QString>("relative");
        QTest::addColumn<bool>("withInfoFolder");
        QTest::addColumn<bool>("expected");

        row("home trash", "data/Trash/files/a.jpg", true, true);
        row("own volume trash", "v/.Trash-$uid/files/a.jpg", true, true);
        row("shared volume trash", "v/.Trash/$uid/files/a.jpg", true, true);
        row("look-alike folders named files and info", "Project/files/a.jpg", true, false);
        row("trash without an info folder", "v/.Trash-$uid/files/a.jpg", false, false);
        row("inside a trashed folder", "data/Trash/files/Trip/a.jpg", true, false);
        row("the info file itself", "data/Trash/info/a.jpg.trashinfo", true, false);
    }

    void isTrashedItem()
    {
        QFETCH(QString, relative);
        QFETCH(bool, withInfoFolder);
        QFETCH(bool, expected);
        const QString item = path(relative.replace(u"$uid"_s, uidText()));
        QDir().mkpath(QFileInfo(item).path());
        if (withInfoFolder) {
            QDir().mkpath(QFileInfo(QFileInfo(item).path()).path() + u"/info"_s);
        }

        QCOMPARE(m_fs.isTrashedItem(item), expected);
    }

    void forgetTrashedItem()
    {
        const QString item = writeFile(m_dir->path(), u"IMG_1.jpg"_s);
        const Result<QString> trashed = m_fs.moveToTrash(item, HomeTrash::allowed);
        QCOMPARE(errorOf(trashed), 0);
        const QString info = homeTrash() + u"/info/IMG_1.jpg.trashinfo"_s;

        // Its .trashinfo is all that lists an item in the trash: never dropped while it is there.
        m_fs.forgetTrashedItem(*trashed);
        QVERIFY(QFile::exists(info));

        const QString lookAlike = writeFile(m_dir->path(), u"Project/info/a.jpg.trashinfo"_s);
        makeFolder(m_dir->path(), u"Project/files"_s);
        m_fs.forgetTrashedItem(path(u"Project/files/a.jpg"_s));
        QVERIFY(QFile::exists(lookAlike));
    }

    // Each volume has its own trash where one is usable; the home trash takes the rest.
    void trashWritesInfoThenMoves_data()
    {
        QTest::addColumn<QString>("volumeTrash"); // what the item's other volume holds, if any
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("expectedTrash"); // relative to the volume, or "home"

        row("photo", "", "file", "home");
        row("category folder", "", "folder", "home");
        row("volume without .Trash: its own .Trash-uid", "none", "file", ".Trash-$uid");
        row("volume with sticky .Trash: its per-user folder", "sticky", "file", ".Trash/$uid");
        row("volume .Trash without sticky bit is not used", "not sticky", "file", ".Trash-$uid");
        row("volume .Trash linked to a sticky folder is not used", "link", "file", ".Trash-$uid");
        row("no usable volume trash: home trash, copied across", "unusable", "file", "home");
    }

    void trashWritesInfoThenMoves()
    {
        QFETCH(QString, volumeTrash);
        QFETCH(QString, kind);
        QFETCH(QString, expectedTrash);
        const bool onVolume = !volumeTrash.isEmpty();
        const QString base = onVolume ? path(u"volume"_s) : m_dir->path();
        if (const QString problem = onVolume ? mountTmpfs(base, "size=1m") : QString();
            !problem.isEmpty()) {
            QSKIP(qPrintable(problem));
        }
        const QByteArray shared = encoded(base + u"/.Trash"_s);
        if (volumeTrash == "sticky"_L1 || volumeTrash == "not sticky"_L1) {
            QCOMPARE(::mkdir(shared.constData(), 0777), 0);
            QCOMPARE(::chmod(shared.constData(), volumeTrash == "sticky"_L1 ? 01777 : 0777), 0);
        } else if (volumeTrash == "link"_L1) {
            const QString sticky = makeFolder(base, u"elsewhere"_s);
            QCOMPARE(::chmod(encoded(sticky).constData(), 01777), 0);
            QVERIFY(QFile::link(sticky, QFile::decodeName(shared)));
        } else if (volumeTrash == "unusable"_L1) {
            writeFile(base, u".Trash-"_s + uidText(), "not a folder");
        }
        const QString name = u"Été a#b?c%d;"_s, item = base + u"/Fotos Mai/"_s + name;
        makeEntry(kind, item);
        const QString before = describe(item);
        const bool home = expectedTrash == "home"_L1;
        const QString trash =
            home ? homeTrash() : base + u'/' + expectedTrash.replace("$uid"_L1, uidText());
        const QDateTime start = QDateTime::currentDateTime();

        const Result<QString> trashed = m_fs.moveToTrash(item, HomeTrash::allowed);

        QCOMPARE(errorOf(trashed), 0);
        QCOMPARE(*trashed, trash + u"/files/"_s + name);
        QCOMPARE(describe(item), u"nothing"_s);
        QCOMPARE(describe(*trashed), before);
        QVERIFY(m_fs.isTrashedItem(*trashed));
        QCOMPARE(QFile::exists(homeTrash()), home);
        const QStringList info =
            QString::fromUtf8(readFile(trash + u"/info/"_s + name + u".trashinfo"_s)).split(u'\n');
        // A volume's own trash records the path from the volume's top, so it survives remounting.
        const QString recorded =
            (home ? base + u'/' : QString()) + u"Fotos%20Mai/%C3%89t%C3%A9%20a%23b%3Fc%25d%3B"_s;
        QCOMPARE(info.mid(0, 2), (QStringList{u"[Trash Info]"_s, u"Path="_s + recorded}));
        const QDateTime deleted =
            QDateTime::fromString(info.value(2), u"'DeletionDate='yyyy-MM-dd'T'HH:mm:ss"_s);
        QVERIFY2(deleted.isValid() && std::abs(deleted.secsTo(start)) < 2,
                 qPrintable(info.value(2)));
        QCOMPARE(info.mid(3), QStringList{QString()}); // one final newline
        for (const QString &folder : {trash, trash + u"/files"_s, trash + u"/info"_s}) {
            QCOMPARE(statOf(folder).st_mode & 07777, mode_t(0700));
        }
    }

    // A volume whose own trash cannot be made or written sends its items to the home trash only
    // when allowed: that copies them across disks. Refused, nothing moves and no .trashinfo
    // stays behind. Taken info names are no failure of the trash, nor is the home volume's.
    void volumeTrashUnusable_data()
    {
        QTest::addColumn<QString>("fault");
        QTest::addColumn<bool>(
            "onVolume"); // the item lies on the tmpfs, else beside the home trash
        QTest::addColumn<HomeTrash>("allowed");
        QTest::addColumn<QString>("outcome"); // its trash and name, or the failure's code

        const QString trashInfo = u"volume/.Trash-$uid/info/x.jpg.trashinfo"_s;
        row(".Trash-uid is a file, home trash refused", "file", true, HomeTrash::refused,
            "no volume trash");
        row(".Trash-uid is a file, home trash allowed", "file", true, HomeTrash::allowed,
            "home/x.jpg");
        row("info write fails (EIO), home trash refused", u"write "_s + trashInfo, true,
            HomeTrash::refused, "no volume trash");
        row("info write fails (EIO), home trash allowed", u"write "_s + trashInfo, true,
            HomeTrash::allowed, "home/x.jpg");
        row("info name taken meanwhile: the next name", u"open EEXIST "_s + trashInfo, true,
            HomeTrash::refused, "volume/x 2.jpg");
        row("home volume, refused: its own trash is the home trash", "", false, HomeTrash::refused,
            "home/x.jpg");
        row("home volume, info write fails: an error, no other trash",
            "write data/Trash/info/"
            "x.jpg.trashinfo",
            false, HomeTrash::allowed, "failed");
    }

    void volumeTrashUnusable()
    {
        QFETCH(QString, fault);
        QFETCH(bool, onVolume);
        QFETCH(HomeTrash, allowed);
        QFETCH(QString, outcome);
        const QString volume = path(u"volume"_s);
        if (const QString problem = mountTmpfs(volume, "size=1m"); !problem.isEmpty()) {
            QSKIP(qPrintable(problem));
        }
        const QString volumeTrash = volume + u"/.Trash-"_s + uidText();
        if (fault == "file"_L1) {
            writeFile(volume, u".Trash-"_s + uidText(), "not a folder");
        }
        auto calls = std::make_shared<RecordingCalls>();
        calls->base = QFileInfo(m_dir->path()).canonicalFilePath();
        if (!fault.isEmpty() && fault != "file"_L1) {
            const bool taken = fault.contains(u" EEXIST "_s);
            calls->failures.insert(fault.remove(u" EEXIST"_s).replace(u"$uid"_s, uidText()),
                                   taken ? EEXIST : EIO);
        }
        LinuxFileSystem fs(calls);
        const QString item = writeFile(onVolume ? volume : m_dir->path(), u"x.jpg"_s, "ours");

        const Result<QString> trashed = fs.moveToTrash(item, allowed);

        const auto infoFiles = [](const QString &trash) {
            return QDir(trash + u"/info"_s).entryList(QDir::Files | QDir::Hidden | QDir::System);
        };
        if (outcome == "no volume trash"_L1 || outcome == "failed"_L1) {
            QVERIFY(!trashed);
            QCOMPARE(trashed.error().code, outcome == "failed"_L1
                                               ? FileSystemError::Code::platform
                                               : FileSystemError::Code::noVolumeTrash);
            QCOMPARE(readFile(item), QByteArray("ours"));
            QCOMPARE(infoFiles(volumeTrash), QStringList());
            QCOMPARE(infoFiles(homeTrash()), QStringList());
            QCOMPARE(entriesOf(homeTrash() + u"/files"_s), QStringList());
            return;
        }
        const bool home = outcome.startsWith("home/"_L1);
        const QString trash = home ? homeTrash() : volumeTrash;
        const QString name = outcome.section(u'/', 1);
        QVERIFY2(trashed, qPrintable(why(trashed)));
        QCOMPARE(*trashed, trash + u"/files/"_s + name);
        QCOMPARE(readFile(*trashed), QByteArray("ours"));
        QVERIFY(!QFile::exists(item));
        QCOMPARE(infoFiles(trash), QStringList{name + u".trashinfo"_s});
        // The trash it did not use lists nothing: a stray .trashinfo would show a ghost item.
        QCOMPARE(infoFiles(home ? volumeTrash : homeTrash()), QStringList());
    }

    void listingMatchesVisit_data()
    {
        QTest::addColumn<int>("files");
        QTest::addColumn<int>("cancelAfter"); // checks before the listing is cancelled, -1: never
        QTest::newRow("small, on one thread") << 100 << -1;
        QTest::newRow("large, shared out") << 5000 << -1;
        QTest::newRow("large, cancelled while shared out") << 5000 << 400;
    }

    // A large folder's attributes are read on several threads: the listing still holds every
    // entry once, in the folder's order, as a visit hands them over; it counts each entry, and a
    // cancel stops it part-way.
    void listingMatchesVisit()
    {
        QFETCH(int, files);
        QFETCH(int, cancelAfter);
        const QString folder = path(u"many"_s);
        QVERIFY(QDir().mkpath(folder + u"/sub"_s));
        for (int i = 0; i < files; ++i) {
            writeFile(folder, u"f%1.jpg"_s.arg(i), QByteArray(i % 7, 'x'));
        }
        QList<EntryInfo> visited;
        QVERIFY(m_fs.visit(folder, [&](const EntryInfo &entry) { visited.append(entry); }));
        QCOMPARE(visited.size(), files + 1);

        std::atomic<int> checks = 0;
        std::atomic<qint64> found = 0;
        const ListingWatch watch{[&] { return cancelAfter >= 0 && ++checks > cancelAfter; }, &found};
        const Result<QList<EntryInfo>> listed = m_fs.list(folder, watch);
        if (cancelAfter >= 0) {
            QVERIFY(!listed);
            QCOMPARE(listed.error().code, FileSystemError::Code::cancelled);
            QVERIFY2(found < files / 2, qPrintable(QString::number(found)));
            return;
        }
        QVERIFY(listed);
        QCOMPARE(found.load(), qint64(files + 1));
        QCOMPARE(listed->size(), visited.size());
        for (qsizetype i = 0; i < visited.size(); ++i) {
            const EntryInfo &a = listed->at(i);
            const EntryInfo &b = visited[i];
            QCOMPARE(a.name, b.name);
            QCOMPARE(a.identity, b.identity);
            QCOMPARE(a.size, b.size);
            QCOMPARE(a.type, b.type);
            QVERIFY(a.modificationTime == b.modificationTime && a.hasAttributes && a.nameIsValid);
        }
    }
};

QTEST_GUILESS_MAIN(tst_LinuxFileSystem)
#include "tst_LinuxFileSystem.moc"
