#include "ViewModels/KeyMap.h"
#include "support/StoreFixture.h"

#include <QFileInfo>
#include <QKeyEvent>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTest>

#include <algorithm>
#include <cstdlib>
#include <functional>
#include <memory>
#include <vector>

// The board keys as the application-wide key filter hands them to the store, the preview's
// data source, and the view settings with their limits, steps and persistence.

using namespace Qt::StringLiterals;

namespace {

struct Board
{
    WorkspaceMode mode = WorkspaceMode::sort;
    BrowseLayoutMode layout = BrowseLayoutMode::tiles;
    const char *clicks = ""; // "b" a click, "+b" a Ctrl-click, ">b" a Shift-click
    bool textFocus = false;
    bool previewShown = false;
    bool previewActive = false; // the preview window has the keyboard
};

struct Press
{
    int key = 0;
    Qt::KeyboardModifiers modifiers = Qt::NoModifier;
    bool capsLock = false;
    quint32 scanCode = 0;      // the physical key, as X11 and Wayland number it
    const char *text = nullptr; // what the layout types, when not the key's own character
};

// What a key does: the selection afterwards (the first one has the focus), desktop calls and
// beeps, the files on disk and in the trash when it filed or trashed; or it passes the key on.
struct Outcome
{
    const char *selection = "";
    const char *effect = "";
    const char *files = "";
    const char *trash = "";
    bool consumed = true;
    const char *focus = nullptr; // when not the first selected
};

// The event as the window system delivers it, with the text it attaches to the key.
QKeyEvent keyEvent(const Press &p)
{
    const bool letter = p.key >= Qt::Key_A && p.key <= Qt::Key_Z;
    const bool lower = letter && !(p.modifiers & Qt::ShiftModifier) && !p.capsLock;
    const QHash<int, int> controls{{Qt::Key_Escape, 0x1b},
                                   {Qt::Key_Return, '\r'},
                                   {Qt::Key_Backspace, '\b'},
                                   {Qt::Key_Delete, 0x7f}};
    int code = p.key < 0x80 ? p.key + (lower ? 32 : 0) : controls.value(p.key);
    if (letter && (p.modifiers & Qt::ControlModifier)) {
        code = p.key - Qt::Key_A + 1;
    }
    const QString text =
        p.text ? QString::fromUtf8(p.text) : code ? QString(QChar(code)) : QString();
    // 0x2 is the xkb Lock bit of the native modifiers.
    return QKeyEvent(QEvent::KeyPress, p.key, p.modifiers, p.scanCode, 0, p.capsLock ? 0x2 : 0,
                     text);
}

using Change = std::function<void(CollectionStore &)>;

template<typename Member, typename... Args>
Change call(Member member, Args... args)
{
    return [=](CollectionStore &s) { std::invoke(member, s, args...); };
}

QStringList words(QAnyStringView text)
{
    return text.toString().split(u' ', Qt::SkipEmptyParts);
}

// Filenames without ".jpg".
QStringList stems(QStringList filenames)
{
    return filenames.replaceInStrings(QRegularExpression(u"\\.jpg$"_s), QString());
}

// "key=value" words sorted by key, a later word overriding an earlier one with the same key.
QStringList fields(const QString &text)
{
    QMap<QString, QString> byKey;
    for (const QString &word : words(text)) {
        byKey.insert(word.section(u'=', 0, 0), word);
    }
    return byKey.values();
}

// The board: Unsorted a..e, then Cats (key 1) with x and Dogs (key 2) with y. In Browse the
// layout reports the reverse order, so display order and collection order differ.
struct Keys : StoreFixture
{
    bool openBoard(const Board &board = {})
    {
        for (const char *file : {"Cats/x", "Dogs/y", "a", "b", "c", "d", "e"}) {
            TestFolders::writeJpeg(path(), QString::fromLatin1(file) + ".jpg"_L1);
        }
        make();
        open();
        store->setWorkspaceMode(board.mode);
        store->setBrowseLayout(board.layout);
        if (board.mode == WorkspaceMode::browse) {
            store->updateBrowseNavigationOrder(browseOrder(), 4, {});
        }
        desktop.previewVisible = board.previewShown;
        desktop.previewActive = board.previewActive;
        for (const QString &click : words(board.clicks)) {
            clickOn(click);
        }
        desktop.textFocus = board.textFocus;
        desktop.calls.clear();
        return store->collection().has_value();
    }

