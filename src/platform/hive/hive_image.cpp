#include "platform/hive/hive_image.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <unordered_map>
#include <unordered_set>

#include "platform/hive/hive_bytes.h"
#include "platform/hive/hive_log.h"
#include "platform/name_case.h"

namespace qm::hive {

namespace {

constexpr uint32_t kNoCell = 0xFFFFFFFF;
constexpr uint16_t kCompressedName = 0x20;  // a key name of one byte a character

// Offsets of the fields of the records, from the start of a cell's data
// (after its size field).
namespace nk {
constexpr size_t kFlags = 2, kParent = 16, kSubkeys = 20, kSubkeyList = 28, kValues = 36,
                 kValueList = 40, kSecurity = 44, kClass = 48, kNameLength = 72, kClassLength = 74,
                 kName = 76;
}
namespace vk {
constexpr size_t kNameLength = 2, kDataSize = 4, kDataOffset = 8, kName = 20;
}
namespace sk {
constexpr size_t kFlink = 4, kBlink = 8, kReferences = 12, kDescriptorSize = 16, kDescriptor = 20;
}

std::string Hex(uint64_t offset) {
    char text[24];
    std::snprintf(text, sizeof text, "0x%llx", static_cast<unsigned long long>(offset));
    return text;
}

char16_t Upper(char16_t c) {
    return static_cast<char16_t>(UpperChar(c));
}

// Windows' order of two names: upper-cased code unit by code unit, a name
// before the longer names it begins.
int CompareUpper(std::u16string_view a, std::u16string_view b) {
    const size_t n = std::min(a.size(), b.size());
    for (size_t i = 0; i < n; ++i) {
        const char16_t x = Upper(a[i]), y = Upper(b[i]);
        if (x != y) return x < y ? -1 : 1;
    }
    return a.size() == b.size() ? 0 : (a.size() < b.size() ? -1 : 1);
}

// A hive's bytes with the map of its cells: which 8-byte places of the hive
// data begin a cell, and whether it is allocated.
class Image {
  public:
    explicit Image(std::string_view bytes) : b_(bytes) {}

    std::string_view bytes() const { return b_; }
    uint32_t minor() const { return minor_; }
    uint32_t root() const { return root_; }

    // The base block's own fields; false with `fault`.
    bool ReadHeader(bool requireClean, std::string* fault) {
        if (b_.size() < kBaseBlockSize || b_.substr(0, 4) != "regf")
            return Fail(fault, "the base block is missing or has no \"regf\" signature");
        if (!BaseBlockChecksumRight(b_)) return Fail(fault, "the base block's checksum is wrong");
        if (requireClean && Le32(b_, 4) != Le32(b_, 8))
            return Fail(fault, "the sequence numbers differ");
        minor_ = Le32(b_, 24);
        if (Le32(b_, 20) != 1 || minor_ < 2 || minor_ > 6)
            return Fail(fault, "version " + std::to_string(Le32(b_, 20)) + "." +
                                   std::to_string(minor_) + " is not one Windows writes");
        if (Le32(b_, 28) != 0 || Le32(b_, 32) != 1)
            return Fail(fault, "the base block is not that of a primary hive file");
        dataSize_ = Le32(b_, 40);
        if (dataSize_ == 0 || dataSize_ % 4096 != 0 || kBaseBlockSize + dataSize_ > b_.size())
            return Fail(fault, "the size of the hive data (" + std::to_string(dataSize_) +
                                   " bytes) does not fit the file");
        root_ = Cell(Le32(b_, 36));
        return true;
    }

    // The bins and their cells; false with `fault`.
    bool ReadBins(std::string* fault) {
        starts_.assign(dataSize_ / 8, kNone);
        for (uint32_t bin = 0; bin < dataSize_;) {
            const size_t at = kBaseBlockSize + bin;
            if (b_.substr(at, 4) != "hbin" || Le32(b_, at + 4) != bin)
                return Fail(fault, "no hive bin where one should begin, at " + Hex(at));
            const uint32_t size = Le32(b_, at + 8);
            if (size < 4096 || size % 4096 != 0 || size > dataSize_ - bin)
                return Fail(fault, "the hive bin at " + Hex(at) + " has a wrong size");
            for (uint32_t cell = bin + 32; cell != bin + size;) {
                const auto raw = static_cast<int32_t>(Le32(b_, kBaseBlockSize + cell));
                const uint32_t length =
                    raw < 0 ? static_cast<uint32_t>(-static_cast<int64_t>(raw)) : raw;
                if (length < 8 || length % 8 != 0 || length > bin + size - cell)
                    return Fail(fault, "the cells of the hive bin at " + Hex(at) +
                                           " do not fill it (at " + Hex(kBaseBlockSize + cell) +
                                           ")");
                starts_[cell / 8] = raw < 0 ? kAllocated : kFree;
                cell += length;
            }
            bin += size;
        }
        return true;
    }

