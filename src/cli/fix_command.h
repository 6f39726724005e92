// --fix, --restore and --save of quillmend-scan.
#pragma once

#include <memory>
#include <ostream>
#include <string>

#include "backup/backup_store.h"
#include "cli/options.h"
#include "platform/file_probe.h"
#include "platform/memory/memory_registry.h"
#include "platform/registry_service.h"
#include "platform/system_info.h"
#include "repair/entry_remover.h"
#include "repair/repair_engine.h"
#include "scan/found_item.h"
#include "scan/scan_driver.h"
#include "scan/scan_view.h"

namespace qm::cli {

// Where the backup file of --fix goes, as the file probe sees it. Away from
// Windows the folder (made if missing) becomes a drive letter of its own,
// added to `options.drives`; on Windows it is the folder itself.
bool PrepareBackupFolder(Options& options, std::string& windowsFolder, std::string& error);

// The repair of --fix over the scan driver: every item found in the chosen
// categories is repaired, with one backup file in the given folder.
class FixCommand {
  public:
    FixCommand(ScanDriver& driver, RegistryService& registry, FileProbe& files, ScanView& view,
               const std::string& backupFolder);

    // After ScanWorker: repairs unless the scan already did ("repairafterfind").
    void Run();
    // The items the scan found (the repair empties the driver's list).
    const FoundItemList& found() const { return found_; }
    const RepairReport& report() const { return engine_.lastReport(); }
    // "Backup file: PATH", with the host path away from Windows.
    void PrintBackup(std::ostream& out, const Options& options) const;
    // 0 when everything selected was repaired, 1 otherwise.
    int ExitStatus() const;
    // Backups for another system than the running one (see BackupStore).
    void SetBackupFormat(bool regedit4) { backups_.SetFormatFor(regedit4); }

  private:
    // Before each repair: the found items are copied out of the driver's
    // list, which the repair empties.
    void KeepFound();

    ScanDriver& driver_;
    std::unique_ptr<SystemInfo> system_;
    BackupStore backups_;
    EntryRemover remover_;
    RepairEngine engine_;
    FoundItemList found_;
    bool repaired_ = false;
};

// --restore FILE: into the in-memory registry when there is one (0, or 2
// with `error`). Otherwise (Windows) into `registry`, the live one, through
// the registry editor, checked and finished as the Backup and Recovery page
// does it: 0 once the registry holds everything the file describes (the
// file is then deleted); 1 when it does not, with what is missing written
// to `out` (the file stays for another try); 2 with `error` when the file
// cannot be read or the editor cannot be started.
int RestoreBackup(RegistryService& registry, MemoryRegistry* memory, const std::string& file,
                  std::ostream& out, std::string& error);

// --save FILE: the in-memory registry as a REGEDIT4 file.
bool SaveRegistry(const MemoryRegistry* memory, const std::string& file, std::string& error);

}  // namespace qm::cli
