#pragma once

// Which keys file photos, whatever the keyboard layout. Pure functions, so that every layout can
// be checked in a table.

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

} // namespace KeyMap
