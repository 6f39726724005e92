// Link cells of the category list: the key under which a cell's record is
// kept, and which column lies under the mouse.
#pragma once

#include <functional>
#include <optional>
#include <string>

namespace qm::ui {

// "row x column", e.g. "3 x 2".
std::string CellKey(int row, int column);

// The column under horizontal screen position `cursorX` when column 0 starts
// at `firstColumnX`: column widths are added up until the sum passes the
// cursor, trying at most 100 columns. Nothing when the cursor lies left of
// the first column or right of the last.
std::optional<int> ColumnUnderCursor(int cursorX, int firstColumnX,
                                     const std::function<int(int)>& columnWidth);

}  // namespace qm::ui
