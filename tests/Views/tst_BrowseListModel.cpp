#include "Views/BrowseListModel.h"

#include <QSignalSpy>
#include <QSortFilterProxyModel>
#include <QTest>

using namespace Qt::StringLiterals;

namespace {

BrowsePhotoItem makeItem(int n,
                         const QString &name,
                         const QString &category,
                         FileTime time,
                         qint64 bytes,
                         qint64 width,
                         qint64 height)
{
    BrowsePhotoItem item;
    item.photo.id = u"p%1"_s.arg(n);
    item.photo.filename = name;
    item.photo.modificationDate = time;
    item.photo.byteCount = bytes;
    item.photo.pixelWidth = width;
    item.photo.pixelHeight = height;
    item.categoryName = category;
    return item;
}

// A capture time `seconds` after 1970-01-01 00:00 on the camera's clock (the tests run in UTC).
CaptureTime takenAt(qint64 seconds)
{
    return *CaptureTime::make(QDate(1970, 1, 1), QTime(0, 0).addSecs(int(seconds)));
}

// Each column orders these differently; p0 and p2 share a size, so ties keep list order. p0
// and p1 record when they were taken; p2 and p3 do not, and p3 has no file time either.
const QList<BrowsePhotoItem> &sample()
{
    static const QList<BrowsePhotoItem> items = [] {
        QList<BrowsePhotoItem> made{
            makeItem(0, u"b.jpg"_s, u"Travel"_s, {300, 0}, 5000, 100, 100),
            makeItem(1, u"C.jpg"_s, u"Été"_s, {100, 1}, 200, 0, 0),
            makeItem(2, u"a.jpg"_s, u"Beach"_s, {100, 0}, 5000, 4000, 3000),
            makeItem(3, u"D.jpg"_s, u"Unsorted"_s, {}, 0, 1, 1),
        };
        made[0].photo.captureTime = takenAt(200);
        made[1].photo.captureTime = takenAt(50);
        return made;
    }();
    return items;
}

} // namespace

class tst_BrowseListModel : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void texts_data();
    void texts();
    void dateTaken_data();
    void dateTaken();
    void sortsByColumnKey_data();
    void sortsByColumnKey();
    void setItemsUpdatesOrReplaces();
};

void tst_BrowseListModel::initTestCase()
{
    qputenv("TZ", "UTC");
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
}

