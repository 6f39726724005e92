// Recovery of dirty hives from logs that the tests write as the format
// describes them: a chain of hives, each one a change away from the one
// before, and logs whose entries make each of them out of the one before.
#include "platform/hive/hive_log.h"

#include <gtest/gtest.h>

#include "platform/hive/hive_image.h"
#include "platform/hive/hive_registry.h"
#include "tests/platform/hive/hive_test_support.h"

namespace qm::hive {
namespace {

using namespace test;

constexpr uint32_t kSeq = 40;

void PutLe64(std::string& bytes, size_t at, uint64_t value) {
    PutLe32(bytes, at, static_cast<uint32_t>(value));
    PutLe32(bytes, at + 4, static_cast<uint32_t>(value >> 32));
}

// The first 512 bytes of `hive`'s base block as a log holds them.
std::string LogBase(std::string hive, uint32_t sequence, uint32_t type) {
    PutLe32(hive, 4, sequence);
    PutLe32(hive, 8, sequence);
    PutLe32(hive, 28, type);
    FixChecksum(hive);
    return hive.substr(0, 512);
}

// An HvLE entry that makes `to` out of `from`: the 4096-byte pages of its
// hive data that differ.
std::string Entry(const std::string& from, const std::string& to, uint32_t sequence) {
    std::string refs, pages;
    for (size_t at = 4096; at < to.size(); at += 4096) {
        const std::string page = to.substr(at, 4096);
        if (at + 4096 <= from.size() && from.compare(at, 4096, page) == 0) continue;
        std::string ref(8, '\0');
        PutLe32(ref, 0, static_cast<uint32_t>(at - 4096));
        PutLe32(ref, 4, 4096);
        refs += ref;
        pages += page;
    }
    std::string entry = "HvLE" + std::string(36, '\0') + refs + pages;
    entry.resize((entry.size() + 511) / 512 * 512, '\0');
    PutLe32(entry, 4, static_cast<uint32_t>(entry.size()));
    PutLe32(entry, 12, sequence);
    PutLe32(entry, 16, Le32(to, 40));
    PutLe32(entry, 20, static_cast<uint32_t>(refs.size() / 8));
    PutLe64(entry, 24, Marvin32(std::string_view(entry).substr(40), kLogHashSeed));
    PutLe64(entry, 32, Marvin32(std::string_view(entry).substr(0, 32), kLogHashSeed));
    return entry;
}

// An old-format log that makes `to` out of `from`: its dirty page vector
// and the 512-byte pages that differ.
std::string OldLog(const std::string& from, const std::string& to, uint32_t sequence) {
    const size_t pages = (to.size() - 4096) / 512;
    std::string bitmap(pages / 8, '\0'), dirty;
    for (size_t i = 0; i < pages; ++i) {
        const size_t at = 4096 + i * 512;
        if (at + 512 <= from.size() && from.compare(at, 512, to, at, 512) == 0) continue;
        bitmap[i / 8] = static_cast<char>(bitmap[i / 8] | 1 << (i % 8));
        dirty += to.substr(at, 512);
    }
    // The log was written for `from`: it carries its timestamp.
    std::string base = to;
    base.replace(12, 8, from.substr(12, 8));
    std::string log = LogBase(base, sequence, 1) + "DIRT" + bitmap;
    log.resize((log.size() + 511) / 512 * 512, '\0');
    return log + dirty;
}

class LogTest : public ::testing::Test {
  protected:
    void SetUp() override {
        dir_ = TestFolder();
        std::string text = "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Quill]\r\n";
        for (int i = 0; i < 4; ++i) {
            // Each hive one more key with a value of 6,000 bytes: a change
            // of several pages, the hive grown.
            text += "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Quill\\K" + std::to_string(i) +
                    "]\r\n\"v\"=\"" + std::string(3000, static_cast<char>('a' + i)) + "\"\r\n";
            const fs::path path = dir_ / ("T" + std::to_string(i));
            MakeHive(path, text, hkey::kLocalMachine, "SOFTWARE");
            chain_.push_back(ReadBytes(path));
        }
        // The hive file as Windows left it: the first hive, a write begun.
        primary_ = chain_[0];
        PutLe32(primary_, 4, kSeq + 1);
        PutLe32(primary_, 8, kSeq);
        FixChecksum(primary_);
    }
    void TearDown() override { fs::remove_all(dir_); }

    // A new-format log whose entries make chain_[k] out of chain_[k - 1] for
    // each k in `steps`, numbered from kSeq - 1 + the first step.
    std::string NewLog(std::initializer_list<int> steps) {
        std::string log = LogBase(chain_[0], kSeq - 1 + *steps.begin(), 6);
        for (int k : steps) log += Entry(chain_[k - 1], chain_[k], kSeq - 1 + k);
        return log;
    }

    // Logs that stop early: a gap after the second entry, a bad hash in
    // the second, the third cut short.
    std::string Gap() { return NewLog({1, 2}) + Entry(chain_[2], chain_[3], kSeq + 3); }
    std::string BadHash() {
        std::string log = NewLog({1, 2, 3});
        log[512 + Entry(chain_[0], chain_[1], 0).size() + 24] ^= 1;
        return log;
    }
    std::string Cut() {
        std::string log = NewLog({1, 2, 3});
        log.resize(log.size() - 512);
        return log;
    }

