#include "Services/FileOperations.h"
#include "support/FaultyFileSystem.h"
#include "support/TestFolders.h"

#include <QDebug>
#include <QDir>
#include <QDirIterator>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>

using namespace TestFolders;

// Thousands of random operations (filing, undo and redo, trash, copy-in, category changes,
// changes made by other programs), many with one injected failure. After every step the
// multiset of file contents under the root and the trash must be what it was (nothing lost,
// overwritten or duplicated), and a failed step must have left the disk exactly as it was.
// CALVENOR_RELIABILITY_OPS sets the count, CALVENOR_RELIABILITY_SEED replays a run; long runs
// need a larger QTEST_FUNCTION_TIMEOUT (milliseconds) than QtTest's five-minute default.
class tst_FileOperationsReliability : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void randomOperationsLoseNothing();
};

namespace {

struct Snapshot
{
    QMap<QString, QByteArray> files; // relative path → content
    QStringList folders;

    QByteArrayList contents() const
    {
        QByteArrayList result = files.values();
        std::sort(result.begin(), result.end());
        return result;
    }
    bool operator==(const Snapshot &) const = default;
};

void collect(Snapshot &snapshot, const QString &base, const QString &prefix)
{
    QDirIterator it(base, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    const QDir dir(base);
    while (it.hasNext()) {
        const QString path = it.next();
        const QString relative = prefix + dir.relativeFilePath(path);
        if (it.fileInfo().isDir()) {
            snapshot.folders.append(relative);
        } else {
            snapshot.files.insert(relative, readFile(path));
        }
    }
    snapshot.folders.sort();
}

// A batch of moves that can be put back (undo) and replayed (redo) any number of times.
struct History
{
    QList<FileMove> moves;
};

} // namespace

void tst_FileOperationsReliability::randomOperationsLoseNothing()
{
    const int operations = qEnvironmentVariableIsSet("CALVENOR_RELIABILITY_OPS")
                               ? qEnvironmentVariableIntValue("CALVENOR_RELIABILITY_OPS")
                               : 2000;
    const quint32 seed = qEnvironmentVariableIsSet("CALVENOR_RELIABILITY_SEED")
                             ? quint32(qEnvironmentVariableIntValue("CALVENOR_RELIABILITY_SEED"))
                             : QRandomGenerator::global()->bounded(1000000u);
    QRandomGenerator random(seed);
    qInfo("seed %u, %d operations", seed, operations);

    QTemporaryDir home;
    QTemporaryDir rootDir;
    QTemporaryDir outside;
    qputenv("XDG_DATA_HOME", home.path().toUtf8());
    const QString root = rootDir.path();
    const QString trash = home.path() + QStringLiteral("/Trash/files");
    auto fs = std::make_shared<FaultyFileSystem>();
    FileOperations ops(fs);

    int nextContent = 0;
    const auto newContent = [&] { return QByteArray("photo ") + QByteArray::number(nextContent++); };
    for (const char *folder : {"", "Cats/", "Dogs/", "Birds/"}) {
        for (int i = 0; i < 6; ++i) {
            writeFile(root, QString::fromUtf8(folder) + QStringLiteral("IMG_%1.jpg").arg(i % 3),
                      newContent());
        }
    }
    for (int i = 0; i < 4; ++i) {
        writePng(outside.path(), QStringLiteral("drop%1.png").arg(i), {1 + i, 1});
    }

    const auto snapshot = [&] {
        Snapshot s;
        collect(s, root, QString());
        if (QFileInfo::exists(trash)) {
            collect(s, trash, QStringLiteral("TRASH/"));
        }
        return s;
    };
    const auto categories = [&] {
        return QDir(root).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    };
    const auto photosIn = [&](const QString &folder) {
        QList<QUrl> urls;
        for (const QString &name : QDir(folder).entryList(QDir::Files | QDir::Hidden)) {
            urls.append(QUrl::fromLocalFile(folder + QLatin1Char('/') + name));
        }
        return urls;
    };
    const auto anyFolder = [&] {
        const QStringList names = categories();
        const int pick = int(random.bounded(int(names.size()) + 1));
        return pick == names.size() ? root : root + QLatin1Char('/') + names[pick];
    };

    QList<History> histories;
    QList<CategoryDeletion> deletions;
    QByteArrayList expected = snapshot().contents();
    int failures = 0;

    for (int step = 0; step < operations; ++step) {
        const Snapshot before = snapshot();
        // One failure, at a random call of this operation, in two steps out of five.
        fs->reset();
        if (random.bounded(5) < 2) {
            fs->failNth(FaultyFileSystem::Call(random.bounded(8)), int(random.bounded(1, 6)),
                        random.bounded(2) ? EIO : ENOSPC);
        }
        QString what;
        std::optional<FileSystemError> error;
        const auto note = [&error](const auto &result) {
            if (!result) {
                error = result.error();
            }
        };
        const int choice = int(random.bounded(100));
        if (choice < 30) {
            what = QStringLiteral("file photos");
            const QList<QUrl> photos = photosIn(anyFolder());
            QList<QUrl> chosen;
            for (const QUrl &url : photos) {
                if (random.bounded(3) == 0) {
                    chosen.append(url);
                }
            }
            const Result<QList<FileMove>> moves = ops.moveFiles(chosen, QUrl::fromLocalFile(anyFolder()));
            note(moves);
            if (moves && !moves->isEmpty()) {
                histories.append({*moves});
            }
        } else if (choice < 55 && !histories.isEmpty()) {
            what = QStringLiteral("undo or redo");
            const qsizetype index = random.bounded(int(histories.size()));
            QList<FileMove> back;
            for (auto move = histories[index].moves.crbegin(); move != histories[index].moves.crend(); ++move) {
                back.append(move->reversed());
            }
            const Result<QList<FileMove>> moves = ops.relocate(back);
            note(moves);
            if (moves) {
                histories[index].moves = *moves;
            }
        } else if (choice < 65) {
            what = QStringLiteral("trash");
            const QList<QUrl> photos = photosIn(anyFolder());
            const Result<QList<FileMove>> moves = ops.moveToTrash(photos.mid(0, random.bounded(3)));
            note(moves);
            if (moves && !moves->isEmpty()) {
                histories.append({*moves});
            }
        } else if (choice < 70) {
            what = QStringLiteral("copy in");
            const QList<QUrl> dropped = photosIn(outside.path()).mid(random.bounded(4));
            const Result<QList<QUrl>> copies = ops.copyImageFiles(dropped, QUrl::fromLocalFile(anyFolder()));
            note(copies);
            for (const QUrl &copy : copies.value_or(QList<QUrl>())) {
                expected.append(readFile(copy.toLocalFile()));
            }
        } else if (choice < 76) {
            what = QStringLiteral("create category");
            note(ops.createCategory(QStringLiteral("New %1").arg(random.bounded(4)),
                                    QUrl::fromLocalFile(root)));
        } else if (choice < 82 && !categories().isEmpty()) {
            what = QStringLiteral("delete category");
            const QStringList names = categories();
            const Result<CategoryDeletion> deletion = ops.deleteCategory(
                QUrl::fromLocalFile(root + QLatin1Char('/') + names[random.bounded(int(names.size()))]),
                QUrl::fromLocalFile(root));
            note(deletion);
            if (deletion) {
                deletions.append(*deletion);
            }
        } else if (choice < 88 && !deletions.isEmpty()) {
            what = QStringLiteral("restore category");
            const qsizetype index = random.bounded(int(deletions.size()));
            const Result<QList<FileMove>> restored = ops.restoreDeletedCategory(deletions[index]);
            note(restored);
            if (restored) {
                deletions.removeAt(index);
            }
        } else if (choice < 92 && !categories().isEmpty()) {
            what = QStringLiteral("rename category");
            const QStringList names = categories();
            note(ops.renameCategory(
                QUrl::fromLocalFile(root + QLatin1Char('/') + names[random.bounded(int(names.size()))]),
                QStringLiteral("Renamed %1").arg(random.bounded(3))));
        } else {
            // Another program at work: adds, renames or deletes a file behind our back.
            fs->hook = {};
            const QList<QUrl> photos = photosIn(anyFolder());
            const int kind = int(random.bounded(3));
            if (kind == 0 || photos.isEmpty()) {
                what = QStringLiteral("outside add");
                const QByteArray content = newContent();
                writeFile(anyFolder(), QStringLiteral("added %1.jpg").arg(step), content);
                expected.append(content);
            } else if (kind == 1) {
                what = QStringLiteral("outside rename");
                const QString path = photos[random.bounded(int(photos.size()))].toLocalFile();
                const QString target = anyFolder() + QStringLiteral("/outside %1.jpg").arg(step);
                QFile::rename(path, target);
            } else {
                what = QStringLiteral("outside delete");
                const QString path = photos[random.bounded(int(photos.size()))].toLocalFile();
                expected.removeOne(readFile(path));
                QFile::remove(path);
            }
            std::sort(expected.begin(), expected.end());
            const Snapshot after = snapshot();
            QVERIFY2(after.contents() == expected, qPrintable(QStringLiteral("seed %1 step %2 (%3): setup").arg(seed).arg(step).arg(what)));
            continue;
        }
        const bool failed = error.has_value();
        // An injection that fired after the operation had already failed for a reason of its
        // own hit the clean-up, which this test promises to leave alone.
        const bool cleanupHit = failed && fs->injectedCount > 0
                                && !error->message.startsWith(QStringLiteral("Injected failure"));
        fs->reset();
        std::sort(expected.begin(), expected.end());
        const Snapshot after = snapshot();
        const QString context = QStringLiteral("seed %1, step %2 (%3%4)")
                                    .arg(seed)
                                    .arg(step)
                                    .arg(what, failed ? QStringLiteral(", failed") : QString());
        QVERIFY2(after.contents() == expected,
                 qPrintable(context + QStringLiteral(": file contents changed")));
        if (failed && !cleanupHit) {
            ++failures;
            if (!(after == before)) {
                qWarning() << "before" << before.folders << before.files.keys();
                qWarning() << "after " << after.folders << after.files.keys();
            }
            QVERIFY2(after == before, qPrintable(context + QStringLiteral(": disk changed")));
        }
    }
    qInfo("%d operations, %d failed and left the disk as it was", operations, failures);
    QVERIFY(failures > 0);
}

QTEST_GUILESS_MAIN(tst_FileOperationsReliability)
#include "tst_FileOperationsReliability.moc"
