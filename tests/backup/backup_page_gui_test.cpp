// The Backup and Recovery page in a real window under Wine: its list, its
// labels, and Restore and Remove pressed as a user would, with the message
// boxes read and closed from a second thread. Restore runs Wine's
// regedit.exe on the live registry. A picture of the page lands in the
// build folder.
#include <windows.h>
// <windows.h> renames DeleteFile; the file probe's method keeps its name.
#undef DeleteFile
#include <commctrl.h>

#include <gtest/gtest.h>

#include <atomic>
#include <fstream>
#include <mutex>
#include <regex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "backup/backup_page.h"
#include "platform/memory/host_system_info.h"
#include "platform/win32/win32_file_probe.h"
#include "platform/win32/win32_registry.h"
#include "repair/entry_remover.h"
#include "resource.h"
#include "tests/ui/gui_support.h"
#include "ui/link_label.h"

namespace qm {
namespace {

using ui::testing::Pump;

constexpr const char* kBase = "Software\\QmBackupPageGui";

// Reads and closes the program's message boxes as they come up.
class MessageBoxes {
  public:
    MessageBoxes() : thread_([this] { Watch(); }) {}
    ~MessageBoxes() {
        stop_ = true;
        thread_.join();
    }
    // "caption: text" of each box seen since the last call.
    std::vector<std::string> Take() {
        std::lock_guard<std::mutex> lock(mutex_);
        return std::exchange(seen_, {});
    }

  private:
    void Watch() {
        while (!stop_) {
            EnumWindows(&MessageBoxes::Visit, reinterpret_cast<LPARAM>(this));
            Sleep(30);
        }
    }
    static BOOL CALLBACK Visit(HWND hwnd, LPARAM self) {
        reinterpret_cast<MessageBoxes*>(self)->Offer(hwnd);
        return TRUE;
    }
    void Offer(HWND hwnd) {
        DWORD process = 0;
        GetWindowThreadProcessId(hwnd, &process);
        char className[32] = {}, caption[64] = {}, text[256] = {};
        GetClassNameA(hwnd, className, sizeof className);
        if (process != GetCurrentProcessId() || std::string(className) != "#32770" ||
            !IsWindowVisible(hwnd))
            return;
        GetWindowTextA(hwnd, caption, sizeof caption);
        GetDlgItemTextA(hwnd, 0xFFFF, text, sizeof text);  // the box's text
        {
            std::lock_guard<std::mutex> lock(mutex_);
            seen_.push_back(std::string(caption) + ": " + text);
        }
        PostMessageA(hwnd, WM_COMMAND, IDOK, 0);
        for (int i = 0; i < 200 && IsWindow(hwnd); ++i) Sleep(10);
    }

    std::atomic<bool> stop_{false};
    std::mutex mutex_;
    std::vector<std::string> seen_;
    std::thread thread_;
};

class BackupPageWindow : public ::testing::Test {
  protected:
    void SetUp() override {
        files_.ExpandEnvironment("%TEMP%\\qm-backup-page-gui", folder_);
        Clean();
        ASSERT_EQ(files_.CreateFolder(folder_), status::kSuccess);
        store_.SetBackupFolder(folder_);
    }
    void TearDown() override {
        Clean();
        registry_.DeleteTree(hkey::kCurrentUser, kBase);
    }
    void Clean() {
        std::vector<FileEntry> entries;
        files_.ListFolder(folder_ + "\\*", entries);
        for (const FileEntry& entry : entries)
            if (!entry.isDirectory) files_.DeleteFile(folder_ + "\\" + entry.name);
        RemoveDirectoryA(folder_.c_str());
        registry_.DeleteTree(hkey::kCurrentUser, kBase);
    }

    // HKCU\Software\QmBackupPageGui\<key> with one value, deleted through a
    // backup file made at `second`; returns the file's name.
    std::string BackUp(const std::string& key, int second) {
        const std::string path = std::string(kBase) + "\\" + key;
        RegKey k(registry_);
        EXPECT_EQ(k.Create(hkey::kCurrentUser, path.c_str(), access::kWrite), status::kSuccess);
        registry_.SetValue(k.get(), "Value", regtype::kSz,
                           reinterpret_cast<const uint8_t*>(key.c_str()),
                           static_cast<uint32_t>(key.size() + 1));
        k.Close();
        system_.SetTime(UtcTime{2007, 1, 1, 0, 0, second});
        std::string file;
        auto stream = store_.CreateBackupFile(registry_.codePage(), &file);
        EntryRemover remover(registry_, files_);
        remover.SetBackupStream(stream.get());
        EXPECT_EQ(remover.DeleteKeyTree(hkey::kCurrentUser, path), EntryRemover::kDeleted);
        EXPECT_TRUE(stream->Close());
        return file.substr(file.rfind('\\') + 1);
    }

