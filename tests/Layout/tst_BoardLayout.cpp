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

    // For random sections and widths: every cell is found at its own centre, where the next cell
    // of its row would be only that cell, cells never overlap, and the visible strip reports
    // exactly the cells that intersect it. Headers and the gaps beside and below cells are in
    // their section but hit no cell; side margins and the gaps between blocks are in none.
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
                const QRectF block = layout.blockRect(s);
                const QPointF header = layout.headerRect(s).center();
                const QPointF margin(block.left() / 2, header.y());
                const QPointF below(header.x(), block.bottom() + metrics.sectionSpacing / 2);
                QVERIFY2(!layout.itemAt(header) && layout.sectionAt(header) == s &&
                             !layout.sectionAt(margin) && !layout.sectionAt(below),
                         qPrintable(QString::number(seed)));
                for (qsizetype i = 0; i < counts[s]; ++i) {
                    const BoardLayout::Item item{s, i};
                    const QRectF rect = layout.itemRect(item);
                    const QString where = QString::asprintf("seed %u round %d item %d/%lld", seed,
                                                            round, s, qlonglong(i));
                    const double pitch = metrics.cellWidth + metrics.columnSpacing;
                    const bool rowGoesOn = (i + 1) % layout.columnCount() && i + 1 < counts[s];
                    QVERIFY2(
                        layout.itemAt(rect.center() + QPointF(pitch, 0)) ==
                            (rowGoesOn ? std::optional(BoardLayout::Item{s, i + 1}) : std::nullopt),
                        qPrintable(where));
                    for (const QPointF gap :
                         {rect.topRight() + QPointF(metrics.columnSpacing / 2, 1),
                          rect.bottomLeft() + QPointF(1, metrics.rowSpacing / 2)}) {
                        QVERIFY2(!layout.itemAt(gap) && layout.sectionAt(gap) == s,
                                 qPrintable(where));
                    }
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
