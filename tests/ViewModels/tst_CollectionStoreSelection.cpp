#include "support/StoreFixture.h"

using namespace TestFolders;

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
    void ctrlClickOnOnlySelectedPhoto();
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
    QString m_unsorted;
    QString m_cats;
    // "u1".."u6" in Unsorted, "c1".."c4" in Cats.
    QString id(const QString &name) const { return m_f->idOf(name + QStringLiteral(".jpg")); }
    QStringList ids(const QStringList &names) const
    {
        QStringList result;
        for (const QString &name : names) {
            result.append(id(name));
        }
        return result;
    }
    QStringList selected() const
    {
        QStringList result;
        for (const QString &name : m_f->selectedNames()) {
            result.append(name.chopped(4));
        }
        return result;
    }
    QString focused() const { return m_f->focusedName().chopped(4); }
};

void tst_CollectionStoreSelection::init()
{
    m_f = std::make_unique<StoreFixture>();
    for (int i = 1; i <= 6; ++i) {
        writeJpeg(m_f->path(), QStringLiteral("u%1.jpg").arg(i));
    }
    for (int i = 1; i <= 4; ++i) {
        writeJpeg(m_f->path(), QStringLiteral("Cats/c%1.jpg").arg(i));
    }
    m_store = &m_f->make();
    QVERIFY(m_f->open());
    m_unsorted = m_store->sections()[0].id;
    m_cats = m_store->sections()[1].id;
}

void tst_CollectionStoreSelection::boardClicks_data()
{
    QTest::addColumn<QStringList>("clicks"); // "u2", "+u5" shift, "^u3" ctrl, "+^u1" both
    QTest::addColumn<QStringList>("selected");
    QTest::addColumn<QString>("focus");
    QTest::addColumn<QString>("anchor");

    QTest::newRow("shift without anchor acts as a click")
        << QStringList{QStringLiteral("+u3")} << QStringList{QStringLiteral("u3")}
        << QStringLiteral("u3") << QStringLiteral("u3");
    QTest::newRow("range keeps focus and anchor")
        << QStringList{QStringLiteral("u2"), QStringLiteral("+u5")}
        << QStringList{QStringLiteral("u2"), QStringLiteral("u3"), QStringLiteral("u4"),
                       QStringLiteral("u5")}
        << QStringLiteral("u2") << QStringLiteral("u2");
    QTest::newRow("second range replaces the first")
        << QStringList{QStringLiteral("u2"), QStringLiteral("+u5"), QStringLiteral("+u1")}
        << QStringList{QStringLiteral("u1"), QStringLiteral("u2")} << QStringLiteral("u2")
        << QStringLiteral("u2");
    QTest::newRow("shift and ctrl add the range")
        << QStringList{QStringLiteral("u5"), QStringLiteral("^u1"), QStringLiteral("+^u2")}
        << QStringList{QStringLiteral("u1"), QStringLiteral("u2"), QStringLiteral("u5")}
        << QStringLiteral("u1") << QStringLiteral("u1");
    QTest::newRow("range across sections acts as a click")
        << QStringList{QStringLiteral("u2"), QStringLiteral("+c3")}
        << QStringList{QStringLiteral("c3")} << QStringLiteral("c3") << QStringLiteral("c3");
    QTest::newRow("ctrl toggles in and out")
        << QStringList{QStringLiteral("u1"), QStringLiteral("^u3"), QStringLiteral("^u3")}
        << QStringList{QStringLiteral("u1")} << QStringLiteral("u1") << QStringLiteral("u3");
}

void tst_CollectionStoreSelection::boardClicks()
{
    QFETCH(QStringList, clicks);
    QFETCH(QStringList, selected);
    QFETCH(QString, focus);
    QFETCH(QString, anchor);
    for (QString click : clicks) {
        Qt::KeyboardModifiers modifiers;
        if (click.startsWith(QLatin1Char('+'))) {
            modifiers |= Qt::ShiftModifier;
            click.remove(0, 1);
        }
        if (click.startsWith(QLatin1Char('^'))) {
            modifiers |= Qt::ControlModifier;
            click.remove(0, 1);
        }
        const QString section = click.startsWith(QLatin1Char('u')) ? m_unsorted : m_cats;
        m_store->select(id(click), section, modifiers);
    }
    QCOMPARE(this->selected(), selected);
    QCOMPARE(focused(), focus);
    QCOMPARE(m_store->selectionAnchorID(), std::optional<QString>(id(anchor)));
    QVERIFY(!m_store->scrollRequest()); // clicks never scroll
}

