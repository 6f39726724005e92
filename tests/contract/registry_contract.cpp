#include "tests/contract/registry_contract.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <string>
#include <vector>

namespace qm::test {

std::string ContractScratchName() {
    // Unique per run so that tests of two builds sharing a registry cannot
    // meet.
    auto ticks = std::chrono::steady_clock::now().time_since_epoch().count();
    return "Software\\QuillmendContract\\Run" + std::to_string(ticks);
}

void RegistryContract::SetUp() {
    backend_ = GetParam()();
    scratchPath_ = ContractScratchName();
    scratch_ = RegKey(reg());
    ASSERT_EQ(scratch_.Create(hkey::kCurrentUser, scratchPath_.c_str(), access::kAllAccess),
              status::kSuccess);
}

void RegistryContract::TearDown() {
    scratch_.Close();
    if (backend_) reg().DeleteTree(hkey::kCurrentUser, "Software\\QuillmendContract");
}

void RegistryContract::MakeKey(const std::string& path) {
    RegKey key(reg());
    ASSERT_EQ(key.Create(scratch(), path.c_str(), access::kAllAccess), status::kSuccess) << path;
}

void RegistryContract::SetString(HKey key, const char* name, const std::string& text,
                                 bool withZero) {
    ASSERT_EQ(
        reg().SetValue(key, name, regtype::kSz, reinterpret_cast<const uint8_t*>(text.c_str()),
                       static_cast<uint32_t>(text.size() + (withZero ? 1 : 0))),
        status::kSuccess);
}

namespace {

std::vector<std::string> SubkeyNames(RegistryService& reg, HKey key) {
    std::vector<std::string> names;
    char name[300];
    for (uint32_t i = 0;; ++i) {
        uint32_t size = sizeof name;
        if (reg.EnumKey(key, i, name, &size) != status::kSuccess) break;
        names.emplace_back(name, size);
    }
    return names;
}

std::vector<std::string> ValueNames(RegistryService& reg, HKey key) {
    std::vector<std::string> names;
    char name[300];
    for (uint32_t i = 0;; ++i) {
        uint32_t size = sizeof name;
        if (reg.EnumValue(key, i, name, &size, nullptr, nullptr, nullptr) != status::kSuccess)
            break;
        names.emplace_back(name, size);
    }
    return names;
}

const uint8_t* Bytes(const char* text) {
    return reinterpret_cast<const uint8_t*>(text);
}

}  // namespace

TEST_P(RegistryContract, EnumerationEndsWithNoMoreItems) {
    char name[64];
    uint32_t size = sizeof name;
    EXPECT_EQ(reg().EnumKey(scratch(), 0, name, &size), status::kNoMoreItems);
    size = sizeof name;
    EXPECT_EQ(reg().EnumValue(scratch(), 0, name, &size, nullptr, nullptr, nullptr),
              status::kNoMoreItems);

    MakeKey("one");
    SetString(scratch(), "v", "x");
    size = sizeof name;
    EXPECT_EQ(reg().EnumKey(scratch(), 0, name, &size), status::kSuccess);
    size = sizeof name;
    EXPECT_EQ(reg().EnumKey(scratch(), 1, name, &size), status::kNoMoreItems);
    size = sizeof name;
    EXPECT_EQ(reg().EnumKey(scratch(), 7, name, &size), status::kNoMoreItems);
    size = sizeof name;
    EXPECT_EQ(reg().EnumValue(scratch(), 1, name, &size, nullptr, nullptr, nullptr),
              status::kNoMoreItems);
}

TEST_P(RegistryContract, SubkeysEnumerateInCaseInsensitiveOrderKeepingTheirCase) {
    for (const char* n : {"beta", "Alpha", "_under", "GAMMA", "alpha2", "Zulu", "a b"}) MakeKey(n);
    // Wine compares lower-cased names, so '_' (0x5F) sorts before letters.
    EXPECT_EQ(
        SubkeyNames(reg(), scratch()),
        (std::vector<std::string>{"_under", "a b", "Alpha", "alpha2", "beta", "GAMMA", "Zulu"}));

    // Lookups ignore case; creating an existing key in another case does not
    // rename it.
    RegKey key(reg());
    bool created = true;
    ASSERT_EQ(key.Create(scratch(), "ALPHA", access::kAllAccess, &created), status::kSuccess);
    EXPECT_FALSE(created);
    EXPECT_EQ(key.Open(scratch(), "gamma", access::kRead), status::kSuccess);
    EXPECT_EQ(SubkeyNames(reg(), scratch())[2], "Alpha");
}

TEST_P(RegistryContract, ValuesAreFoundWithoutRegardToCase) {
    SetString(scratch(), "Path", "one");
    SetString(scratch(), "PATH", "two");
    EXPECT_EQ(ValueNames(reg(), scratch()), std::vector<std::string>{"Path"});
    char data[16] = {};
    uint32_t size = sizeof data;
    ASSERT_EQ(reg().QueryValue(scratch(), "path", nullptr, reinterpret_cast<uint8_t*>(data), &size),
              status::kSuccess);
    EXPECT_STREQ(data, "two");
}

TEST_P(RegistryContract, SubkeyNameLengthLimits) {
    // The longest key name the registry takes is 256 characters under Wine
    // (255 on Windows); a 299-byte buffer (the scanners' enumeration buffer)
    // holds it.
    const std::string longest(256, 'k');
    MakeKey(longest);
    char name[299];
    uint32_t size = sizeof name;
    ASSERT_EQ(reg().EnumKey(scratch(), 0, name, &size), status::kSuccess);
    EXPECT_EQ(size, 256u);
    EXPECT_EQ(std::string(name, size), longest);

    // A buffer without room for the terminating zero is too small, and the
    // size is then left as it was.
    size = 256;
    EXPECT_EQ(reg().EnumKey(scratch(), 0, name, &size), status::kMoreData);
    EXPECT_EQ(size, 256u);
    size = 257;
    EXPECT_EQ(reg().EnumKey(scratch(), 0, name, &size), status::kSuccess);

    // Longer names are refused, so no enumerated name ever overruns 299.
    RegKey key(reg());
    EXPECT_NE(key.Create(scratch(), std::string(299, 'k').c_str(), access::kAllAccess),
              status::kSuccess);
    EXPECT_EQ(key.Create(scratch(), std::string(257, 'k').c_str(), access::kAllAccess),
              status::kInvalidParameter);
    EXPECT_EQ(SubkeyNames(reg(), scratch()).size(), 1u);
}

TEST_P(RegistryContract, DataOfExactly1024BytesFitsA1024ByteBuffer) {
    std::string text(1023, 'd');  // with its zero: 1024 bytes
    SetString(scratch(), "text", text);
    std::vector<uint8_t> bytes(1024);
    for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<uint8_t>(i * 7 + 1);
    ASSERT_EQ(reg().SetValue(scratch(), "bin", regtype::kBinary, bytes.data(), 1024),
              status::kSuccess);

    std::vector<uint8_t> buffer(1024);
    uint32_t size = 1024, type = 0;
    ASSERT_EQ(reg().QueryValue(scratch(), "text", &type, buffer.data(), &size), status::kSuccess);
    EXPECT_EQ(type, regtype::kSz);
    EXPECT_EQ(size, 1024u);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(buffer.data())), text);

    size = 1024;
    ASSERT_EQ(reg().QueryValue(scratch(), "bin", &type, buffer.data(), &size), status::kSuccess);
    EXPECT_EQ(type, regtype::kBinary);
    EXPECT_EQ(buffer, bytes);

    // One byte short: kMoreData, and the size needed.
    for (const char* name : {"text", "bin"}) {
        size = 1023;
        EXPECT_EQ(reg().QueryValue(scratch(), name, &type, buffer.data(), &size), status::kMoreData)
            << name;
        EXPECT_EQ(size, 1024u) << name;
    }

    // Through enumeration, the same sizes.
    char name[16];
    uint32_t nameSize = sizeof name;
    size = 1023;
    EXPECT_EQ(reg().EnumValue(scratch(), 1, name, &nameSize, &type, buffer.data(), &size),
              status::kMoreData);
    EXPECT_EQ(size, 1024u);
    nameSize = sizeof name;
    size = 1024;
    ASSERT_EQ(reg().EnumValue(scratch(), 1, name, &nameSize, &type, buffer.data(), &size),
              status::kSuccess);
    EXPECT_EQ(size, 1024u);
}

