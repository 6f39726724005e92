// The window framework and the program's controls in real windows: each
// control is placed in a test dialog and what it draws is read back from the
// window's pixels; the dialog templates are laid out and measured in pixels
// at 96 dpi. Pictures of the test dialogs are written into the current
// folder (the build folder under CTest).
#include <gtest/gtest.h>

#include <windows.h>
// After windows.h, which it needs.
#include <commctrl.h>

#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "res/resource.h"
#include "tests/ui/gui_support.h"
#include "tests/ui/gui_test_ids.h"
#include "ui/anchor_layout.h"
#include "ui/busy_progress_ctrl.h"
#include "ui/button_fit.h"
#include "ui/colour.h"
#include "ui/dialog.h"
#include "ui/dialog_layout_scaler.h"
#include "ui/gdi_object.h"
#include "ui/link_label.h"
#include "ui/link_list_ctrl.h"
#include "ui/list_view.h"
#include "ui/xp_button.h"

namespace qm::ui::testing {
namespace {

HINSTANCE Module() {
    return GetModuleHandleA(nullptr);
}

constexpr COLORREF kPage = RGB(223, 238, 248);
constexpr COLORREF kWhite = RGB(255, 255, 255);
constexpr COLORREF kBlack = RGB(0, 0, 0);

// A modeless test dialog painted in the page colour, which counts the
// commands and notifications its tests look for.
class TestDialog : public Dialog {
  public:
    explicit TestDialog(int templateId, COLORREF background = kPage)
        : Dialog(Module(), templateId), background_(background) {
        BindMessage(WM_ERASEBKGND, [this](WPARAM w, LPARAM) {
            RECT client = ClientRect();
            HBRUSH brush = CreateSolidBrush(background_);
            FillRect(reinterpret_cast<HDC>(w), &client, brush);
            DeleteObject(brush);
            return LRESULT{1};
        });
        // Plain statics and check boxes show the page behind their text, as
        // on the program's pages.
        BindMessage(WM_CTLCOLORSTATIC, [this](WPARAM w, LPARAM) {
            SetBkMode(reinterpret_cast<HDC>(w), TRANSPARENT);
            return reinterpret_cast<LRESULT>(brush_.Get());
        });
        BindNotify(IDC_TEST_CLICKABLE, CLinkLabel::kClickNotification, [this](NMHDR* header) {
            ++labelNotifications;
            lastNotifier = header->hwndFrom;
            return LRESULT{0};
        });
        BindCommand(
            IDC_TEST_CLICKABLE, [this](int) { ++labelClicks; }, STN_CLICKED);
        BindCommand(
            IDC_TEST_SIDE_BUTTON, [this](int) { ++sideButtonClicks; }, BN_CLICKED);
    }

    bool Open() {
        if (!CreateModeless(nullptr)) return false;
        SetWindowPos(Handle(), HWND_TOP, 20, 20, 0, 0, SWP_NOSIZE | SWP_SHOWWINDOW);
        Repaint(Handle());
        return true;
    }

    int labelNotifications = 0;
    int labelClicks = 0;
    int sideButtonClicks = 0;
    HWND lastNotifier = nullptr;

  private:
    COLORREF background_;
    Brush brush_{CreateSolidBrush(background_)};
};

// ---------------------------------------------------------------------------
// The dialog framework

class DispatchDialog : public Dialog {
  public:
    DispatchDialog() : Dialog(Module(), IDD_TEST_WALK) {
        BindMessage(WM_APP + 1, [](WPARAM w, LPARAM l) { return static_cast<LRESULT>(w + l); });
        BindMessage(WM_APP + 2,
                    [](WPARAM, LPARAM) -> LRESULT { throw std::runtime_error("handler"); });
        BindMessage(WM_DESTROY, [this](WPARAM, LPARAM) {
            ++destroyMessages;
            return LRESULT{0};
        });
        BindCommand(IDC_TEST_WALK_B, [this](int code) { lastCode = code; });
    }
    int destroyMessages = 0;
    int lastCode = -1;
    bool initialised = false;

  protected:
    bool OnInit() override {
        initialised = FromHandle(Handle()) == this;
        return true;
    }
};

TEST(DialogFramework, DispatchesByTableAndKeepsExceptionsInside) {
    DispatchDialog dialog;
    ASSERT_TRUE(dialog.CreateModeless(nullptr));
    EXPECT_TRUE(dialog.initialised);
    HWND hwnd = dialog.Handle();
    EXPECT_EQ(Dialog::FromHandle(hwnd), &dialog);
    // A bound message answers through the dialog result.
    EXPECT_EQ(SendMessageA(hwnd, WM_APP + 1, 40, 2), 42);
    // A throwing handler leaves the message unhandled; the caller goes on.
    EXPECT_EQ(SendMessageA(hwnd, WM_APP + 2, 0, 0), 0);
    // Commands reach their handler by id, with their notification code.
    SendMessageA(hwnd, WM_COMMAND, MAKEWPARAM(IDC_TEST_WALK_B, 7), 0);
    EXPECT_EQ(dialog.lastCode, 7);
    // The object's link is cleared before the window goes: no handler runs
    // during the destruction.
    dialog.DestroyDialog();
    EXPECT_FALSE(IsWindow(hwnd));
    EXPECT_EQ(dialog.destroyMessages, 0);
    EXPECT_EQ(dialog.Handle(), nullptr);
}

class ModalDialog : public Dialog {
  public:
    explicit ModalDialog(bool ok) : Dialog(Module(), IDD_TEST_WALK), ok_(ok) {
        BindCommand(IDC_TEST_WALK_C, [this](int) { End(77); });
    }

  protected:
    bool OnInit() override {
        // Ends itself once its message loop runs.
        PostMessageA(Handle(), WM_COMMAND, MAKEWPARAM(ok_ ? IDOK : IDC_TEST_WALK_C, BN_CLICKED), 0);
        return true;
    }

