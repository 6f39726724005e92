// The Startup Manager page in a real window under Wine, on a sandboxed
// registry and the test's own Startup folders: filling the list switches
// nothing, ticking and unticking rows through the list control switches
// their items, and a picture of the page lands in the build folder.
#include <windows.h>
// After windows.h, which it needs.
#include <commctrl.h>

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "resource.h"
#include "startup/startup_page.h"
#include "startup/startup_switch.h"
#include "tests/startup/startup_world.h"
#include "tests/ui/gui_support.h"
#include "ui/link_label.h"

namespace qm::test {
namespace {

struct Row {
    std::string name, command, location;
    bool checked;
    bool operator==(const Row&) const = default;
};

std::ostream& operator<<(std::ostream& out, const Row& row) {
    return out << row.name << " | " << row.command << " | " << row.location << " | " << row.checked;
}

std::vector<Row> Rows(const ui::ListView& list) {
    std::vector<Row> rows;
    for (int i = 0; i < list.ItemCount(); ++i)
        rows.push_back(
            {list.ItemText(i, 0), list.ItemText(i, 1), list.ItemText(i, 2), list.IsChecked(i)});
    return rows;
}

TEST(StartupPageWindow, RowsSwitchTheirItemsOnlyWhenTheUserTicksThem) {
    std::unique_ptr<StartupWorld> world = StartupWorld::Make();
    world->SetText(hkey::kCurrentUser, startupkey::kRun, "Tool", "C:\\Tool\\tool.exe /min");
    world->SetText(hkey::kLocalMachine, startupkey::kRun, "Tool", "C:\\Tool\\tool.exe /min");
    world->WriteFile(world->userStartup + "\\Notes.lnk", "not a shortcut");
    for (const auto& [name, text] : std::map<std::string, std::string>{
             {"item", "Old"}, {"command", "old.exe"}, {"hkey", "HKCU"}, {"key", "Run"}})
        world->SetText(hkey::kLocalMachine, std::string(startupkey::kRegistryRecords) + "\\Old",
                       name, text);
    const std::vector<std::string> before = world->Snapshot();

    HWND host = CreateWindowExA(0, "STATIC", "host", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 10, 10, 800,
                                500, nullptr, nullptr, GetModuleHandleA(nullptr), nullptr);
    ASSERT_NE(host, nullptr);
    {
        CRegstartup page(GetModuleHandleA(nullptr), world->services());
        ASSERT_TRUE(page.CreateModeless(host));
        SetWindowPos(page.Handle(), HWND_TOP, 0, 0, 642, 359, SWP_SHOWWINDOW);
        ui::testing::Repaint(page.Handle());
        HWND handle = page.Item(IDC_STARTUP_LIST);
        ui::ListView list(handle);

        const auto style =
            static_cast<DWORD>(SendMessageA(handle, LVM_GETEXTENDEDLISTVIEWSTYLE, 0, 0));
        EXPECT_EQ(style & 0x25u, 0x25u);
        EXPECT_EQ(ui::testing::ListColumns(handle),
                  (std::vector<std::pair<std::string, int>>{
                      {"Program", 120}, {"File Name", 250}, {"Location", 110}}));
        auto* title =
            dynamic_cast<ui::CLinkLabel*>(ui::Control::FromHandle(page.Item(IDC_STARTUP_TITLE)));
        auto* description = dynamic_cast<ui::CLinkLabel*>(
            ui::Control::FromHandle(page.Item(IDC_STARTUP_DESCRIPTION)));
        ASSERT_TRUE(title && description);
        EXPECT_EQ(title->LabelText(), "Startup Manager");
        EXPECT_EQ(description->LabelText().rfind("This list displays all Applications", 0), 0u);
        EXPECT_FALSE(title->IsTransparent());

        // Filled, every row ticked or not as its item is, and nothing switched.
        EXPECT_EQ(Rows(list), (std::vector<Row>{
                                  {"Tool", "C:\\Tool\\tool.exe /min", "HKCU/Run", true},
                                  {"Tool", "C:\\Tool\\tool.exe /min", "HKLM/Run", true},
                                  {"Notes", "", "Start Menu", true},
                                  {"Old", "old.exe", "HKCU\\Run", false},
                              }));
        EXPECT_EQ(world->Snapshot(), before);
        ui::testing::Pixels::Capture(page.Handle()).SaveBmp("startup_page.bmp");

        // Selecting a row switches nothing.
        list.Select(1);
        list.Select(3);
        EXPECT_EQ(world->Snapshot(), before);

        // The HKLM row of the program listed twice, the shortcut, and the
        // item listed switched off.
        list.SetChecked(1, false);
        list.SetChecked(2, false);
        list.SetChecked(3, true);
        EXPECT_TRUE(StartupEntryPresent(world->services(), "Tool", "HKCU/Run"));
        EXPECT_FALSE(StartupEntryPresent(world->services(), "Tool", "HKLM/Run"));
        EXPECT_FALSE(StartupEntryPresent(world->services(), "Notes", "Start Menu"));
        EXPECT_TRUE(StartupEntryPresent(world->services(), "Old", "HKCU/Run"));
        EXPECT_EQ(Rows(list), (std::vector<Row>{
                                  {"Tool", "C:\\Tool\\tool.exe /min", "HKCU/Run", true},
                                  {"Tool", "C:\\Tool\\tool.exe /min", "HKLM\\Run", false},
                                  {"Notes", "", "Start Menu", false},
                                  {"Old", "old.exe", "HKCU/Run", true},
                              }));

        // And back, through the same rows.
        list.SetChecked(1, true);
        list.SetChecked(2, true);
        list.SetChecked(3, false);
        EXPECT_EQ(world->Snapshot(), before);
    }
    DestroyWindow(host);
}

}  // namespace
}  // namespace qm::test

int main(int argc, char** argv) {
    INITCOMMONCONTROLSEX controls{sizeof controls, ICC_LISTVIEW_CLASSES};
    InitCommonControlsEx(&controls);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
