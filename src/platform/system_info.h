// What the program asks the system about itself: the time of day in UTC and
// the version of Windows. The Windows backend asks the system
// (GetSystemTime, GetVersionExA); tests and the headless scanner use a
// stand-in with a settable clock and version. (The code page is the
// registry's: RegistryService::codePage.)
#pragma once

#include <cstdint>

namespace qm {

// A moment in Coordinated Universal Time, field by field as GetSystemTime
// gives it (month 1 to 12, day 1 to 31).
struct UtcTime {
    int year = 0;
    int month = 0;
    int day = 0;
    int hour = 0;
    int minute = 0;
    int second = 0;
};

// What GetVersionExA reports.
struct OsVersion {
    uint32_t platformId = 0;  // one of the platform ids below
    uint32_t major = 0;
    uint32_t minor = 0;
};

namespace platform_id {
inline constexpr uint32_t kWin32s = 0;   // VER_PLATFORM_WIN32s
inline constexpr uint32_t kWindows = 1;  // VER_PLATFORM_WIN32_WINDOWS: 95, 98, ME
inline constexpr uint32_t kNt = 2;       // VER_PLATFORM_WIN32_NT
}  // namespace platform_id

class SystemInfo {
  public:
    virtual ~SystemInfo() = default;

    virtual UtcTime UtcNow() = 0;

    // False when the system does not say.
    virtual bool GetOsVersion(OsVersion* version) = 0;
};

}  // namespace qm
