#include "app/cleaner_app.h"

#include <memory>
#include <string>

#include "app/main_dialog.h"
#include "app/start_options.h"
#include "platform/settings_store.h"
#include "resource.h"
#include "scan/window_messages.h"

namespace qm {
namespace {

// Shows the running instance's window, also when a silent start hid it or
// it is minimised, and brings it to the front.
void BringForward(const std::string& name) {
    HWND running = FindWindowExA(nullptr, nullptr, nullptr, name.c_str());
    if (running == nullptr) return;
    ShowWindow(running, SW_SHOW);
    if (IsIconic(running)) ShowWindow(running, SW_RESTORE);
    SetForegroundWindow(running);
}

}  // namespace

CCleanerApp::~CCleanerApp() {
    if (mutex_) CloseHandle(mutex_);
}

bool CCleanerApp::InitInstance(const char* commandLine) {
    const SettingsStore settings(services_.registry);
    const std::string name = InstanceName(settings.ReadText(kProductName, setting::kVersion));

    SetLastError(ERROR_SUCCESS);
    mutex_ = CreateMutexA(nullptr, TRUE, name.c_str());
    if (GetLastError() == ERROR_ALREADY_EXISTS) {
        BringForward(name);
        if (mutex_) CloseHandle(mutex_);
        mutex_ = nullptr;
        return false;
    }
    // Any other failure of the mutex leaves the start unprotected but goes on.

    // The icon starts hidden; the main window shows it for a silent start.
    // A missing notification area does not stop the program: the icon is
    // added when the shell's taskbar appears.
    if (!tray_.CreateTray(instance_, nullptr, kTrayCallbackMessage, kProductName, IDI_APP, 0,
                          true)) {
        return false;
    }

    const bool silent = IsSilentStart(CommandLineTail(commandLine ? commandLine : ""));
    auto main = std::make_unique<CMainDialog>(instance_, services_, tray_, name, silent);
    main->DoModal(nullptr);
    return false;
}

}  // namespace qm
