#include "app/main_window_presenter.h"

namespace qm {

void MainWindowPresenter::Start() {
    if (settings_.ReadNumber(kProductName, setting::kSplashScreen) != 0) view_.RunSplash();
    view_.HideWindow();
    if (silent_) {
        // The dialog shows itself once when its message queue first goes
        // idle; the first timer hides it again after that.
        view_.StartTimer(main_timer::kHideAgain, main_timer::kHideAgainDelayMs);
        view_.StartTimer(main_timer::kAlert, main_timer::kFirstAlertMs);
        view_.ShowTrayIcon();
    } else {
        view_.HideTrayIcon();
    }
    if (settings_.ReadNumber(kProductName, setting::kFirstTime) == 0) {
        view_.StartTimer(main_timer::kAutoFind, main_timer::kAutoFindDelayMs);
    }
    settings_.WriteNumber(kProductName, setting::kFirstTime, 1);
}

void MainWindowPresenter::OnTimer(unsigned id) {
    switch (id) {
        case main_timer::kAutoFind:
            // Stopped before the press, so that a message box the press may
            // show cannot let the timer press again.
            view_.StopTimer(id);
            view_.PressFind();
            break;
        case main_timer::kHideAgain: {
            // The dialog framework shows the window once when its message
            // queue first goes idle. A slow start can bring this timer
            // before that show; it then fires again until it has hidden the
            // window after the show (or has waited long enough).
            const bool shown = view_.IsWindowShown();
            view_.HideWindow();
            if (shown || ++hideTicks_ >= main_timer::kHideAgainTries) view_.StopTimer(id);
            break;
        }
        case main_timer::kAlert:
            view_.StopTimer(id);
            view_.StartTimer(id, main_timer::kAlertPeriodMs);
            view_.OpenAlert();
            break;
        case main_timer::kCloseAfterRepair:
            view_.StopTimer(id);
            OnCloseRequest();
            break;
        default:
            break;
    }
}

void MainWindowPresenter::OnRepairFinished() {
    view_.RefreshBackupList();
    if (settings_.ReadNumber(kProductName, setting::kShutdownAfterClean) != 0) {
        view_.StartTimer(main_timer::kCloseAfterRepair, main_timer::kCloseAfterRepairMs);
    }
    view_.ResetFindFix();
}

void MainWindowPresenter::OnCloseRequest() {
    if (settings_.ReadNumber(kProductName, setting::kPdIsCleanShut) != 0 && !view_.ConfirmExit()) {
        return;
    }
    view_.EndMainWindow();
}

}  // namespace qm
