#include "cli/report.h"

#include <cstdio>

#include "platform/regtext/reg_text.h"

namespace qm::cli {

std::string Utf8Text(const std::string& codePageText, const CodePage& codePage) {
    return regtext::Utf16ToUtf8(codePage.ToUtf16(codePageText));
}

std::string JsonString(const std::string& codePageText, const CodePage& codePage) {
    // Every byte to escape is ASCII, so the UTF-8 text is escaped byte by byte.
    std::string out = "\"";
    for (char c : Utf8Text(codePageText, codePage)) {
        if (c == '"' || c == '\\') {
            out += {'\\', c};
        } else if (c == '\n' || c == '\r' || c == '\t') {
            out += {'\\', c == '\n' ? 'n' : c == '\r' ? 'r' : 't'};
        } else if (static_cast<unsigned char>(c) < 0x20) {
            char escape[8];
            std::snprintf(escape, sizeof escape, "\\u%04x", static_cast<unsigned>(c));
            out += escape;
        } else {
            out += c;
        }
    }
    return out + "\"";
}

void PrintJson(std::ostream& out, const FoundItemList& items, const ScanCounters& counters,
               const CodePage& codePage) {
    out << "{\"total\": " << counters.totalCount << ", \"counts\": {";
    for (int c = 1; c <= kCategoryCount; ++c)
        out << (c > 1 ? ", " : "") << '"' << c << "\": " << counters.categoryCount[c];
    out << "}, \"items\": [";
    bool first = true;
    items.ForEach([&](const FoundItem& item) {
        out << (first ? "\n  " : ",\n  ") << "{\"category\": " << item.category
            << ", \"keyPath\": " << JsonString(item.keyPath, codePage)
            << ", \"valueName\": " << JsonString(item.valueName, codePage)
            << ", \"data\": " << JsonString(item.data, codePage)
            << ", \"detail\": " << JsonString(DetailText(item), codePage) << ", \"checked\": [";
        for (size_t i = 0; i < item.checked.size(); ++i)
            out << (i > 0 ? ", " : "")
                << "{\"target\": " << JsonString(item.checked[i].target, codePage)
                << ", \"answer\": \"" << AnswerName(item.checked[i].answer) << "\"}";
        out << "]}";
        first = false;
    });
    out << (first ? "]" : "\n]") << ", \"ignored\": " << counters.ignoredCount << "}\n";
}

void PrintText(std::ostream& out, const FoundItemList& items, const ScanCounters& counters,
               const bool scanned[kCategoryCount + 1], const CodePage& codePage) {
    for (int c = 1; c <= kCategoryCount; ++c) {
        out << CategoryRowText(c) << ": ";
        if (!scanned[c]) {
            out << "not scanned\n\n";
            continue;
        }
        out << counters.categoryCount[c] << " Problems Found\n";
        items.ForEach([&](const FoundItem& item) {
            if (item.category != c) return;
            std::string detail = DetailText(item);
            for (const CheckedTarget& checked : item.checked)
                detail += "\nChecked: " + CheckedLine(checked);
            detail = Utf8Text(detail, codePage);
            out << "  - ";
            for (char ch : detail) {
                out << ch;
                if (ch == '\n') out << "    ";
            }
            out << '\n';
        });
        out << '\n';
    }
    out << "Total: " << counters.totalCount << " problems found\n";
    if (counters.ignoredCount > 0)
        out << "Ignored: " << counters.ignoredCount << " items left out by the ignore list\n";
}

}  // namespace qm::cli
