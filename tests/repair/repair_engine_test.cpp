// The repair run through a fake Find & Fix page: what each category
// deletes, what stays and is counted, and that nothing is deleted that is
// not in the backup file.
#include "repair/repair_engine.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <mutex>

#include "platform/memory/host_system_info.h"
#include "platform/memory/mapped_file_probe.h"
#include "platform/memory/memory_registry.h"
#include "platform/regtext/reg_text.h"
#include "platform/settings_store.h"
#include "scan/scan_driver.h"
#include "tests/backup/memory_file.h"
#include "tests/backup/registry_snapshot.h"

namespace qm {
namespace {

namespace fs = std::filesystem;
using testing::Snapshot;
using testing::TreeSnapshot;

class FakeView : public ScanView {
  public:
    void SetCommandText(const std::string& text) override { Log("command:" + text); }
    void EnableCommand(bool) override {}
    bool IsRowTicked(int row) override { return ticked[row]; }
    void SetItemsFoundCell(int, const std::string&) override {}
    void SetDetailsCell(int row, const std::string& text, bool) override {
        Log("details " + std::to_string(row) + ":" + text);
        std::lock_guard<std::mutex> lock(mutex);
        details[row] = text;
    }
    void SetStatusText(const std::string& text) override { Log("status:" + text); }
    void ShowStatus(bool visible) override { Log(visible ? "status shown" : "status hidden"); }
    void ShowProgressText(const std::string&) override {}
    void SetInstruction(const std::string&) override {}
    void ShowBusyBar(bool visible) override { Log(visible ? "busy shown" : "busy hidden"); }
    void StartBusyAnimation(int) override {}
    void StopBusyAnimation() override {}
    void ShowClearButton(bool visible) override { Log(visible ? "clear shown" : "clear hidden"); }
    void ShowResultLine(bool) override {}
    void SetResultText(const std::string&) override {}
    void ShowMessage(const std::string& text) override { Log("message:" + text); }
    void Repaint() override {}
    void EnablePageButtons(bool enabled) override { Log(enabled ? "pages on" : "pages off"); }
    void RestoreMainWindow() override {}
    void NotifyScanFinished() override { Log("scan finished"); }
    void NotifyRepairFinished() override { Log("repair finished"); }

    void Log(const std::string& event) {
        std::lock_guard<std::mutex> lock(mutex);
        events.push_back(event);
    }
    int Count(const std::string& event) {
        std::lock_guard<std::mutex> lock(mutex);
        return static_cast<int>(std::count(events.begin(), events.end(), event));
    }
    std::string Message() {
        std::lock_guard<std::mutex> lock(mutex);
        for (auto it = events.rbegin(); it != events.rend(); ++it)
            if (it->rfind("message:", 0) == 0) return it->substr(8);
        return {};
    }

    bool ticked[kCategoryCount] = {true, true, true, true, true, true, true, true};
    std::mutex mutex;
    std::vector<std::string> events;
    std::map<int, std::string> details;
};

// Backup files go to memory through this probe when a test fills the disk.
class MemoryBackupFiles : public MappedFileProbe {
  public:
    using MappedFileProbe::MappedFileProbe;
    std::unique_ptr<FileStream> OpenFile(const std::string& path, FileMode mode,
                                         Status* status) override {
        if (!file) return MappedFileProbe::OpenFile(path, mode, status);
        if (status != nullptr) *status = status::kSuccess;
        return std::make_unique<testing::MemoryFile>(file);
    }
    std::shared_ptr<testing::MemoryFileState> file;
};

class RepairEngineTest : public ::testing::Test {
  protected:
    RepairEngineTest() {
        std::string pattern = (fs::temp_directory_path() / "qm-repair-XXXXXX").string();
        if (mkdtemp(pattern.data()) == nullptr) std::abort();
        root_ = pattern;
        fs::create_directories(root_ / "Quillmend");
        MappedFilesConfig config;
        config.drives['C'] = root_.string();
        config.moduleFileName = "C:\\Quillmend\\Quillmend.exe";
        files_ = std::make_unique<MemoryBackupFiles>(config);
        system_.SetTime(UtcTime{2026, 12, 6, 14, 5, 9});
        backups_ = std::make_unique<BackupStore>(*files_, system_);
        remover_ = std::make_unique<EntryRemover>(registry_, *files_);
        engine_ = std::make_unique<RepairEngine>(
            registry_, *backups_, *remover_, view_, items_, counters_,
            [this](const std::string& text) { view_.SetCommandText(text); });
    }
    ~RepairEngineTest() override { fs::remove_all(root_); }

