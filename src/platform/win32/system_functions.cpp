#include "platform/win32/system_functions.h"

namespace qm::win32 {

bool RunsUnderWow64() {
    using IsWow64ProcessFunction = BOOL(WINAPI*)(HANDLE, PBOOL);
    static const bool answer = [] {
        const auto isWow64 =
            SystemFunction<IsWow64ProcessFunction>("kernel32.dll", "IsWow64Process");
        BOOL wow64 = FALSE;
        return isWow64 != nullptr && isWow64(GetCurrentProcess(), &wow64) && wow64;
    }();
    return answer;
}

}  // namespace qm::win32
