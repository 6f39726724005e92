#include "app/splash_dialog.h"

#include "app/window_placement.h"
#include "resource.h"
#include "ui/device_context.h"

namespace qm {

CSplashDialog::CSplashDialog(HINSTANCE instance) : ui::Dialog(instance, IDD_SPLASH) {
    BindBackground([this](HDC dc) { return ui::DrawBitmap(dc, picture_.Get()); });
    BindMessage(WM_TIMER, [this](WPARAM, LPARAM) {
        KillTimer(hwnd_, kSplashTimerId);
        End(1);
        return 0;
    });
}

bool CSplashDialog::OnInit() {
    scaler_.Apply(Instance(), hwnd_, IDD_SPLASH, 96.0);
    // The main window is not on screen yet, so the splash centres itself on
    // the work area at its laid-out size.
    CentreOnWorkArea(hwnd_);
    picture_.Reset(LoadBitmapA(Instance(), MAKEINTRESOURCEA(IDB_SPLASH)));
    label_.Bind(hwnd_, IDC_SPLASH_TEXT);
    label_.SetTransparent(true);
    label_.SetLabelText("Initializing...");
    SetTimer(hwnd_, kSplashTimerId, kSplashMilliseconds, nullptr);
    return true;
}

}  // namespace qm