    void Set(HKey root, const std::string& path, const std::string& name,
             const std::string& text = "x") {
        RegKey key(registry_);
        ASSERT_EQ(key.Create(root, path.c_str(), access::kAllAccess), status::kSuccess);
        registry_.SetValue(key.get(), name.c_str(), regtype::kSz,
                           reinterpret_cast<const uint8_t*>(text.c_str()),
                           static_cast<uint32_t>(text.size() + 1));
    }
    void Item(ScanCategory category, const std::string& keyPath, const std::string& valueName,
              bool selected = true) {
        auto item = std::make_unique<FoundItem>(keyPath, valueName, "C:\\gone",
                                                static_cast<int32_t>(category));
        item->selected = selected;
        items_.Append(std::move(item));
        ++counters_.categoryCount[static_cast<int>(category)];
        ++counters_.totalCount;
    }
    TreeSnapshot All() {
        TreeSnapshot all;
        for (HKey root : {hkey::kLocalMachine, hkey::kCurrentUser, hkey::kUsers})
            for (auto& [path, values] : Snapshot(registry_, root, ""))
                if (path.rfind("SOFTWARE\\Quillmend", 0) != 0)
                    all[std::string(RootKeyFullName(root)) + "\\" + path] = values;
        return all;
    }
    std::string BackupText() {
        const fs::path path = root_ / "Quillmend" / "Backup" / "QmRegBak 6-12-2026 14-5-9.reg";
        std::ifstream in(path, std::ios::binary);
        return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    }
    void Restore(const std::string& text) {
        regtext::Document doc;
        regtext::ParseError error;
        ASSERT_TRUE(regtext::Parse(text, doc, error)) << error.message;
        registry_.Apply(doc);
    }
    int LastFoundErrors() {
        return SettingsStore(registry_).ReadNumber(kProductName, setting::kLastFoundErrors);
    }

