#include "Services/FileOperations.h"
#include "Services/Platform/FileIdentity.h"
#include "support/FaultyFileSystem.h"
#include "support/TestFolders.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <unistd.h>

using namespace TestFolders;
using namespace Qt::StringLiterals;
using Call = FaultyFileSystem::Call;

// Filing, replaying, copying, trashing and category changes on real folders. Every case checks
// what is on disk afterwards, not only what the operation returned.
class tst_FileOperations : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void filingPicksFreeNames_data();
    void filingPicksFreeNames();
    void filingIntoOwnFolderMovesNothing();
    void failedMoveRollsBackEarlierMoves();
    void nameTakenDuringMoveLosesNothing();
    void relocateOntoOccupiedDestination();
    void relocateIntoVanishedFolderFails();
    void relocateNeverMovesAReplacement_data();
    void relocateNeverMovesAReplacement();
    void copyInTakesOnlyImages();
    void failedCopyLeavesNoCopies_data();
    void failedCopyLeavesNoCopies();
    void trashAndUndo();
    void undoAfterTrashWasEmptied();
    void failedTrashPutsBackEarlierItems();
    void redoOfTrashTrashesAgain();
    void failedUndoFromTrashKeepsEveryInfo_data();
    void failedUndoFromTrashKeepsEveryInfo();
    void rollbackLeavesAReplacementAlone();
    void categoryNames_data();
    void categoryNames();
    void createCategoryClashes_data();
    void createCategoryClashes();
    void renameCategory_data();
    void renameCategory();
    void deleteAndRestoreCategory();
    void deleteCategoryWithSubfolderMovesNothing();
    void failedFolderRemovalRollsBack();
    void restoreWhenNameTakenMovesNothing();
    void shotsMoveWhole_data();
    void shotsMoveWhole();
    void failureAtAnyMemberMovesNothing_data();
    void failureAtAnyMemberMovesNothing();
    void deletedCategoryReturnsShotsWhole();
    void copyInKeepsShotsPaired();

private:
    QString root() const { return m_dir->path(); }
    QUrl url(const QString &relative) const
    {
        return QUrl::fromLocalFile(root() + QLatin1Char('/') + relative);
    }
    QString rel(const QUrl &u) const { return QDir(root()).relativeFilePath(u.toLocalFile()); }

    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<QTemporaryDir> m_home;
    std::shared_ptr<FaultyFileSystem> m_fs;
    std::unique_ptr<FileOperations> m_ops;
};

void tst_FileOperations::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    m_home = std::make_unique<QTemporaryDir>();
    // The trash lives under the data home; keep it inside the test's own folders.
    qputenv("XDG_DATA_HOME", m_home->path().toUtf8());
    m_fs = std::make_shared<FaultyFileSystem>();
    m_ops = std::make_unique<FileOperations>(m_fs);
}

void tst_FileOperations::filingPicksFreeNames_data()
{
    QTest::addColumn<QStringList>("existing");
    QTest::addColumn<QStringList>("toFile");
    QTest::addColumn<QStringList>("expected"); // destinations, relative to root

    QTest::newRow("free name kept") << QStringList{} << QStringList{QStringLiteral("a.jpg")}
                                    << QStringList{QStringLiteral("Cats/a.jpg")};
    QTest::newRow("IMG_1 becomes IMG_1 3")
        << QStringList{QStringLiteral("Cats/IMG_1.jpg"), QStringLiteral("Cats/IMG_1 2.jpg")}
        << QStringList{QStringLiteral("IMG_1.jpg")} << QStringList{QStringLiteral("Cats/IMG_1 3.jpg")};
    QTest::newRow("same name in two folders")
        << QStringList{} << QStringList{QStringLiteral("x.jpg"), QStringLiteral("Dogs/x.jpg")}
        << QStringList{QStringLiteral("Cats/x.jpg"), QStringLiteral("Cats/x 2.jpg")};
    QTest::newRow("letter case counts as taken")
        << QStringList{QStringLiteral("Cats/IMG_1.JPG")} << QStringList{QStringLiteral("img_1.jpg")}
        << QStringList{QStringLiteral("Cats/img_1 2.jpg")};
    QTest::newRow("no extension")
        << QStringList{QStringLiteral("Cats/notes")} << QStringList{QStringLiteral("notes")}
        << QStringList{QStringLiteral("Cats/notes 2")};
    QTest::newRow("last dot only")
        << QStringList{QStringLiteral("Cats/archive.tar.gz")}
        << QStringList{QStringLiteral("archive.tar.gz")}
        << QStringList{QStringLiteral("Cats/archive.tar 2.gz")};
    QTest::newRow("leading dot is no extension")
        << QStringList{QStringLiteral("Cats/.hidden")} << QStringList{QStringLiteral(".hidden")}
        << QStringList{QStringLiteral("Cats/.hidden 2")};
}

