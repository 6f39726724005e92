#include "platform/hive/hive_file.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <unordered_map>
#include <unordered_set>

#include "platform/memory/memory_registry_tree.h"
#include "platform/regtext/reg_text.h"
#include "platform/win32_codes.h"

namespace qm::hive {

namespace {

constexpr size_t kHeaderSize = 4096;
// Listings kept at once; a walk of a whole hive needs only the keys on its
// path, so this bounds the memory a large hive costs.
constexpr size_t kCachedListings = 32768;
// Windows keeps value data longer than this in "big data" cells, which
// hivex reads but does not write: it would write such data as one plain
// cell, which Windows then misreads. Keys holding such a value are never
// rewritten.
constexpr size_t kLongestPlainData = 16344;

// Memory handed out by hivex, freed with free().
template <typename T>
struct Freed {
    T* p = nullptr;
    explicit Freed(T* pointer) : p(pointer) {}
    Freed(const Freed&) = delete;
    Freed& operator=(const Freed&) = delete;
    ~Freed() { std::free(p); }
};

uint32_t ReadLe32(const unsigned char* bytes) {
    return uint32_t{bytes[0]} | uint32_t{bytes[1]} << 8 | uint32_t{bytes[2]} << 16 |
           uint32_t{bytes[3]} << 24;
}

std::string ErrnoText(int error) {
    return error != 0 ? std::strerror(error) : "unknown error";
}

// The hive's name as UTF-16 and whether it has an exact code-page form. A
// zero character inside a name has none: no ANSI name can carry it.
bool ConvertName(std::string_view utf8, std::string* name, bool* writable) {
    std::u16string units;
    *writable = regtext::Utf8ToUtf16(utf8, units) &&
                std::find(units.begin(), units.end(), u'\0') == units.end();
    if (CodePage::Windows1252().FromUtf16(units, *name) && *writable) return true;
    std::replace(name->begin(), name->end(), '\0', '?');
    return false;
}

// Text data (UTF-16LE in the hive) as code-page bytes; false when it does
// not convert exactly.
bool ConvertText(const char* bytes, size_t length, std::string* out) {
    std::u16string units(length / 2, u'\0');
    for (size_t i = 0; i < units.size(); ++i)
        units[i] = static_cast<char16_t>(static_cast<uint8_t>(bytes[2 * i]) |
                                         static_cast<uint8_t>(bytes[2 * i + 1]) << 8);
    return CodePage::Windows1252().FromUtf16(units, *out) && length % 2 == 0;
}

std::string TextToHive(std::string_view codePage) {
    const std::u16string units = CodePage::Windows1252().ToUtf16(codePage);
    std::string bytes(units.size() * 2, '\0');
    for (size_t i = 0; i < units.size(); ++i) {
        bytes[2 * i] = static_cast<char>(units[i] & 0xFF);
        bytes[2 * i + 1] = static_cast<char>(units[i] >> 8);
    }
    return bytes;
}

std::string NameToHive(std::string_view codePage) {
    return regtext::Utf16ToUtf8(CodePage::Windows1252().ToUtf16(codePage));
}

// A node's name as hivex gives it: UTF-8, zero characters included.
bool RawNodeName(hive_h* h, hive_node_h node, std::string* name) {
    errno = 0;
    Freed<char> text(hivex_node_name(h, node));
    if (text.p == nullptr) return false;
    const size_t length = hivex_node_name_len(h, node);
    name->assign(text.p, length != 0 ? length : std::strlen(text.p));
    return true;
}

bool RawValueName(hive_h* h, hive_value_h value, std::string* name) {
    errno = 0;
    Freed<char> text(hivex_value_key(h, value));
    if (text.p == nullptr) return false;
    const size_t length = hivex_value_key_len(h, value);
    name->assign(text.p, errno == 0 ? length : std::strlen(text.p));
    return true;
}

// hivex passes a value's type as its C enum, which a hive fills with any
// 32-bit number; in C++ an enum may hold only its own values, so the type is
// only ever copied in and out as its bytes, never read as the enum.
static_assert(sizeof(hive_type) == sizeof(uint32_t));
uint32_t TypeBits(const hive_type& type) {
    uint32_t bits = 0;
    std::memcpy(&bits, &type, sizeof bits);
    return bits;
}

void SetTypeBits(hive_type* type, uint32_t bits) {
    std::memcpy(type, &bits, sizeof bits);
}

// The type and length of a value; false when its cell does not read.
bool RawValueType(hive_h* h, hive_value_h value, uint32_t* type, size_t* length) {
    hive_type t;
    if (hivex_value_type(h, value, &t, length) != 0) return false;
    *type = TypeBits(t);
    return true;
}

bool RawValueData(hive_h* h, hive_value_h value, uint32_t* type, std::string* data) {
    size_t length = 0;
    hive_type t;
    errno = 0;
    Freed<char> bytes(hivex_value_value(h, value, &t, &length));
    if (bytes.p == nullptr && errno != 0) return false;
    *type = TypeBits(t);
    data->assign(bytes.p != nullptr ? bytes.p : "", bytes.p != nullptr ? length : 0);
    return true;
}

// Whether a log file beside the hive holds anything: "<hive>.LOG1" or
// ".LOG2", the name's case ignored as the Windows file system ignores it.
std::string PendingLog(const std::string& path) {
    namespace fs = std::filesystem;
    std::error_code ec;
    const fs::path hivePath(path);
    const fs::path folder = hivePath.has_parent_path() ? hivePath.parent_path() : fs::path(".");
    std::string stem = hivePath.filename().string();
    std::transform(stem.begin(), stem.end(), stem.begin(),
                   [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
    for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
        std::string name = it->path().filename().string();
        std::transform(name.begin(), name.end(), name.begin(),
                       [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
        if (name != stem + ".LOG1" && name != stem + ".LOG2") continue;
        std::error_code sizeError;
        const auto size = fs::file_size(it->path(), sizeError);
        if (!sizeError && size > 0) return it->path().filename().string();
    }
    return {};
}

// The base block's own checks, which say what is wrong in words: the
// signature, the checksum and whether the file holds the hive data the
// header announces. Also gives the two sequence numbers.
bool CheckHeader(const std::string& path, uint32_t* sequence1, uint32_t* sequence2,
                 std::string* reason) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        *reason = "cannot open the file: " + ErrnoText(errno);
        return false;
    }
    in.seekg(0, std::ios::end);
    const auto size = static_cast<uint64_t>(in.tellg());
    in.seekg(0);
    unsigned char header[kHeaderSize] = {};
    in.read(reinterpret_cast<char*>(header), kHeaderSize);
    if (std::memcmp(header, "regf", 4) != 0) {
        *reason = "bad header: not a registry hive (no \"regf\" signature)";
        return false;
    }
    if (size < kHeaderSize) {
        *reason = "truncated: " + std::to_string(size) + " bytes, shorter than the " +
                  std::to_string(kHeaderSize) + "-byte header";
        return false;
    }
    uint32_t sum = 0;
    for (size_t offset = 0; offset < 0x1FC; offset += 4) sum ^= ReadLe32(header + offset);
    if (sum != ReadLe32(header + 0x1FC)) {
        *reason = "bad header: its checksum does not match";
        return false;
    }
    const uint64_t dataSize = ReadLe32(header + 0x28);
    if (kHeaderSize + dataSize > size) {
        *reason = "truncated: the header gives " + std::to_string(dataSize) +
                  " bytes of hive data, the file holds " + std::to_string(size - kHeaderSize);
        return false;
    }
    *sequence1 = ReadLe32(header + 4);
    *sequence2 = ReadLe32(header + 8);
    return true;
}

// Reads every key and value cell once, and every value's data, so that a
// damaged hive is refused before anything is scanned. A key met twice is a
// loop in the tree. Data longer than the file is refused before hivex is
// asked for it: hivex would first allocate what the value's cell claims.
bool CheckTree(hive_h* h, uint64_t fileSize, std::string* reason) {
    std::vector<hive_node_h> pending{hivex_root(h)};
    std::unordered_set<hive_node_h> seen;
    auto bad = [&](hive_node_h node, const char* what) {
        char offset[32];
        std::snprintf(offset, sizeof offset, "0x%zx", static_cast<size_t>(node));
        *reason = std::string("bad cell: the key at offset ") + offset + " " + what;
        return false;
    };
    while (!pending.empty()) {
        const hive_node_h node = pending.back();
        pending.pop_back();
        if (node == 0) return bad(node, "is missing");
        if (!seen.insert(node).second) return bad(node, "appears twice in the tree");
        errno = 0;
        if (hivex_node_name_len(h, node) == 0 && errno != 0) return bad(node, "has no name");
        Freed<hive_node_h> children(hivex_node_children(h, node));
        if (children.p == nullptr)
            return bad(node, ("lists its subkeys wrongly: " + ErrnoText(errno)).c_str());
        Freed<hive_value_h> values(hivex_node_values(h, node));
        if (values.p == nullptr)
            return bad(node, ("lists its values wrongly: " + ErrnoText(errno)).c_str());
        for (size_t i = 0; values.p[i] != 0; ++i) {
            uint32_t type = 0;
            size_t length = 0;
            if (!RawValueType(h, values.p[i], &type, &length))
                return bad(node, "has a value that does not read");
            if (length > fileSize) return bad(node, "has a value longer than the file");
            std::string data;
            if (!RawValueData(h, values.p[i], &type, &data))
                return bad(node, "has a value whose data does not read");
        }
        for (size_t i = 0; children.p[i] != 0; ++i) pending.push_back(children.p[i]);
    }
    return true;
}

// Whether two hives hold the same tree: names, subkeys in order, values in
// order with their types and data.
bool SameTree(hive_h* a, hive_h* b, std::string* difference) {
    std::vector<std::pair<hive_node_h, hive_node_h>> pending{{hivex_root(a), hivex_root(b)}};
    while (!pending.empty()) {
        const auto [na, nb] = pending.back();
        pending.pop_back();
        std::string nameA, nameB;
        if (!RawNodeName(a, na, &nameA) || !RawNodeName(b, nb, &nameB) || nameA != nameB) {
            *difference = "a key's name differs";
            return false;
        }
        Freed<hive_value_h> va(hivex_node_values(a, na));
        Freed<hive_value_h> vb(hivex_node_values(b, nb));
        if (va.p == nullptr || vb.p == nullptr) {
            *difference = "the values of key " + nameA + " do not read";
            return false;
        }
        size_t i = 0;
        for (; va.p[i] != 0 && vb.p[i] != 0; ++i) {
            std::string keyA, keyB, dataA, dataB;
            uint32_t typeA = 0, typeB = 0;
            if (!RawValueName(a, va.p[i], &keyA) || !RawValueName(b, vb.p[i], &keyB) ||
                keyA != keyB || !RawValueData(a, va.p[i], &typeA, &dataA) ||
                !RawValueData(b, vb.p[i], &typeB, &dataB) || typeA != typeB || dataA != dataB) {
                *difference = "a value of key " + nameA + " differs";
                return false;
            }
        }
        if (va.p[i] != 0 || vb.p[i] != 0) {
            *difference = "key " + nameA + " holds another number of values";
            return false;
        }
        Freed<hive_node_h> ca(hivex_node_children(a, na));
        Freed<hive_node_h> cb(hivex_node_children(b, nb));
        if (ca.p == nullptr || cb.p == nullptr) {
            *difference = "the subkeys of key " + nameA + " do not read";
            return false;
        }
        size_t k = 0;
        for (; ca.p[k] != 0 && cb.p[k] != 0; ++k) pending.emplace_back(ca.p[k], cb.p[k]);
        if (ca.p[k] != 0 || cb.p[k] != 0) {
            *difference = "key " + nameA + " holds another number of subkeys";
            return false;
        }
    }
    return true;
}

std::string TwoDigits(int n) {
    return (n < 10 ? "0" : "") + std::to_string(n);
}

uint64_t FileSize(const std::string& path) {
    std::error_code ec;
    const auto size = std::filesystem::file_size(path, ec);
    return ec ? 0 : size;
}

// fsync of a file or a folder.
bool SyncFile(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDONLY);
    if (fd < 0) return false;
    const bool synced = ::fsync(fd) == 0;
    ::close(fd);
    return synced;
}

// hivex checks the block offsets of a damaged hive with assert() while it
// frees or links blocks, and a failed check ends the whole process. Each
// change is therefore tried first in a child process, on its copy of the
// hive in memory; only a change that the child survives is made here.
template <typename Change>
bool SurvivesInChild(Change change) {
    std::fflush(nullptr);
    const pid_t pid = fork();
    if (pid < 0) return false;
    if (pid == 0) {
        signal(SIGABRT, SIG_DFL);
        const int null = open("/dev/null", O_WRONLY);
        if (null >= 0) dup2(null, STDERR_FILENO);
        change();
        _exit(0);
    }
    int status = 0;
    while (waitpid(pid, &status, 0) < 0)
        if (errno != EINTR) return false;
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

}  // namespace

struct HiveFile::Wanted {
    std::string key;  // UTF-8, as hivex takes it
    uint32_t type;
    std::string data;  // as stored in the hive
};

struct HiveFile::Listing {
    bool childrenRead = false;
    bool valuesRead = false;
    std::vector<ChildEntry> children;
    std::vector<ValueEntry> values;
};

struct HiveFile::ListingCache {
    std::unordered_map<hive_node_h, Listing> listings;
};

HiveFile::~HiveFile() {
    if (h_ != nullptr) hivex_close(h_);
}

std::unique_ptr<HiveFile> HiveFile::Open(const std::string& path, bool writable,
                                         std::string* error) {
    auto fail = [&](const std::string& reason) {
        if (error != nullptr) *error = path + ": " + reason;
        return nullptr;
    };
    uint32_t sequence1 = 0, sequence2 = 0;
    std::string reason;
    if (!CheckHeader(path, &sequence1, &sequence2, &reason)) return fail(reason);

    std::unique_ptr<HiveFile> file(new HiveFile());
    file->path_ = path;
    file->cache_ = std::make_unique<ListingCache>();
    const std::string log = PendingLog(path);
    if (!log.empty()) {
        file->warning_ = path + ": the transaction log " + log +
                         " holds changes not yet in the hive; it is only read, never written "
                         "(start Windows once, or let its own tools replay the log)";
    } else if (sequence1 != sequence2) {
        file->warning_ = path +
                         ": the hive was not closed cleanly (its sequence numbers differ); it "
                         "is only read, never written";
    }
    file->writable_ = writable && file->warning_.empty();

    errno = 0;
    file->h_ = hivex_open(path.c_str(), file->writable_ ? HIVEX_OPEN_WRITE : 0);
    if (file->h_ == nullptr) {
        const int cause = errno;
        // The header passed the checks above: what hivex refuses is the
        // structure behind it, its bins and cells.
        return fail("bad cell: hivex refuses the hive's bins or cells (" + ErrnoText(cause) + ")");
    }
    file->root_ = hivex_root(file->h_);
    if (file->root_ == 0) return fail("bad cell: the root key does not read");
    if (!CheckTree(file->h_, FileSize(path), &reason)) return fail(reason);
    return file;
}

void HiveFile::MarkDamaged(const std::string& what) {
    if (damage_.empty()) damage_ = path_ + ": " + what;
}

void HiveFile::Changed() {
    modified_ = true;
    cache_->listings.clear();
}

HiveFile::Listing* HiveFile::ListingOf(hive_node_h node) {
    auto found = cache_->listings.find(node);
    if (found != cache_->listings.end()) return &found->second;
    if (cache_->listings.size() >= kCachedListings) cache_->listings.clear();
    return &cache_->listings[node];
}

bool HiveFile::Children(hive_node_h node, const std::vector<ChildEntry>** children) {
    Listing* listing = ListingOf(node);
    if (!listing->childrenRead) {
        Freed<hive_node_h> nodes(hivex_node_children(h_, node));
        if (nodes.p == nullptr) {
            MarkDamaged("the subkeys of a key do not read");
            return false;
        }
        std::vector<ChildEntry>& list = listing->children;
        for (size_t i = 0; nodes.p[i] != 0; ++i) {
            ChildEntry entry;
            entry.node = nodes.p[i];
            std::string raw;
            bool writableName = false;
            // A key whose name is empty, holds a backslash or is longer than
            // Windows allows cannot be reached by a path: it is walked past.
            entry.exact = RawNodeName(h_, entry.node, &raw) &&
                          ConvertName(raw, &entry.name, &writableName) && !entry.name.empty() &&
                          entry.name.find('\\') == std::string::npos &&
                          entry.name.size() <= memreg::kMaxKeyNameLength;
            list.push_back(std::move(entry));
        }
        std::stable_sort(list.begin(), list.end(), [](const ChildEntry& a, const ChildEntry& b) {
            return memreg::CompareNames(a.name, b.name) < 0;
        });
        // Two names that become one in the code page: neither is the one a
        // caller means.
        for (size_t i = 1; i < list.size(); ++i) {
            if (memreg::CompareNames(list[i - 1].name, list[i].name) == 0)
                list[i - 1].exact = list[i].exact = false;
        }
        listing->childrenRead = true;
    }
    *children = &listing->children;
    return true;
}

bool HiveFile::Values(hive_node_h node, const std::vector<ValueEntry>** values) {
    Listing* listing = ListingOf(node);
    if (!listing->valuesRead) {
        Freed<hive_value_h> handles(hivex_node_values(h_, node));
        if (handles.p == nullptr) {
            MarkDamaged("the values of a key do not read");
            return false;
        }
        for (size_t i = 0; handles.p[i] != 0; ++i) {
            ValueEntry entry;
            entry.value = handles.p[i];
            std::string raw;
            const bool named = RawValueName(h_, entry.value, &raw);
            entry.writableName = false;
            entry.nameExact = named && ConvertName(raw, &entry.name, &entry.writableName);
            entry.exact = entry.nameExact;
            uint32_t type = 0;
            size_t length = 0;
            if (!RawValueType(h_, entry.value, &type, &length)) {
                MarkDamaged("a value does not read");
                return false;
            }
            entry.type = type;
            entry.rawLength = static_cast<uint32_t>(length);
            if (regtype::IsText(entry.type)) {
                std::string bytes;
                if (!RawValueData(h_, entry.value, &type, &bytes)) {
                    MarkDamaged("the data of a value does not read");
                    return false;
                }
                if (!ConvertText(bytes.data(), bytes.size(), &entry.text)) entry.exact = false;
            }
            listing->values.push_back(std::move(entry));
        }
        std::vector<size_t> order(listing->values.size());
        for (size_t i = 0; i < order.size(); ++i) order[i] = i;
        std::sort(order.begin(), order.end(), [&](size_t a, size_t b) {
            return memreg::CompareNames(listing->values[a].name, listing->values[b].name) < 0;
        });
        for (size_t i = 1; i < order.size(); ++i) {
            if (memreg::CompareNames(listing->values[order[i - 1]].name,
                                     listing->values[order[i]].name) == 0)
                for (size_t k : {order[i - 1], order[i]})
                    listing->values[k].exact = listing->values[k].nameExact = false;
        }
        listing->valuesRead = true;
    }
    *values = &listing->values;
    return true;
}

hive_node_h HiveFile::FindChild(hive_node_h node, std::string_view name) {
    const std::vector<ChildEntry>* children = nullptr;
    if (!Children(node, &children)) return 0;
    auto it = std::lower_bound(children->begin(), children->end(), name,
                               [](const ChildEntry& a, std::string_view b) {
                                   return memreg::CompareNames(a.name, b) < 0;
                               });
    for (; it != children->end() && memreg::CompareNames(it->name, name) == 0; ++it)
        if (it->exact) return it->node;
    return 0;
}

bool HiveFile::ReadData(const ValueEntry& value, std::string* data) {
    if (regtype::IsText(value.type)) {
        *data = value.text;
        return true;
    }
    uint32_t type = 0;
    if (!RawValueData(h_, value.value, &type, data)) {
        MarkDamaged("the data of a value does not read");
        return false;
    }
    return true;
}

bool HiveFile::SubtreeExact(hive_node_h node) {
    std::vector<hive_node_h> pending{node};
    while (!pending.empty()) {
        const hive_node_h current = pending.back();
        pending.pop_back();
        const std::vector<ValueEntry>* values = nullptr;
        if (!Values(current, &values)) return false;
        for (const ValueEntry& value : *values)
            if (!value.exact) return false;
        const std::vector<ChildEntry>* children = nullptr;
        if (!Children(current, &children)) return false;
        std::vector<hive_node_h> next;
        for (const ChildEntry& child : *children) {
            if (!child.exact) return false;
            next.push_back(child.node);
        }
        pending.insert(pending.end(), next.begin(), next.end());
    }
    return true;
}

bool HiveFile::IsWithin(hive_node_h node, hive_node_h top) {
    for (size_t depth = 0; node != 0 && depth < 512; ++depth) {
        if (node == top) return true;
        if (node == root_) return false;
        node = hivex_node_parent(h_, node);
    }
    return false;
}

uint32_t HiveFile::AddChild(hive_node_h parent, std::string_view name, hive_node_h* child) {
    if (!writable_ || damaged()) return status::kAccessDenied;
    const std::string hiveName = NameToHive(name);
    if (!SurvivesInChild([&] { hivex_node_add_child(h_, parent, hiveName.c_str()); })) {
        MarkDamaged("hivex stopped on a damaged block while adding a key");
        return status::kWriteFault;
    }
    errno = 0;
    *child = hivex_node_add_child(h_, parent, hiveName.c_str());
    Changed();
    if (*child == 0) {
        MarkDamaged("hivex could not add a key: " + ErrnoText(errno));
        return status::kWriteFault;
    }
    return status::kSuccess;
}

uint32_t HiveFile::DeleteNode(hive_node_h node) {
    if (!writable_ || damaged()) return status::kAccessDenied;
    if (node == root_) return status::kAccessDenied;
    if (!SurvivesInChild([&] { hivex_node_delete_child(h_, node); })) {
        MarkDamaged("hivex stopped on a damaged block while deleting a key");
        return status::kWriteFault;
    }
    errno = 0;
    const int result = hivex_node_delete_child(h_, node);
    Changed();
    if (result != 0) {
        MarkDamaged("hivex could not delete a key: " + ErrnoText(errno));
        return status::kWriteFault;
    }
    return status::kSuccess;
}

uint32_t HiveFile::WriteValue(hive_node_h node, std::string_view name, uint32_t type,
                              const std::string* data) {
    if (!writable_ || damaged()) return status::kAccessDenied;
    const std::vector<ValueEntry>* listed = nullptr;
    if (!Values(node, &listed)) return status::kCantRead;
    // hivex writes a key's values as one list, each name given as UTF-8 text
    // ending at a zero byte. A value whose name holds a zero character would
    // lose the rest of its name, so such a key's values are never rewritten.
    std::vector<Wanted> wanted;
    bool replaced = false;
    for (const ValueEntry& value : *listed) {
        if (!value.writableName) return status::kNoUnicodeTranslation;
        Wanted w;
        if (!RawValueName(h_, value.value, &w.key) ||
            !RawValueData(h_, value.value, &w.type, &w.data))
            return status::kCantRead;
        if (value.nameExact && memreg::NamesEqual(value.name, name)) {
            replaced = true;
            if (data == nullptr) continue;
            w.type = type;
            w.data = regtype::IsText(type) ? TextToHive(*data) : *data;
        }
        wanted.push_back(std::move(w));
    }
    if (!replaced) {
        if (data == nullptr) return status::kFileNotFound;
        wanted.push_back(
            {NameToHive(name), type, regtype::IsText(type) ? TextToHive(*data) : *data});
    }
    return SetValues(node, wanted);
}

uint32_t HiveFile::ReplaceValues(hive_node_h node, const std::vector<NewValue>& values) {
    if (!writable_ || damaged()) return status::kAccessDenied;
    std::vector<Wanted> wanted;
    for (const NewValue& value : values)
        wanted.push_back({NameToHive(value.name), value.type,
                          regtype::IsText(value.type) ? TextToHive(value.data) : value.data});
    return SetValues(node, wanted);
}

uint32_t HiveFile::SetValues(hive_node_h node, const std::vector<Wanted>& wanted) {
    for (const Wanted& value : wanted)
        if (value.data.size() > kLongestPlainData) return status::kCantWrite;
    std::vector<hive_set_value> set(wanted.size());
    for (size_t i = 0; i < wanted.size(); ++i) {
        set[i].key = const_cast<char*>(wanted[i].key.data());
        SetTypeBits(&set[i].t, wanted[i].type);
        set[i].len = wanted[i].data.size();
        set[i].value = const_cast<char*>(wanted[i].data.data());
    }
    if (!SurvivesInChild([&] { hivex_node_set_values(h_, node, set.size(), set.data(), 0); })) {
        MarkDamaged("hivex stopped on a damaged block while writing the values of a key");
        return status::kWriteFault;
    }
    errno = 0;
    const int result = hivex_node_set_values(h_, node, set.size(), set.data(), 0);
    Changed();
    if (result != 0) {
        MarkDamaged("hivex could not write the values of a key: " + ErrnoText(errno));
        return status::kWriteFault;
    }
    // Read back what hivex wrote: exactly the list asked for.
    Freed<hive_value_h> now(hivex_node_values(h_, node));
    size_t i = 0;
    for (; now.p != nullptr && now.p[i] != 0 && i < wanted.size(); ++i) {
        std::string key, bytes;
        uint32_t t = 0;
        if (!RawValueName(h_, now.p[i], &key) || !RawValueData(h_, now.p[i], &t, &bytes) ||
            key != wanted[i].key || t != wanted[i].type || bytes != wanted[i].data)
            break;
    }
    if (now.p == nullptr || now.p[i] != 0 || i != wanted.size()) {
        MarkDamaged("hivex did not write the values of a key as asked");
        return status::kWriteFault;
    }
    return status::kSuccess;
}

bool HiveFile::SaveAs(const std::string& newPath, std::string* error) {
    errno = 0;
    if (hivex_commit(h_, newPath.c_str(), 0) == 0) return true;
    if (error != nullptr) *error = newPath + ": cannot write the hive: " + ErrnoText(errno);
    return false;
}

bool HiveFile::Commit(const UtcTime& now, std::string* backup, std::string* error) {
    auto fail = [&](const std::string& reason) {
        if (error != nullptr) *error = path_ + ": " + reason + "; the hive was left as it was";
        return false;
    };
    if (!damage_.empty()) return fail(damage_.substr(path_.size() + 2));
    if (!writable_) return fail(warning_.empty() ? "it was opened read-only" : "it is only read");
    const std::string fresh = path_ + ".quillmend-new";
    std::remove(fresh.c_str());
    errno = 0;
    if (hivex_commit(h_, fresh.c_str(), 0) != 0) {
        const std::string reason = "writing " + fresh + " failed: " + ErrnoText(errno);
        std::remove(fresh.c_str());
        return fail(reason);
    }
    // The new file as a reader will find it: it opens, its tree is sound
    // and it is the tree held here.
    {
        std::string reason;
        hive_h* reopened = hivex_open(fresh.c_str(), 0);
        const bool same = reopened != nullptr && CheckTree(reopened, FileSize(fresh), &reason) &&
                          SameTree(h_, reopened, &reason);
        if (reopened != nullptr) hivex_close(reopened);
        if (!same || !SyncFile(fresh)) {
            std::remove(fresh.c_str());
            return fail(fresh + " does not read back as written" +
                        (reason.empty() ? std::string() : ": " + reason));
        }
    }
    const std::string stamp = std::to_string(now.year) + TwoDigits(now.month) + TwoDigits(now.day) +
                              "-" + TwoDigits(now.hour) + TwoDigits(now.minute) +
                              TwoDigits(now.second);
    std::string kept = path_ + ".quillmend-" + stamp + ".bak";
    std::error_code ec;
    for (int n = 2; std::filesystem::exists(kept, ec); ++n)
        kept = path_ + ".quillmend-" + stamp + "-" + std::to_string(n) + ".bak";
    if (std::rename(path_.c_str(), kept.c_str()) != 0) {
        const std::string reason = "cannot keep the original as " + kept + ": " + ErrnoText(errno);
        std::remove(fresh.c_str());
        return fail(reason);
    }
    if (std::rename(fresh.c_str(), path_.c_str()) != 0) {
        const std::string reason = "cannot put " + fresh + " in its place: " + ErrnoText(errno);
        std::rename(kept.c_str(), path_.c_str());
        return fail(reason);
    }
    // The renames themselves reach the disk before the caller goes on.
    const std::filesystem::path folder = std::filesystem::path(path_).parent_path();
    SyncFile(folder.empty() ? "." : folder.string());
    modified_ = false;
    if (backup != nullptr) *backup = kept;
    return true;
}

}  // namespace qm::hive
