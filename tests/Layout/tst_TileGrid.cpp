#include "Layout/TileGrid.h"

#include <QRandomGenerator>
#include <QTest>

// The Browse tiles' geometry: the column rule, the centred grid, and visible-range and hit
// queries checked against every cell.
class tst_TileGrid : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void columnsAndPlacement();
    void queriesAgreeWithCells();
};

void tst_TileGrid::columnsAndPlacement()
{
    // (14 + 952) ÷ 254 = 3.8: three columns of 240, 748 wide, centred in 1000.
    const TileGrid grid = TileGrid::compute(7, TileMetrics{}, 1000);
    QCOMPARE(grid.columnCount(), 3);
    QCOMPARE(grid.imageRect(0), QRectF(126, 24, 240, 240));
    QCOMPARE(grid.imageRect(4), QRectF(126 + 254, 24 + 279, 240, 240));
    QCOMPARE(grid.contentHeight(), 24 + 3 * 261 + 2 * 18 + 24.0);
    // Narrower than a cell: one column at the margin.
    const TileGrid narrow = TileGrid::compute(2, TileMetrics{}, 100);
    QCOMPARE(narrow.columnCount(), 1);
    QCOMPARE(narrow.imageRect(1).topLeft(), QPointF(24, 24 + 279));
    QCOMPARE(TileGrid::compute(0, TileMetrics{}, 1000).contentHeight(), 48.0);
}

void tst_TileGrid::queriesAgreeWithCells()
{
    // CALVENOR_TILE_SEED replays a failed run.
    const quint32 seed = qEnvironmentVariableIsSet("CALVENOR_TILE_SEED")
                             ? qgetenv("CALVENOR_TILE_SEED").toUInt()
                             : QRandomGenerator::global()->generate();
    QRandomGenerator random(seed);
    for (int round = 0; round < 50; ++round) {
        TileMetrics metrics;
        metrics.cellSize = random.bounded(80, 281);
        const TileGrid grid =
            TileGrid::compute(random.bounded(0, 400), metrics, random.bounded(50, 2000));
        const double top = random.bounded(grid.contentHeight() + 100) - 50;
        const double bottom = top + 1 + random.bounded(900); // a strip of some height
        const auto [first, end] = grid.indexesIn(top, bottom);
        for (qsizetype i = 0; i < grid.count(); ++i) {
            const QRectF cell = grid.imageRect(i).adjusted(0, 0, 0, metrics.captionHeight);
            const bool intersects = cell.top() < bottom && cell.bottom() > top;
            QVERIFY2(intersects == (i >= first && i < end),
                     qPrintable(QStringLiteral("seed %1, cell %2").arg(seed).arg(i)));
            QCOMPARE(grid.indexAt(cell.center()), std::optional(i));
        }
        const QRectF last = grid.count() ? grid.imageRect(grid.count() - 1) : QRectF();
        QCOMPARE(grid.indexAt(last.topRight() + QPointF(metrics.columnSpacing / 2, 0)),
                 std::nullopt);
    }
}

QTEST_APPLESS_MAIN(tst_TileGrid)
#include "tst_TileGrid.moc"
