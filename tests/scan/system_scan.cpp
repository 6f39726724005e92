#include "tests/scan/system_scan.h"

#include <atomic>
#include <cctype>
#include <cstdio>

#include "repair/file_path_scanner.h"
#include "scan/found_item.h"
#include "scan/scanners.h"

namespace qm::test {

namespace {

constexpr const char* kUninstall = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall";
constexpr const char* kFonts = "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Fonts";
constexpr const char* kSharedDlls = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\SharedDLLs";
constexpr const char* kAppPaths = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Paths";
constexpr const char* kHelp = "SOFTWARE\\Microsoft\\Windows\\HELP";
constexpr const char* kRun = "Software\\Microsoft\\Windows\\CurrentVersion\\Run";
constexpr const char* kMenuOrder =
    "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\MenuOrder\\Start Menu\\Programs";
constexpr const char* kMenuOrder2 =
    "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\MenuOrder\\Start Menu2\\Programs";
constexpr const char* kCommonShellFolders =
    "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";

// The test's class, application and library GUIDs: {51CA7E57-0000-4000-8000-0000000000NN}.
std::string Guid(int n) {
    char text[64];
    std::snprintf(text, sizeof text, "%s0000-4000-8000-%012X}", kGuidPrefix, n);
    return text;
}

bool Names(const std::string& text) {
    return text.find(kMarker) != std::string::npos || text.find(kGuidPrefix) != std::string::npos;
}

std::vector<std::string> Components(const std::string& path) {
    std::vector<std::string> parts;
    size_t start = 0;
    for (;;) {
        const size_t end = path.find('\\', start);
        parts.push_back(path.substr(start, end - start));
        if (end == std::string::npos) return parts;
        start = end + 1;
    }
}

}  // namespace

void SystemScan::SetUp() {
    backend_ = GetParam()();
    base_ = std::string("C:\\") + kMarker;
    gone_ = base_ + "\\Gone";
    backend_->RemoveTree(base_);  // left behind by a run that was killed
    ASSERT_EQ(files().CreateFolder(base_), status::kSuccess) << base_;
}

void SystemScan::TearDown() {
    for (const auto& [root, keyPath, name] : addedValues_) {
        RegKey key(reg());
        if (key.Open(root, keyPath.c_str(), access::kAllAccess) == status::kSuccess)
            reg().DeleteValue(key.get(), name.c_str());
    }
    for (auto it = createdKeys_.rbegin(); it != createdKeys_.rend(); ++it) {
        EXPECT_EQ(reg().DeleteTree(it->first, it->second.c_str()), status::kSuccess) << it->second;
        RegKey gone(reg());
        EXPECT_NE(gone.Open(it->first, it->second.c_str(), access::kRead), status::kSuccess)
            << it->second << " is still there";
    }
    for (const auto& file : outsideFiles_) EXPECT_EQ(files().DeleteFile(file), status::kSuccess);
    for (const auto& folder : outsideFolders_) backend_->RemoveTree(folder);
    backend_->RemoveTree(base_);
    EXPECT_FALSE(files().PathExists(base_));
}

void SystemScan::RememberKey(HKey root, const std::string& keyPath) {
    std::string prefix;
    for (const auto& part : Components(keyPath)) {
        prefix += (prefix.empty() ? "" : "\\") + part;
        RegKey key(reg());
        if (key.Open(root, prefix.c_str(), access::kRead) != status::kSuccess) {
            createdKeys_.emplace_back(root, prefix);
            return;
        }
    }
}

void SystemScan::MakeKey(HKey root, const std::string& keyPath) {
    RememberKey(root, keyPath);
    RegKey key(reg());
    ASSERT_EQ(key.Create(root, keyPath.c_str(), access::kAllAccess), status::kSuccess) << keyPath;
}

void SystemScan::SetText(HKey root, const std::string& keyPath, const std::string& name,
                         const std::string& text, uint32_t type) {
    RememberKey(root, keyPath);
    RegKey key(reg());
    ASSERT_EQ(key.Create(root, keyPath.c_str(), access::kAllAccess), status::kSuccess) << keyPath;
    std::string bytes = text + '\0';
    if (type == regtype::kMultiSz) bytes += '\0';
    ASSERT_EQ(reg().SetValue(key.get(), name.c_str(), type,
                             reinterpret_cast<const uint8_t*>(bytes.data()),
                             static_cast<uint32_t>(bytes.size())),
              status::kSuccess);
    addedValues_.emplace_back(root, keyPath, name);
}

void SystemScan::SetDword(HKey root, const std::string& keyPath, const std::string& name,
                          uint32_t value) {
    RememberKey(root, keyPath);
    RegKey key(reg());
    ASSERT_EQ(key.Create(root, keyPath.c_str(), access::kAllAccess), status::kSuccess) << keyPath;
    const uint8_t bytes[4] = {static_cast<uint8_t>(value), static_cast<uint8_t>(value >> 8),
                              static_cast<uint8_t>(value >> 16), static_cast<uint8_t>(value >> 24)};
    ASSERT_EQ(reg().SetValue(key.get(), name.c_str(), regtype::kDword, bytes, 4), status::kSuccess);
    addedValues_.emplace_back(root, keyPath, name);
}

void SystemScan::MakeFolder(const std::string& path) {
    if (path.rfind(base_ + "\\", 0) != 0) {
        ASSERT_EQ(files().CreateFolder(path), status::kSuccess) << path;
        outsideFolders_.push_back(path);
        return;
    }
    std::string folder = base_;
    for (const auto& part : Components(path.substr(base_.size() + 1))) {
        folder += "\\" + part;
        const Status made = files().CreateFolder(folder);
        ASSERT_TRUE(made == status::kSuccess || made == status::kAlreadyExists) << folder;
    }
}

void SystemScan::MakeFile(const std::string& path) {
    const size_t slash = path.rfind('\\');
    if (path.rfind(base_ + "\\", 0) == 0) {
        if (slash > base_.size()) MakeFolder(path.substr(0, slash));
    } else {
        outsideFiles_.push_back(path);
    }
    Status made = status::kSuccess;
    ASSERT_NE(files().OpenFile(path, FileMode::kCreateAlways, &made), nullptr)
        << path << ": " << made;
}

std::vector<Item> SystemScan::Run(void (*scanner)(ScanContext&)) {
    FoundItemList list;
    ScanCounters counters;
    std::atomic<int> stop{0};
    ScanContext ctx{reg(), files(), list, counters, stop, nullptr};
    scanner(ctx);
    EXPECT_EQ(static_cast<size_t>(counters.totalCount), list.Count());
    std::vector<Item> mine;
    list.ForEach([&](const FoundItem& item) {
        if (Names(item.keyPath) || Names(item.valueName) || Names(item.data))
            mine.emplace_back(item.keyPath, item.valueName, item.data, item.category);
    });
    return mine;
}

// Entries are written in name order wherever two of them share a key:
// Windows lists values in the order they were written and Wine in name
// order, so the items come out in the same order on both.

TEST_P(SystemScan, ComActiveX) {
    MakeFile(base_ + "\\lib.dll");
    MakeFile(base_ + "\\Program Dir\\tool.exe");
    const auto server = [&](int n, const char* kind, const std::string& command) {
        SetText(hkey::kClassesRoot, "CLSID\\" + Guid(n) + "\\" + kind, "", command);
    };
    server(1, "InprocServer32", base_ + "\\lib.dll");
    server(2, "LocalServer32", "\"" + base_ + "\\Program Dir\\tool.exe\" /automation");
    server(3, "InprocServer32", gone_ + "\\x.dll");
    server(3, "LocalServer32", "\"" + gone_ + "\\x.exe\" -Embedding");
    server(4, "InprocServer32", "qmsystemscan-bare.dll");  // no folder: never judged
    server(4, "InprocHandler32", base_);                   // an existing folder
    SetText(hkey::kClassesRoot, "CLSID\\" + Guid(5), "AppID", Guid(0xA1));
    MakeKey(hkey::kClassesRoot, "AppID\\" + Guid(0xA1));
    SetText(hkey::kClassesRoot, "CLSID\\" + Guid(6), "AppID", Guid(0xA2));
    SetText(hkey::kClassesRoot, std::string("AppID\\") + kMarker + ".exe", "AppID", Guid(0xA1));
    SetText(hkey::kClassesRoot, std::string("AppID\\") + kMarker + "Gone.exe", "AppID", Guid(0xA3));
    // An application key named by a GUID is never examined for references.
    SetText(hkey::kClassesRoot, "AppID\\" + Guid(0xA4), "AppID", Guid(0xA3));
    SetText(hkey::kClassesRoot, std::string(kMarker) + ".Healthy\\CLSID", "", Guid(1));
    SetText(hkey::kClassesRoot, std::string(kMarker) + ".Gone\\CLSID", "", Guid(7));
    const std::string library = "TypeLib\\" + Guid(0xB1);
    SetText(hkey::kClassesRoot, library + "\\1.0\\0\\win32", "", base_ + "\\lib.dll");
    SetText(hkey::kClassesRoot, library + "\\2.0\\0\\win32", "", gone_ + "\\lib.tlb");
    SetText(hkey::kClassesRoot, library + "\\2.0\\FLAGS", "", "0");
    SetText(hkey::kClassesRoot, library + "\\2.0\\HELPDIR", "", gone_);

    const std::string gone3 = "HKCR\\CLSID\\" + Guid(3);
    EXPECT_EQ(Run(ScanComActiveX),
              (std::vector<Item>{
                  {gone3 + "\\InprocServer32", "(Default)", gone_ + "\\x.dll", 1},
                  {gone3 + "\\LocalServer32", "(Default)", gone_ + "\\x.exe", 1},
                  {"HKCR\\CLSID\\" + Guid(6), "AppID", Guid(0xA2), 1},
                  {std::string("HKCR\\AppID\\") + kMarker + "Gone.exe", "AppID", Guid(0xA3), 1},
                  {std::string("HKCR\\") + kMarker + ".Gone\\CLSID", "{Default}", Guid(7), 1},
                  {"HKCR\\" + library + "\\2.0\\0\\win32", "(Default)", gone_ + "\\lib.tlb", 1},
              }));
}

TEST_P(SystemScan, Uninstall) {
    MakeFile(base_ + "\\app.exe");
    const auto entry = [&](const char* name, const char* value, const std::string& text) {
        SetText(hkey::kLocalMachine, std::string(kUninstall) + "\\" + kMarker + " " + name, value,
                text);
    };
    entry("Bare", "UninstallString", "regedit.exe /s \"" + base_ + "\\remove.reg\"");
    entry("Empty", "UninstallString", "");
    entry("Gone", "UninstallString", gone_ + "\\unins000.exe /SILENT");
    entry("Healthy", "UninstallString", "\"" + base_ + "\\app.exe\" /S");
    entry("Hotfix", "DisplayName", "Hotfix");
    entry("Msi", "UninstallString", "MsiExec.exe /X" + Guid(0xC1));
    entry("Rundll", "UninstallString", "RunDll32.exe advpack.dll,LaunchINFSection x.inf");

    const std::string key = std::string("HKLM\\") + kUninstall;
    EXPECT_EQ(Run(ScanUninstall),
              (std::vector<Item>{
                  {key, std::string(kMarker) + " Empty", "", 2},
                  {key, std::string(kMarker) + " Gone", gone_ + "\\unins000.exe", 2},
              }));
}

TEST_P(SystemScan, Fonts) {
    std::string fontsFolder;
    ASSERT_TRUE(files().SpecialFolder(csidl::kFonts, fontsFolder));
    MakeFile(fontsFolder + "\\qmsystemscan.ttf");
    MakeFile(base_ + "\\font.ttf");
    const auto font = [&](const char* name, const std::string& file) {
        SetText(hkey::kLocalMachine, kFonts, std::string(kMarker) + " " + name + " (TrueType)",
                file);
    };
    font("Folder", "qmsystemscan.ttf");
    font("Full", base_ + "\\font.ttf");
    font("Gone", "qmsystemscan-gone.ttf");
    font("Gone Full", gone_ + "\\font.ttf");
    font("Pattern", "qmsystemscan.t?f");

    const std::string key = std::string("HKLM\\") + kFonts;
    EXPECT_EQ(Run(ScanFonts),
              (std::vector<Item>{
                  {key, std::string(kMarker) + " Gone (TrueType)", "qmsystemscan-gone.ttf", 3},
                  {key, std::string(kMarker) + " Gone Full (TrueType)", gone_ + "\\font.ttf", 3},
              }));
}

TEST_P(SystemScan, SharedDlls) {
    std::string windows;
    ASSERT_TRUE(files().SpecialFolder(csidl::kWindows, windows));
    MakeFile(windows + "\\" + kMarker + ".dll");
    MakeFile(base_ + "\\lib.dll");
    // The name is tested as written: the reference is not expanded, though
    // the file it would expand to is there.
    SetDword(hkey::kLocalMachine, kSharedDlls, std::string("%SystemRoot%\\") + kMarker + ".dll", 1);
    SetDword(hkey::kLocalMachine, kSharedDlls, base_ + "\\", 1);
    SetDword(hkey::kLocalMachine, kSharedDlls, gone_ + "\\lib.dll", 2);
    SetDword(hkey::kLocalMachine, kSharedDlls, base_ + "\\lib.dll", 3);

    const std::string key = std::string("HKLM\\") + kSharedDlls;
    EXPECT_EQ(Run(ScanSharedDlls),
              (std::vector<Item>{
                  {key, std::string("%SystemRoot%\\") + kMarker + ".dll", "", 4},
                  {key, gone_ + "\\lib.dll", "", 4},
              }));
}

TEST_P(SystemScan, AppPaths) {
    MakeFile(base_ + "\\app.exe");
    const auto program = [&](const char* name, const char* value, const std::string& text,
                             uint32_t type = regtype::kSz) {
        SetText(hkey::kLocalMachine, std::string(kAppPaths) + "\\" + kMarker + name, value, text,
                type);
    };
    program(".exe", "", base_ + "\\app.exe");
    program("Bare.exe", "", "notepad.exe");  // in the Windows folder, on the search path
    program("Empty.exe", "", "");
    program("Env.exe", "", "%SystemRoot%\\notepad.exe", regtype::kExpandSz);
    program("Gone.exe", "", "\"" + gone_ + "\\app.exe\" /x");
    program("NoDefault.exe", "Path", gone_);

    const std::string key = std::string("HKLM\\") + kAppPaths;
    EXPECT_EQ(Run(ScanAppPaths),
              (std::vector<Item>{
                  {key, std::string(kMarker) + "Empty.exe", "", 5},
                  {key, std::string(kMarker) + "Gone.exe", "\"" + gone_ + "\\app.exe", 5},
              }));
}

TEST_P(SystemScan, HelpFiles) {
    const std::string help = base_ + "\\help";
    MakeFile(help + "\\" + kMarker + ".hlp");
    MakeFile(help + "\\" + kMarker + "Slash.hlp");
    MakeFolder(base_ + "\\" + kMarker + "Sub");
    const auto file = [&](const char* name, const std::string& folder) {
        SetText(hkey::kLocalMachine, kHelp, std::string(kMarker) + name, folder);
    };
    file(".hlp", help);
    file("Folder.hlp", gone_);
    file("Gone.hlp", help);
    file("Slash.hlp", help + "\\");
    file("Sub", base_);  // names a folder inside the folder

    const std::string key = std::string("HKLM\\") + kHelp;
    EXPECT_EQ(Run(ScanHelpFiles), (std::vector<Item>{
                                      {key, std::string(kMarker) + "Folder.hlp", gone_, 6},
                                      {key, std::string(kMarker) + "Gone.hlp", help, 6},
                                  }));
}

TEST_P(SystemScan, WindowsStartup) {
    MakeFile(base_ + "\\app.exe");
    const std::string marker = kMarker;
    SetText(hkey::kLocalMachine, kRun, marker + " Gone", gone_ + "\\app.exe /x");
    SetText(hkey::kLocalMachine, kRun, marker + " Healthy", "\"" + base_ + "\\app.exe\" /tray");
    SetText(hkey::kCurrentUser, kRun, marker + " Bare", "notepad.exe /min");
    SetText(hkey::kCurrentUser, kRun, marker + " User Gone", "\"" + gone_ + "\\user.exe\"");

    std::string programs;
    ASSERT_TRUE(files().SpecialFolder(csidl::kPrograms, programs));
    MakeFolder(programs + "\\" + marker + " Present");
    MakeKey(hkey::kCurrentUser, std::string(kMenuOrder) + "\\" + marker + " Old");
    MakeKey(hkey::kCurrentUser, std::string(kMenuOrder) + "\\" + marker + " Present");
    MakeKey(hkey::kCurrentUser, std::string(kMenuOrder2) + "\\" + marker + " Gone");
    MakeKey(hkey::kCurrentUser, std::string(kMenuOrder2) + "\\" + marker + " Present");

    // An order entry's item names the folder in the all-users Programs
    // folder, as the system records it (or nothing).
    std::string common;
    RegKey shellFolders(reg());
    if (shellFolders.Open(hkey::kLocalMachine, kCommonShellFolders, access::kRead) ==
        status::kSuccess) {
        char text[1024] = {};
        uint32_t size = sizeof text - 1;
        if (reg().QueryValue(shellFolders.get(), "Common Programs", nullptr,
                             reinterpret_cast<uint8_t*>(text), &size) == status::kSuccess)
            common = text;
    }

    EXPECT_EQ(
        Run(ScanWindowsStartup),
        (std::vector<Item>{
            {std::string("HKLM\\") + kRun, marker + " Gone", gone_ + "\\app.exe", 7},
            {std::string("HKCU\\") + kRun, marker + " User Gone", "\"" + gone_ + "\\user.exe", 7},
            {std::string("HKCU\\") + kMenuOrder, marker + " Old", common + "\\" + marker + " Old",
             7},
            {std::string("HKCU\\") + kMenuOrder2, marker + " Gone",
             common + "\\" + marker + " Gone", 7},
        }));
}

TEST_P(SystemScan, FilePathReferences) {
    MakeFile(base_ + "\\app.exe");
    MakeFile(base_ + "\\lib.dll");
    MakeFile(base_ + "\\Program Dir\\tool.exe");
    const std::string key = std::string("SOFTWARE\\") + kMarker;
    SetText(hkey::kLocalMachine, key + "\\Deep\\Deeper", "Gone", gone_ + "\\deep.txt");
    SetText(hkey::kLocalMachine, key, "", gone_ + "\\");
    SetText(hkey::kLocalMachine, key, "Expanded", "%SystemRoot%\\notepad.exe", regtype::kExpandSz);
    SetText(hkey::kLocalMachine, key, "Gone", gone_ + "\\data.bin");
    SetText(hkey::kLocalMachine, key, "Index", base_ + "\\lib.dll,3");
    SetText(hkey::kLocalMachine, key, "MultiSz", gone_ + "\\list.txt", regtype::kMultiSz);
    SetText(hkey::kLocalMachine, key, "Present", base_ + "\\app.exe");
    SetText(hkey::kLocalMachine, key, "Quoted", "\"" + base_ + "\\app.exe\" \"%1\"");
    SetText(hkey::kLocalMachine, key, "Unexpanded", base_ + "\\%QMSYSTEMSCANNOPE%\\x.exe");
    SetText(hkey::kLocalMachine, key, "Wildcard", gone_ + "\\*.log");
    SetText(hkey::kLocalMachine, key, "WithArgs", base_ + "\\Program Dir\\tool.exe -x");
    SetText(hkey::kUsers, std::string(".DEFAULT\\Software\\") + kMarker, "Gone", gone_);

    // The walk names keys as the system spells them ("Software" under Wine,
    // "SOFTWARE" on Windows); key names ignore case.
    const auto upperKeys = [](std::vector<Item> items) {
        for (auto& item : items)
            for (char& c : std::get<0>(item))
                c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        return items;
    };
    const std::string hklm = "HKLM\\" + key;
    EXPECT_EQ(upperKeys(Run(ScanFilePaths)),
              upperKeys({
                  {hklm + "\\Deep\\Deeper", "Gone", gone_ + "\\deep.txt", 8},
                  {hklm, "", gone_ + "\\", 8},
                  {hklm, "Gone", gone_ + "\\data.bin", 8},
                  {hklm, "Unexpanded", base_ + "\\%QMSYSTEMSCANNOPE%\\x.exe", 8},
                  {std::string("HKUS\\.DEFAULT\\Software\\") + kMarker, "Gone", gone_, 8},
              }));
}

}  // namespace qm::test
