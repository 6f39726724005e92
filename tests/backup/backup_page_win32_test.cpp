// The Backup and Recovery page's restore on the live registry (Windows,
// Wine): backups made by the entry remover go back through the system
// registry editor, and only a file whose entries are all back is deleted.
#include <windows.h>
// <windows.h> renames DeleteFile; the file probe's method keeps its name.
#undef DeleteFile

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "backup/backup_page_presenter.h"
#include "backup/regedit_import.h"
#include "platform/memory/host_system_info.h"
#include "platform/win32/win32_file_probe.h"
#include "platform/win32/win32_registry.h"
#include "repair/entry_remover.h"
#include "tests/backup/registry_snapshot.h"

namespace qm {
namespace {

constexpr const char* kBase = "Software\\QmRestorePageTest";

struct RecordingList : BackupView {
    void DeleteAllRows() override { names.clear(); }
    void InsertRowAtTop(const BackupRow& row) override { names.insert(names.begin(), row.name); }
    int RowCount() const override { return static_cast<int>(names.size()); }
    bool IsRowChecked(int) const override { return true; }
    std::string RowName(int row) const override { return names.at(row); }
    void ShowError(const std::string& text) override { messages.push_back("Error: " + text); }
    void ShowMessage(const std::string& text) override { messages.push_back(text); }
    std::vector<std::string> names;
    std::vector<std::string> messages;
};

class LiveRestoreTest : public ::testing::Test {
  protected:
    void SetUp() override {
        files_.ExpandEnvironment("%TEMP%\\qm-restore-page", folder_);
        Clean();
        ASSERT_EQ(files_.CreateFolder(folder_), status::kSuccess);
        store_.SetBackupFolder(folder_);
        registry_.DeleteTree(hkey::kCurrentUser, kBase);
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
    }

    void Set(HKey key, const char* name, uint32_t type, const std::string& bytes) {
        ASSERT_EQ(
            registry_.SetValue(key, name, type, reinterpret_cast<const uint8_t*>(bytes.data()),
                               static_cast<uint32_t>(bytes.size())),
            status::kSuccess);
    }

    // A tree with a value of each kind that the writer knows, code-page
    // text beyond ASCII included; deleted through a new backup file whose
    // name is returned.
    std::string BackUpTree() {
        const std::string top = std::string(kBase) + "\\Tree";
        RegKey key(registry_);
        EXPECT_EQ(key.Create(hkey::kCurrentUser, top.c_str(), access::kWrite), status::kSuccess);
        Set(key.get(), "", regtype::kSz, std::string("C:\\Program Files\\caf\xE9\\a.exe", 28));
        Set(key.get(), "Count", regtype::kDword, std::string("\x07\x00\x00\x01", 4));
        Set(key.get(), "Expand", regtype::kExpandSz, std::string("%SystemRoot%\\x", 15));
        Set(key.get(), "List", regtype::kMultiSz, std::string("one\0tw\xF6\0\0", 9));
        Set(key.get(), "Bytes", regtype::kBinary, std::string("\x01\x00\xFF", 3));
        RegKey sub(registry_);
        EXPECT_EQ(sub.Create(key.get(), "Sub Key", access::kWrite), status::kSuccess);
        Set(sub.get(), "back\\slash", regtype::kSz, std::string("a\\b", 4));
        sub.Close();
        key.Close();
        before_ = testing::Snapshot(registry_, hkey::kCurrentUser, top);
        EXPECT_EQ(before_.size(), 2u);

        std::string path;
        auto stream = store_.CreateBackupFile(registry_.codePage(), &path);
        EXPECT_TRUE(stream);
        if (!stream) return {};
        EntryRemover remover(registry_, files_);
        remover.SetBackupStream(stream.get());
        EXPECT_EQ(remover.DeleteKeyTree(hkey::kCurrentUser, top), EntryRemover::kDeleted);
        EXPECT_TRUE(stream->Close());
        EXPECT_TRUE(testing::Snapshot(registry_, hkey::kCurrentUser, top).empty());
        return path.substr(path.rfind('\\') + 1);
    }

    testing::TreeSnapshot Tree() {
        return testing::Snapshot(registry_, hkey::kCurrentUser, std::string(kBase) + "\\Tree");
    }

