#include "Services/FileOperations.h"
#include "Services/Platform/FileIdentity.h"
#include "support/FaultyFileSystem.h"
#include "support/TestFolders.h"
#include "support/TestRows.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <unistd.h>

using namespace TestFolders;
using namespace Qt::StringLiterals;
using Call = FaultyFileSystem::Call;

namespace {

QStringList trashInfos(const QString &home)
{
    return QDir(home + u"/Trash/info"_s).entryList(QDir::Files);
}

// The trash's items, and the items its .trashinfo files list: every item needs its .trashinfo
// and every .trashinfo its item, or file managers hide the item or list a ghost.
std::pair<QStringList, QStringList> trashListing(const QString &home)
{
    return {QDir(home + u"/Trash/files"_s)
                .entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden),
            trashInfos(home).replaceInStrings(u".trashinfo"_s, QString())};
}

// What another program may do to a filed member of a shot before its undo.
enum Change { replacedNewer, replacedOlder, inodeReused, editedInPlace };

const QStringList shotMembers{u"IMG_0005.JPG"_s, u"IMG_0005.CR3"_s, u"IMG_0005.xmp"_s,
                              u"IMG_0005.CR3.xmp"_s};

} // namespace

// Filing, replaying, copying, trashing and category changes on real folders. Every case checks
// what is on disk afterwards, not only what the operation returned.
class tst_FileOperations : public QObject
{
    Q_OBJECT

    QString root() const { return m_dir->path(); }
    QString at(const QString &relative) const { return root() + u'/' + relative; }
    QUrl url(const QString &relative) const { return QUrl::fromLocalFile(at(relative)); }
    QUrl cats() const { return url(u"Cats"_s); }
    QString rel(const QUrl &u) const { return QDir(root()).relativeFilePath(u.toLocalFile()); }
    // Writes each file below the root, holding its own relative path; returns their URLs.
    QList<QUrl> write(const QStringList &names) const
    {
        QList<QUrl> urls;
        for (const QString &name : names) {
            writeFile(root(), name, name.toUtf8());
            urls.append(url(name));
        }
        return urls;
    }
    QStringList infos() const { return trashInfos(m_home->path()); }
    Result<CategoryDeletion> deleteCats() { return m_ops->deleteCategory(cats(), url({})); }

    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<QTemporaryDir> m_home;
    std::shared_ptr<FaultyFileSystem> m_fs;
    std::unique_ptr<FileOperations> m_ops;

private Q_SLOTS:
    void init()
    {
        m_dir = std::make_unique<QTemporaryDir>();
        m_home = std::make_unique<QTemporaryDir>();
        // The trash lives under the data home; keep it inside the test's own folders.
        qputenv("XDG_DATA_HOME", m_home->path().toUtf8());
        m_fs = std::make_shared<FaultyFileSystem>();
        m_ops = std::make_unique<FileOperations>(m_fs);
    }

    void filingPicksFreeNames_data()
    {
        QTest::addColumn<QString>("existing");
        QTest::addColumn<QString>("toFile");
        QTest::addColumn<QString>("expected"); // destinations, relative to root
        row("free name kept", "", "a.jpg", "Cats/a.jpg");
        row("IMG_1 becomes IMG_1 3", "Cats/IMG_1.jpg|Cats/IMG_1 2.jpg", "IMG_1.jpg",
            "Cats/IMG_1 3.jpg");
        row("same name in two folders", "", "x.jpg|Dogs/x.jpg", "Cats/x.jpg|Cats/x 2.jpg");
        row("letter case counts as taken", "Cats/IMG_1.JPG", "img_1.jpg", "Cats/img_1 2.jpg");
        row("no extension", "Cats/notes", "notes", "Cats/notes 2");
        row("last dot only", "Cats/archive.tar.gz", "archive.tar.gz", "Cats/archive.tar 2.gz");
        row("leading dot is no extension", "Cats/.hidden", ".hidden", "Cats/.hidden 2");
    }

