#pragma once

// The column rule shared by the sorting board and the Browse layouts: how many cells of a
// given size fit across a width, with a side margin on both sides and spacing between cells.

namespace ColumnRule {

// usable = max(width − 2 × sideMargin, cellSize); columns = ⌊(spacing + usable) ÷ (spacing +
// cellSize)⌋, at least 1. A non-positive cell size counts as one column.
int columnCount(double width, double sideMargin, double spacing, double cellSize);

} // namespace ColumnRule