    // Every photo id, Dogs first and Unsorted last: the order the Browse layout reports.
    QStringList browseOrder() const
    {
        QStringList ids;
        for (const Photo &photo : store->flattenedPhotos()) {
            ids.prepend(photo.id);
        }
        return ids;
    }

    void clickOn(const QString &click)
    {
        const Qt::KeyboardModifiers modifiers = click.startsWith(u'+')   ? Qt::ControlModifier
                                                : click.startsWith(u'>') ? Qt::ShiftModifier
                                                                         : Qt::NoModifier;
        const QString photo = id(modifiers == Qt::NoModifier ? click : click.mid(1));
        QVERIFY2(!photo.isEmpty(), qPrintable(click));
        if (store->workspaceMode() == WorkspaceMode::browse) {
            store->selectBrowse(photo, modifiers);
            return;
        }
        for (const PhotoSection &section : store->sections()) {
            if (std::ranges::find(section.photos, photo, &Photo::id) != section.photos.end()) {
                store->select(photo, section.id, modifiers);
            }
        }
    }

    QString id(const QString &stem) const { return idOf(stem + ".jpg"_L1); }
    QStringList selected() const { return stems(selectedNames()); }
    QString focused() const { return stems({focusedName()}).constFirst(); }
    QStringList onDisk(const QString &dir) const { return stems(TestFolders::filesBelow(dir)); }

    // Writes "key=value ..." and reopens the settings file, as the next launch would read it.
    void storeSettings(const QString &values)
    {
        for (const QString &value : words(values)) {
            settings->setValue(value.section(u'=', 0, 0), value.section(u'=', 1));
        }
        settings->sync();
        settings = std::make_shared<QSettings>(settings->fileName(), QSettings::IniFormat);
    }
};

} // namespace

Q_DECLARE_METATYPE(Board)
Q_DECLARE_METATYPE(Press)
Q_DECLARE_METATYPE(Outcome)
Q_DECLARE_METATYPE(Change)

class tst_CollectionStoreKeys : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void filingDigit_data();
    void filingDigit();
    void keyPress_data();
    void keyPress();
    void previewItems_data();
    void previewItems();
    void viewSettings_data();
    void viewSettings();
    void sortOrderReordersEverySection();
    void browseChanges_data();
    void browseChanges();
};

// ----- The key map

void tst_CollectionStoreKeys::filingDigit_data()
{
    QTest::addColumn<int>("key");
    QTest::addColumn<Qt::KeyboardModifiers>("modifiers");
    QTest::addColumn<quint32>("scanCode");
    QTest::addColumn<int>("digit"); // -1: files nothing
    QTest::addColumn<int>("shortcut"); // the Ctrl+digit it stands for, -1: none needed
    const Qt::KeyboardModifiers none;
    const auto row = [](const char *name, int key, Qt::KeyboardModifiers modifiers,
                        quint32 scanCode, int digit, int shortcut = -1) {
        QTest::newRow(name) << key << modifiers << scanCode << digit << shortcut;
    };
    row("typed 1, no scan code (tests, other platforms)", Qt::Key_1, none, 0, 1);
    row("azerty & is 1", Qt::Key_Ampersand, none, 10, 1);
    row("azerty \u00e0 is 0", Qt::Key_Agrave, none, 19, 0);
    row("czech \u011b is 2", 0x11a, none, 11, 2);
    row("qwerty shift+1 types !", Qt::Key_Exclam, Qt::ShiftModifier, 10, 1);
    row("keypad 1 with a digit row's code", Qt::Key_1, Qt::KeypadModifier, 10, -1);
    row("ctrl+1", Qt::Key_1, Qt::ControlModifier, 10, -1);
    row("azerty ctrl+& is ctrl+1", Qt::Key_Ampersand, Qt::ControlModifier, 10, -1, 1);
    row("azerty ctrl+shift+& is not ctrl+1", Qt::Key_1, Qt::ControlModifier | Qt::ShiftModifier,
        10, -1);
    row("alt+&", Qt::Key_Ampersand, Qt::AltModifier, 10, -1);
    row("meta+1", Qt::Key_1, Qt::MetaModifier, 10, -1);
    row("minus beside the digit row", Qt::Key_Minus, none, 20, -1);
    row("escape below it", Qt::Key_Escape, none, 9, -1);
}

