#include "platform/memory/memory_registry.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <utility>
#include <vector>

#if !defined(_WIN32)
#include <pthread.h>
#endif

namespace qm {
namespace {

using Protection = MemoryRegistry::Protection;
using Strings = std::vector<std::string>;

const uint8_t* Bytes(const char* text) {
    return reinterpret_cast<const uint8_t*>(text);
}

// prefix + number, built by appending (g++ 12 warns falsely about
// "literal" + std::string at -O2).
std::string Numbered(const char* prefix, uint32_t n) {
    std::string s = prefix;
    s += std::to_string(n);
    return s;
}

// One line per entry: "[path]" for a key, "path:name=type:bytes" for a value.
Strings Dump(const regtext::Document& doc) {
    Strings lines;
    for (const regtext::Entry& e : doc.entries) {
        if (e.kind == regtext::Entry::Kind::kKey) {
            lines.push_back("[" + e.keyPath + "]");
            continue;
        }
        std::string line = e.keyPath + ":" + e.name + "=" + std::to_string(e.type) + ":";
        line.append(e.data.begin(), e.data.end());
        lines.push_back(line);
    }
    return lines;
}

class MemoryRegistryTest : public ::testing::Test {
  protected:
    void TearDown() override {
        for (HKey key : opened_) reg.CloseKey(key);
    }
    // Creates HKCU\path with full access; the handle is closed after the test.
    HKey Make(const std::string& path) {
        HKey key = hkey::kNull;
        EXPECT_EQ(
            reg.CreateKey(hkey::kCurrentUser, path.c_str(), access::kAllAccess, &key, nullptr),
            status::kSuccess)
            << path;
        return Keep(key);
    }
    HKey Keep(HKey key) {
        opened_.push_back(key);
        return key;
    }
    Status Open(const std::string& path, uint32_t rights = access::kRead) {
        HKey key = hkey::kNull;
        Status s = reg.OpenKey(hkey::kCurrentUser, path.c_str(), rights, &key);
        reg.CloseKey(key);
        return s;
    }
    void SetText(HKey key, const char* name, const char* text) {
        ASSERT_EQ(reg.SetValue(key, name, regtype::kSz, Bytes(text),
                               static_cast<uint32_t>(std::strlen(text) + 1)),
                  status::kSuccess);
    }
    // Subkey (or value) names by index until the first failure.
    Strings Subkeys(HKey key, bool values = false) {
        Strings names;
        char name[300];
        for (uint32_t i = 0, size = sizeof name;
             (values ? reg.EnumValue(key, i, name, &size, nullptr, nullptr, nullptr)
                     : reg.EnumKey(key, i, name, &size)) == status::kSuccess;
             ++i, size = sizeof name)
            names.emplace_back(name, size);
        return names;
    }
    Strings ValueNames(HKey key) { return Subkeys(key, true); }
    // A chain "path\k\k..." `depth` keys below `path`.
    void MakeChain(const std::string& path, int depth) {
        HKey key = hkey::kNull;
        ASSERT_EQ(
            reg.CreateKey(hkey::kCurrentUser, path.c_str(), access::kAllAccess, &key, nullptr),
            status::kSuccess);
        for (int i = 0; i < depth; ++i) {
            HKey next = hkey::kNull;
            ASSERT_EQ(reg.CreateKey(key, "k", access::kAllAccess, &next, nullptr),
                      status::kSuccess);
            reg.CloseKey(key);
            key = next;
        }
        SetText(key, "leaf", "bottom");
        reg.CloseKey(key);
    }

    MemoryRegistry reg;

