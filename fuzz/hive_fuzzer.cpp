// The hive backend on any bytes, taken as a hive file. Opening must either
// refuse with "<file>: <reason>", the reason one of those the backend names
// (truncated, bad header, bad cell), or give a tree that the registry
// functions walk to the end, mounted at HKLM\SOFTWARE:
//  - every key and value listed by name opens or reads again by that name,
//    with the same type and data, and the counts of QueryInfoKey are what
//    the enumerations list;
//  - a writable open of the same bytes shows the same tree;
//  - on that writable copy some keys and values (picked from a hash of the
//    input) are deleted through the registry functions, and the hive is
//    committed and opened again: it holds exactly the tree expected, the
//    original is kept as the backup, byte for byte, and the committed hive
//    passes the checks Windows makes of a hive (hive_image.h: sorted lists
//    with Windows' hashes, big data in db records, contiguous cells,
//    consistent security cells, checksum and sequence numbers). A deletion
//    that is refused is refused for a reason the tree shows (an entry below
//    it that cannot be named, a value beside it that cannot be written back,
//    a list hivex cannot edit), and a failed or refused commit leaves the
//    file as it was with nothing beside it.
// The walk stops after kMaxKeys keys and kMaxDataBytes bytes of data; a tree
// larger than that is only walked, not changed.
//
// The seeds are the test hives of tests/platform/hive/fixtures, small hives
// made with hive::BuildHive from registry text (keys and values of every
// type, names outside the code page, a key with many subkeys, deep keys),
// and damaged copies of them: cut short, the header's checksum or size
// wrong, a cell's size or offset changed.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "fuzz/fuzz_support.h"
#include "platform/hive/hive_image.h"
#include "platform/hive/hive_registry.h"
#include "platform/memory/memory_registry_tree.h"

namespace {

using namespace qm;
using qm::fuzz::Check;
namespace fs = std::filesystem;

constexpr size_t kMaxKeys = 3000;
constexpr size_t kMaxDepth = 400;
constexpr size_t kMaxDataBytes = 8 << 20;
constexpr size_t kMaxDeletions = 6;
// The largest value data hivex writes as it reads (see hive_file.cpp).
constexpr uint32_t kLongestPlainData = 16344;

struct Value {
    std::string name;
    uint32_t type = 0;
    std::string data;
};

// A key as the registry functions show it. Entries that cannot be named
// (listed with kNoUnicodeTranslation) are only counted.
struct Key {
    std::string name;
    std::vector<Value> values;
    std::vector<Key> children;
    size_t unnamedValues = 0;
    size_t unnamedChildren = 0;
};

std::string Describe(const Key& key, const std::string& path = "") {
    std::string text = "[" + path + "] " + std::to_string(key.unnamedValues) + " unnamed values, " +
                       std::to_string(key.unnamedChildren) + " unnamed keys\n";
    for (const Value& v : key.values)
        text += "  \"" + v.name + "\" " + std::to_string(v.type) + " " +
                std::to_string(v.data.size()) + " bytes\n";
    for (const Key& child : key.children)
        text += Describe(child, path.empty() ? child.name : path + "\\" + child.name);
    return text;
}

bool Same(const Key& a, const Key& b) {
    if (a.name != b.name || a.unnamedValues != b.unnamedValues ||
        a.unnamedChildren != b.unnamedChildren || a.values.size() != b.values.size() ||
        a.children.size() != b.children.size())
        return false;
    for (size_t i = 0; i < a.values.size(); ++i)
        if (a.values[i].name != b.values[i].name || a.values[i].type != b.values[i].type ||
            a.values[i].data != b.values[i].data)
            return false;
    for (size_t i = 0; i < a.children.size(); ++i)
        if (!Same(a.children[i], b.children[i])) return false;
    return true;
}

bool Nameable(const Key& key) {
    if (key.unnamedValues != 0 || key.unnamedChildren != 0) return false;
    for (const Key& child : key.children)
        if (!Nameable(child)) return false;
    return true;
}

class Walker {
  public:
    explicit Walker(RegistryService& registry) : registry_(registry) {}
    // False when the tree was larger than the bounds.
    bool complete() const { return complete_; }

