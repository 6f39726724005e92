#include "startup/startup_sources.h"

#include "platform/value_text.h"
#include "scan/scan_reads.h"
#include "startup/run_places.h"
#include "startup/system_switch.h"

namespace qm {

namespace {

constexpr uint32_t kReadSetCreate = access::kRead | access::kSetValue | access::kCreateSubKey;

// The Run or RunOnce values of one key: name = value name, command = data;
// off when the system's startup switch holds it off.
void ListRunValues(const StartupServices& services, const RunPlace& place,
                   std::vector<StartupItem>& list) {
    RegKey key(services.registry);
    if (key.Open(place.root, place.path, place.listAccess) != status::kSuccess) return;
    std::string name, command;
    for (uint32_t index = 0; scan::EnumValueText(services.registry, key.get(), index, name,
                                                 command) == status::kSuccess;
         ++index) {
        const bool held = HeldBySystem(services.registry, place.root, place.approvedKey, name);
        list.push_back({name, command, place.location, !held, held});
    }
}

// The shortcuts of one Startup folder.
void ListShortcuts(const StartupServices& services, const char* where,
                   std::vector<StartupItem>& list) {
    const std::string folder = StartupFolderOf(services.registry, where);
    if (folder.empty()) return;
    std::vector<FileEntry> entries;
    if (services.files.ListFolder(folder + "\\*.lnk", entries) != status::kSuccess) return;
    for (const FileEntry& entry : entries) {
        if (entry.isDirectory) continue;
        const bool held = HeldBySystem(services.registry, ApprovedRootOf(where),
                                       startupkey::kApprovedStartupFolder, entry.name);
        list.push_back({TitleOf(entry.name),
                        ResolveShortcut(services.shortcuts, folder + "\\" + entry.name), where,
                        !held, held});
    }
}

// A record value as text; a value that cannot be read counts as empty.
std::string RecordText(RegistryService& registry, HKey record, const char* name) {
    std::string text;
    if (scan::ReadValueText(registry, record, name, text) != status::kSuccess) text.clear();
    return text;
}

// Switched-off shortcuts: records whose location is "Startup" or "Common
// Startup"; any other record is not listed.
void ListShortcutRecords(const StartupServices& services, std::vector<StartupItem>& list) {
    RegistryService& registry = services.registry;
    RegKey records(registry);
    if (records.Open(hkey::kLocalMachine, startupkey::kFolderRecords, kReadSetCreate) !=
        status::kSuccess)
        return;
    std::string subKey;
    for (uint32_t index = 0;
         scan::EnumKeyName(registry, records.get(), index, subKey) == status::kSuccess; ++index) {
        RegKey record(registry);
        if (record.Open(records.get(), subKey.c_str(), kReadSetCreate) != status::kSuccess)
            continue;
        const std::string where = RecordText(registry, record.get(), "location");
        const char* shown = where == "Startup"          ? location::kUserStartup
                            : where == "Common Startup" ? location::kCommonStartup
                                                        : nullptr;
        if (shown == nullptr) continue;
        list.push_back({RecordText(registry, record.get(), "item"),
                        RecordText(registry, record.get(), "command"), shown, false});
    }
}

// Switched-off Run values, shown at their record's hkey\key.
void ListRegistryRecords(const StartupServices& services, std::vector<StartupItem>& list) {
    RegistryService& registry = services.registry;
    RegKey records(registry);
    if (records.Open(hkey::kLocalMachine, startupkey::kRegistryRecords, access::kAllAccess) !=
        status::kSuccess)
        return;
    std::string subKey;
    for (uint32_t index = 0;
         scan::EnumKeyName(registry, records.get(), index, subKey) == status::kSuccess; ++index) {
        RegKey record(registry);
        if (record.Open(records.get(), subKey.c_str(), access::kAllAccess) != status::kSuccess)
            continue;
        list.push_back({RecordText(registry, record.get(), "item"),
                        RecordText(registry, record.get(), "command"),
                        RecordText(registry, record.get(), "hkey") + "\\" +
                            RecordText(registry, record.get(), "key"),
                        false});
    }
}

}  // namespace

std::string StartupFolderOf(RegistryService& registry, const std::string& where) {
    if (where == location::kUserStartup)
        return ReadStringValue(registry, hkey::kCurrentUser, startupkey::kShellFolders, "Startup");
    if (where == location::kCommonStartup)
        return ReadStringValue(registry, hkey::kLocalMachine, startupkey::kShellFolders,
                               "Common Startup");
    return {};
}

HKey ApprovedRootOf(const std::string& where) {
    return where == location::kCommonStartup ? hkey::kLocalMachine : hkey::kCurrentUser;
}

void EnumerateStartupItems(const StartupServices& services, std::vector<StartupItem>& list) {
    for (const RunPlace* place : RunPlaces(services.registry))
        ListRunValues(services, *place, list);
    ListShortcuts(services, location::kUserStartup, list);
    ListShortcuts(services, location::kCommonStartup, list);
    ListShortcutRecords(services, list);
    ListRegistryRecords(services, list);
}

std::string TitleOf(const std::string& fileName) {
    const size_t dot = fileName.rfind('.');
    return dot == std::string::npos ? fileName : fileName.substr(0, dot);
}

}  // namespace qm
