#include <gtest/gtest.h>
#include <hivex.h>

#include <cstring>

#include "platform/hive/hive_image.h"
#include "platform/hive/hive_registry.h"
#include "platform/memory/memory_registry.h"
#include "tests/platform/hive/hive_test_support.h"

namespace qm {
namespace {

using hive::test::kFixtures;
using hive::test::Le32;
using hive::test::PutLe32;
using hive::test::ReadBytes;
using hive::test::WriteBytes;
namespace fs = std::filesystem;

// The tree below a key as the registry functions list it, one line per key
// and value, with each enumeration's status where it is not a success.
std::string Dump(RegistryService& registry, HKey parent, const std::string& path) {
    std::string out;
    RegKey key(registry);
    if (key.Open(parent, path.c_str(), access::kRead) != status::kSuccess) return "(missing)\n";
    for (uint32_t i = 0;; ++i) {
        char name[300];
        uint8_t data[2048];
        uint32_t nameSize = sizeof name, dataSize = sizeof data, type = 0;
        const Status s = registry.EnumValue(key.get(), i, name, &nameSize, &type, data, &dataSize);
        if (s == status::kNoMoreItems) break;
        out += path + " : " +
               (s == status::kSuccess ? std::string(name, nameSize) + " " + std::to_string(type) +
                                            " " + std::string(data, data + dataSize)
                                      : "status " + std::to_string(s)) +
               "\n";
        if (!NextIndexUsable(s)) break;
    }
    for (uint32_t i = 0;; ++i) {
        char name[300];
        uint32_t size = sizeof name;
        const Status s = registry.EnumKey(key.get(), i, name, &size);
        if (s == status::kNoMoreItems) break;
        if (s != status::kSuccess) {
            out += path + "\\ status " + std::to_string(s) + "\n";
            if (!NextIndexUsable(s)) break;
            continue;
        }
        const std::string child = path.empty() ? name : path + "\\" + name;
        out += child + "\n" + Dump(registry, parent, child);
    }
    return out;
}

class HiveTest : public ::testing::Test {
  protected:
    void SetUp() override {
        dir_ = fs::temp_directory_path() /
               ("qm-hive-" +
                std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()));
        fs::remove_all(dir_);
        fs::create_directories(dir_);
    }
    void TearDown() override { fs::remove_all(dir_); }

    // A hive of the demo's HKLM\SOFTWARE, and the same content in memory.
    std::string DemoSoftware(MemoryRegistry& memory) {
        std::string error;
        EXPECT_TRUE(memory.LoadFile(QM_SOURCE_DIR "/demo/registry.reg", &error)) << error;
        const std::string path = (dir_ / "SOFTWARE").string();
        EXPECT_TRUE(hive::BuildHive(kFixtures + "/minimal", memory.Export(hkey::kLocalMachine),
                                    hkey::kLocalMachine, "SOFTWARE", path, &error))
            << error;
        return path;
    }

    std::shared_ptr<hive::HiveFile> Open(const std::string& path, bool writable = true) {
        std::string error;
        std::shared_ptr<hive::HiveFile> hive = hive::HiveFile::Open(path, writable, &error);
        EXPECT_NE(hive, nullptr) << error;
        return hive;
    }