void tst_CollectionStoreSelection::browseShiftClickMovesFocus()
{
    m_store->setWorkspaceMode(WorkspaceMode::browse);
    const QStringList order = ids({QStringLiteral("u1"), QStringLiteral("u2"), QStringLiteral("u3"),
                                   QStringLiteral("u4"), QStringLiteral("u5"), QStringLiteral("u6")});
    m_store->selectBrowse(id(QStringLiteral("u2")), order, {});
    m_store->selectBrowse(id(QStringLiteral("u5")), order, Qt::ShiftModifier);
    QCOMPARE(selected(), (QStringList{QStringLiteral("u2"), QStringLiteral("u3"),
                                      QStringLiteral("u4"), QStringLiteral("u5")}));
    QCOMPARE(focused(), QStringLiteral("u5"));
    QCOMPARE(m_store->selectionAnchorID(), std::optional<QString>(id(QStringLiteral("u2"))));
    m_store->selectBrowse(id(QStringLiteral("u1")), Qt::ShiftModifier); // the recorded order
    QCOMPARE(selected(), (QStringList{QStringLiteral("u1"), QStringLiteral("u2")}));
    QCOMPARE(focused(), QStringLiteral("u1"));
    QCOMPARE(m_store->browseNavigationPhotoIDs(), order);
}

void tst_CollectionStoreSelection::ctrlClickOnOnlySelectedPhoto()
{
    m_store->select(id(QStringLiteral("u4")), m_unsorted, {});
    m_store->select(id(QStringLiteral("u4")), m_unsorted, Qt::ControlModifier);
    QVERIFY(m_store->selectedPhotoIDs().isEmpty());
    QVERIFY(!m_store->focusedPhotoID());
    QCOMPARE(m_store->selectionAnchorID(), std::optional<QString>(id(QStringLiteral("u4"))));
}

void tst_CollectionStoreSelection::replaceBrowseSelectionKeepsFocus()
{
    const QSet<QString> both{id(QStringLiteral("u1")), id(QStringLiteral("u2"))};
    m_store->replaceBrowseSelection({id(QStringLiteral("u2"))});
    QCOMPARE(focused(), QStringLiteral("u2"));
    m_store->replaceBrowseSelection(both); // u1 is new: the focus goes there
    QCOMPARE(focused(), QStringLiteral("u1"));
    QSignalSpy focus(m_store, &CollectionStore::focusedPhotoIDChanged);
    m_store->replaceBrowseSelection(both);
    QCOMPARE(focused(), QStringLiteral("u1"));
    QCOMPARE(focus.count(), 0);
    m_store->replaceBrowseSelection({});
    QVERIFY(!m_store->focusedPhotoID());
}

void tst_CollectionStoreSelection::arrowWalk_data()
{
    QTest::addColumn<int>("mode"); // 0 board, 1 browse tiles, 2 browse list
    QTest::addColumn<QString>("start"); // empty: no focus
    QTest::addColumn<int>("horizontal");
    QTest::addColumn<int>("vertical");
    QTest::addColumn<QString>("expected");

    // Board, 4 columns: u1..u6 then c1..c4 in one walk.
    QTest::newRow("no focus takes the first") << 0 << QString() << 1 << 0 << QStringLiteral("u1");
    QTest::newRow("right across sections") << 0 << QStringLiteral("u6") << 1 << 0 << QStringLiteral("c1");
    QTest::newRow("down over a partly filled row") << 0 << QStringLiteral("u5") << 0 << 1
                                                   << QStringLiteral("c3");
    QTest::newRow("down clamps at the end") << 0 << QStringLiteral("c2") << 0 << 1 << QStringLiteral("c4");
    QTest::newRow("left on the first stays") << 0 << QStringLiteral("u1") << -1 << 0 << QStringLiteral("u1");
    QTest::newRow("up clamps at the top") << 0 << QStringLiteral("u3") << 0 << -1 << QStringLiteral("u1");
    // Browse order reversed: c4 c3 c2 c1 u6 ... u1.
    QTest::newRow("browse tiles follow the browse order") << 1 << QStringLiteral("c4") << 1 << 0
                                                          << QStringLiteral("c3");
    QTest::newRow("browse list moves one row") << 2 << QStringLiteral("c4") << 0 << 1
                                               << QStringLiteral("c3");
}

