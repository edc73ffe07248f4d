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

namespace {

QImage transparentImage(const QSize &size)
{
    QImage image(size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    return image;
}

// The smallest rectangle holding every pixel that is not fully transparent.
QRect opaqueBounds(const QImage &image)
{
    QRect bounds;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            if (qAlpha(image.pixel(x, y)) > 0) {
                bounds |= QRect(x, y, 1, 1);
            }
        }
    }
    return bounds;
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

QByteArray describe(const QColor &actual, const QColor &expected)
{
    return QStringLiteral("got %1, expected %2").arg(actual.name(), expected.name()).toUtf8();
}

QImage renderOver(QWidget &widget, const QColor &background)
{
    QImage image(widget.size(), QImage::Format_ARGB32_Premultiplied);
    image.fill(background);
    widget.render(&image, QPoint(), QRegion(), QWidget::DrawChildren);
    return image;
}

// Where a button's label and symbol are drawn: the pixels that differ from a blank button.
QRect inkBounds(DarkroomButton &button)
{
    DarkroomButton blank(QString(), button.isProminent());
    blank.resize(button.size());
    const QImage blankImage = renderOver(blank, canvas());
    const QImage image = renderOver(button, canvas());
    QRect bounds;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            if (image.pixel(x, y) != blankImage.pixel(x, y)) {
                bounds |= QRect(x, y, 1, 1);
            }
        }
    }
    return bounds;
}

enum class Trigger { returnInField, returnOnCancel, clickAction, callSubmit };

CategoryPrompt prompt(const QString &initialName)
{
    return initialName.isEmpty()
               ? CategoryPrompt::make(CategoryPrompt::Mode::create(),
                                      QStringLiteral("New Category"), QStringLiteral("Create"),
                                      initialName)
               : CategoryPrompt::make(CategoryPrompt::Mode::rename(QStringLiteral("s1")),
                                      QStringLiteral("Rename Category"), QStringLiteral("Rename"),
                                      initialName);
}

} // namespace

class tst_DesignSystem : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void brandMarkFillsCentredSquare_data();
    void brandMarkFillsCentredSquare();
    void brandMarkRingWidth_data();
    void brandMarkRingWidth();

    void buttonFill_data();
    void buttonFill();
    void buttonLabel_data();
    void buttonLabel();
    void buttonSize_data();
    void buttonSize();

    void symbolsDrawDistinctShapes();
    void unknownSymbolDrawsNothing();

    void sheetOpensWithInitialNameFocused();
    void sheetFieldOutlineFollowsFocus();
    void sheetSubmission_data();
    void sheetSubmission();
    void sheetDismissal_data();
    void sheetDismissal();
};

void tst_DesignSystem::brandMarkFillsCentredSquare_data()
{
    QTest::addColumn<QSize>("area");
    QTest::newRow("34 x 80, tall") << QSize(34, 80);
    QTest::newRow("80 x 34, wide") << QSize(80, 34);
    QTest::newRow("36 x 36, design size") << QSize(36, 36);
    QTest::newRow("300 x 120, large and wide") << QSize(300, 120);
}

void tst_DesignSystem::brandMarkFillsCentredSquare()
{
    QFETCH(QSize, area);
    QImage image = transparentImage(area);
    QPainter painter(&image);
    BrandMark::paint(painter, image.rect(), paper());
    painter.end();

    const int side = std::min(area.width(), area.height());
    const QRect square(QPoint((area.width() - side) / 2, (area.height() - side) / 2),
                       QSize(side, side));
    const QRect bounds = opaqueBounds(image);
    QVERIFY(!bounds.isEmpty());
    QVERIFY2(square.adjusted(-1, -1, 1, 1).contains(bounds),
             qPrintable(QStringLiteral("mark at %1,%2 %3x%4")
                            .arg(bounds.x())
                            .arg(bounds.y())
                            .arg(bounds.width())
                            .arg(bounds.height())));

    // The ring's outer edge spans 32.5 of the 36 design units, equally far from every side.
    const qreal extent = 32.5 * side / 36.0;
    // Antialiased edges may add a partly covered pixel on each side.
    const auto fits = [extent](int length) {
        return length >= extent - 0.5 && length <= extent + 2;
    };
    QVERIFY2(fits(bounds.width()) && fits(bounds.height()),
             qPrintable(QStringLiteral("%1 x %2, expected %3")
                            .arg(bounds.width())
                            .arg(bounds.height())
                            .arg(extent)));
    QVERIFY(std::abs(bounds.left() - (area.width() - 1 - bounds.right())) <= 1);
    QVERIFY(std::abs(bounds.top() - (area.height() - 1 - bounds.bottom())) <= 1);
}