void tst_BrowseListModel::texts_data()
{
    QTest::addColumn<int>("column");
    QTest::addColumn<BrowsePhotoItem>("item");
    QTest::addColumn<QString>("text");
    const auto bytes = [](qint64 n) { return makeItem(0, {}, {}, {}, n, 0, 0); };
    const auto dims = [](qint64 w, qint64 h) { return makeItem(0, {}, {}, {}, 0, w, h); };
    const auto time = [](qint64 s) { return makeItem(0, {}, {}, {s, 0}, 0, 0, 0); };
    const int size = BrowseListModel::SizeColumn;
    const int date = BrowseListModel::DateModifiedColumn;
    const int dimensions = BrowseListModel::DimensionsColumn;
    QTest::newRow("name") << int(BrowseListModel::NameColumn) << sample()[1] << u"C.jpg"_s;
    QTest::newRow("category") << int(BrowseListModel::CategoryColumn) << sample()[1] << u"Été"_s;
    QTest::newRow("no bytes") << size << bytes(0) << u"0 bytes"_s;
    QTest::newRow("999 bytes") << size << bytes(999) << u"999 bytes"_s;
    QTest::newRow("kilobytes are 1000 bytes") << size << bytes(12345) << u"12.3 kB"_s;
    QTest::newRow("megabytes") << size << bytes(4'250'000) << u"4.3 MB"_s;
    QTest::newRow("gigabytes") << size << bytes(5'000'000'000) << u"5.0 GB"_s;
    // 2024-01-05 15:04:09 UTC
    QTest::newRow("date and time") << date << time(1704467049) << u"1/5/24 3:04 PM"_s;
    QTest::newRow("no time reported") << date << time(FileTime::distantPastSeconds) << u"—"_s;
    QTest::newRow("dimensions") << dimensions << dims(4032, 3024) << u"4032 × 3024"_s;
    QTest::newRow("unread dimensions") << dimensions << dims(0, 3024) << u"—"_s;
    BrowsePhotoItem clip = dims(1920, 1080);
    clip.photo.kind = ImageKind::video;
    clip.photo.durationMs = 3'723'000;
    QTest::newRow("a clip's length")
        << int(BrowseListModel::DurationColumn) << clip << u"1:02:03"_s;
    QTest::newRow("a still has none")
        << int(BrowseListModel::DurationColumn) << dims(1, 1) << QString();
}

void tst_BrowseListModel::texts()
{
    QFETCH(int, column);
    QFETCH(BrowsePhotoItem, item);
    QFETCH(QString, text);
    BrowseListModel model;
    model.setItems({item});
    QCOMPARE(model.index(0, column).data().toString(), text);
}

void tst_BrowseListModel::dateTaken_data()
{
    QTest::addColumn<BrowsePhotoItem>("item");
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("quiet"); // the file's time standing in
    BrowsePhotoItem tokyo = makeItem(0, {}, {}, {1704467049, 0}, 0, 0, 0);
    tokyo.photo.captureTime =
        CaptureTime::make(QDate(2023, 12, 24), QTime(18, 30, 5), 0, qint16(9 * 60));
    QTest::newRow("the camera clock's reading, not turned into local time")
        << tokyo << u"12/24/23 6:30 PM"_s << false;
    QTest::newRow("no capture time: the file's, quietly")
        << makeItem(0, {}, {}, {1704467049, 0}, 0, 0, 0) << u"1/5/24 3:04 PM"_s << true;
    QTest::newRow("neither") << makeItem(0, {}, {}, {}, 0, 0, 0) << u"—"_s << true;
}

void tst_BrowseListModel::dateTaken()
{
    QFETCH(BrowsePhotoItem, item);
    QFETCH(QString, text);
    QFETCH(bool, quiet);
    BrowseListModel model;
    model.setItems({item});
    const QModelIndex cell = model.index(0, BrowseListModel::DateTakenColumn);
    QCOMPARE(cell.data().toString(), text);
    QCOMPARE(cell.data(Qt::ForegroundRole).isValid(), quiet);
}

void tst_BrowseListModel::sortsByColumnKey_data()
{
    QTest::addColumn<int>("column");
    QTest::addColumn<QString>("ascending"); // ids from the top row down
    using M = BrowseListModel;
    QTest::newRow("photo, by folded name") << int(M::PhotoColumn) << u"p2 p0 p1 p3"_s;
    QTest::newRow("name, by folded name") << int(M::NameColumn) << u"p2 p0 p1 p3"_s;
    QTest::newRow("category, accents folded") << int(M::CategoryColumn) << u"p2 p1 p0 p3"_s;
    QTest::newRow("date taken, the file's time standing in")
        << int(M::DateTakenColumn) << u"p3 p1 p2 p0"_s;
    QTest::newRow("date, to the nanosecond") << int(M::DateModifiedColumn) << u"p3 p2 p1 p0"_s;
    QTest::newRow("size, ties in list order") << int(M::SizeColumn) << u"p3 p1 p0 p2"_s;
    QTest::newRow("dimensions, by pixel count") << int(M::DimensionsColumn) << u"p1 p3 p0 p2"_s;
}

// The list view sorts through a proxy with SortRole; walking its rows down (as the arrow keys
// do) must give the column's key order.
void tst_BrowseListModel::sortsByColumnKey()
{
    QFETCH(int, column);
    QFETCH(QString, ascending);
    BrowseListModel model;
    model.setItems(sample());
    QSortFilterProxyModel proxy;
    proxy.setSourceModel(&model);
    proxy.setSortRole(BrowseListModel::SortRole);
    proxy.sort(column, Qt::AscendingOrder);
    QStringList ids;
    for (int row = 0; row < proxy.rowCount(); ++row) {
        ids.append(proxy.index(row, column).data(BrowseListModel::IdRole).toString());
    }
    QCOMPARE(ids.join(u' '), ascending);
}

// The same photos again (one filed elsewhere) change rows in place, so a sorted view keeps its
// place; other photos replace them all.
void tst_BrowseListModel::setItemsUpdatesOrReplaces()
{
    BrowseListModel model;
    QStringList titles;
    for (int column = 0; column < model.columnCount(); ++column) {
        titles.append(model.headerData(column, Qt::Horizontal).toString());
    }
    QCOMPARE(titles.join(u','),
             u"Photo,Name,Category,Date Taken,Date Modified,Size,Dimensions,Duration"_s);
    model.setItems(sample());
    QCOMPARE(model.rowOf(u"p2"_s), 2);
    QCOMPARE(model.index(2, 0).data(BrowseListModel::ItemRole).value<BrowsePhotoItem>(),
             sample()[2]);
    QSortFilterProxyModel proxy;
    proxy.setSourceModel(&model);
    proxy.setSortRole(BrowseListModel::SortRole);
    proxy.sort(BrowseListModel::CategoryColumn, Qt::AscendingOrder);
    QSignalSpy resets(&model, &QAbstractItemModel::modelReset);
    QSignalSpy changes(&model, &QAbstractItemModel::dataChanged);
    // p2 is filed from "Beach" into "Zoo": the same photos, one row changed.
    QList<BrowsePhotoItem> filed = sample();
    filed[2].categoryName = u"Zoo"_s;
    filed.move(2, 3);
    model.setItems(filed);
    QCOMPARE(resets.size(), 0);
    QCOMPARE(changes.size(), 1);
    QCOMPARE(model.index(model.rowOf(u"p2"_s), BrowseListModel::CategoryColumn).data().toString(),
             u"Zoo"_s);
    QCOMPARE(proxy.index(3, 0).data(BrowseListModel::IdRole).toString(), u"p2"_s);

    model.setItems({sample()[3], sample()[2]});
    QCOMPARE(resets.size(), 1);
    QCOMPARE(model.rowCount(), 2);
    QCOMPARE(model.rowOf(u"p2"_s), 1);
    QCOMPARE(model.rowOf(u"p0"_s), -1);
    QCOMPARE(model.index(1, BrowseListModel::NameColumn).data().toString(), u"a.jpg"_s);
}

QTEST_GUILESS_MAIN(tst_BrowseListModel)
#include "tst_BrowseListModel.moc"
