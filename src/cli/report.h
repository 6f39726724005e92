// Printing a scan's result: JSON for programs, a readable report for people.
// Both are UTF-8: names and data, which the registry hands out in its code
// page, are converted from that code page.
#pragma once

#include <ostream>
#include <string>

#include "platform/code_page.h"
#include "scan/found_item.h"

namespace qm::cli {

// Code-page text as UTF-8; bytes that are no character of the code page
// become U+FFFD, so the result is always valid UTF-8.
std::string Utf8Text(const std::string& codePageText, const CodePage& codePage);

// A JSON string literal of code-page text (converted to UTF-8).
std::string JsonString(const std::string& codePageText, const CodePage& codePage);

void PrintJson(std::ostream& out, const FoundItemList& items, const ScanCounters& counters,
               const CodePage& codePage);
void PrintText(std::ostream& out, const FoundItemList& items, const ScanCounters& counters,
               const bool scanned[kCategoryCount + 1], const CodePage& codePage);

}  // namespace qm::cli
