// The Startup Manager and the Backup and Recovery page's Remove, on the
// running program: rows ticked and unticked from outside, checked against
// the registry and the folders.
#include <gtest/gtest.h>
#include <windows.h>

#include <objbase.h>
#include <shlobj.h>

#include <string>

#include "res/resource.h"
#include "tests/gui/test_world.h"

namespace qm::gui_test {
namespace {

constexpr char kRun[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Run";
constexpr char kStartupReg[] = "SOFTWARE\\Microsoft\\Shared Tools\\MSConfig\\startupreg";
constexpr char kStartupFolder[] = "SOFTWARE\\Microsoft\\Shared Tools\\MSConfig\\startupfolder";
constexpr char kShellFolders[] =
    "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";

constexpr char kMachineItem[] = "GUI Test Machine";
constexpr char kUserItem[] = "GUI Test User";
constexpr char kLinkItem[] = "GUI Test Link";

bool MakeShortcut(const std::string& path, const std::string& target, const std::string& args) {
    IShellLinkA* link = nullptr;
    if (FAILED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkA,
                                reinterpret_cast<void**>(&link))))
        return false;
    link->SetPath(target.c_str());
    link->SetArguments(args.c_str());
    IPersistFile* file = nullptr;
    bool saved = false;
    if (SUCCEEDED(link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file)))) {
        wchar_t wide[MAX_PATH] = {};
        MultiByteToWideChar(CP_ACP, 0, path.c_str(), -1, wide, MAX_PATH);
        saved = SUCCEEDED(file->Save(wide, TRUE));
        file->Release();
    }
    link->Release();
    return saved;
}

class StartupTest : public QuillmendTest {
  protected:
    void SetUp() override {
        QuillmendTest::SetUp();
        char windows[MAX_PATH] = {};
        GetWindowsDirectoryA(windows, MAX_PATH);
        notepad_ = std::string(windows) + "\\notepad.exe";
        pss_ = std::string(windows) + "\\pss\\" + kLinkItem + ".lnkStartup";
        ASSERT_TRUE(ReadString(HKEY_CURRENT_USER, kShellFolders, "Startup", folder_) &&
                    !folder_.empty())
            << "no Startup folder in Shell Folders";
        CreateDirectoryA(folder_.c_str(), nullptr);
        link_ = folder_ + "\\" + kLinkItem + ".lnk";
        Cleanup();
        ASSERT_TRUE(WriteString(HKEY_LOCAL_MACHINE, kRun, kMachineItem, notepad_ + " /machine"));
        ASSERT_TRUE(WriteString(HKEY_CURRENT_USER, kRun, kUserItem, notepad_ + " /user"));
        ASSERT_TRUE(MakeShortcut(link_, notepad_, "/link"));
        linkBytes_ = ReadFileBytes(link_);
        ASSERT_FALSE(linkBytes_.empty());
    }
    void TearDown() override {
        QuillmendTest::TearDown();
        Cleanup();
    }
    void Cleanup() {
        DeleteValue(HKEY_LOCAL_MACHINE, kRun, kMachineItem);
        DeleteValue(HKEY_CURRENT_USER, kRun, kUserItem);
        DeleteTree(HKEY_LOCAL_MACHINE, std::string(kStartupReg) + "\\" + kMachineItem);
        DeleteTree(HKEY_LOCAL_MACHINE, std::string(kStartupReg) + "\\" + kUserItem);
        DeleteTree(HKEY_LOCAL_MACHINE, std::string(kStartupFolder) + "\\" + LinkRecord());
        DeleteFileA(link_.c_str());
        DeleteFileA(pss_.c_str());
    }
    std::string LinkRecord() const {
        std::string name = link_;
        for (char& c : name) {
            if (c == '\\') c = '^';
        }
        return name;
    }
    std::string RunValue(HKEY root, const char* name) const {
        std::string text;
        return ReadString(root, kRun, name, text) ? text : "<missing>";
    }
    std::string Record(const char* name, const char* value) const {
        std::string text;
        return ReadString(HKEY_LOCAL_MACHINE, std::string(kStartupReg) + "\\" + name, value, text)
                   ? text
                   : "<missing>";
    }
    // Unticks or ticks a row and waits for `done`.
    void Switch(RemoteListView& list, int row, bool on, const std::function<bool()>& done,
                const char* what) {
        ASSERT_GE(row, 0) << what << ": no row";
        ASSERT_TRUE(list.SetChecked(row, on)) << what;
        EXPECT_TRUE(WaitFor(done, 10000)) << what;
    }

    std::string notepad_, pss_, folder_, link_, linkBytes_;
};