void tst_DesignSystem::brandMarkRingWidth_data()
{
    QTest::addColumn<int>("side");
    QTest::newRow("34, header size") << 34;
    QTest::newRow("72") << 72;
    QTest::newRow("144") << 144;
}

void tst_DesignSystem::brandMarkRingWidth()
{
    QFETCH(int, side);
    QImage image = transparentImage(QSize(side, side));
    QPainter painter(&image);
    BrandMark::paint(painter, image.rect(), paper());
    painter.end();

    // Across the middle row the ring's left edge is vertical, so its antialiased coverage adds up
    // to the line width. The "M" starts well to the right of the part summed here.
    const int row = side / 2;
    qreal coverage = 0;
    for (int x = 0; x < side * 7 / 36; ++x) {
        coverage += qAlpha(image.pixel(x, row)) / 255.0;
    }
    const qreal expected = 1.5 * side / 36.0;
    QVERIFY2(std::abs(coverage - expected) < 0.15,
             qPrintable(QStringLiteral("ring %1 wide, expected %2").arg(coverage).arg(expected)));
}

void tst_DesignSystem::buttonFill_data()
{
    QTest::addColumn<bool>("prominent");
    QTest::addColumn<bool>("pressed");
    QTest::addColumn<bool>("enabled");
    QTest::addColumn<QColor>("background");
    QTest::addColumn<QColor>("fill");
    QTest::addColumn<QColor>("outline");

    const QColor black = Qt::black;
    QTest::newRow("prominent") << true << false << true << canvas() << ember() << ember();
    QTest::newRow("prominent, pressed")
        << true << true << true << canvas() << blend(canvas(), ember(), 0.72)
        << blend(canvas(), ember(), 0.72);
    QTest::newRow("prominent, pressed on black")
        << true << true << true << black << blend(black, ember(), 0.72)
        << blend(black, ember(), 0.72);
    QTest::newRow("plain") << false << false << true << canvas() << raised() << separator();
    QTest::newRow("plain, pressed on paper")
        << false << true << true << paper() << blend(paper(), raised(), 0.72)
        << blend(paper(), separator(), 0.72);
    QTest::newRow("prominent, disabled")
        << true << false << false << canvas() << blend(canvas(), ember(), 0.45)
        << blend(canvas(), ember(), 0.45);
}

void tst_DesignSystem::buttonFill()
{
    QFETCH(bool, prominent);
    QFETCH(bool, pressed);
    QFETCH(bool, enabled);
    QFETCH(QColor, background);
    QFETCH(QColor, fill);
    QFETCH(QColor, outline);

    DarkroomButton button(QString(), prominent);
    button.resize(120, button.sizeHint().height());
    button.setDown(pressed);
    button.setEnabled(enabled);
    const QImage image = renderOver(button, background);

    const QColor centre = image.pixelColor(image.rect().center());
    QVERIFY2(distance(centre, fill) <= 2, describe(centre, fill));
    const QColor top = image.pixelColor(image.width() / 2, 0);
    QVERIFY2(distance(top, outline) <= 2, describe(top, outline));
    // Outside the rounded corner the background shows through untouched.
    QCOMPARE(image.pixelColor(0, 0).rgb(), background.rgb());
}

void tst_DesignSystem::buttonLabel_data()
{
    QTest::addColumn<bool>("prominent");
    QTest::addColumn<QColor>("fill");
    QTest::addColumn<QColor>("label");
    QTest::newRow("prominent: canvas on ember") << true << ember() << canvas();
    QTest::newRow("plain: paper on raised") << false << raised() << paper();
}

