#include "scan/file_path_scanner.h"

#include <algorithm>
#include <set>
#include <string>
#include <tuple>
#include <vector>

#include "scan/scanners.h"
#include "tests/platform/forwarding_registry.h"
#include "tests/repair/scanner_world.h"

namespace qm::repairtest {
namespace {

constexpr HKey kLm = hkey::kLocalMachine;
constexpr HKey kUs = hkey::kUsers;
constexpr int kFile = 8;
using Protection = MemoryRegistry::Protection;

// A file system that holds exactly the given paths, cannot tell of the
// `unknown` ones, and records every existence test.
class ListedFiles : public FileProbe {
  public:
    explicit ListedFiles(std::set<std::string> existing, std::set<std::string> unknown = {})
        : existing_(std::move(existing)), unknown_(std::move(unknown)) {}

    Existence CheckPath(const std::string& path) override {
        tested.push_back(path);
        if (existing_.count(path) != 0) return Existence::kExists;
        return unknown_.count(path) != 0 ? Existence::kCannotTell : Existence::kMissing;
    }
    Existence FindOnPath(std::string&) override { return Existence::kMissing; }
    bool CanTellMissing(const std::string&) override { return true; }
    uint32_t ExpandEnvironment(const std::string& text, std::string& expanded, uint32_t) override {
        expanded = text;
        return static_cast<uint32_t>(text.size() + 1);
    }
    bool SpecialFolder(int, std::string&) override { return false; }
    std::string ModuleFileName() override { return {}; }
    Status CreateFolder(const std::string&) override { return status::kAccessDenied; }
    Status DeleteFile(const std::string&) override { return status::kAccessDenied; }
    Status ListFolder(const std::string&, std::vector<FileEntry>&) override {
        return status::kPathNotFound;
    }
    std::unique_ptr<FileStream> OpenFile(const std::string&, FileMode, Status*) override {
        return nullptr;
    }

    std::vector<std::string> tested;

