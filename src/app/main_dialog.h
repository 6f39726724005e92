// CMainDialog: the program's main window (template 370), run modally. It
// holds the five pages, of which one is visible at a time, switched by the
// picture buttons on the left; the small button at the top right opens the
// help page. Its start-up, timers, repair end and close request follow
// MainWindowPresenter.
#pragma once

#include <windows.h>

#include <memory>
#include <string>
#include <vector>

#include "app/about_page.h"
#include "app/alert_dialog.h"
#include "app/app_services.h"
#include "app/main_window_presenter.h"
#include "app/options_page.h"
#include "app/system_tray.h"
#include "backup/backup_page.h"
#include "findfix/find_fix_page.h"
#include "platform/settings_store.h"
#include "startup/startup_page.h"
#include "ui/dialog.h"
#include "ui/dialog_layout_scaler.h"
#include "ui/gdi_object.h"
#include "ui/xp_button.h"

namespace qm {

class CMainDialog : public ui::Dialog, private MainWindowView {
  public:
    // `caption` is the single-instance name, which a second start looks the
    // window up by.
    CMainDialog(HINSTANCE instance, AppServices& services, CSystemTray& tray, std::string caption,
                bool silent);
    ~CMainDialog() override;

  private:
    bool OnInit() override;
    // Enter and Escape do nothing: the window closes only by its close box,
    // the system menu or the timer after a repair.
    void OnOk() override {}
    void OnCancel() override {}

    void CreatePages();
    void ShowPage(int buttonId);
    void OpenHelp();
    LRESULT Paint();

    // MainWindowView
    void RunSplash() override;
    void HideWindow() override;
    bool IsWindowShown() const override { return IsVisible(); }
    void StartTimer(unsigned id, unsigned milliseconds) override;
    void StopTimer(unsigned id) override;
    void ShowTrayIcon() override;
    void HideTrayIcon() override;
    void OpenAlert() override;
    void PressFind() override;
    void RefreshBackupList() override;
    void ResetFindFix() override;
    bool ConfirmExit() override;
    void EndMainWindow() override;

    AppServices& services_;
    CSystemTray& tray_;
    std::string caption_;
    SettingsStore settings_;
    MainWindowPresenter presenter_;

    CAbout about_;
    CRegBackup backup_;
    COptionsPage options_;
    CRegFindNFix findFix_;
    CRegstartup startup_;

    struct SideButton {
        int id;
        ui::Page* page;
        int normal, hover, pushed;
        bool staysPushed;
        ui::CXPButton control{};
    };
    SideButton sideButtons_[5];
    ui::CXPButton supportButton_;

    ui::CDialogLayoutScaler scaler_;
    ui::Bitmap background_;
    HICON largeIcon_ = nullptr;
    HICON smallIcon_ = nullptr;
    std::vector<std::unique_ptr<CAlertDlg>> alerts_;
};

}  // namespace qm
