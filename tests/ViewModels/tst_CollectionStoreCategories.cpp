#include "Models/FileSystemError.h"
#include "Services/FileOperations.h"
#include "support/FaultyFileSystem.h"
#include "support/StoreFixture.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QSemaphore>
#include <QTest>

#include <atomic>
#include <functional>

// Creating, renaming and deleting categories through the store, with their prompts, HUD
// messages, alerts and undo records. Every case looks at the folders on disk as well as at what
// the store shows.

using namespace Qt::StringLiterals;
using namespace TestFolders;

namespace {

enum class CategoryAction { create, rename, remove };

const QString couldnt = u"Couldn\u2019t "_s;

QStringList sorted(QStringList list)
{
    list.sort();
    return list;
}

// Every HUD message and alert the store shows, in order.
struct Shown
{
    QStringList huds;
    QStringList alerts; // "title: message"
    QObject context;    // ends the connections with this object

    explicit Shown(CollectionStore &store)
    {
        QObject::connect(&store, &CollectionStore::hudMessageChanged, &context, [this, &store] {
            huds += store.hudMessage() ? QStringList{*store.hudMessage()} : QStringList();
        });
        QObject::connect(&store, &CollectionStore::alertChanged, &context, [this, &store] {
            const UserFacingAlert alert = store.alert().value_or(UserFacingAlert());
            alerts +=
                store.alert() ? QStringList{alert.title + ": "_L1 + alert.message} : QStringList();
        });
    }
};

// On the service thread, when it is about to list "Cats" while armed: runs `during`, or holds
// until released. A disk operation that is over before the store has attached its continuation
// completes inside the call that started it; holding it lets a test look at the store first.
struct ListingGate
{
    std::atomic<bool> armed = false;
    std::function<void()> during; // set before arming
    QSemaphore open;

    void pass(const QString &path)
    {
        if (path.endsWith("/Cats"_L1) && armed.exchange(false)) {
            during ? during() : void(open.tryAcquire(1, 10000));
        }
    }
};

// "name|id" for every photo of a section, in the section's order.
QStringList namesWithIDs(const std::optional<PhotoSection> &section)
{
    QStringList result;
    for (const Photo &photo : section ? section->photos : QList<Photo>()) {
        result.append(photo.filename + u'|' + photo.id);
    }
    return result;
}

struct Categories : StoreFixture
{
    std::shared_ptr<ListingGate> gate = std::make_shared<ListingGate>();
    DeleteCategoryPrompt deletePrompt; // the last one confirmed

    // Writes "a.jpg|Cats/b.jpg|Dogs/|Cats/notes.txt" (each photo with its own bytes) and opens
    // the folder on a file system whose listings of "Cats" go through the gate.
    bool openWith(QAnyStringView entries)
    {
        static int width = 8;
        for (const QString &entry : split(entries)) {
            entry.endsWith(u'/')        ? void(makeFolder(path(), entry))
            : entry.endsWith(".txt"_L1) ? void(writeFile(path(), entry, "notes"))
                                        : void(writeJpeg(path(), entry, QSize(width++, 6)));
        }
        make(FaultyFileSystem::hookedOn(FaultyFileSystem::Call::list,
                                        [gate = gate](const QString &path) {
                                            gate->pass(path);
                                            return std::optional<int>();
                                        }));
        return open() && settle();
    }

    // Holds the next listing of "Cats" until release(), or until the returned guard is gone.
    [[nodiscard]] auto hold()
    {
        gate->armed = true;
        return qScopeGuard([this] { release(); });
    }
    void release() { gate->open.release(); }

    QString cats() const { return sectionNamed(u"Cats"_s).value_or(PhotoSection()).id; }