void tst_CollectionStoreKeys::filingDigit()
{
    QFETCH(int, key);
    QFETCH(Qt::KeyboardModifiers, modifiers);
    QFETCH(quint32, scanCode);
    QFETCH(int, digit);
    QFETCH(int, shortcut);
    QCOMPARE(KeyMap::filingDigit(key, modifiers, scanCode).value_or(-1), digit);
    QCOMPARE(KeyMap::shortcutDigit(key, modifiers, scanCode).value_or(-1), shortcut);
}

// ----- The key table

void tst_CollectionStoreKeys::keyPress_data()
{
    QTest::addColumn<Board>("board");
    QTest::addColumn<Press>("key");
    QTest::addColumn<Outcome>("outcome");

    const auto browse = WorkspaceMode::browse;
    const auto list = BrowseLayoutMode::list;
    const auto ctrl = Qt::ControlModifier;
    const auto shift = Qt::ShiftModifier;
    const Board onB{.clicks = "b"};
    const Board listOnB{.mode = browse, .layout = list, .clicks = "b"};
    const Board typing{.clicks = "b", .textFocus = true};
    const Outcome passes{.consumed = false};
    const auto row = [](const char *name, const Board &board, Press key, const Outcome &outcome) {
        QTest::newRow(name) << board << key << outcome;
    };

    row("right arrow moves the focus on", onB, {Qt::Key_Right}, {"c"});
    row("left arrow moves the focus back", onB, {Qt::Key_Left}, {"a"});
    row("down arrow moves a row of four across sections", onB, {Qt::Key_Down}, {"x"});
    row("up arrow on the top row stops at the first", onB, {Qt::Key_Up}, {"a"});
    row("keypad arrow navigates", onB, {Qt::Key_Right, Qt::KeypadModifier}, {"c"});
    row("arrow without a focus selects the first", {}, {Qt::Key_Right}, {"a"});
    row("escape deselects", onB, {Qt::Key_Escape}, {});
    row("escape with the preview shown closes it, keeps the selection",
        {.clicks = "b", .previewShown = true}, {Qt::Key_Escape}, {"b", "hidePreview"});
    row("ctrl+a selects all", onB, {Qt::Key_A, ctrl}, {"a b c d e x y"});
    row("ctrl+a in Browse selects in the layout's order", {.mode = browse, .clicks = "b"},
        {Qt::Key_A, ctrl}, {"y x e d c b a"});
    row("space shows the preview", onB, {Qt::Key_Space}, {"b", "showPreview"});
    row("space with the preview shown hides it", {.clicks = "b", .previewShown = true},
        {Qt::Key_Space}, {"b", "hidePreview"});
    row("right arrow with the preview shown reloads it", {.clicks = "b", .previewShown = true},
        {Qt::Key_Right}, {"c", "reload"});
    row("browse list: space shows the preview", listOnB, {Qt::Key_Space}, {"b", "showPreview"});
    row("browse list: letter type-selects", {.mode = browse, .layout = list}, {Qt::Key_C}, {"c"});
    row("browse list: letter without a match beeps", listOnB, {Qt::Key_Q}, {"b", "beep"});
    row("browse list: down moves one row in the layout's order",
        {.mode = browse, .layout = list, .clicks = "y"}, {Qt::Key_Down}, {"x"});
    row("digit 0 in Unsorted steps on without moving", onB, {Qt::Key_0}, {"c"});
    const char *bFiled = "Cats/b Cats/x Dogs/y a c d e";
    const char *bTrashed = "Cats/x Dogs/y a c d e";
    row("digit 1 files into the first category", onB, {Qt::Key_1}, {"c", "", bFiled});
    row("digit files the whole selection", {.clicks = "b +d"}, {Qt::Key_1},
        {"e", "", "Cats/b Cats/d Cats/x Dogs/y a c e"});
    row("digit 0 files a category photo back to Unsorted", {.clicks = "x"}, {Qt::Key_0},
        {"", "", "Dogs/y a b c d e x"});
    row("ctrl+backspace trashes", onB, {Qt::Key_Backspace, ctrl}, {"c", "", bTrashed, "b"});
    row("delete trashes", onB, {Qt::Key_Delete}, {"c", "", bTrashed, "b"});
    row("browse list: digit files, never type-selects", listOnB, {Qt::Key_1}, {"a", "", bFiled});

    // The digit row by its physical key, on layouts that type other characters there (the
    // layouts themselves are the key map's table above).
    row("azerty: the key marked 1 files", onB, {Qt::Key_Ampersand, {}, false, 10, "&"},
        {"c", "", bFiled});
    row("azerty: ctrl with the key marked 1 passes", onB, {Qt::Key_Ampersand, ctrl, false, 10, "&"},
        passes);

    // Shift+arrows: the range from the anchor follows the focus, across rows and sections.
    row("shift+right extends", onB, {Qt::Key_Right, shift}, {"b c", "", "", "", true, "c"});
    row("shift+down extends a row on, into the next section", onB, {Qt::Key_Down, shift},
        {"b c d e x", "", "", "", true, "x"});
    row("shift+left from a range shrinks it", {.clicks = "d >b"}, {Qt::Key_Left, shift},
        {"c d", "", "", "", true, "c"});
    row("shift+up goes past the anchor", {.clicks = "c"}, {Qt::Key_Up, shift},
        {"a b c", "", "", "", true, "a"});
    row("shift+right in Browse follows the layout's order", {.mode = browse, .clicks = "b"},
        {Qt::Key_Right, shift}, {"b a", "", "", "", true, "a"});
    row("browse list: shift+down passes", listOnB, {Qt::Key_Down, shift}, passes);
    row("ctrl+shift+a passes", onB, {Qt::Key_A, ctrl | shift}, passes);
    row("backspace alone passes", onB, {Qt::Key_Backspace}, passes);
    row("shift+delete passes", onB, {Qt::Key_Delete, shift}, passes);
    row("letter on the board opens File into", onB, {Qt::Key_C}, {"b", "fileInto=c"});
    row("shifted letter on the board opens File into", onB, {Qt::Key_C, shift},
        {"b", "fileInto=C"});
    row("letter on the board without a selection passes", {}, {Qt::Key_C}, passes);
    row("ctrl+letter on the board passes", onB, {Qt::Key_C, ctrl}, passes);
    row("space without a focus passes", {}, {Qt::Key_Space}, passes);
    row("caps lock: digit passes", onB, {Qt::Key_1, {}, true}, passes);
    row("caps lock: letter in the Browse list passes", listOnB, {Qt::Key_C, {}, true}, passes);
    row("text field: digit passes", typing, {Qt::Key_1}, passes);
    row("text field: letter in the Browse list passes",
        {.mode = browse, .layout = list, .clicks = "b", .textFocus = true}, {Qt::Key_C}, passes);
    row("browse list: shifted letter type-selects", listOnB, {Qt::Key_C, shift}, {"c"});
    row("browse tiles: letter passes", {.mode = browse, .clicks = "b"}, {Qt::Key_C}, passes);

    // The board's keys while the preview window has the keyboard; its own letters are its own.
    const Board previewOnB{.clicks = "b", .previewShown = true, .previewActive = true};
    row("preview: digit files and the preview follows", previewOnB, {Qt::Key_1},
        {"c", "reload", bFiled});
    row("preview: delete trashes", previewOnB, {Qt::Key_Delete}, {"c", "reload", bTrashed, "b"});
    row("preview: its letters never open File into", previewOnB, {Qt::Key_Z}, passes);
    row("preview: its letters never type a name in the Browse list",
        {.mode = browse,
         .layout = list,
         .clicks = "b",
         .previewShown = true,
         .previewActive = true},
        {Qt::Key_C}, passes);
    row("preview in the back: letters are the board's", {.clicks = "b", .previewShown = true},
        {Qt::Key_C}, {"b", "fileInto=c"});
    row("preview: ctrl+z with nothing to undo is taken", previewOnB, {Qt::Key_Z, ctrl}, {"b"});
    row("preview in the back: ctrl+z is the menu's", {.clicks = "b", .previewShown = true},
        {Qt::Key_Z, ctrl}, passes);
    // Comparing two to four photos, a key acts on the focused one; the next takes its place.
    row("compare: digit files the focused photo alone", {.clicks = "b +d +c", .previewShown = true},
        {Qt::Key_1}, {"b d", "reload", "Cats/c Cats/x Dogs/y a b d e", "", true, "d"});
    row("compare: filing the last one focuses the one before",
        {.clicks = "b +c +d", .previewShown = true}, {Qt::Key_1},
        {"b c", "reload", "Cats/d Cats/x Dogs/y a b c e", "", true, "c"});
    row("compare: delete trashes the focused photo alone", {.clicks = "b +c", .previewShown = true},
        {Qt::Key_Delete}, {"b", "reload", "Cats/x Dogs/y a b d e", "c"});
    row("compare: a missing category files nothing", {.clicks = "b +c", .previewShown = true},
        {Qt::Key_5}, {"b c", "beep", "", "", true, "c"});
    row("five selected: digit files them all", {.clicks = "a >e", .previewShown = true},
        {Qt::Key_1}, {"", "hidePreview", "Cats/a Cats/b Cats/c Cats/d Cats/e Cats/x Dogs/y"});
}

