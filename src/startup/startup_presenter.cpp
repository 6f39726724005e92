#include "startup/startup_presenter.h"

#include "startup/startup_sources.h"

namespace qm {

void StartupPresenter::Initialise() {
    if (filled_) return;
    std::vector<StartupItem> items;
    EnumerateStartupItems(services_, items);
    for (const StartupItem& item : items) {
        rows_.push_back(item);
        view_.AddRow(item);
    }
    filled_ = true;
}

void StartupPresenter::OnItemChanged(int row, uint32_t oldState, uint32_t newState) {
    if (!filled_) return;
    if (oldState == 0 && newState == 0) return;
    const uint32_t image = (newState & kStateImageMask) >> 12;
    if (image >= 2)
        SwitchOn(row);
    else
        SwitchOff(row);
}

bool StartupPresenter::SwitchOff(int row) {
    if (row < 0 || static_cast<size_t>(row) >= rows_.size()) return false;
    StartupItem& item = rows_[row];
    if (!item.switchedOn) return true;
    std::string parkedName;
    const SwitchOutcome outcome = SwitchOffStartupItem(services_, item, &parkedName);
    if (outcome == SwitchOutcome::kSwitched)
        RemoveStartupEntry(services_, remover_, item.name, item.command, item.location, parkedName);
    // On while the entry is still where Windows reads it: the switch was
    // refused or failed, or the entry could not be deleted (its record then
    // stays as a duplicate that a later try takes up again).
    if (StartupEntryPresent(services_, item.name, item.location)) {
        view_.UpdateRow(row, item);
        return false;
    }
    item.switchedOn = false;
    if (outcome == SwitchOutcome::kSwitched) {
        item.name = parkedName;
        item.location = SwitchedOffLocation(item.location);
    }
    view_.UpdateRow(row, item);
    return true;
}

bool StartupPresenter::SwitchOn(int row) {
    if (row < 0 || static_cast<size_t>(row) >= rows_.size()) return false;
    StartupItem& item = rows_[row];
    if (item.switchedOn) return true;
    if (item.heldBySystem) {
        // Held off by the system's own switch: clearing it is all there is.
        item.switchedOn = ReleaseStartupItem(services_, item) == SwitchOutcome::kSwitched;
        item.heldBySystem = !item.switchedOn;
        view_.UpdateRow(row, item);
        return item.switchedOn;
    }
    const SwitchOutcome outcome = SwitchOnStartupItem(services_, item.name, item.location);
    const std::string on = SwitchedOnLocation(item.location);
    // Switched on, or found on already with no record left to put back.
    item.switchedOn =
        outcome == SwitchOutcome::kSwitched ||
        (outcome == SwitchOutcome::kNotFound && StartupEntryPresent(services_, item.name, on));
    if (item.switchedOn) item.location = on;
    view_.UpdateRow(row, item);
    return item.switchedOn;
}

}  // namespace qm
