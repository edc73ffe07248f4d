#pragma once

// The interface's type: the application font or its monospaced companion at a size in
// device-independent pixels and a weight.

#include <QColor>
#include <QFont>

class QLabel;
class QWidget;

namespace Typography {

QFont font(qreal size, QFont::Weight weight = QFont::Normal);
QFont monospaced(qreal size, QFont::Weight weight = QFont::Normal);
// A label in `font` and `color`.
QLabel *
label(const QString &text, const QFont &font, const QColor &color, QWidget *parent = nullptr);

} // namespace Typography
