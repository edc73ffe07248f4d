#include "Services/Platform/LinuxFileSystem.h"
#include "support/RecordingCalls.h"
#include "support/TestFolders.h"
#include "support/TestRows.h"

#include <QDir>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

using namespace TestFolders;
using namespace Qt::StringLiterals;

namespace {

QByteArray encoded(const QString &path)
{
    return QFile::encodeName(path);
}

// What a path holds, so a row can name the expected outcome: "nothing" or the file's bytes.
QString contentsOf(const QString &path)
{
    return QFileInfo::exists(path) ? QString::fromLatin1(readFile(path)) : u"nothing"_s;
}

// Puts a file holding `bytes` at `path` the way another program saving a file would: written
// beside it and renamed over whatever is there.
void saveOver(const QString &path, const QByteArray &bytes)
{
    const QString incoming = writeFile(QFileInfo(path).path(), u"incoming.part"_s, bytes);
    QCOMPARE(::rename(encoded(incoming).constData(), encoded(path).constData()), 0);
}

} // namespace

// A file moved across devices is copied under a hidden name, flushed, published without
// replacing, its folder flushed, and only then is the source removed, and only if it is still
// the file that was copied. Every system call runs for real on disk; the recording seam fails
// one of them or lets another program act between two of them.
class tst_DurableMove : public QObject
{
    Q_OBJECT

private:
    // Hidden copies that would be left over, in both folders.
    QStringList temporariesLeft() const
    {
        return QDir(m_root).entryList({u".calvenor-*"_s}, QDir::Files | QDir::Hidden) +
               QDir(m_cats).entryList({u".calvenor-*"_s}, QDir::Files | QDir::Hidden);
    }

    // Runs `change` once, right after the first call recorded as `record`; says if it ran.
    std::shared_ptr<bool> onceAfter(const QString &record, std::function<void()> change)
    {
        auto ran = std::make_shared<bool>(false);
        m_calls->after = [=](const QString &call) {
            if (call == record && !std::exchange(*ran, true)) {
                change();
            }
        };
        return ran;
    }

    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<QTemporaryDir> m_home;
    // Canonical, as the kernel names the folders of open descriptors.
    QString m_root, m_cats, m_source, m_destination;
    std::shared_ptr<RecordingCalls> m_calls;
    std::shared_ptr<LinuxFileSystem> m_fs;

private Q_SLOTS:
    void init()
    {
        m_dir = std::make_unique<QTemporaryDir>();
        m_home = std::make_unique<QTemporaryDir>();
        QVERIFY(m_dir->isValid() && m_home->isValid());
        qputenv("XDG_DATA_HOME", encoded(m_home->path()));
        m_root = QFileInfo(m_dir->path()).canonicalFilePath();
        m_cats = makeFolder(m_root, u"Cats"_s);
        m_source = writeFile(m_root, u"a.jpg"_s, "ours");
        m_destination = m_cats + u"/a.jpg"_s;
        // Long ago, so a rewrite during the copy is seen even within one clock tick.
        setModificationTime(m_source, 1600000000);
        m_calls = std::make_shared<RecordingCalls>();
        m_calls->roles = {{m_source, u"source"_s},
                          {m_root, u"source folder"_s},
                          {m_destination, u"destination"_s},
                          {m_cats, u"destination folder"_s}};
        m_calls->secondVolume = m_cats;
        m_fs = std::make_shared<LinuxFileSystem>(m_calls);
    }

    void cleanup()
    {
        m_fs.reset();
        m_calls.reset();
        m_dir.reset();
        m_home.reset();
    }