    Win32Registry registry_;
    Win32FileProbe files_;
    HostSystemInfo system_;
    BackupStore store_{files_, system_};
    std::string folder_;
    testing::TreeSnapshot before_;
    RecordingList list_;
    BackupPagePresenter page_{registry_,
                              files_,
                              store_,
                              list_,
                              [](const std::string& path) { return ImportWithRegedit(path); },
                              CalendarFromFileTime};
};

// Both header forms: REGEDIT4 in the code page, and the UTF-16LE version 5
// file that Windows 2000 and XP get.
TEST_F(LiveRestoreTest, TheRegistryEditorPutsTheTreeBackAndTheFileGoes) {
    for (const bool xp : {false, true}) {
        system_.SetOsVersion(xp ? OsVersion{platform_id::kNt, 5, 1}
                                : OsVersion{platform_id::kNt, 6, 2});
        system_.SetTime(UtcTime{2007, 1, 1, 0, 0, xp ? 6 : 5});
        const std::string name = BackUpTree();
        page_.Refresh();
        ASSERT_EQ(list_.names, std::vector<std::string>{name});
        list_.messages.clear();
        EXPECT_EQ(page_.Restore(), 1) << xp;
        EXPECT_EQ(list_.messages, std::vector<std::string>{"Succesfully Restored"});
        EXPECT_EQ(Tree(), before_) << xp;
        EXPECT_FALSE(files_.PathExists(folder_ + "\\" + name));
        EXPECT_TRUE(list_.names.empty());
    }
}

// A damaged line makes the registry editor skip that value and still end
// with 0; the file stays, and so does its row.
TEST_F(LiveRestoreTest, AFileTheEditorOnlyPartlyImportedStays) {
    system_.SetTime(UtcTime{2007, 1, 1, 0, 0, 7});
    const std::string name = BackUpTree();
    const std::string path = folder_ + "\\" + name;
    std::string bytes;
    {
        auto in = files_.OpenFile(path, FileMode::kRead);
        ASSERT_TRUE(in);
        char block[4096];
        for (size_t n; (n = in->Read(block, sizeof block)) != 0;) bytes.append(block, n);
    }
    const size_t count = bytes.find("dword:");
    ASSERT_NE(count, std::string::npos);
    bytes.replace(count, 6, "dwurd:");
    {
        auto out = files_.OpenFile(path, FileMode::kCreateAlways);
        ASSERT_TRUE(out && out->Write(bytes.data(), bytes.size()) && out->Flush());
    }
    uint32_t exitCode = 1;
    ASSERT_EQ(ImportWithRegedit(path, &exitCode), status::kSuccess);
    EXPECT_EQ(exitCode, 0u);       // what makes the exit code worthless
    EXPECT_FALSE(Tree().empty());  // the rest did come back
    registry_.DeleteTree(hkey::kCurrentUser, kBase);

    page_.Refresh();
    EXPECT_EQ(page_.Restore(), 0);
    EXPECT_EQ(list_.messages, std::vector<std::string>{"Could not restore"});
    EXPECT_TRUE(files_.PathExists(path));
    EXPECT_EQ(list_.names, std::vector<std::string>{name});
}

// A program named regedit.exe beside this one, which a bare name would
// start first, is not what a restore runs: the registry editor of the
// Windows folder is, and the tree comes back.
TEST_F(LiveRestoreTest, TheWindowsFoldersRegistryEditorRunsNotOneBesideTheProgram) {
    char self[MAX_PATH] = {};
    ASSERT_GT(GetModuleFileNameA(nullptr, self, MAX_PATH), 0u);
    std::string folder = self;
    folder.erase(folder.rfind('\\'));
    struct Planted {
        std::string path;
        ~Planted() { DeleteFileA(path.c_str()); }
    } planted{folder + "\\regedit.exe"};
    ASSERT_TRUE(CopyFileA((folder + "\\planted_regedit.exe").c_str(), planted.path.c_str(), FALSE));

    system_.SetTime(UtcTime{2007, 1, 1, 0, 0, 8});
    const std::string name = BackUpTree();
    page_.Refresh();
    EXPECT_EQ(page_.Restore(), 1);
    EXPECT_EQ(list_.messages, std::vector<std::string>{"Succesfully Restored"});
    EXPECT_EQ(Tree(), before_);
}

}  // namespace
}  // namespace qm
