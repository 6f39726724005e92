// Find in the real window against the headless scan, on the registry of the
// prefix it runs in, alternated round by round:
//  - GUI: Quillmend.exe is started and shows its main window; the time runs
//    from the press of Find until the command button reads "Fix" (or "Find",
//    when nothing was found) with the side buttons enabled again;
//  - headless: quillmend-scan.exe --json from its start to its exit, and
//    the same less one start of quillmend-scan.exe --help (process start-up
//    under Wine and emulation).
// Prints each round and the medians, with min-max, of GUI / headless.
// With --compare, each round also times Find in a second Quillmend.exe (an
// older build, say) right after the first, and the medians of that one
// against the headless scan and against the first are printed too.
//
// usage: gui_scan_bench.exe QUILLMEND_EXE SCAN_EXE [ROUNDS [minimised]]
//                           [--compare OTHER_QUILLMEND_EXE]
//   ROUNDS     measured rounds after one warm-up of each (default 3)
//   minimised  minimises the main window once Find is pressed, so that the
//              scan runs with nothing on screen to paint
// Run it under an X display (tests/ui/run_with_xvfb.sh); bench/gui_bench.sh
// seeds a prefix and does both.
#include <windows.h>
// After windows.h, which it needs.
#include <shlwapi.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "res/resource.h"
#include "tests/gui/app_driver.h"

namespace {

using namespace qm::gui_test;

constexpr const char* kSettingsKey = "SOFTWARE\\Quillmend";
constexpr const char* kVersion = "2.0";

double Seconds(LARGE_INTEGER from, LARGE_INTEGER to) {
    LARGE_INTEGER frequency;
    QueryPerformanceFrequency(&frequency);
    return static_cast<double>(to.QuadPart - from.QuadPart) /
           static_cast<double>(frequency.QuadPart);
}

LARGE_INTEGER Now() {
    LARGE_INTEGER t;
    QueryPerformanceCounter(&t);
    return t;
}

void SetSetting(HKEY key, const char* name, const char* text) {
    RegSetValueExA(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text),
                   static_cast<DWORD>(std::strlen(text) + 1));
}

// "Not a first start, every option off", as the window tests start it.
void ResetSettings() {
    SHDeleteKeyA(HKEY_LOCAL_MACHINE, kSettingsKey);
    HKEY key = nullptr;
    if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, kSettingsKey, 0, nullptr, 0, KEY_WRITE, nullptr, &key,
                        nullptr) != ERROR_SUCCESS)
        return;
    SetSetting(key, "Version", kVersion);
    SetSetting(key, "FirstTime", "1");
    RegCloseKey(key);
}

bool Idle(HWND main, HWND command) {
    for (int id :
         {IDC_SHOW_FIND_FIX, IDC_SHOW_STARTUP, IDC_SHOW_OPTIONS, IDC_SHOW_BACKUP, IDC_SHOW_ABOUT})
        if (!IsWindowEnabled(GetDlgItem(main, id))) return false;
    const std::string text = WindowText(command);
    return IsWindowEnabled(command) && (text == "Find" || text == "Fix");
}

// Seconds from the press of Find to the end of the scan; -1 on failure.
double TimeFind(const std::string& app, bool minimised, std::string& result) {
    ResetSettings();
    AppProcess process;
    if (!process.Start(app, "")) return -1;
    const HWND main = process.WaitWindow(std::string("Quillmend ") + kVersion, 120000);
    if (!main || !WaitFor([&] { return IsWindowVisible(main) != FALSE; }, 60000)) return -1;
    const HWND page = PageWith(main, IDC_FF_COMMAND);
    const HWND command = GetDlgItem(page, IDC_FF_COMMAND);
    if (!WaitFor([&] { return WindowText(command) == "Find" && Idle(main, command); }, 60000))
        return -1;
    const LARGE_INTEGER start = Now();
    PostCommand(command);
    if (!WaitFor([&] { return !Idle(main, command); }, 30000)) return -1;
    if (minimised) PostMessageA(main, WM_SYSCOMMAND, SC_MINIMIZE, 0);
    if (!WaitFor([&] { return Idle(main, command); }, 3600000)) return -1;
    const double seconds = Seconds(start, Now());
    result = WindowText(GetDlgItem(page, IDC_FF_RESULT));
    process.Close(60000);
    return seconds;
}

