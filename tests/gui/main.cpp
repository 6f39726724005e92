// quillmend_gui_test.exe --app Quillmend.exe --expected expected.tsv
//     --demo-reg demo/registry.reg [--shots FOLDER] [gtest options]
//
// Paths may be host paths (/...), which Wine sees on drive Z:.
#include <gtest/gtest.h>
#include <objbase.h>

#include <cstdio>
#include <cstring>

#include "tests/gui/test_world.h"

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    auto& paths = qm::gui_test::Paths();
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string value = qm::gui_test::WinPath(argv[i + 1]);
        if (!std::strcmp(argv[i], "--app")) {
            paths.app = value;
        } else if (!std::strcmp(argv[i], "--expected")) {
            paths.expected = value;
        } else if (!std::strcmp(argv[i], "--demo-reg")) {
            paths.demoReg = value;
        } else if (!std::strcmp(argv[i], "--shots")) {
            paths.shots = value;
        } else {
            std::fprintf(stderr, "unknown option %s\n", argv[i]);
            return 2;
        }
    }
    if (paths.app.empty() || paths.expected.empty() || paths.demoReg.empty()) {
        std::fprintf(stderr,
                     "usage: quillmend_gui_test --app EXE --expected TSV --demo-reg REG "
                     "[--shots FOLDER]\n");
        return 2;
    }
    if (qm::gui_test::ExpectedItems().empty()) {
        std::fprintf(stderr, "no expected items in %s\n", paths.expected.c_str());
        return 2;
    }
    // Wine draws the windows' frames and captions itself (there is no window
    // manager on the test's X server), so that pictures show them.
    HKEY x11 = nullptr;
    if (RegCreateKeyExA(HKEY_CURRENT_USER, "Software\\Wine\\X11 Driver", 0, nullptr, 0, KEY_WRITE,
                        nullptr, &x11, nullptr) == ERROR_SUCCESS) {
        RegSetValueExA(x11, "Decorated", 0, REG_SZ, reinterpret_cast<const BYTE*>("N"), 2);
        RegCloseKey(x11);
    }
    // The shell link object, for the Startup-folder shortcuts the tests make.
    CoInitialize(nullptr);
    const int result = RUN_ALL_TESTS();
    CoUninitialize();
    return result;
}