TEST_P(RegistryContract, SizesWithoutADataBuffer) {
    SetString(scratch(), "s", "hello");
    uint32_t size = 0, type = 0;
    ASSERT_EQ(reg().QueryValue(scratch(), "s", &type, nullptr, &size), status::kSuccess);
    EXPECT_EQ(size, 6u);
    EXPECT_EQ(type, regtype::kSz);

    uint32_t dword = 0x01020304;
    ASSERT_EQ(reg().SetValue(scratch(), "d", regtype::kDword,
                             reinterpret_cast<const uint8_t*>(&dword), 4),
              status::kSuccess);
    // Enumeration order of values differs between systems (insertion order
    // on Windows, name order under Wine), so look for the value by name.
    bool seen = false;
    for (uint32_t i = 0; i < 2; ++i) {
        char name[8];
        uint32_t nameSize = sizeof name;
        size = 0;
        ASSERT_EQ(reg().EnumValue(scratch(), i, name, &nameSize, &type, nullptr, &size),
                  status::kSuccess);
        if (std::string(name, nameSize) != "d") continue;
        seen = true;
        EXPECT_EQ(type, regtype::kDword);
        EXPECT_EQ(size, 4u);
    }
    EXPECT_TRUE(seen);
}

TEST_P(RegistryContract, ValueNameBufferTooSmall) {
    SetString(scratch(), "abcdef", "x");
    char name[8];
    uint32_t nameSize = 6;  // no room for the zero
    EXPECT_EQ(reg().EnumValue(scratch(), 0, name, &nameSize, nullptr, nullptr, nullptr),
              status::kMoreData);
    nameSize = 7;
    EXPECT_EQ(reg().EnumValue(scratch(), 0, name, &nameSize, nullptr, nullptr, nullptr),
              status::kSuccess);
    EXPECT_EQ(nameSize, 6u);
    EXPECT_STREQ(name, "abcdef");
}