    // Runs an action through its prompt, on the category `on` for a rename or a deletion.
    void perform(CategoryAction action, const QString &typed = {}, const QString &on = u"Cats"_s)
    {
        const QString id = sectionNamed(on).value_or(PhotoSection()).id;
        if (action == CategoryAction::remove) {
            store->requestDeleteCategory(id);
            deletePrompt = store->deleteCategoryPrompt().value_or(DeleteCategoryPrompt());
            store->confirmDeleteCategory(deletePrompt);
            return;
        }
        action == CategoryAction::create ? store->showNewCategoryPrompt()
                                         : store->showRenamePrompt(id);
        store->submitCategoryPrompt(*store->categoryPrompt(), typed);
    }

    // Every folder ("Cats/") and file ("Cats/a.jpg", with " #" and a hash of its bytes when
    // `hashes`) below the root, sorted.
    QStringList onDisk(bool hashes = false) const
    {
        QStringList entries = entriesBelow(path());
        for (QString &entry : entries) {
            if (hashes && !entry.endsWith(u'/')) {
                const QByteArray hash =
                    QCryptographicHash::hash(readFile(path(entry)), QCryptographicHash::Md5);
                entry += " #"_L1 + QString::fromLatin1(hash.toHex().left(8));
            }
        }
        return entries;
    }

    // Waits for the disk work, then checks the disk against `snapshot` (from onDisk(true)) and
    // that the store shows the folders and photos on disk, as onDisk() names them.
    void expect(const QStringList &snapshot)
    {
        QVERIFY(settle());
        QCOMPARE(onDisk(true), snapshot);
        QStringList shown;
        for (const PhotoSection &section : store->sections()) {
            shown += section.kind == PhotoSectionKind::category ? QStringList{section.name + u'/'}
                                                                : QStringList();
            for (const Photo &photo : section.photos) {
                shown.append(QDir(path()).relativeFilePath(photo.url.toLocalFile()));
            }
        }
        QCOMPARE(sorted(shown), onDisk().filter(QRegularExpression(u"(/|\\.jpg|\\.JPG)$"_s)));
    }
};

} // namespace

Q_DECLARE_METATYPE(CategoryAction)

class tst_CollectionStoreCategories : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void prompts();
    void actionUndoRedo_data();
    void actionUndoRedo();
    void refusedActions_data();
    void refusedActions();
    void undoThatCannotRun_data();
    void undoThatCannotRun();
    void redoOfDeletionPicksOtherFreeNames();
    void outsideChangeDuringRescanIsShown();
};

void tst_CollectionStoreCategories::prompts()
{
    Categories f;
    writeJpeg(f.path(), u"a.jpg"_s);
    writeJpeg(f.path(), u"Cats/b.jpg"_s);
    const QStringList disk = f.onDisk(true);
    CollectionStore &store = f.make();

    // No prompt for a new category without an open collection, nor while it loads.
    store.showNewCategoryPrompt();
    QVERIFY(!store.canCreateCategory() && !store.categoryPrompt());
    store.openCollection(QUrl::fromLocalFile(f.path()), false);
    store.showNewCategoryPrompt();
    QVERIFY(store.isLoading() && !store.canCreateCategory() && !store.categoryPrompt());
    QTRY_VERIFY_WITH_TIMEOUT(!store.isLoading() && store.collection(), 10000);
    QVERIFY(store.canCreateCategory());

    const QString cats = f.cats();
    store.showNewCategoryPrompt();
    const auto texts = [](const CategoryPrompt &p) {
        return QStringList{p.title, p.actionTitle, p.initialName}.join(u'|');
    };
    const CategoryPrompt create = store.categoryPrompt().value_or(CategoryPrompt());
    QCOMPARE(create.mode, CategoryPrompt::Mode::create());
    QCOMPARE(texts(create), u"New Category|Create|"_s);
    store.showRenamePrompt(cats);
    const CategoryPrompt rename = store.categoryPrompt().value_or(CategoryPrompt());
    QCOMPARE(rename.mode, CategoryPrompt::Mode::rename(cats));
    QCOMPARE(texts(rename), u"Rename Category|Rename|Cats"_s);
    // A sheet opened again is a new sheet.
    store.showRenamePrompt(cats);
    QVERIFY(!create.id.isNull() && !rename.id.isNull() && create.id != rename.id);
    QVERIFY(store.categoryPrompt()->id != rename.id);
    store.cancelCategoryPrompt();
    QVERIFY(!store.categoryPrompt());

    store.requestDeleteCategory(cats);
    QCOMPARE(store.deleteCategoryPrompt(), std::optional(DeleteCategoryPrompt{cats, u"Cats"_s, 1}));
    store.cancelDeleteCategory();
    QVERIFY(!store.deleteCategoryPrompt());

    // Unsorted and unknown sections have neither.
    for (const QString &id : {f.sectionNamed(u"Unsorted"_s)->id, u"category:x"_s, QString()}) {
        store.showRenamePrompt(id);
        store.requestDeleteCategory(id);
        QVERIFY2(!store.categoryPrompt() && !store.deleteCategoryPrompt(), qPrintable(id));
    }
    QCOMPARE(f.onDisk(true), disk);
    QCOMPARE(f.undoStack.count(), 0);
}