// Seconds from the start of a process to its end, its output in `out`;
// -1 on failure.
double TimeProgram(const std::string& exe, const std::string& arguments, const std::string& out) {
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    HANDLE file = CreateFileA(out.c_str(), GENERIC_WRITE, 0, &inherit, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return -1;
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdOutput = file;
    startup.hStdError = file;
    startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    std::string line = "\"" + exe + "\" " + arguments;
    PROCESS_INFORMATION info{};
    const LARGE_INTEGER start = Now();
    const bool started = CreateProcessA(exe.c_str(), line.data(), nullptr, nullptr, TRUE, 0,
                                        nullptr, nullptr, &startup, &info);
    CloseHandle(file);
    if (!started) return -1;
    WaitForSingleObject(info.hProcess, INFINITE);
    const double seconds = Seconds(start, Now());
    CloseHandle(info.hThread);
    CloseHandle(info.hProcess);
    return seconds;
}

// Items in the headless scan's JSON output.
int ItemCount(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream all;
    all << in.rdbuf();
    const std::string text = all.str();
    int n = 0;
    for (size_t at = text.find("\"keyPath\""); at != std::string::npos;
         at = text.find("\"keyPath\"", at + 1))
        ++n;
    return n;
}

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    const size_t n = v.size();
    return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

void PrintRatio(const char* what, const std::vector<double>& ratios) {
    std::printf("%s: median %.2f (%.2f-%.2f over %zu rounds)\n", what, Median(ratios),
                *std::min_element(ratios.begin(), ratios.end()),
                *std::max_element(ratios.begin(), ratios.end()), ratios.size());
}

}  // namespace

int main(int argc, char** argv) {
    std::string other;
    if (argc >= 3 && std::strcmp(argv[argc - 2], "--compare") == 0) {
        other = argv[argc - 1];
        argc -= 2;
    }
    if (argc < 3) {
        std::fprintf(stderr,
                     "usage: gui_scan_bench QUILLMEND_EXE SCAN_EXE [ROUNDS [minimised]] "
                     "[--compare OTHER_QUILLMEND_EXE]\n");
        return 2;
    }
    const std::string app = argv[1], scan = argv[2];
    const int rounds = argc > 3 ? std::max(1, std::atoi(argv[3])) : 3;
    const bool minimised = argc > 4 && std::strcmp(argv[4], "minimised") == 0;
    char temp[MAX_PATH] = {};
    GetTempPathA(MAX_PATH, temp);
    const std::string json = std::string(temp) + "gui_scan_bench.json";
    const std::string help = std::string(temp) + "gui_scan_bench.txt";

    // A warm-up of each, so that the first measured round finds the files
    // and the registry as warm as the others.
    std::string result;
    std::string otherResult;
    if (TimeFind(app, minimised, result) < 0 || TimeProgram(scan, "--json", json) < 0 ||
        (!other.empty() && TimeFind(other, minimised, otherResult) < 0)) {
        std::fprintf(stderr, "the warm-up failed: %s or %s did not run\n", app.c_str(),
                     scan.c_str());
        return 1;
    }
    std::printf("GUI result line: %s; headless items: %d\n", result.c_str(), ItemCount(json));
    if (!other.empty()) std::printf("the other GUI's result line: %s\n", otherResult.c_str());

    std::vector<double> whole, scanOnly, otherWhole, otherToFirst;
    for (int round = 1; round <= rounds; ++round) {
        const double gui = TimeFind(app, minimised, result);
        const double headless = TimeProgram(scan, "--json", json);
        const double start = TimeProgram(scan, "--help", help);
        if (gui < 0 || headless < 0 || start < 0) {
            std::fprintf(stderr, "round %d failed\n", round);
            return 1;
        }
        whole.push_back(gui / headless);
        scanOnly.push_back(gui / std::max(headless - start, 1e-3));
        std::printf(
            "round %d: GUI Find %.2f s, quillmend-scan.exe --json %.2f s, its start "
            "(--help) %.2f s\n",
            round, gui, headless, start);
        if (!other.empty()) {
            const double second = TimeFind(other, minimised, otherResult);
            if (second < 0) {
                std::fprintf(stderr, "round %d failed in %s\n", round, other.c_str());
                return 1;
            }
            otherWhole.push_back(second / headless);
            otherToFirst.push_back(second / gui);
            std::printf("round %d: the other GUI's Find %.2f s\n", round, second);
        }
        std::fflush(stdout);
    }
    PrintRatio("GUI Find / quillmend-scan.exe --json", whole);
    PrintRatio("GUI Find / (quillmend-scan.exe --json less its start)", scanOnly);
    if (!other.empty()) {
        PrintRatio("the other GUI's Find / quillmend-scan.exe --json", otherWhole);
        PrintRatio("the other GUI's Find / GUI Find", otherToFirst);
    }
    return 0;
}
