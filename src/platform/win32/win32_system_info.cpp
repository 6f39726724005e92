#include "platform/win32/win32_system_info.h"

#include <windows.h>

#include "platform/win32/wide_text.h"

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

std::u16string Win32SystemInfo::CodePageToUtf16(std::string_view text) {
    const std::wstring wide = win32::Widen(text);
    return std::u16string(wide.begin(), wide.end());
}

}  // namespace qm
