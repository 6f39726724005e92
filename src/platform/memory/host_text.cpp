#include "platform/memory/host_text.h"

#include "platform/code_page.h"
#include "platform/name_case.h"
#include "platform/regtext/reg_text.h"

namespace qm::mapped {

std::u32string WindowsToUnicode(std::string_view text) {
    std::u32string out;
    out.reserve(text.size());
    for (char c : text) out.push_back(CodePageCharToUtf16(static_cast<unsigned char>(c)));
    return out;
}

std::string UnicodeToWindows(std::u32string_view text) {
    std::string out;
    out.reserve(text.size());
    for (char32_t c : text) out.push_back(static_cast<char>(Utf16CharToCodePage(c)));
    return out;
}

std::string WindowsToHost(std::string_view name) {
    if (IsAscii(name)) return std::string(name);  // the same in UTF-8
    return regtext::Utf16ToUtf8(CodePage::Windows1252().ToUtf16(name));
}

std::u32string HostToUnicode(std::string_view name) {
    std::u32string out;
    size_t i = 0;
    while (i < name.size()) {
        auto lead = static_cast<unsigned char>(name[i]);
        if (lead < 0x80) {
            out.push_back(lead);
            ++i;
            continue;
        }
        size_t extra = 0;
        char32_t c = 0, least = 0;
        if (lead >= 0xC2 && lead <= 0xDF) {
            extra = 1, c = lead & 0x1F, least = 0x80;
        } else if (lead >= 0xE0 && lead <= 0xEF) {
            extra = 2, c = lead & 0x0F, least = 0x800;
        } else if (lead >= 0xF0 && lead <= 0xF4) {
            extra = 3, c = lead & 0x07, least = 0x10000;
        }
        bool valid = extra > 0 && i + extra < name.size();
        for (size_t k = 1; valid && k <= extra; ++k) {
            auto next = static_cast<unsigned char>(name[i + k]);
            valid = (next & 0xC0) == 0x80;
            c = (c << 6) | (next & 0x3F);
        }
        valid = valid && c >= least && c <= 0x10FFFF && !(c >= 0xD800 && c <= 0xDFFF);
        out.push_back(valid ? c : 0xFFFD);
        i += valid ? extra + 1 : 1;
    }
    return out;
}

bool EqualNoCase(std::string_view a, std::string_view b) {
    if (IsAscii(a) && IsAscii(b)) return EqualAsciiNoCase(a, b);
    return qm::EqualNoCase(WindowsToUnicode(a), WindowsToUnicode(b));
}

}  // namespace qm::mapped
