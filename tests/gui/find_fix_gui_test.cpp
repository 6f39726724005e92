// The Find & Fix page of the running program: scans of the seeded demo
// prefix, the details dialog, Stop Find, Fix with its backup and Restore on
// the Backup and Recovery page, the automatic repair and the first start.
#include <gtest/gtest.h>
#include <windows.h>

#include <commctrl.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "res/resource.h"
#include "tests/gui/test_world.h"

namespace qm::gui_test {
namespace {

constexpr int kColumnOption = 0, kColumnFound = 1, kColumnDetails = 2;

std::string Found(int count) {
    char text[64];
    std::snprintf(text, sizeof text, "%d Problems Found", count);
    return text;
}

int FoundCount(const std::string& cell) {
    int n = -1;
    char rest[32] = {};
    if (std::sscanf(cell.c_str(), "%d %31[^\n]", &n, rest) != 2) return -1;
    return std::string(rest) == "Problems Found" ? n : -1;
}

// An entry of another process's list box. Asked in the "A" form, Wine hands
// such an entry back in UTF-16 without converting it (and past the end of a
// buffer sized for the "A" length), so it is asked for in the "W" form with
// room for the longest entry Wine passes between processes.
std::string ListBoxText(HWND list, int index) {
    std::vector<wchar_t> wide(2048);
    DWORD_PTR copied = 0;
    if (!SendMessageTimeoutW(list, LB_GETTEXT, index, reinterpret_cast<LPARAM>(wide.data()),
                             SMTO_NORMAL, 20000, &copied) ||
        static_cast<LRESULT>(copied) <= 0)
        return {};
    wide.back() = 0;
    const int size = WideCharToMultiByte(CP_ACP, 0, wide.data(), -1, nullptr, 0, nullptr, nullptr);
    std::string text(size > 0 ? static_cast<size_t>(size) : 1, '\0');
    WideCharToMultiByte(CP_ACP, 0, wide.data(), -1, text.data(), size, nullptr, nullptr);
    text.resize(std::strlen(text.c_str()));
    return text;
}

class FindFixTest : public QuillmendTest {
  protected:
    // Every expected entry of these categories is in the registry (or not).
    void ExpectEntries(const std::vector<int>& categories, bool present) {
        for (int c : categories) {
            for (const auto& item : ExpectedIn(c)) {
                EXPECT_EQ(EntryExists(item), present)
                    << "category " << c << ": " << item.keyPath << " / " << item.valueName;
            }
        }
    }

    // Opens the details of a category through its "View Details" cell.
    HWND OpenDetails(int category) {
        RemoteListView rows = List(IDC_FF_CATEGORIES);
        rows.ClickCell(category - 1, kColumnDetails);
        HWND dialog = nullptr;
        WaitFor([&] { return (dialog = app_->DialogWithControl(IDC_DETAILS_LIST)) != nullptr; },
                15000);
        if (!dialog)
            ADD_FAILURE() << "View Details of category " << category << " opened no dialog";
        return dialog;
    }
    void CloseDetails(HWND dialog) {
        PostMessageA(dialog, WM_COMMAND, IDCANCEL, 0);
        EXPECT_TRUE(WaitFor([&] { return !IsWindow(dialog); }, 10000));
    }
    static int Count(HWND list) {
        LRESULT count = -1;
        Send(list, LB_GETCOUNT, 0, 0, &count);
        return static_cast<int>(count);
    }

    // Opens the details of a category and returns the dialog's entries; the
    // dialog is closed again.
    std::vector<std::string> DetailsOf(int category, const char* picture = nullptr) {
        std::vector<std::string> entries;
        HWND dialog = OpenDetails(category);
        if (!dialog) return entries;
        EXPECT_EQ(WindowText(dialog), "Quillmend");
        HWND list = GetDlgItem(dialog, IDC_DETAILS_LIST);
        for (int i = 0; i < Count(list); ++i) entries.push_back(ListBoxText(list, i));
        // What was checked for the first entry, which is the selected one.
        const ExpectedItem first = ExpectedIn(category).front();
        EXPECT_NE(WindowText(GetDlgItem(dialog, IDC_DETAILS_CHECKED)).find(" (missing)"),
                  std::string::npos)
            << "category " << category;
        if (first.valueName == "GoneToolbar") {
            EXPECT_EQ(WindowText(GetDlgItem(dialog, IDC_DETAILS_CHECKED)),
                      first.data + " (missing)");
        }
        if (picture) Snapshot(dialog, picture);
        CloseDetails(dialog);
        return entries;
    }

