#include "scan/details_entry_layout.h"

#include <algorithm>

namespace qm::details_entry {

bool InTickBox(int x, int y) {
    return x > kTickFrame.left && x < kTickFrame.right && y > kTickFrame.top &&
           y < kTickFrame.bottom;
}

std::string EntryText(const FoundItem& item) {
    return item.keyPath + "\n" + item.data + "\n" + item.valueName;
}

int EntryHeight(int detailTextHeight, int shownTextHeight) {
    const int height =
        std::max(detailTextHeight + kHeightPadding, shownTextHeight + kTextTop + kTextBottom);
    return std::clamp(height, 1, kMaxHeight);
}

int ShownTextWidth(int entryWidth) {
    return std::max(1, entryWidth - kTextLeft - kTextRight);
}

}  // namespace qm::details_entry