void tst_FileOperations::filingPicksFreeNames()
{
    QFETCH(QStringList, existing);
    QFETCH(QStringList, toFile);
    QFETCH(QStringList, expected);
    makeFolder(root(), QStringLiteral("Cats"));
    for (const QString &file : existing) {
        writeFile(root(), file, "old " + file.toUtf8());
    }
    QList<QUrl> urls;
    for (const QString &file : toFile) {
        writeFile(root(), file, "new " + file.toUtf8());
        urls.append(url(file));
    }
    const Result<QList<FileMove>> moves = m_ops->moveFiles(urls, url(QStringLiteral("Cats")));
    QVERIFY2(moves.has_value(), qPrintable(moves ? QString() : moves.error().message));
    QCOMPARE(moves->size(), expected.size());
    for (qsizetype i = 0; i < moves->size(); ++i) {
        QCOMPARE(rel(moves->at(i).source), toFile[i]);
        QCOMPARE(rel(moves->at(i).destination), expected[i]);
        QCOMPARE(readFile(moves->at(i).destination.toLocalFile()), "new " + toFile[i].toUtf8());
        QVERIFY(!QFile::exists(urls[i].toLocalFile()));
        QVERIFY(!moves->at(i).itemIdentity.isEmpty());
    }
    for (const QString &file : existing) {
        QCOMPARE(readFile(root() + QLatin1Char('/') + file), "old " + file.toUtf8());
    }
}

void tst_FileOperations::filingIntoOwnFolderMovesNothing()
{
    QList<QUrl> urls;
    for (const char *name : {"Cats/a.jpg", "Cats/b.jpg", "Cats/./c.jpg"}) {
        writeFile(root(), QString::fromUtf8(name));
        urls.append(url(QString::fromUtf8(name)));
    }
    const QStringList before = filesBelow(root());
    const Result<QList<FileMove>> moves = m_ops->moveFiles(urls, url(QStringLiteral("Cats/")));
    QVERIFY(moves.has_value());
    QVERIFY(moves->isEmpty());
    QCOMPARE(filesBelow(root()), before);
    QCOMPARE(m_fs->callCount, 0);
}

void tst_FileOperations::failedMoveRollsBackEarlierMoves()
{
    makeFolder(root(), QStringLiteral("Cats"));
    QList<QUrl> urls;
    for (const char *name : {"a.jpg", "b.jpg", "c.jpg"}) {
        writeFile(root(), QString::fromUtf8(name));
        urls.append(url(QString::fromUtf8(name)));
    }
    const QStringList before = filesBelow(root());
    m_fs->failNth(Call::move, 2, ENOSPC);
    const Result<QList<FileMove>> moves = m_ops->moveFiles(urls, url(QStringLiteral("Cats")));
    QVERIFY(!moves.has_value());
    QCOMPARE(moves.error().systemError, ENOSPC);
    QVERIFY(moves.error().message.contains(QStringLiteral("“b.jpg”")));
    QCOMPARE(filesBelow(root()), before);
}

// Another program creates the chosen name between our choice and our move: the move must not
// replace it, and the photo goes to the next free name.
void tst_FileOperations::nameTakenDuringMoveLosesNothing()
{
    writeFile(root(), QStringLiteral("a.jpg"), "ours");
    makeFolder(root(), QStringLiteral("Cats"));
    bool raced = false;
    m_fs->hook = [&](Call call, const QString &, const QString &destination) -> std::optional<int> {
        if (call == Call::move && !raced) {
            raced = true;
            QFile intruder(destination);
            intruder.open(QIODevice::WriteOnly);
            intruder.write("theirs");
        }
        return std::nullopt;
    };
    const Result<QList<FileMove>> moves =
        m_ops->moveFiles({url(QStringLiteral("a.jpg"))}, url(QStringLiteral("Cats")));
    QVERIFY(moves.has_value());
    QCOMPARE(rel(moves->first().destination), QStringLiteral("Cats/a 2.jpg"));
    QCOMPARE(readFile(root() + QStringLiteral("/Cats/a.jpg")), QByteArray("theirs"));
    QCOMPARE(readFile(root() + QStringLiteral("/Cats/a 2.jpg")), QByteArray("ours"));
}

void tst_FileOperations::relocateOntoOccupiedDestination()
{
    writeFile(root(), QStringLiteral("Cats/a.jpg"), "moved");
    writeFile(root(), QStringLiteral("a.jpg"), "newcomer");
    const Result<QList<FileMove>> moves =
        m_ops->relocate({{url(QStringLiteral("Cats/a.jpg")), url(QStringLiteral("a.jpg"))}});
    QVERIFY(moves.has_value());
    QCOMPARE(rel(moves->first().destination), QStringLiteral("a 2.jpg"));
    QCOMPARE(readFile(root() + QStringLiteral("/a 2.jpg")), QByteArray("moved"));
    QCOMPARE(readFile(root() + QStringLiteral("/a.jpg")), QByteArray("newcomer"));
    QVERIFY(m_ops->relocate({}).value().isEmpty());
}

void tst_FileOperations::relocateIntoVanishedFolderFails()
{
    writeFile(root(), QStringLiteral("a.jpg"));
    writeFile(root(), QStringLiteral("b.jpg"));
    makeFolder(root(), QStringLiteral("Cats"));
    const QStringList before = filesBelow(root());
    const Result<QList<FileMove>> moves = m_ops->relocate(
        {{url(QStringLiteral("a.jpg")), url(QStringLiteral("Cats/a.jpg"))},
         {url(QStringLiteral("b.jpg")), url(QStringLiteral("Gone/b.jpg"))}});
    QVERIFY(!moves.has_value());
    QCOMPARE(moves.error().code, FileSystemError::Code::fileNoSuchFile);
    QCOMPARE(moves.error().message, QStringLiteral("The folder “Gone” doesn’t exist."));
    QCOMPARE(filesBelow(root()), before);
}

// Undo must not move whatever file now sits where the photo was put.
// What another program may do to a filed member of a shot before its undo.
enum Change { replacedNewer, replacedOlder, inodeReused, editedInPlace };