  private:
    std::vector<HKey> opened_;
};

TEST_F(MemoryRegistryTest, EnumValueReportsSizesOnShortBuffers) {
    HKey k = Make("v");
    SetText(k, "Test", "foobar");  // 7 bytes with the zero
    struct Case {
        uint32_t nameSize, dataSize;
        Status status;
        uint32_t nameSizeAfter;
        const char *nameAfter, *dataAfter;
    } cases[] = {
        // Data too small: neither name nor data written, the name size kept.
        {20, 2, status::kMoreData, 20, "xxxxxxxxx", "xxxxxxxxx"},
        // Name too small: the data written, the name cut to fit.
        {3, 20, status::kMoreData, 3, "Te", "foobar"},
        {0, 20, status::kMoreData, 0, "xxxxxxxxx", "foobar"},
        {5, 7, status::kSuccess, 4, "Test", "foobar"},
    };
    for (const Case& c : cases) {
        char name[10] = "xxxxxxxxx", data[10] = "xxxxxxxxx";
        uint32_t nameSize = c.nameSize, dataSize = c.dataSize, type = 0;
        EXPECT_EQ(reg.EnumValue(k, 0, name, &nameSize, &type, reinterpret_cast<uint8_t*>(data),
                                &dataSize),
                  c.status)
            << c.nameSize << "/" << c.dataSize;
        EXPECT_EQ(nameSize, c.nameSizeAfter);
        EXPECT_EQ(dataSize, 7u);
        EXPECT_EQ(type, regtype::kSz);
        EXPECT_STREQ(name, c.nameAfter);
        EXPECT_STREQ(data, c.dataAfter);
    }
}

TEST_F(MemoryRegistryTest, ValueSizesAsTheSystemKeepsThem) {
    HKey k = Make("q");
    // Text whose size leaves out its zero gets one; other types are kept as
    // given.
    ASSERT_EQ(reg.SetValue(k, "a", regtype::kSz, Bytes("abc"), 3), status::kSuccess);
    ASSERT_EQ(reg.SetValue(k, "b", regtype::kBinary, Bytes("abc"), 3), status::kSuccess);
    ASSERT_EQ(reg.SetValue(k, "c", regtype::kExpandSz, Bytes("abcX"), 3), status::kSuccess);
    ASSERT_EQ(reg.SetValue(k, "e", regtype::kSz, nullptr, 0), status::kSuccess);
    EXPECT_EQ(reg.SetValue(k, "f", regtype::kBinary, nullptr, 4), status::kNoAccess);
    for (auto [name, expected] : {std::pair{"a", 4u}, {"b", 3u}, {"c", 4u}, {"e", 0u}}) {
        uint32_t size = 99;
        ASSERT_EQ(reg.QueryValue(k, name, nullptr, nullptr, &size), status::kSuccess);
        EXPECT_EQ(size, expected) << name;
    }

    // Text loaded from a file may still lack its zero: reading it adds one
    // when there is room, none on an exact fit.
    regtext::Document doc;
    doc.entries.push_back({regtext::Entry::Kind::kKey, hkey::kCurrentUser, "q", "", 0, {}, 1});
    doc.entries.push_back({regtext::Entry::Kind::kValue,
                           hkey::kCurrentUser,
                           "q",
                           "c",
                           regtype::kExpandSz,
                           {'a', 'b', 'c'},
                           2});
    reg.Apply(doc);
    uint8_t buffer[8];
    uint32_t size = 4;
    ASSERT_EQ(reg.QueryValue(k, "c", nullptr, buffer, &size), status::kSuccess);
    EXPECT_EQ(size, 3u);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(buffer), 4), std::string("abc\0", 4));
    std::memset(buffer, 'x', sizeof buffer);
    size = 3;
    ASSERT_EQ(reg.QueryValue(k, "c", nullptr, buffer, &size), status::kSuccess);
    EXPECT_EQ(buffer[3], 'x');

    // A missing value clears the type and, with no buffer, the size.
    uint32_t type = 99;
    size = 99;
    EXPECT_EQ(reg.QueryValue(k, "absent", &type, nullptr, &size), status::kFileNotFound);
    EXPECT_EQ(type + size, 0u);
    EXPECT_EQ(reg.QueryValue(k, "b", nullptr, buffer, nullptr), status::kInvalidParameter);
}

TEST_F(MemoryRegistryTest, OrderAndCase) {
    for (const char* n : {"b", "_x", "A", "a_b", "ab", "\xE9t\xE9", "Z", "[q"}) Make(n);
    // Lower-cased, as Wine orders them: '[' and '_' come before the letters;
    // e acute after all of ASCII.
    EXPECT_EQ(Subkeys(hkey::kCurrentUser),
              (Strings{"[q", "_x", "A", "a_b", "ab", "b", "Z", "\xE9t\xE9"}));
    bool created = true;
    HKey again = hkey::kNull;
    ASSERT_EQ(reg.CreateKey(hkey::kCurrentUser, "\xC9T\xC9", access::kRead, &again, &created),
              status::kSuccess);
    Keep(again);
    EXPECT_FALSE(created);

    // Values: first-set order; a replaced value keeps its place and spelling.
    HKey k = Make("A");
    for (const char* n : {"zeta", "Alpha", "mid"}) SetText(k, n, "1");
    SetText(k, "ALPHA", "2");
    ASSERT_EQ(reg.DeleteValue(k, "zeta"), status::kSuccess);
    SetText(k, "Zeta", "3");
    EXPECT_EQ(ValueNames(k), (Strings{"Alpha", "mid", "Zeta"}));
}