void tst_CollectionStoreKeys::keyPress()
{
    QFETCH(Board, board);
    QFETCH(Press, key);
    QFETCH(Outcome, outcome);

    Keys k;
    QVERIFY(k.openBoard(board));
    const QStringList filesBefore = k.onDisk(k.path());
    const int reloadsBefore = k.desktop.previewReloads;
    const QStringList selectedAfter = outcome.consumed ? words(outcome.selection) : k.selected();
    const QString focusedAfter = !outcome.consumed ? k.focused()
                                 : outcome.focus  ? QString::fromUtf8(outcome.focus)
                                                  : selectedAfter.value(0);

    QCOMPARE(k.store->handleKeyEvent(keyEvent(key)), outcome.consumed);
    QVERIFY(*outcome.files || k.store->pendingMutationCount() == 0);
    QVERIFY(k.settle());

    QCOMPARE(k.selected(), selectedAfter);
    QCOMPARE(k.focused(), focusedAfter);
    QCOMPARE(k.desktop.calls + QStringList(k.desktop.beeps, u"beep"_s) +
                     QStringList(k.desktop.previewReloads - reloadsBefore, u"reload"_s) +
                 (k.store->fileIntoText() ? QStringList{"fileInto="_L1 + *k.store->fileIntoText()}
                                          : QStringList()),
             words(outcome.effect));
    QCOMPARE(k.onDisk(k.path()), !*outcome.files ? filesBefore : words(outcome.files));
    QCOMPARE(k.onDisk(k.home.path() + "/Trash/files"_L1), words(outcome.trash));
    QVERIFY(!k.store->alert());
}

