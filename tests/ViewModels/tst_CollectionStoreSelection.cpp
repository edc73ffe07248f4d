#include "support/StoreFixture.h"

using namespace Qt::StringLiterals;
using namespace TestFolders;

static QStringList words(QAnyStringView text)
{
    return text.toString().split(u' ', Qt::SkipEmptyParts);
}

// Clicks with Shift and Ctrl on the board and in Browse mode, select all, arrow walks over the
// board, the Browse order and the masonry geometry, and type-select.
class tst_CollectionStoreSelection : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void boardClicks_data();
    void boardClicks();
    void browseShiftClickMovesFocus();
    void replaceBrowseSelectionKeepsFocus();
    void arrowWalk_data();
    void arrowWalk();
    void masonryNeighbour_data();
    void masonryNeighbour();
    void typeSelect();
    void selectAllAndDeselect();

private:
    std::unique_ptr<StoreFixture> m_f;
    CollectionStore *m_store = nullptr;
    // "u1".."u6" in Unsorted, "c1".."c4" in Cats.
    QString id(const QString &name) const { return m_f->idOf(name + ".jpg"_L1); }
    QStringList ids(QAnyStringView names) const
    {
        QStringList result;
        for (const QString &name : words(names)) {
            result.append(id(name));
        }
        return result;
    }
    QString sectionOf(const QString &name) const
    {
        return m_store->sections()[name.startsWith(u'u') ? 0 : 1].id;
    }
    QString selected() const { return m_f->selectedNames().join(u' ').remove(".jpg"_L1); }
    QString focused() const { return m_f->focusedName().remove(".jpg"_L1); }
};

void tst_CollectionStoreSelection::init()
{
    m_f = std::make_unique<StoreFixture>();
    for (const QString &name : words("u1 u2 u3 u4 u5 u6 Cats/c1 Cats/c2 Cats/c3 Cats/c4")) {
        writeJpeg(m_f->path(), name + ".jpg"_L1);
    }
    m_store = &m_f->make();
    QVERIFY(m_f->open());
}

void tst_CollectionStoreSelection::boardClicks_data()
{
    QTest::addColumn<QString>("clicks"); // "u2", "+u5" shift, "^u3" ctrl, "+^u1" both
    QTest::addColumn<QString>("selected");
    QTest::addColumn<QString>("focus");
    QTest::addColumn<QString>("anchor");

    QTest::newRow("shift without anchor acts as a click") << "+u3" << "u3" << "u3" << "u3";
    QTest::newRow("range keeps focus and anchor") << "u2 +u5" << "u2 u3 u4 u5" << "u2" << "u2";
    QTest::newRow("second range replaces the first") << "u2 +u5 +u1" << "u1 u2" << "u2" << "u2";
    QTest::newRow("shift and ctrl add the range") << "u5 ^u1 +^u2" << "u1 u2 u5" << "u1" << "u1";
    QTest::newRow("range across sections acts as a click") << "u2 +c3" << "c3" << "c3" << "c3";
    QTest::newRow("ctrl toggles in and out") << "u1 ^u3 ^u3" << "u1" << "u1" << "u3";
    QTest::newRow("ctrl on the only selected photo") << "u4 ^u4" << "" << "" << "u4";
}

void tst_CollectionStoreSelection::boardClicks()
{
    QFETCH(QString, clicks);
    QFETCH(QString, selected);
    QFETCH(QString, focus);
    QFETCH(QString, anchor);
    for (QString click : words(clicks)) {
        Qt::KeyboardModifiers modifiers;
        if (click.startsWith(u'+')) {
            modifiers |= Qt::ShiftModifier;
            click.remove(0, 1);
        }
        if (click.startsWith(u'^')) {
            modifiers |= Qt::ControlModifier;
            click.remove(0, 1);
        }
        m_store->select(id(click), sectionOf(click), modifiers);
    }
    QCOMPARE(this->selected(), selected);
    QCOMPARE(focused(), focus);
    QCOMPARE(m_store->selectionAnchorID(), std::optional<QString>(id(anchor)));
    QVERIFY(!m_store->scrollRequest()); // clicks never scroll
}