// ----- Create, rename and delete, then undo and redo them

void tst_CollectionStoreCategories::actionUndoRedo_data()
{
    QTest::addColumn<CategoryAction>("action");
    QTest::addColumn<QString>("before"); // on disk
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("after");
    QTest::addColumn<QString>("hud");
    QTest::addColumn<bool>("undoStack"); // without one, the action still runs

    const auto row = [](const char *name, CategoryAction action, QAnyStringView before,
                        QAnyStringView typed, QAnyStringView after, QAnyStringView hud,
                        bool undoStack = true) {
        QTest::newRow(name) << action << before.toString() << typed.toString() << after.toString()
                            << hud.toString() << undoStack;
    };
    const auto [create, rename, remove] =
        std::tuple(CategoryAction::create, CategoryAction::rename, CategoryAction::remove);
    const char *catsAndA = "a.jpg|Cats/b.jpg|Cats/c.jpg";
    const QString withCats = u"a.jpg|Cats/|Cats/b.jpg|Cats/c.jpg|"_s;
    const char *dogs = "a.jpg|Dogs/|Dogs/b.jpg|Dogs/c.jpg";

    row("create", create, catsAndA, "Dogs", withCats + u"Dogs/"_s, "Created Dogs");
    row("create, accents and spaces kept", create, catsAndA, "\u00C9t\u00E9 2024",
        withCats + u"\u00C9t\u00E9 2024/"_s, "Created \u00C9t\u00E9 2024");
    row("create, no undo", create, catsAndA, "Dogs", withCats + u"Dogs/"_s, "Created Dogs", false);
    row("rename", rename, catsAndA, "Dogs", dogs, "Renamed to Dogs");
    row("rename, no undo", rename, catsAndA, "Dogs", dogs, "Renamed to Dogs", false);
    row("rename, letter case only", rename, catsAndA, "CATS", "a.jpg|CATS/|CATS/b.jpg|CATS/c.jpg",
        "Renamed to CATS");
    // A deleted category's files go to the root; a taken name gets the next free number.
    row("delete an empty category", remove, "a.jpg|Cats/|Dogs/d.jpg", "", "a.jpg|Dogs/|Dogs/d.jpg",
        "Deleted Cats");
    row("delete, empty root", remove, "Cats/|Dogs/d.jpg", "", "Dogs/|Dogs/d.jpg", "Deleted Cats");
    row("delete, some names clash", remove, "a.jpg|B.JPG|Cats/a.jpg|Cats/b.jpg|Cats/c.jpg", "",
        "a.jpg|B.JPG|a 2.jpg|b 2.jpg|c.jpg", "Deleted Cats");
    row("delete, numbered name taken", remove, "IMG_1.jpg|IMG_1 2.jpg|Cats/IMG_1.jpg", "",
        "IMG_1.jpg|IMG_1 2.jpg|IMG_1 3.jpg", "Deleted Cats");
    row("delete, other files go along", remove, "a.jpg|Cats/b.jpg|Cats/notes.txt", "",
        "a.jpg|b.jpg|notes.txt", "Deleted Cats");
    row("delete, no undo", remove, "a.jpg|Cats/a.jpg", "", "a.jpg|a 2.jpg", "Deleted Cats", false);
}

