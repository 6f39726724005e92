#include "tests/scan/system_scan.h"

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cstdio>

#include "platform/regtext/reg_text.h"
#include "scan/file_path_scanner.h"
#include "scan/found_entries.h"
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

// Items with their key paths in upper case: the walk names keys as the
// system spells them ("Software" under Wine, "SOFTWARE" on Windows), and
// key names ignore case.
std::vector<Item> UpperKeys(std::vector<Item> items) {
    for (auto& item : items)
        for (char& c : std::get<0>(item))
            c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return items;
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
    for (const auto& [root, keyPath, name] : wideValues_)
        backend_->RemoveWideValue(root, keyPath, name);
    for (const auto& [root, keyPath] : wideKeys_) backend_->RemoveWideKey(root, keyPath);
    for (const auto& file : systemFiles_) backend_->RemoveSystemFile(file);
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

void SystemScan::SetWideText(HKey root, const std::u16string& keyPath, const std::u16string& name,
                             const std::u16string& text, bool ownKey) {
    wideValues_.emplace_back(root, keyPath, name);
    if (ownKey) wideKeys_.emplace_back(root, keyPath);
    backend_->SetWideText(root, keyPath, name, text);
}

std::string SystemScan::MakeSystemFile(const std::string& name, bool native) {
    systemFiles_.push_back(name);
    return backend_->MakeSystemFile(name, native);
}

std::vector<Item> SystemScan::Run(std::initializer_list<void (*)(ScanContext&)> scanners) {
    FoundItemList list;
    ScanCounters counters;
    std::atomic<int> stop{0};
    FoundEntries entries(reg());
    ScanContext ctx{reg(), files(), list, counters, stop, nullptr, &entries};
    for (const auto scanner : scanners) scanner(ctx);
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
    const std::string hklm = "HKLM\\" + key;
    EXPECT_EQ(UpperKeys(Run(ScanFilePaths)),
              UpperKeys({
                  {hklm + "\\Deep\\Deeper", "Gone", gone_ + "\\deep.txt", 8},
                  {hklm, "", gone_ + "\\", 8},
                  {hklm, "Gone", gone_ + "\\data.bin", 8},
                  {hklm, "Unexpanded", base_ + "\\%QMSYSTEMSCANNOPE%\\x.exe", 8},
                  {std::string("HKUS\\.DEFAULT\\Software\\") + kMarker, "Gone", gone_, 8},
              }));
}

// Each entry is one item, at the path its category names, however many paths
// lead to its key: under Wine HKEY_CURRENT_USER is also HKEY_USERS\<sid>,
// and a 64-bit prefix shares App Paths between its views, so that the
// 32-bit view's Wow6432Node path reaches the key itself.
TEST_P(SystemScan, OneItemPerEntry) {
    const std::string marker = kMarker;
    const std::string gone = gone_ + "\\x.exe";
    SetText(hkey::kCurrentUser, kRun, marker + " User", gone);
    SetText(hkey::kLocalMachine, std::string(kAppPaths) + "\\" + marker + ".exe", "", gone);
    EXPECT_EQ(
        UpperKeys(Run({ScanAppPaths, ScanWindowsStartup, ScanFilePaths})),
        UpperKeys({{std::string("HKLM\\") + kAppPaths, marker + ".exe", gone, 5},
                   {std::string("HKCU\\") + kRun, marker + " User", gone, 7},
                   {std::string("HKLM\\") + kAppPaths + "\\" + marker + ".exe", "", gone, 8}}));
}

// The UTF-16 form of UTF-8 text.
std::u16string Wide(const std::string& utf8) {
    std::u16string units;
    EXPECT_TRUE(regtext::Utf8ToUtf16(utf8, units)) << utf8;
    return units;
}

TEST_P(SystemScan, NamesAndTextOutsideTheCodePage) {
    // The program's folder has a name the code page cannot spell; the ANSI
    // functions would hand out "...\Lódz\app.exe" (or "?ód?"), which does not
    // exist. Neither is that Run value reported, nor either of two values or
    // keys whose names read as one ("漢" has no code-page form at all).
    const std::string marker = kMarker;
    backend().MakeWideFile(Wide(base_ + "\\Łódź\\app.exe"));
    const std::u16string run = Wide(kRun);
    SetWideText(hkey::kCurrentUser, run, Wide(marker + " Unicode"),
                Wide(base_ + "\\Łódź\\app.exe"));
    SetWideText(hkey::kCurrentUser, run, Wide(marker + " 漢"), Wide(gone_ + "\\twin.exe"));
    SetText(hkey::kCurrentUser, kRun, marker + " ?", gone_ + "\\twin.exe");
    SetText(hkey::kCurrentUser, kRun, marker + " Gone", gone_ + "\\gone.exe");
    const std::string keys = "SOFTWARE\\" + marker;
    SetText(hkey::kLocalMachine, keys, "Unicode ok", base_);
    SetWideText(hkey::kLocalMachine, Wide(keys), u"Unicode", Wide(base_ + "\\Łódź\\app.exe"));
    SetWideText(hkey::kLocalMachine, Wide(keys + "\\漢"), u"Path", Wide(gone_ + "\\twin.dll"),
                true);
    SetText(hkey::kLocalMachine, keys + "\\?", "Path", gone_ + "\\twin.dll");
    SetText(hkey::kLocalMachine, keys + "\\Gone", "Path", gone_ + "\\gone.dll");

    EXPECT_EQ(Run(ScanWindowsStartup),
              (std::vector<Item>{
                  {std::string("HKCU\\") + kRun, marker + " Gone", gone_ + "\\gone.exe", 7}}));
    std::vector<Item> references;
    for (Item item : Run(ScanFilePaths)) {
        std::string& key = std::get<0>(item);
        for (char& c : key) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        if (key.rfind("HKLM\\SOFTWARE\\QMSYSTEMSCAN", 0) == 0) references.push_back(item);
    }
    EXPECT_EQ(references, (std::vector<Item>{{"HKLM\\SOFTWARE\\QMSYSTEMSCAN\\GONE", "Path",
                                              gone_ + "\\gone.dll", 8}}));

    // Nor is either of a pair of values deleted, nor a tree that holds one.
    RegKey key(reg());
    ASSERT_EQ(key.Open(hkey::kCurrentUser, kRun, access::kAllAccess), status::kSuccess);
    EXPECT_EQ(reg().DeleteValue(key.get(), (marker + " ?").c_str()), status::kNoUnicodeTranslation);
    EXPECT_EQ(reg().DeleteTree(hkey::kLocalMachine, keys.c_str()), status::kNoUnicodeTranslation);
    RegKey still(reg());
    EXPECT_EQ(still.Open(hkey::kLocalMachine, (keys + "\\Gone").c_str(), access::kRead),
              status::kSuccess);
}

TEST_P(SystemScan, BothViewsOf64BitWindows) {
    std::string thirtyTwo;
    if (reg().Wow64Path(hkey::kLocalMachine, "SOFTWARE", &thirtyTwo) != status::kSuccess)
        GTEST_SKIP() << "a registry with one view";
    const std::string marker = kMarker;
    // Programs that exist only in one of the two System32 folders, and in
    // the 64-bit programs' folder that %ProgramFiles% does not name here.
    const std::string native = MakeSystemFile("qmsystemscan64.exe", true);
    const std::string wow = MakeSystemFile("qmsystemscan32.dll", false);
    std::string programs64;
    const uint32_t expanded = files().ExpandEnvironment("%ProgramW6432%", programs64);
    ASSERT_EQ(expanded, programs64.size() + 1);
    ASSERT_NE(programs64, "%ProgramW6432%");
    MakeFolder(programs64 + "\\" + marker);
    MakeFile(programs64 + "\\" + marker + "\\app.exe");
    const std::string gone = gone_ + "\\x.exe";

    SetText(hkey::kCurrentUser, kRun, marker + " 64", native);
    SetText(hkey::kCurrentUser, kRun, marker + " 32", wow);
    SetText(hkey::kCurrentUser, kRun, marker + " Files", "%ProgramFiles%\\" + marker + "\\app.exe",
            regtype::kExpandSz);
    SetText(hkey::kCurrentUser, kRun, marker + " Files Gone",
            "%ProgramFiles%\\" + marker + "\\gone.exe", regtype::kExpandSz);
    SetText(hkey::kLocalMachine, std::string(kAppPaths) + "\\" + marker + "64.exe", "", native);
    SetText(hkey::kLocalMachine, std::string(kAppPaths) + "\\" + marker + "Gone.exe", "", gone);
    // Broken entries of 64-bit programs and of 32-bit ones, each in its view.
    const std::string run32 = "SOFTWARE\\Wow6432Node\\Microsoft\\Windows\\CurrentVersion\\Run";
    const std::string uninstall32 =
        "SOFTWARE\\Wow6432Node\\Microsoft\\Windows\\CurrentVersion\\Uninstall";
    SetText(hkey::kLocalMachine, kRun, marker + " Machine 64", gone);
    SetText(hkey::kLocalMachine, run32, marker + " Machine 32", gone);
    SetText(hkey::kLocalMachine, std::string(kUninstall) + "\\" + marker + " 64", "UninstallString",
            gone);
    SetText(hkey::kLocalMachine, uninstall32 + "\\" + marker + " 32", "UninstallString", gone);
    SetText(hkey::kClassesRoot, "CLSID\\" + Guid(0x20) + "\\InprocServer32", "", native);
    SetText(hkey::kClassesRoot, "Wow6432Node\\CLSID\\" + Guid(0x21) + "\\InprocServer32", "", wow);
    SetText(hkey::kClassesRoot, "Wow6432Node\\CLSID\\" + Guid(0x22) + "\\InprocServer32", "", gone);

    // Keys are compared without regard to case, as the system names them.
    EXPECT_EQ(UpperKeys(Run(ScanWindowsStartup)),
              UpperKeys({{std::string("HKLM\\") + kRun, marker + " Machine 64", gone, 7},
                         {"HKLM\\" + run32, marker + " Machine 32", gone, 7},
                         {std::string("HKCU\\") + kRun, marker + " Files Gone",
                          "%ProgramFiles%\\" + marker + "\\gone.exe", 7}}));
    EXPECT_EQ(UpperKeys(Run(ScanUninstall)),
              UpperKeys({{std::string("HKLM\\") + kUninstall, marker + " 64", gone, 2},
                         {"HKLM\\" + uninstall32, marker + " 32", gone, 2}}));
    EXPECT_EQ(
        Run(ScanAppPaths),
        (std::vector<Item>{{std::string("HKLM\\") + kAppPaths, marker + "Gone.exe", gone, 5}}));
    EXPECT_EQ(UpperKeys(Run(ScanComActiveX)),
              UpperKeys({{"HKCR\\Wow6432Node\\CLSID\\" + Guid(0x22) + "\\InprocServer32",
                          "(Default)", gone, 1}}));
    std::vector<Item> references;
    for (const Item& item : Run(ScanFilePaths))
        if (std::get<1>(item).rfind(marker, 0) == 0 && std::get<0>(item).rfind("HKLM", 0) == 0)
            references.push_back(item);
    EXPECT_EQ(UpperKeys(references),
              UpperKeys({{std::string("HKLM\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run"),
                          marker + " Machine 64", gone, 8},
                         {"HKLM\\" + run32, marker + " Machine 32", gone, 8}}));
}

}  // namespace qm::test
