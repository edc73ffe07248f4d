#include "Layout/PreviewZoom.h"

#include <QTest>

// The preview's zoom maths: each row runs a few gestures on a photo in a view (both in device
// pixels) and checks the scale and the part of the photo on screen. A gesture is "z" (the Z
// key, at a point when given), "+"/"-" (steps, at a point when given), "pan" by a delta, or
// "photo" to flip to another photo of another size while the zoom stays locked.
class tst_PreviewZoom : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void gestures_data();
    void gestures();
    void fitScaleNeverEnlarges();
};

namespace {

std::optional<QPointF> pointOf(const QString &text)
{
    if (text.isEmpty()) {
        return std::nullopt;
    }
    const QStringList parts = text.split(QLatin1Char(','));
    return QPointF(parts.value(0).toDouble(), parts.value(1).toDouble());
}

QSizeF sizeOf(const QString &text)
{
    const QStringList parts = text.split(QLatin1Char('x'));
    return {parts.value(0).toDouble(), parts.value(1).toDouble()};
}

} // namespace

void tst_PreviewZoom::gestures_data()
{
    QTest::addColumn<QSizeF>("image");
    QTest::addColumn<QString>("steps"); // space-separated gestures
    QTest::addColumn<double>("scale");
    QTest::addColumn<QRectF>("visible"); // in the last photo's pixels
    // The view is 1500 × 1000 device pixels in every row.
    const QSizeF photo(6000, 4000); // fitted at 25 %

    QTest::newRow("fitted shows it all") << photo << "" << 0.25 << QRectF(0, 0, 6000, 4000);
    QTest::newRow("z centres on the middle")
        << photo << "z" << 1.0 << QRectF(2250, 1500, 1500, 1000);
    QTest::newRow("z centres on the pointed spot")
        << photo << "z@375,250" << 1.0 << QRectF(750, 500, 1500, 1000);
    QTest::newRow("z near a corner stays on the photo")
        << photo << "z@10,10" << 1.0 << QRectF(0, 0, 1500, 1000);
    QTest::newRow("z twice fits again")
        << photo << "z@375,250 z" << 0.25 << QRectF(0, 0, 6000, 4000);
    // Fitted 3000 × 1500 in a 1500 × 1000 view is 1500 × 750 at y 125: the pointer above it
    // is off the photo, so the middle is used.
    QTest::newRow("z off the photo centres on the middle")
        << QSizeF(3000, 1500) << "z@700,50" << 1.0 << QRectF(750, 250, 1500, 1000);
    QTest::newRow("+ skips steps below the fit")
        << photo << "+" << 0.5 << QRectF(1500, 1000, 3000, 2000);
    QTest::newRow("+ up to the largest step and no further")
        << photo << "+ + + + + +" << 4.0 << QRectF(2812.5, 1875, 375, 250);
    QTest::newRow("- from the smallest step fits")
        << photo << "z - -" << 0.25 << QRectF(0, 0, 6000, 4000);
    QTest::newRow("- on a fitted photo does nothing")
        << photo << "-" << 0.25 << QRectF(0, 0, 6000, 4000);
    // At 100 % the spot under (300, 200) is pixel (2550, 1700); at 200 % it stays under it.
    QTest::newRow("+ at the pointer keeps its spot")
        << photo << "z +@300,200" << 2.0 << QRectF(2400, 1600, 750, 500);
    QTest::newRow("a small photo is not enlarged by the fit")
        << QSizeF(800, 600) << "" << 1.0 << QRectF(0, 0, 800, 600);
    QTest::newRow("+ on a small photo doubles it")
        << QSizeF(800, 600) << "+" << 2.0 << QRectF(25, 50, 750, 500);
    QTest::newRow("pan follows the drag")
        << photo << "z pan-100,50" << 1.0 << QRectF(2350, 1450, 1500, 1000);
    QTest::newRow("pan stops at the edge")
        << photo << "z pan10000,0" << 1.0 << QRectF(0, 1500, 1500, 1000);
    QTest::newRow("pan back moves at once after overshooting")
        << photo << "z pan10000,0 pan-100,0" << 1.0 << QRectF(100, 1500, 1500, 1000);
    QTest::newRow("pan on a fitted photo does nothing")
        << photo << "pan-100,50" << 0.25 << QRectF(0, 0, 6000, 4000);
    // Locked at 100 % on the relative spot (0.25, 0.25) of a landscape photo…
    QTest::newRow("lock carries the spot to a portrait photo")
        << photo << "z@375,250 photo4000x6000" << 1.0 << QRectF(250, 1000, 1500, 1000);
    QTest::newRow("lock clamps on a photo barely larger than the view")
        << photo << "z@375,250 photo2000x1100" << 1.0 << QRectF(0, 0, 1500, 1000);
    QTest::newRow("lock centres a photo smaller than the view")
        << photo << "z@375,250 photo1200x900" << 1.0 << QRectF(0, 0, 1200, 900);
    QTest::newRow("lock keeps the scale above the next photo's fit")
        << photo << "+ photo12000x8000" << 0.5 << QRectF(4500, 3000, 3000, 2000);
}