    fs::path root_;
    MemoryRegistry registry_;
    std::unique_ptr<MemoryBackupFiles> files_;
    HostSystemInfo system_;
    std::unique_ptr<BackupStore> backups_;
    std::unique_ptr<EntryRemover> remover_;
    FakeView view_;
    FoundItemList items_;
    ScanCounters counters_;
    std::unique_ptr<RepairEngine> engine_;
};

const std::string kRun = "Software\\Microsoft\\Windows\\CurrentVersion\\Run";
const std::string kUninstall = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall";

TEST_F(RepairEngineTest, EachCategoryDeletesItsKindOfEntryAndTheBackupPutsItBack) {
    const std::string clsid = "SOFTWARE\\Classes\\CLSID\\{B0E5}";
    Set(hkey::kLocalMachine, clsid, "", "class");
    Set(hkey::kLocalMachine, clsid + "\\InprocServer32", "", "C:\\gone.dll");
    Set(hkey::kLocalMachine, kUninstall + "\\Demo\\Sub", "DisplayName");
    Set(hkey::kLocalMachine, kUninstall + "\\Keep", "DisplayName");
    Set(hkey::kLocalMachine, "SOFTWARE\\Fonts", "Gone (TrueType)");
    Set(hkey::kLocalMachine, "SOFTWARE\\SharedDLLs", "C:\\gone.dll");
    Set(hkey::kLocalMachine, "SOFTWARE\\App Paths\\gone.exe", "");
    Set(hkey::kLocalMachine, "SOFTWARE\\Help", "gone.hlp");
    Set(hkey::kCurrentUser, kRun, "Gone");
    Set(hkey::kCurrentUser, "Software\\MenuOrder\\Start Menu\\Gone", "Order");
    Set(hkey::kLocalMachine, kRun, "Gone");
    Set(hkey::kUsers, ".DEFAULT\\Software\\Ref", "", "C:\\gone");
    Set(hkey::kUsers, ".DEFAULT\\Software\\Ref", "kept", "C:\\here");
    const TreeSnapshot before = All();

    Item(ScanCategory::ComActiveX, "HKCR\\CLSID\\{B0E5}\\InprocServer32", "label");
    Item(ScanCategory::Uninstall, "HKLM\\" + kUninstall, "Demo");
    Item(ScanCategory::Fonts, "HKLM\\SOFTWARE\\Fonts", "Gone (TrueType)");
    Item(ScanCategory::SharedDlls, "HKLM\\SOFTWARE\\SharedDLLs", "C:\\gone.dll");
    Item(ScanCategory::AppPaths, "HKLM\\SOFTWARE\\App Paths", "gone.exe");
    Item(ScanCategory::HelpFiles, "HKLM\\SOFTWARE\\Help", "gone.hlp");
    Item(ScanCategory::WindowsStartup, "HKCU\\" + kRun, "Gone");
    Item(ScanCategory::WindowsStartup, "HKCU\\Software\\MenuOrder\\Start Menu", "Gone");
    Item(ScanCategory::WindowsStartup, "HKLM\\" + kRun, "Gone");
    Item(ScanCategory::FilePathReference, "HKUS\\.DEFAULT\\Software\\Ref", "");
    // Prefixes a category does not delete under: nothing happens to them,
    // and they count as repaired.
    Item(ScanCategory::Fonts, "HKCU\\" + kRun, "Gone");
    Item(ScanCategory::ComActiveX, "HKLM\\" + clsid, "label");
    Item(ScanCategory::FilePathReference, "HKCR\\CLSID\\{B0E5}", "");

    engine_->RunRepair();
    TreeSnapshot expected = before;
    expected.erase("HKEY_LOCAL_MACHINE\\" + clsid + "\\InprocServer32");
    expected.erase("HKEY_LOCAL_MACHINE\\" + kUninstall + "\\Demo");
    expected.erase("HKEY_LOCAL_MACHINE\\" + kUninstall + "\\Demo\\Sub");
    expected.at("HKEY_LOCAL_MACHINE\\SOFTWARE\\Fonts").clear();
    expected.at("HKEY_LOCAL_MACHINE\\SOFTWARE\\SharedDLLs").clear();
    expected.erase("HKEY_LOCAL_MACHINE\\SOFTWARE\\App Paths\\gone.exe");
    expected.at("HKEY_LOCAL_MACHINE\\SOFTWARE\\Help").clear();
    expected.at("HKEY_CURRENT_USER\\" + kRun).clear();
    expected.erase("HKEY_CURRENT_USER\\Software\\MenuOrder\\Start Menu\\Gone");
    expected.at("HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run")
        .clear();  // stored as first spelt
    expected.at("HKEY_USERS\\.DEFAULT\\Software\\Ref").erase("");
    EXPECT_TRUE(All() == expected);

    // One backup file, entries in the order of the items.
    const std::string backup = BackupText();
    EXPECT_EQ(backup.find("REGEDIT4\r\n[HKEY_LOCAL_MACHINE\\" + clsid + "\\InprocServer32]\r\n"),
              0u);
    EXPECT_LT(backup.find(kUninstall + "\\Demo]"), backup.find("SOFTWARE\\Fonts]"));
    EXPECT_LT(backup.find("HKEY_LOCAL_MACHINE\\" + kRun), backup.find("HKEY_USERS"));
    Restore(backup);
    EXPECT_TRUE(All() == before);

    const RepairReport& report = engine_->lastReport();
    EXPECT_EQ(report.repaired, 13);
    EXPECT_EQ(LastFoundErrors(), 0);
    EXPECT_TRUE(report.notRepaired.empty());
    EXPECT_EQ(view_.Message(), "");
    EXPECT_EQ(view_.details[2], "2 errors found/fixed");
    EXPECT_EQ(items_.Count(), 0u);
}

// A class item names the merged view HKEY_CLASSES_ROOT; its key is deleted,
// backed up and restored where it lies: a user's class stays the user's,
// even where the machine has the same class, and a machine's stays the
// machine's. So do the 32-bit view's classes.
TEST_F(RepairEngineTest, AClassKeyIsDeletedAndRestoredWhereItLies) {
    const std::string user = "Software\\Classes\\CLSID\\{5E2}\\InprocServer32";
    const std::string machine = "SOFTWARE\\Classes\\CLSID\\{3AC}\\InprocServer32";
    const std::string user32 = "Software\\Classes\\Wow6432Node\\CLSID\\{32}\\InprocServer32";
    Set(hkey::kCurrentUser, user, "", "C:\\gone-user.dll");
    Set(hkey::kLocalMachine, "SOFTWARE\\Classes\\CLSID\\{5E2}", "", "the machine's class");
    Set(hkey::kLocalMachine, machine, "", "C:\\gone.dll");
    Set(hkey::kCurrentUser, user32, "", "C:\\gone32.dll");
    const TreeSnapshot before = All();

    Item(ScanCategory::ComActiveX, "HKCR\\CLSID\\{5E2}\\InprocServer32", "(Default)");
    Item(ScanCategory::ComActiveX, "HKCR\\CLSID\\{3AC}\\InprocServer32", "(Default)");
    Item(ScanCategory::ComActiveX, "HKCR\\Wow6432Node\\CLSID\\{32}\\InprocServer32", "(Default)");
    engine_->RunRepair();
    TreeSnapshot expected = before;
    for (const std::string& key : {"HKEY_CURRENT_USER\\" + user, "HKEY_LOCAL_MACHINE\\" + machine,
                                   "HKEY_CURRENT_USER\\" + user32})
        EXPECT_EQ(expected.erase(key), 1u) << key;
    EXPECT_TRUE(All() == expected);
    EXPECT_EQ(engine_->lastReport().repaired, 3);

    const std::string backup = BackupText();
    EXPECT_NE(backup.find("[HKEY_CURRENT_USER\\" + user + "]"), std::string::npos);
    EXPECT_NE(backup.find("[HKEY_LOCAL_MACHINE\\" + machine + "]"), std::string::npos);
    EXPECT_NE(backup.find("[HKEY_CURRENT_USER\\" + user32 + "]"), std::string::npos);
    EXPECT_EQ(backup.find("HKEY_CLASSES_ROOT"), std::string::npos);
    Restore(backup);
    EXPECT_TRUE(All() == before);
}

// While a category's items are repaired the status label says so in the
// category's own words, not in the scan's "Finding ..." ones.
TEST_F(RepairEngineTest, EachCategoryShowsItsOwnFixingText) {
    const char* const prefixes[] = {"HKCR", "HKLM", "HKLM", "HKLM", "HKLM", "HKLM", "HKCU", "HKLM"};
    for (int category = 1; category <= kCategoryCount; ++category)
        Item(static_cast<ScanCategory>(category),
             std::string(prefixes[category - 1]) + "\\Software\\Gone", "x");
    engine_->RunRepair();
    std::vector<std::string> shown;
    for (const std::string& event : view_.events)
        if (event.rfind("status:", 0) == 0) shown.push_back(event.substr(7));
    EXPECT_EQ(shown, (std::vector<std::string>{
                         "Fixing COM/ActiveX Entries...", "Fixing uninstall Entries...",
                         "Fixing Font Entries...", "Fixing Shared dlls Entries...",
                         "Fixing AppPath Entries...", "Fixing HelpFile Entries...",
                         "Fixing WinStatrtup Entries...", "Fixing Filepath Entries..."}));
}

TEST_F(RepairEngineTest, UntickedRowsAndUnselectedItemsStayAndCountAsRemaining) {
    Set(hkey::kLocalMachine, "SOFTWARE\\Fonts", "a");
    Set(hkey::kLocalMachine, "SOFTWARE\\Fonts", "b");
    Set(hkey::kLocalMachine, "SOFTWARE\\Help", "c");
    Item(ScanCategory::Fonts, "HKLM\\SOFTWARE\\Fonts", "a");
    Item(ScanCategory::Fonts, "HKLM\\SOFTWARE\\Fonts", "b", false);
    Item(ScanCategory::HelpFiles, "HKLM\\SOFTWARE\\Help", "c");
    view_.ticked[5] = false;  // Help files

    engine_->RunRepair();
    const TreeSnapshot all = All();
    EXPECT_EQ(all.at("HKEY_LOCAL_MACHINE\\SOFTWARE\\Fonts").count("a"), 0u);
    EXPECT_EQ(all.at("HKEY_LOCAL_MACHINE\\SOFTWARE\\Fonts").count("b"), 1u);
    EXPECT_EQ(all.at("HKEY_LOCAL_MACHINE\\SOFTWARE\\Help").count("c"), 1u);
    EXPECT_EQ(LastFoundErrors(), 2);
    EXPECT_EQ(view_.Message(), "");  // nothing went wrong
    // The rows tell what the scan found, after the main window was told.
    EXPECT_EQ(view_.details[2], "2 errors found/fixed");
    EXPECT_EQ(view_.details[0], "0 errors found/fixed");
    EXPECT_EQ(view_.details[5], "Not selected");
    EXPECT_EQ(view_.Count("repair finished"), 1);
    EXPECT_EQ(view_.events.back(), "pages on");
    EXPECT_EQ(view_.Count("command:Find"), 1);
    EXPECT_EQ(items_.Count(), 0u);

    // After a scan ("repairafterfind") the driver tells the main window
    // itself. A run with nothing to do still leaves a backup file: its header.
    view_.events.clear();
    engine_->RunRepair(true);
    EXPECT_EQ(view_.Count("repair finished"), 0);
    EXPECT_EQ(LastFoundErrors(), 0);
    std::ifstream second(root_ / "Quillmend" / "Backup" / "QmRegBak 6-12-2026 14-5-9 (2).reg",
                         std::ios::binary);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(second), {}), "REGEDIT4\r\n");
}

