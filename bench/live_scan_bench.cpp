// live_scan_bench: the full eight-category scan of the live registry and
// file system against a bare walk that only enumerates every key and value
// of HKEY_LOCAL_MACHINE and HKEY_USERS, measured in one run, with the
// registry functions each of them calls per key. Meant for Wine (see
// bench/wine_bench.sh), where each registry call is a round trip to the Wine
// server.
#include <windows.h>
// psapi.h needs the types of windows.h first.
#include <psapi.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <string>
#include <vector>

#include "bench/bench_support.h"
#include "platform/win32/registry_listing.h"
#include "platform/win32/win32_file_probe.h"
#include "platform/win32/win32_registry.h"
#include "scan/scan_driver.h"
#include "scan/scanners.h"

namespace qm::bench {
namespace {

double PeakMiB() {
    PROCESS_MEMORY_COUNTERS counters = {};
    counters.cb = sizeof counters;
    if (!GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof counters)) return 0;
    return static_cast<double>(counters.PeakWorkingSetSize) / (1024.0 * 1024.0);
}

// A file system where every path exists: a scan against it costs only its
// registry calls and its own work.
class EverythingExists : public FileProbe {
  public:
    Existence CheckPath(const std::string&) override { return Existence::kExists; }
    Existence FindOnPath(std::string&) override { return Existence::kExists; }
    bool CanTellMissing(const std::string&) override { return true; }
    uint32_t ExpandEnvironment(const std::string& text, std::string& expanded,
                               uint32_t limit) override {
        if (text.size() + 1 > limit) return static_cast<uint32_t>(text.size() + 1);
        expanded = text;
        return static_cast<uint32_t>(text.size() + 1);
    }
    bool SpecialFolder(int, std::string& path) override {
        path = "C:\\";
        return true;
    }
    std::string ModuleFileName() override { return {}; }
    Status CreateFolder(const std::string&) override { return status::kAccessDenied; }
    Status DeleteFile(const std::string&) override { return status::kAccessDenied; }
    Status ListFolder(const std::string&, std::vector<FileEntry>& entries) override {
        entries.assign(1, FileEntry{});
        return status::kSuccess;
    }
    std::unique_ptr<FileStream> OpenFile(const std::string&, FileMode, Status*) override {
        return nullptr;
    }
};

// The bare walk with each key read in one pass (ListKey): what a walk that
// reads every key and value needs at the least.
void ListingWalk(RegistryService& registry, HKey root, long& keys, long& values) {
    std::vector<RegKey> pending;
    pending.emplace_back(registry);
    if (pending.back().Open(root, "", access::kRead) != status::kSuccess) return;
    KeyListing listed;
    while (!pending.empty()) {
        RegKey key = std::move(pending.back());
        pending.pop_back();
        registry.ListKey(key.get(), listing::kSubKeys | listing::kValues, listed);
        values += static_cast<long>(listed.values.size());
        for (const KeyListing::SubKey& child : listed.subKeys) {
            if (!child.usable) continue;
            RegKey opened(registry);
            if (opened.Open(key.get(), child.name.c_str(), access::kRead) != status::kSuccess)
                continue;
            ++keys;
            pending.push_back(std::move(opened));
        }
    }
}

// Registry functions called per key since `from`.
double CallsPerKey(uint64_t from, long keys) {
    return keys > 0 ? static_cast<double>(win32::RegistryCalls() - from) / keys : 0;
}

// Where the File/Path walk's time goes beyond the bare walk's: the same
// walk asking for change access, and the File/Path walk itself without
// file tests or progress texts.
void Details(RegistryService& registry) {
    long keys = 0, values = 0;
    auto start = Clock::now();
    BareWalk(registry, hkey::kLocalMachine, keys, values, access::kReadWrite);
    BareWalk(registry, hkey::kUsers, keys, values, access::kReadWrite);
    std::printf("bare walk opening keys for change: %.2f s\n", Seconds(start));

    EverythingExists files;
    FoundItemList items;
    ScanCounters counters;
    std::atomic<int> stop{0};
    ScanContext ctx{registry, files, items, counters, stop, nullptr};
    start = Clock::now();
    const uint64_t calls = win32::RegistryCalls();
    ScanFilePaths(ctx);
    std::printf(
        "File/Path walk without file tests or progress texts: %.2f s, %.2f registry calls per "
        "key\n",
        Seconds(start), CallsPerKey(calls, keys));

    // The bare walk against the same walk reading each key in one pass,
    // alternated, with the medians of their times.
    std::vector<double> walkTimes, listingTimes;
    double walkCalls = 0, listingCalls = 0;
    for (int round = 0; round < 3; ++round) {
        long walkKeys = 0, walkValues = 0, listedKeys = 0, listedValues = 0;
        uint64_t from = win32::RegistryCalls();
        start = Clock::now();
        BareWalk(registry, hkey::kLocalMachine, walkKeys, walkValues);
        BareWalk(registry, hkey::kUsers, walkKeys, walkValues);
        walkTimes.push_back(Seconds(start));
        walkCalls = CallsPerKey(from, walkKeys);
        from = win32::RegistryCalls();
        start = Clock::now();
        ListingWalk(registry, hkey::kLocalMachine, listedKeys, listedValues);
        ListingWalk(registry, hkey::kUsers, listedKeys, listedValues);
        listingTimes.push_back(Seconds(start));
        listingCalls = CallsPerKey(from, listedKeys);
    }
    const auto median = [](std::vector<double> times) {
        std::sort(times.begin(), times.end());
        return times[times.size() / 2];
    };
    std::printf(
        "bare walk %.2f s (%.2f calls per key) against reading each key in one pass %.2f s "
        "(%.2f calls per key), medians of 3 alternated: %.2f\n",
        median(walkTimes), walkCalls, median(listingTimes), listingCalls,
        median(listingTimes) / median(walkTimes));
}

// `--scan-only` leaves out the bare walk, so that the whole process can be
// timed against quillmend-scan.exe doing the same scan.
int Main(const std::string& mode) {
    Win32Registry registry;
    Win32FileProbe live;
    TimedProbe files(live);

    long keys = 0, values = 0;
    auto start = Clock::now();
    const uint64_t walkCalls = win32::RegistryCalls();
    if (mode != "--scan-only") {
        BareWalk(registry, hkey::kLocalMachine, keys, values);
        BareWalk(registry, hkey::kUsers, keys, values);
    }
    const double walkTime = Seconds(start);
    const double walkPerKey = CallsPerKey(walkCalls, keys);

    NullView view;
    ScanDriver driver(registry, files, view, CategoryTimes::Scanners());
    start = Clock::now();
    const uint64_t scanCalls = win32::RegistryCalls();
    driver.ScanWorker();
    const double scanTime = Seconds(start);
    const double scanPerKey = CallsPerKey(scanCalls, keys);

    if (keys > 0)
        std::printf("bare walk of HKLM and HKU: %ld keys, %ld values in %.2f s (%.0f keys/s)\n",
                    keys, values, walkTime, keys / walkTime);
    std::printf("full scan, all eight categories: %.2f s", scanTime);
    if (keys > 0) std::printf(" (%.0f keys/s of HKLM and HKU)", keys / scanTime);
    std::printf(", %d items", driver.counters().totalCount);
    for (int c = 1; c <= kCategoryCount; ++c)
        std::printf("%s%d", c == 1 ? " (" : " ", driver.counters().categoryCount[c]);
    std::printf(" by category)\n");
    std::printf(
        "  of which the file system: %.2f s (%ld tests of paths that exist, %ld of paths "
        "that do not, %ld folder listings, %ld other calls)\n",
        files.exists.seconds + files.missing.seconds + files.listings.seconds + files.other.seconds,
        files.exists.calls, files.missing.calls, files.listings.calls, files.other.calls);
    std::printf("  by category: %s\n", CategoryTimes::Text().c_str());
    if (keys > 0) {
        std::printf("registry calls per key of HKLM and HKU: bare walk %.2f, full scan %.2f\n",
                    walkPerKey, scanPerKey);
        std::printf("scan / bare walk: %.2f\n", scanTime / walkTime);
    }
    std::printf("peak memory: %.1f MiB\n", PeakMiB());
    if (mode == "--details") Details(registry);
    return 0;
}

}  // namespace
}  // namespace qm::bench

int main(int argc, char** argv) {
    return qm::bench::Main(argc > 1 ? argv[1] : "");
}
