#include "App/AppCommands.h"
#include "App/MainWindow.h"
#include "App/SingleInstance.h"
#include "Services/Platform/LinuxFileSystem.h"
#include "Views/CategoryNameSheet.h"
#include "Views/HudView.h"
#include "Views/LinuxDesktopServices.h"
#include "Views/LoadingView.h"
#include "Views/RecoveryBanner.h"
#include "Views/RootView.h"
#include "support/PrivateMounts.h"
#include "support/StoreFixture.h"

#include <QAbstractButton>
#include <QAction>
#include <QLineEdit>
#include <QLocale>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QPointer>
#include <QScopeGuard>
#include <QTimer>
#include <QtConcurrent>

#include <unistd.h>

using namespace TestFolders;
using namespace Qt::StringLiterals;

namespace {

// A store over a temporary folder and the main window over it.
struct Window : StoreFixture
{
    std::unique_ptr<MainWindow> window;

    // Writes a small JPEG at each of the comma-separated `jpegs`, then makes the store (after
    // any settings the test has written) and the window.
    MainWindow &make(const char *jpegs = "", bool show = true)
    {
        for (const QString &name : QString::fromUtf8(jpegs).split(u',', Qt::SkipEmptyParts)) {
            writeJpeg(path(), name);
        }
        StoreFixture::make();
        window = std::make_unique<MainWindow>(*store, settings);
        if (show) {
            window->show();
        }
        return *window;
    }
    AppCommands &commands() const { return *window->commands(); }
    QAction *action(const QString &title) const { return window->commands()->action(title); }
};

QString titles(QMenu *menu)
{
    QStringList result;
    for (QAction *action : menu->actions()) {
        result.append(action->isSeparator() ? u"---"_s : action->text());
    }
    return result.join(u',');
}

} // namespace

// The window as a user meets it, headless: which page shows, the menus and their enabling,
// the dialogs the store asks for, and the view settings kept across launches.
class tst_MainWindow : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void pagesFollowTheStore();
    void menuEnabling();
    void undoRunsThroughTheStore();
    void openRecentContents();
    void deleteMessages_data();
    void deleteMessages();
    void dialogsReachTheStore();
    void recoveryStaysUntilDismissed();
    void settingsAppliedAndWritten();
    void layoutMenuLeavesSortMode();
    void escapeClosesWhatIsInFront_data();
    void escapeClosesWhatIsInFront();
    void listTypeSelectTakesWholeNames();
    void laterLaunchHandsOverItsFolder();
    void windowStaysResponsiveWhileLoading();
    void refreshFindsWhatNothingElseSaw();
    void homeTrashQuestion();

private:
    PrivateMounts m_mounts;
};

void tst_MainWindow::pagesFollowTheStore()
{
    Window w;
    MainWindow &window = w.make("a.jpg");
    QCOMPARE(window.rootView()->page(), RootView::Page::welcome);
    QCOMPARE(window.size(), MainWindow::defaultSize);
    // A folder that can't be opened: an alert, and the welcome page once it is dismissed.
    w.store->openCollection(QUrl::fromLocalFile(w.path(u"missing"_s)), false);
    QTRY_VERIFY_WITH_TIMEOUT(window.rootView()->alertBox(), 10000);
    QMessageBox *box = window.rootView()->alertBox();
    QCOMPARE(box->text(), u"Couldn’t Open Folder"_s);
    QVERIFY(box->informativeText().contains(u"“missing”"_s));
    box->button(QMessageBox::Ok)->click();
    QVERIFY(!w.store->alert());
    QCOMPARE(window.rootView()->page(), RootView::Page::welcome);

    w.store->openCollection(QUrl::fromLocalFile(w.path()), false);
    QCOMPARE(window.rootView()->page(), RootView::Page::loading);
    QTRY_COMPARE_WITH_TIMEOUT(window.rootView()->page(), RootView::Page::workspace, 10000);
    QCOMPARE(w.store->undoStack(), &window.undoStack()); // handed over when first shown

    // The launch's folder is asked for before the window is made: the window starts loading,
    // with what needs a collection disabled, and shows the folder once it is read.
    Window early;
    writeJpeg(early.path(), u"b.jpg"_s);
    early.StoreFixture::make();
    early.store->openCollection(QUrl::fromLocalFile(early.path()), true);
    early.window = std::make_unique<MainWindow>(*early.store, early.settings);
    early.window->show();
    QVERIFY(early.window->rootView()->findChild<LoadingView *>()->isVisible());
    QVERIFY(!early.action(u"New Category…"_s)->isEnabled());
    QTRY_COMPARE_WITH_TIMEOUT(early.window->rootView()->page(), RootView::Page::workspace, 10000);
    QVERIFY(early.action(u"New Category…"_s)->isEnabled());
    QCOMPARE(early.store->undoStack(), &early.window->undoStack());
    QCOMPARE(early.store->collection()->photoCount(), 1);
}

