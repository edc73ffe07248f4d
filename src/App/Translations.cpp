#include "Translations.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QTranslator>

#include <memory>

namespace {

std::unique_ptr<QTranslator> &ours()
{
    static std::unique_ptr<QTranslator> translator;
    return translator;
}

std::unique_ptr<QTranslator> &qts()
{
    static std::unique_ptr<QTranslator> translator;
    return translator;
}

// Loads `file` for `locale` from `folder` into `slot`, after removing what was there.
bool load(std::unique_ptr<QTranslator> &slot, const QLocale &locale, const QString &file,
          const QString &folder)
{
    if (slot) {
        QCoreApplication::removeTranslator(slot.get());
        slot.reset();
    }
    auto translator = std::make_unique<QTranslator>();
    if (!translator->load(locale, file, QStringLiteral("_"), folder)) {
        return false;
    }
    QCoreApplication::installTranslator(translator.get());
    slot = std::move(translator);
    return true;
}

} // namespace

bool Translations::install(const QLocale &locale)
{
    load(qts(), locale, QStringLiteral("qtbase"),
         QLibraryInfo::path(QLibraryInfo::TranslationsPath));
    return load(ours(), locale, QStringLiteral("calvenor_photo_sorter"), QStringLiteral(":/i18n"));
}
