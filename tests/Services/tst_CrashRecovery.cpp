#include "Services/FileOperations.h"
#include "Services/FileSystemService.h"
#include "Services/Platform/LinuxFileSystem.h"
#include "Services/Platform/SystemCalls.h"
#include "support/PrivateMounts.h"
#include "support/TestFolders.h"

#include <QDir>
#include <QDirIterator>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>

#include <sys/wait.h>
#include <unistd.h>

using namespace TestFolders;

namespace {

// The kernel's calls, except that the process dies at the n-th one, as if killed there.
class DyingCalls : public SystemCalls
{
public:
    explicit DyingCalls(int dieAt)
        : m_dieAt(dieAt)
    {
    }
    int open(const char *path, int flags, mode_t mode) override
    {
        return step(), SystemCalls::open(path, flags, mode);
    }
    int makeTemporary(char *pathTemplate, int flags) override
    {
        return step(), SystemCalls::makeTemporary(pathTemplate, flags);
    }
    int fsync(int fd) override { return step(), SystemCalls::fsync(fd); }
    int statAt(int dirFd, const char *path, struct stat *result, int flags) override
    {
        return step(), SystemCalls::statAt(dirFd, path, result, flags);
    }
    int renameAt2(int fromDirFd, const char *from, int toDirFd, const char *to,
                  unsigned int flags) override
    {
        return step(), SystemCalls::renameAt2(fromDirFd, from, toDirFd, to, flags);
    }
    int rename(const char *from, const char *to) override
    {
        return step(), SystemCalls::rename(from, to);
    }
    int link(const char *from, const char *to) override
    {
        return step(), SystemCalls::link(from, to);
    }
    int unlinkAt(int dirFd, const char *path, int flags) override
    {
        return step(), SystemCalls::unlinkAt(dirFd, path, flags);
    }

private:
    void step()
    {
        if (++m_calls == m_dieAt) {
            ::_exit(0);
        }
    }
    int m_dieAt;
    int m_calls = 0;
};

// The kernel's calls that make a step durable or visible, logged with how many steps the
// journal had recorded as done when each was made.
class RecordingCalls : public SystemCalls
{
public:
    struct Call
    {
        QString what; // "fsync file", "fsync folder", "publish"
        QString path; // the file or folder synced; the name published
        int journalDone = 0;
        bool trashInfoExists = false; // for a name published in a trash
    };
    QString journalPath;
    QList<Call> log;

    int fsync(int fd) override
    {
        const QFileInfo target(QFile::symLinkTarget(QStringLiteral("/proc/self/fd/%1").arg(fd)));
        return record(SystemCalls::fsync(fd),
                      target.isDir() ? QStringLiteral("fsync folder") : QStringLiteral("fsync file"),
                      target.filePath());
    }
    int renameAt2(int fromDirFd, const char *from, int toDirFd, const char *to,
                  unsigned int flags) override
    {
        return record(SystemCalls::renameAt2(fromDirFd, from, toDirFd, to, flags),
                      QStringLiteral("publish"), QFile::decodeName(to));
    }
    int rename(const char *from, const char *to) override
    {
        return record(SystemCalls::rename(from, to), QStringLiteral("publish"),
                      QFile::decodeName(to));
    }
    int link(const char *from, const char *to) override
    {
        return record(SystemCalls::link(from, to), QStringLiteral("publish"),
                      QFile::decodeName(to));
    }

private:
    // Only calls that succeeded: a rename refused across file systems published nothing.
    int record(int result, const QString &what, const QString &path)
    {
        if (result == 0) {
            const QFileInfo item(path);
            const QString info = item.dir().absoluteFilePath(
                QStringLiteral("../info/") + item.fileName() + QStringLiteral(".trashinfo"));
            log.append({what, path, int(readFile(journalPath).count("\"t\":\"done\"")),
                        QFile::exists(info)});
        }
        return result;
    }
};

constexpr int completed = 1;

// Every regular file below `folder` (hidden ones too) with its content.
QMultiMap<QByteArray, QString> contentsBelow(const QString &folder)
{
    QMultiMap<QByteArray, QString> files;
    QDirIterator it(folder, QDir::Files | QDir::Hidden | QDir::System,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        files.insert(readFile(path), QDir(folder).relativeFilePath(path));
    }
    return files;
}

} // namespace

// A batch is cut off at every system call it makes, in a child process that dies there; the
// next opening of the collection must find every photo exactly once, the disk as it was before
// the batch, nothing hidden left over, and the earlier action still undoable.
class tst_CrashRecovery : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void cutOffAtEveryCall_data();
    void cutOffAtEveryCall();
    void durableBeforeTheJournalSaysDone_data();
    void durableBeforeTheJournalSaysDone();

private:
    PrivateMounts m_mounts;
};

void tst_CrashRecovery::cutOffAtEveryCall_data()
{
    QTest::addColumn<QString>("batch");
    QTest::newRow("filing 5 photos across file systems") << "file";
    QTest::newRow("trashing 3 photos") << "trash";
    QTest::newRow("deleting a category of 3") << "delete";
}

