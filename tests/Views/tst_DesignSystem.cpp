#include "Views/BrandMark.h"
#include "Views/CategoryNameSheet.h"
#include "Views/DarkroomButton.h"
#include "Views/DarkroomPalette.h"
#include "Views/HudView.h"
#include "Views/PhotoCellPainter.h"
#include "Views/RootView.h"
#include "Views/SegmentedControl.h"
#include "Views/Symbols.h"
#include "Views/Typography.h"

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QSignalSpy>
#include <QTest>

#include <memory>

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
            // The field's outline shows ember while it has focus.
            const QColor top = field->grab().toImage().pixelColor(field->width() / 2, 0);
            QCOMPARE(distance(top, ember()) < distance(top, separator()), target == field);
            QTest::keyClick(target, trigger == "Escape"_L1 ? Qt::Key_Escape : Qt::Key_Return);
        }

        QCOMPARE(spy.count(), submitted.isEmpty() ? 0 : 1);
        QCOMPARE(spy.value(0).value(0).toString(), submitted);
        QCOMPARE(sheet.isVisible(), submitted.isEmpty() && !dismissing);
        QCOMPARE(sheet.result() == QDialog::Accepted, !submitted.isEmpty());
    }

    void displayName_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("shown");

        const QString plain = u"IMG 0001 (copy)~.jpg"_s, world = u"Été 🌅 a\u00A0b\u200Dc"_s;
        QTest::newRow("plain, space and tilde at the edges") << plain << plain;
        QTest::newRow("accents, emoji, no-break space, joiner") << world << world;
        QTest::newRow("empty") << QString() << QString();
        QTest::newRow("CR LF, vertical tab, form feed") << u"a\r\nb\vc\f"_s << u"a↵↵b↵c↵"_s;
        QTest::newRow("tab") << u"a\tb"_s << u"a⇥b"_s;
        QTest::newRow("NUL, bell, backspace, escape, unit separator")
            << u"\0a\a\b\x1b\x1f"_s << u"�a����"_s;
        QTest::newRow("delete, other C1 codes") << u"a\x7f\u0080x\u009F"_s << u"a��x�"_s;
        QTest::newRow("next line, line and paragraph separators")
            << u"a\u0085b\u2028c\u2029d"_s << u"a↵b↵c↵d"_s;
    }

    // Every character that would break a name into lines or draw nothing gets a visible
    // stand-in, one for one; everything else stays.
    void displayName()
    {
        QFETCH(QString, name);
        QFETCH(QString, shown);
        QCOMPARE(Typography::displayName(name), shown);
    }

    // A folder named like markup (the collection's name in the header) reads as typed.
    void labelShowsMarkupAsTyped()
    {
        const QString name = u"<b>Holiday</b>"_s;
        const QFont font = Typography::font(21, QFont::Bold);
        std::unique_ptr<QLabel> label(Typography::label(name, font, paper()));
        QCOMPARE(label->sizeHint().width(), QFontMetrics(font).horizontalAdvance(name));
    }

    void burstLooks_data()
    {
        using Groups = QList<QStringList>;
        QTest::addColumn<Groups>("before");
        QTest::addColumn<Groups>("after");
        QTest::addColumn<QString>("repainted"); // the cells that look different after
        QTest::addColumn<QString>("reaches");   // how far each cell's band runs on, after
        const QStringList ab{u"a"_s, u"b"_s};
        QTest::newRow("a burst appears") << Groups() << Groups{ab} << u"a|b"_s << u"14|0|0|0"_s;
        QTest::newRow("renumbered by a burst above")
            << Groups{ab} << Groups{{u"x"_s, u"y"_s}, ab} << QString() << u"14|0|0|0"_s;
        QTest::newRow("off screen only")
            << Groups() << Groups{{u"x"_s, u"y"_s}} << QString() << u"0|0|0|0"_s;
        // Every frame's count changes; the band stops at the row's end.
        QTest::newRow("a frame joins on the next row")
            << Groups{ab} << Groups{{u"a"_s, u"b"_s, u"c"_s}} << u"a|b|c"_s << u"14|0|0|0"_s;
        // Only where the band reaches the next frame does the frame before look different.
        QTest::newRow("the next frame leaves")
            << Groups{{u"a"_s, u"b"_s, u"d"_s}} << Groups{{u"a"_s, u"d"_s}} << u"a|b|d"_s
            << u"0|0|0|0"_s;
        QTest::newRow("the burst goes") << Groups{ab} << Groups() << u"a|b"_s << u"0|0|0|0"_s;
    }

    // A change of the marked groups repaints only the cells on screen that look different,
    // joined to the next frame's cell on the same row.
    void burstLooks()
    {
        QFETCH(QList<QStringList>, before);
        QFETCH(QList<QStringList>, after);
        QFETCH(QString, repainted);
        QFETCH(QString, reaches);
        // Two rows of two cells, 14 apart.
        const QStringList ids{u"a"_s, u"b"_s, u"c"_s, u"d"_s};
        const QList<QRectF> rects{
            {0, 0, 100, 72}, {114, 0, 100, 72}, {0, 100, 100, 72}, {114, 100, 100, 72}};
        const auto was = PhotoCellPainter::burstLooks(ids, rects, Bursts::fromGroups(before));
        const auto now = PhotoCellPainter::burstLooks(ids, rects, Bursts::fromGroups(after));
        QStringList changed;
        QStringList reach;
        for (qsizetype i = 0; i < ids.size(); ++i) {
            if (!now[i].looksLike(was[i])) {
                changed.append(ids[i]);
            }
            reach.append(QString::number(now[i].bandReach));
        }
        QCOMPARE(changed.join(u'|'), repainted);
        QCOMPARE(reach.join(u'|'), reaches);
    }

    void captionOnOneLine_data()
    {
        QTest::addColumn<bool>("masonry");
        QTest::newRow("tile: under the image") << false;
        QTest::newRow("masonry: on the caption bar") << true;
    }

    // A name with a newline draws as one line in the caption's strip, not two clipped ones.
    void captionOnOneLine()
    {
        QFETCH(bool, masonry);
        Photo photo;
        photo.id = u"1"_s;
        photo.filename = u"first line\nsecond line.jpg"_s;
        QImage image = filled(QSize(300, 200), canvas());
        const QRectF cell(20, 20, 260, masonry ? 160 : 120);
        QPainter painter(&image);
        if (masonry) {
            PhotoCellPainter::paintMasonry(painter, cell, photo, QImage(), {});
        } else {
            PhotoCellPainter::paint(painter, cell, photo, QImage(), {});
        }
        painter.end();

        const QColor ink = masonry ? paper() : mutedPaper();
        const int captionTop = int(masonry ? cell.bottom() - PhotoCellPainter::masonryCaptionHeight
                                           : cell.bottom() + 1);
        const QRect strip(0, captionTop, image.width(), image.height() - captionTop);
        const QRect text = boundsWhere(image, [&](int x, int y) {
            return strip.contains(x, y) && distance(image.pixelColor(x, y), ink) < 64;
        });
        // One line is as wide as both parts side by side, and no taller than a line.
        const QFontMetrics metrics(Typography::font(11, masonry ? QFont::DemiBold : QFont::Medium));
        const int bothParts = metrics.horizontalAdvance(u"first line"_s) +
                              metrics.horizontalAdvance(u"second line.jpg"_s);
        QCOMPARE_GE(text.width(), bothParts);
        QCOMPARE_LE(text.height(), metrics.height());
    }

    // Each segment's text is drawn clear of the segment's edges, however long a translation.
    void segmentTextsHaveRoom()
    {
        const QStringList texts{u"Tri"_s, u"Parcourir"_s};
        QList<SegmentedControl::Segment> segments;
        for (const QString &text : texts) {
            segments.append({text, {}, {}});
        }
        SegmentedControl control(segments, 144);
        const QImage image = renderOver(control, canvas());
        const int lift = qGray(separator().rgb());
        for (int i = 0; i < texts.size(); ++i) {
            const QRect segment = control.segmentRect(i);
            const QRect ink = boundsWhere(image, [&](int x, int y) {
                return segment.contains(x, y) && qGray(image.pixel(x, y)) > lift + 48;
            });
            QVERIFY2(ink.left() - segment.left() >= 8 && segment.right() - ink.right() >= 8,
                     qPrintable(texts[i]));
        }
    }

    void hudWidth_data()
    {
        QTest::addColumn<QString>("message");
        QTest::addColumn<bool>("shortened");
        QTest::newRow("short") << u"→ Beach"_s << false;
        QTest::newRow("300-character category") << u"→ "_s + u"Holiday"_s.repeated(43) << true;
    }

    // The pill fits its message, up to a reading width; a longer one is shortened in the middle.
    void hudWidth()
    {
        QFETCH(QString, message);
        QFETCH(bool, shortened);
        HudView hud;
        hud.setMessage(message, false);
        const int textWidth =
            QFontMetrics(Typography::monospaced(13, QFont::Bold)).horizontalAdvance(message);
        QVERIFY(hud.isVisible());
        QCOMPARE(hud.width(), hud.sizeHint().width());
        QCOMPARE(hud.width() < textWidth, shortened);
        QVERIFY(hud.width() <= 512);
    }

    void alertWraps_data()
    {
        QTest::addColumn<QString>("title");
        QTest::addColumn<QString>("message");

        const QString longName = u"Holiday"_s.repeated(43).left(300);
        QTest::newRow("300-character name in the message")
            << u"Couldn’t Create Category"_s
            << u"Couldn’t create the folder “%1”: File name too long."_s.arg(longName);
        QTest::newRow("300-character name in the title")
            << u"Delete “%1”?"_s.arg(longName)
            << u"The empty folder will be removed. You can undo this action."_s;
        QTest::newRow("many short words")
            << u"Couldn’t Move Photos"_s << u"one two three four five six "_s.repeated(20);
        QTest::newRow("markup and a newline in a name")
            << u"Couldn’t Rename Category"_s
            << u"A category named “<b>Cats</b>\nDogs” already exists."_s;
    }

    // However long an unbroken name, an alert keeps a reading width (and room for its title)
    // and shows its whole text, as typed: wrapped, never cut off, never read as markup.
    void alertWraps()
    {
        QFETCH(QString, title);
        QFETCH(QString, message);
        constexpr int widest = 500; // a message box's own reading width on a large screen
        QWidget window;
        window.resize(1600, 900);
        window.show();
        std::unique_ptr<QMessageBox> box(
            RootView::makeAlert(title, message, QMessageBox::Ok, &window));
        box->show();
        QVERIFY(QTest::qWaitForWindowExposed(box.get()));
        // and at least wide enough for its title beside a window manager's icon and buttons
        const int titleWidth = QFontMetrics(QApplication::font("QMdiSubWindowTitleBar"))
                                   .horizontalAdvance(box->windowTitle());
        QCOMPARE_LE(box->width(), widest);
        QCOMPARE_GE(box->width(), titleWidth + 120);
        for (const auto &[objectName, text] : {std::pair{"qt_msgbox_label", title},
                                               std::pair{"qt_msgbox_informativelabel", message}}) {
            const auto *label = box->findChild<QLabel *>(QString::fromLatin1(objectName));
            QVERIFY(label);
            QCOMPARE(label->textFormat(), Qt::PlainText);
            QCOMPARE(label->text().remove(QChar(0x200B)), Typography::displayName(text));
            QVERIFY(box->rect().contains(QRect(label->mapTo(box.get(), QPoint()), label->size())));
            if (label->wordWrap()) {
                QVERIFY2(label->height() >= label->heightForWidth(label->width()), objectName);
            } else {
                QVERIFY2(label->width() >= label->sizeHint().width(), objectName);
            }
        }
    }
};

QTEST_MAIN(tst_DesignSystem)
#include "tst_DesignSystem.moc"
