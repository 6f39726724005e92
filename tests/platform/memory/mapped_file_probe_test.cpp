// What only the mapped probe has: its configuration, drive mapping, host
// names and host errors. What every backend shares is in the contract suite.
#include "platform/memory/mapped_file_probe.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>

#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>

#include "platform/registry_names.h"
#include "platform/regtext/reg_text.h"

namespace qm {
namespace {

namespace fs = std::filesystem;

std::string VariableOf(const MappedFilesConfig& config, const std::string& name) {
    for (const auto& [key, value] : config.environment)
        if (key == name) return value;
    return "<unset>";
}

TEST(MappedFilesConfigTest, DefaultsDescribeAWindowsXpMachine) {
    MappedFilesConfig config = MappedFilesConfig::Defaults();
    EXPECT_TRUE(config.drives.empty());
    EXPECT_EQ(VariableOf(config, "SystemRoot"), "C:\\WINDOWS");
    EXPECT_EQ(VariableOf(config, "windir"), "C:\\WINDOWS");
    EXPECT_EQ(VariableOf(config, "Path"),
              "C:\\WINDOWS\\system32;C:\\WINDOWS;C:\\WINDOWS\\system32\\Wbem");
    const std::string user = "C:\\Documents and Settings\\User";
    const std::string all = "C:\\Documents and Settings\\All Users";
    EXPECT_EQ(config.specialFolders[csidl::kPrograms], user + "\\Start Menu\\Programs");
    EXPECT_EQ(config.specialFolders[csidl::kStartup], user + "\\Start Menu\\Programs\\Startup");
    EXPECT_EQ(config.specialFolders[csidl::kCommonPrograms], all + "\\Start Menu\\Programs");
    EXPECT_EQ(config.specialFolders[csidl::kCommonStartup],
              all + "\\Start Menu\\Programs\\Startup");
    EXPECT_EQ(config.specialFolders[csidl::kFonts], "C:\\WINDOWS\\Fonts");
    EXPECT_EQ(config.specialFolders[csidl::kProgramFiles], "C:\\Program Files");

    MappedFileProbe probe(config);
    std::string expanded;
    probe.ExpandEnvironment("%SystemRoot%\\system32\\%PROGRAMFILES%", expanded);
    EXPECT_EQ(expanded, "C:\\WINDOWS\\system32\\C:\\Program Files");
    // Without drives nothing exists, special folders included.
    EXPECT_FALSE(probe.PathExists("C:\\"));
    std::string folder;
    EXPECT_FALSE(probe.SpecialFolder(csidl::kWindows, folder));
}

// Drives C: and D: over fresh host folders.
class MappedProbeTest : public ::testing::Test {
  protected:
    void SetUp() override {
        std::string pattern = (fs::temp_directory_path() / "qm-mapped-unit-XXXXXX").string();
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        root_ = pattern;
        fs::create_directories(root_ / "c" / "cwd");
        fs::create_directories(root_ / "d" / "sub");
        config_.drives = {{'C', (root_ / "c").string()}, {'D', (root_ / "d").string()}};
        config_.currentFolder = "C:\\cwd";
    }
    void TearDown() override { fs::remove_all(root_); }

    void Touch(const fs::path& relative, const std::string& content = "x") {
        std::ofstream(root_ / relative, std::ios::binary) << content;
    }
    MappedFileProbe Probe() const { return MappedFileProbe(config_); }