TEST_F(MemoryRegistryTest, PathSyntax) {
    Make("a\\b");
    const std::pair<const char*, Status> cases[] = {
        {"a\\b", status::kSuccess},      {"A\\\\\\B", status::kSuccess},
        {"a\\b\\\\", status::kSuccess},  {"\\a", status::kBadPathname},
        {"a\\c", status::kFileNotFound}, {"c\\b", status::kFileNotFound},
    };
    for (auto [path, expected] : cases) EXPECT_EQ(Open(path), expected) << path;

    // Names of up to 256 characters, paths of up to 260.
    const std::string longest(256, 'n');
    HKey top = Make("x");
    Make("x\\" + longest);
    char name[260] = "";
    uint32_t size = 256;  // no room for the zero: nothing written, size kept
    EXPECT_EQ(reg.EnumKey(top, 0, name, &size), status::kMoreData);
    EXPECT_EQ(size, 256u);
    EXPECT_EQ(name[0], '\0');
    size = 257;
    EXPECT_EQ(reg.EnumKey(top, 0, name, &size), status::kSuccess);
    EXPECT_EQ(Open("x\\" + longest + "\\a"), status::kFileNotFound);
    EXPECT_EQ(Open("x\\" + longest + "\\ab"), status::kMoreData);
    EXPECT_EQ(Open(longest + "n"), status::kInvalidParameter);
    HKey k = hkey::kNull;
    // Keys made before a name that is too long stay, as in the system.
    EXPECT_EQ(reg.CreateKey(hkey::kCurrentUser, ("y\\" + longest + "n").c_str(), access::kRead, &k,
                            nullptr),
              status::kInvalidParameter);
    EXPECT_EQ(k, hkey::kNull);
    EXPECT_EQ(Open("y"), status::kSuccess);
}

TEST_F(MemoryRegistryTest, RootsAndEmptySubkeys) {
    HKey result = hkey::kNull;
    // A root with no subkey is itself; a handle with no subkey a new handle.
    ASSERT_EQ(reg.OpenKey(hkey::kLocalMachine, "", access::kRead, &result), status::kSuccess);
    EXPECT_EQ(result, hkey::kLocalMachine);
    HKey k = Make("e");
    ASSERT_EQ(reg.OpenKey(k, nullptr, access::kRead, &result), status::kSuccess);
    EXPECT_NE(Keep(result), k);
    bool created = false;  // the system reports a create with no name as new
    ASSERT_EQ(reg.CreateKey(k, "", access::kRead, &result, &created), status::kSuccess);
    Keep(result);
    EXPECT_TRUE(created);
    EXPECT_EQ(reg.OpenHandleCount(), 3u);
    EXPECT_EQ(reg.OpenKey(hkey::kPerformanceData, "x", access::kRead, &result),
              status::kInvalidHandle);
    // Roots, and the classes key behind HKEY_CLASSES_ROOT, are never deleted.
    EXPECT_EQ(reg.DeleteKey(hkey::kDynData, ""), status::kAccessDenied);
    EXPECT_EQ(reg.DeleteKey(hkey::kClassesRoot, ""), status::kAccessDenied);
    EXPECT_EQ(reg.DeleteTree(hkey::kLocalMachine, "SOFTWARE"), status::kAccessDenied);
    // HKEY_CLASSES_ROOT is the machine's classes key. It takes one leading
    // backslash on open and tree deletion, not on create or key deletion.
    ASSERT_EQ(reg.CreateKey(hkey::kLocalMachine, "Software\\Classes\\.txt", access::kRead, &result,
                            nullptr),
              status::kSuccess);
    Keep(result);
    EXPECT_EQ(reg.OpenKey(hkey::kClassesRoot, "\\.TXT", access::kRead, &result), status::kSuccess);
    Keep(result);
    EXPECT_EQ(reg.CreateKey(hkey::kClassesRoot, "\\.doc", access::kRead, &result, nullptr),
              status::kBadPathname);
    EXPECT_EQ(reg.DeleteKey(hkey::kClassesRoot, "\\.txt"), status::kBadPathname);
    EXPECT_EQ(reg.DeleteTree(hkey::kClassesRoot, "\\.txt"), status::kSuccess);
    EXPECT_TRUE(Subkeys(hkey::kClassesRoot).empty());
}

TEST_F(MemoryRegistryTest, DeletedAndClosedHandles) {
    Make("p\\c");
    HKey p = hkey::kNull, sub = hkey::kNull;
    ASSERT_EQ(reg.OpenKey(hkey::kCurrentUser, "p", access::kAllAccess, &p), status::kSuccess);
    EXPECT_EQ(reg.DeleteKey(hkey::kCurrentUser, "p"), status::kAccessDenied);
    EXPECT_EQ(reg.DeleteKey(p, "c"), status::kSuccess);
    EXPECT_EQ(reg.DeleteKey(p, ""), status::kSuccess);  // the handle's own key
    Make("p");                                          // another key of the same name

    char name[8];
    uint32_t size = sizeof name, type = 0;
    KeyInfo info;
    for (Status s :
         {reg.EnumKey(p, 0, name, &size), reg.EnumValue(p, 0, name, &size, &type, nullptr, nullptr),
          reg.QueryInfoKey(p, &info), reg.QueryValue(p, "v", &type, nullptr, &size),
          reg.SetValue(p, "v", regtype::kSz, Bytes("x"), 2),
          reg.CreateKey(p, "x", access::kAllAccess, &sub, nullptr),
          reg.OpenKey(p, "", access::kRead, &sub), reg.DeleteTree(p, nullptr)})
        EXPECT_EQ(s, status::kKeyDeleted);

    EXPECT_EQ(reg.CloseKey(p), status::kSuccess);
    EXPECT_EQ(reg.CloseKey(p), status::kInvalidHandle);
    EXPECT_EQ(reg.EnumKey(p, 0, name, &size), status::kInvalidHandle);
    EXPECT_EQ(reg.SetValue(0x1234, "v", regtype::kSz, Bytes("x"), 2), status::kInvalidHandle);
    EXPECT_EQ(reg.OpenHandleCount(), 2u);
}

