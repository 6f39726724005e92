// The Options page's rules: three check boxes read from the settings once,
// the repair-after-find box stored at the moment it is clicked, the others
// only on Apply. The page implements the view over its check boxes.
#pragma once

#include "platform/settings_store.h"

namespace qm {

enum class Option { kShutdownAfterClean, kRepairAfterFind, kSplashScreen };

class OptionsView {
  public:
    virtual ~OptionsView() = default;
    virtual bool IsChecked(Option option) const = 0;
    virtual void SetChecked(Option option, bool checked) = 0;
};

class OptionsPresenter {
  public:
    OptionsPresenter(OptionsView& view, const SettingsStore& settings)
        : view_(view), settings_(settings) {}

    // Checks each box whose setting reads non-zero.
    void Load();
    // A check box was clicked and has toggled itself.
    void OnCheckBoxClicked(Option option);
    // The label beside a box was clicked: the box toggles, nothing is stored.
    void OnLabelClicked(Option option);
    // Stores all three: "splashscreen", "Shutdownafterclean", "repairafterfind".
    void Apply();

  private:
    void Store(Option option);

    OptionsView& view_;
    const SettingsStore& settings_;
};

}  // namespace qm
