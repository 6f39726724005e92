// What a file existence test found out. A registry entry may be reported as
// broken only when the file it names is missing, and "missing" is a claim
// about the disk: the system said that the file, or a folder on its way,
// does not exist, on a drive where that answer can be believed (a local
// fixed drive that is present). Everything else the test meets (a drive
// that is not there or not ready, removable media, a network path, a name
// the system refuses, access denied) leaves the question open, and the
// entry alone.
//
// The answer is one small value, so that it can be kept per path in the
// answer tables and, per tested target, beside the item it was asked for.
#pragma once

#include <cstdint>

namespace qm {

enum class Existence : uint8_t {
    kExists,
    kMissing,
    kCannotTell,
};

// The answer for a target that may be found at either of two places (the
// two readings of one entry, or one file in two folders): it exists when it
// exists at either, and is missing only when it is missing at both.
constexpr Existence EitherOf(Existence a, Existence b) {
    if (a == Existence::kExists || b == Existence::kExists) return Existence::kExists;
    if (a == Existence::kMissing && b == Existence::kMissing) return Existence::kMissing;
    return Existence::kCannotTell;
}

}  // namespace qm
