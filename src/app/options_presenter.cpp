#include "app/options_presenter.h"

namespace qm {
namespace {

const char* SettingOf(Option option) {
    switch (option) {
        case Option::kShutdownAfterClean:
            return setting::kShutdownAfterClean;
        case Option::kRepairAfterFind:
            return setting::kRepairAfterFind;
        case Option::kSplashScreen:
            return setting::kSplashScreen;
    }
    return setting::kRepairAfterFind;
}

constexpr Option kAll[] = {Option::kShutdownAfterClean, Option::kRepairAfterFind,
                           Option::kSplashScreen};

}  // namespace

void OptionsPresenter::Load() {
    for (Option option : kAll) {
        view_.SetChecked(option, settings_.ReadNumber(kProductName, SettingOf(option)) != 0);
    }
}

void OptionsPresenter::Store(Option option) {
    settings_.WriteNumber(kProductName, SettingOf(option), view_.IsChecked(option) ? 1 : 0);
}

void OptionsPresenter::OnCheckBoxClicked(Option option) {
    if (option == Option::kRepairAfterFind) Store(option);
}

void OptionsPresenter::OnLabelClicked(Option option) {
    view_.SetChecked(option, !view_.IsChecked(option));
}

void OptionsPresenter::Apply() {
    Store(Option::kSplashScreen);
    Store(Option::kShutdownAfterClean);
    Store(Option::kRepairAfterFind);
}

}  // namespace qm
