// The Find & Fix page in real windows under Wine: hosted in a stand-in for
// the main window, scanning with fake category scanners over an in-memory
// registry, so that what the page shows, its details dialog, and the
// hand-over between the worker thread and the window thread can be checked.
#include <gtest/gtest.h>

#include <windows.h>
// After windows.h, which it needs.
#include <commctrl.h>

#include <atomic>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "findfix/find_fix_page.h"
#include "platform/memory/memory_registry.h"
#include "platform/settings_store.h"
#include "platform/win32/win32_file_probe.h"
#include "platform/win32/win32_system_info.h"
#include "res/resource.h"
#include "scan/details_entry_layout.h"
#include "scan/ignore_list.h"
#include "scan/window_messages.h"
#include "tests/ui/gui_support.h"
#include "ui/busy_progress_ctrl.h"
#include "ui/label_layout.h"
#include "ui/link_label.h"
#include "ui/list_box.h"
#include "ui/list_view.h"

namespace qm {
namespace {

using ui::testing::Pixels;
using ui::testing::Pump;

HINSTANCE Module() {
    return GetModuleHandleA(nullptr);
}

// ---------------------------------------------------------------------------
// Fake scanners: category c finds found[c] items; category 3's items name
// values that exist in the registry. With `holdLast` the last scanner keeps
// reporting progress until the scan is stopped or the hold released.

std::atomic<int> found[kCategoryCount + 1];
std::atomic<bool> holdLast{false};
std::atomic<DWORD> scannerThread{0};
const char* const kFontsKey = "Software\\FakeFonts";

// Text and number joined (appending avoids a false warning of GCC 12 about
// operator+ on a literal and a temporary).
std::string Join(const char* text, int number) {
    std::string joined = text;
    joined += std::to_string(number);
    return joined;
}

template <int Category>
void FakeScanner(ScanContext& context) {
    scannerThread = GetCurrentThreadId();
    const std::string key =
        Category == 3 ? std::string("HKLM\\") + kFontsKey : Join("HKLM\\Software\\Gone", Category);
    for (int i = 0; i < found[Category]; ++i) {
        if (context.Stopped()) return;
        const std::string file = Join("C:\\gone\\file", i);
        context.Add(key, Join("v", i), file, static_cast<ScanCategory>(Category),
                    [&file](CheckLog& log) {
                        log.push_back({file, Existence::kMissing});
                        return Existence::kMissing;
                    });
    }
    for (int n = 0; Category == kCategoryCount && holdLast && !context.Stopped(); ++n) {
        context.Report(Join("HKLM\\Software\\Classes\\CLSID\\{0000000", n % 10) +
                       "-0000-0000-0000-000000000000}\\InprocServer32");
        Sleep(1);
    }
}

ScannerTable FakeScanners() {
    return {&FakeScanner<1>, &FakeScanner<2>, &FakeScanner<3>, &FakeScanner<4>,
            &FakeScanner<5>, &FakeScanner<6>, &FakeScanner<7>, &FakeScanner<8>};
}

// ---------------------------------------------------------------------------
// The stand-in main window: five side buttons, and the two end messages.

CRegFindNFix* hostedPage = nullptr;
int scanFinished = 0;
int repairFinished = 0;

LRESULT CALLBACK HostProcedure(HWND hwnd, UINT message, WPARAM w, LPARAM l) {
    if (message == kScanFinishedMessage) {
        ++scanFinished;
        return 0;
    }
    if (message == kRepairFinishedMessage) {
        ++repairFinished;
        if (hostedPage) hostedPage->ResetAfterRepair();
        return 0;
    }
    return DefWindowProcA(hwnd, message, w, l);
}

HWND FindBox() {
    return FindWindowA("#32770", "Quillmend");
}

// Runs `action` once from inside whatever modal loop the thread is in next,
// once that loop has put its window on screen. A modal loop shows its window
// when its queue first runs dry, and a timer that is already due as the loop
// starts (a slow start under load) comes before that: the window is then
// still hidden, and draws nothing, until the timer callback returns. So the
// action waits for a later tick while a box is there but not yet shown.
std::function<void()> modalAction;
DWORD modalSince = 0;
void CALLBACK ModalTimer(HWND, UINT, UINT_PTR id, DWORD) {
    HWND box = FindBox();
    if (box && !IsWindowVisible(box) && GetTickCount() - modalSince < 20000) return;
    KillTimer(nullptr, id);
    auto action = std::move(modalAction);
    modalAction = nullptr;
    if (action) action();
}
void WhenModal(std::function<void()> action) {
    modalAction = std::move(action);
    modalSince = GetTickCount();
    SetTimer(nullptr, 0, 300, &ModalTimer);
}

// The dialog or message box of the modal loop that runs, once it is on
// screen: a modal loop shows its window only when its queue first runs dry.
HWND ShownBox() {
    const DWORD start = GetTickCount();
    HWND box = FindBox();
    while (box && !IsWindowVisible(box) && GetTickCount() - start < 5000) {
        Pump(10);
        box = FindBox();
    }
    return box;
}

std::string WindowText(HWND hwnd) {
    char text[512] = {};
    GetWindowTextA(hwnd, text, sizeof text);
    return text;
}

class FindFixPage : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        WNDCLASSA host{};
        host.lpfnWndProc = &HostProcedure;
        host.hInstance = Module();
        host.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
        host.lpszClassName = "QuillmendTestHost";
        RegisterClassA(&host);
    }

