#include "support/StoreFixture.h"
#include "support/TestFolders.h"

#include <QFileInfo>
#include <QKeyEvent>
#include <QSignalSpy>
#include <QTest>

#include <functional>
#include <memory>
#include <optional>
#include <vector>

// The board keys as the application-wide key filter hands them to the store, the preview's
// data source, and the view settings with their limits, steps and persistence.

using namespace Qt::StringLiterals;

namespace {

// The board every key test starts from: Unsorted a..e, then the categories Cats (key 1) with
// x and Dogs (key 2) with y. In Browse mode the layout reports the reverse order, so "display
// order" and "collection order" can be told apart.
struct Board
{
    WorkspaceMode mode = WorkspaceMode::sort;
    BrowseLayoutMode layout = BrowseLayoutMode::tiles;
    // Clicks in order: "b" a plain click, "+b" a Ctrl-click, ">b" a Shift-click.
    QStringList clicks = {};
    bool textFocus = false;
};

// One key press as the window system delivers it.
struct Press
{
    int key = 0;
    QString text;
    Qt::KeyboardModifiers modifiers = Qt::NoModifier;
    quint32 nativeModifiers = 0;
};

// The X11/xkb Lock bit in the native modifiers: Caps Lock is on.
constexpr quint32 capsLock = 0x2;

Press press(int key,
            const QString &text = {},
            Qt::KeyboardModifiers modifiers = Qt::NoModifier,
            quint32 nativeModifiers = 0)
{
    return {key, text, modifiers, nativeModifiers};
}

Press withCapsLock(Press p)
{
    p.nativeModifiers |= capsLock;
    return p;
}

QKeyEvent keyEvent(const Press &p)
{
    return QKeyEvent(QEvent::KeyPress, p.key, p.modifiers, 0, 0, p.nativeModifiers, p.text);
}

using Change = std::function<void(CollectionStore &)>;

QString stem(const QString &filename)
{
    return filename.endsWith(".jpg"_L1) ? filename.chopped(4) : filename;
}

QStringList stems(const QStringList &filenames)
{
    QStringList result;
    for (const QString &name : filenames) {
        result.append(stem(name));
    }
    return result;
}

const QStringList boardFiles = {u"Cats/x.jpg"_s, u"Dogs/y.jpg"_s, u"a.jpg"_s, u"b.jpg"_s,
                                u"c.jpg"_s,      u"d.jpg"_s,      u"e.jpg"_s};

// A 4-column grid of 100-point cells over `ids`, for the masonry neighbour search.
QHash<QString, QRectF> gridFrames(const QStringList &ids)
{
    QHash<QString, QRectF> frames;
    for (qsizetype i = 0; i < ids.size(); ++i) {
        frames.insert(ids[i], QRectF((i % 4) * 100.0, (i / 4) * 100.0, 90, 90));
    }
    return frames;
}

} // namespace

Q_DECLARE_METATYPE(Board)
Q_DECLARE_METATYPE(Press)
Q_DECLARE_METATYPE(Change)
Q_DECLARE_METATYPE(WorkspaceMode)
Q_DECLARE_METATYPE(BrowseLayoutMode)
Q_DECLARE_METATYPE(PhotoSortOrder)
Q_DECLARE_METATYPE(std::optional<QString>)

namespace QTest {
template<>
char *toString(const WorkspaceMode &value)
{
    return qstrdup(rawValue(value).toUtf8().constData());
}
template<>
char *toString(const BrowseLayoutMode &value)
{
    return qstrdup(rawValue(value).toUtf8().constData());
}
template<>
char *toString(const PhotoSortOrder &value)
{
    return qstrdup(rawValue(value).toUtf8().constData());
}
template<>
char *toString(const std::optional<QString> &value)
{
    return qstrdup(value ? ('"' + value->toUtf8() + '"').constData() : "none");
}
template<>
char *toString(const std::optional<QUrl> &value)
{
    return qstrdup(value ? value->toString().toUtf8().constData() : "none");
}
} // namespace QTest

class tst_CollectionStoreKeys : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void cleanup();

    void keyPress_data();
    void keyPress();
    void keyPressOnDisk_data();
    void keyPressOnDisk();
    void spaceTogglesPreviewAndArrowsFollow();

    void previewItems_data();
    void previewItems();
    void shiftClickWithPreview_data();
    void shiftClickWithPreview();

    void sizeSteps_data();
    void sizeSteps();
    void sizeSetters_data();
    void sizeSetters();
    void settingsAtCreation_data();
    void settingsAtCreation();
    void sortOrderReordersEverySection();
    void browseFilterClearsSelection_data();
    void browseFilterClearsSelection();
    void workspaceModeSwitch_data();
    void workspaceModeSwitch();
    void browseLayoutDropsFrames_data();
    void browseLayoutDropsFrames();
    void equalValueNotifiesNobody_data();
    void equalValueNotifiesNobody();

private:
    StoreFixture &fixture() { return *m_fixture; }
    CollectionStore &store() { return *m_fixture->store; }

    // Lays out the board on disk, opens it and applies `board`. False when it did not open.
    bool openBoard(const Board &board = {})
    {
        for (const QString &file : boardFiles) {
            TestFolders::writeJpeg(fixture().path(), file);
        }
        fixture().make();
        if (!fixture().open()) {
            return false;
        }
        store().setWorkspaceMode(board.mode);
        store().setBrowseLayout(board.layout);
        if (board.mode == WorkspaceMode::browse) {
            store().updateBrowseNavigationOrder(browseOrder(), 4, {});
        }
        for (const QString &click : board.clicks) {
            clickOn(click);
        }
        fixture().desktop.textFocus = board.textFocus;
        fixture().desktop.calls.clear();
        return store().collection().has_value();
    }

    QString idOf(const QString &stemName) const { return m_fixture->idOf(stemName + ".jpg"_L1); }

    // Every photo id, Dogs first and Unsorted last: the order the Browse layout reports.
    QStringList browseOrder() const
    {
        QStringList ids;
        for (const Photo &photo : m_fixture->store->flattenedPhotos()) {
            ids.prepend(photo.id);
        }
        return ids;
    }

    void clickOn(const QString &click)
    {
        Qt::KeyboardModifiers modifiers = Qt::NoModifier;
        QString name = click;
        if (click.startsWith(u'+')) {
            modifiers = Qt::ControlModifier;
            name = click.mid(1);
        } else if (click.startsWith(u'>')) {
            modifiers = Qt::ShiftModifier;
            name = click.mid(1);
        }
        const QString id = idOf(name);
        QVERIFY2(!id.isEmpty(), qPrintable(name));
        if (store().workspaceMode() == WorkspaceMode::browse) {
            store().selectBrowse(id, modifiers);
            return;
        }
        for (const PhotoSection &section : store().sections()) {
            for (const Photo &photo : section.photos) {
                if (photo.id == id) {
                    store().select(id, section.id, modifiers);
                }
            }
        }
    }

    QStringList selected() const { return stems(m_fixture->selectedNames()); }
    QString focused() const { return stem(m_fixture->focusedName()); }
    QString trashFiles() const { return m_fixture->home.path() + "/Trash/files"_L1; }

    // Writes `values` and reopens the settings file, as the next launch would read it.
    void storeSettings(const QVariantMap &values)
    {
        for (auto it = values.cbegin(); it != values.cend(); ++it) {
            fixture().settings->setValue(it.key(), it.value());
        }
        fixture().settings->sync();
        fixture().settings =
            std::make_shared<QSettings>(fixture().settings->fileName(), QSettings::IniFormat);
    }

    std::optional<StoreFixture> m_fixture;
};

