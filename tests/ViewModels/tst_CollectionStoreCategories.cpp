#include "Models/FileSystemError.h"
#include "Services/FileOperations.h"
#include "Services/Platform/LinuxFileSystem.h"
#include "support/FaultyFileSystem.h"
#include "support/StoreFixture.h"

#include <QCryptographicHash>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QScopeGuard>
#include <QTest>

#include <atomic>
#include <condition_variable>
#include <mutex>

using namespace TestFolders;

// Creating, renaming and deleting categories through the store, with their prompts, HUD
// messages, alerts and undo records. Every case looks at the folders on disk as well as at what
// the store shows.

namespace {

enum class CategoryAction { create, rename, remove };

// Every HUD message and alert the store shows, in order.
class Shown
{
public:
    explicit Shown(CollectionStore &store)
    {
        m_connections.append(
            QObject::connect(&store, &CollectionStore::hudMessageChanged, [this, &store] {
                if (store.hudMessage()) {
                    huds.append(*store.hudMessage());
                }
            }));
        m_connections.append(
            QObject::connect(&store, &CollectionStore::alertChanged, [this, &store] {
                if (store.alert()) {
                    alerts.append(*store.alert());
                }
            }));
    }
    ~Shown()
    {
        for (const QMetaObject::Connection &connection : std::as_const(m_connections)) {
            QObject::disconnect(connection);
        }
    }
    Shown(const Shown &) = delete;
    Shown &operator=(const Shown &) = delete;

    QStringList alertTitles() const
    {
        QStringList titles;
        for (const UserFacingAlert &alert : alerts) {
            titles.append(alert.title);
        }
        return titles;
    }

    QStringList huds;
    QList<UserFacingAlert> alerts;

private:
    QList<QMetaObject::Connection> m_connections;
};

// A small JPEG whose bytes differ from every other one written by this test, so a snapshot
// tells which file ended up where.
QString writePhoto(const QString &root, const QString &relativePath)
{
    static int width = 8;
    return writeJpeg(root, relativePath, QSize(width++, 6));
}

// Every folder ("Cats/") and file ("Cats/a.jpg #1a2b3c4d", with a hash of its bytes) below root.
QStringList snapshot(const QString &root)
{
    QStringList entries;
    QDirIterator it(root, QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System,
                    QDirIterator::Subdirectories);
    const QDir base(root);
    while (it.hasNext()) {
        const QString path = it.next();
        const QString relative = base.relativeFilePath(path);
        if (it.fileInfo().isDir()) {
            entries.append(relative + QLatin1Char('/'));
        } else {
            const QByteArray hash =
                QCryptographicHash::hash(readFile(path), QCryptographicHash::Md5).toHex().left(8);
            entries.append(relative + QStringLiteral(" #") + QString::fromLatin1(hash));
        }
    }
    entries.sort();
    return entries;
}

QStringList sorted(QStringList list)
{
    list.sort();
    return list;
}

QStringList categoryNames(const CollectionStore &store)
{
    QStringList names;
    for (const PhotoSection &section : store.sections()) {
        if (section.kind == PhotoSectionKind::category) {
            names.append(section.name);
        }
    }
    return names;
}

// The first-level folders of root, sorted.
QStringList foldersOnDisk(const QString &root)
{
    return sorted(QDir(root).entryList(QDir::Dirs | QDir::NoDotAndDotDot | QDir::Hidden));
}

// Every photo the store shows, as a sorted path relative to root.
QStringList shownPaths(const CollectionStore &store, const QString &root)
{
    QStringList paths;
    const QDir base(root);
    for (const PhotoSection &section : store.sections()) {
        for (const Photo &photo : section.photos) {
            paths.append(base.relativeFilePath(photo.url.toLocalFile()));
        }
    }
    return sorted(paths);
}

// The image files below root (what the store should show), sorted.
QStringList photosOnDisk(const QString &root)
{
    QStringList photos;
    for (const QString &path : filesBelow(root)) {
        if (!path.endsWith(QStringLiteral(".txt"))) {
            photos.append(path);
        }
    }
    return photos;
}

// "name|id" for every photo of a section, in the section's order.
QStringList namesWithIDs(const std::optional<PhotoSection> &section)
{
    QStringList result;
    if (section) {
        for (const Photo &photo : section->photos) {
            result.append(photo.filename + QLatin1Char('|') + photo.id);
        }
    }
    return result;
}

// Holds the service thread when it is about to list "Cats", until released, so a test can look
// at the store while the disk work has not happened yet. A disk operation that is over before
// the store has attached its continuation completes inside the call that started it.
class ListingGate
{
public:
    // Holds the next listing of "Cats" until release(), or until the returned guard is gone.
    [[nodiscard]] auto hold()
    {
        {
            const std::lock_guard lock(m_mutex);
            m_armed = true;
            m_open = false;
        }
        return qScopeGuard([this] { release(); });
    }
    void release()
    {
        const std::lock_guard lock(m_mutex);
        m_open = true;
        m_condition.notify_all();
    }
    // On the service thread.
    void pass(const QString &path)
    {
        std::unique_lock lock(m_mutex);
        if (!m_armed || !path.endsWith(QStringLiteral("/Cats"))) {
            return;
        }
        m_armed = false;
        m_condition.wait_for(lock, std::chrono::seconds(10), [this] { return m_open; });
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_condition;
    bool m_armed = false;
    bool m_open = false;
};

} // namespace

Q_DECLARE_METATYPE(CategoryAction)

class tst_CollectionStoreCategories : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void newCategoryPromptNeedsAnOpenIdleCollection();
    void promptsCarryTheirTexts();
    void noPromptsForUnsortedOrUnknownSections();
    void createUndoRedo_data();
    void createUndoRedo();
    void refusedNames_data();
    void refusedNames();
    void renameUndoRedo_data();
    void renameUndoRedo();
    void renameToOwnNameDoesNothing_data();
    void renameToOwnNameDoesNothing();
    void renameUndoWhenOldNameTaken();
    void deleteUndoRedo_data();
    void deleteUndoRedo();
    void redoOfDeletionPicksOtherFreeNames();
    void staleDeleteConfirmationDoesNothing();
    void deleteWithSubfolderComesBack();
    void undoDeleteWhenNameTaken();
    void undoCreationOfNonEmptyCategory_data();
    void undoCreationOfNonEmptyCategory();
    void queuedUndoRedoEndsConsistent_data();
    void queuedUndoRedoEndsConsistent();
    void actionsRunWithoutUndoStack();
    void outsideChangeDuringRescanIsShown();

private:
    // Opens the folder and checks the store shows it; call through QVERIFY.
    static bool openAndSettle(StoreFixture &f, std::shared_ptr<PlatformFileSystem> fs = {})
    {
        f.make(std::move(fs));
        return f.open() && f.settle();
    }
    // Opens the folder on a file system whose listings of "Cats" the returned gate can hold.
    static std::shared_ptr<ListingGate> openGated(StoreFixture &f)
    {
        const auto gate = std::make_shared<ListingGate>();
        auto fileSystem = std::make_shared<FaultyFileSystem>();
        fileSystem->hook = [gate](FaultyFileSystem::Call call, const QString &path,
                                  const QString &) -> std::optional<int> {
            if (call == FaultyFileSystem::Call::list) {
                gate->pass(path);
            }
            return std::nullopt;
        };
        return openAndSettle(f, fileSystem) ? gate : nullptr;
    }
};