    void SetUp() override {
        for (auto& f : found) f = 0;
        holdLast = false;
        scanFinished = repairFinished = 0;
        modalAction = nullptr;

        RegKey fonts(registry);
        ASSERT_EQ(fonts.Create(hkey::kLocalMachine, kFontsKey, access::kAllAccess),
                  status::kSuccess);
        for (const char* name : {"v0", "v1", "v2"}) {
            const char data[] = "x";
            registry.SetValue(fonts.get(), name, regtype::kSz,
                              reinterpret_cast<const uint8_t*>(data), sizeof data);
        }

        char temp[MAX_PATH] = {};
        GetTempPathA(sizeof temp, temp);
        backupFolder =
            std::string(temp) + "qm_find_fix_test_" + std::to_string(GetCurrentProcessId());
        CreateDirectoryA(backupFolder.c_str(), nullptr);
        backups.SetBackupFolder(backupFolder);

        host = CreateWindowExA(0, "QuillmendTestHost", "Quillmend test host",
                               WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN, 10, 10, 780, 480, nullptr,
                               nullptr, Module(), nullptr);
        ASSERT_NE(host, nullptr);
        for (int i = 0; i < 5; ++i) {
            CreateWindowExA(0, "BUTTON", "", WS_CHILD | WS_VISIBLE, 10, 80 + 45 * i, 90, 40, host,
                            reinterpret_cast<HMENU>(static_cast<INT_PTR>(kSideButtonIds[i])),
                            Module(), nullptr);
        }
        page = std::make_unique<CRegFindNFix>(Module(), registry, files, backups, FakeScanners());
        hostedPage = page.get();
        ASSERT_TRUE(page->CreateModeless(host));
        SetWindowPos(page->Handle(), nullptr, 120, 75, 642, 359, SWP_NOZORDER | SWP_SHOWWINDOW);
        ShowWindow(host, SW_SHOW);
        ui::testing::Repaint(host);
    }

    void TearDown() override {
        holdLast = false;
        page.reset();
        hostedPage = nullptr;
        DestroyWindow(host);
        WIN32_FIND_DATAA entry;
        HANDLE search = FindFirstFileA((backupFolder + "\\*.reg").c_str(), &entry);
        if (search != INVALID_HANDLE_VALUE) {
            do {
                DeleteFileA((backupFolder + "\\" + entry.cFileName).c_str());
            } while (FindNextFileA(search, &entry));
            FindClose(search);
        }
        RemoveDirectoryA(backupFolder.c_str());
    }

    HWND Page() const { return page->Handle(); }
    HWND Item(int id) const { return GetDlgItem(Page(), id); }
    std::string Command() const { return WindowText(Item(IDC_FF_COMMAND)); }
    bool Visible(int id) const { return IsWindowVisible(Item(id)) != FALSE; }
    std::string Label(int id) const {
        auto* label = dynamic_cast<ui::CLinkLabel*>(ui::Control::FromHandle(Item(id)));
        return label ? label->LabelText() : "<no label>";
    }
    ui::ListView List() const { return ui::ListView(Item(IDC_FF_CATEGORIES)); }
    std::string Cell(int row, int column) const { return List().ItemText(row, column); }

    // Handles messages until the worker has ended (or `ms` passed).
    bool WaitForWorker(DWORD ms = 20000) {
        const DWORD start = GetTickCount();
        while (page->driver().WorkerRunning()) {
            if (GetTickCount() - start > ms) return false;
            Pump(10);
        }
        Pump(50);
        return true;
    }
    template <typename Condition>
    bool PumpUntil(Condition condition, DWORD ms = 20000) {
        const DWORD start = GetTickCount();
        while (!condition()) {
            if (GetTickCount() - start > ms) return false;
            Pump(10);
        }
        return true;
    }

