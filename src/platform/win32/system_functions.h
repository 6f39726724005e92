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

}  // namespace qm::win32
