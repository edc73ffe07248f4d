#include "KeyMap.h"

#include "Models/NaturalOrder.h"

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

QList<PhotoSection> KeyMap::matchingCategories(const QList<PhotoSection> &sections,
                                               const QString &typed)
{
    const QString needle = foldedForSorting(typed.trimmed());
    if (needle.isEmpty()) {
        return {};
    }
    QList<PhotoSection> groups[3]; // prefix, word start, anywhere
    for (const PhotoSection &section : sections) {
        if (section.kind != PhotoSectionKind::category) {
            continue;
        }
        const QString name = foldedForSorting(section.name);
        const qsizetype at = name.indexOf(needle);
        if (at < 0) {
            continue;
        }
        if (at == 0) {
            groups[0].append(section);
            continue;
        }
        bool wordStart = false;
        for (qsizetype i = at; i >= 0 && !wordStart; i = name.indexOf(needle, i + 1)) {
            wordStart = !name[i - 1].isLetterOrNumber();
        }
        groups[wordStart ? 1 : 2].append(section);
    }
    return groups[0] + groups[1] + groups[2];
}