    fs::path dir_;
};

// The hive backend reads what the in-memory registry holds, in the same
// order, through both HKLM\SOFTWARE and HKCR.
TEST_F(HiveTest, ReadsTheSameTreeAsTheMemoryRegistry) {
    MemoryRegistry memory;
    HiveRegistry hives;
    auto software = Open(DemoSoftware(memory));
    ASSERT_TRUE(hives.Mount(hkey::kLocalMachine, "SOFTWARE", software));
    ASSERT_TRUE(hives.Mount(hkey::kClassesRoot, "", software, "Classes"));
    EXPECT_EQ(Dump(hives, hkey::kLocalMachine, ""), Dump(memory, hkey::kLocalMachine, ""));
    EXPECT_EQ(Dump(hives, hkey::kClassesRoot, ""), Dump(memory, hkey::kClassesRoot, ""));

    KeyInfo a, b;
    RegKey ka(hives), kb(memory);
    const char* run = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run";
    ASSERT_EQ(ka.Open(hkey::kLocalMachine, run, access::kRead), status::kSuccess);
    ASSERT_EQ(kb.Open(hkey::kLocalMachine, run, access::kRead), status::kSuccess);
    ASSERT_EQ(hives.QueryInfoKey(ka.get(), &a), status::kSuccess);
    ASSERT_EQ(memory.QueryInfoKey(kb.get(), &b), status::kSuccess);
    EXPECT_EQ(std::tie(a.subKeys, a.values, a.maxValueNameLen, a.maxValueLen),
              std::tie(b.subKeys, b.values, b.maxValueNameLen, b.maxValueLen));
    // Mount points are never deleted, and nothing is created outside a hive.
    EXPECT_EQ(hives.DeleteTree(hkey::kLocalMachine, "SOFTWARE"), status::kAccessDenied);
    HKey made = hkey::kNull;
    EXPECT_EQ(hives.CreateKey(hkey::kLocalMachine, "HARDWARE", access::kAllAccess, &made, nullptr),
              status::kAccessDenied);
}

// Names with a zero character or outside the code page are listed with
// kNoUnicodeTranslation and left alone; the other entries read and change.
TEST_F(HiveTest, EntriesThatDoNotConvertAreWalkedAndLeftAlone) {
    const std::string path = (dir_ / "odd-names").string();
    fs::copy_file(kFixtures + "/odd-names", path);
    HiveRegistry hives;
    auto special = Open(path);
    ASSERT_TRUE(hives.Mount(hkey::kLocalMachine, "SPECIAL", special));
    EXPECT_EQ(Dump(hives, hkey::kLocalMachine, "SPECIAL"),
              "SPECIAL\\abcd_\xE4\xF6\xFC\xDF\n"
              "SPECIAL\\abcd_\xE4\xF6\xFC\xDF : abcd_\xE4\xF6\xFC\xDF 4 " +
                  std::string(4, '\0') +
                  "\n"
                  "SPECIAL\\weird\x99\n"
                  "SPECIAL\\weird\x99 : status 1113\n"
                  "SPECIAL\\ status 1113\n");

    // "zero\0..." is not "zero", and the currency symbols' '?' form is no name.
    RegKey key(hives);
    EXPECT_EQ(key.Open(hkey::kLocalMachine, "SPECIAL\\zero", access::kRead), status::kFileNotFound);
    EXPECT_EQ(key.Open(hkey::kLocalMachine, "SPECIAL\\weird\x99", access::kAllAccess),
              status::kSuccess);
    EXPECT_EQ(hives.QueryValue(key.get(), "symbols $\xA3??\x80", nullptr, nullptr, nullptr),
              status::kFileNotFound);
    EXPECT_EQ(hives.DeleteTree(hkey::kLocalMachine, "SPECIAL\\weird\x99"),
              status::kNoUnicodeTranslation);
    EXPECT_EQ(hives.DeleteTree(hkey::kLocalMachine, "SPECIAL\\abcd_\xE4\xF6\xFC\xDF"),
              status::kSuccess);
    key.Close();
    std::vector<hive::HiveOutcome> kept;
    std::string error;
    ASSERT_TRUE(hives.Commit({2026, 1, 2, 3, 4, 5}, &kept, &error)) << error;
    ASSERT_EQ(kept.size(), 1u);
    EXPECT_EQ(ReadBytes(kept[0].backup), ReadBytes(kFixtures + "/odd-names"));

    // The committed hive still holds the names hivex cannot pass as text.
    HiveRegistry again;
    ASSERT_TRUE(again.Mount(hkey::kLocalMachine, "SPECIAL", Open(path)));
    EXPECT_EQ(Dump(again, hkey::kLocalMachine, "SPECIAL"),
              "SPECIAL\\weird\x99\n"
              "SPECIAL\\weird\x99 : status 1113\n"
              "SPECIAL\\ status 1113\n");
    hive_h* h = hivex_open(path.c_str(), 0);
    ASSERT_NE(h, nullptr);
    EXPECT_EQ(hivex_node_nr_children(h, hivex_root(h)), 2u);
    hivex_close(h);
}

// Deleting a key tree and a value, writing them, and the original kept.
TEST_F(HiveTest, CommitReplacesTheHiveAndKeepsTheOriginal) {
    MemoryRegistry memory;
    const std::string path = DemoSoftware(memory);
    const std::string original = ReadBytes(path);
    {
        HiveRegistry hives;
        ASSERT_TRUE(hives.Mount(hkey::kLocalMachine, "SOFTWARE", Open(path)));
        const char* uninstall = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall";
        RegKey key(hives);
        ASSERT_EQ(key.Open(hkey::kLocalMachine, uninstall, access::kAllAccess), status::kSuccess);
        HKey child = hkey::kNull;
        ASSERT_EQ(hives.OpenKey(key.get(), "OldGame", access::kRead, &child), status::kSuccess);
        ASSERT_EQ(hives.DeleteTree(key.get(), "OldGame"), status::kSuccess);
        // A handle to a deleted key says so.
        KeyInfo info;
        EXPECT_EQ(hives.QueryInfoKey(child, &info), status::kKeyDeleted);
        hives.CloseKey(child);
        RegKey run(hives);
        ASSERT_EQ(run.Open(hkey::kLocalMachine, "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run",
                           access::kAllAccess),
                  status::kSuccess);
        ASSERT_EQ(hives.DeleteValue(run.get(), "Gone Updater"), status::kSuccess);
        // Data longer than a plain cell holds is never written.
        const std::string big(20000, 'x');
        EXPECT_EQ(hives.SetValue(run.get(), "Big", regtype::kBinary,
                                 reinterpret_cast<const uint8_t*>(big.data()),
                                 static_cast<uint32_t>(big.size())),
                  status::kCantWrite);
        const char text[] = "C:\\new.exe";
        ASSERT_EQ(hives.SetValue(run.get(), "New", regtype::kSz,
                                 reinterpret_cast<const uint8_t*>(text), sizeof text),
                  status::kSuccess);

        RegKey mem(memory);
        ASSERT_EQ(mem.Open(hkey::kLocalMachine, uninstall, access::kAllAccess), status::kSuccess);
        ASSERT_EQ(memory.DeleteTree(mem.get(), "OldGame"), status::kSuccess);
        RegKey memRun(memory);
        ASSERT_EQ(
            memRun.Open(hkey::kLocalMachine, "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run",
                        access::kAllAccess),
            status::kSuccess);
        ASSERT_EQ(memory.DeleteValue(memRun.get(), "Gone Updater"), status::kSuccess);
        ASSERT_EQ(memory.SetValue(memRun.get(), "New", regtype::kSz,
                                  reinterpret_cast<const uint8_t*>(text), sizeof text),
                  status::kSuccess);
        EXPECT_EQ(ReadBytes(path), original);  // nothing written before the commit
        std::vector<hive::HiveOutcome> kept;
        std::string error;
        key.Close();
        run.Close();
        ASSERT_TRUE(hives.Commit({2026, 12, 8, 9, 10, 11}, &kept, &error)) << error;
        ASSERT_EQ(kept.size(), 1u);
        EXPECT_EQ(kept[0].backup, path + ".quillmend-20261208-091011.bak");
        EXPECT_EQ(ReadBytes(kept[0].backup), original);
        EXPECT_FALSE(fs::exists(path + ".quillmend-new"));
        EXPECT_EQ(hives.OpenHandleCount(), 0u);
    }
    HiveRegistry reread;
    ASSERT_TRUE(reread.Mount(hkey::kLocalMachine, "SOFTWARE", Open(path)));
    EXPECT_EQ(Dump(reread, hkey::kLocalMachine, ""), Dump(memory, hkey::kLocalMachine, ""));
}

// Turns the plain data cell of the value whose record is at `vk` (data of
// 20,000 bytes, as hivex writes it) into a big-data record of two segments
// in a new bin at the end, as Windows keeps such data. Gives the cells of
// the segment list and the segments.
std::vector<uint32_t> ToBigData(std::string& bytes, uint32_t vk) {
    const uint32_t plain = Le32(bytes, vk + 4 + 8) + 4096;
    const std::string data = bytes.substr(plain + 4, 20000);
    const uint32_t at = Le32(bytes, 40);  // the new bin, after the last one
    std::string bin(24576, '\0');
    std::memcpy(bin.data(), "hbin", 4);
    PutLe32(bin, 4, at);
    PutLe32(bin, 8, static_cast<uint32_t>(bin.size()));
    const uint32_t list = 48, first = 64, second = first + 16352, rest = second + 3664;
    PutLe32(bin, 32, static_cast<uint32_t>(-16));
    std::memcpy(&bin[36], "db\x02\x00", 4);
    PutLe32(bin, 40, at + list);
    PutLe32(bin, list, static_cast<uint32_t>(-16));
    PutLe32(bin, list + 4, at + first);
    PutLe32(bin, list + 8, at + second);
    PutLe32(bin, first, static_cast<uint32_t>(-16352));
    std::memcpy(&bin[first + 4], data.data(), 16344);
    PutLe32(bin, second, static_cast<uint32_t>(-3664));
    std::memcpy(&bin[second + 4], data.data() + 16344, 20000 - 16344);
    PutLe32(bin, rest, static_cast<uint32_t>(bin.size() - rest));
    bytes.resize(4096 + at);
    bytes += bin;
    PutLe32(bytes, vk + 4 + 8, at + 32);
    PutLe32(bytes, plain, static_cast<uint32_t>(-static_cast<int32_t>(Le32(bytes, plain))));
    PutLe32(bytes, 40, at + static_cast<uint32_t>(bin.size()));
    hive::test::FixChecksum(bytes);
    return {4096 + at + list, 4096 + at + first, 4096 + at + second};
}

// What hivex gets wrong when it writes is put right or never happens: a key's
// values are written once however many of them go (the hive grows by at
// most twice their cells), new subkeys take Windows' order and hash (an
// underscore sorts after the letters, "Café" by its upper-case form), and
// the segments of a deleted key's big data are freed.
TEST_F(HiveTest, WritingBoundsGrowthAndPutsRightWhatHivexLeavesWrong) {
    std::string text = "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Many]\r\n";
    for (int i = 0; i < 300; ++i)
        text += "\"v" + std::to_string(1000 + i) + "\"=\"" + std::string(50, 'd') + "\"\r\n";
    text +=
        "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Big\\Inner]\r\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Names]\r\n";
    const fs::path path = dir_ / "SOFTWARE";
    hive::test::MakeHive(path, text, hkey::kLocalMachine, "SOFTWARE");
    // A value of big data, made by hand as hivex writes none.
    hive_h* h = hivex_open(path.c_str(), HIVEX_OPEN_WRITE);
    ASSERT_NE(h, nullptr);
    const std::string blob(20000, 'b');
    hive_set_value value{const_cast<char*>("Blob"), hive_t_REG_BINARY, blob.size(),
                         const_cast<char*>(blob.data())};
    const hive_node_h big = hivex_node_get_child(h, hivex_root(h), "Big");
    ASSERT_EQ(hivex_node_set_value(h, big, &value, 0), 0);
    const auto vk = static_cast<uint32_t>(hivex_node_get_value(h, big, "Blob"));
    const auto many = static_cast<uint32_t>(hivex_node_get_child(h, hivex_root(h), "Many"));
    ASSERT_EQ(hivex_commit(h, nullptr, 0), 0);
    hivex_close(h);
    std::string bytes = ReadBytes(path);
    const std::vector<uint32_t> segments = ToBigData(bytes, vk);
    WriteBytes(path, bytes);
    ASSERT_EQ(hive::CheckImage(bytes, true), "");

    HiveRegistry hives;
    ASSERT_TRUE(hives.Mount(hkey::kLocalMachine, "SOFTWARE", Open(path.string())));
    RegKey key(hives);
    ASSERT_EQ(key.Open(hkey::kLocalMachine, "SOFTWARE\\Many", access::kAllAccess),
              status::kSuccess);
    for (int i = 0; i < 300; ++i) {
        if (i % 3 != 0) {
            ASSERT_EQ(hives.DeleteValue(key.get(), ("v" + std::to_string(1000 + i)).c_str()),
                      status::kSuccess);
        }
    }
    key.Close();
    for (const char* name : {"Caf\xE9 Helper", "CafZ", "Caf_", "cafe"}) {
        RegKey made(hives);
        ASSERT_EQ(
            made.Create(hkey::kLocalMachine, (std::string("SOFTWARE\\Names\\") + name).c_str(),
                        access::kAllAccess),
            status::kSuccess);
    }
    // Values beside big data are never rewritten, and refusing that leaves
    // the other changes to be written.
    RegKey bigKey(hives);
    ASSERT_EQ(bigKey.Open(hkey::kLocalMachine, "SOFTWARE\\Big", access::kAllAccess),
              status::kSuccess);
    EXPECT_EQ(hives.DeleteValue(bigKey.get(), "Blob"), status::kCantWrite);
    bigKey.Close();
    std::string error;
    ASSERT_TRUE(hives.Commit({2026, 3, 4, 5, 6, 7}, nullptr, &error)) << error;
    std::string written = ReadBytes(path);
    EXPECT_EQ(hive::CheckImage(written, true), "");
    const uint64_t rewritten = hive::ValueCellBytes(bytes, many);
    EXPECT_GT(rewritten, 300u * 100);
    EXPECT_LE(written.size(), bytes.size() + (2 * rewritten + 4095) / 4096 * 4096);

    // Then the key goes, in a second commit of the same hive.
    ASSERT_EQ(hives.DeleteTree(hkey::kLocalMachine, "SOFTWARE\\Big"), status::kSuccess);
    ASSERT_TRUE(hives.Commit({2026, 3, 4, 5, 6, 8}, nullptr, &error)) << error;
    written = ReadBytes(path);
    EXPECT_EQ(hive::CheckImage(written, true), "");
    for (uint32_t cell : segments)
        EXPECT_GT(static_cast<int32_t>(Le32(written, cell)), 0) << "still allocated at " << cell;
    h = hivex_open(path.c_str(), 0);
    ASSERT_NE(h, nullptr);
    const hive_node_h names = hivex_node_get_child(h, hivex_root(h), "Names");
    const hive_node_h cafe = hivex_node_get_child(h, names, "Caf\xC3\xA9 Helper");
    const uint32_t list = Le32(written, names + 4 + 28) + 4096;
    std::vector<std::string> order;
    for (size_t i = 0; i < 4; ++i) {
        char* name = hivex_node_name(h, Le32(written, list + 8 + 8 * i) + 4096);
        order.emplace_back(name);
        std::free(name);
        if (Le32(written, list + 8 + 8 * i) + 4096 == cafe) {
            EXPECT_EQ(Le32(written, list + 12 + 8 * i), 0x100d341fu);
        }
    }
    EXPECT_EQ(order, (std::vector<std::string>{"cafe", "CafZ", "Caf_", "Caf\xC3\xA9 Helper"}));
    EXPECT_EQ(hivex_node_nr_values(h, hivex_node_get_child(h, hivex_root(h), "Many")), 100u);
    hivex_close(h);
}

// A value of any 32-bit type (Windows keeps device properties with types
// such as 0xFFFF0012) reads, and is kept when its key's values are rewritten.
TEST_F(HiveTest, ValuesOfAnyTypeAreReadAndKept) {
    regtext::Document doc;
    regtext::ParseError parseError;
    ASSERT_TRUE(
        regtext::Parse("REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Props]\n"
                       "\"Odd\"=hex(ffff0012):01,02\n\"Gone\"=\"x\"\n",
                       doc, parseError));
    MemoryRegistry memory;
    memory.Apply(doc);
    const char* props = "SOFTWARE\\Props";
    const std::string path = (dir_ / "PROPS").string();
    std::string error;
    ASSERT_TRUE(
        hive::BuildHive(kFixtures + "/minimal", doc, hkey::kLocalMachine, "SOFTWARE", path, &error))
        << error;
    HiveRegistry hives;
    ASSERT_TRUE(hives.Mount(hkey::kLocalMachine, "SOFTWARE", Open(path)));
    EXPECT_EQ(Dump(hives, hkey::kLocalMachine, props), Dump(memory, hkey::kLocalMachine, props));
    for (RegistryService* registry :
         {static_cast<RegistryService*>(&hives), static_cast<RegistryService*>(&memory)}) {
        RegKey key(*registry);
        ASSERT_EQ(key.Open(hkey::kLocalMachine, props, access::kAllAccess), status::kSuccess);
        ASSERT_EQ(registry->DeleteValue(key.get(), "Gone"), status::kSuccess);
    }
    ASSERT_TRUE(hives.Commit({2026, 1, 1, 0, 0, 0}, nullptr, &error)) << error;
    HiveRegistry again;
    ASSERT_TRUE(again.Mount(hkey::kLocalMachine, "SOFTWARE", Open(path)));
    EXPECT_EQ(Dump(again, hkey::kLocalMachine, props), Dump(memory, hkey::kLocalMachine, props));
}

// Damaged files are refused with the file and the reason; nothing is written.
TEST_F(HiveTest, DamagedHivesAreRefused) {
    MemoryRegistry memory;
    const std::string good = ReadBytes(DemoSoftware(memory));
    struct Case {
        const char* name;
        std::string bytes;
        const char* reason;
    };
    std::string badMagic = good, badSum = good, badRoot = good, badKey = good;
    std::string badData = good, longData = good;
    badMagic[0] = 'x';
    // A value's record ("vk") begins 0x14 bytes before its name; its data's
    // length and offset follow the name's length.
    const size_t vk = good.find("Gone Updater") - 0x14;
    ASSERT_EQ(good.substr(vk, 2), "vk");
    badData.replace(vk + 8, 4, std::string(4, '\0'));  // the bin's header, no cell
    longData.replace(vk + 4, 4, std::string("\0\0\xF0\x7F", 4));
    badSum[0x30] ^= 1;
    // The root key's "nk" signature (its cell starts at 0x1000 plus the
    // header's root offset).
    const uint32_t rootOffset = static_cast<uint8_t>(good[0x24]) |
                                static_cast<uint8_t>(good[0x25]) << 8 |
                                static_cast<uint8_t>(good[0x26]) << 16;
    const std::vector<Case> cases = {
        {"truncated", good.substr(0, good.size() - 4096), "truncated: the header gives"},
        {"short", good.substr(0, 100), "truncated: 100 bytes"},
        {"magic", badMagic, "bad header: not a registry hive"},
        {"checksum", badSum, "bad header: its checksum"},
        {"root", badRoot.replace(0x1000 + rootOffset + 4, 2, "zz"), "bad cell: hivex refuses"},
        // A key's record ("nk") begins 0x4C bytes before its name.
        {"key", badKey.replace(good.find("Quillpad") - 0x4C, 2, "zz"), "bad cell: the key at"},
        {"data", badData, "has a value whose data does not read"},
        {"long data", longData, "has a value longer than the file"},
    };
    for (const Case& c : cases) {
        const std::string path = (dir_ / c.name).string();
        WriteBytes(path, c.bytes);
        std::string error;
        EXPECT_EQ(hive::HiveFile::Open(path, true, &error), nullptr) << c.name;
        EXPECT_EQ(error.rfind(path + ": ", 0), 0u) << error;
        EXPECT_NE(error.find(c.reason), std::string::npos) << c.name << ": " << error;
        EXPECT_EQ(ReadBytes(path), c.bytes);
    }
}

// A clean hive is written whatever its logs hold, and its logs go with the
// original; a dirty hive that no log brings up to date is only read.
TEST_F(HiveTest, StaleLogsDoNotStopAWriteAndDirtyHivesWithoutLogsAreOnlyRead) {
    MemoryRegistry memory;
    const std::string path = DemoSoftware(memory);
    std::string bytes = ReadBytes(path);
    WriteBytes(path + ".LOG1", "");
    WriteBytes(path + ".log2", "stale");
    const std::string copy = (dir_ / "SEQ").string();
    bytes[4] ^= 1;
    // Keep the checksum right: only the sequence numbers differ.
    bytes[0x1FC] ^= 1;
    WriteBytes(copy, bytes);
    WriteBytes(copy + ".log", "older");

    auto dirty = Open(copy);
    EXPECT_FALSE(dirty->writable());
    EXPECT_NE(dirty->warning().find("logs cannot bring it up to date (there is no .LOG1 or "
                                    ".LOG2 beside it); it is read as it lies"),
              std::string::npos)
        << dirty->warning();
    EXPECT_NE(dirty->warning().find("(SEQ.log, a log of an older form that is not read here, may "
                                    "hold those changes: if this Windows still starts, starting "
                                    "it once"),
              std::string::npos)
        << dirty->warning();
    HiveRegistry hives;
    ASSERT_TRUE(hives.Mount(hkey::kLocalMachine, "SOFTWARE", dirty));
    EXPECT_EQ(Dump(hives, hkey::kLocalMachine, ""), Dump(memory, hkey::kLocalMachine, ""));
    EXPECT_EQ(hives.DeleteTree(hkey::kLocalMachine, "SOFTWARE\\Quillpad"), status::kAccessDenied);
    std::string error;
    EXPECT_TRUE(hives.Commit({2026, 1, 1, 0, 0, 0}, nullptr, &error));  // nothing to write

    // A log written to after the hive was read: Windows is at work on it.
    {
        const std::string before = ReadBytes(path);
        auto busy = Open(path);
        HiveRegistry written;
        ASSERT_TRUE(written.Mount(hkey::kLocalMachine, "SOFTWARE", busy));
        ASSERT_EQ(written.DeleteTree(hkey::kLocalMachine, "SOFTWARE\\Quillpad"), status::kSuccess);
        WriteBytes(path + ".log2", "written since");
        EXPECT_FALSE(written.Commit({2026, 1, 1, 0, 0, 0}, nullptr, &error));
        EXPECT_NE(error.find("the log SOFTWARE.log2 was changed"), std::string::npos) << error;
        EXPECT_EQ(ReadBytes(path), before);
        WriteBytes(path + ".log2", "stale");
    }
    auto clean = Open(path);
    EXPECT_TRUE(clean->writable()) << clean->warning();
    HiveRegistry written;
    ASSERT_TRUE(written.Mount(hkey::kLocalMachine, "SOFTWARE", clean));
    ASSERT_EQ(written.DeleteTree(hkey::kLocalMachine, "SOFTWARE\\Quillpad"), status::kSuccess);
    ASSERT_TRUE(written.Commit({2026, 1, 1, 0, 0, 0}, nullptr, &error)) << error;
    EXPECT_FALSE(fs::exists(path + ".LOG1") || fs::exists(path + ".log2"));
    const std::string backup = path + ".quillmend-20260101-000000.bak";
    EXPECT_EQ(ReadBytes(backup + ".log2"), "stale");
    EXPECT_TRUE(fs::exists(backup + ".LOG1"));
}

}  // namespace
}  // namespace qm
