// Backup files and file removal on the live file system (Windows, Wine).
#include <windows.h>
// <windows.h> renames DeleteFile; the file probe's method keeps its name.
#undef DeleteFile

#include <gtest/gtest.h>

#include <string>

#include "backup/backup_store.h"
#include "platform/memory/host_system_info.h"
#include "platform/win32/win32_file_probe.h"
#include "platform/win32/win32_registry.h"
#include "repair/entry_remover.h"

namespace qm {
namespace {

class LiveFilesTest : public ::testing::Test {
  protected:
    void SetUp() override {
        files_.ExpandEnvironment("%TEMP%\\qm-backup-win32", folder_);
        Clean();
        ASSERT_EQ(files_.CreateFolder(folder_), status::kSuccess);
    }
    void TearDown() override { Clean(); }
    void Clean() {
        std::vector<FileEntry> entries;
        files_.ListFolder(folder_ + "\\*", entries);
        for (const FileEntry& entry : entries)
            if (!entry.isDirectory) files_.DeleteFile(folder_ + "\\" + entry.name);
        RemoveDirectoryA(folder_.c_str());
    }

    Win32FileProbe files_;
    std::string folder_;
};

TEST_F(LiveFilesTest, BackupFilesNeverShareANameAndAreListedWithTheirTimes) {
    HostSystemInfo system;
    system.SetTime(UtcTime{2007, 1, 1, 0, 0, 5});
    BackupStore store(files_, system);
    store.SetBackupFolder(folder_);
    std::string first, second;
    auto a = store.CreateBackupFile(CodePage::Windows1252(), &first);
    auto b = store.CreateBackupFile(CodePage::Windows1252(), &second);
    ASSERT_TRUE(a && b);
    EXPECT_TRUE(a->Append("[HKEY_CURRENT_USER\\a]\n"));
    a->Close();
    b->Close();
    EXPECT_EQ(first, folder_ + "\\QmRegBak 1-1-2007 0-0-5.reg");
    EXPECT_EQ(second, folder_ + "\\QmRegBak 1-1-2007 0-0-5 (2).reg");

    FILETIME now{};
    GetSystemTimeAsFileTime(&now);
    const uint64_t nowTime = (static_cast<uint64_t>(now.dwHighDateTime) << 32) | now.dwLowDateTime;
    const std::vector<BackupEntry> listed = store.ListBackups();
    ASSERT_EQ(listed.size(), 2u);
    for (const BackupEntry& entry : listed) {
        EXPECT_EQ(entry.size, entry.path == first ? 10u + 23u : 10u) << entry.name;
        EXPECT_LE(entry.creationTime, nowTime);
        EXPECT_GT(entry.creationTime, nowTime - 600ull * 10000000ull);  // within ten minutes
    }
}

TEST_F(LiveFilesTest, RemoveFileLeavesAFileThatIsInUseOrReadOnly) {
    Win32Registry registry;
    EntryRemover remover(registry, files_);
    const std::string path = folder_ + "\\held.lnk";
    HANDLE created = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                 FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(created, INVALID_HANDLE_VALUE);
    CloseHandle(created);

    // Held open by another program that lets others only read it.
    HANDLE held = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
    EXPECT_NE(remover.RemoveFile(path), status::kSuccess);
    EXPECT_TRUE(files_.PathExists(path));
    CloseHandle(held);

    SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_READONLY);
    EXPECT_EQ(remover.RemoveFile(path), status::kAccessDenied);
    EXPECT_TRUE(files_.PathExists(path));
    SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);

    EXPECT_EQ(remover.RemoveFile(path), status::kSuccess);
    EXPECT_FALSE(files_.PathExists(path));
    EXPECT_EQ(remover.RemoveFile(path), status::kFileNotFound);
}

}  // namespace
}  // namespace qm