TEST_P(RegistryContract, DefaultValueHasTheEmptyName) {
    char data[32];
    uint32_t size = sizeof data;
    // A new key has no default value.
    EXPECT_EQ(reg().QueryValue(scratch(), "", nullptr, reinterpret_cast<uint8_t*>(data), &size),
              status::kFileNotFound);

    SetString(scratch(), "", "default text");
    SetString(scratch(), "named", "other");
    for (const char* name : {static_cast<const char*>(nullptr), ""}) {
        size = sizeof data;
        ASSERT_EQ(
            reg().QueryValue(scratch(), name, nullptr, reinterpret_cast<uint8_t*>(data), &size),
            status::kSuccess);
        EXPECT_STREQ(data, "default text");
    }
    // It enumerates with a zero-length name.
    std::vector<std::string> names = ValueNames(reg(), scratch());
    EXPECT_EQ(std::count(names.begin(), names.end(), ""), 1);
    EXPECT_EQ(names.size(), 2u);

    EXPECT_EQ(reg().DeleteValue(scratch(), ""), status::kSuccess);
    EXPECT_EQ(reg().DeleteValue(scratch(), ""), status::kFileNotFound);
    EXPECT_EQ(ValueNames(reg(), scratch()), std::vector<std::string>{"named"});
}

TEST_P(RegistryContract, TextStoredWithoutTerminatorGetsOne) {
    // The system terminates text values that were written without a zero;
    // empty text stays empty, and other types stay as written.
    SetString(scratch(), "n", "12", /*withZero=*/false);
    uint8_t data[8];
    std::memset(data, 'x', sizeof data);
    uint32_t size = sizeof data;
    ASSERT_EQ(reg().QueryValue(scratch(), "n", nullptr, data, &size), status::kSuccess);
    EXPECT_EQ(size, 3u);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(data), 3), std::string("12\0", 3));
    size = 2;
    EXPECT_EQ(reg().QueryValue(scratch(), "n", nullptr, data, &size), status::kMoreData);
    EXPECT_EQ(size, 3u);

    ASSERT_EQ(reg().SetValue(scratch(), "mid", regtype::kExpandSz, Bytes("a\0b"), 3),
              status::kSuccess);
    size = sizeof data;
    ASSERT_EQ(reg().QueryValue(scratch(), "mid", nullptr, data, &size), status::kSuccess);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(data), size), std::string("a\0b\0", 4));

    ASSERT_EQ(reg().SetValue(scratch(), "empty", regtype::kSz, Bytes(""), 0), status::kSuccess);
    size = sizeof data;
    ASSERT_EQ(reg().QueryValue(scratch(), "empty", nullptr, data, &size), status::kSuccess);
    EXPECT_EQ(size, 0u);

    ASSERT_EQ(reg().SetValue(scratch(), "bin", regtype::kBinary, Bytes("12"), 2), status::kSuccess);
    size = sizeof data;
    ASSERT_EQ(reg().QueryValue(scratch(), "bin", nullptr, data, &size), status::kSuccess);
    EXPECT_EQ(size, 2u);
}

