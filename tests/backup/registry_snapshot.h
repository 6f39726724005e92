// Everything below one key, read through RegistryService, so that two
// registries (or one registry before and after) can be compared exactly:
// every key's path and every value's name, type and bytes.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "platform/registry_service.h"

namespace qm::testing {

struct ValueSnapshot {
    uint32_t type = 0;
    std::vector<uint8_t> data;
    bool operator==(const ValueSnapshot&) const = default;
};

// Key path below the snapshot's top ("" for the top) -> its values by name.
using TreeSnapshot = std::map<std::string, std::map<std::string, ValueSnapshot>>;

namespace detail {

inline void ReadValues(RegistryService& registry, HKey key,
                       std::map<std::string, ValueSnapshot>& values) {
    KeyInfo info;
    registry.QueryInfoKey(key, &info);
    std::vector<char> name(info.maxValueNameLen + 2u);
    std::vector<uint8_t> data(info.maxValueLen + 2u);
    for (uint32_t i = 0;; ++i) {
        uint32_t nameSize = static_cast<uint32_t>(name.size());
        uint32_t dataSize = static_cast<uint32_t>(data.size());
        uint32_t type = 0;
        if (registry.EnumValue(key, i, name.data(), &nameSize, &type, data.data(), &dataSize) !=
            status::kSuccess)
            break;
        values[std::string(name.data(), nameSize)] =
            ValueSnapshot{type, std::vector<uint8_t>(data.begin(), data.begin() + dataSize)};
    }
}

}  // namespace detail

// Empty when the top key cannot be opened; a key that cannot be read shows
// as "<path> (unreadable)" without values. Keys are opened below their
// parents' handles, so any depth can be read.
inline TreeSnapshot Snapshot(RegistryService& registry, HKey root, const std::string& path) {
    TreeSnapshot tree;
    struct Level {
        RegKey key;
        std::string path;
        uint32_t index;
    };
    std::vector<Level> stack;
    {
        RegKey top(registry);
        if (top.Open(root, path.c_str(), access::kRead) != status::kSuccess) return tree;
        detail::ReadValues(registry, top.get(), tree[""]);
        stack.push_back(Level{std::move(top), "", 0});
    }
    char name[1024];
    while (!stack.empty()) {
        Level& level = stack.back();
        uint32_t size = sizeof name;
        if (registry.EnumKey(level.key.get(), level.index++, name, &size) != status::kSuccess) {
            stack.pop_back();
            continue;
        }
        const std::string child = std::string(name, size);
        const std::string relative = level.path.empty() ? child : level.path + "\\" + child;
        RegKey key(registry);
        if (key.Open(level.key.get(), child.c_str(), access::kRead) != status::kSuccess) {
            tree[relative + " (unreadable)"];
            continue;
        }
        detail::ReadValues(registry, key.get(), tree[relative]);
        stack.push_back(Level{std::move(key), relative, 0});
    }
    return tree;
}

}  // namespace qm::testing