    // The file offset of the cell at hive-data offset `rel`.
    static uint32_t Cell(uint32_t rel) { return rel + kBaseBlockSize; }
    static uint32_t Rel(uint32_t cell) { return cell - kBaseBlockSize; }

    // Whether an allocated cell begins at file offset `cell`; its data's
    // length in `length`.
    bool Allocated(uint32_t cell, size_t* length) const {
        if (cell < kBaseBlockSize || cell % 8 != 0) return false;
        const uint32_t rel = Rel(cell);
        if (rel / 8 >= starts_.size() || starts_[rel / 8] == kNone || starts_[rel / 8] == kFree)
            return false;
        *length = static_cast<uint32_t>(-static_cast<int32_t>(Le32(b_, cell))) - 4;
        return true;
    }

    // An allocated cell of `need` bytes or more, starting with `signature`
    // when one is given; the offset of its data in `data`.
    bool Record(uint32_t cell, const char* signature, size_t need, size_t* data,
                size_t* length = nullptr) const {
        size_t have = 0;
        if (!Allocated(cell, &have) || have < need) return false;
        if (signature != nullptr && b_.substr(cell + 4, 2) != signature) return false;
        *data = cell + 4;
        if (length != nullptr) *length = have;
        return true;
    }

    // Marks a key cell as met; false when it was met before.
    bool Visit(uint32_t cell) {
        uint8_t& state = starts_[Rel(cell) / 8];
        if (state == kVisited) return false;
        state = kVisited;
        return true;
    }

    // The name of the key whose record data begins at `d`.
    std::u16string KeyName(size_t d) const {
        const uint16_t length = Le16(b_, d + nk::kNameLength);
        std::u16string name;
        if (Le16(b_, d + nk::kFlags) & kCompressedName) {
            for (size_t i = 0; i < length; ++i)
                name.push_back(static_cast<uint8_t>(b_[d + nk::kName + i]));
        } else {
            for (size_t i = 0; i + 1 < length; i += 2) name.push_back(Le16(b_, d + nk::kName + i));
        }
        return name;
    }

    // The key record at `cell` whose name lies within its cell.
    bool Key(uint32_t cell, size_t* d) const {
        size_t length = 0;
        if (!Record(cell, "nk", nk::kName, d, &length)) return false;
        return nk::kName + Le16(b_, *d + nk::kNameLength) <= length;
    }

    struct Leaf {
        uint32_t cell = 0;  // file offset
        char kind = 0;      // 'i' (li), 'f' (lf), 'h' (lh)
        uint16_t count = 0;
    };

    // The leaves of the subkey list at file offset `list`; false with
    // `fault` when it does not read.
    bool Leaves(uint32_t list, std::vector<Leaf>* leaves, std::string* fault) const {
        size_t d = 0, length = 0;
        if (!Record(list, nullptr, 4, &d, &length))
            return Fail(fault, "a subkey list at " + Hex(list) + " is not an allocated cell");
        const std::string_view sig = b_.substr(d, 2);
        const uint16_t count = Le16(b_, d + 2);
        if (sig == "ri") {
            if (4 + 4 * size_t{count} > length)
                return Fail(fault, "the index root at " + Hex(list) + " is longer than its cell");
            for (uint16_t i = 0; i < count; ++i) {
                Leaf leaf;
                if (!ReadLeaf(Cell(Le32(b_, d + 4 + 4 * i)), &leaf))
                    return Fail(fault, "the index root at " + Hex(list) +
                                           " names something other than a subkey list");
                leaves->push_back(leaf);
            }
            return true;
        }
        Leaf leaf;
        if (!ReadLeaf(list, &leaf))
            return Fail(fault, "the subkey list at " + Hex(list) + " does not read");
        leaves->push_back(leaf);
        return true;
    }

