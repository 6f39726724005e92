// The Find & Fix page's run state: what the one command button does next
// (find, stop a scan, fix, or nothing while a repair runs), a scan worker
// thread that runs the ticked categories in order, the stop flag, the
// end-of-scan bookkeeping ("lastfounderrors", the result line, the
// automatic repair). The page drives it through OnFindCommand and shows
// what it says through ScanView; the button's caption is only shown.
#pragma once

#include <array>
#include <atomic>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

#include "platform/file_probe.h"
#include "platform/registry_service.h"
#include "platform/settings_store.h"
#include "scan/found_item.h"
#include "scan/ignore_list.h"
#include "scan/progress_throttle.h"
#include "scan/scan_context.h"
#include "scan/scan_view.h"

namespace qm {

using Scanner = void (*)(ScanContext&);
using ScannerTable = std::array<Scanner, kCategoryCount>;  // [category - 1]

// The eight category scanners in category order.
ScannerTable DefaultScanners();

// The repair run, called on a worker thread and waited for. `automatic` is
// true when it follows a scan because "repairafterfind" is 1. Returns
// whether the scan ends as after a repair; false when the run repaired
// nothing and left the items where they were for another try (no ticked
// row, no backup file).
using RepairRoutine = std::function<bool(bool automatic)>;

// The "Items Found" cell of a scanned category.
std::string ProblemsFound(int32_t count);

// The result line after a scan without automatic repair, saying how many
// items the ignore list left out when there were any.
std::string ScanResultText(int32_t count, int32_t ignored = 0);

// What the command button does when pressed.
enum class ScanState {
    kFind,      // starts a scan
    kStopFind,  // stops the running scan
    kFix,       // repairs the found items
    kStopFix,   // nothing: a repair always runs to its end
};

// The command button's caption in `state`.
const char* CommandCaption(ScanState state);

class ScanDriver {
  public:
    ScanDriver(RegistryService& registry, FileProbe& files, ScanView& view,
               ScannerTable scanners = DefaultScanners(),
               ProgressThrottle::TickSource ticks = SystemTickCount);
    ~ScanDriver();
    ScanDriver(const ScanDriver&) = delete;
    ScanDriver& operator=(const ScanDriver&) = delete;

    void SetRepairRoutine(RepairRoutine repair) { repair_ = std::move(repair); }
    // Entries every scan leaves out besides the stored ignore list.
    void AlsoIgnore(std::vector<IgnoreEntry> entries) { alsoIgnored_ = std::move(entries); }

    // The details dialog of `category` (1 to 8) was opened since the last
    // scan. Fix repairs every item of a category whose details were never
    // opened (their items count as selected) and, for a category whose
    // details were opened, exactly the items the user left ticked there.
    void MarkDetailsOpened(int32_t category);
    bool DetailsOpened(int32_t category) const;

    // The command button's handler; acts on the current state.
    void OnFindCommand();
    ScanState State() const;
    // Sets the state and shows its caption on the command button.
    void SetState(ScanState state);
    // The caption the command button shows now.
    std::string CommandText() const { return CommandCaption(State()); }

    // The scan worker's body: runs on the calling thread and returns when
    // the scan (and an automatic repair) has ended. The headless scanner
    // calls it directly.
    void ScanWorker();

    // Blocks until the last worker started has ended.
    void WaitForWorker();
    bool WorkerRunning() const { return workerRunning_.load(); }

    FoundItemList& items() { return items_; }
    ScanCounters& counters() { return counters_; }
    std::atomic<int>& stopRequested() { return stopRequested_; }

  private:
    void PrepareSelection();
    void StartWorker(std::function<void()> body);
    bool RunRepair(bool automatic);

    RegistryService& registry_;
    FileProbe& files_;
    ScanView& view_;
    ScannerTable scanners_;
    SettingsStore settings_;
    ProgressThrottle progress_;
    RepairRoutine repair_;
    std::vector<IgnoreEntry> alsoIgnored_;

    FoundItemList items_;
    ScanCounters counters_;
    std::atomic<int> stopRequested_{0};
    std::array<std::atomic<bool>, kCategoryCount + 1> detailsOpened_{};
    mutable std::mutex stateMutex_;
    ScanState state_ = ScanState::kFind;

    std::mutex workerMutex_;
    std::thread worker_;
    std::atomic<bool> workerRunning_{false};
};

}  // namespace qm