void tst_CollectionStoreKeys::init()
{
    m_fixture.emplace();
    QVERIFY(m_fixture->root.isValid());
    QVERIFY(m_fixture->home.isValid());
}

void tst_CollectionStoreKeys::cleanup()
{
    m_fixture.reset();
}

// ----- The key table

void tst_CollectionStoreKeys::keyPress_data()
{
    QTest::addColumn<Board>("board");
    QTest::addColumn<Press>("key");
    QTest::addColumn<bool>("consumed");
    QTest::addColumn<QStringList>("selectedAfter");
    QTest::addColumn<QString>("focusedAfter");
    QTest::addColumn<QStringList>("desktopCalls");
    QTest::addColumn<int>("beeps");

    const WorkspaceMode browse = WorkspaceMode::browse;
    const Board onB{.clicks = {u"b"_s}};
    const Board nothing{};
    const Board listOnB{.mode = browse, .layout = BrowseLayoutMode::list, .clicks = {u"b"_s}};
    const Board listEmpty{.mode = browse, .layout = BrowseLayoutMode::list};
    const Board typingOnB{.clicks = {u"b"_s}, .textFocus = true};
    const QStringList b{u"b"_s};
    const QStringList none;
    const QString B = u"b"_s;
    const QStringList showPreview{u"showPreview"_s};
    const auto ctrl = Qt::ControlModifier;

    // Arrows move the focus over the flattened board (4 columns).
    QTest::newRow("right arrow moves the focus on")
        << onB << press(Qt::Key_Right) << true << QStringList{u"c"_s} << u"c"_s << none << 0;
    QTest::newRow("left arrow moves the focus back")
        << onB << press(Qt::Key_Left) << true << QStringList{u"a"_s} << u"a"_s << none << 0;
    QTest::newRow("down arrow moves one row of four across sections")
        << onB << press(Qt::Key_Down) << true << QStringList{u"x"_s} << u"x"_s << none << 0;
    QTest::newRow("up arrow on the top row stops at the first photo")
        << onB << press(Qt::Key_Up) << true << QStringList{u"a"_s} << u"a"_s << none << 0;
    QTest::newRow("keypad arrow navigates like an arrow")
        << onB << press(Qt::Key_Right, {}, Qt::KeypadModifier) << true << QStringList{u"c"_s}
        << u"c"_s << none << 0;
    QTest::newRow("arrow without a focus selects the first photo")
        << nothing << press(Qt::Key_Right) << true << QStringList{u"a"_s} << u"a"_s << none << 0;
    QTest::newRow("shift+right passes on")
        << onB << press(Qt::Key_Right, {}, Qt::ShiftModifier) << false << b << B << none << 0;
    QTest::newRow("ctrl+right passes on")
        << onB << press(Qt::Key_Right, {}, ctrl) << false << b << B << none << 0;
    QTest::newRow("alt+right passes on")
        << onB << press(Qt::Key_Right, {}, Qt::AltModifier) << false << b << B << none << 0;
    QTest::newRow("meta+right passes on")
        << onB << press(Qt::Key_Right, {}, Qt::MetaModifier) << false << b << B << none << 0;

    QTest::newRow("escape deselects")
        << onB << press(Qt::Key_Escape, u"\x1b"_s) << true << none << QString() << none << 0;
    QTest::newRow("ctrl+a selects all, focus on the first")
        << onB << press(Qt::Key_A, u"\x01"_s, ctrl) << true
        << QStringList{u"a"_s, u"b"_s, u"c"_s, u"d"_s, u"e"_s, u"x"_s, u"y"_s} << u"a"_s << none
        << 0;
    QTest::newRow("ctrl+a in Browse selects in the layout's order")
        << Board{.mode = browse, .clicks = {u"b"_s}} << press(Qt::Key_A, u"\x01"_s, ctrl) << true
        << QStringList{u"y"_s, u"x"_s, u"e"_s, u"d"_s, u"c"_s, u"b"_s, u"a"_s} << u"y"_s << none
        << 0;
    QTest::newRow("ctrl+shift+a passes on")
        << onB << press(Qt::Key_A, u"\x01"_s, ctrl | Qt::ShiftModifier) << false << b << B << none
        << 0;
    QTest::newRow("ctrl+1 passes on")
        << onB << press(Qt::Key_1, u"1"_s, ctrl) << false << b << B << none << 0;
    QTest::newRow("backspace alone passes on")
        << onB << press(Qt::Key_Backspace, u"\b"_s) << false << b << B << none << 0;
    QTest::newRow("shift+delete passes on")
        << onB << press(Qt::Key_Delete, u"\x7f"_s, Qt::ShiftModifier) << false << b << B << none
        << 0;
    QTest::newRow("return passes on")
        << onB << press(Qt::Key_Return, u"\r"_s) << false << b << B << none << 0;
    QTest::newRow("tab passes on")
        << onB << press(Qt::Key_Tab, u"\t"_s) << false << b << B << none << 0;
    QTest::newRow("letter on the board passes on")
        << onB << press(Qt::Key_C, u"c"_s) << false << b << B << none << 0;
    QTest::newRow("keypad digit passes on")
        << onB << press(Qt::Key_1, u"1"_s, Qt::KeypadModifier) << false << b << B << none << 0;
    QTest::newRow("F2 passes on") << onB << press(Qt::Key_F2) << false << b << B << none << 0;
    QTest::newRow("page down passes on")
        << onB << press(Qt::Key_PageDown) << false << b << B << none << 0;

    QTest::newRow("space without a focus passes on")
        << nothing << press(Qt::Key_Space, u" "_s) << false << none << QString() << none << 0;
    QTest::newRow("space with a focus shows the preview")
        << onB << press(Qt::Key_Space, u" "_s) << true << b << B << showPreview << 0;
    QTest::newRow("shift+space passes on")
        << onB << press(Qt::Key_Space, u" "_s, Qt::ShiftModifier) << false << b << B << none << 0;

    // Caps Lock turns every board key off.
    QTest::newRow("caps lock: right passes on")
        << onB << withCapsLock(press(Qt::Key_Right)) << false << b << B << none << 0;
    QTest::newRow("caps lock: left passes on")
        << onB << withCapsLock(press(Qt::Key_Left)) << false << b << B << none << 0;
    QTest::newRow("caps lock: up passes on")
        << onB << withCapsLock(press(Qt::Key_Up)) << false << b << B << none << 0;
    QTest::newRow("caps lock: down passes on")
        << onB << withCapsLock(press(Qt::Key_Down)) << false << b << B << none << 0;
    QTest::newRow("caps lock: space passes on")
        << onB << withCapsLock(press(Qt::Key_Space, u" "_s)) << false << b << B << none << 0;
    QTest::newRow("caps lock: escape passes on")
        << onB << withCapsLock(press(Qt::Key_Escape, u"\x1b"_s)) << false << b << B << none << 0;
    QTest::newRow("caps lock: digit 1 passes on")
        << onB << withCapsLock(press(Qt::Key_1, u"1"_s)) << false << b << B << none << 0;
    QTest::newRow("caps lock: digit 0 passes on")
        << onB << withCapsLock(press(Qt::Key_0, u"0"_s)) << false << b << B << none << 0;
    QTest::newRow("caps lock: delete passes on")
        << onB << withCapsLock(press(Qt::Key_Delete, u"\x7f"_s)) << false << b << B << none << 0;
    QTest::newRow("caps lock: ctrl+a passes on")
        << onB << withCapsLock(press(Qt::Key_A, u"\x01"_s, ctrl)) << false << b << B << none << 0;
    QTest::newRow("caps lock: letter in the Browse list passes on")
        << listOnB << withCapsLock(press(Qt::Key_C, u"C"_s)) << false << b << B << none << 0;

    // A text field with the keyboard gets every key.
    QTest::newRow("text field: right passes on")
        << typingOnB << press(Qt::Key_Right) << false << b << B << none << 0;
    QTest::newRow("text field: escape passes on")
        << typingOnB << press(Qt::Key_Escape, u"\x1b"_s) << false << b << B << none << 0;
    QTest::newRow("text field: space passes on")
        << typingOnB << press(Qt::Key_Space, u" "_s) << false << b << B << none << 0;
    QTest::newRow("text field: digit 1 passes on")
        << typingOnB << press(Qt::Key_1, u"1"_s) << false << b << B << none << 0;
    QTest::newRow("text field: ctrl+a passes on")
        << typingOnB << press(Qt::Key_A, u"\x01"_s, ctrl) << false << b << B << none << 0;
    QTest::newRow("text field: delete passes on")
        << typingOnB << press(Qt::Key_Delete, u"\x7f"_s) << false << b << B << none << 0;
    QTest::newRow("text field: ctrl+backspace passes on")
        << typingOnB << press(Qt::Key_Backspace, u"\b"_s, ctrl) << false << b << B << none << 0;
    QTest::newRow("text field: letter in the Browse list passes on")
        << Board{.mode = browse,
                 .layout = BrowseLayoutMode::list,
                 .clicks = {u"b"_s},
                 .textFocus = true}
        << press(Qt::Key_C, u"c"_s) << false << b << B << none << 0;

    // Letters type-select only in the Browse list.
    QTest::newRow("browse list: letter type-selects")
        << listEmpty << press(Qt::Key_C, u"c"_s) << true << QStringList{u"c"_s} << u"c"_s << none
        << 0;
    QTest::newRow("browse list: letter without a match beeps and keeps the selection")
        << listOnB << press(Qt::Key_Q, u"q"_s) << true << b << B << none << 1;
    QTest::newRow("browse list: shifted letter passes on")
        << listOnB << press(Qt::Key_C, u"C"_s, Qt::ShiftModifier) << false << b << B << none << 0;
    QTest::newRow("browse list: return passes on")
        << listOnB << press(Qt::Key_Return, u"\r"_s) << false << b << B << none << 0;
    QTest::newRow("browse list: tab passes on")
        << listOnB << press(Qt::Key_Tab, u"\t"_s) << false << b << B << none << 0;
    QTest::newRow("browse list: backspace passes on")
        << listOnB << press(Qt::Key_Backspace, u"\b"_s) << false << b << B << none << 0;
    QTest::newRow("browse list: home passes on")
        << listOnB << press(Qt::Key_Home) << false << b << B << none << 0;
    QTest::newRow("browse list: keypad digit passes on")
        << listOnB << press(Qt::Key_1, u"1"_s, Qt::KeypadModifier) << false << b << B << none << 0;
    QTest::newRow("browse list: space without a focus passes on")
        << listEmpty << press(Qt::Key_Space, u" "_s) << false << none << QString() << none << 0;
    QTest::newRow("browse list: space with a focus shows the preview")
        << listOnB << press(Qt::Key_Space, u" "_s) << true << b << B << showPreview << 0;
    QTest::newRow("browse list: down moves one row in the layout's order")
        << listOnB << press(Qt::Key_Down) << true << QStringList{u"a"_s} << u"a"_s << none << 0;
    QTest::newRow("browse tiles: letter passes on")
        << Board{.mode = browse, .clicks = {u"b"_s}} << press(Qt::Key_C, u"c"_s) << false << b << B
        << none << 0;
    QTest::newRow("browse masonry: letter passes on")
        << Board{.mode = browse, .layout = BrowseLayoutMode::masonry, .clicks = {u"b"_s}}
        << press(Qt::Key_C, u"c"_s) << false << b << B << none << 0;
}