    void Walk(HKey handle, const std::string& path, Key* key, size_t depth) {
        if (++keys_ > kMaxKeys || depth > kMaxDepth) {
            complete_ = false;
            return;
        }
        KeyInfo info;
        Check(registry_.QueryInfoKey(handle, &info) == status::kSuccess,
              "QueryInfoKey fails on [" + path + "]");
        WalkValues(handle, path, key);
        Check(key->values.size() + key->unnamedValues == info.values || !complete_,
              "[" + path + "]: QueryInfoKey counts " + std::to_string(info.values) +
                  " values, the enumeration lists " +
                  std::to_string(key->values.size() + key->unnamedValues));
        std::vector<char>& name = name_;
        for (uint32_t i = 0; complete_; ++i) {
            uint32_t size = static_cast<uint32_t>(name.size());
            const Status s = registry_.EnumKey(handle, i, name.data(), &size);
            if (s == status::kNoMoreItems) break;
            if (s == status::kNoUnicodeTranslation) {
                ++key->unnamedChildren;
                continue;
            }
            Check(s == status::kSuccess,
                  "EnumKey " + std::to_string(i) + " of [" + path + "] gives " + std::to_string(s));
            const std::string childName(name.data(), size);
            const std::string childPath = path.empty() ? childName : path + "\\" + childName;
            // A name that a caller can pass to reach this key and no other.
            Check(!childName.empty() && childName.find('\\') == std::string::npos &&
                      childName.size() <= memreg::kMaxKeyNameLength,
                  "[" + path + "] lists a subkey that no name reaches: \"" + childName + "\"");
            RegKey child(registry_);
            const Status opened = child.Open(handle, childName.c_str(), access::kRead);
            Check(opened == status::kSuccess,
                  "the listed key [" + childPath + "] does not open: " + std::to_string(opened));
            key->children.push_back(Key{childName, {}, {}, 0, 0});
            Walk(child.get(), childPath, &key->children.back(), depth + 1);
        }
        Check(key->children.size() + key->unnamedChildren == info.subKeys || !complete_,
              "[" + path + "]: QueryInfoKey counts " + std::to_string(info.subKeys) +
                  " subkeys, the enumeration lists " +
                  std::to_string(key->children.size() + key->unnamedChildren));
    }

  private:
    void WalkValues(HKey handle, const std::string& path, Key* key) {
        std::vector<char>& name = name_;
        for (uint32_t i = 0; complete_; ++i) {
            uint32_t nameSize = static_cast<uint32_t>(name.size());
            uint32_t type = 0, size = 0;
            Status s =
                registry_.EnumValue(handle, i, name.data(), &nameSize, &type, nullptr, &size);
            if (s == status::kNoMoreItems) break;
            if (s == status::kNoUnicodeTranslation) {
                ++key->unnamedValues;
                continue;
            }
            Check(s == status::kSuccess, "EnumValue " + std::to_string(i) + " of [" + path +
                                             "] gives " + std::to_string(s));
            if ((data_ += size) > kMaxDataBytes) {
                complete_ = false;
                return;
            }
            Value value{std::string(name.data(), nameSize), type, std::string(size, '\0')};
            const std::string what = "[" + path + "] \"" + value.name + "\"";
            nameSize = static_cast<uint32_t>(name.size());
            uint32_t got = size;
            s = registry_.EnumValue(handle, i, name.data(), &nameSize, &type,
                                    reinterpret_cast<uint8_t*>(value.data.data()), &got);
            Check(s == status::kSuccess && got == size && type == value.type,
                  what + ": EnumValue with its data gives " + std::to_string(s));
            std::string again(size, '\0');
            uint32_t queriedType = 0;
            got = size;
            s = registry_.QueryValue(handle, value.name.c_str(), &queriedType,
                                     reinterpret_cast<uint8_t*>(again.data()), &got);
            // Zero bytes in the name cut it short for QueryValue: such a
            // name is never listed.
            Check(s == status::kSuccess && queriedType == value.type && got == size &&
                      again == value.data,
                  what + ": the listed value does not read by its name: " + std::to_string(s));
            key->values.push_back(std::move(value));
        }
    }

