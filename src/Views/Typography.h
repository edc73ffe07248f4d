#pragma once

// The interface's type: the application font or its monospaced companion at a size in
// device-independent pixels and a weight, plain-text labels, and names made fit to draw.

#include <QColor>
#include <QFont>

class QLabel;
class QWidget;

namespace Typography {

QFont font(qreal size, QFont::Weight weight = QFont::Normal);
QFont monospaced(qreal size, QFont::Weight weight = QFont::Normal);
// A plain-text label in `font` and `color`: text that looks like markup (a folder named
// "<b>x</b>") shows as typed.
QLabel *
label(const QString &text, const QFont &font, const QColor &color, QWidget *parent = nullptr);

// A file, folder or category name as one line of visible text. Names come from the disk and
// may hold control characters and line separators, which would break a caption into clipped
// lines or draw nothing. Each becomes one visible stand-in: "↵" (U+21B5) for a line break
// (LF, VT, FF, CR, NEL, U+2028, U+2029), "⇥" (U+21E5) for a tab and "�" (U+FFFD) for any other
// C0 or C1 code or DEL. These are in the common interface fonts, where the Control Pictures
// block is not. Anything else, and any name without such characters, comes back unchanged.
QString displayName(const QString &name);

} // namespace Typography
