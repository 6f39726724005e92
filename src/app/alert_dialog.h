// CAlertDlg: the small popup (template 390) that tells how many problems the
// last scan left, in the bottom-right corner of the work area, topmost. It
// draws itself, hides after a minute or on Enter or Escape, and a click on
// it hides it and restores the main window. Each popup is a new object; it is never shown
// again once hidden.
#pragma once

#include <windows.h>

#include "platform/settings_store.h"
#include "ui/dialog.h"

namespace qm {

class CAlertDlg : public ui::Dialog {
  public:
    CAlertDlg(HINSTANCE instance, const SettingsStore& settings);
    // Makes the popup, owned by `parent`, and shows it.
    bool Open(HWND parent);
    // Whether the popup is still on screen (not yet timed out or clicked).
    bool IsOpen() const { return hwnd_ != nullptr && IsVisible(); }

  private:
    bool OnInit() override;
    // Enter and Escape hide it, as the timer does.
    void OnOk() override;
    void OnCancel() override;
    // The box and its text, drawn over the whole client area.
    bool Draw(HDC dc);
    void Close(bool restoreOwner);

    const SettingsStore& settings_;
};

}  // namespace qm
