#include "scan/progress_throttle.h"

#include <chrono>

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
    using namespace std::chrono;
    return static_cast<uint32_t>(
        duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}

}  // namespace qm