void tst_CollectionStoreCategories::actionUndoRedo()
{
    QFETCH(CategoryAction, action);
    QFETCH(QString, before);
    QFETCH(QString, typed);
    QFETCH(QString, after);
    QFETCH(QString, hud);
    QFETCH(bool, undoStack);

    Categories f;
    QVERIFY(f.openWith(before));
    CollectionStore &store = *f.store;
    store.setUndoStack(undoStack ? &f.undoStack : nullptr);
    const QStringList original = f.onDisk(true);
    const QString cats = f.cats();
    const QStringList catsPhotos = namesWithIDs(store.section(cats));
    const QString actionName =
        QStringList{u"New Category"_s, u"Rename Category"_s, u"Delete Category"_s}[int(action)];
    Shown shown(store);

    const auto released = f.hold();
    f.perform(action, typed);
    QVERIFY(!store.categoryPrompt() && !store.deleteCategoryPrompt());
    // Before the disk has done anything, Unsorted shows the names its photos will have.
    const QStringList predicted = namesWithIDs(f.sectionNamed(u"Unsorted"_s));
    QVERIFY(action != CategoryAction::remove || !store.section(cats));
    f.release();
    QVERIFY(f.settle());
    QCOMPARE(namesWithIDs(f.sectionNamed(u"Unsorted"_s)), predicted);
    QCOMPARE(f.onDisk(), sorted(split(after)));
    // A renamed section keeps its id and its photos.
    QCOMPARE(namesWithIDs(store.section(cats)),
             action == CategoryAction::remove ? QStringList() : catsPhotos);
    const QStringList done = f.onDisk(true);
    // The same deletion confirmed again (a double click) finds its section gone.
    if (action == CategoryAction::remove) {
        store.confirmDeleteCategory(f.deletePrompt);
        QCOMPARE(store.pendingMutationCount(), 0);
    }
    f.expect(done);
    if (!undoStack) {
        QCOMPARE(shown.huds, QStringList{hud});
        QCOMPARE(f.undoStack.count(), 0);
        return;
    }

    f.undoStack.undo();
    f.expect(original);
    f.undoStack.redo();
    f.expect(done);
    // Only a rename tells about its undo and redo.
    QCOMPARE(shown.huds, action == CategoryAction::rename
                             ? split(hud + u"|Renamed to Cats|"_s + hud)
                             : split(hud));

    // Pressed faster than the disk follows: the menu texts follow every press at once, the disk
    // work runs one step after another.
    for (int press = 0; press < 5; ++press) {
        press % 2 == 0 ? f.undoStack.undo() : f.undoStack.redo();
        QCOMPARE(press % 2 == 0 ? f.undoStack.redoText() : f.undoStack.undoText(), actionName);
        QVERIFY(press % 2 == 0 ? !f.undoStack.canUndo() : !f.undoStack.canRedo());
    }
    f.expect(original);
    f.undoStack.redo();
    f.expect(done);
    QCOMPARE(shown.alerts, QStringList());
    QCOMPARE(f.undoStack.count(), 1);

    // After a restart the journal gives the action back, done or undone, and it replays.
    for (const bool undo : {true, false, true}) {
        f.store.reset();
        f.undoStack.clear();
        f.make();
        QVERIFY(f.open() && f.settle() && f.undoStack.count() == 1);
        QCOMPARE(undo ? f.undoStack.undoText() : f.undoStack.redoText(), actionName);
        undo ? f.undoStack.undo() : f.undoStack.redo();
        f.expect(undo ? original : done);
        QVERIFY(!f.store->alert()); // giving back an undone action does not undo it again
    }
}

// ----- Actions refused, and a rename to the same name

