#include "App/AppCommands.h"
#include "App/MainWindow.h"
#include "App/SingleInstance.h"
#include "Services/Platform/LinuxFileSystem.h"
#include "Views/CategoryNameSheet.h"
#include "Views/HudView.h"
#include "Views/LinuxDesktopServices.h"
#include "Views/RecoveryBanner.h"
#include "Views/RootView.h"
#include "support/StoreFixture.h"

#include <QAbstractButton>
#include <QAction>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QPointer>
#include <QTimer>
#include <QtConcurrent>

using namespace TestFolders;

// The window as a user meets it, headless: which page shows, the menus and their enabling,
// the dialogs the store asks for, and the view settings kept across launches.
class tst_MainWindow : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void pagesFollowTheStore();
    void menuEnabling();
    void moveToTitles();
    void openRecentContents();
    void deleteMessages_data();
    void deleteMessages();
    void deleteConfirmationConfirms();
    void alertShowsAndClears();
    void recoveryStaysUntilDismissed();
    void sheetSubmitsToStore();
    void settingsAppliedAndWritten_data();
    void settingsAppliedAndWritten();
    void layoutMenuLeavesSortMode();
    void escapeClosesWhatIsInFront_data();
    void escapeClosesWhatIsInFront();
    void listTypeSelectTakesWholeNames();
    void laterLaunchHandsOverItsFolder();
    void windowStaysResponsiveWhileLoading();

private:
    static QStringList titles(QMenu *menu)
    {
        QStringList result;
        for (QAction *action : menu->actions()) {
            result.append(action->isSeparator() ? QStringLiteral("---") : action->text());
        }
        return result;
    }
};

void tst_MainWindow::pagesFollowTheStore()
{
    StoreFixture f;
    writeJpeg(f.path(), QStringLiteral("a.jpg"));
    CollectionStore &store = f.make();
    MainWindow window(store, f.settings);
    window.show();
    QCOMPARE(window.rootView()->page(), RootView::Page::welcome);
    QCOMPARE(window.size(), MainWindow::defaultSize);
    store.openCollection(QUrl::fromLocalFile(f.path()), false);
    QCOMPARE(window.rootView()->page(), RootView::Page::loading);
    QTRY_COMPARE_WITH_TIMEOUT(window.rootView()->page(), RootView::Page::workspace, 10000);
    QCOMPARE(store.undoStack(), &window.undoStack()); // handed over when first shown
}

void tst_MainWindow::menuEnabling()
{
    StoreFixture f;
    writeJpeg(f.path(), QStringLiteral("a.jpg"));
    CollectionStore &store = f.make();
    MainWindow window(store, f.settings);
    AppCommands &commands = *window.commands();
    const QStringList photoItems{QStringLiteral("Open"), QStringLiteral("Quick Look"),
                                 QStringLiteral("Reveal in File Manager"),
                                 QStringLiteral("Move to Trash")};
    const auto photoItemsEnabled = [&](bool expected) {
        for (const QString &title : photoItems) {
            if (commands.action(title)->isEnabled() != expected) {
                return false;
            }
        }
        return commands.moveToMenu()->menuAction()->isEnabled() == expected;
    };
    QVERIFY(photoItemsEnabled(false));
    QVERIFY(!commands.action(QStringLiteral("New Category…"))->isEnabled());
    QVERIFY(f.open());
    QVERIFY(commands.action(QStringLiteral("New Category…"))->isEnabled());
    QVERIFY(photoItemsEnabled(false)); // nothing selected
    store.selectAll();
    QVERIFY(photoItemsEnabled(true));
    store.openCollection(QUrl::fromLocalFile(f.path()), false); // loading
    QVERIFY(photoItemsEnabled(false));
    QVERIFY(!commands.action(QStringLiteral("New Category…"))->isEnabled());
    QTRY_VERIFY_WITH_TIMEOUT(!store.isLoading(), 10000);

    QVERIFY(commands.action(QStringLiteral("Larger Thumbnails"))->isEnabled());
    store.setWorkspaceMode(WorkspaceMode::browse);
    store.setBrowseLayout(BrowseLayoutMode::list);
    QVERIFY(!commands.action(QStringLiteral("Larger Thumbnails"))->isEnabled());
    QVERIFY(!commands.action(QStringLiteral("Smaller Thumbnails"))->isEnabled());
    store.setBrowseLayout(BrowseLayoutMode::masonry);
    QVERIFY(commands.action(QStringLiteral("Smaller Thumbnails"))->isEnabled());
}

