#include "cli/offline_options.h"

#include "cli/options.h"
#include "platform/registry_service.h"

namespace qm::cli {

const char* const kOfflineUsage =
    "Repairing a Windows installation from another system (Linux build):\n"
    "  --windows DIR        scan the installation whose partition is mounted at DIR: its\n"
    "                       hives are found and mounted, drive C: is DIR, other drives are\n"
    "                       unmapped unless --drive maps them (paths there are never\n"
    "                       reported); --fix and --startup-off/on write the hives, keeping\n"
    "                       each original as <hive>.quillmend-<date>.bak\n"
    "  --user NAME          the profile that is HKEY_CURRENT_USER (default: the only one)\n"
    "  --hive ROOT\\PATH=FILE mount a hive file at a key, e.g. HKLM\\SOFTWARE=/mnt/SOFTWARE\n"
    "                       (repeatable; with or without --windows)\n";

int ParseOfflineOption(const std::vector<std::string>& args, size_t& i, OfflineOptions& offline,
                       std::string& error) {
    const std::string& arg = args[i];
    if (arg != "--windows" && arg != "--user" && arg != "--hive") return 0;
    if (i + 1 >= args.size() || args[i + 1].empty()) {
        error = arg + " needs a value";
        return -1;
    }
    const std::string& value = args[++i];
    if (arg == "--windows") {
        offline.windowsDir = value;
    } else if (arg == "--user") {
        offline.user = value;
    } else {
        const size_t eq = value.find('=');
        const std::string key = value.substr(0, eq);
        if (eq == std::string::npos || eq + 1 == value.size() ||
            ParseRootKeyName(key.substr(0, key.find('\\'))) == hkey::kNull) {
            error = "--hive wants ROOT\\PATH=FILE (ROOT one of HKLM, HKCU, HKU, HKCR), not \"" +
                    value + "\"";
            return -1;
        }
        offline.hives.emplace_back(key, value.substr(eq + 1));
    }
    return 1;
}

bool CheckOfflineOptions(const Options& options, std::string& error) {
    const OfflineOptions& offline = options.offline;
    if (!offline.user.empty() && offline.windowsDir.empty()) {
        error = "--user picks a profile of --windows DIR";
        return false;
    }
    if (!offline.Requested()) return true;
#ifdef _WIN32
    error =
        "--windows and --hive read hive files, which only the Linux build of quillmend-scan "
        "does";
    return false;
#else
    if (!options.registryFiles.empty()) {
        error = "give either --registry files or --windows / --hive, not both";
        return false;
    }
    if (!options.restoreFile.empty()) {
        error =
            "--restore imports into an in-memory registry; to undo an offline repair, put "
            "<hive>.quillmend-<date>.bak back in place of the hive, or import the backup "
            "file with the repaired Windows' registry editor";
        return false;
    }
    return true;
#endif
}

}  // namespace qm::cli
