#include "cli/offline_options.h"

#include <CLI/CLI.hpp>

#include "cli/options.h"
#include "platform/registry_service.h"

namespace qm::cli {

void AddOfflineOptions(CLI::App& app, OfflineOptions& offline) {
    CLI::App& group = *app.add_option_group(
        "Offline", "Repairing a Windows installation from another system (Linux build)");
    auto add = [&group](const std::string& name, const std::string& type, const std::string& help,
                        std::function<void(const std::string&)> take) {
        AddValueOption(group, name, type, help, [name, take](const std::string& value) {
            if (value.empty()) throw CLI::ValidationError(name + " needs a value");
            take(value);
        });
    };
    add("--windows", "DIR",
        "scan the installation whose partition is mounted at DIR: its\n"
        "hives are found and mounted, drive C: is DIR, other drives are\n"
        "unmapped unless --drive maps them (paths there are never\n"
        "reported); --fix and --startup-off/on write the hives, keeping\n"
        "each original as <hive>.quillmend-<date>.bak (and its logs as\n"
        "<hive>.quillmend-<date>.bak.LOG1 and .LOG2)",
        [&offline](const std::string& dir) { offline.windowsDir = dir; });
    add("--user", "NAME", "the profile that is HKEY_CURRENT_USER (default: the only one)",
        [&offline](const std::string& name) { offline.user = name; });
    add("--hive", "ROOT\\PATH=FILE",
        "mount a hive file at a key, e.g. HKLM\\SOFTWARE=/mnt/SOFTWARE\n"
        "(repeatable; with or without --windows)",
        [&offline](const std::string& value) {
            const size_t eq = value.find('=');
            const std::string key = value.substr(0, eq);
            if (eq == std::string::npos || eq + 1 == value.size() ||
                ParseRootKeyName(key.substr(0, key.find('\\'))) == hkey::kNull)
                Refuse("--hive wants ROOT\\PATH=FILE (ROOT one of HKLM, HKCU, HKU, HKCR)", value);
            offline.hives.emplace_back(key, value.substr(eq + 1));
        });
}

std::string CheckOfflineOptions(const Options& options) {
    const OfflineOptions& offline = options.offline;
    if (!offline.user.empty() && offline.windowsDir.empty())
        return "--user picks a profile of --windows DIR";
    if (!offline.Requested()) return {};
#ifdef _WIN32
    return "--windows and --hive read hive files, which only the Linux build of quillmend-scan "
           "does";
#else
    if (!options.registryFiles.empty())
        return "give either --registry files or --windows / --hive, not both";
    if (!options.restoreFile.empty())
        return "--restore imports into an in-memory registry; to undo an offline repair, put "
               "<hive>.quillmend-<date>.bak back in place of the hive (and its .bak.LOG1 and "
               ".bak.LOG2, if any, as the hive's logs), or import the backup "
               "file with the repaired Windows' registry editor";
    return {};
#endif
}

}  // namespace qm::cli
