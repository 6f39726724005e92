// What the program asks the system about itself: the time of day in UTC,
// the version of Windows, and how text in the system code page reads as
// UTF-16. The Windows backend asks the system (GetSystemTime,
// GetVersionExA, MultiByteToWideChar); tests and the headless scanner use a
// stand-in with a settable clock and version.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

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

    // MultiByteToWideChar with the system's ANSI code page: the UTF-16 code
    // units of `text`, zero bytes included.
    virtual std::u16string CodePageToUtf16(std::string_view text) = 0;
};

}  // namespace qm