void tst_CollectionStoreKeys::keyPress()
{
    QFETCH(Board, board);
    QFETCH(Press, key);
    QFETCH(bool, consumed);
    QFETCH(QStringList, selectedAfter);
    QFETCH(QString, focusedAfter);
    QFETCH(QStringList, desktopCalls);
    QFETCH(int, beeps);

    QVERIFY(openBoard(board));
    const QStringList filesBefore = TestFolders::filesBelow(fixture().path());

    QCOMPARE(store().handleKeyEvent(keyEvent(key)), consumed);
    QCOMPARE(selected(), selectedAfter);
    QCOMPARE(focused(), focusedAfter);
    QCOMPARE(fixture().desktop.calls, desktopCalls);
    QCOMPARE(fixture().desktop.beeps, beeps);
    // None of these keys files or trashes anything.
    QCOMPARE(store().pendingMutationCount(), 0);
    QCOMPARE(TestFolders::filesBelow(fixture().path()), filesBefore);
}

void tst_CollectionStoreKeys::keyPressOnDisk_data()
{
    QTest::addColumn<Board>("board");
    QTest::addColumn<Press>("key");
    QTest::addColumn<QStringList>("filesAfter");
    QTest::addColumn<QStringList>("trashAfter");
    QTest::addColumn<QString>("focusedAfter");

    const Board onB{.clicks = {u"b"_s}};
    const QStringList untouched = boardFiles;
    const QStringList bInCats = {u"Cats/b.jpg"_s, u"Cats/x.jpg"_s, u"Dogs/y.jpg"_s, u"a.jpg"_s,
                                 u"c.jpg"_s,      u"d.jpg"_s,      u"e.jpg"_s};
    const QStringList bTrashed = {u"Cats/x.jpg"_s, u"Dogs/y.jpg"_s, u"a.jpg"_s,
                                  u"c.jpg"_s,      u"d.jpg"_s,      u"e.jpg"_s};
    const QStringList none;
    const QStringList b{u"b.jpg"_s};

    QTest::newRow("digit 1 files into the first category")
        << onB << press(Qt::Key_1, u"1"_s) << bInCats << none << u"c"_s;
    QTest::newRow("digit 2 files into the second category")
        << onB << press(Qt::Key_2, u"2"_s)
        << QStringList{u"Cats/x.jpg"_s, u"Dogs/b.jpg"_s, u"Dogs/y.jpg"_s, u"a.jpg"_s,
                       u"c.jpg"_s,      u"d.jpg"_s,      u"e.jpg"_s}
        << none << u"c"_s;
    QTest::newRow("digit 1 files the whole selection")
        << Board{.clicks = {u"b"_s, u"+d"_s}} << press(Qt::Key_1, u"1"_s)
        << QStringList{u"Cats/b.jpg"_s, u"Cats/d.jpg"_s, u"Cats/x.jpg"_s, u"Dogs/y.jpg"_s,
                       u"a.jpg"_s,      u"c.jpg"_s,      u"e.jpg"_s}
        << none << u"e"_s;
    QTest::newRow("digit 0 files a category photo back to Unsorted")
        << Board{.clicks = {u"x"_s}} << press(Qt::Key_0, u"0"_s)
        << QStringList{u"Dogs/y.jpg"_s, u"a.jpg"_s, u"b.jpg"_s, u"c.jpg"_s,
                       u"d.jpg"_s,      u"e.jpg"_s, u"x.jpg"_s}
        << none << QString();
    QTest::newRow("digit 0 in Unsorted steps on without moving")
        << onB << press(Qt::Key_0, u"0"_s) << untouched << none << u"c"_s;
    QTest::newRow("digit without a category moves nothing")
        << onB << press(Qt::Key_9, u"9"_s) << untouched << none << u"b"_s;
    QTest::newRow("ctrl+backspace trashes")
        << onB << press(Qt::Key_Backspace, u"\b"_s, Qt::ControlModifier) << bTrashed << b << u"c"_s;
    QTest::newRow("delete alone trashes")
        << onB << press(Qt::Key_Delete, u"\x7f"_s) << bTrashed << b << u"c"_s;

    // In the Browse list digits file and never type-select (no photo name starts with "1").
    const Board listOnB{
        .mode = WorkspaceMode::browse, .layout = BrowseLayoutMode::list, .clicks = {u"b"_s}};
    QTest::newRow("browse list: digit 1 files")
        << listOnB << press(Qt::Key_1, u"1"_s) << bInCats << none << u"a"_s;
    QTest::newRow("browse list: delete trashes")
        << listOnB << press(Qt::Key_Delete, u"\x7f"_s) << bTrashed << b << u"a"_s;
    QTest::newRow("browse tiles: digit 1 files")
        << Board{.mode = WorkspaceMode::browse, .clicks = {u"b"_s}} << press(Qt::Key_1, u"1"_s)
        << bInCats << none << u"a"_s;
}