// ----- Prompts

void tst_CollectionStoreCategories::newCategoryPromptNeedsAnOpenIdleCollection()
{
    StoreFixture f;
    writePhoto(f.path(), QStringLiteral("a.jpg"));
    CollectionStore &store = f.make();

    QVERIFY(!store.canCreateCategory());
    store.showNewCategoryPrompt();
    QVERIFY(!store.categoryPrompt());

    store.openCollection(QUrl::fromLocalFile(f.path()), false);
    QVERIFY(store.isLoading());
    QVERIFY(!store.canCreateCategory());
    store.showNewCategoryPrompt();
    QVERIFY(!store.categoryPrompt());

    QTRY_VERIFY_WITH_TIMEOUT(!store.isLoading() && store.collection(), 10000);
    QVERIFY(store.canCreateCategory());
    store.showNewCategoryPrompt();
    QVERIFY(store.categoryPrompt());
}

void tst_CollectionStoreCategories::promptsCarryTheirTexts()
{
    StoreFixture f;
    writePhoto(f.path(), QStringLiteral("Cats/a.jpg"));
    QVERIFY(openAndSettle(f));
    CollectionStore &store = *f.store;
    const QString cats = f.sectionNamed(QStringLiteral("Cats"))->id;

    store.showNewCategoryPrompt();
    QVERIFY(store.categoryPrompt());
    const CategoryPrompt first = *store.categoryPrompt();
    QCOMPARE(first.mode, CategoryPrompt::Mode::create());
    QCOMPARE(first.title, QStringLiteral("New Category"));
    QCOMPARE(first.actionTitle, QStringLiteral("Create"));
    QCOMPARE(first.initialName, QString());
    QVERIFY(!first.id.isNull());

    // A sheet opened again is a new sheet.
    store.showNewCategoryPrompt();
    QVERIFY(store.categoryPrompt()->id != first.id);

    store.showRenamePrompt(cats);
    const CategoryPrompt rename = *store.categoryPrompt();
    QCOMPARE(rename.mode, CategoryPrompt::Mode::rename(cats));
    QCOMPARE(rename.title, QStringLiteral("Rename Category"));
    QCOMPARE(rename.actionTitle, QStringLiteral("Rename"));
    QCOMPARE(rename.initialName, QStringLiteral("Cats"));
    QVERIFY(!rename.id.isNull());
    store.showRenamePrompt(cats);
    QVERIFY(store.categoryPrompt()->id != rename.id);

    store.cancelCategoryPrompt();
    QVERIFY(!store.categoryPrompt());

    store.requestDeleteCategory(cats);
    QVERIFY(store.deleteCategoryPrompt());
    QCOMPARE(store.deleteCategoryPrompt()->sectionID, cats);
    QCOMPARE(store.deleteCategoryPrompt()->categoryName, QStringLiteral("Cats"));
    QCOMPARE(store.deleteCategoryPrompt()->photoCount, 1);
    store.cancelDeleteCategory();
    QVERIFY(!store.deleteCategoryPrompt());

    // Nothing was done on disk by opening and cancelling.
    QCOMPARE(filesBelow(f.path()), QStringList{QStringLiteral("Cats/a.jpg")});
    QCOMPARE(f.undoStack.count(), 0);
}

void tst_CollectionStoreCategories::noPromptsForUnsortedOrUnknownSections()
{
    StoreFixture f;
    writePhoto(f.path(), QStringLiteral("a.jpg"));
    writePhoto(f.path(), QStringLiteral("Cats/b.jpg"));
    QVERIFY(openAndSettle(f));
    CollectionStore &store = *f.store;
    const QString unsorted = f.sectionNamed(QStringLiteral("Unsorted"))->id;
    const QString unknown = QStringLiteral("category:no-such-folder");

    for (const QString &id : {unsorted, unknown, QString()}) {
        store.showRenamePrompt(id);
        QVERIFY2(!store.categoryPrompt(), qPrintable(id));
        store.requestDeleteCategory(id);
        QVERIFY2(!store.deleteCategoryPrompt(), qPrintable(id));
    }
}

// ----- Creating

