// The search the shell makes for a bare program name (PathFindOnPathA), for
// every file probe: which folders it tries in which order, how it joins
// each with the name, and how the answers for the candidates make one.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "platform/existence.h"

namespace qm {

// PathAppend as PathFindOnPath uses it: the folder and a file name (never a
// path) joined with one backslash and canonicalised as PathCanonicalize
// does it, by text alone ("." and ".." applied, nothing looked up).
std::string ShellAppend(std::string_view folder, std::string_view name);

// The folders searched, in order: the system folder, the Windows folder's
// "System" folder, the Windows folder, then each entry of `pathVariable`
// (';' between entries, blanks before an entry skipped, an empty entry
// naming the current folder). `test` answers for each candidate. The first
// candidate that exists ends the search and replaces `name`; the answer is
// kMissing only when every candidate was missing. A name that is not bare
// (holds ':' or '\') is not searched for: kCannotTell.
Existence SearchForProgram(std::string& name, std::string_view systemFolder,
                           std::string_view windowsFolder,
                           std::optional<std::string_view> pathVariable,
                           const std::function<Existence(const std::string&)>& test);

}  // namespace qm
