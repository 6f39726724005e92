// What both scan benchmarks use: a clock, the page the scan driver talks to
// when nothing is shown, a file probe that times its calls, and the bare
// walk that a scan is measured against.
#pragma once

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "platform/file_probe.h"
#include "platform/registry_service.h"
#include "scan/scan_driver.h"
#include "scan/scan_view.h"

namespace qm::bench {

using Clock = std::chrono::steady_clock;

inline double Seconds(Clock::time_point from) {
    return std::chrono::duration<double>(Clock::now() - from).count();
}

// The middle value (the upper of the two middle ones for an even count).
inline double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

// The page the scan driver talks to: nothing is shown, every row ticked.
class NullView : public QuietScanView {
  public:
    void ShowProgressText(const std::string&) override { ++progressTexts; }

    long progressTexts = 0;
};

// Passes every call on to the real probe and keeps count of the calls and
// the time spent in them, so that the file system's share of a scan shows.
class TimedProbe : public FileProbe {
  public:
    struct Tally {
        long calls = 0;
        double seconds = 0;
    };

    template <typename F>
    static auto Time(Tally& tally, F call) -> decltype(call()) {
        const auto start = Clock::now();
        auto result = call();
        tally.seconds += Seconds(start);
        ++tally.calls;
        return result;
    }

    explicit TimedProbe(FileProbe& inner) : inner_(inner) {}

    Existence CheckPath(const std::string& path) override {
        Tally probe;
        const Existence found = Time(probe, [&] { return inner_.CheckPath(path); });
        Tally& tally = found == Existence::kExists ? exists : missing;
        tally.calls += probe.calls;
        tally.seconds += probe.seconds;
        return found;
    }
    Existence FindOnPath(std::string& name) override {
        return Time(other, [&] { return inner_.FindOnPath(name); });
    }
    bool CanTellMissing(const std::string& path) override {
        return Time(other, [&] { return inner_.CanTellMissing(path); });
    }
    uint32_t ExpandEnvironment(const std::string& text, std::string& expanded,
                               uint32_t limit) override {
        return Time(other, [&] { return inner_.ExpandEnvironment(text, expanded, limit); });
    }
    bool SpecialFolder(int id, std::string& path) override {
        return Time(other, [&] { return inner_.SpecialFolder(id, path); });
    }
    std::string ModuleFileName() override { return inner_.ModuleFileName(); }
    Status CreateFolder(const std::string& path) override { return inner_.CreateFolder(path); }
    Status DeleteFile(const std::string& path) override { return inner_.DeleteFile(path); }
    Status ListFolder(const std::string& pattern, std::vector<FileEntry>& entries) override {
        return Time(listings, [&] { return inner_.ListFolder(pattern, entries); });
    }
    std::unique_ptr<FileStream> OpenFile(const std::string& path, FileMode mode,
                                         Status* result) override {
        return inner_.OpenFile(path, mode, result);
    }

    Tally exists, missing, listings, other;

  private:
    FileProbe& inner_;
};

// The eight scanners, each timed: seconds[c] is the time category c took in
// the last scan. The scan driver runs them as it runs the real ones.
struct CategoryTimes {
    static inline double seconds[kCategoryCount + 1] = {};

    template <int Category>
    static void Run(ScanContext& ctx) {
        const auto start = Clock::now();
        DefaultScanners()[Category - 1](ctx);
        seconds[Category] = Seconds(start);
    }

    static ScannerTable Scanners() {
        return {&Run<1>, &Run<2>, &Run<3>, &Run<4>, &Run<5>, &Run<6>, &Run<7>, &Run<8>};
    }

    static std::string Text() {
        std::string text;
        char part[48];
        for (int c = 1; c <= kCategoryCount; ++c) {
            std::snprintf(part, sizeof part, "%s%d: %.2f s", c == 1 ? "" : ", ", c, seconds[c]);
            text += part;
        }
        return text;
    }
};

// Opens and enumerates every key and value below a root, as the cheapest
// possible visit of the whole hive through the registry service.
inline void BareWalk(RegistryService& reg, HKey root, long& keys, long& values,
                     uint32_t rights = access::kRead) {
    struct Frame {
        RegKey key;
        uint32_t next = 0;
    };
    std::vector<Frame> stack;
    char name[300];
    char valueName[1024];
    uint8_t data[1024];
    auto countValues = [&](HKey key) {
        for (uint32_t i = 0;; ++i) {
            uint32_t nameSize = sizeof valueName;
            uint32_t dataSize = sizeof data;
            uint32_t type = 0;
            const Status s = reg.EnumValue(key, i, valueName, &nameSize, &type, data, &dataSize);
            if (s != status::kSuccess && s != status::kMoreData) break;
            ++values;
        }
    };
    Frame top{RegKey(reg), 0};
    if (top.key.Open(root, "", rights) != status::kSuccess) return;
    countValues(top.key.get());
    stack.push_back(std::move(top));
    while (!stack.empty()) {
        Frame& frame = stack.back();
        uint32_t size = 299;
        if (reg.EnumKey(frame.key.get(), frame.next++, name, &size) != status::kSuccess) {
            stack.pop_back();
            continue;
        }
        Frame child{RegKey(reg), 0};
        if (child.key.Open(frame.key.get(), name, rights) != status::kSuccess) continue;
        ++keys;
        countValues(child.key.get());
        stack.push_back(std::move(child));
    }
}

}  // namespace qm::bench
