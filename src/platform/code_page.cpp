#include "platform/code_page.h"

#include <algorithm>

#include "platform/name_case.h"

namespace qm {

namespace {

constexpr char16_t kNoCharacter = 0xFFFD;

bool IsAsciiText(std::u16string_view text) {
    for (char16_t unit : text)
        if (unit >= 0x80) return false;
    return true;
}

std::array<char16_t, 256> Windows1252Units() {
    std::array<char16_t, 256> units{};
    for (int b = 0; b < 256; ++b) units[b] = CodePageCharToUtf16(static_cast<uint8_t>(b));
    return units;
}

}  // namespace

std::array<bool, 256> DoubleByteLeads(uint32_t number) {
    std::array<bool, 256> leads{};
    const auto mark = [&](int first, int last) {
        for (int b = first; b <= last; ++b) leads[b] = true;
    };
    switch (number) {
        case 932:
            mark(0x81, 0x9F);
            mark(0xE0, 0xFC);
            break;
        case 936:
        case 949:
        case 950:
            mark(0x81, 0xFE);
            break;
        default:
            break;
    }
    return leads;
}

CodePage::CodePage(uint32_t number, const std::array<bool, 256>& leads,
                   const std::array<char16_t, 256>& units)
    : number_(number), leads_(leads) {
    for (int b = 0; b < 256; ++b) {
        hasLeadBytes_ = hasLeadBytes_ || leads_[b];
        units_[b] = leads_[b] ? kNoCharacter : units[b];
    }
    for (int b = 0; b < 256; ++b) {
        folds_[b] = static_cast<char>(b);
        const char16_t unit = units_[b];
        if (unit == kNoCharacter) {
            // No character: the byte stands for itself, apart from all others.
            orders_[b] = static_cast<uint16_t>(0xDC00 | b);
            continue;
        }
        const char32_t upper = UpperChar(unit);
        orders_[b] = static_cast<uint16_t>(LowerChar(upper));
        for (int c = 0; c < 256; ++c) {
            if (units_[c] == upper) {
                folds_[b] = static_cast<char>(c);
                break;
            }
        }
    }
}

const CodePage& CodePage::Windows1252() {
    static const SingleByteCodePage page(1252, Windows1252Units());
    return page;
}

size_t CodePage::Find(std::string_view text, char c, size_t from) const {
    if (!hasLeadBytes_) return text.find(c, from);
    for (size_t i = from; i < text.size(); i += CharLength(text, i))
        if (text[i] == c) return i;
    return std::string_view::npos;
}

size_t CodePage::FindLast(std::string_view text, char c, size_t from, size_t last) const {
    if (!hasLeadBytes_) {
        const size_t at = text.rfind(c, last);
        return at != std::string_view::npos && at >= from ? at : std::string_view::npos;
    }
    size_t found = std::string_view::npos;
    for (size_t i = from; i < text.size() && i <= last; i += CharLength(text, i))
        if (text[i] == c) found = i;
    return found;
}

std::u16string CodePage::ToUtf16(std::string_view text) const {
    bool ascii = true;
    for (char c : text) ascii = ascii && static_cast<uint8_t>(c) < 0x80;
    if (ascii) return std::u16string(text.begin(), text.end());
    return Widen(text);
}

bool CodePage::FromUtf16(std::u16string_view text, std::string& out) const {
    if (IsAsciiText(text)) {
        out.assign(text.size(), '\0');
        for (size_t i = 0; i < text.size(); ++i) out[i] = static_cast<char>(text[i]);
        return true;
    }
    return Narrow(text, out);
}

SingleByteCodePage::SingleByteCodePage(uint32_t number, const std::array<char16_t, 256>& units)
    : CodePage(number, {}, units) {
    for (int b = 0x80; b < 256; ++b)
        if (units[b] != kNoCharacter) bytes_.push_back({units[b], static_cast<uint8_t>(b)});
    // By unit, and of two bytes of one character the lower first.
    std::stable_sort(bytes_.begin(), bytes_.end(),
                     [](const Byte& a, const Byte& b) { return a.unit < b.unit; });
}

std::u16string SingleByteCodePage::Widen(std::string_view text) const {
    std::u16string out(text.size(), u'\0');
    for (size_t i = 0; i < text.size(); ++i) out[i] = ByteUnit(static_cast<uint8_t>(text[i]));
    return out;
}

bool SingleByteCodePage::Narrow(std::u16string_view text, std::string& out) const {
    out.assign(text.size(), kReplacement);
    bool exact = true;
    for (size_t i = 0; i < text.size(); ++i) {
        const char16_t unit = text[i];
        if (unit < 0x80) {
            out[i] = static_cast<char>(unit);
            continue;
        }
        const auto it = std::lower_bound(bytes_.begin(), bytes_.end(), unit,
                                         [](const Byte& a, char16_t u) { return a.unit < u; });
        if (it != bytes_.end() && it->unit == unit) {
            out[i] = static_cast<char>(it->byte);
        } else {
            exact = false;
        }
    }
    return exact;
}

}  // namespace qm
