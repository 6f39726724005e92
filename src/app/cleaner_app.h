// CCleanerApp: the application object. It keeps the program to one running
// instance, owns the services and the notification-area icon, and runs the
// main window modally; the program ends when that window does.
#pragma once

#include <windows.h>

#include "app/app_services.h"
#include "app/system_tray.h"

namespace qm {

class CCleanerApp {
  public:
    explicit CCleanerApp(HINSTANCE instance) : instance_(instance) {}
    ~CCleanerApp();
    CCleanerApp(const CCleanerApp&) = delete;
    CCleanerApp& operator=(const CCleanerApp&) = delete;

    // Runs the program with its whole command line; returns false in every
    // case, when a running instance was brought forward instead, and when
    // the main window has closed.
    bool InitInstance(const char* commandLine);

  private:
    HINSTANCE instance_;
    AppServices services_;
    CSystemTray tray_;
    // Held for the whole run, so that a second start sees it.
    HANDLE mutex_ = nullptr;
};

}  // namespace qm
