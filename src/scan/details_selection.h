// What the details dialog of one category works on, free of the window
// system: the category's items collected from the page's list in scan
// order, and the tick of each. The dialog never owns the items; the page
// tells it to forget them (Abandon) before the list may be emptied.
//
// Also the two small decisions of the category check list: which click
// opens the details, and which category a row's "Option" text names.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "scan/found_item.h"
#include "scan/ignore_list.h"

namespace qm {

// The check list's columns.
inline constexpr int kOptionColumn = 0;
inline constexpr int kItemsFoundColumn = 1;
inline constexpr int kDetailsColumn = 2;
// The text of a "Details" cell whose category has items to show.
inline constexpr const char* kViewDetails = "View Details";

// The category (1 to 8) whose details a click opens: a click on the
// "Details" column of a row that reads "View Details"; 0 for any other.
int32_t DetailsCategoryForClick(int row, int column, const std::string& cellText);

// The category (1 to 8) whose row text is `text`, or 0.
int32_t CategoryOfRowText(const std::string& text);

// What the dialog shows below the list for one item: one line per target
// that was checked, with its answer (CRLF between lines, for an edit box).
std::string CheckedPanelText(const FoundItem& item);

class DetailsSelection {
  public:
    // Collects every item of `category` from `list` in its order, under the
    // list's lock, so that a scan may go on appending meanwhile.
    DetailsSelection(FoundItemList& list, int32_t category, bool rowTicked);

    int32_t category() const { return category_; }
    bool rowTicked() const { return rowTicked_; }
    // The category's header text for the dialog.
    const char* header() const { return CategoryDetailsHeader(category_); }

    size_t size() const { return items_.size(); }
    FoundItem* at(size_t index) const { return index < items_.size() ? items_[index] : nullptr; }
    const std::vector<FoundItem*>& items() const { return items_; }

    // The dialog opens: when the category's row is ticked, every item of it
    // becomes selected, whatever was left unticked at an earlier opening.
    void Open();
    void SelectAll();
    void UnselectAll();
    // Flips one item's tick; false when there is no such item.
    bool Toggle(const FoundItem* item);
    size_t SelectedCount() const;

    // The list is about to be emptied: the items are forgotten.
    void Abandon() { items_.clear(); }
    // The items that `list` hides are about to leave the list: they are
    // forgotten. Returns how many.
    size_t Forget(const IgnoreList& list);

  private:
    void SetAll(bool selected);

    int32_t category_;
    bool rowTicked_;
    std::vector<FoundItem*> items_;
};

}  // namespace qm