void tst_CollectionStoreKeys::keyPressOnDisk()
{
    QFETCH(Board, board);
    QFETCH(Press, key);
    QFETCH(QStringList, filesAfter);
    QFETCH(QStringList, trashAfter);
    QFETCH(QString, focusedAfter);

    QVERIFY(openBoard(board));
    QVERIFY(store().handleKeyEvent(keyEvent(key)));
    QVERIFY(fixture().settle());

    QCOMPARE(TestFolders::filesBelow(fixture().path()), filesAfter);
    QCOMPARE(TestFolders::filesBelow(trashFiles()), trashAfter);
    QCOMPARE(focused(), focusedAfter);
    QVERIFY(!store().alert());
}

void tst_CollectionStoreKeys::spaceTogglesPreviewAndArrowsFollow()
{
    QVERIFY(openBoard({.clicks = {u"b"_s}}));
    RecordingDesktop &desktop = fixture().desktop;
    const QKeyEvent space = keyEvent(press(Qt::Key_Space, u" "_s));

    QVERIFY(store().handleKeyEvent(space));
    QVERIFY(desktop.previewVisible);
    QCOMPARE(store().previewItem(0).value_or(QUrl()).fileName(), u"b.jpg"_s);

    // The panel follows the focus while it is shown.
    QVERIFY(store().handleKeyEvent(keyEvent(press(Qt::Key_Right))));
    QCOMPARE(desktop.previewReloads, 1);
    QCOMPARE(store().previewItem(0).value_or(QUrl()).fileName(), u"c.jpg"_s);

    QVERIFY(store().handleKeyEvent(space));
    QVERIFY(!desktop.previewVisible);
    QCOMPARE(desktop.calls, (QStringList{u"showPreview"_s, u"hidePreview"_s}));

    // Hidden again, it is no longer reloaded.
    QVERIFY(store().handleKeyEvent(keyEvent(press(Qt::Key_Right))));
    QCOMPARE(desktop.previewReloads, 1);
}

// ----- Preview data source

void tst_CollectionStoreKeys::previewItems_data()
{
    QTest::addColumn<Board>("board");
    QTest::addColumn<QStringList>("items");

    QTest::newRow("focused photo first, then the others in board order")
        << Board{.clicks = {u"b"_s, u"+d"_s, u"+c"_s}} << QStringList{u"c"_s, u"b"_s, u"d"_s};
    QTest::newRow("focus on the first selected keeps board order")
        << Board{.clicks = {u"b"_s, u">d"_s}} << QStringList{u"b"_s, u"c"_s, u"d"_s};
    // a stays focused while the shift-click from the anchor b selects b and c only.
    QTest::newRow("focused photo outside the selection is not shown")
        << Board{.clicks = {u"a"_s, u"+b"_s, u"+b"_s, u">c"_s}} << QStringList{u"b"_s, u"c"_s};
    QTest::newRow("nothing selected shows nothing") << Board{} << QStringList{};
    QTest::newRow("browse: focused photo first, then the others in the layout's order")
        << Board{.mode = WorkspaceMode::browse, .clicks = {u"b"_s, u"+d"_s, u"+c"_s}}
        << QStringList{u"c"_s, u"d"_s, u"b"_s};
}

void tst_CollectionStoreKeys::previewItems()
{
    QFETCH(Board, board);
    QFETCH(QStringList, items);

    QVERIFY(openBoard(board));
    QCOMPARE(store().numberOfPreviewItems(), items.size());
    QStringList shown;
    for (qsizetype i = 0; i < items.size(); ++i) {
        const std::optional<QUrl> url = store().previewItem(i);
        QVERIFY(url);
        QVERIFY2(QFileInfo::exists(url->toLocalFile()), qPrintable(url->toString()));
        shown.append(stem(url->fileName()));
    }
    QCOMPARE(shown, items);
    QCOMPARE(store().previewItem(items.size()), std::optional<QUrl>());
    QCOMPARE(store().previewItem(-1), std::optional<QUrl>());
}