void tst_CollectionStoreKeys::previewItems_data()
{
    QTest::addColumn<Board>("board"); // the preview is shown while clicking
    QTest::addColumn<QString>("items");
    // What the preview window shows: the photos ("*" on the focused one when comparing), then
    // after "|" the photos decoded ahead.
    QTest::addColumn<QString>("window");

    QTest::newRow("compare: board order, the focus marked")
        << Board{.clicks = "b +d +c"} << u"c b d"_s << u"b *c d |"_s;
    // a stays focused while the shift-click from the anchor b selects b and c only.
    QTest::newRow("focus outside the selection")
        << Board{.clicks = "a +b +b >c"} << u"b c"_s << u"b | b"_s;
    QTest::newRow("nothing selected") << Board{} << QString() << u"|"_s;
    QTest::newRow("browse: focused first, then the layout's order")
        << Board{.mode = WorkspaceMode::browse, .clicks = "b +d +c"} << u"c d b"_s << u"d *c b |"_s;
    QTest::newRow("one photo: the next and the one before ahead")
        << Board{.clicks = "b"} << u"b"_s << u"b | c a"_s;
    QTest::newRow("last of a section: the next section's first ahead")
        << Board{.clicks = "e"} << u"e"_s << u"e | x d"_s;
    QTest::newRow("first photo: only the next ahead")
        << Board{.clicks = "a"} << u"a"_s << u"a | b"_s;
    QTest::newRow("browse: ahead in the layout's order")
        << Board{.mode = WorkspaceMode::browse, .clicks = "b"} << u"b"_s << u"b | a c"_s;
    QTest::newRow("five selected: the focused one alone")
        << Board{.clicks = "a >e"} << u"a b c d e"_s << u"a | b"_s;
}

void tst_CollectionStoreKeys::previewItems()
{
    QFETCH(Board, board);
    QFETCH(QString, items);

    Keys k;
    board.previewShown = true;
    QVERIFY(k.openBoard(board));
    QCOMPARE(k.desktop.previewReloads, words(board.clicks).size());
    QStringList shown;
    for (int i = -1; i <= k.store->numberOfPreviewItems(); ++i) {
        const QString file = k.store->previewItem(i).value_or(QUrl()).toLocalFile();
        shown.append(QFileInfo::exists(file) ? QFileInfo(file).fileName() : u"-"_s);
    }
    // Nothing before the first item or after the last.
    QCOMPARE(stems(shown), words(u"- "_s + items + u" -"_s));

    const PreviewItems preview = k.store->previewItems();
    QStringList names;
    for (qsizetype i = 0; i < preview.urls.size(); ++i) {
        const QString star = preview.urls.size() > 1 && i == preview.focused ? u"*"_s : QString();
        names.append(star + preview.urls[i].fileName());
    }
    names.append(u"|"_s);
    for (const QUrl &url : preview.ahead) {
        names.append(url.fileName());
    }
    QFETCH(QString, window);
    QCOMPARE(stems(names), words(window));
}

