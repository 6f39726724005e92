// What the hive fuzz targets share: the tree of a mounted hive as the
// registry functions show it, walked with the checks every target makes,
// the files of an input, and the reasons a hive may be refused for.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "platform/hive/hive_registry.h"

namespace qm::fuzz {

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

// The tree of a hive file mounted at HKLM\SOFTWARE. Every key and value
// listed by name opens or reads again by that name, with the same type and
// data, and the counts of QueryInfoKey are what the enumerations list. The
// walk stops after 3,000 keys, 400 levels or 8 MB of data: `complete` is
// then false.
Key WalkHive(HiveRegistry& registry, bool* complete);

std::string ReadBytes(const std::filesystem::path& path);
void WriteBytes(const std::filesystem::path& path, std::string_view bytes);

// A folder of this process's own, named after `name`, on a memory file
// system where there is one, so that the commit's syncs cost nothing;
// removed when the process ends.
const std::filesystem::path& WorkFolder(const std::string& name);

// That `error` refuses the hive file `path` with "<file>: <reason>", the
// reason one the backend names (truncated, bad header, bad cell).
void CheckRefusal(const std::string& path, const std::string& error);

}  // namespace qm::fuzz