void tst_CollectionStoreCategories::createUndoRedo_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("folder");

    QTest::newRow("plain name") << QStringLiteral("Dogs") << QStringLiteral("Dogs");
    QTest::newRow("surrounding spaces trimmed")
        << QStringLiteral("  Dogs ") << QStringLiteral("Dogs");
    QTest::newRow("accents and spaces kept")
        << QStringLiteral("\u00C9t\u00E9 2024") << QStringLiteral("\u00C9t\u00E9 2024");
}

void tst_CollectionStoreCategories::createUndoRedo()
{
    QFETCH(QString, typed);
    QFETCH(QString, folder);

    StoreFixture f;
    writePhoto(f.path(), QStringLiteral("a.jpg"));
    writePhoto(f.path(), QStringLiteral("Cats/b.jpg"));
    QVERIFY(openAndSettle(f));
    CollectionStore &store = *f.store;
    Shown shown(store);

    store.showNewCategoryPrompt();
    store.submitCategoryPrompt(*store.categoryPrompt(), typed);
    QVERIFY(!store.categoryPrompt());
    QVERIFY(f.settle());

    QCOMPARE(shown.huds, QStringList{QStringLiteral("Created ") + folder});
    QCOMPARE(foldersOnDisk(f.path()), sorted({QStringLiteral("Cats"), folder}));
    QCOMPARE(sorted(categoryNames(store)), sorted({QStringLiteral("Cats"), folder}));
    QVERIFY(f.sectionNamed(folder)->photos.isEmpty());
    QCOMPARE(f.undoStack.count(), 1);
    QCOMPARE(f.undoStack.undoText(), QStringLiteral("New Category"));

    for (int round = 0; round < 3; ++round) {
        f.undoStack.undo();
        QCOMPARE(f.undoStack.redoText(), QStringLiteral("New Category"));
        QVERIFY(!f.undoStack.canUndo());
        QVERIFY(f.settle());
        QCOMPARE(foldersOnDisk(f.path()), QStringList{QStringLiteral("Cats")});
        QCOMPARE(categoryNames(store), QStringList{QStringLiteral("Cats")});

        f.undoStack.redo();
        QCOMPARE(f.undoStack.undoText(), QStringLiteral("New Category"));
        QVERIFY(!f.undoStack.canRedo());
        QVERIFY(f.settle());
        QCOMPARE(foldersOnDisk(f.path()), sorted({QStringLiteral("Cats"), folder}));
        QCOMPARE(sorted(categoryNames(store)), sorted({QStringLiteral("Cats"), folder}));
    }

    // Undo and redo of a creation run quietly; the photos were never touched.
    QCOMPARE(shown.huds.size(), 1);
    QVERIFY(shown.alerts.isEmpty());
    QCOMPARE(filesBelow(f.path()), sorted({QStringLiteral("a.jpg"), QStringLiteral("Cats/b.jpg")}));
}

void tst_CollectionStoreCategories::refusedNames_data()
{
    QTest::addColumn<bool>("rename"); // rename "Cats", otherwise create
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("message");

    const QString invalid = FileSystemError::invalidCategoryName().message;
    const auto exists = [](const char *name) {
        return FileSystemError::categoryAlreadyExists(QString::fromUtf8(name)).message;
    };

    QTest::newRow("create: empty") << false << QString() << invalid;
    QTest::newRow("create: only spaces") << false << QStringLiteral("   ") << invalid;
    QTest::newRow("create: hidden") << false << QStringLiteral(".secret") << invalid;
    QTest::newRow("create: slash") << false << QStringLiteral("a/b") << invalid;
    QTest::newRow("create: colon") << false << QStringLiteral("a:b") << invalid;
    QTest::newRow("create: existing") << false << QStringLiteral("Dogs") << exists("Dogs");
    QTest::newRow("create: existing, other case")
        << false << QStringLiteral("dogs") << exists("dogs");
    QTest::newRow("create: name of a file in the root")
        << false << QStringLiteral("a.jpg") << exists("a.jpg");
    QTest::newRow("rename: empty") << true << QString() << invalid;
    QTest::newRow("rename: hidden") << true << QStringLiteral(".secret") << invalid;
    QTest::newRow("rename: slash") << true << QStringLiteral("x/y") << invalid;
    QTest::newRow("rename: existing") << true << QStringLiteral("Dogs") << exists("Dogs");
    QTest::newRow("rename: existing, other case")
        << true << QStringLiteral("DOGS") << exists("DOGS");
}

void tst_CollectionStoreCategories::refusedNames()
{
    QFETCH(bool, rename);
    QFETCH(QString, typed);
    QFETCH(QString, message);

    StoreFixture f;
    writePhoto(f.path(), QStringLiteral("a.jpg"));
    writePhoto(f.path(), QStringLiteral("Cats/b.jpg"));
    makeFolder(f.path(), QStringLiteral("Dogs"));
    QVERIFY(openAndSettle(f));
    CollectionStore &store = *f.store;
    const QStringList before = snapshot(f.path());
    const QList<PhotoSection> sectionsBefore = store.sections();
    Shown shown(store);

    if (rename) {
        store.showRenamePrompt(f.sectionNamed(QStringLiteral("Cats"))->id);
    } else {
        store.showNewCategoryPrompt();
    }
    store.submitCategoryPrompt(*store.categoryPrompt(), typed);
    QVERIFY(!store.categoryPrompt());
    QVERIFY(f.settle());

    QCOMPARE(shown.alerts.size(), 1);
    QCOMPARE(shown.alerts.first().title, rename ? QStringLiteral("Couldn\u2019t Rename Category")
                                                : QStringLiteral("Couldn\u2019t Create Category"));
    QCOMPARE(shown.alerts.first().message, message);
    QCOMPARE(store.alert()->message, message);
    QVERIFY(shown.huds.isEmpty());
    QCOMPARE(f.undoStack.count(), 0);
    QCOMPARE(snapshot(f.path()), before);
    QCOMPARE(store.sections(), sectionsBefore);
}

// ----- Renaming

