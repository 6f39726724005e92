// What the installer tests need to do inside the Wine prefix, as a Windows
// program run there:
//
//   installer_probe version FILE...       prints each file's version resource:
//                                         "a.b.c.d|FileVersion|ProductVersion|ProductName"
//   installer_probe shortcut LNK...       prints each shortcut's command line, as
//                                         the program's own shortcut reader sees it
//   installer_probe window EXE CAPTION    starts EXE and waits for a visible
//                                         window with that caption; prints its class
//   installer_probe drive EXE ARGS [--name N] [--email E] [--delete-backups]
//                                         runs an installer or uninstaller (ARGS
//                                         passed as they are, "" for none) and
//                                         clicks through its pages as a user
//                                         would, filling the registration page
//                                         and ticking the backup box when asked;
//                                         prints each page's title, then "exit N"
//   installer_probe run EXE ARGS          runs EXE with ARGS passed as they are
//                                         (so "_?=C:\Program Files\X" reaches an
//                                         uninstaller unquoted); exits with its status
#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

#include "platform/win32/win32_file_probe.h"
#include "startup/shortcut_reader.h"
#include "tests/gui/app_driver.h"

using qm::gui_test::AppProcess;
using qm::gui_test::ClassName;
using qm::gui_test::WaitFor;
using qm::gui_test::WindowText;