TEST_F(MemoryRegistryTest, HandleRightsAreChecked) {
    HKey full = Make("r");
    SetText(full, "v", "x");
    HKey read = hkey::kNull, setOnly = hkey::kNull, none = hkey::kNull, sub = hkey::kNull;
    ASSERT_EQ(reg.OpenKey(full, "", access::kRead, &read), status::kSuccess);
    ASSERT_EQ(reg.OpenKey(full, "", access::kSetValue, &setOnly), status::kSuccess);
    ASSERT_EQ(reg.OpenKey(full, "", 0, &none), status::kSuccess);
    Keep(read), Keep(setOnly), Keep(none);

    EXPECT_EQ(reg.SetValue(read, "w", regtype::kSz, Bytes("y"), 2), status::kAccessDenied);
    EXPECT_EQ(reg.DeleteValue(read, "v"), status::kAccessDenied);
    // Creating below a handle needs no rights on it, as in the system.
    EXPECT_EQ(reg.CreateKey(none, "child", access::kAllAccess, &sub, nullptr), status::kSuccess);
    Keep(sub);
    KeyInfo info;
    EXPECT_EQ(reg.QueryInfoKey(setOnly, &info), status::kAccessDenied);
    EXPECT_EQ(reg.SetValue(setOnly, "w", regtype::kSz, Bytes("y"), 2), status::kSuccess);
    // Emptying a key in place reads it, and deletes values with KEY_SET_VALUE:
    // the subkeys go before that is found missing.
    EXPECT_EQ(reg.DeleteTree(setOnly, ""), status::kAccessDenied);
    EXPECT_EQ(reg.DeleteTree(read, ""), status::kAccessDenied);
    EXPECT_TRUE(Subkeys(full).empty());
    EXPECT_EQ(ValueNames(full).size(), 2u);
    EXPECT_EQ(reg.DeleteTree(full, ""), status::kSuccess);
    EXPECT_TRUE(ValueNames(full).empty());
}

TEST_F(MemoryRegistryTest, ReadOnlyAndUnreadableKeys) {
    for (const char* n : {"ro\\child", "hidden\\inside", "t\\a\\x", "t\\b\\y", "t\\c\\z"}) Make(n);
    ASSERT_TRUE(reg.SetProtection(hkey::kCurrentUser, "RO", Protection::kReadOnly));
    ASSERT_TRUE(reg.SetProtection(hkey::kCurrentUser, "hidden", Protection::kUnreadable));
    ASSERT_TRUE(reg.SetProtection(hkey::kCurrentUser, "t\\b\\y", Protection::kUnreadable));
    EXPECT_FALSE(reg.SetProtection(hkey::kCurrentUser, "absent", Protection::kReadOnly));

    EXPECT_EQ(Open("ro", access::kRead), status::kSuccess);
    EXPECT_EQ(Open("ro", access::kReadWrite), status::kAccessDenied);
    EXPECT_EQ(Open("ro\\child", access::kAllAccess), status::kSuccess);
    HKey k = hkey::kNull;
    EXPECT_EQ(reg.CreateKey(hkey::kCurrentUser, "ro\\new", access::kRead, &k, nullptr),
              status::kAccessDenied);
    // The system's default access gives what the key allows: reading.
    ASSERT_EQ(reg.OpenKey(hkey::kCurrentUser, "ro", access::kDefault, &k), status::kSuccess);
    EXPECT_EQ(reg.SetValue(Keep(k), "v", regtype::kSz, Bytes("x"), 2), status::kAccessDenied);
    EXPECT_EQ(Open("hidden", 0), status::kAccessDenied);
    EXPECT_EQ(Subkeys(hkey::kCurrentUser), (Strings{"hidden", "ro", "t"}));

    // Tree deletion goes depth first in order and stops at the first key it
    // may not read or delete.
    EXPECT_EQ(reg.DeleteTree(hkey::kCurrentUser, "ro"), status::kAccessDenied);
    EXPECT_EQ(Open("ro"), status::kSuccess);
    EXPECT_EQ(Open("ro\\child"), status::kFileNotFound);
    EXPECT_EQ(reg.DeleteKey(hkey::kCurrentUser, "ro"), status::kAccessDenied);
    EXPECT_EQ(reg.DeleteTree(hkey::kCurrentUser, "hidden"), status::kAccessDenied);
    EXPECT_EQ(reg.DeleteTree(hkey::kCurrentUser, "t"), status::kAccessDenied);
    EXPECT_EQ(Open("t\\a"), status::kFileNotFound);
    EXPECT_EQ(Open("t\\b"), status::kSuccess);
    EXPECT_EQ(Open("t\\c\\z"), status::kSuccess);
}