// ----- View settings: read at creation, set, stepped, clamped, written and notified

void tst_CollectionStoreKeys::viewSettings_data()
{
    QTest::addColumn<QString>("stored"); // "key=value ..." in the settings file at creation
    QTest::addColumn<Change>("change");
    QTest::addColumn<QString>("expected"); // the values afterwards that are not the defaults
    QTest::addColumn<QString>("notified"); // signals, with a count when emitted more than once
    QTest::addColumn<QString>("written");  // what the change wrote to the settings file

    using S = CollectionStore;
    const auto row = [](const char *name, const char *stored, const Change &change,
                        const char *expected, const char *notified = "", const char *written = "") {
        QTest::newRow(name) << QString::fromLatin1(stored) << change
                            << QString::fromLatin1(expected) << QString::fromLatin1(notified)
                            << QString::fromLatin1(written);
    };
    const auto steps = [](int count) {
        return Change([count](S &s) {
            for (int i = 0; i < std::abs(count); ++i) {
                count > 0 ? s.increaseThumbnailSize() : s.decreaseThumbnailSize();
            }
        });
    };
    const auto thumb = [](double size) { return call(&S::setThumbnailSize, size); };
    const auto cell = [](double size) { return call(&S::setBrowseCellSize, size); };
    const Change filter7 = call(&S::setBrowseFilter, std::optional(u"category:7"_s));
    const Change nothing = [](S &) {};

    row("everything stored",
        "photoSortOrder=modificationDate thumbnailSize=120 workspaceMode=browse "
        "browseLayout=masonry browseCategoryFilterID=category:42 browseCellSize=96",
        nothing,
        "sort=modificationDate thumbnail=120 mode=browse layout=masonry filter=category:42 "
        "cell=96");
    // Each setting read on its own: one unusable value must not spoil the others.
    row("stored values unknown or zero",
        "photoSortOrder=size thumbnailSize=0 workspaceMode=grid browseLayout=columns "
        "browseCategoryFilterID=all browseCellSize=0",
        nothing, "");
    row("stored sizes infinite", "thumbnailSize=inf browseCellSize=inf", nothing, "");
    row("stored thumbnail size negative", "thumbnailSize=-40", nothing, "");
    row("stored sizes of 500 are kept", "thumbnailSize=500 browseCellSize=500", nothing,
        "thumbnail=500 cell=500");

    row("board: 184 +6 = 280", "", steps(6), "thumbnail=280", "thumbnailSizeChanged*6",
        "thumbnailSize=280");
    row("board: 272 +1 = 280", "thumbnailSize=272", steps(1), "thumbnail=280",
        "thumbnailSizeChanged", "thumbnailSize=280");
    row("board: 280 +1 stays, rewritten", "thumbnailSize=280", steps(1), "thumbnail=280", "",
        "thumbnailSize=280");
    row("board: stored 500 +1 = 280", "thumbnailSize=500", steps(1), "thumbnail=280",
        "thumbnailSizeChanged", "thumbnailSize=280");
    row("board: 184 -10 = 80 via 88", "", steps(-10), "thumbnail=80", "thumbnailSizeChanged*7",
        "thumbnailSize=80");
    row("tiles: 240 +3 = 280 via 272", "workspaceMode=browse", steps(3), "mode=browse cell=280",
        "browseCellSizeChanged*3");
    row("tiles: 240 -12 = 80", "workspaceMode=browse", steps(-12), "mode=browse cell=80",
        "browseCellSizeChanged*10");
    row("masonry: 100 +1 = 116", "workspaceMode=browse browseLayout=masonry browseCellSize=100",
        steps(1), "mode=browse layout=masonry cell=116", "browseCellSizeChanged");
    row("list: steps do nothing", "workspaceMode=browse browseLayout=list", steps(3),
        "mode=browse layout=list");
    row("thumbnail set to 150.5", "", thumb(150.5), "thumbnail=150.5", "thumbnailSizeChanged",
        "thumbnailSize=150.5");
    row("thumbnail set to 79 = 80", "", thumb(79), "thumbnail=80", "thumbnailSizeChanged",
        "thumbnailSize=80");
    row("cell set to 281 = 280", "", cell(281), "cell=280", "browseCellSizeChanged");

    row("same mode", "", call(&S::setWorkspaceMode, WorkspaceMode::sort), "");
    row("same layout", "", call(&S::setBrowseLayout, BrowseLayoutMode::tiles), "");
    row("same filter, all sections", "", call(&S::setBrowseFilter, std::optional<QString>()), "");
    row("same sort order", "", call(&S::setSortOrder, PhotoSortOrder::filename), "");
    row("same cell size", "", cell(240), "");
    row("new mode", "", call(&S::setWorkspaceMode, WorkspaceMode::browse), "mode=browse",
        "workspaceModeChanged");
    row("same filter", "browseCategoryFilterID=category:7", filter7, "filter=category:7");
    row("new filter", "", filter7, "filter=category:7", "browseFilterSectionIDChanged");
    row("new sort order", "", call(&S::setSortOrder, PhotoSortOrder::modificationDate),
        "sort=modificationDate", "sortOrderChanged", "photoSortOrder=modificationDate");
    row("same thumbnail size, rewritten", "", thumb(184), "", "", "thumbnailSize=184");
    row("thumbnail size clamped to the current one", "thumbnailSize=280", thumb(400),
        "thumbnail=280", "", "thumbnailSize=280");
    row("cell size clamped to the current one", "browseCellSize=80", cell(10), "cell=80");
}

