#include "scan/details_selection.h"

#include <algorithm>

namespace qm {

int32_t DetailsCategoryForClick(int row, int column, const std::string& cellText) {
    if (row < 0 || row >= kCategoryCount || column != kDetailsColumn) return 0;
    return cellText == kViewDetails ? row + 1 : 0;
}

int32_t CategoryOfRowText(const std::string& text) {
    for (int32_t category = 1; category <= kCategoryCount; ++category) {
        if (text == CategoryRowText(category)) return category;
    }
    return 0;
}

std::string CheckedPanelText(const FoundItem& item) {
    std::string text;
    for (const CheckedTarget& checked : item.checked) {
        if (!text.empty()) text += "\r\n";
        text += CheckedLine(checked);
    }
    return text;
}

DetailsSelection::DetailsSelection(FoundItemList& list, int32_t category, bool rowTicked)
    : category_(category), rowTicked_(rowTicked) {
    list.ForEach([this](FoundItem& item) {
        if (item.category == category_) items_.push_back(&item);
    });
}

void DetailsSelection::Open() {
    if (rowTicked_) SetAll(true);
}

void DetailsSelection::SelectAll() {
    SetAll(true);
}

void DetailsSelection::UnselectAll() {
    SetAll(false);
}

void DetailsSelection::SetAll(bool selected) {
    for (FoundItem* item : items_) item->selected = selected;
}

bool DetailsSelection::Toggle(const FoundItem* item) {
    const auto found = std::find(items_.begin(), items_.end(), item);
    if (found == items_.end()) return false;
    (*found)->selected = !(*found)->selected;
    return true;
}

size_t DetailsSelection::Forget(const IgnoreList& list) {
    const size_t before = items_.size();
    std::erase_if(items_, [&list](const FoundItem* item) { return list.Hides(*item); });
    return before - items_.size();
}

size_t DetailsSelection::SelectedCount() const {
    return static_cast<size_t>(std::count_if(items_.begin(), items_.end(),
                                             [](const FoundItem* i) { return i->selected; }));
}

}  // namespace qm
