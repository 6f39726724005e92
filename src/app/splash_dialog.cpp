#include "app/splash_dialog.h"

#include "app/window_placement.h"
#include "resource.h"
#include "ui/device_context.h"

namespace qm {

CSplashDialog::CSplashDialog(HINSTANCE instance) : ui::Dialog(instance, IDD_SPLASH) {
    BindMessage(WM_ERASEBKGND,
                [this](WPARAM w, LPARAM) { return EraseBackground(reinterpret_cast<HDC>(w)); });
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
    label_.SetText("Initializing...");
    SetTimer(hwnd_, kSplashTimerId, kSplashMilliseconds, nullptr);
    return true;
}

LRESULT CSplashDialog::EraseBackground(HDC dc) {
    if (!picture_) return FALSE;
    BITMAP info{};
    GetObjectA(picture_.Get(), sizeof info, &info);
    ui::MemoryDc memory(dc);
    ui::Selection picture(memory.Get(), picture_.Get());
    BitBlt(dc, 0, 0, info.bmWidth, info.bmHeight, memory.Get(), 0, 0, SRCCOPY);
    return TRUE;
}

}  // namespace qm