TEST_F(RepairEngineTest, NothingIsDeletedWithoutATickedRowOrABackupFile) {
    Set(hkey::kLocalMachine, "SOFTWARE\\Fonts", "a");
    Item(ScanCategory::Fonts, "HKLM\\SOFTWARE\\Fonts", "a");
    const TreeSnapshot before = All();
    SettingsStore(registry_).WriteNumber(kProductName, setting::kLastFoundErrors, 1);

    for (bool& row : view_.ticked) row = false;
    engine_->RunRepair();
    EXPECT_EQ(view_.Message(), "Please select atleast one item.");
    EXPECT_FALSE(fs::exists(root_ / "Quillmend" / "Backup"));
    for (bool& row : view_.ticked) row = true;

    // "Backup" is a file: no backup file can be made.
    std::ofstream(root_ / "Quillmend" / "Backup") << "x";
    view_.events.clear();
    engine_->RunRepair();
    EXPECT_EQ(view_.Message(),
              "Quillmend could not create a backup file in the folder "
              "\"C:\\Quillmend\\Backup\", so nothing was repaired.\nMake sure that the folder "
              "can be written to and try again.");
    EXPECT_TRUE(All() == before);
    EXPECT_EQ(items_.Count(), 1u);  // still there for another try
    EXPECT_EQ(view_.Count("command:Fix"), 1);
    EXPECT_EQ(view_.events.back(), "message:" + view_.Message());
    EXPECT_EQ(view_.Count("pages on"), 1);
    EXPECT_EQ(view_.Count("repair finished"), 0);
    EXPECT_EQ(LastFoundErrors(), 1);
    EXPECT_TRUE(engine_->lastReport().backupFailed);
}

