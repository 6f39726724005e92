#include "platform/memory/host_system_info.h"

#include <chrono>

namespace qm {

namespace {

UtcTime HostUtcNow() {
    using namespace std::chrono;
    const auto now = floor<seconds>(system_clock::now());
    const auto day = floor<days>(now);
    const year_month_day date{day};
    const hh_mm_ss<seconds> time{now - day};
    return UtcTime{static_cast<int>(date.year()),
                   static_cast<int>(static_cast<unsigned>(date.month())),
                   static_cast<int>(static_cast<unsigned>(date.day())),
                   static_cast<int>(time.hours().count()),
                   static_cast<int>(time.minutes().count()),
                   static_cast<int>(time.seconds().count())};
}

}  // namespace

UtcTime HostSystemInfo::UtcNow() {
    std::function<UtcTime()> clock;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        clock = clock_;
    }
    return clock ? clock() : HostUtcNow();
}

bool HostSystemInfo::GetOsVersion(OsVersion* version) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!version_) return false;
    *version = *version_;
    return true;
}

void HostSystemInfo::SetClock(std::function<UtcTime()> clock) {
    std::lock_guard<std::mutex> lock(mutex_);
    clock_ = std::move(clock);
}

void HostSystemInfo::SetTime(const UtcTime& time) {
    SetClock([time] { return time; });
}

void HostSystemInfo::SetOsVersion(std::optional<OsVersion> version) {
    std::lock_guard<std::mutex> lock(mutex_);
    version_ = version;
}

}  // namespace qm
