#include "tests/gui/test_world.h"

#include <commctrl.h>
#include <shlwapi.h>

#include <cstdio>
#include <fstream>
#include <sstream>

#include "res/resource.h"
#include "tests/gui/screen_picture.h"

namespace qm::gui_test {

const char kSettingsKey[] = "SOFTWARE\\Quillmend";
const char kVersion[] = "2.0";
const char kCaption[] = "Quillmend 2.0";

TestPaths& Paths() {
    static TestPaths paths;
    return paths;
}

std::string WinPath(const std::string& path) {
    if (path.empty() || path[0] != '/') return path;
    std::string out = "Z:" + path;
    for (char& c : out) {
        if (c == '/') c = '\\';
    }
    return out;
}

std::string AppFolder() {
    const std::string& exe = Paths().app;
    return exe.substr(0, exe.find_last_of('\\') + 1);
}

std::string BackupFolder() {
    return AppFolder() + "Backup";
}

// --- expected items ---------------------------------------------------------

namespace {

std::string Unescape(const std::string& field) {
    std::string out;
    for (size_t i = 0; i < field.size(); ++i) {
        if (field[i] == '\\' && i + 1 < field.size()) {
            const char next = field[++i];
            out += next == 'n' ? '\n' : next == 't' ? '\t' : next;
        } else {
            out += field[i];
        }
    }
    return out;
}

std::vector<ExpectedItem> LoadExpected() {
    std::vector<ExpectedItem> items;
    std::ifstream in(Paths().expected, std::ios::binary);
    std::string line;
    while (std::getline(in, line)) {
        std::vector<std::string> fields;
        std::stringstream split(line);
        std::string field;
        while (std::getline(split, field, '\t')) fields.push_back(Unescape(field));
        if (fields.size() != 5) continue;
        ExpectedItem item;
        item.category = std::atoi(fields[0].c_str());
        item.keyPath = fields[1];
        item.valueName = fields[2];
        item.data = fields[3];
        item.detail = fields[4];
        items.push_back(item);
    }
    return items;
}

}  // namespace

const std::vector<ExpectedItem>& ExpectedItems() {
    static const std::vector<ExpectedItem> items = LoadExpected();
    return items;
}

std::vector<ExpectedItem> ExpectedIn(int category) {
    std::vector<ExpectedItem> out;
    for (const auto& item : ExpectedItems()) {
        if (item.category == category) out.push_back(item);
    }
    return out;
}

// --- registry ---------------------------------------------------------------

HKEY RootOf(const std::string& abbreviation) {
    if (abbreviation == "HKLM") return HKEY_LOCAL_MACHINE;
    if (abbreviation == "HKCU") return HKEY_CURRENT_USER;
    if (abbreviation == "HKCR") return HKEY_CLASSES_ROOT;
    if (abbreviation == "HKUS") return HKEY_USERS;
    return nullptr;
}

bool ReadString(HKEY root, const std::string& key, const std::string& name, std::string& out) {
    HKEY k = nullptr;
    if (RegOpenKeyExA(root, key.c_str(), 0, KEY_READ, &k) != ERROR_SUCCESS) return false;
    std::vector<char> data(4096);
    DWORD size = static_cast<DWORD>(data.size() - 1);
    DWORD type = 0;
    const LONG status = RegQueryValueExA(k, name.c_str(), nullptr, &type,
                                         reinterpret_cast<BYTE*>(data.data()), &size);
    RegCloseKey(k);
    if (status != ERROR_SUCCESS) return false;
    out.assign(data.data(), size);
    while (!out.empty() && out.back() == 0) out.pop_back();
    return true;
}

bool WriteString(HKEY root, const std::string& key, const std::string& name,
                 const std::string& text) {
    HKEY k = nullptr;
    if (RegCreateKeyExA(root, key.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &k, nullptr) !=
        ERROR_SUCCESS)
        return false;
    const LONG status =
        RegSetValueExA(k, name.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                       static_cast<DWORD>(text.size() + 1));
    RegCloseKey(k);
    return status == ERROR_SUCCESS;
}

bool KeyExists(HKEY root, const std::string& key) {
    HKEY k = nullptr;
    if (RegOpenKeyExA(root, key.c_str(), 0, KEY_READ, &k) != ERROR_SUCCESS) return false;
    RegCloseKey(k);
    return true;
}

void DeleteValue(HKEY root, const std::string& key, const std::string& name) {
    HKEY k = nullptr;
    if (RegOpenKeyExA(root, key.c_str(), 0, KEY_SET_VALUE, &k) != ERROR_SUCCESS) return;
    RegDeleteValueA(k, name.c_str());
    RegCloseKey(k);
}

void DeleteTree(HKEY root, const std::string& key) {
    SHDeleteKeyA(root, key.c_str());
}

bool EntryExists(const ExpectedItem& item) {
    HKEY root = RootOf(item.keyPath.substr(0, 4));
    const std::string sub = item.keyPath.size() > 5 ? item.keyPath.substr(5) : "";
    switch (item.category) {
        case 1:
            return KeyExists(root, sub);
        case 2:
        case 5:
            return KeyExists(root, sub + "\\" + item.valueName);
        case 7:
            if (sub.find("MenuOrder\\") != std::string::npos)
                return KeyExists(root, sub + "\\" + item.valueName);
            break;
        default:
            break;
    }
    HKEY k = nullptr;
    if (RegOpenKeyExA(root, sub.c_str(), 0, KEY_READ, &k) != ERROR_SUCCESS) return false;
    const bool found = RegQueryValueExA(k, item.valueName.c_str(), nullptr, nullptr, nullptr,
                                        nullptr) == ERROR_SUCCESS;
    RegCloseKey(k);
    return found;
}

std::string Setting(const std::string& name) {
    std::string text;
    return ReadString(HKEY_LOCAL_MACHINE, kSettingsKey, name, text) ? text : "<missing>";
}

void SetSetting(const std::string& name, const std::string& text) {
    WriteString(HKEY_LOCAL_MACHINE, kSettingsKey, name, text);
}

void ClearSetting(const std::string& name) {
    DeleteValue(HKEY_LOCAL_MACHINE, kSettingsKey, name);
}

// --- files ------------------------------------------------------------------

std::vector<std::string> FilesIn(const std::string& folder) {
    std::vector<std::string> names;
    WIN32_FIND_DATAA data;
    HANDLE find = FindFirstFileA((folder + "\\*").c_str(), &data);
    if (find == INVALID_HANDLE_VALUE) return names;
    do {
        if (!(data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) names.push_back(data.cFileName);
    } while (FindNextFileA(find, &data));
    FindClose(find);
    return names;
}

bool FileExists(const std::string& path) {
    const DWORD attributes = GetFileAttributesA(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool WriteFile(const std::string& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << bytes;
    return static_cast<bool>(out);
}

std::string ReadFileBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream all;
    all << in.rdbuf();
    return all.str();
}

bool ImportRegistryFile(const std::string& path) {
    AppProcess regedit;
    char windows[MAX_PATH] = {};
    GetWindowsDirectoryA(windows, MAX_PATH);
    if (!regedit.Start(std::string(windows) + "\\regedit.exe", "/s \"" + path + "\"")) return false;
    DWORD code = 1;
    return regedit.WaitExit(120000) && GetExitCodeProcess(regedit.Process(), &code) && code == 0;
}

// --- the fixture ------------------------------------------------------------

void QuillmendTest::SetUp() {
    DeleteTree(HKEY_LOCAL_MACHINE, kSettingsKey);
    SetSetting("Version", kVersion);
    SetSetting("FirstTime", "1");
    for (const auto& name : FilesIn(BackupFolder()))
        DeleteFileA((BackupFolder() + "\\" + name).c_str());
}

void QuillmendTest::TearDown() {
    Quit();
}

HWND QuillmendTest::Launch(const std::string& arguments, bool visible) {
    app_ = std::make_unique<AppProcess>();
    if (!app_->Start(Paths().app, arguments)) {
        ADD_FAILURE() << "cannot start " << Paths().app << " (error " << GetLastError() << ")";
        return nullptr;
    }
    main_ = app_->WaitWindow(kCaption, 60000);
    if (!main_) {
        ADD_FAILURE() << "no main window captioned \"" << kCaption << "\""
                      << (app_->Running() ? "" : " (the program ended)");
        return nullptr;
    }
    if (visible && !WaitFor([&] { return IsWindowVisible(main_) != FALSE; }, 30000)) {
        ADD_FAILURE() << "the main window did not show";
        return nullptr;
    }
    return main_;
}

void QuillmendTest::Quit() {
    if (app_) {
        EXPECT_TRUE(app_->Close()) << "the program did not close on WM_CLOSE";
        app_.reset();
    }
    main_ = nullptr;
}

RemoteListView QuillmendTest::List(int listId) const {
    HWND list = nullptr;
    for (HWND page = GetWindow(main_, GW_CHILD); page && !list; page = GetWindow(page, GW_HWNDNEXT))
        list = GetDlgItem(page, listId);
    return RemoteListView(app_->Process(), list);
}

HWND QuillmendTest::ShowPage(int sideButton, int pageControlId) {
    PostCommand(GetDlgItem(main_, sideButton));
    HWND page = Page(pageControlId);
    EXPECT_TRUE(WaitFor([&] { return page && IsWindowVisible(page); }, 10000))
        << "side button " << sideButton << " did not show its page";
    Sleep(300);
    return page;
}

std::string QuillmendTest::CommandText() const {
    return WindowText(Control(IDC_FF_CATEGORIES, IDC_FF_COMMAND));
}

void QuillmendTest::TickCategories(const std::vector<int>& categories) {
    RemoteListView list = List(IDC_FF_CATEGORIES);
    for (int row = 0; row < 8; ++row) {
        bool wanted = false;
        for (int c : categories) wanted = wanted || c == row + 1;
        list.SetChecked(row, wanted);
        EXPECT_EQ(list.Checked(row), wanted) << "row " << row;
    }
}

bool QuillmendTest::SideButtonsEnabled() const {
    for (int id :
         {IDC_SHOW_FIND_FIX, IDC_SHOW_STARTUP, IDC_SHOW_OPTIONS, IDC_SHOW_BACKUP, IDC_SHOW_ABOUT}) {
        if (!IsWindowEnabled(GetDlgItem(main_, id))) return false;
    }
    return true;
}

bool QuillmendTest::WaitIdle(DWORD milliseconds) {
    HWND command = Control(IDC_FF_CATEGORIES, IDC_FF_COMMAND);
    return WaitFor(
        [&] {
            const std::string text = WindowText(command);
            return SideButtonsEnabled() && IsWindowEnabled(command) &&
                   (text == "Find" || text == "Fix");
        },
        milliseconds);
}

void QuillmendTest::FindAndWait(DWORD milliseconds) {
    ASSERT_EQ(CommandText(), "Find");
    PostCommand(Control(IDC_FF_CATEGORIES, IDC_FF_COMMAND));
    ASSERT_TRUE(WaitFor([&] { return CommandText() != "Find" || !SideButtonsEnabled(); }, 10000))
        << "Find did not start a scan";
    ASSERT_TRUE(WaitIdle(milliseconds)) << "the scan did not end; button reads " << CommandText();
    Sleep(300);
}

void QuillmendTest::Snapshot(HWND hwnd, const std::string& name) {
    SetWindowPos(hwnd, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    RedrawWindow(hwnd, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN);
    Sleep(700);
    Picture picture = Picture::OfWindow(hwnd);
    EXPECT_FALSE(picture.Empty()) << "no picture of " << name;
    if (!Paths().shots.empty()) {
        CreateDirectoryA(Paths().shots.c_str(), nullptr);
        picture.SaveBmp(Paths().shots + "\\" + name + ".bmp");
    }
}

}  // namespace qm::gui_test
