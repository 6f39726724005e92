// CSystemTray: the program's icon in the shell's notification area. It is
// a hidden popup window of the private class "QuillmendTrayWindow" (empty
// title) that owns one notification icon and receives its callback
// message; the add/delete bookkeeping is TrayIconState's. A double-click on
// the icon brings the target window (the main window) back.
#pragma once

#include <windows.h>
// After windows.h, which it needs.
#include <shellapi.h>

#include "app/tray_icon_state.h"
#include "ui/window.h"

namespace qm {

inline constexpr const char* kTrayWindowClass = "QuillmendTrayWindow";

class CSystemTray : public ui::Window, private TrayShell {
  public:
    CSystemTray();
    ~CSystemTray() override;

    // Makes the hidden window and fills the notification record; started
    // visible, it also adds the icon. False on a system without
    // notification-area icons, when the window cannot be made, or when a
    // visible start's add fails (the add is then retried when the shell
    // returns). A missing notification area does not fail a hidden start.
    bool CreateTray(HINSTANCE instance, HWND parent, UINT callbackMessage, const char* tip,
                    int iconId, UINT iconNumber, bool hidden);

    void ShowIcon() { state_.Show(); }
    void HideIcon() { state_.Hide(); }
    // The window that a double-click restores.
    void SetTargetWindow(HWND target) { target_ = target; }

    const TrayIconState& State() const { return state_; }

  private:
    bool AddIcon() override;
    bool DeleteIcon() override;
    static LRESULT CALLBACK Procedure(HWND hwnd, UINT message, WPARAM w, LPARAM l);
    LRESULT OnMessage(UINT message, WPARAM w, LPARAM l);
    void OnCallback(WPARAM iconNumber, LPARAM mouseMessage);

    NOTIFYICONDATAA data_{};
    HICON icon_ = nullptr;
    HWND target_ = nullptr;
    TrayIconState state_;
};

}  // namespace qm
