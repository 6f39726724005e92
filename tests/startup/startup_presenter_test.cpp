// The Startup Manager page's behaviour through a recording list.
#include "startup/startup_presenter.h"

#include <gtest/gtest.h>

#include "repair/entry_remover.h"
#include "tests/startup/startup_world.h"

namespace qm::test {
namespace {

struct RecordingList : StartupView {
    void AddRow(const StartupItem& item) override { rows.push_back(item); }
    void SetLocationText(int row, const std::string& text) override {
        rows.at(row).location = text;
    }
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

}  // namespace
}  // namespace qm::test