    // Whichever step fails, one whole copy remains and no hidden copy is left behind. Cards and
    // SMB shares keep no modes of their own and refuse to be given one: no failure, the copy
    // goes on with theirs.
    void failedStepKeepsTheSource_data()
    {
        QTest::addColumn<QString>("failing"); // the call that fails
        QTest::addColumn<int>("errnum");      // with this errno
        QTest::addColumn<int>("expectedError");
        QTest::addColumn<QString>("destination");

        row("temporary file not created", "mkostemp temporary", EIO, EIO, "nothing");
        row("temporary file not flushed", "fsync temporary", EIO, EIO, "nothing");
        row("mode not kept for a fault of the disk", "fchmod temporary", EIO, EIO, "nothing");
        row("publishing fails", "renameat2 NOREPLACE temporary -> destination", EIO, EIO,
            "nothing");
        row("destination folder not flushed, copy withdrawn", "fsync destination folder", EIO, EIO,
            "nothing");
        row("source not removed, copy withdrawn", "unlinkat source", EIO, EIO, "nothing");
        // Unverified, the source might be another program's file by now: nothing is deleted.
        row("source folder not opened for the check, both kept", "open source folder", EIO, EIO,
            "ours");
        row("source not examined, both kept", "fstatat source", EIO, EIO, "ours");
        row("mode refused by FAT or exFAT in the kernel: outside the mount's mask",
            "fchmod temporary", EPERM, 0, "ours");
        row("mode refused by a FUSE FAT driver", "fchmod temporary", ENOSYS, 0, "ours");
        row("mode refused by an SMB share", "fchmod temporary", EOPNOTSUPP, 0, "ours");
    }

    void failedStepKeepsTheSource()
    {
        QFETCH(QString, failing);
        QFETCH(int, errnum);
        QFETCH(int, expectedError);
        QFETCH(QString, destination);
        m_calls->failures.insert(failing, errnum);

        const Result<void> moved = m_fs->moveNoReplace(m_source, m_destination);

        QVERIFY2(m_calls->log.contains(failing), qPrintable(m_calls->log.join(u'\n')));
        QCOMPARE(errorOf(moved), expectedError);
        QVERIFY(moved || moved.error().message.contains(u"\u201Ca.jpg\u201D"_s));
        QCOMPARE(contentsOf(m_source), expectedError ? u"ours"_s : u"nothing"_s);
        QCOMPARE(contentsOf(m_destination), destination);
        QCOMPARE(temporariesLeft(), QStringList());
    }

    // Another program changes the source while it is being copied: the copy is of a file that
    // is no longer at the source name, so removing that name would destroy the other file.
    void sourceChangedDuringCopyKeepsBoth_data()
    {
        QTest::addColumn<QString>("change");
        QTest::addColumn<QString>("changedAfter"); // the call after which it changes
        QTest::addColumn<int>("expectedError");
        QTest::addColumn<QString>("source"); // what the source name holds afterwards

        const char *copied = "fsync temporary";
        row("left alone: moved", "none", copied, 0, "nothing");
        row("replaced by another file", "replace", copied, ESTALE, "theirs");
        row("rewritten in place, same size", "rewrite", copied, ESTALE, "OURS");
        row("appended to", "append", copied, ESTALE, "ours, more");
        row("removed: the copy is the last one", "remove", copied, ESTALE, "nothing");
        row("removed between check and unlink: the copy is the last one", "remove",
            "fstatat source", ENOENT, "nothing");
    }

    void sourceChangedDuringCopyKeepsBoth()
    {
        QFETCH(QString, change);
        QFETCH(QString, changedAfter);
        QFETCH(int, expectedError);
        QFETCH(QString, source);
        const auto changed = onceAfter(changedAfter, [&] {
            QFile file(m_source);
            if (change == "replace"_L1) {
                saveOver(m_source, "theirs");
            } else if (change == "rewrite"_L1) {
                QVERIFY(file.open(QIODevice::ReadWrite));
                file.write("OURS");
            } else if (change == "append"_L1) {
                QVERIFY(file.open(QIODevice::Append));
                file.write(", more");
            } else if (change == "remove"_L1) {
                QVERIFY(file.remove());
            }
        });

        const Result<void> moved = m_fs->moveNoReplace(m_source, m_destination);

        QVERIFY(*changed);
        QCOMPARE(errorOf(moved), expectedError);
        if (!moved) {
            QVERIFY(moved.error().message.contains(u"\u201Ca.jpg\u201D"_s));
        }
        QCOMPARE(contentsOf(m_source), source);
        QCOMPARE(contentsOf(m_destination), u"ours"_s);
        QCOMPARE(QFileInfo(m_destination).lastModified().toSecsSinceEpoch(), 1600000000);
        QCOMPARE(temporariesLeft(), QStringList());
    }