TEST_F(RepairEngineTest, AFullDiskStopsTheRunAndTheBackupHoldsAllThatWasDeleted) {
    for (const char* name : {"a", "b", "c", "d", "e"}) {
        Set(hkey::kLocalMachine, "SOFTWARE\\Fonts", name);
        Item(ScanCategory::Fonts, "HKLM\\SOFTWARE\\Fonts", name);
    }
    const TreeSnapshot before = All();
    files_->file = std::make_shared<testing::MemoryFileState>();
    // Room for the header and two value sections, and part of a third.
    const std::string header = "REGEDIT4\r\n";
    const std::string section = "\r\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Fonts]\r\n\"a\" = \"x\"\r\n";
    files_->file->capacity = header.size() + 2 * section.size() + 10;

    engine_->RunRepair();
    const RepairReport& report = engine_->lastReport();
    EXPECT_TRUE(report.backupFailed);
    EXPECT_EQ(report.repaired, 2);
    EXPECT_EQ(LastFoundErrors(), 3);
    EXPECT_EQ(All().at("HKEY_LOCAL_MACHINE\\SOFTWARE\\Fonts").size(), 3u);
    EXPECT_EQ(files_->file->bytes.size(), header.size() + 2 * section.size());
    EXPECT_EQ(view_.Message().rfind("Quillmend could not write to the backup file", 0), 0u);
    Restore(files_->file->bytes);
    EXPECT_TRUE(All() == before);
}

