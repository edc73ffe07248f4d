#include "Views/BrandMark.h"
#include "Views/CategoryNameSheet.h"
#include "Views/DarkroomButton.h"
#include "Views/DarkroomPalette.h"
#include "Views/Symbols.h"

#include <QLineEdit>
#include <QPainter>
#include <QSignalSpy>
#include <QTest>

using namespace DarkroomPalette;
using namespace Qt::StringLiterals;

namespace {

QImage filled(const QSize &size, const QColor &colour)
{
    QImage image(size, QImage::Format_ARGB32_Premultiplied);
    image.fill(colour);
    return image;
}

// The smallest rectangle holding every pixel for which `inked(x, y)` holds.
template<typename Inked>
QRect boundsWhere(const QImage &image, Inked inked)
{
    QRect bounds;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            if (inked(x, y)) {
                bounds |= QRect(x, y, 1, 1);
            }
        }
    }
    return bounds;
}

// Where anything is drawn, or where exactly `solid` is drawn.
QRect opaqueBounds(const QImage &image, QRgb solid = 0)
{
    return boundsWhere(image, [&](int x, int y) {
        return solid ? image.pixel(x, y) == solid : qAlpha(image.pixel(x, y)) > 0;
    });
}

QColor blend(const QColor &under, const QColor &over, qreal opacity)
{
    const auto mix = [&](float a, float b) { return a + (b - a) * float(opacity); };
    return QColor::fromRgbF(mix(under.redF(), over.redF()), mix(under.greenF(), over.greenF()),
                            mix(under.blueF(), over.blueF()));
}

int distance(const QColor &a, const QColor &b)
{
    return std::max({std::abs(a.red() - b.red()), std::abs(a.green() - b.green()),
                     std::abs(a.blue() - b.blue())});
}

QImage renderOver(QWidget &widget, const QColor &background)
{
    QImage image = filled(widget.size(), background);
    widget.render(&image, QPoint(), QRegion(), QWidget::DrawChildren);
    return image;
}

// Where a button's label and symbol are drawn, clear of its outline and rounded corners: the
// pixels nearer the ink than the fill, or within `tolerance` of the ink.
QRect inkBounds(const QImage &button, const QColor &ink, const QColor &fill, int tolerance = -1)
{
    return boundsWhere(button, [&](int x, int y) {
        const QColor pixel = button.pixelColor(x, y);
        return y >= 7 && y < button.height() - 7 && x >= 7 && x < button.width() - 7 &&
               (tolerance < 0 ? distance(pixel, ink) < distance(pixel, fill)
                              : distance(pixel, ink) <= tolerance);
    });
}

} // namespace

