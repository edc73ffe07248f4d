#include "KeyMap.h"

namespace {

constexpr quint32 firstDigitRowScanCode = 10; // the key marked 1; 19 is the one marked 0

} // namespace

std::optional<int> KeyMap::filingDigit(int key, Qt::KeyboardModifiers modifiers,
                                       quint32 nativeScanCode)
{
    if (modifiers == Qt::NoModifier && key >= Qt::Key_0 && key <= Qt::Key_9) {
        return key - Qt::Key_0;
    }
    const Qt::KeyboardModifiers barring =
        Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier | Qt::KeypadModifier;
    if (modifiers & barring || nativeScanCode < firstDigitRowScanCode
        || nativeScanCode > firstDigitRowScanCode + 9) {
        return std::nullopt;
    }
    return int(nativeScanCode - firstDigitRowScanCode + 1) % 10;
}

std::optional<int> KeyMap::shortcutDigit(int key, Qt::KeyboardModifiers modifiers,
                                         quint32 nativeScanCode)
{
    if (modifiers != Qt::ControlModifier || (key >= Qt::Key_0 && key <= Qt::Key_9)) {
        return std::nullopt;
    }
    return filingDigit(key, Qt::NoModifier, nativeScanCode);
}
