// Windows-1252, the code page of every name and text this program handles:
// one byte a character. Bytes 0x80 to 0x9F have their own row; the rest of
// the code page is ISO 8859-1.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace qm {

// The five bytes that Windows-1252 leaves undefined (0x81, 0x8D, 0x8F, 0x90,
// 0x9D) map to the C1 control of the same number, as MultiByteToWideChar
// maps them.
inline constexpr std::array<char16_t, 32> kCodePageHighRow{
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,  // 80-87
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,  // 88-8F
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,  // 90-97
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,  // 98-9F
};

// The UTF-16 code unit of a code-page byte.
constexpr char16_t CodePageCharToUtf16(uint8_t byte) {
    return byte >= 0x80 && byte <= 0x9F ? kCodePageHighRow[byte - 0x80] : byte;
}

// The code-page byte of a Unicode character, '?' when there is none.
constexpr uint8_t Utf16CharToCodePage(char32_t c) {
    if (c < 0x80 || (c >= 0xA0 && c <= 0xFF)) return static_cast<uint8_t>(c);
    for (std::size_t i = 0; i < kCodePageHighRow.size(); ++i)
        if (kCodePageHighRow[i] == c) return static_cast<uint8_t>(0x80 + i);
    return '?';
}

}  // namespace qm
