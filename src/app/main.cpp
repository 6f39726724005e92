// Quillmend.exe: the registry cleaner's window program.
#include <windows.h>
// After windows.h, which it needs.
#include <commctrl.h>

#include "app/cleaner_app.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
    INITCOMMONCONTROLSEX controls{};
    controls.dwSize = sizeof controls;
    controls.dwICC = ICC_LISTVIEW_CLASSES | ICC_PROGRESS_CLASS;
    InitCommonControlsEx(&controls);

    try {
        qm::CCleanerApp app(instance);
        app.InitInstance(GetCommandLineA());
    } catch (...) {
        return 1;
    }
    return 0;
}
