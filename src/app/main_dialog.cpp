#include "app/main_dialog.h"

#include <shellapi.h>

#include "app/splash_dialog.h"
#include "app/window_placement.h"
#include "resource.h"
#include "scan/window_messages.h"
#include "ui/button.h"
#include "ui/device_context.h"

namespace qm {
namespace {

// Where every page sits in the main window's client area, in pixels.
constexpr RECT kPageRect{120, 75, 120 + 642, 75 + 359};

}  // namespace

CMainDialog::CMainDialog(HINSTANCE instance, AppServices& services, CSystemTray& tray,
                         std::string caption, bool silent)
    : ui::Dialog(instance, IDD_MAIN),
      services_(services),
      tray_(tray),
      caption_(std::move(caption)),
      settings_(services.registry),
      presenter_(*this, settings_, silent),
      about_(instance),
      backup_(instance, services.registry, services.files, services.backups),
      options_(instance, services.registry),
      findFix_(instance, services.registry, services.files, services.backups),
      startup_(instance, services.Startup()),
      // The side buttons in template order; the Startup Manager's button does
      // not stay pushed. Each uses its normal picture also when pushed.
      sideButtons_{
          {IDC_SHOW_FIND_FIX, &findFix_, IDB_REPAIR, IDB_REPAIR_HOVER, IDB_REPAIR, true},
          {IDC_SHOW_STARTUP, &startup_, IDB_STARTUP, IDB_STARTUP_HOVER, IDB_STARTUP, false},
          {IDC_SHOW_OPTIONS, &options_, IDB_SETTINGS, IDB_SETTINGS_HOVER, IDB_SETTINGS, true},
          {IDC_SHOW_BACKUP, &backup_, IDB_BACKUP, IDB_BACKUP_HOVER, IDB_BACKUP, true},
          {IDC_SHOW_ABOUT, &about_, IDB_ABOUT, IDB_ABOUT_HOVER, IDB_ABOUT, true},
      } {
    for (const SideButton& b : sideButtons_) {
        const int id = b.id;
        BindCommand(
            id, [this, id](int) { ShowPage(id); }, BN_CLICKED);
    }
    BindCommand(
        IDC_SUPPORT, [this](int) { OpenHelp(); }, BN_CLICKED);

    BindMessage(WM_TIMER, [this](WPARAM w, LPARAM) {
        presenter_.OnTimer(static_cast<unsigned>(w));
        return 0;
    });
    BindMessage(WM_CLOSE, [this](WPARAM, LPARAM) {
        presenter_.OnCloseRequest();
        return 0;
    });
    BindMessage(kRepairFinishedMessage, [this](WPARAM, LPARAM) {
        presenter_.OnRepairFinished();
        return 0;
    });
    BindMessage(kScanFinishedMessage, [this](WPARAM, LPARAM) {
        RedrawWindow(hwnd_, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN);
        return 0;
    });
    BindBackground([this](HDC dc) { return ui::DrawBitmap(dc, background_.Get()); });
    BindMessage(WM_PAINT, [this](WPARAM, LPARAM) { return Paint(); });
    BindMessage(WM_QUERYDRAGICON,
                [this](WPARAM, LPARAM) { return reinterpret_cast<LRESULT>(largeIcon_); });
}

CMainDialog::~CMainDialog() {
    alerts_.clear();
    if (largeIcon_) DestroyIcon(largeIcon_);
    if (smallIcon_) DestroyIcon(smallIcon_);
}

bool CMainDialog::OnInit() {
    scaler_.Apply(Instance(), hwnd_, IDD_MAIN, 96.0);
    // The system centred the window at its template size; the layout has
    // changed that size.
    CentreOnWorkArea(hwnd_);
    // A second start finds the running window by this name.
    SetText(caption_.c_str());
    background_.Reset(LoadBitmapA(Instance(), MAKEINTRESOURCEA(IDB_MAIN_BACKGROUND)));

    CreatePages();
    for (SideButton& b : sideButtons_) {
        b.control.Bind(hwnd_, b.id);
        b.control.SetBitmaps(Instance(), b.normal, b.hover, b.pushed);
    }
    supportButton_.Bind(hwnd_, IDC_SUPPORT);
    supportButton_.SetBitmaps(Instance(), IDB_HELP, IDB_HELP_HOVER, IDB_HELP);

    for (const SideButton& b : sideButtons_) {
        if (b.page->Handle()) b.page->Move(kPageRect, true);
    }
    findFix_.Show(SW_SHOW);

    largeIcon_ = static_cast<HICON>(LoadImageA(Instance(), MAKEINTRESOURCEA(IDI_APP), IMAGE_ICON,
                                               GetSystemMetrics(SM_CXICON),
                                               GetSystemMetrics(SM_CYICON), LR_DEFAULTCOLOR));
    smallIcon_ = static_cast<HICON>(LoadImageA(Instance(), MAKEINTRESOURCEA(IDI_APP), IMAGE_ICON,
                                               GetSystemMetrics(SM_CXSMICON),
                                               GetSystemMetrics(SM_CYSMICON), LR_DEFAULTCOLOR));
    Send(WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(largeIcon_));
    Send(WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(smallIcon_));

    tray_.SetTargetWindow(hwnd_);
    presenter_.Start();
    return true;
}

void CMainDialog::CreatePages() {
    // About, Backup and Recovery, Options, Find & Fix, Startup Manager: each
    // page lays itself out and fills itself while it is created.
    ui::Page* const order[] = {&about_, &backup_, &options_, &findFix_, &startup_};
    for (ui::Page* page : order) page->CreateModeless(hwnd_);
}

void CMainDialog::ShowPage(int buttonId) {
    for (const SideButton& b : sideButtons_) b.page->Show(SW_HIDE);
    for (const SideButton& b : sideButtons_) ui::Button(Item(b.id)).SetPushed(false);
    for (const SideButton& b : sideButtons_) {
        if (b.id != buttonId) continue;
        b.page->Show(SW_SHOW);
        if (b.staysPushed) ui::Button(Item(b.id)).SetPushed(true);
    }
}

void CMainDialog::OpenHelp() {
    Show(SW_SHOW);
    // The user guide ships beside the program; failing to open it is not
    // reported.
    const std::string page = services_.backups.ProgramFolder() + "help\\index.html";
    ShellExecuteA(hwnd_, "open", page.c_str(), nullptr, nullptr, SW_SHOWNORMAL);
}

LRESULT CMainDialog::Paint() {
    ui::PaintDc paint(hwnd_);
    if (IsIconic(hwnd_) && largeIcon_) {
        SendMessageA(hwnd_, WM_ICONERASEBKGND, reinterpret_cast<WPARAM>(paint.Get()), 0);
        const RECT client = ClientRect();
        const int x = (client.right - client.left - GetSystemMetrics(SM_CXICON) + 1) / 2;
        const int y = (client.bottom - client.top - GetSystemMetrics(SM_CYICON) + 1) / 2;
        DrawIcon(paint.Get(), x, y, largeIcon_);
    }
    return 0;
}

void CMainDialog::RunSplash() {
    CSplashDialog splash(Instance());
    splash.Run();
}

void CMainDialog::HideWindow() {
    Show(SW_HIDE);
}

void CMainDialog::StartTimer(unsigned id, unsigned milliseconds) {
    SetTimer(hwnd_, id, milliseconds, nullptr);
}

void CMainDialog::StopTimer(unsigned id) {
    KillTimer(hwnd_, id);
}

void CMainDialog::ShowTrayIcon() {
    tray_.ShowIcon();
}

void CMainDialog::HideTrayIcon() {
    tray_.HideIcon();
}

void CMainDialog::OpenAlert() {
    // Popups that have closed are never shown again; their windows go now.
    std::erase_if(alerts_, [](const std::unique_ptr<CAlertDlg>& a) { return !a->IsOpen(); });
    auto alert = std::make_unique<CAlertDlg>(Instance(), settings_);
    if (alert->Open(hwnd_)) alerts_.push_back(std::move(alert));
}

void CMainDialog::PressFind() {
    findFix_.PressFind();
}

void CMainDialog::RefreshBackupList() {
    backup_.RefreshBackupList();
}

void CMainDialog::ResetFindFix() {
    findFix_.ResetAfterRepair();
}

bool CMainDialog::ConfirmExit() {
    return MessageBoxA(hwnd_, kExitQuestion, kProductName, MB_OKCANCEL) == IDOK;
}

void CMainDialog::EndMainWindow() {
    // No worker may be left sending to a window that is going.
    findFix_.StopWorker();
    End(IDCANCEL);
}

}  // namespace qm