    // The file offset of a leaf's entry `i`'s key, and its hash or hint.
    uint32_t EntryKey(const Leaf& leaf, size_t i) const {
        return Cell(Le32(b_, leaf.cell + 8 + i * (leaf.kind == 'i' ? 4 : 8)));
    }
    size_t HashAt(const Leaf& leaf, size_t i) const { return leaf.cell + 8 + i * 8 + 4; }

  private:
    static constexpr uint8_t kNone = 0, kAllocated = 1, kFree = 2, kVisited = 3;

    static bool Fail(std::string* fault, const std::string& what) {
        *fault = what;
        return false;
    }

    bool ReadLeaf(uint32_t cell, Leaf* leaf) const {
        size_t d = 0, length = 0;
        if (!Record(cell, nullptr, 4, &d, &length)) return false;
        const std::string_view sig = b_.substr(d, 2);
        if (sig != "li" && sig != "lf" && sig != "lh") return false;
        leaf->cell = cell;
        leaf->kind = sig[1];
        leaf->count = Le16(b_, d + 2);
        return 4 + size_t{leaf->count} * (leaf->kind == 'i' ? 4 : 8) <= length;
    }

    std::string_view b_;
    std::vector<uint8_t> starts_;
    uint32_t dataSize_ = 0;
    uint32_t root_ = 0;
    uint32_t minor_ = 0;
};

// Whether a fast leaf's name hint is right for `name`: its first four
// characters, for a name of one byte a character (the hint of any other
// name is not checked).
bool HintMatches(std::string_view hint, const std::u16string& name, bool compressed) {
    if (!compressed) return true;
    for (size_t i = 0; i < 4 && i < name.size(); ++i)
        if (Upper(static_cast<uint8_t>(hint[i])) != Upper(name[i])) return false;
    return true;
}

// A key still to check, and the key that lists it (0 for the root).
struct Pending {
    uint32_t cell, parent;
};

// The walk of CheckImage over the tree.
class Checker {
  public:
    Checker(Image& image, ImageFacts* facts) : image_(image), b_(image.bytes()), facts_(facts) {}

    bool Run(std::string* fault) {
        fault_ = fault;
        std::vector<Pending> pending{{image_.root(), 0}};
        while (!pending.empty()) {
            const Pending key = pending.back();
            pending.pop_back();
            size_t d = 0;
            if (!image_.Key(key.cell, &d)) return Fail(key.cell, "is not a key record");
            if (!image_.Visit(key.cell)) return Fail(key.cell, "appears twice in the tree");
            if (key.parent != 0 && Le32(b_, d + nk::kParent) != Image::Rel(key.parent))
                return Fail(key.cell, "does not name its parent key");
            if (!CheckClass(key.cell, d) || !CheckValues(key.cell, d) ||
                !CheckSubkeys(key.cell, d, &pending))
                return false;
            const uint32_t security = Image::Cell(Le32(b_, d + nk::kSecurity));
            ++uses_[security];
        }
        return CheckSecurity();
    }

  private:
    bool Fail(uint32_t cell, const std::string& what) {
        *fault_ = "the key at " + Hex(cell) + " " + what;
        return false;
    }

    bool CheckClass(uint32_t cell, size_t d) {
        const uint16_t length = Le16(b_, d + nk::kClassLength);
        const uint32_t offset = Le32(b_, d + nk::kClass);
        size_t data = 0;
        if (length != 0 && offset != kNoCell &&
            !image_.Record(Image::Cell(offset), nullptr, length, &data))
            return Fail(cell, "has a class name outside an allocated cell");
        return true;
    }