    // A click on a cell of the category list, as the list reports it.
    void ClickCell(int row, int column) {
        List().Select(row);
        const RECT cell = List().SubItemRect(row, column);
        NMITEMACTIVATE click{};
        click.hdr.hwndFrom = Item(IDC_FF_CATEGORIES);
        click.hdr.idFrom = IDC_FF_CATEGORIES;
        click.hdr.code = NM_CLICK;
        click.iItem = row;
        click.iSubItem = column;
        click.ptAction = POINT{(cell.left + cell.right) / 2, (cell.top + cell.bottom) / 2};
        SendMessageA(Page(), WM_NOTIFY, IDC_FF_CATEGORIES, reinterpret_cast<LPARAM>(&click));
    }

    bool ValueExists(const char* name) {
        RegKey fonts(registry);
        if (fonts.Open(hkey::kLocalMachine, kFontsKey, access::kRead) != status::kSuccess)
            return false;
        return registry.QueryValue(fonts.get(), name, nullptr, nullptr, nullptr) ==
               status::kSuccess;
    }

    int BackupFiles() const {
        int count = 0;
        WIN32_FIND_DATAA entry;
        HANDLE search = FindFirstFileA((backupFolder + "\\*.reg").c_str(), &entry);
        if (search == INVALID_HANDLE_VALUE) return 0;
        do ++count;
        while (FindNextFileA(search, &entry));
        FindClose(search);
        return count;
    }

    MemoryRegistry registry;
    Win32FileProbe files;
    Win32SystemInfo system;
    BackupStore backups{files, system};
    std::string backupFolder;
    HWND host = nullptr;
    std::unique_ptr<CRegFindNFix> page;
};

TEST_F(FindFixPage, StartsWithEightTickedCategoriesAndTheFirstDescription) {
    ui::ListView list = List();
    ASSERT_EQ(list.ItemCount(), kCategoryCount);
    const int widths[] = {200, 170, 115};
    for (int c = 0; c < 3; ++c)
        EXPECT_EQ(list.Send(LVM_GETCOLUMNWIDTH, static_cast<WPARAM>(c)), widths[c]) << c;
    const DWORD wanted = LVS_EX_GRIDLINES | LVS_EX_CHECKBOXES | LVS_EX_FULLROWSELECT;
    EXPECT_EQ(list.ExtendedStyle() & wanted, wanted);
    for (int row = 0; row < kCategoryCount; ++row) {
        EXPECT_EQ(Cell(row, 0), CategoryRowText(row + 1));
        EXPECT_TRUE(list.IsChecked(row)) << row;
    }
    EXPECT_EQ(list.SelectedRow(), 0);
    EXPECT_EQ(Label(IDC_FF_DESCRIPTION), kInitialDescription);
    EXPECT_EQ(Label(IDC_FF_TITLE), "Start Registry Repair");
    EXPECT_EQ(Label(IDC_FF_INSTRUCTION),
              "Select options you want to repair and click \"Find\".\nClick on the item to see its "
              "description below.");
    EXPECT_EQ(Command(), "Find");
    for (int hidden : {IDC_FF_CLEAR, IDC_FF_STATUS, IDC_FF_PROGRESS, IDC_FF_RESULT})
        EXPECT_FALSE(Visible(hidden)) << hidden;
    auto* bar =
        dynamic_cast<ui::CBusyProgressCtrl*>(ui::Control::FromHandle(Item(IDC_FF_PROGRESS)));
    ASSERT_NE(bar, nullptr);
    EXPECT_EQ(bar->State().blockCount, 20);
    EXPECT_EQ(bar->State().type, 1);
    EXPECT_EQ(bar->State().style, 1);

    // Progress texts: 60 characters whole, 61 as 5 + "..." + 50.
    const std::string sixty(60, 'a');
    SendMessageA(Page(), kScanProgressMessage, 0, reinterpret_cast<LPARAM>(sixty.c_str()));
    EXPECT_EQ(Label(IDC_FF_DESCRIPTION), sixty);
    const std::string longer = "12345" + std::string(6, 'x') + std::string(50, 'z');
    SendMessageA(Page(), kScanProgressMessage, 0, reinterpret_cast<LPARAM>(longer.c_str()));
    EXPECT_EQ(Label(IDC_FF_DESCRIPTION), "12345..." + std::string(50, 'z'));

    // A click on a row shows that category's description.
    ClickCell(3, 0);
    EXPECT_EQ(Label(IDC_FF_DESCRIPTION), CategoryDescription(4));
    Pixels::Capture(host).SaveBmp("find_fix_page_initial.bmp");
}