void tst_CollectionStoreKeys::shiftClickWithPreview_data()
{
    QTest::addColumn<bool>("previewShown");
    QTest::addColumn<int>("reloads");

    QTest::newRow("shown preview reloads") << true << 1;
    QTest::newRow("hidden preview is left alone") << false << 0;
}

void tst_CollectionStoreKeys::shiftClickWithPreview()
{
    QFETCH(bool, previewShown);
    QFETCH(int, reloads);

    QVERIFY(openBoard({.clicks = {u"b"_s}}));
    if (previewShown) {
        QVERIFY(store().handleKeyEvent(keyEvent(press(Qt::Key_Space, u" "_s))));
    }
    fixture().desktop.previewReloads = 0;

    clickOn(u">d"_s);
    QCOMPARE(fixture().desktop.previewReloads, reloads);
    QCOMPARE(fixture().desktop.previewVisible, previewShown);
    QCOMPARE(store().numberOfPreviewItems(), 3);
    QCOMPARE(store().previewItem(0).value_or(QUrl()).fileName(), u"b.jpg"_s);
}

// ----- Sizes

void tst_CollectionStoreKeys::sizeSteps_data()
{
    QTest::addColumn<WorkspaceMode>("mode");
    QTest::addColumn<BrowseLayoutMode>("layout");
    QTest::addColumn<QVariant>("storedThumbnail"); // invalid: nothing stored
    QTest::addColumn<QVariant>("storedCell");
    QTest::addColumn<int>("direction");
    QTest::addColumn<int>("steps");
    QTest::addColumn<double>("thumbnail");
    QTest::addColumn<double>("cell");
    QTest::addColumn<QVariant>("writtenThumbnail"); // invalid: not written
    QTest::addColumn<int>("thumbnailSignals");
    QTest::addColumn<int>("cellSignals");

    const auto sort = WorkspaceMode::sort;
    const auto browse = WorkspaceMode::browse;
    const auto tiles = BrowseLayoutMode::tiles;
    const auto list = BrowseLayoutMode::list;
    const QVariant unset;

    QTest::newRow("board larger from 184 reaches 280 in six steps")
        << sort << tiles << unset << unset << 1 << 6 << 280.0 << 240.0 << QVariant(280.0) << 6 << 0;
    QTest::newRow("board larger at 272 gives 280")
        << sort << tiles << QVariant(272.0) << unset << 1 << 1 << 280.0 << 240.0 << QVariant(280.0)
        << 1 << 0;
    QTest::newRow("board larger at 280 stays and still writes the size")
        << sort << tiles << QVariant(280.0) << unset << 1 << 1 << 280.0 << 240.0 << QVariant(280.0)
        << 0 << 0;
    QTest::newRow("board smaller from 184 reaches 88 in six steps")
        << sort << tiles << unset << unset << -1 << 6 << 88.0 << 240.0 << QVariant(88.0) << 6 << 0;
    QTest::newRow("board smaller at 88 gives 80") << sort << tiles << QVariant(88.0) << unset << -1
                                                  << 1 << 80.0 << 240.0 << QVariant(80.0) << 1 << 0;
    QTest::newRow("board smaller from 184 stops at 80")
        << sort << tiles << unset << unset << -1 << 10 << 80.0 << 240.0 << QVariant(80.0) << 7 << 0;
    QTest::newRow("board larger from a stored 500 comes back to 280")
        << sort << tiles << QVariant(500.0) << unset << 1 << 1 << 280.0 << 240.0 << QVariant(280.0)
        << 1 << 0;
    QTest::newRow("browse tiles larger from 240 reaches 272 then 280")
        << browse << tiles << unset << unset << 1 << 3 << 184.0 << 280.0 << unset << 0 << 3;
    QTest::newRow("browse tiles smaller from 240 reaches 80 in ten steps")
        << browse << tiles << unset << unset << -1 << 10 << 184.0 << 80.0 << unset << 0 << 10;
    QTest::newRow("browse tiles smaller stops at 80")
        << browse << tiles << unset << unset << -1 << 12 << 184.0 << 80.0 << unset << 0 << 10;
    QTest::newRow("browse masonry larger steps the cell size")
        << browse << BrowseLayoutMode::masonry << unset << QVariant(100.0) << 1 << 1 << 184.0
        << 116.0 << unset << 0 << 1;
    QTest::newRow("browse list larger does nothing")
        << browse << list << unset << unset << 1 << 3 << 184.0 << 240.0 << unset << 0 << 0;
    QTest::newRow("browse list smaller does nothing")
        << browse << list << unset << unset << -1 << 3 << 184.0 << 240.0 << unset << 0 << 0;
}

void tst_CollectionStoreKeys::sizeSteps()
{
    QFETCH(WorkspaceMode, mode);
    QFETCH(BrowseLayoutMode, layout);
    QFETCH(QVariant, storedThumbnail);
    QFETCH(QVariant, storedCell);
    QFETCH(int, direction);
    QFETCH(int, steps);
    QFETCH(double, thumbnail);
    QFETCH(double, cell);
    QFETCH(QVariant, writtenThumbnail);
    QFETCH(int, thumbnailSignals);
    QFETCH(int, cellSignals);

    QVariantMap stored;
    if (storedThumbnail.isValid()) {
        stored.insert(u"thumbnailSize"_s, storedThumbnail);
    }
    if (storedCell.isValid()) {
        stored.insert(u"browseCellSize"_s, storedCell);
    }
    storeSettings(stored);
    CollectionStore &s = fixture().make();
    s.setWorkspaceMode(mode);
    s.setBrowseLayout(layout);
    // Whatever is in the settings afterwards was written by the steps.
    fixture().settings->remove(u"thumbnailSize"_s);
    fixture().settings->remove(u"browseCellSize"_s);
    QSignalSpy thumbnailChanged(&s, &CollectionStore::thumbnailSizeChanged);
    QSignalSpy cellChanged(&s, &CollectionStore::browseCellSizeChanged);

    for (int i = 0; i < steps; ++i) {
        direction > 0 ? s.increaseThumbnailSize() : s.decreaseThumbnailSize();
    }

    QCOMPARE(s.thumbnailSize(), thumbnail);
    QCOMPARE(s.browseCellSize(), cell);
    QCOMPARE(thumbnailChanged.count(), thumbnailSignals);
    QCOMPARE(cellChanged.count(), cellSignals);
    const QVariant written = fixture().settings->value(u"thumbnailSize"_s);
    QCOMPARE(written.isValid(), writtenThumbnail.isValid());
    if (written.isValid()) {
        QCOMPARE(written.toDouble(), writtenThumbnail.toDouble());
    }
    QVERIFY(!fixture().settings->contains(u"browseCellSize"_s));
}

