// The main window's start-up, timers, repair end and close request, with a
// view that records what the window was told to do.
#include "app/main_window_presenter.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/memory/memory_registry.h"

namespace qm {
namespace {

using Log = std::vector<std::string>;

class RecordingView : public MainWindowView {
  public:
    void RunSplash() override { log.push_back("splash"); }
    void HideWindow() override { log.push_back("hide"); }
    bool IsWindowShown() const override { return shown; }
    void StartTimer(unsigned id, unsigned ms) override {
        log.push_back("timer " + std::to_string(id) + " " + std::to_string(ms));
    }
    void StopTimer(unsigned id) override { log.push_back("kill " + std::to_string(id)); }
    void ShowTrayIcon() override { log.push_back("tray shown"); }
    void HideTrayIcon() override { log.push_back("tray hidden"); }
    void OpenAlert() override { log.push_back("alert"); }
    void PressFind() override { log.push_back("find"); }
    void RefreshBackupList() override { log.push_back("backups"); }
    void ResetFindFix() override { log.push_back("reset"); }
    bool ConfirmExit() override {
        log.push_back("ask");
        return answerOk;
    }
    void EndMainWindow() override { log.push_back("end"); }

    Log Take() { return std::exchange(log, {}); }

    bool answerOk = true;
    bool shown = true;
    Log log;
};

class MainWindowPresenterTest : public ::testing::Test {
  protected:
    void Set(const char* name, int value) { settings_.WriteNumber(kProductName, name, value); }
    int Get(const char* name) const { return settings_.ReadNumber(kProductName, name); }

