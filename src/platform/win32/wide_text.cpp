#include "platform/win32/wide_text.h"

#include <windows.h>

#include <climits>
#include <cstring>

#include "platform/win32_codes.h"

namespace qm::win32 {

std::wstring Widen(std::string_view text) {
    if (text.empty() || text.size() > static_cast<size_t>(INT_MAX)) return {};
    const int length = static_cast<int>(text.size());
    const int units = MultiByteToWideChar(CP_ACP, 0, text.data(), length, nullptr, 0);
    if (units <= 0) return {};
    std::wstring wide(static_cast<size_t>(units), L'\0');
    MultiByteToWideChar(CP_ACP, 0, text.data(), length, wide.data(), units);
    return wide;
}

bool Narrow(std::wstring_view text, std::string& ansi) {
    ansi.clear();
    if (text.empty()) return true;
    if (text.size() > static_cast<size_t>(INT_MAX / 4)) return false;
    const int length = static_cast<int>(text.size());
    // No flags: the conversion the ANSI registry functions make, best-fit
    // characters included ("Ł" becomes "L"). Whether it lost anything is
    // told by converting back, which also covers code pages where the
    // flags that report a replacement are not allowed (UTF-8).
    const int bytes =
        WideCharToMultiByte(CP_ACP, 0, text.data(), length, nullptr, 0, nullptr, nullptr);
    if (bytes <= 0) return false;
    ansi.resize(static_cast<size_t>(bytes));
    WideCharToMultiByte(CP_ACP, 0, text.data(), length, ansi.data(), bytes, nullptr, nullptr);
    return Widen(ansi) == text;
}

bool NarrowName(std::wstring_view name, std::string& ansi) {
    const bool exact = Narrow(name, ansi);
    return exact && name.find(L'\0') == std::wstring_view::npos;
}

bool NarrowData(uint32_t type, const uint8_t* data, size_t size, std::string& ansi) {
    if (!regtype::IsText(type)) {
        ansi.assign(reinterpret_cast<const char*>(data), size);
        return true;
    }
    if (size % 2 != 0) {
        ansi.clear();
        return false;
    }
    std::wstring units(size / 2, L'\0');
    if (size > 0) std::memcpy(units.data(), data, size);
    return Narrow(units, ansi);
}

std::wstring NameKey(std::string_view ansiName) {
    std::wstring key = Widen(ansiName);
    if (!key.empty()) {
        std::wstring upper(key.size(), L'\0');
        const int length = static_cast<int>(key.size());
        if (LCMapStringW(LOCALE_SYSTEM_DEFAULT, LCMAP_UPPERCASE, key.data(), length, upper.data(),
                         length) == length)
            key.swap(upper);
    }
    return key;
}

}  // namespace qm::win32