void tst_CollectionStoreKeys::sizeSetters_data()
{
    QTest::addColumn<bool>("board"); // true: thumbnail size, false: Browse cell size
    QTest::addColumn<double>("requested");
    QTest::addColumn<double>("expected");

    for (const bool board : {true, false}) {
        const char *prefix = board ? "thumbnail" : "cell";
        const auto row = [prefix](const char *name) -> QTestData & {
            return QTest::addRow("%s %s", prefix, name);
        };
        row("inside the range") << board << 150.5 << 150.5;
        row("at the lower limit") << board << 80.0 << 80.0;
        row("at the upper limit") << board << 280.0 << 280.0;
        row("just below the range") << board << 79.0 << 80.0;
        row("just above the range") << board << 281.0 << 280.0;
        row("zero") << board << 0.0 << 80.0;
        row("negative") << board << -40.0 << 80.0;
        row("far above the range") << board << 5000.0 << 280.0;
    }
}

void tst_CollectionStoreKeys::sizeSetters()
{
    QFETCH(bool, board);
    QFETCH(double, requested);
    QFETCH(double, expected);

    CollectionStore &s = fixture().make();
    if (board) {
        s.setThumbnailSize(requested);
        QCOMPARE(s.thumbnailSize(), expected);
        QCOMPARE(fixture().settings->value(u"thumbnailSize"_s).toDouble(), expected);
        QCOMPARE(s.browseCellSize(), 240.0);
    } else {
        s.setBrowseCellSize(requested);
        QCOMPARE(s.browseCellSize(), expected);
        QCOMPARE(s.thumbnailSize(), 184.0);
        // The window persists the cell size; the store itself writes nothing.
        QVERIFY(!fixture().settings->contains(u"browseCellSize"_s));
        QVERIFY(!fixture().settings->contains(u"thumbnailSize"_s));
    }
}

// ----- Settings read at creation

void tst_CollectionStoreKeys::settingsAtCreation_data()
{
    QTest::addColumn<QVariantMap>("stored");
    QTest::addColumn<PhotoSortOrder>("sortOrder");
    QTest::addColumn<double>("thumbnail");
    QTest::addColumn<WorkspaceMode>("mode");
    QTest::addColumn<BrowseLayoutMode>("layout");
    QTest::addColumn<std::optional<QString>>("filter");
    QTest::addColumn<double>("cell");

    const auto byName = PhotoSortOrder::filename;
    const auto sort = WorkspaceMode::sort;
    const auto tiles = BrowseLayoutMode::tiles;
    const std::optional<QString> all;
    const auto one = [](const char *key, const QVariant &value) {
        return QVariantMap{{QString::fromLatin1(key), value}};
    };

    QTest::newRow("nothing stored gives the defaults")
        << QVariantMap() << byName << 184.0 << sort << tiles << all << 240.0;
    QTest::newRow("everything stored")
        << QVariantMap{{u"photoSortOrder"_s, u"modificationDate"_s},
                       {u"thumbnailSize"_s, 120.0},
                       {u"workspaceMode"_s, u"browse"_s},
                       {u"browseLayout"_s, u"masonry"_s},
                       {u"browseCategoryFilterID"_s, u"category:42"_s},
                       {u"browseCellSize"_s, 96.0}}
        << PhotoSortOrder::modificationDate << 120.0 << WorkspaceMode::browse
        << BrowseLayoutMode::masonry << std::optional(u"category:42"_s) << 96.0;

    QTest::newRow("sort order unknown")
        << one("photoSortOrder", u"size"_s) << byName << 184.0 << sort << tiles << all << 240.0;
    QTest::newRow("sort order in the wrong case")
        << one("photoSortOrder", u"ModificationDate"_s) << byName << 184.0 << sort << tiles << all
        << 240.0;
    QTest::newRow("thumbnail size zero")
        << one("thumbnailSize", 0.0) << byName << 184.0 << sort << tiles << all << 240.0;
    QTest::newRow("thumbnail size negative")
        << one("thumbnailSize", -40.0) << byName << 184.0 << sort << tiles << all << 240.0;
    QTest::newRow("thumbnail size not a number")
        << one("thumbnailSize", u"big"_s) << byName << 184.0 << sort << tiles << all << 240.0;
    // A hand-edited file may hold words the number parser still accepts; a size that is not a
    // finite number is no size and counts as missing.
    QTest::newRow("thumbnail size nan")
        << one("thumbnailSize", u"nan"_s) << byName << 184.0 << sort << tiles << all << 240.0;
    QTest::newRow("thumbnail size infinite")
        << one("thumbnailSize", u"inf"_s) << byName << 184.0 << sort << tiles << all << 240.0;
    QTest::newRow("thumbnail size above the range is kept")
        << one("thumbnailSize", 500.0) << byName << 500.0 << sort << tiles << all << 240.0;
    QTest::newRow("thumbnail size below the range is kept")
        << one("thumbnailSize", 40.0) << byName << 40.0 << sort << tiles << all << 240.0;
    QTest::newRow("workspace mode unknown")
        << one("workspaceMode", u"grid"_s) << byName << 184.0 << sort << tiles << all << 240.0;
    QTest::newRow("browse layout list") << one("browseLayout", u"list"_s) << byName << 184.0 << sort
                                        << BrowseLayoutMode::list << all << 240.0;
    QTest::newRow("browse layout unknown")
        << one("browseLayout", u"columns"_s) << byName << 184.0 << sort << tiles << all << 240.0;
    QTest::newRow("browse filter all") << one("browseCategoryFilterID", u"all"_s) << byName << 184.0
                                       << sort << tiles << all << 240.0;
    QTest::newRow("browse cell size zero")
        << one("browseCellSize", 0.0) << byName << 184.0 << sort << tiles << all << 240.0;
    QTest::newRow("browse cell size negative")
        << one("browseCellSize", -1.0) << byName << 184.0 << sort << tiles << all << 240.0;
    QTest::newRow("browse cell size infinite")
        << one("browseCellSize", u"inf"_s) << byName << 184.0 << sort << tiles << all << 240.0;
    QTest::newRow("browse cell size above the range is kept")
        << one("browseCellSize", 500.0) << byName << 184.0 << sort << tiles << all << 500.0;
}

void tst_CollectionStoreKeys::settingsAtCreation()
{
    QFETCH(QVariantMap, stored);
    QFETCH(PhotoSortOrder, sortOrder);
    QFETCH(double, thumbnail);
    QFETCH(WorkspaceMode, mode);
    QFETCH(BrowseLayoutMode, layout);
    QFETCH(std::optional<QString>, filter);
    QFETCH(double, cell);

    storeSettings(stored);
    const CollectionStore &s = fixture().make();

    QCOMPARE(s.sortOrder(), sortOrder);
    QCOMPARE(s.thumbnailSize(), thumbnail);
    QCOMPARE(s.workspaceMode(), mode);
    QCOMPARE(s.browseLayout(), layout);
    QCOMPARE(s.browseFilterSectionID(), filter);
    QCOMPARE(s.browseCellSize(), cell);
}