    bool CheckValues(uint32_t cell, size_t d) {
        const uint32_t count = Le32(b_, d + nk::kValues);
        if (count == 0) return true;
        size_t list = 0;
        if (count > (1u << 24) || !image_.Record(Image::Cell(Le32(b_, d + nk::kValueList)), nullptr,
                                                 4 * size_t{count}, &list))
            return Fail(cell, "has a value list that is not an allocated cell of its length");
        for (uint32_t i = 0; i < count; ++i) {
            const uint32_t value = Image::Cell(Le32(b_, list + 4 * i));
            size_t v = 0, length = 0;
            if (!image_.Record(value, "vk", vk::kName, &v, &length) ||
                vk::kName + Le16(b_, v + vk::kNameLength) > length)
                return Fail(cell, "has a value at " + Hex(value) + " that is not a value record");
            const uint32_t raw = Le32(b_, v + vk::kDataSize);
            const uint32_t size = raw & 0x7FFFFFFF;
            if (raw & 0x80000000) {
                if (size > 4)
                    return Fail(cell, "has a value at " + Hex(value) +
                                          " whose data is said to lie in its record, but is "
                                          "longer than 4 bytes");
                continue;
            }
            if (size == 0) continue;
            if (!CheckData(cell, Image::Cell(Le32(b_, v + vk::kDataOffset)), size))
                return Fail(cell, "has a value at " + Hex(value) + " whose data " + dataFault_);
        }
        return true;
    }

    bool CheckData(uint32_t key, uint32_t data, uint32_t size) {
        size_t d = 0, length = 0;
        if (!image_.Record(data, nullptr, 0, &d, &length)) {
            dataFault_ = "is not an allocated cell";
            return false;
        }
        if (image_.minor() < 4 || size <= kLongestCellData) {
            if (length >= size) return true;
            dataFault_ = "is longer than its cell";
            return false;
        }
        // From version 1.4 on, long data lies in segments of a big-data record.
        if (length < 8 || b_.substr(d, 2) != "db") {
            dataFault_ = "is longer than 16,344 bytes but not in a big-data record";
            return false;
        }
        const uint16_t segments = Le16(b_, d + 2);
        size_t list = 0;
        if (!image_.Record(Image::Cell(Le32(b_, d + 4)), nullptr, 4 * size_t{segments}, &list)) {
            dataFault_ = "has a segment list that is not an allocated cell of its length";
            return false;
        }
        std::vector<uint32_t> cells{Image::Cell(Le32(b_, d + 4))};
        uint64_t held = 0;
        for (uint16_t i = 0; i < segments; ++i) {
            size_t s = 0, segment = 0;
            cells.push_back(Image::Cell(Le32(b_, list + 4 * i)));
            if (!image_.Record(cells.back(), nullptr, 0, &s, &segment)) {
                dataFault_ = "has a segment that is not an allocated cell";
                return false;
            }
            held += std::min(segment, kLongestCellData);
        }
        if (facts_ != nullptr) {
            if (facts_->bigData.empty() || facts_->bigData.back().first != key)
                facts_->bigData.emplace_back(key, std::vector<uint32_t>{});
            auto& kept = facts_->bigData.back().second;
            kept.insert(kept.end(), cells.begin(), cells.end());
        }
        if (held >= size) return true;
        dataFault_ = "is longer than its segments";
        return false;
    }

    bool CheckSubkeys(uint32_t cell, size_t d, std::vector<Pending>* pending) {
        const uint32_t count = Le32(b_, d + nk::kSubkeys);
        if (count == 0) return true;
        std::vector<Image::Leaf> leaves;
        std::string fault;
        if (!image_.Leaves(Image::Cell(Le32(b_, d + nk::kSubkeyList)), &leaves, &fault))
            return Fail(cell, "has a subkey list that does not read: " + fault);
        if (facts_ != nullptr &&
            std::any_of(leaves.begin(), leaves.end(),
                        [](const Image::Leaf& leaf) { return leaf.kind == 'i'; }))
            facts_->indexLeaves.push_back(cell);
        uint64_t listed = 0;
        std::u16string last;  // the last name whose upper case is known
        bool any = false;
        for (const Image::Leaf& leaf : leaves) {
            listed += leaf.count;
            for (size_t i = 0; i < leaf.count; ++i) {
                const uint32_t child = image_.EntryKey(leaf, i);
                size_t c = 0;
                if (!image_.Key(child, &c))
                    return Fail(cell, "lists a subkey at " + Hex(child) + " that is not a key");
                const std::u16string name = image_.KeyName(c);
                const bool compressed = Le16(b_, c + nk::kFlags) & kCompressedName;
                if (!CaseKnown(name)) {
                    pending->push_back({child, cell});
                    continue;
                }
                if (any && CompareUpper(last, name) >= 0)
                    return Fail(cell,
                                "lists its subkeys out of Windows' order (at " + Hex(child) + ")");
                if (leaf.kind == 'h' && Le32(b_, image_.HashAt(leaf, i)) != NameHash(name))
                    return Fail(cell, "lists the subkey at " + Hex(child) + " with a wrong hash");
                if (leaf.kind == 'f' &&
                    !HintMatches(b_.substr(image_.HashAt(leaf, i), 4), name, compressed))
                    return Fail(cell,
                                "lists the subkey at " + Hex(child) + " with a wrong name hint");
                last = name;
                any = true;
                pending->push_back({child, cell});
            }
        }
        if (listed != count)
            return Fail(cell, "counts " + std::to_string(count) + " subkeys, its lists hold " +
                                  std::to_string(listed));
        return true;
    }

