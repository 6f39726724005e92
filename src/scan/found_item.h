// What a scan finds: one FoundItem per invalid registry entry, kept in the
// order found by a FoundItemList, with per-category counters, and the fixed
// texts of the eight scan categories.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/registry_service.h"
#include "scan/checked_target.h"

namespace qm {

// The eight categories, in the order they are scanned. The number is the
// item's category; the page's check-list row is the number minus one.
enum class ScanCategory : int32_t {
    ComActiveX = 1,
    Uninstall = 2,
    Fonts = 3,
    SharedDlls = 4,
    AppPaths = 5,
    HelpFiles = 6,
    WindowsStartup = 7,
    FilePathReference = 8,
};

inline constexpr int kCategoryCount = 8;

struct FoundItem {
    FoundItem(std::string keyPath_, std::string valueName_, std::string data_, int32_t category_)
        : keyPath(std::move(keyPath_)),
          data(std::move(data_)),
          valueName(std::move(valueName_)),
          category(category_) {}

    // "HKLM\..." / "HKCU\..." / "HKCR\..." / "HKUS\...": root prefix, one
    // backslash, the path below the root.
    std::string keyPath;
    // What the entry points at; shown to the user only.
    std::string data;
    // The value to delete, or the subkey below keyPath to delete (see
    // ItemIsKey), or for COM/ActiveX items a label.
    std::string valueName;
    int32_t category = 0;
    bool selected = false;
    // What the scanner tested for the entry and each answer; never empty
    // for an item a scanner found.
    CheckLog checked;
};

// Whether repairing the item deletes a key (true) or a value (false).
bool ItemIsKey(const FoundItem& item);
bool ItemIsKey(int32_t category, const std::string& keyPath);
// The key the item lies at: the key its repair deletes, or the key that
// holds its value.
std::string ItemKey(int32_t category, const std::string& keyPath, const std::string& valueName);

// The root key that an item's four-letter prefix names (compared with
// case), or kNull; and the path below it, keyPath without its prefix and
// backslash.
HKey ItemRoot(const FoundItem& item);
std::string ItemSubKey(const FoundItem& item);

// The items found, in the order found. Appending and walking take a lock so
// that the details dialog can look at the list while a scan adds to it;
// the items themselves stay where they are until the list is cleared, so a
// pointer handed out by ForEach stays valid until then.
class FoundItemList {
  public:
    void Append(std::unique_ptr<FoundItem> item);
    void Clear();
    size_t Count() const;
    // Takes every item for which `taken` holds out of the list, in order.
    std::vector<std::unique_ptr<FoundItem>> Take(
        const std::function<bool(const FoundItem&)>& taken);
    // Calls `visit` for every item in order, under the lock.
    void ForEach(const std::function<void(FoundItem&)>& visit);
    void ForEach(const std::function<void(const FoundItem&)>& visit) const;

  private:
    mutable std::mutex mutex_;
    std::vector<std::unique_ptr<FoundItem>> items_;
};

// categoryCount[1..8] and totalCount; index 0 is unused. ignoredCount:
// the items the ignore list left out, counted in neither.
struct ScanCounters {
    std::array<int32_t, kCategoryCount + 1> categoryCount{};
    int32_t totalCount = 0;
    int32_t ignoredCount = 0;

    void Reset() {
        categoryCount.fill(0);
        totalCount = 0;
        ignoredCount = 0;
    }
};

// The fixed texts of a category (1 to 8); empty for any other number.
const char* CategoryRowText(int32_t category);
const char* CategoryStatusText(int32_t category);
// The status label's text while the category's items are repaired.
const char* CategoryFixingText(int32_t category);
// Header of the details dialog.
const char* CategoryDetailsHeader(int32_t category);
// Text of the page's description box when the row is clicked.
const char* CategoryDescription(int32_t category);
// The description box's text before any row is clicked.
extern const char* const kInitialDescription;

// The paragraph the details dialog shows for one item.
std::string DetailText(const FoundItem& item);

}  // namespace qm
