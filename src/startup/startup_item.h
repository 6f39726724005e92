// The startup manager's list rows and the places they come from: the Run
// and RunOnce keys of both hives (and, on 64-bit Windows, the 32-bit
// programs' keys of HKEY_LOCAL_MACHINE), the two Startup folders, and the
// records of switched-off items below the MSConfig keys (the layout the
// System Configuration Utility reads and writes).
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
    // Switched off by the system's own startup switch (Windows 8 and later:
    // the Task Manager's StartupApproved keys) while its Run value or
    // shortcut stays in place.
    bool heldBySystem = false;

    bool operator==(const StartupItem&) const = default;
};

// Location texts. Registry items that are on use a slash, switched-off
// registry items a backslash (their record's hkey, "\" and key).
namespace location {
inline constexpr const char* kUserRun = "HKCU/Run";
inline constexpr const char* kMachineRun = "HKLM/Run";
inline constexpr const char* kUserRunOnce = "HKCU/RunOnce";
inline constexpr const char* kMachineRunOnce = "HKLM/RunOnce";
// The 32-bit programs' keys of 64-bit Windows.
inline constexpr const char* kMachineRun32 = "HKLM/Run (32-bit)";
inline constexpr const char* kMachineRunOnce32 = "HKLM/RunOnce (32-bit)";
inline constexpr const char* kUserStartup = "Start Menu";
inline constexpr const char* kCommonStartup = "Start Menu(Common)";
}  // namespace location

// Registry paths.
namespace startupkey {
inline constexpr const char* kRun = "Software\\Microsoft\\Windows\\CurrentVersion\\Run";
inline constexpr const char* kRunOnce = "Software\\Microsoft\\Windows\\CurrentVersion\\RunOnce";
// Where 64-bit Windows keeps the 32-bit programs' Run keys (below
// HKEY_LOCAL_MACHINE), and how the System Configuration Utility there names
// them in its records.
inline constexpr const char* kRun32 =
    "SOFTWARE\\Wow6432Node\\Microsoft\\Windows\\CurrentVersion\\Run";
inline constexpr const char* kRunOnce32 =
    "SOFTWARE\\Wow6432Node\\Microsoft\\Windows\\CurrentVersion\\RunOnce";
// The system's startup switch for Startup-folder shortcuts, below
// HKEY_CURRENT_USER (the user's folder) and HKEY_LOCAL_MACHINE (all users').
inline constexpr const char* kApprovedStartupFolder =
    "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\StartupApproved\\StartupFolder";
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
