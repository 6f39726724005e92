// The application shell's own windows in-process under Wine on a private
// Xvfb: the alert popup's place, drawing, timer and click; the notification
// icon's hidden window and its callback; the Options page's check boxes and
// labels against the live registry of the test's Wine prefix.
#include <gtest/gtest.h>

#include <windows.h>
// After windows.h, which it needs.
#include <commctrl.h>

#include <string>
#include <vector>

#include "app/alert_dialog.h"
#include "app/alert_text.h"
#include "app/options_page.h"
#include "app/system_tray.h"
#include "app/window_placement.h"
#include "platform/settings_store.h"
#include "platform/win32/win32_registry.h"
#include "res/resource.h"
#include "scan/ignore_list.h"
#include "scan/window_messages.h"
#include "tests/ui/gui_support.h"
#include "ui/colour.h"
#include "ui/list_box.h"

namespace qm {
namespace {

using ui::testing::Pixels;
using ui::testing::Pump;

HINSTANCE Module() {
    return GetModuleHandleA(nullptr);
}

// A plain top-level window standing in for the main window.
class StandIn {
  public:
    StandIn() {
        hwnd_ = CreateWindowExA(0, "STATIC", "stand-in", WS_POPUP, 10, 10, 200, 100, nullptr,
                                nullptr, Module(), nullptr);
    }
    ~StandIn() { DestroyWindow(hwnd_); }
    HWND get() const { return hwnd_; }

  private:
    HWND hwnd_;
};

// Keeps the settings the tests change and puts them back afterwards.
class SettingsTest : public ::testing::Test {
  protected:
    void SetUp() override {
        for (const char* name : kNames)
            saved_[Index(name)] = settings_.ReadText(kProductName, name);
    }
    void TearDown() override {
        for (const char* name : kNames)
            settings_.WriteText(kProductName, name, saved_[Index(name)]);
    }
    static constexpr const char* kNames[] = {setting::kLastFoundErrors, setting::kRepairAfterFind,
                                             setting::kSplashScreen, setting::kShutdownAfterClean};
    static size_t Index(const char* name) {
        for (size_t i = 0; i < 4; ++i)
            if (std::string(kNames[i]) == name) return i;
        return 0;
    }

