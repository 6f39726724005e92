// The entries one scan has found, told apart by the key that holds them
// rather than by the path that named it. The same key can be reached by
// several paths: the current user's hive is HKEY_CURRENT_USER and a key of
// HKEY_USERS, 64-bit Windows shares some keys between its two views (so the
// 32-bit view's Wow6432Node path reaches the key itself), and a registry
// link such as CurrentControlSet shows another key under a name of its own.
// An item for an entry already held under another path names the same
// value or subkey, and repairing the first takes the second's entry away:
// it is not added, so that what is shown, counted, backed up and deleted is
// one item per entry, at the path found first.
//
// Cheap by design: the registry is asked which key a path reaches only for
// an item that may be such a second one. Items are filed by what repairing
// them deletes (a value or a subkey), its name and the last two names of
// the path of the key that holds it; two paths of one key end alike below
// the link, so an item is compared only with items of its file under other
// paths, and each item's key is asked for at most once. (Where the link is
// the entry's key or its parent, as for a value of CurrentControlSet\Control,
// the names differ and both items stay.) Items under one path, even from
// two categories, are all kept: they are the same path as named, not
// another path of it. An entry whose key cannot be asked for is kept too.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <unordered_map>

#include "platform/registry_service.h"
#include "scan/found_item.h"

namespace qm {

class FoundEntries {
  public:
    explicit FoundEntries(RegistryService& registry) : registry_(registry) {}

    // Whether `item` is an entry not held yet, which it then is.
    bool Admit(const FoundItem& item);

    // How many times the registry was asked which key a path reaches.
    size_t IdentityLookups() const { return lookups_; }

  private:
    // The items of one file (see above). While they all have one path,
    // nothing is asked; once a second path comes, the first path's key is
    // asked for, and from then on every new item's.
    struct File {
        std::string firstPath;  // folded
        HKey firstRoot = hkey::kNull;
        std::string firstSubKey;
        bool onePath = true;
        // The keys held: their identity, and the folded path they are held under.
        std::unordered_map<std::string, std::string> held;
    };

    std::optional<std::string> IdentityOf(HKey root, const std::string& subKey);

    RegistryService& registry_;
    std::unordered_map<std::string, File> files_;
    size_t lookups_ = 0;
};

}  // namespace qm
