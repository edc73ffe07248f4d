#include "Layout/MasonryLayout.h"

#include <QRandomGenerator>
#include <QTest>

using Size = QPair<qint64, qint64>; // pixel width, height

namespace {

QList<BrowsePhotoItem> itemsOf(const QList<Size> &sizes)
{
    QList<BrowsePhotoItem> items;
    for (const Size &size : sizes) {
        BrowsePhotoItem item;
        item.photo.id = QStringLiteral("p%1").arg(items.size());
        item.photo.pixelWidth = size.first;
        item.photo.pixelHeight = size.second;
        items.append(item);
    }
    return items;
}

} // namespace

class tst_MasonryLayout : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void distribute_data()
    {
        QTest::addColumn<QList<Size>>("sizes");
        QTest::addColumn<int>("columnCount");
        QTest::addColumn<QList<QRectF>>("frames"); // in list order
        QTest::addColumn<double>("height");

        const QRectF square0(0, 0, 240, 240);
        QTest::newRow("unread dimensions give squares")
            << QList<Size>{{0, 0}, {4000, 0}, {0, 3000}} << 1
            << QList<QRectF>{square0, {0, 254, 240, 240}, {0, 508, 240, 240}} << 748.0;
        QTest::newRow("40:1 panorama is cell width / 40 high")
            << QList<Size>{{4000, 100}, {100, 100}} << 1
            << QList<QRectF>{{0, 0, 240, 6}, {0, 20, 240, 240}} << 260.0;
        QTest::newRow("1:100 counts as 1:20")
            << QList<Size>{{10, 1000}} << 1 << QList<QRectF>{{0, 0, 240, 4800}} << 4800.0;
        // [0 ][1][2]     after three photos the heights are 254, 134, 134:
        // [  ][3][4]     3 goes to the leftmost of the two shortest, then 4 to the other
        QTest::newRow("leftmost of equal heights wins")
            << QList<Size>{{100, 100}, {200, 100}, {200, 100}, {200, 100}, {200, 100}} << 3
            << QList<QRectF>{square0,
                             {254, 0, 240, 120},
                             {508, 0, 240, 120},
                             {254, 134, 240, 120},
                             {508, 134, 240, 120}}
            << 254.0;
        QTest::newRow("no items") << QList<Size>{} << 3 << QList<QRectF>{} << 0.0;
        QTest::newRow("column count 0 counts as one")
            << QList<Size>{{1, 1}, {1, 1}} << 0 << QList<QRectF>{square0, {0, 254, 240, 240}}
            << 494.0;
    }

    void distribute()
    {
        QFETCH(QList<Size>, sizes);
        QFETCH(int, columnCount);
        QFETCH(QList<QRectF>, frames);
        QFETCH(double, height);
        const QList<BrowsePhotoItem> items = itemsOf(sizes);
        const MasonryDistribution d =
            MasonryLayout::distribute(items, columnCount, MasonryMetrics());
        QCOMPARE(d.columnCount(), std::max(1, columnCount));
        QCOMPARE(d.frames.size(), items.size());
        for (qsizetype i = 0; i < items.size(); ++i) {
            QCOMPARE(d.frames.value(items[i].id()), frames[i]);
        }
        // Columns hold the items in placement order, beside the same frames.
        qsizetype placed = 0;
        for (int c = 0; c < d.columnCount(); ++c) {
            QCOMPARE(d.columnFrames[c].size(), d.columns[c].size());
            for (qsizetype r = 0; r < d.columns[c].size(); ++r, ++placed) {
                QCOMPARE(d.frame({c, r}), d.frames.value(d.item({c, r}).id()));
            }
        }
        QCOMPARE(placed, items.size());
        QCOMPARE(d.height, height);
    }

    void columnsAndOrigin_data()
    {
        QTest::addColumn<double>("width");
        QTest::addColumn<int>("columns");
        QTest::addColumn<double>("originX");
        // usable 952: (14 + 952) ÷ 254 = 3.8; block 748, centred
        QTest::newRow("1000 wide") << 1000.0 << 3 << 126.0;
        // 48 + 4 × 240 + 3 × 14 = 1050
        QTest::newRow("exactly four") << 1050.0 << 4 << 24.0;
        QTest::newRow("one short of four") << 1049.0 << 3 << 150.5;
        QTest::newRow("narrower than a cell: one column at the padding") << 100.0 << 1 << 24.0;
    }

    void columnsAndOrigin()
    {
        QFETCH(double, width);
        QFETCH(int, columns);
        QFETCH(double, originX);
        const MasonryMetrics metrics;
        QCOMPARE(MasonryLayout::columns(width, metrics), columns);
        QCOMPARE(MasonryLayout::blockOrigin(width, columns, metrics), QPointF(originX, 24));
    }

    // Random photos (unread, extreme and ordinary proportions): the strip query returns exactly
    // what a scan over every frame finds; every cell is hit from its top-left corner to its centre,
    // the gutters right of and below it hit nothing. Random ids are unique, so `frames` holds one
    // entry per photo.
    void stripQueryMatchesBruteForce()
    {
        const quint32 seed = QRandomGenerator::global()->generate();
        QRandomGenerator random(seed);
        for (int round = 0; round < 20; ++round) {
            QList<Size> sizes;
            for (int i = int(random.bounded(1, 3000)); i > 0; --i) {
                const int kind = int(random.bounded(10));
                sizes.append(kind == 0   ? Size(0, 0)
                             : kind == 1 ? Size(4000, 10)
                             : kind == 2 ? Size(10, 4000)
                                         : Size(random.bounded(1, 6000), random.bounded(1, 6000)));
            }
            MasonryMetrics metrics;
            metrics.cellWidth = 80 + 8 * random.bounded(26);
            const int n = int(random.bounded(1, 9));
            const MasonryDistribution d = MasonryLayout::distribute(itemsOf(sizes), n, metrics);
            const QString where = QStringLiteral("seed %1 round %2").arg(seed).arg(round);
            const QList<QRectF> all = d.frames.values();
            const auto anyFrame = [&] { return all[random.bounded(int(all.size()))]; };
            for (int strip = 0; strip < 50; ++strip) {
                // Some strips start or end exactly on a cell's edge.
                const double top =
                    strip % 2 ? anyFrame().bottom() : random.bounded(d.height + 100) - 50;
                const double bottom = strip % 3 ? top + random.bounded(2000.0) : anyFrame().top();
                QList<MasonryDistribution::Position> expected;
                for (int c = 0; c < n; ++c) {
                    for (qsizetype r = 0; r < d.columnFrames[c].size(); ++r) {
                        const QRectF f = d.columnFrames[c][r];
                        if (f.bottom() > top && f.top() < bottom) {
                            expected.append({c, r});
                        }
                    }
                }
                QVERIFY2(d.itemsIn(top, bottom) == expected, qPrintable(where));
            }
            for (int c = 0; c < n; ++c) {
                for (qsizetype r = 0; r < d.columnFrames[c].size(); ++r) {
                    const QRectF f = d.columnFrames[c][r];
                    const auto cell = std::optional(MasonryDistribution::Position{c, r});
                    QVERIFY2(d.itemAt(f.center()) == cell && d.itemAt(f.topLeft()) == cell &&
                                 !d.itemAt(f.topRight() + QPointF(metrics.gutter / 2, 0)) &&
                                 !d.itemAt(f.bottomLeft() + QPointF(0, metrics.gutter / 2)),
                             qPrintable(where));
                }
            }
        }
    }
};

QTEST_APPLESS_MAIN(tst_MasonryLayout)
#include "tst_MasonryLayout.moc"
