// The headless scanner's reports in code pages other than Windows-1252:
// names and data come out as UTF-8 of the registry's code page, and the
// JSON is valid UTF-8 whatever the bytes.
#include "cli/report.h"

#include <gtest/gtest.h>

#include <sstream>

#include "platform/memory/host_code_page.h"
#include "platform/regtext/reg_text.h"

namespace qm::cli {
namespace {

TEST(ReportTest, NamesAndDataAreUtf8OfTheCodePage) {
    struct Case {
        uint32_t page;
        std::string keyPath, name, data;
        std::string utf8KeyPath, utf8Name, utf8Data;
    } const cases[] = {
        {932, "HKLM\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Paths",
         "\x88\xea\x97\x97\x95\x5c.exe", "C:\\\x83\x5c\x83\x74\x83\x67\\app.exe",
         "HKLM\\\\SOFTWARE\\\\Microsoft\\\\Windows\\\\CurrentVersion\\\\App Paths", "一覧表.exe",
         "C:\\\\ソフト\\\\app.exe"},
        {1251, "HKCU\\Software\\Microsoft\\Windows\\CurrentVersion\\Run",
         "\xcf\xf0\xee\xe3\xf0\xe0\xec\xec\xe0", "C:\\\xcf\xf0\xee\xe3\\a.exe",
         "HKCU\\\\Software\\\\Microsoft\\\\Windows\\\\CurrentVersion\\\\Run", "Программа",
         "C:\\\\Прог\\\\a.exe"},
        // A lead byte with nothing after it: still valid UTF-8.
        {932, "HKCU\\Software", "a\x95", "\x83", "HKCU\\\\Software", "a\uFFFD", "\uFFFD"},
    };
    for (const Case& c : cases) {
        const CodePage& page = *HostCodePage(c.page);
        FoundItemList items;
        items.Append(std::make_unique<FoundItem>(c.keyPath, c.name, c.data,
                                                 static_cast<int32_t>(ScanCategory::AppPaths)));
        ScanCounters counters;
        std::ostringstream json;
        PrintJson(json, items, counters, page);
        const std::string out = json.str();
        std::u16string units;
        EXPECT_TRUE(regtext::Utf8ToUtf16(out, units)) << out;
        EXPECT_NE(out.find("\"keyPath\": \"" + c.utf8KeyPath + "\""), std::string::npos) << out;
        EXPECT_NE(out.find("\"valueName\": \"" + c.utf8Name + "\""), std::string::npos) << out;
        EXPECT_NE(out.find("\"data\": \"" + c.utf8Data + "\""), std::string::npos) << out;

        std::ostringstream text;
        bool scanned[kCategoryCount + 1] = {};
        scanned[static_cast<int>(ScanCategory::AppPaths)] = true;
        PrintText(text, items, counters, scanned, page);
        EXPECT_TRUE(regtext::Utf8ToUtf16(text.str(), units)) << text.str();
        EXPECT_NE(text.str().find(Utf8Text(c.name, page)), std::string::npos) << text.str();
    }
}

}  // namespace
}  // namespace qm::cli