void tst_DesignSystem::buttonLabel()
{
    QFETCH(bool, prominent);
    QFETCH(QColor, fill);
    QFETCH(QColor, label);

    DarkroomButton button(QStringLiteral("HHHH"), prominent);
    button.resize(button.sizeHint());
    const QImage image = renderOver(button, canvas());
    const QRect inked = inkBounds(button);
    QVERIFY(!inked.isEmpty());

    // The glyph stems are wider than a pixel, so the label colour appears unblended somewhere.
    QColor farthest = fill;
    for (int y = inked.top(); y <= inked.bottom(); ++y) {
        for (int x = inked.left(); x <= inked.right(); ++x) {
            if (distance(image.pixelColor(x, y), fill) > distance(farthest, fill)) {
                farthest = image.pixelColor(x, y);
            }
        }
    }
    QVERIFY2(distance(farthest, label) <= 24, describe(farthest, label));
    // The label sits in the middle of the height.
    QVERIFY(std::abs(inked.top() - (image.height() - 1 - inked.bottom())) <= 2);
}

void tst_DesignSystem::buttonSize_data()
{
    QTest::addColumn<QString>("label");
    QTest::addColumn<QString>("symbol");
    QTest::newRow("short label") << QStringLiteral("Open") << QString();
    QTest::newRow("long label") << QStringLiteral("Open a Collection") << QString();
    QTest::newRow("label and symbol")
        << QStringLiteral("Open a Collection") << QStringLiteral("folder");
    QTest::newRow("symbol only") << QString() << QStringLiteral("plus");
}

void tst_DesignSystem::buttonSize()
{
    QFETCH(QString, label);
    QFETCH(QString, symbol);
    DarkroomButton button(label, true);
    button.setSymbol(symbol);
    QCOMPARE(button.font().pixelSize(), 13);
    QCOMPARE(button.font().weight(), QFont::DemiBold);
    QCOMPARE(button.sizeHint().height(), 34);

    // At its size hint nothing is cut or elided: the ink is as wide as with room to spare, and
    // keeps the 14 px insets.
    button.resize(button.sizeHint());
    const QRect hinted = inkBounds(button);
    button.resize(button.sizeHint() + QSize(40, 0));
    const QRect roomy = inkBounds(button);
    QVERIFY(!hinted.isEmpty());
    QCOMPARE(hinted.width(), roomy.width());
    QVERIFY(hinted.left() >= 14 && hinted.right() < button.sizeHint().width() - 14);

    if (!symbol.isEmpty() && !label.isEmpty()) {
        DarkroomButton plain(label, true);
        QVERIFY(button.sizeHint().width() > plain.sizeHint().width());
    }
}

void tst_DesignSystem::symbolsDrawDistinctShapes()
{
    const QStringList names = Symbols::names();
    for (const char *required : {"folder", "photo", "checkmark", "square.grid.3x3", "list.bullet",
                                 "rectangle.3.group", "plus"}) {
        QVERIFY2(names.contains(QLatin1String(required)), required);
    }

    QList<QImage> drawn;
    for (const QString &name : names) {
        QImage image = transparentImage(QSize(96, 64));
        QPainter painter(&image);
        const QPen pen(Qt::green, 3);
        painter.setPen(pen);
        Symbols::paint(painter, name, QRectF(16, 8, 64, 48), ember());
        QCOMPARE(painter.pen(), pen);
        painter.end();

        const QRect bounds = opaqueBounds(image);
        QVERIFY2(!bounds.isEmpty(), qPrintable(name));
        // Drawn only inside the centred 48 × 48 square, in the colour asked for.
        QVERIFY2(QRect(24, 8, 48, 48).contains(bounds), qPrintable(name));
        QVERIFY(bounds.width() >= 24 || bounds.height() >= 24);
        QColor strongest = Qt::transparent;
        for (int y = 0; y < image.height(); ++y) {
            for (int x = 0; x < image.width(); ++x) {
                if (image.pixelColor(x, y).alpha() > strongest.alpha()) {
                    strongest = image.pixelColor(x, y);
                }
            }
        }
        QVERIFY2(strongest.alpha() == 255 && distance(strongest, ember()) <= 2, qPrintable(name));
        QVERIFY2(!drawn.contains(image), qPrintable(name + QStringLiteral(" repeats a symbol")));
        drawn.append(image);

        const QIcon icon = Symbols::icon(name, paper());
        QVERIFY(!icon.isNull());
        QVERIFY(!opaqueBounds(icon.pixmap(QSize(20, 20)).toImage()).isEmpty());
        const QImage disabled = icon.pixmap(QSize(20, 20), QIcon::Disabled).toImage();
        const QImage normal = icon.pixmap(QSize(20, 20)).toImage();
        QVERIFY(disabled != normal);
    }
}