void tst_MainWindow::moveToTitles()
{
    StoreFixture f;
    for (int i = 1; i <= 11; ++i) {
        makeFolder(f.path(), QStringLiteral("C%1").arg(i, 2, 10, QLatin1Char('0')));
    }
    CollectionStore &store = f.make();
    MainWindow window(store, f.settings);
    QVERIFY(titles(window.commands()->moveToMenu()).isEmpty());
    QVERIFY(f.open());
    const QStringList shown = titles(window.commands()->moveToMenu());
    QCOMPARE(shown.size(), 12);
    QCOMPARE(shown.first(), QStringLiteral("0  Unsorted"));
    QCOMPARE(shown[9], QStringLiteral("9  C09"));
    QCOMPARE(shown[10], QStringLiteral("C10"));
    QCOMPARE(shown[11], QStringLiteral("C11"));
}

void tst_MainWindow::openRecentContents()
{
    StoreFixture f;
    CollectionStore &store = f.make();
    MainWindow window(store, f.settings);
    QMenu *recent = window.commands()->openRecentMenu();
    QCOMPARE(titles(recent), QStringList{QStringLiteral("No Recent Folders")});
    QVERIFY(!recent->actions().first()->isEnabled());
    QTemporaryDir other;
    f.desktop.folderToChoose = QUrl::fromLocalFile(other.path());
    store.chooseFolder();
    QTRY_VERIFY_WITH_TIMEOUT(!store.isLoading(), 10000);
    QCOMPARE(titles(recent), (QStringList{QDir(other.path()).dirName(), QStringLiteral("---"),
                                          QStringLiteral("Clear Menu")}));
    recent->actions().last()->trigger(); // Clear Menu keeps the last collection's entry
    QCOMPARE(titles(recent).size(), 3);
}

void tst_MainWindow::deleteMessages_data()
{
    QTest::addColumn<int>("count");
    QTest::addColumn<int>("unreadable");
    QTest::addColumn<QString>("message");
    QTest::newRow("empty") << 0 << 0 << QStringLiteral("The empty folder will be removed. You can undo this action.");
    QTest::newRow("one") << 1 << 0 << QStringLiteral("1 photo will move to Unsorted before the folder is removed. You can undo this action.");
    QTest::newRow("three") << 3 << 0 << QStringLiteral("3 photos will move to Unsorted before the folder is removed. You can undo this action.");
    // A folder holding names that can't be read is never called empty: deleting it is refused.
    QTest::newRow("only an unreadable name") << 0 << 1 << QStringLiteral("The folder holds a file whose name can’t be read. Rename or remove it in a file manager before deleting the category.");
    QTest::newRow("photos and unreadable names") << 2 << 3 << QStringLiteral("The folder holds 3 files whose names can’t be read. Rename or remove them in a file manager before deleting the category.");
}

void tst_MainWindow::deleteMessages()
{
    QFETCH(int, count);
    QFETCH(int, unreadable);
    QFETCH(QString, message);
    QCOMPARE(RootView::deleteConfirmationMessage(count, unreadable), message);
}