    bool CheckSecurity() {
        for (const auto& [cell, uses] : uses_) {
            size_t s = 0, length = 0;
            if (!image_.Record(cell, "sk", sk::kDescriptor, &s, &length) ||
                sk::kDescriptor + size_t{Le32(b_, s + sk::kDescriptorSize)} > length) {
                *fault_ = "the security cell at " + Hex(cell) + " is not a security record";
                return false;
            }
            if (Le32(b_, s + sk::kReferences) < uses) {
                *fault_ = "the security cell at " + Hex(cell) + " counts " +
                          std::to_string(Le32(b_, s + sk::kReferences)) + " keys, " +
                          std::to_string(uses) + " use it";
                return false;
            }
        }
        // One ring through every security cell, each forward link answered
        // by the next cell's link back.
        size_t d = 0;
        image_.Key(image_.root(), &d);
        const uint32_t start = Image::Cell(Le32(b_, d + nk::kSecurity));
        std::unordered_set<uint32_t> ring;
        for (uint32_t current = start;;) {
            ring.insert(current);
            size_t s = 0, n = 0;
            const bool read = image_.Record(current, "sk", sk::kDescriptor, &s);
            const uint32_t next = read ? Image::Cell(Le32(b_, s + sk::kFlink)) : 0;
            if (!read || !image_.Record(next, "sk", sk::kDescriptor, &n)) {
                *fault_ = "the security cell at " + Hex(current) +
                          " links to something other than a security cell";
                return false;
            }
            if (Image::Cell(Le32(b_, n + sk::kBlink)) != current) {
                *fault_ = "the security cell at " + Hex(next) +
                          " does not link back to the one before it, at " + Hex(current);
                return false;
            }
            if (next == start) break;
            if (ring.count(next) != 0) {
                *fault_ = "the list of security cells loops at " + Hex(next);
                return false;
            }
            current = next;
        }
        for (const auto& [cell, uses] : uses_) {
            if (ring.count(cell) == 0) {
                *fault_ = "the security cell at " + Hex(cell) + " is not on the list of them";
                return false;
            }
        }
        return true;
    }

