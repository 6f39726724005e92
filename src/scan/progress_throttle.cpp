#include "scan/progress_throttle.h"

#include <chrono>
#include <cstdint>
#include <ctime>

namespace qm {

std::string ShortenProgressText(const std::string& text) {
    if (text.size() <= 60) return text;
    return text.substr(0, 5) + "..." + text.substr(text.size() - 50);
}

void ProgressThrottle::Progress(const std::string& text) {
    const uint32_t now = ticks_();
    const uint32_t last = lastShown_.load(std::memory_order_relaxed);
    // The unsigned difference stays right when the counter wraps after 49.7
    // days, and also once it has passed 2^31 (24.8 days), where a signed
    // difference from the first remembered tick, 0, would be negative.
    if (now - last <= 100) return;
    lastShown_.store(now, std::memory_order_relaxed);
    show_(ShortenProgressText(text));
}

uint32_t SystemTickCount() {
#if defined(CLOCK_MONOTONIC_COARSE)
    // A scan asks for the time at every key it reports, and the coarse clock
    // (a few milliseconds, like GetTickCount's) is several times cheaper to
    // read than the precise one; the throttle needs no more.
    timespec now{};
    if (clock_gettime(CLOCK_MONOTONIC_COARSE, &now) == 0)
        return static_cast<uint32_t>(static_cast<uint64_t>(now.tv_sec) * 1000u +
                                     static_cast<uint64_t>(now.tv_nsec) / 1000000u);
#endif
    using namespace std::chrono;
    return static_cast<uint32_t>(
        duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}

}  // namespace qm