void tst_CollectionStoreSelection::browseShiftClickMovesFocus()
{
    m_store->setWorkspaceMode(WorkspaceMode::browse);
    const QStringList order = ids("u1 u2 u3 u4 u5 u6");
    m_store->selectBrowse(id(u"u2"_s), order, {});
    m_store->selectBrowse(id(u"u5"_s), order, Qt::ShiftModifier);
    QCOMPARE(selected(), u"u2 u3 u4 u5"_s);
    QCOMPARE(focused(), u"u5"_s);
    QCOMPARE(m_store->selectionAnchorID(), std::optional(id(u"u2"_s)));
    m_store->selectBrowse(id(u"u1"_s), Qt::ShiftModifier); // the recorded order
    QCOMPARE(selected(), u"u1 u2"_s);
    QCOMPARE(focused(), u"u1"_s);
    QCOMPARE(m_store->browseNavigationPhotoIDs(), order);
}

void tst_CollectionStoreSelection::replaceBrowseSelectionKeepsFocus()
{
    const QStringList both = ids("u1 u2");
    m_store->replaceBrowseSelection({both[1]});
    QCOMPARE(focused(), u"u2"_s);
    m_store->replaceBrowseSelection({both[0], both[1]}); // u1 is new: the focus goes there
    QCOMPARE(focused(), u"u1"_s);
    QSignalSpy focus(m_store, &CollectionStore::focusedPhotoIDChanged);
    m_store->replaceBrowseSelection({both[0], both[1]});
    QCOMPARE(focused(), u"u1"_s);
    QCOMPARE(focus.count(), 0);
    m_store->replaceBrowseSelection({});
    QVERIFY(!m_store->focusedPhotoID());
}

void tst_CollectionStoreSelection::arrowWalk_data()
{
    QTest::addColumn<bool>("browse"); // tiles, in the reversed order below
    QTest::addColumn<QString>("start");
    QTest::addColumn<int>("horizontal");
    QTest::addColumn<int>("vertical");
    QTest::addColumn<QString>("expected");

    // Board, 4 columns: u1..u6 then c1..c4 in one walk.
    QTest::newRow("right across sections") << false << "u6" << 1 << 0 << "c1";
    QTest::newRow("down over a partly filled row") << false << "u5" << 0 << 1 << "c3";
    QTest::newRow("down clamps at the end") << false << "c2" << 0 << 1 << "c4";
    QTest::newRow("left on the first stays") << false << "u1" << -1 << 0 << "u1";
    // Browse order reversed: c4 c3 c2 c1 u6 ... u1.
    QTest::newRow("browse tiles follow the browse order") << true << "c4" << 1 << 0 << "c3";
}

void tst_CollectionStoreSelection::arrowWalk()
{
    QFETCH(bool, browse);
    QFETCH(QString, start);
    QFETCH(int, horizontal);
    QFETCH(int, vertical);
    QFETCH(QString, expected);
    if (browse) {
        m_store->setWorkspaceMode(WorkspaceMode::browse);
        QStringList order = m_store->browseNavigationPhotoIDs();
        for (const Photo &photo : m_store->flattenedPhotos()) {
            order.prepend(photo.id);
        }
        m_store->updateBrowseNavigationOrder(order, 4, {});
    }
    m_store->select(id(start), sectionOf(start), {});
    QSignalSpy scroll(m_store, &CollectionStore::scrollRequestChanged);
    m_store->navigateSelection(horizontal, vertical);
    QCOMPARE(focused(), expected);
    QCOMPARE(selected(), expected);
    QCOMPARE(scroll.count(), 1);
    QCOMPARE(m_store->scrollRequest()->photoID, id(expected));
}