void tst_CollectionStoreSelection::arrowWalk()
{
    QFETCH(int, mode);
    QFETCH(QString, start);
    QFETCH(int, horizontal);
    QFETCH(int, vertical);
    QFETCH(QString, expected);
    if (mode > 0) {
        m_store->setWorkspaceMode(WorkspaceMode::browse);
        m_store->setBrowseLayout(mode == 2 ? BrowseLayoutMode::list : BrowseLayoutMode::tiles);
        QStringList order = m_store->browseNavigationPhotoIDs();
        for (const Photo &photo : m_store->flattenedPhotos()) {
            order.prepend(photo.id);
        }
        m_store->updateBrowseNavigationOrder(order, 4, {});
    }
    if (!start.isEmpty()) {
        m_store->select(id(start), start.startsWith(QLatin1Char('u')) ? m_unsorted : m_cats, {});
    }
    QSignalSpy scroll(m_store, &CollectionStore::scrollRequestChanged);
    m_store->navigateSelection(horizontal, vertical);
    QCOMPARE(focused(), expected);
    QCOMPARE(selected(), QStringList{expected});
    QCOMPARE(scroll.count(), 1);
    QCOMPARE(m_store->scrollRequest()->photoID, id(expected));
}

void tst_CollectionStoreSelection::masonryNeighbour_data()
{
    QTest::addColumn<int>("horizontal");
    QTest::addColumn<int>("vertical");
    QTest::addColumn<QString>("expected");
    // Two columns: u1 (0,0 100x100) u2 (110,0 100x60); u3 (0,110 100x50) u4 (110,70 100x100).
    QTest::newRow("right") << 1 << 0 << QStringLiteral("u2");
    QTest::newRow("down prefers straight below") << 0 << 1 << QStringLiteral("u3");
    // Nothing lies more than a point to the left: the index walk steps back and stays.
    QTest::newRow("left falls back to the index walk") << -1 << 0 << QStringLiteral("u1");
    QTest::newRow("up takes a cell a little higher") << 0 << -1 << QStringLiteral("u2");
}

void tst_CollectionStoreSelection::masonryNeighbour()
{
    QFETCH(int, horizontal);
    QFETCH(int, vertical);
    QFETCH(QString, expected);
    m_store->setWorkspaceMode(WorkspaceMode::browse);
    m_store->setBrowseLayout(BrowseLayoutMode::masonry);
    const QStringList order = ids({QStringLiteral("u1"), QStringLiteral("u2"), QStringLiteral("u3"),
                                   QStringLiteral("u4")});
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
    for (const char *name : {"apple.jpg", "Éclair.jpg", "banana.jpg", "eel.jpg"}) {
        writeJpeg(f.path(), QString::fromUtf8(name));
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
    store.performTypeSelect(QStringLiteral("é")); // matches the capital É
    QCOMPARE(f.focusedName(), QStringLiteral("Éclair.jpg"));
    store.performTypeSelect(QStringLiteral("x")); // "éx" matches nothing: a beep, no change
    QCOMPARE(f.desktop.beeps, 1);
    QCOMPARE(f.focusedName(), QStringLiteral("Éclair.jpg"));
    // After the pause the buffer starts over; the search begins below the focused row.
    QTRY_VERIFY_WITH_TIMEOUT(store.typeSelectBuffer().isEmpty(), 5000);
    store.performTypeSelect(QStringLiteral("E"));
    QCOMPARE(f.focusedName(), QStringLiteral("eel.jpg"));
    QTRY_VERIFY_WITH_TIMEOUT(store.typeSelectBuffer().isEmpty(), 5000);
    store.performTypeSelect(QStringLiteral("B"));
    QCOMPARE(f.focusedName(), QStringLiteral("banana.jpg"));
    QTRY_VERIFY_WITH_TIMEOUT(store.typeSelectBuffer().isEmpty(), 5000);
    store.performTypeSelect(QStringLiteral("b")); // only the focused row matches: it wraps back
    QCOMPARE(f.focusedName(), QStringLiteral("banana.jpg"));
    QCOMPARE(f.desktop.beeps, 1);
}

void tst_CollectionStoreSelection::selectAllAndDeselect()
{
    m_store->selectAll();
    QCOMPARE(m_store->selectedCount(), 10);
    QCOMPARE(focused(), QStringLiteral("u1"));
    QCOMPARE(m_store->selectionAnchorID(), m_store->focusedPhotoID());
    QVERIFY(!m_store->scrollRequest());
    m_store->deselectAll();
    QCOMPARE(m_store->selectedCount(), 0);
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
