#include "platform/registry_service.h"

#include <algorithm>
#include <array>
#include <cctype>

#include "platform/read_growing.h"

namespace qm {

namespace {

struct RootName {
    HKey key;
    const char* full;
    const char* shortName;
};

constexpr std::array<RootName, 7> kRoots{{
    {hkey::kClassesRoot, "HKEY_CLASSES_ROOT", "HKCR"},
    {hkey::kCurrentUser, "HKEY_CURRENT_USER", "HKCU"},
    {hkey::kLocalMachine, "HKEY_LOCAL_MACHINE", "HKLM"},
    {hkey::kUsers, "HKEY_USERS", "HKU"},
    {hkey::kPerformanceData, "HKEY_PERFORMANCE_DATA", nullptr},
    {hkey::kCurrentConfig, "HKEY_CURRENT_CONFIG", "HKCC"},
    {hkey::kDynData, "HKEY_DYN_DATA", nullptr},
}};

bool EqualsNoCase(const std::string& a, const char* b) {
    size_t i = 0;
    for (; i < a.size() && b[i] != '\0'; ++i) {
        if (std::toupper(static_cast<unsigned char>(a[i])) !=
            std::toupper(static_cast<unsigned char>(b[i])))
            return false;
    }
    return i == a.size() && b[i] == '\0';
}

// The longest value name the registry takes, with its terminating zero, in
// bytes of the code page at two bytes a character.
constexpr size_t kLongestValueName = 2 * 16383 + 1;

}  // namespace

void RegistryService::ListKey(HKey key, uint32_t parts, KeyListing& out) {
    out.Clear();
    std::vector<char> name(256);
    for (uint32_t index = 0; (parts & listing::kSubKeys) != 0; ++index) {
        uint32_t size = 0;
        const Status listed = ReadGrowing(
            [&] {
                size = static_cast<uint32_t>(name.size());
                return EnumKey(key, index, name.data(), &size);
            },
            [&] { name.resize(name.size() * 2); });
        if (!NextIndexUsable(listed)) {
            out.subKeysEnd = listed;
            break;
        }
        out.AddSubKey(listed == status::kSuccess, {name.data(), size});
    }
    std::vector<uint8_t> data(1024);
    for (uint32_t index = 0; (parts & listing::kValues) != 0; ++index) {
        uint32_t nameSize = 0, dataSize = 0, type = 0;
        const Status listed = ReadGrowing(
            [&] {
                nameSize = static_cast<uint32_t>(name.size());
                dataSize = static_cast<uint32_t>(data.size());
                return EnumValue(key, index, name.data(), &nameSize, &type, data.data(), &dataSize);
            },
            [&] {
                // The data's size is told; a name that did not fit is not.
                name.resize(std::min(name.size() * 2, kLongestValueName));
                data.resize(std::max<size_t>(data.size(), dataSize));
            });
        if (!NextIndexUsable(listed)) {
            out.valuesEnd = listed;
            break;
        }
        out.AddValue(listed == status::kSuccess, {name.data(), nameSize}, type,
                     {reinterpret_cast<const char*>(data.data()), dataSize});
    }
}

const char* RootKeyFullName(HKey root) {
    for (const auto& r : kRoots)
        if (r.key == root) return r.full;
    return "";
}

Status ReachKeyPath(RegistryService& registry, HKey parent, const std::string& path, RegKey& holder,
                    HKey& base, std::string& rest) {
    base = parent;
    const CodePage& codePage = registry.codePage();
    size_t from = 0;
    while (path.size() - from > kMaxSubKeyPath) {
        const size_t cut = codePage.FindLast(path, '\\', from, from + kMaxSubKeyPath);
        if (cut == std::string::npos || cut <= from) return status::kMoreData;
        RegKey step(registry);
        const Status opened = step.Open(base, path.substr(from, cut - from).c_str(), access::kRead);
        if (opened != status::kSuccess) return opened;
        holder = std::move(step);  // the previous step closes once this one is open
        base = holder.get();
        from = cut + 1;
    }
    rest.assign(path, from, std::string::npos);
    return status::kSuccess;
}

std::vector<std::string> KeyViews(RegistryService& registry, HKey root, const std::string& subKey) {
    std::vector<std::string> views{subKey};
    std::string other;
    if (registry.Wow64Path(root, subKey, &other) == status::kSuccess && !other.empty())
        views.push_back(std::move(other));
    return views;
}

HKey ParseRootKeyName(const std::string& name) {
    for (const auto& r : kRoots) {
        if (EqualsNoCase(name, r.full)) return r.key;
        if (r.shortName != nullptr && EqualsNoCase(name, r.shortName)) return r.key;
    }
    return hkey::kNull;
}

}  // namespace qm