void tst_CollectionStoreCategories::renameUndoRedo_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("renamed");

    QTest::newRow("new name") << QStringLiteral("Dogs") << QStringLiteral("Dogs");
    QTest::newRow("letter case only") << QStringLiteral("CATS") << QStringLiteral("CATS");
    QTest::newRow("surrounding spaces trimmed")
        << QStringLiteral(" Dogs  ") << QStringLiteral("Dogs");
}

void tst_CollectionStoreCategories::renameUndoRedo()
{
    QFETCH(QString, typed);
    QFETCH(QString, renamed);

    StoreFixture f;
    writePhoto(f.path(), QStringLiteral("a.jpg"));
    writePhoto(f.path(), QStringLiteral("Cats/b.jpg"));
    writePhoto(f.path(), QStringLiteral("Cats/c.jpg"));
    QVERIFY(openAndSettle(f));
    CollectionStore &store = *f.store;
    const QString id = f.sectionNamed(QStringLiteral("Cats"))->id;
    const QStringList photos = f.names(QStringLiteral("Cats"));
    const QStringList photoIDs = namesWithIDs(f.sectionNamed(QStringLiteral("Cats")));
    Shown shown(store);

    // After each step: the folder on disk has the name, and the section (same id, same photos)
    // shows it.
    const auto expectNamed = [&](const QString &name) {
        QCOMPARE(foldersOnDisk(f.path()), QStringList{name});
        QCOMPARE(shownPaths(store, f.path()), photosOnDisk(f.path()));
        QCOMPARE(categoryNames(store), QStringList{name});
        const std::optional<PhotoSection> section = store.section(id);
        QVERIFY(section);
        QCOMPARE(section->name, name);
        QCOMPARE(namesWithIDs(section), photoIDs);
    };

    store.showRenamePrompt(id);
    store.submitCategoryPrompt(*store.categoryPrompt(), typed);
    QVERIFY(!store.categoryPrompt());
    QVERIFY(f.settle());
    expectNamed(renamed);
    QCOMPARE(shown.huds, QStringList{QStringLiteral("Renamed to ") + renamed});
    QCOMPARE(f.undoStack.count(), 1);
    QCOMPARE(f.undoStack.undoText(), QStringLiteral("Rename Category"));

    for (int round = 0; round < 2; ++round) {
        f.undoStack.undo();
        QCOMPARE(f.undoStack.redoText(), QStringLiteral("Rename Category"));
        QVERIFY(f.settle());
        expectNamed(QStringLiteral("Cats"));
        QCOMPARE(shown.huds.last(), QStringLiteral("Renamed to Cats"));

        f.undoStack.redo();
        QCOMPARE(f.undoStack.undoText(), QStringLiteral("Rename Category"));
        QVERIFY(f.settle());
        expectNamed(renamed);
        QCOMPARE(shown.huds.last(), QStringLiteral("Renamed to ") + renamed);
    }
    QCOMPARE(shown.huds.size(), 5);
    QVERIFY(shown.alerts.isEmpty());
    QCOMPARE(f.undoStack.count(), 1);
    QCOMPARE(f.names(renamed), photos);
}

void tst_CollectionStoreCategories::renameToOwnNameDoesNothing_data()
{
    QTest::addColumn<QString>("typed");

    QTest::newRow("same name") << QStringLiteral("Cats");
    QTest::newRow("same name with spaces") << QStringLiteral("  Cats ");
}

void tst_CollectionStoreCategories::renameToOwnNameDoesNothing()
{
    QFETCH(QString, typed);

    StoreFixture f;
    writePhoto(f.path(), QStringLiteral("Cats/b.jpg"));
    QVERIFY(openAndSettle(f));
    CollectionStore &store = *f.store;
    const PhotoSection before = *f.sectionNamed(QStringLiteral("Cats"));
    const QStringList disk = snapshot(f.path());
    Shown shown(store);

    store.showRenamePrompt(before.id);
    store.submitCategoryPrompt(*store.categoryPrompt(), typed);
    QVERIFY(f.settle());

    QVERIFY(shown.huds.isEmpty());
    QVERIFY(shown.alerts.isEmpty());
    QCOMPARE(f.undoStack.count(), 0);
    QCOMPARE(snapshot(f.path()), disk);
    QCOMPARE(store.section(before.id), std::optional<PhotoSection>(before));
}

void tst_CollectionStoreCategories::renameUndoWhenOldNameTaken()
{
    StoreFixture f;
    writePhoto(f.path(), QStringLiteral("Cats/b.jpg"));
    QVERIFY(openAndSettle(f));
    CollectionStore &store = *f.store;
    store.showRenamePrompt(f.sectionNamed(QStringLiteral("Cats"))->id);
    store.submitCategoryPrompt(*store.categoryPrompt(), QStringLiteral("Dogs"));
    QVERIFY(f.settle());
    QCOMPARE(filesBelow(f.path()), QStringList{QStringLiteral("Dogs/b.jpg")});

    // Another program makes a "cats" folder; the old name is no longer free.
    writePhoto(f.path(), QStringLiteral("cats/other.jpg"));
    const QStringList disk = snapshot(f.path());
    Shown shown(store);

    f.undoStack.undo();
    QVERIFY(f.settle());

    QCOMPARE(shown.alertTitles(), QStringList{QStringLiteral("Couldn\u2019t Rename Category")});
    QCOMPARE(shown.alerts.first().message,
             FileSystemError::categoryAlreadyExists(QStringLiteral("Cats")).message);
    QVERIFY(shown.huds.isEmpty());
    QCOMPARE(snapshot(f.path()), disk);
    QCOMPARE(sorted(categoryNames(store)),
             sorted({QStringLiteral("Dogs"), QStringLiteral("cats")}));
    QCOMPARE(shownPaths(store, f.path()), photosOnDisk(f.path()));
    // The failed undo still leaves the rename to redo.
    QCOMPARE(f.undoStack.redoText(), QStringLiteral("Rename Category"));
}

