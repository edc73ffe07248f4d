#pragma once

// The user-selectable text-backed enumerations. Each case's raw value is its persisted form
// and its id; `allCases` lists them in menu order. Parsing any other text gives no value, so
// the caller keeps its default.

#include <QCoreApplication>
#include <QString>

#include <array>
#include <optional>

enum class PhotoSortOrder { filename, modificationDate, dateTaken };
enum class WorkspaceMode { sort, browse };
enum class BrowseLayoutMode { tiles, list, masonry };

template<typename Enum>
struct TextEnumCase
{
    Enum value;
    const char *rawValue;
    const char *label;
    const char *systemImage = "";
    const char *shortcutNumber = "";
};

template<typename Enum>
struct TextEnumTable;

template<>
struct TextEnumTable<PhotoSortOrder>
{
    static constexpr std::array<TextEnumCase<PhotoSortOrder>, 3> cases{{
        {PhotoSortOrder::filename, "filename", QT_TRANSLATE_NOOP("TextEnums", "Filename")},
        {PhotoSortOrder::modificationDate, "modificationDate",
         QT_TRANSLATE_NOOP("TextEnums", "Modification Date")},
        {PhotoSortOrder::dateTaken, "dateTaken", QT_TRANSLATE_NOOP("TextEnums", "Date Taken")},
    }};
};

template<>
struct TextEnumTable<WorkspaceMode>
{
    static constexpr std::array<TextEnumCase<WorkspaceMode>, 2> cases{{
        {WorkspaceMode::sort, "sort", QT_TRANSLATE_NOOP("TextEnums", "Sort")},
        {WorkspaceMode::browse, "browse", QT_TRANSLATE_NOOP("TextEnums", "Browse")},
    }};
};

template<>
struct TextEnumTable<BrowseLayoutMode>
{
    static constexpr std::array<TextEnumCase<BrowseLayoutMode>, 3> cases{{
        {BrowseLayoutMode::tiles, "tiles", QT_TRANSLATE_NOOP("TextEnums", "Tiles"), "square.grid.3x3", "1"},
        {BrowseLayoutMode::list, "list", QT_TRANSLATE_NOOP("TextEnums", "List"), "list.bullet", "2"},
        {BrowseLayoutMode::masonry, "masonry", QT_TRANSLATE_NOOP("TextEnums", "Masonry"), "rectangle.3.group", "3"},
    }};
};

template<typename Enum>
constexpr auto allCases()
{
    std::array<Enum, TextEnumTable<Enum>::cases.size()> values{};
    for (std::size_t i = 0; i < values.size(); ++i) {
        values[i] = TextEnumTable<Enum>::cases[i].value;
    }
    return values;
}

template<typename Enum>
constexpr const TextEnumCase<Enum> &textEnumCase(Enum value)
{
    for (const auto &entry : TextEnumTable<Enum>::cases) {
        if (entry.value == value) {
            return entry;
        }
    }
    return TextEnumTable<Enum>::cases.front(); // unreachable for valid enumerators
}

template<typename Enum>
QString rawValue(Enum value)
{
    return QString::fromLatin1(textEnumCase(value).rawValue);
}

// In the user's language.
template<typename Enum>
QString label(Enum value)
{
    return QCoreApplication::translate("TextEnums", textEnumCase(value).label);
}

template<typename Enum>
QString systemImage(Enum value)
{
    return QString::fromLatin1(textEnumCase(value).systemImage);
}

template<typename Enum>
QString shortcutNumber(Enum value)
{
    return QString::fromLatin1(textEnumCase(value).shortcutNumber);
}

template<typename Enum>
std::optional<Enum> fromRawValue(QStringView text)
{
    for (const auto &entry : TextEnumTable<Enum>::cases) {
        if (text == QLatin1StringView(entry.rawValue)) {
            return entry.value;
        }
    }
    return std::nullopt;
}
