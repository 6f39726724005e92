// The entries the user keeps: found items that no later scan reports, and
// keys whose items are all left alone. An entry is kept in the program's
// settings (or given in a text file to the headless scanner) as one line:
//
//   <category>TAB<key path>TAB<value name>   the one item of that category
//   <category>TAB<key path>                  every item at that key or below
//
// with the category a number from 1 to 8, or "*" for every category; the
// key path is written as items name keys ("HKLM\SOFTWARE\...", also
// "HKEY_LOCAL_MACHINE\..."); the value name is the rest of the line, as
// the item has it (for a key item the name of its subkey). Keys and names
// compare without regard to case, as the registry compares them.
//
// The list only ever takes items away from what a scan reports, never adds
// one: besides what its entries name, it also hides an item whose repair
// would delete a key that holds an ignored entry.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/settings_store.h"
#include "scan/found_item.h"

namespace qm {

struct IgnoreEntry {
    int32_t category = 0;   // 1 to 8; 0 for every category
    std::string keyPath;    // root prefix, backslash, the path below the root
    std::string valueName;  // the item's; unused for a whole key
    bool wholeKey = false;  // the key and everything below it

    bool operator==(const IgnoreEntry&) const = default;
};

// The entry that names exactly this item.
IgnoreEntry ItemEntry(const FoundItem& item);
// The entry for the key the item stands for (the key its repair deletes,
// or the key holding its value) and everything below it, in every category.
IgnoreEntry KeyEntry(const FoundItem& item);

// The line form above.
std::string EntryLine(const IgnoreEntry& entry);
// Reads one line (without its line break); false with what is wrong in
// `error`.
bool ParseEntryLine(std::string_view line, IgnoreEntry& entry, std::string& error);
// How the Options page lists an entry.
std::string EntryDisplayText(const IgnoreEntry& entry);

class IgnoreList {
  public:
    IgnoreList() = default;
    explicit IgnoreList(std::vector<IgnoreEntry> entries) : entries_(std::move(entries)) {}

    // Adds the entry unless the list holds it already.
    void Add(IgnoreEntry entry);
    bool Empty() const { return entries_.empty(); }
    const std::vector<IgnoreEntry>& entries() const { return entries_; }

    // Whether a scan leaves the item out.
    bool Hides(const FoundItem& item) const;

  private:
    std::vector<IgnoreEntry> entries_;
};

// The list kept in the program's settings, in the order added; an entry
// stays until the user removes it, whether or not its key still exists.
IgnoreList LoadIgnoreList(const SettingsStore& settings);
void StoreIgnoreList(const SettingsStore& settings, const IgnoreList& list);

// Takes every item the list hides out of `items`, counting each in
// `counters` as ignored instead of found. Returns how many were taken.
int32_t DropIgnored(FoundItemList& items, ScanCounters& counters, const IgnoreList& list);

}  // namespace qm
