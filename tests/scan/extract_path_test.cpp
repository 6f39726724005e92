#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "scan/extract_path.h"
#include "tests/scan/scan_fixture.h"

namespace qm::testing {
namespace {

using ExtractPathTest = ScanFixture;

TEST_F(ExtractPathTest, ShortensSourceAndGivesPathToTest) {
    struct Case {
        const char* source;
        const char* shortened;  // the source afterwards
        const char* path;
    } const cases[] = {
        // Quoted: cut at the closing quote; leading quotes stay in the source.
        {"\"C:\\Program Files\\A\\a.exe\" /s", "\"C:\\Program Files\\A\\a.exe",
         "C:\\Program Files\\A\\a.exe"},
        {"\"\"\"C:\\a.exe\"\" x", "\"\"\"C:\\a.exe", "C:\\a.exe"},
        {"\"C:\\no closing.exe -x", "\"C:\\no closing.exe", "C:\\no closing.exe"},
        // Unquoted: cut after whichever extension ends first, case as read.
        {"C:\\A\\App.Exe /s arg", "C:\\A\\App.Exe", "C:\\A\\App.Exe"},
        {"C:\\x\\lib.dll,entry C:\\x\\run.exe", "C:\\x\\lib.dll", "C:\\x\\lib.dll"},
        {"C:\\a.ocx C:\\b.dll C:\\c.exe", "C:\\a.ocx", "C:\\a.ocx"},
        {"C:\\Tools\\tool -x", "C:\\Tools\\tool -x", "C:\\Tools\\tool -x"},
        {"", "", ""},
        {"\"\"", "\"\"", ""},
        // Expansion goes into the path only; unknown names stay.
        {"\"%ProgramFiles%\\A\\a.exe\" -q", "\"%ProgramFiles%\\A\\a.exe",
         "C:\\Program Files\\A\\a.exe"},
        {"%NoSuchName%\\x.exe", "%NoSuchName%\\x.exe", "%NoSuchName%\\x.exe"},
    };
    for (const auto& c : cases) {
        std::string source = c.source;
        std::string path = "stale";
        EXPECT_TRUE(ExtractPath(source, path, Files())) << c.source;
        EXPECT_EQ(source, c.shortened) << c.source;
        EXPECT_EQ(path, c.path) << c.source;
    }
}

TEST_F(ExtractPathTest, ExpansionBeyondTheLimitCannotBeTested) {
    std::string path;
    for (std::string tooLong : {std::string("%BIG%\\x.exe"), "C:\\" + std::string(1024, 'g')}) {
        EXPECT_FALSE(ExtractPath(tooLong, path, Files()));
        EXPECT_EQ(path, "");
    }
    std::string fits = "C:\\" + std::string(1000, 'f');
    EXPECT_TRUE(ExtractPath(fits, path, Files()));
    EXPECT_EQ(path, fits);
}

TEST_F(ExtractPathTest, CheckTargetLooksForBareNamesOnTheSearchPathOnly) {
    for (const char* file : {"C:\\WINDOWS\\system32\\loader.exe", "C:\\WINDOWS\\winonly.exe",
                             "C:\\Tools\\pathonly.exe", "C:\\cwdonly.exe"})
        MakeFile(file);
    constexpr Existence kYes = Existence::kExists, kNo = Existence::kMissing;
    const std::pair<const char*, Existence> cases[] = {
        {"c:\\windows\\SYSTEM32\\LOADER.EXE", kYes},
        {"C:\\WINDOWS", kYes},
        {"LOADER.EXE", kYes},
        {"winonly.exe", kYes},
        {"pathonly.exe", kYes},
        {"cwdonly.exe", kNo},  // the current folder does not count
        {"C:\\cwdonly.exe", kYes},
        {"C:\\gone.exe", kNo},
        {"", kNo},
        {"Q:\\gone.exe", Existence::kCannotTell},  // no drive Q:
    };
    for (const auto& [path, answer] : cases)
        EXPECT_EQ(CheckTarget(path, Files(), CodePage::Windows1252()), answer) << path;
    // The other reading counts as much: missing only when both are.
    EXPECT_EQ(CheckTarget("C:\\gone.exe", Files(), CodePage::Windows1252(), "C:\\cwdonly.exe"),
              kYes);
    EXPECT_EQ(CheckTarget("C:\\gone.exe", Files(), CodePage::Windows1252(), "Q:\\gone.exe"),
              Existence::kCannotTell);
    EXPECT_EQ(CheckTarget("C:\\gone.exe", Files(), CodePage::Windows1252(), "C:\\gone2.exe"), kNo);
}

// With a log, every target tested is noted with its answer, and the answer
// is the one given without: each folder of the search for a bare name in
// order, both readings of an entry.
TEST_F(ExtractPathTest, CheckTargetNotesEveryTargetItTests) {
    MakeFile("C:\\Tools\\pathonly.exe");
    const auto noted = [&](const std::string& path, const std::string& other) {
        CheckLog log;
        EXPECT_EQ(CheckTarget(path, Files(), CodePage::Windows1252(), other, &log),
                  CheckTarget(path, Files(), CodePage::Windows1252(), other))
            << path;
        std::vector<std::string> lines;
        for (const CheckedTarget& checked : log) lines.push_back(CheckedLine(checked));
        return lines;
    };
    EXPECT_EQ(
        noted("gone.exe", ""),
        (std::vector<std::string>{
            "C:\\WINDOWS\\system32\\gone.exe (missing)", "C:\\WINDOWS\\System\\gone.exe (missing)",
            "C:\\WINDOWS\\gone.exe (missing)", "C:\\WINDOWS\\system32\\gone.exe (missing)",
            "C:\\WINDOWS\\gone.exe (missing)", "C:\\Tools\\gone.exe (missing)"}));
    // The search ends at the first folder that has it.
    EXPECT_EQ(noted("pathonly.exe", "").back(), "C:\\Tools\\pathonly.exe (exists)");
    EXPECT_EQ(noted("C:\\Program Files (x86)\\a.exe", "C:\\Program Files\\a.exe"),
              (std::vector<std::string>{"C:\\Program Files (x86)\\a.exe (missing)",
                                        "C:\\Program Files\\a.exe (missing)"}));
    EXPECT_EQ(noted("Q:\\gone.exe", ""), std::vector<std::string>{"Q:\\gone.exe (cannot tell)"});
}

}  // namespace
}  // namespace qm::testing