    // Puts back what a repair deleted.
    void ReimportDemo() { EXPECT_TRUE(ImportRegistryFile(Paths().demoReg)); }
};

// All eight categories of the demo prefix: every row reports the count the
// headless scanner found, and each "View Details" lists exactly that
// category's items in scan order.
TEST_F(FindFixTest, FindOnAllCategoriesShowsEachCategorysItems) {
    ASSERT_TRUE(Launch());
    HWND page = Page(IDC_FF_CATEGORIES);
    ASSERT_TRUE(page && IsWindowVisible(page)) << "Find & Fix is not the first page";
    RemoteListView rows = List(IDC_FF_CATEGORIES);
    ASSERT_EQ(rows.Count(), 8);
    for (int row = 0; row < 8; ++row) EXPECT_TRUE(rows.Checked(row)) << "row " << row;
    EXPECT_EQ(rows.Text(0, kColumnOption), "COM/ActiveX Entries");
    EXPECT_EQ(rows.Text(7, kColumnOption), "File/Path Reference");

    FindAndWait();
    int total = 0;
    for (int c = 1; c <= 8; ++c) {
        const size_t expected = ExpectedIn(c).size();
        total += static_cast<int>(expected);
        EXPECT_EQ(rows.Text(c - 1, kColumnFound), Found(static_cast<int>(expected)))
            << "category " << c;
        EXPECT_EQ(rows.Text(c - 1, kColumnDetails), expected ? "View Details" : "No Details")
            << "category " << c;
    }
    EXPECT_EQ(CommandText(), "Fix");
    EXPECT_EQ(Setting("lastfounderrors"), std::to_string(total));
    HWND result = Control(IDC_FF_CATEGORIES, IDC_FF_RESULT);
    EXPECT_TRUE(IsWindowVisible(result));
    EXPECT_EQ(WindowText(result), "Quillmend has found " + std::to_string(total) +
                                      " errors on your computer.\nTo repair the errors click "
                                      "Fix button.");
    EXPECT_TRUE(IsWindowVisible(Control(IDC_FF_CATEGORIES, IDC_FF_CLEAR)));
    Snapshot(main_, "find-fix");

    for (int c = 1; c <= 8; ++c) {
        const auto expected = ExpectedIn(c);
        if (expected.empty()) continue;
        const auto entries = DetailsOf(c, c == 2 ? "details" : nullptr);
        ASSERT_EQ(entries.size(), expected.size()) << "category " << c;
        for (size_t i = 0; i < entries.size(); ++i) {
            EXPECT_EQ(entries[i], expected[i].detail) << "category " << c << " entry " << i;
        }
    }
}

// The details dialog's Ignore and Ignore Key take entries out of this scan
// and the next, and the count the alert shows; the Options page lists them,
// and removing one there brings its item back.
TEST_F(FindFixTest, IgnoredEntriesStayOutUntilRemovedOnTheOptionsPage) {
    const std::string uninstall = ExpectedIn(2).front().keyPath + "\\GoneToolbar";
    // Key paths compare without regard to case, as the registry's do (Wine
    // spells "Software" where the demo file has "SOFTWARE").
    const auto lower = [](std::string text) {
        CharLowerBuffA(text.data(), static_cast<DWORD>(text.size()));
        return text;
    };
    const auto hidden = [&](const ExpectedItem& item) {
        const std::string key = lower(item.keyPath);
        const std::string base = lower(uninstall);
        const bool below = key == base || key.rfind(base + "\\", 0) == 0;
        return (item.category == 3 && item.valueName == "Gone Script (TrueType)") ||
               (item.category == 2 && item.valueName == "GoneToolbar") || below;
    };
    int counts[9] = {};
    int total = 0, left = 0;
    for (const ExpectedItem& item : ExpectedItems()) {
        ++total;
        if (!hidden(item)) ++counts[item.category], ++left;
    }
    ASSERT_EQ(total - left, 3) << "the demo changed";
    // Where the two entries stand in their categories' lists (the prefix's
    // own entries may come first).
    const auto indexOf = [](int category, const std::string& name) {
        const auto items = ExpectedIn(category);
        for (size_t i = 0; i < items.size(); ++i)
            if (items[i].valueName == name) return static_cast<int>(i);
        return -1;
    };
    const int font = indexOf(3, "Gone Script (TrueType)");
    const int toolbar = indexOf(2, "GoneToolbar");
    ASSERT_GE(font, 0);
    ASSERT_GE(toolbar, 0);
    // Selects an entry of the open dialog as a click would.
    const auto select = [](HWND dialog, int index) {
        HWND list = GetDlgItem(dialog, IDC_DETAILS_LIST);
        Send(list, LB_SETCURSEL, index, 0);
        PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(IDC_DETAILS_LIST, LBN_SELCHANGE),
                     reinterpret_cast<LPARAM>(list));
    };

