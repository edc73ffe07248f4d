#pragma once

// Which keys file photos, whatever the keyboard layout, and which categories a typed name
// picks. Pure functions, so that every layout and every name can be checked in a table.

#include "Models/PhotoSection.h"

#include <QList>
#include <QString>
#include <Qt>

#include <optional>

namespace KeyMap {

// The number (0 to 9) a key press files into, or none. A typed digit counts first, with no
// modifier at all. Then the digit row by its physical key, whatever the layout types there
// (AZERTY's "&", "é", ... without Shift): on X11 and Wayland its native scan codes are 10 to 19
// (evdev codes plus 8) on every layout. Shift may be held there; Ctrl, Alt or Meta may not, and
// the keypad never files (it sends other codes, with the keypad modifier).
std::optional<int> filingDigit(int key, Qt::KeyboardModifiers modifiers, quint32 nativeScanCode);

// The digit of a Ctrl+digit shortcut typed on the digit row of a layout whose digit row types
// other characters (AZERTY's Ctrl+"&" for Ctrl+1), or none. A key that is already a digit
// needs no help: the shortcut matches by itself.
std::optional<int> shortcutDigit(int key, Qt::KeyboardModifiers modifiers, quint32 nativeScanCode);

// The categories among `sections` whose names match `typed`, best first: names that start with
// it, then names with a word that starts with it, then names that hold it anywhere; each group
// in board order. Letter case and accents are ignored ("eté" finds "Été 2024").
QList<PhotoSection> matchingCategories(const QList<PhotoSection> &sections, const QString &typed);

} // namespace KeyMap