void tst_FileOperations::relocateNeverMovesAReplacement_data()
{
    QTest::addColumn<QString>("member");
    QTest::addColumn<int>("change");
    QTest::addColumn<bool>("travels"); // on a volume that keeps birth times
    QTest::newRow("photo replaced") << u"IMG_1.jpg"_s << int(replacedNewer) << false;
    QTest::newRow("photo's inode given to a new file")
        << u"IMG_1.jpg"_s << int(inodeReused) << false;
    QTest::newRow("photo edited in place") << u"IMG_1.jpg"_s << int(editedInPlace) << true;
    QTest::newRow("sidecar rewritten by an editor") << u"IMG_1.xmp"_s << int(replacedNewer) << true;
    QTest::newRow("sidecar replaced by an older file")
        << u"IMG_1.xmp"_s << int(replacedOlder) << false;
}

void tst_FileOperations::relocateNeverMovesAReplacement()
{
    QFETCH(QString, member);
    QFETCH(int, change);
    QFETCH(bool, travels);
    for (const QString &name : {u"b.jpg"_s, u"IMG_1.jpg"_s, u"IMG_1.xmp"_s}) {
        writeFile(root(), name, name.toUtf8());
    }
    const QList<QList<QUrl>> shots{{url(u"b.jpg"_s)}, {url(u"IMG_1.jpg"_s), url(u"IMG_1.xmp"_s)}};
    QVERIFY(!m_ops->moveShots(shots, url(u"Cats"_s)).has_value()); // Cats does not exist yet
    QCOMPARE(filesBelow(root()), (QStringList{u"IMG_1.jpg"_s, u"IMG_1.xmp"_s, u"b.jpg"_s}));
    const QStringList before = filesBelow(root());
    makeFolder(root(), u"Cats"_s);
    Result<QList<FileMove>> moves = m_ops->moveShots(shots, url(u"Cats"_s));
    QVERIFY(moves.has_value());
    const QString path = root() + u"/Cats/"_s + member;
    travels = travels && (change != editedInPlace || !m_fs->stat(path)->birthTime.isDistantPast());
    if (change == editedInPlace) {
        QFile file(path);
        QVERIFY(file.open(QIODevice::Append));
        file.write(" edited");
    } else {
        // Saved aside and renamed over the filed one, as editors save.
        const QString saved = writeFile(root(), u"Cats/saving"_s, "their version");
        const qint64 later = QDateTime::currentSecsSinceEpoch() + 3600;
        setModificationTime(saved, change == replacedOlder ? 978307200 : later);
        QVERIFY(QFile::remove(path) && QFile::rename(saved, path));
    }
    if (change == inodeReused) {
        // Ext4 gives a deleted file's inode to the next new file at once; the record names the
        // new file's inode so on any file system.
        for (FileMove &move : *moves) {
            if (move.destination.toLocalFile() == path) {
                const QString recorded = move.itemIdentity;
                move.itemIdentity = FileIdentity::volumeKey(FileIdentity::of(*m_fs->stat(path)))
                                    + recorded.mid(FileIdentity::volumeKey(recorded).size());
            }
        }
    }
    const QStringList changed = filesBelow(root());
    const QByteArray content = readFile(path);
    const Result<QList<FileMove>> undone = m_ops->relocate(FileMove::reversedEach(*moves));
    QCOMPARE(undone.has_value(), travels);
    if (!travels) {
        const QString message = undone.error().message;
        QVERIFY2(message.contains(u"“"_s + member + u"” is a different file now"_s),
                 qPrintable(message));
    }
    QCOMPARE(filesBelow(root()), travels ? before : changed);
    QCOMPARE(readFile(travels ? root() + u"/"_s + member : path), content);
}

void tst_FileOperations::copyInTakesOnlyImages()
{
    QTemporaryDir outside;
    makeFolder(outside.path(), QStringLiteral("Folder.png"));
    writeFile(outside.path(), QStringLiteral("notes.txt"), "text");
    const QString png = writePng(outside.path(), QStringLiteral("shot.png"));
    writePng(root(), QStringLiteral("shot.png"));
    const QList<QUrl> dropped{QUrl::fromLocalFile(outside.path() + QStringLiteral("/Folder.png")),
                              QUrl::fromLocalFile(outside.path() + QStringLiteral("/notes.txt")),
                              QUrl::fromLocalFile(png)};
    const Result<QList<FileMove>> copies = m_ops->copyImageFiles(dropped, url(QString()));
    QVERIFY(copies.has_value());
    QCOMPARE(copies->size(), 1);
    QCOMPARE(rel(copies->first().destination), QStringLiteral("shot 2.png"));
    QCOMPARE(copies->first().source.toLocalFile(), png);
    QCOMPARE(readFile(copies->first().destination.toLocalFile()), readFile(png));
    QVERIFY(QFile::exists(png)); // a copy, not a move

    const Result<QList<FileMove>> none = m_ops->copyImageFiles({dropped[1]}, url(QString()));
    QVERIFY(none.has_value());
    QVERIFY(none->isEmpty());
}

void tst_FileOperations::failedCopyLeavesNoCopies_data()
{
    QTest::addColumn<bool>("replaced"); // another program puts its file in a copy's place
    QTest::newRow("copies removed") << false;
    QTest::newRow("a file in a copy's place stays") << true;
}

