#include "app/alert_dialog.h"

#include "app/alert_text.h"
#include "app/window_placement.h"
#include "resource.h"
#include "ui/colour.h"
#include "ui/device_context.h"
#include "ui/gdi_object.h"

namespace qm {

CAlertDlg::CAlertDlg(HINSTANCE instance, const SettingsStore& settings)
    : ui::Dialog(instance, IDD_ALERT), settings_(settings) {
    BindBackground([this](HDC dc) { return Draw(dc); });
    BindMessage(WM_TIMER, [this](WPARAM, LPARAM) {
        Close(false);
        return 0;
    });
    BindMessage(WM_LBUTTONDOWN, [this](WPARAM, LPARAM) {
        Close(true);
        return 0;
    });
    // The popup is modeless and no message loop hands its messages to
    // IsDialogMessage, so Enter and Escape reach it as plain key presses;
    // they end it as they end any dialog.
    BindMessage(WM_KEYDOWN, [this](WPARAM key, LPARAM) {
        if (key == VK_RETURN)
            OnOk();
        else if (key == VK_ESCAPE)
            OnCancel();
        return 0;
    });
}

void CAlertDlg::OnOk() {
    Close(false);
}

void CAlertDlg::OnCancel() {
    Close(false);
}

bool CAlertDlg::Open(HWND parent) {
    if (!CreateModeless(parent)) return false;
    Show(SW_SHOWNORMAL);
    return true;
}

bool CAlertDlg::OnInit() {
    const RECT area = WorkArea();
    const RECT window = WindowRect();
    const int width = window.right - window.left;
    const int height = window.bottom - window.top;
    const ScreenPoint at =
        AlertPosition({area.left, area.top, area.right, area.bottom}, width, height);
    SetWindowPos(hwnd_, HWND_TOPMOST, at.x, at.y, width, height, SWP_SHOWWINDOW);
    SetTimer(hwnd_, kAlertTimerId, kAlertLifetimeMs, nullptr);
    return true;
}

void CAlertDlg::Close(bool restoreOwner) {
    KillTimer(hwnd_, kAlertTimerId);
    const HWND owner = GetWindow(hwnd_, GW_OWNER);
    End(0);
    if (restoreOwner && owner) ShowWindow(owner, SW_RESTORE);
}

bool CAlertDlg::Draw(HDC dc) {
    const RECT client = ClientRect();
    // The box: page colour inside a black line one pixel wide.
    ui::Brush fill(CreateSolidBrush(ui::kPageColour));
    ui::Pen border(CreatePen(PS_SOLID, 1, RGB(0, 0, 0)));
    {
        ui::Selection brush(dc, fill.Get());
        ui::Selection pen(dc, border.Get());
        Rectangle(dc, client.left, client.top, client.right, client.bottom);
    }

    // The count is read again at every repaint.
    const std::string text =
        AlertText(settings_.ReadNumber(kProductName, setting::kLastFoundErrors));
    const ScreenRect inner = AlertTextRect({client.left, client.top, client.right, client.bottom});
    RECT textRect{inner.left, inner.top, inner.right, inner.bottom};
    ui::Font font(CreateFontA(15, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, DEFAULT_CHARSET,
                              OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                              DEFAULT_PITCH | FF_DONTCARE, "Arial"));
    ui::Selection selected(dc, font.Get());
    const int previousMode = SetBkMode(dc, TRANSPARENT);
    const COLORREF previousColour = SetTextColor(dc, RGB(0, 0, 0));
    DrawTextA(dc, text.c_str(), static_cast<int>(text.size()), &textRect, DT_WORDBREAK);
    SetTextColor(dc, previousColour);
    SetBkMode(dc, previousMode);
    return true;
}

}  // namespace qm