void tst_CollectionStoreKeys::viewSettings()
{
    QFETCH(QString, stored);
    QFETCH(Change, change);
    QFETCH(QString, expected);
    QFETCH(QString, notified);
    QFETCH(QString, written);

    Keys k;
    k.storeSettings(stored);
    CollectionStore &s = k.make();
    k.settings->clear(); // whatever is in the settings afterwards was written by the change
    // Every signal the store declares.
    std::vector<std::unique_ptr<QSignalSpy>> spies;
    const QMetaObject &meta = CollectionStore::staticMetaObject;
    for (int i = meta.methodOffset(); i < meta.methodCount(); ++i) {
        if (meta.method(i).methodType() == QMetaMethod::Signal) {
            const QByteArray signature = '2' + meta.method(i).methodSignature();
            spies.push_back(std::make_unique<QSignalSpy>(&s, signature.constData()));
        }
    }

    change(s);

    const QString state = u"sort=%1 thumbnail=%2 mode=%3 layout=%4 filter=%5 cell=%6"_s.arg(
        rawValue(s.sortOrder()), QString::number(s.thumbnailSize()), rawValue(s.workspaceMode()),
        rawValue(s.browseLayout()), s.browseFilterSectionID().value_or(u"-"_s),
        QString::number(s.browseCellSize()));
    QCOMPARE(fields(state),
             fields(u"sort=filename thumbnail=184 mode=sort layout=tiles filter=- cell=240 "_s +
                    expected));
    QStringList emitted;
    for (const auto &spy : spies) {
        const QString name = QString::fromLatin1(spy->signal()).chopped(2);
        if (!spy->isEmpty()) {
            emitted.append(spy->count() > 1 ? name + u'*' + QString::number(spy->count()) : name);
        }
    }
    QCOMPARE(emitted, words(notified));
    QStringList inSettings;
    for (const QString &key : k.settings->allKeys()) {
        inSettings.append(key + u'=' + k.settings->value(key).toString());
    }
    QCOMPARE(inSettings, words(written));
}

// ----- Sort order, filter, mode and layout