void tst_FileOperations::failedCopyLeavesNoCopies()
{
    QFETCH(bool, replaced);
    QTemporaryDir outside;
    QList<QUrl> dropped;
    for (const QString &name : {u"a.png"_s, u"b.png"_s, u"c.png"_s}) {
        dropped.append(QUrl::fromLocalFile(writePng(outside.path(), name)));
    }
    m_fs->hook = [&, seen = 0](Call call, const QString &,
                               const QString &) mutable -> std::optional<int> {
        if (call != Call::copy || ++seen < 3) {
            return std::nullopt;
        }
        if (replaced) {
            QFile::remove(root() + u"/a.png"_s);
            writeFile(root(), u"a.png"_s, "theirs");
        }
        return ENOSPC;
    };
    const Result<QList<FileMove>> copies = m_ops->copyImageFiles(dropped, url(QString()));
    QVERIFY(!copies.has_value());
    QCOMPARE(copies.error().systemError, ENOSPC);
    QCOMPARE(filesBelow(root()), replaced ? QStringList{u"a.png"_s} : QStringList());
    if (replaced) {
        QCOMPARE(readFile(root() + u"/a.png"_s), QByteArray("theirs"));
    }
}

static QStringList trashInfos(const QString &home)
{
    return QDir(home + QStringLiteral("/Trash/info")).entryList(QDir::Files);
}

void tst_FileOperations::trashAndUndo()
{
    writeFile(root(), QStringLiteral("a.jpg"), "a");
    writeFile(root(), QStringLiteral("Cats/b.jpg"), "b");
    const Result<QList<FileMove>> trashed =
        m_ops->moveToTrash({url(QStringLiteral("a.jpg")), url(QStringLiteral("Cats/b.jpg"))});
    QVERIFY2(trashed.has_value(), qPrintable(trashed ? QString() : trashed.error().message));
    QCOMPARE(filesBelow(root()), QStringList());
    QCOMPARE(trashInfos(m_home->path()).size(), 2);
    QList<FileMove> undo;
    for (const FileMove &move : *trashed) {
        QVERIFY(move.destination.toLocalFile().startsWith(m_home->path() + QStringLiteral("/Trash/files/")));
        undo.append(move.reversed());
    }
    const Result<QList<FileMove>> restored = m_ops->relocate(undo);
    QVERIFY(restored.has_value());
    QCOMPARE(filesBelow(root()), (QStringList{QStringLiteral("Cats/b.jpg"), QStringLiteral("a.jpg")}));
    QCOMPARE(readFile(root() + QStringLiteral("/a.jpg")), QByteArray("a"));
    QCOMPARE(trashInfos(m_home->path()), QStringList()); // no stale entries in the trash
}

void tst_FileOperations::undoAfterTrashWasEmptied()
{
    writeFile(root(), QStringLiteral("a.jpg"));
    const Result<QList<FileMove>> trashed = m_ops->moveToTrash({url(QStringLiteral("a.jpg"))});
    QVERIFY(trashed.has_value());
    QVERIFY(QFile::remove(trashed->first().destination.toLocalFile()));
    const Result<QList<FileMove>> restored = m_ops->relocate({trashed->first().reversed()});
    QVERIFY(!restored.has_value());
    QVERIFY2(restored.error().message.contains(QStringLiteral("is no longer in the trash")),
             qPrintable(restored.error().message));
}

void tst_FileOperations::failedTrashPutsBackEarlierItems()
{
    writeFile(root(), QStringLiteral("a.jpg"));
    writeFile(root(), QStringLiteral("b.jpg"));
    m_fs->failNth(Call::trash, 2, EIO);
    const Result<QList<FileMove>> trashed =
        m_ops->moveToTrash({url(QStringLiteral("a.jpg")), url(QStringLiteral("b.jpg"))});
    QVERIFY(!trashed.has_value());
    QCOMPARE(filesBelow(root()), (QStringList{QStringLiteral("a.jpg"), QStringLiteral("b.jpg")}));
    QCOMPARE(trashInfos(m_home->path()), QStringList());
    QVERIFY(m_ops->moveToTrash({}).value().isEmpty());
}

// Every item in the trash's files folder has its .trashinfo and every .trashinfo its item;
// otherwise file managers hide the item or list a ghost.
static QStringList trashMismatches(const QString &home)
{
    const QString trash = home + QStringLiteral("/Trash");
    QStringList files = QDir(trash + QStringLiteral("/files")).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden);
    QStringList infos;
    for (const QString &info : trashInfos(home)) {
        infos.append(info.chopped(int(qstrlen(".trashinfo"))));
    }
    QStringList mismatches;
    for (const QString &file : std::as_const(files)) {
        if (!infos.contains(file)) {
            mismatches.append(QStringLiteral("no info for ") + file);
        }
    }
    for (const QString &info : std::as_const(infos)) {
        if (!files.contains(info)) {
            mismatches.append(QStringLiteral("no item for ") + info);
        }
    }
    return mismatches;
}

