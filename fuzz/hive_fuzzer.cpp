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
// The walk stops after 3,000 keys and 8 MB of data (hive_walk.h); a tree
// larger than that is only walked, not changed.
//
// The seeds are the test hives of tests/platform/hive/fixtures, small hives
// made with hive::BuildHive from registry text (keys and values of every
// type, names outside the code page, a key with many subkeys, deep keys),
// and damaged copies of them: cut short, the header's checksum or size
// wrong, a cell's size or offset changed.

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "fuzz/fuzz_support.h"
#include "fuzz/hive_walk.h"
#include "platform/hive/hive_image.h"
#include "platform/hive/hive_registry.h"

namespace {

using namespace qm;
using qm::fuzz::Check;
namespace fs = std::filesystem;

using fuzz::CheckRefusal;
using fuzz::Key;
using fuzz::ReadBytes;
using fuzz::Value;
using fuzz::WalkHive;
using fuzz::WriteBytes;

constexpr size_t kMaxDeletions = 6;
// The largest value data hivex writes as it reads (see hive_file.cpp).
constexpr uint32_t kLongestPlainData = 16344;

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

// The writable copy: the same tree as read-only; then some deletions, the
// commit, and the committed file opened again.
void CheckChanges(std::string_view bytes, const Key& tree, uint64_t seed) {
    const fs::path folder = fuzz::WorkFolder("hive-fuzz") / "writable";
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
    const fs::path& folder = fuzz::WorkFolder("hive-fuzz");
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
