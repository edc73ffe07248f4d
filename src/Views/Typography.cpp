#include "Typography.h"

#include <QFontDatabase>
#include <QGuiApplication>
#include <QLabel>

#include <algorithm>

namespace {

QFont sized(QFont font, qreal size, QFont::Weight weight)
{
    font.setPixelSize(qMax(1, qRound(size)));
    font.setWeight(weight);
    return font;
}

// What a character of a name is drawn as; 0 for characters that draw as themselves.
char16_t standIn(char16_t c)
{
    constexpr char16_t returnArrow = 0x21B5;
    constexpr char16_t tabArrow = 0x21E5;
    constexpr char16_t replacementCharacter = 0xFFFD;
    if ((c >= u'\n' && c <= u'\r') || c == 0x0085 || c == 0x2028 || c == 0x2029) {
        return returnArrow; // every kind of line break reads the same
    }
    if (c == u'\t') {
        return tabArrow;
    }
    if (c < 0x20 || (c >= 0x7F && c <= 0x9F)) {
        return replacementCharacter;
    }
    return 0;
}

} // namespace

namespace Typography {

QFont font(qreal size, QFont::Weight weight)
{
    return sized(QGuiApplication::font(), size, weight);
}

QFont monospaced(qreal size, QFont::Weight weight)
{
    return sized(QFontDatabase::systemFont(QFontDatabase::FixedFont), size, weight);
}

} // namespace Typography

QLabel *
Typography::label(const QString &text, const QFont &font, const QColor &color, QWidget *parent)
{
    auto *result = new QLabel(text, parent);
    result->setTextFormat(Qt::PlainText);
    result->setFont(font);
    QPalette palette = result->palette();
    palette.setColor(QPalette::WindowText, color);
    result->setPalette(palette);
    return result;
}

QString Typography::displayName(const QString &name)
{
    const auto first =
        std::find_if(name.cbegin(), name.cend(), [](QChar c) { return standIn(c.unicode()) != 0; });
    if (first == name.cend()) {
        return name; // the usual case: shared, not copied
    }
    QString shown = name;
    for (qsizetype i = first - name.cbegin(); i < shown.size(); ++i) {
        if (const char16_t symbol = standIn(shown[i].unicode())) {
            shown[i] = QChar(symbol);
        }
    }
    return shown;
}