void tst_PreviewZoom::gestures()
{
    QFETCH(QSizeF, image);
    QFETCH(QString, steps);
    QFETCH(double, scale);
    QFETCH(QRectF, visible);
    const QSizeF view(1500, 1000);
    PreviewZoom zoom;
    for (const QString &step : steps.split(QLatin1Char(' '), Qt::SkipEmptyParts)) {
        const QString at = step.section(QLatin1Char('@'), 1);
        if (step.startsWith(QLatin1Char('z'))) {
            zoom.toggle(image, view, pointOf(at));
        } else if (step.startsWith(QLatin1Char('+'))) {
            zoom.stepIn(image, view, pointOf(at));
        } else if (step.startsWith(QLatin1Char('-'))) {
            zoom.stepOut(image, view, pointOf(at));
        } else if (step.startsWith(QLatin1String("pan"))) {
            zoom.pan(*pointOf(step.mid(3)), image, view);
        } else if (step.startsWith(QLatin1String("photo"))) {
            image = sizeOf(step.mid(5));
        } else {
            QFAIL(qPrintable(QStringLiteral("unknown gesture ") + step));
        }
    }
    QCOMPARE(zoom.scale(image, view), scale);
    QCOMPARE(zoom.visiblePart(image, view), visible);
    // What is drawn agrees with what is said to be visible.
    const QRectF placed = zoom.imageRect(image, view);
    QCOMPARE(placed.size(), image * scale);
    const QRectF onScreen = placed.intersected(QRectF(QPointF(), view));
    QCOMPARE(QRectF((onScreen.topLeft() - placed.topLeft()) / scale, onScreen.size() / scale),
             visible);
}

void tst_PreviewZoom::fitScaleNeverEnlarges()
{
    const QSizeF view(1500, 1000);
    QCOMPARE(PreviewZoom::fitScale({6000, 4000}, view), 0.25);
    QCOMPARE(PreviewZoom::fitScale({3000, 6000}, view), 1000.0 / 6000);
    QCOMPARE(PreviewZoom::fitScale({800, 600}, view), 1.0);
    QCOMPARE(PreviewZoom::fitScale({}, view), 1.0);
    // A margin reaches past the view but never past the photo.
    PreviewZoom zoom;
    zoom.toggle({6000, 4000}, view);
    QCOMPARE(zoom.visiblePart({6000, 4000}, view, 0.5), QRectF(1500, 1000, 3000, 2000));
    zoom.pan({10000, 10000}, {6000, 4000}, view);
    QCOMPARE(zoom.visiblePart({6000, 4000}, view, 0.5), QRectF(0, 0, 2250, 1500));
}

QTEST_APPLESS_MAIN(tst_PreviewZoom)
#include "tst_PreviewZoom.moc"
