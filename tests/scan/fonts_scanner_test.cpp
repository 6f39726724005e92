#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "scan/scanners.h"
#include "tests/scan/scan_fixture.h"

namespace qm::testing {
namespace {

const std::string kFonts = "HKLM\\SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Fonts";
const std::string kFolders = "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\";

// Fonts in C:\WINDOWS\Fonts and C:\UserFonts, one registered by its full
// path outside both, and a font list with healthy and broken entries.
class FontsScannerTest : public ScanFixture {
  protected:
    FontsScannerTest() {
        for (const char* file : {"C:\\WINDOWS\\Fonts\\arial.ttf", "C:\\WINDOWS\\Fonts\\courbd.ttf",
                                 "C:\\UserFonts\\mine.ttf", "C:\\Program Files\\App\\app.ttf"})
            MakeFile(file);
        MakeFolder("C:\\Empty");
        LoadRegistry(R"reg(
[HKEY_LOCAL_MACHINE\SOFTWARE\Microsoft\Windows NT\CurrentVersion\Fonts]
"Arial"="arial.ttf"
"Courier"="cour*.ttf"
"Mine"="mine.ttf"
"App"="C:\\Program Files\\App\\app.ttf"
"Moved"="C:\\Program Files\\Old\\old.ttf"
"Gone"="gone.ttf"
)reg");
    }

    // Sets the "Fonts" values of the two folder keys (null: no key).
    void SetFolders(const char* user, const char* shell) {
        registry.DeleteTree(hkey::kCurrentUser, "Software");
        if (user)
            LoadRegistry("[HKEY_CURRENT_USER\\" + kFolders + "User Shell Folders]\n\"Fonts\"=\"" +
                         user + "\"\n");
        if (shell)
            LoadRegistry("[HKEY_CURRENT_USER\\" + kFolders + "Shell Folders]\n\"Fonts\"=\"" +
                         shell + "\"\n");
    }

    Texts ReportedNames() {
        list.Clear();
        Texts names;
        for (const auto& [key, name, data, category] : Run(ScanFonts)) names.push_back(name);
        return names;
    }
};

TEST_F(FontsScannerTest, FindsFontsInEitherFolder) {
    struct Case {
        const char* user;   // User Shell Folders "Fonts" as registry text
        const char* shell;  // Shell Folders "Fonts"
        Texts reported;
    } const cases[] = {
        {nullptr, "C:\\\\WINDOWS\\\\Fonts", {"Mine", "Moved", "Gone"}},
        {"C:\\\\UserFonts", "C:\\\\WINDOWS\\\\Fonts", {"Moved", "Gone"}},
        {"C:\\\\Empty", "C:\\\\UserFonts", {"Arial", "Courier", "Moved", "Gone"}},
        // The user's value is expanded before use.
        {"%SystemRoot%\\\\Fonts", nullptr, {"Mine", "Moved", "Gone"}},
        // Neither value, or one that cannot be expanded: the Windows
        // folder's Fonts folder.
        {nullptr, nullptr, {"Mine", "Moved", "Gone"}},
        {"%BIG%", nullptr, {"Mine", "Moved", "Gone"}},
    };
    for (const auto& c : cases) {
        SetFolders(c.user, c.shell);
        EXPECT_EQ(ReportedNames(), c.reported)
            << (c.user ? c.user : "-") << " / " << (c.shell ? c.shell : "-");
    }
}

// No Fonts folder at all: nothing can be tested and nothing is reported.
TEST_F(FontsScannerTest, WithoutAnyFontsFolderNothingIsReported) {
    config.windowsFolder.clear();
    EXPECT_EQ(ReportedNames(), Texts{});
}

TEST_F(FontsScannerTest, ReportsDataAsReadAndSendsOnlyKeyTexts) {
    SetFolders(nullptr, "C:\\\\WINDOWS\\\\Fonts");
    EXPECT_EQ(Run(ScanFonts),
              (std::vector<Found>{{kFonts, "Mine", "mine.ttf", 3},
                                  {kFonts, "Moved", "C:\\Program Files\\Old\\old.ttf", 3},
                                  {kFonts, "Gone", "gone.ttf", 3}}));
    const Texts keys = {kFolders + "User Shell Folders", kFolders + "Shell Folders",
                        "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Fonts"};
    EXPECT_EQ(sink.texts, keys);

    // Stopped: the folder reads still happen, no font is examined.
    sink.texts.clear();
    sink.stopAt = keys[2];
    EXPECT_EQ(ReportedNames(), Texts{});
    EXPECT_EQ(sink.texts, keys);
}

}  // namespace
}  // namespace qm::testing
