// SystemInfo away from Windows (and for tests): the clock is the host's UTC
// clock unless a time is set, the Windows version is whatever it is told
// (by default what Wine reports to programs without a manifest: Windows NT
// 6.2).
#pragma once

#include <functional>
#include <mutex>
#include <optional>

#include "platform/system_info.h"

namespace qm {

class HostSystemInfo : public SystemInfo {
  public:
    UtcTime UtcNow() override;
    bool GetOsVersion(OsVersion* version) override;

    // A clock of the caller's; the host clock again when empty.
    void SetClock(std::function<UtcTime()> clock);
    void SetTime(const UtcTime& time);
    // No value: the version query fails.
    void SetOsVersion(std::optional<OsVersion> version);

  private:
    std::mutex mutex_;
    std::function<UtcTime()> clock_;
    std::optional<OsVersion> version_ = OsVersion{platform_id::kNt, 6, 2};
};

}  // namespace qm