void tst_FileOperations::redoOfTrashTrashesAgain()
{
    writeFile(root(), QStringLiteral("a.jpg"), "a");
    const Result<QList<FileMove>> trashed = m_ops->moveToTrash({url(QStringLiteral("a.jpg"))});
    QVERIFY(trashed.has_value());
    const Result<QList<FileMove>> undone = m_ops->relocate(FileMove::reversedEach(*trashed));
    QVERIFY(undone.has_value());
    QCOMPARE(trashInfos(m_home->path()), QStringList());
    // Redo replays the trash: the item is listed by the trash again, under a fresh .trashinfo.
    const Result<QList<FileMove>> redone = m_ops->relocate(FileMove::reversedEach(*undone));
    QVERIFY2(redone.has_value(), qPrintable(redone ? QString() : redone.error().message));
    QCOMPARE(filesBelow(root()), QStringList());
    QCOMPARE(trashInfos(m_home->path()).size(), 1);
    QCOMPARE(trashMismatches(m_home->path()), QStringList());
    const QString info = QString::fromUtf8(readFile(m_home->path() + QStringLiteral("/Trash/info/")
                                  + trashInfos(m_home->path()).first()));
    QVERIFY2(info.contains(QStringLiteral("Path=") + root() + QStringLiteral("/a.jpg")), qPrintable(info));
    QCOMPARE(readFile(redone->first().destination.toLocalFile()), QByteArray("a"));
    // And the next undo starts from where the redo really put it.
    QVERIFY(m_ops->relocate(FileMove::reversedEach(*redone)).has_value());
    QCOMPARE(readFile(root() + QStringLiteral("/a.jpg")), QByteArray("a"));
    QCOMPARE(trashInfos(m_home->path()), QStringList());
}

void tst_FileOperations::failedUndoFromTrashKeepsEveryInfo_data()
{
    QTest::addColumn<int>("failingMove");
    QTest::newRow("first item") << 1;
    QTest::newRow("second item") << 2;
    QTest::newRow("third item") << 3;
}

void tst_FileOperations::failedUndoFromTrashKeepsEveryInfo()
{
    QFETCH(int, failingMove);
    const QStringList names{QStringLiteral("a.jpg"), QStringLiteral("b.jpg"), QStringLiteral("c.jpg")};
    QList<QUrl> urls;
    for (const QString &name : names) {
        writeFile(root(), name, name.toUtf8());
        urls.append(url(name));
    }
    const Result<QList<FileMove>> trashed = m_ops->moveToTrash(urls);
    QVERIFY(trashed.has_value());
    m_fs->failNth(Call::move, failingMove, EIO);
    const Result<QList<FileMove>> undone = m_ops->relocate(FileMove::reversedEach(*trashed));
    QVERIFY(!undone.has_value());
    m_fs->reset();
    // All or nothing: every item is back in the trash, each still listed by its .trashinfo.
    QCOMPARE(filesBelow(root()), QStringList());
    QCOMPARE(trashInfos(m_home->path()).size(), 3);
    QCOMPARE(trashMismatches(m_home->path()), QStringList());
    // The batch can still be undone once the disk behaves.
    QVERIFY(m_ops->relocate(FileMove::reversedEach(*trashed)).has_value());
    QCOMPARE(filesBelow(root()), names);
    QCOMPARE(trashInfos(m_home->path()), QStringList());
}

void tst_FileOperations::rollbackLeavesAReplacementAlone()
{
    makeFolder(root(), QStringLiteral("Cats"));
    writeFile(root(), QStringLiteral("a.jpg"), "a");
    writeFile(root(), QStringLiteral("b.jpg"), "b");
    writeFile(root(), QStringLiteral("other"), "someone else's");
    // While b moves, another program replaces the just-filed a.jpg; then b's move fails.
    m_fs->hook = [this, seen = 0](Call call, const QString &, const QString &) mutable -> std::optional<int> {
        if (call == Call::move && ++seen == 2) {
            QFile::remove(root() + QStringLiteral("/Cats/a.jpg"));
            QFile::rename(root() + QStringLiteral("/other"), root() + QStringLiteral("/Cats/a.jpg"));
            return EIO;
        }
        return std::nullopt;
    };
    const Result<QList<FileMove>> moves = m_ops->moveFiles(
        {url(QStringLiteral("a.jpg")), url(QStringLiteral("b.jpg"))}, url(QStringLiteral("Cats")));
    QVERIFY(!moves.has_value());
    // Putting back "a.jpg" would move the other program's file out of its place.
    QCOMPARE(filesBelow(root()), (QStringList{QStringLiteral("Cats/a.jpg"), QStringLiteral("b.jpg")}));
    QCOMPARE(readFile(root() + QStringLiteral("/Cats/a.jpg")), QByteArray("someone else's"));
}

void tst_FileOperations::categoryNames_data()
{
    QTest::addColumn<QString>("proposed");
    QTest::addColumn<QString>("expected"); // empty: rejected
    QTest::newRow("trimmed") << QStringLiteral("  Cats \n") << QStringLiteral("Cats");
    QTest::newRow("inner spaces kept") << QStringLiteral("Best of 2024") << QStringLiteral("Best of 2024");
    QTest::newRow("empty") << QString() << QString();
    QTest::newRow("spaces only") << QStringLiteral("   ") << QString();
    QTest::newRow("dot") << QStringLiteral(".") << QString();
    QTest::newRow("dot dot") << QStringLiteral("..") << QString();
    QTest::newRow("hidden") << QStringLiteral(".cats") << QString();
    QTest::newRow("slash") << QStringLiteral("a/b") << QString();
    QTest::newRow("colon") << QStringLiteral("a:b") << QString();
    QTest::newRow("NUL would cut the name") << QStringLiteral("a") + QChar(0) + QStringLiteral("b")
                                            << QString();
}

