// CRegFindNFix: the Find & Fix page (template 314). The user ticks scan
// categories, starts and stops scans and repairs with the one command
// button, reads what each category is about, and opens a category's items
// in the details dialog.
//
// The page is the scan driver's view. The scan and repair run on the
// driver's worker thread and never touch a window: every view call from the
// worker is a synchronous message to the page, handled on the
// user-interface thread; the progress texts are posted as
// ScanProgressMessage, so that the scan does not wait for their repaint. The repair is a
// RepairEngine over the page's own EntryRemover and the BackupStore it was given.
#pragma once

#include <windows.h>

#include <atomic>
#include <functional>
#include <mutex>
#include <string>

#include "backup/backup_store.h"
#include "platform/file_probe.h"
#include "platform/registry_service.h"
#include "repair/entry_remover.h"
#include "repair/repair_engine.h"
#include "scan/scan_driver.h"
#include "scan/scan_view.h"
#include "ui/busy_progress_ctrl.h"
#include "ui/link_label.h"
#include "ui/link_list_ctrl.h"
#include "ui/list_view.h"
#include "ui/page.h"

namespace qm {

class FoundItemsDialog;

class CRegFindNFix : public ui::Page, private ScanView {
  public:
    // The message that runs a view call of the worker on the page's thread:
    // lParam points to a std::function<void()>.
    static constexpr UINT kRunOnPageMessage = WM_APP + 0x300;

    CRegFindNFix(HINSTANCE instance, RegistryService& registry, FileProbe& files,
                 BackupStore& backups);
    // With other category scanners than the eight real ones (tests).
    CRegFindNFix(HINSTANCE instance, RegistryService& registry, FileProbe& files,
                 BackupStore& backups, ScannerTable scanners);
    // Stops the worker and waits for it, handling sent messages meanwhile.
    ~CRegFindNFix() override;

    // A press of the command button while its state is to find.
    void PressFind();
    // After a repair: result cells empty, list emptied, state to find, the
    // instruction text, repaint.
    void ResetAfterRepair();
    // Asks the worker to stop and waits for its end, handling the messages
    // it sends meanwhile, so that it never waits on a window that waits for
    // it. A scan stopped this way does not go on into an automatic repair.
    void StopWorker();

    ScanDriver& driver() { return driver_; }
    const RepairEngine& repairEngine() const { return engine_; }

  protected:
    bool OnInit() override;

  private:
    // Runs `call` on the page's thread and waits for it.
    void OnUi(const std::function<void()>& call);
    ui::ListView CategoryList() const { return ui::ListView(list_.Handle()); }

    void SetUpCategoryList();
    void SetUpBusyBar();
    void OnCommandButton();
    void OnClear();
    LRESULT OnListClick(NMHDR* header);
    void OpenDetails(int32_t category);
    // Ends an open details dialog after it forgot its items.
    void CloseDetails();
    void ClearResultCells();
    // The engine's check before each repair of the driver's.
    bool BeforeRepair(bool automatic);
    // The details dialog's "Ignore": the entry is stored, the items it
    // hides leave the list, and the counts, cells and result line follow.
    void Ignore(const IgnoreEntry& entry);

    // ScanView, called by the driver and the repair engine.
    void SetCommandText(const std::string& text) override;
    void EnableCommand(bool enabled) override;
    bool IsRowTicked(int row) override;
    void SetItemsFoundCell(int row, const std::string& text) override;
    void SetDetailsCell(int row, const std::string& text, bool link) override;
    void SetStatusText(const std::string& text) override;
    void ShowStatus(bool visible) override;
    void ShowProgressText(const std::string& text) override;
    void SetInstruction(const std::string& text) override;
    void ShowBusyBar(bool visible) override;
    void StartBusyAnimation(int stepMilliseconds) override;
    void StopBusyAnimation() override;
    void ShowClearButton(bool visible) override;
    void ShowResultLine(bool visible) override;
    void SetResultText(const std::string& text) override;
    void ShowMessage(const std::string& text) override;
    void Repaint() override;
    void EnablePageButtons(bool enabled) override;
    void RestoreMainWindow() override;
    void NotifyScanFinished() override;
    void NotifyRepairFinished() override;

    ui::CLinkLabel title_;
    ui::CLinkLabel instruction_;
    ui::CLinkLabel description_;
    ui::CLinkLabel status_;
    ui::CLinkLabel result_;
    ui::CLinkListCtrl list_;
    ui::CBusyProgressCtrl busy_;

    // The page's window and thread, for the worker's calls.
    std::atomic<HWND> window_{nullptr};
    DWORD uiThread_;
    HWND mainWindow_ = nullptr;
    FoundItemsDialog* openDetails_ = nullptr;
    std::atomic<bool> closing_{false};
    // The latest progress text the worker left, and whether a message to
    // show it is on its way.
    std::mutex progressMutex_;
    std::string progressText_;
    bool progressPosted_ = false;

    RegistryService& registry_;
    EntryRemover remover_;
    ScanDriver driver_;
    RepairEngine engine_;
};

}  // namespace qm
