#include "app/system_tray.h"

#include <cstring>

namespace qm {
namespace {

// The shell broadcasts this to every top-level window when its taskbar is
// made anew (for instance after the shell has restarted).
UINT TaskbarCreatedMessage() {
    static const UINT message = RegisterWindowMessageA("TaskbarCreated");
    return message;
}

unsigned WindowsMajorVersion() {
    OSVERSIONINFOA version{};
    version.dwOSVersionInfoSize = sizeof version;
    if (!GetVersionExA(&version)) return 0;
    return version.dwMajorVersion;
}

bool RegisterTrayClass(HINSTANCE instance, WNDPROC procedure) {
    WNDCLASSA existing{};
    if (GetClassInfoA(instance, kTrayWindowClass, &existing)) return true;
    WNDCLASSA wc{};
    wc.lpfnWndProc = procedure;
    wc.hInstance = instance;
    wc.lpszClassName = kTrayWindowClass;
    return RegisterClassA(&wc) != 0;
}

}  // namespace

CSystemTray::CSystemTray() : state_(*this) {}

CSystemTray::~CSystemTray() {
    state_.Remove();
    if (hwnd_) SetWindowLongPtrA(hwnd_, GWLP_USERDATA, 0);
    Destroy();
    if (icon_) DestroyIcon(icon_);
}

bool CSystemTray::CreateTray(HINSTANCE instance, HWND parent, UINT callbackMessage, const char* tip,
                             int iconId, UINT iconNumber, bool hidden) {
    const unsigned major = WindowsMajorVersion();
    if (major < 4) return state_.Create(major, hidden);
    if (!RegisterTrayClass(instance, &CSystemTray::Procedure)) return false;
    const RECT none{0, 0, 0, 0};
    if (!Create(0, kTrayWindowClass, "", WS_POPUP, none, nullptr, 0)) return false;
    SetWindowLongPtrA(hwnd_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    TaskbarCreatedMessage();

    icon_ = static_cast<HICON>(LoadImageA(instance, MAKEINTRESOURCEA(iconId), IMAGE_ICON,
                                          GetSystemMetrics(SM_CXSMICON),
                                          GetSystemMetrics(SM_CYSMICON), LR_DEFAULTCOLOR));
    data_.cbSize = NOTIFYICONDATAA_V2_SIZE;
    // With no parent given, the icon's messages come to the tray's own window.
    data_.hWnd = parent ? parent : hwnd_;
    data_.uID = iconNumber;
    data_.uCallbackMessage = callbackMessage;
    data_.hIcon = icon_;
    data_.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
    std::strncpy(data_.szTip, tip, sizeof data_.szTip - 1);
    data_.szTip[sizeof data_.szTip - 1] = '\0';
    return state_.Create(major, hidden);
}

bool CSystemTray::AddIcon() {
    data_.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
    return Shell_NotifyIconA(NIM_ADD, &data_) != FALSE;
}

bool CSystemTray::DeleteIcon() {
    NOTIFYICONDATAA remove = data_;
    remove.uFlags = 0;
    return Shell_NotifyIconA(NIM_DELETE, &remove) != FALSE;
}

LRESULT CALLBACK CSystemTray::Procedure(HWND hwnd, UINT message, WPARAM w, LPARAM l) {
    auto* self = reinterpret_cast<CSystemTray*>(GetWindowLongPtrA(hwnd, GWLP_USERDATA));
    if (self == nullptr) return DefWindowProcA(hwnd, message, w, l);
    try {
        return self->OnMessage(message, w, l);
    } catch (...) {
        return 0;
    }
}

LRESULT CSystemTray::OnMessage(UINT message, WPARAM w, LPARAM l) {
    if (message == data_.uCallbackMessage && data_.uCallbackMessage != 0) {
        OnCallback(w, l);
        return 0;
    }
    if (message == TaskbarCreatedMessage()) {
        state_.OnTaskbarCreated();
        return 0;
    }
    if (message == WM_SETTINGCHANGE) {
        const LRESULT result = DefWindowProcA(hwnd_, message, w, l);
        if (w == SPI_SETWORKAREA) state_.OnWorkAreaChanged();
        return result;
    }
    return DefWindowProcA(hwnd_, message, w, l);
}

void CSystemTray::OnCallback(WPARAM iconNumber, LPARAM mouseMessage) {
    if (iconNumber != data_.uID) return;
    // The icon has no menu: a right click does nothing, and a double-click
    // only brings the main window back.
    if (LOWORD(mouseMessage) == WM_LBUTTONDBLCLK && target_ && IsWindow(target_)) {
        SetForegroundWindow(target_);
        ShowWindow(target_, SW_RESTORE);
    }
}

}  // namespace qm
