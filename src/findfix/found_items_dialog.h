// FoundItemsDialog: the details of one scan category (template 353). It
// lists the category's found items with a tick box each, so that the user
// can choose which of them Fix repairs, shows below the list what was
// checked for the selected entry, and lets the user keep that entry (or
// its whole key) out of this and every later scan. It never owns the
// items: the page calls Abandon before the list of found items may be
// emptied.
#pragma once

#include <windows.h>

#include <functional>

#include "findfix/quillmend_list_box.h"
#include "scan/details_selection.h"
#include "scan/ignore_list.h"
#include "ui/anchor_layout.h"
#include "ui/dialog.h"
#include "ui/dialog_layout_scaler.h"
#include "ui/link_label.h"

namespace qm {

class FoundItemsDialog : public ui::Dialog {
  public:
    // Takes an entry into the ignore list and every item it hides out of
    // the scan's list; called once the dialog has let go of those items.
    using IgnoreHandler = std::function<void(const IgnoreEntry&)>;

    // Without a handler the two ignore buttons are disabled (while a scan
    // still adds to the list).
    FoundItemsDialog(HINSTANCE instance, DetailsSelection& selection, IgnoreHandler ignore = {});

    // Forgets the items, empties the list and closes the dialog.
    void Abandon();

  protected:
    bool OnInit() override;

  private:
    void FillList();
    void SelectAll();
    void UnselectAll();
    // Shows what was checked for the selected entry.
    void ShowChecked();
    // Ignores the selected entry (wholeKey: its key and all below it).
    void IgnoreSelected(bool wholeKey);

    DetailsSelection& selection_;
    IgnoreHandler ignore_;
    ui::CDialogLayoutScaler scaler_;
    ui::CAnchorLayout anchors_;
    ui::CLinkLabel header_;
    CQuillmendListBox list_;
};

}  // namespace qm
