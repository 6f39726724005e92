// The Startup Manager page's behaviour through a recording list.
#include "startup/startup_presenter.h"

#include <gtest/gtest.h>

#include "repair/entry_remover.h"
#include "startup/startup_sources.h"
#include "tests/startup/startup_world.h"

namespace qm::test {
namespace {

struct RecordingList : StartupView {
    void AddRow(const StartupItem& item) override { rows.push_back(item); }
    void UpdateRow(int row, const StartupItem& item) override { rows.at(row) = item; }
    std::vector<StartupItem> rows;
};

constexpr uint32_t kUnticked = 0x1000, kTicked = 0x2000, kSelected = 0x0002;

class StartupPage : public ::testing::Test {
  protected:
    StartupPage() {
        world->SetText(hkey::kCurrentUser, startupkey::kRun, "Tool", "C:\\Tool\\tool.exe");
        world->SetText(hkey::kLocalMachine, startupkey::kRun, "Tool", "C:\\Tool\\tool.exe");
        world->WriteFile(world->userStartup + "\\Notes.lnk", "shortcut bytes");
        for (const auto& [name, text] : std::map<std::string, std::string>{
                 {"item", "Old"}, {"command", "old.exe"}, {"hkey", "HKCU"}, {"key", "Run"}})
            world->SetText(hkey::kLocalMachine, std::string(startupkey::kRegistryRecords) + "\\Old",
                           name, text);
        before = world->Snapshot();
    }