void tst_MainWindow::deleteConfirmationConfirms()
{
    StoreFixture f;
    writeJpeg(f.path(), QStringLiteral("Beach/a.jpg"));
    CollectionStore &store = f.make();
    MainWindow window(store, f.settings);
    window.show();
    QVERIFY(f.open());
    store.requestDeleteCategory(f.sectionNamed(QStringLiteral("Beach"))->id);
    QMessageBox *box = window.rootView()->deleteBox();
    QVERIFY(box);
    QCOMPARE(box->text(), QStringLiteral("Delete “Beach”?"));
    QCOMPARE(box->informativeText(), RootView::deleteConfirmationMessage(1));
    QAbstractButton *remove = nullptr;
    for (QAbstractButton *button : box->buttons()) {
        if (button->text() == QStringLiteral("Delete Category")) {
            remove = button;
        }
    }
    QVERIFY(remove);
    remove->click();
    QVERIFY(!store.deleteCategoryPrompt());
    QVERIFY(!f.sectionNamed(QStringLiteral("Beach")));
    QVERIFY(f.settle());
    QVERIFY(!QFileInfo::exists(f.path(QStringLiteral("Beach"))));
}

void tst_MainWindow::alertShowsAndClears()
{
    StoreFixture f;
    CollectionStore &store = f.make();
    MainWindow window(store, f.settings);
    window.show();
    store.openCollection(QUrl::fromLocalFile(f.path(QStringLiteral("missing"))), false);
    QTRY_VERIFY_WITH_TIMEOUT(window.rootView()->alertBox(), 10000);
    QMessageBox *box = window.rootView()->alertBox();
    QCOMPARE(box->text(), QStringLiteral("Couldn’t Open Folder"));
    QVERIFY(box->informativeText().contains(QStringLiteral("“missing”")));
    box->button(QMessageBox::Ok)->click();
    QVERIFY(!store.alert());
    QCOMPARE(window.rootView()->page(), RootView::Page::welcome);
}

// A change cut off with the last session is put back when the folder opens again; the window
// says so in full, names what it left as found and keeps saying it until dismissed.
void tst_MainWindow::recoveryStaysUntilDismissed()
{
    StoreFixture f;
    for (const char *name : {"a.jpg", "b.jpg", "Cats/c.jpg"}) {
        writeJpeg(f.path(), QString::fromLatin1(name));
    }
    {
        // The last session ended while a.jpg and b.jpg were on their way into Cats, and
        // another b.jpg has since taken the place of the second.
        LinuxFileSystem disk;
        auto journal = OperationJournal::open(OperationJournal::defaultStateFolder(), f.path(),
                                              disk.stat(f.path(), true)->identity);
        QVERIFY(journal);
        const qint64 batch =
            (*journal)->beginBatch(OperationJournal::Role::action, QStringLiteral("Move")).value();
        for (const QString &name : {QStringLiteral("a.jpg"), QStringLiteral("b.jpg")}) {
            const QString to = QStringLiteral("Cats/") + name;
            QVERIFY((*journal)->intend(batch, {QUrl::fromLocalFile(f.path(name)),
                                               QUrl::fromLocalFile(f.path(to)),
                                               disk.stat(f.path(name))->identity}));
            QVERIFY(QFile::rename(f.path(name), f.path(to)));
        }
        writeJpeg(f.path(), QStringLiteral("b.jpg"));
    }
    CollectionStore &store = f.make();
    MainWindow window(store, f.settings);
    window.show();
    QVERIFY(f.open());
    QCOMPARE(filesBelow(f.path()), (QStringList{QStringLiteral("Cats/b.jpg"), QStringLiteral("Cats/c.jpg"),
                                                QStringLiteral("a.jpg"), QStringLiteral("b.jpg")}));
    const RecoveryBanner *banner = window.rootView()->recoveryBanner();
    QVERIFY(banner->isVisible());
    QCOMPARE(banner->summaryText(), QStringLiteral("The last session ended in the middle of a "
                                                   "change. 1 photo file was put back where it was."));
    QCOMPARE(banner->leftAsFoundText(), QStringLiteral("b.jpg"));
    store.select(f.idOf(QStringLiteral("a.jpg")), store.sections().first().id, {});
    store.moveSelectionToDigit(9); // no such category: a passing message comes and goes
    QVERIFY(store.hudMessage());
    QTRY_VERIFY_WITH_TIMEOUT(!store.hudMessage(), 5000);
    QVERIFY(banner->isVisible());
    QVERIFY(window.rootView()->hud()->geometry().top() > banner->geometry().bottom());
    banner->dismissButton()->click();
    QVERIFY(!banner->isVisible());
    QVERIFY(!store.recoveryReport());
}

