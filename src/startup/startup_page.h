// The Startup Manager page (template 142): every program started at log-on
// with a check box; unticking a row switches its item off, ticking it
// switches it on again. The page shows the rows its presenter gives it and
// hands it the list's item-changed notifications.
#pragma once

#include <windows.h>

#include "repair/entry_remover.h"
#include "startup/startup_item.h"
#include "startup/startup_presenter.h"
#include "ui/link_label.h"
#include "ui/list_view.h"
#include "ui/page.h"

namespace qm {

class CRegstartup : public ui::Page, private StartupView {
  public:
    CRegstartup(HINSTANCE instance, const StartupServices& services);

  protected:
    bool OnInit() override;

  private:
    // StartupView
    void AddRow(const StartupItem& item) override;
    void UpdateRow(int row, const StartupItem& item) override;

    LRESULT OnItemChanged(NMHDR* header);

    // The page's own remover; it never has a backup stream.
    EntryRemover remover_;
    StartupPresenter presenter_;
    ui::ListView list_;
    ui::CLinkLabel title_;
    ui::CLinkLabel description_;
};

}  // namespace qm