// The description box shows every category's description whole, in its
// own font and width (the File/Path Reference one takes four lines).
TEST_F(FindFixPage, TheDescriptionBoxHoldsEveryCategorysDescription) {
    const HWND box = Item(IDC_FF_DESCRIPTION);
    auto* label = dynamic_cast<ui::CLinkLabel*>(ui::Control::FromHandle(box));
    ASSERT_NE(label, nullptr);
    RECT client{};
    GetClientRect(box, &client);
    HDC dc = GetDC(box);
    const HGDIOBJ previous = SelectObject(dc, label->LabelFont());
    for (int32_t category = 1; category <= kCategoryCount; ++category) {
        const std::string text = CategoryDescription(category);
        RECT needed{0, 0, client.right, 0};
        DrawTextA(dc, text.c_str(), static_cast<int>(text.size()), &needed,
                  ui::LabelDrawFlags(static_cast<uint32_t>(GetWindowLongA(box, GWL_STYLE)), text) |
                      DT_CALCRECT);
        EXPECT_LE(needed.bottom, client.bottom) << category;
    }
    SelectObject(dc, previous);
    ReleaseDC(box, dc);
}

TEST_F(FindFixPage, ScanRunsOnTheWorkerAndFillsTheRows) {
    found[2] = 2;
    found[3] = 3;
    holdLast = true;
    List().SetChecked(3, false);  // Shared DLLs
    page->PressFind();
    // While the last category is being scanned the earlier rows are done.
    ASSERT_TRUE(PumpUntil([&] { return Cell(7, 2) == "Finding problems"; }));
    EXPECT_EQ(Command(), "Stop Find");
    EXPECT_EQ(Cell(2, 2), "View Details");
    EXPECT_TRUE(Visible(IDC_FF_PROGRESS));
    EXPECT_TRUE(Visible(IDC_FF_STATUS));
    EXPECT_FALSE(IsWindowEnabled(GetDlgItem(host, kSideButtonIds[0])));
    EXPECT_EQ(Label(IDC_FF_STATUS), "Finding Filepath Entries...");
    ASSERT_TRUE(PumpUntil([&] { return Label(IDC_FF_DESCRIPTION).rfind("HKLM\\...", 0) == 0; }));
    EXPECT_EQ(Label(IDC_FF_DESCRIPTION).size(), 58u);
    EXPECT_NE(scannerThread.load(), GetCurrentThreadId());
    Pixels::Capture(host).SaveBmp("find_fix_page_scanning.bmp");

    holdLast = false;
    ASSERT_TRUE(WaitForWorker());
    EXPECT_EQ(Command(), "Fix");
    EXPECT_TRUE(IsWindowEnabled(Item(IDC_FF_COMMAND)));
    EXPECT_EQ(Cell(0, 1), "0 Problems Found");
    EXPECT_EQ(Cell(0, 2), "No Details");
    EXPECT_EQ(Cell(1, 1), "2 Problems Found");
    EXPECT_EQ(Cell(2, 1), "3 Problems Found");
    EXPECT_EQ(Cell(3, 1), "");
    EXPECT_EQ(Cell(3, 2), "Not Selected");
    auto* list = dynamic_cast<ui::CLinkListCtrl*>(ui::Control::FromHandle(Item(IDC_FF_CATEGORIES)));
    ASSERT_NE(list, nullptr);
    ASSERT_NE(list->FindCell(1, 2), nullptr);
    EXPECT_EQ(list->FindCell(1, 2)->style, &list->LinkStyle());
    EXPECT_EQ(list->FindCell(0, 2)->style, &list->PlainStyle());
    EXPECT_TRUE(Visible(IDC_FF_RESULT));
    EXPECT_EQ(Label(IDC_FF_RESULT),
              "Quillmend has found 5 errors on your computer.\nTo repair the errors click Fix "
              "button.");
    EXPECT_TRUE(Visible(IDC_FF_CLEAR));
    EXPECT_FALSE(Visible(IDC_FF_PROGRESS));
    EXPECT_FALSE(Visible(IDC_FF_STATUS));
    EXPECT_EQ(Label(IDC_FF_INSTRUCTION),
              "Click on View Details to see the items details before Fixing the items.");
    for (int id : kSideButtonIds) EXPECT_TRUE(IsWindowEnabled(GetDlgItem(host, id))) << id;
    EXPECT_EQ(scanFinished, 1);
    ui::testing::Repaint(host);
    Pixels::Capture(host).SaveBmp("find_fix_page_found.bmp");

    // Clear empties both result columns, hides itself and the result line.
    SendMessageA(Item(IDC_FF_CLEAR), BM_CLICK, 0, 0);
    for (int row = 0; row < kCategoryCount; ++row) {
        EXPECT_EQ(Cell(row, 1), "");
        EXPECT_EQ(Cell(row, 2), "");
    }
    EXPECT_EQ(page->driver().items().Count(), 0u);
    EXPECT_EQ(page->driver().counters().totalCount, 5);
    EXPECT_EQ(Command(), "Find");
    EXPECT_FALSE(Visible(IDC_FF_CLEAR));
    EXPECT_FALSE(Visible(IDC_FF_RESULT));
    EXPECT_EQ(Label(IDC_FF_INSTRUCTION),
              "Select the options you want to Find&&Fix and click \"Find\".\nClick on the item to "
              "see its description bellow.");
}

