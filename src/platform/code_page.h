// The system code page: the single- or double-byte text that the ANSI
// functions take and hand out. In the double-byte code pages (932, 936, 949
// and 950) a lead byte and the byte after it are one character, and that
// trail byte may be 0x5C, the backslash's byte: whatever looks for a
// backslash, a quote or a bracket in such text steps by character.
//
// Each backend says which code page its text is in (RegistryService::
// codePage): the live one the system's ANSI code page, the others
// Windows-1252 unless told otherwise.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace qm {

// The Windows-1252 table: one byte a character. Bytes 0x80 to 0x9F have
// their own row; the rest of the code page is ISO 8859-1. The five bytes
// that Windows-1252 leaves undefined (0x81, 0x8D, 0x8F, 0x90, 0x9D) map to
// the C1 control of the same number, as MultiByteToWideChar maps them.
inline constexpr std::array<char16_t, 32> kCodePageHighRow{
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,  // 80-87
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,  // 88-8F
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,  // 90-97
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,  // 98-9F
};

// The UTF-16 code unit of a Windows-1252 byte.
constexpr char16_t CodePageCharToUtf16(uint8_t byte) {
    return byte >= 0x80 && byte <= 0x9F ? kCodePageHighRow[byte - 0x80] : byte;
}

// The Windows-1252 byte of a Unicode character, '?' when there is none.
constexpr uint8_t Utf16CharToCodePage(char32_t c) {
    if (c < 0x80 || (c >= 0xA0 && c <= 0xFF)) return static_cast<uint8_t>(c);
    for (std::size_t i = 0; i < kCodePageHighRow.size(); ++i)
        if (kCodePageHighRow[i] == c) return static_cast<uint8_t>(0x80 + i);
    return '?';
}

// The lead bytes of the double-byte code pages 932 (Japanese), 936
// (Simplified Chinese), 949 (Korean) and 950 (Traditional Chinese); none
// for any other code page.
std::array<bool, 256> DoubleByteLeads(uint32_t number);

class CodePage {
  public:
    // The character that stands for one that has no code-page form.
    static constexpr char kReplacement = '?';

    virtual ~CodePage() = default;
    CodePage(const CodePage&) = delete;
    CodePage& operator=(const CodePage&) = delete;

    // Windows-1252, the default of every backend but the live one.
    static const CodePage& Windows1252();

    uint32_t number() const { return number_; }
    bool HasLeadBytes() const { return hasLeadBytes_; }
    bool IsLeadByte(uint8_t byte) const { return leads_[byte]; }

    // The length in bytes of the character that starts at `at` (< size):
    // two for a lead byte with a byte after it, else one.
    size_t CharLength(std::string_view text, size_t at) const {
        return at + 1 < text.size() && leads_[static_cast<uint8_t>(text[at])] ? 2 : 1;
    }
    // Where the first character `c` (ASCII) lies from the character that
    // starts at `from` on; npos when there is none.
    size_t Find(std::string_view text, char c, size_t from = 0) const;
    // Where the last character `c` (ASCII) lies that starts at `last` or
    // before, stepping from the character that starts at `from`; npos when
    // there is none.
    size_t FindLast(std::string_view text, char c, size_t from, size_t last) const;

    // The UTF-16 form of a byte that is a character by itself (any byte
    // but a lead byte); U+FFFD when the code page has no such character.
    char16_t ByteUnit(uint8_t byte) const { return units_[byte]; }
    // The byte whose character is the capital of the byte's own (itself
    // when there is none): names compare by these, as the registry compares
    // them without regard to case.
    char FoldByte(uint8_t byte) const { return folds_[byte]; }
    // The lower-cased UTF-16 unit of a byte's capital, by which the
    // registry orders names.
    uint16_t OrderUnit(uint8_t byte) const { return orders_[byte]; }

    // Code-page text as UTF-16 (as MultiByteToWideChar makes it); bytes
    // that are no character of the code page become U+FFFD.
    std::u16string ToUtf16(std::string_view text) const;
    // UTF-16 as code-page text in `out` (characters without a code-page
    // form become '?'); true when the conversion is exact, that is when
    // `out` reads back as `text`.
    bool FromUtf16(std::u16string_view text, std::string& out) const;

  protected:
    // `leads`: the lead bytes; `units`: what each other byte stands for.
    CodePage(uint32_t number, const std::array<bool, 256>& leads,
             const std::array<char16_t, 256>& units);

    // The conversions of text that is not ASCII alone (which every code
    // page holds as it is).
    virtual std::u16string Widen(std::string_view text) const = 0;
    virtual bool Narrow(std::u16string_view text, std::string& out) const = 0;

  private:
    uint32_t number_;
    bool hasLeadBytes_ = false;
    std::array<bool, 256> leads_{};
    std::array<char16_t, 256> units_{};
    std::array<char, 256> folds_{};
    std::array<uint16_t, 256> orders_{};
};

// A code page of one byte a character, from the table of what each byte
// stands for (U+FFFD for a byte that stands for nothing).
class SingleByteCodePage : public CodePage {
  public:
    SingleByteCodePage(uint32_t number, const std::array<char16_t, 256>& units);

  protected:
    std::u16string Widen(std::string_view text) const override;
    bool Narrow(std::u16string_view text, std::string& out) const override;

  private:
    struct Byte {
        char16_t unit;
        uint8_t byte;
    };
    std::vector<Byte> bytes_;  // the bytes 0x80 to 0xFF that are characters, by unit
};

}  // namespace qm
