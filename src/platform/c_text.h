// What a Win32 function sees of a std::string: the text up to its first
// zero byte. A registry value or a buffer may hold more after it.
#pragma once

#include <string_view>

namespace qm {

constexpr std::string_view CText(std::string_view text) {
    return text.substr(0, text.find('\0'));
}

}  // namespace qm
