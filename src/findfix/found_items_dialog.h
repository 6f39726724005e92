// FoundItemsDialog: the details of one scan category (template 353). It
// lists the category's found items with a tick box each, so that the user
// can choose which of them Fix repairs. It never owns the items: the page
// calls Abandon before the list of found items may be emptied.
#pragma once

#include <windows.h>

#include "findfix/quillmend_list_box.h"
#include "scan/details_selection.h"
#include "ui/anchor_layout.h"
#include "ui/dialog.h"
#include "ui/dialog_layout_scaler.h"
#include "ui/link_label.h"

namespace qm {

class FoundItemsDialog : public ui::Dialog {
  public:
    FoundItemsDialog(HINSTANCE instance, DetailsSelection& selection);

    // Forgets the items, empties the list and closes the dialog.
    void Abandon();

  protected:
    bool OnInit() override;

  private:
    void FillList();
    void SelectAll();
    void UnselectAll();

    DetailsSelection& selection_;
    ui::CDialogLayoutScaler scaler_;
    ui::CAnchorLayout anchors_;
    ui::CLinkLabel header_;
    CQuillmendListBox list_;
};

}  // namespace qm
