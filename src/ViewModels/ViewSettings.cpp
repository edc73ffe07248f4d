#include "ViewSettings.h"

#include <cmath>

namespace ViewSettings {

namespace {

double positiveOr(const QVariant &value, double fallback)
{
    bool ok = false;
    const double number = value.toDouble(&ok);
    return ok && std::isfinite(number) && number > 0 ? number : fallback;
}

template<typename Enum>
Enum enumOr(const QVariant &value, Enum fallback)
{
    return fromRawValue<Enum>(value.toString()).value_or(fallback);
}

} // namespace

Values read(const QSettings &s)
{
    Values values;
    values.sortOrder = enumOr(s.value(sortOrderKey), values.sortOrder);
    values.thumbnailSize = positiveOr(s.value(thumbnailSizeKey), values.thumbnailSize);
    values.workspaceMode = enumOr(s.value(workspaceModeKey), values.workspaceMode);
    values.browseLayout = enumOr(s.value(browseLayoutKey), values.browseLayout);
    const QString filter = s.value(browseFilterKey, allCategories).toString();
    if (filter != allCategories) {
        values.browseFilter = filter;
    }
    values.browseCellSize = positiveOr(s.value(browseCellSizeKey), values.browseCellSize);
    if (!s.value(companionsTogetherKey, true).toBool()) {
        values.companionRule = CompanionRule::apart;
    }
    return values;
}

} // namespace ViewSettings
