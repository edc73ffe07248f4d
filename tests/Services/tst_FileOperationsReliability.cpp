#include "Models/Companions.h"
#include "Services/FileOperations.h"
#include "support/FaultyFileSystem.h"
#include "support/PrivateMounts.h"
#include "support/TestFolders.h"

#include <QDebug>
#include <QDir>
#include <QDirIterator>
#include <QRandomGenerator>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>

using namespace TestFolders;
using namespace Qt::StringLiterals;

// Thousands of random operations (filing, undo and redo, trash, copy-in, category changes,
// changes made by other programs, emptying the trash) on shots of one to four files, many
// with one injected failure. After every step the multiset of file contents under the root
// and in the trash must be what it was (nothing lost, overwritten or duplicated), a failed
// step must have left the disk exactly as it was, and every item in the trash must have its
// .trashinfo and every .trashinfo its item. A step that succeeded must have moved exactly the
// shots it was given, as its records say, and each must still be one shot where it landed.
// Only the folders an operation can touch are read again after it; a full reading every
// few hundred steps checks that nothing else changed.
// The suite's run draws from one fixed seed, so its verdict is the same on every run of the same
// code. CALVENOR_RELIABILITY_OPS sets the count and draws a new seed each run (long runs);
// CALVENOR_RELIABILITY_SEED replays a run. A failure prints its seed. Long runs need a larger
// QTEST_FUNCTION_TIMEOUT (milliseconds) than QtTest's five-minute default.
class tst_FileOperationsReliability : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void randomOperationsLoseNothing_data()
    {
        QTest::addColumn<bool>("onOwnVolume");
        // The collection beside the data home: the home trash. On a tmpfs of its own: the
        // volume's .Trash-$uid, and files copied in cross devices.
        QTest::newRow("home trash") << false;
        QTest::newRow("volume trash on a tmpfs") << true;
    }
    void randomOperationsLoseNothing();

private:
    PrivateMounts m_mounts;
};

namespace {

constexpr int fullCheckInterval = 500;
const QByteArray folderMark = QByteArrayLiteral("<folder>");

QString parentOf(const QString &path)
{
    return path.left(path.lastIndexOf(u'/'));
}

// What the disk should hold, folder by folder: path of a folder → its entries' names → file
// content (folderMark for a subfolder). A folder that does not exist has no entry. `surplus`
// is the multiset difference between the file contents on disk and those expected to exist;
// it stays empty while nothing is lost or duplicated.
class DiskModel
{
public:
    using Entries = QMap<QString, QByteArray>;

    // Folders whose files are not photos (the trash's info folder) stay out of the contents.
    explicit DiskModel(QString infoFolder)
        : m_infoFolder(std::move(infoFolder))
    {
    }

    // The folder as it is on disk. A file's content is read again only when its inode, size
    // or change time differ from the last reading: a rename changes the change time, and a
    // new file that reuses an inode has a new one.
    std::optional<Entries> read(const QString &folder)
    {
        const QDir dir(folder);
        if (!dir.exists()) {
            return std::nullopt;
        }
        Entries entries;
        const QFileInfoList infos = dir.entryInfoList(QDir::AllEntries | QDir::Hidden |
                                                      QDir::System | QDir::NoDotAndDotDot);
        for (const QFileInfo &info : infos) {
            if (info.isDir()) {
                entries.insert(info.fileName(), folderMark);
                continue;
            }
            struct stat st;
            if (::lstat(QFile::encodeName(info.absoluteFilePath()).constData(), &st) != 0) {
                continue; // gone meanwhile
            }
            const auto [known, fresh] = m_contentByVersion.try_emplace(
                {st.st_ino, st.st_size, st.st_ctim.tv_sec, st.st_ctim.tv_nsec});
            if (fresh) {
                known->second = readFile(info.absoluteFilePath());
            }
            entries.insert(info.fileName(), known->second);
        }
        return entries;
    }