    ASSERT_TRUE(Launch());
    FindAndWait();
    HWND dialog = OpenDetails(3);
    ASSERT_TRUE(dialog);
    HWND list = GetDlgItem(dialog, IDC_DETAILS_LIST);
    const int fonts = Count(list);
    select(dialog, font);
    EXPECT_TRUE(WaitFor(
        [&] {
            return WindowText(GetDlgItem(dialog, IDC_DETAILS_CHECKED))
                       .find("gonescr.ttf (missing)") != std::string::npos;
        },
        10000))
        << WindowText(GetDlgItem(dialog, IDC_DETAILS_CHECKED));
    PostCommand(GetDlgItem(dialog, IDC_DETAILS_IGNORE));
    EXPECT_TRUE(WaitFor([&] { return Count(list) == fonts - 1; }, 10000));
    CloseDetails(dialog);
    dialog = OpenDetails(2);
    ASSERT_TRUE(dialog);
    list = GetDlgItem(dialog, IDC_DETAILS_LIST);
    select(dialog, toolbar);
    PostCommand(GetDlgItem(dialog, IDC_DETAILS_IGNORE_KEY));
    EXPECT_TRUE(WaitFor([&] { return Count(list) == counts[2]; }, 10000));
    CloseDetails(dialog);

    RemoteListView rows = List(IDC_FF_CATEGORIES);
    const auto expectCounts = [&](const char* when) {
        for (int c = 1; c <= 8; ++c)
            EXPECT_EQ(rows.Text(c - 1, kColumnFound), Found(counts[c])) << when << ", " << c;
        EXPECT_EQ(Setting("lastfounderrors"), std::to_string(left)) << when;
        EXPECT_EQ(WindowText(Control(IDC_FF_CATEGORIES, IDC_FF_RESULT)),
                  "Quillmend has found " + std::to_string(left) +
                      " errors on your computer.\nTo repair the errors click Fix button. " +
                      std::to_string(total - left) + " items were ignored.")
            << when;
    };
    expectCounts("after ignoring");
    Snapshot(main_, "find-fix-ignored");
    PostCommand(Control(IDC_FF_CATEGORIES, IDC_FF_CLEAR));
    ASSERT_TRUE(WaitFor([&] { return CommandText() == "Find"; }, 10000));
    FindAndWait();
    expectCounts("the next scan");