    void filingPicksFreeNames()
    {
        QFETCH(QString, existing);
        QFETCH(QString, toFile);
        QFETCH(QString, expected);
        makeFolder(root(), u"Cats"_s);
        write(split(existing));
        const QList<QUrl> urls = write(split(toFile));
        const Result<QList<FileMove>> moves = m_ops->moveFiles(urls, cats());
        QVERIFY2(moves, qPrintable(why(moves)));
        QCOMPARE(moves->size(), split(expected).size());
        for (qsizetype i = 0; i < moves->size(); ++i) {
            QCOMPARE(rel(moves->at(i).source), split(toFile)[i]);
            QCOMPARE(rel(moves->at(i).destination), split(expected)[i]);
            QCOMPARE(readFile(moves->at(i).destination.toLocalFile()), split(toFile)[i].toUtf8());
            QVERIFY(!QFile::exists(urls[i].toLocalFile()));
        }
        for (const QString &file : split(existing)) {
            QCOMPARE(readFile(at(file)), file.toUtf8());
        }
    }

    void freeNamesBetweenBatches_data()
    {
        QTest::addColumn<QString>("existing");
        QTest::addColumn<QString>("steps"); // "a.jpg>Cats" files a.jpg; "+Cats/b.jpg" another program writes it
        QTest::addColumn<QString>("expected"); // where the last step's file went
        QTest::addColumn<int>("listings");     // folders listed for free names in all
        row("back in its folder under its name", "", "x.jpg>Cats|Cats/x.jpg>.", "x.jpg", 2);
        row("known folders not listed again", "", "x.jpg>Cats|Cats/x.jpg>.|x.jpg>Cats",
            "Cats/x.jpg", 2);
        row("a letter-case twin left behind still counts", "X.JPG|x.jpg",
            "y.jpg>Cats|Cats/y.jpg>.|x.jpg>Cats|Cats/x.jpg>.", "x 2.jpg", 2);
        row("a name another program adds meanwhile", "", "x.jpg>Cats|+Cats/Y.JPG|y.jpg>Cats",
            "Cats/y 2.jpg", 2);
    }

    // Free names stay right when the folders' names are remembered from one batch to the next.
    void freeNamesBetweenBatches()
    {
        QFETCH(QString, existing);
        QFETCH(QString, steps);
        QFETCH(QString, expected);
        QFETCH(int, listings);
        makeFolder(root(), u"Cats"_s);
        write(split(existing));
        auto listed = std::make_shared<int>(0);
        m_fs->hook = [listed](FaultyFileSystem::Call call, const QString &, const QString &) {
            *listed += call == FaultyFileSystem::Call::names;
            return std::optional<int>();
        };
        QString last;
        for (const QString &step : split(steps)) {
            if (step.startsWith(u'+')) {
                // Past the coarse clock tick the folder's time is kept in.
                QTest::qWait(20);
                write({step.mid(1)});
                continue;
            }
            const QString file = step.section(u'>', 0, 0);
            if (!QFile::exists(at(file))) {
                write({file});
            }
            const Result<QList<FileMove>> moves =
                m_ops->moveFiles({url(file)}, url(step.section(u'>', 1)));
            QVERIFY2(moves && moves->size() == 1, qPrintable(why(moves)));
            last = rel(moves->first().destination);
            QVERIFY(QFile::exists(at(last)));
        }
        QCOMPARE(last, expected);
        QCOMPARE(*listed, listings);
    }

    void filingIntoOwnFolderMovesNothing()
    {
        const QList<QUrl> urls = write({u"Cats/a.jpg"_s, u"Cats/b.jpg"_s, u"Cats/./c.jpg"_s});
        const QStringList before = filesBelow(root());
        const Result<QList<FileMove>> moves = m_ops->moveFiles(urls, url(u"Cats/"_s));
        QVERIFY(moves && moves->isEmpty());
        QCOMPARE(filesBelow(root()), before);
        QCOMPARE(m_fs->callCount, 0);
    }

    void failedBatchPutsBackEarlierItems_data()
    {
        QTest::addColumn<bool>("trashing"); // or filing; the second item's move fails
        QTest::newRow("filing") << false;
        // Its .trashinfo is written before the move: it must go with the failure.
        QTest::newRow("trashing") << true;
    }

    void failedBatchPutsBackEarlierItems()
    {
        QFETCH(bool, trashing);
        makeFolder(root(), u"Cats"_s);
        const QStringList names{u"a.jpg"_s, u"b.jpg"_s, u"c.jpg"_s};
        const QList<QUrl> urls = write(names);
        m_fs->failNth(Call::move, 2, ENOSPC);
        const Result<QList<FileMove>> moves =
            trashing ? m_ops->moveToTrash(urls) : m_ops->moveFiles(urls, cats());
        QVERIFY(!moves);
        QCOMPARE(moves.error().systemError, ENOSPC);
        QVERIFY2(moves.error().message.contains(u"“b.jpg”"_s), qPrintable(moves.error().message));
        QCOMPARE(filesBelow(root()), names);
        QCOMPARE(filesBelow(m_home->path()), QStringList());
        QVERIFY(m_ops->moveToTrash({}).value().isEmpty());
    }

