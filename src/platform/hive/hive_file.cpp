#include "platform/hive/hive_file.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <unordered_set>

#include "platform/hive/hive_bytes.h"
#include "platform/hive/hive_log.h"
#include "platform/memory/memory_registry_tree.h"
#include "platform/regtext/reg_text.h"
#include "platform/win32_codes.h"

namespace qm::hive {

namespace {

// Listings kept at once; a walk of a whole hive needs only the keys on its
// path, so this bounds the memory a large hive costs.
constexpr size_t kCachedListings = 32768;
// Handles of keys made here lie above every offset a hive file can hold.
constexpr hive_node_h kFirstMade = hive_node_h{1} << 40;

// The names of the logs beside the hive, "<hive>.LOG1" then ".LOG2", found
// with the name's case ignored as the Windows file system ignores it; and in
// `single` that of "<hive>.LOG", the one log of older versions of Windows,
// which is not read here.
std::vector<std::string> LogNames(const std::string& path, std::string* single) {
    namespace fs = std::filesystem;
    std::error_code ec;
    const fs::path hivePath(path);
    const fs::path folder = hivePath.has_parent_path() ? hivePath.parent_path() : fs::path(".");
    auto upper = [](std::string text) {
        std::transform(text.begin(), text.end(), text.begin(),
                       [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
        return text;
    };
    const std::string stem = upper(hivePath.filename().string());
    std::string names[3];
    for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
        const std::string name = it->path().filename().string();
        for (int i = 0; i < 3; ++i)
            if (upper(name) == stem + ".LOG" + (i < 2 ? std::to_string(i + 1) : ""))
                names[i] = name;
    }
    *single = names[2];
    std::vector<std::string> found;
    for (int i = 0; i < 2; ++i)
        if (!names[i].empty()) found.push_back(names[i]);
    return found;
}

// The base block's own checks, which say what is wrong in words: the
// signature, and whether the file holds the hive data the header
// announces; and the checksum unless a log may stand in for it.
bool CheckHeader(std::string_view header, uint64_t size, bool checksum, std::string* reason) {
    if (header.size() < 4 || header.substr(0, 4) != "regf") {
        *reason = "bad header: not a registry hive (no \"regf\" signature)";
        return false;
    }
    if (size < kBaseBlockSize || header.size() < kBaseBlockSize) {
        *reason = "truncated: " + std::to_string(size) + " bytes, shorter than the " +
                  std::to_string(kBaseBlockSize) + "-byte header";
        return false;
    }
    if (checksum && !BaseBlockChecksumRight(header)) {
        *reason = "bad header: its checksum does not match";
        return false;
    }
    const uint64_t dataSize = Le32(header, 0x28);
    if (kBaseBlockSize + dataSize > size) {
        *reason = "truncated: the header gives " + std::to_string(dataSize) +
                  " bytes of hive data, the file holds " + std::to_string(size - kBaseBlockSize);
        return false;
    }
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

}  // namespace

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
    std::unique_ptr<HiveFile> file(new HiveFile());
    file->path_ = path;
    file->cache_ = std::make_unique<ListingCache>();
    file->nextMade_ = kFirstMade;
    // The folder and the file are opened once: every later step (the
    // checks, hivex, the commit) works on these, whatever happens to the
    // names meanwhile.
    const std::filesystem::path where(path);
    file->name_ = where.filename().string();
    const std::string folder = where.has_parent_path() ? where.parent_path().string() : ".";
    file->folder_ = UniqueFd(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!file->folder_.valid() || file->name_.empty())
        return fail("cannot open the folder: " + ErrnoText(file->name_.empty() ? EISDIR : errno));
    file->file_ = UniqueFd(
        ::openat(file->folder_.get(), file->name_.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC));
    if (!file->file_.valid()) {
        if (errno == ELOOP) return fail("is a symbolic link; give the file it leads to");
        return fail("cannot open the file: " + ErrnoText(errno));
    }
    if (::fstat(file->file_.get(), &file->identity_) != 0 || !S_ISREG(file->identity_.st_mode))
        return fail("is not a plain file");
    const auto size = static_cast<uint64_t>(file->identity_.st_size);

    std::string reason;
    std::string header(kBaseBlockSize, '\0');
    const ssize_t got = ::pread(file->file_.get(), header.data(), header.size(), 0);
    if (got < 0) return fail("cannot read the file: " + ErrnoText(errno));
    header.resize(static_cast<size_t>(got));
    if (!CheckHeader(header, size, false, &reason)) {
        // A hive too short for its header: the checks say so before the
        // logs are looked at.
        if (reason.starts_with("bad header") || size < kBaseBlockSize) return fail(reason);
    }
    // The logs are read only when the hive needs them; they are set aside
    // with the hive's original whenever it is written.
    for (const std::string& log : LogNames(path, &file->singleLog_)) {
        struct stat identity {};
        if (::fstatat(file->folder_.get(), log.c_str(), &identity, AT_SYMLINK_NOFOLLOW) == 0)
            file->logs_.push_back({log, identity});
    }
    const bool clean = BaseBlockChecksumRight(header) && Le32(header, 4) == Le32(header, 8);
    uint64_t imageSize = size;
    if (clean) {
        if (!CheckHeader(header, size, true, &reason)) return fail(reason);
        file->source_ = UniqueFd(::dup(file->file_.get()));
    } else if (!file->Recover(size, &imageSize, &reason)) {
        return fail(reason);
    }
    file->writable_ = writable && file->warning_.empty();
    if (file->writable_) {
        // A hive to be written must pass Windows' own checks first, so that
        // no change ever starts on a damaged cell (hivex trusts, for one, the
        // links between security cells when it deletes a key).
        MappedBytes bytes;
        if (!bytes.Map(file->source_.get(), false))
            return fail("cannot read the file: " + ErrnoText(errno));
        const std::string fault = CheckImage(bytes.view(), false, &file->facts_);
        if (!fault.empty()) {
            file->writable_ = false;
            file->warning_ = path + ": it fails the checks Windows makes of a hive (" + fault +
                             "); it is only read, never written";
        }
    }

    // hivex reads the file (or the hive recovered from its logs) through
    // the descriptor opened above, and only reads it: the changes are made
    // in a copy of it when they are written.
    errno = 0;
    file->h_ = file->source_.valid() ? hivex_open(DescriptorPath(file->source_.get()).c_str(), 0)
                                     : nullptr;
    if (file->h_ == nullptr) {
        const int cause = errno;
        // The header passed the checks above: what hivex refuses is the
        // structure behind it, its bins and cells.
        return fail("bad cell: hivex refuses the hive's bins or cells (" + ErrnoText(cause) + ")");
    }
    file->root_ = hivex_root(file->h_);
    if (file->root_ == 0) return fail("bad cell: the root key does not read");
    // A hive that passed our own checks above holds every cell that hivex
    // reads; the others are read once through hivex.
    if (!file->writable_ && !CheckTree(file->h_, imageSize, &reason)) return fail(reason);
    return file;
}

bool HiveFile::Recover(uint64_t size, uint64_t* imageSize, std::string* reason) {
    std::string hive;
    if (!ReadAll(file_.get(), &hive)) {
        *reason = "cannot read the file: " + ErrnoText(errno);
        return false;
    }
    std::vector<LogFile> logs;
    for (const Log& log : logs_) {
        // Not blocking, so that a log that is no plain file (a pipe) is only
        // passed over.
        UniqueFd fd(::openat(folder_.get(), log.name.c_str(),
                             O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
        struct stat st {};
        std::string bytes;
        if (fd.valid() && ::fstat(fd.get(), &st) == 0 && S_ISREG(st.st_mode) &&
            ReadAll(fd.get(), &bytes))
            logs.push_back({log.name, std::move(bytes)});
    }
    const Recovery recovery = RecoverHive(hive, logs);
    switch (recovery.state) {
        case Recovery::State::kClean:
            break;
        case Recovery::State::kDamaged:
            *reason = "bad header: its checksum does not match, and no log holds a copy of it";
            return false;
        case Recovery::State::kUnusable: {
            warning_ = path_ +
                       ": the hive was not written out in full (its sequence numbers differ), "
                       "and its logs cannot bring it up to date (" +
                       recovery.reason +
                       "); it is read as it lies, so the scan may miss the last changes "
                       "Windows made to it, and it is never written";
            // Windows itself may still read a log of the older form.
            struct stat single {};
            if (!singleLog_.empty() &&
                ::fstatat(folder_.get(), singleLog_.c_str(), &single, AT_SYMLINK_NOFOLLOW) == 0 &&
                S_ISREG(single.st_mode) && single.st_size > 0)
                warning_ += " (" + singleLog_ +
                            ", a log of an older form that is not read here, may hold those "
                            "changes: if this Windows still starts, starting it once brings the "
                            "hive up to date)";
            break;
        }
        case Recovery::State::kRecovered: {
            // The recovered hive lies in memory only: a file of no name.
            UniqueFd image(::memfd_create("recovered-hive", MFD_CLOEXEC));
            if (!image.valid() || !WriteAll(image.get(), recovery.image)) {
                *reason = "cannot hold the hive recovered from its logs: " + ErrnoText(errno);
                return false;
            }
            std::string used;
            for (const std::string& name : recovery.used) used += (used.empty() ? "" : ", ") + name;
            notice_ =
                path_ +
                ": the hive was not written out in full; it is read as recovered "
                "in memory from its transaction logs: " +
                (recovery.newFormat
                     ? std::to_string(recovery.applied) + " log " +
                           (recovery.applied == 1 ? "entry" : "entries") + " applied from " + used
                     : std::to_string(recovery.applied) + " dirty pages applied from " + used +
                           " (the old log format)");
            if (!recovery.stop.empty()) notice_ += "; recovery stopped where " + recovery.stop;
            source_ = std::move(image);
            *imageSize = recovery.image.size();
            return true;
        }
    }
    // Read as it lies.
    if (!CheckHeader(hive, size, false, reason)) return false;
    source_ = UniqueFd(::dup(file_.get()));
    return true;
}

void HiveFile::MarkDamaged(const std::string& what) {
    if (damage_.empty()) damage_ = path_ + ": " + what;
}

HiveFile::Listing* HiveFile::ListingOf(hive_node_h node) {
    auto found = cache_->listings.find(node);
    if (found != cache_->listings.end()) return &found->second;
    if (cache_->listings.size() >= kCachedListings) cache_->listings.clear();
    return &cache_->listings[node];
}

bool HiveFile::Children(hive_node_h node, const std::vector<ChildEntry>** children) {
    auto edit = edits_.find(node);
    if (edit != edits_.end() && edit->second.childrenHeld) {
        *children = &edit->second.children;
        return true;
    }
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
    auto edit = edits_.find(node);
    if (edit != edits_.end() && edit->second.valuesHeld) {
        Edit& held = edit->second;
        if (held.removed != 0) {
            std::erase_if(held.values, [](const ValueEntry& value) { return value.removed; });
            held.removed = 0;
            held.hint = 0;
        }
        *values = &held.values;
        return true;
    }
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

size_t HiveFile::HeldValue(Edit& edit, std::string_view name) {
    // Searched from where the last one was found: a repair deletes a key's
    // values in their order.
    const size_t count = edit.values.size();
    for (size_t step = 0; step < count; ++step) {
        const size_t i = (edit.hint + step) % count;
        const ValueEntry& value = edit.values[i];
        if (!value.removed && value.nameExact && memreg::NamesEqual(value.name, name)) {
            edit.hint = i;
            return i;
        }
    }
    return count;
}

uint32_t HiveFile::FindValue(hive_node_h node, std::string_view name, const ValueEntry** value) {
    *value = nullptr;
    auto edit = edits_.find(node);
    if (edit != edits_.end() && edit->second.valuesHeld) {
        const size_t at = HeldValue(edit->second, name);
        if (at == edit->second.values.size()) return status::kFileNotFound;
        *value = &edit->second.values[at];
        return status::kSuccess;
    }
    const std::vector<ValueEntry>* values = nullptr;
    if (!Values(node, &values)) return status::kCantRead;
    for (const ValueEntry& entry : *values) {
        if (entry.nameExact && memreg::NamesEqual(entry.name, name)) {
            *value = &entry;
            return status::kSuccess;
        }
    }
    return status::kFileNotFound;
}

bool HiveFile::ReadData(const ValueEntry& value, std::string* data) {
    if (regtype::IsText(value.type)) {
        *data = value.text;
        return true;
    }
    if (value.held) {
        *data = value.bytes;
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
        node = Parent(node);
    }
    return false;
}

bool HiveFile::Made(hive_node_h node) {
    return node >= kFirstMade;
}

hive_node_h HiveFile::Parent(hive_node_h node) {
    if (Made(node)) {
        auto edit = edits_.find(node);
        return edit != edits_.end() ? edit->second.parent : 0;
    }
    return hivex_node_parent(h_, node);
}

bool HiveFile::Gone(hive_node_h node) {
    for (size_t depth = 0; node != 0 && depth < 512; ++depth) {
        auto edit = edits_.find(node);
        if (edit != edits_.end() && edit->second.deleted) return true;
        if (node == root_) return false;
        node = Parent(node);
    }
    return false;
}

HiveFile::Edit* HiveFile::HoldChildren(hive_node_h node) {
    Edit& edit = edits_[node];
    if (!edit.childrenHeld) {
        const std::vector<ChildEntry>* children = nullptr;
        if (!Children(node, &children)) return nullptr;
        edit.children = *children;
        edit.childrenHeld = true;
    }
    return &edit;
}

HiveFile::Edit* HiveFile::HoldValues(hive_node_h node, uint32_t* status) {
    Edit& edit = edits_[node];
    if (edit.valuesHeld || edit.refusal != status::kSuccess) return &edit;
    const std::vector<ValueEntry>* values = nullptr;
    *status = status::kCantRead;
    if (!Values(node, &values)) return nullptr;
    // hivex writes a key's values as one list, each name given as UTF-8 text
    // ending at a zero byte, each value's data in one cell. A value whose
    // name holds a zero character (or does not read) would lose its name,
    // and data longer than a cell holds would be written in a form Windows
    // misreads: such a key's values are never rewritten, and not held.
    for (const ValueEntry& value : *values) {
        if (!value.writableName) edit.refusal = status::kNoUnicodeTranslation;
        if (edit.refusal == status::kSuccess && value.rawLength > kLongestCellData)
            edit.refusal = status::kCantWrite;
        if (edit.refusal != status::kSuccess) return &edit;
    }
    std::vector<ValueEntry> held = *values;
    for (ValueEntry& value : held) {
        uint32_t type = 0;
        if (!RawValueName(h_, value.value, &value.key) ||
            !RawValueData(h_, value.value, &type, &value.bytes)) {
            MarkDamaged("a value does not read");
            return nullptr;
        }
        value.held = true;
    }
    edit.values = std::move(held);
    edit.valuesHeld = true;
    return &edit;
}

namespace {

// A value written here, as the registry then shows it.
ValueEntry NewHeldValue(std::string_view name, uint32_t type, const std::string& data) {
    ValueEntry value;
    value.name = std::string(name);
    value.type = type;
    value.held = true;
    value.key = NameToHive(name);
    value.bytes = regtype::IsText(type) ? TextToHive(data) : data;
    if (regtype::IsText(type)) value.text = data;
    value.rawLength = static_cast<uint32_t>(value.bytes.size());
    return value;
}

}  // namespace

uint32_t HiveFile::AddChild(hive_node_h parent, std::string_view name, hive_node_h* child) {
    if (!writable_ || damaged()) return status::kAccessDenied;
    if (Gone(parent)) return status::kKeyDeleted;
    Edit* above = HoldChildren(parent);
    if (above == nullptr) return status::kCantRead;
    const hive_node_h node = nextMade_++;
    Edit& made = edits_[node];
    made.made = true;
    made.parent = parent;
    made.key = NameToHive(name);
    made.childrenHeld = made.valuesHeld = true;
    std::vector<ChildEntry>& list = above->children;
    auto at = std::upper_bound(list.begin(), list.end(), name,
                               [](std::string_view a, const ChildEntry& b) {
                                   return memreg::CompareNames(a, b.name) < 0;
                               });
    list.insert(at, ChildEntry{std::string(name), true, node});
    modified_ = true;
    *child = node;
    return status::kSuccess;
}

uint32_t HiveFile::DeleteNode(hive_node_h node) {
    if (!writable_ || damaged()) return status::kAccessDenied;
    if (node == root_) return status::kAccessDenied;
    const hive_node_h parent = Parent(node);
    if (parent == 0) return status::kCantRead;
    // hivex takes a subkey out of fast and hash leaves only.
    if (!Made(node) && std::find(facts_.indexLeaves.begin(), facts_.indexLeaves.end(), parent) !=
                           facts_.indexLeaves.end())
        return status::kCantWrite;
    Edit* above = HoldChildren(parent);
    if (above == nullptr) return status::kCantRead;
    std::vector<ChildEntry>& list = above->children;
    list.erase(std::remove_if(list.begin(), list.end(),
                              [node](const ChildEntry& c) { return c.node == node; }),
               list.end());
    edits_[node].deleted = true;
    modified_ = true;
    return status::kSuccess;
}

uint32_t HiveFile::WriteValue(hive_node_h node, std::string_view name, uint32_t type,
                              const std::string* data) {
    if (!writable_ || damaged()) return status::kAccessDenied;
    uint32_t failed = status::kSuccess;
    Edit* edit = HoldValues(node, &failed);
    if (edit == nullptr) return failed;
    if (edit->refusal != status::kSuccess) return edit->refusal;
    std::vector<ValueEntry>& values = edit->values;
    const size_t found = HeldValue(*edit, name);
    if (data == nullptr) {
        if (found == values.size()) return status::kFileNotFound;
        values[found].removed = true;
        ++edit->removed;
        modified_ = true;
        return status::kSuccess;
    }
    ValueEntry value = NewHeldValue(name, type, *data);
    if (value.bytes.size() > kLongestCellData) return status::kCantWrite;
    if (found != values.size()) {
        // The value keeps its name as it was written, whatever case the
        // caller gives it.
        value.name = std::move(values[found].name);
        value.key = std::move(values[found].key);
        values[found] = std::move(value);
    } else {
        // A name that becomes another's in the code page: neither is the one
        // a caller means.
        for (ValueEntry& other : values) {
            if (!other.removed && memreg::CompareNames(other.name, value.name) == 0)
                other.exact = other.nameExact = value.exact = value.nameExact = false;
        }
        values.push_back(std::move(value));
    }
    modified_ = true;
    return status::kSuccess;
}

uint32_t HiveFile::ReplaceValues(hive_node_h node, const std::vector<NewValue>& values) {
    if (!writable_ || damaged()) return status::kAccessDenied;
    std::vector<ValueEntry> held;
    for (const NewValue& value : values) {
        held.push_back(NewHeldValue(value.name, value.type, value.data));
        if (held.back().bytes.size() > kLongestCellData) return status::kCantWrite;
    }
    Edit& edit = edits_[node];
    edit.values = std::move(held);
    edit.valuesHeld = true;
    edit.removed = edit.hint = 0;
    edit.refusal = status::kSuccess;
    modified_ = true;
    return status::kSuccess;
}

}  // namespace qm::hive
