// The Backup and Recovery page's behaviour through a recording list, with
// real backup files (made by the entry remover) in a temporary folder
// mapped to drive C:, the in-memory registry, and importers that apply a
// file, apply part of it, or do nothing while reporting success.
#include "backup/backup_page_presenter.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <iterator>

#include "platform/memory/host_system_info.h"
#include "platform/memory/mapped_file_probe.h"
#include "platform/memory/memory_registry.h"
#include "repair/entry_remover.h"

namespace qm {
namespace {

namespace fs = std::filesystem;

struct RecordingList : BackupView {
    void DeleteAllRows() override { rows.clear(), checked.clear(); }
    void InsertRowAtTop(const BackupRow& row) override {
        rows.insert(rows.begin(), row);
        checked.insert(checked.begin(), false);
    }
    int RowCount() const override { return static_cast<int>(rows.size()); }
    bool IsRowChecked(int row) const override { return checked.at(row); }
    std::string RowName(int row) const override { return rows.at(row).name; }
    void ShowError(const std::string& text) override { messages.push_back("Error: " + text); }
    void ShowMessage(const std::string& text) override { messages.push_back(text); }

    std::vector<std::string> Names() const {
        std::vector<std::string> names;
        for (const BackupRow& row : rows) names.push_back(row.name);
        return names;
    }
    void Check(const std::string& name) {
        for (size_t i = 0; i < rows.size(); ++i)
            if (rows[i].name == name) checked[i] = true;
    }

    std::vector<BackupRow> rows;
    std::vector<bool> checked;
    std::vector<std::string> messages;
};

// What the importer does with a file it is given.
enum class Import { kWhole, kAllButLastValue, kNothing, kCannotStart };

constexpr const char* kBase = "Software\\QmDemo";

class BackupPage : public ::testing::Test {
  protected:
    BackupPage() {
        std::string pattern = (fs::temp_directory_path() / "qm-backup-page-XXXXXX").string();
        if (mkdtemp(pattern.data()) == nullptr) std::abort();
        root_ = pattern;
        fs::create_directories(root_ / "Quillmend");
        MappedFilesConfig config;
        config.drives['C'] = root_.string();
        config.moduleFileName = "C:\\Quillmend\\Quillmend.exe";
        files_ = std::make_unique<MappedFileProbe>(config);
        store_ = std::make_unique<BackupStore>(*files_, system_);
        page_ = std::make_unique<BackupPagePresenter>(
            registry_, *files_, *store_, list_,
            [this](const std::string& path) { return RunImport(path); },
            [](uint64_t) { return CalendarTime{2026, 12, 6, 16, 5, 9}; });
    }
    ~BackupPage() override { fs::remove_all(root_); }

    fs::path Folder() const { return root_ / "Quillmend" / "Backup"; }

    // Makes HKCU\Software\QmDemo\<key> with values of each kind, deletes
    // it through a backup file made at `second`, and returns the file's
    // name and the tree as it was.
    std::pair<std::string, std::string> Backup(const std::string& key, int second) {
        const std::string path = std::string(kBase) + "\\" + key;
        RegKey k(registry_);
        EXPECT_EQ(k.Create(hkey::kCurrentUser, path.c_str(), access::kWrite), status::kSuccess);
        const std::string text = "C:\\Program Files\\caf\xE9\\" + key + ".exe";
        registry_.SetValue(k.get(), "", regtype::kSz,
                           reinterpret_cast<const uint8_t*>(text.c_str()),
                           static_cast<uint32_t>(text.size() + 1));
        const uint8_t dword[] = {7, 0, 0, 0};
        registry_.SetValue(k.get(), "Count", regtype::kDword, dword, 4);
        const char expand[] = "%SystemRoot%\\x";
        registry_.SetValue(k.get(), "Expand", regtype::kExpandSz,
                           reinterpret_cast<const uint8_t*>(expand), sizeof expand);
        const uint8_t bytes[] = {1, 2, 3, 0, 255};
        registry_.SetValue(k.get(), "Bytes", regtype::kBinary, bytes, sizeof bytes);
        RegKey sub(registry_);
        sub.Create(k.get(), "Sub", access::kWrite);
        registry_.SetValue(sub.get(), "Last", regtype::kSz, reinterpret_cast<const uint8_t*>("end"),
                           4);
        sub.Close();
        k.Close();
        const std::string before = Tree(key);

        system_.SetTime(UtcTime{2007, 1, 1, 0, 0, second});
        std::string file;
        auto stream = store_->CreateBackupFile(registry_.codePage(), &file);
        EXPECT_TRUE(stream);
        EntryRemover remover(registry_, *files_);
        remover.SetBackupStream(stream.get());
        EXPECT_EQ(remover.DeleteKeyTree(hkey::kCurrentUser, path), EntryRemover::kDeleted);
        EXPECT_TRUE(stream->Close());
        EXPECT_EQ(Tree(key), "");
        return {file.substr(file.rfind('\\') + 1), before};
    }

