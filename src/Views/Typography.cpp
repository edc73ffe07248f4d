#include "Typography.h"

#include <QFontDatabase>
#include <QGuiApplication>
#include <QLabel>

namespace {

QFont sized(QFont font, qreal size, QFont::Weight weight)
{
    font.setPixelSize(qMax(1, qRound(size)));
    font.setWeight(weight);
    return font;
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
    result->setFont(font);
    QPalette palette = result->palette();
    palette.setColor(QPalette::WindowText, color);
    result->setPalette(palette);
    return result;
}