void tst_DesignSystem::unknownSymbolDrawsNothing()
{
    for (const QString &name :
         {QStringLiteral("trash.fill"), QString(), QStringLiteral("Folder")}) {
        QImage image = transparentImage(QSize(24, 24));
        QPainter painter(&image);
        Symbols::paint(painter, name, image.rect(), paper());
        painter.end();
        QVERIFY(opaqueBounds(image).isEmpty());
        QVERIFY(Symbols::icon(name, paper()).isNull());
        QVERIFY(!Symbols::contains(name));
    }
}

void tst_DesignSystem::sheetOpensWithInitialNameFocused()
{
    CategoryNameSheet sheet(prompt(QStringLiteral("Family")));
    sheet.show();
    QVERIFY(QTest::qWaitForWindowActive(&sheet));
    QTRY_VERIFY(sheet.nameField()->hasFocus());
    QCOMPARE(sheet.nameField()->text(), QStringLiteral("Family"));
    QCOMPARE(sheet.nameField()->selectedText(), QStringLiteral("Family"));
    QCOMPARE(sheet.nameField()->placeholderText(), QStringLiteral("Category name"));
    QCOMPARE(sheet.width(), 430);
    QCOMPARE(sheet.nameField()->height(), 38);
    QCOMPARE(sheet.actionButton()->text(), QStringLiteral("Rename"));
    QVERIFY(sheet.actionButton()->isProminent());
    QVERIFY(sheet.actionButton()->isDefault());
    QVERIFY(!sheet.cancelButton()->isProminent());
    QVERIFY(sheet.isModal() || sheet.windowModality() == Qt::WindowModal);

    // Typing replaces the selected name.
    QTest::keyClicks(sheet.nameField(), QStringLiteral("Trips"));
    QCOMPARE(sheet.nameField()->text(), QStringLiteral("Trips"));
}

void tst_DesignSystem::sheetFieldOutlineFollowsFocus()
{
    CategoryNameSheet sheet(prompt(QString()));
    sheet.show();
    QVERIFY(QTest::qWaitForWindowActive(&sheet));
    QLineEdit *field = sheet.nameField();
    QTRY_VERIFY(field->hasFocus());

    const auto topEdge = [field] {
        return field->grab().toImage().pixelColor(field->width() / 2, 0);
    };
    const QColor focused = topEdge();
    QVERIFY2(distance(focused, ember()) < distance(focused, separator()),
             describe(focused, ember()));

    sheet.cancelButton()->setFocus();
    QTRY_VERIFY(!field->hasFocus());
    const QColor unfocused = topEdge();
    QVERIFY2(distance(unfocused, separator()) < distance(unfocused, ember()),
             describe(unfocused, separator()));
    QCOMPARE(field->grab().toImage().pixelColor(field->rect().center()).rgb(), canvas().rgb());
}

