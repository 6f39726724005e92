#include "platform/win32/wide_text.h"

#include <windows.h>

#include <climits>
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "platform/win32_codes.h"

namespace qm::win32 {

namespace {

// Every ANSI code page of the system holds ASCII unchanged, so text of
// ASCII alone converts without asking the system; nearly all registry text
// is such text.
template <typename Unit>
bool IsAscii(const Unit* text, size_t size) {
    for (size_t i = 0; i < size; ++i)
        if (static_cast<uint32_t>(text[i]) >= 0x80) return false;
    return true;
}

}  // namespace

std::wstring Widen(std::string_view text) {
    if (IsAscii(text.data(), text.size())) return std::wstring(text.begin(), text.end());
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
    if (IsAscii(text.data(), text.size())) {
        ansi.resize(text.size());
        for (size_t i = 0; i < text.size(); ++i) ansi[i] = static_cast<char>(text[i]);
        return true;
    }
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
    const size_t count = size / 2;
    bool ascii = true;
    for (size_t i = 0; i < count && ascii; ++i) ascii = data[2 * i] < 0x80 && data[2 * i + 1] == 0;
    if (ascii) {
        ansi.resize(count);
        for (size_t i = 0; i < count; ++i) ansi[i] = static_cast<char>(data[2 * i]);
        return true;
    }
    std::wstring units(count, L'\0');
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
