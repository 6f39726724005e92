// Listing the programs Windows starts at log-on.
#pragma once

#include <string>
#include <vector>

#include "startup/startup_item.h"

namespace qm {

// Appends one row per startup item to `list`, from these sources in this
// order: the Run values of HKEY_CURRENT_USER and HKEY_LOCAL_MACHINE (on
// 64-bit Windows then those of the 32-bit programs' key), their RunOnce
// values in the same order, the shortcuts of the user's and the all-users
// Startup folders, and the switched-off records of shortcuts and of Run
// values. A Run value or shortcut that the system's own startup switch
// holds off is listed off (see system_switch.h). A source that cannot be
// opened contributes nothing; the others are still listed. Items are not
// merged: a program can appear once per source.
void EnumerateStartupItems(const StartupServices& services, std::vector<StartupItem>& list);

// The folder behind a Startup-folder location ("Start Menu" or
// "Start Menu(Common)"): the "Startup" or "Common Startup" value of the
// Shell Folders key of HKEY_CURRENT_USER or HKEY_LOCAL_MACHINE. Empty for
// any other location or when the value cannot be read.
std::string StartupFolderOf(RegistryService& registry, const std::string& location);

// The root whose StartupApproved key switches the shortcuts of a
// Startup-folder location.
HKey ApprovedRootOf(const std::string& location);

// A shortcut's title as the Startup Manager lists it: the file name without
// its last extension.
std::string TitleOf(const std::string& fileName);

}  // namespace qm