TEST_F(FindFixPage, DetailsDialogTicksDecideWhatFixRepairs) {
    found[3] = 3;
    found[5] = 1;
    page->PressFind();
    ASSERT_TRUE(WaitForWorker());
    ASSERT_EQ(Cell(2, 2), "View Details");

    // "No Details" and a click beside the "Details" column open nothing.
    int opened = 0;
    WhenModal([&] {
        if (HWND box = FindBox()) {
            ++opened;
            SendMessageA(box, WM_COMMAND, IDCANCEL, 0);
        }
    });
    ClickCell(0, 2);
    ClickCell(2, 1);
    Pump(400);
    EXPECT_EQ(opened, 0);
    EXPECT_EQ(Label(IDC_FF_DESCRIPTION), CategoryDescription(3));

    bool checked = false;
    WhenModal([&] {
        HWND box = ShownBox();
        ASSERT_NE(box, nullptr);
        EXPECT_EQ(GetWindow(box, GW_OWNER), host);
        auto* header = dynamic_cast<ui::CLinkLabel*>(
            ui::Control::FromHandle(GetDlgItem(box, IDC_DETAILS_HEADER)));
        ASSERT_NE(header, nullptr);
        EXPECT_EQ(header->LabelText(), CategoryDetailsHeader(3));
        ui::ListBox list(GetDlgItem(box, IDC_DETAILS_LIST));
        ASSERT_EQ(list.Count(), 3);
        EXPECT_EQ(list.CurrentSelection(), 0);
        // Entries in scan order, every one ticked (the row is ticked).
        for (int i = 0; i < 3; ++i) {
            auto* item = reinterpret_cast<FoundItem*>(list.ItemData(i));
            ASSERT_NE(item, nullptr);
            EXPECT_EQ(item->valueName, Join("v", i));
            EXPECT_TRUE(item->selected);
        }
        const RECT second = list.ItemRect(1);
        EXPECT_GE(second.bottom - second.top, 30 + 3 * 12);
        ui::testing::Repaint(box);
        Pixels::Capture(box).SaveBmp("find_fix_details_dialog.bmp");
        {
            const Pixels shot = Pixels::Capture(list.Handle());
            // The tick box of the second (unselected, so white) entry, and
            // its tick.
            EXPECT_EQ(shot.At(second.left + 3, second.top + 6), RGB(28, 81, 128));
            EXPECT_EQ(shot.At(second.left + 16, second.top + 18), RGB(28, 81, 128));
            EXPECT_EQ(shot.At(second.left + 17, second.top + 19), RGB(255, 255, 255));
            EXPECT_EQ(shot.At(second.left + 15, second.top + 17), RGB(255, 255, 255));
            const RECT inside{second.left + 4, second.top + 7, second.left + 16, second.top + 18};
            EXPECT_GT(shot.Count(inside, RGB(33, 161, 33)), 8);
            // The first entry is the selected one.
            const RECT first = list.ItemRect(0);
            EXPECT_EQ(shot.At(first.right - 5, first.top + 2), RGB(201, 216, 255));
            EXPECT_EQ(shot.At(second.right - 5, second.top + 2), RGB(255, 255, 255));
            shot.SaveBmp("find_fix_details.bmp");
        }
        auto click = [&](int index, int x, int y) {
            const RECT r = list.ItemRect(index);
            const LPARAM at = MAKELPARAM(r.left + x, r.top + y);
            list.Send(WM_LBUTTONDOWN, MK_LBUTTON, at);
            list.Send(WM_LBUTTONUP, 0, at);
        };
        auto* second_item = reinterpret_cast<FoundItem*>(list.ItemData(1));
        click(1, 3, 10);  // on the frame: nothing
        EXPECT_TRUE(second_item->selected);
        click(1, 10, 6);
        EXPECT_TRUE(second_item->selected);
        click(1, 4, 10);  // one pixel further in
        EXPECT_FALSE(second_item->selected);
        EXPECT_EQ(list.CurrentSelection(), 1);  // the click also selects
        click(1, 16, 18);
        EXPECT_TRUE(second_item->selected);
        click(1, 16, 18);

        // Un Select All then Select All on the first: OK keeps what is left.
        SendMessageA(GetDlgItem(box, IDC_DETAILS_UNSELECT_ALL), BM_CLICK, 0, 0);
        for (int i = 0; i < 3; ++i)
            EXPECT_FALSE(reinterpret_cast<FoundItem*>(list.ItemData(i))->selected);
        SendMessageA(GetDlgItem(box, IDC_DETAILS_SELECT_ALL), BM_CLICK, 0, 0);
        EXPECT_EQ(list.Count(), 3);
        click(1, 10, 10);
        click(2, 10, 10);
        checked = true;
        SendMessageA(GetDlgItem(box, IDOK), BM_CLICK, 0, 0);
    });
    ClickCell(2, 2);
    ASSERT_TRUE(checked);
    EXPECT_EQ(FindBox(), nullptr);
    EXPECT_TRUE(page->driver().DetailsOpened(3));

    // Fix: the opened category's ticked item, and every item of the one never opened.
    SendMessageA(Item(IDC_FF_COMMAND), BM_CLICK, 0, 0);
    ASSERT_TRUE(WaitForWorker());
    EXPECT_FALSE(ValueExists("v0"));
    EXPECT_TRUE(ValueExists("v1"));
    EXPECT_TRUE(ValueExists("v2"));
    EXPECT_EQ(page->repairEngine().lastReport().repaired, 2);
    EXPECT_EQ(BackupFiles(), 1);
    EXPECT_EQ(repairFinished, 1);
    EXPECT_EQ(Command(), "Find");
    EXPECT_EQ(page->driver().items().Count(), 0u);
    EXPECT_EQ(SettingsStore(registry).ReadNumber(kProductName, setting::kLastFoundErrors), 2);
}

