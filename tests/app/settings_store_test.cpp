// The settings store against the in-memory registry natively and against the
// live registry under Wine (QM_LIVE_REGISTRY). Each test uses an application
// name of its own so that it starts from nothing.
#include "platform/settings_store.h"

#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <string>

#include "tests/platform/forwarding_registry.h"

#ifdef QM_LIVE_REGISTRY
#include "platform/win32/win32_registry.h"
#else
#include "platform/memory/memory_registry.h"
#endif

namespace qm {
namespace {

// Passes every call on and remembers what SetValue was asked to store: the
// system itself terminates text values, so only the call shows whether the
// store left the terminator out.
class SpyRegistry : public testing::ForwardingRegistry {
  public:
    using ForwardingRegistry::ForwardingRegistry;
    Status SetValue(HKey k, const char* n, uint32_t t, const uint8_t* d, uint32_t size) override {
        lastName = n;
        lastType = t;
        lastBytes.assign(reinterpret_cast<const char*>(d), size);
        return inner_.SetValue(k, n, t, d, size);
    }

    std::string lastName;
    uint32_t lastType = 0;
    std::string lastBytes;
};

class SettingsStoreTest : public ::testing::Test {
  protected:
    void SetUp() override {
        auto ticks = std::chrono::steady_clock::now().time_since_epoch().count();
        app_ = "QuillmendSettingsTest" + std::to_string(ticks);
        keyPath_ = "SOFTWARE\\" + app_;
    }
    void TearDown() override { registry_.DeleteTree(hkey::kLocalMachine, keyPath_.c_str()); }

