#include "platform/hive/hive_image.h"

#include <gtest/gtest.h>
#include <hivex.h>

#include <functional>

#include "platform/hive/hive_registry.h"
#include "tests/platform/hive/hive_test_support.h"

namespace qm::hive {
namespace {

using namespace test;

// A key's cell in an open hive, found name by name.
hive_node_h NodeAt(hive_h* h, std::initializer_list<const char*> names) {
    hive_node_h node = hivex_root(h);
    for (const char* name : names) node = node != 0 ? hivex_node_get_child(h, node, name) : 0;
    return node;
}

// The offsets the damage below is done at, read through hivex.
struct Places {
    uint32_t test = 0, alpha = 0, list = 0, security = 0, qwordData = 0;
};

Places Find(const std::string& path) {
    Places at;
    hive_h* h = hivex_open(path.c_str(), 0);
    EXPECT_NE(h, nullptr);
    const std::string bytes = ReadBytes(path);
    at.test = static_cast<uint32_t>(NodeAt(h, {"Test"}));
    at.alpha = static_cast<uint32_t>(NodeAt(h, {"Test", "Alpha"}));
    at.list = Le32(bytes, at.test + 4 + 28) + 4096;
    at.security = Le32(bytes, static_cast<uint32_t>(hivex_root(h)) + 4 + 44) + 4096;
    size_t length = 0;
    at.qwordData = static_cast<uint32_t>(
        hivex_value_data_cell_offset(h, hivex_node_get_value(h, at.alpha, "Qw"), &length));
    hivex_close(h);
    return at;
}

// The same tree written by hivex alone, after `change`.
std::string ThroughHivex(const std::string& path, const std::function<void(hive_h*)>& change) {
    hive_h* h = hivex_open(path.c_str(), HIVEX_OPEN_WRITE);
    EXPECT_NE(h, nullptr);
    change(h);
    const std::string out = path + ".hivex";
    EXPECT_EQ(hivex_commit(h, out.c_str(), 0), 0);
    hivex_close(h);
    return ReadBytes(out);
}

// Our own reader refuses each fault Windows would refuse, or would turn
// into damage, and passes the hives Windows and this program write. A hive
// whose security cells are damaged is only read.
TEST(HiveImage, ChecksAHiveAsWindowsDoes) {
    const fs::path dir = TestFolder();
    const fs::path base = dir / "base";
    MakeHive(
        base,
        "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Test\\Alpha]\r\n\"Qw\"=hex(b):ef,cd,ab,89,67,45,00,00\r\n"
        "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Test\\Beta]\r\n"
        "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Test\\Gamma]\r\n",
        hkey::kLocalMachine, "SOFTWARE");
    const std::string good = ReadBytes(base);
    const Places at = Find(base.string());
    EXPECT_EQ(CheckImage(good, true), "");
    EXPECT_EQ(CheckImage(ReadBytes(kFixtures + "/odd-names"), true), "");
    EXPECT_EQ(NameHash(u"Caf\u00e9 Helper"), 0x100d341fu);  // as Windows computes it

    struct Case {
        const char* name;
        std::function<std::string()> bytes;
        const char* fault;
    };
    auto changed = [&](const std::function<void(std::string&)>& change) {
        return [&good, change] {
            std::string bytes = good;
            change(bytes);
            return bytes;
        };
    };
    const std::vector<Case> cases = {
        {"subkeys out of order", changed([&](std::string& b) {
             std::swap_ranges(b.begin() + at.list + 8, b.begin() + at.list + 16,
                              b.begin() + at.list + 16);
         }),
         "out of Windows' order"},
        {"wrong hash", changed([&](std::string& b) { b[at.list + 12] ^= 1; }), "wrong hash"},
        {"cells do not fill the bin",
         changed([&](std::string& b) { PutLe32(b, at.alpha, 0xF0000000); }), "do not fill it"},
        {"security link into a value's data",
         changed([&](std::string& b) { PutLe32(b, at.security + 8, at.qwordData - 4096); }),
         "links to something other than a security cell"},
        {"security count below its users",
         changed([&](std::string& b) { PutLe32(b, at.security + 16, 1); }), "counts 1 keys"},
        {"sequence numbers differ", changed([](std::string& b) {
             b[4] ^= 1;
             FixChecksum(b);
         }),
         "sequence numbers differ"},
        {"long data in one cell",
         [&] {
             return ThroughHivex(base.string(), [](hive_h* h) {
                 const std::string data(20000, 'x');
                 hive_set_value value{const_cast<char*>("Big"), hive_t_REG_BINARY, data.size(),
                                      const_cast<char*>(data.data())};
                 hivex_node_set_value(h, NodeAt(h, {"Test"}), &value, 0);
             });
         },
         "not in a big-data record"},
        {"a name outside ASCII added by hivex",
         [&] {
             return ThroughHivex(base.string(), [](hive_h* h) {
                 hivex_node_add_child(h, NodeAt(h, {"Test"}), "Caf\xC3\xA9 Helper");
             });
         },
         "with a wrong hash"},
    };
    for (const Case& c : cases) {
        const std::string bytes = c.bytes();
        const std::string fault = CheckImage(bytes, true);
        EXPECT_NE(fault.find(c.fault), std::string::npos) << c.name << ": " << fault;
    }

    // The damaged security list: the hive is scanned, never written.
    std::string damaged = good;
    PutLe32(damaged, at.security + 8, at.qwordData - 4096);
    WriteBytes(dir / "SOFTWARE", damaged);
    std::string error;
    std::shared_ptr<HiveFile> hive = HiveFile::Open((dir / "SOFTWARE").string(), true, &error);
    ASSERT_NE(hive, nullptr) << error;
    EXPECT_FALSE(hive->writable());
    EXPECT_NE(hive->warning().find("security cell"), std::string::npos) << hive->warning();
    HiveRegistry registry;
    ASSERT_TRUE(registry.Mount(hkey::kLocalMachine, "SOFTWARE", hive));
    EXPECT_EQ(registry.DeleteTree(hkey::kLocalMachine, "SOFTWARE\\Test\\Beta"),
              status::kAccessDenied);
    RegKey alpha(registry);
    EXPECT_EQ(alpha.Open(hkey::kLocalMachine, "SOFTWARE\\Test\\Alpha", access::kRead),
              status::kSuccess);
    fs::remove_all(dir);
}

}  // namespace
}  // namespace qm::hive