void tst_FileOperations::categoryNames()
{
    QFETCH(QString, proposed);
    QFETCH(QString, expected);
    const Result<QString> name = FileOperations::validatedCategoryName(proposed);
    QCOMPARE(name.has_value(), !expected.isEmpty());
    if (name) {
        QCOMPARE(*name, expected);
    } else {
        QCOMPARE(name.error().code, FileSystemError::Code::invalidCategoryName);
    }
}

void tst_FileOperations::createCategoryClashes_data()
{
    QTest::addColumn<QString>("existing");
    QTest::addColumn<QString>("proposed");
    QTest::addColumn<QString>("message"); // empty: created
    QTest::newRow("new") << QString() << QStringLiteral(" Cats ") << QString();
    QTest::newRow("plain file of that name")
        << QStringLiteral("Cats") << QStringLiteral("Cats")
        << QStringLiteral("A category named “Cats” already exists.");
    QTest::newRow("other letter case") << QStringLiteral("cats") << QStringLiteral("Cats")
                                       << QStringLiteral("A category named “Cats” already exists.");
}

void tst_FileOperations::createCategoryClashes()
{
    QFETCH(QString, existing);
    QFETCH(QString, proposed);
    QFETCH(QString, message);
    if (!existing.isEmpty()) {
        writeFile(root(), existing, "file");
    }
    const Result<QUrl> created = m_ops->createCategory(proposed, url(QString()));
    QCOMPARE(created.has_value(), message.isEmpty());
    if (created) {
        QCOMPARE(rel(*created), QStringLiteral("Cats"));
        QVERIFY(QFileInfo(created->toLocalFile()).isDir());
    } else {
        QCOMPARE(created.error().message, message);
        QCOMPARE(filesBelow(root()), QStringList{existing});
    }
}

void tst_FileOperations::renameCategory_data()
{
    QTest::addColumn<QString>("proposed");
    QTest::addColumn<QString>("expectedFolder");
    QTest::addColumn<QString>("message");
    QTest::newRow("own name is a no-op") << QStringLiteral("Cats") << QStringLiteral("Cats") << QString();
    QTest::newRow("new name") << QStringLiteral("Felines ") << QStringLiteral("Felines") << QString();
    QTest::newRow("letter case only") << QStringLiteral("CATS") << QStringLiteral("CATS") << QString();
    QTest::newRow("taken") << QStringLiteral("dogs") << QStringLiteral("Cats")
                           << QStringLiteral("A category named “dogs” already exists.");
    QTest::newRow("invalid") << QStringLiteral("a/b") << QStringLiteral("Cats")
                             << FileSystemError::invalidCategoryName().message;
}

void tst_FileOperations::renameCategory()
{
    QFETCH(QString, proposed);
    QFETCH(QString, expectedFolder);
    QFETCH(QString, message);
    writeFile(root(), QStringLiteral("Cats/a.jpg"));
    makeFolder(root(), QStringLiteral("Dogs"));
    const Result<FileMove> move = m_ops->renameCategory(url(QStringLiteral("Cats")), proposed);
    QCOMPARE(move.has_value(), message.isEmpty());
    if (move) {
        QCOMPARE(rel(move->source), QStringLiteral("Cats"));
        QCOMPARE(rel(move->destination), expectedFolder);
    } else {
        QCOMPARE(move.error().message, message);
    }
    QVERIFY(QFile::exists(root() + QLatin1Char('/') + expectedFolder + QStringLiteral("/a.jpg")));
}

void tst_FileOperations::deleteAndRestoreCategory()
{
    writeFile(root(), QStringLiteral(".DS_Store"), "root's own");
    writeFile(root(), QStringLiteral("Cats/.DS_Store"), "cats'");
    writeFile(root(), QStringLiteral("Cats/a.jpg"), "a");
    writeFile(root(), QStringLiteral("Cats/b.jpg"), "b");
    const Result<CategoryDeletion> deletion =
        m_ops->deleteCategory(url(QStringLiteral("Cats")), url(QString()));
    QVERIFY2(deletion.has_value(), qPrintable(deletion ? QString() : deletion.error().message));
    QCOMPARE(deletion->categoryName, QStringLiteral("Cats"));
    QCOMPARE(deletion->movedItems.size(), 3);
    QCOMPARE(filesBelow(root()), (QStringList{QStringLiteral(".DS_Store"), QStringLiteral(".DS_Store 2"),
                                              QStringLiteral("a.jpg"), QStringLiteral("b.jpg")}));
    QCOMPARE(readFile(root() + QStringLiteral("/.DS_Store")), QByteArray("root's own"));

    const Result<QList<FileMove>> restored = m_ops->restoreDeletedCategory(*deletion);
    QVERIFY(restored.has_value());
    QCOMPARE(filesBelow(root()),
             (QStringList{QStringLiteral(".DS_Store"), QStringLiteral("Cats/.DS_Store"),
                          QStringLiteral("Cats/a.jpg"), QStringLiteral("Cats/b.jpg")}));
    QCOMPARE(readFile(root() + QStringLiteral("/Cats/.DS_Store")), QByteArray("cats'"));
}