// The details dialog shows what was checked for the selected entry; Ignore
// takes the entry (Ignore Key its whole key) out of this scan, with the
// counts, the result line and the alert's count, and out of every later
// scan until the entry is removed from the stored list.
TEST_F(FindFixPage, IgnoredEntriesLeaveThisScanAndEveryLaterOne) {
    found[3] = 3;
    found[8] = 2;
    page->PressFind();
    ASSERT_TRUE(WaitForWorker());
    const auto details = [&](int row, const std::function<void(HWND, ui::ListBox&)>& act) {
        bool done = false;
        WhenModal([&] {
            HWND box = ShownBox();
            ASSERT_NE(box, nullptr);
            ui::ListBox list(GetDlgItem(box, IDC_DETAILS_LIST));
            act(box, list);
            done = true;
            SendMessageA(box, WM_COMMAND, IDCANCEL, 0);
        });
        ClickCell(row, 2);
        EXPECT_TRUE(done) << "row " << row;
    };
    const auto checkedText = [](HWND box) {
        return WindowText(GetDlgItem(box, IDC_DETAILS_CHECKED));
    };
    details(2, [&](HWND box, ui::ListBox& list) {
        EXPECT_EQ(checkedText(box), "C:\\gone\\file0 (missing)");
        list.SetCurrentSelection(1);
        SendMessageA(box, WM_COMMAND, MAKEWPARAM(IDC_DETAILS_LIST, LBN_SELCHANGE),
                     reinterpret_cast<LPARAM>(list.Handle()));
        EXPECT_EQ(checkedText(box), "C:\\gone\\file1 (missing)");
        SendMessageA(GetDlgItem(box, IDC_DETAILS_IGNORE), BM_CLICK, 0, 0);
        ASSERT_EQ(list.Count(), 2);
        EXPECT_EQ(list.CurrentSelection(), 1);
        EXPECT_EQ(reinterpret_cast<FoundItem*>(list.ItemData(1))->valueName, "v2");
        EXPECT_EQ(checkedText(box), "C:\\gone\\file2 (missing)");
    });
    details(7, [&](HWND box, ui::ListBox& list) {
        SendMessageA(GetDlgItem(box, IDC_DETAILS_IGNORE_KEY), BM_CLICK, 0, 0);
        EXPECT_EQ(list.Count(), 0);
        EXPECT_EQ(checkedText(box), "");
    });
    EXPECT_EQ(Cell(2, 1), "2 Problems Found");
    EXPECT_EQ(Cell(7, 1), "0 Problems Found");
    EXPECT_EQ(Cell(7, 2), "No Details");
    EXPECT_EQ(Label(IDC_FF_RESULT),
              "Quillmend has found 2 errors on your computer.\nTo repair the errors click Fix "
              "button. 3 items were ignored.");
    const SettingsStore settings(registry);
    EXPECT_EQ(settings.ReadNumber(kProductName, setting::kLastFoundErrors), 2);
    const IgnoreList stored = LoadIgnoreList(settings);
    EXPECT_EQ(stored.entries(),
              (std::vector<IgnoreEntry>{{3, std::string("HKLM\\") + kFontsKey, "v1", false},
                                        {0, "HKLM\\Software\\Gone8", "", true}}));

    // The next scan leaves them out from the start.
    SendMessageA(Item(IDC_FF_CLEAR), BM_CLICK, 0, 0);
    page->PressFind();
    ASSERT_TRUE(WaitForWorker());
    EXPECT_EQ(Cell(2, 1), "2 Problems Found");
    EXPECT_EQ(Cell(7, 1), "0 Problems Found");
    EXPECT_EQ(settings.ReadNumber(kProductName, setting::kLastFoundErrors), 2);

    // Without the key's entry its items come back.
    StoreIgnoreList(settings, IgnoreList({stored.entries()[0]}));
    SendMessageA(Item(IDC_FF_CLEAR), BM_CLICK, 0, 0);
    page->PressFind();
    ASSERT_TRUE(WaitForWorker());
    EXPECT_EQ(Cell(7, 1), "2 Problems Found");
    EXPECT_EQ(Label(IDC_FF_RESULT),
              "Quillmend has found 4 errors on your computer.\nTo repair the errors click Fix "
              "button. 1 item was ignored.");
}

