// The Find / Stop Find / Fix state machine and the scan worker's steps,
// driven through a fake page with fake scanners.
#include "scan/scan_driver.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <fstream>
#include <map>
#include <mutex>
#include <string>
#include <thread>

#include <unistd.h>
#include <vector>

#include "platform/memory/mapped_file_probe.h"
#include "platform/memory/memory_registry.h"
#include "scan/scan_file_answers.h"

namespace qm {
namespace {

class FakeView : public ScanView {
  public:
    void SetCommandText(const std::string& text) override { Log("command:" + text); }
    void EnableCommand(bool enabled) override { Log(enabled ? "enable" : "disable"); }
    bool IsRowTicked(int row) override { return ticked[row]; }
    void SetItemsFoundCell(int row, const std::string& text) override {
        std::lock_guard<std::mutex> lock(mutex);
        itemsFound[row] = text;
    }
    void SetDetailsCell(int row, const std::string& text, bool link) override {
        std::lock_guard<std::mutex> lock(mutex);
        details[row] = text + (link ? " (link)" : "");
    }
    void SetStatusText(const std::string& text) override { Log("status:" + text); }
    void ShowStatus(bool visible) override { Log(visible ? "status shown" : "status hidden"); }
    void ShowProgressText(const std::string& text) override { Log("progress:" + text); }
    void SetInstruction(const std::string& text) override { Log("instruction:" + text); }
    void ShowBusyBar(bool visible) override { Log(visible ? "busy shown" : "busy hidden"); }
    void StartBusyAnimation(int ms) override { Log("busy start " + std::to_string(ms)); }
    void StopBusyAnimation() override { Log("busy stop"); }
    void ShowClearButton(bool visible) override { Log(visible ? "clear shown" : "clear hidden"); }
    void ShowResultLine(bool visible) override { Log(visible ? "result shown" : "result hidden"); }
    void SetResultText(const std::string& text) override { Log("result:" + text); }
    void ShowMessage(const std::string& text) override { Log("message:" + text); }
    void Repaint() override { Log("repaint"); }
    void EnablePageButtons(bool enabled) override { Log(enabled ? "pages on" : "pages off"); }
    void RestoreMainWindow() override { Log("restore"); }
    void NotifyScanFinished() override { Log("scan finished"); }
    void NotifyRepairFinished() override { Log("repair finished"); }

    void Log(const std::string& event) {
        std::lock_guard<std::mutex> lock(mutex);
        events.push_back(event);
    }
    std::vector<std::string> Events() {
        std::lock_guard<std::mutex> lock(mutex);
        return events;
    }
    bool Saw(const std::string& event) {
        auto e = Events();
        return std::find(e.begin(), e.end(), event) != e.end();
    }
    size_t IndexOf(const std::string& event) {
        auto e = Events();
        return static_cast<size_t>(std::find(e.begin(), e.end(), event) - e.begin());
    }