TEST_P(RegistryContract, CodePageTextRoundTrips) {
    const std::string text = "caf\xE9 \xA9 \x80uro";  // Windows-1252
    SetString(scratch(), "t\xE9", text);
    char data[32];
    uint32_t size = sizeof data;
    ASSERT_EQ(
        reg().QueryValue(scratch(), "T\xE9", nullptr, reinterpret_cast<uint8_t*>(data), &size),
        status::kSuccess);
    EXPECT_EQ(size, text.size() + 1);
    EXPECT_EQ(std::string(data), text);
    EXPECT_EQ(ValueNames(reg(), scratch()), std::vector<std::string>{"t\xE9"});
}

TEST_P(RegistryContract, MissingKeysAndValues) {
    RegKey key(reg());
    EXPECT_EQ(key.Open(scratch(), "absent", access::kRead), status::kFileNotFound);
    EXPECT_EQ(key.Open(scratch(), "absent\\deeper", access::kRead), status::kFileNotFound);
    EXPECT_FALSE(key.IsOpen());
    uint32_t size = 0;
    EXPECT_EQ(reg().QueryValue(scratch(), "absent", nullptr, nullptr, &size),
              status::kFileNotFound);
    EXPECT_EQ(reg().DeleteValue(scratch(), "absent"), status::kFileNotFound);
    EXPECT_EQ(reg().DeleteKey(scratch(), "absent"), status::kFileNotFound);
}

TEST_P(RegistryContract, CreateMakesEveryMissingParent) {
    RegKey key(reg());
    bool created = false;
    ASSERT_EQ(key.Create(scratch(), "a\\b\\c", access::kAllAccess, &created), status::kSuccess);
    EXPECT_TRUE(created);
    EXPECT_EQ(key.Create(scratch(), "a\\b\\c", access::kAllAccess, &created), status::kSuccess);
    EXPECT_FALSE(created);
    EXPECT_EQ(key.Open(scratch(), "A\\B", access::kRead), status::kSuccess);
    EXPECT_EQ(SubkeyNames(reg(), key.get()), std::vector<std::string>{"c"});
    // Open with an empty subkey gives a new handle to the same key.
    RegKey again(reg());
    ASSERT_EQ(again.Open(key.get(), "", access::kRead), status::kSuccess);
    EXPECT_EQ(SubkeyNames(reg(), again.get()), std::vector<std::string>{"c"});
    again.Close();
    EXPECT_EQ(SubkeyNames(reg(), key.get()), std::vector<std::string>{"c"});
}

TEST_P(RegistryContract, ReadOnlyHandlesAreRefusedWrites) {
    MakeKey("ro");
    RegKey key(reg());
    ASSERT_EQ(key.Open(scratch(), "ro", access::kRead), status::kSuccess);
    EXPECT_EQ(reg().SetValue(key.get(), "v", regtype::kSz, Bytes("x"), 2), status::kAccessDenied);
    SetString(scratch(), "v", "x");
    RegKey top(reg());
    ASSERT_EQ(top.Open(scratch(), "", access::kRead), status::kSuccess);
    EXPECT_EQ(reg().DeleteValue(top.get(), "v"), status::kAccessDenied);

    // A handle opened for writing only cannot read.
    RegKey writer(reg());
    ASSERT_EQ(writer.Open(scratch(), "", access::kSetValue), status::kSuccess);
    uint32_t size = 0;
    EXPECT_EQ(reg().QueryValue(writer.get(), "v", nullptr, nullptr, &size), status::kAccessDenied);
    char name[8];
    size = sizeof name;
    EXPECT_EQ(reg().EnumKey(writer.get(), 0, name, &size), status::kAccessDenied);
    EXPECT_EQ(reg().SetValue(writer.get(), "w", regtype::kSz, Bytes("y"), 2), status::kSuccess);
}