// ----- Deleting

void tst_CollectionStoreCategories::deleteUndoRedo_data()
{
    QTest::addColumn<QStringList>("unsorted"); // photos in the root
    QTest::addColumn<QStringList>("category"); // photos in "Cats"
    QTest::addColumn<QStringList>("others");   // other files in "Cats"
    QTest::addColumn<QStringList>("expected"); // Unsorted's names once "Cats" is deleted

    using L = QStringList;
    QTest::newRow("empty category")
        << L{QStringLiteral("a.jpg")} << L{} << L{} << L{QStringLiteral("a.jpg")};
    QTest::newRow("empty category, empty root") << L{} << L{} << L{} << L{};
    QTest::newRow("one photo, free name")
        << L{QStringLiteral("a.jpg")} << L{QStringLiteral("b.jpg")} << L{}
        << L{QStringLiteral("a.jpg"), QStringLiteral("b.jpg")};
    QTest::newRow("same name gets 2")
        << L{QStringLiteral("IMG_1.jpg")} << L{QStringLiteral("IMG_1.jpg")} << L{}
        << L{QStringLiteral("IMG_1.jpg"), QStringLiteral("IMG_1 2.jpg")};
    QTest::newRow("same name in other case gets 2")
        << L{QStringLiteral("img_1.JPG")} << L{QStringLiteral("IMG_1.jpg")} << L{}
        << L{QStringLiteral("img_1.JPG"), QStringLiteral("IMG_1 2.jpg")};
    QTest::newRow("numbered name taken too")
        << L{QStringLiteral("IMG_1.jpg"), QStringLiteral("IMG_1 2.jpg")}
        << L{QStringLiteral("IMG_1.jpg")} << L{}
        << L{QStringLiteral("IMG_1.jpg"), QStringLiteral("IMG_1 2.jpg"),
             QStringLiteral("IMG_1 3.jpg")};
    QTest::newRow("several photos, some clash")
        << L{QStringLiteral("a.jpg"), QStringLiteral("B.JPG")}
        << L{QStringLiteral("a.jpg"), QStringLiteral("b.jpg"), QStringLiteral("c.jpg")} << L{}
        << L{QStringLiteral("a.jpg"), QStringLiteral("B.JPG"), QStringLiteral("a 2.jpg"),
             QStringLiteral("b 2.jpg"), QStringLiteral("c.jpg")};
    QTest::newRow("a non-photo file goes along")
        << L{QStringLiteral("a.jpg")} << L{QStringLiteral("b.jpg")}
        << L{QStringLiteral("notes.txt")} << L{QStringLiteral("a.jpg"), QStringLiteral("b.jpg")};
}

void tst_CollectionStoreCategories::deleteUndoRedo()
{
    QFETCH(QStringList, unsorted);
    QFETCH(QStringList, category);
    QFETCH(QStringList, others);
    QFETCH(QStringList, expected);

    StoreFixture f;
    for (const QString &name : unsorted) {
        writePhoto(f.path(), name);
    }
    makeFolder(f.path(), QStringLiteral("Cats"));
    for (const QString &name : category) {
        writePhoto(f.path(), QStringLiteral("Cats/") + name);
    }
    for (const QString &name : others) {
        writeFile(f.path(), QStringLiteral("Cats/") + name, "notes");
    }
    writePhoto(f.path(), QStringLiteral("Dogs/d.jpg"));
    const std::shared_ptr<ListingGate> gate = openGated(f);
    QVERIFY(gate);
    CollectionStore &store = *f.store;
    const QStringList original = snapshot(f.path());
    const QString cats = f.sectionNamed(QStringLiteral("Cats"))->id;
    Shown shown(store);

    store.requestDeleteCategory(cats);
    QVERIFY(store.deleteCategoryPrompt());
    QCOMPARE(store.deleteCategoryPrompt()->photoCount, category.size());
    const auto released = gate->hold();
    store.confirmDeleteCategory(*store.deleteCategoryPrompt());
    QVERIFY(!store.deleteCategoryPrompt());

    // At once, before the disk has moved anything: the section is gone and its photos show in
    // Unsorted under the names they are going to get.
    QVERIFY(!store.section(cats));
    QCOMPARE(categoryNames(store), QStringList{QStringLiteral("Dogs")});
    const QStringList predicted = namesWithIDs(f.sectionNamed(QStringLiteral("Unsorted")));
    QCOMPARE(sorted(f.names(QStringLiteral("Unsorted"))), sorted(expected));

    gate->release();
    QVERIFY(f.settle());
    QCOMPARE(namesWithIDs(f.sectionNamed(QStringLiteral("Unsorted"))), predicted);
    QCOMPARE(categoryNames(store), QStringList{QStringLiteral("Dogs")});
    QCOMPARE(foldersOnDisk(f.path()), QStringList{QStringLiteral("Dogs")});
    QCOMPARE(shownPaths(store, f.path()), photosOnDisk(f.path()));
    QStringList rootFiles = expected + others;
    rootFiles.append(QStringLiteral("Dogs/d.jpg"));
    QCOMPARE(filesBelow(f.path()), sorted(rootFiles));
    QCOMPARE(shown.huds, QStringList{QStringLiteral("Deleted Cats")});
    QCOMPARE(f.undoStack.undoText(), QStringLiteral("Delete Category"));
    const QStringList deleted = snapshot(f.path());

    const auto expectRestored = [&] {
        QCOMPARE(snapshot(f.path()), original);
        QCOMPARE(sorted(categoryNames(store)),
                 sorted({QStringLiteral("Cats"), QStringLiteral("Dogs")}));
        QCOMPARE(sorted(f.names(QStringLiteral("Cats"))), sorted(category));
        QCOMPARE(shownPaths(store, f.path()), photosOnDisk(f.path()));
    };

    f.undoStack.undo();
    QCOMPARE(f.undoStack.redoText(), QStringLiteral("Delete Category"));
    QVERIFY(f.settle());
    expectRestored();

    f.undoStack.redo();
    QCOMPARE(f.undoStack.undoText(), QStringLiteral("Delete Category"));
    QVERIFY(f.settle());
    QCOMPARE(snapshot(f.path()), deleted);
    QCOMPARE(categoryNames(store), QStringList{QStringLiteral("Dogs")});
    QCOMPARE(shownPaths(store, f.path()), photosOnDisk(f.path()));

    f.undoStack.undo();
    QVERIFY(f.settle());
    expectRestored();

    QVERIFY(shown.alerts.isEmpty());
    QCOMPARE(f.undoStack.count(), 1);
}