    std::string Tree(const std::string& key) const {
        const regtext::Document doc =
            registry_.Export(hkey::kCurrentUser, std::string(kBase) + "\\" + key);
        return doc.entries.empty() ? "" : regtext::Write(doc, regtext::Format::kRegedit4);
    }

    Status RunImport(const std::string& path) {
        imported_.push_back(path);
        if (import_ == Import::kCannotStart) return status::kFileNotFound;
        if (import_ == Import::kNothing) return status::kSuccess;
        auto file = files_->OpenFile(path, FileMode::kRead);
        if (!file) return status::kSuccess;
        std::string bytes;
        char block[512];
        for (size_t n; (n = file->Read(block, sizeof block)) != 0;) bytes.append(block, n);
        regtext::Document doc;
        regtext::ParseError error;
        if (!regtext::Parse(bytes, doc, error)) return status::kSuccess;
        if (import_ == Import::kAllButLastValue) {
            for (size_t i = doc.entries.size(); i-- > 0;) {
                if (doc.entries[i].kind == regtext::Entry::Kind::kValue) {
                    doc.entries.erase(doc.entries.begin() + static_cast<ptrdiff_t>(i));
                    break;
                }
            }
        }
        registry_.Apply(doc);
        return status::kSuccess;
    }

    fs::path root_;
    std::unique_ptr<MappedFileProbe> files_;
    HostSystemInfo system_;
    MemoryRegistry registry_;
    std::unique_ptr<BackupStore> store_;
    RecordingList list_;
    std::unique_ptr<BackupPagePresenter> page_;
    Import import_ = Import::kWhole;
    std::vector<std::string> imported_;
};

TEST_F(BackupPage, ListsNewestEnumeratedFirstWithoutEmptyFilesOrFolders) {
    Backup("A", 5);
    Backup("B", 6);
    fs::create_directory(Folder() / "folder.reg");
    std::ofstream(Folder() / "empty.reg").close();
    page_->Refresh();
    // Inserted at the top, so the folder's order reversed.
    EXPECT_EQ(list_.Names(), (std::vector<std::string>{"QmRegBak 1-1-2007 0-0-6.reg",
                                                       "QmRegBak 1-1-2007 0-0-5.reg"}));
    EXPECT_EQ(list_.rows[0].time, "6-12-2026 (16-5-9)");
    EXPECT_EQ(list_.rows[0].size,
              std::to_string(fs::file_size(Folder() / "QmRegBak 1-1-2007 0-0-6.reg")));
    // Refreshing again does not pile rows up.
    page_->Refresh();
    EXPECT_EQ(list_.rows.size(), 2u);
}

// Both header forms: REGEDIT4 in the code page, and the UTF-16LE version 5
// file that Windows 2000 and XP get.
TEST_F(BackupPage, ARestoredFileIsDeletedAndLeavesTheList) {
    for (const bool xp : {false, true}) {
        if (xp) system_.SetOsVersion(OsVersion{platform_id::kNt, 5, 1});
        const auto [name, before] = Backup("Tree", 9);
        const std::string bytes = [&] {
            std::ifstream in(Folder() / name, std::ios::binary);
            return std::string(std::istreambuf_iterator<char>(in), {});
        }();
        EXPECT_EQ(bytes.rfind(xp ? "\xFF\xFEW" : "REGEDIT4", 0), 0u) << xp;
        page_->Refresh();
        list_.Check(name);
        list_.messages.clear();
        imported_.clear();
        EXPECT_EQ(page_->Restore(), 1);
        EXPECT_EQ(imported_, std::vector<std::string>{"C:\\Quillmend\\Backup\\" + name});
        EXPECT_EQ(Tree("Tree"), before) << xp;
        EXPECT_EQ(list_.messages, std::vector<std::string>{"Succesfully Restored"});
        EXPECT_FALSE(fs::exists(Folder() / name));
        EXPECT_TRUE(list_.rows.empty());
    }
    EXPECT_EQ(registry_.OpenHandleCount(), 0u);
}

// The registry editor ends with 0 also when it imported nothing, or only
// part of the file: the file stays for another try.
TEST_F(BackupPage, AFileThatDidNotComeBackStays) {
    const auto [name, before] = Backup("Tree", 9);
    for (const Import import : {Import::kNothing, Import::kAllButLastValue, Import::kCannotStart}) {
        import_ = import;
        page_->Refresh();
        list_.Check(name);
        list_.messages.clear();
        EXPECT_EQ(page_->Restore(), 0);
        EXPECT_TRUE(fs::exists(Folder() / name)) << static_cast<int>(import);
        EXPECT_EQ(list_.Names(), std::vector<std::string>{name});
        const std::vector<std::string> expected =
            import == Import::kCannotStart ? std::vector<std::string>{"error", "Could not restore"}
                                           : std::vector<std::string>{"Could not restore"};
        EXPECT_EQ(list_.messages, expected) << static_cast<int>(import);
    }
    // Once it does come back, it goes.
    import_ = Import::kWhole;
    list_.Check(name);
    EXPECT_EQ(page_->Restore(), 1);
    EXPECT_EQ(Tree("Tree"), before);
    EXPECT_FALSE(fs::exists(Folder() / name));
}

// Only the file whose whole name is the row's text is imported, not every
// file whose name contains it.
TEST_F(BackupPage, RestoresOnlyTheFileNamedByTheRow) {
    const auto [name, before] = Backup("Mine", 5);
    const auto [other, otherBefore] = Backup("Other", 6);
    const std::string longer = "Old " + name + ".txt";
    fs::rename(Folder() / other, Folder() / longer);
    page_->Refresh();
    list_.Check(name);
    EXPECT_EQ(page_->Restore(), 1);
    EXPECT_EQ(imported_, std::vector<std::string>{"C:\\Quillmend\\Backup\\" + name});
    EXPECT_EQ(Tree("Mine"), before);
    EXPECT_EQ(Tree("Other"), "");
    EXPECT_TRUE(fs::exists(Folder() / longer));
    EXPECT_EQ(list_.Names(), std::vector<std::string>{longer});
}

TEST_F(BackupPage, SeveralRowsInRowOrderWithOneClosingMessage) {
    std::vector<std::string> names;
    for (int i = 0; i < 4; ++i) names.push_back(Backup("T" + std::to_string(i), i).first);
    page_->Refresh();
    // Rows: T3, T2, T1, T0. T3 and T1 checked; T1's file leaves the folder.
    list_.Check(names[3]);
    list_.Check(names[1]);
    fs::remove(Folder() / names[1]);
    EXPECT_EQ(page_->Restore(), 1);
    EXPECT_EQ(imported_, std::vector<std::string>{"C:\\Quillmend\\Backup\\" + names[3]});
    EXPECT_EQ(list_.messages, std::vector<std::string>{"Could not restore"});
    EXPECT_EQ(list_.Names(), (std::vector<std::string>{names[2], names[0]}));

    // Both left, top row first.
    list_.checked.assign(2, true);
    list_.messages.clear();
    imported_.clear();
    EXPECT_EQ(page_->Restore(), 2);
    EXPECT_EQ(imported_, (std::vector<std::string>{"C:\\Quillmend\\Backup\\" + names[2],
                                                   "C:\\Quillmend\\Backup\\" + names[0]}));
    EXPECT_EQ(list_.messages, std::vector<std::string>{"Succesfully Restored"});
    EXPECT_TRUE(list_.rows.empty());
    for (const char* key : {"T0", "T2", "T3"}) EXPECT_NE(Tree(key), "") << key;
}

TEST_F(BackupPage, NothingCheckedChangesNothing) {
    page_->Restore();
    page_->Remove();
    Backup("Tree", 9);
    page_->Refresh();
    page_->Restore();
    page_->Remove();
    EXPECT_EQ(list_.messages,
              (std::vector<std::string>{"Error: Please select a item to restore!",
                                        "Error: You have not checked any thing to Remove",
                                        "Error: Please select a item to restore!",
                                        "Error: You have not checked any thing to Remove"}));
    EXPECT_TRUE(imported_.empty());
    EXPECT_EQ(list_.rows.size(), 1u);
    EXPECT_EQ(Tree("Tree"), "");
}

// Remove deletes the file whose name is exactly the row's text, and no
// other: not one whose name contains it, nor one spelled in another case.
TEST_F(BackupPage, RemoveDeletesTheExactNameOnly) {
    const std::string name = Backup("A", 5).first;
    std::ofstream(Folder() / ("x" + name)) << "x";
    std::ofstream(Folder() / "QMREGBAK 1-1-2007 0-0-5.REG") << "x";
    page_->Refresh();
    ASSERT_EQ(list_.rows.size(), 3u);
    list_.Check(name);
    page_->Remove();
    EXPECT_FALSE(fs::exists(Folder() / name));
    EXPECT_EQ(list_.rows.size(), 2u);
    EXPECT_TRUE(list_.messages.empty());
    EXPECT_TRUE(imported_.empty());
}

TEST(BackupTimes, CalendarFieldsOfFileTimes) {
    constexpr uint64_t kSecond = 10000000;
    constexpr uint64_t kUnixEpoch = 116444736000000000;  // 1970-01-01 in file time
    struct {
        uint64_t fileTime;
        const char* text;
    } cases[] = {
        {0, "1-1-1601 (0-0-0)"},
        {kUnixEpoch, "1-1-1970 (0-0-0)"},
        {kUnixEpoch + 1796565909 * kSecond, "6-12-2026 (14-5-9)"},
        // Two hours east of UTC.
        {kUnixEpoch + (1796565909 + 7200) * kSecond, "6-12-2026 (16-5-9)"},
        {kUnixEpoch + 1709164800 * kSecond + kSecond - 1, "29-2-2024 (0-0-0)"},
        {kUnixEpoch + 951782399 * kSecond, "28-2-2000 (23-59-59)"},
        {kUnixEpoch + 951868800 * kSecond, "1-3-2000 (0-0-0)"},
        {kUnixEpoch + 4107542400 * kSecond, "1-3-2100 (0-0-0)"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(BackupPagePresenter::FormatTime(CalendarFromFileTime(c.fileTime)), c.text);
}

}  // namespace
}  // namespace qm