void tst_MainWindow::menuEnabling()
{
    Window w;
    for (int i = 1; i <= 11; ++i) {
        makeFolder(w.path(), u"C%1"_s.arg(i, 2, 10, QLatin1Char('0')));
    }
    w.make("a.jpg", false);
    CollectionStore &store = *w.store;
    const auto photoItemsEnabled = [&](bool expected) {
        for (const char *title :
             {"Open", "Quick Look", "Reveal in File Manager", "Move to Trash"}) {
            if (w.action(QString::fromUtf8(title))->isEnabled() != expected) {
                return false;
            }
        }
        return w.commands().moveToMenu()->menuAction()->isEnabled() == expected;
    };
    QAction *newCategory = w.action(u"New Category…"_s);
    QVERIFY(photoItemsEnabled(false));
    QVERIFY(!newCategory->isEnabled());
    QVERIFY(titles(w.commands().moveToMenu()).isEmpty());
    QVERIFY(w.open());
    QVERIFY(newCategory->isEnabled());
    QCOMPARE(titles(w.commands().moveToMenu()), u"0  Unsorted,1  C01,2  C02,3  C03,4  C04,5  C05,"
                                                "6  C06,7  C07,8  C08,9  C09,C10,C11"_s);
    QVERIFY(photoItemsEnabled(false)); // nothing selected
    store.selectAll();
    QVERIFY(photoItemsEnabled(true));
    store.openCollection(QUrl::fromLocalFile(w.path()), false); // loading
    QVERIFY(photoItemsEnabled(false));
    QVERIFY(!newCategory->isEnabled());
    QTRY_VERIFY_WITH_TIMEOUT(!store.isLoading(), 10000);

    QVERIFY(w.action(u"Larger Thumbnails"_s)->isEnabled());
    store.setWorkspaceMode(WorkspaceMode::browse);
    store.setBrowseLayout(BrowseLayoutMode::list);
    QVERIFY(!w.action(u"Larger Thumbnails"_s)->isEnabled());
    QVERIFY(!w.action(u"Smaller Thumbnails"_s)->isEnabled());
    store.setBrowseLayout(BrowseLayoutMode::masonry);
    QVERIFY(w.action(u"Smaller Thumbnails"_s)->isEnabled());
}

void tst_MainWindow::undoRunsThroughTheStore()
{
    // The Edit menu's Undo asks the store, which refuses it at once on a read-only folder.
    Window w;
    makeFolder(w.path(), u"Cats"_s);
    w.make("a.jpg"); // shown: the window's undo stack is handed over
    QVERIFY(w.open());
    w.store->select(w.idOf(u"a.jpg"_s), {}, {});
    w.store->moveSelectionToDigit(1);
    QVERIFY(w.settle());
    QCOMPARE(filesBelow(w.path()), QStringList{u"Cats/a.jpg"_s});
    QAction *undo = w.action(u"Undo Move Photo"_s);
    QVERIFY(undo);
    undo->trigger();
    QVERIFY(w.settle());
    QCOMPARE(filesBelow(w.path()), QStringList{u"a.jpg"_s});
    QAction *redo = w.action(u"Redo Move Photo"_s);
    QVERIFY(redo);
    redo->trigger();
    QVERIFY(w.settle());
    QCOMPARE(filesBelow(w.path()), QStringList{u"Cats/a.jpg"_s});
}

