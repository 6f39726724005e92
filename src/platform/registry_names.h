// How the registry compares key and value names: without regard to case,
// as the system does for names in the code page (Windows-1252). Every
// backend and everything that matches names read from a file against the
// registry use these rules, so that two names are the same key or value
// exactly when the registry takes them as the same. Characters are
// upper-cased as platform/name_case.h upper-cases them, as the file system
// does too, so code-page file names compare by the same rules.
#pragma once

#include <string>
#include <string_view>

namespace qm {

// Names are compared as Wine does: each character lower-cased as a UTF-16
// code unit, then compared by code unit, a shorter name before a longer one
// that starts with it. So "_" (0x5F) sorts before the letters (Windows
// itself upper-cases, putting it after them) and "\xE9" (e acute) equals
// "\xC9" (E acute).
int CompareNames(std::string_view a, std::string_view b);
bool NamesEqual(std::string_view a, std::string_view b);
// A string that is equal for exactly the names NamesEqual takes as equal.
std::string FoldName(std::string_view name);

}  // namespace qm
