// The registry and the drives of quillmend-scan --windows / --hive: the hive
// files opened and mounted, the installation's environment, and the writing
// of the changed hives at the end. Linux build only (hivex).
#pragma once

#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "cli/offline_options.h"
#include "platform/hive/hive_registry.h"
#include "platform/memory/mapped_file_probe.h"

namespace qm::cli {

struct OfflineRegistry {
    std::unique_ptr<HiveRegistry> registry;
    // What the scan and the repair use: `registry`, except that the
    // program's own settings key is never created in the installation (a
    // repair from outside leaves no key of a program not installed there).
    std::unique_ptr<RegistryService> view;
    // The installation's drive C:, environment and folders.
    MappedFilesConfig files;
    // An installation of Windows XP or older: backups in REGEDIT4.
    bool xpEra = false;
    // Hives that can only be read, and why.
    std::vector<std::string> readOnly;
    // Hives read as recovered from their logs, and how far.
    std::vector<std::string> notices;
    // Why the installation may be read but not written (its Windows is
    // hibernated), when it may not.
    std::string hibernated;
};

// Opens the hives of --windows and --hive, for writing when `write`. False
// with `error` naming the file and the reason.
bool OpenOffline(const OfflineOptions& options, bool write, OfflineRegistry* out,
                 std::string& error);

// Writes every changed hive, all of them or none, and says which files were
// written and where the originals are kept. False with `error`, which tells
// what became of each hive, when not all could be written.
bool CommitOffline(HiveRegistry& registry, std::ostream& out, std::string& error);

// --save FILE: the mounted tree (HKLM, HKCU, HKU) as a REGEDIT4 file.
bool SaveOffline(RegistryService& registry, const std::string& file, std::string& error);

}  // namespace qm::cli
