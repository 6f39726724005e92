#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "scan/found_item.h"
#include "scan/scanners.h"
#include "tests/scan/scan_fixture.h"

namespace qm::testing {
namespace {

const std::string kRun = "Software\\Microsoft\\Windows\\CurrentVersion\\Run";
const std::string kShellFolders =
    "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";
const std::string kOrder =
    "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\MenuOrder\\Start Menu\\Programs";
const std::string kOrder2 =
    "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\MenuOrder\\Start Menu2\\Programs";
const std::string kCommon = "C:\\Documents and Settings\\All Users\\Start Menu\\Programs";
const std::string kUser = "C:\\Documents and Settings\\User\\Start Menu\\Programs";

class StartupScannerTest : public ScanFixture {
  protected:
    StartupScannerTest() {
        for (const char* file : {"C:\\Program Files\\App\\app.exe",
                                 "C:\\WINDOWS\\system32\\loader.exe", "C:\\cwdonly.exe"})
            MakeFile(file);
        MakeFolder(kCommon + "\\Accessories");
        MakeFolder(kUser + "\\Games");
        LoadRegistry(R"reg(
[HKEY_LOCAL_MACHINE\Software\Microsoft\Windows\CurrentVersion\Run]
"App"="\"C:\\Program Files\\App\\app.exe\" /tray"
"Gone"="C:\\Program Files\\Gone\\gone.exe -background"
"Loader"="loader.exe C:\\Program Files\\App\\helper.dll,Start"
"CwdOnly"="cwdonly.exe"
[HKEY_CURRENT_USER\Software\Microsoft\Windows\CurrentVersion\Run]
"UserGone"="\"%ProgramFiles%\\Gone\\user.exe\""
"UserApp"="%ProgramFiles%\\App\\app.exe"
[HKEY_LOCAL_MACHINE\SOFTWARE\Microsoft\Windows\CurrentVersion\Explorer\Shell Folders]
"Common Programs"="C:\\Documents and Settings\\All Users\\Start Menu\\Programs"
[HKEY_CURRENT_USER\Software\Microsoft\Windows\CurrentVersion\Explorer\MenuOrder\Start Menu\Programs\Accessories]
[HKEY_CURRENT_USER\Software\Microsoft\Windows\CurrentVersion\Explorer\MenuOrder\Start Menu\Programs\Games]
[HKEY_CURRENT_USER\Software\Microsoft\Windows\CurrentVersion\Explorer\MenuOrder\Start Menu\Programs\Removed]
[HKEY_CURRENT_USER\Software\Microsoft\Windows\CurrentVersion\Explorer\MenuOrder\Start Menu2\Programs\Removed2]
)reg");
    }

    // "name=data" of the Start Menu order items found.
    Texts MenuItems() {
        Texts items;
        for (const auto& [key, name, data, category] : Run(ScanWindowsStartup))
            if (key.find("MenuOrder") != std::string::npos) items.push_back(name + "=" + data);
        return items;
    }
};

TEST_F(StartupScannerTest, ReportsMissingProgramsAndMenuFolders) {
    EXPECT_EQ(
        Run(ScanWindowsStartup),
        (std::vector<Found>{{"HKLM\\" + kRun, "Gone", "C:\\Program Files\\Gone\\gone.exe", 7},
                            {"HKLM\\" + kRun, "CwdOnly", "cwdonly.exe", 7},
                            {"HKCU\\" + kRun, "UserGone", "\"%ProgramFiles%\\Gone\\user.exe", 7},
                            {"HKCU\\" + kOrder, "Removed", kCommon + "\\Removed", 7},
                            {"HKCU\\" + kOrder2, "Removed2", kCommon + "\\Removed2", 7}}));
    EXPECT_EQ(counters.categoryCount[7], 5);
    std::vector<bool> isKey;
    list.ForEach([&](const FoundItem& item) { isKey.push_back(ItemIsKey(item)); });
    EXPECT_EQ(isKey, (std::vector<bool>{false, false, false, true, true}));
    // Only the second order key sends the two paths it tests.
    EXPECT_EQ(sink.texts, (Texts{kRun, kRun, kShellFolders, kOrder, kOrder2, kUser + "\\Removed2",
                                 kCommon + "\\Removed2"}));
}

TEST_F(StartupScannerTest, EitherProgramsFolderAloneDecides) {
    config.specialFolders.clear();  // no user Programs folder: its paths are "\name"
    EXPECT_EQ(MenuItems(),
              (Texts{"Games=" + kCommon + "\\Games", "Removed=" + kCommon + "\\Removed",
                     "Removed2=" + kCommon + "\\Removed2"}));
}

TEST_F(StartupScannerTest, MissingCommonFolderLeavesUserToDecide) {
    registry.DeleteTree(hkey::kLocalMachine, kShellFolders.c_str());
    EXPECT_EQ(MenuItems(),
              (Texts{"Accessories=\\Accessories", "Removed=\\Removed", "Removed2=\\Removed2"}));
}

TEST_F(StartupScannerTest, StopAndReadOnlyKeys) {
    // Stop during the Run values: every later loop returns at its first poll.
    sink.stopAt = kRun;
    EXPECT_TRUE(Run(ScanWindowsStartup).empty());
    EXPECT_EQ(sink.texts, (Texts{kRun, kRun, kShellFolders, kOrder, kOrder2}));

    stop = 0;
    sink.stopAt.clear();
    registry.SetProtection(hkey::kLocalMachine, kRun, MemoryRegistry::Protection::kReadOnly);
    registry.SetProtection(hkey::kCurrentUser, kOrder, MemoryRegistry::Protection::kReadOnly);
    Texts names;
    for (const auto& [key, name, data, category] : Run(ScanWindowsStartup)) names.push_back(name);
    EXPECT_EQ(names, (Texts{"UserGone", "Removed2"}));
}

}  // namespace
}  // namespace qm::testing
