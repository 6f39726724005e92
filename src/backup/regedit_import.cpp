#include "backup/regedit_import.h"

#include <windows.h>
// After windows.h, which it needs.
#include <shellapi.h>

#include <vector>

#include "platform/win32/system_functions.h"

namespace qm {

namespace {
// ERROR_ELEVATION_REQUIRED (Windows Vista and later).
constexpr DWORD kElevationRequired = 740;

// Waits for the editor to end, and closes its process handle.
Status WaitForEditor(HANDLE process, uint32_t* exitCode) {
    WaitForSingleObject(process, INFINITE);
    DWORD code = 0;
    GetExitCodeProcess(process, &code);
    CloseHandle(process);
    if (exitCode != nullptr) *exitCode = code;
    return status::kSuccess;
}

}  // namespace

Status ImportWithRegedit(const std::string& file, uint32_t* exitCode) {
    // The registry editor of the Windows folder, by its full path: a bare
    // name would be looked for in the program's folder and the current
    // folder first. Started through the shell, which asks for elevation
    // where the editor needs it (CreateProcess fails there with error 740).
    char windows[MAX_PATH] = {};
    const UINT length = GetWindowsDirectoryA(windows, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) return static_cast<Status>(GetLastError());
    std::string editor(windows, length);
    if (editor.back() != '\\') editor.push_back('\\');
    editor += "regedit.exe";
    const std::string parameters = "/s \"" + file + "\"";

    // On 64-bit Windows a 32-bit program's "%windir%\regedit.exe" is the
    // 32-bit editor, which would import every key into the 32-bit view; the
    // backup names keys where they lie, so the system's own editor imports
    // it, started with file-system redirection off. The program runs with
    // administrator rights (its manifest), so it is started directly; only
    // where the system still asks for elevation does the shell start it.
    if (win32::RunsUnderWow64()) {
        std::string command = "\"" + editor + "\" " + parameters;
        std::vector<char> line(command.begin(), command.end());
        line.push_back('\0');
        STARTUPINFOA startup{};
        startup.cb = sizeof startup;
        PROCESS_INFORMATION process{};
        BOOL started = FALSE;
        DWORD error = ERROR_SUCCESS;
        {
            win32::FileRedirectionOff off;
            started = CreateProcessA(editor.c_str(), line.data(), nullptr, nullptr, FALSE, 0,
                                     nullptr, nullptr, &startup, &process);
            if (!started) error = GetLastError();
        }
        if (started) {
            CloseHandle(process.hThread);
            return WaitForEditor(process.hProcess, exitCode);
        }
        if (error != kElevationRequired) return static_cast<Status>(error);
    }

    SHELLEXECUTEINFOA run{};
    run.cbSize = sizeof run;
    // The process handle to wait on; no message box of the shell's own when
    // it cannot start the editor, as the caller reports that.
    run.fMask = SEE_MASK_NOCLOSEPROCESS | SEE_MASK_FLAG_NO_UI;
    run.lpFile = editor.c_str();
    run.lpParameters = parameters.c_str();
    run.nShow = SW_SHOWNORMAL;
    // With file-system redirection on, as everything that loads libraries
    // must run: the shell loads its own while it starts the editor. On
    // 64-bit Windows it comes here only when the editor needs elevation, and
    // then the system starts the 64-bit editor of "%windir%\regedit.exe"
    // itself, since redirection does not apply to a start that shows the
    // elevation prompt.
    if (!ShellExecuteExA(&run)) return static_cast<Status>(GetLastError());
    if (run.hProcess == nullptr) return status::kInvalidHandle;
    return WaitForEditor(run.hProcess, exitCode);
}

}  // namespace qm
