// The application shell of the running program: the Options page and what
// it stores, the splash window, the silent start with its notification-area
// window and alert popup, and the single-instance rule.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstdio>
#include <string>

#include "res/resource.h"
#include "tests/gui/screen_picture.h"
#include "tests/gui/test_world.h"

namespace qm::gui_test {
namespace {

constexpr COLORREF kPageColour = RGB(223, 238, 248);
constexpr UINT kTrayCallback = 0x800A;

bool Checked(HWND box) {
    LRESULT state = 0;
    Send(box, BM_GETCHECK, 0, 0, &state);
    return state == BST_CHECKED;
}

void Click(HWND box) {
    Send(box, BM_CLICK, 0, 0);
}

class ShellTest : public QuillmendTest {
  protected:
    HWND Option(int id) const { return Control(IDC_OPTIONS_SHUTDOWN, id); }

    // The alert popup: a visible dialog without caption owned by the main
    // window.
    HWND AlertPopup() const {
        for (HWND w : app_->TopLevelWindows()) {
            if (IsWindowVisible(w) && ClassName(w) == "#32770" && GetWindow(w, GW_OWNER) == main_ &&
                WindowText(w).empty() && !GetDlgItem(w, 0xFFFF))
                return w;
        }
        return nullptr;
    }

    HWND TrayWindow() const {
        for (HWND w : app_->TopLevelWindows()) {
            if (ClassName(w) == "QuillmendTrayWindow") return w;
        }
        return FindWindowExA(HWND_MESSAGE, nullptr, "QuillmendTrayWindow", nullptr);
    }

