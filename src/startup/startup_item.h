// The startup manager's list rows and the places they come from: the Run
// and RunOnce keys of both hives, the two Startup folders, and the records
// of switched-off items below the MSConfig keys (the layout the System
// Configuration Utility reads and writes).
#pragma once

#include <string>

#include "platform/file_probe.h"
#include "platform/registry_service.h"
#include "startup/shortcut_reader.h"

namespace qm {

// One row of the startup list.
struct StartupItem {
    std::string name;        // the Run value's name, the shortcut's title, or the record's "item"
    std::string command;     // the Run value's data, the shortcut's command line, or "command"
    std::string location;    // one of the location texts below, or a record's hkey\key
    bool switchedOn = true;  // the row's check box

    bool operator==(const StartupItem&) const = default;
};

// Location texts. Registry items that are on use a slash, switched-off
// registry items a backslash (their record's hkey, "\" and key).
namespace location {
inline constexpr const char* kUserRun = "HKCU/Run";
inline constexpr const char* kMachineRun = "HKLM/Run";
inline constexpr const char* kUserRunOnce = "HKCU/RunOnce";
inline constexpr const char* kMachineRunOnce = "HKLM/RunOnce";
inline constexpr const char* kUserStartup = "Start Menu";
inline constexpr const char* kCommonStartup = "Start Menu(Common)";
}  // namespace location

// Registry paths.
namespace startupkey {
inline constexpr const char* kRun = "Software\\Microsoft\\Windows\\CurrentVersion\\Run";
inline constexpr const char* kRunOnce = "Software\\Microsoft\\Windows\\CurrentVersion\\RunOnce";
inline constexpr const char* kShellFolders =
    "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";
// Below HKEY_LOCAL_MACHINE: one subkey per switched-off shortcut / Run value.
inline constexpr const char* kFolderRecords =
    "SOFTWARE\\Microsoft\\Shared Tools\\MSConfig\\startupfolder";
inline constexpr const char* kRegistryRecords =
    "SOFTWARE\\Microsoft\\Shared Tools\\MSConfig\\startupreg";
}  // namespace startupkey

// The services the startup manager works through.
struct StartupServices {
    RegistryService& registry;
    FileProbe& files;
    ShortcutReader& shortcuts;
};

}  // namespace qm
