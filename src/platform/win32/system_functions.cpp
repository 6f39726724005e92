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

FileRedirectionOff::FileRedirectionOff() {
    using DisableFunction = BOOL(WINAPI*)(PVOID*);
    static const auto disable =
        SystemFunction<DisableFunction>("kernel32.dll", "Wow64DisableWow64FsRedirection");
    active_ = RunsUnderWow64() && disable != nullptr && disable(&old_);
}

FileRedirectionOff::~FileRedirectionOff() {
    using RevertFunction = BOOL(WINAPI*)(PVOID);
    static const auto revert =
        SystemFunction<RevertFunction>("kernel32.dll", "Wow64RevertWow64FsRedirection");
    if (active_ && revert != nullptr) revert(old_);
}

}  // namespace qm::win32
