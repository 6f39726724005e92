// System functions that Windows XP does not have, or that its 32-bit
// edition lacks, looked up at run time so that the program still starts
// there: a missing one is null.
#pragma once

#include <windows.h>

namespace qm::win32 {

// The function `name` of the loaded system module `module`, or null.
template <typename Function>
Function SystemFunction(const char* module, const char* name) {
    HMODULE handle = GetModuleHandleA(module);
    if (handle == nullptr) return nullptr;
    // Through a pointer to a function without arguments, which any
    // function pointer may be converted to and back.
    return reinterpret_cast<Function>(reinterpret_cast<void (*)()>(GetProcAddress(handle, name)));
}

// Whether this process is a 32-bit program on 64-bit Windows (WOW64).
bool RunsUnderWow64();

// File-system redirection switched off for this thread while it lives, on
// 64-bit Windows: the 32-bit program's "System32" (and "%windir%\regedit.exe")
// are then the system's own rather than SysWOW64's. Hold it only around
// calls that load nothing: while it is off a library would be looked for in
// the 64-bit folder.
class FileRedirectionOff {
  public:
    FileRedirectionOff();
    ~FileRedirectionOff();
    FileRedirectionOff(const FileRedirectionOff&) = delete;
    FileRedirectionOff& operator=(const FileRedirectionOff&) = delete;
    // False on 32-bit Windows, where there is nothing to switch.
    bool active() const { return active_; }

  private:
    PVOID old_ = nullptr;
    bool active_ = false;
};

}  // namespace qm::win32
