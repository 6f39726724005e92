// The four scanners that read one key of HKEY_LOCAL_MACHINE: Shared DLLs,
// App Paths, Help files and Uninstall entries.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "scan/scanners.h"
#include "tests/scan/scan_fixture.h"

namespace qm::testing {
namespace {

const std::string kLm = "HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\";
const std::string kSharedDlls = "HKLM\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\SharedDLLs";
const std::string kAppPaths = "HKLM\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Paths";
const std::string kHelp = "HKLM\\SOFTWARE\\Microsoft\\Windows\\HELP";
const std::string kUninstall = "HKLM\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall";

class RegistryScannersTest : public ScanFixture {
  protected:
    RegistryScannersTest() {
        for (const char* file :
             {"C:\\WINDOWS\\system32\\shared.dll", "C:\\WINDOWS\\system32\\loader.exe",
              "C:\\Program Files\\App\\app.exe", "C:\\cwdonly.exe"})
            MakeFile(file);
    }
};

TEST_F(RegistryScannersTest, SharedDllsTestsValueNamesAsWritten) {
    LoadRegistry("[" + kLm + R"reg(CurrentVersion\SharedDLLs]
"C:\\WINDOWS\\system32\\shared.dll"=dword:00000001
"C:\\WINDOWS\\system32\\gone.dll"=dword:00000002
"c:\\program files\\APP"=hex:00
"%SystemRoot%\\system32\\shared.dll"=dword:00000001
"C:\\long-data.dll"="0123456789012345678901234567890123456789012345678901234567890123456789)reg" +
                 std::string(1000, 'x') + R"reg("
"C:\\after-long-data.dll"=dword:00000001
)reg");
    EXPECT_EQ(Run(ScanSharedDlls),
              (std::vector<Found>{{kSharedDlls, "C:\\WINDOWS\\system32\\gone.dll", "", 4},
                                  {kSharedDlls, "%SystemRoot%\\system32\\shared.dll", "", 4}}));
    // Data too long for the buffer ends the enumeration at that value.
    EXPECT_EQ(sink.texts.size(), 4u);
    EXPECT_EQ(counters.totalCount, 2);
}

TEST_F(RegistryScannersTest, AppPathsReportsSubkeysWhoseProgramIsGone) {
    const char* defaults[][2] = {
        // as registry text
        {"a.exe", R"(\"C:\\Program Files\\App\\app.exe\")"},
        {"b.exe", R"(C:\\Program Files\\App\\app.exe /x)"},
        {"c.exe", R"(\"C:\\Program Files\\Gone\\gone.exe\" -a)"},
        {"d.exe", ""},
        {"e.exe", R"(%ProgramFiles%\\App\\app.exe)"},
        {"f.exe", "loader.exe"},
        {"g.exe", "cwdonly.exe"},
        {"h.exe", R"(%BIG%\\x.exe)"},
        {"i.exe", R"(C:\\gone.exe)"},
    };
    std::string text =
        "[" + kLm + "CurrentVersion\\App Paths\\nodefault.exe]\n\"Path\"=\"C:\\\\x\"\n";
    for (const auto& [name, command] : defaults)
        text += "[" + kLm + "CurrentVersion\\App Paths\\" + name + "]\n@=\"" + command + "\"\n";
    LoadRegistry(text);
    // A subkey that cannot be opened for reading and writing is skipped.
    registry.SetProtection(hkey::kLocalMachine,
                           "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Paths\\i.exe",
                           MemoryRegistry::Protection::kReadOnly);

    EXPECT_EQ(Run(ScanAppPaths),
              (std::vector<Found>{{kAppPaths, "c.exe", "\"C:\\Program Files\\Gone\\gone.exe", 5},
                                  {kAppPaths, "d.exe", "", 5},
                                  {kAppPaths, "g.exe", "cwdonly.exe", 5}}));
    ASSERT_EQ(sink.texts.size(), 10u);
    EXPECT_EQ(sink.texts[0], "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Paths\\a.exe");
}

TEST_F(RegistryScannersTest, HelpFilesJoinsFolderAndFileName) {
    for (const char* file : {"C:\\WINDOWS\\Help\\a.hlp", "C:\\WINDOWS\\Help\\b.hlp", "C:\\c.hlp"})
        MakeFile(file);
    MakeFolder("C:\\WINDOWS\\Help\\folder.hlp");
    LoadRegistry("[" + kLm + R"reg(HELP]
"a.hlp"="C:\\WINDOWS\\Help\\"
"b.hlp"="%SystemRoot%\\Help"
"folder.hlp"="C:\\WINDOWS\\Help"
"gone.hlp"="C:\\WINDOWS\\Help\\"
"moved.hlp"="%SystemRoot%\\OldHelp"
"c.hlp"=""
"d.hlp"=""
"huge.hlp"="%BIG%"
)reg");
    EXPECT_EQ(Run(ScanHelpFiles),
              (std::vector<Found>{{kHelp, "gone.hlp", "C:\\WINDOWS\\Help\\", 6},
                                  {kHelp, "moved.hlp", "%SystemRoot%\\OldHelp", 6},
                                  {kHelp, "d.hlp", "", 6}}));
    // The progress text is the path tested; an empty folder gives "\file".
    EXPECT_EQ(sink.texts, (Texts{"C:\\WINDOWS\\Help\\a.hlp", "C:\\WINDOWS\\Help\\b.hlp",
                                 "C:\\WINDOWS\\Help\\folder.hlp", "C:\\WINDOWS\\Help\\gone.hlp",
                                 "C:\\WINDOWS\\OldHelp\\moved.hlp", "\\c.hlp", "\\d.hlp"}));
}

TEST_F(RegistryScannersTest, UninstallSkipsLoadersAndReportsMissingPrograms) {
    const std::pair<const char*, const char*> cases[] = {
        // command, data reported (or null)
        {"\"C:\\Program Files\\App\\app.exe\" /uninstall", nullptr},
        {"C:\\Program Files\\Gone\\uninst.exe /S", "C:\\Program Files\\Gone\\uninst.exe"},
        {"", ""},
        {"MsiExec.exe /X{1}", nullptr},
        {"msiexec.exe /x{1}", nullptr},
        {"rundll32.exe setupapi.dll,InstallHinfSection", nullptr},
        {"Rundll32 gone.dll,Remove", nullptr},
        {"RunDll32 gone.dll,Remove", nullptr},
        {"C:\\x\\s3uninst.exe -x", nullptr},
        {"C:\\x\\S3uninst.exe -x", nullptr},
        {"RUNDLL32.EXE gone.dll,Remove", "RUNDLL32.EXE"},  // only the listed spellings
        {"loader.exe /u C:\\gone.dll", nullptr},
        {"cwdonly.exe /u", "cwdonly.exe"},
        {"%BIG%\\uninst.exe", nullptr},
    };
    std::string text =
        "[" + kLm + "CurrentVersion\\Uninstall\\Z-NoCommand]\n\"DisplayName\"=\"x\"\n";
    std::vector<Found> expected;
    for (size_t i = 0; i < std::size(cases); ++i) {
        const std::string name = "Entry" + std::string(1, static_cast<char>('A' + i));
        std::string escaped;
        for (char ch : std::string(cases[i].first)) {
            if (ch == '\\' || ch == '"') escaped += '\\';
            escaped += ch;
        }
        text += "[" + kLm + "CurrentVersion\\Uninstall\\" + name + "]\n\"UninstallString\"=\"" +
                escaped + "\"\n";
        if (cases[i].second != nullptr) expected.emplace_back(kUninstall, name, cases[i].second, 2);
    }
    LoadRegistry(text);
    EXPECT_EQ(Run(ScanUninstall), expected);
    EXPECT_EQ(sink.texts.size(), std::size(cases) + 1);
}

// Each scanner polls the flag right after fetching an entry: set before the
// scan, nothing is examined; set while an entry is examined, that entry is
// finished and the next fetch ends the loop. A key that cannot be opened for
// reading and writing gives nothing.
TEST_F(RegistryScannersTest, StopFlagAndReadOnlyKeys) {
    std::string text;
    for (const char* n : {"1", "2"}) {
        text += "[" + kLm + "CurrentVersion\\SharedDLLs]\n\"C:\\\\gone" + n + ".dll\"=dword:1\n";
        text += "[" + kLm + "CurrentVersion\\App Paths\\gone" + n + ".exe]\n@=\"C:\\\\gone.exe\"\n";
        text += "[" + kLm + "HELP]\n\"gone" + n + ".hlp\"=\"C:\\\\Nowhere\"\n";
        text += "[" + kLm + "CurrentVersion\\Uninstall\\Gone" + n + "]\n\"UninstallString\"=\"\"\n";
    }
    LoadRegistry(text);
    const std::pair<void (*)(ScanContext&), std::string> cases[] = {
        {ScanSharedDlls, "CurrentVersion\\SharedDLLs"},
        {ScanAppPaths, "CurrentVersion\\App Paths"},
        {ScanHelpFiles, "HELP"},
        {ScanUninstall, "CurrentVersion\\Uninstall"},
    };
    for (const auto& [scanner, key] : cases) {
        sink.texts.clear();
        stop = 1;
        EXPECT_TRUE(Run(scanner).empty()) << key;
        EXPECT_TRUE(sink.texts.empty()) << key;

        stop = 0;
        EXPECT_EQ(Run(scanner).size(), 2u) << key;
        const std::string first = sink.texts.front();
        list.Clear();
        sink.texts.clear();
        sink.stopAt = first;
        EXPECT_EQ(Run(scanner).size(), 1u) << key;
        EXPECT_EQ(sink.texts, Texts{first}) << key;
        list.Clear();

        stop = 0;
        sink.stopAt.clear();
        registry.SetProtection(hkey::kLocalMachine, "SOFTWARE\\Microsoft\\Windows\\" + key,
                               MemoryRegistry::Protection::kReadOnly);
        EXPECT_TRUE(Run(scanner).empty()) << key;
    }
}

}  // namespace
}  // namespace qm::testing
