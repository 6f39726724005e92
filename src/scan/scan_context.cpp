#include "scan/scan_context.h"

#include <memory>
#include <utility>

namespace qm {

void ScanContext::Add(std::string keyPath, std::string valueName, std::string data,
                      ScanCategory category) {
    const auto number = static_cast<int32_t>(category);
    items.Append(std::make_unique<FoundItem>(std::move(keyPath), std::move(valueName),
                                             std::move(data), number));
    if (number >= 1 && number <= kCategoryCount) ++counters.categoryCount[number];
    ++counters.totalCount;
}

}  // namespace qm
