#include "platform/registry_service.h"

#include <array>
#include <cctype>

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

}  // namespace

const char* RootKeyFullName(HKey root) {
    for (const auto& r : kRoots)
        if (r.key == root) return r.full;
    return "";
}

Status ReachKeyPath(RegistryService& registry, HKey parent, const std::string& path, RegKey& holder,
                    HKey& base, std::string& rest) {
    base = parent;
    size_t from = 0;
    while (path.size() - from > kMaxSubKeyPath) {
        const size_t cut = path.rfind('\\', from + kMaxSubKeyPath);
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
