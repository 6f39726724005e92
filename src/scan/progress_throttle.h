// Progress texts from the scanners reach the page at most once per 100 ms,
// and long ones are shortened, so that a scan of many thousands of keys does
// not spend its time repainting.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>

#include "scan/scan_context.h"

namespace qm {

// A text of more than 60 characters becomes its first 5, "..." and its last
// 50 (58 in all); shorter texts stay as they are.
std::string ShortenProgressText(const std::string& text);

class ProgressThrottle : public ProgressSink {
  public:
    using TickSource = std::function<uint32_t()>;  // milliseconds, like GetTickCount
    using Show = std::function<void(const std::string&)>;

    ProgressThrottle(TickSource ticks, Show show)
        : ticks_(std::move(ticks)), show_(std::move(show)) {}

    // Shows the text when more than 100 ms (an unsigned difference, so that
    // the tick counter may wrap) have passed since the last text shown.
    void Progress(const std::string& text) override;

  private:
    TickSource ticks_;
    Show show_;
    std::atomic<uint32_t> lastShown_{0};
};

// Milliseconds since some fixed point, as GetTickCount gives them.
uint32_t SystemTickCount();

}  // namespace qm
