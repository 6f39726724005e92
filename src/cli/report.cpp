#include "cli/report.h"

#include <cstdio>

#include "platform/regtext/reg_text.h"

namespace qm::cli {

namespace {

void AppendUtf8(std::string& out, char32_t c) {
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

}  // namespace

std::string JsonString(const std::string& codePageText) {
    std::string out = "\"";
    for (char16_t c : regtext::CodePageToUtf16(codePageText)) {
        switch (c) {
            case '"':
                out += "\\\"";
                break;
            case '\\':
                out += "\\\\";
                break;
            case '\n':
                out += "\\n";
                break;
            case '\r':
                out += "\\r";
                break;
            case '\t':
                out += "\\t";
                break;
            default:
                if (c < 0x20) {
                    char escape[8];
                    std::snprintf(escape, sizeof escape, "\\u%04x", static_cast<unsigned>(c));
                    out += escape;
                } else {
                    AppendUtf8(out, c);
                }
        }
    }
    return out + "\"";
}

void PrintJson(std::ostream& out, const FoundItemList& items, const ScanCounters& counters) {
    out << "{\"total\": " << counters.totalCount << ", \"counts\": {";
    for (int c = 1; c <= kCategoryCount; ++c)
        out << (c > 1 ? ", " : "") << '"' << c << "\": " << counters.categoryCount[c];
    out << "}, \"items\": [";
    bool first = true;
    items.ForEach([&](const FoundItem& item) {
        out << (first ? "\n  " : ",\n  ") << "{\"category\": " << item.category
            << ", \"keyPath\": " << JsonString(item.keyPath)
            << ", \"valueName\": " << JsonString(item.valueName)
            << ", \"data\": " << JsonString(item.data)
            << ", \"detail\": " << JsonString(DetailText(item)) << "}";
        first = false;
    });
    out << (first ? "]}\n" : "\n]}\n");
}

void PrintText(std::ostream& out, const FoundItemList& items, const ScanCounters& counters,
               const bool scanned[kCategoryCount + 1]) {
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
}

}  // namespace qm::cli