// Entries are written a batch at a time and flushed once per batch; when a
// batch's flush fails, or a write fails and the flush of what was written
// before it fails too, nothing of that batch is deleted and the file holds
// exactly what was deleted.
TEST_F(RepairEngineTest, ABatchSharesOneFlushAndNothingOfAnUnflushedBatchIsDeleted) {
    const std::string header = "REGEDIT4\r\n";
    const std::string section = "\r\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Fonts]\r\n\"v000\" = \"x\"\r\n";
    const auto fill = [&](int count) {
        for (int i = 0; i < count; ++i) {
            char name[16];
            std::snprintf(name, sizeof name, "v%03d", i);
            Set(hkey::kLocalMachine, "SOFTWARE\\Fonts", name);
            Item(ScanCategory::Fonts, "HKLM\\SOFTWARE\\Fonts", name);
        }
        files_->file = std::make_shared<testing::MemoryFileState>();
        return All();
    };
    fill(600);
    engine_->RunRepair();
    EXPECT_EQ(engine_->lastReport().repaired, 600);
    EXPECT_LE(files_->file->flushes, 600 / 100 + 2);

    struct Fault {
        int flushLimit;
        size_t capacity;  // bytes of sections that fit
    };
    for (const Fault fault : {Fault{2, SIZE_MAX}, Fault{1, 3 * section.size() + 10}}) {
        const TreeSnapshot before = fill(300);
        files_->file->flushLimit = fault.flushLimit;
        if (fault.capacity != SIZE_MAX) files_->file->capacity = header.size() + fault.capacity;
        engine_->RunRepair();
        const RepairReport& report = engine_->lastReport();
        EXPECT_TRUE(report.backupFailed);
        EXPECT_LT(report.repaired, 300);
        if (fault.flushLimit == 1) {
            EXPECT_EQ(report.repaired, 0);
        }
        EXPECT_EQ(All().at("HKEY_LOCAL_MACHINE\\SOFTWARE\\Fonts").size(),
                  300u - static_cast<size_t>(report.repaired));
        EXPECT_EQ(files_->file->bytes.size(),
                  header.size() + static_cast<size_t>(report.repaired) * section.size());
        Restore(files_->file->bytes);
        EXPECT_TRUE(All() == before);
    }
}

TEST_F(RepairEngineTest, EntriesThatCannotBeSavedOrDeletedStayAndAreNamed) {
    Set(hkey::kLocalMachine, "SOFTWARE\\Classes\\CLSID\\{A}\\InprocServer32\\locked", "");
    ASSERT_TRUE(registry_.SetProtection(hkey::kLocalMachine,
                                        "SOFTWARE\\Classes\\CLSID\\{A}\\InprocServer32\\locked",
                                        MemoryRegistry::Protection::kUnreadable));
    Set(hkey::kLocalMachine, "SOFTWARE\\Help", "fixed.hlp");
    Set(hkey::kLocalMachine, "SOFTWARE\\Locked", "held.hlp");
    ASSERT_TRUE(registry_.SetProtection(hkey::kLocalMachine, "SOFTWARE\\Locked",
                                        MemoryRegistry::Protection::kReadOnly));
    Item(ScanCategory::ComActiveX, "HKCR\\CLSID\\{A}\\InprocServer32", "label");
    Item(ScanCategory::HelpFiles, "HKLM\\SOFTWARE\\Help", "fixed.hlp");
    Item(ScanCategory::HelpFiles, "HKLM\\SOFTWARE\\Locked", "held.hlp");

    engine_->RunRepair();
    EXPECT_EQ(view_.Message(),
              "2 of the selected entries were not repaired and were left as they were:\n"
              "HKCR\\CLSID\\{A}\\InprocServer32 (could not be saved to the backup)\n"
              "HKLM\\SOFTWARE\\Locked, value \"held.hlp\" (could not be deleted)");
    EXPECT_EQ(LastFoundErrors(), 2);
    EXPECT_EQ(All().at("HKEY_LOCAL_MACHINE\\SOFTWARE\\Help").size(), 0u);
    EXPECT_EQ(All().at("HKEY_LOCAL_MACHINE\\SOFTWARE\\Locked").size(), 1u);
    // Only the row of the entry that went says "Problems Fixed".
    EXPECT_EQ(view_.Count("details 5:Problems Fixed"), 1);
    EXPECT_EQ(view_.Count("details 0:Problems Fixed"), 0);
    RegKey server(registry_);
    EXPECT_EQ(server.Open(hkey::kClassesRoot, "CLSID\\{A}\\InprocServer32", access::kRead),
              status::kSuccess);
}