    // Reads `folder` again; returns false when it changed.
    bool refresh(const QString &folder)
    {
        const std::optional<Entries> after = read(folder);
        const auto before = m_folders.constFind(folder);
        if (before == m_folders.cend() ? !after : after == *before) {
            return true;
        }
        if (before != m_folders.cend()) {
            count(folder, *before, -1);
            m_folders.erase(before);
        }
        if (after) {
            count(folder, *after, +1);
            m_folders.insert(folder, *after);
        }
        return false;
    }
    // Another program (or the test itself) adds or removes a file with this content.
    void expect(const QByteArray &content, int delta) { adjust(content, -delta); }
    // What is on disk now is what is expected.
    void acceptAll() { m_surplus.clear(); }

    const QHash<QByteArray, int> &surplus() const { return m_surplus; }
    const QMap<QString, Entries> &folders() const { return m_folders; }
    Entries entries(const QString &folder) const { return m_folders.value(folder); }

private:
    void count(const QString &folder, const Entries &entries, int delta)
    {
        for (const QByteArray &content : entries) {
            if (content != folderMark && folder != m_infoFolder) {
                adjust(content, delta);
            }
        }
    }
    void adjust(const QByteArray &content, int delta)
    {
        if ((m_surplus[content] += delta) == 0) {
            m_surplus.remove(content);
        }
    }

    QString m_infoFolder;
    std::map<std::tuple<ino_t, off_t, time_t, long>, QByteArray> m_contentByVersion;
    QMap<QString, Entries> m_folders;
    QHash<QByteArray, int> m_surplus;
};

// A value as qDebug shows it, for failure messages.
template<typename T>
QString shown(const T &value)
{
    QString text;
    QDebug(&text) << value;
    return text;
}

// The files among a folder's entries.
DiskModel::Entries filesOf(DiskModel::Entries entries)
{
    entries.removeIf([](DiskModel::Entries::iterator entry) { return *entry == folderMark; });
    return entries;
}

} // namespace