    // Another program creates the chosen name between our choice and our move: the move must
    // not replace it, and the photo goes to the next free name.
    void nameTakenDuringMoveLosesNothing()
    {
        const QList<QUrl> urls = write({u"a.jpg"_s});
        makeFolder(root(), u"Cats"_s);
        m_fs->hook = [raced = false](Call call, const QString &,
                                     const QString &destination) mutable -> std::optional<int> {
            if (call == Call::move && !std::exchange(raced, true)) {
                writeFile(QFileInfo(destination).path(), QFileInfo(destination).fileName(),
                          "theirs");
            }
            return std::nullopt;
        };
        const Result<QList<FileMove>> moves = m_ops->moveFiles(urls, cats());
        QVERIFY2(moves, qPrintable(why(moves)));
        QCOMPARE(rel(moves->first().destination), u"Cats/a 2.jpg"_s);
        QCOMPARE(readFile(at(u"Cats/a.jpg"_s)), QByteArray("theirs"));
        QCOMPARE(readFile(at(u"Cats/a 2.jpg"_s)), QByteArray("a.jpg"));
    }

    // A replayed move takes the next free name; one into a folder that is gone fails the batch.
    void relocateFindsAFreeNameOrFailsWhole()
    {
        const QList<QUrl> urls = write({u"Cats/a.jpg"_s, u"a.jpg"_s, u"b.jpg"_s});
        Result<QList<FileMove>> moves = m_ops->relocate({{urls[0], urls[1]}});
        QVERIFY2(moves, qPrintable(why(moves)));
        QCOMPARE(rel(moves->first().destination), u"a 2.jpg"_s);
        QCOMPARE(readFile(at(u"a 2.jpg"_s)), QByteArray("Cats/a.jpg"));
        QCOMPARE(readFile(at(u"a.jpg"_s)), QByteArray("a.jpg"));
        QVERIFY(m_ops->relocate({}).value().isEmpty());

        const QStringList before = filesBelow(root());
        moves = m_ops->relocate({{urls[1], url(u"Cats/a.jpg"_s)}, {urls[2], url(u"Gone/b.jpg"_s)}});
        QVERIFY(!moves);
        QCOMPARE(moves.error().code, FileSystemError::Code::fileNoSuchFile);
        QCOMPARE(moves.error().message, u"The folder “Gone” doesn’t exist."_s);
        QCOMPARE(filesBelow(root()), before);
    }

    // Undo must not move whatever file now sits where the photo was put.
    void relocateNeverMovesAReplacement_data()
    {
        QTest::addColumn<QString>("member");
        QTest::addColumn<int>("change");
        QTest::addColumn<bool>("travels"); // on a volume that keeps birth times
        row("photo replaced", u"IMG_1.jpg"_s, int(replacedNewer), false);
        row("photo's inode given to a new file", u"IMG_1.jpg"_s, int(inodeReused), false);
        row("photo edited in place", u"IMG_1.jpg"_s, int(editedInPlace), true);
        row("sidecar rewritten by an editor", u"IMG_1.xmp"_s, int(replacedNewer), true);
        row("sidecar replaced by an older file", u"IMG_1.xmp"_s, int(replacedOlder), false);
    }