  private:
    bool ok_;
};

TEST(DialogFramework, ModalDialogsEndWithTheirResult) {
    ModalDialog ok(true);
    EXPECT_EQ(ok.DoModal(nullptr), IDOK);
    EXPECT_EQ(ok.Handle(), nullptr);
    ModalDialog custom(false);
    EXPECT_EQ(custom.DoModal(nullptr), 77);
    // A template that does not exist fails cleanly.
    Dialog missing(Module(), 4321);
    EXPECT_EQ(missing.DoModal(nullptr), -1);
}

TEST(DialogFramework, ModelessDialogGoesWithItsObject) {
    HWND hwnd = nullptr;
    {
        TestDialog dialog(IDD_TEST_WALK);
        ASSERT_TRUE(dialog.CreateModeless(nullptr));
        hwnd = dialog.Handle();
        EXPECT_TRUE(IsWindow(hwnd));
    }
    EXPECT_FALSE(IsWindow(hwnd));
}

// ---------------------------------------------------------------------------
// CXPButton

// The colours of a bitmap resource, row by row, as 0x00BBGGRR values.
struct Picture {
    int width = 0, height = 0;
    std::vector<COLORREF> colours;
    COLORREF At(int x, int y) const { return colours[static_cast<size_t>(y) * width + x]; }
};

Picture LoadPicture(int id) {
    Picture p;
    HBITMAP bitmap = LoadBitmapA(Module(), MAKEINTRESOURCEA(id));
    if (!bitmap) return p;
    BITMAP info{};
    GetObjectA(bitmap, sizeof info, &info);
    p.width = info.bmWidth;
    p.height = info.bmHeight;
    BITMAPINFO format{};
    format.bmiHeader.biSize = sizeof format.bmiHeader;
    format.bmiHeader.biWidth = p.width;
    format.bmiHeader.biHeight = -p.height;
    format.bmiHeader.biPlanes = 1;
    format.bmiHeader.biBitCount = 32;
    std::vector<uint32_t> bits(static_cast<size_t>(p.width) * p.height);
    HDC screen = GetDC(nullptr);
    GetDIBits(screen, bitmap, 0, p.height, bits.data(), &format, DIB_RGB_COLORS);
    ReleaseDC(nullptr, screen);
    DeleteObject(bitmap);
    for (uint32_t v : bits) p.colours.push_back(RGB((v >> 16) & 0xFF, (v >> 8) & 0xFF, v & 0xFF));
    return p;
}

// How many pixels of a button differ from its picture fitted to its size.
int Differences(const Pixels& shot, const RECT& button, const Picture& picture) {
    const int width = button.right - button.left;
    const int height = button.bottom - button.top;
    std::vector<int> sourceColumn(static_cast<size_t>(width), -1);
    for (const StripCopy& c : FitThreePieces(picture.width, width)) {
        for (int i = 0; i < c.width && c.destX + i < width; ++i)
            sourceColumn[c.destX + i] = c.srcX + i;
    }
    int differences = 0;
    for (int y = 0; y < height && y < picture.height; ++y) {
        for (int x = 0; x < width; ++x) {
            differences +=
                shot.At(button.left + x, button.top + y) != picture.At(sourceColumn[x], y);
        }
    }
    return differences;
}

class ControlsTest : public ::testing::Test {
  protected:
    void SetUp() override {
        dialog_ = std::make_unique<TestDialog>(IDD_TEST_CONTROLS);
        ASSERT_TRUE(dialog_->Open());
        scaler_.Apply(Module(), Dialog(), IDD_TEST_CONTROLS, 96.0);
        Repaint(Dialog());
    }
    void TearDown() override {
        scaler_.Restore();
        dialog_.reset();
    }
    HWND Dialog() const { return dialog_->Handle(); }
    HWND Item(int id) const { return GetDlgItem(Dialog(), id); }
    RECT Rect(int id) const { return RectIn(Item(id), Dialog()); }
    // A point of a control's client area in the dialog's client area.
    POINT InDialog(int id, int x, int y) const {
        POINT p{x, y};
        MapWindowPoints(Item(id), Dialog(), &p, 1);
        return p;
    }
    Pixels Shot() {
        Repaint(Dialog());
        return Pixels::Capture(Dialog());
    }
    void Focus(int id) {
        SetFocus(Item(id));
        Pump(20);
    }