void tst_FileOperations::deleteCategoryWithSubfolderMovesNothing()
{
    writeFile(root(), QStringLiteral("Cats/a.jpg"));
    makeFolder(root(), QStringLiteral("Cats/Kittens"));
    const Result<CategoryDeletion> deletion =
        m_ops->deleteCategory(url(QStringLiteral("Cats")), url(QString()));
    QVERIFY(!deletion.has_value());
    QCOMPARE(deletion.error().code, FileSystemError::Code::categoryContainsFolders);
    QCOMPARE(filesBelow(root()), QStringList{QStringLiteral("Cats/a.jpg")});

    // A name that is not valid UTF-8 could not be moved back by name: nothing moves either.
    QDir(root()).rmdir(QStringLiteral("Cats/Kittens"));
    const QByteArray badName = QFile::encodeName(root()) + "/Cats/caf\xE9.jpg";
    FILE *file = ::fopen(badName.constData(), "wb");
    QVERIFY(file);
    ::fclose(file);
    const Result<CategoryDeletion> blocked =
        m_ops->deleteCategory(url(QStringLiteral("Cats")), url(QString()));
    QVERIFY(!blocked.has_value());
    QVERIFY2(blocked.error().message.contains(QStringLiteral("“Cats” holds an item whose name")),
             qPrintable(blocked.error().message));
    QVERIFY(QFile::exists(root() + QStringLiteral("/Cats/a.jpg")));
    ::unlink(badName.constData()); // QTemporaryDir cannot see such a name to remove it
}

void tst_FileOperations::failedFolderRemovalRollsBack()
{
    writeFile(root(), QStringLiteral("Cats/a.jpg"));
    writeFile(root(), QStringLiteral("Cats/b.jpg"));
    m_fs->failNth(Call::removeFolder, 1, EBUSY);
    const Result<CategoryDeletion> deletion =
        m_ops->deleteCategory(url(QStringLiteral("Cats")), url(QString()));
    QVERIFY(!deletion.has_value());
    QCOMPARE(deletion.error().systemError, EBUSY);
    QCOMPARE(filesBelow(root()), (QStringList{QStringLiteral("Cats/a.jpg"), QStringLiteral("Cats/b.jpg")}));
}

void tst_FileOperations::restoreWhenNameTakenMovesNothing()
{
    writeFile(root(), QStringLiteral("Cats/a.jpg"));
    const Result<CategoryDeletion> deletion =
        m_ops->deleteCategory(url(QStringLiteral("Cats")), url(QString()));
    QVERIFY(deletion.has_value());
    makeFolder(root(), QStringLiteral("Cats"));
    const Result<QList<FileMove>> restored = m_ops->restoreDeletedCategory(*deletion);
    QVERIFY(!restored.has_value());
    QCOMPARE(restored.error().message, QStringLiteral("A category named “Cats” already exists."));
    QCOMPARE(filesBelow(root()), QStringList{QStringLiteral("a.jpg")});

    // When moving back fails, the re-created folder does not stay behind.
    QVERIFY(QDir(root()).rmdir(QStringLiteral("Cats")));
    m_fs->failNth(Call::move, 1, EIO);
    QVERIFY(!m_ops->restoreDeletedCategory(*deletion).has_value());
    QCOMPARE(filesBelow(root()), QStringList{QStringLiteral("a.jpg")});
    QVERIFY(!QFileInfo::exists(root() + QStringLiteral("/Cats")));
}

static const QStringList shotMembers{QStringLiteral("IMG_0005.JPG"), QStringLiteral("IMG_0005.CR3"),
                                     QStringLiteral("IMG_0005.xmp"),
                                     QStringLiteral("IMG_0005.CR3.xmp")};

void tst_FileOperations::shotsMoveWhole_data()
{
    QTest::addColumn<QStringList>("taken"); // already in Cats
    QTest::addColumn<QString>("stem");      // the shot's stem in Cats afterwards

    QTest::newRow("free") << QStringList{QStringLiteral("IMG_0006.JPG")} << "IMG_0005";
    QTest::newRow("one member's name in another case")
        << QStringList{QStringLiteral("img_0005.cr3.XMP")} << "IMG_0005 2";
    QTest::newRow("the next number taken by another member")
        << QStringList{QStringLiteral("IMG_0005.xmp"), QStringLiteral("IMG_0005 2.CR3")}
        << "IMG_0005 3";
}

// A four-member shot goes into Cats under one stem, and its undo brings every member back.
void tst_FileOperations::shotsMoveWhole()
{
    QFETCH(QStringList, taken);
    QFETCH(QString, stem);
    for (const QString &name : std::as_const(taken)) {
        writeFile(root(), QStringLiteral("Cats/") + name, "theirs");
    }
    QList<QUrl> shot;
    for (const QString &name : shotMembers) {
        writeFile(root(), name, name.toUtf8());
        shot.append(url(name));
    }
    const QStringList before = filesBelow(root());
    const Result<QList<FileMove>> moves = m_ops->moveShots({shot}, url(QStringLiteral("Cats")));
    QVERIFY2(moves.has_value(), qPrintable(moves ? QString() : moves.error().message));
    QCOMPARE(moves->size(), shotMembers.size());
    for (qsizetype i = 0; i < shotMembers.size(); ++i) {
        const QString expected = QStringLiteral("Cats/") + stem
                                 + shotMembers[i].mid(QStringLiteral("IMG_0005").size());
        QCOMPARE(rel(moves->at(i).destination), expected);
        QCOMPARE(readFile(moves->at(i).destination.toLocalFile()), shotMembers[i].toUtf8());
        QCOMPARE(moves->at(i).shot, 0);
    }
    for (const QString &name : std::as_const(taken)) {
        QCOMPARE(readFile(root() + QStringLiteral("/Cats/") + name), QByteArray("theirs"));
    }
    QVERIFY(m_ops->relocate(FileMove::reversedEach(*moves)).has_value());
    QCOMPARE(filesBelow(root()), before);

    // Filed again, then undone while one member's old name is taken: the shot comes back
    // whole under the next stem.
    const Result<QList<FileMove>> redone = m_ops->relocate(*moves);
    QVERIFY(redone.has_value());
    writeFile(root(), QStringLiteral("img_0005.jpg"), "squatter");
    const Result<QList<FileMove>> back = m_ops->relocate(FileMove::reversedEach(*redone));
    QVERIFY(back.has_value());
    for (qsizetype i = 0; i < shotMembers.size(); ++i) {
        QCOMPARE(rel(back->at(i).destination), QString(shotMembers[i]).replace(
                                                   QStringLiteral("IMG_0005"),
                                                   QStringLiteral("IMG_0005 2")));
    }
}