void tst_MainWindow::openRecentContents()
{
    Window w;
    w.make("", false);
    QMenu *recent = w.commands().openRecentMenu();
    QCOMPARE(titles(recent), u"No Recent Folders"_s);
    QVERIFY(!recent->actions().first()->isEnabled());
    QTemporaryDir other;
    w.desktop.folderToChoose = QUrl::fromLocalFile(other.path());
    w.store->chooseFolder();
    QTRY_VERIFY_WITH_TIMEOUT(!w.store->isLoading(), 10000);
    const QString expected = QDir(other.path()).dirName() + u",---,Clear Menu"_s;
    QCOMPARE(titles(recent), expected);
    recent->actions().last()->trigger(); // Clear Menu keeps the last collection's entry
    QCOMPARE(titles(recent), expected);
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

// The new-category sheet and the delete confirmation hand the user's answer to the store.
void tst_MainWindow::dialogsReachTheStore()
{
    Window w;
    MainWindow &window = w.make("Beach/a.jpg");
    QVERIFY(w.open());
    w.action(u"New Category…"_s)->trigger();
    CategoryNameSheet *sheet = window.rootView()->sheet();
    QVERIFY(sheet);
    sheet->nameField()->setText(u"  Travel  "_s);
    QTest::keyClick(sheet->nameField(), Qt::Key_Return);
    QVERIFY(!w.store->categoryPrompt());
    QVERIFY(w.settle());
    QVERIFY(w.sectionNamed(u"Travel"_s));

    w.store->requestDeleteCategory(w.sectionNamed(u"Beach"_s)->id);
    QMessageBox *box = window.rootView()->deleteBox();
    QVERIFY(box);
    QCOMPARE(box->text(), u"Delete “Beach”?"_s);
    QCOMPARE(box->informativeText(), RootView::deleteConfirmationMessage(1));
    const QList<QAbstractButton *> buttons = box->buttons();
    const auto remove = std::ranges::find(buttons, u"Delete Category"_s, &QAbstractButton::text);
    QVERIFY(remove != buttons.end());
    (*remove)->click();
    QVERIFY(!w.store->deleteCategoryPrompt());
    QVERIFY(!w.sectionNamed(u"Beach"_s));
    QVERIFY(w.settle());
}

// A change cut off with the last session is put back when the folder opens again; the window
// says so in full, names what it left as found and keeps saying it until dismissed.
void tst_MainWindow::recoveryStaysUntilDismissed()
{
    Window w;
    for (const QString &name : {u"a.jpg"_s, u"b.jpg"_s, u"Cats/c.jpg"_s}) {
        writeJpeg(w.path(), name);
    }
    {
        // The last session ended while a.jpg and b.jpg were on their way into Cats, and
        // another b.jpg has since taken the place of the second.
        LinuxFileSystem disk;
        const QString identity = disk.stat(w.path(), true)->identity;
        auto journal = OperationJournal::open(OperationJournal::defaultStateFolder(),
                                              JournalKey::of(w.path(), identity), w.path(),
                                              identity);
        QVERIFY(journal);
        const qint64 batch =
            (*journal)->beginBatch(OperationJournal::Role::action, u"Move"_s).value();
        for (const QString &name : {u"a.jpg"_s, u"b.jpg"_s}) {
            const QString to = u"Cats/"_s + name;
            QVERIFY((*journal)->intend(batch, {QUrl::fromLocalFile(w.path(name)),
                                               QUrl::fromLocalFile(w.path(to)),
                                               disk.stat(w.path(name))->identity}));
            QVERIFY(QFile::rename(w.path(name), w.path(to)));
        }
        writeJpeg(w.path(), u"b.jpg"_s);
    }
    MainWindow &window = w.make();
    CollectionStore &store = *w.store;
    QVERIFY(w.open());
    QCOMPARE(filesBelow(w.path()).join(u','), u"Cats/b.jpg,Cats/c.jpg,a.jpg,b.jpg"_s);
    const RecoveryBanner *banner = window.rootView()->recoveryBanner();
    QVERIFY(banner->isVisible());
    QCOMPARE(banner->summaryText(), u"The last session ended in the middle of a change. 1 photo "
                                    "file was put back where it was."_s);
    QCOMPARE(banner->leftAsFoundText(), u"Cats/b.jpg"_s);
    store.select(w.idOf(u"a.jpg"_s), store.sections().first().id, {});
    store.moveSelectionToDigit(9); // no such category: a passing message comes and goes
    QVERIFY(store.hudMessage());
    QTRY_VERIFY_WITH_TIMEOUT(!store.hudMessage(), 5000);
    QVERIFY(banner->isVisible());
    QVERIFY(window.rootView()->hud()->geometry().top() > banner->geometry().bottom());
    banner->dismissButton()->click();
    QVERIFY(!banner->isVisible());
    QVERIFY(!store.recoveryReport());
}

// Stored view settings are applied when the window first shows, and written back as applied:
// a stored size beyond the limit comes back clamped. (Reading them is the store's own test.)
void tst_MainWindow::settingsAppliedAndWritten()
{
    Window w;
    w.settings->setValue(u"thumbnailSize"_s, 500.0);
    w.settings->setValue(u"browseLayout"_s, u"list"_s);
    w.make();
    QCOMPARE(w.store->thumbnailSize(), 280.0);
    QCOMPARE(w.store->browseLayout(), BrowseLayoutMode::list);
    QCOMPARE(w.settings->value(u"thumbnailSize"_s).toDouble(), 280.0);
    QCOMPARE(w.settings->value(u"browseCategoryFilterID"_s).toString(), u"all"_s);
}

void tst_MainWindow::layoutMenuLeavesSortMode()
{
    Window w;
    w.make("", false);
    CollectionStore &store = *w.store;
    QCOMPARE(store.workspaceMode(), WorkspaceMode::sort);
    QAction *list = w.action(u"List"_s);
    QVERIFY(w.action(u"Tiles"_s)->isChecked()); // in Sort mode too
    list->trigger();
    QCOMPARE(store.workspaceMode(), WorkspaceMode::browse);
    QCOMPARE(store.browseLayout(), BrowseLayoutMode::list);
    QVERIFY(list->isChecked());
    QVERIFY(!w.action(u"Tiles"_s)->isChecked());
    w.action(u"Modification Date"_s)->trigger();
    QCOMPARE(store.sortOrder(), PhotoSortOrder::modificationDate);
    QVERIFY(w.action(u"Modification Date"_s)->isChecked());
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
    LinuxDesktopServices desktop(nullptr, [&storePointer] { return storePointer->previewItems(); });
    StoreFixture f;
    writeJpeg(f.path(), u"a.jpg"_s);
    writeJpeg(f.path(), u"Beach/b.jpg"_s);
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
        store.requestDeleteCategory(f.sectionNamed(u"Beach"_s)->id);
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
    QVERIFY(f.sectionNamed(u"Beach"_s));
}

// Typing a file's name into the Browse list jumps to it: the digits after its first letter are
// part of the name and file nothing; once the name's moment has passed a digit files again.
void tst_MainWindow::listTypeSelectTakesWholeNames()
{
    Window w;
    MainWindow &window = w.make("a.jpg,IMG_2015.jpg,IMG_2016.jpg,IMG_3000.jpg,Cats/x.jpg");
    QVERIFY(QTest::qWaitForWindowExposed(&window) && w.open());
    w.action(u"List"_s)->trigger();
    QTRY_COMPARE(w.store->browseNavigationPhotoIDs().size(), 5);
    const QStringList before = filesBelow(w.path());
    // Sent one after another without turning the event loop, so the name's moment can't pass.
    const auto type = [&window](const QString &text) {
        for (const QChar c : text) {
            const bool shift = c.isUpper() || c == u'_';
            QKeyEvent press(QEvent::KeyPress, QTest::asciiToKey(c.toLatin1()),
                            shift ? Qt::ShiftModifier : Qt::NoModifier, QString(c));
            QCoreApplication::sendEvent(window.windowHandle(), &press);
        }
    };
    type(u"IMG_2016"_s);
    QCOMPARE(w.focusedName(), u"IMG_2016.jpg"_s);
    QTRY_VERIFY(w.store->typeSelectBuffer().isEmpty());
    type(u"img_3"_s);
    QCOMPARE(w.focusedName(), u"IMG_3000.jpg"_s);
    QVERIFY(w.settle());
    QCOMPARE(filesBelow(w.path()), before);

    QTRY_VERIFY(w.store->typeSelectBuffer().isEmpty());
    type(u"1"_s);
    QVERIFY(w.settle());
    QVERIFY(filesBelow(w.path()).contains(u"Cats/IMG_3000.jpg"_s));
}

// The scan runs on the service's thread: while ten thousand photos load, the window's event
// loop keeps turning.
void tst_MainWindow::windowStaysResponsiveWhileLoading()
{
    Window w;
    for (int i = 0; i < 10000; ++i) {
        QFile file(w.path(u"IMG_%1.jpg"_s.arg(i)));
        QVERIFY(file.open(QIODevice::WriteOnly));
    }
    MainWindow &window = w.make();
    CollectionStore &store = *w.store;
    int ticksWhileLoading = 0;
    QTimer timer;
    connect(&timer, &QTimer::timeout, this, [&] { ticksWhileLoading += store.isLoading(); });
    timer.start(1);
    store.openCollection(QUrl::fromLocalFile(w.path()), false);
    QCOMPARE(window.rootView()->page(), RootView::Page::loading);
    QTRY_VERIFY_WITH_TIMEOUT(!store.isLoading(), 30000);
    QCOMPARE(store.photoCount(), 10000);
    QVERIFY2(ticksWhileLoading >= 2, qPrintable(QString::number(ticksWhileLoading)));
}

// Through a FUSE mirror inotify sees nothing of what changes behind the program's back; the
// folder is polled only while the window is on screen, and F5 lists it again at once.
void tst_MainWindow::refreshFindsWhatNothingElseSaw()
{
    Window w;
    QTemporaryDir backing;
    writeJpeg(backing.path(), u"a.jpg"_s);
    const QString why = m_mounts.mountFuse(u"bindfs"_s, {backing.path(), w.path()}, w.path());
    if (!why.isEmpty()) {
        QSKIP(qPrintable(why));
    }
    const auto unmount = qScopeGuard([this] { m_mounts.unmountAll(); });
    MainWindow &window = w.make();
    QVERIFY(QTest::qWaitForWindowActive(&window) && w.open());
    QAction *refresh = w.action(u"Refresh"_s);
    QVERIFY(refresh->isEnabled());
    const DirectoryMonitor &monitor = w.store->directoryMonitor();
    QVERIFY(monitor.isPolling());
    QCOMPARE(monitor.polledFolders(), QStringList{QDir::cleanPath(w.path())});
    QTRY_VERIFY(monitor.pollRounds() > 0); // what the folder holds is noted
    writeJpeg(backing.path(), u"b.jpg"_s);
    QTRY_COMPARE_WITH_TIMEOUT(w.store->photoCount(), 2, 10000);

    w.store->setWindowShown(false); // as if hidden: only Refresh can find what comes now
    writeJpeg(backing.path(), u"c.jpg"_s);
    QTest::qWait(3000); // past a round of polling, were it on
    QVERIFY(!monitor.isPolling());
    QCOMPARE(w.store->photoCount(), 2);
    QTest::keyClick(window.windowHandle(), Qt::Key_F5);
    QTRY_COMPARE(w.store->photoCount(), 3);

    window.showMinimized();
    QVERIFY(!monitor.isPolling());
    window.showNormal();
    QVERIFY(monitor.isPolling());
    window.hide();
    QVERIFY(!monitor.isPolling());
    window.showMinimized(); // shown, but as an icon
    QVERIFY(!monitor.isPolling());
    w.store->openCollection(QUrl::fromLocalFile(w.path()), false);
    QVERIFY(!refresh->isEnabled()); // loading
}

// A FUSE mirror whose trash cannot be made: the window asks before the photo is copied into the
// home trash, naming the volume and the size; Escape leaves it, the button moves it.
void tst_MainWindow::homeTrashQuestion()
{
    Window w;
    QTemporaryDir backing;
    writeJpeg(backing.path(), u"a.jpg"_s);
    writeFile(backing.path(), u".Trash-"_s + QString::number(::getuid()), "not a folder");
    const QString why = m_mounts.mountFuse(u"bindfs"_s, {backing.path(), w.path()}, w.path());
    if (!why.isEmpty()) {
        QSKIP(qPrintable(why));
    }
    const auto unmount = qScopeGuard([this] { m_mounts.unmountAll(); });
    MainWindow &window = w.make();
    QVERIFY(QTest::qWaitForWindowActive(&window) && w.open());
    const QString size = QLocale().formattedDataSize(QFileInfo(w.path(u"a.jpg"_s)).size());
    for (const bool confirm : {false, true}) {
        w.store->select(w.idOf(u"a.jpg"_s), {}, {});
        w.store->moveSelectionToTrash();
        QTRY_VERIFY(window.rootView()->homeTrashBox());
        QPointer<QMessageBox> box = window.rootView()->homeTrashBox();
        QTRY_VERIFY(box->isVisible());
        QCOMPARE(box->text(), u"“%1” has no trash"_s.arg(w.store->volume().name));
        QVERIFY2(box->informativeText().contains(u"(%1)"_s.arg(size)),
                 qPrintable(box->informativeText()));
        if (!confirm) {
            QTRY_COMPARE(QGuiApplication::focusWindow(), box->windowHandle());
            QTest::keyClick(QGuiApplication::focusWindow(), Qt::Key_Escape);
            QTRY_VERIFY(!box);
            QVERIFY(!w.store->homeTrashPrompt());
            QVERIFY(w.settle());
            QCOMPARE(filesBelow(backing.path()).contains(u"a.jpg"_s), true);
            QTRY_VERIFY(!w.idOf(u"a.jpg"_s).isEmpty());
            continue;
        }
        const QList<QAbstractButton *> buttons = box->buttons();
        const auto move =
            std::ranges::find(buttons, u"Move to Home Trash"_s, &QAbstractButton::text);
        QVERIFY(move != buttons.end());
        (*move)->click();
        QVERIFY(!w.store->homeTrashPrompt());
        QVERIFY(w.settle());
        QVERIFY(!filesBelow(backing.path()).contains(u"a.jpg"_s));
        QCOMPARE(filesBelow(w.home.path() + u"/Trash/files"_s), QStringList{u"a.jpg"_s});
    }
}

// A launch while the app runs gives its folder to the running instance and is told it was
// taken; with nobody running, or after the running one has gone, it carries on by itself.
void tst_MainWindow::laterLaunchHandsOverItsFolder()
{
    QTemporaryDir dir;
    const QString socket = dir.path() + u"/instance.socket"_s;
    const auto launch = [&socket](const QString &folder) {
        return QtConcurrent::run([socket, folder] { return SingleInstance(socket).forward(folder); });
    };
    QVERIFY(!launch(u"/photos"_s).result()); // nobody running
    {
        SingleInstance running(socket);
        QVERIFY(running.listen());
        QSignalSpy asked(&running, &SingleInstance::openRequested);
        for (const QString &folder : {u"/photos/\u00e9t\u00e9 2024"_s, QString()}) {
            QFuture<bool> later = launch(folder);
            QTRY_COMPARE(asked.count(), 1);
            QCOMPARE(asked.takeFirst().value(0).toString(), folder);
            QVERIFY(later.result());
        }
    }
    QVERIFY(!launch(u"/photos"_s).result());
    SingleInstance next(socket);
    QVERIFY(next.listen()); // the socket's name is free again
}

QTEST_MAIN(tst_MainWindow)
#include "tst_MainWindow.moc"