    MemoryRegistry registry_;
    SettingsStore settings_{registry_};
    RecordingView view_;
};

TEST_F(MainWindowPresenterTest, StartsDependOnSplashSilenceAndFirstStart) {
    const struct {
        const char* name;
        int splash;
        int firstTime;  // -1: not stored
        bool silent;
        Log expected;
    } cases[] = {
        {"first normal start", -1, -1, false, {"hide", "tray hidden", "timer 100 500"}},
        {"later normal start", 0, 1, false, {"hide", "tray hidden"}},
        {"splash", 1, 1, false, {"splash", "hide", "tray hidden"}},
        {"silent with splash",
         5,
         1,
         true,
         {"splash", "hide", "timer 200 100", "timer 300 200", "tray shown"}},
        {"first silent start",
         0,
         0,
         true,
         {"hide", "timer 200 100", "timer 300 200", "tray shown", "timer 100 500"}},
    };
    for (const auto& c : cases) {
        MemoryRegistry registry;
        SettingsStore settings(registry);
        if (c.splash >= 0) settings.WriteNumber(kProductName, setting::kSplashScreen, c.splash);
        if (c.firstTime >= 0) settings.WriteNumber(kProductName, setting::kFirstTime, c.firstTime);
        RecordingView view;
        MainWindowPresenter(view, settings, c.silent).Start();
        EXPECT_EQ(view.log, c.expected) << c.name;
        EXPECT_EQ(settings.ReadNumber(kProductName, setting::kFirstTime), 1) << c.name;
    }
}

TEST_F(MainWindowPresenterTest, OnlyTheFirstStartScans) {
    MainWindowPresenter(view_, settings_, false).Start();
    MainWindowPresenter(view_, settings_, false).Start();
    int scans = 0;
    for (const std::string& e : view_.log) scans += e == "timer 100 500";
    EXPECT_EQ(scans, 1);
}

TEST_F(MainWindowPresenterTest, TimersFireAsTheirRolesSay) {
    MainWindowPresenter presenter(view_, settings_, true);
    // Before the framework's first show the timer keeps waiting for it.
    view_.shown = false;
    presenter.OnTimer(main_timer::kHideAgain);
    EXPECT_EQ(view_.Take(), (Log{"hide"}));
    view_.shown = true;
    presenter.OnTimer(main_timer::kHideAgain);
    EXPECT_EQ(view_.Take(), (Log{"hide", "kill 200"}));
    presenter.OnTimer(main_timer::kAutoFind);
    EXPECT_EQ(view_.Take(), (Log{"kill 100", "find"}));
    // The first alert comes at 200 ms, every later one five minutes after.
    presenter.OnTimer(main_timer::kAlert);
    presenter.OnTimer(main_timer::kAlert);
    EXPECT_EQ(view_.Take(), (Log{"kill 300", "timer 300 300000", "alert", "kill 300",
                                 "timer 300 300000", "alert"}));
    presenter.OnTimer(12345);
    EXPECT_TRUE(view_.log.empty());
}

TEST_F(MainWindowPresenterTest, TheHidingTimerGivesUpWhenNoShowComes) {
    MainWindowPresenter presenter(view_, settings_, true);
    view_.shown = false;
    for (int i = 1; i < main_timer::kHideAgainTries; ++i) presenter.OnTimer(main_timer::kHideAgain);
    EXPECT_EQ(view_.Take(), Log(main_timer::kHideAgainTries - 1, "hide"));
    presenter.OnTimer(main_timer::kHideAgain);
    EXPECT_EQ(view_.Take(), (Log{"hide", "kill 200"}));
}

TEST_F(MainWindowPresenterTest, ACloseAsksOnlyWhenTheSettingSaysSo) {
    MainWindowPresenter presenter(view_, settings_, false);
    presenter.OnCloseRequest();
    EXPECT_EQ(view_.Take(), (Log{"end"}));
    Set(setting::kPdIsCleanShut, 1);
    view_.answerOk = false;
    presenter.OnCloseRequest();
    EXPECT_EQ(view_.Take(), (Log{"ask"}));
    view_.answerOk = true;
    presenter.OnCloseRequest();
    EXPECT_EQ(view_.Take(), (Log{"ask", "end"}));
}

TEST_F(MainWindowPresenterTest, ARepairRefreshesResetsAndMayCloseASecondLater) {
    MainWindowPresenter presenter(view_, settings_, false);
    presenter.OnRepairFinished();
    EXPECT_EQ(view_.Take(), (Log{"backups", "reset"}));

    Set(setting::kShutdownAfterClean, 1);
    presenter.OnRepairFinished();
    EXPECT_EQ(view_.Take(), (Log{"backups", "timer 1000 1000", "reset"}));
    presenter.OnTimer(main_timer::kCloseAfterRepair);
    EXPECT_EQ(view_.Take(), (Log{"kill 1000", "end"}));
}

TEST_F(MainWindowPresenterTest, ACancelledCloseAfterARepairKeepsTheProgramRunning) {
    Set(setting::kShutdownAfterClean, 1);
    Set(setting::kPdIsCleanShut, 1);
    view_.answerOk = false;
    MainWindowPresenter presenter(view_, settings_, false);
    presenter.OnRepairFinished();
    presenter.OnTimer(main_timer::kCloseAfterRepair);
    EXPECT_EQ(view_.Take(), (Log{"backups", "timer 1000 1000", "reset", "kill 1000", "ask"}));
    EXPECT_EQ(Get(setting::kShutdownAfterClean), 1);
}

TEST_F(MainWindowPresenterTest, FirstTimeIsWrittenAlsoWhenItCannotBeStored) {
    // The key exists but may not be written: the start still goes on, and
    // the scan starts again at the next start since the value reads 0.
    Set(setting::kSplashScreen, 0);
    ASSERT_TRUE(registry_.SetProtection(hkey::kLocalMachine, "SOFTWARE\\Quillmend",
                                        MemoryRegistry::Protection::kReadOnly));
    MainWindowPresenter(view_, settings_, false).Start();
    MainWindowPresenter(view_, settings_, false).Start();
    int scans = 0;
    for (const std::string& e : view_.log) scans += e == "timer 100 500";
    EXPECT_EQ(scans, 2);
}

}  // namespace
}  // namespace qm