TEST_P(RegistryContract, DeletingAKeyWithSubkeysIsRefused) {
    MakeKey("parent\\child");
    EXPECT_EQ(reg().DeleteKey(scratch(), "parent"), status::kAccessDenied);
    EXPECT_EQ(reg().DeleteKey(scratch(), "parent\\child"), status::kSuccess);
    EXPECT_EQ(reg().DeleteKey(scratch(), "parent"), status::kSuccess);
    EXPECT_TRUE(SubkeyNames(reg(), scratch()).empty());
}

TEST_P(RegistryContract, DeleteTreeRemovesEverythingBelow) {
    MakeKey("t\\a\\b\\c");
    MakeKey("t\\x");
    RegKey key(reg());
    ASSERT_EQ(key.Open(scratch(), "t\\a", access::kAllAccess), status::kSuccess);
    SetString(key.get(), "v", "1");
    key.Close();
    MakeKey("keep");
    EXPECT_EQ(reg().DeleteTree(scratch(), "t"), status::kSuccess);
    EXPECT_EQ(SubkeyNames(reg(), scratch()), std::vector<std::string>{"keep"});
    EXPECT_NE(reg().DeleteTree(scratch(), "t"), status::kSuccess);
}

TEST_P(RegistryContract, HandleToADeletedKey) {
    MakeKey("gone");
    RegKey key(reg());
    ASSERT_EQ(key.Open(scratch(), "gone", access::kAllAccess), status::kSuccess);
    ASSERT_EQ(reg().DeleteKey(scratch(), "gone"), status::kSuccess);
    char name[8];
    uint32_t size = sizeof name;
    EXPECT_EQ(reg().EnumKey(key.get(), 0, name, &size), status::kKeyDeleted);
    EXPECT_EQ(reg().SetValue(key.get(), "v", regtype::kSz, Bytes("x"), 2), status::kKeyDeleted);
    // Closing it still works.
    EXPECT_EQ(reg().CloseKey(key.get()), status::kSuccess);
    key = RegKey(reg());
}

TEST_P(RegistryContract, DeletingWhileEnumeratingByIndex) {
    // The deletion helpers enumerate and delete in one loop; after deleting
    // entry 0 the next one moves down to index 0.
    for (const char* n : {"a", "b", "c"}) MakeKey(n);
    char name[8];
    uint32_t size = sizeof name;
    ASSERT_EQ(reg().EnumKey(scratch(), 0, name, &size), status::kSuccess);
    ASSERT_EQ(reg().DeleteKey(scratch(), name), status::kSuccess);
    size = sizeof name;
    ASSERT_EQ(reg().EnumKey(scratch(), 0, name, &size), status::kSuccess);
    EXPECT_STREQ(name, "b");
}

TEST_P(RegistryContract, QueryInfoReportsCountsAndLongestLengths) {
    MakeKey("short");
    MakeKey("much longer name");
    SetString(scratch(), "v", "12345678");
    SetString(scratch(), "longer value name", "1");
    KeyInfo info;
    ASSERT_EQ(reg().QueryInfoKey(scratch(), &info), status::kSuccess);
    EXPECT_EQ(info.subKeys, 2u);
    EXPECT_EQ(info.maxSubKeyLen, 16u);
    EXPECT_EQ(info.values, 2u);
    EXPECT_EQ(info.maxValueNameLen, 17u);
    // Text lengths are reported as the system stores them, in UTF-16.
    EXPECT_EQ(info.maxValueLen, 18u);
}