    // The raw stored value: its type and bytes.
    bool Stored(const std::string& name, uint32_t& type, std::string& bytes) {
        RegKey key(registry_);
        if (key.Open(hkey::kLocalMachine, keyPath_.c_str(), access::kRead) != status::kSuccess)
            return false;
        uint8_t data[4096];
        uint32_t size = sizeof data;
        if (registry_.QueryValue(key.get(), name.c_str(), &type, data, &size) != status::kSuccess)
            return false;
        bytes.assign(reinterpret_cast<char*>(data), size);
        return true;
    }
    void StoreRaw(const std::string& name, const std::string& bytes, uint32_t type = regtype::kSz) {
        RegKey key(registry_);
        ASSERT_EQ(key.Create(hkey::kLocalMachine, keyPath_.c_str(), access::kAllAccess),
                  status::kSuccess);
        ASSERT_EQ(registry_.SetValue(key.get(), name.c_str(), type,
                                     reinterpret_cast<const uint8_t*>(bytes.data()),
                                     static_cast<uint32_t>(bytes.size())),
                  status::kSuccess);
    }
    bool KeyExists() {
        RegKey key(registry_);
        return key.Open(hkey::kLocalMachine, keyPath_.c_str(), access::kRead) == status::kSuccess;
    }

#ifdef QM_LIVE_REGISTRY
    Win32Registry registry_;
#else
    MemoryRegistry registry_;
#endif
    SpyRegistry spy_{registry_};
    SettingsStore store_{spy_};
    std::string app_;
    std::string keyPath_;
};

TEST_F(SettingsStoreTest, NothingStoredReadsAsZeroAndEmptyAndCreatesTheKey) {
    EXPECT_FALSE(KeyExists());
    EXPECT_EQ(store_.ReadNumber(app_, setting::kFirstTime), 0);
    EXPECT_TRUE(KeyExists());
    EXPECT_EQ(store_.ReadText(app_, setting::kVersion), "");
}

TEST_F(SettingsStoreTest, NumbersAreStoredAsDecimalTextWithoutTerminator) {
    store_.WriteNumber(app_, setting::kRepairAfterFind, 1);
    EXPECT_EQ(spy_.lastName, setting::kRepairAfterFind);
    EXPECT_EQ(spy_.lastType, regtype::kSz);
    EXPECT_EQ(spy_.lastBytes, "1");
    store_.WriteNumber(app_, setting::kLastFoundErrors, -3);
    EXPECT_EQ(spy_.lastBytes, "-3");
    store_.WriteNumber(app_, "big", 2147483647);
    uint32_t type = 0;
    std::string bytes;
    ASSERT_TRUE(Stored(setting::kRepairAfterFind, type, bytes));
    EXPECT_EQ(type, regtype::kSz);
    EXPECT_EQ(bytes.substr(0, bytes.find('\0')), "1");

    EXPECT_EQ(store_.ReadNumber(app_, setting::kRepairAfterFind), 1);
    EXPECT_EQ(store_.ReadNumber(app_, setting::kLastFoundErrors), -3);
    EXPECT_EQ(store_.ReadNumber(app_, "big"), 2147483647);
    EXPECT_EQ(store_.ReadText(app_, setting::kRepairAfterFind), "1");

    // The last write wins.
    store_.WriteNumber(app_, setting::kRepairAfterFind, 0);
    EXPECT_EQ(store_.ReadNumber(app_, setting::kRepairAfterFind), 0);
}

TEST_F(SettingsStoreTest, NumbersAreParsedUpToTheFirstNonDigit) {
    const struct {
        const char* stored;
        int32_t read;
    } cases[] = {
        {"12abc", 12},
        {"abc", 0},
        {"-3", -3},
        {"  +7", 7},
        {"\t 42 ", 42},
        {"", 0},
        {"-", 0},
        {"0012", 12},
        {"1 2", 1},
        {"-0", 0},
        {"99999999999", 2147483647},
        {"-99999999999", -2147483647 - 1},
    };
    for (const auto& c : cases) {
        StoreRaw("n", c.stored);
        EXPECT_EQ(store_.ReadNumber(app_, "n"), c.read) << '"' << c.stored << '"';
    }
}

TEST_F(SettingsStoreTest, TextRoundTripsAndValuesWrittenWithTerminatorReadTheSame) {
    store_.WriteText(app_, setting::kVersion, "2.1 beta");
    EXPECT_EQ(spy_.lastBytes, "2.1 beta");
    uint32_t type = 0;
    std::string bytes;
    EXPECT_EQ(store_.ReadText(app_, setting::kVersion), "2.1 beta");

    StoreRaw("zero", std::string("5\0", 2));
    EXPECT_EQ(store_.ReadText(app_, "zero"), "5");
    EXPECT_EQ(store_.ReadNumber(app_, "zero"), 5);

    store_.WriteText(app_, "empty", "");
    EXPECT_TRUE(Stored("empty", type, bytes));
    EXPECT_EQ(store_.ReadText(app_, "empty"), "");
}

TEST_F(SettingsStoreTest, ValuesTooLongForTheReadBufferReadAsMissing) {
    // The system stores text with a terminating zero, so the longest text
    // that fits the 1024-byte buffer has 1023 characters.
    const std::string fits(SettingsStore::kTextLimit - 1, 'a');
    store_.WriteText(app_, "fits", fits);
    EXPECT_EQ(store_.ReadText(app_, "fits"), fits);

    store_.WriteText(app_, "long", fits + "a");
    EXPECT_EQ(store_.ReadText(app_, "long"), "");

    // A number's text is read into 200 bytes only.
    store_.WriteText(app_, "n199", "7" + std::string(SettingsStore::kNumberLimit - 2, ' '));
    EXPECT_EQ(store_.ReadNumber(app_, "n199"), 7);
    store_.WriteText(app_, "n200", "7" + std::string(SettingsStore::kNumberLimit - 1, ' '));
    EXPECT_EQ(store_.ReadNumber(app_, "n200"), 0);
}

TEST_F(SettingsStoreTest, ValueNamesAreCaseInsensitiveButWrittenAsSpelled) {
    store_.WriteNumber(app_, setting::kShutdownAfterClean, 1);
    EXPECT_EQ(store_.ReadNumber(app_, "SHUTDOWNAFTERCLEAN"), 1);
    RegKey key(registry_);
    ASSERT_EQ(key.Open(hkey::kLocalMachine, keyPath_.c_str(), access::kRead), status::kSuccess);
    char name[64];
    uint32_t size = sizeof name;
    ASSERT_EQ(registry_.EnumValue(key.get(), 0, name, &size, nullptr, nullptr, nullptr),
              status::kSuccess);
    EXPECT_EQ(std::string(name, size), "Shutdownafterclean");
}

#ifndef QM_LIVE_REGISTRY
TEST_F(SettingsStoreTest, AKeyThatCannotBeWrittenChangesNothingAndReadsAsMissing) {
    StoreRaw(setting::kSplashScreen, "1");
    ASSERT_TRUE(registry_.SetProtection(hkey::kLocalMachine, keyPath_,
                                        MemoryRegistry::Protection::kReadOnly));
    store_.WriteNumber(app_, setting::kSplashScreen, 0);
    EXPECT_EQ(store_.ReadNumber(app_, setting::kSplashScreen), 1);

    ASSERT_TRUE(registry_.SetProtection(hkey::kLocalMachine, keyPath_,
                                        MemoryRegistry::Protection::kUnreadable));
    EXPECT_EQ(store_.ReadNumber(app_, setting::kSplashScreen), 0);
    EXPECT_EQ(store_.ReadText(app_, setting::kSplashScreen), "");
    ASSERT_TRUE(
        registry_.SetProtection(hkey::kLocalMachine, keyPath_, MemoryRegistry::Protection::kNone));
    EXPECT_EQ(registry_.OpenHandleCount(), 0u);
}
#endif

}  // namespace
}  // namespace qm