void tst_CollectionStoreCategories::refusedActions_data()
{
    QTest::addColumn<CategoryAction>("action"); // on "Cats" for a rename or a deletion
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("message"); // empty: nothing happens at all

    const auto create = CategoryAction::create;
    const auto rename = CategoryAction::rename;
    const auto exists = [](const QString &name) {
        return FileSystemError::categoryAlreadyExists(name).message;
    };

    QTest::newRow("create: existing, other case") << create << u"dogs"_s << exists(u"dogs"_s);
    QTest::newRow("rename: existing, other case") << rename << u"DOGS"_s << exists(u"DOGS"_s);
    QTest::newRow("delete: a folder inside")
        << CategoryAction::remove << QString()
        << FileSystemError::categoryContainsFolders(u"Cats"_s).message;
    QTest::newRow("rename: same name with spaces") << rename << u"  Cats "_s << QString();
}

void tst_CollectionStoreCategories::refusedActions()
{
    QFETCH(CategoryAction, action);
    QFETCH(QString, typed);
    QFETCH(QString, message);

    Categories f;
    QVERIFY(f.openWith("a.jpg|Cats/a.jpg|Cats/Kittens/k.jpg|Dogs/"));
    CollectionStore &store = *f.store;
    const QStringList disk = f.onDisk(true);
    const QList<PhotoSection> sections = store.sections();
    Shown shown(store);

    const auto released = f.hold();
    f.perform(action, typed);
    QVERIFY(!store.categoryPrompt());
    if (action == CategoryAction::remove) {
        // Shown at once, before the disk refuses, and then taken back.
        QVERIFY(!f.sectionNamed(u"Cats"_s));
        QCOMPARE(sorted(f.names(u"Unsorted"_s)), split("a 2.jpg|a.jpg"));
    }
    f.release();
    QVERIFY(f.settle());

    const QString title =
        couldnt + QStringList{u"Create"_s, u"Rename"_s, u"Delete"_s}[int(action)] + " Category"_L1;
    QCOMPARE(shown.alerts,
             message.isEmpty() ? QStringList() : QStringList{title + ": "_L1 + message});
    QCOMPARE(store.alert().value_or(UserFacingAlert()).message, message);
    QCOMPARE(shown.huds, QStringList());
    QCOMPARE(f.undoStack.count(), 0);
    QCOMPARE(f.onDisk(true), disk);
    QCOMPARE(store.sections(), sections);
}

// ----- An undo the disk no longer allows

void tst_CollectionStoreCategories::undoThatCannotRun_data()
{
    QTest::addColumn<CategoryAction>("action");
    QTest::addColumn<QString>("meanwhile"); // "filed", or where another program saves a photo
    QTest::addColumn<QString>("alert");
    QTest::addColumn<QString>("message"); // empty: the file operations' own for the removal

    const QString catsTaken = FileSystemError::categoryAlreadyExists(u"Cats"_s).message;
    QTest::newRow("rename back onto a new folder")
        << CategoryAction::rename << u"cats/other.jpg"_s << u"Rename Category"_s << catsTaken;
    QTest::newRow("restore a deletion onto a new folder")
        << CategoryAction::remove << u"CATS/mine.jpg"_s << u"Undo Delete Category"_s << catsTaken;
    QTest::newRow("remove a created category a photo was filed into")
        << CategoryAction::create << u"filed"_s << u"Undo New Category"_s << QString();
    QTest::newRow("remove a created category another program saved into")
        << CategoryAction::create << u"Dogs/a.jpg"_s << u"Undo New Category"_s << QString();
}