class tst_DesignSystem : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void brandMark_data()
    {
        QTest::addColumn<QSize>("area");
        QTest::newRow("34 x 80, header") << QSize(34, 80);
        QTest::newRow("80 x 34, wide") << QSize(80, 34);
        QTest::newRow("300 x 144, large") << QSize(300, 144);
    }

    // Centred in the largest square; its ring spans 32.5 and its line 1.5 of 36 design units.
    void brandMark()
    {
        QFETCH(QSize, area);
        QImage image = filled(area, Qt::transparent);
        QPainter painter(&image);
        BrandMark::paint(painter, image.rect(), paper());
        painter.end();

        const int side = std::min(area.width(), area.height());
        const QRect bounds = opaqueBounds(image);
        const qreal extent = 32.5 * side / 36.0; // antialiasing may add a pixel on each side
        QVERIFY(bounds.width() >= extent - 0.5 && bounds.width() <= extent + 2);
        QVERIFY(bounds.height() >= extent - 0.5 && bounds.height() <= extent + 2);
        QVERIFY((QRectF(bounds).center() - QRectF(image.rect()).center()).manhattanLength() <= 1);

        // Across the middle row the ring's edge is vertical: its coverage adds up to the line
        // width. The "M" starts well to the right of the part summed here.
        qreal coverage = 0;
        for (int x = bounds.left(); x < bounds.left() + side * 5 / 36; ++x) {
            coverage += qAlpha(image.pixel(x, area.height() / 2)) / 255.0;
        }
        QVERIFY(std::abs(coverage - 1.5 * side / 36.0) < 0.15);
    }

    void button_data()
    {
        QTest::addColumn<bool>("prominent");
        QTest::addColumn<qreal>("opacity"); // 0.72 pressed, 0.45 disabled
        QTest::addColumn<QColor>("background");
        QTest::addColumn<QString>("label");
        QTest::addColumn<QString>("symbol");

        const QString none, label = u"Rename All"_s;
        QTest::newRow("prominent: canvas on ember") << true << 1.0 << canvas() << label << none;
        QTest::newRow("plain, with symbol: paper on raised")
            << false << 1.0 << canvas() << label << u"folder"_s;
        QTest::newRow("prominent, symbol only, pressed on black")
            << true << 0.72 << QColor(Qt::black) << none << u"plus"_s;
        QTest::newRow("plain, pressed on paper") << false << 0.72 << paper() << label << none;
        QTest::newRow("prominent, disabled") << true << 0.45 << canvas() << label << none;
    }

    // Fill, outline and label fade as one layer over whatever is behind the button. At its size
    // hint nothing is cut or elided, inside 14 px insets, centred in the height.
    void button()
    {
        QFETCH(bool, prominent);
        QFETCH(qreal, opacity);
        QFETCH(QColor, background);
        QFETCH(QString, label);
        QFETCH(QString, symbol);
        DarkroomButton button(label, prominent);
        button.setSymbol(symbol);
        button.setDown(opacity == 0.72);
        button.setEnabled(opacity != 0.45);
        QCOMPARE(button.sizeHint().height(), 34);
        button.resize(button.sizeHint());
        const QImage image = renderOver(button, background);

        const QColor fill = blend(background, prominent ? ember() : raised(), opacity);
        const QColor outline = blend(background, prominent ? ember() : separator(), opacity);
        const QColor ink = blend(background, prominent ? canvas() : paper(), opacity);
        QVERIFY(distance(image.pixelColor(10, 17), fill) <= 2);
        QVERIFY(distance(image.pixelColor(image.width() / 2, 0), outline) <= 2);
        QCOMPARE(image.pixelColor(0, 0).rgb(), background.rgb()); // outside the rounded corner
        const QRect hinted = inkBounds(image, ink, fill);
        QVERIFY(hinted.left() >= 14 && hinted.right() < image.width() - 14);
        QVERIFY(std::abs(hinted.top() - (33 - hinted.bottom())) <= 2);
        // The strokes are wider than a pixel, so the label colour shows unblended.
        QVERIFY(!inkBounds(image, ink, fill, 24).isEmpty());
        button.resize(button.sizeHint() + QSize(40, 0));
        QCOMPARE(inkBounds(renderOver(button, background), ink, fill).width(), hinted.width());
    }

    void symbols()
    {
        const QStringList unknown = {u"trash.fill"_s, u"Folder"_s, QString()};
        QList<QImage> drawn;
        for (const QString &name : Symbols::names() + unknown) {
            const bool known = !unknown.contains(name);
            QImage image = filled(QSize(96, 64), Qt::transparent);
            QPainter painter(&image);
            painter.setPen(QPen(Qt::green, 3));
            Symbols::paint(painter, name, QRectF(16, 8, 64, 48), ember());
            QCOMPARE(painter.pen(), QPen(Qt::green, 3)); // left as it was
            painter.end();
            const QRect bounds = opaqueBounds(image);
            const QIcon icon = Symbols::icon(name, paper());
            QCOMPARE(Symbols::contains(name), known);
            QCOMPARE(icon.isNull(), !known);
            QCOMPARE(bounds.isEmpty(), !known);
            if (known) { // inside the centred 48 × 48 square, in the colour asked for, unique
                QVERIFY2(QRect(24, 8, 48, 48).contains(bounds), qPrintable(name));
                QVERIFY(bounds.width() >= 24 || bounds.height() >= 24);
                QVERIFY(!opaqueBounds(image, ember().rgb()).isEmpty());
                QVERIFY2(!drawn.contains(image), qPrintable(name));
                drawn.append(image);
                const QImage normal = icon.pixmap(QSize(20, 20)).toImage();
                QVERIFY(!opaqueBounds(normal).isEmpty());
                QVERIFY(icon.pixmap(QSize(20, 20), QIcon::Disabled).toImage() != normal);
            }
        }
    }

    void sheet_data()
    {
        QTest::addColumn<QString>("initialName");
        QTest::addColumn<QString>("typed"); // replaces the selected initial name
        QTest::addColumn<QString>("trigger");
        QTest::addColumn<QString>("submitted"); // empty: nothing is submitted

        const QString none, family = u"Family"_s, travel = u"  Travel  "_s;
        const QString trimmed = u"Travel"_s, spaces = u"   "_s;
        QTest::newRow("initial name, Return") << family << none << u"Return"_s << family;
        QTest::newRow("padded, Return") << family << travel << u"Return"_s << trimmed;
        QTest::newRow("padded, action clicked") << none << travel << u"click action"_s << trimmed;
        QTest::newRow("Return on Cancel") << none << travel << u"Return on Cancel"_s << trimmed;
        QTest::newRow("inner spaces") << none << u" New  York "_s << u"Return"_s << u"New  York"_s;
        QTest::newRow("only spaces, Return") << none << spaces << u"Return"_s << none;
        QTest::newRow("only spaces, submit called") << none << spaces << u"submit()"_s << none;
        QTest::newRow("initial name of spaces, Return") << spaces << none << u"Return"_s << none;
        QTest::newRow("Escape") << family << travel << u"Escape"_s << none;
        QTest::newRow("Cancel clicked") << family << travel << u"click Cancel"_s << none;
    }

    void sheet()
    {
        QFETCH(QString, initialName);
        QFETCH(QString, typed);
        QFETCH(QString, trigger);
        QFETCH(QString, submitted);
        CategoryNameSheet sheet(CategoryPrompt::make(
            CategoryPrompt::Mode::rename(u"s1"_s), u"Rename Category"_s, u"Rename"_s, initialName));
        QSignalSpy spy(&sheet, &CategoryNameSheet::submitted);
        sheet.show();
        QVERIFY(QTest::qWaitForWindowActive(&sheet));
        QLineEdit *field = sheet.nameField();
        QTRY_VERIFY(field->hasFocus());
        QCOMPARE(field->selectedText(), initialName);
        QCOMPARE(sheet.width(), 430);
        QCOMPARE(sheet.windowModality(), Qt::WindowModal);
        // The field's outline shows ember while it has focus.
        const auto outlined = [field] {
            const QColor top = field->grab().toImage().pixelColor(field->width() / 2, 0);
            return distance(top, ember()) < distance(top, separator());
        };
        QTest::keyClicks(field, typed);
        QCOMPARE(field->text(), typed.isEmpty() ? initialName : typed);
        const bool dismissing = trigger == "Escape"_L1 || trigger == "click Cancel"_L1;
        QCOMPARE(sheet.actionButton()->isEnabled(), !submitted.isEmpty() || dismissing);

        QWidget *target = trigger.endsWith("Cancel"_L1)    ? sheet.cancelButton()
                          : trigger.startsWith("click"_L1) ? sheet.actionButton()
                                                           : static_cast<QWidget *>(field);
        if (trigger == "submit()"_L1) {
            sheet.submit();
        } else if (trigger.startsWith("click"_L1)) {
            QTest::mouseClick(target, Qt::LeftButton);
        } else {
            target->setFocus();
            QTRY_VERIFY(target->hasFocus());
            QCOMPARE(outlined(), target == field);
            QTest::keyClick(target, trigger == "Escape"_L1 ? Qt::Key_Escape : Qt::Key_Return);
        }

        QCOMPARE(spy.count(), submitted.isEmpty() ? 0 : 1);
        QCOMPARE(spy.value(0).value(0).toString(), submitted);
        QCOMPARE(sheet.isVisible(), submitted.isEmpty() && !dismissing);
        QCOMPARE(sheet.result() == QDialog::Accepted, !submitted.isEmpty());
    }
};

QTEST_MAIN(tst_DesignSystem)
#include "tst_DesignSystem.moc"
