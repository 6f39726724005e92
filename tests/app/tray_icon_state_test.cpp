// The notification-area icon's bookkeeping against a stand-in shell that
// behaves as the real one does: an add of an icon it already holds fails,
// a delete of one it does not hold fails, and it can be made to be missing.
#include "app/tray_icon_state.h"

#include <gtest/gtest.h>

namespace qm {
namespace {

class FakeShell : public TrayShell {
  public:
    bool AddIcon() override {
        ++adds;
        if (!running || holdsIcon) return false;
        holdsIcon = true;
        return true;
    }
    bool DeleteIcon() override {
        ++deletes;
        if (!running || !holdsIcon) return false;
        holdsIcon = false;
        return true;
    }
    // The shell ends; a new one starts without icons.
    void Restart() { holdsIcon = false; }

    bool running = true;
    bool holdsIcon = false;
    int adds = 0;
    int deletes = 0;
};

TEST(TrayIconState, NeedsWindows95OrLater) {
    FakeShell shell;
    TrayIconState tray(shell);
    EXPECT_FALSE(tray.Create(3, true));
    EXPECT_FALSE(tray.Enabled());
    tray.Show();
    tray.OnTaskbarCreated();
    EXPECT_EQ(shell.adds, 0);
    EXPECT_TRUE(tray.Create(4, true));
    EXPECT_TRUE(tray.Enabled());
}

TEST(TrayIconState, AHiddenStartAddsNothingAndLeavesNothingBehind) {
    FakeShell shell;
    {
        TrayIconState tray(shell);
        ASSERT_TRUE(tray.Create(5, true));
        EXPECT_TRUE(tray.Hidden());
        EXPECT_TRUE(tray.Removed());
        tray.Hide();  // normal mode keeps it hidden
        // Neither the shell's restart nor a work-area change brings back an
        // icon that was never shown.
        shell.Restart();
        tray.OnTaskbarCreated();
        tray.OnWorkAreaChanged();
        tray.Remove();
    }
    EXPECT_EQ(shell.adds, 0);
    EXPECT_EQ(shell.deletes, 0);
}

TEST(TrayIconState, ShowAddsOnceAndRemoveTakesItAway) {
    FakeShell shell;
    TrayIconState tray(shell);
    ASSERT_TRUE(tray.Create(5, true));
    tray.Show();
    EXPECT_TRUE(shell.holdsIcon);
    EXPECT_FALSE(tray.Hidden());
    EXPECT_FALSE(tray.Removed());
    EXPECT_FALSE(tray.Pending());
    tray.Show();
    EXPECT_EQ(shell.adds, 1);
    tray.Remove();
    EXPECT_FALSE(shell.holdsIcon);
    EXPECT_TRUE(tray.Removed());
    tray.Remove();
    EXPECT_EQ(shell.deletes, 1);
}

TEST(TrayIconState, HideDeletesAndShowAddsAgain) {
    FakeShell shell;
    TrayIconState tray(shell);
    ASSERT_TRUE(tray.Create(5, false));
    EXPECT_TRUE(shell.holdsIcon);
    tray.Hide();
    EXPECT_FALSE(shell.holdsIcon);
    EXPECT_TRUE(tray.Hidden());
    EXPECT_TRUE(tray.Removed());
    tray.Hide();
    EXPECT_EQ(shell.deletes, 1);
    tray.Show();
    EXPECT_TRUE(shell.holdsIcon);
}

TEST(TrayIconState, AVisibleIconComesBackAfterTheShellRestarts) {
    FakeShell shell;
    TrayIconState tray(shell);
    ASSERT_TRUE(tray.Create(5, true));
    tray.Show();
    shell.Restart();
    tray.OnTaskbarCreated();
    EXPECT_TRUE(shell.holdsIcon);
    EXPECT_FALSE(tray.Pending());
    EXPECT_FALSE(tray.Removed());
}

TEST(TrayIconState, AWorkAreaChangeKeepsExactlyOneIcon) {
    FakeShell shell;
    TrayIconState tray(shell);
    ASSERT_TRUE(tray.Create(5, true));
    tray.Show();
    // The shell still holds the icon: adding it again alone would fail.
    tray.OnWorkAreaChanged();
    EXPECT_TRUE(shell.holdsIcon);
    EXPECT_FALSE(tray.Pending());
    // The shell dropped it meanwhile.
    shell.Restart();
    tray.OnWorkAreaChanged();
    EXPECT_TRUE(shell.holdsIcon);
    EXPECT_FALSE(tray.Removed());
}

TEST(TrayIconState, ASilentStartBeforeTheShellGetsItsIconWhenTheShellArrives) {
    // Started at log-on before the taskbar exists: every add fails at first.
    FakeShell shell;
    shell.running = false;
    TrayIconState tray(shell);
    ASSERT_TRUE(tray.Create(5, true));
    tray.Show();
    EXPECT_TRUE(tray.Pending());
    EXPECT_TRUE(tray.Removed());
    EXPECT_FALSE(shell.holdsIcon);
    // A second failure on a work-area change keeps it pending.
    tray.OnWorkAreaChanged();
    EXPECT_TRUE(tray.Pending());
    shell.running = true;
    tray.OnTaskbarCreated();
    EXPECT_TRUE(shell.holdsIcon);
    EXPECT_FALSE(tray.Pending());
    EXPECT_FALSE(tray.Hidden());
}

TEST(TrayIconState, AVisibleStartThatFailsReportsItAndRetriesLater) {
    FakeShell shell;
    shell.running = false;
    TrayIconState tray(shell);
    EXPECT_FALSE(tray.Create(5, false));
    EXPECT_TRUE(tray.Pending());
    EXPECT_TRUE(tray.Removed());
    shell.running = true;
    tray.OnWorkAreaChanged();
    EXPECT_TRUE(shell.holdsIcon);
    EXPECT_FALSE(tray.Pending());
}

TEST(TrayIconState, HidingCancelsAPendingAdd) {
    FakeShell shell;
    shell.running = false;
    TrayIconState tray(shell);
    ASSERT_TRUE(tray.Create(5, true));
    tray.Show();
    tray.Hide();
    EXPECT_FALSE(tray.Pending());
    shell.running = true;
    tray.OnTaskbarCreated();
    EXPECT_FALSE(shell.holdsIcon);
}

}  // namespace
}  // namespace qm