void tst_CollectionStoreKeys::sortOrderReordersEverySection()
{
    Keys k;
    for (const QString &entry : words("a:1 b:3 c:2 Cats/w:1 Cats/x:2")) {
        const QString file =
            TestFolders::writeJpeg(k.path(), entry.section(u':', 0, 0) + ".jpg"_L1);
        TestFolders::setModificationTime(file, 1'600'000'000 + entry.section(u':', 1).toInt());
    }
    CollectionStore &s = k.make();
    QVERIFY(k.open());
    k.clickOn(u"b"_s);
    k.clickOn(u"+x"_s);
    const QSet<QString> selection = s.selectedPhotoIDs();
    const auto order = [&k] { return (k.names(u"Unsorted"_s) + k.names(u"Cats"_s)).join(u' '); };
    QSignalSpy collectionChanged(&s, &CollectionStore::collectionChanged);

    // Newest first, every section in one published change, without a reload.
    s.setSortOrder(PhotoSortOrder::modificationDate);
    QCOMPARE(order(), u"b.jpg c.jpg a.jpg x.jpg w.jpg"_s);
    QCOMPARE(collectionChanged.count(), 1);
    QVERIFY(!s.isLoading());
    QCOMPARE(k.focused(), u"x"_s);

    s.setSortOrder(PhotoSortOrder::filename);
    QCOMPARE(order(), u"a.jpg b.jpg c.jpg w.jpg x.jpg"_s);
    QCOMPARE(s.selectedPhotoIDs(), selection);
}

void tst_CollectionStoreKeys::browseChanges_data()
{
    QTest::addColumn<QString>("filterBefore"); // a section name, empty for all sections
    QTest::addColumn<Change>("change");        // none: set the filter to filterAfter
    QTest::addColumn<QString>("filterAfter");
    QTest::addColumn<QString>("kept"); // of the selection, the layout's order and its frames

    const QString cats = u"Cats"_s;
    const QString all;
    // A filter change clears the selection, even to the same filter.
    QTest::newRow("all sections to a category") << all << Change() << cats << QString();
    QTest::newRow("the same category again") << cats << Change() << cats << QString();
    QTest::newRow("a category back to all") << cats << Change() << all << QString();
    QTest::newRow("to Sort and back to Browse") << all << Change([](CollectionStore &s) {
        s.setWorkspaceMode(WorkspaceMode::sort);
        s.setWorkspaceMode(WorkspaceMode::browse);
    }) << all << u"selection"_s;
    QTest::newRow("Browse again") << all
                                  << call(&CollectionStore::setWorkspaceMode, WorkspaceMode::browse)
                                  << all << u"selection order frames"_s;
    // The order stays until the new layout reports its own.
    QTest::newRow("masonry to list")
        << all << call(&CollectionStore::setBrowseLayout, BrowseLayoutMode::list) << all
        << u"selection order"_s;
}

void tst_CollectionStoreKeys::browseChanges()
{
    QFETCH(QString, filterBefore);
    QFETCH(Change, change);
    QFETCH(QString, filterAfter);
    QFETCH(QString, kept);
    const bool selectionKept = kept.contains("selection"_L1);
    const bool framesKept = kept.contains("frames"_L1);

    Keys k;
    QVERIFY(k.openBoard({.mode = WorkspaceMode::browse, .layout = BrowseLayoutMode::masonry}));
    CollectionStore &s = *k.store;
    const auto filterFor = [&k](const QString &name) -> std::optional<QString> {
        return name.isEmpty() ? std::nullopt : std::optional(k.sectionNamed(name)->id);
    };
    s.setBrowseFilter(filterFor(filterBefore));
    const QStringList order = k.browseOrder();
    QHash<QString, QRectF> frames; // a 4-column grid, for the masonry neighbour search
    for (qsizetype i = 0; i < order.size(); ++i) {
        frames.insert(order[i], QRectF((i % 4) * 100.0, (i / 4) * 100.0, 90, 90));
    }
    s.updateBrowseNavigationOrder(order, 4, frames);
    k.clickOn(u"x"_s);
    s.performTypeSelect(u"x"_s);
    QVERIFY(s.spatialNeighbor(k.id(u"x"_s), 1, 0));

    change ? change(s) : s.setBrowseFilter(filterFor(filterAfter));

    QCOMPARE(s.browseFilterSectionID(), filterFor(filterAfter));
    QCOMPARE(k.selected(), selectionKept ? QStringList{u"x"_s} : QStringList());
    QCOMPARE(k.focused(), selectionKept ? u"x"_s : QString());
    QCOMPARE(s.selectionAnchorID().has_value(), selectionKept);
    QCOMPARE(s.browseNavigationPhotoIDs(), kept.contains("order"_L1) ? order : QStringList());
    QCOMPARE(s.spatialNeighbor(k.id(u"x"_s), 1, 0).has_value(), framesKept);
    if (change) {
        QCOMPARE(s.typeSelectBuffer(), framesKept ? u"x"_s : QString());
    }
}

QTEST_GUILESS_MAIN(tst_CollectionStoreKeys)
#include "tst_CollectionStoreKeys.moc"
