#include "platform/win32/win32_system_info.h"

#include <windows.h>

namespace qm {

UtcTime Win32SystemInfo::UtcNow() {
    SYSTEMTIME now{};
    GetSystemTime(&now);
    return UtcTime{now.wYear, now.wMonth, now.wDay, now.wHour, now.wMinute, now.wSecond};
}

bool Win32SystemInfo::GetOsVersion(OsVersion* version) {
    OSVERSIONINFOA info{};
    info.dwOSVersionInfoSize = sizeof info;
    if (!GetVersionExA(&info)) return false;
    version->platformId = info.dwPlatformId;
    version->major = info.dwMajorVersion;
    version->minor = info.dwMinorVersion;
    return true;
}

}  // namespace qm