    bool ticked[kCategoryCount] = {true, true, true, true, true, true, true, true};
    std::mutex mutex;
    std::vector<std::string> events;
    std::map<int, std::string> itemsFound;
    std::map<int, std::string> details;
};

// Fake scanners: category c appends foundPerCategory[c] items, records that
// it ran and whether the stop flag was set when it started.
std::atomic<int> foundPerCategory[kCategoryCount + 1];
std::vector<int> ran;
std::vector<bool> stoppedAtStart;
std::mutex ranMutex;
std::atomic<bool> blockFirst{false};

template <int Category>
void FakeScanner(ScanContext& context) {
    {
        std::lock_guard<std::mutex> lock(ranMutex);
        ran.push_back(Category);
        stoppedAtStart.push_back(context.Stopped());
    }
    for (int i = 0; i < foundPerCategory[Category]; ++i) {
        if (context.Stopped()) return;
        context.Add("HKLM\\Software\\Fake" + std::to_string(Category), "v" + std::to_string(i),
                    "C:\\missing", static_cast<ScanCategory>(Category), [](CheckLog& log) {
                        log.push_back({"C:\\missing", Existence::kMissing});
                        return Existence::kMissing;
                    });
        // The first scanner can be held until the test presses Stop Find.
        while (Category == 1 && blockFirst && !context.Stopped())
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
}

ScannerTable FakeScanners() {
    return {&FakeScanner<1>, &FakeScanner<2>, &FakeScanner<3>, &FakeScanner<4>,
            &FakeScanner<5>, &FakeScanner<6>, &FakeScanner<7>, &FakeScanner<8>};
}

class ScanDriverTest : public ::testing::Test {
  protected:
    void SetUp() override {
        for (auto& f : foundPerCategory) f = 0;
        ran.clear();
        stoppedAtStart.clear();
        blockFirst = false;
    }
    int32_t Setting(const char* name) {
        return SettingsStore(registry).ReadNumber(kProductName, name);
    }

    MemoryRegistry registry;
    MappedFileProbe files{MappedFilesConfig::Defaults()};
    FakeView view;
    ScanDriver driver{registry, files, view, FakeScanners(), [] { return 0u; }};
};

TEST_F(ScanDriverTest, FindRunsTickedCategoriesInOrderAndEndsWithFix) {
    foundPerCategory[2] = 3;
    foundPerCategory[8] = 1;
    view.ticked[3] = false;  // Shared DLLs
    driver.OnFindCommand();
    EXPECT_EQ(view.Events().front(), "command:Stop Find");
    driver.WaitForWorker();

    EXPECT_EQ(ran, (std::vector<int>{1, 2, 3, 5, 6, 7, 8}));
    EXPECT_EQ(driver.counters().totalCount, 4);
    EXPECT_EQ(driver.items().Count(), 4u);
    EXPECT_EQ(view.itemsFound[1], "3 Problems Found");
    EXPECT_EQ(view.details[1], "View Details (link)");
    EXPECT_EQ(view.itemsFound[0], "0 Problems Found");
    EXPECT_EQ(view.details[0], "No Details");
    EXPECT_EQ(view.itemsFound[3], "");
    EXPECT_EQ(view.details[3], "Not Selected");
    EXPECT_TRUE(view.Saw("status:Finding COM/ActiveX Entries..."));
    EXPECT_TRUE(view.Saw("status:Finding Filepath Entries..."));
    EXPECT_FALSE(view.Saw("status:Finding SharedDlls..."));

    EXPECT_EQ(driver.CommandText(), "Fix");
    EXPECT_TRUE(view.Saw(
        "instruction:Click on View Details to see the items details before Fixing the items."));
    EXPECT_TRUE(
        view.Saw("result:Quillmend has found 4 errors on your computer.\nTo repair the "
                 "errors click Fix button."));
    EXPECT_EQ(Setting(setting::kLastFoundErrors), 4);
    // The page buttons come back before the main window is told.
    EXPECT_LT(view.IndexOf("pages off"), view.IndexOf("pages on"));
    EXPECT_LT(view.IndexOf("pages on"), view.IndexOf("scan finished"));
    EXPECT_EQ(view.Events().back(), "enable");
}

TEST_F(ScanDriverTest, NothingFoundEndsWithFindAndNoProblemsText) {
    driver.OnFindCommand();
    driver.WaitForWorker();
    EXPECT_EQ(driver.CommandText(), "Find");
    EXPECT_TRUE(view.Saw("result:No problems found."));
    EXPECT_FALSE(view.Saw("busy stop"));
    EXPECT_EQ(Setting(setting::kLastFoundErrors), 0);
    EXPECT_EQ(ScanResultText(1),
              "Quillmend has found 1 errors on your computer.\nTo repair the errors click Fix "
              "button.");
}

TEST_F(ScanDriverTest, NoTickedRowKeepsThePreviousListAndAsks) {
    driver.items().Append(std::make_unique<FoundItem>("HKLM\\x", "v", "d", 4));
    std::fill(std::begin(view.ticked), std::end(view.ticked), false);
    driver.OnFindCommand();
    driver.WaitForWorker();
    EXPECT_TRUE(view.Saw("message:Please select atleast one item."));
    EXPECT_EQ(driver.CommandText(), "Find");
    EXPECT_EQ(driver.items().Count(), 1u);
    EXPECT_TRUE(ran.empty());
    EXPECT_FALSE(view.Saw("pages off"));
    EXPECT_EQ(view.Events().back(), "enable");
}

TEST_F(ScanDriverTest, StopFindEndsEveryCategoryAndBlocksANewWorkerUntilTheOldEnds) {
    foundPerCategory[1] = 5;
    foundPerCategory[4] = 5;
    blockFirst = true;
    driver.OnFindCommand();
    while (driver.items().Count() == 0) std::this_thread::sleep_for(std::chrono::milliseconds(1));

    driver.OnFindCommand();  // Stop Find
    EXPECT_EQ(driver.CommandText(), "Fix");
    driver.OnFindCommand();  // Fix is refused while the stopped worker is ending ...
    driver.WaitForWorker();
    EXPECT_FALSE(view.Saw("command:Stop Fix"));
    EXPECT_TRUE(view.Saw("disable"));
    EXPECT_EQ(view.Events().back(), "enable");

    // ... every later scanner still started, saw the stop at once, and every
    // ticked row ends with a count.
    EXPECT_EQ(ran.size(), 8u);
    EXPECT_TRUE(
        std::all_of(stoppedAtStart.begin() + 1, stoppedAtStart.end(), [](bool b) { return b; }));
    EXPECT_EQ(driver.counters().totalCount, 1);
    EXPECT_EQ(view.itemsFound[0], "1 Problems Found");
    EXPECT_EQ(view.itemsFound[3], "0 Problems Found");
    EXPECT_EQ(Setting(setting::kLastFoundErrors), 1);
    EXPECT_EQ(driver.CommandText(), "Fix");
}

TEST_F(ScanDriverTest, FixStartsTheRepairAndAutomaticRepairSelectsEverything) {
    std::vector<std::string> repairs;
    driver.SetRepairRoutine([&](bool automatic) {
        int selected = 0;
        driver.items().ForEach([&](const FoundItem& item) { selected += item.selected; });
        repairs.push_back((automatic ? "auto " : "manual ") + std::to_string(selected));
        return true;
    });
    foundPerCategory[3] = 2;
    driver.OnFindCommand();
    driver.WaitForWorker();
    driver.OnFindCommand();  // Fix
    EXPECT_TRUE(view.Saw("command:Stop Fix"));
    EXPECT_TRUE(view.Saw("result hidden"));
    driver.OnFindCommand();  // Stop Fix does nothing
    driver.WaitForWorker();
    ASSERT_EQ(repairs.size(), 1u);
    EXPECT_EQ(repairs[0].substr(0, 6), "manual");

    SettingsStore(registry).WriteNumber(kProductName, setting::kRepairAfterFind, 1);
    FakeView autoView;
    ScanDriver automatic{registry, files, autoView, FakeScanners(), [] { return 0u; }};
    automatic.SetRepairRoutine([&](bool isAutomatic) {
        int selected = 0;
        automatic.items().ForEach([&](const FoundItem& item) { selected += item.selected; });
        repairs.push_back((isAutomatic ? "auto " : "manual ") + std::to_string(selected));
        return true;
    });
    automatic.OnFindCommand();
    automatic.WaitForWorker();
    EXPECT_EQ(repairs.back(), "auto 2");
    EXPECT_EQ(automatic.CommandText(), "Find");
    EXPECT_TRUE(autoView.Saw("repair finished"));
    EXPECT_FALSE(autoView.Saw("scan finished"));
    EXPECT_FALSE(autoView.Saw("result shown"));
}

TEST(ProgressThrottleTest, ShowsAtMostOneTextPer100MillisecondsAndShortensLongOnes) {
    uint32_t now = 0;
    std::vector<std::string> shown;
    ProgressThrottle throttle([&] { return now; },
                              [&](const std::string& t) { shown.push_back(t); });
    now = 50;
    throttle.Progress("too early");  // the remembered tick starts at 0
    now = 101;
    throttle.Progress("first");
    now = 151;
    throttle.Progress("50 ms later");
    now = 201;
    throttle.Progress("exactly 100 ms later");
    now = 202;
    throttle.Progress("101 ms later");
    now = 0xFFFFFFF0u;  // after 49 days: far ahead, not behind
    throttle.Progress("49 days later");
    now = 0x50u;  // the counter wrapped 96 ms later
    throttle.Progress("96 ms later, wrapped");
    now = 0x55u;
    throttle.Progress("101 ms later, wrapped");
    EXPECT_EQ(shown, (std::vector<std::string>{"first", "101 ms later", "49 days later",
                                               "101 ms later, wrapped"}));
    // A program started after 24.8 days of uptime shows its first text.
    ProgressThrottle late([] { return 0x80000100u; },
                          [&](const std::string& t) { shown.push_back(t); });
    late.Progress("after 24.8 days");
    EXPECT_EQ(shown.back(), "after 24.8 days");

    const std::string sixty(60, 'x');
    EXPECT_EQ(ShortenProgressText(sixty), sixty);
    std::string sixtyOne = "ABCDE" + std::string(6, '-') + std::string(50, 'z');
    EXPECT_EQ(ShortenProgressText(sixtyOne), "ABCDE..." + std::string(50, 'z'));
    EXPECT_EQ(ShortenProgressText(sixtyOne).size(), 58u);
}

// A scan asks the file system about each path once and keeps the answer
// for the rest of that scan; the next scan asks again and sees the file.
std::filesystem::path lateFile;
std::vector<bool> answers;

void AskTwice(ScanContext& context) {
    answers.push_back(context.files.PathExists("C:\\late.dll"));
    std::ofstream(lateFile).put('x');
    answers.push_back(context.files.PathExists("C:\\late.dll"));
}

TEST(ScanFileAnswersTest, OneScanKeepsItsAnswersAndTheNextAsksAfresh) {
    const std::filesystem::path root =
        std::filesystem::temp_directory_path() / ("qm-answers-" + std::to_string(::getpid()));
    std::filesystem::create_directories(root);
    lateFile = root / "late.dll";
    answers.clear();
    for (auto& f : foundPerCategory) f = 0;  // nothing found: each press is a Find
    MappedFilesConfig config = MappedFilesConfig::Defaults();
    config.drives['C'] = root.string();
    MemoryRegistry registry;
    MappedFileProbe files(config);
    FakeView view;
    ScannerTable table = FakeScanners();
    table[0] = &AskTwice;
    ScanDriver driver{registry, files, view, table, [] { return 0u; }};
    for (int scan = 0; scan < 2; ++scan) {
        driver.OnFindCommand();
        driver.WaitForWorker();
    }
    EXPECT_EQ(answers, (std::vector<bool>{false, false, true, true}));
    EXPECT_TRUE(files.PathExists("C:\\late.dll"));
    std::filesystem::remove_all(root);
}

// Thousands of distinct paths, some there and some not, keep the answers
// they were first given while the table grows, even once every file exists;
// a folder made through the answers forgets them all.
TEST(ScanFileAnswersTest, ManyPathsKeepTheirOwnAnswers) {
    const std::filesystem::path root =
        std::filesystem::temp_directory_path() / ("qm-many-" + std::to_string(::getpid()));
    std::filesystem::create_directories(root);
    MappedFilesConfig config = MappedFilesConfig::Defaults();
    config.drives['C'] = root.string();
    MappedFileProbe files(config);
    ScanFileAnswers kept(files);
    const auto name = [](int n) { return "C:\\f" + std::to_string(n) + ".dll"; };
    for (int n = 0; n < 3000; n += 7)
        std::ofstream(root / ("f" + std::to_string(n) + ".dll")).put('x');
    for (int round = 0; round < 2; ++round) {
        for (int n = 0; n < 3000; ++n) {
            ASSERT_EQ(kept.PathExists(name(n)), n % 7 == 0) << n;
            ASSERT_EQ(kept.PathExists(name(n) + "x"), false) << n;
        }
        for (int n = 0; n < 3000; ++n)
            std::ofstream(root / ("f" + std::to_string(n) + ".dll")).put('x');
    }
    EXPECT_TRUE(kept.PathExists("C:\\F7.DLL"));
    EXPECT_FALSE(kept.PathExists(name(1)));
    EXPECT_EQ(kept.CreateFolder("C:\\sub"), status::kSuccess);
    EXPECT_TRUE(kept.PathExists(name(1)));
    std::filesystem::remove_all(root);
}

}  // namespace
}  // namespace qm