    Win32Registry registry_;
    SettingsStore settings_{registry_};
    std::string saved_[4];
};

using AlertTest = SettingsTest;

TEST_F(AlertTest, SitsTopmostInTheWorkAreaAndDrawsBoxAndText) {
    settings_.WriteNumber(kProductName, setting::kLastFoundErrors, 7);
    StandIn owner;
    CAlertDlg alert(Module(), settings_);
    ASSERT_TRUE(alert.Open(owner.get()));
    Pump(300);
    HWND hwnd = alert.Handle();
    ASSERT_TRUE(IsWindowVisible(hwnd));
    EXPECT_EQ(GetWindow(hwnd, GW_OWNER), owner.get());
    EXPECT_TRUE(GetWindowLongA(hwnd, GWL_EXSTYLE) & WS_EX_TOPMOST);
    EXPECT_EQ(GetWindowTextLengthA(hwnd), 0);

    const RECT area = WorkArea();
    RECT window{};
    GetWindowRect(hwnd, &window);
    const int width = window.right - window.left;
    const int height = window.bottom - window.top;
    const ScreenPoint at =
        AlertPosition({area.left, area.top, area.right, area.bottom}, width, height);
    EXPECT_EQ(window.left, at.x);
    EXPECT_EQ(window.top, at.y);

    ui::testing::Repaint(hwnd);
    const Pixels shot = Pixels::Capture(hwnd);
    shot.SaveBmp("app_alert.bmp");
    const COLORREF black = RGB(0, 0, 0);
    EXPECT_EQ(shot.At(0, 0), black);
    EXPECT_EQ(shot.At(shot.Width() - 1, shot.Height() - 1), black);
    EXPECT_EQ(shot.At(shot.Width() / 2, shot.Height() - 3), ui::kPageColour);
    // The text starts 10 pixels in: nothing dark left of it, some inside.
    const RECT margin{1, 1, 9, shot.Height() - 1};
    EXPECT_EQ(shot.Count(margin, black), 0);
    const RECT text{10, 10, shot.Width() - 1, shot.Height() - 1};
    EXPECT_GT(shot.Count(text, black), 50);
}

TEST_F(AlertTest, TheTimerHidesItAndLeavesTheOwnerAlone) {
    StandIn owner;
    CAlertDlg alert(Module(), settings_);
    ASSERT_TRUE(alert.Open(owner.get()));
    Pump(100);
    SendMessageA(alert.Handle(), WM_TIMER, kAlertTimerId, 0);
    EXPECT_FALSE(alert.IsOpen());
    EXPECT_FALSE(IsWindowVisible(owner.get()));
}

TEST_F(AlertTest, AClickHidesItAndRestoresTheHiddenOwner) {
    StandIn owner;
    CAlertDlg alert(Module(), settings_);
    ASSERT_TRUE(alert.Open(owner.get()));
    Pump(100);
    SendMessageA(alert.Handle(), WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(20, 20));
    Pump(100);
    EXPECT_FALSE(alert.IsOpen());
    EXPECT_TRUE(IsWindowVisible(owner.get()));
}

// Enter and Escape, pressed while the popup has the focus, end it like the
// timer does.
TEST_F(AlertTest, EnterAndEscapeHideItAndLeaveTheOwnerAlone) {
    StandIn owner;
    for (const WPARAM key : {VK_RETURN, VK_ESCAPE}) {
        CAlertDlg alert(Module(), settings_);
        ASSERT_TRUE(alert.Open(owner.get()));
        Pump(100);
        ASSERT_EQ(GetFocus(), alert.Handle());
        INPUT press[2] = {};
        press[0].type = press[1].type = INPUT_KEYBOARD;
        press[0].ki.wVk = press[1].ki.wVk = static_cast<WORD>(key);
        press[1].ki.dwFlags = KEYEVENTF_KEYUP;
        ASSERT_EQ(SendInput(2, press, sizeof(INPUT)), 2u);
        Pump(100);
        EXPECT_FALSE(alert.IsOpen()) << key;
        EXPECT_FALSE(IsWindowVisible(owner.get()));
    }
}

TEST(SystemTrayTest, HiddenWindowOfItsOwnClassRestoresTheTargetOnADoubleClick) {
    StandIn target;
    CSystemTray tray;
    ASSERT_TRUE(
        tray.CreateTray(Module(), nullptr, kTrayCallbackMessage, "Quillmend", IDI_APP, 0, true));
    tray.SetTargetWindow(target.get());
    HWND hwnd = FindWindowA(kTrayWindowClass, nullptr);
    ASSERT_EQ(hwnd, tray.Handle());
    EXPECT_FALSE(IsWindowVisible(hwnd));
    EXPECT_EQ(GetWindowTextLengthA(hwnd), 0);
    EXPECT_TRUE(tray.State().Hidden());

    // Another icon's messages and a right click do nothing.
    SendMessageA(hwnd, kTrayCallbackMessage, 1, WM_LBUTTONDBLCLK);
    SendMessageA(hwnd, kTrayCallbackMessage, 0, WM_RBUTTONUP);
    EXPECT_FALSE(IsWindowVisible(target.get()));
    SendMessageA(hwnd, kTrayCallbackMessage, 0, WM_LBUTTONDBLCLK);
    EXPECT_TRUE(IsWindowVisible(target.get()));

    // A hidden icon is not brought back by the shell's restart.
    SendMessageA(hwnd, RegisterWindowMessageA("TaskbarCreated"), 0, 0);
    EXPECT_TRUE(tray.State().Hidden());
    EXPECT_TRUE(tray.State().Removed());
}

class OptionsPageTest : public SettingsTest {
  protected:
    void SetUp() override {
        SettingsTest::SetUp();
        settings_.WriteNumber(kProductName, setting::kRepairAfterFind, 0);
        settings_.WriteNumber(kProductName, setting::kSplashScreen, 1);
        settings_.WriteNumber(kProductName, setting::kShutdownAfterClean, 0);
        ASSERT_TRUE(page_.CreateModeless(parent_.get()));
        page_.Show(SW_SHOW);
        Pump(100);
    }
    bool Checked(int id) { return IsDlgButtonChecked(page_.Handle(), id) == BST_CHECKED; }
    void Click(int id) { SendMessageA(GetDlgItem(page_.Handle(), id), BM_CLICK, 0, 0); }
    void ClickLabel(int id) {
        SendMessageA(page_.Handle(), WM_COMMAND, MAKEWPARAM(id, STN_CLICKED),
                     reinterpret_cast<LPARAM>(GetDlgItem(page_.Handle(), id)));
    }
    int Stored(const char* name) { return settings_.ReadNumber(kProductName, name); }

