#include "ui/link_cells.h"

namespace qm::ui {

std::string CellKey(int row, int column) {
    return std::to_string(row) + " x " + std::to_string(column);
}

std::optional<int> ColumnUnderCursor(int cursorX, int firstColumnX,
                                     const std::function<int(int)>& columnWidth) {
    if (cursorX < firstColumnX) return std::nullopt;
    int right = firstColumnX;
    for (int column = 0; column < 100; ++column) {
        right += columnWidth(column);
        if (right > cursorX) return column;
    }
    return std::nullopt;
}

}  // namespace qm::ui
