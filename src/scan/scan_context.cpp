#include "scan/scan_context.h"

#include <memory>
#include <utility>

#include "scan/ignore_list.h"

namespace qm {

void ScanContext::Add(std::string keyPath, std::string valueName, std::string data,
                      ScanCategory category, const Recheck& recheck) {
    // The registry functions take names that end at their first zero byte,
    // so an entry whose key path or name holds one cannot be named to them:
    // the repair would reach another entry or none. It is not reported.
    if (keyPath.find('\0') != std::string::npos || valueName.find('\0') != std::string::npos)
        return;
    const auto number = static_cast<int32_t>(category);
    auto item = std::make_unique<FoundItem>(std::move(keyPath), std::move(valueName),
                                            std::move(data), number);
    if (entries != nullptr && !entries->Admit(*item)) return;
    if (ignore != nullptr && ignore->Hides(*item)) {
        ++counters.ignoredCount;
        return;
    }
    // What changed on the disk since the first test leaves the entry alone.
    if (recheck(item->checked) != Existence::kMissing) return;
    items.Append(std::move(item));
    if (number >= 1 && number <= kCategoryCount) ++counters.categoryCount[number];
    ++counters.totalCount;
}

}  // namespace qm