    bool KeyThere(const std::string& key) {
        RegKey k(registry_);
        return k.Open(hkey::kCurrentUser, (std::string(kBase) + "\\" + key).c_str(),
                      access::kRead) == status::kSuccess;
    }

    Win32Registry registry_;
    Win32FileProbe files_;
    HostSystemInfo system_;
    BackupStore store_{files_, system_};
    std::string folder_;
};

TEST_F(BackupPageWindow, ListsRestoresAndRemoves) {
    const std::string a = BackUp("A", 5);
    const std::string b = BackUp("B", 6);
    std::ofstream(folder_ + "\\empty.reg").close();

    HWND host = CreateWindowExA(0, "STATIC", "host", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 10, 10, 800,
                                500, nullptr, nullptr, GetModuleHandleA(nullptr), nullptr);
    ASSERT_NE(host, nullptr);
    {
        CRegBackup page(GetModuleHandleA(nullptr), registry_, files_, store_);
        ASSERT_TRUE(page.CreateModeless(host));
        SetWindowPos(page.Handle(), HWND_TOP, 0, 0, 642, 359, SWP_SHOWWINDOW);
        ui::testing::Repaint(page.Handle());
        HWND list = page.Item(IDC_BACKUP_LIST);
        ui::ListView view(list);

        const auto style =
            static_cast<DWORD>(SendMessageA(list, LVM_GETEXTENDEDLISTVIEWSTYLE, 0, 0));
        EXPECT_EQ(style & 0x125u, 0x125u);
        EXPECT_EQ(ui::testing::ListColumns(list),
                  (std::vector<std::pair<std::string, int>>{
                      {"Name", 280}, {"Date and Time", 128}, {"Size", 70}}));
        auto* title =
            dynamic_cast<ui::CLinkLabel*>(ui::Control::FromHandle(page.Item(IDC_BACKUP_TITLE)));
        auto* description = dynamic_cast<ui::CLinkLabel*>(
            ui::Control::FromHandle(page.Item(IDC_BACKUP_DESCRIPTION)));
        ASSERT_TRUE(title && description);
        EXPECT_EQ(title->LabelText(), "Backup and Recovery");
        EXPECT_EQ(description->LabelText().rfind("Select the options you want to Restore", 0), 0u);
        EXPECT_TRUE(title->IsTransparent());

        // The newest of the folder's order on top; the empty file left out.
        ASSERT_EQ(view.ItemCount(), 2);
        EXPECT_EQ(view.ItemText(0, 0), b);
        EXPECT_EQ(view.ItemText(1, 0), a);
        EXPECT_TRUE(
            std::regex_match(view.ItemText(0, 1),
                             std::regex(R"(\d{1,2}-\d{1,2}-\d{4} \(\d{1,2}-\d{1,2}-\d{1,2}\))")))
            << view.ItemText(0, 1);
        std::vector<FileEntry> entries;
        files_.ListFolder(folder_ + "\\" + b, entries);
        ASSERT_EQ(entries.size(), 1u);
        EXPECT_EQ(view.ItemText(0, 2), std::to_string(entries[0].size));
        ui::testing::Pixels::Capture(page.Handle()).SaveBmp("backup_page.bmp");

        MessageBoxes boxes;
        auto press = [&](int id) {
            SendMessageA(page.Item(id), BM_CLICK, 0, 0);
            Pump(100);
        };
        press(IDC_BACKUP_RESTORE);
        press(IDC_BACKUP_REMOVE);
        EXPECT_EQ(boxes.Take(),
                  (std::vector<std::string>{"Error: Please select a item to restore!",
                                            "Error: You have not checked any thing to Remove"}));

        view.SetChecked(1, true);  // A
        press(IDC_BACKUP_RESTORE);
        EXPECT_EQ(boxes.Take(), std::vector<std::string>{"Quillmend: Succesfully Restored"});
        EXPECT_TRUE(KeyThere("A"));
        EXPECT_FALSE(files_.PathExists(folder_ + "\\" + a));
        ASSERT_EQ(view.ItemCount(), 1);
        EXPECT_EQ(view.ItemText(0, 0), b);

        view.SetChecked(0, true);  // B
        press(IDC_BACKUP_REMOVE);
        EXPECT_TRUE(boxes.Take().empty());
        EXPECT_FALSE(KeyThere("B"));
        EXPECT_FALSE(files_.PathExists(folder_ + "\\" + b));
        EXPECT_EQ(view.ItemCount(), 0);
    }
    DestroyWindow(host);
}

}  // namespace
}  // namespace qm

int main(int argc, char** argv) {
    INITCOMMONCONTROLSEX controls{sizeof controls, ICC_LISTVIEW_CLASSES};
    InitCommonControlsEx(&controls);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