    void relocateNeverMovesAReplacement()
    {
        QFETCH(QString, member);
        QFETCH(int, change);
        QFETCH(bool, travels);
        const QList<QUrl> urls = write({u"b.jpg"_s, u"IMG_1.jpg"_s, u"IMG_1.xmp"_s});
        const QList<QList<QUrl>> shots{{urls[0]}, {urls[1], urls[2]}};
        const QStringList before = filesBelow(root());
        QVERIFY(!m_ops->moveShots(shots, cats()).has_value()); // Cats does not exist yet
        QCOMPARE(filesBelow(root()), before);
        makeFolder(root(), u"Cats"_s);
        Result<QList<FileMove>> moves = m_ops->moveShots(shots, cats());
        QVERIFY2(moves, qPrintable(why(moves)));
        const QString path = at(u"Cats/"_s + member);
        travels =
            travels && (change != editedInPlace || !m_fs->stat(path)->birthTime.isDistantPast());
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
            // Ext4 gives a deleted file's inode to the next new file at once; the record names
            // the new file's inode so on any file system.
            for (FileMove &move : *moves) {
                if (move.destination.toLocalFile() == path) {
                    const QString recorded = move.itemIdentity;
                    move.itemIdentity =
                        FileIdentity::volumeKey(FileIdentity::of(*m_fs->stat(path))) +
                        recorded.mid(FileIdentity::volumeKey(recorded).size());
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
        QCOMPARE(readFile(travels ? at(member) : path), content);
    }

    // Only images are copied, each with the dropped companions of its shot, numbered alike;
    // folders, other files and orphan sidecars stay out.
    void copyInTakesImagesWithTheirShots()
    {
        QTemporaryDir outside;
        makeFolder(outside.path(), u"Folder.png"_s);
        QList<QUrl> dropped{QUrl::fromLocalFile(outside.path() + u"/Folder.png"_s)};
        for (const QString &name : {u"notes.txt"_s, u"IMG_1.JPG"_s, u"IMG_1.CR3"_s,
                                    u"IMG_1.JPG.json"_s, u"lonely.xmp"_s}) {
            dropped.append(QUrl::fromLocalFile(writeFile(outside.path(), name, name.toUtf8())));
        }
        dropped.append(QUrl::fromLocalFile(writePng(outside.path(), u"shot.png"_s)));
        writePng(root(), u"shot.png"_s);
        write({u"img_1.cr3"_s});
        const Result<QList<FileMove>> copies = m_ops->copyImageFiles(dropped, url({}));
        QVERIFY2(copies, qPrintable(why(copies)));
        QCOMPARE(filesBelow(root()),
                 (QStringList{u"IMG_1 2.CR3"_s, u"IMG_1 2.JPG"_s, u"IMG_1 2.JPG.json"_s,
                              u"img_1.cr3"_s, u"shot 2.png"_s, u"shot.png"_s}));
        QCOMPARE(copies->size(), 4);
        QMap<QString, int> shotOf;
        for (const FileMove &copy : *copies) {
            QVERIFY(dropped.contains(copy.source));
            QVERIFY(QFile::exists(copy.source.toLocalFile())); // a copy, not a move
            QCOMPARE(readFile(copy.destination.toLocalFile()), readFile(copy.source.toLocalFile()));
            shotOf.insert(copy.source.fileName(), copy.shot);
        }
        // One shot: trashing the copies for an undo takes them as one.
        QCOMPARE(shotOf.value(u"IMG_1.CR3"_s), shotOf.value(u"IMG_1.JPG"_s));
        QCOMPARE(shotOf.value(u"IMG_1.JPG.json"_s), shotOf.value(u"IMG_1.JPG"_s));
        QVERIFY(shotOf.value(u"shot.png"_s) != shotOf.value(u"IMG_1.JPG"_s));
        const Result<QList<FileMove>> none = m_ops->copyImageFiles({dropped[1]}, url({}));
        QVERIFY(none && none->isEmpty());
    }

    void failedCopyLeavesNoCopies_data()
    {
        QTest::addColumn<bool>("replaced"); // another program puts its file in a copy's place
        QTest::newRow("copies removed") << false;
        QTest::newRow("a file in a copy's place stays") << true;
    }

    void failedCopyLeavesNoCopies()
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
                QFile::remove(at(u"a.png"_s));
                writeFile(root(), u"a.png"_s, "theirs");
            }
            return ENOSPC;
        };
        const Result<QList<FileMove>> copies = m_ops->copyImageFiles(dropped, url({}));
        QVERIFY(!copies);
        QCOMPARE(copies.error().systemError, ENOSPC);
        QCOMPARE(filesBelow(root()), replaced ? QStringList{u"a.png"_s} : QStringList());
        if (replaced) {
            QCOMPARE(readFile(at(u"a.png"_s)), QByteArray("theirs"));
        }
    }

    // Trashed items come back on undo and leave no stale .trashinfo; a redo trashes them again,
    // listed under a fresh one; once the trash is emptied, the undo fails and says why.
    void trashUndoAndRedo()
    {
        const Result<QList<FileMove>> trashed =
            m_ops->moveToTrash(write({u"a.jpg"_s, u"Cats/b.jpg"_s}));
        QVERIFY2(trashed, qPrintable(why(trashed)));
        QCOMPARE(filesBelow(root()), QStringList());
        QCOMPARE(infos().size(), 2);
        const Result<QList<FileMove>> undone = m_ops->relocate(FileMove::reversedEach(*trashed));
        QVERIFY2(undone, qPrintable(why(undone)));
        QCOMPARE(filesBelow(root()), (QStringList{u"Cats/b.jpg"_s, u"a.jpg"_s}));
        QCOMPARE(readFile(at(u"a.jpg"_s)), QByteArray("a.jpg"));
        QCOMPARE(infos(), QStringList());

        const Result<QList<FileMove>> redone = m_ops->relocate(FileMove::reversedEach(*undone));
        QVERIFY2(redone, qPrintable(why(redone)));
        QCOMPARE(filesBelow(root()), QStringList());
        QCOMPARE(infos().size(), 2);
        const auto [items, listed] = trashListing(m_home->path());
        QCOMPARE(items, listed);
        QCOMPARE(readFile(redone->first().destination.toLocalFile()), QByteArray("a.jpg"));
        // The next undo starts from where the redo really put the items; one whose item the
        // user removed from the trash fails and says why.
        QVERIFY(m_ops->relocate({redone->first().reversed()}).has_value());
        QCOMPARE(readFile(at(u"a.jpg"_s)), QByteArray("a.jpg"));
        QCOMPARE(infos(), QStringList{u"b.jpg.trashinfo"_s});
        QVERIFY(QFile::remove(redone->last().destination.toLocalFile()));
        const Result<QList<FileMove>> failed = m_ops->relocate({redone->last().reversed()});
        QVERIFY(!failed);
        QVERIFY2(failed.error().message.contains(u"is no longer in the trash"_s),
                 qPrintable(failed.error().message));
    }

    void rollbackLeavesAReplacementAlone()
    {
        makeFolder(root(), u"Cats"_s);
        const QList<QUrl> urls = write({u"a.jpg"_s, u"b.jpg"_s});
        writeFile(root(), u"other"_s, "someone else's");
        // While b moves, another program replaces the just-filed a.jpg; then b's move fails.
        m_fs->hook = [this, seen = 0](Call call, const QString &,
                                      const QString &) mutable -> std::optional<int> {
            if (call == Call::move && ++seen == 2) {
                QFile::remove(at(u"Cats/a.jpg"_s));
                QFile::rename(at(u"other"_s), at(u"Cats/a.jpg"_s));
                return EIO;
            }
            return std::nullopt;
        };
        QVERIFY(!m_ops->moveFiles(urls, cats()).has_value());
        // Putting back "a.jpg" would move the other program's file out of its place.
        QCOMPARE(filesBelow(root()), (QStringList{u"Cats/a.jpg"_s, u"b.jpg"_s}));
        QCOMPARE(readFile(at(u"Cats/a.jpg"_s)), QByteArray("someone else's"));
    }

    void createCategory_data()
    {
        QTest::addColumn<QString>("existing");
        QTest::addColumn<QString>("proposed");
        QTest::addColumn<QString>("created"); // empty: refused with `message`
        QTest::addColumn<QString>("message");
        const QString taken = u"A category named “Cats” already exists."_s;
        const QString invalid = FileSystemError::invalidCategoryName().message;
        row("trimmed", "", "  Cats \n", "Cats", "");
        row("inner spaces kept", "", "Best of 2024", "Best of 2024", "");
        row("plain file of that name", "Cats", "Cats", "", taken);
        row("other letter case", "cats", "Cats", "", taken);
        const char *rejected[][2] = {{"empty", ""},     {"spaces only", "   "}, {"dot", "."},
                                     {"dot dot", ".."}, {"hidden", ".cats"},    {"slash", "a/b"},
                                     {"colon", "a:b"}};
        for (const auto &[tag, name] : rejected) {
            row(tag, "", name, "", invalid);
        }
        row("NUL would cut the name", QString(), u"a"_s + QChar(0) + u"b"_s, QString(), invalid);
    }

    void createCategory()
    {
        QFETCH(QString, existing);
        QFETCH(QString, proposed);
        QFETCH(QString, created);
        QFETCH(QString, message);
        write(split(existing));
        const Result<QUrl> made = m_ops->createCategory(proposed, url({}));
        QCOMPARE(made.has_value(), !created.isEmpty());
        if (made) {
            QCOMPARE(rel(*made), created);
            QVERIFY(QFileInfo(made->toLocalFile()).isDir());
        } else {
            QCOMPARE(made.error().message, message);
            QCOMPARE(filesBelow(root()), split(existing));
            QCOMPARE(QDir(root()).entryList(QDir::Dirs | QDir::NoDotAndDotDot), QStringList());
        }
    }

    void renameCategory_data()
    {
        QTest::addColumn<QString>("proposed");
        QTest::addColumn<QString>("expectedFolder");
        QTest::addColumn<QString>("message");
        row("own name is a no-op", u"Cats"_s, u"Cats"_s, QString());
        row("new name", u"Felines "_s, u"Felines"_s, QString());
        row("letter case only", u"CATS"_s, u"CATS"_s, QString());
        row("taken", u"dogs"_s, u"Cats"_s, u"A category named “dogs” already exists."_s);
        row("invalid", u"a/b"_s, u"Cats"_s, FileSystemError::invalidCategoryName().message);
    }

    void renameCategory()
    {
        QFETCH(QString, proposed);
        QFETCH(QString, expectedFolder);
        QFETCH(QString, message);
        write({u"Cats/a.jpg"_s});
        makeFolder(root(), u"Dogs"_s);
        const Result<FileMove> move = m_ops->renameCategory(cats(), proposed);
        QCOMPARE(move.has_value(), message.isEmpty());
        if (move) {
            QCOMPARE(rel(move->source), u"Cats"_s);
            QCOMPARE(rel(move->destination), expectedFolder);
        } else {
            QCOMPARE(move.error().message, message);
        }
        QVERIFY(QFile::exists(at(expectedFolder + u"/a.jpg"_s)));
    }

    // A deleted category's items come out to the root under free names, a shot under one stem
    // for all its members, and go back where they were on restore.
    void deleteAndRestoreCategory()
    {
        write({u".DS_Store"_s, u"img_1.cr3"_s, u"Cats/.DS_Store"_s, u"Cats/IMG_1.JPG"_s,
               u"Cats/IMG_1.CR3"_s, u"Cats/IMG_1.CR3.xmp"_s, u"Cats/notes.txt"_s});
        const QStringList before = filesBelow(root());
        const Result<CategoryDeletion> deletion = deleteCats();
        QVERIFY2(deletion, qPrintable(why(deletion)));
        QCOMPARE(deletion->categoryName, u"Cats"_s);
        QCOMPARE(deletion->movedItems.size(), 5);
        QCOMPARE(
            filesBelow(root()),
            (QStringList{u".DS_Store"_s, u".DS_Store 2"_s, u"IMG_1 2.CR3"_s, u"IMG_1 2.CR3.xmp"_s,
                         u"IMG_1 2.JPG"_s, u"img_1.cr3"_s, u"notes.txt"_s}));
        QCOMPARE(readFile(at(u".DS_Store"_s)), QByteArray(".DS_Store"));
        QCOMPARE(readFile(at(u"IMG_1 2.CR3.xmp"_s)), QByteArray("Cats/IMG_1.CR3.xmp"));
        QVERIFY(m_ops->restoreDeletedCategory(*deletion).has_value());
        QCOMPARE(filesBelow(root()), before);
        QCOMPARE(readFile(at(u"Cats/.DS_Store"_s)), QByteArray("Cats/.DS_Store"));
    }

    // A subfolder, a name that could not be moved back (not valid UTF-8) or a folder that
    // cannot be removed: nothing moves, or all of it moves back.
    void blockedCategoryDeletionMovesNothing()
    {
        write({u"Cats/a.jpg"_s, u"Cats/b.jpg"_s});
        makeFolder(root(), u"Cats/Kittens"_s);
        const QStringList before = filesBelow(root());
        Result<CategoryDeletion> deletion = deleteCats();
        QVERIFY(!deletion);
        QCOMPARE(deletion.error().code, FileSystemError::Code::categoryContainsFolders);
        QCOMPARE(filesBelow(root()), before);

        QVERIFY(QDir(root()).rmdir(u"Cats/Kittens"_s));
        const QByteArray badName = QFile::encodeName(root()) + "/Cats/caf\xE9.jpg";
        FILE *file = ::fopen(badName.constData(), "wb");
        QVERIFY(file);
        ::fclose(file);
        deletion = deleteCats();
        ::unlink(badName.constData()); // QTemporaryDir cannot see such a name to remove it
        QVERIFY(!deletion);
        QVERIFY2(deletion.error().message.contains(u"“Cats” holds an item whose name"_s),
                 qPrintable(deletion.error().message));
        QCOMPARE(filesBelow(root()), before);

        m_fs->failNth(Call::removeFolder, 1, EBUSY);
        deletion = deleteCats();
        QVERIFY(!deletion);
        QCOMPARE(deletion.error().systemError, EBUSY);
        QCOMPARE(filesBelow(root()), before);
    }

    void restoreWhenNameTakenMovesNothing()
    {
        write({u"Cats/a.jpg"_s});
        const Result<CategoryDeletion> deletion = deleteCats();
        QVERIFY2(deletion, qPrintable(why(deletion)));
        makeFolder(root(), u"Cats"_s);
        const Result<QList<FileMove>> restored = m_ops->restoreDeletedCategory(*deletion);
        QVERIFY(!restored);
        QCOMPARE(restored.error().message, u"A category named “Cats” already exists."_s);
        QCOMPARE(filesBelow(root()), QStringList{u"a.jpg"_s});

        // When moving back fails, the re-created folder does not stay behind.
        QVERIFY(QDir(root()).rmdir(u"Cats"_s));
        m_fs->failNth(Call::move, 1, EIO);
        QVERIFY(!m_ops->restoreDeletedCategory(*deletion).has_value());
        QCOMPARE(filesBelow(root()), QStringList{u"a.jpg"_s});
        QVERIFY(!QFileInfo::exists(at(u"Cats"_s)));
    }

    void shotsMoveWhole_data()
    {
        QTest::addColumn<QString>("taken"); // already in Cats
        QTest::addColumn<QString>("stem");  // the shot's stem in Cats afterwards
        row("free", "Cats/IMG_0006.JPG", "IMG_0005");
        row("one member's name in another case", "Cats/img_0005.cr3.XMP", "IMG_0005 2");
        row("the next number taken by another member", "Cats/IMG_0005.xmp|Cats/IMG_0005 2.CR3",
            "IMG_0005 3");
    }

    // A four-member shot goes into Cats under one stem, and its undo brings every member back.
    void shotsMoveWhole()
    {
        QFETCH(QString, taken);
        QFETCH(QString, stem);
        write(split(taken));
        const QList<QUrl> shot = write(shotMembers);
        const QStringList before = filesBelow(root());
        const Result<QList<FileMove>> moves = m_ops->moveShots({shot}, cats());
        QVERIFY2(moves, qPrintable(why(moves)));
        QCOMPARE(moves->size(), shotMembers.size());
        for (qsizetype i = 0; i < shotMembers.size(); ++i) {
            QCOMPARE(rel(moves->at(i).destination),
                     u"Cats/"_s + QString(shotMembers[i]).replace(u"IMG_0005"_s, stem));
            QCOMPARE(readFile(moves->at(i).destination.toLocalFile()), shotMembers[i].toUtf8());
            QCOMPARE(moves->at(i).shot, 0);
        }
        for (const QString &name : split(taken)) {
            QCOMPARE(readFile(at(name)), name.toUtf8());
        }
        QVERIFY(m_ops->relocate(FileMove::reversedEach(*moves)).has_value());
        QCOMPARE(filesBelow(root()), before);

        // Filed again, then undone while one member's old name is taken: the shot comes back
        // whole under the next stem.
        const Result<QList<FileMove>> redone = m_ops->relocate(*moves);
        QVERIFY2(redone, qPrintable(why(redone)));
        writeFile(root(), u"img_0005.jpg"_s, "squatter");
        const Result<QList<FileMove>> back = m_ops->relocate(FileMove::reversedEach(*redone));
        QVERIFY2(back, qPrintable(why(back)));
        for (qsizetype i = 0; i < shotMembers.size(); ++i) {
            QCOMPARE(rel(back->at(i).destination),
                     QString(shotMembers[i]).replace(u"IMG_0005"_s, u"IMG_0005 2"_s));
        }
    }
};

QTEST_GUILESS_MAIN(tst_FileOperations)
#include "tst_FileOperations.moc"