TEST_F(MemoryRegistryTest, QueryInfoReportsTextAsTheSystemHoldsIt) {
    HKey k = Make("info");
    Make("info\\longest-name");
    Make("info\\s");
    SetText(k, "a-long-value-name", "12345678");  // 9 bytes, 18 as UTF-16
    const uint8_t bin[12] = {};
    ASSERT_EQ(reg.SetValue(k, "b", regtype::kBinary, bin, sizeof bin), status::kSuccess);
    KeyInfo info;
    ASSERT_EQ(reg.QueryInfoKey(k, &info), status::kSuccess);
    EXPECT_EQ(std::vector<uint32_t>({info.subKeys, info.maxSubKeyLen, info.values,
                                     info.maxValueNameLen, info.maxValueLen}),
              std::vector<uint32_t>({2, 12, 2, 17, 18}));
    // Removing the longest entries shortens the maxima.
    ASSERT_EQ(reg.DeleteValue(k, "a-long-value-name"), status::kSuccess);
    ASSERT_EQ(reg.DeleteKey(k, "longest-name"), status::kSuccess);
    ASSERT_EQ(reg.QueryInfoKey(k, &info), status::kSuccess);
    EXPECT_EQ(std::vector<uint32_t>({info.maxSubKeyLen, info.maxValueNameLen, info.maxValueLen}),
              std::vector<uint32_t>({1, 1, 12}));
}

TEST_F(MemoryRegistryTest, EnumerationFollowsChanges) {
    HKey k = Make("e");
    for (const char* n : {"e\\a", "e\\b", "e\\c", "e\\d"}) Make(n);
    auto at = [&](uint32_t index) {
        char name[8] = "";
        uint32_t size = sizeof name;
        reg.EnumKey(k, index, name, &size);
        return std::string(name);
    };
    EXPECT_EQ(at(2), "c");
    Make("e\\bb");
    EXPECT_EQ(at(3), "c");
    ASSERT_EQ(reg.DeleteKey(k, "a"), status::kSuccess);
    EXPECT_EQ(at(3), "d");
}

TEST_F(MemoryRegistryTest, HundredThousandSubkeysAndValues) {
    HKey k = Make("big");
    constexpr uint32_t kCount = 100000;
    for (uint32_t i = 0; i < kCount; ++i) {
        const std::string name = Numbered("k", i * 7919 % kCount);
        HKey sub = hkey::kNull;
        ASSERT_EQ(reg.CreateKey(k, name.c_str(), access::kRead, &sub, nullptr), status::kSuccess);
        reg.CloseKey(sub);
        ASSERT_EQ(reg.SetValue(k, name.c_str(), regtype::kDword, Bytes("abcd"), 4),
                  status::kSuccess);
    }
    // Keys forwards by index, values backwards, each value by name.
    std::string previous;
    char name[16];
    uint32_t size = sizeof name;
    for (uint32_t i = 0; i < kCount; ++i, size = sizeof name) {
        ASSERT_EQ(reg.EnumKey(k, i, name, &size), status::kSuccess);
        ASSERT_LT(previous, std::string(name));
        previous = name;
    }
    for (uint32_t i = kCount; i-- > 0; size = sizeof name) {
        ASSERT_EQ(reg.EnumValue(k, i, name, &size, nullptr, nullptr, nullptr), status::kSuccess);
        ASSERT_EQ(std::string(name), Numbered("k", i * 7919 % kCount));
        ASSERT_EQ(reg.QueryValue(k, name, nullptr, nullptr, &size), status::kSuccess);
    }
    EXPECT_EQ(reg.DeleteTree(k, nullptr), status::kSuccess);
    EXPECT_TRUE(Subkeys(k).empty() && ValueNames(k).empty());
}

TEST_F(MemoryRegistryTest, HundredThousandLevelsDeep) {
    // One chain is deleted, the other freed with the registry; neither may
    // recurse.
    MakeChain("deleted", 100000);
    MakeChain("freed", 100000);
    EXPECT_EQ(reg.DeleteTree(hkey::kCurrentUser, "deleted"), status::kSuccess);
    EXPECT_EQ(Subkeys(hkey::kCurrentUser), Strings{"freed"});
    EXPECT_EQ(reg.OpenHandleCount(), 0u);
}

