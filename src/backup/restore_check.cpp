#include "backup/restore_check.h"

#include <map>
#include <optional>
#include <utility>
#include <vector>

#include "platform/registry_names.h"
#include "platform/value_text.h"

namespace qm {

namespace {

// Room for the longest value name the registry holds and its terminator;
// subkey names are shorter.
constexpr size_t kMaxNameBuffer = 16384;

struct ValueExpectation {
    bool present = true;
    std::string name;  // as written in the file
    uint32_t type = 0;
    std::vector<uint8_t> data;
    size_t line = 0;
};

struct KeyExpectation {
    bool present = true;
    // Made again after a "[-key]" line removed it: it holds nothing but
    // what the file puts there afterwards.
    bool emptied = false;
    HKey root = hkey::kNull;
    std::string path;
    size_t line = 0;
    std::map<std::string, ValueExpectation> values;  // by folded name
};

// What the import leaves behind, by folded "root:path". Names are text in
// the registry's code page.
class Expectations {
  public:
    Expectations(const regtext::Document& doc, const CodePage& codePage) : codePage_(codePage) {
        for (const regtext::Entry& entry : doc.entries) {
            switch (entry.kind) {
                case regtext::Entry::Kind::kKey:
                    KeyPresent(entry.root, entry.keyPath, entry.line);
                    break;
                case regtext::Entry::Kind::kDeleteKey:
                    KeyDeleted(entry.root, entry.keyPath, entry.line);
                    break;
                case regtext::Entry::Kind::kValue:
                case regtext::Entry::Kind::kDeleteValue: {
                    KeyExpectation& key = KeyPresent(entry.root, entry.keyPath, entry.line);
                    ValueExpectation& value = key.values[FoldName(entry.name, codePage_)];
                    value.present = entry.kind == regtext::Entry::Kind::kValue;
                    value.name = entry.name;
                    value.type = entry.type;
                    value.data = entry.data;
                    value.line = entry.line;
                    break;
                }
            }
        }
    }

    const std::map<std::string, KeyExpectation>& keys() const { return keys_; }

    // HKEY_CLASSES_ROOT is HKEY_LOCAL_MACHINE\SOFTWARE\Classes: a file may
    // name the same key both ways.
    std::string Id(HKey root, const std::string& path) const {
        if (root == hkey::kClassesRoot)
            return Id(hkey::kLocalMachine,
                      path.empty() ? "SOFTWARE\\Classes" : "SOFTWARE\\Classes\\" + path);
        return std::to_string(root) + ":" + FoldName(path, codePage_);
    }

    const CodePage& codePage() const { return codePage_; }

    // Whether the file makes the subkey `name` of the key `id` exist, itself
    // or by a key below it.
    bool SubKeyExpected(const std::string& id, const std::string& name) const {
        const std::string child = id + "\\" + FoldName(name, codePage_);
        for (auto it = keys_.lower_bound(child);
             it != keys_.end() && it->first.compare(0, child.size(), child) == 0; ++it) {
            const bool below = it->first.size() == child.size() || it->first[child.size()] == '\\';
            if (below && it->second.present) return true;
        }
        return false;
    }

  private:
    // A key that is there makes every key above it be there too: a key
    // that an earlier "[-key]" line removed is there again, empty but for
    // what the file puts there afterwards.
    KeyExpectation& KeyPresent(HKey root, const std::string& path, size_t line) {
        for (size_t slash = codePage_.Find(path, '\\'); slash != std::string::npos;
             slash = codePage_.Find(path, '\\', slash + 1))
            MakeAgain(root, path.substr(0, slash), line);
        if (!path.empty()) MakeAgain(root, "", line);
        return Mark(root, path, line);
    }

    void MakeAgain(HKey root, const std::string& path, size_t line) {
        const auto it = keys_.find(Id(root, path));
        if (it != keys_.end() && !it->second.present) Mark(root, path, line);
    }

    KeyExpectation& Mark(HKey root, const std::string& path, size_t line) {
        auto [it, added] = keys_.try_emplace(Id(root, path));
        KeyExpectation& key = it->second;
        if (added || !key.present) {
            key.emptied = !added;
            key.present = true;
            key.root = root;
            key.path = path;
            key.line = line;
        }
        return key;
    }

    // A deleted key takes everything below it along.
    void KeyDeleted(HKey root, const std::string& path, size_t line) {
        const std::string id = Id(root, path);
        const std::string below = id + "\\";
        for (auto it = keys_.lower_bound(below);
             it != keys_.end() && it->first.compare(0, below.size(), below) == 0;)
            it = keys_.erase(it);
        KeyExpectation& key = keys_[id];
        key = KeyExpectation{};
        key.present = false;
        key.root = root;
        key.path = path;
        key.line = line;
    }

