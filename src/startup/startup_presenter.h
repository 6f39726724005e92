// What the Startup Manager page does, without the window: it fills the list
// once, and turns each tick or untick of a row into a switch of that row's
// item.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "startup/startup_item.h"
#include "startup/startup_switch.h"

namespace qm {

class EntryRemover;

// The page's list, as the presenter uses it.
class StartupView {
  public:
    virtual ~StartupView() = default;
    // Inserts a row at the end: column 0 the name, then column 1 the
    // command and column 2 the location, then the check box.
    virtual void AddRow(const StartupItem& item) = 0;
    // Shows a row again after a switch: its name (column 0), its location
    // (column 2) and its check box.
    virtual void UpdateRow(int row, const StartupItem& item) = 0;
};

class StartupPresenter {
  public:
    // The list control's state-image bits: bits 12 to 15 of a state word;
    // image 1 is the empty check box, 2 the ticked one.
    static constexpr uint32_t kStateImageMask = 0xF000;

    StartupPresenter(const StartupServices& services, EntryRemover& remover, StartupView& view)
        : services_(services), remover_(remover), view_(view) {}

    // Fills the list with every startup item, once. Notifications that
    // arrive before the list is filled change nothing.
    void Initialise();

    // An item-changed notification of the list: the row and its old and
    // new state words. A ticked image switches the row's item on, an
    // unticked image or none switches it off.
    void OnItemChanged(int row, uint32_t oldState, uint32_t newState);

    // Switch one row. A row that is already in the requested state is left
    // alone (the list reports selection changes with the current check
    // image). After every attempt the row shows the item as it now is: its
    // check box whether Windows will start it, and, after a switch, the
    // name and location that switch it back while the page lives. False
    // when the row does not exist or its item is not in the requested
    // state.
    bool SwitchOff(int row);
    bool SwitchOn(int row);

    const std::vector<StartupItem>& rows() const { return rows_; }
    bool filled() const { return filled_; }

  private:
    StartupServices services_;
    EntryRemover& remover_;
    StartupView& view_;
    std::vector<StartupItem> rows_;
    bool filled_ = false;
};

}  // namespace qm
