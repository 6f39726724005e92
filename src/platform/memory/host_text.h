// Names on both sides of the mapped file probe: Windows names are
// Windows-1252 text, host names UTF-8. Both are compared as Unicode.
#pragma once

#include <string>
#include <string_view>

#include "platform/name_case.h"

namespace qm::mapped {

std::u32string WindowsToUnicode(std::string_view text);
// Characters without a code-page form become '?'.
std::string UnicodeToWindows(std::u32string_view text);
std::string WindowsToHost(std::string_view name);
// A byte that does not start a valid UTF-8 sequence becomes U+FFFD, which no
// Windows-1252 name can equal.
std::u32string HostToUnicode(std::string_view name);
// Two Windows names without regard to case; the Unicode form is qm's.
using qm::EqualNoCase;
bool EqualNoCase(std::string_view a, std::string_view b);

}  // namespace qm::mapped
