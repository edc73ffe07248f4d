#pragma once

// The interface in the user's language: ours (built into the program) and Qt's own texts
// (dialog buttons) from the system's Qt translations. English needs nothing: the source texts
// are English, plurals included.

#include <QLocale>

namespace Translations {

// Installs the translations for `locale`, replacing earlier ones. False when ours have none
// for that language (the interface stays English).
bool install(const QLocale &locale = QLocale());

} // namespace Translations
