#include "platform/win32/ansi_code_page.h"

#include <windows.h>

#include <string>

#include "platform/win32/wide_text.h"

namespace qm::win32 {

namespace {

std::array<bool, 256> AnsiLeadBytes() {
    std::array<bool, 256> leads{};
    for (int b = 0x80; b < 256; ++b) leads[b] = IsDBCSLeadByteEx(CP_ACP, static_cast<BYTE>(b)) != 0;
    return leads;
}

// What each byte that is a character by itself stands for.
std::array<char16_t, 256> AnsiByteUnits(const std::array<bool, 256>& leads) {
    std::array<char16_t, 256> units{};
    for (int b = 0; b < 256; ++b) {
        units[b] = 0xFFFD;
        if (leads[b]) continue;
        const char byte = static_cast<char>(b);
        wchar_t unit = 0;
        if (MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, &byte, 1, &unit, 1) == 1)
            units[b] = static_cast<char16_t>(unit);
    }
    return units;
}

class Win32AnsiCodePage : public CodePage {
  public:
    Win32AnsiCodePage() : Win32AnsiCodePage(AnsiLeadBytes()) {}

  protected:
    std::u16string Widen(std::string_view text) const override {
        const std::wstring wide = win32::Widen(text);
        return std::u16string(wide.begin(), wide.end());
    }
    bool Narrow(std::u16string_view text, std::string& out) const override {
        const std::wstring wide(text.begin(), text.end());
        return win32::Narrow(wide, out);
    }

  private:
    explicit Win32AnsiCodePage(const std::array<bool, 256>& leads)
        : CodePage(GetACP(), leads, AnsiByteUnits(leads)) {}
};

}  // namespace

const CodePage& AnsiCodePage() {
    static const Win32AnsiCodePage page;
    return page;
}

}  // namespace qm::win32