void tst_FileOperationsReliability::randomOperationsLoseNothing()
{
    QFETCH(bool, onOwnVolume);
    const bool longRun = qEnvironmentVariableIsSet("CALVENOR_RELIABILITY_OPS");
    const int operations =
        longRun ? qEnvironmentVariableIntValue("CALVENOR_RELIABILITY_OPS") : 2000;
    const quint32 seed = qEnvironmentVariableIsSet("CALVENOR_RELIABILITY_SEED")
                             ? quint32(qEnvironmentVariableIntValue("CALVENOR_RELIABILITY_SEED"))
                         : longRun ? QRandomGenerator::global()->bounded(1000000u)
                                   : 271828u;
    QRandomGenerator random(seed);
    qInfo("seed %u, %d operations", seed, operations);

    QTemporaryDir home;
    QTemporaryDir base;
    QTemporaryDir outside;
    qputenv("XDG_DATA_HOME", home.path().toUtf8());
    // Unmounted before `base` goes, so that its folder can be removed.
    const auto unmount = qScopeGuard([this] { m_mounts.unmountAll(); });
    QString volume = base.path();
    QString trashFolder = home.path() + u"/Trash"_s;
    if (onOwnVolume) {
        volume = base.path() + u"/volume"_s;
        QDir().mkpath(volume);
        if (const QString problem = m_mounts.mountTmpfs(volume, "size=64m"); !problem.isEmpty()) {
            QSKIP(qPrintable(problem));
        }
        trashFolder = volume + u"/.Trash-"_s + QString::number(::getuid());
    }
    const QString root = volume + u"/Collection"_s;
    const QString trashFiles = trashFolder + u"/files"_s;
    const QString trashInfo = trashFolder + u"/info"_s;
    auto fs = std::make_shared<FaultyFileSystem>();
    FileOperations ops(fs);
    DiskModel model(trashInfo);

    int nextContent = 0;
    const auto newContent = [&] {
        return QByteArray("photo ") + QByteArray::number(nextContent++);
    };
    // The same names in every folder, so that filing often finds a name taken (in another
    // letter case, too); about one photo in three with companions, and in every folder an
    // orphan sidecar, which filing and trashing leave where it is.
    const QStringList companionSets =
        u".CR3|.CR3 .CR3.xmp|.NEF .xmp|.JPG.json|.xmp|.NEF .xmp .JPG.json"_s.split(u'|');
    for (const char *folder : {"", "Cats/", "Dogs/", "Birds/"}) {
        writeFile(root, QString::fromUtf8(folder) + u"lonely.xmp"_s, newContent());
        for (int i = 0; i < 4; ++i) {
            const QString stem = QString::fromUtf8(folder) + u"IMG_%1"_s.arg(i);
            writeFile(root, stem + QLatin1String(random.bounded(2) ? ".JPG" : ".jpg"),
                      newContent());
            const int set = random.bounded(3) ? -1 : random.bounded(int(companionSets.size()));
            for (const QString &companion :
                 companionSets.value(set).split(u' ', Qt::SkipEmptyParts)) {
                writeFile(root, stem + companion, newContent());
            }
        }
    }
    for (int i = 0; i < 4; ++i) {
        writePng(outside.path(), u"drop%1.png"_s.arg(i), {1 + i, 1});
    }
    // Dropped with their photos or without them (then they stay behind).
    for (const char *sidecar : {"drop1.xmp", "drop2.png.json", "note.xmp"}) {
        writeFile(outside.path(), QString::fromUtf8(sidecar), sidecar);
    }

    const auto categories = [&] {
        QStringList paths;
        for (const QString &name : QDir(root).entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
            paths.append(root + u'/' + name);
        }
        return paths;
    };
    const auto allFolders = [&] { return categories() + QStringList{root, trashFiles, trashInfo}; };
    // Builds the model from a full reading; the surplus starts empty because what is there at
    // the start is what is expected.
    for (const QString &folder : allFolders()) {
        model.refresh(folder);
    }
    model.acceptAll();

    const auto photosIn = [&](const QString &folder) {
        QList<QUrl> urls;
        for (const QString &name : QDir(folder).entryList(QDir::Files | QDir::Hidden)) {
            urls.append(QUrl::fromLocalFile(folder + u'/' + name));
        }
        return urls;
    };
    // The shots among files of one folder, grouped the way the application groups them: lists
    // of indices into `files`, the shown member first.
    const ImageTypeDetector types;
    const auto shotsAmong = [&](const QList<QUrl> &files) {
        QList<Companions::ListedFile> listed;
        for (const QUrl &url : files) {
            listed.append({url.fileName(), types.kindOf(url.toLocalFile(), url.fileName())});
        }
        return Companions::group(listed, CompanionRule::together);
    };
    // With `loners`, every file in no shot follows as a shot of its own.
    const auto shotsIn = [&](const QString &folder, bool loners = false) {
        const QList<QUrl> files = photosIn(folder);
        QList<QUrl> alone = loners ? files : QList<QUrl>();
        QList<QList<QUrl>> shots;
        for (const QList<qsizetype> &members : shotsAmong(files)) {
            QList<QUrl> &shot = shots.emplace_back();
            for (const qsizetype i : members) {
                shot.append(files[i]);
                alone.removeOne(files[i]);
            }
        }
        for (const QUrl &url : std::as_const(alone)) {
            shots.append({url});
        }
        return shots;
    };
    // The items of recorded moves, by the shot they were recorded in.
    const auto recordedShots = [](const QList<FileMove> &moves, bool destinations) {
        QMap<int, QList<QUrl>> shots;
        for (const FileMove &move : moves) {
            shots[move.shot].append(destinations ? move.destination : move.source);
        }
        return shots.values();
    };
    // Shots in one order, to compare groupings.
    const auto sortedShots = [](QList<QList<QUrl>> shots) {
        for (QList<QUrl> &shot : shots) {
            std::sort(shot.begin(), shot.end());
        }
        std::sort(shots.begin(), shots.end());
        return shots;
    };
    // The shots among `shots` that are not one shot in their folder as it is now: all of a
    // shot's members must be in one group there (which may hold more).
    const auto brokenShots = [&](const QList<QList<QUrl>> &shots) {
        QStringList broken;
        for (const QList<QUrl> &shot : shots) {
            const QString folder = parentOf(shot.first().toLocalFile());
            if (shot.size() < 2 || folder == trashFiles) {
                continue;
            }
            QList<QUrl> files;
            for (const QString &name : filesOf(model.entries(folder)).keys()) {
                files.append(QUrl::fromLocalFile(folder + u'/' + name));
            }
            bool whole = false;
            for (const QList<qsizetype> &group : shotsAmong(files)) {
                QSet<QUrl> members;
                for (const qsizetype i : group) {
                    members.insert(files[i]);
                }
                whole = whole || members.contains(QSet<QUrl>(shot.cbegin(), shot.cend()));
            }
            if (!whole) {
                broken.append(shown(shot));
            }
        }
        return broken;
    };
    const auto anyFolder = [&] {
        const QStringList paths = categories();
        const int pick = int(random.bounded(int(paths.size()) + 1));
        return pick == paths.size() ? root : paths[pick];
    };

    QList<QList<FileMove>> histories; // batches that can be undone and redone any number of times
    QList<CategoryDeletion> deletions;
    int failures = 0;
    int injected = 0;

    for (int step = 0; step < operations; ++step) {
        QString context = u"CALVENOR_RELIABILITY_SEED=%1, step %2"_s.arg(seed).arg(step);
        // One failure, at a random call of this operation, in two steps out of five.
        fs->reset();
        if (random.bounded(5) < 2) {
            fs->failNth(FaultyFileSystem::Call(random.bounded(8)), int(random.bounded(1, 4)),
                        random.bounded(2) ? EIO : ENOSPC);
        }
        QString what;
        QSet<QString> touched; // the folders this step may change
        const QMap<QString, DiskModel::Entries> before = model.folders();
        std::optional<QList<FileMove>> recorded; // what a step that moves files says it did
        QList<QList<QUrl>> asked;                // the shots it had to move, each member once
        QList<QList<QUrl>> landed;               // shots that must be whole after the step
        std::optional<FileSystemError> error;
        const auto note = [&error](const auto &result) {
            if (!result) {
                error = result.error();
            }
        };
        const auto touchMoves = [&](const QList<FileMove> &moves) {
            for (const FileMove &move : moves) {
                for (const QUrl &url : {move.source, move.destination}) {
                    const QString folder = parentOf(url.toLocalFile());
                    touched.insert(folder);
                    if (folder == trashFiles) {
                        touched.insert(trashInfo);
                    }
                }
            }
        };
        // A batch that moved something can be undone and redone.
        const auto record = [&](const Result<QList<FileMove>> &moves) {
            note(moves);
            recorded = moves.value_or(QList<FileMove>());
            if (moves && !moves->isEmpty()) {
                histories.append(*moves);
            }
        };
        const int choice = int(random.bounded(100));
        if (choice < 30) {
            what = u"file photos"_s;
            const QString from = anyFolder();
            const QString to = anyFolder();
            touched = {from, to};
            QList<QList<QUrl>> chosen;
            for (const QList<QUrl> &shot : shotsIn(from)) {
                if (random.bounded(3) == 0) {
                    chosen.append(shot);
                }
            }
            record(ops.moveShots(chosen, QUrl::fromLocalFile(to)));
            asked = from == to ? QList<QList<QUrl>>() : chosen; // none is moved where it is
        } else if (choice < 55 && !histories.isEmpty()) {
            what = u"undo or redo"_s;
            // Mostly one of the latest batches, as the undo stack has it; older ones are
            // often out of date by now and must fail cleanly.
            const int size = int(histories.size());
            const qsizetype index = random.bounded(4) ? size - 1 - random.bounded(std::min(size, 3))
                                                      : random.bounded(size);
            const QList<FileMove> back = FileMove::reversedEach(histories[index]);
            touchMoves(back);
            asked = recordedShots(back, false); // replayed in the shots they were recorded in
            const Result<QList<FileMove>> moves = ops.relocate(back);
            note(moves);
            recorded = moves.value_or(QList<FileMove>());
            if (moves) {
                touchMoves(*moves);
                histories[index] = *moves;
            }
        } else if (choice < 65) {
            what = u"trash"_s;
            const QString from = anyFolder();
            touched = {from, trashFiles, trashInfo};
            asked = shotsIn(from).mid(0, random.bounded(3));
            record(ops.moveShotsToTrash(asked));
        } else if (choice < 70) {
            what = u"copy in"_s;
            const QString to = anyFolder();
            touched = {to};
            const QList<QUrl> dropped = photosIn(outside.path()).mid(random.bounded(7));
            const Result<QList<FileMove>> copies =
                ops.copyImageFiles(dropped, QUrl::fromLocalFile(to));
            note(copies);
            QList<QUrl> made;
            for (const FileMove &copy : copies.value_or(QList<FileMove>())) {
                made.append(copy.destination);
                model.expect(readFile(copy.destination.toLocalFile()), 1);
            }
            // The dropped shots arrive whole, in order; dropped orphan sidecars stay behind.
            qsizetype next = 0;
            bool same = true;
            for (const QList<qsizetype> &members : shotsAmong(copies ? dropped : QList<QUrl>())) {
                QList<QUrl> &shot = landed.emplace_back();
                for (const qsizetype i : members) {
                    shot.append(made.value(next++));
                    same = same && readFile(shot.last().toLocalFile()) ==
                                       readFile(dropped[i].toLocalFile());
                }
            }
            QVERIFY2(!copies || (same && next == made.size()),
                     qPrintable(context + u": not the dropped shots copied"_s));
        } else if (choice < 76) {
            what = u"create category"_s;
            const QString name = u"New %1"_s.arg(random.bounded(4));
            touched = {root, root + u'/' + name};
            note(ops.createCategory(name, QUrl::fromLocalFile(root)));
        } else if (choice < 82 && !categories().isEmpty()) {
            what = u"delete category"_s;
            const QStringList paths = categories();
            const QString category = paths[random.bounded(int(paths.size()))];
            touched = {root, category};
            asked = shotsIn(category, true);
            const Result<CategoryDeletion> deletion =
                ops.deleteCategory(QUrl::fromLocalFile(category), QUrl::fromLocalFile(root));
            note(deletion);
            recorded = deletion ? deletion->movedItems : QList<FileMove>();
            if (deletion) {
                deletions.append(*deletion);
            }
        } else if (choice < 88 && !deletions.isEmpty()) {
            what = u"restore category"_s;
            const qsizetype index = random.bounded(int(deletions.size()));
            touched = {root, deletions[index].categoryURL.toLocalFile()};
            asked = recordedShots(deletions[index].movedItems, true);
            const Result<QList<FileMove>> restored = ops.restoreDeletedCategory(deletions[index]);
            note(restored);
            recorded = restored.value_or(QList<FileMove>());
            if (restored) {
                deletions.removeAt(index);
            }
        } else if (choice < 92 && !categories().isEmpty()) {
            what = u"rename category"_s;
            const QStringList paths = categories();
            const QString category = paths[random.bounded(int(paths.size()))];
            const QString name = u"Renamed %1"_s.arg(random.bounded(3));
            touched = {root, category, root + u'/' + name};
            note(ops.renameCategory(QUrl::fromLocalFile(category), name));
        } else if (choice < 93) {
            // The user empties the trash: later undos of those items must fail cleanly.
            what = u"empty trash"_s;
            touched = {trashFiles, trashInfo};
            for (const QByteArray &content : model.entries(trashFiles)) {
                model.expect(content, -1);
            }
            for (const QString &folder : {trashFiles, trashInfo}) {
                for (const QString &name : model.entries(folder).keys()) {
                    QFile::remove(folder + u'/' + name);
                }
            }
        } else {
            // Another program at work: adds, renames or deletes a file behind our back.
            const QString from = anyFolder();
            const QList<QUrl> photos = photosIn(from);
            const int kind = int(random.bounded(3));
            // Keeps the collection between 30 and 150 files, as other programs come and go.
            qsizetype files = 0;
            for (const QString &folder : categories() + QStringList{root}) {
                files += model.entries(folder).size();
            }
            if (photos.isEmpty() || (files < 150 && (kind == 0 || files < 30))) {
                what = u"outside add"_s;
                const QByteArray content = newContent();
                const QString to = anyFolder();
                touched = {to};
                writeFile(to, u"added %1.jpg"_s.arg(step), content);
                model.expect(content, 1);
            } else if (kind == 1 && files < 150) {
                what = u"outside rename"_s;
                const QString to = anyFolder();
                touched = {from, to};
                QFile::rename(photos[random.bounded(int(photos.size()))].toLocalFile(),
                              to + u"/outside %1.jpg"_s.arg(step));
            } else {
                what = u"outside delete"_s;
                touched = {from};
                const QString path = photos[random.bounded(int(photos.size()))].toLocalFile();
                model.expect(readFile(path), -1);
                QFile::remove(path);
            }
        }
        const bool failed = error.has_value();
        injected += fs->injectedCount > 0;
        // An injection that fired after the operation had already failed for a reason of its
        // own hit the clean-up, which this test promises to leave alone.
        const bool cleanupHit =
            failed && fs->injectedCount > 0 && !error->message.startsWith(u"Injected failure"_s);
        fs->reset();
        context += u" (%1%2)"_s.arg(what, failed ? u", failed"_s : QString());
        QStringList changed;
        for (const QString &folder : std::as_const(touched)) {
            // The trash's folders are made on first use, even by a step that then fails.
            const bool trashMade = !before.contains(folder) && folder.startsWith(trashFolder);
            if (!model.refresh(folder) && !(trashMade && model.entries(folder).isEmpty())) {
                changed.append(folder);
            }
        }
        QVERIFY2(model.surplus().isEmpty(),
                 qPrintable(context + u": file contents changed: "_s + shown(model.surplus())));
        if (failed && !cleanupHit) {
            ++failures;
            QVERIFY2(changed.isEmpty(),
                     qPrintable(context + u": disk changed in "_s + shown(changed)));
        }
        // The trash's items and .trashinfo files must agree, or file managers hide an item or
        // list a ghost.
        if (touched.contains(trashFiles) || touched.contains(trashInfo)) {
            const QStringList items = model.entries(trashFiles).keys();
            QStringList listed;
            for (const QString &name : model.entries(trashInfo).keys()) {
                listed.append(name.endsWith(u".trashinfo"_s) ? name.chopped(10)
                                                             : u"stray "_s + name);
            }
            listed.sort();
            QVERIFY2(items == listed, qPrintable(context + u": trash out of step: "_s +
                                                 shown(items) + u" / "_s + shown(listed)));
        }
        if (!failed && recorded) {
            // The records name the shots the step had to move, each item once under its own
            // shot, and exactly the recorded items moved, each keeping its content.
            QMap<QString, DiskModel::Entries> expected;
            for (const QString &folder : std::as_const(touched)) {
                expected.insert(folder, filesOf(before.value(folder)));
            }
            for (const FileMove &move : std::as_const(*recorded)) {
                expected[parentOf(move.source.toLocalFile())].remove(move.source.fileName());
            }
            for (const FileMove &move : std::as_const(*recorded)) {
                const QString from = parentOf(move.source.toLocalFile());
                const QString to = parentOf(move.destination.toLocalFile());
                expected[to].insert(move.destination.fileName(),
                                    before.value(from).value(move.source.fileName()));
            }
            landed.append(recordedShots(*recorded, true));
            QVERIFY2(sortedShots(recordedShots(*recorded, false)) == sortedShots(asked),
                     qPrintable(context + u": the records do not match the shots"_s));
            expected.remove(trashInfo);
            for (auto it = expected.cbegin(); it != expected.cend(); ++it) {
                QVERIFY2(filesOf(model.entries(it.key())) == it.value(),
                         qPrintable(context + u": not as recorded: "_s + it.key()));
            }
        }
        const QStringList broken = failed ? QStringList() : brokenShots(landed);
        QVERIFY2(broken.isEmpty(), qPrintable(context + u": shots broken up: "_s + shown(broken)));
        // Every so often, and at the end, the whole disk is read: nothing may have changed in
        // a folder the operation had no business touching.
        if ((step + 1) % fullCheckInterval == 0 || step + 1 == operations) {
            for (const QString &folder : allFolders() + model.folders().keys()) {
                QVERIFY2(model.refresh(folder),
                         qPrintable(context + u": untouched folder changed: "_s + folder));
            }
        }
    }
    qInfo("%d operations, %d with an injected failure, %d failed and left the disk as it was",
          operations, injected, failures);
    QVERIFY(failures > 0);
}

QTEST_GUILESS_MAIN(tst_FileOperationsReliability)
#include "tst_FileOperationsReliability.moc"
