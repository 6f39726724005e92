#include "platform/hive/hive_log.h"

#include <algorithm>
#include <bit>
#include <cstring>

#include "platform/hive/hive_bytes.h"

namespace qm::hive {

namespace {

constexpr size_t kBase = 4096;     // the base block in the hive file
constexpr size_t kSector = 512;    // the base block's copy in a log, and the log's unit
constexpr size_t kEntryHead = 40;  // an HvLE entry's fields before its page references

// The base block fields used here.
constexpr size_t kSeq1 = 4, kSeq2 = 8, kStamp = 12, kType = 28, kDataSize = 40, kFlags = 144,
                 kSum = 0x1FC;
constexpr uint32_t kOldLog1 = 1, kOldLog2 = 2, kNewLog = 6;

// A log's copy of the base block, when it is one: its signature and
// checksum right and its sequence numbers equal.
struct LogBase {
    const LogFile* log = nullptr;
    bool newFormat = false;
    uint32_t sequence = 0;
};

bool ReadLogBase(const LogFile& log, LogBase* base) {
    const std::string_view b = log.bytes;
    if (b.size() < kSector || b.substr(0, 4) != "regf" || !BaseBlockChecksumRight(b) ||
        Le32(b, kSeq1) != Le32(b, kSeq2))
        return false;
    const uint32_t type = Le32(b, kType);
    if (type != kOldLog1 && type != kOldLog2 && type != kNewLog) return false;
    *base = LogBase{&log, type == kNewLog, Le32(b, kSeq1)};
    return true;
}

// The hive's base block made that of a clean primary file: both sequence
// numbers `sequence`, file type 0, the checksum right.
void SealBaseBlock(std::string& image, uint32_t sequence) {
    PutLe32(image, kSeq1, sequence);
    PutLe32(image, kSeq2, sequence);
    PutLe32(image, kType, 0);
    PutLe32(image, kSum, BaseBlockChecksum(image));
}

// Whether the hive data may be `size` bytes: a whole number of 4096-byte
// blocks, and no more than the hive and its logs can fill.
bool DataSizeFits(uint64_t size, uint64_t bound) {
    return size != 0 && size % 4096 == 0 && size <= bound;
}

// One HvLE entry read at `at` of a log: what it holds, checked.
struct Entry {
    enum class Kind { kEnd, kDamaged, kGood } kind = Kind::kEnd;
    std::string why;  // kDamaged
    uint32_t size = 0, flags = 0, sequence = 0, dataSize = 0;
    std::vector<std::pair<uint32_t, uint32_t>> pages;  // offset and size in the hive data
    size_t pageBytes = 0;                              // where the pages' bytes start in the log
};

Entry ReadEntry(std::string_view log, size_t at, uint64_t bound) {
    Entry e;
    if (at + 4 > log.size() || log.substr(at, 4) != "HvLE") return e;
    e.kind = Entry::Kind::kDamaged;
    if (at + kEntryHead > log.size()) {
        e.why = "it is cut short by the end of the log";
        return e;
    }
    e.size = Le32(log, at + 4);
    e.flags = Le32(log, at + 8);
    e.sequence = Le32(log, at + 12);
    e.dataSize = Le32(log, at + 16);
    const uint32_t count = Le32(log, at + 20);
    if (e.size < kEntryHead || e.size % kSector != 0) {
        e.why = "its size is wrong";
        return e;
    }
    if (e.size > log.size() - at) {
        e.why = "it is cut short by the end of the log";
        return e;
    }
    const std::string_view entry = log.substr(at, e.size);
    if (Marvin32(entry.substr(kEntryHead), kLogHashSeed) != Le64(entry, 24) ||
        Marvin32(entry.substr(0, 32), kLogHashSeed) != Le64(entry, 32)) {
        e.why = "its hashes do not match";
        return e;
    }
    if (!DataSizeFits(e.dataSize, bound)) {
        e.why = "the size of the hive data it gives is wrong";
        return e;
    }
    const uint64_t references = kEntryHead + uint64_t{count} * 8;
    if (references > e.size) {
        e.why = "its page count is wrong";
        return e;
    }
    uint64_t pages = 0;
    for (uint32_t i = 0; i < count; ++i) {
        const uint32_t offset = Le32(entry, kEntryHead + 8 * i);
        const uint32_t size = Le32(entry, kEntryHead + 8 * i + 4);
        pages += size;
        if (size == 0 || offset % kSector != 0 || size % kSector != 0 ||
            uint64_t{offset} + size > e.dataSize || references + pages > e.size) {
            e.why = "a page it holds does not fit";
            return e;
        }
        e.pages.emplace_back(offset, size);
    }
    e.pageBytes = at + references;
    e.kind = Entry::Kind::kGood;
    return e;
}

void ApplyEntry(const Entry& e, std::string_view log, std::string* image) {
    image->resize(kBase + e.dataSize, '\0');
    size_t from = e.pageBytes;
    for (const auto& [offset, size] : e.pages) {
        std::memcpy(image->data() + kBase + offset, log.data() + from, size);
        from += size;
    }
    PutLe32(*image, kDataSize, e.dataSize);
    const uint32_t flags = (Le32(*image, kFlags) & ~1u) | (e.flags & 1u);
    PutLe32(*image, kFlags, flags);
}

std::string Number(uint32_t n) {
    return std::to_string(n);
}

// The new format: the entries of `bases` (in the order given) from sequence
// number `first` on, into `out`. Entries numbered below the one expected
// are ones already written into the hive: they are passed over until a log
// gives the one expected, and after that they end the log (they are left
// over from before it was last started again).
void ApplyNewLogs(const std::vector<LogBase>& bases, uint32_t first, uint64_t bound,
                  Recovery* out) {
    bool any = false;
    uint32_t last = 0;
    for (const LogBase& base : bases) {
        const std::string_view log = base.log->bytes;
        size_t applied = 0;
        std::string stop;
        for (size_t at = kSector;;) {
            const Entry e = ReadEntry(log, at, bound);
            if (e.kind == Entry::Kind::kEnd) break;
            const std::string where =
                "the entry at offset " + std::to_string(at) + " of " + base.log->name;
            if (e.kind == Entry::Kind::kDamaged) {
                stop = where + " is damaged (" + e.why + ")";
                break;
            }
            const uint32_t expected = any ? last + 1 : first;
            if (e.sequence < expected && applied == 0) {
                at += e.size;
                continue;
            }
            if (e.sequence != expected) {
                // A later one means entries are missing: the hive cannot be
                // brought up to date past them.
                if (e.sequence > expected)
                    stop = where + " is number " + Number(e.sequence) + ", not " + Number(expected);
                break;
            }
            ApplyEntry(e, log, &out->image);
            any = true;
            last = e.sequence;
            ++applied;
            at += e.size;
        }
        if (applied != 0) {
            out->applied += static_cast<uint32_t>(applied);
            out->used.push_back(base.log->name);
            out->stop = stop;
        } else if (!stop.empty() && out->stop.empty()) {
            out->stop = stop;
        }
    }
    if (!any) {
        out->state = Recovery::State::kUnusable;
        out->reason = out->stop.empty() ? "no log holds entry number " + Number(first) : out->stop;
        out->stop.clear();
        out->image.clear();
        return;
    }
    out->state = Recovery::State::kRecovered;
    out->newFormat = true;
    SealBaseBlock(out->image, last);
}

// The old format: the dirty pages of one log, whole; false with `why`.
bool ApplyOldLog(const LogBase& base, uint64_t bound, Recovery* out, std::string* why) {
    const std::string_view log = base.log->bytes;
    const uint32_t dataSize = Le32(log, kDataSize);
    if (!DataSizeFits(dataSize, bound)) {
        *why = "the size of the hive data it gives is wrong";
        return false;
    }
    if (log.size() < kSector + 4 || log.substr(kSector, 4) != "DIRT") {
        *why = "it holds no dirty page vector";
        return false;
    }
    const size_t bitmapBytes = dataSize / kSector / 8;
    const size_t pagesAt = (kSector + 4 + bitmapBytes + kSector - 1) / kSector * kSector;
    if (kSector + 4 + bitmapBytes > log.size()) {
        *why = "its dirty page vector is cut short";
        return false;
    }
    const std::string_view bitmap = log.substr(kSector + 4, bitmapBytes);
    size_t count = 0;
    for (char byte : bitmap) count += std::popcount(static_cast<uint8_t>(byte));
    if (pagesAt + count * kSector > log.size()) {
        *why = "its dirty pages are cut short";
        return false;
    }
    std::string image(out->image);
    image.resize(kBase + dataSize, '\0');
    size_t from = pagesAt;
    for (size_t bit = 0; bit < bitmapBytes * 8; ++bit) {
        if ((static_cast<uint8_t>(bitmap[bit / 8]) >> (bit % 8) & 1) == 0) continue;
        const std::string_view page = log.substr(from, kSector);
        from += kSector;
        const size_t offset = bit * kSector;
        // A dirty page that begins a hive bin must be that bin's start.
        if (offset % 4096 == 0 && page.substr(0, 4) == "hbin" &&
            (Le32(page, 4) != offset || Le32(page, 8) < 4096)) {
            *why = "a dirty hive bin in it is wrong";
            return false;
        }
        std::memcpy(image.data() + kBase + offset, page.data(), kSector);
    }
    // The base block as the log holds it (its first sector).
    std::memcpy(image.data(), log.data(), kSector);
    out->image = std::move(image);
    out->applied = static_cast<uint32_t>(count);
    out->used = {base.log->name};
    out->state = Recovery::State::kRecovered;
    SealBaseBlock(out->image, base.sequence);
    return true;
}

// Why a log gives nothing, in words, for the message of a hive left as it is.
std::string Unusable(const std::vector<LogFile>& logs, const std::vector<LogBase>& bases) {
    if (logs.empty()) return "there is no .LOG1 or .LOG2 beside it";
    std::string text;
    for (const LogFile& log : logs) {
        const bool valid = std::any_of(bases.begin(), bases.end(),
                                       [&](const LogBase& b) { return b.log == &log; });
        if (valid) continue;
        if (!text.empty()) text += "; ";
        text += log.name + (log.bytes.empty() ? " is empty" : " holds no valid base block");
    }
    return text;
}

}  // namespace

uint64_t Marvin32(std::string_view bytes, uint64_t seed) {
    uint32_t lo = static_cast<uint32_t>(seed), hi = static_cast<uint32_t>(seed >> 32);
    auto mix = [&](uint32_t block) {
        lo += block;
        hi ^= lo;
        lo = std::rotl(lo, 20);
        lo += hi;
        hi = std::rotl(hi, 9);
        hi ^= lo;
        lo = std::rotl(lo, 27);
        lo += hi;
        hi = std::rotl(hi, 19);
    };
    size_t at = 0;
    for (; at + 4 <= bytes.size(); at += 4) mix(Le32(bytes, at));
    // The last 0 to 3 bytes, ended by a 0x80 byte.
    uint32_t last = 0x80;
    for (size_t i = bytes.size(); i-- > at;) last = last << 8 | static_cast<uint8_t>(bytes[i]);
    mix(last);
    mix(0);
    return uint64_t{hi} << 32 | lo;
}

uint32_t BaseBlockChecksum(std::string_view block) {
    uint32_t sum = 0;
    for (size_t at = 0; at < kSum; at += 4) sum ^= Le32(block, at);
    return sum == 0 ? 1 : sum == 0xFFFFFFFF ? 0xFFFFFFFE : sum;
}

bool BaseBlockChecksumRight(std::string_view block) {
    uint32_t sum = 0;
    for (size_t at = 0; at < kSum; at += 4) sum ^= Le32(block, at);
    const uint32_t stored = Le32(block, kSum);
    return stored == sum || stored == BaseBlockChecksum(block);
}

Recovery RecoverHive(std::string_view hive, const std::vector<LogFile>& logs) {
    Recovery out;
    const bool baseRight =
        hive.size() >= kBase && hive.substr(0, 4) == "regf" && BaseBlockChecksumRight(hive);
    if (baseRight && Le32(hive, kSeq1) == Le32(hive, kSeq2)) return out;
    std::vector<LogBase> bases;
    uint64_t bound = hive.size();
    for (const LogFile& log : logs) {
        LogBase base;
        if (ReadLogBase(log, &base)) bases.push_back(base);
        bound += log.bytes.size();
    }
    if (!baseRight && (bases.empty() || hive.size() < kBase)) {
        out.state = Recovery::State::kDamaged;
        return out;
    }
    // The hive's own data, without what lies beyond the size its base block
    // gives (all of it when that base block is damaged).
    out.image.assign(
        baseRight ? hive.substr(0, std::min<size_t>(hive.size(), kBase + Le32(hive, kDataSize)))
                  : hive);
    if (!baseRight) {
        // Only the log with the latest entries, over its own base block.
        const LogBase latest = *std::max_element(
            bases.begin(), bases.end(),
            [](const LogBase& a, const LogBase& b) { return a.sequence < b.sequence; });
        std::memcpy(out.image.data(), latest.log->bytes.data(), kSector);
        bases = {latest};
    }
    const std::string_view primary = out.image;
    // The first entry to apply is the one numbered as the hive's secondary
    // sequence number: the last write the hive's base block says was
    // finished. A log that starts later would leave out what the missing
    // entries changed, so it is not applied from where it starts.
    const uint32_t secondary = Le32(primary, kSeq2);
    std::vector<LogBase> newer;
    for (const LogBase& base : bases)
        if (base.newFormat) newer.push_back(base);
    if (!newer.empty()) {
        std::stable_sort(newer.begin(), newer.end(), [](const LogBase& a, const LogBase& b) {
            return a.sequence < b.sequence;
        });
        ApplyNewLogs(newer, secondary, bound, &out);
        // A damaged base block is never read as it lies.
        if (!baseRight && out.state != Recovery::State::kRecovered) {
            out = Recovery{};
            out.state = Recovery::State::kDamaged;
        }
        return out;
    }
    // The old format: a log whose timestamp is the hive's (that of the
    // first hive bin when the hive's own base block is damaged).
    const std::string_view stamp =
        baseRight ? hive.substr(kStamp, 8)
                  : (hive.size() >= kBase + 28 ? hive.substr(kBase + 20, 8) : std::string_view());
    std::string why;
    for (const LogBase& base : bases) {
        if (base.newFormat) continue;
        if (base.log->bytes.substr(kStamp, 8) != stamp) {
            why = base.log->name + " was written for another state of the hive";
            continue;
        }
        if (ApplyOldLog(base, bound, &out, &why)) return out;
        why = base.log->name + ": " + why;
    }
    if (!baseRight) {
        out = Recovery{};
        out.state = Recovery::State::kDamaged;
        return out;
    }
    out.state = Recovery::State::kUnusable;
    out.image.clear();
    out.reason = !why.empty() ? why
                 : bases.empty()
                     ? Unusable(logs, bases)
                     : "no log holds entries from sequence number " + Number(secondary) + " on";
    return out;
}

}  // namespace qm::hive
