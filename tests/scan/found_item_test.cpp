#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <string>
#include <thread>

#include "scan/found_item.h"
#include "scan/ignore_list.h"
#include "tests/scan/scan_fixture.h"

namespace qm::testing {
namespace {

TEST(DetailText, FillsEachCategoryTemplate) {
    const std::pair<FoundItem, const char*> cases[] = {
        {{"HKLM\\U", "App", "C:\\u.exe", 2},
         "The uninstall key is invalid. The file referenced (C:\\u.exe) doesn't exist.\n"
         "Key: HKLM\\U\nValue: App\nData: C:\\u.exe"},
        // The missing file is the value name itself; there is no Data line.
        {{"HKLM\\S", "C:\\s.dll", "", 4},
         "The file (C:\\s.dll) doesn't exist.\nKey: HKLM\\S\nValue: C:\\s.dll"},
        // One backslash is always put between folder and file.
        {{"HKLM\\H", "x.hlp", "C:\\Help\\", 6},
         "The help file referenced (C:\\Help\\\\x.hlp) doesn't exist.\nKey: HKLM\\H\n"
         "Value: x.hlp\nData: C:\\Help\\"},
        {{"HKCU\\Run", "Tray", "C:\\t.exe", 7},
         "The program referenced doesn't exist.\nKey: HKCU\\Run\nValue: Tray\nData: C:\\t.exe"},
        // Percent signs in the fields are text, not placeholders.
        {{"HKCR\\CLSID\\{1}", "Font %s", "%d.ttf", 1},
         "The file referenced (%d.ttf) doesn't exist.\nKey: HKCR\\CLSID\\{1}\nValue: Font %s\n"
         "Data: %d.ttf"},
    };
    for (const auto& [item, expected] : cases) EXPECT_EQ(DetailText(item), expected);
}

TEST(ItemIsKey, FollowsCategoryAndStartMenuOrder) {
    const std::string order =
        "HKCU\\Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\"
        "MenuOrder\\Start Menu\\Programs";
    for (int category = 1; category <= 8; ++category)
        EXPECT_EQ(ItemIsKey(FoundItem("HKLM\\K", "v", "d", category)),
                  category == 1 || category == 2 || category == 5)
            << category;
    EXPECT_TRUE(ItemIsKey(FoundItem(order, "Games", "", 7)));
    EXPECT_FALSE(ItemIsKey(FoundItem(order, "Games", "", 8)));
    // The first text the page shows is category 1's without its "The ".
    EXPECT_EQ(std::string("The ") + kInitialDescription, CategoryDescription(1));
    EXPECT_STREQ(CategoryStatusText(9), "");
}

using ScanContextTest = ScanFixture;

// An entry becomes an item, counted, only when testing it again still says
// missing, and keeps what that test noted; one the ignore list names is
// counted as ignored instead.
TEST_F(ScanContextTest, AddKeepsWhatTheRecheckNotedAndCountsInOneStep) {
    counters.categoryCount[3] = 5;  // counts run on until the next Reset
    const IgnoreList ignore({IgnoreEntry{4, "HKLM\\K2", "C:\\kept.dll", false}});
    ScanContext ctx{registry, Files(), list, counters, stop, nullptr, nullptr, &ignore};
    const auto noted = [](Existence answer) {
        return [answer](CheckLog& log) {
            log.push_back({"C:\\tested", answer});
            return answer;
        };
    };
    ctx.Add("HKLM\\K", "name", "data", ScanCategory::Fonts, noted(Existence::kMissing));
    ctx.Add("HKLM\\K", "back", "data", ScanCategory::Fonts, noted(Existence::kExists));
    ctx.Add("HKLM\\K", "unsure", "data", ScanCategory::Fonts, noted(Existence::kCannotTell));
    ctx.Add("HKLM\\K2", "C:\\kept.dll", "", ScanCategory::SharedDlls, noted(Existence::kMissing));
    ctx.Add("HKLM\\K2", "C:\\x.dll", "", ScanCategory::SharedDlls, noted(Existence::kMissing));
    EXPECT_EQ(Run([](ScanContext&) {}), (std::vector<Found>{{"HKLM\\K", "name", "data", 3},
                                                            {"HKLM\\K2", "C:\\x.dll", "", 4}}));
    EXPECT_EQ(counters.categoryCount[3], 6);
    EXPECT_EQ(counters.categoryCount[4], 1);
    EXPECT_EQ(counters.totalCount, 2);
    EXPECT_EQ(counters.ignoredCount, 1);
    list.ForEach([](const FoundItem& item) {
        EXPECT_FALSE(item.selected);
        ASSERT_EQ(item.checked.size(), 1u);
        EXPECT_EQ(CheckedLine(item.checked[0]), "C:\\tested (missing)");
    });
}

// HKEY_CLASSES_ROOT shows the machine's classes: its paths and the
// machine's reach the same keys.
TEST_F(ScanContextTest, AnEntryFoundAgainUnderAnotherPathOfItsKeyIsNotAddedAgain) {
    const std::string machine = "HKLM\\SOFTWARE\\Classes\\CLSID\\{1}\\InprocServer32";
    const std::string classes = "HKCR\\CLSID\\{1}\\InprocServer32";
    const std::string other = "HKLM\\SOFTWARE\\Classes\\Wow6432Node\\CLSID\\{1}\\InprocServer32";
    const std::string none = "HKCU\\Software\\Classes\\CLSID\\{1}\\InprocServer32";
    LoadRegistry(
        "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Classes\\CLSID\\{1}\\InprocServer32]\n"
        "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Classes\\Wow6432Node\\CLSID\\{1}\\InprocServer32]\n");
    FoundEntries entries(registry);
    ScanContext ctx{registry, Files(), list, counters, stop, nullptr, &entries};
    const auto add = [&](const std::string& key, const char* name, ScanCategory category) {
        ctx.Add(key, name, "C:\\gone.dll", category, [](CheckLog&) { return Existence::kMissing; });
    };
    add(machine, "", ScanCategory::FilePathReference);
    // The same path (as named, in any case) is not another path: kept, and
    // nothing is asked of the registry while a file has one path only.
    add("HKLM\\software\\CLASSES\\clsid\\{1}\\InprocServer32", "", ScanCategory::HelpFiles);
    EXPECT_EQ(entries.IdentityLookups(), 0u);
    add(classes, "", ScanCategory::FilePathReference);       // the same value: left out
    add(classes, "Other", ScanCategory::FilePathReference);  // another value
    add(other, "", ScanCategory::FilePathReference);         // another key, named alike
    add(none, "", ScanCategory::FilePathReference);          // no such key: cannot tell
    add("HKLM\\SOFTWARE\\Classes\\CLSID\\{1}", "InprocServer32", ScanCategory::FilePathReference);
    add("HKCR\\CLSID\\{1}", "InprocServer32", ScanCategory::Uninstall);  // a key, not a value
    const std::string gone = "C:\\gone.dll";
    EXPECT_EQ(
        Run([](ScanContext&) {}),
        (std::vector<Found>{{machine, "", gone, 8},
                            {"HKLM\\software\\CLASSES\\clsid\\{1}\\InprocServer32", "", gone, 6},
                            {classes, "Other", gone, 8},
                            {other, "", gone, 8},
                            {none, "", gone, 8},
                            {"HKLM\\SOFTWARE\\Classes\\CLSID\\{1}", "InprocServer32", gone, 8},
                            {"HKCR\\CLSID\\{1}", "InprocServer32", gone, 2}}));
    EXPECT_EQ(counters.totalCount, 7);
    EXPECT_EQ(counters.categoryCount[8], 5);
    // Each key was asked for once, and only once its file had two paths.
    EXPECT_EQ(entries.IdentityLookups(), 4u);
}

// The details dialog may walk the list while the scan worker appends to it.
TEST(FoundItemList, WalkWhileAnotherThreadAppends) {
    FoundItemList list;
    constexpr int kItems = 20000;
    std::atomic<bool> done{false};
    std::thread writer([&] {
        for (int i = 0; i < kItems; ++i)
            list.Append(std::make_unique<FoundItem>("HKLM\\K", std::to_string(i), "", 4));
        done = true;
    });
    bool inOrder = true;
    // The lock is not fair: a reader that walks again at once can keep the
    // writer waiting for as long as it walks, so each walk is followed by a
    // pause, as the details dialog's openings are, and the walks are counted.
    for (int walks = 0; (!done && walks < 500) || walks == 0; ++walks) {
        int expected = 0;
        list.ForEach([&](FoundItem& item) {
            inOrder = inOrder && item.valueName == std::to_string(expected++);
            item.selected = true;
        });
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    writer.join();
    EXPECT_TRUE(inOrder);
    EXPECT_EQ(list.Count(), static_cast<size_t>(kItems));
    list.Clear();
    EXPECT_EQ(list.Count(), 0u);
}

}  // namespace
}  // namespace qm::testing