    fs::path root_;
    MappedFilesConfig config_;
};

TEST_F(MappedProbeTest, DrivesMapToTheirHostFolders) {
    Touch("c/x.txt");
    Touch("d/y.txt");
    Touch("d/sub/z.txt");
    MappedFileProbe probe = Probe();
    EXPECT_EQ(probe.HostPath("c:\\X.TXT"), (root_ / "c" / "x.txt").string());
    EXPECT_EQ(probe.HostPath("D:\\y.txt"), (root_ / "d" / "y.txt").string());
    EXPECT_TRUE(probe.PathExists("D:y.txt"));  // another drive's current folder is its root
    EXPECT_FALSE(probe.PathExists("E:\\"));    // not mapped
    EXPECT_FALSE(probe.PathExists("\\\\.\\C:\\x.txt"));
    EXPECT_FALSE(probe.PathExists("1:\\x.txt"));

    config_.environment = {{"=D:", "D:\\sub"}};  // how the system keeps it
    EXPECT_TRUE(Probe().PathExists("D:z.txt"));
    EXPECT_FALSE(Probe().PathExists("D:y.txt"));
}

TEST_F(MappedProbeTest, FullPathNamesAreNormalised) {
    MappedFileProbe probe = Probe();
    const struct {
        const char* path;
        const char* full;
    } cases[] = {
        {"c:/a//b/", "C:\\a\\b\\"},
        {"C:\\a\\..\\..\\b", "C:\\b"},
        {"a.\\b. ", "C:\\cwd\\a\\b"},
        {"\\a\\.\\b\\..", "C:\\a"},
        {"C:", "C:\\cwd\\"},
        {"C:..", "C:\\"},
        {"D:x", "D:\\x"},
        {"a..\\b", "C:\\cwd\\a.\\b"},
        {"C:\\a\\...", "C:\\a\\"},
        {"C:\\a\\...\\b", "C:\\a\\..\\b"},
    };
    for (const auto& c : cases) EXPECT_EQ(probe.FullPathName(c.path), c.full) << c.path;
    EXPECT_EQ(probe.FullPathName(""), std::nullopt);
    EXPECT_EQ(probe.FullPathName("\\\\server\\share"), std::nullopt);
}

TEST_F(MappedProbeTest, HostNamesDifferingInCaseResolveDeterministically) {
    Touch("c/Readme.txt", "mixed");
    Touch("c/README.TXT", "upper");
    MappedFileProbe probe = Probe();
    // The exact spelling wins; otherwise the first in byte order.
    EXPECT_EQ(probe.HostPath("C:\\Readme.txt"), (root_ / "c" / "Readme.txt").string());
    EXPECT_EQ(probe.HostPath("C:\\README.TXT"), (root_ / "c" / "README.TXT").string());
    EXPECT_EQ(probe.HostPath("C:\\readme.txt"), (root_ / "c" / "README.TXT").string());
    std::vector<FileEntry> entries;
    ASSERT_EQ(probe.ListFolder("C:\\read*", entries), status::kSuccess);
    ASSERT_EQ(entries.size(), 2u);
    EXPECT_EQ(entries[0].name, "README.TXT");
    EXPECT_EQ(entries[1].name, "Readme.txt");
}

TEST_F(MappedProbeTest, WindowsNamesAreCodePageTextAndHostNamesUtf8) {
    Touch("c/caf\xC3\xA9.txt");  // "café.txt"
    Touch("c/bad\xFF.txt");      // not UTF-8
    MappedFileProbe probe = Probe();
    EXPECT_TRUE(probe.PathExists("C:\\caf\xE9.txt"));
    EXPECT_TRUE(probe.PathExists("C:\\CAF\xC9.TXT"));  // Latin-1 letters fold too
    EXPECT_FALSE(probe.PathExists("C:\\caf\xC3\xA9.txt"));

    ASSERT_TRUE(probe.OpenFile("C:\\\x80uro.txt", FileMode::kCreateNew));
    EXPECT_TRUE(fs::exists(root_ / "c" / "\xE2\x82\xACuro.txt"));  // "€uro.txt"

    std::vector<FileEntry> entries;
    ASSERT_EQ(probe.ListFolder("C:\\*.txt", entries), status::kSuccess);
    std::vector<std::string> names;
    for (const FileEntry& entry : entries) names.push_back(entry.name);
    EXPECT_EQ(names, (std::vector<std::string>{"bad?.txt", "caf\xE9.txt", "\x80uro.txt"}));
}

// A file is found under a code-page name exactly when the registry would
// take that name and the file's as the same, and both fold as Windows does,
// by Unicode upper-casing: the host's "\u0191" (outside the code page) is
// "\x83" (f with hook).
TEST_F(MappedProbeTest, NamesFoldAsTheRegistryFoldsThem) {
    // Every letter of the code page beyond ASCII, and the ASCII ones that
    // other alphabets fold onto.
    std::string chars = "AaIiSs\xB5";
    for (int c = 0x80; c < 0x100; ++c)
        if (c < 0xA0 || c >= 0xC0) chars.push_back(static_cast<char>(c));
    std::vector<std::string> disagreements;
    for (size_t i = 0; i < chars.size(); ++i) {
        const std::string folder = std::to_string(i);
        fs::create_directories(root_ / "c" / folder);
        Touch(fs::path("c") / folder /
              regtext::Utf16ToUtf8(CodePage::Windows1252().ToUtf16(chars.substr(i, 1))));
    }
    MappedFileProbe probe = Probe();
    for (size_t i = 0; i < chars.size(); ++i)
        for (char other : chars)
            if (probe.PathExists("C:\\" + std::to_string(i) + "\\" + other) !=
                NamesEqual(chars.substr(i, 1), std::string(1, other)))
                disagreements.push_back(std::string{chars[i], ' ', other});
    EXPECT_TRUE(disagreements.empty()) << disagreements.size() << ", first " << disagreements[0];

    Touch("c/\xC6\x91.txt");
    EXPECT_TRUE(probe.PathExists("C:\\\x83.TXT"));
}

TEST_F(MappedProbeTest, LongNamesAreListedUnderTheirShortAliases) {
    Touch("c/page.html");
    Touch("c/page.htm");
    Touch("c/notes.htmlx");
    MappedFileProbe probe = Probe();
    std::vector<FileEntry> entries;
    ASSERT_EQ(probe.ListFolder("C:\\*.htm", entries), status::kSuccess);
    std::vector<std::string> names;
    for (const FileEntry& entry : entries) names.push_back(entry.name);
    EXPECT_EQ(names, (std::vector<std::string>{"notes.htmlx", "page.htm", "page.html"}));
}

TEST_F(MappedProbeTest, ShortAliasesAreWinesOwn) {
    // The aliases Wine gives these names (read from FindFirstFileA under Wine).
    for (const char* name : {"long.regx", "x.y.z"}) Touch(fs::path("c") / name);
    for (const char* name : {"Program Files", "ProgramData", "qmexplore2"})
        fs::create_directories(root_ / "c" / name);
    MappedFileProbe probe = Probe();
    const struct {
        const char* alias;
        const char* host;
    } cases[] = {
        {"LONG~SKQ.REG", "long.regx"}, {"long~skq.reg", "long.regx"}, {"XY~~~JTF.Z", "x.y.z"},
        {"PROG~FBU", "Program Files"}, {"PROG~BDQ", "ProgramData"},   {"QMEX~ZC0", "qmexplore2"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(probe.HostPath(std::string("C:\\") + c.alias), (root_ / "c" / c.host).string())
            << c.alias;
    EXPECT_FALSE(probe.PathExists("C:\\PROG~FBV"));
}

TEST_F(MappedProbeTest, HostWriteErrorsAreReported) {
    fs::create_symlink("/dev/full", root_ / "c" / "full");
    Status status = -1;
    std::unique_ptr<FileStream> file =
        Probe().OpenFile("C:\\full", FileMode::kCreateAlways, &status);
    ASSERT_TRUE(file) << status;
    EXPECT_FALSE(file->Write("x", 1));  // the device has no room
}

TEST_F(MappedProbeTest, FilesWithoutWritePermissionAreReadOnly) {
    Touch("c/locked.txt", "keep");
    fs::permissions(root_ / "c" / "locked.txt", fs::perms::owner_read | fs::perms::group_read);
    MappedFileProbe probe = Probe();
    Status status = -1;
    EXPECT_EQ(probe.OpenFile("C:\\locked.txt", FileMode::kCreateAlways, &status), nullptr);
    EXPECT_EQ(status, status::kAccessDenied);
    EXPECT_EQ(probe.DeleteFile("C:\\locked.txt"), status::kAccessDenied);
    EXPECT_TRUE(fs::exists(root_ / "c" / "locked.txt"));
    EXPECT_TRUE(probe.OpenFile("C:\\locked.txt", FileMode::kRead));
}

// What the probe has read of a folder follows every change to it, made
// through the probe or beside it: each answer is asked before the change.
TEST_F(MappedProbeTest, AnswersFollowChangesToTheFolders) {
    Touch("c/doomed.txt");
    MappedFileProbe probe = Probe();
    EXPECT_TRUE(probe.PathExists("C:\\DOOMED.TXT"));
    ASSERT_EQ(probe.DeleteFile("C:\\doomed.txt"), status::kSuccess);
    EXPECT_FALSE(probe.PathExists("C:\\DOOMED.TXT"));
    EXPECT_FALSE(probe.PathExists("C:\\made\\"));
    ASSERT_EQ(probe.CreateFolder("C:\\Made"), status::kSuccess);
    EXPECT_TRUE(probe.PathExists("C:\\made\\"));
    EXPECT_FALSE(probe.PathExists("C:\\made\\new.txt"));
    ASSERT_TRUE(probe.OpenFile("C:\\made\\NEW.txt", FileMode::kCreateNew));
    EXPECT_TRUE(probe.PathExists("C:\\made\\new.txt"));
    std::vector<FileEntry> entries;
    ASSERT_EQ(probe.ListFolder("C:\\made\\*.txt", entries), status::kSuccess);
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_EQ(entries[0].name, "NEW.txt");

    fs::remove(root_ / "c" / "Made" / "NEW.txt");
    EXPECT_FALSE(probe.PathExists("C:\\made\\new.txt"));
    Touch("c/Made/long.regx");
    EXPECT_TRUE(probe.PathExists("C:\\made\\LONG~SKQ.REG"));
    fs::remove_all(root_ / "c" / "Made");
    Touch("c/made");  // a file where the folder was
    EXPECT_TRUE(probe.PathExists("C:\\made"));
    EXPECT_FALSE(probe.PathExists("C:\\made\\"));
    EXPECT_FALSE(probe.PathExists("C:\\made\\LONG~SKQ.REG"));
}

TEST_F(MappedProbeTest, SearchPathFollowsTheShellsRules) {
    fs::create_directories(root_ / "c" / "WINDOWS" / "system32" / "sub");
    fs::create_directories(root_ / "c" / "WINDOWS" / "System");
    Touch("c/cwd/here.exe");
    Touch("c/WINDOWS/system32/sub/deep.exe");
    config_.environment = {{"PATH", "C:\\nothing;"}};
    MappedFileProbe probe = Probe();

    // An empty PATH entry is a relative folder: the current one.
    std::string name = "here.exe";
    EXPECT_EQ(probe.FindOnPath(name), Existence::kExists);
    EXPECT_EQ(name, "here.exe");
    // '/' is not a folder separator to the bare-name test.
    name = "sub/deep.exe";
    EXPECT_EQ(probe.FindOnPath(name), Existence::kExists);
    EXPECT_EQ(name, "C:\\WINDOWS\\system32\\sub/deep.exe");
    // ".." is applied to the folder it is appended to.
    name = "..";
    EXPECT_EQ(probe.FindOnPath(name), Existence::kExists);
    EXPECT_EQ(name, "C:\\WINDOWS");

    // A PATH entry of any length is tried like the others; one on a drive
    // that cannot be seen leaves a name found nowhere else open.
    config_.environment = {{"PATH", std::string(300, 'p') + ";C:\\cwd"}};
    name = "here.exe";
    EXPECT_EQ(Probe().FindOnPath(name), Existence::kExists);
    EXPECT_EQ(name, "C:\\cwd\\here.exe");
    config_.environment = {{"PATH", "E:\\tools;C:\\cwd"}};
    name = "gone.exe";
    EXPECT_EQ(Probe().FindOnPath(name), Existence::kCannotTell);
    config_.environment.clear();
    EXPECT_EQ(Probe().FindOnPath(name), Existence::kMissing);
    EXPECT_EQ(name, "gone.exe");
}

// --- patterns --------------------------------------------------------------

TEST(MatchesFilePatternTest, DosRules) {
    const struct {
        const char* pattern;
        const char* name;
        bool matches;
    } cases[] = {
        {"*", "anything.txt", true},
        {"*.*", "noext", true},
        {"*.*", ".", true},
        {"*.*", "..", true},
        {"*.", "noext", true},
        {"*.", "a.b", false},
        {"*.", "..", true},
        {"?", "..", true},
        {"?", "ab", false},
        {"a?c", "abc", true},
        {"a?c", "ac", false},
        {"a?.txt", "a.txt", true},  // '?' before a dot may match nothing
        {"a??.txt", "ab.txt", true},
        {"*.txt", "a.txt.bak", false},
        {"*.txt ", "a.txt", true},
        {"*txt", "atxt", true},
        {"a.*", "a", true},
        {"A*B", "axxb", true},
        {"ABC.TXT", "abc.txt", true},
        {"\xE9*", "\xC9t\xE9", true},
        {"*.t?t", "x.tt", false},
        {"*.t?t", "x.txt", true},
    };
    for (const auto& c : cases)
        EXPECT_EQ(MatchesFilePattern(c.pattern, c.name), c.matches) << c.pattern << " " << c.name;
}

TEST(MatchesFilePatternTest, ManyStarsDoNotBacktrackForever) {
    auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(MatchesFilePattern(
        std::string(60, 'a').insert(0, "*a*a*a*a*a*a*a*a*a*a*a*a*") + "*b", std::string(200, 'a')));
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));
}

// The system's matcher as written: a recursive walk over name and mask.
// The probe's table-driven matcher must agree with it everywhere.
bool ReferenceMatch(const std::u32string& name, size_t i, const std::u32string& mask, size_t j) {
    auto upper = [](char32_t c) { return c >= 'a' && c <= 'z' ? c - 32 : c; };
    auto wild = [](char32_t c) { return c == '*' || c == '?' || c == '<' || c == '>'; };
    while (i < name.size() && j < mask.size()) {
        char32_t m = mask[j];
        if (m == '*') {
            while (j < mask.size() && mask[j] == '*') ++j;
            if (j == mask.size()) return true;
            while (i < name.size()) {
                char32_t c = mask[j] == '"' ? U'.' : mask[j];
                if (!wild(c))
                    while (i < name.size() && upper(name[i]) != upper(c)) ++i;
                if (ReferenceMatch(name, i, mask, j)) return true;
                ++i;
            }
        } else if (m == '<') {
            ++j;
            bool hadDot = false;
            while (i < name.size()) {
                size_t dot = i;
                while (dot < name.size() && name[dot] != '.') ++dot;
                if (dot == name.size() && hadDot) break;
                if (dot < name.size()) hadDot = true, ++dot;
                if (j < mask.size()) {
                    while (i < dot) {
                        char32_t c = mask[j] == '"' ? U'.' : mask[j];
                        if (!wild(c))
                            while (i < dot && upper(name[i]) != upper(c)) ++i;
                        if (ReferenceMatch(name, i, mask, j)) return true;
                        ++i;
                    }
                }
                i = dot;
            }
        } else if (m == '?') {
            ++i, ++j;
        } else if (m == '>') {
            ++j;
            if (name[i] == '.') {
                while (j < mask.size() && mask[j] == '>') ++j;
                if (j == mask.size()) ++i;
            } else {
                ++i;
            }
        } else {
            char32_t c = m == '"' ? U'.' : m;
            if (upper(c) != upper(name[i])) return false;
            ++i, ++j;
        }
    }
    while (j < mask.size() &&
           (mask[j] == '*' || mask[j] == '<' || mask[j] == '"' || mask[j] == '>'))
        ++j;
    return i == name.size() && j == mask.size();
}

TEST(MatchesFilePatternTest, AgreesWithTheRecursiveMatcher) {
    std::mt19937 random(20240607);
    const std::string maskChars = "ab.*?<>\" ";
    const std::string nameChars = "aAb.";
    for (int round = 0; round < 20000; ++round) {
        std::string pattern, name;
        for (int n = random() % 7; n > 0; --n)
            pattern.push_back(maskChars[random() % maskChars.size()]);
        for (int n = 1 + random() % 7; n > 0; --n)
            name.push_back(nameChars[random() % nameChars.size()]);
        if (name == ".") continue;
        // The rewrite FindFirstFile applies before the directory query.
        std::u32string mask(pattern.begin(), pattern.end());
        size_t len = mask.size();
        bool noExtension = len > 0 && mask[len - 1] == '.';
        while (len > 0 && (mask[len - 1] == '.' || mask[len - 1] == ' ')) --len;
        for (size_t i = 0; i < len; ++i) {
            char32_t next = i + 1 < mask.size() ? mask[i + 1] : 0;
            if (mask[i] == '.' && (next == '*' || next == '?'))
                mask[i] = '"';
            else if (mask[i] == '?')
                mask[i] = '>';
        }
        mask.resize(len);
        if (noExtension && len > 0 && mask[len - 1] == '*') mask[len - 1] = '<';
        std::u32string name32(name.begin(), name.end());
        if (name32 == U"..") name32 = U".";
        ASSERT_EQ(MatchesFilePattern(pattern, name), ReferenceMatch(name32, 0, mask, 0))
            << "pattern \"" << pattern << "\" name \"" << name << "\"";
    }
}

}  // namespace
}  // namespace qm
