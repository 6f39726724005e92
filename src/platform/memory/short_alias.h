// Short (8.3) aliases, formed as Wine forms them for names that are not
// already valid 8.3 names.
#pragma once

#include <string>
#include <string_view>

namespace qm::mapped {

bool IsLegal8Dot3(std::u32string_view name);
// Empty when `name` needs no alias.
std::u32string ShortAlias(std::u32string_view name);

}  // namespace qm::mapped
