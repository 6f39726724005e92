#include "file_probe_contract.h"

#include <algorithm>
#include <cctype>
#include <vector>

namespace qm::test {

namespace {

using NameList = std::vector<std::string>;

std::string Upper(std::string text) {
    for (char& c : text) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return text;
}

std::vector<std::string> Names(const std::vector<FileEntry>& entries) {
    std::vector<std::string> names;
    for (const FileEntry& entry : entries) names.push_back(entry.name);
    return names;
}

// A name that no other test program uses, for files outside the scratch
// folder.
std::string UniqueName(const char* tag) {
    return std::string("qmfp_") + tag + ".tmp";
}

}  // namespace

void FileProbeContract::SetUp() {
    backend_ = GetParam()();
}

void FileProbeContract::TearDown() {
    for (const std::string& path : temporaryFiles_) probe().DeleteFile(path);
    backend_.reset();
}

std::string FileProbeContract::Scratch(const std::string& relative) const {
    return facts().scratch + "\\" + relative;
}

void FileProbeContract::WriteFile(const std::string& path, const std::string& content) {
    Status status = -1;
    std::unique_ptr<FileStream> file = probe().OpenFile(path, FileMode::kCreateAlways, &status);
    ASSERT_TRUE(file) << path << " status " << status;
    EXPECT_EQ(status, status::kSuccess);
    ASSERT_TRUE(file->Write(content.data(), content.size())) << path;
    ASSERT_TRUE(file->Flush()) << path;
}

std::string FileProbeContract::ReadFile(const std::string& path) {
    std::unique_ptr<FileStream> file = probe().OpenFile(path, FileMode::kRead);
    if (!file) return "<cannot open>";
    std::string content;
    char buffer[7];  // small, so that reads end in the middle of the content
    while (size_t got = file->Read(buffer, sizeof buffer)) content.append(buffer, got);
    return content;
}

void FileProbeContract::MakeListing() {
    ASSERT_EQ(probe().CreateFolder(Scratch("list")), status::kSuccess);
    for (const char* name :
         {"a.reg", "B.REG", "abc.txt", "aXc.txt", "abcd.txt", "noext", "long.regx"})
        WriteFile(Scratch(std::string("list\\") + name), name);
    ASSERT_EQ(probe().CreateFolder(Scratch("list\\sub")), status::kSuccess);
}

std::vector<std::string> FileProbeContract::List(const std::string& pattern, Status expected) {
    std::vector<FileEntry> entries{FileEntry{"stale", false, 1}};
    EXPECT_EQ(probe().ListFolder(Scratch("list\\" + pattern), entries), expected) << pattern;
    return Names(entries);
}

void FileProbeContract::WriteTemporaryFile(const std::string& path) {
    probe().DeleteFile(path);
    temporaryFiles_.push_back(path);
    WriteFile(path, "x");
}

// --- existence -------------------------------------------------------------

TEST_P(FileProbeContract, ExistenceHasThreeAnswers) {
    constexpr Existence kYes = Existence::kExists, kNo = Existence::kMissing,
                        kOpen = Existence::kCannotTell;
    WriteFile(Scratch("file.txt"), "hello");
    ASSERT_EQ(probe().CreateFolder(Scratch("Sub")), status::kSuccess);
    WriteFile(Scratch("Sub\\inner.txt"), "in");
    const std::string unmapped = std::string(1, facts().unmappedDrive) + ":\\";

    const struct {
        std::string path;
        Existence answer;
    } cases[] = {
        {Scratch("file.txt"), kYes},
        {Scratch("Sub"), kYes},
        {Scratch("Sub\\"), kYes},
        {Scratch("Sub\\inner.txt"), kYes},
        {facts().scratch, kYes},
        // Missing: the file, or a folder on its way, is not there.
        {Scratch("missing.txt"), kNo},
        {Scratch("missing\\inner.txt"), kNo},
        {Scratch("file.txt\\inner.txt"), kNo},  // a file holds no entries
        // Everything else leaves the question open.
        {Scratch("file.txt\\"), kOpen},  // the file is there, named as a folder
        {Scratch("a<b.txt"), kOpen},     // a name the system refuses
        {"", kOpen},
        {"   ", kOpen},
        {"\\\\qm-no-such-host\\share\\file.txt", kOpen},
        {unmapped + "Tools\\app.exe", kOpen},
        {unmapped, kOpen},
        // DOS device names exist wherever their folder does.
        {"nul", kYes},
        {Scratch("con.txt"), kYes},
        {Scratch("Sub\\Aux"), kYes},
        {Scratch("com1.log"), kYes},
        {Scratch("com0"), kNo},
        {Scratch("missing\\nul"), kOpen},
        {Scratch("file.txt\\nul"), kOpen},
    };
    for (const auto& c : cases) EXPECT_EQ(probe().CheckPath(c.path), c.answer) << c.path;

    // Only a local drive that is present is believed when it says "not
    // found", and only there does a search that finds nothing count.
    EXPECT_TRUE(probe().CanTellMissing(Scratch("missing.txt")));
    EXPECT_TRUE(probe().CanTellMissing("missing.txt"));  // the current folder's drive
    for (const std::string& path : {unmapped + "app.exe", std::string("\\\\qm-host\\s\\a.exe"),
                                    std::string("nul"), std::string("")})
        EXPECT_FALSE(probe().CanTellMissing(path)) << path;
    EXPECT_EQ(probe().CheckPattern(Scratch("*.txt")), kYes);
    EXPECT_EQ(probe().CheckPattern(Scratch("*.zzz")), kNo);
    EXPECT_EQ(probe().CheckPattern(Scratch("missing\\*.txt")), kNo);
    EXPECT_EQ(probe().CheckPattern(unmapped + "Fonts\\*.ttf"), kOpen);
}

// A letter that still names a folder which is gone, as when removable
// media were taken out, tells nothing of the paths on it.
TEST_P(FileProbeContract, ADriveWhoseFolderIsGoneCannotTell) {
    if (facts().goneDrive == 0) GTEST_SKIP() << "the backend cannot make such a drive";
    const std::string gone = std::string(1, facts().goneDrive) + ":\\";
    for (const std::string& path : {gone + "Portable\\app.exe", gone + "app.exe", gone}) {
        EXPECT_EQ(probe().CheckPath(path), Existence::kCannotTell) << path;
        EXPECT_FALSE(probe().CanTellMissing(path)) << path;
    }
}

TEST_P(FileProbeContract, NamesAreMatchedWithoutRegardToCase) {
    ASSERT_EQ(probe().CreateFolder(Scratch("MixedCase")), status::kSuccess);
    WriteFile(Scratch("MixedCase\\Data.Bin"), "d");
    for (const char* relative :
         {"mixedcase\\data.bin", "MIXEDCASE\\DATA.BIN", "mIxEdCaSe\\dAtA.bIn"})
        EXPECT_TRUE(probe().PathExists(Scratch(relative))) << relative;
    EXPECT_TRUE(probe().PathExists(Upper(Scratch("MixedCase\\Data.Bin"))));
}

TEST_P(FileProbeContract, PathsAreNormalisedAsTheSystemDoes) {
    WriteFile(Scratch("file.txt"), "hello");
    ASSERT_EQ(probe().CreateFolder(Scratch("Sub")), status::kSuccess);
    WriteFile(Scratch("Sub\\inner.txt"), "in");

    const struct {
        const char* relative;
        bool exists;
    } cases[] = {
        {"file.txt.", true},  // trailing dots and blanks of the last name go
        {"file.txt...", true},
        {"file.txt. . ", true},
        {"file.txt\\.", true},        // a final "." names what precedes it
        {"Sub.\\inner.txt", true},    // one trailing dot of a folder name goes
        {"Sub..\\inner.txt", false},  // but only one
        {"Sub \\inner.txt", false},   // and no blank
        {"Sub\\.\\inner.txt", true},
        {"Sub\\..\\file.txt", true},
        {"Sub\\inner.txt\\..", true},
        {"Sub\\\\inner.txt", true},  // runs of separators count as one
        {"Sub/inner.txt", true},     // '/' separates like '\'
        {"fil?.txt", false},         // wildcards name nothing
        {"*.txt", false},
        {"Sub\\*", false},
        {"Sub\\", true},  // a trailing backslash asks for a folder
        {"file.txt\\", false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(probe().PathExists(Scratch(c.relative)), c.exists) << c.relative;
}

TEST_P(FileProbeContract, PathsAreCompletedFromTheCurrentFolder) {
    const std::string name = UniqueName("relative");
    const std::string& current = facts().current;
    WriteTemporaryFile(current + "\\" + name);

    EXPECT_TRUE(probe().PathExists(name));
    EXPECT_TRUE(probe().PathExists(".\\" + name));
    EXPECT_TRUE(
        probe().PathExists(current.substr(0, 2) + name));  // "X:name", the drive's current folder
    EXPECT_TRUE(
        probe().PathExists(current.substr(2) + "\\" + name));  // "\path\name", the current drive
    EXPECT_TRUE(probe().PathExists("."));
    EXPECT_TRUE(probe().PathExists("\\"));
    EXPECT_FALSE(probe().PathExists(name + ".missing"));
}

TEST_P(FileProbeContract, LongPathsAreTestedForReal) {
    std::string deep = facts().scratch;
    while (deep.size() < 300) deep += "\\Quillmend deep folder";
    const std::string file = deep + "\\app.exe";
    ASSERT_GE(file.size(), 320u);
    backend_->MakeLongPathFile(file);
    EXPECT_EQ(probe().CheckPath(file), Existence::kExists);
    EXPECT_EQ(probe().CheckPath(deep), Existence::kExists);
    EXPECT_EQ(probe().CheckPath(deep + "\\gone.exe"), Existence::kMissing);
    EXPECT_EQ(probe().CheckPath(deep + "\\gone\\app.exe"), Existence::kMissing);

    // A long text may also name a short path: a run of separators is one.
    std::string run = facts().scratch + "\\";
    run.append(std::string(300 - run.size(), '\\'));
    EXPECT_EQ(probe().CheckPath(run), Existence::kExists);
    EXPECT_EQ(probe().CheckPath(run + "missing.txt"), Existence::kMissing);
}

// --- search path -----------------------------------------------------------

TEST_P(FileProbeContract, FindOnPathTakesBareNamesOnly) {
    for (std::string name : {std::string("C:\\") + UniqueName("nope"), std::string("a\\b.exe"),
                             std::string("x:y.exe"), std::string(300, 'n')}) {
        std::string before = name;
        EXPECT_NE(probe().FindOnPath(name), Existence::kExists) << before;
        EXPECT_EQ(name, before);
    }
}

TEST_P(FileProbeContract, FindOnPathSearchesSystemThenWindowsThenPath) {
    const FileProbeFacts& f = facts();
    const std::string inBoth = UniqueName("both");
    const std::string inSystemSystem = UniqueName("sys16");
    const std::string inWindows = UniqueName("windows");
    const std::string onPath = UniqueName("onpath");
    const std::string inCurrent = UniqueName("current");
    WriteTemporaryFile(f.system + "\\" + inBoth);
    WriteTemporaryFile(f.windows + "\\" + inBoth);
    WriteTemporaryFile(f.windows + "\\System\\" + inSystemSystem);
    WriteTemporaryFile(f.windows + "\\" + inSystemSystem);
    WriteTemporaryFile(f.windows + "\\" + inWindows);
    WriteTemporaryFile(f.pathFolder + "\\" + onPath);
    WriteTemporaryFile(f.current + "\\" + inCurrent);

    const struct {
        std::string name;
        std::string expected;  // empty: not found
    } cases[] = {
        {inBoth, f.system + "\\" + inBoth},
        {inSystemSystem, f.windows + "\\System\\" + inSystemSystem},
        {inWindows, f.windows + "\\" + inWindows},
        {onPath, f.pathFolder + "\\" + onPath},
        {inCurrent, ""},  // the current folder is not searched
        {UniqueName("nowhere"), ""},
        {"", f.system},     // nothing appended: the folder itself
        {"..", f.windows},  // applied to the system folder
    };
    std::string nowhere = UniqueName("nowhere");
    EXPECT_EQ(probe().FindOnPath(nowhere), Existence::kMissing);  // every folder said so
    for (const auto& c : cases) {
        std::string name = c.name;
        const bool found = probe().FindOnPath(name) == Existence::kExists;
        EXPECT_EQ(found, !c.expected.empty()) << c.name;
        if (found)
            EXPECT_EQ(Upper(name), Upper(c.expected));
        else
            EXPECT_EQ(name, c.name);
    }
}

// --- environment -----------------------------------------------------------

TEST_P(FileProbeContract, ExpansionReplacesKnownNamesOnly) {
    const struct {
        std::string text;
        std::string expected;
    } cases[] = {
        {"%QM_CONTRACT_WORD%", "alpha"},
        {"x%qm_contract_word%y", "xalphay"},  // names ignore case
        {"%QM_NO_SUCH_VARIABLE%", "%QM_NO_SUCH_VARIABLE%"},
        {"%QM_NO_SUCH_VARIABLE%%QM_CONTRACT_WORD%", "%QM_NO_SUCH_VARIABLE%alpha"},
        {"50%", "50%"},
        {"%%", "%%"},
        {"a%%QM_CONTRACT_WORD%", "a%%QM_CONTRACT_WORD%"},  // "%%" is an empty name
        {"%QM_CONTRACT_WORD", "%QM_CONTRACT_WORD"},
        {"", ""},
    };
    for (const auto& c : cases) {
        std::string expanded = "junk";
        uint32_t size = probe().ExpandEnvironment(c.text, expanded);
        EXPECT_EQ(expanded, c.expected) << c.text;
        EXPECT_EQ(size, c.expected.size() + 1) << c.text;
    }
}

TEST_P(FileProbeContract, ExpansionSizesAroundTheLimit) {
    const std::string word = std::string("%") + kWordVariable + "%";
    const std::string twoLong = std::string("%") + kLongVariable + "%%" + kLongVariable + "%";
    const struct {
        std::string text;
        uint32_t limit;
        uint32_t size;
        bool delivered;
    } cases[] = {
        {std::string(1022, 'x'), kMaxExpandedPath, 1023, true},
        // A text that needs every byte of the buffer is not delivered, and
        // its size is then reported one byte larger.
        {std::string(1023, 'x'), kMaxExpandedPath, 1025, false},
        {std::string(1024, 'x'), kMaxExpandedPath, 1026, false},
        {twoLong, kMaxExpandedPath, 2 * kLongValueLength + 2, false},
        {twoLong, 2000, 2 * kLongValueLength + 1, true},
        {word, 7, 6, true},
        {word, 6, 7, false},
        {word, 0, 7, false},
    };
    for (const auto& c : cases) {
        std::string expanded = "junk";
        EXPECT_EQ(probe().ExpandEnvironment(c.text, expanded, c.limit), c.size)
            << c.text.substr(0, 30) << " limit " << c.limit;
        EXPECT_EQ(expanded.size() + 1 == c.size, c.delivered) << c.text.substr(0, 30);
        if (!c.delivered) {
            EXPECT_TRUE(expanded.empty());
        }
    }
}

// --- listing ---------------------------------------------------------------

TEST_P(FileProbeContract, PatternsMatchAsTheSystemMatchesThem) {
    ASSERT_NO_FATAL_FAILURE(MakeListing());
    const NameList all = {".",       "..",    "a.reg",     "abc.txt", "abcd.txt",
                          "aXc.txt", "B.REG", "long.regx", "noext",   "sub"};
    EXPECT_EQ(List("*"), all);
    EXPECT_EQ(List("*.*"), all);
    // "long.regx" comes in through its short alias, whose extension is "REG".
    EXPECT_EQ(List("*.reg"), (NameList{"a.reg", "B.REG", "long.regx"}));
    EXPECT_EQ(List("*.REG"), (NameList{"a.reg", "B.REG", "long.regx"}));
    EXPECT_EQ(List("a?c.txt"), (NameList{"abc.txt", "aXc.txt"}));
    EXPECT_EQ(List("*."), (NameList{".", "..", "noext", "sub"}));  // names without extension
    EXPECT_EQ(List("?"), (NameList{".", ".."}));
    EXPECT_EQ(List("s*"), (NameList{"sub"}));
    EXPECT_EQ(List("ABC.TXT"), (NameList{"abc.txt"}));  // no wildcard: the one name, as stored
    EXPECT_EQ(List("sub"), (NameList{"sub"}));
}

TEST_P(FileProbeContract, NothingMatchingAndNoFolderAreTold) {
    ASSERT_NO_FATAL_FAILURE(MakeListing());
    EXPECT_EQ(List("*.zzz", status::kFileNotFound), NameList{});
    EXPECT_EQ(List("missing.txt", status::kFileNotFound), NameList{});
    EXPECT_EQ(List("missing\\*", status::kPathNotFound), NameList{});
    EXPECT_EQ(List("missing\\more\\*", status::kPathNotFound), NameList{});
    EXPECT_EQ(List("a.reg\\*", status::kDirectory), NameList{});
    EXPECT_EQ(List("a.reg\\x", status::kDirectory), NameList{});
    EXPECT_EQ(List("s*\\x", status::kInvalidName), NameList{});
    EXPECT_EQ(List("sub\\", status::kFileNotFound), NameList{});
    EXPECT_EQ(List("nul"), NameList{"nul"});  // a device is listed by its name
}

TEST_P(FileProbeContract, EntriesCarryKindAndSize) {
    ASSERT_NO_FATAL_FAILURE(MakeListing());
    std::vector<FileEntry> entries;
    ASSERT_EQ(probe().ListFolder(Scratch("list\\*"), entries), status::kSuccess);
    for (const FileEntry& entry : entries) {
        bool folder = entry.name == "." || entry.name == ".." || entry.name == "sub";
        EXPECT_EQ(entry.isDirectory, folder) << entry.name;
        if (!folder) {
            EXPECT_EQ(entry.size, entry.name.size()) << entry.name;  // content = name
        }
    }
}

TEST_P(FileProbeContract, DriveRootsListNoDotEntries) {
    std::vector<FileEntry> entries;
    ASSERT_EQ(probe().ListFolder(facts().scratch.substr(0, 3) + "*", entries), status::kSuccess);
    EXPECT_FALSE(entries.empty());
    for (const FileEntry& entry : entries) {
        EXPECT_NE(entry.name, ".");
        EXPECT_NE(entry.name, "..");
    }
}

// --- files -----------------------------------------------------------------

TEST_P(FileProbeContract, WrittenBytesReadBack) {
    const std::string path = Scratch("data.bin");
    std::string content("line one\r\nline two\0binary\xff", 27);
    WriteFile(path, content);
    EXPECT_EQ(ReadFile(path), content);
    EXPECT_EQ(ReadFile(Upper(path)), content);

    WriteFile(Upper(path), "short");  // replaces the file of that name, whatever its case
    EXPECT_EQ(ReadFile(path), "short");
    std::vector<FileEntry> entries;
    ASSERT_EQ(probe().ListFolder(Scratch("*.bin"), entries), status::kSuccess);
    EXPECT_EQ(Names(entries), NameList{"data.bin"});
}

TEST_P(FileProbeContract, CreateNewNeverTouchesAnExistingFile) {
    const std::string path = Scratch("keep.txt");
    WriteFile(path, "precious");
    for (const std::string& name : {path, Upper(path)}) {
        Status status = -1;
        EXPECT_EQ(probe().OpenFile(name, FileMode::kCreateNew, &status), nullptr);
        EXPECT_EQ(status, status::kFileExists);
    }
    EXPECT_EQ(ReadFile(path), "precious");

    Status status = -1;
    std::unique_ptr<FileStream> fresh =
        probe().OpenFile(Scratch("new.txt"), FileMode::kCreateNew, &status);
    ASSERT_TRUE(fresh);
    EXPECT_EQ(status, status::kSuccess);
    EXPECT_TRUE(fresh->Write("n", 1));
    EXPECT_TRUE(fresh->Flush());
}

TEST_P(FileProbeContract, OpenFailuresCarryTheirReason) {
    WriteFile(Scratch("present.txt"), "p");
    ASSERT_EQ(probe().CreateFolder(Scratch("folder")), status::kSuccess);
    const struct {
        std::string path;
        FileMode mode;
        Status status;
    } cases[] = {
        {Scratch("absent.txt"), FileMode::kRead, status::kFileNotFound},
        {Scratch("absent\\file.txt"), FileMode::kRead, status::kPathNotFound},
        {Scratch("absent\\file.txt"), FileMode::kCreateAlways, status::kPathNotFound},
        {Scratch("absent\\file.txt"), FileMode::kCreateNew, status::kPathNotFound},
        {Scratch("folder"), FileMode::kRead, status::kAccessDenied},
        {Scratch("folder"), FileMode::kCreateAlways, status::kAccessDenied},
        {Scratch("folder"), FileMode::kCreateNew, status::kFileExists},
        {Scratch("bad|name.txt"), FileMode::kCreateAlways, status::kInvalidName},
        {Scratch("p*.txt"), FileMode::kRead, status::kInvalidName},
        {Scratch("present.txt\\x.txt"), FileMode::kCreateAlways, status::kPathNotFound},
        // A trailing backslash asks for a folder.
        {Scratch("folder\\"), FileMode::kRead, status::kAccessDenied},
        {Scratch("folder\\"), FileMode::kCreateAlways, status::kAccessDenied},
        {Scratch("present.txt\\"), FileMode::kRead, status::kInvalidName},
        {Scratch("present.txt\\"), FileMode::kCreateAlways, status::kInvalidName},
        {Scratch("absent.txt\\"), FileMode::kRead, status::kFileNotFound},
        {Scratch("absent.txt\\"), FileMode::kCreateNew, status::kInvalidName},
    };
    for (const auto& c : cases) {
        Status status = -1;
        EXPECT_EQ(probe().OpenFile(c.path, c.mode, &status), nullptr) << c.path;
        EXPECT_EQ(status, c.status) << c.path << " mode " << static_cast<int>(c.mode);
    }
}

TEST_P(FileProbeContract, StreamsKeepToTheirDirection) {
    WriteFile(Scratch("one.txt"), "1");
    std::unique_ptr<FileStream> reader = probe().OpenFile(Scratch("one.txt"), FileMode::kRead);
    ASSERT_TRUE(reader);
    EXPECT_FALSE(reader->Write("x", 1));
    char c = 0;
    EXPECT_EQ(reader->Read(&c, 1), 1u);
    EXPECT_EQ(reader->Read(&c, 1), 0u);  // the end

    std::unique_ptr<FileStream> writer = probe().OpenFile(Scratch("two.txt"), FileMode::kCreateNew);
    ASSERT_TRUE(writer);
    EXPECT_EQ(writer->Read(&c, 1), 0u);
}

// --- folders and deletion --------------------------------------------------

TEST_P(FileProbeContract, CreateFolderNeedsTheParentAndANewName) {
    WriteFile(Scratch("file.txt"), "f");
    EXPECT_EQ(probe().CreateFolder(Scratch("made")), status::kSuccess);
    EXPECT_TRUE(probe().PathExists(Scratch("made")));
    EXPECT_EQ(probe().CreateFolder(Scratch("made")), status::kAlreadyExists);
    EXPECT_EQ(probe().CreateFolder(Scratch("MADE")), status::kAlreadyExists);
    EXPECT_EQ(probe().CreateFolder(Scratch("file.txt")), status::kAlreadyExists);
    EXPECT_EQ(probe().CreateFolder(Scratch("absent\\made")), status::kPathNotFound);
    EXPECT_EQ(probe().CreateFolder(Scratch("slashed\\")), status::kSuccess);
    EXPECT_TRUE(probe().PathExists(Scratch("slashed")));
    EXPECT_EQ(probe().CreateFolder(Scratch("made\\inner")), status::kSuccess);
    EXPECT_EQ(probe().CreateFolder(Scratch("file.txt\\inner")), status::kPathNotFound);
    EXPECT_EQ(probe().CreateFolder(Scratch("m*\\inner")), status::kInvalidName);
}

TEST_P(FileProbeContract, DeleteFileRemovesFilesOnly) {
    WriteFile(Scratch("doomed.txt"), "d");
    ASSERT_EQ(probe().CreateFolder(Scratch("folder")), status::kSuccess);
    EXPECT_EQ(probe().DeleteFile(Scratch("DOOMED.TXT")), status::kSuccess);
    EXPECT_FALSE(probe().PathExists(Scratch("doomed.txt")));
    EXPECT_EQ(probe().DeleteFile(Scratch("doomed.txt")), status::kFileNotFound);
    EXPECT_EQ(probe().DeleteFile(Scratch("absent\\doomed.txt")), status::kPathNotFound);
    EXPECT_EQ(probe().DeleteFile(Scratch("folder")), status::kAccessDenied);
    EXPECT_EQ(probe().DeleteFile(Scratch("folder\\")), status::kAccessDenied);
    EXPECT_TRUE(probe().PathExists(Scratch("folder")));

    WriteFile(Scratch("kept.txt"), "k");
    EXPECT_EQ(probe().DeleteFile(Scratch("kept.txt\\")), status::kInvalidName);
    EXPECT_EQ(probe().DeleteFile(Scratch("missing.txt\\")), status::kFileNotFound);
    EXPECT_EQ(probe().DeleteFile(Scratch("kept.txt\\x")), status::kPathNotFound);
    EXPECT_EQ(probe().DeleteFile(Scratch("k*.txt")), status::kInvalidName);
    EXPECT_TRUE(probe().PathExists(Scratch("kept.txt")));
}

TEST_P(FileProbeContract, DevicesSwallowWrites) {
    Status status = -1;
    std::unique_ptr<FileStream> sink =
        probe().OpenFile(Scratch("nul"), FileMode::kCreateAlways, &status);
    ASSERT_TRUE(sink) << status;
    EXPECT_TRUE(sink->Write("gone", 4));
    EXPECT_EQ(probe().OpenFile(Scratch("missing\\nul"), FileMode::kCreateAlways, &status), nullptr);
    EXPECT_EQ(status, status::kPathNotFound);
}

// --- shell folders and the program -----------------------------------------

TEST_P(FileProbeContract, SpecialFoldersAreTheSystemsOwn) {
    std::string path = "unchanged";
    ASSERT_TRUE(probe().SpecialFolder(csidl::kWindows, path));
    EXPECT_EQ(Upper(path), Upper(facts().windows));
    ASSERT_TRUE(probe().SpecialFolder(csidl::kSystem, path));
    EXPECT_EQ(Upper(path), Upper(facts().system));
    path = "unchanged";
    EXPECT_FALSE(probe().SpecialFolder(0x7F, path));  // no such folder id
    EXPECT_EQ(path, "unchanged");
}

TEST_P(FileProbeContract, ModuleFileNameIsAFullProgramPath) {
    std::string module = probe().ModuleFileName();
    ASSERT_GT(module.size(), 7u);
    EXPECT_EQ(module.substr(1, 2), ":\\");
    EXPECT_EQ(Upper(module.substr(module.size() - 4)), ".EXE");
}

}  // namespace qm::test