TEST_P(RegistryContract, ClassesRootShowsMachineClasses) {
    const std::string name =
        "QuillmendContract.Test" + scratchPath().substr(scratchPath().size() - 6);
    const std::string machinePath = "SOFTWARE\\Classes\\" + name;
    RegKey key(reg());
    ASSERT_EQ(key.Create(hkey::kLocalMachine, machinePath.c_str(), access::kAllAccess),
              status::kSuccess);
    SetString(key.get(), "", "through machine");
    key.Close();

    ASSERT_EQ(key.Open(hkey::kClassesRoot, name.c_str(), access::kRead), status::kSuccess);
    char data[32];
    uint32_t size = sizeof data;
    EXPECT_EQ(reg().QueryValue(key.get(), "", nullptr, reinterpret_cast<uint8_t*>(data), &size),
              status::kSuccess);
    EXPECT_STREQ(data, "through machine");
    std::string classes, machine;
    EXPECT_EQ(reg().KeyIdentity(key.get(), &classes), status::kSuccess);
    key.Close();
    ASSERT_EQ(key.Open(hkey::kLocalMachine, machinePath.c_str(), access::kRead), status::kSuccess);
    EXPECT_EQ(reg().KeyIdentity(key.get(), &machine), status::kSuccess);
    EXPECT_EQ(classes, machine);
    key.Close();

    EXPECT_EQ(reg().DeleteTree(hkey::kClassesRoot, name.c_str()), status::kSuccess);
    EXPECT_EQ(key.Open(hkey::kLocalMachine, machinePath.c_str(), access::kRead),
              status::kFileNotFound);
}

TEST_P(RegistryContract, KeyIdentityIsTheKeyWhicheverPathReachesIt) {
    MakeKey("A\\B");
    MakeKey("C");
    const auto identity = [&](HKey parent, const std::string& path) {
        RegKey key(reg());
        std::string text;
        if (key.Open(parent, path.c_str(), access::kQueryValue) == status::kSuccess) {
            EXPECT_EQ(reg().KeyIdentity(key.get(), &text), status::kSuccess) << path;
        }
        return text;
    };
    const std::string a = identity(hkey::kCurrentUser, scratchPath() + "\\A");
    ASSERT_FALSE(a.empty());
    EXPECT_EQ(identity(scratch(), "a"), a);
    EXPECT_NE(identity(scratch(), "A\\B"), a);
    EXPECT_NE(identity(scratch(), "C"), a);
    EXPECT_NE(identity(scratch(), ""), a);
    std::string user;
    EXPECT_EQ(reg().KeyIdentity(hkey::kCurrentUser, &user), status::kSuccess);
    EXPECT_EQ(identity(hkey::kCurrentUser, ""), user);

    // The current user's hive is also a key of HKEY_USERS, named by the
    // user's SID, where the live registry and an installation's hives have
    // it; the in-memory registry holds the two roots apart.
    int reached = 0;
    RegKey users(reg());
    ASSERT_EQ(users.Open(hkey::kUsers, "", access::kRead), status::kSuccess);
    char name[300];
    for (uint32_t i = 0;; ++i) {
        uint32_t size = sizeof name;
        if (!NextIndexUsable(reg().EnumKey(users.get(), i, name, &size))) break;
        const std::string below = std::string(name, size) + "\\" + scratchPath() + "\\A";
        RegKey there(reg());
        if (there.Open(hkey::kUsers, below.c_str(), access::kQueryValue) != status::kSuccess)
            continue;
        ++reached;
        EXPECT_EQ(identity(hkey::kUsers, below), a) << below;
        EXPECT_EQ(identity(hkey::kUsers, std::string(name, size)), user);
    }
    EXPECT_EQ(reached, std::string(backend_->name()) == "memory" ? 0 : 1);
}

TEST_P(RegistryContract, PathsWithStrayBackslashes) {
    MakeKey("a\\b");
    RegKey key(reg());
    EXPECT_EQ(key.Open(scratch(), "a\\\\b", access::kRead), status::kSuccess);
    EXPECT_EQ(key.Open(scratch(), "a\\b\\", access::kRead), status::kSuccess);
    EXPECT_EQ(key.Open(scratch(), "\\a", access::kRead), status::kBadPathname);
    EXPECT_EQ(key.Create(scratch(), "\\lead", access::kAllAccess), status::kBadPathname);
}

