#include "scan/scan_driver.h"

#include <cstdio>

#include "scan/ignore_list.h"
#include "scan/scan_file_answers.h"
#include "scan/scanners.h"

namespace qm {

std::string ProblemsFound(int32_t count) {
    char text[64];
    std::snprintf(text, sizeof text, "%d Problems Found", static_cast<int>(count));
    return text;
}

ScannerTable DefaultScanners() {
    return {&ScanComActiveX, &ScanUninstall, &ScanFonts,          &ScanSharedDlls,
            &ScanAppPaths,   &ScanHelpFiles, &ScanWindowsStartup, &ScanFilePaths};
}

const char* CommandCaption(ScanState state) {
    switch (state) {
        case ScanState::kFind:
            return "Find";
        case ScanState::kStopFind:
            return "Stop Find";
        case ScanState::kFix:
            return "Fix";
        case ScanState::kStopFix:
            return "Stop Fix";
    }
    return "Find";
}

std::string ScanResultText(int32_t count, int32_t ignored) {
    std::string line = count < 1 ? "No problems found."
                                 : "Quillmend has found " + std::to_string(count) +
                                       " errors on your computer.\nTo repair the errors click "
                                       "Fix button.";
    if (ignored > 0) {
        char said[64];
        std::snprintf(said, sizeof said,
                      ignored == 1 ? " %d item was ignored." : " %d items were ignored.",
                      static_cast<int>(ignored));
        line += said;
    }
    return line;
}

ScanDriver::ScanDriver(RegistryService& registry, FileProbe& files, ScanView& view,
                       ScannerTable scanners, ProgressThrottle::TickSource ticks)
    : registry_(registry),
      files_(files),
      view_(view),
      scanners_(scanners),
      settings_(registry),
      progress_(std::move(ticks),
                [this](const std::string& text) { view_.ShowProgressText(text); }) {}

ScanDriver::~ScanDriver() {
    stopRequested_ = 1;
    WaitForWorker();
}

void ScanDriver::SetState(ScanState state) {
    {
        std::lock_guard<std::mutex> lock(stateMutex_);
        state_ = state;
    }
    view_.SetCommandText(CommandCaption(state));
}

ScanState ScanDriver::State() const {
    std::lock_guard<std::mutex> lock(stateMutex_);
    return state_;
}

void ScanDriver::OnFindCommand() {
    const ScanState state = State();
    // A stopped worker is still ending.
    if (workerRunning_ && state != ScanState::kStopFind) return;
    switch (state) {
        case ScanState::kFind:
            counters_.Reset();
            stopRequested_ = 0;
            SetState(ScanState::kStopFind);
            StartWorker([this] { ScanWorker(); });
            break;
        case ScanState::kStopFind:
            stopRequested_ = 1;
            SetState(counters_.totalCount > 0 ? ScanState::kFix : ScanState::kFind);
            // The worker ends by itself; until it has, nothing new may start.
            if (workerRunning_) view_.EnableCommand(false);
            break;
        case ScanState::kFix:
            stopRequested_ = 0;
            SetState(ScanState::kStopFix);
            PrepareSelection();
            view_.ShowResultLine(false);
            StartWorker([this] { RunRepair(false); });
            break;
        case ScanState::kStopFix:
            break;  // a repair always runs to its end
    }
}

void ScanDriver::MarkDetailsOpened(int32_t category) {
    if (category >= 1 && category <= kCategoryCount) detailsOpened_[category] = true;
}

bool ScanDriver::DetailsOpened(int32_t category) const {
    return category >= 1 && category <= kCategoryCount && detailsOpened_[category];
}

void ScanDriver::PrepareSelection() {
    items_.ForEach([this](FoundItem& item) {
        if (!DetailsOpened(item.category)) item.selected = true;
    });
}

void ScanDriver::StartWorker(std::function<void()> body) {
    std::lock_guard<std::mutex> lock(workerMutex_);
    if (worker_.joinable()) worker_.join();
    workerRunning_ = true;
    worker_ = std::thread([this, body = std::move(body)] {
        body();
        view_.EnableCommand(true);
        // Cleared only after the last call to the view, so that joining a
        // worker that is no longer running never waits on the window.
        workerRunning_ = false;
    });
}

void ScanDriver::WaitForWorker() {
    std::lock_guard<std::mutex> lock(workerMutex_);
    if (worker_.joinable()) worker_.join();
}

bool ScanDriver::RunRepair(bool automatic) {
    return repair_ ? repair_(automatic) : false;
}

void ScanDriver::ScanWorker() {
    bool ticked[kCategoryCount];
    bool any = false;
    for (int row = 0; row < kCategoryCount; ++row) {
        ticked[row] = view_.IsRowTicked(row);
        any = any || ticked[row];
    }
    if (!any) {
        SetState(ScanState::kFind);
        view_.ShowMessage("Please select atleast one item.");
        return;
    }

    view_.ShowBusyBar(true);
    view_.StartBusyAnimation(100);
    view_.ShowStatus(true);
    items_.Clear();
    for (auto& opened : detailsOpened_) opened = false;
    view_.ShowClearButton(false);
    view_.EnablePageButtons(false);
    for (int row = 0; row < kCategoryCount; ++row) {
        view_.SetDetailsCell(row, ticked[row] ? "Selected" : "Not Selected", false);
        view_.SetItemsFoundCell(row, "");
    }

    // One scan sees each path as it was when it first asked about it, and
    // holds one item per entry, at the path that found it first.
    ScanFileAnswers files(files_);
    FoundEntries entries(registry_);
    // The entries the user keeps, as stored when the scan starts.
    IgnoreList ignore = LoadIgnoreList(settings_);
    for (const IgnoreEntry& entry : alsoIgnored_) ignore.Add(entry);
    ScanContext context{registry_,      files,      items_,   counters_,
                        stopRequested_, &progress_, &entries, &ignore};
    for (int row = 0; row < kCategoryCount; ++row) {
        if (!ticked[row]) continue;
        const int32_t category = row + 1;
        view_.SetDetailsCell(row, "Finding problems", false);
        view_.SetStatusText(CategoryStatusText(category));
        scanners_[row](context);
        const int32_t found = counters_.categoryCount[category];
        if (found < 1) {
            view_.SetItemsFoundCell(row, "0 Problems Found");
            view_.SetDetailsCell(row, "No Details", false);
        } else {
            view_.SetItemsFoundCell(row, ProblemsFound(found));
            view_.SetDetailsCell(row, "View Details", true);
        }
    }

    view_.RestoreMainWindow();
    if (counters_.totalCount > 0) {
        view_.SetInstruction(
            "Click on View Details to see the items details before Fixing the items.");
        view_.StopBusyAnimation();
        SetState(ScanState::kFix);
    } else {
        SetState(ScanState::kFind);
    }
    settings_.WriteNumber(kProductName, setting::kLastFoundErrors, counters_.totalCount);

    const bool automatic = settings_.ReadNumber(kProductName, setting::kRepairAfterFind) == 1;
    if (automatic) items_.ForEach([](FoundItem& item) { item.selected = true; });
    // A repair that could not go ahead (it had no backup file) deleted
    // nothing and told the user so: the scan then ends as one without
    // automatic repair, with its items kept for Fix, and the main window is
    // not told that a repair finished (which would empty the list and may
    // close the program).
    if (automatic && RunRepair(true)) {
        SetState(ScanState::kFind);
        view_.ShowBusyBar(false);
        view_.ShowStatus(false);
        view_.EnablePageButtons(true);
        view_.NotifyRepairFinished();
    } else {
        view_.ShowResultLine(true);
        view_.SetResultText(ScanResultText(counters_.totalCount, counters_.ignoredCount));
        view_.ShowBusyBar(false);
        view_.ShowStatus(false);
        view_.ShowClearButton(true);
        view_.EnablePageButtons(true);
        view_.RestoreMainWindow();
        view_.NotifyScanFinished();
    }
    view_.Repaint();
}

}  // namespace qm
