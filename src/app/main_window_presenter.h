// The main window's decisions, free of the window system: how a start goes
// (splash, silent or shown, the first start's scan), what its timers do,
// what happens when a repair has finished, and how a close request ends the
// program. The main window implements the view.
#pragma once

#include "platform/settings_store.h"

namespace qm {

// The main window's timers.
namespace main_timer {
inline constexpr unsigned kAutoFind = 100;  // first start: press Find
inline constexpr unsigned kAutoFindDelayMs = 500;
inline constexpr unsigned kHideAgain = 200;  // silent start: hide after the first show
inline constexpr unsigned kHideAgainDelayMs = 100;
// How often it fires at most while waiting for the framework's show (10 s:
// a start under load can take seconds before its message queue first idles).
inline constexpr int kHideAgainTries = 100;
inline constexpr unsigned kAlert = 300;  // silent start: the alert popups
inline constexpr unsigned kFirstAlertMs = 200;
inline constexpr unsigned kAlertPeriodMs = 300000;
inline constexpr unsigned kCloseAfterRepair = 1000;  // "Shutdownafterclean"
inline constexpr unsigned kCloseAfterRepairMs = 1000;
}  // namespace main_timer

inline constexpr const char* kExitQuestion = "Are you sure you want to exit Quillmend?";

class MainWindowView {
  public:
    virtual ~MainWindowView() = default;
    // Runs the splash window modally (2.5 s).
    virtual void RunSplash() = 0;
    virtual void HideWindow() = 0;
    virtual bool IsWindowShown() const = 0;
    virtual void StartTimer(unsigned id, unsigned milliseconds) = 0;
    virtual void StopTimer(unsigned id) = 0;
    virtual void ShowTrayIcon() = 0;
    virtual void HideTrayIcon() = 0;
    // Opens a new alert popup owned by the main window.
    virtual void OpenAlert() = 0;
    // The Find & Fix page's Find button action.
    virtual void PressFind() = 0;
    virtual void RefreshBackupList() = 0;
    virtual void ResetFindFix() = 0;
    // Asks kExitQuestion with OK and Cancel; true for OK.
    virtual bool ConfirmExit() = 0;
    // Stops a running scan or repair and ends the main window's dialog.
    virtual void EndMainWindow() = 0;
};

class MainWindowPresenter {
  public:
    MainWindowPresenter(MainWindowView& view, const SettingsStore& settings, bool silent)
        : view_(view), settings_(settings), silent_(silent) {}

    // The start-up steps of the window's initialisation, after the pages
    // exist and Find & Fix is shown.
    void Start();
    void OnTimer(unsigned id);
    void OnRepairFinished();
    // The close box, the system menu's Close, or the timer after a repair.
    void OnCloseRequest();

    bool Silent() const { return silent_; }

  private:
    MainWindowView& view_;
    const SettingsStore& settings_;
    bool silent_;
    int hideTicks_ = 0;
};

}  // namespace qm