// ----- Sort order, filter, mode and layout

void tst_CollectionStoreKeys::sortOrderReordersEverySection()
{
    const QString root = fixture().path();
    const QList<std::pair<QString, qint64>> files = {{u"a.jpg"_s, 1'600'000'100},
                                                     {u"b.jpg"_s, 1'600'000'300},
                                                     {u"c.jpg"_s, 1'600'000'200},
                                                     {u"Cats/w.jpg"_s, 1'600'000'100},
                                                     {u"Cats/x.jpg"_s, 1'600'000'200}};
    for (const auto &[name, time] : files) {
        TestFolders::setModificationTime(TestFolders::writeJpeg(root, name), time);
    }
    CollectionStore &s = fixture().make();
    QVERIFY(fixture().open());
    clickOn(u"b"_s);
    clickOn(u"+x"_s);
    const QSet<QString> selection = s.selectedPhotoIDs();
    const auto order = [this] {
        return QStringList{fixture().names(u"Unsorted"_s).join(u' '),
                           fixture().names(u"Cats"_s).join(u' ')};
    };
    QCOMPARE(order(), (QStringList{u"a.jpg b.jpg c.jpg"_s, u"w.jpg x.jpg"_s}));

    QSignalSpy collectionChanged(&s, &CollectionStore::collectionChanged);
    QSignalSpy sortOrderChanged(&s, &CollectionStore::sortOrderChanged);
    QSignalSpy selectionChanged(&s, &CollectionStore::selectedPhotoIDsChanged);

    s.setSortOrder(PhotoSortOrder::modificationDate);
    // Newest first, every section in one published change, without a reload.
    QCOMPARE(order(), (QStringList{u"b.jpg c.jpg a.jpg"_s, u"x.jpg w.jpg"_s}));
    QCOMPARE(collectionChanged.count(), 1);
    QCOMPARE(sortOrderChanged.count(), 1);
    QVERIFY(!s.isLoading());
    QCOMPARE(s.pendingMutationCount(), 0);
    QCOMPARE(s.selectedPhotoIDs(), selection);
    QCOMPARE(focused(), u"x"_s);
    QCOMPARE(selectionChanged.count(), 0);
    QCOMPARE(fixture().settings->value(u"photoSortOrder"_s).toString(), u"modificationDate"_s);

    s.setSortOrder(PhotoSortOrder::modificationDate);
    QCOMPARE(collectionChanged.count(), 1);
    QCOMPARE(sortOrderChanged.count(), 1);

    s.setSortOrder(PhotoSortOrder::filename);
    QCOMPARE(order(), (QStringList{u"a.jpg b.jpg c.jpg"_s, u"w.jpg x.jpg"_s}));
    QCOMPARE(fixture().settings->value(u"photoSortOrder"_s).toString(), u"filename"_s);
    QCOMPARE(s.selectedPhotoIDs(), selection);
}

void tst_CollectionStoreKeys::browseFilterClearsSelection_data()
{
    QTest::addColumn<QString>("before"); // section name, empty for all sections
    QTest::addColumn<QString>("after");
    QTest::addColumn<int>("filterSignals");

    QTest::newRow("all sections to a category") << QString() << u"Cats"_s << 1;
    QTest::newRow("the same category again") << u"Cats"_s << u"Cats"_s << 0;
    QTest::newRow("a category back to all sections") << u"Cats"_s << QString() << 1;
    QTest::newRow("all sections again") << QString() << QString() << 0;
}

void tst_CollectionStoreKeys::browseFilterClearsSelection()
{
    QFETCH(QString, before);
    QFETCH(QString, after);
    QFETCH(int, filterSignals);

    QVERIFY(openBoard({.mode = WorkspaceMode::browse, .layout = BrowseLayoutMode::masonry}));
    const auto filterFor = [this](const QString &name) -> std::optional<QString> {
        if (name.isEmpty()) {
            return std::nullopt;
        }
        return fixture().sectionNamed(name).value_or(PhotoSection()).id;
    };
    store().setBrowseFilter(filterFor(before));
    const QStringList order = browseOrder();
    store().updateBrowseNavigationOrder(order, 4, gridFrames(order));
    clickOn(u"x"_s);
    QCOMPARE(selected(), QStringList{u"x"_s});
    QVERIFY(store().spatialNeighbor(idOf(u"x"_s), 1, 0));

    QSignalSpy filterChanged(&store(), &CollectionStore::browseFilterSectionIDChanged);
    store().setBrowseFilter(filterFor(after));

    QCOMPARE(store().browseFilterSectionID(), filterFor(after));
    QCOMPARE(filterChanged.count(), filterSignals);
    QCOMPARE(selected(), QStringList());
    QCOMPARE(store().focusedPhotoID(), std::optional<QString>());
    QCOMPARE(store().selectionAnchorID(), std::optional<QString>());
    QCOMPARE(store().browseNavigationPhotoIDs(), QStringList());
    QCOMPARE(store().spatialNeighbor(idOf(u"x"_s), 1, 0), std::optional<QString>());
}

void tst_CollectionStoreKeys::workspaceModeSwitch_data()
{
    QTest::addColumn<QList<WorkspaceMode>>("switches");
    QTest::addColumn<bool>("orderKept");
    QTest::addColumn<int>("modeSignals");

    QTest::newRow("to Sort and back to Browse")
        << QList<WorkspaceMode>{WorkspaceMode::sort, WorkspaceMode::browse} << false << 2;
    QTest::newRow("Browse again") << QList<WorkspaceMode>{WorkspaceMode::browse} << true << 0;
}

void tst_CollectionStoreKeys::workspaceModeSwitch()
{
    QFETCH(QList<WorkspaceMode>, switches);
    QFETCH(bool, orderKept);
    QFETCH(int, modeSignals);

    QVERIFY(openBoard(
        {.mode = WorkspaceMode::browse, .layout = BrowseLayoutMode::masonry, .clicks = {u"b"_s}}));
    const QStringList order = browseOrder();
    store().updateBrowseNavigationOrder(order, 4, gridFrames(order));
    QVERIFY(store().spatialNeighbor(idOf(u"b"_s), 0, -1));

    QSignalSpy modeChanged(&store(), &CollectionStore::workspaceModeChanged);
    for (const WorkspaceMode mode : switches) {
        store().setWorkspaceMode(mode);
    }

    QCOMPARE(modeChanged.count(), modeSignals);
    QCOMPARE(store().workspaceMode(), WorkspaceMode::browse);
    QCOMPARE(store().browseNavigationPhotoIDs(), orderKept ? order : QStringList());
    QCOMPARE(store().spatialNeighbor(idOf(u"b"_s), 0, -1).has_value(), orderKept);
    // The selection survives the switch.
    QCOMPARE(selected(), QStringList{u"b"_s});
    QCOMPARE(focused(), u"b"_s);
}

void tst_CollectionStoreKeys::browseLayoutDropsFrames_data()
{
    QTest::addColumn<BrowseLayoutMode>("layout");
    QTest::addColumn<int>("layoutSignals");

    QTest::newRow("masonry to list") << BrowseLayoutMode::list << 1;
    QTest::newRow("masonry to tiles") << BrowseLayoutMode::tiles << 1;
    QTest::newRow("masonry again") << BrowseLayoutMode::masonry << 0;
}

void tst_CollectionStoreKeys::browseLayoutDropsFrames()
{
    QFETCH(BrowseLayoutMode, layout);
    QFETCH(int, layoutSignals);

    QVERIFY(openBoard({.mode = WorkspaceMode::browse, .layout = BrowseLayoutMode::masonry}));
    const QStringList order = browseOrder();
    store().updateBrowseNavigationOrder(order, 4, gridFrames(order));
    store().performTypeSelect(u"c"_s);
    QVERIFY(store().spatialNeighbor(idOf(u"c"_s), 1, 0));

    QSignalSpy layoutChanged(&store(), &CollectionStore::browseLayoutChanged);
    store().setBrowseLayout(layout);

    QCOMPARE(store().browseLayout(), layout);
    QCOMPARE(layoutChanged.count(), layoutSignals);
    QCOMPARE(store().spatialNeighbor(idOf(u"c"_s), 1, 0), std::optional<QString>());
    QCOMPARE(store().typeSelectBuffer(), QString());
    // The order stays until the new layout reports its own.
    QCOMPARE(store().browseNavigationPhotoIDs(), order);
}

// ----- Notifications

void tst_CollectionStoreKeys::equalValueNotifiesNobody_data()
{
    QTest::addColumn<Change>("prepare");
    QTest::addColumn<Change>("change");
    QTest::addColumn<QByteArray>("notified"); // the one signal expected, empty for none

    const Change nothing = [](CollectionStore &) {};
    const auto row = [](const char *name) -> QTestData & { return QTest::newRow(name); };

    row("same workspace mode") << nothing << Change([](CollectionStore &s) {
        s.setWorkspaceMode(WorkspaceMode::sort);
    }) << QByteArray();
    row("new workspace mode") << nothing << Change([](CollectionStore &s) {
        s.setWorkspaceMode(WorkspaceMode::browse);
    }) << QByteArray("workspaceModeChanged");
    row("same browse layout") << nothing << Change([](CollectionStore &s) {
        s.setBrowseLayout(BrowseLayoutMode::tiles);
    }) << QByteArray();
    row("new browse layout") << nothing << Change([](CollectionStore &s) {
        s.setBrowseLayout(BrowseLayoutMode::masonry);
    }) << QByteArray("browseLayoutChanged");
    row("same browse filter") << Change([](CollectionStore &s) {
        s.setBrowseFilter(u"category:7"_s);
    }) << Change([](CollectionStore &s) { s.setBrowseFilter(u"category:7"_s); })
                              << QByteArray();
    row("same browse filter, all sections")
        << nothing << Change([](CollectionStore &s) { s.setBrowseFilter(std::nullopt); })
        << QByteArray();
    row("new browse filter") << nothing << Change([](CollectionStore &s) {
        s.setBrowseFilter(u"category:7"_s);
    }) << QByteArray("browseFilterSectionIDChanged");
    row("same sort order") << nothing << Change([](CollectionStore &s) {
        s.setSortOrder(PhotoSortOrder::filename);
    }) << QByteArray();
    row("new sort order") << nothing << Change([](CollectionStore &s) {
        s.setSortOrder(PhotoSortOrder::modificationDate);
    }) << QByteArray("sortOrderChanged");
    row("same thumbnail size") << nothing
                               << Change([](CollectionStore &s) { s.setThumbnailSize(184); })
                               << QByteArray();
    row("thumbnail size clamped to the current one")
        << Change([](CollectionStore &s) { s.setThumbnailSize(280); })
        << Change([](CollectionStore &s) { s.setThumbnailSize(400); }) << QByteArray();
    row("thumbnail step at the limit")
        << Change([](CollectionStore &s) { s.setThumbnailSize(80); })
        << Change([](CollectionStore &s) { s.decreaseThumbnailSize(); }) << QByteArray();
    row("new thumbnail size") << nothing
                              << Change([](CollectionStore &s) { s.setThumbnailSize(200); })
                              << QByteArray("thumbnailSizeChanged");
    row("same cell size") << nothing << Change([](CollectionStore &s) { s.setBrowseCellSize(240); })
                          << QByteArray();
    row("cell size clamped to the current one")
        << Change([](CollectionStore &s) { s.setBrowseCellSize(80); })
        << Change([](CollectionStore &s) { s.setBrowseCellSize(10); }) << QByteArray();
    row("new cell size") << nothing << Change([](CollectionStore &s) { s.setBrowseCellSize(96); })
                         << QByteArray("browseCellSizeChanged");
}

void tst_CollectionStoreKeys::equalValueNotifiesNobody()
{
    QFETCH(Change, prepare);
    QFETCH(Change, change);
    QFETCH(QByteArray, notified);

    CollectionStore &s = fixture().make();
    prepare(s);
    std::vector<std::pair<QString, std::unique_ptr<QSignalSpy>>> spies;
    const auto watch = [&spies, &s](const char *name, auto signal) {
        spies.emplace_back(QString::fromLatin1(name), std::make_unique<QSignalSpy>(&s, signal));
    };
    watch("workspaceModeChanged", &CollectionStore::workspaceModeChanged);
    watch("browseLayoutChanged", &CollectionStore::browseLayoutChanged);
    watch("browseFilterSectionIDChanged", &CollectionStore::browseFilterSectionIDChanged);
    watch("sortOrderChanged", &CollectionStore::sortOrderChanged);
    watch("thumbnailSizeChanged", &CollectionStore::thumbnailSizeChanged);
    watch("browseCellSizeChanged", &CollectionStore::browseCellSizeChanged);
    watch("selectedPhotoIDsChanged", &CollectionStore::selectedPhotoIDsChanged);
    watch("focusedPhotoIDChanged", &CollectionStore::focusedPhotoIDChanged);

    change(s);

    QStringList emitted;
    for (const auto &[name, spy] : spies) {
        for (qsizetype i = 0; i < spy->count(); ++i) {
            emitted.append(name);
        }
    }
    const QStringList expected =
        notified.isEmpty() ? QStringList() : QStringList{QString::fromLatin1(notified)};
    QCOMPARE(emitted, expected);
}

QTEST_GUILESS_MAIN(tst_CollectionStoreKeys)
#include "tst_CollectionStoreKeys.moc"