    Image& image_;
    std::string_view b_;
    ImageFacts* facts_;
    std::string* fault_ = nullptr;
    std::string dataFault_;
    std::unordered_map<uint32_t, uint32_t> uses_;  // security cell -> keys using it
};

}  // namespace

uint32_t NameHash(std::u16string_view name) {
    uint32_t hash = 0;
    for (char16_t c : name) hash = hash * 37 + Upper(c);
    return hash;
}

bool CaseKnown(std::u16string_view name) {
    for (char16_t c : name) {
        const bool known = c < 0x180 || c == 0x191 || c == 0x192 ||
                           (c >= 0x2B0 && c < 0x300) ||    // modifier letters: no case
                           (c >= 0x386 && c <= 0x3CE) ||   // Greek
                           (c >= 0x400 && c <= 0x45F) ||   // Cyrillic
                           (c >= 0x2000 && c < 0x2100) ||  // punctuation, currency: no case
                           (c >= 0x2100 && c < 0x2132) ||  // letterlike symbols before Ⅎ
                           (c >= 0x3000 && c < 0xA000) ||  // CJK: no case
                           (c >= 0xAC00 && c < 0xD7A4);    // Hangul: no case
        if (!known) return false;
    }
    return true;
}

std::string CheckImage(std::string_view bytes, bool requireClean, ImageFacts* facts) {
    Image image(bytes);
    std::string fault;
    if (!image.ReadHeader(requireClean, &fault) || !image.ReadBins(&fault)) return fault;
    Checker checker(image, facts);
    if (!checker.Run(&fault)) return fault;
    return {};
}

struct HiveCells::Impl {
    explicit Impl(std::string_view bytes) : image(bytes) {}
    Image image;
};

HiveCells::HiveCells() = default;
HiveCells::~HiveCells() = default;

bool HiveCells::Read(std::string_view bytes, std::string* fault) {
    impl_ = std::make_unique<Impl>(bytes);
    return impl_->image.ReadHeader(false, fault) && impl_->image.ReadBins(fault);
}

std::string_view HiveCells::Cell(uint32_t cell) const {
    size_t length = 0;
    if (!impl_->image.Allocated(cell, &length)) return {};
    return impl_->image.bytes().substr(cell, length + 4);
}

bool HiveCells::KeyCells(uint32_t key, std::vector<uint32_t>* cells,
                         std::vector<uint32_t>* subkeys) const {
    const Image& image = impl_->image;
    const std::string_view b = image.bytes();
    size_t d = 0, list = 0, unused = 0;
    if (!image.Key(key, &d)) return false;
    cells->push_back(key);
    // Each cell named must be an allocated one that holds `need` bytes.
    auto take = [&](uint32_t rel, size_t need, size_t* data) {
        const uint32_t cell = Image::Cell(rel);
        if (!image.Record(cell, nullptr, need, data)) return false;
        cells->push_back(cell);
        return true;
    };
    if (Le16(b, d + nk::kClassLength) != 0 && Le32(b, d + nk::kClass) != kNoCell &&
        !take(Le32(b, d + nk::kClass), Le16(b, d + nk::kClassLength), &unused))
        return false;
    const uint32_t values = Le32(b, d + nk::kValues);
    if (values > (1u << 24) ||
        (values != 0 && !take(Le32(b, d + nk::kValueList), 4 * size_t{values}, &list)))
        return false;
    for (uint32_t i = 0; i < values; ++i) {
        size_t v = 0, data = 0, segments = 0;
        if (!take(Le32(b, list + 4 * i), vk::kName, &v)) return false;
        const uint32_t size = Le32(b, v + vk::kDataSize);
        if ((size & 0x80000000) || size == 0) continue;
        if (!take(Le32(b, v + vk::kDataOffset), 0, &data)) return false;
        if (image.minor() < 4 || size <= kLongestCellData || b.substr(data, 2) != "db") continue;
        const uint16_t count = Le16(b, data + 2);
        if (!take(Le32(b, data + 4), 4 * size_t{count}, &segments)) return false;
        for (uint16_t k = 0; k < count; ++k)
            if (!take(Le32(b, segments + 4 * k), 0, &unused)) return false;
    }
    if (Le32(b, d + nk::kSubkeys) == 0) return true;
    const uint32_t top = Image::Cell(Le32(b, d + nk::kSubkeyList));
    std::vector<Image::Leaf> leaves;
    std::string fault;
    if (!image.Leaves(top, &leaves, &fault)) return false;
    cells->push_back(top);
    for (const Image::Leaf& leaf : leaves) {
        if (leaf.cell != top) cells->push_back(leaf.cell);
        for (size_t i = 0; i < leaf.count; ++i) subkeys->push_back(image.EntryKey(leaf, i));
    }
    return true;
}

uint64_t ValueCellBytes(std::string_view bytes, uint32_t key) {
    Image image(bytes);
    std::string fault;
    size_t d = 0, list = 0, length = 0;
    if (!image.ReadHeader(false, &fault) || !image.ReadBins(&fault) || !image.Key(key, &d))
        return 0;
    const uint32_t count = Le32(bytes, d + nk::kValues);
    if (count == 0 || count > (1u << 24) ||
        !image.Record(Image::Cell(Le32(bytes, d + nk::kValueList)), nullptr, 4 * size_t{count},
                      &list, &length))
        return 0;
    uint64_t total = length + 4;
    auto add = [&](uint32_t cell) {
        size_t data = 0, size = 0;
        if (!image.Record(cell, nullptr, 0, &data, &size)) return size_t{0};
        total += size + 4;
        return data;
    };
    for (uint32_t i = 0; i < count; ++i) {
        size_t v = 0, record = 0;
        if (!image.Record(Image::Cell(Le32(bytes, list + 4 * i)), "vk", vk::kName, &v, &record))
            continue;
        total += record + 4;
        const uint32_t size = Le32(bytes, v + vk::kDataSize);
        if ((size & 0x80000000) || size == 0) continue;
        const size_t data = add(Image::Cell(Le32(bytes, v + vk::kDataOffset)));
        if (data == 0 || image.minor() < 4 || size <= kLongestCellData ||
            bytes.substr(data, 2) != "db")
            continue;
        const uint16_t segmentCount = Le16(bytes, data + 2);
        size_t segments = 0, listed = 0;
        if (!image.Record(Image::Cell(Le32(bytes, data + 4)), nullptr, 4 * size_t{segmentCount},
                          &segments, &listed))
            continue;
        total += listed + 4;
        for (uint16_t k = 0; k < segmentCount; ++k) add(Image::Cell(Le32(bytes, segments + 4 * k)));
    }
    return total;
}

bool FreeCells(std::span<char> bytes, const std::vector<uint32_t>& cells, std::string* error) {
    Image image(std::string_view(bytes.data(), bytes.size()));
    if (!image.ReadHeader(false, error) || !image.ReadBins(error)) return false;
    for (uint32_t cell : cells) {
        size_t length = 0;
        if (!image.Allocated(cell, &length)) {
            *error = "the cell at " + Hex(cell) + " to be freed is not an allocated cell";
            return false;
        }
        PutLe32(bytes, cell, static_cast<uint32_t>(length + 4));
    }
    return true;
}

bool SortSubkeys(std::span<char> bytes, const std::vector<uint32_t>& keys, std::string* error) {
    const std::string_view view(bytes.data(), bytes.size());
    Image image(view);
    if (!image.ReadHeader(false, error) || !image.ReadBins(error)) return false;
    struct Entry {
        uint32_t child;
        std::u16string name;
        bool compressed;
        std::string_view raw;  // the name's bytes in the key record
    };
    for (uint32_t key : keys) {
        size_t d = 0;
        if (!image.Key(key, &d)) {
            *error = "the key at " + Hex(key) + " to sort is not a key";
            return false;
        }
        if (Le32(view, d + nk::kSubkeys) == 0) continue;
        std::vector<Image::Leaf> leaves;
        if (!image.Leaves(Image::Cell(Le32(view, d + nk::kSubkeyList)), &leaves, error))
            return false;
        std::vector<Entry> entries;
        for (const Image::Leaf& leaf : leaves) {
            for (size_t i = 0; i < leaf.count; ++i) {
                const uint32_t child = image.EntryKey(leaf, i);
                size_t c = 0;
                if (!image.Key(child, &c)) {
                    *error = "the key at " + Hex(key) + " lists something other than a key";
                    return false;
                }
                entries.push_back({child, image.KeyName(c),
                                   (Le16(view, c + nk::kFlags) & kCompressedName) != 0,
                                   view.substr(c + nk::kName, Le16(view, c + nk::kNameLength))});
            }
        }
        std::stable_sort(entries.begin(), entries.end(), [](const Entry& a, const Entry& b) {
            return CompareUpper(a.name, b.name) < 0;
        });
        size_t next = 0;
        for (const Image::Leaf& leaf : leaves) {
            for (size_t i = 0; i < leaf.count; ++i, ++next) {
                const Entry& entry = entries[next];
                const size_t at = leaf.cell + 8 + i * (leaf.kind == 'i' ? 4 : 8);
                PutLe32(bytes, at, Image::Rel(entry.child));
                if (leaf.kind == 'h') PutLe32(bytes, at + 4, NameHash(entry.name));
                if (leaf.kind != 'f') continue;
                if (!entry.compressed) {
                    *error = "the key at " + Hex(key) +
                             " keeps its subkeys in an old list form that cannot hold a name "
                             "outside Latin-1";
                    return false;
                }
                for (size_t k = 0; k < 4; ++k)
                    bytes[at + 4 + k] = k < entry.raw.size() ? entry.raw[k] : '\0';
            }
        }
    }
    return true;
}

}  // namespace qm::hive