void tst_MainWindow::sheetSubmitsToStore()
{
    StoreFixture f;
    CollectionStore &store = f.make();
    MainWindow window(store, f.settings);
    window.show();
    QVERIFY(f.open());
    window.commands()->action(QStringLiteral("New Category…"))->trigger();
    CategoryNameSheet *sheet = window.rootView()->sheet();
    QVERIFY(sheet);
    sheet->nameField()->setText(QStringLiteral("  Travel  "));
    QTest::keyClick(sheet->nameField(), Qt::Key_Return);
    QVERIFY(!store.categoryPrompt());
    QVERIFY(f.settle());
    QVERIFY(f.sectionNamed(QStringLiteral("Travel")));
    QCOMPARE(store.hudMessage(), std::optional<QString>(QStringLiteral("Created Travel")));
}

void tst_MainWindow::settingsAppliedAndWritten_data()
{
    QTest::addColumn<QVariant>("thumbnail");
    QTest::addColumn<QVariant>("layout");
    QTest::addColumn<double>("expectedThumbnail");
    QTest::addColumn<BrowseLayoutMode>("expectedLayout");
    QTest::newRow("nothing stored") << QVariant() << QVariant() << 184.0 << BrowseLayoutMode::tiles;
    QTest::newRow("too large clamps") << QVariant(500.0) << QVariant(QStringLiteral("list")) << 280.0
                                      << BrowseLayoutMode::list;
    QTest::newRow("zero counts as missing") << QVariant(0.0) << QVariant(QStringLiteral("grid")) << 184.0
                                            << BrowseLayoutMode::tiles;
}

void tst_MainWindow::settingsAppliedAndWritten()
{
    QFETCH(QVariant, thumbnail);
    QFETCH(QVariant, layout);
    QFETCH(double, expectedThumbnail);
    QFETCH(BrowseLayoutMode, expectedLayout);
    StoreFixture f;
    if (thumbnail.isValid()) {
        f.settings->setValue(QStringLiteral("thumbnailSize"), thumbnail);
    }
    if (layout.isValid()) {
        f.settings->setValue(QStringLiteral("browseLayout"), layout);
    }
    CollectionStore &store = f.make();
    MainWindow window(store, f.settings);
    window.show();
    QCOMPARE(store.thumbnailSize(), expectedThumbnail);
    QCOMPARE(store.browseLayout(), expectedLayout);
    QCOMPARE(f.settings->value(QStringLiteral("thumbnailSize")).toDouble(), expectedThumbnail);
    QCOMPARE(f.settings->value(QStringLiteral("browseCategoryFilterID")).toString(), QStringLiteral("all"));
    store.setWorkspaceMode(WorkspaceMode::browse);
    store.setBrowseCellSize(96);
    QCOMPARE(f.settings->value(QStringLiteral("workspaceMode")).toString(), QStringLiteral("browse"));
    QCOMPARE(f.settings->value(QStringLiteral("browseCellSize")).toDouble(), 96.0);
}

