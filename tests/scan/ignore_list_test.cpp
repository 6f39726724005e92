// The ignore list: which items an entry hides (and that it never reaches
// beyond them except to keep an ignored entry from being deleted with its
// key), the line form, the stored list, and taking items out of a scan's
// list with their counts.
#include "scan/ignore_list.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "platform/memory/memory_registry.h"

namespace qm::testing {
namespace {

constexpr const char* kUninstall = "HKLM\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall";
constexpr const char* kFonts = "HKLM\\SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Fonts";

IgnoreEntry Parsed(const std::string& line) {
    IgnoreEntry entry;
    std::string error;
    EXPECT_TRUE(ParseEntryLine(line, entry, error)) << line << ": " << error;
    return entry;
}

TEST(IgnoreList, HidesWhatItsEntriesNameAndWhatWouldDeleteThem) {
    const FoundItem uninstall(kUninstall, "GoneToolbar", "C:\\gone\\uninstall.exe", 2);
    const FoundItem font(kFonts, "Gone Script (TrueType)", "gonescr.ttf", 3);
    const FoundItem value(std::string(kUninstall) + "\\GoneToolbar", "DisplayIcon", "C:\\g.ico", 8);
    const FoundItem comClass("HKCR\\CLSID\\{1}", "AppID", "{A}", 1);
    const FoundItem comServer("HKCR\\CLSID\\{1}\\InprocServer32", "(Default)", "C:\\g.dll", 1);
    const struct {
        const char* line;
        const FoundItem& item;
        bool hidden;
    } cases[] = {
        // One item: its category, key and value name, without regard to case.
        {"3\tHKLM\\SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Fonts\tGone Script (TrueType)",
         font, true},
        {"3\thklm\\software\\microsoft\\windows nt\\currentversion\\fonts\tgone script (truetype)",
         font, true},
        {"8\tHKLM\\SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Fonts\tGone Script (TrueType)",
         font, false},
        {"3\tHKLM\\SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Fonts\tOther", font, false},
        // A whole key hides the items at it and below it, of the category given
        // or of all; the long root names read as the short ones.
        {"*\tHKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Fonts\\", font,
         true},
        {"2\tHKLM\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall", uninstall, true},
        {"8\tHKLM\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall", uninstall, false},
        {"*\tHKLM\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\GoneToolbar", value,
         true},
        {"*\tHKLM\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\GoneToolbar", uninstall,
         true},
        // A key that only starts with the same letters is another key.
        {"*\tHKLM\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Gone", uninstall,
         false},
        // A key item whose repair would delete an ignored entry with its key
        // is left out too; a value item never deletes anything but itself.
        {"8\tHKLM\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\GoneToolbar\t"
         "DisplayIcon",
         uninstall, true},
        {"1\tHKCR\\CLSID\\{1}\\InprocServer32\t(Default)", comClass, true},
        {"1\tHKCR\\CLSID\\{1}\tAppID", comServer, false},
        {"2\tHKLM\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\tGoneToolbar", value,
         false},
    };
    for (const auto& c : cases) {
        const IgnoreList list({Parsed(c.line)});
        EXPECT_EQ(list.Hides(c.item), c.hidden) << c.line << " / " << c.item.valueName;
    }
    EXPECT_FALSE(IgnoreList().Hides(font));
}

TEST(IgnoreList, LinesReadBackAndBadLinesSayWhy) {
    const FoundItem startup("HKCU\\Software\\Microsoft\\Windows\\CurrentVersion\\Run",
                            "Tab\tin name", "x", 7);
    for (const IgnoreEntry& entry : {ItemEntry(startup), KeyEntry(startup)}) {
        EXPECT_EQ(Parsed(EntryLine(entry)), entry) << EntryLine(entry);
    }
    EXPECT_EQ(EntryLine(KeyEntry(FoundItem(kUninstall, "Gone", "x", 2))),
              std::string("*\t") + kUninstall + "\\Gone");
    EXPECT_EQ(EntryDisplayText(ItemEntry(startup)),
              "Windows Startup Items: HKCU\\Software\\Microsoft\\Windows\\CurrentVersion\\Run, "
              "\"Tab\tin name\"");

    for (const char* bad : {"", "3", "9\tHKLM\\X", "0\tHKLM\\X", "33\tHKLM\\X", "3\tHKXX\\X",
                            "3\tSOFTWARE\\X\tv", "*\tHKLM\\X\tv"}) {
        IgnoreEntry entry;
        std::string error;
        EXPECT_FALSE(ParseEntryLine(bad, entry, error)) << bad;
        EXPECT_FALSE(error.empty()) << bad;
    }
}

// Stored in the settings key, entry by entry, whether or not their keys
// exist; storing a shorter list removes what is past its end.
TEST(IgnoreList, StoredListSurvivesAndShrinks) {
    MemoryRegistry registry;
    const SettingsStore settings(registry);
    EXPECT_TRUE(LoadIgnoreList(settings).Empty());
    IgnoreList list;
    for (int i = 1; i <= 12; ++i)
        list.Add(IgnoreEntry{3, kFonts, "Font " + std::to_string(i), false});
    list.Add(IgnoreEntry{3, kFonts, "Font 1", false});  // once only
    list.Add(IgnoreEntry{0, "HKLM\\SOFTWARE\\Gone Vendor", "", true});
    StoreIgnoreList(settings, list);
    EXPECT_EQ(LoadIgnoreList(settings).entries(), list.entries());  // in order, past "9"

    StoreIgnoreList(settings, IgnoreList({list.entries().back()}));
    EXPECT_EQ(LoadIgnoreList(settings).entries(), std::vector<IgnoreEntry>{list.entries().back()});
    EXPECT_EQ(settings.ReadList(kProductName, "Ignore").size(), 1u);
}

TEST(IgnoreList, DropIgnoredTakesItemsOutWithTheirCounts) {
    FoundItemList items;
    ScanCounters counters;
    for (const char* name : {"a", "b", "c"}) {
        items.Append(std::make_unique<FoundItem>(kFonts, name, "x.ttf", 3));
        ++counters.categoryCount[3];
        ++counters.totalCount;
    }
    items.Append(std::make_unique<FoundItem>(kUninstall, "b", "x.exe", 2));
    ++counters.categoryCount[2];
    ++counters.totalCount;

    EXPECT_EQ(DropIgnored(items, counters, IgnoreList({IgnoreEntry{3, kFonts, "B", false}})), 1);
    EXPECT_EQ(DropIgnored(items, counters, IgnoreList({IgnoreEntry{0, kFonts, "", true}})), 2);
    std::vector<std::string> left;
    items.ForEach([&](const FoundItem& item) { left.push_back(item.valueName); });
    EXPECT_EQ(left, std::vector<std::string>{"b"});
    EXPECT_EQ(counters.categoryCount[3], 0);
    EXPECT_EQ(counters.categoryCount[2], 1);
    EXPECT_EQ(counters.totalCount, 1);
    EXPECT_EQ(counters.ignoredCount, 3);
}

}  // namespace
}  // namespace qm::testing
