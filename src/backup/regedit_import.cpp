#include "backup/regedit_import.h"

#include <windows.h>
// After windows.h, which it needs.
#include <shellapi.h>

namespace qm {

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

    SHELLEXECUTEINFOA run{};
    run.cbSize = sizeof run;
    // The process handle to wait on; no message box of the shell's own when
    // it cannot start the editor, as the caller reports that.
    run.fMask = SEE_MASK_NOCLOSEPROCESS | SEE_MASK_FLAG_NO_UI;
    run.lpFile = editor.c_str();
    run.lpParameters = parameters.c_str();
    run.nShow = SW_SHOWNORMAL;
    if (!ShellExecuteExA(&run)) return static_cast<Status>(GetLastError());
    if (run.hProcess == nullptr) return status::kInvalidHandle;
    WaitForSingleObject(run.hProcess, INFINITE);
    DWORD code = 0;
    GetExitCodeProcess(run.hProcess, &code);
    CloseHandle(run.hProcess);
    if (exitCode != nullptr) *exitCode = code;
    return status::kSuccess;
}

}  // namespace qm