TEST_F(StartupTest, RowsSwitchRunValuesAndShortcutsOffAndOn) {
    ASSERT_TRUE(Launch());
    ShowPage(IDC_SHOW_STARTUP, IDC_STARTUP_LIST);
    RemoteListView list = List(IDC_STARTUP_LIST);
    const int machine = list.Find(0, kMachineItem);
    const int user = list.Find(0, kUserItem);
    const int link = list.Find(0, kLinkItem);
    ASSERT_GE(machine, 0);
    ASSERT_GE(user, 0);
    ASSERT_GE(link, 0);
    EXPECT_EQ(list.Text(machine, 1), notepad_ + " /machine");
    EXPECT_EQ(list.Text(machine, 2), "HKLM/Run");
    EXPECT_EQ(list.Text(user, 2), "HKCU/Run");
    EXPECT_EQ(list.Text(link, 1), notepad_ + " /link");
    EXPECT_EQ(list.Text(link, 2), "Start Menu");
    for (int row : {machine, user, link}) EXPECT_TRUE(list.Checked(row)) << "row " << row;
    // Filling the list switched nothing.
    EXPECT_EQ(RunValue(HKEY_LOCAL_MACHINE, kMachineItem), notepad_ + " /machine");
    EXPECT_TRUE(FileExists(link_));
    Snapshot(main_, "startup");

    Switch(
        list, machine, false,
        [&] { return RunValue(HKEY_LOCAL_MACHINE, kMachineItem) == "<missing>"; }, "HKLM off");
    EXPECT_EQ(Record(kMachineItem, "command"), notepad_ + " /machine");
    EXPECT_EQ(Record(kMachineItem, "hkey"), "HKLM");
    EXPECT_EQ(Record(kMachineItem, "key"), "Run");
    Switch(
        list, machine, true,
        [&] { return RunValue(HKEY_LOCAL_MACHINE, kMachineItem) == notepad_ + " /machine"; },
        "HKLM on");
    EXPECT_EQ(Record(kMachineItem, "item"), "<missing>") << "the record stays after switching on";

    Switch(
        list, user, false, [&] { return RunValue(HKEY_CURRENT_USER, kUserItem) == "<missing>"; },
        "HKCU off");
    EXPECT_EQ(Record(kUserItem, "hkey"), "HKCU");
    Switch(
        list, user, true,
        [&] { return RunValue(HKEY_CURRENT_USER, kUserItem) == notepad_ + " /user"; }, "HKCU on");
    EXPECT_EQ(Record(kUserItem, "item"), "<missing>");

    Switch(
        list, link, false, [&] { return !FileExists(link_); }, "shortcut off");
    EXPECT_EQ(ReadFileBytes(pss_), linkBytes_) << "the parked shortcut is not the shortcut";
    EXPECT_TRUE(KeyExists(HKEY_LOCAL_MACHINE, std::string(kStartupFolder) + "\\" + LinkRecord()));
    Switch(
        list, link, true, [&] { return FileExists(link_); }, "shortcut on");
    EXPECT_EQ(ReadFileBytes(link_), linkBytes_);
    EXPECT_FALSE(FileExists(pss_));
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, std::string(kStartupFolder) + "\\" + LinkRecord()));
}

// An item switched off stays off across a restart, is listed with its
// record's location, and its row switches it back on.
TEST_F(StartupTest, SwitchedOffItemIsListedOffAfterRestart) {
    ASSERT_TRUE(Launch());
    ShowPage(IDC_SHOW_STARTUP, IDC_STARTUP_LIST);
    {
        RemoteListView list = List(IDC_STARTUP_LIST);
        Switch(
            list, list.Find(0, kMachineItem), false,
            [&] { return RunValue(HKEY_LOCAL_MACHINE, kMachineItem) == "<missing>"; }, "off");
    }
    Quit();
    ASSERT_TRUE(Launch());
    ShowPage(IDC_SHOW_STARTUP, IDC_STARTUP_LIST);
    RemoteListView list = List(IDC_STARTUP_LIST);
    const int row = list.Find(0, kMachineItem);
    ASSERT_GE(row, 0);
    EXPECT_FALSE(list.Checked(row));
    EXPECT_EQ(list.Text(row, 2), "HKLM\\Run");
    EXPECT_EQ(RunValue(HKEY_LOCAL_MACHINE, kMachineItem), "<missing>") << "opening switched it on";
    Switch(
        list, row, true,
        [&] { return RunValue(HKEY_LOCAL_MACHINE, kMachineItem) == notepad_ + " /machine"; },
        "on after restart");
    EXPECT_EQ(Record(kMachineItem, "item"), "<missing>");
}

// Remove deletes the checked backup file without a question; with nothing
// checked, Remove and Restore say so; an empty file is never listed.
TEST_F(QuillmendTest, BackupRemoveDeletesTheCheckedFile) {
    CreateDirectoryA(BackupFolder().c_str(), nullptr);
    const std::string kept = BackupFolder() + "\\manual.reg";
    const std::string empty = BackupFolder() + "\\empty.reg";
    ASSERT_TRUE(WriteFile(kept, "REGEDIT4\r\n\r\n"));
    ASSERT_TRUE(WriteFile(empty, ""));
    ASSERT_TRUE(Launch());
    HWND page = ShowPage(IDC_SHOW_BACKUP, IDC_BACKUP_LIST);
    RemoteListView list = List(IDC_BACKUP_LIST);
    ASSERT_EQ(list.Count(), 1) << "the empty file is listed";
    EXPECT_EQ(list.Text(0, 0), "manual.reg");
    EXPECT_EQ(list.Text(0, 2), "12");

    struct Case {
        int button;
        const char* message;
    };
    for (const Case& c : {Case{IDC_BACKUP_REMOVE, "You have not checked any thing to Remove"},
                          Case{IDC_BACKUP_RESTORE, "Please select a item to restore!"}}) {
        PostCommand(GetDlgItem(page, c.button));
        HWND box = app_->WaitMessageBox(15000);
        ASSERT_TRUE(box) << c.message;
        EXPECT_EQ(MessageBoxText(box), c.message);
        EXPECT_EQ(WindowText(box), "Error");
        PressOk(box);
    }
    EXPECT_TRUE(FileExists(kept));

    ASSERT_TRUE(list.SetChecked(0, true));
    PostCommand(GetDlgItem(page, IDC_BACKUP_REMOVE));
    EXPECT_TRUE(WaitFor([&] { return !FileExists(kept) && list.Count() == 0; }, 10000));
    Sleep(1000);
    EXPECT_FALSE(app_->MessageBoxWindow()) << "Remove showed a message";
    EXPECT_TRUE(FileExists(empty));
    DeleteFileA(empty.c_str());
}

}  // namespace
}  // namespace qm::gui_test