  private:
    std::set<std::string> existing_;
    std::set<std::string> unknown_;
};

// Which prefixes are tried, and in what order, until one exists; the text
// is missing only when every one is.
TEST(CheckPathReference, TriesEachPrefixThatEndsBeforeABlank) {
    constexpr Existence kYes = Existence::kExists, kNo = Existence::kMissing;
    struct Case {
        const char* text;
        std::set<std::string> existing;
        Existence result;
        std::vector<std::string> tested;
        std::set<std::string> unknown = {};
    };
    const Case cases[] = {
        {"C:\\Program Files\\App\\app.exe -x",
         {},
         kNo,
         {"C:\\Program", "C:\\Program.exe", "C:\\Program Files\\App\\app.exe",
          "C:\\Program Files\\App\\app.exe.exe", "C:\\Program Files\\App\\app.exe -x",
          "C:\\Program Files\\App\\app.exe -x.exe"}},
        {"C:\\Program Files\\App\\app.exe -x",
         {"C:\\Program Files\\App\\app.exe"},
         kYes,
         {"C:\\Program", "C:\\Program.exe", "C:\\Program Files\\App\\app.exe"}},
        // One prefix that cannot be told of leaves the whole text open, but
        // a later one that exists still settles it.
        {"C:\\Tools\\run -x",
         {},
         Existence::kCannotTell,
         {"C:\\Tools\\run", "C:\\Tools\\run.exe", "C:\\Tools\\run -x", "C:\\Tools\\run -x.exe"},
         {"C:\\Tools\\run.exe"}},
        {"C:\\Tools\\run -x",
         {"C:\\Tools\\run -x"},
         kYes,
         {"C:\\Tools\\run", "C:\\Tools\\run.exe", "C:\\Tools\\run -x"},
         {"C:\\Tools\\run"}},
        {"C:\\Windows\\system32\\shell32.dll,5",
         {},
         kNo,
         {"C:\\Windows\\system32\\shell32.dll", "C:\\Windows\\system32\\shell32.dll.exe"}},
        {"C:\\App\\lib.dll\\2", {}, kNo, {"C:\\App\\lib.dll", "C:\\App\\lib.dll.exe"}},
        {"C:\\App\\lib.DLL\\2", {}, kNo, {"C:\\App\\lib.DLL\\2", "C:\\App\\lib.DLL\\2.exe"}},
        {"C:\\a;b c", {}, kNo, {"C:\\a", "C:\\a.exe"}},
        // No file name holds ':' past the drive's: the arguments begin there.
        {"C:\\x\\setup.exe C:\\x\\setup.log",
         {},
         kNo,
         {"C:\\x\\setup.exe", "C:\\x\\setup.exe.exe"}},
        {"C:\\a:b c", {}, Existence::kCannotTell, {}},
        {"\"C:\\q x\" y", {}, kNo, {"C:\\q", "C:\\q.exe", "C:\\q x", "C:\\q x.exe"}},
        {"C:\\Data\\*.txt", {}, kYes, {}},
        {"C:\\Gone\\?", {}, kYes, {}},
        {"\"", {}, kNo, {}},
        {"", {}, kNo, {}},
    };
    for (const Case& c : cases) {
        ListedFiles files(c.existing, c.unknown);
        EXPECT_EQ(CheckPathReference(c.text, files), c.result) << c.text;
        EXPECT_EQ(files.tested, c.tested) << c.text;
    }
}

class FilePathScannerTest : public ScannerWorld {
  protected:
    std::vector<Found> Walk(HKey root, const std::string& subKey, const std::string& display) {
        return Run([&](ScanContext& ctx) { WalkFileReferences(ctx, root, subKey, display); });
    }
};

// Text values next to healthy ones in one key: which are examined, what the
// candidate is, and which are reported.
TEST_F(FilePathScannerTest, ReportsTextValuesThatLeadNowhere) {
    MakeFile("C:\\WINDOWS\\notepad.exe");
    MakeFile("C:\\Real\\x.exe");
    MakeFile("C:\\Program Files\\App\\app.exe");
    MakeFolder("C:\\Program Files\\Other");
    MakeFile("C:\\WINDOWS\\system32\\shell32.dll");
    SetEnv("APP", "Real");
    SetEnv("BIG", std::string(1100, 'x'));

    struct Case {
        const char* name;
        uint32_t type;
        std::string bytes;     // as stored
        const char* reported;  // the item's data; null: no item
    };
    auto text = [](const char* s) { return std::string(s) + '\0'; };
    const std::vector<Case> cases = {
        {"Cmd", regtype::kSz, text("C:\\Gone\\tool.exe /run"), "C:\\Gone\\tool.exe /run"},
        {"", regtype::kSz, text("C:\\Gone\\default"), "C:\\Gone\\default"},
        {"Quoted", regtype::kSz, text("\"C:\\Gone\\q.exe\" -a \"b\""), "C:\\Gone\\q.exe"},
        {"Expand", regtype::kExpandSz, text("C:\\Gone\\e.exe"), "C:\\Gone\\e.exe"},
        {"EnvGone", regtype::kSz, text("%SystemRoot%\\gone.exe"), "C:\\WINDOWS\\gone.exe"},
        {"EnvQuoted", regtype::kSz, text("\"%SystemRoot%\\gone2.exe\" /x"),
         "C:\\WINDOWS\\gone2.exe"},
        {"EnvThere", regtype::kExpandSz, text("%SystemRoot%\\notepad.exe"), nullptr},
        {"EnvInside", regtype::kSz, text("C:\\%APP%\\x.exe"), "C:\\%APP%\\x.exe"},
        {"EnvTooLong", regtype::kSz, text("%BIG%\\x.exe"), nullptr},
        {"NoZero", regtype::kSz, "C:\\Gone\\nz.exe", "C:\\Gone\\nz.exe"},
        {"CutAtZero", regtype::kSz, std::string("C:\\Gone\\z.exe\0tail", 19), "C:\\Gone\\z.exe"},
        {"Wild", regtype::kSz, text("C:\\Data\\*.txt"), nullptr},
        {"Multi", regtype::kMultiSz, text("C:\\Gone\\m.exe") + '\0', nullptr},
        {"Binary", regtype::kBinary, text("C:\\Gone\\b.exe"), nullptr},
        {"TwoBytes", regtype::kSz, "C:", nullptr},
        {"Relative", regtype::kSz, text("Gone\\x.exe"), nullptr},
        {"Bare", regtype::kSz, text("gone.exe"), nullptr},
        {"Network", regtype::kSz, text("\\\\server\\share\\x.exe"), nullptr},
        {"DriveRelative", regtype::kSz, text("C:gone.exe"), nullptr},
        {"FolderArg", regtype::kSz, text("C:\\WINDOWS -x"), nullptr},
        {"Spaces", regtype::kSz, text("C:\\Program Files\\My App\\app.exe"),
         "C:\\Program Files\\My App\\app.exe"},
        {"SpacesThere", regtype::kSz, text("C:\\Program Files\\App\\app.exe -x"), nullptr},
        {"IconIndex", regtype::kSz, text("c:\\windows\\SYSTEM32\\shell32.dll,5"), nullptr},
        {"Root", regtype::kSz, text("C:\\"), nullptr},
    };
    std::vector<Found> expected;
    for (const Case& c : cases) {
        SetBytes(kLm, "SOFTWARE\\Demo", c.name, c.type, c.bytes);
        if (c.reported != nullptr)
            expected.push_back({"HKLM\\SOFTWARE\\Demo", c.name, c.reported, kFile});
    }
    EXPECT_EQ(Walk(kLm, "SOFTWARE\\Demo", "HKLM\\SOFTWARE\\Demo"), expected);
}

// A path in a hive below HKEY_USERS names that user's folders: each hive is
// expanded with its own user's profile, shell folders and environment, and
// a personal variable the registry does not give for that user leaves the
// value alone. This process's user ("me") has other folders.
TEST_F(FilePathScannerTest, EachUsersPathsNameThatUsersFolders) {
    const std::string profiles = "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\ProfileList\\";
    const std::string shell = "\\Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\";
    SetEnv("SystemDrive", "C:");
    SetEnv("SystemRoot", "C:\\WINDOWS");
    SetEnv("USERPROFILE", "C:\\Users\\me");
    SetEnv("APPDATA", "C:\\Users\\me\\AppData\\Roaming");
    SetEnv("TEMP", "C:\\Users\\me\\Temp");
    SetEnv("MYTOOLS", "C:\\Users\\me\\Tools");
    SetText(hkey::kCurrentUser, "Environment", "MYTOOLS", "%USERPROFILE%\\Tools");
    const std::string bob = "S-1-5-21-7-1001";
    SetText(kLm, profiles + bob, "ProfileImagePath", "%SystemDrive%\\Users\\bob",
            regtype::kExpandSz);
    SetText(kLm, profiles + "S-1-5-18", "ProfileImagePath",
            "%SystemRoot%\\system32\\config\\systemprofile", regtype::kExpandSz);
    SetText(kUs, bob + shell + "Shell Folders", "AppData", "C:\\Users\\bob\\Roaming");
    SetText(kUs, bob + "\\Environment", "TEMP", "%USERPROFILE%\\Temp", regtype::kExpandSz);
    for (const char* file :
         {"C:\\Users\\bob\\tool.exe", "C:\\Users\\bob\\Roaming\\App\\app.exe",
          "C:\\Users\\bob\\Temp\\t.exe", "C:\\Users\\me\\mine.exe", "C:\\Users\\me\\Tools\\x.exe",
          "C:\\WINDOWS\\system32\\config\\systemprofile\\sys.exe", "C:\\Users\\me\\Temp\\u.exe"})
        MakeFile(file);

    const struct {
        std::string hive;
        const char* name;
        const char* text;
        const char* reported;  // the item's data; null: no item
    } cases[] = {
        {bob, "Profile", "%USERPROFILE%\\tool.exe", nullptr},
        {bob, "Roaming", "%APPDATA%\\App\\app.exe", nullptr},
        {bob, "Temp", "%TEMP%\\t.exe", nullptr},
        {bob, "ProfileGone", "%USERPROFILE%\\mine.exe", "C:\\Users\\bob\\mine.exe"},
        {bob, "RoamingGone", "\"%APPDATA%\\App\\gone.exe\" /x",
         "C:\\Users\\bob\\Roaming\\App\\gone.exe"},
        {bob, "System", "%SystemRoot%\\gone.exe", "C:\\WINDOWS\\gone.exe"},
        {bob, "NotBobs", "%MYTOOLS%\\x.exe", nullptr},          // my variable, not bob's
        {bob, "NoLocal", "%LOCALAPPDATA%\\gone.exe", nullptr},  // not known for bob
        {bob + "_Classes", "Classes", "%USERPROFILE%\\gone.exe", "C:\\Users\\bob\\gone.exe"},
        {".DEFAULT", "System", "%USERPROFILE%\\sys.exe", nullptr},
        {".DEFAULT", "SystemGone", "%USERPROFILE%\\gone.exe",
         "C:\\WINDOWS\\system32\\config\\systemprofile\\gone.exe"},
        {"S-1-5-19", "NoProfile", "%USERPROFILE%\\gone.exe", nullptr},  // not in ProfileList
        {"S-1-5-19", "NoTemp", "%TEMP%\\u.exe", nullptr},
    };
    std::vector<Found> expected;
    for (const auto& c : cases) {
        SetText(kUs, c.hive + "\\Demo", c.name, c.text);
        if (c.reported != nullptr)
            expected.push_back({"HKUS\\" + c.hive + "\\Demo", c.name, c.reported, kFile});
    }
    std::vector<Found> found = Walk(kUs, "", "HKUS");
    std::sort(found.begin(), found.end(), [](const Found& a, const Found& b) {
        return a.keyPath + a.valueName < b.keyPath + b.valueName;
    });
    std::sort(expected.begin(), expected.end(), [](const Found& a, const Found& b) {
        return a.keyPath + a.valueName < b.keyPath + b.valueName;
    });
    EXPECT_EQ(found, expected);
    // A walk that starts inside a hive is that hive's user's.
    list.Clear();
    counters = ScanCounters{};
    EXPECT_EQ(Walk(kUs, bob + "\\Demo", "HKUS\\" + bob + "\\Demo").size(), 3u);
}

// The registry functions end a name at its first zero byte, so an entry
// whose key or value name holds one cannot be named to them: it is never
// reported, and neither is the entry named like the part before the zero
// (the valid "Path" below, or the key "Sub" a second time).
TEST_F(FilePathScannerTest, EntriesNamedWithAZeroByteAreNotReported) {
    using namespace std::string_literals;
    MakeFile("C:\\kept.exe");
    regtext::Document doc;
    for (const auto& [key, name, text] :
         {std::tuple{"SOFTWARE\\Zero"s, "Path"s, "C:\\kept.exe"s},
          std::tuple{"SOFTWARE\\Zero"s, "Path\0"s, "C:\\gone.exe"s},
          std::tuple{"SOFTWARE\\Zero\\Sub"s, "Other"s, "C:\\gone.exe"s},
          std::tuple{"SOFTWARE\\Zero\\Sub\0tail"s, "Path"s, "C:\\gone.exe"s},
          std::tuple{"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\SharedDLLs"s,
                     "C:\\gone.dll\0x"s, "\1"s}}) {
        regtext::Entry value;
        value.kind = regtext::Entry::Kind::kValue;
        value.root = kLm;
        value.keyPath = key;
        value.name = name;
        value.type = regtype::kSz;
        value.data.assign(text.begin(), text.end());
        value.data.push_back(0);
        doc.entries.push_back(value);
    }
    registry.Apply(doc);
    const std::vector<Found> once = {{"HKLM\\SOFTWARE\\Zero\\Sub", "Other", "C:\\gone.exe", kFile}};
    EXPECT_EQ(Walk(kLm, "SOFTWARE\\Zero", "HKLM\\SOFTWARE\\Zero"), once);
    list.Clear();
    counters.Reset();
    EXPECT_EQ(Run(ScanSharedDlls), std::vector<Found>{});
}

// Keys are visited depth first and reported before their subkeys, but a
// key's values are examined after everything below it.
TEST_F(FilePathScannerTest, WalksDepthFirstWithValuesAfterSubkeys) {
    SetText(kLm, "SOFTWARE\\A", "v", "C:\\Gone\\a");
    SetText(kLm, "SOFTWARE\\A\\B", "v", "C:\\Gone\\ab");
    SetText(kLm, "SOFTWARE\\A\\B\\C", "v", "C:\\Gone\\abc");
    SetText(kLm, "SOFTWARE\\A\\D", "v", "C:\\Gone\\ad");
    SetText(kLm, "SOFTWARE\\E", "v", "C:\\Gone\\e");
    SetText(kLm, "", "v", "C:\\Gone\\root");
    SetText(kUs, "S-1-5-21\\Software\\Demo", "Cmd", "C:\\Gone\\user.exe");

    EXPECT_EQ(Run(ScanFilePaths),
              (std::vector<Found>{
                  {"HKLM\\SOFTWARE\\A\\B\\C", "v", "C:\\Gone\\abc", kFile},
                  {"HKLM\\SOFTWARE\\A\\B", "v", "C:\\Gone\\ab", kFile},
                  {"HKLM\\SOFTWARE\\A\\D", "v", "C:\\Gone\\ad", kFile},
                  {"HKLM\\SOFTWARE\\A", "v", "C:\\Gone\\a", kFile},
                  {"HKLM\\SOFTWARE\\E", "v", "C:\\Gone\\e", kFile},
                  {"HKLM", "v", "C:\\Gone\\root", kFile},
                  {"HKUS\\S-1-5-21\\Software\\Demo", "Cmd", "C:\\Gone\\user.exe", kFile},
              }));
    // The in-memory HKEY_LOCAL_MACHINE may hold more than this test made,
    // so only the texts of the keys it made are compared.
    std::vector<std::string> shown;
    for (const std::string& t : sink.texts)
        if (t == "HKLM" || t.rfind("HKLM\\SOFTWARE\\A", 0) == 0 || t == "HKLM\\SOFTWARE\\E" ||
            t.rfind("HKUS", 0) == 0)
            shown.push_back(t);
    EXPECT_EQ(shown,
              (std::vector<std::string>{
                  "HKLM", "HKLM\\SOFTWARE\\A", "HKLM\\SOFTWARE\\A\\B", "HKLM\\SOFTWARE\\A\\B\\C",
                  "HKLM\\SOFTWARE\\A\\D", "HKLM\\SOFTWARE\\E", "HKUS", "HKUS\\S-1-5-21",
                  "HKUS\\S-1-5-21\\Software", "HKUS\\S-1-5-21\\Software\\Demo"}));
}

// A key the account may read but not change is walked into, but its values
// are not examined; a key it may not read is skipped with all below it.
TEST_F(FilePathScannerTest, ProtectedKeys) {
    SetText(kLm, "SOFTWARE\\ReadOnly", "v", "C:\\Gone\\ro");
    SetText(kLm, "SOFTWARE\\ReadOnly\\Child", "v", "C:\\Gone\\ro-child");
    SetText(kLm, "SOFTWARE\\Locked", "v", "C:\\Gone\\locked");
    SetText(kLm, "SOFTWARE\\Locked\\Child", "v", "C:\\Gone\\locked-child");
    SetText(kLm, "SOFTWARE\\Open", "v", "C:\\Gone\\open");
    Protect(kLm, "SOFTWARE\\ReadOnly", Protection::kReadOnly);
    Protect(kLm, "SOFTWARE\\Locked", Protection::kUnreadable);

    EXPECT_EQ(Walk(kLm, "SOFTWARE", "HKLM\\SOFTWARE"),
              (std::vector<Found>{
                  {"HKLM\\SOFTWARE\\Open", "v", "C:\\Gone\\open", kFile},
                  {"HKLM\\SOFTWARE\\ReadOnly\\Child", "v", "C:\\Gone\\ro-child", kFile},
              }));
    EXPECT_NE(std::find(sink.texts.begin(), sink.texts.end(), "HKLM\\SOFTWARE\\Locked"),
              sink.texts.end());
}

// A value whose name or data does not fit 1024 bytes ends its key's values.
TEST_F(FilePathScannerTest, AValueTooLongForTheBufferEndsTheKeysValues) {
    for (int i = 1; i <= 40; ++i) {
        const std::string data =
            i == 10 ? std::string("C:\\Gone\\").append(1100, 'x') : Numbered("C:\\Gone\\", i);
        SetText(kLm, "SOFTWARE\\Many", Numbered("v", i), data);
    }
    SetText(kLm, "SOFTWARE\\Many\\Sub", "v", "C:\\Gone\\sub");
    const std::vector<Found> found = Walk(kLm, "SOFTWARE\\Many", "HKLM\\SOFTWARE\\Many");
    ASSERT_EQ(found.size(), 10u);
    EXPECT_EQ(found[0].data, "C:\\Gone\\sub");
    EXPECT_EQ(found[9].valueName, "v9");
}

TEST_F(FilePathScannerTest, StopDuringTheFirstHiveEndsBothWalks) {
    SetText(kLm, "SOFTWARE\\A\\Deep", "v", "C:\\Gone\\deep");
    SetText(kLm, "SOFTWARE\\A", "v", "C:\\Gone\\a");
    SetText(kLm, "SOFTWARE\\B", "v", "C:\\Gone\\b");
    SetText(kUs, "S-1-5-21", "v", "C:\\Gone\\user");
    SetText(kLm, "", "v", "C:\\Gone\\root");
    StopAt("HKLM\\SOFTWARE\\B");

    // Everything examined before the flag rose stays; the key being entered
    // then is opened but neither walked nor examined, no level above it
    // examines its values, and the second hive only reports its root.
    EXPECT_EQ(Run(ScanFilePaths), (std::vector<Found>{
                                      {"HKLM\\SOFTWARE\\A\\Deep", "v", "C:\\Gone\\deep", kFile},
                                      {"HKLM\\SOFTWARE\\A", "v", "C:\\Gone\\a", kFile},
                                  }));
    EXPECT_EQ(sink.texts.back(), "HKUS");
    EXPECT_EQ(std::count(sink.texts.begin(), sink.texts.end(), "HKUS"), 1);
}

// A registry whose subkeys named "EMPTY" enumerate with an empty name, as a
// damaged or foreign hive can; after a bounded number of enumerations it
// reports no more subkeys, so that a walk that loops still ends.
class EmptyNameRegistry : public testing::ForwardingRegistry {
  public:
    using ForwardingRegistry::ForwardingRegistry;
    Status EnumKey(HKey key, uint32_t index, char* name, uint32_t* size) override {
        if (++enumerations > 1000) return status::kNoMoreItems;
        const Status result = inner_.EnumKey(key, index, name, size);
        if (result == status::kSuccess && std::string(name, *size) == "EMPTY") {
            name[0] = '\0';
            *size = 0;
        }
        return result;
    }