void tst_MainWindow::layoutMenuLeavesSortMode()
{
    StoreFixture f;
    CollectionStore &store = f.make();
    MainWindow window(store, f.settings);
    QCOMPARE(store.workspaceMode(), WorkspaceMode::sort);
    QAction *list = window.commands()->action(QStringLiteral("List"));
    QVERIFY(window.commands()->action(QStringLiteral("Tiles"))->isChecked()); // in Sort mode too
    list->trigger();
    QCOMPARE(store.workspaceMode(), WorkspaceMode::browse);
    QCOMPARE(store.browseLayout(), BrowseLayoutMode::list);
    QVERIFY(list->isChecked());
    QVERIFY(!window.commands()->action(QStringLiteral("Tiles"))->isChecked());
    window.commands()->action(QStringLiteral("Modification Date"))->trigger();
    QCOMPARE(store.sortOrder(), PhotoSortOrder::modificationDate);
    QVERIFY(window.commands()->action(QStringLiteral("Modification Date"))->isChecked());
}

void tst_MainWindow::escapeClosesWhatIsInFront_data()
{
    QTest::addColumn<QString>("inFront"); // what is open when Escape is pressed
    QTest::newRow("nothing: the board deselects") << QString();
    QTest::newRow("a menu of the menu bar") << QStringLiteral("menu");
    QTest::newRow("the delete confirmation") << QStringLiteral("delete");
    QTest::newRow("the preview") << QStringLiteral("preview");
}

// Escape goes to the menu, dialog or preview in front of the board, through the window system
// and the store's key filter as a real press does, and the board keeps its selection.
void tst_MainWindow::escapeClosesWhatIsInFront()
{
    QFETCH(QString, inFront);
    CollectionStore *storePointer = nullptr;
    LinuxDesktopServices desktop(nullptr, [&storePointer] { return storePointer->previewItem(0); });
    StoreFixture f;
    for (const QString &name : {QStringLiteral("a.jpg"), QStringLiteral("Beach/b.jpg")}) {
        writeJpeg(f.path(), name);
    }
    f.store = std::make_unique<CollectionStore>(desktop, f.settings);
    CollectionStore &store = *(storePointer = f.store.get());
    MainWindow window(store, f.settings);
    desktop.setWindow(&window);
    window.show();
    QVERIFY(QTest::qWaitForWindowActive(&window) && f.open());
    store.selectAll();

    QPointer<QWidget> shown;
    if (inFront == u"menu") {
        QAction *edit = window.menuBar()->actions().value(1);
        QVERIFY(edit && edit->menu());
        window.menuBar()->setActiveAction(edit);
        shown = edit->menu();
    } else if (inFront == u"delete") {
        store.requestDeleteCategory(f.sectionNamed(QStringLiteral("Beach"))->id);
        shown = window.rootView()->deleteBox();
    } else if (inFront == u"preview") {
        store.toggleQuickLook();
        shown = desktop.previewWindow();
    }
    if (shown) {
        QTRY_VERIFY(shown->isVisible());
        if (shown->windowType() != Qt::Popup) { // a menu leaves the keyboard's window as it is
            QTRY_COMPARE(QGuiApplication::focusWindow(), shown->windowHandle());
        }
    }
    QTest::keyClick(QGuiApplication::focusWindow(), Qt::Key_Escape);
    QTRY_VERIFY(!shown || !shown->isVisible());
    QCOMPARE(store.selectedCount(), inFront.isEmpty() ? 0 : 2);
    QVERIFY(!store.deleteCategoryPrompt());
    QVERIFY(f.sectionNamed(QStringLiteral("Beach")));
}

