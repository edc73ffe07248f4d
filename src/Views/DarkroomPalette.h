#pragma once

// The eight colours the whole interface is built from: a dark, warm "darkroom" theme with one
// ember accent. Made once, on first use, from sRGB components.

#include <QColor>
#include <QPalette>

class QWidget;

namespace DarkroomPalette {

const QColor &canvas();     // window and header background, text on light fills
const QColor &raised();     // strips, bars, cell and field backgrounds, sheets
const QColor &paper();      // primary text, light fills
const QColor &mutedPaper(); // secondary text
const QColor &quiet();      // tertiary text, placeholders, symbols
const QColor &ember();      // accent: selection, focus, prominent buttons
const QColor &emberSoft();  // soft accent fill (drop-target highlight)
const QColor &separator();  // hairlines and unselected outlines

// Fills `widget`'s background with `color` (its Window colour, painted automatically).
void fillBackground(QWidget *widget, const QColor &color);

// A Fusion palette from the same colours, for menus, dialogs, tables and scroll bars.
QPalette applicationPalette();
// Slim scroll bars in the same colours: a rounded handle on a clear track, no arrow buttons.
QString scrollBarStyleSheet();

} // namespace DarkroomPalette