TEST_P(RegistryContract, ValueNameLengthLimit) {
    EXPECT_EQ(
        reg().SetValue(scratch(), std::string(16383, 'v').c_str(), regtype::kSz, Bytes("1"), 2),
        status::kSuccess);
    EXPECT_EQ(
        reg().SetValue(scratch(), std::string(16384, 'v').c_str(), regtype::kSz, Bytes("1"), 2),
        status::kInvalidParameter);
}

TEST_P(RegistryContract, ClosedHandlesAreInvalid) {
    HKey raw = hkey::kNull;
    ASSERT_EQ(reg().OpenKey(scratch(), "", access::kRead, &raw), status::kSuccess);
    ASSERT_EQ(reg().CloseKey(raw), status::kSuccess);
    char name[8];
    uint32_t size = sizeof name;
    EXPECT_EQ(reg().EnumKey(raw, 0, name, &size), status::kInvalidHandle);
}

namespace {

void ExpectSameListing(const KeyListing& got, const KeyListing& enumerated) {
    ASSERT_EQ(got.subKeys.size(), enumerated.subKeys.size());
    for (size_t i = 0; i < got.subKeys.size(); ++i) {
        EXPECT_EQ(got.subKeys[i].name, enumerated.subKeys[i].name);
        EXPECT_EQ(got.subKeys[i].usable, enumerated.subKeys[i].usable);
    }
    ASSERT_EQ(got.values.size(), enumerated.values.size());
    for (size_t i = 0; i < got.values.size(); ++i) {
        EXPECT_EQ(got.values[i].name, enumerated.values[i].name);
        EXPECT_EQ(got.values[i].type, enumerated.values[i].type);
        EXPECT_TRUE(got.values[i].data == enumerated.values[i].data) << got.values[i].name;
    }
    EXPECT_EQ(got.subKeysEnd, enumerated.subKeysEnd);
    EXPECT_EQ(got.valuesEnd, enumerated.valuesEnd);
}

}  // namespace

// A backend's one-pass listing of a key is what its enumerations give, for
// each part asked, for data longer than any first buffer, and for a handle
// that may read values but not list subkeys.
TEST_P(RegistryContract, ListKeyGivesWhatTheEnumerationsGive) {
    MakeKey("b");
    MakeKey("A");
    MakeKey("c\\below");
    SetString(scratch(), "", "default");
    SetString(scratch(), "Text", "C:\\Windows\\notepad.exe");
    const std::vector<uint8_t> big(5000, 0xAB);
    ASSERT_EQ(reg().SetValue(scratch(), "big", regtype::kBinary, big.data(), 5000),
              status::kSuccess);
    const uint32_t number = 7;
    ASSERT_EQ(reg().SetValue(scratch(), "n", regtype::kDword,
                             reinterpret_cast<const uint8_t*>(&number), sizeof number),
              status::kSuccess);

    KeyListing got, enumerated;
    reg().ListKey(scratch(), listing::kSubKeys | listing::kValues, got);
    reg().RegistryService::ListKey(scratch(), listing::kSubKeys | listing::kValues, enumerated);
    ExpectSameListing(got, enumerated);
    ASSERT_EQ(got.subKeys.size(), 3u);
    EXPECT_EQ(got.subKeys[0].name, "A");
    ASSERT_EQ(got.values.size(), 4u);
    const auto bigValue = std::find_if(got.values.begin(), got.values.end(),
                                       [](const KeyListing::Value& v) { return v.name == "big"; });
    ASSERT_NE(bigValue, got.values.end());
    EXPECT_TRUE(bigValue->data == std::string(big.begin(), big.end()));
    EXPECT_EQ(got.valuesEnd, status::kNoMoreItems);

    reg().ListKey(scratch(), listing::kSubKeys, got);
    EXPECT_EQ(got.subKeys.size(), 3u);
    EXPECT_TRUE(got.values.empty());

    RegKey valuesOnly(reg());
    ASSERT_EQ(valuesOnly.Open(scratch(), "", access::kQueryValue), status::kSuccess);
    reg().ListKey(valuesOnly.get(), listing::kSubKeys | listing::kValues, got);
    reg().RegistryService::ListKey(valuesOnly.get(), listing::kSubKeys | listing::kValues,
                                   enumerated);
    ExpectSameListing(got, enumerated);
}

}  // namespace qm::test
