// The walk at the sizes the registry can reach: a key chain 100,000 levels
// deep and a key with 100,000 values. Each test prints its time; both stay
// well under a few seconds with the sanitizers on.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "scan/file_path_scanner.h"
#include "tests/repair/scanner_world.h"

namespace qm::repairtest {
namespace {

constexpr int kFile = 8;

double SecondsSince(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

class FilePathScaleTest : public ScannerWorld {};

TEST_F(FilePathScaleTest, ChainOfAHundredThousandLevels) {
    constexpr int kDepth = 100000;
    // Built one level at a time relative to the level above, so that making
    // it does not resolve long paths either.
    HKey key = hkey::kNull;
    ASSERT_EQ(registry.CreateKey(hkey::kLocalMachine, "SOFTWARE\\Chain", access::kAllAccess, &key,
                                 nullptr),
              status::kSuccess);
    const std::string gone = "C:\\Gone\\x.exe";
    registry.SetValue(key, "top", regtype::kSz, reinterpret_cast<const uint8_t*>(gone.c_str()),
                      static_cast<uint32_t>(gone.size() + 1));
    for (int depth = 1; depth <= kDepth; ++depth) {
        HKey child = hkey::kNull;
        ASSERT_EQ(registry.CreateKey(key, "k", access::kAllAccess, &child, nullptr),
                  status::kSuccess);
        registry.CloseKey(key);
        key = child;
    }
    registry.SetValue(key, "bottom", regtype::kSz, reinterpret_cast<const uint8_t*>(gone.c_str()),
                      static_cast<uint32_t>(gone.size() + 1));
    registry.CloseKey(key);

    sink.keepTexts = false;
    size_t mostHandles = 0;
    size_t deepest = 0;
    sink.onText = [&](const std::string& text) {
        deepest = std::max(deepest, text.size());
        if (sink.count % 64 == 0) mostHandles = std::max(mostHandles, registry.OpenHandleCount());
    };
    const auto start = std::chrono::steady_clock::now();
    const std::vector<Found> found = Run([](ScanContext& ctx) {
        WalkFileReferences(ctx, hkey::kLocalMachine, "SOFTWARE\\Chain", "HKLM\\SOFTWARE\\Chain");
    });
    const double seconds = SecondsSince(start);
    std::printf("chain of %d levels walked in %.3f s, at most %zu handles open\n", kDepth, seconds,
                mostHandles);

    std::string bottomPath = "HKLM\\SOFTWARE\\Chain";
    for (int depth = 1; depth <= kDepth; ++depth) bottomPath += "\\k";
    ASSERT_EQ(found.size(), 2u);
    EXPECT_EQ(found[0], (Found{bottomPath, "bottom", gone, kFile}));
    EXPECT_EQ(found[1], (Found{"HKLM\\SOFTWARE\\Chain", "top", gone, kFile}));
    EXPECT_EQ(sink.count, static_cast<size_t>(kDepth + 1));
    EXPECT_EQ(deepest, bottomPath.size());
    EXPECT_LT(mostHandles, 5000u);
}

TEST_F(FilePathScaleTest, KeyWithAHundredThousandValues) {
    constexpr int kValues = 100000;
    MakeFolder("C:\\There");
    RegKey key(registry);
    ASSERT_EQ(key.Create(hkey::kLocalMachine, "SOFTWARE\\Wide", access::kAllAccess),
              status::kSuccess);
    std::vector<Found> expected;
    for (int i = 0; i < kValues; ++i) {
        const std::string name = Numbered("v", i);
        // Mostly text that is no path, every tenth a path that exists, and
        // every thousandth one that does not.
        std::string data = Numbered("setting ", i);
        if (i % 10 == 0) data = Numbered("C:\\There -n ", i);
        if (i % 1000 == 7) data = Numbered("C:\\Gone\\f", i) + ".exe";
        registry.SetValue(key.get(), name.c_str(), regtype::kSz,
                          reinterpret_cast<const uint8_t*>(data.c_str()),
                          static_cast<uint32_t>(data.size() + 1));
        if (i % 1000 == 7) expected.push_back({"HKLM\\SOFTWARE\\Wide", name, data, kFile});
    }
    key.Close();

    const auto start = std::chrono::steady_clock::now();
    const std::vector<Found> found = Run([](ScanContext& ctx) {
        WalkFileReferences(ctx, hkey::kLocalMachine, "SOFTWARE\\Wide", "HKLM\\SOFTWARE\\Wide");
    });
    std::printf("key of %d values examined in %.3f s\n", kValues, SecondsSince(start));
    EXPECT_EQ(found, expected);
}

}  // namespace
}  // namespace qm::repairtest
