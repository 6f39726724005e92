// Reading something whose size can change between learning it and reading
// it (a value, an entry of a listing): it is read again while the answer is
// kMoreData, a bounded number of times, with more room each time.
#pragma once

#include "platform/win32_codes.h"

namespace qm {

inline constexpr int kMoreDataReads = 8;

// Calls `read` until it gives anything but kMoreData, at most kMoreDataReads
// times, and `grow` before each read after the first. The last read's
// status.
template <typename Read, typename Grow>
Status ReadGrowing(Read&& read, Grow&& grow) {
    Status result = read();
    for (int done = 1; result == status::kMoreData && done < kMoreDataReads; ++done) {
        grow();
        result = read();
    }
    return result;
}

template <typename Read>
Status ReadGrowing(Read&& read) {
    return ReadGrowing(read, [] {});
}

}  // namespace qm