    // The recovered hive is chain_[k]'s data under a clean base block.
    void ExpectChain(const Recovery& r, size_t k, uint32_t sequence) {
        ASSERT_EQ(r.state, Recovery::State::kRecovered) << r.reason;
        EXPECT_EQ(r.image.substr(4096), chain_[k].substr(4096)) << "not hive " << k;
        if (k + 1 < chain_.size()) {
            EXPECT_NE(r.image.substr(4096), chain_[k + 1].substr(4096));
        }
        EXPECT_EQ(CheckImage(r.image, true), "");
        EXPECT_EQ(Le32(r.image, 4), sequence);
    }

    fs::path dir_;
    std::vector<std::string> chain_;
    std::string primary_;
};

TEST(Marvin32, GivesTheKnownHashes) {
    const uint64_t seed = 0x004FB61A001BDBCCull;
    const std::pair<std::string, uint64_t> known[] = {
        {"\xaf", 0x48E73FC77D75DDC1ull},
        {"\xe7\x0f", 0xB5F6E1FC485DBFF8ull},
        {"\x37\xf4\x95", 0xF0B07C789B8CF7E8ull},
        {"\x86\x42\xdc\x59", 0x7008F2E87E9CF556ull},
        {"\x15\x3f\xb7\x98\x26", 0xE6C08C6DA2AFA997ull},
        {"\x09\x32\xe6\x24\x6c\x47", 0x6F04BF1A5EA24060ull},
        {"\xab\x42\x7e\xa8\xd1\x0f\xc7", 0xE11847E4F0678C41ull},
    };
    for (const auto& [bytes, hash] : known) EXPECT_EQ(Marvin32(bytes, seed), hash) << bytes.size();
}

TEST_F(LogTest, NewFormatEntriesApplyInSequenceAcrossBothLogs) {
    // The later entries in .LOG1, the earlier ones in .LOG2, and an entry
    // already applied left in .LOG2 after them.
    std::string log2 = NewLog({1, 2});
    log2 += Entry(chain_[0], chain_[1], kSeq - 5);
    const Recovery r = RecoverHive(primary_, {{"H.LOG1", NewLog({3})}, {"H.LOG2", log2}});
    ExpectChain(r, 3, kSeq + 2);
    EXPECT_EQ(r.applied, 3u);
    EXPECT_EQ(r.used, (std::vector<std::string>{"H.LOG2", "H.LOG1"}));
    EXPECT_EQ(r.stop, "");

    // A log started before the hive's last write: its older entries are
    // passed over.
    const std::string older = LogBase(chain_[0], kSeq - 2, 6) +
                              Entry(chain_[0], chain_[1], kSeq - 2) + NewLog({1, 2, 3}).substr(512);
    ExpectChain(RecoverHive(primary_, {{"H.LOG1", older}}), 3, kSeq + 2);

    // A damaged base block is taken from the log.
    std::string broken = primary_;
    broken[0x1FC] ^= 1;
    ExpectChain(RecoverHive(broken, {{"H.LOG1", NewLog({1, 2, 3})}}), 3, kSeq + 2);
    EXPECT_EQ(RecoverHive(broken, {}).state, Recovery::State::kDamaged);
    EXPECT_EQ(RecoverHive(broken, {{"H.LOG1", LogBase(chain_[0], kSeq, 6)}}).state,
              Recovery::State::kDamaged);
}

TEST_F(LogTest, RecoveryStopsAtTheFirstBadEntry) {
    struct Case {
        const char* name;
        std::string log;
        size_t reached;  // the hive of the chain recovered; 0: none
        const char* stop;
    };
    std::string first = NewLog({1, 2, 3});
    first[512 + 40] ^= 1;
    const Case cases[] = {
        {"a gap", Gap(), 2, "is number 43, not 42"},
        {"a bad hash", BadHash(), 1, "its hashes do not match"},
        {"a truncated entry", Cut(), 2, "cut short"},
        {"the first entry damaged", first, 0, "its hashes do not match"},
        {"the hive's next entry missing", NewLog({2, 3}), 0, "is number 41, not 40"},
        {"entries before the hive's",
         LogBase(chain_[0], kSeq - 3, 6) + Entry(chain_[0], chain_[1], kSeq - 3), 0,
         "no log holds"},
    };
    for (const Case& c : cases) {
        const Recovery r = RecoverHive(primary_, {{"H.LOG1", c.log}});
        if (c.reached == 0) {
            EXPECT_EQ(r.state, Recovery::State::kUnusable) << c.name;
            EXPECT_NE(r.reason.find(c.stop), std::string::npos) << c.name << ": " << r.reason;
            continue;
        }
        ExpectChain(r, c.reached, kSeq - 1 + static_cast<uint32_t>(c.reached));
        EXPECT_EQ(r.applied, c.reached) << c.name;
        EXPECT_NE(r.stop.find(c.stop), std::string::npos) << c.name << ": " << r.stop;
    }
}

TEST_F(LogTest, OldFormatLogsApplyWholeWhenWrittenForTheHive) {
    const std::string log = OldLog(chain_[0], chain_[3], kSeq + 1);
    const Recovery r = RecoverHive(primary_, {{"H.LOG1", ""}, {"H.LOG2", log}});
    ExpectChain(r, 3, kSeq + 1);
    EXPECT_FALSE(r.newFormat);
    EXPECT_GT(r.applied, 0u);

    std::string other = log;
    other[12] ^= 1;
    FixChecksum(other);
    const Recovery refused = RecoverHive(primary_, {{"H.LOG1", other}});
    EXPECT_EQ(refused.state, Recovery::State::kUnusable);
    EXPECT_NE(refused.reason.find("another state of the hive"), std::string::npos)
        << refused.reason;
}

// Opening: a dirty hive is read and written as recovered, the commit leaves
// it clean, and its logs go with the original; so do a clean hive's.
TEST_F(LogTest, EachHiveIsWrittenAsRecoveredWithItsLogsSetAside) {
    struct Case {
        const char* name;
        bool dirty;
        std::vector<LogFile> logs;
        size_t reached;
        const char* notice;
    };
    const Case cases[] = {
        {"one log",
         true,
         {{"LOG1", NewLog({1, 2, 3})}},
         3,
         "3 log entries applied from SOFTWARE.LOG1"},
        {"dual logs",
         true,
         {{"LOG1", NewLog({3})}, {"LOG2", NewLog({1, 2})}},
         3,
         "3 log entries applied from SOFTWARE.LOG2, SOFTWARE.LOG1"},
        {"a gap",
         true,
         {{"LOG1", Gap()}},
         2,
         "2 log entries applied from SOFTWARE.LOG1; recovery "
         "stopped where the entry at offset"},
        {"a bad hash", true, {{"LOG1", BadHash()}}, 1, "its hashes do not match"},
        {"a truncated entry", true, {{"LOG2", Cut()}}, 2, "cut short"},
        {"the old format",
         true,
         {{"LOG1", OldLog(chain_[0], chain_[3], kSeq + 1)}},
         3,
         "dirty pages applied from SOFTWARE.LOG1 (the old log format)"},
        {"stale logs", false, {{"LOG1", NewLog({1, 2, 3})}, {"LOG2", "x"}}, 0, ""},
    };
    int run = 0;
    for (const Case& c : cases) {
        const fs::path folder = dir_ / std::to_string(++run);
        fs::create_directories(folder);
        const std::string path = (folder / "SOFTWARE").string();
        const std::string original = c.dirty ? primary_ : chain_[0];
        WriteBytes(path, original);
        for (const LogFile& log : c.logs) WriteBytes(path + "." + log.name, log.bytes);
        std::string error;
        std::shared_ptr<HiveFile> hive = HiveFile::Open(path, true, &error);
        ASSERT_NE(hive, nullptr) << c.name << ": " << error;
        EXPECT_TRUE(hive->writable()) << c.name << ": " << hive->warning();
        EXPECT_EQ(hive->notice().empty(), c.notice[0] == '\0') << c.name;
        EXPECT_NE(hive->notice().find(c.notice), std::string::npos) << hive->notice();
        qm::HiveRegistry registry;
        ASSERT_TRUE(registry.Mount(hkey::kLocalMachine, "SOFTWARE", hive));
        ASSERT_EQ(registry.DeleteTree(hkey::kLocalMachine, "SOFTWARE\\Quill\\K0"),
                  status::kSuccess);
        ASSERT_TRUE(registry.Commit({2026, 1, 1, 0, 0, 0}, nullptr, &error)) << error;
        EXPECT_EQ(CheckImage(ReadBytes(path), true), "") << c.name;
        EXPECT_EQ(std::system(("hivexml '" + path + "' >/dev/null").c_str()), 0) << c.name;
        const std::string backup = path + ".quillmend-20260101-000000.bak";
        EXPECT_EQ(ReadBytes(backup), original) << c.name;
        for (const LogFile& log : c.logs) {
            EXPECT_FALSE(fs::exists(path + "." + log.name)) << c.name;
            EXPECT_EQ(ReadBytes(backup + "." + log.name), log.bytes) << c.name;
        }

        std::shared_ptr<HiveFile> again = HiveFile::Open(path, false, &error);
        ASSERT_NE(again, nullptr) << error;
        EXPECT_EQ(again->notice(), "");
        qm::HiveRegistry reread;
        ASSERT_TRUE(reread.Mount(hkey::kLocalMachine, "SOFTWARE", again));
        RegKey key(reread);
        for (size_t k = 0; k < 4; ++k) {
            const std::string name = "SOFTWARE\\Quill\\K" + std::to_string(k);
            const bool there = k != 0 && k <= c.reached;
            EXPECT_EQ(key.Open(hkey::kLocalMachine, name.c_str(), access::kRead),
                      there ? status::kSuccess : status::kFileNotFound)
                << c.name << ": " << name;
        }
    }
}

}  // namespace
}  // namespace qm::hive