    StandIn parent_;
    COptionsPage page_{Module(), registry_};
};

TEST_F(OptionsPageTest, ShowsTheStoredValuesAndStoresOnlyTheRepairBoxAtOnce) {
    EXPECT_FALSE(Checked(IDC_OPTIONS_REPAIR_AFTER_FIND));
    EXPECT_TRUE(Checked(IDC_OPTIONS_SPLASH));
    EXPECT_FALSE(Checked(IDC_OPTIONS_SHUTDOWN));

    Click(IDC_OPTIONS_REPAIR_AFTER_FIND);
    EXPECT_TRUE(Checked(IDC_OPTIONS_REPAIR_AFTER_FIND));
    EXPECT_EQ(Stored(setting::kRepairAfterFind), 1);
    Click(IDC_OPTIONS_SHUTDOWN);
    Click(IDC_OPTIONS_SPLASH);
    EXPECT_EQ(Stored(setting::kShutdownAfterClean), 0);
    EXPECT_EQ(Stored(setting::kSplashScreen), 1);

    SendMessageA(GetDlgItem(page_.Handle(), IDC_OPTIONS_APPLY), BM_CLICK, 0, 0);
    EXPECT_EQ(Stored(setting::kShutdownAfterClean), 1);
    EXPECT_EQ(Stored(setting::kSplashScreen), 0);
    EXPECT_EQ(Stored(setting::kRepairAfterFind), 1);
}

TEST_F(OptionsPageTest, LabelsToggleTheirRowsBoxWithoutStoring) {
    ClickLabel(IDC_OPTIONS_REPAIR_LABEL);
    EXPECT_TRUE(Checked(IDC_OPTIONS_REPAIR_AFTER_FIND));
    EXPECT_EQ(Stored(setting::kRepairAfterFind), 0);
    ClickLabel(IDC_OPTIONS_SPLASH_LABEL);
    EXPECT_FALSE(Checked(IDC_OPTIONS_SPLASH));
    ClickLabel(IDC_OPTIONS_SHUTDOWN_LABEL);
    EXPECT_TRUE(Checked(IDC_OPTIONS_SHUTDOWN));
    EXPECT_EQ(Stored(setting::kSplashScreen), 1);
    EXPECT_EQ(Stored(setting::kShutdownAfterClean), 0);
}

// The ignore list as stored, read again whenever the page is shown; Remove
// takes the selected entries out of what is stored then, and keeps what
// was added meanwhile.
TEST_F(OptionsPageTest, ListsTheIgnoredEntriesAndRemovesTheSelectedOnes) {
    HWND list = GetDlgItem(page_.Handle(), IDC_OPTIONS_IGNORED);
    const auto reshow = [&] {
        page_.Show(SW_HIDE);
        page_.Show(SW_SHOW);
    };
    StoreIgnoreList(settings_, IgnoreList());
    reshow();
    EXPECT_EQ(ui::ListBox(list).Count(), 0);
    EXPECT_FALSE(IsWindowEnabled(GetDlgItem(page_.Handle(), IDC_OPTIONS_IGNORED_REMOVE)));
    const IgnoreEntry font{3, "HKLM\\Fonts", "Gone (TrueType)", false};
    const IgnoreEntry vendor{0, "HKLM\\SOFTWARE\\Gone Vendor", "", true};
    const IgnoreEntry run{7, "HKCU\\Run", "Tray", false};
    StoreIgnoreList(settings_, IgnoreList({font, vendor}));
    reshow();
    ASSERT_EQ(ui::ListBox(list).Count(), 2);
    char text[256] = {};
    SendMessageA(list, LB_GETTEXT, 1, reinterpret_cast<LPARAM>(text));
    EXPECT_STREQ(text, "Every category: HKLM\\SOFTWARE\\Gone Vendor and everything below it");

    StoreIgnoreList(settings_, IgnoreList({font, vendor, run}));  // added meanwhile
    SendMessageA(list, LB_SETSEL, TRUE, 0);
    SendMessageA(list, LB_SETSEL, TRUE, 1);
    Click(IDC_OPTIONS_IGNORED_REMOVE);
    EXPECT_EQ(LoadIgnoreList(settings_).entries(), std::vector<IgnoreEntry>{run});
    EXPECT_EQ(ui::ListBox(list).Count(), 1);
    StoreIgnoreList(settings_, IgnoreList());
}

}  // namespace
}  // namespace qm

int main(int argc, char** argv) {
    INITCOMMONCONTROLSEX controls{sizeof controls, ICC_LISTVIEW_CLASSES | ICC_PROGRESS_CLASS};
    InitCommonControlsEx(&controls);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