    HWND options = ShowPage(IDC_SHOW_OPTIONS, IDC_OPTIONS_IGNORED);
    HWND ignored = GetDlgItem(options, IDC_OPTIONS_IGNORED);
    ASSERT_EQ(Count(ignored), 2);
    EXPECT_EQ(ListBoxText(ignored, 0),
              "Font Entries: " + ExpectedIn(3).front().keyPath + ", \"Gone Script (TrueType)\"");
    EXPECT_EQ(ListBoxText(ignored, 1), "Every category: " + uninstall + " and everything below it");
    Send(ignored, LB_SETSEL, TRUE, 0);
    Snapshot(main_, "options-ignored");
    PostCommand(GetDlgItem(options, IDC_OPTIONS_IGNORED_REMOVE));
    EXPECT_TRUE(WaitFor([&] { return Count(ignored) == 1; }, 10000));
    std::string stored;
    EXPECT_TRUE(
        ReadString(HKEY_LOCAL_MACHINE, std::string(kSettingsKey) + "\\Ignore", "1", stored));
    EXPECT_EQ(stored, "*\t" + uninstall);

    ShowPage(IDC_SHOW_FIND_FIX, IDC_FF_CATEGORIES);
    PostCommand(Control(IDC_FF_CATEGORIES, IDC_FF_CLEAR));
    ASSERT_TRUE(WaitFor([&] { return CommandText() == "Find"; }, 10000));
    FindAndWait();
    EXPECT_EQ(rows.Text(2, kColumnFound), Found(fonts));
    EXPECT_EQ(rows.Text(1, kColumnFound), Found(counts[2]));
    EXPECT_EQ(Setting("lastfounderrors"), std::to_string(left + 1));
}

// Stop Find during the first category: the button changes at once, every
// ticked row still ends with a count, and the count so far is stored.
TEST_F(FindFixTest, StopFindEndsTheScanEarly) {
    ASSERT_TRUE(Launch());
    TickCategories({1, 8});
    RemoteListView rows = List(IDC_FF_CATEGORIES);
    PostCommand(Control(IDC_FF_CATEGORIES, IDC_FF_COMMAND));
    ASSERT_TRUE(WaitFor([&] { return rows.Text(0, kColumnDetails) == "Finding problems"; }, 15000))
        << "the first category did not start";
    EXPECT_EQ(CommandText(), "Stop Find");
    EXPECT_FALSE(SideButtonsEnabled()) << "the page buttons stay enabled during a scan";
    PostCommand(Control(IDC_FF_CATEGORIES, IDC_FF_COMMAND));
    EXPECT_TRUE(WaitFor(
        [&] {
            const std::string t = CommandText();
            return t == "Fix" || t == "Find";
        },
        3000))
        << "Stop Find left the button at " << CommandText();
    ASSERT_TRUE(WaitIdle(120000));
    const int com = FoundCount(rows.Text(0, kColumnFound));
    const int paths = FoundCount(rows.Text(7, kColumnFound));
    EXPECT_GE(com, 0) << rows.Text(0, kColumnFound);
    EXPECT_GE(paths, 0) << rows.Text(7, kColumnFound);
    EXPECT_LT(paths, static_cast<int>(ExpectedIn(8).size()))
        << "the File/Path walk was not stopped";
    for (int row : {1, 2, 3, 4, 5, 6}) EXPECT_EQ(rows.Text(row, kColumnDetails), "Not Selected");
    EXPECT_EQ(Setting("lastfounderrors"), std::to_string(com + paths));
    EXPECT_EQ(CommandText(), com + paths > 0 ? "Fix" : "Find");
}

TEST_F(FindFixTest, FindWithNothingTickedAsksForOne) {
    ASSERT_TRUE(Launch());
    // A start that is not the first does not scan by itself.
    Sleep(1500);
    EXPECT_EQ(CommandText(), "Find");
    TickCategories({});
    PostCommand(Control(IDC_FF_CATEGORIES, IDC_FF_COMMAND));
    HWND box = app_->WaitMessageBox(15000);
    ASSERT_TRUE(box) << "no message box";
    EXPECT_EQ(MessageBoxText(box), "Please select atleast one item.");
    EXPECT_TRUE(PressOk(box));
    EXPECT_TRUE(WaitFor([&] { return CommandText() == "Find"; }, 5000)) << CommandText();
    EXPECT_TRUE(WaitFor([&] { return SideButtonsEnabled(); }, 5000));
}

// Fix deletes what was found after writing it into one backup file; the
// Backup and Recovery page lists that file, and Restore puts every entry
// back and removes the file.
TEST_F(FindFixTest, FixBacksUpAndRestoreBringsEverythingBack) {
    const std::vector<int> fixed = {2, 4, 5, 6, 7};
    ExpectEntries(fixed, true);
    ASSERT_TRUE(Launch());
    TickCategories(fixed);
    FindAndWait();
    ASSERT_EQ(CommandText(), "Fix");
    PostCommand(Control(IDC_FF_CATEGORIES, IDC_FF_COMMAND));
    RemoteListView rows = List(IDC_FF_CATEGORIES);
    ASSERT_TRUE(WaitFor(
        [&] {
            return CommandText() == "Find" && SideButtonsEnabled() &&
                   rows.Text(1, kColumnFound).empty();
        },
        120000))
        << "the page was not reset after Fix: " << CommandText();
    ExpectEntries(fixed, false);
    ExpectEntries({3}, true);  // not ticked: left alone
    EXPECT_EQ(Setting("lastfounderrors"), "0");
    const auto files = FilesIn(BackupFolder());
    ASSERT_EQ(files.size(), 1u) << "one backup file per repair";

    HWND backupPage = ShowPage(IDC_SHOW_BACKUP, IDC_BACKUP_LIST);
    RemoteListView backups = List(IDC_BACKUP_LIST);
    ASSERT_EQ(backups.Count(), 1);
    EXPECT_EQ(backups.Text(0, 0), files[0]);
    EXPECT_EQ(backups.Text(0, 2),
              std::to_string(ReadFileBytes(BackupFolder() + "\\" + files[0]).size()));
    Snapshot(main_, "backup");

    ASSERT_TRUE(backups.SetChecked(0, true));
    PostCommand(GetDlgItem(backupPage, IDC_BACKUP_RESTORE));
    HWND box = app_->WaitMessageBox(120000);
    ASSERT_TRUE(box) << "Restore showed no message";
    EXPECT_EQ(MessageBoxText(box), "Succesfully Restored");
    PressOk(box);
    EXPECT_TRUE(WaitFor([&] { return backups.Count() == 0; }, 10000));
    EXPECT_TRUE(FilesIn(BackupFolder()).empty()) << "the restored backup file is still there";
    ExpectEntries(fixed, true);
}

// "repairafterfind" = 1: the scan repairs what it found by itself.
TEST_F(FindFixTest, RepairAfterFindRepairsAtTheEndOfTheScan) {
    SetSetting("repairafterfind", "1");
    ExpectEntries({5}, true);
    ASSERT_TRUE(Launch());
    TickCategories({5});
    RemoteListView rows = List(IDC_FF_CATEGORIES);
    PostCommand(Control(IDC_FF_CATEGORIES, IDC_FF_COMMAND));
    ASSERT_TRUE(WaitFor([&] { return FilesIn(BackupFolder()).size() == 1; }, 60000))
        << "no backup file: nothing was repaired";
    ASSERT_TRUE(WaitFor(
        [&] {
            return CommandText() == "Find" && SideButtonsEnabled() &&
                   rows.Text(4, kColumnFound).empty();
        },
        60000));
    ExpectEntries({5}, false);
    EXPECT_FALSE(IsWindowVisible(Control(IDC_FF_CATEGORIES, IDC_FF_RESULT)));
    ReimportDemo();
}

// With no "FirstTime" stored the program scans by itself after starting.
TEST_F(FindFixTest, FirstStartScansByItself) {
    ClearSetting("FirstTime");
    ASSERT_TRUE(Launch());
    ASSERT_TRUE(WaitFor([&] { return CommandText() == "Stop Find"; }, 20000))
        << "no scan started; the button reads " << CommandText();
    EXPECT_EQ(Setting("FirstTime"), "1");
    PostCommand(Control(IDC_FF_CATEGORIES, IDC_FF_COMMAND));
    EXPECT_TRUE(WaitIdle(120000));
}

}  // namespace
}  // namespace qm::gui_test
