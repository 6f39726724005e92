#include "platform/registry_names.h"

#include <cstdint>

#include "platform/name_case.h"

namespace qm {

namespace {

// The UTF-16 unit of the two-byte character at `at`; U+FFFD when the code
// page has no such character.
char16_t PairUnit(std::string_view text, size_t at, const CodePage& codePage) {
    const std::u16string unit = codePage.ToUtf16(text.substr(at, 2));
    return unit.size() == 1 ? unit[0] : char16_t{0xFFFD};
}

// What the character at `at` (of `length` bytes) orders by.
uint32_t OrderOf(std::string_view text, size_t at, size_t length, const CodePage& codePage) {
    if (length == 1) return codePage.OrderUnit(static_cast<uint8_t>(text[at]));
    const char16_t unit = PairUnit(text, at, codePage);
    // A pair that is no character orders by its bytes, after every character.
    if (unit == 0xFFFD)
        return 0x10000u + (static_cast<uint8_t>(text[at]) << 8) +
               static_cast<uint8_t>(text[at + 1]);
    return static_cast<uint32_t>(LowerChar(UpperChar(unit)));
}

}  // namespace

int CompareNames(std::string_view a, std::string_view b, const CodePage& codePage) {
    if (!codePage.HasLeadBytes()) {
        const size_t n = std::min(a.size(), b.size());
        for (size_t i = 0; i < n; ++i) {
            const uint16_t ua = codePage.OrderUnit(static_cast<uint8_t>(a[i]));
            const uint16_t ub = codePage.OrderUnit(static_cast<uint8_t>(b[i]));
            if (ua != ub) return ua < ub ? -1 : 1;
        }
        if (a.size() == b.size()) return 0;
        return a.size() < b.size() ? -1 : 1;
    }
    size_t i = 0, k = 0;
    while (i < a.size() && k < b.size()) {
        const size_t la = codePage.CharLength(a, i), lb = codePage.CharLength(b, k);
        const uint32_t ua = OrderOf(a, i, la, codePage), ub = OrderOf(b, k, lb, codePage);
        if (ua != ub) return ua < ub ? -1 : 1;
        i += la;
        k += lb;
    }
    if (i == a.size() && k == b.size()) return 0;
    return i == a.size() ? -1 : 1;
}

bool NamesEqual(std::string_view a, std::string_view b, const CodePage& codePage) {
    if (codePage.HasLeadBytes()) return FoldName(a, codePage) == FoldName(b, codePage);
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        if (codePage.FoldByte(static_cast<uint8_t>(a[i])) !=
            codePage.FoldByte(static_cast<uint8_t>(b[i])))
            return false;
    }
    return true;
}

std::string FoldName(std::string_view name, const CodePage& codePage) {
    if (!codePage.HasLeadBytes()) {
        std::string folded(name.size(), '\0');
        for (size_t i = 0; i < name.size(); ++i)
            folded[i] = codePage.FoldByte(static_cast<uint8_t>(name[i]));
        return folded;
    }
    std::string folded;
    folded.reserve(name.size());
    for (size_t i = 0; i < name.size();) {
        const size_t length = codePage.CharLength(name, i);
        if (length == 1) {
            folded.push_back(codePage.FoldByte(static_cast<uint8_t>(name[i])));
        } else {
            // The capital's own bytes, which also makes one of two byte
            // pairs of the same character the other.
            const char16_t unit = PairUnit(name, i, codePage);
            std::string capital;
            if (unit != 0xFFFD &&
                codePage.FromUtf16(std::u16string(1, static_cast<char16_t>(UpperChar(unit))),
                                   capital)) {
                folded += capital;
            } else {
                folded.append(name.substr(i, 2));
            }
        }
        i += length;
    }
    return folded;
}

int CompareNames(std::string_view a, std::string_view b) {
    return CompareNames(a, b, CodePage::Windows1252());
}

bool NamesEqual(std::string_view a, std::string_view b) {
    return NamesEqual(a, b, CodePage::Windows1252());
}

std::string FoldName(std::string_view name) {
    return FoldName(name, CodePage::Windows1252());
}

}  // namespace qm