    // Where renaming without replacing is missing, how the move is done: FUSE mounts may number
    // the two names of a link on their own (sshfs), so there a placeholder of ours takes the
    // file by name; a link that fails for any reason but a taken name falls back to it too.
    // Once linked, only our old name is removed: a file another program saved under it in
    // between stays.
    void fallbackWithoutNoReplace_data()
    {
        QTest::addColumn<bool>("fuse");
        QTest::addColumn<int>("linkError"); // 0: the link is made
        QTest::addColumn<QString>("publishedBy");
        // What another program does to the old name right after the link: saves a file of its
        // own there, or removes it (the new name is then the photo's last, and stays).
        QTest::addColumn<QString>("meanwhile");

        row("a local volume links", false, 0, "link source -> destination", "");
        row("a file saved under the old name after the link stays", false, 0,
            "link source -> destination", "saved");
        row("the old name removed after the link: the photo stays at the new one", false, 0,
            "link source -> destination", "removed");
        // The old name cannot be removed: the new one is taken back, the photo stays where it was.
        row("the old name refused: the link is taken back", false, 0, "link source -> destination",
            "refused");
        row("FUSE never links", true, 0, "rename source -> destination", "");
        row("links missing", false, EPERM, "rename source -> destination", "");
        row("a link refused by the network", false, EIO, "rename source -> destination", "");
    }

    void fallbackWithoutNoReplace()
    {
        QFETCH(bool, fuse);
        QFETCH(int, linkError);
        QFETCH(QString, publishedBy);
        QFETCH(QString, meanwhile);
        const bool savedMeanwhile = meanwhile == "saved"_L1;
        m_calls->secondVolume.clear(); // one file system: no copy
        m_calls->fuseVolumes = fuse;
        m_calls->failures.insert(u"renameat2 NOREPLACE source -> destination"_s, EINVAL);
        if (linkError) {
            m_calls->failures.insert(u"link source -> destination"_s, linkError);
        }
        const auto saved = onceAfter(u"link source -> destination"_s, [&] {
            if (savedMeanwhile) {
                saveOver(m_source, "theirs");
            } else if (meanwhile == "removed"_L1) {
                QFile::remove(m_source);
            }
        });

        if (meanwhile == "refused"_L1) {
            m_calls->failures.insert(u"unlink source"_s, EACCES);
        }
        const Result<void> moved = m_fs->moveNoReplace(m_source, m_destination);

        if (meanwhile == "refused"_L1) {
            QCOMPARE(errorOf(moved), EACCES);
            QCOMPARE(contentsOf(m_destination), u"nothing"_s);
            QCOMPARE(contentsOf(m_source), u"ours"_s);
            return;
        }
        QVERIFY(*saved || meanwhile.isEmpty());
        QCOMPARE(errorOf(moved), 0);
        QCOMPARE(contentsOf(m_destination), u"ours"_s);
        QCOMPARE(contentsOf(m_source), savedMeanwhile ? u"theirs"_s : u"nothing"_s);
        QVERIFY2(m_calls->log.contains(publishedBy), qPrintable(m_calls->log.join(u'\n')));
        QCOMPARE(m_calls->log.contains(u"link source -> destination"_s), !fuse);
    }

    void folderFallbackNeverReplaces_data()
    {
        QTest::addColumn<bool>("taken"); // an empty folder of another program has the name
        // How the rename onto our placeholder fails once, as where a volume replaces no folder
        // at all (fusefat: EPERM); or "theirs" when another program puts a file into it first.
        QTest::addColumn<QString>("refused");
        row("to a free name", false, QString());
        row("never over an empty folder", true, QString());
        row("a volume that replaces no folder: EPERM", false, u"EPERM"_s);
        row("a volume that replaces no folder: EEXIST", false, u"EEXIST"_s);
        row("another program's file in our placeholder", false, u"theirs"_s);
    }