TEST_F(FindFixPage, FixWithEveryRowUntickedAsksInABoxOfTheMainWindow) {
    found[6] = 1;
    page->PressFind();
    ASSERT_TRUE(WaitForWorker());
    for (int row = 0; row < kCategoryCount; ++row) List().SetChecked(row, false);
    std::string text;
    HWND owner = nullptr;
    WhenModal([&] {
        if (HWND box = ShownBox()) {
            text = WindowText(GetDlgItem(box, 0xFFFF));
            owner = GetWindow(box, GW_OWNER);
            SendMessageA(box, WM_COMMAND, IDOK, 0);
        }
    });
    SendMessageA(Item(IDC_FF_COMMAND), BM_CLICK, 0, 0);
    ASSERT_TRUE(WaitForWorker());
    EXPECT_EQ(text, "Please select atleast one item.");
    EXPECT_EQ(owner, host);
    EXPECT_EQ(Command(), "Find");
    EXPECT_EQ(BackupFiles(), 0);
}

// A real mouse click on a "View Details" cell: the list view's own click
// notification leads to the dialog of that row's category.
TEST_F(FindFixPage, MouseClickOnViewDetailsOpensThatCategory) {
    found[5] = 2;
    page->PressFind();
    ASSERT_TRUE(WaitForWorker());
    SetForegroundWindow(host);
    ui::testing::Repaint(host);
    int count = -1;
    WhenModal([&] {
        if (HWND box = ShownBox()) {
            count = ui::ListBox(GetDlgItem(box, IDC_DETAILS_LIST)).Count();
            SendMessageA(box, WM_COMMAND, IDCANCEL, 0);
        }
    });
    RECT cell = List().SubItemRect(4, 2);
    MapWindowPoints(Item(IDC_FF_CATEGORIES), HWND_DESKTOP, reinterpret_cast<POINT*>(&cell), 2);
    SetCursorPos(cell.left + 10, (cell.top + cell.bottom) / 2);
    Pump(100);
    mouse_event(MOUSEEVENTF_LEFTDOWN, 0, 0, 0, 0);
    Pump(50);
    mouse_event(MOUSEEVENTF_LEFTUP, 0, 0, 0, 0);
    ASSERT_TRUE(PumpUntil([&] { return count >= 0; }, 5000));
    EXPECT_EQ(count, 2);
    EXPECT_EQ(List().SelectedRow(), 4);
    EXPECT_EQ(Label(IDC_FF_DESCRIPTION), CategoryDescription(5));
}