// Each entry left in place is named with its own reason, whatever the item
// before it left behind; an empty subkey name, which would name the whole
// Uninstall, App Paths or MenuOrder key, deletes nothing.
TEST_F(RepairEngineTest, EachEntryLeftInPlaceHasItsOwnReasonAndEmptyNamesDeleteNothing) {
    const std::string server = "SOFTWARE\\Classes\\CLSID\\{A}\\InprocServer32";
    Set(hkey::kLocalMachine, server + "\\locked", "");
    ASSERT_TRUE(registry_.SetProtection(hkey::kLocalMachine, server + "\\locked",
                                        MemoryRegistry::Protection::kUnreadable));
    Set(hkey::kLocalMachine, kUninstall + "\\Demo", "DisplayName");
    Set(hkey::kLocalMachine, "SOFTWARE\\App Paths\\a.exe", "");
    Set(hkey::kCurrentUser, "Software\\MenuOrder\\Start Menu\\Programs", "Order");
    const TreeSnapshot before = All();
    for (const char* prefix : {"", "HKCR\\Skipped"}) {
        // After an item that could not be backed up, or one that was skipped.
        if (*prefix == '\0')
            Item(ScanCategory::ComActiveX, "HKCR\\CLSID\\{A}\\InprocServer32", "label");
        else
            Item(ScanCategory::Uninstall, prefix, "Demo");
        Item(ScanCategory::Uninstall, "HKLM\\" + kUninstall, "");
    }
    Item(ScanCategory::AppPaths, "HKLM\\SOFTWARE\\App Paths", "");
    Item(ScanCategory::WindowsStartup, "HKCU\\Software\\MenuOrder\\Start Menu", "");

    engine_->RunRepair();
    EXPECT_TRUE(All() == before);
    EXPECT_EQ(view_.Message(),
              "5 of the selected entries were not repaired and were left as they were:\n"
              "HKCR\\CLSID\\{A}\\InprocServer32 (could not be saved to the backup)\n"
              "HKLM\\" +
                  kUninstall +
                  "\\ (could not be deleted)\n"
                  "HKLM\\" +
                  kUninstall +
                  "\\ (could not be deleted)\n"
                  "HKLM\\SOFTWARE\\App Paths\\ (could not be deleted)\n"
                  "HKCU\\Software\\MenuOrder\\Start Menu\\ (could not be deleted)");
    EXPECT_EQ(engine_->lastReport().repaired, 1);  // the skipped item
    EXPECT_EQ(LastFoundErrors(), 5);
}

// Found items planted for the driver's fake scanners, by category.
std::map<int, std::vector<std::pair<std::string, std::string>>> planted;

template <int Category>
void PlantedScanner(ScanContext& context) {
    for (const auto& [keyPath, valueName] : planted[Category])
        context.Add(keyPath, valueName, "C:\\gone", static_cast<ScanCategory>(Category),
                    [](CheckLog& log) {
                        log.push_back({"C:\\gone", Existence::kMissing});
                        return Existence::kMissing;
                    });
}