    std::unique_ptr<StartupWorld> world = StartupWorld::Make();
    EntryRemover remover{world->registry(), world->files()};
    RecordingList list;
    StartupPresenter page{world->services(), remover, list};
    std::vector<std::string> before;
};

TEST_F(StartupPage, FillingTheListSwitchesNothing) {
    page.OnItemChanged(0, kTicked, kUnticked);  // before the list is filled
    page.Initialise();
    EXPECT_EQ(list.rows, (std::vector<StartupItem>{{"Tool", "C:\\Tool\\tool.exe", "HKCU/Run", true},
                                                   {"Tool", "C:\\Tool\\tool.exe", "HKLM/Run", true},
                                                   {"Notes", "", "Start Menu", true},
                                                   {"Old", "old.exe", "HKCU\\Run", false}}));
    EXPECT_EQ(world->Snapshot(), before);
    // Notifications that carry the row's current check image (selection
    // changes) or no state at all change nothing either.
    page.OnItemChanged(0, 0, kTicked | kSelected);
    page.OnItemChanged(3, 0, kUnticked | kSelected);
    page.OnItemChanged(1, 0, 0);
    EXPECT_EQ(world->Snapshot(), before);
}

// Each row is switched through its own location, and can be switched back
// while the page lives because its location follows the switch.
TEST_F(StartupPage, RowsSwitchOffAndBackOn) {
    page.Initialise();
    page.OnItemChanged(1, kTicked, kUnticked);  // HKLM/Run Tool
    EXPECT_EQ(list.rows[1].location, "HKLM\\Run");
    EXPECT_TRUE(StartupEntryPresent(world->services(), "Tool", "HKCU/Run"));
    EXPECT_FALSE(StartupEntryPresent(world->services(), "Tool", "HKLM/Run"));
    page.OnItemChanged(2, kTicked, kUnticked);  // Notes
    page.OnItemChanged(3, kUnticked, kTicked);  // Old, listed off
    EXPECT_EQ(list.rows[3].location, "HKCU/Run");
    page.OnItemChanged(3, kTicked, kUnticked);
    EXPECT_EQ(list.rows[3].location, "HKCU\\Run");

    page.OnItemChanged(1, kUnticked, kTicked);
    page.OnItemChanged(2, kUnticked, kTicked);
    EXPECT_EQ(list.rows[1].location, "HKLM/Run");
    EXPECT_EQ(world->Snapshot(), before);
}

// After every attempt the row's box shows what Windows will do at the next
// log-on, whatever the user clicked: a switch that is refused or fails
// leaves the row as it was, and an item found gone shows as off.
TEST_F(StartupPage, EachRowShowsTheItemsRealStateAfterAnAttempt) {
    for (const auto& [name, command] : std::map<std::string, std::string>{
             {"", "default.exe"}, {"a\\b", "slash.exe"}, {"Gone", "gone.exe"}})
        world->SetText(hkey::kCurrentUser, startupkey::kRun, name, command);
    world->WriteFile(world->windows + "\\pss", "a file: no pss folder can be made");
    page.Initialise();
    // Rows by name and location (the live registry lists values in an
    // order of its own).
    auto click = [&](const std::string& name, const char* where, bool tick) {
        size_t row = 0;
        while (row < list.rows.size() &&
               !(list.rows[row].name == name && list.rows[row].location == where))
            ++row;
        EXPECT_LT(row, list.rows.size()) << name;
        if (row == list.rows.size()) return !tick;
        list.rows[row].switchedOn = tick;  // as the list control does
        page.OnItemChanged(static_cast<int>(row), tick ? kUnticked : kTicked,
                           tick ? kTicked : kUnticked);
        return list.rows[row].switchedOn;
    };
    EXPECT_TRUE(click("", "HKCU/Run", false));         // no record can hold an empty name,
    EXPECT_TRUE(click("a\\b", "HKCU/Run", false));     // nor one with a backslash
    EXPECT_TRUE(click("Notes", "Start Menu", false));  // no pss folder for its copy
    RegKey run(world->registry());
    ASSERT_EQ(run.Open(hkey::kCurrentUser, startupkey::kRun, access::kAllAccess), status::kSuccess);
    world->registry().DeleteValue(run.get(), "Gone");
    EXPECT_FALSE(click("Gone", "HKCU/Run", false));  // gone meanwhile: it will not run

    // Old comes back into a Run key that holds another "Old" meanwhile:
    // nothing is overwritten, and the row stays off.
    world->SetText(hkey::kCurrentUser, startupkey::kRun, "Old", "other.exe");
    EXPECT_FALSE(click("Old", "HKCU\\Run", true));
    EXPECT_EQ(world->Values(hkey::kCurrentUser, startupkey::kRun).at("Old"),
              std::string("1:other.exe") + '\0');

    // The Run key takes no deletions now: the record is written, the value
    // stays, and the row stays on; trying again writes no second record.
    world->Deny(hkey::kCurrentUser, startupkey::kRun, access::kSetValue);
    EXPECT_TRUE(click("Tool", "HKCU/Run", false));
    EXPECT_TRUE(click("Tool", "HKCU/Run", false));
    EXPECT_TRUE(StartupEntryPresent(world->services(), "Tool", "HKCU/Run"));
    EXPECT_TRUE(
        world->Values(hkey::kLocalMachine, std::string(startupkey::kRegistryRecords) + "\\Tool (2)")
            .empty());
}

// Windows 8 and later: the Task Manager holds an item off in its
// StartupApproved keys while the item stays in place. Such a row is
// unticked; ticking it clears the flag and its time, and nothing else.
TEST_F(StartupPage, ItemsTheSystemHoldsOffComeOnByClearingItsFlag) {
    const std::string approved =
        "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\StartupApproved\\";
    // Twelve bytes each with the zero SetText adds: the flag, three zeros,
    // the time it was switched off.
    const std::string off("\x03\0\0\0\x11\x22\x33\x44\x55\x66\x77", 11);
    const std::string on("\x02\0\0\0\0\0\0\0\0\0\0", 11);
    world->SetText(hkey::kCurrentUser, approved + "Run", "Tool", off, regtype::kBinary);
    world->SetText(hkey::kLocalMachine, approved + "Run", "Tool", on, regtype::kBinary);
    world->SetText(hkey::kCurrentUser, approved + "StartupFolder", "Notes.lnk", off,
                   regtype::kBinary);
    const auto others = [&] {
        std::vector<std::string> lines;
        for (const std::string& line : world->Snapshot())
            if (line.find("StartupApproved") == std::string::npos) lines.push_back(line);
        return lines;
    };
    page.Initialise();
    EXPECT_EQ(list.rows,
              (std::vector<StartupItem>{{"Tool", "C:\\Tool\\tool.exe", "HKCU/Run", false, true},
                                        {"Tool", "C:\\Tool\\tool.exe", "HKLM/Run", true},
                                        {"Notes", "", "Start Menu", false, true},
                                        {"Old", "old.exe", "HKCU\\Run", false}}));

    page.OnItemChanged(0, kUnticked, kTicked);
    page.OnItemChanged(2, kUnticked, kTicked);
    EXPECT_TRUE(list.rows[0].switchedOn && list.rows[2].switchedOn);
    EXPECT_FALSE(list.rows[0].heldBySystem || list.rows[2].heldBySystem);
    EXPECT_EQ(others(), before);
    const std::string released = "3:" + on + std::string(1, '\0');
    EXPECT_EQ(world->Values(hkey::kCurrentUser, approved + "Run"),
              (std::map<std::string, std::string>{{"Tool", released}}));
    EXPECT_EQ(world->Values(hkey::kCurrentUser, approved + "StartupFolder"),
              (std::map<std::string, std::string>{{"Notes.lnk", released}}));
    // Listed again, everything is on.
    std::vector<StartupItem> again;
    EnumerateStartupItems(world->services(), again);
    for (const StartupItem& item : again)
        EXPECT_EQ(item.switchedOn, item.name != "Old") << item.name << " " << item.location;
}

}  // namespace
}  // namespace qm::test
