// Builds hive files from registry text: the test hives and the benchmark's
// come from the same documents as the registry text files they are compared
// with.
#pragma once

#include <string>

#include "platform/regtext/reg_text.h"

namespace qm::hive {

// Writes `out`: the hive `base` with the keys and values of `doc` that lie
// at or below `prefix` of `root` added (`prefix` itself becomes the hive's
// root key; an empty prefix takes the whole root). Deletions in the document
// are ignored. False with `error` on failure.
bool BuildHive(const std::string& base, const regtext::Document& doc, HKey root,
               const std::string& prefix, const std::string& out, std::string* error);

}  // namespace qm::hive