#if !defined(_WIN32)
TEST_F(MemoryRegistryTest, ExportOfADeepChainNeedsLittleStack) {
    // A frame per level would overflow this thread's 128 KiB stack.
    constexpr int kDepth = 3000;
    MakeChain("chain", kDepth);
    struct Job {
        MemoryRegistry* reg;
        regtext::Document doc;
    } job{&reg, {}};
    pthread_attr_t attr;
    pthread_attr_init(&attr);
    pthread_attr_setstacksize(&attr, 128 * 1024);
    pthread_t thread;
    auto body = [](void* p) -> void* {
        auto* j = static_cast<Job*>(p);
        j->doc = j->reg->Export(hkey::kCurrentUser, "chain");
        return nullptr;
    };
    ASSERT_EQ(pthread_create(&thread, &attr, body, &job), 0);
    pthread_join(thread, nullptr);
    pthread_attr_destroy(&attr);
    ASSERT_EQ(job.doc.entries.size(), static_cast<size_t>(kDepth + 2));
    EXPECT_EQ(job.doc.entries.front().keyPath, "chain");
    EXPECT_EQ(job.doc.entries.back().keyPath.size(), 5 + 2u * kDepth);
}
#endif

regtext::Entry Entry(regtext::Entry::Kind kind, HKey root, const char* path, const char* name = "",
                     std::vector<uint8_t> data = {}) {
    regtext::Entry e;
    e.kind = kind;
    e.root = root;
    e.keyPath = path;
    e.name = name;
    e.type = regtype::kBinary;
    e.data = std::move(data);
    return e;
}

TEST_F(MemoryRegistryTest, ApplyAndExportInEnumerationOrder) {
    using K = regtext::Entry::Kind;
    const HKey cu = hkey::kCurrentUser;
    regtext::Document doc;
    doc.entries = {Entry(K::kKey, cu, "Soft\\B"),
                   Entry(K::kValue, cu, "Soft\\B", "z", {'1'}),
                   Entry(K::kValue, cu, "Soft\\B", "", {'2'}),
                   Entry(K::kKey, cu, "soft\\a\\deeper"),
                   Entry(K::kKey, hkey::kClassesRoot, "CLSID"),
                   Entry(K::kValue, cu, "Soft\\gone", "x", {'3'}),
                   Entry(K::kValue, cu, "Soft\\B", "drop", {'4'}),
                   Entry(K::kDeleteValue, cu, "Soft\\B", "DROP"),
                   Entry(K::kDeleteKey, cu, "SOFT\\GONE")};
    reg.Apply(doc);
    EXPECT_EQ(Dump(reg.Export(cu, "soft")),
              (Strings{"[Soft]", "[Soft\\a]", "[Soft\\a\\deeper]", "[Soft\\B]", "Soft\\B:z=3:1",
                       "Soft\\B:=3:2"}));
    EXPECT_TRUE(reg.Export(cu, "absent").entries.empty());
    EXPECT_EQ(Dump(reg.Export(hkey::kLocalMachine, "SOFTWARE\\Classes")),
              (Strings{"[SOFTWARE\\Classes]", "[SOFTWARE\\Classes\\CLSID]"}));

    // Deleting the machine's SOFTWARE key on import keeps the classes key.
    reg.Apply(
        {regtext::Format::kVersion5, {Entry(K::kDeleteKey, hkey::kLocalMachine, "SOFTWARE")}});
    EXPECT_EQ(Dump(reg.Export(hkey::kLocalMachine)),
              (Strings{"[]", "[SOFTWARE]", "[SOFTWARE\\Classes]"}));
}

class FileTest : public MemoryRegistryTest {
  protected:
    std::string TempPath(const char* name) {
        files_.push_back(
            (std::filesystem::path(::testing::TempDir()) / (std::string("memreg_") + name))
                .string());
        return files_.back();
    }
    void TearDown() override {
        MemoryRegistryTest::TearDown();
        for (const std::string& f : files_) std::remove(f.c_str());
    }

  private:
    Strings files_;
};

TEST_F(FileTest, SaveAndLoadRoundTrip) {
    HKey k = Make("Soft\\App");
    SetText(k, "Path", "C:\\caf\xE9\\app.exe");
    ASSERT_EQ(reg.SetValue(k, "n", regtype::kDword, Bytes("\x2a\0\0\0"), 4), status::kSuccess);
    HKey c = hkey::kNull;
    ASSERT_EQ(reg.CreateKey(hkey::kClassesRoot, "x.y", access::kAllAccess, &c, nullptr),
              status::kSuccess);
    SetText(Keep(c), "", "shown");

    for (auto format : {regtext::Format::kRegedit4, regtext::Format::kVersion5}) {
        const std::string path = TempPath(format == regtext::Format::kRegedit4 ? "4.reg" : "5.reg");
        std::string error;
        ASSERT_TRUE(reg.SaveFile(
            path, format, {hkey::kCurrentUser, hkey::kClassesRoot, hkey::kLocalMachine}, &error))
            << error;
        MemoryRegistry loaded;
        ASSERT_TRUE(loaded.LoadFile(path, &error)) << error;
        for (HKey root : {hkey::kCurrentUser, hkey::kLocalMachine, hkey::kClassesRoot})
            EXPECT_EQ(Dump(reg.Export(root)), Dump(loaded.Export(root))) << root;
    }
}

