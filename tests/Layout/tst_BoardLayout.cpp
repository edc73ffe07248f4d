#include "Layout/BoardLayout.h"

#include <QRandomGenerator>
#include <QTest>

class tst_BoardLayout : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    //  y=24  ┌ block 0 ──────────────┐   header 34..64, grid from 78
    //        │ [0][1][2][3]          │   rows 153.48 high, 17 apart
    //        │ [4]                   │
    //        └───────────────────────┘   bottom = 78 + 2·153.48 + 17 + 10
    //        38
    //        ┌ block 1 (empty) ──────┐   drop zone 82 high
    void stacksSections()
    {
        const BoardMetrics m;
        const BoardLayout layout = BoardLayout::compute({5, 0}, m, 1000);
        QCOMPARE(layout.columnCount(), 4);
        QCOMPARE(layout.headerRect(0), QRectF(24, 34, 952, 30));
        QCOMPARE(layout.itemRect({0, 0}).topLeft(), QPointF(24, 78));
        QCOMPARE(layout.itemRect({0, 3}).left(), 24 + 3 * 198.0);
        QCOMPARE(layout.itemRect({0, 4}).topLeft(), QPointF(24, 78 + 153.48 + 17));
        QCOMPARE(layout.imageRect({0, 4}).height(), 184 * 0.72);
        const double firstBottom = 78 + 2 * 153.48 + 17 + 10;
        QCOMPARE(layout.blockRect(0), QRectF(14, 24, 972, firstBottom - 24));
        QCOMPARE(layout.blockRect(1).top(), firstBottom + 38);
        QCOMPARE(layout.emptyZoneRect(1).height(), 82.0);
        QVERIFY(layout.emptyZoneRect(0).isEmpty());
        QCOMPARE(layout.contentHeight(), layout.blockRect(1).bottom() + 42);
        QCOMPARE(BoardLayout::compute({}, m, 1000).contentHeight(), 24.0 + 42);
        BoardMetrics smallest;
        smallest.cellWidth = 80; // the cell size reaches the column rule
        QCOMPARE(BoardLayout::compute({5}, smallest, 1000).columnCount(), 10);
    }

    void pointsInGapsHitNothing_data()
    {
        QTest::addColumn<QPointF>("point");
        QTest::addColumn<int>("section"); // -1: none
        QTest::newRow("left margin") << QPointF(5, 100) << -1;
        QTest::newRow("between columns") << QPointF(24 + 184 + 7, 100) << 0;
        QTest::newRow("header") << QPointF(100, 50) << 0;
        QTest::newRow("between sections") << QPointF(100, 430) << -1; // block 0 ends at 412
        QTest::newRow("right of the last cell of a short row")
            << QPointF(24 + 198 + 50, 78 + 160 + 20) << 0;
    }

    void pointsInGapsHitNothing()
    {
        QFETCH(QPointF, point);
        QFETCH(int, section);
        const BoardLayout layout = BoardLayout::compute({5, 3}, BoardMetrics(), 1000);
        QVERIFY(!layout.itemAt(point));
        QCOMPARE(layout.sectionAt(point).value_or(-1), section);
    }

    // For random sections and widths: every cell is found at its own centre, cells never overlap,
    // and the visible strip reports exactly the cells that intersect it.
    void randomLayoutsAreConsistent()
    {
        const quint32 seed = QRandomGenerator::global()->generate();
        QRandomGenerator random(seed);
        for (int round = 0; round < 200; ++round) {
            QList<qsizetype> counts;
            for (int s = int(random.bounded(1, 6)); s > 0; --s) {
                counts.append(random.bounded(0, 40));
            }
            BoardMetrics metrics;
            metrics.cellWidth = 80 + 8 * random.bounded(26);
            const double width = random.bounded(200, 2400);
            const BoardLayout layout = BoardLayout::compute(counts, metrics, width);
            const double top = random.bounded(int(layout.contentHeight()));
            const double bottom = top + random.bounded(50, 900);
            const QList<BoardLayout::Item> visible = layout.itemsIn(top, bottom);
            QList<QRectF> seen;
            for (int s = 0; s < counts.size(); ++s) {
                for (qsizetype i = 0; i < counts[s]; ++i) {
                    const BoardLayout::Item item{s, i};
                    const QRectF rect = layout.itemRect(item);
                    const QString where = QStringLiteral("seed %1 round %2 item %3/%4")
                                              .arg(seed)
                                              .arg(round)
                                              .arg(s)
                                              .arg(i);
                    QVERIFY2(layout.itemAt(rect.center()) == item, qPrintable(where));
                    QVERIFY2(layout.blockRect(s).contains(rect), qPrintable(where));
                    for (const QRectF &other : std::as_const(seen)) {
                        QVERIFY2(!other.intersects(rect), qPrintable(where));
                    }
                    seen.append(rect);
                    const bool intersects = rect.bottom() > top && rect.top() < bottom;
                    QVERIFY2(visible.contains(item) == intersects, qPrintable(where));
                }
            }
        }
    }
};

QTEST_APPLESS_MAIN(tst_BoardLayout)
#include "tst_BoardLayout.moc"
