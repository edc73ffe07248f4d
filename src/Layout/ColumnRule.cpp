#include "ColumnRule.h"

#include <algorithm>
#include <cmath>

namespace ColumnRule {

int columnCount(double width, double sideMargin, double spacing, double cellSize)
{
    if (!(cellSize > 0) || !std::isfinite(width)) {
        return 1;
    }
    const double usable = std::max(width - 2 * sideMargin, cellSize);
    const double columns = std::floor((spacing + usable) / (spacing + cellSize));
    return std::max(1, int(std::min(columns, 1e6)));
}

} // namespace ColumnRule