// A registry editor file in UTF-16 with a byte-order mark, from UTF-8 text.
std::string Utf16File(const std::string& utf8) {
    std::u16string units;
    EXPECT_TRUE(regtext::Utf8ToUtf16(utf8, units));
    std::string bytes = "\xFF\xFE";
    for (char16_t unit : units) {
        bytes.push_back(static_cast<char>(unit & 0xFF));
        bytes.push_back(static_cast<char>(unit >> 8));
    }
    return bytes;
}

TEST_F(FileTest, NamesWithoutACodePageFormAreKeptAndNeverTouched) {
    // "Łódź" has no Windows-1252 form ("?ód?"); "?ód?" is a name of its own
    // that reads the same.
    const std::string path = TempPath("wide.reg");
    std::ofstream(path, std::ios::binary) << Utf16File(R"(Windows Registry Editor Version 5.00

[HKEY_CURRENT_USER\T]
"Plain"="C:\\ok.exe"
"Łódź"="name"
"?ód?"="twin"
"App"="C:\\Łódź\\app.exe"

[HKEY_CURRENT_USER\T\Łódź]
"v"="1"

[HKEY_CURRENT_USER\T\?ód?]

[HKEY_CURRENT_USER\T\Keep]
"w"="2"

[HKEY_CURRENT_USER\Held]
"App"="C:\\Łódź"
)");
    std::string error;
    ASSERT_TRUE(reg.LoadFile(path, &error)) << error;
    const std::string before =
        regtext::Write(reg.Export(hkey::kCurrentUser), regtext::Format::kVersion5);

    HKey t = hkey::kNull;
    ASSERT_EQ(reg.OpenKey(hkey::kCurrentUser, "T", access::kAllAccess, &t), status::kSuccess);
    Keep(t);
    // Enumeration keeps their places but names neither of a pair.
    std::vector<Status> values, keys;
    for (uint32_t i = 0; i < 4; ++i) {
        char name[64];
        uint32_t size = sizeof name;
        values.push_back(reg.EnumValue(t, i, name, &size, nullptr, nullptr, nullptr));
    }
    for (uint32_t i = 0; i < 3; ++i) {
        char name[64];
        uint32_t size = sizeof name;
        keys.push_back(reg.EnumKey(t, i, name, &size));
    }
    const Status kNo = status::kNoUnicodeTranslation;
    EXPECT_EQ(values, (std::vector<Status>{status::kSuccess, kNo, kNo, kNo}));
    EXPECT_EQ(keys, (std::vector<Status>{kNo, kNo, status::kSuccess}));
    uint8_t data[64];
    uint32_t size = sizeof data;
    EXPECT_EQ(reg.QueryValue(t, "App", nullptr, data, &size), kNo);
    size = sizeof data;
    EXPECT_EQ(reg.QueryValue(t,
                             "?\xF3"
                             "d?",
                             nullptr, data, &size),
              status::kSuccess);

    // Nothing of them is deleted, nor a tree or key that holds them.
    EXPECT_EQ(reg.DeleteValue(t,
                              "?\xF3"
                              "d?"),
              kNo);
    EXPECT_EQ(reg.DeleteValue(t, "App"), kNo);
    EXPECT_EQ(reg.DeleteKey(hkey::kCurrentUser, "Held"), kNo);
    EXPECT_EQ(reg.DeleteTree(hkey::kCurrentUser, "T"), kNo);
    EXPECT_EQ(regtext::Write(reg.Export(hkey::kCurrentUser), regtext::Format::kVersion5), before);
    EXPECT_EQ(reg.DeleteTree(t, "Keep"), status::kSuccess);

    // Saved again, they come back as the file had them.
    const std::string saved = TempPath("saved.reg");
    ASSERT_TRUE(reg.SaveFile(saved, regtext::Format::kVersion5, {hkey::kCurrentUser}, &error));
    MemoryRegistry loaded;
    ASSERT_TRUE(loaded.LoadFile(saved, &error)) << error;
    EXPECT_EQ(regtext::Write(loaded.Export(hkey::kCurrentUser), regtext::Format::kVersion5),
              regtext::Write(reg.Export(hkey::kCurrentUser), regtext::Format::kVersion5));
    std::ifstream in(saved, std::ios::binary);
    const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_NE(bytes.find(std::string("\x41\x01\xF3\0d\0\x7A\x01", 8)), std::string::npos);
}