void tst_CollectionStoreCategories::redoOfDeletionPicksOtherFreeNames()
{
    StoreFixture f;
    writePhoto(f.path(), QStringLiteral("IMG_1.jpg"));
    writePhoto(f.path(), QStringLiteral("Cats/IMG_1.jpg"));
    writePhoto(f.path(), QStringLiteral("Cats/b.jpg"));
    QVERIFY(openAndSettle(f));
    CollectionStore &store = *f.store;
    const QStringList original = snapshot(f.path());
    Shown shown(store);

    store.requestDeleteCategory(f.sectionNamed(QStringLiteral("Cats"))->id);
    store.confirmDeleteCategory(*store.deleteCategoryPrompt());
    QVERIFY(f.settle());
    QCOMPARE(filesBelow(f.path()),
             sorted({QStringLiteral("IMG_1.jpg"), QStringLiteral("IMG_1 2.jpg"),
                     QStringLiteral("b.jpg")}));
    f.undoStack.undo();
    QVERIFY(f.settle());
    QCOMPARE(snapshot(f.path()), original);

    // Another program saves files under the names the first deletion used.
    writePhoto(f.path(), QStringLiteral("IMG_1 2.jpg"));
    writePhoto(f.path(), QStringLiteral("b.jpg"));
    const QStringList withNewcomers = snapshot(f.path());

    f.undoStack.redo();
    QVERIFY(f.settle());
    QCOMPARE(filesBelow(f.path()),
             sorted({QStringLiteral("IMG_1.jpg"), QStringLiteral("IMG_1 2.jpg"),
                     QStringLiteral("IMG_1 3.jpg"), QStringLiteral("b.jpg"),
                     QStringLiteral("b 2.jpg")}));
    QCOMPARE(categoryNames(store), QStringList());
    QCOMPARE(shownPaths(store, f.path()), photosOnDisk(f.path()));

    // The undo takes back exactly the category's own photos, from where this redo put them,
    // and leaves the newcomers alone.
    f.undoStack.undo();
    QVERIFY(f.settle());
    QCOMPARE(snapshot(f.path()), withNewcomers);
    QCOMPARE(categoryNames(store), QStringList{QStringLiteral("Cats")});
    QCOMPARE(shownPaths(store, f.path()), photosOnDisk(f.path()));
    QVERIFY(shown.alerts.isEmpty());
}

void tst_CollectionStoreCategories::staleDeleteConfirmationDoesNothing()
{
    StoreFixture f;
    writePhoto(f.path(), QStringLiteral("Cats/b.jpg"));
    QVERIFY(openAndSettle(f));
    CollectionStore &store = *f.store;
    Shown shown(store);

    store.requestDeleteCategory(f.sectionNamed(QStringLiteral("Cats"))->id);
    const DeleteCategoryPrompt prompt = *store.deleteCategoryPrompt();
    store.confirmDeleteCategory(prompt);
    QVERIFY(f.settle());
    const QStringList disk = snapshot(f.path());

    // The same confirmation again (a double click): its section is gone.
    store.confirmDeleteCategory(prompt);
    QVERIFY(!store.deleteCategoryPrompt());
    QCOMPARE(store.pendingMutationCount(), 0);
    QVERIFY(f.settle());
    QCOMPARE(snapshot(f.path()), disk);
    QCOMPARE(shown.huds, QStringList{QStringLiteral("Deleted Cats")});
    QVERIFY(shown.alerts.isEmpty());
    QCOMPARE(f.undoStack.count(), 1);
}

void tst_CollectionStoreCategories::deleteWithSubfolderComesBack()
{
    StoreFixture f;
    writePhoto(f.path(), QStringLiteral("a.jpg"));
    writePhoto(f.path(), QStringLiteral("Cats/a.jpg"));
    writePhoto(f.path(), QStringLiteral("Cats/Kittens/k.jpg"));
    const std::shared_ptr<ListingGate> gate = openGated(f);
    QVERIFY(gate);
    CollectionStore &store = *f.store;
    const QStringList disk = snapshot(f.path());
    const QList<PhotoSection> sectionsBefore = store.sections();
    const QString cats = f.sectionNamed(QStringLiteral("Cats"))->id;
    Shown shown(store);

    store.requestDeleteCategory(cats);
    const auto released = gate->hold();
    store.confirmDeleteCategory(*store.deleteCategoryPrompt());
    QVERIFY(!store.section(cats));
    QCOMPARE(sorted(f.names(QStringLiteral("Unsorted"))),
             sorted({QStringLiteral("a.jpg"), QStringLiteral("a 2.jpg")}));

    gate->release();
    QVERIFY(f.settle());
    QCOMPARE(shown.alertTitles(), QStringList{QStringLiteral("Couldn\u2019t Delete Category")});
    QCOMPARE(shown.alerts.first().message,
             FileSystemError::categoryContainsFolders(QStringLiteral("Cats")).message);
    QVERIFY(shown.huds.isEmpty());
    QCOMPARE(snapshot(f.path()), disk);
    QCOMPARE(store.sections(), sectionsBefore);
    QCOMPARE(f.undoStack.count(), 0);
}

