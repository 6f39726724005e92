// Backup files: their names, header lines and folder, against drive C:
// mapped to a temporary folder.
#include "backup/backup_store.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <iterator>

#include "platform/memory/host_system_info.h"
#include "platform/memory/mapped_file_probe.h"

namespace qm {
namespace {

namespace fs = std::filesystem;

std::string ReadHostFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

class BackupStoreTest : public ::testing::Test {
  protected:
    BackupStoreTest() {
        std::string pattern = (fs::temp_directory_path() / "qm-backup-store-XXXXXX").string();
        if (mkdtemp(pattern.data()) == nullptr) std::abort();
        root_ = pattern;
        fs::create_directories(root_ / "Quillmend");
        MappedFilesConfig config;
        config.drives['C'] = root_.string();
        config.moduleFileName = "C:\\Quillmend\\Quillmend.exe";
        files_ = std::make_unique<MappedFileProbe>(config);
        system_.SetTime(UtcTime{2026, 12, 6, 14, 5, 9});
    }
    ~BackupStoreTest() override { fs::remove_all(root_); }

    fs::path root_;
    std::unique_ptr<MappedFileProbe> files_;
    HostSystemInfo system_;
};

TEST(BackupStoreNames, NamesAndHeaderLines) {
    EXPECT_EQ(BackupStore::BackupFileName(UtcTime{2026, 12, 6, 14, 5, 9}),
              "QmRegBak 6-12-2026 14-5-9.reg");
    EXPECT_EQ(BackupStore::BackupFileName(UtcTime{2007, 1, 1, 0, 0, 5}),
              "QmRegBak 1-1-2007 0-0-5.reg");
    EXPECT_EQ(BackupStore::BackupFileName(UtcTime{2007, 1, 1, 0, 0, 5}, 3),
              "QmRegBak 1-1-2007 0-0-5 (3).reg");
    const std::string v5 = "Windows Registry Editor Version 5.00";
    struct {
        OsVersion version;
        std::string header;
    } cases[] = {
        {{platform_id::kNt, 5, 0}, v5},         {{platform_id::kNt, 5, 1}, v5},
        {{platform_id::kNt, 5, 2}, "REGEDIT4"}, {{platform_id::kNt, 4, 0}, "REGEDIT4"},
        {{platform_id::kNt, 6, 2}, "REGEDIT4"}, {{platform_id::kWindows, 4, 10}, "REGEDIT4"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(BackupStore::HeaderLine(&c.version), c.header) << c.version.major;
    EXPECT_STREQ(BackupStore::HeaderLine(nullptr), "REGEDIT4");
}

TEST_F(BackupStoreTest, MakesTheFolderAndNeverReusesAName) {
    BackupStore store(*files_, system_);
    EXPECT_EQ(store.ProgramFolder(), "C:\\Quillmend\\");
    EXPECT_EQ(store.BackupFolder(), "C:\\Quillmend\\Backup");
    EXPECT_TRUE(store.ListBackups().empty());

    std::string first, second;
    auto a = store.CreateBackupFile(CodePage::Windows1252(), &first);
    ASSERT_TRUE(a);
    ASSERT_TRUE(a->Append("[HKEY_CURRENT_USER\\a]\n"));
    a->Close();
    // The same second again: a name of its own, the first file untouched.
    auto b = store.CreateBackupFile(CodePage::Windows1252(), &second);
    ASSERT_TRUE(b);
    b->Close();
    EXPECT_EQ(first, "C:\\Quillmend\\Backup\\QmRegBak 6-12-2026 14-5-9.reg");
    EXPECT_EQ(second, "C:\\Quillmend\\Backup\\QmRegBak 6-12-2026 14-5-9 (2).reg");
    const fs::path folder = root_ / "Quillmend" / "Backup";
    EXPECT_EQ(ReadHostFile(folder / "QmRegBak 6-12-2026 14-5-9.reg"),
              "REGEDIT4\r\n[HKEY_CURRENT_USER\\a]\r\n");
    EXPECT_EQ(ReadHostFile(folder / "QmRegBak 6-12-2026 14-5-9 (2).reg"), "REGEDIT4\r\n");

    // Windows XP: the version 5 header, in UTF-16LE.
    system_.SetOsVersion(OsVersion{platform_id::kNt, 5, 1});
    system_.SetTime(UtcTime{2007, 1, 1, 0, 0, 5});
    auto c = store.CreateBackupFile(CodePage::Windows1252());
    ASSERT_TRUE(c);
    c->Close();
    const std::string header = "Windows Registry Editor Version 5.00\r\n";
    std::string wide = "\xFF\xFE";
    for (char ch : header) wide += std::string{ch, '\0'};
    EXPECT_EQ(ReadHostFile(folder / "QmRegBak 1-1-2007 0-0-5.reg"), wide);

    // The listing skips folders and empty files, and takes any extension.
    fs::create_directory(folder / "sub.reg");
    std::ofstream(folder / "empty.reg").close();
    std::ofstream(folder / "notes.txt") << "x";
    std::vector<std::string> names;
    for (const BackupEntry& entry : store.ListBackups()) {
        names.push_back(entry.name);
        EXPECT_EQ(entry.path, "C:\\Quillmend\\Backup\\" + entry.name);
        EXPECT_EQ(entry.size, fs::file_size(folder / entry.name));
        EXPECT_GT(entry.creationTime, 116444736000000000ull);  // after 1970
    }
    EXPECT_EQ(names, (std::vector<std::string>{"notes.txt", "QmRegBak 1-1-2007 0-0-5.reg",
                                               "QmRegBak 6-12-2026 14-5-9 (2).reg",
                                               "QmRegBak 6-12-2026 14-5-9.reg"}));
}

TEST_F(BackupStoreTest, GivesUpWhenTheFolderCannotBeMade) {
    // "Backup" is a file: no folder can be made there and no file opened in it.
    std::ofstream(root_ / "Quillmend" / "Backup") << "x";
    BackupStore store(*files_, system_);
    Status status = status::kSuccess;
    EXPECT_EQ(store.CreateBackupFile(CodePage::Windows1252(), nullptr, &status), nullptr);
    EXPECT_NE(status, status::kSuccess);
    EXPECT_EQ(ReadHostFile(root_ / "Quillmend" / "Backup"), "x");

    // Without a program path the folder is taken from the current folder.
    MappedFilesConfig config;
    config.drives['C'] = root_.string();
    config.moduleFileName = "Quillmend.exe";
    config.currentFolder = "C:\\";
    MappedFileProbe relative(config);
    BackupStore here(relative, system_);
    EXPECT_EQ(here.BackupFolder(), "Backup");
    std::string path;
    ASSERT_TRUE(here.CreateBackupFile(CodePage::Windows1252(), &path));
    EXPECT_EQ(path, "Backup\\QmRegBak 6-12-2026 14-5-9.reg");
    EXPECT_TRUE(fs::exists(root_ / "Backup" / "QmRegBak 6-12-2026 14-5-9.reg"));
}

// Writes nothing: a disk that is full from the first byte.
class FullDisk : public MappedFileProbe {
  public:
    using MappedFileProbe::MappedFileProbe;
    std::unique_ptr<FileStream> OpenFile(const std::string& path, FileMode mode,
                                         Status* status) override {
        struct Refusing : FileStream {
            explicit Refusing(std::unique_ptr<FileStream> file) : file(std::move(file)) {}
            size_t Read(void*, size_t) override { return 0; }
            bool Write(const void*, size_t) override { return false; }
            bool Flush() override { return false; }
            std::unique_ptr<FileStream> file;
        };
        auto file = MappedFileProbe::OpenFile(path, mode, status);
        if (!file || !full) return file;
        return std::make_unique<Refusing>(std::move(file));
    }
    bool full = true;
};

// A backup file whose header line cannot be written is removed again, so
// that no file the registry editor cannot import is left to restore.
TEST_F(BackupStoreTest, AFileWhoseHeaderCannotBeWrittenIsRemoved) {
    MappedFilesConfig config;
    config.drives['C'] = root_.string();
    config.moduleFileName = "C:\\Quillmend\\Quillmend.exe";
    FullDisk disk(config);
    fs::create_directories(root_ / "Quillmend" / "Backup");
    BackupStore store(disk, system_);
    Status status = status::kSuccess;
    EXPECT_EQ(store.CreateBackupFile(CodePage::Windows1252(), nullptr, &status), nullptr);
    EXPECT_EQ(status, status::kWriteFault);
    EXPECT_TRUE(fs::is_empty(root_ / "Quillmend" / "Backup"));
    disk.full = false;
    std::string path;
    EXPECT_TRUE(store.CreateBackupFile(CodePage::Windows1252(), &path));
    EXPECT_EQ(path, "C:\\Quillmend\\Backup\\QmRegBak 6-12-2026 14-5-9.reg");
}

}  // namespace
}  // namespace qm