    RegistryService& registry_;
    std::vector<char> name_ = std::vector<char>(70000);  // longer than any name a hive holds
    size_t keys_ = 0;
    size_t data_ = 0;
    bool complete_ = true;
};

// The tree of a hive file mounted at HKLM\SOFTWARE.
Key WalkHive(HiveRegistry& registry, bool* complete) {
    RegKey top(registry);
    Check(top.Open(hkey::kLocalMachine, "SOFTWARE", access::kRead) == status::kSuccess,
          "the mounted hive does not open");
    Key tree;
    Walker walker(registry);
    walker.Walk(top.get(), "", &tree, 0);
    *complete = walker.complete();
    return tree;
}

std::string ReadBytes(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void WriteBytes(const fs::path& path, std::string_view bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (!out) fuzz::Fail("cannot write " + path.string());
}

// A folder of this process's own on a memory file system where there is one,
// so that the commit's syncs cost nothing; emptied for each input.
const fs::path& WorkFolder() {
    static const fs::path* folder = [] {
        std::error_code ec;
        const fs::path base =
            fs::is_directory("/dev/shm", ec) ? fs::path("/dev/shm") : fs::temp_directory_path();
        auto* path = new fs::path(base / ("qm-hive-fuzz-" + std::to_string(::getpid())));
        fs::create_directories(*path);
        std::atexit([] { fs::remove_all(*folder); });
        return path;
    }();
    return *folder;
}

// Opens the key at `names` below `top`, name by name.
bool OpenPath(RegistryService& registry, HKey top, const std::vector<std::string>& names,
              RegKey* key) {
    *key = RegKey(registry);
    if (key->Open(top, "", access::kAllAccess) != status::kSuccess) return false;
    for (const std::string& name : names) {
        RegKey next(registry);
        if (next.Open(key->get(), name.c_str(), access::kAllAccess) != status::kSuccess)
            return false;
        *key = std::move(next);
    }
    return true;
}

struct Deletions {
    std::string done;     // what was deleted, for messages
    bool failed = false;  // a deletion failed for a reason the tree does not show
};

// Deletes some keys and values of the writable hive, chosen by `seed`, and
// applies the same to `model` where they succeed.
Deletions DeleteSome(HiveRegistry& registry, HKey top, Key* model, uint64_t seed) {
    Deletions result;
    size_t deleted = 0;
    std::vector<std::string> names;
    uint64_t counter = 0;
    const auto pick = [&] {
        uint64_t x = seed + 0x9E3779B97F4A7C15ull * ++counter;
        x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9ull;
        x = (x ^ (x >> 27)) * 0x94D049BB133111EBull;
        return ((x ^ (x >> 31)) & 3) == 0;
    };
    std::function<void(Key*)> visit = [&](Key* key) {
        for (size_t i = 0; i < key->values.size() && deleted < kMaxDeletions;) {
            if (!pick()) {
                ++i;
                continue;
            }
            RegKey handle;
            Check(OpenPath(registry, top, names, &handle), "a key of the writable copy is gone");
            const Value& value = key->values[i];
            const Status s = registry.DeleteValue(handle.get(), value.name.c_str());
            result.done += "value [" + std::to_string(names.size()) + " deep] \"" + value.name +
                           "\": " + std::to_string(s) + "\n";
            ++deleted;
            if (s == status::kSuccess) {
                key->values.erase(key->values.begin() + static_cast<long>(i));
                continue;
            }
            bool tooLong = false;
            for (const Value& other : key->values)
                tooLong = tooLong || other.data.size() > kLongestPlainData;
            if ((s == status::kNoUnicodeTranslation && key->unnamedValues != 0) ||
                (s == status::kCantWrite && tooLong)) {
                ++i;
                continue;
            }
            result.failed = true;
            return;
        }
        for (size_t i = 0; i < key->children.size() && !result.failed;) {
            if (deleted < kMaxDeletions && pick()) {
                RegKey parent;
                Check(OpenPath(registry, top, names, &parent),
                      "a key of the writable copy is gone");
                const Key& child = key->children[i];
                const Status s = registry.DeleteTree(parent.get(), child.name.c_str());
                result.done += "key \"" + child.name + "\" at depth " +
                               std::to_string(names.size()) + ": " + std::to_string(s) + "\n";
                ++deleted;
                if (s == status::kSuccess) {
                    key->children.erase(key->children.begin() + static_cast<long>(i));
                    continue;
                }
                // hivex cannot take a subkey out of an index leaf ("li"):
                // such a deletion is refused before anything changes.
                if (s != status::kCantWrite &&
                    (s != status::kNoUnicodeTranslation || Nameable(child))) {
                    result.failed = true;
                    return;
                }
            }
            names.push_back(key->children[i].name);
            visit(&key->children[i]);
            names.pop_back();
            ++i;
        }
    };
    visit(model);
    return result;
}

void CheckRefusal(const std::string& path, const std::string& error) {
    const std::string prefix = path + ": ";
    Check(error.starts_with(prefix), "the refusal does not name the file: " + error);
    const std::string reason = error.substr(prefix.size());
    Check(reason.starts_with("truncated") || reason.starts_with("bad header") ||
              reason.starts_with("bad cell"),
          "the refusal does not name a reason: " + error);
}

// The writable copy: the same tree as read-only; then some deletions, the
// commit, and the committed file opened again.
void CheckChanges(std::string_view bytes, const Key& tree, uint64_t seed) {
    const fs::path folder = WorkFolder() / "writable";
    fs::create_directories(folder);
    const std::string path = (folder / "SOFTWARE").string();
    WriteBytes(path, bytes);
    std::string error;
    std::shared_ptr<hive::HiveFile> file = hive::HiveFile::Open(path, true, &error);
    Check(file != nullptr, "the hive opens read-only, but not for writing: " + error);
    HiveRegistry registry;
    Check(registry.Mount(hkey::kLocalMachine, "SOFTWARE", file), "the hive does not mount");
    bool complete = false;
    Key model = WalkHive(registry, &complete);
    Check(complete && Same(model, tree), "the writable open shows another tree:\n" +
                                             Describe(model) + "read-only:\n" + Describe(tree));

    RegKey top(registry);
    Check(top.Open(hkey::kLocalMachine, "SOFTWARE", access::kAllAccess) == status::kSuccess,
          "the writable hive does not open");
    if (!file->writable()) {
        // Pending logs: nothing may change it.
        if (!tree.values.empty())
            Check(registry.DeleteValue(top.get(), tree.values[0].name.c_str()) ==
                      status::kAccessDenied,
                  "a value of a hive opened read-only was deleted");
        if (!tree.children.empty())
            Check(registry.DeleteTree(top.get(), tree.children[0].name.c_str()) ==
                      status::kAccessDenied,
                  "a key of a hive opened read-only was deleted");
        return;
    }
    const Deletions deletions = DeleteSome(registry, top.get(), &model, seed);
    top.Close();
    Check(registry.OpenHandleCount() == 0, "the deletions left keys open");

    std::vector<hive::HiveOutcome> backups;
    const bool committed = registry.Commit(UtcTime{2024, 5, 6, 7, 8, 9}, &backups, &error);
    // What a commit that fails must leave: the hive as it was, and nothing
    // beside it.
    auto leftAsItWas = [&](const char* what) {
        Check(ReadBytes(path) == bytes, std::string(what) + " changed the hive");
        size_t entries = 0;
        for (const auto& entry : fs::directory_iterator(folder)) entries += entry.exists() ? 1 : 0;
        Check(entries == 1, std::string(what) + " left files beside the hive");
    };
    if (deletions.failed) {
        Check(!committed, "a deletion failed, yet the commit succeeded:\n" + deletions.done);
        leftAsItWas("a failed commit");
        return;
    }
    // In a damaged hive that still reads (two values sharing one data cell,
    // for example) hivex may free a block that another entry still uses, or
    // stop on one; the commit's checks find that and leave the hive as it
    // was.
    if (!committed && (error.find("does not read back as written") != std::string::npos ||
                       error.find("fails the checks Windows makes") != std::string::npos ||
                       error.find("hivex stopped") != std::string::npos ||
                       error.find("hivex could not") != std::string::npos)) {
        leftAsItWas("a refused commit");
        return;
    }
    Check(committed, "the commit failed: " + error + "\nafter:\n" + deletions.done);
    if (!backups.empty())
        Check(backups.size() == 1 && ReadBytes(backups[0].backup) == bytes,
              "the backup is not the original");
    const std::string fault = hive::CheckImage(ReadBytes(path), true);
    Check(fault.empty(), "the committed hive fails the checks Windows makes: " + fault);
    file.reset();

    std::shared_ptr<hive::HiveFile> reopened = hive::HiveFile::Open(path, false, &error);
    Check(reopened != nullptr, "the committed hive does not open: " + error);
    HiveRegistry again;
    Check(again.Mount(hkey::kLocalMachine, "SOFTWARE", reopened), "the committed hive mounts");
    const Key after = WalkHive(again, &complete);
    Check(complete && Same(after, model), "the committed hive holds another tree after:\n" +
                                              deletions.done + "expected:\n" + Describe(model) +
                                              "found:\n" + Describe(after));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    const fs::path& folder = WorkFolder();
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(folder, ec)) fs::remove_all(entry.path(), ec);
    const std::string path = (folder / "SOFTWARE").string();
    WriteBytes(path, bytes);

    std::string error;
    std::shared_ptr<hive::HiveFile> file = hive::HiveFile::Open(path, false, &error);
    if (file == nullptr) {
        CheckRefusal(path, error);
        Check(ReadBytes(path) == bytes, "a refused hive was changed");
        return 0;
    }
    HiveRegistry registry;
    Check(registry.Mount(hkey::kLocalMachine, "SOFTWARE", file), "the hive does not mount");
    bool complete = false;
    const Key tree = WalkHive(registry, &complete);
    Check(registry.OpenHandleCount() == 0, "the walk left keys open");
    Check(!file->damaged(), "the walk found damage that opening let through: " + file->damage());
    if (!complete) return 0;
    CheckChanges(bytes, tree, std::hash<std::string_view>()(bytes));
    return 0;
}
