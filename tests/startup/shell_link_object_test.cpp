// Shortcuts made by the shell's own link object (IShellLinkA, saved through
// IPersistFile) are listed with their target and arguments, and the file
// format reader gives the same command line for the same files as the link
// object does. Windows build only.
#include <objbase.h>
#include <objidl.h>
#include <shlguid.h>
#include <shlobj.h>
#include <windows.h>
// <windows.h> renames DeleteFile; the file probe's method keeps its name.
#undef DeleteFile

#include <gtest/gtest.h>

#include "startup/startup_sources.h"
#include "startup/win32_shortcut_reader.h"
#include "tests/startup/link_builder.h"
#include "tests/startup/startup_world.h"

namespace qm::test {
namespace {

bool SaveShortcut(const std::string& file, const std::string& target, const std::string& args) {
    CoInitialize(nullptr);
    bool saved = false;
    IShellLinkA* link = nullptr;
    if (SUCCEEDED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkA,
                                   reinterpret_cast<void**>(&link)))) {
        IPersistFile* persist = nullptr;
        WCHAR wide[MAX_PATH];
        if (SUCCEEDED(link->SetPath(target.c_str())) &&
            SUCCEEDED(link->SetArguments(args.c_str())) &&
            SUCCEEDED(link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&persist))) &&
            MultiByteToWideChar(CP_ACP, 0, file.c_str(), -1, wide, MAX_PATH) != 0)
            saved = SUCCEEDED(persist->Save(wide, TRUE));
        if (persist != nullptr) persist->Release();
        link->Release();
    }
    CoUninitialize();
    return saved;
}

TEST(ShellLinkObject, ShortcutsItMadeAreListedAndReadAlikeByBothReaders) {
    auto world = StartupWorld::Make();
    const std::vector<std::tuple<std::string, std::string, std::string>> shortcuts = {
        {"Notes", "C:\\Apps\\notes.exe", ""},
        {"Agent", "C:\\Program Files\\Agent\\agent.exe", "/tray --quiet \"x y\""},
        {"Caf\xe9", "C:\\Programme\\R\xe9sum\xe9\\caf\xe9.exe", "-x \xe9t\xe9"},
        {"Share", "\\\\server\\share\\tools\\sync.exe", "-n"},
        {"Here", "C:\\windows\\system32\\notepad.exe", "C:\\boot.ini"},
    };
    std::vector<StartupItem> expected;
    for (const auto& [name, target, args] : shortcuts) {
        ASSERT_TRUE(SaveShortcut(world->userStartup + "\\" + name + ".lnk", target, args));
        expected.push_back({name, target + " " + args, "Start Menu", true});
    }
    std::vector<StartupItem> listed;
    EnumerateStartupItems(world->services(), listed);
    std::sort(listed.begin(), listed.end(), [](auto& a, auto& b) { return a.name < b.name; });
    std::sort(expected.begin(), expected.end(), [](auto& a, auto& b) { return a.name < b.name; });
    EXPECT_EQ(listed, expected);

    // Besides those, files built byte by byte with Unicode link information
    // and with code-page strings, which this shell reads but does not write.
    // (Wine's link object takes no path from the item id list nor from a
    // common path suffix, where Windows does, so those are not compared.)
    LinkSpec wide, ansi;
    wide.hasLinkInfo = wide.wideLinkInfo = wide.hasArguments = ansi.hasLinkInfo = true;
    wide.localBase = "C:\\Wide\\app.exe";
    wide.arguments = "--wide";
    ansi.localBase = "C:\\Ansi\\app.exe";
    ansi.hasArguments = true;
    ansi.wideStrings = false;
    ansi.arguments = "-a \xe9";
    for (const auto& [name, shape] : {std::pair{"Wide", wide}, {"Ansi", ansi}})
        world->WriteFile(world->userStartup + "\\" + name + ".lnk", BuildLink(shape));

    ShellLinkObjectReader shell(world->files());
    ShortcutFileReader format(world->files());
    std::vector<FileEntry> files;
    ASSERT_EQ(world->files().ListFolder(world->userStartup + "\\*.lnk", files), status::kSuccess);
    ASSERT_EQ(files.size(), shortcuts.size() + 2);
    for (const FileEntry& file : files) {
        const std::string path = world->userStartup + "\\" + file.name;
        EXPECT_EQ(format.CommandLine(path), shell.CommandLine(path)) << file.name;
    }
}

}  // namespace
}  // namespace qm::test
