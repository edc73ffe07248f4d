#include "Layout/ColumnRule.h"

#include <QTest>

class tst_ColumnRule : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void columns_data();
    void columns();
};

void tst_ColumnRule::columns_data()
{
    QTest::addColumn<double>("width");
    QTest::addColumn<double>("margin");
    QTest::addColumn<double>("spacing");
    QTest::addColumn<double>("cell");
    QTest::addColumn<int>("expected");

    // usable 1000 - 48 = 952; (14 + 952) / (14 + 240) = 3.8
    QTest::newRow("board at 1000") << 1000.0 << 24.0 << 14.0 << 240.0 << 3;
    // exactly four cells and three gaps: 4 × 100 + 3 × 10 = 430
    QTest::newRow("exact fit") << 430.0 << 0.0 << 10.0 << 100.0 << 4;
    QTest::newRow("one pixel short") << 429.0 << 0.0 << 10.0 << 100.0 << 3;
    QTest::newRow("narrower than a cell") << 50.0 << 24.0 << 14.0 << 240.0 << 1;
    QTest::newRow("zero width") << 0.0 << 24.0 << 14.0 << 240.0 << 1;
    QTest::newRow("degenerate cell") << 800.0 << 24.0 << 14.0 << 0.0 << 1;
}

void tst_ColumnRule::columns()
{
    QFETCH(double, width);
    QFETCH(double, margin);
    QFETCH(double, spacing);
    QFETCH(double, cell);
    QFETCH(int, expected);
    QCOMPARE(ColumnRule::columnCount(width, margin, spacing, cell), expected);
}

QTEST_APPLESS_MAIN(tst_ColumnRule)
#include "tst_ColumnRule.moc"
