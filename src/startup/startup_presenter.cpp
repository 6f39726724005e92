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
    if (SwitchOffStartupItem(services_, item) != SwitchOutcome::kSwitched) return false;
    RemoveStartupEntry(services_, remover_, item.name, item.command, item.location);
    // Still in place (the entry could not be deleted): the record stays as
    // a duplicate, and the row stays on.
    if (StartupEntryPresent(services_, item.name, item.location)) return false;
    item.switchedOn = false;
    const std::string moved = SwitchedOffLocation(item.location);
    if (moved != item.location) {
        item.location = moved;
        view_.SetLocationText(row, moved);
    }
    return true;
}

bool StartupPresenter::SwitchOn(int row) {
    if (row < 0 || static_cast<size_t>(row) >= rows_.size()) return false;
    StartupItem& item = rows_[row];
    if (item.switchedOn) return true;
    if (SwitchOnStartupItem(services_, item.name, item.location) != SwitchOutcome::kSwitched)
        return false;
    item.switchedOn = true;
    const std::string moved = SwitchedOnLocation(item.location);
    if (moved != item.location) {
        item.location = moved;
        view_.SetLocationText(row, moved);
    }
    return true;
}

}  // namespace qm
