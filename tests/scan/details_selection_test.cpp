// The details dialog's model: which items a category's dialog shows, how
// its ticks combine with the category row and with Fix, the click rules of
// the category list, and the geometry of one list entry.
#include "scan/details_selection.h"

#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "platform/memory/mapped_file_probe.h"
#include "platform/memory/memory_registry.h"
#include "scan/details_entry_layout.h"
#include "scan/scan_driver.h"

namespace qm {
namespace {

void Add(FoundItemList& list, int32_t category, const std::string& name) {
    list.Append(std::make_unique<FoundItem>("HKLM\\Software\\K" + std::to_string(category), name,
                                            "C:\\gone\\" + name, category));
}

std::vector<std::string> Names(const DetailsSelection& selection) {
    std::vector<std::string> names;
    for (const FoundItem* item : selection.items()) names.push_back(item->valueName);
    return names;
}

TEST(DetailsSelection, CollectsOnlyTheCategoryInScanOrder) {
    FoundItemList list;
    Add(list, 2, "a");
    Add(list, 3, "x");
    Add(list, 2, "b");
    Add(list, 8, "y");
    Add(list, 2, "c");
    DetailsSelection uninstall(list, 2, true);
    EXPECT_EQ(Names(uninstall), (std::vector<std::string>{"a", "b", "c"}));
    EXPECT_STREQ(uninstall.header(), CategoryDetailsHeader(2));
    // A category whose items were cleared meanwhile opens empty.
    list.Clear();
    EXPECT_EQ(DetailsSelection(list, 2, true).size(), 0u);
}

TEST(DetailsSelection, TickedRowSelectsEveryItemAgainOnEachOpening) {
    FoundItemList list;
    for (const char* name : {"a", "b", "c"}) Add(list, 4, name);
    {
        DetailsSelection first(list, 4, true);
        first.Open();
        EXPECT_EQ(first.SelectedCount(), 3u);
        EXPECT_TRUE(first.Toggle(first.at(1)));
        EXPECT_EQ(first.SelectedCount(), 2u);
    }
    DetailsSelection again(list, 4, true);
    again.Open();
    EXPECT_EQ(again.SelectedCount(), 3u);

    // "Un Select All" then Cancel: the flags stay as left.
    again.UnselectAll();
    DetailsSelection unticked(list, 4, false);
    unticked.Open();
    EXPECT_EQ(unticked.SelectedCount(), 0u);
    unticked.Toggle(unticked.at(2));
    DetailsSelection reopened(list, 4, false);
    reopened.Open();
    EXPECT_EQ(reopened.SelectedCount(), 1u);
    EXPECT_TRUE(reopened.at(2)->selected);
    reopened.SelectAll();
    EXPECT_EQ(reopened.SelectedCount(), 3u);
}

TEST(DetailsSelection, ToggleAndAbandonTouchOnlyTheCollectedItems) {
    FoundItemList list;
    Add(list, 1, "mine");
    Add(list, 5, "other");
    FoundItem* other = nullptr;
    list.ForEach([&](FoundItem& item) {
        if (item.category == 5) other = &item;
    });
    DetailsSelection selection(list, 1, false);
    EXPECT_FALSE(selection.Toggle(other));
    EXPECT_FALSE(selection.Toggle(nullptr));
    EXPECT_FALSE(other->selected);
    selection.Abandon();
    EXPECT_EQ(selection.size(), 0u);
    EXPECT_EQ(selection.at(0), nullptr);
    selection.SelectAll();  // nothing left to touch
    EXPECT_FALSE(other->selected);
}

// A scan appends while the dialog collects: the collection is a consistent
// prefix of the list, in order, and nothing is read while it moves.
TEST(DetailsSelection, CollectsWhileAScanAppends) {
    FoundItemList list;
    constexpr int kItems = 20000;
    std::atomic<bool> started{false};
    std::thread scan([&] {
        for (int i = 0; i < kItems; ++i) {
            list.Append(std::make_unique<FoundItem>("HKLM\\K", std::to_string(i), "", 1 + i % 2));
            started = true;
        }
    });
    while (!started) std::this_thread::yield();
    size_t lastSize = 0;
    for (int round = 0; round < 50; ++round) {
        DetailsSelection selection(list, 1, false);
        ASSERT_GE(selection.size(), lastSize);
        lastSize = selection.size();
        for (size_t i = 0; i < selection.size(); ++i) {
            ASSERT_EQ(selection.at(i)->category, 1);
            ASSERT_EQ(selection.at(i)->valueName, std::to_string(2 * i));
        }
    }
    scan.join();
    EXPECT_EQ(DetailsSelection(list, 1, false).size(), static_cast<size_t>(kItems / 2));
}

using NullView = QuietScanView;

// What the page does on opening a category's details (collect, mark the
// category opened, apply the row's tick), followed by Fix: the repair gets
// every item of categories never opened and exactly the ticked items of
// opened ones.
TEST(DetailsSelection, FixRepairsTheTickedItemsOfOpenedCategories) {
    MemoryRegistry registry;
    MappedFileProbe files{MappedFilesConfig::Defaults()};
    NullView view;
    ScanDriver driver(registry, files, view);
    for (const char* name : {"u1", "u2", "u3"}) Add(driver.items(), 2, name);
    for (const char* name : {"f1", "f2"}) Add(driver.items(), 3, name);
    Add(driver.items(), 6, "h1");
    std::vector<std::string> repaired;
    driver.SetRepairRoutine([&](bool) {
        driver.items().ForEach([&](const FoundItem& item) {
            if (item.selected) repaired.push_back(item.valueName);
        });
        return true;
    });

    DetailsSelection uninstall(driver.items(), 2, true);
    driver.MarkDetailsOpened(2);
    uninstall.Open();
    uninstall.Toggle(uninstall.at(1));
    DetailsSelection helpFiles(driver.items(), 6, true);
    driver.MarkDetailsOpened(6);
    helpFiles.Open();
    helpFiles.UnselectAll();

    driver.SetState(ScanState::kFix);
    driver.OnFindCommand();
    driver.WaitForWorker();
    EXPECT_EQ(repaired, (std::vector<std::string>{"u1", "u3", "f1", "f2"}));
}

TEST(CategoryList, OnlyAViewDetailsCellInTheDetailsColumnOpensDetails) {
    struct Case {
        int row, column;
        const char* text;
        int32_t category;
    } cases[] = {
        {0, 2, "View Details", 1},   {7, 2, "View Details", 8},
        {3, 2, "No Details", 0},     {3, 2, "Selected", 0},
        {3, 2, "Not Selected", 0},   {3, 2, "Finding problems", 0},
        {3, 2, "Problems Fixed", 0}, {3, 2, "3 errors found/fixed", 0},
        {3, 1, "View Details", 0},   {3, 0, "View Details", 0},
        {8, 2, "View Details", 0},   {-1, 2, "View Details", 0},
        {2, 2, "view details", 0},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(DetailsCategoryForClick(c.row, c.column, c.text), c.category)
            << c.row << "," << c.column << " " << c.text;
    }
}

TEST(CategoryList, RowTextsNameTheirCategories) {
    for (int32_t category = 1; category <= kCategoryCount; ++category)
        EXPECT_EQ(CategoryOfRowText(CategoryRowText(category)), category);
    EXPECT_EQ(CategoryOfRowText(""), 0);
    EXPECT_EQ(CategoryOfRowText("Shared DLLs "), 0);
}

TEST(DetailsEntry, TickBoxHitIsStrictlyInsideItsFrame) {
    struct Case {
        int x, y;
        bool inside;
    } cases[] = {
        {3, 10, false},  {4, 10, true},   {16, 10, true},
        {17, 10, false},  // left and right borders
        {10, 6, false},  {10, 7, true},   {10, 18, true},
        {10, 19, false},  // top and bottom borders
        {4, 7, true},    {16, 18, true},  {3, 6, false},
        {17, 19, false},  // corners
        {0, 0, false},   {60, 20, false}, {-5, 10, false},
    };
    for (const Case& c : cases)
        EXPECT_EQ(details_entry::InTickBox(c.x, c.y), c.inside) << c.x << "," << c.y;
}

TEST(DetailsEntry, HeightFitsBothTextsWithinAListBoxEntry) {
    using details_entry::EntryHeight;
    // Four lines of detail text (4 x 13 pixels) plus 10; the three shown
    // lines (3 x 14) fit inside the 15-pixel margins.
    EXPECT_EQ(EntryHeight(52, 42), 72);
    EXPECT_EQ(EntryHeight(65, 42), 75);
    // A Shared DLLs item's three short detail lines would cut the shown ones.
    EXPECT_EQ(EntryHeight(39, 42), 72);
    EXPECT_EQ(EntryHeight(400, 42), details_entry::kMaxHeight);
    EXPECT_EQ(EntryHeight(0, 0), 30);
    EXPECT_EQ(details_entry::ShownTextWidth(440), 370);
    EXPECT_EQ(details_entry::ShownTextWidth(40), 1);
}

TEST(DetailsEntry, ShowsKeyDataAndValueOnThreeLines) {
    FoundItem item("HKLM\\Software\\Fonts", "Arial.ttf", "C:\\Fonts\\Arial.ttf", 3);
    EXPECT_EQ(details_entry::EntryText(item),
              "HKLM\\Software\\Fonts\nC:\\Fonts\\Arial.ttf\nArial.ttf");
}

}  // namespace
}  // namespace qm
