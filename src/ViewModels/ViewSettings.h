#pragma once

// The view settings kept in the preferences: their keys and how a stored value is read. A value
// that is missing, unknown, not a number, infinite or not above 0 counts as the default; sizes
// are not clamped here (the store's setters clamp).

#include "Models/Companions.h"
#include "Models/TextEnums.h"

#include <QSettings>

#include <optional>

namespace ViewSettings {

inline const QString sortOrderKey = QStringLiteral("photoSortOrder");
inline const QString thumbnailSizeKey = QStringLiteral("thumbnailSize");
inline const QString workspaceModeKey = QStringLiteral("workspaceMode");
inline const QString browseLayoutKey = QStringLiteral("browseLayout");
inline const QString browseFilterKey = QStringLiteral("browseCategoryFilterID");
inline const QString browseCellSizeKey = QStringLiteral("browseCellSize");
inline const QString companionsTogetherKey = QStringLiteral("keepCompanionsTogether");
inline const QString allCategories = QStringLiteral("all"); // the stored form of "no filter"

struct Values
{
    PhotoSortOrder sortOrder = PhotoSortOrder::filename;
    double thumbnailSize = 184;
    WorkspaceMode workspaceMode = WorkspaceMode::sort;
    BrowseLayoutMode browseLayout = BrowseLayoutMode::tiles;
    std::optional<QString> browseFilter;
    double browseCellSize = 240;
    CompanionRule companionRule = CompanionRule::together;
};

Values read(const QSettings &settings);

} // namespace ViewSettings