void tst_CrashRecovery::cutOffAtEveryCall()
{
    QFETCH(QString, batch);
    int cutOffs = 0;
    for (int dieAt = 1;; ++dieAt) {
        QTemporaryDir dir;
        const QString root = dir.path() + QStringLiteral("/photos");
        const QString home = dir.path() + QStringLiteral("/home");
        const QString state = dir.path() + QStringLiteral("/state");
        qputenv("XDG_DATA_HOME", home.toUtf8());
        for (const char *name : {"a.jpg", "b.jpg", "c.jpg", "d.jpg", "e.jpg", "early.jpg"}) {
            writeFile(root, QString::fromUtf8(name), QByteArray("photo ") + name);
        }
        for (const char *name : {"Cats/x.jpg", "Cats/y.jpg", "Cats/z.jpg"}) {
            writeFile(root, QString::fromUtf8(name), QByteArray("cat ") + name);
        }
        makeFolder(root, QStringLiteral("Far"));
        if (const QString problem = m_mounts.mountTmpfs(root + QStringLiteral("/Far"), "size=1m");
            !problem.isEmpty()) {
            QSKIP(qPrintable(problem));
        }
        const QUrl rootURL = QUrl::fromLocalFile(root);
        const auto url = [&root](const QString &name) {
            return QUrl::fromLocalFile(root + QLatin1Char('/') + name);
        };
        // An earlier action, made and recorded before the one that is cut off.
        {
            FileSystemService service;
            QVERIFY(service.openJournal(rootURL, state).result().has_value());
            QVERIFY(service.moveShots({{url(QStringLiteral("early.jpg"))}}, url(QStringLiteral("Cats")),
                                      {OperationJournal::Role::action, QStringLiteral("Move Photo")})
                        .result()
                        .has_value());
        }
        const QMultiMap<QByteArray, QString> before = contentsBelow(root);

        const pid_t child = ::fork();
        QVERIFY(child >= 0);
        if (child == 0) {
            auto fs = std::make_shared<LinuxFileSystem>(std::make_shared<DyingCalls>(dieAt));
            FileOperations operations(fs);
            const Result<EntryInfo> rootInfo = fs->stat(root, true);
            auto journal = OperationJournal::open(state, root, rootInfo ? rootInfo->identity : QString());
            if (!journal) {
                ::_exit(2);
            }
            operations.setJournal(journal->get());
            const auto entry = [](OperationJournal::ActionKind kind) {
                return JournalEntry{OperationJournal::Role::action, QStringLiteral("Batch"), kind};
            };
            if (batch == QLatin1String("file")) {
                QList<QList<QUrl>> shots;
                for (const char *name : {"a.jpg", "b.jpg", "c.jpg", "d.jpg", "e.jpg"}) {
                    shots.append({url(QString::fromUtf8(name))});
                }
                (void)operations.recorded(entry(OperationJournal::ActionKind::moves), [&] {
                    return operations.moveShots(shots, url(QStringLiteral("Far")));
                });
            } else if (batch == QLatin1String("trash")) {
                (void)operations.recorded(entry(OperationJournal::ActionKind::moves), [&] {
                    return operations.moveShotsToTrash({{url(QStringLiteral("a.jpg"))},
                                                        {url(QStringLiteral("b.jpg"))},
                                                        {url(QStringLiteral("c.jpg"))}});
                });
            } else {
                (void)operations.recorded(entry(OperationJournal::ActionKind::deleteCategory), [&] {
                    return operations.deleteCategory(url(QStringLiteral("Cats")), rootURL);
                });
            }
            ::_exit(completed);
        }
        int status = 0;
        QCOMPARE(::waitpid(child, &status, 0), child);
        QVERIFY(WIFEXITED(status));
        const bool finished = WEXITSTATUS(status) == completed;
        QVERIFY(WEXITSTATUS(status) == 0 || finished);

        FileSystemService service;
        const Result<FileSystemService::JournalOpening> opening =
            service.openJournal(rootURL, state).result();
        QVERIFY2(opening.has_value(), qPrintable(opening ? QString() : opening.error().message));
        QMultiMap<QByteArray, QString> after = contentsBelow(root);
        const QMultiMap<QByteArray, QString> trashed = contentsBelow(home + QStringLiteral("/Trash/files"));
        after.unite(trashed);
        // Every photo exactly once, whatever happened, and nothing hidden left behind.
        QCOMPARE(QSet<QByteArray>(after.keyBegin(), after.keyEnd()).size(), after.size());
        QCOMPARE(QSet<QByteArray>(after.keyBegin(), after.keyEnd()),
                 QSet<QByteArray>(before.keyBegin(), before.keyEnd()));
        for (const QString &path : after) {
            QVERIFY2(!QFileInfo(path).fileName().startsWith(QLatin1Char('.')), qPrintable(path));
        }
        if (!finished) {
            // Cut off: all of the batch is undone, down to the trash's own records.
            QCOMPARE(contentsBelow(root), before);
            QVERIFY(QDir(home + QStringLiteral("/Trash/info")).isEmpty());
            ++cutOffs;
        }
        if (finished && batch == QLatin1String("delete")) {
            m_mounts.unmountAll();
            break; // the earlier action's photo left with its category: nothing to undo there
        }
        // The earlier action is still the last one, and undoing it works.
        const OperationJournal::History history = opening->history;
        QVERIFY(!history.actions.isEmpty());
        const bool batchKept = finished && batch != QLatin1String("delete");
        QCOMPARE(history.actions.last().name,
                 batchKept ? QStringLiteral("Batch") : QStringLiteral("Move Photo"));
        QList<FileMove> undo;
        for (const FileMove &move : history.actions.last().moves) {
            undo.append(move.reversed());
        }
        QVERIFY(service.relocate(undo, {OperationJournal::Role::undo, QStringLiteral("x")})
                    .result()
                    .has_value());
        m_mounts.unmountAll();
        if (finished) {
            break;
        }
    }
    QVERIFY(cutOffs >= 5);
    qInfo("%d cut-off points", cutOffs);
}

