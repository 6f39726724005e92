// live_scan_bench: the full eight-category scan of the live registry and
// file system against a bare walk that only enumerates every key and value
// of HKEY_LOCAL_MACHINE and HKEY_USERS, measured in one run. Meant for Wine
// (see bench/wine_bench.sh), where each registry call is a round trip to
// the Wine server.
#include <windows.h>
// psapi.h needs the types of windows.h first.
#include <psapi.h>

#include <atomic>
#include <cstdio>
#include <string>

#include "bench/bench_support.h"
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
    bool PathExists(const std::string&) override { return true; }
    bool FindOnPath(std::string&) override { return true; }
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
    ScanFilePaths(ctx);
    std::printf("File/Path walk without file tests or progress texts: %.2f s\n", Seconds(start));
}

// `--scan-only` leaves out the bare walk, so that the whole process can be
// timed against quillmend-scan.exe doing the same scan.
int Main(const std::string& mode) {
    Win32Registry registry;
    Win32FileProbe live;
    TimedProbe files(live);

    long keys = 0, values = 0;
    auto start = Clock::now();
    if (mode != "--scan-only") {
        BareWalk(registry, hkey::kLocalMachine, keys, values);
        BareWalk(registry, hkey::kUsers, keys, values);
    }
    const double walkTime = Seconds(start);

    NullView view;
    ScanDriver driver(registry, files, view, CategoryTimes::Scanners());
    start = Clock::now();
    driver.ScanWorker();
    const double scanTime = Seconds(start);

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
    if (keys > 0) std::printf("scan / bare walk: %.2f\n", scanTime / walkTime);
    std::printf("peak memory: %.1f MiB\n", PeakMiB());
    if (mode == "--details") Details(registry);
    return 0;
}

}  // namespace
}  // namespace qm::bench

int main(int argc, char** argv) {
    return qm::bench::Main(argc > 1 ? argv[1] : "");
}