void tst_DesignSystem::sheetSubmission_data()
{
    QTest::addColumn<QString>("initialName");
    QTest::addColumn<QString>("typed"); // null: keep the initial name
    QTest::addColumn<Trigger>("trigger");
    QTest::addColumn<QString>("submitted"); // empty: nothing is submitted

    const QString none;
    const QString travel = QStringLiteral("  Travel  ");
    QTest::newRow("initial name, Return") << QStringLiteral("Family") << QString()
                                          << Trigger::returnInField << QStringLiteral("Family");
    QTest::newRow("padded, Return")
        << none << travel << Trigger::returnInField << QStringLiteral("Travel");
    QTest::newRow("padded, action clicked")
        << none << travel << Trigger::clickAction << QStringLiteral("Travel");
    QTest::newRow("padded, Return with Cancel focused")
        << none << travel << Trigger::returnOnCancel << QStringLiteral("Travel");
    QTest::newRow("inner spaces kept") << none << QStringLiteral(" New  York ")
                                       << Trigger::returnInField << QStringLiteral("New  York");
    QTest::newRow("only spaces, Return")
        << none << QStringLiteral("   ") << Trigger::returnInField << none;
    QTest::newRow("only spaces, action clicked")
        << none << QStringLiteral("   ") << Trigger::clickAction << none;
    QTest::newRow("only spaces, submit called")
        << none << QStringLiteral("   ") << Trigger::callSubmit << none;
    QTest::newRow("initial name of spaces, Return")
        << QStringLiteral("  ") << QString() << Trigger::returnInField << none;
    QTest::newRow("name erased, Return")
        << QStringLiteral("Family") << QStringLiteral("") << Trigger::returnInField << none;
}

void tst_DesignSystem::sheetSubmission()
{
    QFETCH(QString, initialName);
    QFETCH(QString, typed);
    QFETCH(Trigger, trigger);
    QFETCH(QString, submitted);

    CategoryNameSheet sheet(prompt(initialName));
    QSignalSpy spy(&sheet, &CategoryNameSheet::submitted);
    sheet.show();
    QVERIFY(QTest::qWaitForWindowActive(&sheet));
    QLineEdit *field = sheet.nameField();
    QTRY_VERIFY(field->hasFocus());
    if (!typed.isNull()) {
        field->selectAll();
        QTest::keyClick(field, Qt::Key_Backspace);
        QTest::keyClicks(field, typed);
        QCOMPARE(field->text(), typed);
    }
    QCOMPARE(sheet.actionButton()->isEnabled(), !submitted.isEmpty());

    switch (trigger) {
    case Trigger::returnInField:
        QTest::keyClick(field, Qt::Key_Return);
        break;
    case Trigger::returnOnCancel:
        sheet.cancelButton()->setFocus();
        QTRY_VERIFY(sheet.cancelButton()->hasFocus());
        QTest::keyClick(sheet.cancelButton(), Qt::Key_Return);
        break;
    case Trigger::clickAction:
        QTest::mouseClick(sheet.actionButton(), Qt::LeftButton);
        break;
    case Trigger::callSubmit:
        sheet.submit();
        break;
    }

    if (submitted.isEmpty()) {
        QCOMPARE(spy.count(), 0);
        QVERIFY(sheet.isVisible());
        QCOMPARE(sheet.result(), 0);
    } else {
        QCOMPARE(spy.count(), 1);
        QCOMPARE(spy.at(0).at(0).toString(), submitted);
        QVERIFY(!sheet.isVisible());
        QCOMPARE(sheet.result(), int(QDialog::Accepted));
    }
}

void tst_DesignSystem::sheetDismissal_data()
{
    QTest::addColumn<bool>("escape"); // otherwise Cancel is clicked
    QTest::newRow("Escape") << true;
    QTest::newRow("Cancel clicked") << false;
}

void tst_DesignSystem::sheetDismissal()
{
    QFETCH(bool, escape);
    CategoryNameSheet sheet(prompt(QStringLiteral("Family")));
    QSignalSpy spy(&sheet, &CategoryNameSheet::submitted);
    sheet.show();
    QVERIFY(QTest::qWaitForWindowActive(&sheet));
    QTRY_VERIFY(sheet.nameField()->hasFocus());
    QTest::keyClicks(sheet.nameField(), QStringLiteral("Travel"));

    if (escape) {
        QTest::keyClick(sheet.nameField(), Qt::Key_Escape);
    } else {
        QTest::mouseClick(sheet.cancelButton(), Qt::LeftButton);
    }
    QVERIFY(!sheet.isVisible());
    QCOMPARE(sheet.result(), int(QDialog::Rejected));
    QCOMPARE(spy.count(), 0);
}

QTEST_MAIN(tst_DesignSystem)
#include "tst_DesignSystem.moc"