    // A silent start: the window is made but stays hidden.
    void LaunchSilent() {
        ASSERT_TRUE(Launch("-s", false));
        Sleep(1500);
        EXPECT_TRUE(WaitFor([&] { return !IsWindowVisible(main_); }, 5000));
        Sleep(1000);
        EXPECT_FALSE(IsWindowVisible(main_)) << "the silent start showed the window";
    }
};

// The alert popup as it should look: the page colour, a black frame and the
// count's sentence in Arial.
Picture ExpectedAlert(int width, int height, int count) {
    return Picture::Drawn(width, height, [&](HDC dc) {
        HBRUSH fill = CreateSolidBrush(kPageColour);
        RECT all{0, 0, width, height};
        FillRect(dc, &all, fill);
        DeleteObject(fill);
        HBRUSH black = CreateSolidBrush(RGB(0, 0, 0));
        FrameRect(dc, &all, black);
        DeleteObject(black);
        HFONT font = CreateFontA(15, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, DEFAULT_CHARSET,
                                 OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                                 DEFAULT_PITCH, "Arial");
        HGDIOBJ old = SelectObject(dc, font);
        SetBkMode(dc, TRANSPARENT);
        SetTextColor(dc, RGB(0, 0, 0));
        char text[160];
        std::snprintf(text, sizeof text,
                      "Quillmend has found %d of errors,\nclick here for more information", count);
        RECT box{10, 10, width, height};
        DrawTextA(dc, text, -1, &box, DT_WORDBREAK);
        SelectObject(dc, old);
        DeleteObject(font);
    });
}

// Check boxes, their labels and Apply store exactly what they should, and a
// restart shows what was stored.
TEST_F(ShellTest, OptionsStoreWhatTheyShouldAcrossARestart) {
    ASSERT_TRUE(Launch());
    HWND page = ShowPage(IDC_SHOW_OPTIONS, IDC_OPTIONS_SHUTDOWN);
    ASSERT_TRUE(page);
    EXPECT_EQ(WindowText(GetDlgItem(page, IDC_OPTIONS_TITLE)), "Settings");
    EXPECT_EQ(WindowText(Option(IDC_OPTIONS_SHUTDOWN_LABEL)), "Shutdown Quillmend after repair");
    EXPECT_EQ(WindowText(Option(IDC_OPTIONS_REPAIR_LABEL)),
              "Repair selected items automatically after find");
    EXPECT_EQ(WindowText(Option(IDC_OPTIONS_SPLASH_LABEL)),
              "Show Splash Screen Before loading Cleaner");
    for (int id : {IDC_OPTIONS_SHUTDOWN, IDC_OPTIONS_REPAIR_AFTER_FIND, IDC_OPTIONS_SPLASH})
        EXPECT_FALSE(Checked(Option(id))) << id;
    Snapshot(main_, "options");

    // The repair box stores at once; the other two do not.
    Click(Option(IDC_OPTIONS_REPAIR_AFTER_FIND));
    EXPECT_TRUE(Checked(Option(IDC_OPTIONS_REPAIR_AFTER_FIND)));
    EXPECT_TRUE(WaitFor([] { return Setting("repairafterfind") == "1"; }, 5000))
        << Setting("repairafterfind");
    Click(Option(IDC_OPTIONS_SHUTDOWN));
    Click(Option(IDC_OPTIONS_SPLASH));
    EXPECT_TRUE(Checked(Option(IDC_OPTIONS_SHUTDOWN)));
    // A label toggles its row's box and stores nothing, also for repair.
    const RECT zero{};
    (void)zero;
    for (int label : {IDC_OPTIONS_REPAIR_LABEL, IDC_OPTIONS_SHUTDOWN_LABEL}) {
        RECT r{};
        GetClientRect(Option(label), &r);
        PostClick(Option(label), POINT{4, r.bottom / 2});
    }
    EXPECT_TRUE(WaitFor([&] { return !Checked(Option(IDC_OPTIONS_REPAIR_AFTER_FIND)); }, 5000))
        << "label 1236 did not toggle its box";
    EXPECT_TRUE(WaitFor([&] { return !Checked(Option(IDC_OPTIONS_SHUTDOWN)); }, 5000))
        << "label 1234 did not toggle its box";
    Sleep(500);
    EXPECT_EQ(Setting("repairafterfind"), "1");
    EXPECT_EQ(Setting("Shutdownafterclean"), "<missing>");
    EXPECT_EQ(Setting("splashscreen"), "<missing>");

    Quit();
    ASSERT_TRUE(Launch());
    ShowPage(IDC_SHOW_OPTIONS, IDC_OPTIONS_SHUTDOWN);
    EXPECT_TRUE(Checked(Option(IDC_OPTIONS_REPAIR_AFTER_FIND)));
    EXPECT_FALSE(Checked(Option(IDC_OPTIONS_SHUTDOWN)));
    EXPECT_FALSE(Checked(Option(IDC_OPTIONS_SPLASH))) << "unapplied splash box was kept";

    // Apply stores all three.
    Click(Option(IDC_OPTIONS_SPLASH));
    PostCommand(Option(IDC_OPTIONS_APPLY));
    EXPECT_TRUE(WaitFor([] { return Setting("splashscreen") == "1"; }, 5000));
    EXPECT_EQ(Setting("Shutdownafterclean"), "0");
    EXPECT_EQ(Setting("repairafterfind"), "1");

    // The next start shows the splash window for a while, then the window.
    Quit();
    app_ = std::make_unique<AppProcess>();
    ASSERT_TRUE(app_->Start(Paths().app, ""));
    HWND splash = nullptr;
    ASSERT_TRUE(WaitFor(
        [&] { return (splash = app_->DialogWithControl(IDC_SPLASH_TEXT)) != nullptr; }, 30000))
        << "no splash window";
    EXPECT_EQ(WindowText(GetDlgItem(splash, IDC_SPLASH_TEXT)), "Initializing...");
    Snapshot(splash, "splash");
    main_ = app_->WaitWindow(kCaption, 30000);
    ASSERT_TRUE(main_);
    EXPECT_TRUE(WaitFor([&] { return !IsWindow(splash) || !IsWindowVisible(splash); }, 10000));
    EXPECT_TRUE(WaitFor([&] { return IsWindowVisible(main_) != FALSE; }, 10000));
    ShowPage(IDC_SHOW_OPTIONS, IDC_OPTIONS_SHUTDOWN);
    EXPECT_TRUE(Checked(Option(IDC_OPTIONS_SPLASH)));
    EXPECT_TRUE(Checked(Option(IDC_OPTIONS_REPAIR_AFTER_FIND)));
}

// "-s": hidden window, the tray window, and the alert popup with the last
// count in the bottom-right corner; a click on it brings the window back.
TEST_F(ShellTest, SilentStartShowsTheAlertAndItsClickRestores) {
    SetSetting("lastfounderrors", "7");
    LaunchSilent();
    EXPECT_TRUE(TrayWindow()) << "no window of class QuillmendTrayWindow";
    HWND alert = nullptr;
    ASSERT_TRUE(WaitFor([&] { return (alert = AlertPopup()) != nullptr; }, 15000))
        << "no alert popup";
    RECT work{}, r{};
    SystemParametersInfoA(SPI_GETWORKAREA, 0, &work, 0);
    GetWindowRect(alert, &r);
    EXPECT_EQ(r.right, work.right);
    EXPECT_EQ(r.bottom, work.bottom);
    EXPECT_TRUE(GetWindowLongA(alert, GWL_EXSTYLE) & WS_EX_TOPMOST);
    Snapshot(alert, "alert");

    const Picture shown = Picture::OfWindow(alert);
    ASSERT_FALSE(shown.Empty());
    const int w = shown.Width(), h = shown.Height();
    EXPECT_EQ(shown.At(0, 0), RGB(0, 0, 0)) << "no black frame";
    EXPECT_EQ(shown.At(w / 2, h - 3), kPageColour);
    const RECT inside{1, 1, w - 1, h - 1};
    const double right = shown.Overlap(ExpectedAlert(w, h, 7), inside, kPageColour);
    const double wrong = shown.Overlap(ExpectedAlert(w, h, 4), inside, kPageColour);
    EXPECT_GT(right, 0.8) << "the popup does not show the sentence with 7";
    EXPECT_GT(right, wrong) << "the popup reads as another count";

    PostClick(alert, POINT{w / 2, h / 2});
    EXPECT_TRUE(WaitFor([&] { return !IsWindow(alert) || !IsWindowVisible(alert); }, 10000));
    EXPECT_TRUE(WaitFor([&] { return IsWindowVisible(main_) != FALSE; }, 10000))
        << "a click on the popup did not restore the window";
}

TEST_F(ShellTest, DoubleClickOnTheIconRestoresTheWindow) {
    LaunchSilent();
    HWND tray = TrayWindow();
    ASSERT_TRUE(tray) << "no window of class QuillmendTrayWindow";
    PostMessageA(tray, kTrayCallback, 0, WM_RBUTTONUP);
    Sleep(1000);
    EXPECT_FALSE(IsWindowVisible(main_)) << "a right click did something";
    PostMessageA(tray, kTrayCallback, 0, WM_LBUTTONDBLCLK);
    EXPECT_TRUE(WaitFor([&] { return IsWindowVisible(main_) != FALSE; }, 10000));
    EXPECT_FALSE(IsIconic(main_));
}

// A second start ends at once and brings the first one's hidden window up.
TEST_F(ShellTest, SecondStartBringsTheFirstForward) {
    LaunchSilent();
    AppProcess second;
    ASSERT_TRUE(second.Start(Paths().app, ""));
    EXPECT_TRUE(second.WaitExit(60000)) << "the second instance keeps running";
    EXPECT_TRUE(second.TopLevelWindows().empty());
    EXPECT_TRUE(WaitFor([&] { return IsWindowVisible(main_) != FALSE; }, 10000))
        << "the first instance's window was not shown";
    EXPECT_TRUE(app_->Running());
}

// The About page, for the help pictures, and Escape not closing the window.
TEST_F(ShellTest, AboutPageAndEscapeKeepsTheWindow) {
    ASSERT_TRUE(Launch());
    HWND about = ShowPage(IDC_SHOW_ABOUT, IDC_ABOUT_TITLE);
    ASSERT_TRUE(about);
    Snapshot(main_, "about");
    PostMessageA(main_, WM_COMMAND, IDCANCEL, 0);
    PostMessageA(main_, WM_COMMAND, IDOK, 0);
    Sleep(1000);
    EXPECT_TRUE(app_->Running());
    EXPECT_TRUE(IsWindowVisible(main_));
}

}  // namespace
}  // namespace qm::gui_test
