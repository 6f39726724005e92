#include "platform/regtext/codepage.h"

#include <array>

#include "platform/regtext/reg_text.h"

namespace qm::regtext {

namespace detail {

namespace {

// Windows-1252 bytes 0x80 to 0x9F. Everything else is ISO 8859-1.
constexpr std::array<char16_t, 32> kHighControls{
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,  // 80-87
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,  // 88-8F
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,  // 90-97
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,  // 98-9F
};

}  // namespace

char16_t CodePageCharToUtf16(uint8_t byte) {
    if (byte >= 0x80 && byte <= 0x9F) return kHighControls[byte - 0x80];
    return byte;
}

uint8_t Utf16CharToCodePage(char16_t unit) {
    if (unit < 0x80 || (unit >= 0xA0 && unit <= 0xFF)) return static_cast<uint8_t>(unit);
    for (size_t i = 0; i < kHighControls.size(); ++i)
        if (kHighControls[i] == unit) return static_cast<uint8_t>(0x80 + i);
    return '?';
}

}  // namespace detail

std::u16string CodePageToUtf16(std::string_view text) {
    std::u16string out;
    out.reserve(text.size());
    for (char c : text) out.push_back(detail::CodePageCharToUtf16(static_cast<uint8_t>(c)));
    return out;
}

std::string Utf16ToCodePage(std::u16string_view text) {
    std::string out;
    out.reserve(text.size());
    for (char16_t unit : text) out.push_back(static_cast<char>(detail::Utf16CharToCodePage(unit)));
    return out;
}

}  // namespace qm::regtext
