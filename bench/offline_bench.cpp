#include "bench/offline_bench.h"

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <vector>

#include "bench/bench_support.h"
#include "platform/hive/hive_builder.h"
#include "platform/hive/hive_registry.h"
#include "platform/regtext/reg_text.h"
#include "scan/scan_driver.h"

namespace qm::bench {

namespace {

struct Timing {
    double open = 0;
    double scan = 0;
    int items = 0;
};

Timing ScanOnce(RegistryService& registry, FileProbe& files, double openTime) {
    NullView view;
    ScanDriver driver(registry, files, view);
    const auto start = Clock::now();
    driver.ScanWorker();
    return {openTime, Seconds(start), driver.counters().totalCount};
}

}  // namespace

bool RunOfflineBench(const MemoryRegistry& system, FileProbe& files,
                     const std::filesystem::path& work, int rounds) {
    const std::string regFile = (work / "SOFTWARE.reg").string();
    const std::string hiveFile = (work / "SOFTWARE").string();
    regtext::Document doc = system.Export(hkey::kLocalMachine, "SOFTWARE");
    doc.format = regtext::Format::kRegedit4;
    {
        std::ofstream out(regFile, std::ios::binary);
        out << regtext::Write(doc, regtext::Format::kRegedit4);
        if (!out) {
            std::fprintf(stderr, "scan_bench: cannot write %s\n", regFile.c_str());
            return false;
        }
    }
    std::string error;
    auto start = Clock::now();
    if (!hive::BuildHive(QM_MINIMAL_HIVE, doc, hkey::kLocalMachine, "SOFTWARE", hiveFile, &error)) {
        std::fprintf(stderr, "scan_bench: %s\n", error.c_str());
        return false;
    }
    std::printf(
        "HKLM\\SOFTWARE: %zu entries; registry text %.0f MiB, hive %.0f MiB (built with "
        "hivex in %.1f s)\n",
        doc.entries.size(), std::filesystem::file_size(regFile) / 1048576.0,
        std::filesystem::file_size(hiveFile) / 1048576.0, Seconds(start));
    doc.entries.clear();

    std::vector<Timing> text, hive;
    for (int round = 0; round < rounds; ++round) {
        {
            MemoryRegistry memory;
            start = Clock::now();
            if (!memory.LoadFile(regFile, &error)) {
                std::fprintf(stderr, "scan_bench: %s\n", error.c_str());
                return false;
            }
            text.push_back(ScanOnce(memory, files, Seconds(start)));
        }
        {
            HiveRegistry hives;
            start = Clock::now();
            std::shared_ptr<hive::HiveFile> file = hive::HiveFile::Open(hiveFile, false, &error);
            if (file == nullptr || !hives.Mount(hkey::kLocalMachine, "SOFTWARE", file) ||
                !hives.Mount(hkey::kClassesRoot, "", file, "Classes")) {
                std::fprintf(stderr, "scan_bench: %s\n", error.c_str());
                return false;
            }
            hive.push_back(ScanOnce(hives, files, Seconds(start)));
        }
        std::printf(
            "  round %d: registry text %.2f s open + %.2f s scan (%d items), hive %.2f s "
            "open + %.2f s scan (%d items)\n",
            round + 1, text.back().open, text.back().scan, text.back().items, hive.back().open,
            hive.back().scan, hive.back().items);
    }
    auto medians = [](const std::vector<Timing>& t, double Timing::*field) {
        std::vector<double> v;
        for (const Timing& x : t) v.push_back(x.*field);
        return Median(v);
    };
    std::vector<double> textTotal, hiveTotal;
    for (int i = 0; i < rounds; ++i) {
        textTotal.push_back(text[i].open + text[i].scan);
        hiveTotal.push_back(hive[i].open + hive[i].scan);
    }
    const double textOpen = medians(text, &Timing::open), textScan = medians(text, &Timing::scan);
    const double hiveOpen = medians(hive, &Timing::open), hiveScan = medians(hive, &Timing::scan);
    std::printf(
        "medians of %d rounds, alternated: registry text %.2f s open + %.2f s scan = "
        "%.2f s; hive %.2f s open + %.2f s scan = %.2f s\n",
        rounds, textOpen, textScan, Median(textTotal), hiveOpen, hiveScan, Median(hiveTotal));
    std::printf("offline hive / registry text: %.2f (open and scan), %.2f (scan only); items %s\n",
                Median(hiveTotal) / Median(textTotal), hiveScan / textScan,
                text.back().items == hive.back().items ? "the same" : "DIFFER");
    return text.back().items == hive.back().items;
}

}  // namespace qm::bench
