#pragma once

// The application's own small icon set, drawn as line art with QPainter so it looks the same at
// any size and in any colour, whatever icon theme is installed. Names follow the symbol names the
// views use ("folder", "photo", "checkmark", ...); an unknown name draws nothing.

#include <QColor>
#include <QIcon>
#include <QRectF>
#include <QStringList>

class QPainter;

namespace Symbols {

// Every name that draws something.
QStringList names();
bool contains(const QString &name);

// Draws the symbol centred in the largest square that fits in `area`. `weight` scales the stroke
// width (below 1 for light, above 1 for bold); unknown names leave the painter untouched.
void paint(QPainter &painter,
           const QString &name,
           const QRectF &area,
           const QColor &color,
           qreal weight = 1.0);

// An icon that draws the symbol at whatever size is asked for, dimmed when disabled.
// A null icon for an unknown name.
QIcon icon(const QString &name, const QColor &color);

} // namespace Symbols
