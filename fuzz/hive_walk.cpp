#include "fuzz/hive_walk.h"

#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <iterator>

#include "fuzz/fuzz_support.h"
#include "platform/memory/memory_registry_tree.h"

namespace qm::fuzz {

namespace fs = std::filesystem;

namespace {

constexpr size_t kMaxKeys = 3000;
constexpr size_t kMaxDepth = 400;
constexpr size_t kMaxDataBytes = 8 << 20;

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

}  // namespace

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
    if (!out) Fail("cannot write " + path.string());
}

const fs::path& WorkFolder(const std::string& name) {
    static const fs::path* folder = [&name] {
        std::error_code ec;
        const fs::path base =
            fs::is_directory("/dev/shm", ec) ? fs::path("/dev/shm") : fs::temp_directory_path();
        auto* path = new fs::path(base / ("qm-" + name + "-" + std::to_string(::getpid())));
        fs::create_directories(*path);
        std::atexit([] { fs::remove_all(*folder); });
        return path;
    }();
    return *folder;
}

void CheckRefusal(const std::string& path, const std::string& error) {
    const std::string prefix = path + ": ";
    Check(error.starts_with(prefix), "the refusal does not name the file: " + error);
    const std::string reason = error.substr(prefix.size());
    Check(reason.starts_with("truncated") || reason.starts_with("bad header") ||
              reason.starts_with("bad cell"),
          "the refusal does not name a reason: " + error);
}

}  // namespace qm::fuzz
