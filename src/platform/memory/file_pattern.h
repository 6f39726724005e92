// File name patterns, matched as the system's file search matches the last
// component of a FindFirstFileA pattern.
#pragma once

#include <string>
#include <string_view>

namespace qm::mapped {

// The last component of a pattern as PathFindFileName sees it.
std::string_view PatternFileName(std::string_view pattern);
// Rewrites a FindFirstFile pattern into the directory-query form.
std::u32string FixupMask(std::u32string mask);
// Matches a name against a rewritten mask as the directory query does.
bool MatchMask(std::u32string_view name, std::u32string_view mask);

}  // namespace qm::mapped
