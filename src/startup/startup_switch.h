// Switching startup items off and on in the System Configuration Utility's
// layout (on 64-bit Windows in its 64-bit view, which that system's utility
// reads; a 32-bit programs' Run key is recorded by its path, as the utility
// there writes it). A Run or RunOnce value is moved into a record below
// HKEY_LOCAL_MACHINE\SOFTWARE\Microsoft\Shared Tools\MSConfig\startupreg
// (one subkey per item, named with the item's name: "item", "command",
// "hkey", "key"); a Startup-folder shortcut is parked in the Windows
// folder's "pss" folder (as <file name><"Startup" or "Common Startup">) and
// recorded below ...\MSConfig\startupfolder (one subkey per shortcut, named
// with its full path with "^" for every backslash: "item", "command",
// "location", "path", "backup"). Switching on puts the item back and
// deletes its record.
//
// Other tools read these records, so their layout is kept exactly. What
// this code adds is that nothing is ever lost on the way:
//  - a shortcut is deleted only once its parked copy exists and holds the
//    same bytes, and the pss folder is created when it is missing;
//  - a record is never written onto the record key itself (an empty
//    subkey name), nor below another record (a name with a backslash);
//  - no record or parked copy is ever overwritten: an item whose name's
//    record or parked copy is taken by another switched-off item is parked
//    under the first free "<name> (2)", "<name> (3)" ... and comes back
//    under that name; switching on never overwrites a Run value or a
//    shortcut that is back in place meanwhile;
//  - a Run value keeps its type: the record's "command" value is REG_SZ
//    text as the layout has it, and when that text would not give the value
//    back (a REG_EXPAND_SZ command, say) its own type and bytes are kept
//    beside it in "QuillmendCommand"; switching on writes them back, and a
//    record without them goes back as REG_SZ;
//  - a record is deleted only after its item is back in place; a record
//    whose "hkey" or "key" is not one this code knows stays where it is.
#pragma once

#include <string>

#include "startup/startup_item.h"

namespace qm {

class EntryRemover;

enum class SwitchOutcome {
    kSwitched,  // the item was moved
    kNotFound,  // there was nothing to move: no such Run value, shortcut or record
    kFailed,    // the item could not be moved and was left where it was
};

// Switches off the item of a row that is on. The branch is chosen by the
// location: with a "/" a Run or RunOnce value, otherwise a Startup-folder
// shortcut. kSwitched when its record was written (and the entry itself
// deleted where that was allowed). `parkedName` (may be null) receives the
// name its record gives it: the row's name, or "<name> (n)" when that was
// taken.
SwitchOutcome SwitchOffStartupItem(const StartupServices& services, const StartupItem& row,
                                   std::string* parkedName = nullptr);

// Removes a switched-off item's Run value or shortcut a second time through
// the remover (for when switching off could not delete it with full
// access). Only an entry whose record is in place is removed: a Run value
// when a startupreg record of that name names its key, a shortcut when its
// parked copy holds the same bytes. `parkedName` is the name the record
// was written under, when that is not `name`.
void RemoveStartupEntry(const StartupServices& services, EntryRemover& remover,
                        const std::string& name, const std::string& command,
                        const std::string& location, const std::string& parkedName = {});

// Switches on the item named `name` of a row that is off. With a backslash
// in the location, the startupreg record of that name is written back into
// the Run key it names; otherwise the startupfolder records of a shortcut
// of that title and location are copied back from the pss folder.
SwitchOutcome SwitchOnStartupItem(const StartupServices& services, const std::string& name,
                                  const std::string& location);

// Switches on a row that the system's own startup switch holds off (see
// system_switch.h): its flag is cleared for the Run value, or for every
// shortcut of that title in the Startup folder. kNotFound when the row is
// not held so or its entry is gone.
SwitchOutcome ReleaseStartupItem(const StartupServices& services, const StartupItem& row);

// Whether the item is in place: the Run value exists, or a shortcut with
// that title is in the location's Startup folder.
bool StartupEntryPresent(const StartupServices& services, const std::string& name,
                         const std::string& location);

// The location a row shows after being switched off or on: registry items
// swap "/" for "\" ("HKCU/Run" <-> "HKCU\Run"); shortcuts keep theirs.
std::string SwitchedOffLocation(const std::string& location);
std::string SwitchedOnLocation(const std::string& location);

enum class CopyResult {
    kCopied,      // every byte was copied and flushed
    kNotOpened,   // the source or the target could not be opened; nothing was touched
    kIncomplete,  // the target was created but not completely written
};

// Copies a file in 1024-byte blocks; the target is created or truncated.
CopyResult CopyFileBytes(FileProbe& files, const std::string& source, const std::string& target);

// Whether two files can both be read and hold the same bytes.
bool SameFileBytes(FileProbe& files, const std::string& first, const std::string& second);

}  // namespace qm