TEST_F(RepairEngineTest, FixTakesEveryItemOfUnopenedCategoriesAndTheUsersTicksElsewhere) {
    for (const char* name : {"a", "b"}) {
        Set(hkey::kLocalMachine, "SOFTWARE\\Fonts", name);
        Set(hkey::kLocalMachine, "SOFTWARE\\Help", name);
    }
    planted = {{3, {{"HKLM\\SOFTWARE\\Fonts", "a"}, {"HKLM\\SOFTWARE\\Fonts", "b"}}},
               {6, {{"HKLM\\SOFTWARE\\Help", "a"}, {"HKLM\\SOFTWARE\\Help", "b"}}}};
    ScannerTable scanners{&PlantedScanner<1>, &PlantedScanner<2>, &PlantedScanner<3>,
                          &PlantedScanner<4>, &PlantedScanner<5>, &PlantedScanner<6>,
                          &PlantedScanner<7>, &PlantedScanner<8>};
    ScanDriver driver(registry_, *files_, view_, scanners, [] { return 0u; });
    RepairEngine engine(driver, registry_, *backups_, *remover_, view_);

    for (int scan = 0; scan < 2; ++scan) {
        driver.OnFindCommand();  // Find
        driver.WaitForWorker();
        ASSERT_EQ(driver.CommandText(), "Fix");
        if (scan == 0) {
            // The Fonts details are opened (every item ticked) and "b" is
            // unticked; the Help files details are never opened.
            driver.MarkDetailsOpened(3);
            driver.items().ForEach([](FoundItem& item) {
                if (item.category == 3) item.selected = item.valueName != "b";
            });
        }
        driver.OnFindCommand();  // Fix
        driver.WaitForWorker();
        EXPECT_EQ(driver.CommandText(), "Find");
        EXPECT_EQ(driver.items().Count(), 0u);
        // A new scan forgets which details were opened.
        EXPECT_EQ(All().at("HKEY_LOCAL_MACHINE\\SOFTWARE\\Fonts").size(), scan == 0 ? 1u : 0u);
        EXPECT_EQ(All().at("HKEY_LOCAL_MACHINE\\SOFTWARE\\Help").size(), 0u);
        planted[3] = {{"HKLM\\SOFTWARE\\Fonts", "b"}};
        planted[6].clear();
    }
    EXPECT_EQ(LastFoundErrors(), 0);
}

// With "repairafterfind" set, a repair that cannot make its backup file is
// handled as a Fix would be: nothing deleted, the list kept for another
// try, and the main window not told that a repair finished (it would empty
// the list, and "Shutdownafterclean" would close the program).
TEST_F(RepairEngineTest, AnAutomaticRepairWithoutABackupKeepsTheItemsAndClosesNothing) {
    Set(hkey::kLocalMachine, "SOFTWARE\\Fonts", "a");
    planted = {{3, {{"HKLM\\SOFTWARE\\Fonts", "a"}}}};
    ScannerTable scanners{&PlantedScanner<1>, &PlantedScanner<2>, &PlantedScanner<3>,
                          &PlantedScanner<4>, &PlantedScanner<5>, &PlantedScanner<6>,
                          &PlantedScanner<7>, &PlantedScanner<8>};
    ScanDriver driver(registry_, *files_, view_, scanners, [] { return 0u; });
    RepairEngine engine(driver, registry_, *backups_, *remover_, view_);
    SettingsStore(registry_).WriteNumber(kProductName, setting::kRepairAfterFind, 1);
    std::ofstream(root_ / "Quillmend" / "Backup") << "x";
    const TreeSnapshot before = All();

    driver.OnFindCommand();
    driver.WaitForWorker();
    EXPECT_EQ(view_.Message().rfind("Quillmend could not create a backup file", 0), 0u);
    EXPECT_TRUE(All() == before);
    EXPECT_EQ(driver.items().Count(), 1u);
    EXPECT_EQ(driver.CommandText(), "Fix");
    EXPECT_EQ(view_.Count("repair finished"), 0);
    EXPECT_EQ(view_.Count("scan finished"), 1);
    EXPECT_EQ(LastFoundErrors(), 1);
}

}  // namespace
}  // namespace qm
