// The live services the pages work through: the Windows registry and file
// system, the system's clock and version, the backup files beside the
// program and the shell's shortcut reader. The application object owns one
// set for the whole run.
#pragma once

#include "backup/backup_store.h"
#include "platform/win32/win32_file_probe.h"
#include "platform/win32/win32_registry.h"
#include "platform/win32/win32_system_info.h"
#include "startup/startup_item.h"
#include "startup/win32_shortcut_reader.h"

namespace qm {

struct AppServices {
    Win32Registry registry;
    Win32FileProbe files;
    Win32SystemInfo system;
    BackupStore backups{files, system};
    ShellLinkObjectReader shortcuts{files};

    StartupServices Startup() { return {registry, files, shortcuts}; }
};

}  // namespace qm
