// CSplashDialog: the borderless splash window (template 147) drawn from
// picture 246, with "Initializing..." over it. It stays exactly 2.5 seconds:
// Enter, Escape and clicks do nothing.
#pragma once

#include <windows.h>

#include "ui/dialog.h"
#include "ui/dialog_layout_scaler.h"
#include "ui/gdi_object.h"
#include "ui/link_label.h"

namespace qm {

inline constexpr unsigned kSplashTimerId = 100;
inline constexpr unsigned kSplashMilliseconds = 2500;

class CSplashDialog : public ui::Dialog {
  public:
    explicit CSplashDialog(HINSTANCE instance);
    // Runs the splash modally with no parent; returns when it has closed.
    void Run() { DoModal(nullptr); }

  private:
    bool OnInit() override;
    void OnOk() override {}
    void OnCancel() override {}

    ui::CDialogLayoutScaler scaler_;
    ui::CLinkLabel label_;
    ui::Bitmap picture_;
};

}  // namespace qm