void tst_FileOperations::failureAtAnyMemberMovesNothing_data()
{
    QTest::addColumn<bool>("duringUndo");
    QTest::addColumn<int>("failingMove"); // 1 is the lone photo filed first, 2–5 the shot
    for (const bool undo : {false, true}) {
        for (int n = 2; n <= 5; ++n) {
            QTest::addRow("%s, member %d", undo ? "undo" : "filing", n - 1) << undo << n;
        }
    }
}

// A failure at any member puts back everything the batch did, the other shot included.
void tst_FileOperations::failureAtAnyMemberMovesNothing()
{
    QFETCH(bool, duringUndo);
    QFETCH(int, failingMove);
    writeFile(root(), QStringLiteral("a.jpg"));
    QList<QUrl> shot;
    for (const QString &name : shotMembers) {
        writeFile(root(), name, name.toUtf8());
        shot.append(url(name));
    }
    makeFolder(root(), QStringLiteral("Cats"));
    const QList<QList<QUrl>> shots{{url(QStringLiteral("a.jpg"))}, shot};
    if (!duringUndo) {
        const QStringList before = filesBelow(root());
        m_fs->failNth(Call::move, failingMove, EIO);
        QVERIFY(!m_ops->moveShots(shots, url(QStringLiteral("Cats"))).has_value());
        QCOMPARE(filesBelow(root()), before);
        return;
    }
    const Result<QList<FileMove>> moves = m_ops->moveShots(shots, url(QStringLiteral("Cats")));
    QVERIFY(moves.has_value());
    const QStringList filed = filesBelow(root());
    m_fs->failNth(Call::move, failingMove, EIO);
    QVERIFY(!m_ops->relocate(FileMove::reversedEach(*moves)).has_value());
    QCOMPARE(filesBelow(root()), filed);
}

void tst_FileOperations::deletedCategoryReturnsShotsWhole()
{
    for (const QString &name : {QStringLiteral("IMG_1.JPG"), QStringLiteral("IMG_1.CR3"),
                                QStringLiteral("IMG_1.CR3.xmp"), QStringLiteral("notes.txt")}) {
        writeFile(root(), QStringLiteral("Cats/") + name, name.toUtf8());
    }
    writeFile(root(), QStringLiteral("img_1.cr3"), "another shot's RAW");
    const QStringList before = filesBelow(root());
    const Result<CategoryDeletion> deletion =
        m_ops->deleteCategory(url(QStringLiteral("Cats")), url(QString()));
    QVERIFY2(deletion.has_value(), qPrintable(deletion ? QString() : deletion.error().message));
    QCOMPARE(filesBelow(root()),
             (QStringList{QStringLiteral("IMG_1 2.CR3"), QStringLiteral("IMG_1 2.CR3.xmp"),
                          QStringLiteral("IMG_1 2.JPG"), QStringLiteral("img_1.cr3"),
                          QStringLiteral("notes.txt")}));
    QCOMPARE(readFile(root() + QStringLiteral("/IMG_1 2.CR3.xmp")), QByteArray("IMG_1.CR3.xmp"));
    QVERIFY(m_ops->restoreDeletedCategory(*deletion).has_value());
    QCOMPARE(filesBelow(root()), before);
}

void tst_FileOperations::copyInKeepsShotsPaired()
{
    QTemporaryDir outside;
    QList<QUrl> dropped;
    for (const QString &name : {QStringLiteral("IMG_1.JPG"), QStringLiteral("IMG_1.CR3"),
                                QStringLiteral("IMG_1.JPG.json"), QStringLiteral("lonely.xmp"),
                                QStringLiteral("notes.txt")}) {
        dropped.append(QUrl::fromLocalFile(writeFile(outside.path(), name, name.toUtf8())));
    }
    writeFile(root(), QStringLiteral("img_1.cr3"), "ours");
    const Result<QList<FileMove>> copies = m_ops->copyImageFiles(dropped, url(QString()));
    QVERIFY(copies.has_value());
    QCOMPARE(filesBelow(root()),
             (QStringList{QStringLiteral("IMG_1 2.CR3"), QStringLiteral("IMG_1 2.JPG"),
                          QStringLiteral("IMG_1 2.JPG.json"), QStringLiteral("img_1.cr3")}));
    QCOMPARE(readFile(root() + QStringLiteral("/IMG_1 2.JPG.json")), QByteArray("IMG_1.JPG.json"));
    QCOMPARE(copies->size(), 3);
    // One shot: trashing the copies for an undo takes them as one.
    QCOMPARE(copies->at(0).shot, copies->at(2).shot);
}

QTEST_GUILESS_MAIN(tst_FileOperations)
#include "tst_FileOperations.moc"