void tst_CrashRecovery::durableBeforeTheJournalSaysDone_data()
{
    QTest::addColumn<QString>("to"); // where the photo goes
    QTest::addColumn<bool>("copied"); // its data written anew on another file system
    QTest::newRow("within a file system") << "Cats" << false;
    QTest::newRow("across file systems") << "Far" << true;
    QTest::newRow("into the trash") << "trash" << false;
}

// The order of one move: its data synced, then published under its name, then the folder
// synced, and only then the journal's step: the journal never says done before the disk has it.
void tst_CrashRecovery::durableBeforeTheJournalSaysDone()
{
    QFETCH(QString, to);
    QFETCH(bool, copied);
    QTemporaryDir dir;
    const QString root = dir.path() + QStringLiteral("/photos");
    qputenv("XDG_DATA_HOME", (dir.path() + QStringLiteral("/home")).toUtf8());
    writeFile(root, QStringLiteral("a.jpg"), "photo a");
    makeFolder(root, QStringLiteral("Cats"));
    makeFolder(root, QStringLiteral("Far"));
    if (copied) {
        if (const QString problem = m_mounts.mountTmpfs(root + QStringLiteral("/Far"), "size=1m");
            !problem.isEmpty()) {
            QSKIP(qPrintable(problem));
        }
    }
    auto calls = std::make_shared<RecordingCalls>();
    auto fs = std::make_shared<LinuxFileSystem>(calls);
    auto journal = OperationJournal::open(dir.path() + QStringLiteral("/state"), root,
                                          fs->stat(root, true)->identity);
    QVERIFY(journal);
    calls->journalPath = (*journal)->path();
    FileOperations operations(fs);
    operations.setJournal(journal->get());
    const QList<QList<QUrl>> shot{{QUrl::fromLocalFile(root + QStringLiteral("/a.jpg"))}};
    const Result<QList<FileMove>> moved =
        operations.recorded({OperationJournal::Role::action, QStringLiteral("Move Photo")}, [&] {
            return to == QLatin1String("trash")
                       ? operations.moveShotsToTrash(shot)
                       : operations.moveShots(shot, QUrl::fromLocalFile(root + u'/' + to));
        });
    m_mounts.unmountAll();
    QVERIFY(moved);
    const QString destination = moved->at(0).destination.toLocalFile();
    const QList<RecordingCalls::Call> &log = calls->log;
    const auto indexOf = [&log](const QString &what, const QString &path) {
        for (qsizetype i = 0; i < log.size(); ++i) {
            if (log[i].what == what && log[i].path == path) {
                return i;
            }
        }
        return qsizetype(-1);
    };
    const qsizetype published = indexOf(QStringLiteral("publish"), destination);
    const qsizetype folderSynced =
        indexOf(QStringLiteral("fsync folder"), QFileInfo(destination).absolutePath());
    QVERIFY(published >= 0);
    QVERIFY2(folderSynced > published, "the folder is synced after the name is published");
    QCOMPARE(log[folderSynced].journalDone, 0);
    QCOMPARE(readFile(calls->journalPath).count("\"t\":\"done\""), 1);
    // A copy's data is synced before it gets its name; the trash's record is there before
    // the item.
    qsizetype dataSynced = -1;
    for (qsizetype i = 0; i < published; ++i) {
        if (log[i].what == QLatin1String("fsync file")) {
            dataSynced = i;
        }
    }
    QCOMPARE(dataSynced >= 0, copied);
    QCOMPARE(log[published].trashInfoExists, to == QLatin1String("trash"));
}

QTEST_GUILESS_MAIN(tst_CrashRecovery)
#include "tst_CrashRecovery.moc"