    int enumerations = 0;
};

// A subkey with an empty name would lead the walk back into its own key
// without end: it is passed over, and its siblings are walked.
TEST_F(FilePathScannerTest, ASubkeyWithAnEmptyNameIsPassedOver) {
    SetText(kLm, "SOFTWARE\\A", "v", "C:\\Gone\\a");
    MakeKey(kLm, "SOFTWARE\\A\\EMPTY");
    SetText(kLm, "SOFTWARE\\A\\Z", "v", "C:\\Gone\\z");
    EmptyNameRegistry odd(registry);
    ScanContext ctx{odd, Files(), list, counters, stop, &sink};
    WalkFileReferences(ctx, kLm, "SOFTWARE\\A", "HKLM\\SOFTWARE\\A");
    EXPECT_LT(odd.enumerations, 1000);
    EXPECT_EQ(sink.texts, (std::vector<std::string>{"HKLM\\SOFTWARE\\A", "HKLM\\SOFTWARE\\A\\Z"}));
    EXPECT_EQ(counters.totalCount, 2);
}

// A tree deeper than the levels that keep their handles, branching where the
// levels in between close their handle while a subkey is walked and reopen
// it afterwards. The order of keys and items stays as for a shallow tree, and
// fewer handles are open than there are levels.
TEST_F(FilePathScannerTest, DeepTreeKeepsOrderAndFewHandles) {
    const std::string top = "HKLM\\SOFTWARE";
    auto keyAt = [](int depth) {
        std::string path = "SOFTWARE";
        for (int i = 0; i < depth; ++i) path += "\\n";
        return path;
    };
    auto shownAt = [&](int depth) { return "HKLM\\" + keyAt(depth); };
    for (int depth : {560, 561}) {
        SetText(kLm, keyAt(depth) + "\\a", "v", Numbered("C:\\Gone\\a", depth));
        SetText(kLm, keyAt(depth) + "\\z", "v", Numbered("C:\\Gone\\z", depth));
        SetText(kLm, keyAt(depth), "v", Numbered("C:\\Gone\\at", depth));
    }
    SetText(kLm, keyAt(600), "v", "C:\\Gone\\bottom");
    Protect(kLm, keyAt(561) + "\\z", Protection::kReadOnly);

    size_t mostHandles = 0;
    sink.onText = [&](const std::string&) {
        mostHandles = std::max(mostHandles, registry.OpenHandleCount());
    };
    EXPECT_EQ(Walk(kLm, "SOFTWARE", top), (std::vector<Found>{
                                              {shownAt(560) + "\\a", "v", "C:\\Gone\\a560", kFile},
                                              {shownAt(561) + "\\a", "v", "C:\\Gone\\a561", kFile},
                                              {shownAt(600), "v", "C:\\Gone\\bottom", kFile},
                                              {shownAt(561), "v", "C:\\Gone\\at561", kFile},
                                              {shownAt(560) + "\\z", "v", "C:\\Gone\\z560", kFile},
                                              {shownAt(560), "v", "C:\\Gone\\at560", kFile},
                                          }));
    EXPECT_LT(mostHandles, 600u);

    std::vector<std::string> expected;
    for (int depth = 0; depth <= 560; ++depth) expected.push_back(shownAt(depth));
    expected.push_back(shownAt(560) + "\\a");
    expected.push_back(shownAt(561));
    expected.push_back(shownAt(561) + "\\a");
    for (int depth = 562; depth <= 600; ++depth) expected.push_back(shownAt(depth));
    expected.push_back(shownAt(561) + "\\z");
    expected.push_back(shownAt(560) + "\\z");
    std::vector<std::string> shown;
    for (const std::string& t : sink.texts)
        if (t == top || t.rfind(top + "\\n", 0) == 0) shown.push_back(t);
    EXPECT_EQ(shown, expected);
}

}  // namespace
}  // namespace qm::repairtest
