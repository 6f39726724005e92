// Find, Fix and the restore check in a double-byte code page (932): a
// broken App Paths entry whose key name ends in a character whose second
// byte is a backslash's (表) and whose data holds another (ソ) is found,
// deleted with a backup, and the backup, read in that code page, puts it
// back exactly, in both backup formats.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <iterator>

#include "backup/restore_check.h"
#include "platform/memory/host_code_page.h"
#include "platform/memory/host_system_info.h"
#include "platform/memory/mapped_file_probe.h"
#include "platform/memory/memory_registry.h"
#include "repair/repair_engine.h"
#include "scan/scan_driver.h"
#include "tests/backup/registry_snapshot.h"

namespace qm {
namespace {

namespace fs = std::filesystem;

const std::string kAppPaths = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Paths";
const std::string kName = "\x88\xea\x97\x97\x95\x5c";        // 一覧表
const std::string kFolder = "C:\\\x83\x5c\x83\x74\x83\x67";  // C:\ソフト
const std::string kProgram = kFolder + "\\app.exe";

class AppPathsOnly : public QuietScanView {
  public:
    bool IsRowTicked(int row) override {
        return row + 1 == static_cast<int>(ScanCategory::AppPaths);
    }
};

class CodePageRepairTest : public ::testing::TestWithParam<bool> {
  protected:
    CodePageRepairTest() {
        std::string pattern = (fs::temp_directory_path() / "qm-cp932-XXXXXX").string();
        if (mkdtemp(pattern.data()) == nullptr) std::abort();
        root_ = pattern;
        fs::create_directories(root_ / "Quillmend");
        MappedFilesConfig config;
        config.drives['C'] = root_.string();
        config.moduleFileName = "C:\\Quillmend\\Quillmend.exe";
        files_ = std::make_unique<MappedFileProbe>(config);
    }
    ~CodePageRepairTest() override { fs::remove_all(root_); }

    void Set(const std::string& path, const std::string& name, const std::string& text) {
        RegKey key(registry_);
        ASSERT_EQ(key.Create(hkey::kLocalMachine, path.c_str(), access::kAllAccess),
                  status::kSuccess);
        ASSERT_EQ(registry_.SetValue(key.get(), name.c_str(), regtype::kSz,
                                     reinterpret_cast<const uint8_t*>(text.c_str()),
                                     static_cast<uint32_t>(text.size() + 1)),
                  status::kSuccess);
    }

    // HKLM without the program's own settings, which a repair writes.
    testing::TreeSnapshot Machine() {
        testing::TreeSnapshot keys = testing::Snapshot(registry_, hkey::kLocalMachine, "");
        std::erase_if(keys,
                      [](const auto& key) { return key.first.starts_with("SOFTWARE\\Quillmend"); });
        return keys;
    }

    fs::path root_;
    MemoryRegistry registry_{*HostCodePage(932)};
    std::unique_ptr<MappedFileProbe> files_;
    HostSystemInfo system_;
};

TEST_P(CodePageRepairTest, ABrokenEntryIsFoundFixedAndRestoredExactly) {
    const bool regedit4 = GetParam();
    Set(kAppPaths + "\\" + kName, "", kProgram);
    // Text and a value name that end in such a character.
    Set(kAppPaths + "\\" + kName, "Path", kFolder + "\\" + kName);
    Set(kAppPaths + "\\" + kName, "\x83\x5c", "x");
    // A sibling whose name shares the first character's bytes stays.
    Set(kAppPaths + "\\\x88\xea", "", "C:\\kept.exe");
    std::ofstream(root_ / "kept.exe").put('x');
    const testing::TreeSnapshot before = Machine();
    ASSERT_EQ(before.count(kAppPaths + "\\" + kName), 1u);

    AppPathsOnly view;
    ScanDriver driver(registry_, *files_, view);
    driver.ScanWorker();
    std::vector<FoundItem> found;
    driver.items().ForEach([&](const FoundItem& item) { found.push_back(item); });
    ASSERT_EQ(found.size(), 1u);
    EXPECT_EQ(found[0].keyPath, "HKLM\\" + kAppPaths);
    EXPECT_EQ(found[0].valueName, kName);
    EXPECT_EQ(found[0].data, kProgram);

    BackupStore backups(*files_, system_);
    backups.SetFormatFor(regedit4);
    EntryRemover remover(registry_, *files_);
    RepairEngine engine(driver, registry_, backups, remover, view);
    driver.items().ForEach([](FoundItem& item) { item.selected = true; });
    driver.SetState(ScanState::kStopFix);
    engine.RunRepair(false);
    ASSERT_TRUE(engine.lastReport().notRepaired.empty());
    RegKey gone(registry_);
    EXPECT_EQ(gone.Open(hkey::kLocalMachine, (kAppPaths + "\\" + kName).c_str(), access::kRead),
              status::kFileNotFound);
    EXPECT_EQ(Machine().count(kAppPaths + "\\\x88\xea"), 1u);

    const std::string& backupPath = engine.lastReport().backupPath;
    ASSERT_EQ(backupPath.rfind("C:\\Quillmend\\Backup\\", 0), 0u) << backupPath;
    std::ifstream in(root_ / "Quillmend" / "Backup" / backupPath.substr(20), std::ios::binary);
    const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (regedit4) {
        // The second byte of ソ is no backslash of its own: it gets no escape.
        EXPECT_NE(bytes.find("@ = \"C:\\\\\x83\x5c\x83\x74\x83\x67\\\\app.exe\""),
                  std::string::npos)
            << bytes;
    }

    regtext::Document doc;
    regtext::ParseError error;
    ASSERT_TRUE(regtext::Parse(bytes, doc, error, registry_.codePage())) << error.message;
    EXPECT_FALSE(CheckImported(registry_, doc).complete);
    registry_.Apply(doc);
    const RestoreCheck check = CheckImported(registry_, doc);
    EXPECT_TRUE(check.complete) << check.problem;
    EXPECT_EQ(Machine(), before);
}

INSTANTIATE_TEST_SUITE_P(BothFormats, CodePageRepairTest, ::testing::Bool(),
                         [](const auto& info) { return info.param ? "Regedit4" : "Version5"; });

}  // namespace
}  // namespace qm