void tst_CollectionStoreSelection::masonryNeighbour_data()
{
    QTest::addColumn<int>("horizontal");
    QTest::addColumn<int>("vertical");
    QTest::addColumn<QString>("expected");
    // Two columns: u1 (0,0 100x100) u2 (110,0 100x60); u3 (0,110 100x50) u4 (110,70 100x100).
    QTest::newRow("right") << 1 << 0 << "u2";
    QTest::newRow("down prefers straight below") << 0 << 1 << "u3";
    // Nothing lies more than a point to the left: the index walk steps back and stays.
    QTest::newRow("left falls back to the index walk") << -1 << 0 << "u1";
    QTest::newRow("up takes a cell a little higher") << 0 << -1 << "u2";
}

void tst_CollectionStoreSelection::masonryNeighbour()
{
    QFETCH(int, horizontal);
    QFETCH(int, vertical);
    QFETCH(QString, expected);
    m_store->setWorkspaceMode(WorkspaceMode::browse);
    m_store->setBrowseLayout(BrowseLayoutMode::masonry);
    const QStringList order = ids("u1 u2 u3 u4");
    const QHash<QString, QRectF> frames{{order[0], QRectF(0, 0, 100, 100)},
                                        {order[1], QRectF(110, 0, 100, 60)},
                                        {order[2], QRectF(0, 110, 100, 50)},
                                        {order[3], QRectF(110, 70, 100, 100)}};
    m_store->updateBrowseNavigationOrder(order, 2, frames);
    m_store->selectBrowse(order[0], {});
    m_store->navigateSelection(horizontal, vertical);
    QCOMPARE(focused(), expected);
    QVERIFY(!m_store->spatialNeighbor(order[0], 0, 0));
}

void tst_CollectionStoreSelection::typeSelect()
{
    StoreFixture f;
    for (const QString &name : words(u"apple \u00c9clair banana eel")) {
        writeJpeg(f.path(), name + ".jpg"_L1);
    }
    CollectionStore &store = f.make();
    QVERIFY(f.open());
    store.setWorkspaceMode(WorkspaceMode::browse);
    store.setBrowseLayout(BrowseLayoutMode::list);
    QStringList order;
    for (const Photo &photo : store.flattenedPhotos()) {
        order.append(photo.id);
    }
    store.updateBrowseNavigationOrder(order, 1, {});
    // "\u00e9" matches the capital, then "\u00e9x" nothing: a beep, no change. After each pause
    // ("-") the buffer starts over and the search begins below the focused row; a "b" only the
    // focused row matches wraps back to it.
    QStringList focused;
    for (const QString &typed : words(u"\u00e9 x - E - B - b")) {
        if (typed == u"-"_s) {
            QTRY_VERIFY_WITH_TIMEOUT(store.typeSelectBuffer().isEmpty(), 5000);
        } else {
            store.performTypeSelect(typed);
            focused.append(f.focusedName());
        }
    }
    QCOMPARE(focused, words(u"\u00c9clair.jpg \u00c9clair.jpg eel.jpg banana.jpg banana.jpg"));
    QCOMPARE(f.desktop.beeps, 1);
}

void tst_CollectionStoreSelection::selectAllAndDeselect()
{
    // What they select is the key table's (tst_CollectionStoreKeys); here the anchor, the
    // scroll and an empty collection.
    m_store->selectAll();
    QCOMPARE(m_store->selectionAnchorID(), std::optional(id(u"u1"_s)));
    QVERIFY(!m_store->scrollRequest());
    m_store->deselectAll();
    QVERIFY(!m_store->focusedPhotoID());

    StoreFixture empty;
    CollectionStore &store = empty.make();
    QVERIFY(empty.open());
    store.selectAll();
    QVERIFY(store.selectedPhotoIDs().isEmpty());
    QVERIFY(!store.focusedPhotoID());
}

QTEST_GUILESS_MAIN(tst_CollectionStoreSelection)
#include "tst_CollectionStoreSelection.moc"
