/* The MinGW-w64 thread library (which std::thread and exception handling
 * pull into every program) imports GetTickCount64, which Windows XP's
 * kernel32 does not have, so the program would not even load there. This
 * supplies the import slot itself: the system's function where there is
 * one, GetTickCount (which wraps after 49.7 days) otherwise. The build links
 * this object into every Windows binary. */
#include <windows.h>

typedef ULONGLONG(WINAPI* TickCount64Function)(void);

static ULONGLONG WINAPI QmTickCount64(void) {
    static TickCount64Function system;
    static LONG looked;
    if (InterlockedCompareExchange(&looked, 0, 0) == 0) {
        HMODULE kernel = GetModuleHandleA("kernel32.dll");
        system = kernel ? (TickCount64Function)(void*)GetProcAddress(kernel, "GetTickCount64") : 0;
        InterlockedExchange(&looked, 1);
    }
    return system ? system() : GetTickCount();
}

__attribute__((used))
TickCount64Function qm_import_GetTickCount64 __asm__("__imp__GetTickCount64@0") = QmTickCount64;
