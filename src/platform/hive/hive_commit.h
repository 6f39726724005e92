// Writing the changes of several hives as one: every hive or none.
//
// First every changed hive is written into a new file and checked (see
// HiveFile::WriteChanges), each in a private folder (mode 0700, made here)
// beside its hive, so on the same file system; the new file is made with
// O_EXCL and O_NOFOLLOW and written through its descriptor, so no link
// anyone puts anywhere is followed. The new file takes the original's mode,
// owner and times. A failure up to here changes nothing.
//
// Then each hive in turn is switched: its original gets a second name
// beside it, <hive>.quillmend-<date>.bak (link(2); a copy where the file
// system has no hard links), the new file is renamed over the original
// (rename(2), so there is a hive under the original's name at every
// moment), and the folder is synced. A failure during the switch puts the
// originals of the hives switched so far back in place; the outcome of
// every hive is told.
//
// In the switch a hive's logs (.LOG1, .LOG2) are set aside with its
// original once the new file is in place, renamed
// <hive>.quillmend-<date>.bak.LOG1 and so on, so that Windows never replays
// them over the new file; a log changed since the hive was read stops the
// commit before anything is switched, and putting the original back puts its
// logs back too.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "platform/hive/hive_file.h"
#include "platform/system_info.h"

namespace qm::hive {

// The steps of a commit, in order, as a test hook sees them.
enum class CommitStep {
    kWriteNew,      // a hive is written into its new file and checked
    kKeepOriginal,  // its original gets the .bak name
    kReplace,       // the new file is renamed over the original
    kSyncFolder,    // the hive's folder is synced
    kPutBack,       // after a failure: a switched hive gets its original back
};

// Called before each step with the hive's path. A hook that returns false
// makes that step fail as if the system had refused it (EIO). For tests;
// none is set unless a test sets one.
using CommitHook = std::function<bool(CommitStep, const std::string& hive)>;
void SetCommitHook(CommitHook hook);

// What became of one hive.
struct HiveOutcome {
    enum class State {
        kWritten,  // it holds the changes; `backup` is its original
        kLeft,     // it was not touched
        kPutBack,  // it was switched, and its original is back in place
        kStuck,    // it was switched and its original could not be put back
    };
    std::string path;
    State state = State::kLeft;
    std::string backup;  // the original's path (kWritten, kStuck)
    std::string reason;  // why it was not written, or not put back
};

// Writes the changes of `hives` (each with its changes or damage) as one.
// True when every one was written. `outcomes` receives one per hive, in the
// order given.
bool CommitHives(const std::vector<HiveFile*>& hives, const UtcTime& now,
                 std::vector<HiveOutcome>* outcomes);

// The outcomes in words, one line per hive.
std::string DescribeOutcomes(const std::vector<HiveOutcome>& outcomes);

}  // namespace qm::hive