TEST_F(MemoryRegistryTest, TwoViewsOf64BitWindows) {
    constexpr const char* kRun = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run";
    constexpr const char* kRun32 = "SOFTWARE\\Wow6432Node\\Microsoft\\Windows\\CurrentVersion\\Run";
    constexpr const char* kAppPaths = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Paths";
    for (const char* path : {kRun, kRun32, kAppPaths, "SOFTWARE\\Classes\\CLSID",
                             "SOFTWARE\\Classes\\Wow6432Node\\CLSID", "SOFTWARE\\Classes\\AppID"}) {
        HKey key = hkey::kNull;
        ASSERT_EQ(reg.CreateKey(hkey::kLocalMachine, path, access::kAllAccess, &key, nullptr),
                  status::kSuccess);
        SetText(Keep(key), "where", path);
    }
    std::string path;
    EXPECT_EQ(reg.Wow64Path(hkey::kLocalMachine, kRun, &path), status::kFileNotFound);
    reg.SetTwoViews(true);

    ASSERT_EQ(reg.Wow64Path(hkey::kLocalMachine, kRun, &path), status::kSuccess);
    EXPECT_EQ(path, kRun32);
    EXPECT_EQ(KeyViews(reg, hkey::kLocalMachine, kRun), (Strings{kRun, kRun32}));
    ASSERT_EQ(reg.Wow64Path(hkey::kClassesRoot, "CLSID", &path), status::kSuccess);
    EXPECT_EQ(path, "Wow6432Node\\CLSID");
    // Shared keys, and a 32-bit key that is not there, have no place of their own.
    for (const auto& [root, shared] :
         {std::pair{hkey::kLocalMachine, kAppPaths}, std::pair{hkey::kClassesRoot, "AppID"},
          std::pair{hkey::kLocalMachine, "SYSTEM"},
          std::pair{hkey::kLocalMachine,
                    "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall"}})
        EXPECT_EQ(reg.Wow64Path(root, shared, &path), status::kFileNotFound) << shared;

    // Only the 32-bit view's access is redirected, opens and creates alike.
    char where[128];
    const auto whereOf = [&](HKey root, const char* sub, uint32_t view) {
        HKey key = hkey::kNull;
        uint32_t size = sizeof where;
        if (reg.OpenKey(root, sub, access::kRead | view, &key) != status::kSuccess)
            return std::string("-");
        const Status read =
            reg.QueryValue(key, "where", nullptr, reinterpret_cast<uint8_t*>(where), &size);
        reg.CloseKey(key);
        return read == status::kSuccess ? std::string(where) : std::string("?");
    };
    EXPECT_EQ(whereOf(hkey::kLocalMachine, kRun, 0), kRun);
    EXPECT_EQ(whereOf(hkey::kLocalMachine, kRun, access::kWow64_32Key), kRun32);
    EXPECT_EQ(whereOf(hkey::kLocalMachine, kAppPaths, access::kWow64_32Key), kAppPaths);
    EXPECT_EQ(whereOf(hkey::kClassesRoot, "CLSID", access::kWow64_32Key),
              "SOFTWARE\\Classes\\Wow6432Node\\CLSID");
    HKey made = hkey::kNull;
    ASSERT_EQ(reg.CreateKey(hkey::kLocalMachine, "SOFTWARE\\Vendor",
                            access::kAllAccess | access::kWow64_32Key, &made, nullptr),
              status::kSuccess);
    Keep(made);
    HKey vendor = hkey::kNull;
    EXPECT_EQ(
        reg.OpenKey(hkey::kLocalMachine, "SOFTWARE\\Wow6432Node\\Vendor", access::kRead, &vendor),
        status::kSuccess);
    Keep(vendor);
}

TEST_F(FileTest, LoadRefusesTheWholeFileOnAnError) {
    const std::string path = TempPath("bad.reg");
    std::ofstream(path, std::ios::binary) << "REGEDIT4\r\n\r\n[HKEY_CURRENT_USER\\Applied]\r\n"
                                             "\"v\"=\"1\"\r\n\r\n[HKEY_NOWHERE\\x]\r\n";
    std::string error;
    EXPECT_FALSE(reg.LoadFile(path, &error));
    EXPECT_EQ(error.rfind(path + ": line 6: ", 0), 0u) << error;
    EXPECT_EQ(Open("Applied"), status::kFileNotFound);
    EXPECT_FALSE(reg.LoadFile(TempPath("missing.reg"), &error));
    EXPECT_EQ(error.rfind(TempPath("missing.reg") + ": ", 0), 0u) << error;
    // A folder opens but cannot be read: said as such, not as lack of memory.
    const std::string folder = ::testing::TempDir();
    EXPECT_FALSE(reg.LoadFile(folder, &error));
    EXPECT_EQ(error, folder + ": cannot read the file");
}

}  // namespace
}  // namespace qm