// Typing a file's name into the Browse list jumps to it: the digits after its first letter are
// part of the name and file nothing; once the name's moment has passed a digit files again.
void tst_MainWindow::listTypeSelectTakesWholeNames()
{
    StoreFixture f;
    for (const char *name : {"a.jpg", "IMG_2015.jpg", "IMG_2016.jpg", "IMG_3000.jpg", "Cats/x.jpg"}) {
        writeJpeg(f.path(), QString::fromLatin1(name));
    }
    CollectionStore &store = f.make();
    MainWindow window(store, f.settings);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window) && f.open());
    window.commands()->action(QStringLiteral("List"))->trigger();
    QTRY_COMPARE(store.browseNavigationPhotoIDs().size(), 5);
    const QStringList before = filesBelow(f.path());
    // Sent one after another without turning the event loop, so the name's moment can't pass.
    const auto type = [&window](const QString &text) {
        for (const QChar c : text) {
            const bool shift = c.isUpper() || c == u'_';
            QKeyEvent press(QEvent::KeyPress, QTest::asciiToKey(c.toLatin1()),
                            shift ? Qt::ShiftModifier : Qt::NoModifier, QString(c));
            QCoreApplication::sendEvent(window.windowHandle(), &press);
        }
    };
    type(QStringLiteral("IMG_2016"));
    QCOMPARE(f.focusedName(), QStringLiteral("IMG_2016.jpg"));
    QTRY_VERIFY(store.typeSelectBuffer().isEmpty());
    type(QStringLiteral("img_3"));
    QCOMPARE(f.focusedName(), QStringLiteral("IMG_3000.jpg"));
    QVERIFY(f.settle());
    QCOMPARE(filesBelow(f.path()), before);

    QTRY_VERIFY(store.typeSelectBuffer().isEmpty());
    type(QStringLiteral("1"));
    QVERIFY(f.settle());
    QVERIFY(filesBelow(f.path()).contains(QStringLiteral("Cats/IMG_3000.jpg")));
}

// The scan runs on the service's thread: while ten thousand photos load, the window's event
// loop keeps turning.
void tst_MainWindow::windowStaysResponsiveWhileLoading()
{
    StoreFixture f;
    for (int i = 0; i < 10000; ++i) {
        QFile file(f.path(QStringLiteral("IMG_%1.jpg").arg(i)));
        QVERIFY(file.open(QIODevice::WriteOnly));
    }
    CollectionStore &store = f.make();
    MainWindow window(store, f.settings);
    window.show();
    int ticks = 0;
    int ticksWhileLoading = 0;
    QTimer timer;
    connect(&timer, &QTimer::timeout, this, [&] {
        ++ticks;
        if (store.isLoading()) {
            ++ticksWhileLoading;
        }
    });
    timer.start(1);
    store.openCollection(QUrl::fromLocalFile(f.path()), false);
    QCOMPARE(window.rootView()->page(), RootView::Page::loading);
    QTRY_VERIFY_WITH_TIMEOUT(!store.isLoading(), 30000);
    QCOMPARE(store.photoCount(), 10000);
    QVERIFY2(ticksWhileLoading >= 2, qPrintable(QString::number(ticksWhileLoading)));
}

// A launch while the app runs gives its folder to the running instance and is told it was
// taken; with nobody running, or after the running one has gone, it carries on by itself.
void tst_MainWindow::laterLaunchHandsOverItsFolder()
{
    QTemporaryDir dir;
    const QString socket = dir.path() + QStringLiteral("/instance.socket");
    const auto launch = [&socket](const QString &folder) {
        return QtConcurrent::run([socket, folder] { return SingleInstance(socket).forward(folder); });
    };
    QVERIFY(!launch(QStringLiteral("/photos")).result()); // nobody running
    {
        SingleInstance running(socket);
        QVERIFY(running.listen());
        QSignalSpy asked(&running, &SingleInstance::openRequested);
        for (const QString &folder : {QStringLiteral("/photos/\u00e9t\u00e9 2024"), QString()}) {
            QFuture<bool> later = launch(folder);
            QTRY_COMPARE(asked.count(), 1);
            QCOMPARE(asked.takeFirst().value(0).toString(), folder);
            QVERIFY(later.result());
        }
    }
    QVERIFY(!launch(QStringLiteral("/photos")).result());
    SingleInstance next(socket);
    QVERIFY(next.listen()); // the socket's name is free again
}

QTEST_MAIN(tst_MainWindow)
#include "tst_MainWindow.moc"
