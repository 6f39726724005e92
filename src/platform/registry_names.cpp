#include "platform/registry_names.h"

#include <array>
#include <cstdint>

#include "platform/code_page.h"

namespace qm {

namespace {

constexpr uint16_t UpperUtf16(uint16_t u) {
    if (u >= 'a' && u <= 'z') return static_cast<uint16_t>(u - 0x20);
    if (u >= 0xE0 && u <= 0xFE && u != 0xF7) return static_cast<uint16_t>(u - 0x20);
    switch (u) {
        case 0x00B5:
            return 0x039C;  // micro sign -> Greek capital mu
        case 0x00FF:
            return 0x0178;
        case 0x0153:
            return 0x0152;
        case 0x0161:
            return 0x0160;
        case 0x017E:
            return 0x017D;
        case 0x0192:
            return 0x0191;
        default:
            return u;
    }
}

// The lower-case form, used only for ordering: Wine orders subkeys by their
// lower-cased names.
constexpr uint16_t LowerUtf16(uint16_t u) {
    if (u >= 'A' && u <= 'Z') return static_cast<uint16_t>(u + 0x20);
    if (u >= 0xC0 && u <= 0xDE && u != 0xD7) return static_cast<uint16_t>(u + 0x20);
    switch (u) {
        case 0x0178:
            return 0x00FF;
        case 0x0152:
            return 0x0153;
        case 0x0160:
            return 0x0161;
        case 0x017D:
            return 0x017E;
        default:
            return u;
    }
}

struct NameTables {
    std::array<uint16_t, 256> order{};  // lower-cased UTF-16 unit of each byte
    std::array<char, 256> fold{};       // the byte whose UTF-16 form is that unit
};

constexpr NameTables MakeNameTables() {
    NameTables t;
    for (int b = 0; b < 256; ++b) {
        const uint16_t upper = UpperUtf16(CodePageCharToUtf16(static_cast<uint8_t>(b)));
        t.order[b] = LowerUtf16(upper);
        t.fold[b] = static_cast<char>(b);  // no code-page form: the byte stands for itself
        for (int c = 0; c < 256; ++c) {
            if (CodePageCharToUtf16(static_cast<uint8_t>(c)) == upper) {
                t.fold[b] = static_cast<char>(c);
                break;
            }
        }
    }
    return t;
}

constexpr NameTables kNames = MakeNameTables();

}  // namespace

int CompareNames(std::string_view a, std::string_view b) {
    const size_t n = std::min(a.size(), b.size());
    for (size_t i = 0; i < n; ++i) {
        const uint16_t ua = kNames.order[static_cast<uint8_t>(a[i])];
        const uint16_t ub = kNames.order[static_cast<uint8_t>(b[i])];
        if (ua != ub) return ua < ub ? -1 : 1;
    }
    if (a.size() == b.size()) return 0;
    return a.size() < b.size() ? -1 : 1;
}

bool NamesEqual(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        if (kNames.fold[static_cast<uint8_t>(a[i])] != kNames.fold[static_cast<uint8_t>(b[i])])
            return false;
    }
    return true;
}

std::string FoldName(std::string_view name) {
    std::string folded(name.size(), '\0');
    for (size_t i = 0; i < name.size(); ++i) folded[i] = kNames.fold[static_cast<uint8_t>(name[i])];
    return folded;
}

}  // namespace qm
