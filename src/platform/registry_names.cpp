#include "platform/registry_names.h"

#include <array>
#include <cstdint>

#include "platform/code_page.h"
#include "platform/name_case.h"

namespace qm {

namespace {

struct NameTables {
    std::array<uint16_t, 256> order{};  // lower-cased UTF-16 unit of each byte
    std::array<char, 256> fold{};       // the byte whose UTF-16 form is that unit
};

constexpr NameTables MakeNameTables() {
    NameTables t;
    for (int b = 0; b < 256; ++b) {
        const char32_t upper = UpperChar(CodePageCharToUtf16(static_cast<uint8_t>(b)));
        t.order[b] = static_cast<uint16_t>(LowerChar(upper));
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