void tst_CollectionStoreCategories::undoDeleteWhenNameTaken()
{
    StoreFixture f;
    writePhoto(f.path(), QStringLiteral("Cats/b.jpg"));
    QVERIFY(openAndSettle(f));
    CollectionStore &store = *f.store;
    store.requestDeleteCategory(f.sectionNamed(QStringLiteral("Cats"))->id);
    store.confirmDeleteCategory(*store.deleteCategoryPrompt());
    QVERIFY(f.settle());

    // Another program makes a folder of that name, in other letter case.
    writePhoto(f.path(), QStringLiteral("CATS/mine.jpg"));
    const QStringList disk = snapshot(f.path());
    Shown shown(store);

    f.undoStack.undo();
    QVERIFY(f.settle());
    QCOMPARE(shown.alertTitles(),
             QStringList{QStringLiteral("Couldn\u2019t Undo Delete Category")});
    QCOMPARE(shown.alerts.first().message,
             FileSystemError::categoryAlreadyExists(QStringLiteral("Cats")).message);
    QCOMPARE(snapshot(f.path()), disk);
    QCOMPARE(categoryNames(store), QStringList{QStringLiteral("CATS")});
    QCOMPARE(shownPaths(store, f.path()), photosOnDisk(f.path()));
    QCOMPARE(f.undoStack.redoText(), QStringLiteral("Delete Category"));
}

// ----- Undo of a creation once the folder is in use

void tst_CollectionStoreCategories::undoCreationOfNonEmptyCategory_data()
{
    QTest::addColumn<bool>("filedByStore"); // otherwise saved there by another program

    QTest::newRow("photo filed into it") << true;
    QTest::newRow("file saved into it by another program") << false;
}

void tst_CollectionStoreCategories::undoCreationOfNonEmptyCategory()
{
    QFETCH(bool, filedByStore);

    StoreFixture f;
    writePhoto(f.path(), QStringLiteral("a.jpg"));
    QVERIFY(openAndSettle(f));
    CollectionStore &store = *f.store;
    store.showNewCategoryPrompt();
    store.submitCategoryPrompt(*store.categoryPrompt(), QStringLiteral("Dogs"));
    QVERIFY(f.settle());
    QVERIFY(f.sectionNamed(QStringLiteral("Dogs")));

    if (filedByStore) {
        // Filed from a window without undo, so the creation stays the latest record.
        store.setUndoStack(nullptr);
        store.move({f.idOf(QStringLiteral("a.jpg"))}, f.sectionNamed(QStringLiteral("Dogs"))->id);
        QVERIFY(f.settle());
        store.setUndoStack(&f.undoStack);
    } else {
        writePhoto(f.path(), QStringLiteral("Dogs/a.jpg"));
        QVERIFY(QFile::remove(f.path(QStringLiteral("a.jpg"))));
    }
    QCOMPARE(filesBelow(f.path()), QStringList{QStringLiteral("Dogs/a.jpg")});
    const QStringList disk = snapshot(f.path());
    QCOMPARE(f.undoStack.count(), 1);
    Shown shown(store);

    f.undoStack.undo();
    QCOMPARE(f.undoStack.redoText(), QStringLiteral("New Category"));
    QVERIFY(f.settle());
    QCOMPARE(shown.alertTitles(), QStringList{QStringLiteral("Couldn\u2019t Undo New Category")});
    // The message is the one the file operations give for removing this folder.
    FileOperations operations(std::make_shared<LinuxFileSystem>());
    const Result<void> removal =
        operations.removeEmptyCategory(QUrl::fromLocalFile(f.path(QStringLiteral("Dogs"))));
    QVERIFY(!removal);
    QCOMPARE(shown.alerts.first().message, removal.error().message);
    QCOMPARE(snapshot(f.path()), disk);
    QCOMPARE(categoryNames(store), QStringList{QStringLiteral("Dogs")});
    QCOMPARE(f.names(QStringLiteral("Dogs")), QStringList{QStringLiteral("a.jpg")});

    // Redo would create a folder that is still there.
    f.undoStack.redo();
    QCOMPARE(f.undoStack.undoText(), QStringLiteral("New Category"));
    QVERIFY(f.settle());
    QCOMPARE(shown.alertTitles(), QStringList({QStringLiteral("Couldn\u2019t Undo New Category"),
                                               QStringLiteral("Couldn\u2019t Redo New Category")}));
    QCOMPARE(shown.alerts.last().message,
             FileSystemError::categoryAlreadyExists(QStringLiteral("Dogs")).message);
    QCOMPARE(snapshot(f.path()), disk);
    QCOMPARE(f.names(QStringLiteral("Dogs")), QStringList{QStringLiteral("a.jpg")});
    QVERIFY(shown.huds.isEmpty());
}

// ----- Undo and redo pressed faster than the disk follows

void tst_CollectionStoreCategories::queuedUndoRedoEndsConsistent_data()
{
    QTest::addColumn<CategoryAction>("action");
    QTest::addColumn<QString>("actionName");

    QTest::newRow("create") << CategoryAction::create << QStringLiteral("New Category");
    QTest::newRow("rename") << CategoryAction::rename << QStringLiteral("Rename Category");
    QTest::newRow("delete") << CategoryAction::remove << QStringLiteral("Delete Category");
}