    std::unique_ptr<TestDialog> dialog_;
    CDialogLayoutScaler scaler_;
};

TEST_F(ControlsTest, ButtonDrawsItsFittedPictureForEachState) {
    CXPButton side, wide;
    ASSERT_TRUE(side.Bind(Dialog(), IDC_TEST_SIDE_BUTTON));
    ASSERT_TRUE(wide.Bind(Dialog(), IDC_TEST_WIDE_BUTTON));
    EXPECT_EQ(side.Style() & BS_TYPEMASK, BS_OWNERDRAW);
    // The side buttons use the normal picture also as the pushed one.
    ASSERT_TRUE(side.SetBitmaps(Module(), IDB_REPAIR, IDB_REPAIR_HOVER, IDB_REPAIR));
    ASSERT_TRUE(wide.SetBitmaps(Module(), IDB_REPAIR, IDB_REPAIR_HOVER, IDB_REPAIR));
    const Picture normal = LoadPicture(IDB_REPAIR);
    const Picture hover = LoadPicture(IDB_REPAIR_HOVER);
    ASSERT_EQ(normal.width, 94);
    const RECT sideRect = Rect(IDC_TEST_SIDE_BUTTON);
    EXPECT_EQ(sideRect.right - sideRect.left, 93);  // 62 dialog units
    EXPECT_EQ(sideRect.bottom - sideRect.top, 60);

    Focus(IDC_TEST_LIST);
    Pixels shot = Shot();
    EXPECT_EQ(Differences(shot, sideRect, normal), 0);
    // 150 pixels: the middle of the picture repeats.
    EXPECT_EQ(Differences(shot, Rect(IDC_TEST_WIDE_BUTTON), normal), 0);
    EXPECT_GT(Differences(shot, sideRect, hover), 500);

    SendMessageA(side.Handle(), WM_MOUSEHOVER, 0, 0);
    EXPECT_TRUE(side.IsHovered());
    EXPECT_EQ(Differences(Shot(), sideRect, hover), 0);
    SendMessageA(side.Handle(), WM_MOUSELEAVE, 0, 0);
    EXPECT_EQ(Differences(Shot(), sideRect, normal), 0);

    // Focus shows the hover picture, also after the mouse has left.
    Focus(IDC_TEST_SIDE_BUTTON);
    SendMessageA(side.Handle(), WM_MOUSELEAVE, 0, 0);
    EXPECT_EQ(Differences(Shot(), sideRect, hover), 0);

    // Held pushed without focus or mouse, a side button looks normal.
    Focus(IDC_TEST_LIST);
    SendMessageA(side.Handle(), BM_SETSTATE, TRUE, 0);
    EXPECT_EQ(Differences(Shot(), sideRect, normal), 0);
    SendMessageA(side.Handle(), BM_SETSTATE, FALSE, 0);

    // Clicks still reach the parent as commands.
    SendMessageA(side.Handle(), BM_CLICK, 0, 0);
    Pump(20);
    EXPECT_EQ(dialog_->sideButtonClicks, 1);
}

TEST_F(ControlsTest, ButtonCaptionIsDrawnInItsColour) {
    CXPButton captioned, plain;
    ASSERT_TRUE(captioned.Bind(Dialog(), IDC_TEST_CAPTION_BUTTON));
    ASSERT_TRUE(plain.Bind(Dialog(), IDC_TEST_SIDE_BUTTON));
    // A picture without any caption colour, so that only drawn text has it.
    ASSERT_TRUE(captioned.SetBitmaps(Module(), IDB_SIDE_BUTTON_BLANK, IDB_SIDE_BUTTON_BLANK,
                                     IDB_SIDE_BUTTON_BLANK));
    ASSERT_TRUE(plain.SetBitmaps(Module(), IDB_SIDE_BUTTON_BLANK, IDB_SIDE_BUTTON_BLANK,
                                 IDB_SIDE_BUTTON_BLANK));
    Focus(IDC_TEST_LIST);
    const Pixels shot = Shot();
    EXPECT_GT(shot.Count(Rect(IDC_TEST_CAPTION_BUTTON), CXPButton::kCaptionColour), 10);
    EXPECT_EQ(shot.Count(Rect(IDC_TEST_SIDE_BUTTON), CXPButton::kCaptionColour), 0);
    EXPECT_FALSE(captioned.SetBitmaps(Module(), 4444, IDB_HELP, IDB_HELP));  // no such picture
    EXPECT_FALSE(captioned.HasBitmaps());
}

// ---------------------------------------------------------------------------
// CBusyProgressCtrl

TEST_F(ControlsTest, BusyBarDrawsTheCometAtItsPosition) {
    CBusyProgressCtrl bar(10, 0);
    ASSERT_TRUE(bar.Bind(Dialog(), IDC_TEST_BUSY));
    // The Find & Fix page's sequence.
    bar.SetType(kRunThrough);
    bar.SetBarStyle(kComet);
    bar.SetBlockCount(20);
    bar.Recalculate();
    EXPECT_EQ(bar.State().position, -1);
    SendMessageA(bar.Handle(), CBusyProgressCtrl::kSetPosition, 10, 0);
    const BusyBarState state = bar.State();
    const std::vector<BlockRect> blocks = BlockRectangles(state);
    RECT client{};
    GetClientRect(bar.Handle(), &client);
    EXPECT_NEAR(state.blockWidth, (client.right - 20) / 20.0, 1e-9);
    // With 20 blocks the last one starts beyond the bar's right edge.
    EXPECT_GE(blocks[19].left, client.right);

    Pixels shot = Shot();
    auto centre = [&](int block) {
        const BlockRect& b = blocks[static_cast<size_t>(block)];
        const POINT p = InDialog(IDC_TEST_BUSY, (b.left + b.right) / 2, (b.top + b.bottom) / 2);
        return shot.At(p.x, p.y);
    };
    EXPECT_EQ(centre(10), RGB(40, 255, 40));  // the head
    EXPECT_EQ(centre(9), RGB(40, 255, 40));
    EXPECT_EQ(centre(8), RGB(80, 253, 80));
    EXPECT_EQ(centre(5), RGB(200, 255, 200));
    EXPECT_EQ(centre(4), RGB(230, 255, 230));
    EXPECT_EQ(centre(3), kWhite);
    EXPECT_EQ(centre(11), kWhite);
    // The thin black frame, one pixel in from the left and top.
    const POINT frameLeft = InDialog(IDC_TEST_BUSY, 1, client.bottom / 2);
    const POINT frameTop = InDialog(IDC_TEST_BUSY, client.right / 2, 1);
    EXPECT_EQ(shot.At(frameLeft.x, frameLeft.y), kBlack);
    EXPECT_EQ(shot.At(frameTop.x, frameTop.y), kBlack);

    // Moving backwards, the same blocks take the colours in reverse order.
    SendMessageA(bar.Handle(), CBusyProgressCtrl::kSetType, kWrapBackwards, 0);
    EXPECT_EQ(bar.State().direction, -1);
    shot = Shot();
    EXPECT_EQ(centre(10), RGB(230, 255, 230));
    EXPECT_EQ(centre(4), RGB(40, 255, 40));

    // A comet entering at the left shows only its part on the row.
    SendMessageA(bar.Handle(), CBusyProgressCtrl::kSetType, kRunThrough, 0);
    SendMessageA(bar.Handle(), CBusyProgressCtrl::kReset, 0, 0);
    SendMessageA(bar.Handle(), CBusyProgressCtrl::kStep, 0, 0);
    SendMessageA(bar.Handle(), CBusyProgressCtrl::kStep, 0, 0);
    EXPECT_EQ(bar.State().position, 1);
    shot = Shot();
    EXPECT_EQ(centre(1), RGB(40, 255, 40));
    EXPECT_EQ(centre(0), RGB(40, 255, 40));
    EXPECT_EQ(centre(2), kWhite);
}

TEST_F(ControlsTest, BusyBarMessagesAndProgressDisplay) {
    CBusyProgressCtrl bar;
    ASSERT_TRUE(bar.Bind(Dialog(), IDC_TEST_BUSY));
    HWND hwnd = bar.Handle();
    RECT client{};
    GetClientRect(hwnd, &client);
    EXPECT_EQ(SendMessageA(hwnd, CBusyProgressCtrl::kSetBlockCount, 8, 0), 0);
    EXPECT_NEAR(bar.State().blockWidth, (client.right - 8) / 8.0, 1e-9);
    SendMessageA(hwnd, CBusyProgressCtrl::kSetGap, 3, 0);
    EXPECT_NEAR(bar.State().blockWidth, (client.right - 24) / 8.0, 1e-9);
    SendMessageA(hwnd, CBusyProgressCtrl::kSetGap, 1, 0);

    SendMessageA(hwnd, CBusyProgressCtrl::kSetMode, kProgressDisplay, 0);
    SendMessageA(hwnd, CBusyProgressCtrl::kSetRange, 0, 80);
    SendMessageA(hwnd, CBusyProgressCtrl::kSetBlockFillColour, RGB(0, 0, 200), 0);
    SendMessageA(hwnd, CBusyProgressCtrl::kSetPartialFillColour, RGB(0, 255, 0), 0);
    SendMessageA(hwnd, CBusyProgressCtrl::kSetPosition, 35, 0);  // 3.5 of 8 blocks
    const BusyBarState state = bar.State();
    EXPECT_EQ(state.mode, kProgressDisplay);
    EXPECT_EQ(state.high, 80);
    const std::vector<BlockRect> blocks = BlockRectangles(state);
    const Pixels shot = Shot();
    auto at = [&](int block, int dx) {
        const BlockRect& b = blocks[static_cast<size_t>(block)];
        const POINT p = InDialog(IDC_TEST_BUSY, b.left + dx, (b.top + b.bottom) / 2);
        return shot.At(p.x, p.y);
    };
    EXPECT_EQ(at(0, 4), RGB(0, 0, 200));
    EXPECT_EQ(at(2, 4), RGB(0, 0, 200));
    EXPECT_EQ(at(3, 3), RGB(0, 255, 0));  // the half-filled block
    EXPECT_EQ(at(4, 4), kWhite);
    // Animation only runs in busy mode.
    SendMessageA(hwnd, CBusyProgressCtrl::kStart, 0, 0);
    EXPECT_FALSE(bar.IsRunning());
}

TEST_F(ControlsTest, BusyBarAnimationThreadStartsAndStops) {
    CBusyProgressCtrl bar;
    ASSERT_TRUE(bar.Bind(Dialog(), IDC_TEST_BUSY));
    bar.SetType(kRunThrough);
    bar.SetBarStyle(kComet);
    bar.SetBlockCount(20);
    bar.Recalculate();
    bar.Stop();  // no thread: nothing happens
    EXPECT_FALSE(bar.IsRunning());
    SendMessageA(bar.Handle(), CBusyProgressCtrl::kSetInterval, 20, 0);

    const DWORD start = GetTickCount();
    bar.Start();
    bar.Start();  // ends the first thread before the second starts
    EXPECT_TRUE(bar.IsRunning());
    Pump(400);
    bar.Stop();
    const DWORD elapsed = GetTickCount() - start;
    EXPECT_FALSE(bar.IsRunning());
    const int position = bar.State().position;
    EXPECT_GT(position, 0);
    // One thread steps at most once per interval (plus the first step of
    // each start); two would step about twice as often.
    EXPECT_LE(position + 1, static_cast<int>(elapsed / 20) + 3) << "elapsed " << elapsed;
    Pump(200);
    EXPECT_EQ(bar.State().position, position) << "stopped means stopped";

    SendMessageA(bar.Handle(), CBusyProgressCtrl::kStart, 0, 0);
    EXPECT_TRUE(bar.IsRunning());
    SendMessageA(bar.Handle(), CBusyProgressCtrl::kStop, 0, 0);
    EXPECT_FALSE(bar.IsRunning());

    // A bar that goes while it runs stops its thread and gives the control
    // back, which then paints as before.
    bar.Unbind();
    auto running = std::make_unique<CBusyProgressCtrl>();
    ASSERT_TRUE(running->Bind(Dialog(), IDC_TEST_BUSY));
    running->Start();
    Pump(50);
    running.reset();
    EXPECT_EQ(Control::FromHandle(Item(IDC_TEST_BUSY)), nullptr);
    Pump(100);
    Repaint(Dialog());
}

// ---------------------------------------------------------------------------
// CLinkLabel

TEST_F(ControlsTest, TransparentLabelShowsThePageBehindIt) {
    CLinkLabel title, unset;
    ASSERT_TRUE(title.Bind(Dialog(), IDC_TEST_TITLE));
    ASSERT_TRUE(unset.Bind(Dialog(), IDC_TEST_UNSET_LABEL));
    title.ApplyStyle(true, "Arial", 15, kTitleColour, kPageColour);
    unset.ApplyStyle(true, "Arial", 10, kBlack, kPageColour);
    EXPECT_EQ(title.FontDescription().lfHeight, -20);  // 15 points at 96 dpi
    EXPECT_STREQ(title.FontDescription().lfFaceName, "Arial");
    EXPECT_TRUE(title.ExStyle() & WS_EX_TRANSPARENT);

    // Before its text is set a label paints nothing, whatever its template says.
    const RECT area = Rect(IDC_TEST_TITLE);
    const int pixels = (area.right - area.left) * (area.bottom - area.top);
    Pixels shot = Shot();
    EXPECT_EQ(shot.Count(area, kPage), pixels);

    title.SetLabelText("Start Registry Repair");
    shot = Shot();
    const int titlePixels = shot.Count(area, kTitleColour);
    EXPECT_GT(titlePixels, 40);
    EXPECT_EQ(shot.At(area.right - 2, area.bottom - 2), kPage);
    // A shorter text: the old letters are gone, the page shows again.
    title.SetLabelText("Go");
    shot = Shot();
    EXPECT_GT(shot.Count(area, kTitleColour), 0);
    EXPECT_LT(shot.Count(area, kTitleColour), titlePixels / 3);
    RECT right = area;
    right.left += 60;
    EXPECT_EQ(shot.Count(right, kPage), (right.right - right.left) * (right.bottom - right.top));
    EXPECT_EQ(shot.Count(Rect(IDC_TEST_UNSET_LABEL), kPage), [&] {
        const RECT r = Rect(IDC_TEST_UNSET_LABEL);
        return (r.right - r.left) * (r.bottom - r.top);
    }());
}

TEST_F(ControlsTest, OpaqueLabelFillsItsBackground) {
    CLinkLabel header;
    ASSERT_TRUE(header.Bind(Dialog(), IDC_TEST_OPAQUE));
    header.ApplyStyle(false, "arial", 10, kBlack, RGB(255, 206, 91));
    header.SetLabelText("Header");
    const RECT area = Rect(IDC_TEST_OPAQUE);
    const Pixels shot = Shot();
    EXPECT_EQ(shot.At(area.right - 2, area.bottom - 2), RGB(255, 206, 91));
    EXPECT_GT(shot.Count(area, kBlack), 10);
    EXPECT_EQ(header.FontDescription().lfHeight, -13);
}

TEST_F(ControlsTest, LabelClickNotifiesTheParentTwice) {
    CLinkLabel label;
    EXPECT_FALSE(label.Handle());
    label.SetLabelText("before");  // no window yet: no effect
    EXPECT_TRUE(label.LabelText().empty());
    ASSERT_TRUE(label.Bind(Dialog(), IDC_TEST_CLICKABLE));
    label.SetLabelText("Shutdown Quillmend after repair");
    SendMessageA(label.Handle(), WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(5, 5));
    SendMessageA(label.Handle(), WM_LBUTTONUP, 0, MAKELPARAM(5, 5));
    Pump(20);
    EXPECT_EQ(dialog_->labelNotifications, 1);
    EXPECT_EQ(dialog_->lastNotifier, label.Handle());
    EXPECT_EQ(dialog_->labelClicks, 1);  // the static's own click command
}

// ---------------------------------------------------------------------------
// CLinkListCtrl

TEST_F(ControlsTest, LinkCellsAreBlueAndUnderlined) {
    CLinkListCtrl list;
    ASSERT_TRUE(list.Bind(Dialog(), IDC_TEST_LIST));
    ListView view(list.Handle());
    view.InsertColumn(0, "Option", 200);
    view.InsertColumn(1, "Items Found", 170);
    view.InsertColumn(2, "Details", 115);
    list.Initialise();
    EXPECT_EQ(view.ExtendedStyle(),
              static_cast<DWORD>(LVS_EX_FULLROWSELECT | LVS_EX_ONECLICKACTIVATE));
    const char* rows[] = {"COM/ActiveX Entries", "Uninstall Entries", "Font Entries"};
    for (int i = 0; i < 3; ++i) EXPECT_EQ(list.InsertItem(i, rows[i]), i);
    list.SetCellText(0, 1, "3 Problems Found");
    list.SetCellText(0, 2, "View Details", "View Details");
    list.SetCellText(1, 2, "No Details");
    // Set twice: the second call's style holds.
    list.SetCellText(2, 2, "View Details", "View Details");
    list.SetCellText(2, 2, "Not Selected");
    ASSERT_TRUE(list.FindCell(0, 2));
    EXPECT_EQ(list.FindCell(0, 2)->style, &list.LinkStyle());
    EXPECT_EQ(list.FindCell(1, 2)->style, &list.PlainStyle());
    EXPECT_EQ(list.FindCell(2, 2)->style, &list.PlainStyle());
    EXPECT_EQ(list.FindCell(5, 5), nullptr);
    EXPECT_EQ(view.ItemText(0, 2), "View Details");

    // Scroll column 2 into view before reading the cells.
    SendMessageA(list.Handle(), LVM_SCROLL, 200, 0);
    Pump(20);
    auto cell = [&](int row, int column) {
        RECT r = view.SubItemRect(row, column);
        MapWindowPoints(list.Handle(), Dialog(), reinterpret_cast<POINT*>(&r), 2);
        return r;
    };
    const Pixels shot = Shot();
    const RECT link = cell(0, 2);
    EXPECT_GT(shot.Count(link, CLinkListCtrl::kLinkColour), 20);
    // The underline: a run of blue at least as long as a few letters.
    EXPECT_GE(shot.LongestRun(link, CLinkListCtrl::kLinkColour), 25);
    EXPECT_EQ(shot.Count(cell(1, 2), CLinkListCtrl::kLinkColour), 0);
    EXPECT_GT(shot.Count(cell(1, 2), kBlack), 10);
    EXPECT_EQ(shot.Count(cell(2, 2), CLinkListCtrl::kLinkColour), 0);
    EXPECT_EQ(shot.Count(cell(0, 1), CLinkListCtrl::kLinkColour), 0);
    shot.SaveBmp("ui_link_list.bmp");

    // The column under the mouse, also with the list scrolled sideways.
    RECT screenCell = view.SubItemRect(0, 2);
    MapWindowPoints(list.Handle(), HWND_DESKTOP, reinterpret_cast<POINT*>(&screenCell), 2);
    SetCursorPos((screenCell.left + screenCell.right) / 2,
                 (screenCell.top + screenCell.bottom) / 2);
    EXPECT_EQ(list.CellUnderCursor(0), list.FindCell(0, 2));
    RECT screenFirst = view.SubItemRect(0, 1);
    MapWindowPoints(list.Handle(), HWND_DESKTOP, reinterpret_cast<POINT*>(&screenFirst), 2);
    SetCursorPos(screenFirst.left + 5, screenFirst.top + 3);
    EXPECT_EQ(list.CellUnderCursor(0), list.FindCell(0, 1));
    SetCursorPos(0, 0);
    EXPECT_EQ(list.CellUnderCursor(0), nullptr);
}

// ---------------------------------------------------------------------------
// CDialogLayoutScaler

LOGFONTA FontOf(HFONT font) {
    LOGFONTA f{};
    GetObjectA(font, sizeof f, &f);
    return f;
}

SIZE ClientSize(HWND hwnd) {
    RECT r{};
    GetClientRect(hwnd, &r);
    return {r.right, r.bottom};
}

void ExpectPlaced(HWND dialog, int id, int x, int y, int cx, int cy) {
    const RECT r = RectIn(GetDlgItem(dialog, id), dialog);
    EXPECT_EQ(r.left, x) << id;
    EXPECT_EQ(r.top, y) << id;
    EXPECT_EQ(r.right - r.left, cx) << id;
    EXPECT_EQ(r.bottom - r.top, cy) << id;
}

TEST(LayoutScaler, TemplateWithoutFontIsLaidOutInEightPointTahoma) {
    TestDialog dialog(IDD_TEST_NO_FONT);
    ASSERT_TRUE(dialog.Open());
    CDialogLayoutScaler scaler;
    ASSERT_TRUE(scaler.Apply(Module(), dialog.Handle(), IDD_TEST_NO_FONT, 96.0));
    const LOGFONTA font = FontOf(scaler.CreatedFont());
    EXPECT_STREQ(font.lfFaceName, "Tahoma");
    EXPECT_EQ(font.lfHeight, -11);
    EXPECT_EQ(font.lfWeight, 400);
    EXPECT_EQ(scaler.HorizontalUnit(), 6);
    EXPECT_EQ(scaler.VerticalUnit(), 13);
    EXPECT_EQ(ClientSize(dialog.Handle()).cx, 180);
    EXPECT_EQ(ClientSize(dialog.Handle()).cy, 98);  // 97.5 rounds up
    ExpectPlaced(dialog.Handle(), IDC_TEST_PLAIN, 15, 33, 60, 20);
    ExpectPlaced(dialog.Handle(), IDC_TEST_PLAIN_2, 90, 11, 50, 15);
    EXPECT_EQ(reinterpret_cast<HFONT>(
                  SendDlgItemMessageA(dialog.Handle(), IDC_TEST_PLAIN, WM_GETFONT, 0, 0)),
              scaler.CreatedFont());
}

TEST(LayoutScaler, AppliedTwiceRestoresTheFirstFontsFirst) {
    TestDialog dialog(IDD_TEST_WALK);
    ASSERT_TRUE(dialog.Open());
    HWND hwnd = dialog.Handle();
    const HFONT original = reinterpret_cast<HFONT>(SendMessageA(hwnd, WM_GETFONT, 0, 0));
    CDialogLayoutScaler scaler;
    ASSERT_TRUE(scaler.Apply(Module(), hwnd, IDD_TEST_WALK, 96.0));
    const HFONT first = scaler.CreatedFont();
    EXPECT_EQ(scaler.PreviousFont(), original);
    ASSERT_TRUE(scaler.Apply(Module(), hwnd, IDD_TEST_WALK, 96.0));
    // The first font was given back and deleted, not kept as "previous".
    EXPECT_EQ(scaler.PreviousFont(), original);
    EXPECT_EQ(GetObjectType(first), 0u);
    EXPECT_EQ(reinterpret_cast<HFONT>(SendDlgItemMessageA(hwnd, IDC_TEST_WALK_C, WM_GETFONT, 0, 0)),
              scaler.CreatedFont());
    // Four items, two of them sharing the id -1, matched in order.
    EXPECT_EQ(scaler.ItemsLaidOut(), 4);
    scaler.Restore();
    EXPECT_EQ(reinterpret_cast<HFONT>(SendMessageA(hwnd, WM_GETFONT, 0, 0)), original);
    EXPECT_EQ(reinterpret_cast<HFONT>(SendDlgItemMessageA(hwnd, IDC_TEST_WALK_C, WM_GETFONT, 0, 0)),
              original);
    // A missing template is refused and changes nothing.
    EXPECT_FALSE(scaler.Apply(Module(), hwnd, 4321, 96.0));
}

TEST(LayoutScaler, ControlOutOfTemplateOrderEndsTheWalk) {
    TestDialog dialog(IDD_TEST_WALK);
    ASSERT_TRUE(dialog.Open());
    HWND hwnd = dialog.Handle();
    // B goes to the end of the sibling list: A, C, D, B.
    SetWindowPos(GetDlgItem(hwnd, IDC_TEST_WALK_B), HWND_BOTTOM, 0, 0, 0, 0,
                 SWP_NOMOVE | SWP_NOSIZE);
    const HFONT original = reinterpret_cast<HFONT>(SendMessageA(hwnd, WM_GETFONT, 0, 0));
    CDialogLayoutScaler scaler;
    ASSERT_TRUE(scaler.Apply(Module(), hwnd, IDD_TEST_WALK, 96.0));
    // A is found first, B further down; nothing follows B, so C and D keep
    // their old font.
    EXPECT_EQ(scaler.ItemsLaidOut(), 2);
    auto fontOf = [&](int id) {
        return reinterpret_cast<HFONT>(SendDlgItemMessageA(hwnd, id, WM_GETFONT, 0, 0));
    };
    EXPECT_EQ(fontOf(IDC_TEST_WALK_B), scaler.CreatedFont());
    EXPECT_EQ(fontOf(IDC_TEST_WALK_C), original);
}

// The main window and its pages, laid out as the program does at 96 dpi.
class MainWindowDialog : public Dialog {
  public:
    MainWindowDialog() : Dialog(Module(), IDD_MAIN) {
        BindMessage(WM_ERASEBKGND, [this](WPARAM w, LPARAM) {
            HBITMAP background = LoadBitmapA(Module(), MAKEINTRESOURCEA(IDB_MAIN_BACKGROUND));
            HDC memory = CreateCompatibleDC(reinterpret_cast<HDC>(w));
            HGDIOBJ previous = SelectObject(memory, background);
            BitBlt(reinterpret_cast<HDC>(w), 0, 0, 620, 465, memory, 0, 0, SRCCOPY);
            SelectObject(memory, previous);
            DeleteDC(memory);
            DeleteObject(background);
            return LRESULT{1};
        });
    }
};

TEST(LayoutScaler, MainWindowButtonsAndPagesInPixels) {
    MainWindowDialog main;
    ASSERT_TRUE(main.CreateModeless(nullptr));
    HWND hwnd = main.Handle();
    CDialogLayoutScaler scaler;
    ASSERT_TRUE(scaler.Apply(Module(), hwnd, IDD_MAIN, 96.0));
    EXPECT_EQ(scaler.HorizontalUnit(), 6);  // 8-point MS Sans Serif
    EXPECT_EQ(scaler.VerticalUnit(), 13);
    EXPECT_EQ(ClientSize(hwnd).cx, 621);  // the 620 x 465 background fits
    EXPECT_EQ(ClientSize(hwnd).cy, 465);
    ExpectPlaced(hwnd, IDC_SHOW_FIND_FIX, 14, 88, 93, 60);
    ExpectPlaced(hwnd, IDC_SHOW_STARTUP, 14, 156, 93, 60);
    ExpectPlaced(hwnd, IDC_SHOW_OPTIONS, 14, 223, 93, 60);
    ExpectPlaced(hwnd, IDC_SHOW_BACKUP, 14, 291, 93, 60);
    ExpectPlaced(hwnd, IDC_SHOW_ABOUT, 14, 358, 95, 60);
    ExpectPlaced(hwnd, IDC_SUPPORT, 576, 10, 39, 18);

    struct Button {
        int id, normal, hover, pushed;
    } buttons[] = {{IDC_SHOW_FIND_FIX, IDB_REPAIR, IDB_REPAIR_HOVER, IDB_REPAIR},
                   {IDC_SHOW_STARTUP, IDB_STARTUP, IDB_STARTUP_HOVER, IDB_STARTUP},
                   {IDC_SHOW_OPTIONS, IDB_SETTINGS, IDB_SETTINGS_HOVER, IDB_SETTINGS},
                   {IDC_SHOW_BACKUP, IDB_BACKUP, IDB_BACKUP_HOVER, IDB_BACKUP},
                   {IDC_SHOW_ABOUT, IDB_ABOUT, IDB_ABOUT_HOVER, IDB_ABOUT},
                   {IDC_SUPPORT, IDB_HELP, IDB_HELP_HOVER, IDB_HELP}};
    CXPButton pictures[6];
    for (int i = 0; i < 6; ++i) {
        ASSERT_TRUE(pictures[i].Bind(hwnd, buttons[i].id));
        EXPECT_TRUE(pictures[i].SetBitmaps(Module(), buttons[i].normal, buttons[i].hover,
                                           buttons[i].pushed));
    }

    // Each page laid out from its template, then placed where the main
    // window shows it.
    struct Page {
        int id, width, height, control, x, y;
    } pages[] = {{IDD_ABOUT, 530, 348, IDC_ABOUT_VERSION, 167, 63},
                 {IDD_BACKUP, 513, 362, IDC_BACKUP_LIST, 14, 86},
                 {IDD_OPTIONS, 494, 359, IDC_OPTIONS_APPLY, 392, 293},
                 {IDD_FIND_FIX, 642, 359, IDC_FF_CATEGORIES, 9, 67},
                 {IDD_STARTUP, 521, 400, IDC_STARTUP_LIST, 8, 101}};
    std::vector<std::unique_ptr<TestDialog>> children;
    std::vector<std::unique_ptr<CDialogLayoutScaler>> scalers;
    for (const Page& p : pages) {
        auto page = std::make_unique<TestDialog>(p.id);
        ASSERT_TRUE(page->CreateModeless(hwnd)) << p.id;
        auto pageScaler = std::make_unique<CDialogLayoutScaler>();
        ASSERT_TRUE(pageScaler->Apply(Module(), page->Handle(), p.id, 96.0));
        EXPECT_EQ(ClientSize(page->Handle()).cx, p.width) << p.id;
        EXPECT_EQ(ClientSize(page->Handle()).cy, p.height) << p.id;
        const RECT control = RectIn(GetDlgItem(page->Handle(), p.control), page->Handle());
        EXPECT_EQ(control.left, p.x) << p.id;
        EXPECT_EQ(control.top, p.y) << p.id;
        MoveWindow(page->Handle(), 120, 75, 642, 359, TRUE);
        const RECT placed = RectIn(page->Handle(), hwnd);
        EXPECT_EQ(placed.left, 120);
        EXPECT_EQ(placed.top, 75);
        children.push_back(std::move(page));
        scalers.push_back(std::move(pageScaler));
    }
    // Show the Find & Fix page, as at start-up, and keep a picture.
    ShowWindow(children[3]->Handle(), SW_SHOW);
    SetWindowPos(hwnd, HWND_TOP, 0, 0, 0, 0, SWP_NOSIZE | SWP_NOMOVE | SWP_SHOWWINDOW);
    Repaint(hwnd);
    const Pixels shot = Pixels::Capture(hwnd);
    EXPECT_TRUE(shot.SaveBmp("ui_main_window.bmp"));
    // The picture buttons show their fitted pictures; the page shows its colour.
    EXPECT_EQ(Differences(shot, RectIn(GetDlgItem(hwnd, IDC_SHOW_STARTUP), hwnd),
                          LoadPicture(IDB_STARTUP)),
              0);
    EXPECT_EQ(Differences(shot, RectIn(GetDlgItem(hwnd, IDC_SUPPORT), hwnd), LoadPicture(IDB_HELP)),
              0);
    EXPECT_EQ(shot.At(125, 436), RGB(223, 238, 248));  // background below the page
    children.clear();
    scalers.clear();
}

TEST(LayoutScaler, SplashWindowAndDetailsDialogInPixels) {
    TestDialog splash(IDD_SPLASH);
    ASSERT_TRUE(splash.CreateModeless(nullptr));
    CDialogLayoutScaler splashScaler;
    ASSERT_TRUE(splashScaler.Apply(Module(), splash.Handle(), IDD_SPLASH, 96.0));
    EXPECT_EQ(ClientSize(splash.Handle()).cx, 351);
    EXPECT_EQ(ClientSize(splash.Handle()).cy, 242);
    ExpectPlaced(splash.Handle(), IDC_SPLASH_TEXT, 17, 145, 153, 16);

    TestDialog details(IDD_FOUND_ITEMS);
    ASSERT_TRUE(details.CreateModeless(nullptr));
    CDialogLayoutScaler detailsScaler;
    ASSERT_TRUE(detailsScaler.Apply(Module(), details.Handle(), IDD_FOUND_ITEMS, 96.0));
    EXPECT_EQ(ClientSize(details.Handle()).cx, 480);
    EXPECT_EQ(ClientSize(details.Handle()).cy, 471);
    ExpectPlaced(details.Handle(), IDC_DETAILS_LIST, 11, 78, 459, 244);
    ExpectPlaced(details.Handle(), IDCANCEL, 387, 436, 83, 23);
}

// ---------------------------------------------------------------------------
// CAnchorLayout

class AnchorDialog : public TestDialog {
  public:
    AnchorDialog() : TestDialog(IDD_TEST_ANCHOR) {
        BindMessage(WM_SIZE, [this](WPARAM, LPARAM) {
            layout.Resize();
            return LRESULT{0};
        });
    }
    CAnchorLayout layout;
};

TEST(AnchorLayout, ControlsFollowTheEdgesButNotBelowTheSetUpSize) {
    AnchorDialog dialog;
    ASSERT_TRUE(dialog.Open());
    HWND hwnd = dialog.Handle();
    CAnchorLayout unset;
    EXPECT_EQ(unset.AddControl(IDC_TEST_ANCHOR_LIST, kStretchWidth), 0);  // no owner yet
    dialog.layout.SetUp(hwnd);
    EXPECT_EQ(dialog.layout.AddControl(IDC_TEST_ANCHOR_LIST, kStretchWidth | kStretchHeight), 1);
    EXPECT_EQ(dialog.layout.AddControl(IDC_TEST_ANCHOR_BUTTON, kMoveRight | kMoveDown), 1);
    EXPECT_EQ(dialog.layout.AddControl(IDC_TEST_ANCHOR_HEADER, kStretchWidth), 1);
    EXPECT_EQ(dialog.layout.AddControl(IDC_TEST_ANCHOR_FIXED, 0), 1);
    EXPECT_EQ(dialog.layout.AddControl(999, kMoveRight), 0);  // no such control
    EXPECT_EQ(dialog.layout.AddControl(static_cast<HWND>(nullptr), kMoveRight), 0);

    auto rect = [&](int id) { return RectIn(GetDlgItem(hwnd, id), hwnd); };
    const RECT list0 = rect(IDC_TEST_ANCHOR_LIST), button0 = rect(IDC_TEST_ANCHOR_BUTTON),
               header0 = rect(IDC_TEST_ANCHOR_HEADER), fixed0 = rect(IDC_TEST_ANCHOR_FIXED);
    const RECT window0 = dialog.WindowRect();
    auto resize = [&](int dw, int dh) {
        SetWindowPos(hwnd, nullptr, 0, 0, window0.right - window0.left + dw,
                     window0.bottom - window0.top + dh, SWP_NOMOVE | SWP_NOZORDER);
        Pump(20);
    };

    resize(60, 40);
    EXPECT_EQ(rect(IDC_TEST_ANCHOR_LIST).right, list0.right + 60);
    EXPECT_EQ(rect(IDC_TEST_ANCHOR_LIST).bottom, list0.bottom + 40);
    EXPECT_EQ(rect(IDC_TEST_ANCHOR_LIST).left, list0.left);
    EXPECT_EQ(rect(IDC_TEST_ANCHOR_BUTTON).left, button0.left + 60);
    EXPECT_EQ(rect(IDC_TEST_ANCHOR_BUTTON).top, button0.top + 40);
    EXPECT_EQ(rect(IDC_TEST_ANCHOR_BUTTON).right - rect(IDC_TEST_ANCHOR_BUTTON).left,
              button0.right - button0.left);
    EXPECT_EQ(rect(IDC_TEST_ANCHOR_HEADER).right, header0.right + 60);
    EXPECT_EQ(rect(IDC_TEST_ANCHOR_HEADER).bottom, header0.bottom);
    EXPECT_EQ(rect(IDC_TEST_ANCHOR_FIXED).left, fixed0.left);

    // Smaller than at set-up: everything is back where it started, no further.
    resize(-50, -30);
    EXPECT_EQ(rect(IDC_TEST_ANCHOR_LIST).right, list0.right);
    EXPECT_EQ(rect(IDC_TEST_ANCHOR_LIST).bottom, list0.bottom);
    EXPECT_EQ(rect(IDC_TEST_ANCHOR_BUTTON).left, button0.left);
    // Growing from below the minimum counts only the part above it.
    resize(20, 10);
    EXPECT_EQ(rect(IDC_TEST_ANCHOR_BUTTON).left, button0.left + 20);
    EXPECT_EQ(rect(IDC_TEST_ANCHOR_BUTTON).top, button0.top + 10);
    EXPECT_EQ(rect(IDC_TEST_ANCHOR_FIXED).top, fixed0.top);
}

// ---------------------------------------------------------------------------
// A picture of all controls together.

TEST_F(ControlsTest, PictureOfTheControlsDialog) {
    CLinkLabel title, header;
    CBusyProgressCtrl bar;
    CLinkListCtrl list;
    CXPButton side, captioned, help, wide;
    ASSERT_TRUE(title.Bind(Dialog(), IDC_TEST_TITLE));
    ASSERT_TRUE(header.Bind(Dialog(), IDC_TEST_OPAQUE));
    ASSERT_TRUE(bar.Bind(Dialog(), IDC_TEST_BUSY));
    ASSERT_TRUE(list.Bind(Dialog(), IDC_TEST_LIST));
    ASSERT_TRUE(side.Bind(Dialog(), IDC_TEST_SIDE_BUTTON));
    ASSERT_TRUE(captioned.Bind(Dialog(), IDC_TEST_CAPTION_BUTTON));
    ASSERT_TRUE(help.Bind(Dialog(), IDC_TEST_HELP_BUTTON));
    ASSERT_TRUE(wide.Bind(Dialog(), IDC_TEST_WIDE_BUTTON));
    title.ApplyStyle(true, "Arial", 15, kTitleColour, kPageColour);
    title.SetLabelText("Start Registry Repair");
    header.ApplyStyle(false, "arial", 10, kBlack, RGB(255, 206, 91));
    header.SetLabelText("Header");
    bar.SetType(kRunThrough);
    bar.SetBarStyle(kComet);
    bar.SetBlockCount(20);
    bar.Recalculate();
    SendMessageA(bar.Handle(), CBusyProgressCtrl::kSetPosition, 12, 0);
    ListView view(list.Handle());
    view.InsertColumn(0, "Option", 200);
    view.InsertColumn(1, "Items Found", 100);
    view.InsertColumn(2, "Details", 115);
    view.SetExtendedStyle(LVS_EX_GRIDLINES | LVS_EX_CHECKBOXES | LVS_EX_FULLROWSELECT);
    list.Initialise();
    view.AddExtendedStyle(LVS_EX_GRIDLINES | LVS_EX_CHECKBOXES);
    list.InsertItem(0, "COM/ActiveX Entries");
    list.InsertItem(1, "Uninstall Entries");
    list.SetCellText(0, 1, "3 Problems Found");
    list.SetCellText(0, 2, "View Details", "View Details");
    list.SetCellText(1, 2, "No Details");
    side.SetBitmaps(Module(), IDB_REPAIR, IDB_REPAIR_HOVER, IDB_REPAIR);
    captioned.SetBitmaps(Module(), IDB_SIDE_BUTTON_BLANK, IDB_SIDE_BUTTON_BLANK,
                         IDB_SIDE_BUTTON_BLANK);
    help.SetBitmaps(Module(), IDB_HELP, IDB_HELP_HOVER, IDB_HELP);
    wide.SetBitmaps(Module(), IDB_STARTUP, IDB_STARTUP_HOVER, IDB_STARTUP);
    Focus(IDC_TEST_LIST);
    const Pixels shot = Shot();
    EXPECT_TRUE(shot.SaveBmp("ui_controls.bmp"));
    // Hold the dialog on screen for a look from outside (QM_GUI_HOLD_MS).
    char hold[16] = {};
    if (GetEnvironmentVariableA("QM_GUI_HOLD_MS", hold, sizeof hold) > 0)
        Pump(static_cast<DWORD>(atoi(hold)));
}

}  // namespace
}  // namespace qm::ui::testing

int main(int argc, char** argv) {
    INITCOMMONCONTROLSEX controls{sizeof controls, ICC_LISTVIEW_CLASSES | ICC_PROGRESS_CLASS};
    InitCommonControlsEx(&controls);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
