#include "scan/found_entries.h"

#include <string_view>
#include <utility>

#include "platform/key_walk.h"
#include "platform/registry_names.h"

namespace qm {

bool FoundEntries::Admit(const FoundItem& item) {
    // The file: what the repair deletes, the key's own name and the entry's
    // name. Key names hold no backslash, so the two names stay apart.
    const size_t slash = item.keyPath.rfind('\\');
    const std::string_view keyName = slash == std::string::npos
                                         ? std::string_view(item.keyPath)
                                         : std::string_view(item.keyPath).substr(slash + 1);
    std::string name(1, ItemIsKey(item) ? 'k' : 'v');
    name += FoldName(keyName);
    name += '\\';
    name += FoldName(item.valueName);
    File& file = files_[std::move(name)];

    std::string path = FoldName(item.keyPath);
    const HKey root = ItemRoot(item);
    if (file.onePath) {
        if (file.firstPath.empty()) {
            file.firstPath = std::move(path);
            file.firstRoot = root;
            file.firstSubKey = ItemSubKey(item);
            return true;
        }
        if (path == file.firstPath) return true;
        // A second path: the first one's key is the one held so far.
        file.onePath = false;
        if (std::optional<std::string> first = IdentityOf(file.firstRoot, file.firstSubKey))
            file.held.emplace(std::move(*first), file.firstPath);
        file.firstSubKey.clear();
    }
    std::optional<std::string> identity = IdentityOf(root, ItemSubKey(item));
    if (!identity) return true;  // cannot tell: kept
    const auto [held, added] = file.held.emplace(std::move(*identity), path);
    return added || held->second == path;
}

std::optional<std::string> FoundEntries::IdentityOf(HKey root, const std::string& subKey) {
    ++lookups_;
    if (root == hkey::kNull) return std::nullopt;
    RegKey way(registry_), key(registry_);
    if (OpenKeyPath(registry_, root, subKey, access::kQueryValue, way, key) != status::kSuccess)
        return std::nullopt;
    std::string identity;
    if (registry_.KeyIdentity(key.get(), &identity) != status::kSuccess) return std::nullopt;
    return identity;
}

}  // namespace qm