void tst_CollectionStoreCategories::undoThatCannotRun()
{
    QFETCH(CategoryAction, action);
    QFETCH(QString, meanwhile);
    QFETCH(QString, alert);
    QFETCH(QString, message);

    Categories f;
    QVERIFY(f.openWith(action == CategoryAction::create ? "a.jpg" : "Cats/b.jpg"));
    f.perform(action, u"Dogs"_s);
    QVERIFY(f.settle());
    if (meanwhile == "filed"_L1) {
        // Filed from a window without undo, so the creation stays the latest record.
        f.store->setUndoStack(nullptr);
        f.store->move({f.idOf(u"a.jpg"_s)}, f.sectionNamed(u"Dogs"_s)->id);
        QVERIFY(f.settle());
        f.store->setUndoStack(&f.undoStack);
    } else {
        writeJpeg(f.path(), meanwhile);
        QFile::remove(f.path(u"a.jpg"_s));
    }
    const QStringList disk = f.onDisk(true);
    const QString actionName = f.undoStack.undoText();
    Shown shown(*f.store);

    f.undoStack.undo();
    f.expect(disk);
    if (message.isEmpty()) {
        const Result<void> removal =
            FileOperations(std::make_shared<LinuxFileSystem>())
                .removeEmptyCategory(QUrl::fromLocalFile(f.path(u"Dogs"_s)));
        message = removal ? QString() : removal.error().message;
    }
    QCOMPARE(shown.alerts, QStringList{couldnt + alert + ": "_L1 + message});
    QCOMPARE(shown.huds, QStringList());
    // The undo is still there to redo.
    QCOMPARE(f.undoStack.redoText(), actionName);

    if (action == CategoryAction::create) {
        // The redo would create a folder that is still there.
        f.undoStack.redo();
        f.expect(disk);
        QCOMPARE(shown.alerts.last(),
                 couldnt + u"Redo New Category: "_s +
                     FileSystemError::categoryAlreadyExists(u"Dogs"_s).message);
        QCOMPARE(f.undoStack.undoText(), actionName);
    }
}

// ----- Deletion corner cases

void tst_CollectionStoreCategories::redoOfDeletionPicksOtherFreeNames()
{
    Categories f;
    QVERIFY(f.openWith("IMG_1.jpg|Cats/IMG_1.jpg|Cats/b.jpg"));
    Shown shown(*f.store);
    const QStringList original = f.onDisk(true);
    f.perform(CategoryAction::remove);
    QVERIFY(f.settle());
    f.undoStack.undo();
    f.expect(original);

    // Another program saves files under the names the first deletion used.
    writeJpeg(f.path(), u"IMG_1 2.jpg"_s, QSize(3, 3));
    writeJpeg(f.path(), u"b.jpg"_s, QSize(4, 4));
    const QStringList withNewcomers = f.onDisk(true);
    f.undoStack.redo();
    QVERIFY(f.settle());
    QCOMPARE(f.onDisk(), split("IMG_1 2.jpg|IMG_1 3.jpg|IMG_1.jpg|b 2.jpg|b.jpg"));

    // The undo takes back exactly the category's own photos, from where this redo put them.
    f.undoStack.undo();
    f.expect(withNewcomers);
    QCOMPARE(shown.alerts, QStringList());
}

// ----- Keeping up with the disk

void tst_CollectionStoreCategories::outsideChangeDuringRescanIsShown()
{
    Categories f;
    QTemporaryDir elsewhere;
    const QString outside = writeJpeg(elsewhere.path(), u"outside.jpg"_s);
    QVERIFY(f.openWith("a.jpg|Cats/b.jpg"));

    // Another program saves a photo into the root while the rescan after a creation is under
    // way: after the root was listed, while the category folders are.
    const auto saved = std::make_shared<std::atomic<bool>>(false);
    f.gate->during = [saved, outside, target = f.path(u"outside.jpg"_s)] {
        *saved = QFile::copy(outside, target);
    };
    f.gate->armed = true;
    f.perform(CategoryAction::create, u"Dogs"_s);
    QVERIFY(f.settle());
    QVERIFY(*saved);
    QVERIFY(f.sectionNamed(u"Dogs"_s));

    // The rescan could not see the photo; the change notice it caused must still bring it in.
    QTRY_COMPARE_WITH_TIMEOUT(f.names(u"Unsorted"_s), split("a.jpg|outside.jpg"), 3000);
}

QTEST_GUILESS_MAIN(tst_CollectionStoreCategories)
#include "tst_CollectionStoreCategories.moc"