    const CodePage& codePage_;
    std::map<std::string, KeyExpectation> keys_;
};

// Text as the registry keeps it may carry terminating zeros that the file
// does not write (a string read back through the ANSI functions ends in
// one); they are not part of the text.
void TrimTextZeros(uint32_t type, std::vector<uint8_t>& data) {
    if (!regtype::IsText(type)) return;
    while (!data.empty() && data.back() == 0) data.pop_back();
}

std::string KeyName(const KeyExpectation& key) {
    const char* root = RootKeyFullName(key.root);
    std::string name = root != nullptr ? root : "?";
    if (!key.path.empty()) name += "\\" + key.path;
    return name;
}

// For a key that a "[-key]" line removed and a later line made again:
// the name of a value or subkey in the registry that the file does not put
// back, or nothing.
std::optional<std::string> Leftover(RegistryService& registry, HKey key,
                                    const Expectations& expected, const std::string& id,
                                    const KeyExpectation& expectation) {
    std::vector<char> name(kMaxNameBuffer);
    for (uint32_t index = 0;; ++index) {
        uint32_t size = static_cast<uint32_t>(name.size());
        if (registry.EnumValue(key, index, name.data(), &size, nullptr, nullptr, nullptr) !=
            status::kSuccess)
            break;
        const std::string value(name.data(), size);
        const auto it = expectation.values.find(FoldName(value, expected.codePage()));
        if (it == expectation.values.end() || !it->second.present) return "value \"" + value + "\"";
    }
    for (uint32_t index = 0;; ++index) {
        uint32_t size = static_cast<uint32_t>(name.size());
        if (registry.EnumKey(key, index, name.data(), &size) != status::kSuccess) break;
        const std::string subKey(name.data(), size);
        if (!expected.SubKeyExpected(id, subKey)) return "subkey " + subKey;
    }
    return std::nullopt;
}

RestoreCheck Missing(size_t line, std::string problem) {
    RestoreCheck check;
    check.line = line;
    check.problem = std::move(problem);
    return check;
}

}  // namespace

RestoreCheck CheckImported(RegistryService& registry, const regtext::Document& doc) {
    const Expectations expected(doc, registry.codePage());
    for (const auto& [id, key] : expected.keys()) {
        // Keys deeper than the ANSI open reaches are opened in steps.
        RegKey way(registry), open(registry);
        HKey base = hkey::kNull;
        std::string rest;
        Status opened = ReachKeyPath(registry, key.root, key.path, way, base, rest);
        if (opened == status::kSuccess)
            opened =
                open.Open(base, rest.c_str(), key.emptied ? access::kRead : access::kQueryValue);
        if (!key.present) {
            if (opened != status::kFileNotFound)
                return Missing(key.line, KeyName(key) + " should have been deleted");
            continue;
        }
        if (opened != status::kSuccess) return Missing(key.line, KeyName(key) + " is missing");
        std::vector<uint8_t> data;
        for (const auto& [folded, value] : key.values) {
            uint32_t type = 0;
            const Status read =
                ReadValueBytes(registry, open.get(), value.name.c_str(), type, data);
            const std::string what = KeyName(key) + " value \"" + value.name + "\"";
            if (!value.present) {
                if (read != status::kFileNotFound)
                    return Missing(value.line, what + " should have been deleted");
                continue;
            }
            if (read != status::kSuccess) return Missing(value.line, what + " is missing");
            if (type != value.type)
                return Missing(value.line, what + " has type " + std::to_string(type) +
                                               " instead of " + std::to_string(value.type));
            std::vector<uint8_t> wanted = value.data;
            TrimTextZeros(value.type, wanted);
            TrimTextZeros(type, data);
            if (data != wanted) return Missing(value.line, what + " holds other data");
        }
        if (key.emptied) {
            if (const auto left = Leftover(registry, open.get(), expected, id, key))
                return Missing(key.line,
                               KeyName(key) + " still holds " + *left + ", which the file deletes");
        }
    }
    RestoreCheck check;
    check.complete = true;
    return check;
}

RestoreCheck CheckImportedFile(RegistryService& registry, FileProbe& files,
                               const std::string& path) {
    Status status = status::kSuccess;
    std::unique_ptr<FileStream> file = files.OpenFile(path, FileMode::kRead, &status);
    if (!file) return Missing(0, "cannot open the file (error " + std::to_string(status) + ")");
    std::string bytes;
    std::vector<char> block(64 * 1024);
    for (size_t got; (got = file->Read(block.data(), block.size())) != 0;)
        bytes.append(block.data(), got);
    file.reset();
    regtext::Document doc;
    regtext::ParseError error;
    if (!regtext::Parse(bytes, doc, error, registry.codePage()))
        return Missing(error.line, error.message);
    return CheckImported(registry, doc);
}

RestoreResult RestoreBackupFile(RegistryService& registry, FileProbe& files,
                                const BackupImporter& importer, const std::string& path) {
    RestoreResult result;
    result.started = importer(path);
    if (result.started != status::kSuccess) return result;
    result.check = CheckImportedFile(registry, files, path);
    if (result.check.complete) result.deleted = files.DeleteFile(path);
    return result;
}

}  // namespace qm
