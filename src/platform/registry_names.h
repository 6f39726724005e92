// How the registry compares key and value names: without regard to case,
// as the system does for names in the code page. Every backend and
// everything that matches names read from a file against the registry use
// these rules, so that two names are the same key or value exactly when the
// registry takes them as the same. Characters are upper-cased as
// platform/name_case.h upper-cases them, as the file system does too, so
// code-page file names compare by the same rules.
#pragma once

#include <algorithm>
#include <string>
#include <string_view>

#include "platform/code_page.h"

namespace qm {

// Names are compared as Wine does: each character lower-cased as a UTF-16
// code unit, then compared by code unit, a shorter name before a longer one
// that starts with it. So "_" (0x5F) sorts before the letters (Windows
// itself upper-cases, putting it after them) and "\xE9" (e acute) equals
// "\xC9" (E acute) in Windows-1252.
int CompareNames(std::string_view a, std::string_view b, const CodePage& codePage);
bool NamesEqual(std::string_view a, std::string_view b, const CodePage& codePage);
// A string that is equal for exactly the names NamesEqual takes as equal.
// It is code-page text itself: every backslash of the name that is a
// character of its own stays where it is.
std::string FoldName(std::string_view name, const CodePage& codePage);

// The same in Windows-1252, the code page of the hive backend. For two
// names one of which is ASCII they answer as in every code page.
int CompareNames(std::string_view a, std::string_view b);
bool NamesEqual(std::string_view a, std::string_view b);
std::string FoldName(std::string_view name);

// Splits a key path into its names: backslashes (the characters, not a
// trail byte of the code page that has the backslash's value) separate
// them, runs of backslashes count as one and trailing ones are ignored. A
// leading backslash is the caller's to reject.
class PathNames {
  public:
    PathNames(std::string_view path, const CodePage& codePage) : path_(path), codePage_(codePage) {}
    bool Next(std::string_view* name) {
        while (pos_ < path_.size() && path_[pos_] == '\\') ++pos_;
        if (pos_ == path_.size()) return false;
        const size_t end = std::min(codePage_.Find(path_, '\\', pos_), path_.size());
        *name = path_.substr(pos_, end - pos_);
        pos_ = end;
        return true;
    }

  private:
    std::string_view path_;
    const CodePage& codePage_;
    size_t pos_ = 0;
};

}  // namespace qm