    // Without renaming without replacing, a folder is renamed onto an empty folder made for it;
    // one that was there already is never replaced, empty or not.
    void folderFallbackNeverReplaces()
    {
        QFETCH(bool, taken);
        QFETCH(QString, refused);
        m_calls->secondVolume.clear();
        const QString from = makeFolder(m_root, u"Dogs"_s), to = m_cats + u"/Dogs"_s;
        writeFile(from, u"d.jpg"_s, "ours");
        if (taken) {
            makeFolder(m_cats, u"Dogs"_s);
        }
        m_calls->roles.insert(from, u"folder"_s);
        m_calls->roles.insert(to, u"new folder"_s);
        m_calls->failures.insert(u"renameat2 NOREPLACE folder -> new folder"_s, EINVAL);
        if (refused == "theirs"_L1) {
            m_calls->before = [&](const QString &record) {
                if (record == "rename folder -> new folder"_L1) {
                    writeFile(to, u"e.jpg"_s, "theirs");
                }
            };
        } else if (!refused.isEmpty()) {
            m_calls->failures.insert(u"rename folder -> new folder"_s,
                                     refused == "EPERM"_L1 ? EPERM : EEXIST);
        }

        const Result<void> moved = m_fs->moveNoReplace(from, to);

        const bool kept = taken || refused == "theirs"_L1;
        QCOMPARE(errorOf(moved), kept ? EEXIST : 0);
        QCOMPARE(QFile::exists(from + u"/d.jpg"_s), kept);
        QCOMPARE(QFile::exists(to + u"/d.jpg"_s), !kept);
        QCOMPARE(QFile::exists(to + u"/e.jpg"_s), refused == "theirs"_L1);
    }

    // Another program takes the destination name after the early check, while the file is
    // being copied. Each way of publishing must refuse to replace it.
    void nameTakenDuringCopyIsNeverReplaced_data()
    {
        QTest::addColumn<QString>("publishing"); // renameat2, link or placeholder
        QTest::addColumn<QString>("takenAfter"); // the call after which the name is taken
        QTest::addColumn<int>("expectedError");

        row("renameat2 NOREPLACE refuses", "renameat2", "fsync temporary", EEXIST);
        row("hard link refuses", "link", "fsync temporary", EEXIST);
        row("placeholder refuses", "placeholder", "fsync temporary", EEXIST);
        row("placeholder replaced by another program, refuses", "placeholder", "open destination",
            EEXIST);
        row("hard link publishes a free name", "link", "", 0);
        row("placeholder publishes a free name", "placeholder", "", 0);
    }

    void nameTakenDuringCopyIsNeverReplaced()
    {
        QFETCH(QString, publishing);
        QFETCH(QString, takenAfter);
        QFETCH(int, expectedError);
        // File systems without RENAME_NOREPLACE say EINVAL; those without hard links, EPERM.
        QString published = u"renameat2 NOREPLACE temporary -> destination"_s;
        if (publishing != "renameat2"_L1) {
            m_calls->failures.insert(published, EINVAL);
            published = u"link temporary -> destination"_s;
        }
        if (publishing == "placeholder"_L1) {
            m_calls->failures.insert(published, EPERM);
            published = u"rename temporary -> destination"_s;
        }
        const auto taken = onceAfter(takenAfter, [&] { saveOver(m_destination, "theirs"); });

        const Result<void> moved = m_fs->moveNoReplace(m_source, m_destination);

        QCOMPARE(errorOf(moved), expectedError);
        QCOMPARE(*taken, !takenAfter.isEmpty());
        QCOMPARE(contentsOf(m_destination), expectedError ? u"theirs"_s : u"ours"_s);
        QCOMPARE(contentsOf(m_source), expectedError ? u"ours"_s : u"nothing"_s);
        QCOMPARE(temporariesLeft(), QStringList());
        if (!expectedError) {
            QVERIFY2(m_calls->log.contains(published), qPrintable(m_calls->log.join(u'\n')));
        }
    }
};

QTEST_GUILESS_MAIN(tst_DurableMove)
#include "tst_DurableMove.moc"
