// A hive brought up to date from its transaction logs (<hive>.LOG1 and
// .LOG2), in memory, as Windows does when it loads a hive that was not
// written out in full.
//
// A hive is dirty when its two sequence numbers differ, or when its base
// block's checksum is wrong while a log holds a valid copy of it. A clean
// hive is read as it is whatever its logs hold: Windows keeps entries it has
// already written into the hive.
//
// Two log formats:
//  - the old one (up to Windows 8): a copy of the base block, a "DIRT"
//    bitmap of the 512-byte pages of the hive data that changed, and those
//    pages. A log applies when its base block's timestamp is the hive's;
//    .LOG1 is tried first. It is applied whole or not at all.
//  - the new one (Windows 8.1 on): a copy of the base block, then "HvLE"
//    entries, each with a sequence number, the size of the hive data, its
//    dirty pages and two Marvin32 hashes. The entries of both logs are
//    applied in sequence order: the log whose base block names the earlier
//    sequence number first, its first entry holding that number, then each
//    entry the number after the last one applied, in the same log or the
//    other one. Recovery stops at the first entry that is damaged, whose
//    hashes do not match, or that is out of sequence. When the hive's own
//    base block is damaged, only the log with the latest entries is used,
//    with its base block.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace qm::hive {

// Marvin32 of `bytes` with `seed`, and the seed the log entries' hashes use.
uint64_t Marvin32(std::string_view bytes, uint64_t seed);
constexpr uint64_t kLogHashSeed = 0x82EF4D887A4E55C5ull;

// The XOR checksum of a base block's first 508 bytes as Windows stores it
// (0 becomes 1, 0xFFFFFFFF becomes 0xFFFFFFFE), and whether `block` (at
// least 512 bytes) holds a right one: that, or the plain XOR other writers
// store.
uint32_t BaseBlockChecksum(std::string_view block);
bool BaseBlockChecksumRight(std::string_view block);

// A log beside the hive: its name there and its bytes.
struct LogFile {
    std::string name;
    std::string bytes;
};

struct Recovery {
    enum class State {
        kClean,      // the hive needs no log
        kRecovered,  // `image` is the hive brought up to date
        kUnusable,   // dirty, and no log brings it up to date: `reason`
        kDamaged,    // the base block's checksum is wrong and no log holds one
    };
    State state = State::kClean;
    std::string image;  // the whole hive: base block (clean, right checksum) and data
    bool newFormat = false;
    uint32_t applied = 0;           // log entries applied (new format), or dirty pages (old)
    std::vector<std::string> used;  // the logs that gave them, in order
    std::string stop;               // why recovery stopped before the logs' end, if it did
    std::string reason;             // kUnusable: why no log could be used
};

// Whether the hive `hive` (its whole file) is dirty, and what its logs make
// of it.
Recovery RecoverHive(std::string_view hive, const std::vector<LogFile>& logs);

}  // namespace qm::hive
