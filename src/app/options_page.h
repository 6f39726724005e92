// COptionsPage: the Options page (template 133). Three check boxes with
// labels that toggle them, and Apply; the rules are OptionsPresenter's.
// Below them the ignore list, read again each time the page is shown, whose
// selected entries Remove takes out of the stored list at once.
#pragma once

#include <windows.h>

#include "app/options_presenter.h"
#include "platform/settings_store.h"
#include "scan/ignore_list.h"
#include "ui/button.h"
#include "ui/link_label.h"
#include "ui/page.h"

namespace qm {

class COptionsPage : public ui::Page, private OptionsView {
  public:
    COptionsPage(HINSTANCE instance, RegistryService& registry);

  private:
    bool OnInit() override;
    bool IsChecked(Option option) const override;
    void SetChecked(Option option, bool checked) override;
    static int BoxId(Option option);
    void ShowIgnored();
    void RemoveIgnored();

    SettingsStore settings_;
    IgnoreList ignored_;  // as listed, row by row
    OptionsPresenter presenter_;
    ui::CLinkLabel title_;
    ui::CLinkLabel shutdownLabel_;
    ui::CLinkLabel repairLabel_;
    ui::CLinkLabel splashLabel_;
    ui::CLinkLabel ignoredLabel_;
};

}  // namespace qm
