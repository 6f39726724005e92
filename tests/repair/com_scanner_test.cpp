#include <algorithm>
#include <string>
#include <vector>

#include "scan/scanners.h"
#include "tests/repair/scanner_world.h"

namespace qm::repairtest {
namespace {

constexpr HKey kCr = hkey::kClassesRoot;
constexpr int kCom = 1;
using Protection = MemoryRegistry::Protection;

class ComScannerTest : public ScannerWorld {
  protected:
    std::vector<Found> Scan() { return Run(ScanComActiveX); }
};

// Server values next to healthy ones: only a drive path whose file is gone is
// reported, with the path as extracted.
TEST_F(ComScannerTest, ReportsServerFilesThatAreGone) {
    MakeFile("C:\\App\\there.dll");
    MakeFile("C:\\WINDOWS\\system32\\ole32.dll");
    MakeFolder("C:\\App\\folder");
    SetEnv("APPDIR", "C:\\App");
    SetEnv("BIG", std::string(1100, 'x'));

    struct Case {
        const char* value;
        const char* reported;  // null: no item
    };
    const Case cases[] = {
        {"\"C:\\Gone\\x.dll\" /s", "C:\\Gone\\x.dll"},
        {"C:\\Gone\\app.exe -Embedding", "C:\\Gone\\app.exe"},
        {"%APPDIR%\\gone.ocx", "C:\\App\\gone.ocx"},
        {"c:\\app\\THERE.DLL", nullptr},
        {"%APPDIR%\\there.dll", nullptr},
        {"C:\\App\\folder", nullptr},
        {"ole32.dll", nullptr},      // bare name: never judged
        {"gone32.dll", nullptr},     // bare name, on no path either
        {"App\\gone.dll", nullptr},  // relative
        {"\\\\server\\share\\gone.dll", nullptr},
        {"%BIG%\\gone.dll", nullptr},  // cannot be expanded within the limit
    };
    std::vector<Found> expected;
    int n = 0;
    for (const Case& c : cases) {
        const std::string clsid = Numbered("{C", n++) + "}";
        SetText(kCr, "CLSID\\" + clsid + "\\InprocServer32", "", c.value);
        SetText(kCr, "CLSID\\" + clsid + "\\InprocServer32", "ThreadingModel", "C:\\Gone.dll");
        if (c.reported != nullptr)
            expected.push_back(
                {"HKCR\\CLSID\\" + clsid + "\\InprocServer32", "(Default)", c.reported, kCom});
    }
    // Subkeys enumerate in name order: {C10} comes before {C2}.
    std::sort(expected.begin(), expected.end(),
              [](const Found& a, const Found& b) { return a.keyPath < b.keyPath; });
    EXPECT_EQ(Scan(), expected);
}

TEST_F(ComScannerTest, EachServerKindIsExaminedInOrder) {
    MakeFile("C:\\App\\handler.dll");
    const std::string cls = "CLSID\\{A}";
    SetText(kCr, cls + "\\LocalServer32", "", "C:\\Gone\\local.exe");
    SetText(kCr, cls + "\\InprocServer32", "", "C:\\Gone\\inproc.dll");
    SetText(kCr, cls + "\\InprocHandler32", "", "C:\\App\\handler.dll");
    SetText(kCr, cls + "\\inprocHANDLER", "", "C:\\Gone\\h16.dll");  // any case
    SetText(kCr, cls + "\\ProgID", "", "C:\\Gone\\not-a-server.dll");

    EXPECT_EQ(Scan(),
              (std::vector<Found>{
                  {"HKCR\\CLSID\\{A}\\InprocServer32", "(Default)", "C:\\Gone\\inproc.dll", kCom},
                  {"HKCR\\CLSID\\{A}\\LocalServer32", "(Default)", "C:\\Gone\\local.exe", kCom},
                  {"HKCR\\CLSID\\{A}\\InprocHandler", "(Default)", "C:\\Gone\\h16.dll", kCom},
              }));
    const std::vector<std::string> firstTexts(sink.texts.begin(), sink.texts.begin() + 6);
    EXPECT_EQ(firstTexts, (std::vector<std::string>{
                              "CLSID\\{A}\\InprocServer32", "CLSID\\{A}\\InprocServer",
                              "CLSID\\{A}\\LocalServer32", "CLSID\\{A}\\LocalServer",
                              "CLSID\\{A}\\InprocHandler32", "CLSID\\{A}\\InprocHandler"}));
}

// Values are read without regard to their type, as text up to the first zero
// byte or the end of the data, and only when they fit 1023 bytes.
TEST_F(ComScannerTest, ServerValueDataIsTakenAsText) {
    SetBytes(kCr, "CLSID\\{B1}\\InprocServer32", "", regtype::kBinary, "C:\\Gone\\raw.dll");
    SetBytes(kCr, "CLSID\\{B2}\\InprocServer32", "", regtype::kSz,
             std::string("C:\\Gone\\cut.dll\0C:\\Other.dll", 28));
    const std::string fits =
        std::string("C:\\Gone\\").append(1022 - 8, 'f');  // 1023 bytes with its zero
    const std::string tooLong = std::string("C:\\Gone\\").append(1023 - 8, 'l');  // 1024 bytes
    SetText(kCr, "CLSID\\{B3}\\InprocServer32", "", fits);
    SetText(kCr, "CLSID\\{B4}\\InprocServer32", "", tooLong);

    EXPECT_EQ(Scan(),
              (std::vector<Found>{
                  {"HKCR\\CLSID\\{B1}\\InprocServer32", "(Default)", "C:\\Gone\\raw.dll", kCom},
                  {"HKCR\\CLSID\\{B2}\\InprocServer32", "(Default)", "C:\\Gone\\cut.dll", kCom},
                  {"HKCR\\CLSID\\{B3}\\InprocServer32", "(Default)", fits, kCom},
              }));
}

// A server key the account may not change is not examined; one below a
// class key that it may not change or even read is.
TEST_F(ComScannerTest, ServerKeyThatCannotBeChangedIsNotExamined) {
    SetText(kCr, "CLSID\\{R}\\InprocServer32", "", "C:\\Gone\\r.dll");
    Protect(kCr, "CLSID\\{R}\\InprocServer32", Protection::kReadOnly);
    SetText(kCr, "CLSID\\{S}\\InprocServer32", "", "C:\\Gone\\s.dll");
    SetText(kCr, "CLSID\\{S}", "AppID", "{NoApp}");
    Protect(kCr, "CLSID\\{S}", Protection::kReadOnly);
    SetText(kCr, "CLSID\\{T}\\LocalServer32", "", "C:\\Gone\\t.exe");
    Protect(kCr, "CLSID\\{T}", Protection::kUnreadable);
    EXPECT_EQ(Scan(),
              (std::vector<Found>{
                  {"HKCR\\CLSID\\{S}\\InprocServer32", "(Default)", "C:\\Gone\\s.dll", kCom},
                  {"HKCR\\CLSID\\{T}\\LocalServer32", "(Default)", "C:\\Gone\\t.exe", kCom},
              }));
}

// Passes 2 to 4: a reference to a key that is not there is reported; one to
// a key that is there is not, even when the account may only read that key,
// or not even read it.
TEST_F(ComScannerTest, ReportsReferencesToKeysThatDoNotExist) {
    MakeKey(kCr, "AppID\\{Here}");
    MakeKey(kCr, "AppID\\{ReadOnly}");
    MakeKey(kCr, "AppID\\{Locked}");
    MakeKey(kCr, "CLSID\\{Here}");
    MakeKey(kCr, "CLSID\\{ReadOnly}");
    Protect(kCr, "AppID\\{ReadOnly}", Protection::kReadOnly);
    Protect(kCr, "AppID\\{Locked}", Protection::kUnreadable);
    Protect(kCr, "CLSID\\{ReadOnly}", Protection::kReadOnly);

    // Pass 2: classes.
    SetText(kCr, "CLSID\\{K1}", "AppID", "{Gone}");
    SetText(kCr, "CLSID\\{K2}", "AppID", "{Here}");
    SetText(kCr, "CLSID\\{K3}", "AppID", "{ReadOnly}");
    SetText(kCr, "CLSID\\{K4}", "AppID", "{Locked}");
    SetText(kCr, "CLSID\\{K5}", "AppID", "{Gone}");
    Protect(kCr, "CLSID\\{K5}", Protection::kReadOnly);  // not examined
    // A reference longer than a key path may be cannot be tested.
    SetText(kCr, "CLSID\\{K6}", "AppID", std::string("{").append(300, 'x').append("}"));
    // Pass 3: named application entries; GUID-named ones are never examined.
    SetText(kCr, "AppID\\app.exe", "AppID", "{Gone2}");
    SetText(kCr, "AppID\\ok.exe", "AppID", "{Here}");
    SetText(kCr, "AppID\\ro.exe", "AppID", "{ReadOnly}");
    SetText(kCr, "AppID\\{Here}", "AppID", "{Gone}");
    // Pass 4: class references of top-level keys.
    SetText(kCr, "Demo.Gone\\CLSID", "", "{Gone3}");
    SetText(kCr, "Demo.Here\\CLSID", "", "{Here}");
    SetText(kCr, "Demo.ReadOnly\\CLSID", "", "{ReadOnly}");
    SetText(kCr, "Demo.NoDefault\\CLSID", "Other", "{Gone}");

    EXPECT_EQ(Scan(), (std::vector<Found>{
                          {"HKCR\\CLSID\\{K1}", "AppID", "{Gone}", kCom},
                          {"HKCR\\AppID\\app.exe", "AppID", "{Gone2}", kCom},
                          {"HKCR\\Demo.Gone\\CLSID", "{Default}", "{Gone3}", kCom},
                      }));
}

TEST_F(ComScannerTest, ReportsTypeLibraryFilesThatAreGone) {
    MakeFile("C:\\Libs\\one.tlb");
    const std::string lib = "TypeLib\\{L}";
    SetText(kCr, lib + "\\1.0\\0\\win32", "", "C:\\Libs\\one.tlb");
    SetText(kCr, lib + "\\2.0\\0\\win32", "", "C:\\Libs\\two.tlb");
    SetText(kCr, lib + "\\2.0\\409\\win32", "", "C:\\Libs\\two-en.tlb");
    SetText(kCr, lib + "\\2.0\\9\\win16", "", "C:\\Libs\\old.tlb");
    SetText(kCr, lib + "\\2.0\\FLAGS", "", "0");
    // The type-library pass only reads, so a read-only key is examined.
    SetText(kCr, "TypeLib\\{M}\\1.0\\0\\win32", "", "C:\\Libs\\gone.tlb");
    Protect(kCr, "TypeLib\\{M}\\1.0\\0\\win32", Protection::kReadOnly);

    EXPECT_EQ(
        Scan(),
        (std::vector<Found>{
            {"HKCR\\TypeLib\\{L}\\2.0\\0\\win32", "(Default)", "C:\\Libs\\two.tlb", kCom},
            {"HKCR\\TypeLib\\{L}\\2.0\\409\\win32", "(Default)", "C:\\Libs\\two-en.tlb", kCom},
            {"HKCR\\TypeLib\\{M}\\1.0\\0\\win32", "(Default)", "C:\\Libs\\gone.tlb", kCom},
        }));
    std::vector<std::string> libraryTexts;
    for (const std::string& text : sink.texts)
        if (text.rfind("HKCR\\TypeLib\\{L}", 0) == 0) libraryTexts.push_back(text);
    EXPECT_EQ(libraryTexts, (std::vector<std::string>{
                                "HKCR\\TypeLib\\{L}\\",
                                "HKCR\\TypeLib\\{L}\\1.0\\",
                                "HKCR\\TypeLib\\{L}\\1.0\\0\\win32",
                                "HKCR\\TypeLib\\{L}\\2.0\\",
                                "HKCR\\TypeLib\\{L}\\2.0\\0\\win32",
                                "HKCR\\TypeLib\\{L}\\2.0\\409\\win32",
                                "HKCR\\TypeLib\\{L}\\2.0\\9\\win32",
                                "HKCR\\TypeLib\\{L}\\2.0\\FLAGS\\win32",
                            }));
}

// One fault of each pass: the items come in pass order, and the passes
// report what they look at.
class ComPassesTest : public ComScannerTest {
  protected:
    void SetUp() override {
        SetText(kCr, "CLSID\\{P}\\InprocServer32", "", "C:\\Gone\\p.dll");
        SetText(kCr, "CLSID\\{P}", "AppID", "{NoApp}");
        SetText(kCr, "CLSID\\{Q}\\InprocServer32", "", "C:\\Gone\\q.dll");
        SetText(kCr, "AppID\\p.exe", "AppID", "{NoApp2}");
        SetText(kCr, "P.Prog\\CLSID", "", "{NoClass}");
        SetText(kCr, "TypeLib\\{T}\\1.0\\0\\win32", "", "C:\\Gone\\t.tlb");
    }
};

TEST_F(ComPassesTest, ItemsComeInPassOrder) {
    EXPECT_EQ(Scan(),
              (std::vector<Found>{
                  {"HKCR\\CLSID\\{P}\\InprocServer32", "(Default)", "C:\\Gone\\p.dll", kCom},
                  {"HKCR\\CLSID\\{Q}\\InprocServer32", "(Default)", "C:\\Gone\\q.dll", kCom},
                  {"HKCR\\CLSID\\{P}", "AppID", "{NoApp}", kCom},
                  {"HKCR\\AppID\\p.exe", "AppID", "{NoApp2}", kCom},
                  {"HKCR\\P.Prog\\CLSID", "{Default}", "{NoClass}", kCom},
                  {"HKCR\\TypeLib\\{T}\\1.0\\0\\win32", "(Default)", "C:\\Gone\\t.tlb", kCom},
              }));
    auto shown = [&](const std::string& text) {
        return std::find(sink.texts.begin(), sink.texts.end(), text) != sink.texts.end();
    };
    for (const char* text : {"AppID\\{NoApp}", "AppID\\p.exe", "AppID\\{NoApp2}", "P.Prog\\CLSID",
                             "CLSID\\{NoClass}", "CLSID\\CLSID", "TypeLib\\CLSID"})
        EXPECT_TRUE(shown(text)) << text;
}

// Stop during the first pass: the pass ends at its next class, and every
// later pass ends at its first entry.
TEST_F(ComPassesTest, StopDuringTheFirstPassEndsEveryPass) {
    StopAt("CLSID\\{P}\\InprocHandler");
    EXPECT_EQ(Scan(),
              (std::vector<Found>{
                  {"HKCR\\CLSID\\{P}\\InprocServer32", "(Default)", "C:\\Gone\\p.dll", kCom},
              }));
    EXPECT_EQ(sink.texts.back(), "CLSID\\{P}\\InprocHandler");
}

TEST_F(ComPassesTest, StopDuringTheTypeLibraryPassKeepsWhatWasFound) {
    StopAt("HKCR\\TypeLib\\{T}\\1.0\\0\\win32");
    SetText(kCr, "TypeLib\\{U}\\1.0\\0\\win32", "", "C:\\Gone\\u.tlb");
    const std::vector<Found> found = Scan();
    ASSERT_EQ(found.size(), 6u);  // the library being examined is finished
    EXPECT_EQ(found.back().data, "C:\\Gone\\t.tlb");
}

}  // namespace
}  // namespace qm::repairtest
