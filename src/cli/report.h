// Printing a scan's result: JSON for programs, a readable report for people.
#pragma once

#include <ostream>
#include <string>

#include "scan/found_item.h"

namespace qm::cli {

// A JSON string literal of code-page text (converted to UTF-8).
std::string JsonString(const std::string& codePageText);

void PrintJson(std::ostream& out, const FoundItemList& items, const ScanCounters& counters);
void PrintText(std::ostream& out, const FoundItemList& items, const ScanCounters& counters,
               const bool scanned[kCategoryCount + 1]);

}  // namespace qm::cli