void tst_CollectionStoreCategories::queuedUndoRedoEndsConsistent()
{
    QFETCH(CategoryAction, action);
    QFETCH(QString, actionName);

    StoreFixture f;
    writePhoto(f.path(), QStringLiteral("IMG_1.jpg"));
    writePhoto(f.path(), QStringLiteral("Cats/IMG_1.jpg"));
    writePhoto(f.path(), QStringLiteral("Cats/c.jpg"));
    QVERIFY(openAndSettle(f));
    CollectionStore &store = *f.store;
    const QStringList before = snapshot(f.path());
    const QString cats = f.sectionNamed(QStringLiteral("Cats"))->id;
    Shown shown(store);

    switch (action) {
    case CategoryAction::create:
        store.showNewCategoryPrompt();
        store.submitCategoryPrompt(*store.categoryPrompt(), QStringLiteral("Dogs"));
        break;
    case CategoryAction::rename:
        store.showRenamePrompt(cats);
        store.submitCategoryPrompt(*store.categoryPrompt(), QStringLiteral("Dogs"));
        break;
    case CategoryAction::remove:
        store.requestDeleteCategory(cats);
        store.confirmDeleteCategory(*store.deleteCategoryPrompt());
        break;
    }
    QVERIFY(f.settle());
    const QStringList after = snapshot(f.path());
    QVERIFY(after != before);

    // The menu texts follow every press at once; the disk work runs one step after another.
    for (int press = 0; press < 5; ++press) {
        if (press % 2 == 0) {
            f.undoStack.undo();
            QVERIFY(!f.undoStack.canUndo());
            QCOMPARE(f.undoStack.redoText(), actionName);
        } else {
            f.undoStack.redo();
            QVERIFY(!f.undoStack.canRedo());
            QCOMPARE(f.undoStack.undoText(), actionName);
        }
    }
    QVERIFY(f.settle());
    QCOMPARE(snapshot(f.path()), before);
    QCOMPARE(sorted(categoryNames(store)), foldersOnDisk(f.path()));
    QCOMPARE(shownPaths(store, f.path()), photosOnDisk(f.path()));

    f.undoStack.redo();
    QVERIFY(f.settle());
    QCOMPARE(snapshot(f.path()), after);
    QCOMPARE(sorted(categoryNames(store)), foldersOnDisk(f.path()));
    QCOMPARE(shownPaths(store, f.path()), photosOnDisk(f.path()));
    QVERIFY(shown.alerts.isEmpty());
}

// ----- Without an undo stack

void tst_CollectionStoreCategories::actionsRunWithoutUndoStack()
{
    StoreFixture f;
    writePhoto(f.path(), QStringLiteral("a.jpg"));
    writePhoto(f.path(), QStringLiteral("Cats/a.jpg"));
    QVERIFY(openAndSettle(f));
    CollectionStore &store = *f.store;
    store.setUndoStack(nullptr);
    QCOMPARE(store.undoStack(), nullptr);
    Shown shown(store);

    store.showNewCategoryPrompt();
    store.submitCategoryPrompt(*store.categoryPrompt(), QStringLiteral("Dogs"));
    QVERIFY(f.settle());
    store.showRenamePrompt(f.sectionNamed(QStringLiteral("Cats"))->id);
    store.submitCategoryPrompt(*store.categoryPrompt(), QStringLiteral("Birds"));
    QVERIFY(f.settle());
    store.requestDeleteCategory(f.sectionNamed(QStringLiteral("Birds"))->id);
    store.confirmDeleteCategory(*store.deleteCategoryPrompt());
    QVERIFY(f.settle());

    QCOMPARE(shown.huds,
             QStringList({QStringLiteral("Created Dogs"), QStringLiteral("Renamed to Birds"),
                          QStringLiteral("Deleted Birds")}));
    QVERIFY(shown.alerts.isEmpty());
    QCOMPARE(foldersOnDisk(f.path()), QStringList{QStringLiteral("Dogs")});
    QCOMPARE(filesBelow(f.path()), sorted({QStringLiteral("a.jpg"), QStringLiteral("a 2.jpg")}));
    QCOMPARE(categoryNames(store), QStringList{QStringLiteral("Dogs")});
    QCOMPARE(shownPaths(store, f.path()), photosOnDisk(f.path()));
    QCOMPARE(f.undoStack.count(), 0);
}

// ----- Keeping up with the disk

void tst_CollectionStoreCategories::outsideChangeDuringRescanIsShown()
{
    StoreFixture f;
    writePhoto(f.path(), QStringLiteral("a.jpg"));
    writePhoto(f.path(), QStringLiteral("Cats/b.jpg"));
    QTemporaryDir elsewhere;
    const QString outside = writePhoto(elsewhere.path(), QStringLiteral("outside.jpg"));

    // Another program saves a photo into the root while the rescan after a creation is under
    // way: after the root was listed, while the category folders are.
    struct Race
    {
        std::atomic<bool> armed = false;
        std::atomic<bool> saved = false;
    };
    const auto race = std::make_shared<Race>();
    auto fileSystem = std::make_shared<FaultyFileSystem>();
    const QString target = f.path(QStringLiteral("outside.jpg"));
    fileSystem->hook = [race, outside, target](FaultyFileSystem::Call call, const QString &path,
                                               const QString &) -> std::optional<int> {
        if (call == FaultyFileSystem::Call::list && path.endsWith(QStringLiteral("/Cats")) &&
            race->armed.exchange(false)) {
            race->saved = QFile::copy(outside, target);
        }
        return std::nullopt;
    };
    f.make(fileSystem);
    QVERIFY(f.open() && f.settle());
    CollectionStore &store = *f.store;

    race->armed = true;
    store.showNewCategoryPrompt();
    store.submitCategoryPrompt(*store.categoryPrompt(), QStringLiteral("Dogs"));
    QVERIFY(f.settle());
    QVERIFY(race->saved);
    QVERIFY(f.sectionNamed(QStringLiteral("Dogs")));

    // The rescan could not see the photo; the change notice it caused must still bring it in.
    QTRY_COMPARE_WITH_TIMEOUT(f.names(QStringLiteral("Unsorted")),
                              sorted({QStringLiteral("a.jpg"), QStringLiteral("outside.jpg")}),
                              3000);
}

QTEST_GUILESS_MAIN(tst_CollectionStoreCategories)
#include "tst_CollectionStoreCategories.moc"
