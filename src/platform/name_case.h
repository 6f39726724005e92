// How names compare without regard to case: each character is upper-cased
// as Unicode upper-cases it, as the Windows registry and file system compare
// names. It covers ASCII, Latin-1, Latin Extended-A, the f with hook of
// Latin Extended-B (the only letter of the code page beyond those), Greek
// and Cyrillic.
#pragma once

#include <string_view>

namespace qm {

namespace name_case_detail {

// Latin Extended-A pairs an upper-case letter with the lower-case one next
// to it; in these ranges the odd code point is the lower-case one ...
constexpr bool OddIsLower(char32_t c) {
    return (c >= 0x100 && c <= 0x12F) || (c >= 0x132 && c <= 0x137) || (c >= 0x14A && c <= 0x177);
}
// ... and in these the even one.
constexpr bool EvenIsLower(char32_t c) {
    return (c >= 0x139 && c <= 0x148) || (c >= 0x179 && c <= 0x17E);
}

}  // namespace name_case_detail

// The upper-case form of a character: what names are compared by.
constexpr char32_t UpperChar(char32_t c) {
    if (c < 0x80) return c >= 'a' && c <= 'z' ? c - 0x20 : c;
    if (c < 0x100) {
        if (c == 0xB5) return 0x39C;
        if (c == 0xFF) return 0x178;
        return c >= 0xE0 && c != 0xF7 ? c - 0x20 : c;
    }
    if (c < 0x180) {
        if (c == 0x131) return 'I';
        if (c == 0x17F) return 'S';
        if (name_case_detail::OddIsLower(c)) return c & 1 ? c - 1 : c;
        if (name_case_detail::EvenIsLower(c)) return c & 1 ? c : c - 1;
        return c;
    }
    if (c == 0x192) return 0x191;
    if (c >= 0x3B1 && c <= 0x3CB) return c == 0x3C2 ? 0x3A3 : c - 0x20;
    if (c == 0x3AC) return 0x386;
    if (c >= 0x3AD && c <= 0x3AF) return c - 0x25;
    if (c == 0x3CC) return 0x38C;
    if (c == 0x3CD || c == 0x3CE) return c - 0x3F;
    if (c >= 0x430 && c <= 0x44F) return c - 0x20;
    if (c >= 0x450 && c <= 0x45F) return c - 0x50;
    return c;
}

// The lower-case form of a character, for the orders and hashes that the
// system forms from lower-cased names.
constexpr char32_t LowerChar(char32_t c) {
    if (c < 0x80) return c >= 'A' && c <= 'Z' ? c + 0x20 : c;
    if (c < 0x100) return c >= 0xC0 && c <= 0xDE && c != 0xD7 ? c + 0x20 : c;
    if (c < 0x180) {
        if (c == 0x130) return 'i';
        if (c == 0x178) return 0xFF;
        if (name_case_detail::OddIsLower(c)) return c & 1 ? c : c + 1;
        if (name_case_detail::EvenIsLower(c)) return c & 1 ? c + 1 : c;
        return c;
    }
    if (c == 0x191) return 0x192;
    if ((c >= 0x391 && c <= 0x3A1) || (c >= 0x3A3 && c <= 0x3AB)) return c + 0x20;
    if (c == 0x386) return 0x3AC;
    if (c >= 0x388 && c <= 0x38A) return c + 0x25;
    if (c == 0x38C) return 0x3CC;
    if (c == 0x38E || c == 0x38F) return c + 0x3F;
    if (c >= 0x410 && c <= 0x42F) return c + 0x20;
    if (c >= 0x400 && c <= 0x40F) return c + 0x50;
    return c;
}

// Whether two names are equal without regard to case.
bool EqualNoCase(std::u32string_view a, std::u32string_view b);

// Whether a text holds ASCII only: every ANSI code page holds it as it is,
// and the capital of an ASCII letter is ASCII.
bool IsAscii(std::string_view text);

// Equality byte by byte without regard to the case of ASCII letters: what
// EqualNoCase gives for ASCII texts, without converting them. No ASCII
// byte equals one outside ASCII.
bool EqualAsciiNoCase(std::string_view a, std::string_view b);

// By name without regard to case, then by the exact name.
bool NameLess(std::u32string_view a, std::u32string_view b);

}  // namespace qm