namespace {

// The MUI pages' title in the installer window's header, and its buttons.
constexpr int kHeaderTitle = 1037;
constexpr int kNextButton = 1;

std::string VersionString(const std::vector<char>& data, const char* block, const char* name) {
    void* value = nullptr;
    UINT size = 0;
    const std::string path = std::string("\\StringFileInfo\\") + block + "\\" + name;
    if (!VerQueryValueA(data.data(), path.c_str(), &value, &size) || size == 0) return "";
    return static_cast<const char*>(value);
}

int Version(int count, char** files) {
    int status = 0;
    for (int i = 0; i < count; ++i) {
        DWORD ignored = 0;
        const DWORD size = GetFileVersionInfoSizeA(files[i], &ignored);
        std::vector<char> data(size);
        VS_FIXEDFILEINFO* fixed = nullptr;
        UINT fixedSize = 0;
        WORD* translation = nullptr;
        UINT translationSize = 0;
        if (size == 0 || !GetFileVersionInfoA(files[i], 0, size, data.data()) ||
            !VerQueryValueA(data.data(), "\\", reinterpret_cast<void**>(&fixed), &fixedSize) ||
            !VerQueryValueA(data.data(), "\\VarFileInfo\\Translation",
                            reinterpret_cast<void**>(&translation), &translationSize) ||
            translationSize < 4) {
            std::printf("no version resource\n");
            status = 1;
            continue;
        }
        char block[16];
        std::snprintf(block, sizeof block, "%04x%04x", translation[0], translation[1]);
        std::printf("%u.%u.%u.%u|%s|%s|%s\n", unsigned{HIWORD(fixed->dwFileVersionMS)},
                    unsigned{LOWORD(fixed->dwFileVersionMS)},
                    unsigned{HIWORD(fixed->dwFileVersionLS)},
                    unsigned{LOWORD(fixed->dwFileVersionLS)},
                    VersionString(data, block, "FileVersion").c_str(),
                    VersionString(data, block, "ProductVersion").c_str(),
                    VersionString(data, block, "ProductName").c_str());
    }
    return status;
}

int Shortcut(int count, char** files) {
    qm::Win32FileProbe probe;
    qm::ShortcutFileReader reader(probe);
    for (int i = 0; i < count; ++i) std::printf("%s\n", reader.CommandLine(files[i]).c_str());
    return 0;
}

int Window(const std::string& exe, const std::string& caption) {
    AppProcess app;
    if (!app.Start(exe, "")) {
        std::printf("cannot start %s\n", exe.c_str());
        return 1;
    }
    HWND window = app.WaitWindow(caption, 180000);
    if (window && WaitFor([&] { return IsWindowVisible(window) != FALSE; }, 60000)) {
        std::printf("%s\n", ClassName(window).c_str());
        app.Close();
        return 0;
    }
    std::printf("no visible window \"%s\"; the program's windows:\n", caption.c_str());
    for (HWND w : app.TopLevelWindows())
        std::printf("  %s \"%s\"%s\n", ClassName(w).c_str(), WindowText(w).c_str(),
                    IsWindowVisible(w) ? " (visible)" : "");
    app.Close();
    return 1;
}

struct DriveOptions {
    std::string name, email;
    bool fillRegistration = false;
    bool deleteBackups = false;
};

struct FoundChildren {
    std::string className;
    std::vector<HWND> windows;
};

BOOL CALLBACK CollectChild(HWND w, LPARAM data) {
    auto* found = reinterpret_cast<FoundChildren*>(data);
    if (IsWindowVisible(w) && ClassName(w) == found->className) found->windows.push_back(w);
    return TRUE;
}

// The visible children of a window with this class, in creation order.
std::vector<HWND> Children(HWND parent, const std::string& className) {
    FoundChildren found{className, {}};
    EnumChildWindows(parent, CollectChild, reinterpret_cast<LPARAM>(&found));
    return found.windows;
}

// What the user does on a page before pressing Next.
void FillPage(HWND main, const std::string& title, const DriveOptions& options) {
    if (title == "Registration" && options.fillRegistration) {
        const std::vector<HWND> edits = Children(main, "Edit");
        if (edits.size() >= 2) {
            SendMessageA(edits[0], WM_SETTEXT, 0, reinterpret_cast<LPARAM>(options.name.c_str()));
            SendMessageA(edits[1], WM_SETTEXT, 0, reinterpret_cast<LPARAM>(options.email.c_str()));
        }
    }
    if (title == "Registry backups" && options.deleteBackups) {
        for (HWND button : Children(main, "Button")) {
            if (WindowText(button).find("Delete the backup files") != std::string::npos)
                SendMessageA(button, BM_SETCHECK, BST_CHECKED, 0);
        }
    }
}

int Drive(const std::string& exe, const std::string& arguments, const DriveOptions& options) {
    AppProcess setup;
    if (!setup.Start(exe, arguments)) {
        std::printf("cannot start %s\n", exe.c_str());
        return 1;
    }
    const DWORD start = GetTickCount();
    std::string shown;
    bool pressed = false;
    while (setup.Running() && GetTickCount() - start < 300000) {
        HWND main = setup.DialogWithControl(kHeaderTitle);
        if (HWND box = setup.MessageBoxWindow()) {
            std::printf("message: %s\n", qm::gui_test::MessageBoxText(box).c_str());
            qm::gui_test::PressOk(box);
            continue;
        }
        if (!main) {
            Sleep(100);
            continue;
        }
        const std::string title = WindowText(GetDlgItem(main, kHeaderTitle));
        if (title != shown) {
            if (!title.empty()) std::printf("%s\n", title.c_str());
            std::fflush(stdout);
            shown = title;
            pressed = false;
        }
        HWND next = GetDlgItem(main, kNextButton);
        if (pressed || !IsWindowVisible(next) || !IsWindowEnabled(next)) {
            Sleep(100);
            continue;
        }
        FillPage(main, title, options);
        qm::gui_test::PostCommand(next);
        pressed = true;
    }
    if (!setup.WaitExit(10000)) {
        std::printf("still running after 5 minutes\n");
        TerminateProcess(setup.Process(), 99);
        return 1;
    }
    DWORD code = 0;
    GetExitCodeProcess(setup.Process(), &code);
    std::printf("exit %lu\n", code);
    return 0;
}

int Run(const std::string& exe, const std::string& arguments) {
    AppProcess program;
    if (!program.Start(exe, arguments)) return 125;
    program.WaitExit(INFINITE);
    DWORD code = 0;
    GetExitCodeProcess(program.Process(), &code);
    return static_cast<int>(code);
}

}  // namespace

int main(int argc, char** argv) {
    const std::string command = argc > 1 ? argv[1] : "";
    if (command == "version") return Version(argc - 2, argv + 2);
    if (command == "shortcut") return Shortcut(argc - 2, argv + 2);
    if (command == "window" && argc == 4) return Window(argv[2], argv[3]);
    if (command == "run" && argc == 4) return Run(argv[2], argv[3]);
    if (command == "drive" && argc >= 4) {
        DriveOptions options;
        for (int i = 4; i < argc; ++i) {
            const std::string option = argv[i];
            const bool hasValue = i + 1 < argc;
            if (option == "--delete-backups") {
                options.deleteBackups = true;
            } else if (option == "--name" && hasValue) {
                options.name = argv[++i];
                options.fillRegistration = true;
            } else if (option == "--email" && hasValue) {
                options.email = argv[++i];
                options.fillRegistration = true;
            } else {
                std::fprintf(stderr, "installer_probe: unknown option %s\n", option.c_str());
                return 2;
            }
        }
        return Drive(argv[2], argv[3], options);
    }
    std::fprintf(stderr, "usage: installer_probe version|shortcut|window|drive|run ...\n");
    return 2;
}
