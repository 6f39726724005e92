// The Options page's rules against the in-memory registry: what is stored
// when, and in which order Apply writes.
#include "app/options_presenter.h"

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "platform/memory/memory_registry.h"

namespace qm {
namespace {

class FakeOptionsView : public OptionsView {
  public:
    bool IsChecked(Option option) const override {
        auto it = boxes.find(option);
        return it != boxes.end() && it->second;
    }
    void SetChecked(Option option, bool checked) override { boxes[option] = checked; }
    // The user clicks a box: it toggles itself first.
    void Click(OptionsPresenter& presenter, Option option) {
        boxes[option] = !IsChecked(option);
        presenter.OnCheckBoxClicked(option);
    }

    std::map<Option, bool> boxes;
};

class OptionsPresenterTest : public ::testing::Test {
  protected:
    std::string Stored(const char* name) const {
        RegKey key(registry_);
        if (key.Open(hkey::kLocalMachine, "SOFTWARE\\Quillmend", access::kRead) != status::kSuccess)
            return "<none>";
        char data[64];
        uint32_t type = 0;
        uint32_t size = sizeof data;
        if (registry_.QueryValue(key.get(), name, &type, reinterpret_cast<uint8_t*>(data), &size) !=
            status::kSuccess)
            return "<none>";
        // The registry keeps text values terminated, as the system does.
        std::string text(data, size);
        while (!text.empty() && text.back() == '\0') text.pop_back();
        return text;
    }
    // The value names in the order they were first written.
    std::vector<std::string> WrittenOrder() const {
        std::vector<std::string> names;
        RegKey key(registry_);
        if (key.Open(hkey::kLocalMachine, "SOFTWARE\\Quillmend", access::kRead) != status::kSuccess)
            return names;
        for (uint32_t i = 0;; ++i) {
            char name[256];
            uint32_t size = sizeof name;
            if (registry_.EnumValue(key.get(), i, name, &size, nullptr, nullptr, nullptr) !=
                status::kSuccess)
                break;
            names.emplace_back(name, size);
        }
        return names;
    }

    mutable MemoryRegistry registry_;
    SettingsStore settings_{registry_};
    FakeOptionsView view_;
    OptionsPresenter presenter_{view_, settings_};
};

TEST_F(OptionsPresenterTest, LoadChecksTheBoxesOfNonZeroSettings) {
    settings_.WriteText(kProductName, setting::kShutdownAfterClean, "2");
    settings_.WriteText(kProductName, setting::kRepairAfterFind, "0");
    settings_.WriteText(kProductName, setting::kSplashScreen, "x");
    view_.boxes = {{Option::kRepairAfterFind, true}, {Option::kSplashScreen, true}};
    presenter_.Load();
    EXPECT_TRUE(view_.IsChecked(Option::kShutdownAfterClean));
    EXPECT_FALSE(view_.IsChecked(Option::kRepairAfterFind));
    EXPECT_FALSE(view_.IsChecked(Option::kSplashScreen));
}

TEST_F(OptionsPresenterTest, OnlyTheRepairBoxIsStoredAtOnce) {
    presenter_.Load();
    view_.Click(presenter_, Option::kRepairAfterFind);
    EXPECT_EQ(Stored(setting::kRepairAfterFind), "1");
    view_.Click(presenter_, Option::kShutdownAfterClean);
    view_.Click(presenter_, Option::kSplashScreen);
    EXPECT_EQ(Stored(setting::kShutdownAfterClean), "<none>");
    EXPECT_EQ(Stored(setting::kSplashScreen), "<none>");
    view_.Click(presenter_, Option::kRepairAfterFind);
    EXPECT_EQ(Stored(setting::kRepairAfterFind), "0");
}

TEST_F(OptionsPresenterTest, ALabelOnlyTogglesItsBox) {
    settings_.WriteNumber(kProductName, setting::kRepairAfterFind, 0);
    presenter_.Load();
    for (Option option :
         {Option::kRepairAfterFind, Option::kShutdownAfterClean, Option::kSplashScreen}) {
        presenter_.OnLabelClicked(option);
        EXPECT_TRUE(view_.IsChecked(option));
    }
    EXPECT_EQ(Stored(setting::kRepairAfterFind), "0");
    EXPECT_EQ(Stored(setting::kShutdownAfterClean), "<none>");
    presenter_.OnLabelClicked(Option::kSplashScreen);
    EXPECT_FALSE(view_.IsChecked(Option::kSplashScreen));
}

TEST_F(OptionsPresenterTest, ApplyStoresAllThreeInItsOrder) {
    presenter_.Load();
    view_.SetChecked(Option::kShutdownAfterClean, true);
    view_.SetChecked(Option::kSplashScreen, false);
    view_.SetChecked(Option::kRepairAfterFind, true);
    presenter_.Apply();
    EXPECT_EQ(WrittenOrder(),
              (std::vector<std::string>{setting::kSplashScreen, setting::kShutdownAfterClean,
                                        setting::kRepairAfterFind}));
    EXPECT_EQ(Stored(setting::kSplashScreen), "0");
    EXPECT_EQ(Stored(setting::kShutdownAfterClean), "1");
    EXPECT_EQ(Stored(setting::kRepairAfterFind), "1");
}

}  // namespace
}  // namespace qm
