// What a scanner tested for one entry: each target (a file, a folder, a
// file pattern, a key) and the answer the test gave, in the order tested.
// An item keeps the targets that made it an item, so that the user can see
// what was looked for, not only the text the entry holds.
#pragma once

#include <string>
#include <vector>

#include "platform/existence.h"

namespace qm {

struct CheckedTarget {
    std::string target;
    Existence answer = Existence::kMissing;
};

using CheckLog = std::vector<CheckedTarget>;

// "missing", "exists" or "cannot tell".
const char* AnswerName(Existence answer);

// One target as the reports and the details dialog show it:
// "C:\Program Files\Tool\tool.exe (missing)".
std::string CheckedLine(const CheckedTarget& checked);

}  // namespace qm
