#include "scan/found_entries.h"

#include <string_view>
#include <utility>

#include "platform/key_walk.h"
#include "platform/registry_names.h"

namespace qm {

bool FoundEntries::Admit(const FoundItem& item) {
    // The file: what the repair deletes, the last two names of the key's
    // path (or the one below the root) and the entry's name. A backslash
    // ends the key's part: it is not in a key name.
    const std::string_view path(item.keyPath);
    size_t start = path.rfind('\\');
    if (start != std::string_view::npos && start > 0) {
        const size_t above = path.rfind('\\', start - 1);
        if (above != std::string_view::npos) start = above;
    }
    std::string name(1, ItemIsKey(item) ? 'k' : 'v');
    name += FoldName(start == std::string_view::npos ? path : path.substr(start + 1));
    name += '\\';
    name += FoldName(item.valueName);
    File& file = files_[std::move(name)];

    std::string folded = FoldName(item.keyPath);
    const HKey root = ItemRoot(item);
    if (file.onePath) {
        if (file.firstPath.empty()) {
            file.firstPath = std::move(folded);
            file.firstRoot = root;
            file.firstSubKey = ItemSubKey(item);
            return true;
        }
        if (folded == file.firstPath) return true;
        // A second path: the first one's key is the one held so far.
        file.onePath = false;
        if (std::optional<std::string> first = IdentityOf(file.firstRoot, file.firstSubKey))
            file.held.emplace(std::move(*first), file.firstPath);
        file.firstSubKey.clear();
    }
    std::optional<std::string> identity = IdentityOf(root, ItemSubKey(item));
    if (!identity) return true;  // cannot tell: kept
    const auto [held, added] = file.held.emplace(std::move(*identity), folded);
    return added || held->second == folded;
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
