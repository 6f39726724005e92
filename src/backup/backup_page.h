// The Backup and Recovery page (template 312): the backup files with a
// check box each, Restore and Remove. The page shows what its presenter
// decides and runs the system registry editor for it.
#pragma once

#include <windows.h>

#include "backup/backup_page_presenter.h"
#include "backup/backup_store.h"
#include "platform/file_probe.h"
#include "platform/registry_service.h"
#include "ui/link_label.h"
#include "ui/list_view.h"
#include "ui/page.h"

namespace qm {

class CRegBackup : public ui::Page, private BackupView {
  public:
    CRegBackup(HINSTANCE instance, RegistryService& registry, FileProbe& files,
               BackupStore& backups);

    // Lists the Backup folder afresh (the main window calls it after a
    // repair run, so that the new backup file is there).
    void RefreshBackupList();

  protected:
    bool OnInit() override;

  private:
    // BackupView
    void DeleteAllRows() override;
    void InsertRowAtTop(const BackupRow& row) override;
    int RowCount() const override;
    bool IsRowChecked(int row) const override;
    std::string RowName(int row) const override;
    void ShowError(const std::string& text) override;
    void ShowMessage(const std::string& text) override;

    BackupPagePresenter presenter_;
    ui::ListView list_;
    ui::CLinkLabel title_;
    ui::CLinkLabel description_;
};

// A file time on the machine's local clock, as the system converts it.
CalendarTime LocalCalendarTime(uint64_t fileTime);

}  // namespace qm
