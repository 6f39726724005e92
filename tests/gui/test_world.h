// What the window tests share: the paths they were given, the program's
// settings and other registry content of the prefix they run in, the items
// the headless scanner found in that prefix, and the fixture that starts and
// stops Quillmend.exe around each test.
#pragma once

#include <gtest/gtest.h>
#include <windows.h>

#include <memory>
#include <string>
#include <vector>

#include "tests/gui/app_driver.h"

namespace qm::gui_test {

struct TestPaths {
    std::string app;       // Quillmend.exe (its folder holds Backup and help)
    std::string expected;  // expected.tsv of prepare-prefix.sh
    std::string demoReg;   // demo/registry.reg
    std::string shots;     // folder for the pictures
};
TestPaths& Paths();
// A host path as Wine sees it (Z:\...); Windows paths pass unchanged.
std::string WinPath(const std::string& path);
std::string AppFolder();     // with trailing backslash
std::string BackupFolder();  // without

// One item the headless scanner found in the seeded prefix.
struct ExpectedItem {
    int category = 0;
    std::string keyPath, valueName, data, detail;
};
const std::vector<ExpectedItem>& ExpectedItems();
std::vector<ExpectedItem> ExpectedIn(int category);

// The registry entry a repair of the item deletes: a key tree or a value.
bool EntryExists(const ExpectedItem& item);

// Registry values, read and written directly in the shared prefix.
HKEY RootOf(const std::string& abbreviation);  // "HKLM", "HKCU", "HKCR", "HKUS"
bool ReadString(HKEY root, const std::string& key, const std::string& name, std::string& out);
bool WriteString(HKEY root, const std::string& key, const std::string& name,
                 const std::string& text);
bool KeyExists(HKEY root, const std::string& key);
void DeleteValue(HKEY root, const std::string& key, const std::string& name);
void DeleteTree(HKEY root, const std::string& key);

// The program's settings (HKLM\SOFTWARE\Quillmend).
extern const char kSettingsKey[];
std::string Setting(const std::string& name);
void SetSetting(const std::string& name, const std::string& text);
void ClearSetting(const std::string& name);

// Files.
std::vector<std::string> FilesIn(const std::string& folder);  // names, no folders
bool FileExists(const std::string& path);
bool WriteFile(const std::string& path, const std::string& bytes);
std::string ReadFileBytes(const std::string& path);

// Imports a registry file with Wine's regedit.exe and waits for it.
bool ImportRegistryFile(const std::string& path);

// The version text the tests store, and so the main window's caption.
extern const char kVersion[];
extern const char kCaption[];

// Starts and stops Quillmend.exe around a test; the settings are reset to
// "not a first start, every option off" and the Backup folder is emptied
// before each test.
class QuillmendTest : public ::testing::Test {
  protected:
    void SetUp() override;
    void TearDown() override;

    // Starts the program and waits for its main window; with `visible` also
    // until it shows. Fails the test (and returns null) otherwise.
    HWND Launch(const std::string& arguments = "", bool visible = true);
    // Closes the running program.
    void Quit();

    HWND Page(int controlId) const { return PageWith(main_, controlId); }
    HWND Control(int pageControlId, int id) const { return GetDlgItem(Page(pageControlId), id); }
    RemoteListView List(int listId) const;
    // Shows a page through its side button and waits until it is visible.
    HWND ShowPage(int sideButton, int pageControlId);

    // Find & Fix page.
    std::string CommandText() const;
    void TickCategories(const std::vector<int>& categories);  // others unticked
    // Presses Find and waits until the scan has ended (page buttons enabled
    // again, command button no longer "Stop Find").
    void FindAndWait(DWORD milliseconds = 300000);
    bool WaitIdle(DWORD milliseconds);
    bool SideButtonsEnabled() const;

    // Saves a picture of the window into the pictures folder.
    void Snapshot(HWND hwnd, const std::string& name);

    std::unique_ptr<AppProcess> app_;
    HWND main_ = nullptr;
};

}  // namespace qm::gui_test
