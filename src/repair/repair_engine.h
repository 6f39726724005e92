// The repair run of the Find & Fix page: one pass over the found items that
// deletes, for every selected item of a ticked category, the key or value it
// stands for, each written first to one new backup file per run. It talks
// to the page through ScanView, like the scan driver, and is the driver's
// repair routine (for Fix, and after a scan when "repairafterfind" is 1):
// the constructor over a driver is the one place that wires the two.
//
// What the run guarantees beyond deleting: nothing is deleted unless it is
// in the backup file in full and flushed to the disk. Entries are written a
// batch at a time (up to 256, or as many as about 100 ms allow), flushed
// once, and only then deleted; a batch whose flush fails deletes nothing. A run that cannot
// create its backup file deletes nothing; a backup write error stops the
// run; an entry that cannot be read in full, or cannot be deleted, stays.
// In each case the user is told, and "lastfounderrors" keeps counting every
// problem that was not repaired.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "backup/backup_store.h"
#include "platform/registry_service.h"
#include "repair/entry_remover.h"
#include "scan/found_item.h"
#include "scan/scan_driver.h"
#include "scan/scan_view.h"

namespace qm {

// The texts the run shows in message boxes (%s: a folder or file path, %d:
// a count).
namespace repair_text {
inline constexpr const char* kNoRowTicked = "Please select atleast one item.";
inline constexpr const char* kNoBackup =
    "Quillmend could not create a backup file in the folder \"%s\", so nothing was repaired.\n"
    "Make sure that the folder can be written to and try again.";
inline constexpr const char* kBackupWriteFailed =
    "Quillmend could not write to the backup file \"%s\" (the disk may be full), so the repair "
    "was stopped.\nEverything repaired until then is in the backup file; the other entries "
    "were left as they were.";
inline constexpr const char* kLeftInPlace =
    "%d of the selected entries were not repaired and were left as they were:";
inline constexpr const char* kNotBackedUp = "could not be saved to the backup";
inline constexpr const char* kNotDeleted = "could not be deleted";
}  // namespace repair_text

// What the last run did.
struct RepairReport {
    bool ran = false;  // false: no row was ticked, or there was no backup file
    std::string backupPath;
    int found = 0;                         // items in the list when the run started
    int repaired = 0;                      // items whose entry is gone now
    bool backupFailed = false;             // the backup file could not be created or written
    std::vector<std::string> notRepaired;  // "<entry> (<why>)" per selected item that stays
    std::string message;                   // what the user was told at the end, if anything
};

class RepairEngine {
  public:
    // Where an engine without a driver shows the command button's caption.
    using CommandTextSink = std::function<void(const std::string&)>;
    // Called on the driver's worker before each repair the driver asks for,
    // with whether it is automatic; a run it refuses (false) does not
    // happen, and the scan ends as after a repair.
    using BeforeRun = std::function<bool(bool automatic)>;

    RepairEngine(RegistryService& registry, BackupStore& backups, EntryRemover& remover,
                 ScanView& view, FoundItemList& items, const ScanCounters& counters,
                 CommandTextSink setCommandText);
    // Over the driver's list, counters and state; becomes the driver's
    // repair routine.
    RepairEngine(ScanDriver& driver, RegistryService& registry, BackupStore& backups,
                 EntryRemover& remover, ScanView& view, BeforeRun beforeRun = {});

    // The run. `automatic` when it follows a scan on the scan worker; the
    // driver then tells the main window itself that the repair finished.
    void RunRepair(bool automatic = false);
    const RepairReport& lastReport() const { return report_; }

  private:
    // What fixing `item` removes: kSuccess with `what` set, or the status
    // the item ends with as it is: kBadPathname when the item's root prefix
    // is not one its category deletes under (the run counts it as repaired,
    // as nothing of it is to be deleted), kInvalidParameter for an empty
    // subkey name (which would name the parent key). A class item's key is
    // removed where it lies: below HKEY_CURRENT_USER\Software\Classes or
    // HKEY_LOCAL_MACHINE\Software\Classes, not through the merged view.
    Status RemovalOf(const FoundItem& item, Removal& what) const;
    // Counts the result of each item of a batch, in order. False when the
    // backup failed: the run stops there.
    bool CountResults(const std::vector<const FoundItem*>& items,
                      const std::vector<RemoveResult>& results, const RegTextStream& backup);
    void ShowEndMessage();

    RegistryService& registry_;
    BackupStore& backups_;
    EntryRemover& remover_;
    ScanView& view_;
    FoundItemList& items_;
    const ScanCounters& counters_;
    std::function<void(ScanState)> setState_;
    RepairReport report_;
};

}  // namespace qm
