#include "scan/ignore_list.h"

#include <utility>

#include "platform/name_case.h"

namespace qm {

namespace {

// The subkey of the program's settings key that holds the list.
constexpr const char* kListName = "Ignore";

// The root names an entry may start with, and how items write them.
constexpr std::pair<const char*, const char*> kRoots[] = {
    {"HKCR", "HKCR"},       {"HKEY_CLASSES_ROOT", "HKCR"},
    {"HKLM", "HKLM"},       {"HKEY_LOCAL_MACHINE", "HKLM"},
    {"HKCU", "HKCU"},       {"HKEY_CURRENT_USER", "HKCU"},
    {"HKUS", "HKUS"},       {"HKU", "HKUS"},
    {"HKEY_USERS", "HKUS"},
};

// `path` is `base` or a key below it.
bool AtOrBelow(std::string_view path, std::string_view base) {
    return path.size() >= base.size() && EqualAsciiNoCase(path.substr(0, base.size()), base) &&
           (path.size() == base.size() || path[base.size()] == '\\');
}

// The key an entry names: what a whole-key entry covers, or the key its
// item lies at.
std::string EntryKey(const IgnoreEntry& entry) {
    if (entry.wholeKey) return entry.keyPath;
    return ItemKey(entry.category, entry.keyPath, entry.valueName);
}

// The key path with its root written as items write it; false when it
// does not start with a root.
bool NormalKeyPath(std::string_view text, std::string& keyPath) {
    while (!text.empty() && text.back() == '\\') text.remove_suffix(1);
    const std::string_view root = text.substr(0, text.find('\\'));
    for (const auto& [name, prefix] : kRoots) {
        if (!EqualAsciiNoCase(root, name)) continue;
        keyPath.assign(prefix).append(text.substr(root.size()));
        return true;
    }
    return false;
}

}  // namespace

IgnoreEntry ItemEntry(const FoundItem& item) {
    return IgnoreEntry{item.category, item.keyPath, item.valueName, false};
}

IgnoreEntry KeyEntry(const FoundItem& item) {
    return IgnoreEntry{0, ItemKey(item.category, item.keyPath, item.valueName), {}, true};
}

std::string EntryLine(const IgnoreEntry& entry) {
    std::string line = entry.category == 0 ? "*" : std::to_string(entry.category);
    line.append("\t").append(entry.keyPath);
    if (!entry.wholeKey) line.append("\t").append(entry.valueName);
    return line;
}

bool ParseEntryLine(std::string_view line, IgnoreEntry& entry, std::string& error) {
    entry = IgnoreEntry{};
    const size_t tab = line.find('\t');
    if (tab == std::string_view::npos) {
        error = "wants a category, a tab and a key path";
        return false;
    }
    const std::string_view category = line.substr(0, tab);
    if (category == "*") {
        entry.category = 0;
    } else if (category.size() == 1 && category[0] >= '1' && category[0] <= '0' + kCategoryCount) {
        entry.category = category[0] - '0';
    } else {
        error = "the category is a number from 1 to 8 or *, not \"" + std::string(category) + "\"";
        return false;
    }
    const std::string_view rest = line.substr(tab + 1);
    const size_t second = rest.find('\t');
    entry.wholeKey = second == std::string_view::npos;
    if (!NormalKeyPath(rest.substr(0, second), entry.keyPath)) {
        error = "the key path starts with HKCR, HKLM, HKCU or HKUS";
        return false;
    }
    if (!entry.wholeKey) {
        if (entry.category == 0) {
            error = "an entry with a value name names the item's category";
            return false;
        }
        entry.valueName = rest.substr(second + 1);
    }
    return true;
}

std::string EntryDisplayText(const IgnoreEntry& entry) {
    std::string text = entry.category == 0 ? "Every category" : CategoryRowText(entry.category);
    text.append(": ").append(entry.keyPath);
    if (entry.wholeKey) return text + " and everything below it";
    return text + ", \"" + entry.valueName + "\"";
}

void IgnoreList::Add(IgnoreEntry entry) {
    for (const IgnoreEntry& kept : entries_)
        if (kept == entry) return;
    entries_.push_back(std::move(entry));
}

bool IgnoreList::Hides(const FoundItem& item) const {
    if (entries_.empty()) return false;
    const std::string key = ItemKey(item.category, item.keyPath, item.valueName);
    // The repair of a key item deletes its key with everything below it.
    const bool deletesKey = ItemIsKey(item);
    for (const IgnoreEntry& entry : entries_) {
        const bool category = entry.category == 0 || entry.category == item.category;
        if (entry.wholeKey ? category && AtOrBelow(key, entry.keyPath)
                           : category && EqualAsciiNoCase(entry.keyPath, item.keyPath) &&
                                 EqualAsciiNoCase(entry.valueName, item.valueName))
            return true;
        if (deletesKey && AtOrBelow(EntryKey(entry), key)) return true;
    }
    return false;
}

IgnoreList LoadIgnoreList(const SettingsStore& settings) {
    IgnoreList list;
    IgnoreEntry entry;
    std::string error;
    for (const std::string& line : settings.ReadList(kProductName, kListName))
        if (ParseEntryLine(line, entry, error)) list.Add(std::move(entry));
    return list;
}

void StoreIgnoreList(const SettingsStore& settings, const IgnoreList& list) {
    std::vector<std::string> lines;
    for (const IgnoreEntry& entry : list.entries()) lines.push_back(EntryLine(entry));
    settings.WriteList(kProductName, kListName, lines);
}

int32_t DropIgnored(FoundItemList& items, ScanCounters& counters, const IgnoreList& list) {
    const std::vector<std::unique_ptr<FoundItem>> taken =
        items.Take([&list](const FoundItem& item) { return list.Hides(item); });
    for (const auto& item : taken) {
        if (item->category >= 1 && item->category <= kCategoryCount)
            --counters.categoryCount[item->category];
        --counters.totalCount;
        ++counters.ignoredCount;
    }
    return static_cast<int32_t>(taken.size());
}

}  // namespace qm