// With "repairafterfind" set, a details dialog opened during the scan is
// closed (and lets go of the items) before the repair empties the list.
TEST_F(FindFixPage, AutomaticRepairClosesADetailsDialogOpenedDuringTheScan) {
    SettingsStore(registry).WriteNumber(kProductName, setting::kRepairAfterFind, 1);
    found[3] = 2;
    holdLast = true;
    page->PressFind();
    ASSERT_TRUE(PumpUntil([&] { return Cell(2, 2) == "View Details"; }));
    bool closedByPage = false;
    bool showedGoneItems = false;
    WhenModal([&] {
        HWND box = ShownBox();
        ASSERT_NE(box, nullptr);
        ui::ListBox list(GetDlgItem(box, IDC_DETAILS_LIST));
        EXPECT_EQ(list.Count(), 2);
        // Nothing leaves the list while the scan adds to it.
        EXPECT_FALSE(IsWindowEnabled(GetDlgItem(box, IDC_DETAILS_IGNORE)));
        EXPECT_FALSE(IsWindowEnabled(GetDlgItem(box, IDC_DETAILS_IGNORE_KEY)));
        // Untick one: the automatic repair takes every item all the same.
        const RECT r = list.ItemRect(0);
        list.Send(WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(r.left + 8, r.top + 10));
        list.Send(WM_LBUTTONUP, 0, MAKELPARAM(r.left + 8, r.top + 10));
        holdLast = false;
        // The page empties and ends the dialog; it must never show entries
        // whose items are gone.
        const DWORD start = GetTickCount();
        while (list.Count() > 0 && GetTickCount() - start < 20000) {
            Pump(1);
            if (page->driver().items().Count() == 0 && list.Count() > 0) showedGoneItems = true;
        }
        closedByPage = list.Count() == 0;
    });
    ClickCell(2, 2);
    EXPECT_TRUE(closedByPage);
    EXPECT_FALSE(showedGoneItems);
    ASSERT_TRUE(WaitForWorker());
    EXPECT_FALSE(ValueExists("v0"));
    EXPECT_FALSE(ValueExists("v1"));
    EXPECT_TRUE(ValueExists("v2"));
    EXPECT_EQ(repairFinished, 1);
    EXPECT_EQ(Command(), "Find");
}

// Stopping while the worker keeps sending to the page returns at once, and
// a program that is closing starts no automatic repair.
TEST_F(FindFixPage, StopWorkerHandlesTheWorkersMessagesWhileItWaits) {
    SettingsStore(registry).WriteNumber(kProductName, setting::kRepairAfterFind, 1);
    found[3] = 3;
    holdLast = true;
    page->PressFind();
    ASSERT_TRUE(PumpUntil([&] { return Cell(7, 2) == "Finding problems"; }));
    Pump(200);
    const DWORD start = GetTickCount();
    page->StopWorker();
    EXPECT_LT(GetTickCount() - start, 10000u);
    EXPECT_FALSE(page->driver().WorkerRunning());
    EXPECT_TRUE(ValueExists("v0"));
    EXPECT_EQ(BackupFiles(), 0);
    EXPECT_EQ(Command(), "Find");

    // The next Find works as usual; the page can go while it runs.
    holdLast = true;
    SendMessageA(Item(IDC_FF_COMMAND), BM_CLICK, 0, 0);
    ASSERT_TRUE(PumpUntil([&] { return Cell(7, 2) == "Finding problems"; }));
    page.reset();
    hostedPage = nullptr;
    EXPECT_TRUE(ValueExists("v0"));
}

// Stop Find: the button offers Fix at once but stays disabled until the
// stopped worker has ended.
TEST_F(FindFixPage, StopFindDisablesTheButtonUntilTheWorkerEnds) {
    found[2] = 1;
    holdLast = true;
    page->PressFind();
    ASSERT_TRUE(PumpUntil([&] { return Cell(7, 2) == "Finding problems"; }));
    SendMessageA(Item(IDC_FF_COMMAND), BM_CLICK, 0, 0);
    EXPECT_EQ(Command(), "Fix");
    EXPECT_FALSE(IsWindowEnabled(Item(IDC_FF_COMMAND)));
    ASSERT_TRUE(WaitForWorker());
    EXPECT_TRUE(IsWindowEnabled(Item(IDC_FF_COMMAND)));
    EXPECT_EQ(Cell(7, 1), "0 Problems Found");
    EXPECT_EQ(Command(), "Fix");
}

}  // namespace
}  // namespace qm

int main(int argc, char** argv) {
    INITCOMMONCONTROLSEX controls{sizeof controls, ICC_LISTVIEW_CLASSES | ICC_PROGRESS_CLASS};
    InitCommonControlsEx(&controls);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
