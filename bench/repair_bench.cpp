// repair_bench: the offline repair against the read-only scan of the same
// hives, measured in one run. For each case, `quillmend-scan` without and
// with --fix alternate --rounds times (3 unless told), every repair on a
// fresh copy of the hives; the medians, their ratio, the hives' sizes
// before and after, and the growth bound are printed.
//
//   repair_bench [--rounds N] [--work DIR] [--keep]
//
// --keep leaves the hives of each case (original/ and repaired/) in DIR.
//
// The cases:
//  - 3,000 stale values in one key: SharedDLLs in a SOFTWARE hive of about
//    450 KB, 100 of its values naming files that exist;
//  - 3,000 stale keys: App Paths in a SOFTWARE hive of about 140 MB;
//  - the demo's whole installation (SOFTWARE, SYSTEM, DEFAULT and a user's
//    NTUSER.DAT, built from demo/registry.reg as the offline tests build it)
//    repaired through --windows.
// The targets: each repaired hive is at most its original's size plus twice
// the size of the value cells the repair rewrote (those of every key whose
// values changed, as the original held them), rounded up to whole 4 KB bins
// (a hive grows by bins), and the repair takes at most 3 times the scan, on
// the clock and in CPU time (the machine may be shared).
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <string>
#include <tuple>
#include <vector>

#include "bench/bench_support.h"
#include "platform/hive/hive_builder.h"
#include "platform/hive/hive_image.h"
#include "platform/hive/hive_raw.h"

namespace qm::bench {
namespace {

namespace fs = std::filesystem;

std::string ReadFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

[[noreturn]] void Die(const std::string& what) {
    std::fprintf(stderr, "repair_bench: %s\n", what.c_str());
    std::exit(1);
}

// Builds the hive `out` from registry text below `key` ("HKLM\SOFTWARE").
void MakeHive(const std::string& text, const std::string& key, const fs::path& out) {
    regtext::Document doc;
    regtext::ParseError parseError;
    if (!regtext::Parse("REGEDIT4\r\n\r\n" + text, doc, parseError))
        Die("registry text, line " + std::to_string(parseError.line) + ": " + parseError.message);
    const size_t slash = key.find('\\');
    std::string error;
    fs::create_directories(out.parent_path());
    if (!hive::BuildHive(QM_MINIMAL_HIVE, doc, ParseRootKeyName(key.substr(0, slash)),
                         slash == std::string::npos ? "" : key.substr(slash + 1), out.string(),
                         &error))
        Die(error);
}

struct Times {
    double wall = 0;  // on the clock
    double cpu = 0;   // user and system time of the program and its children
};

// Runs quillmend-scan with `args`; the time it took. Its standard output
// goes to `output`.
Times RunScan(const std::vector<std::string>& args, const fs::path& output, int* status) {
    std::vector<char*> argv{const_cast<char*>(QM_SCAN_PROGRAM)};
    for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
    argv.push_back(nullptr);
    const auto start = Clock::now();
    const pid_t pid = ::fork();
    if (pid == 0) {
        const int out = ::open(output.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        const int null = ::open("/dev/null", O_WRONLY);
        ::dup2(out, STDOUT_FILENO);
        ::dup2(null, STDERR_FILENO);
        ::execv(argv[0], argv.data());
        ::_exit(127);
    }
    int result = 0;
    struct rusage usage {};
    ::wait4(pid, &result, 0, &usage);
    *status = WIFEXITED(result) ? WEXITSTATUS(result) : -1;
    auto seconds = [](const timeval& t) { return t.tv_sec + t.tv_usec / 1e6; };
    // The program's own children (the commit's) are counted in its times
    // only if it waited for them, which it does.
    return {Seconds(start), seconds(usage.ru_utime) + seconds(usage.ru_stime)};
}

// The registry's value lists below a key, by key path: name, type, data.
using ValueLists = std::map<std::string, std::vector<std::string>>;

void ReadLists(hive_h* h, hive_node_h node, const std::string& path, ValueLists* lists,
               std::map<std::string, hive_node_h>* nodes) {
    std::vector<std::string>& list = (*lists)[path];
    (*nodes)[path] = node;
    hive::Freed<hive_value_h> values(hivex_node_values(h, node));
    for (size_t i = 0; values.p != nullptr && values.p[i] != 0; ++i) {
        std::string name, data;
        uint32_t type = 0;
        hive::RawValueName(h, values.p[i], &name);
        hive::RawValueData(h, values.p[i], &type, &data);
        list.push_back(name + '\0' + std::to_string(type) + '\0' + data);
    }
    hive::Freed<hive_node_h> children(hivex_node_children(h, node));
    for (size_t i = 0; children.p != nullptr && children.p[i] != 0; ++i) {
        std::string name;
        hive::RawNodeName(h, children.p[i], &name);
        ReadLists(h, children.p[i], path + "\\" + name, lists, nodes);
    }
}

// The size of the value cells, in `original`, of every key whose values
// differ in `repaired`: what the repair rewrote.
uint64_t RewrittenBytes(const fs::path& original, const fs::path& repaired) {
    ValueLists before, after;
    std::map<std::string, hive_node_h> nodes, unused;
    for (const auto& [path, lists, into] :
         {std::tuple{original, &before, &nodes}, std::tuple{repaired, &after, &unused}}) {
        hive_h* h = hivex_open(path.c_str(), 0);
        if (h == nullptr) Die("hivex cannot open " + path.string());
        ReadLists(h, hivex_root(h), "", lists, into);
        hivex_close(h);
    }
    const std::string bytes = ReadFile(original);
    uint64_t rewritten = 0;
    for (const auto& [path, values] : before) {
        auto now = after.find(path);
        if (now != after.end() && now->second != values)
            rewritten += hive::ValueCellBytes(bytes, static_cast<uint32_t>(nodes[path]));
    }
    return rewritten;
}

struct Case {
    std::string name;
    fs::path folder;                    // the case's files; "original/" holds its hives
    std::vector<std::string> hives;     // paths below original/ and repaired/
    std::vector<std::string> scanArgs;  // with {} for the folder in use
};

std::vector<std::string> ArgsFor(const Case& c, const fs::path& where) {
    std::vector<std::string> args;
    for (std::string arg : c.scanArgs) {
        const size_t mark = arg.find("{}");
        if (mark != std::string::npos) arg.replace(mark, 2, where.string());
        args.push_back(arg);
    }
    return args;
}

std::string Total(const fs::path& output) {
    const std::string json = ReadFile(output);
    const size_t at = json.find("\"total\": ");
    return at == std::string::npos ? "?" : json.substr(at + 9, json.find(',', at) - at - 9);
}

bool RunCase(const Case& c, int rounds) {
    const fs::path original = c.folder / "original", repaired = c.folder / "repaired";
    std::vector<double> scanWall, scanCpu, repairWall, repairCpu;
    int scanStatus = 0, fixStatus = 0;
    for (int round = 0; round < rounds; ++round) {
        fs::remove_all(repaired);
        fs::copy(original, repaired, fs::copy_options::recursive);
        fs::remove_all(c.folder / "backups");
        std::vector<std::string> scan = ArgsFor(c, original);
        scan.push_back("--json");
        std::vector<std::string> fix = ArgsFor(c, repaired);
        for (const char* arg : {"--json", "--fix", "--backup-dir"}) fix.push_back(arg);
        fix.push_back((c.folder / "backups").string());
        const Times a = RunScan(scan, c.folder / "scan.json", &scanStatus);
        const Times b = RunScan(fix, c.folder / "fix.json", &fixStatus);
        scanWall.push_back(a.wall);
        scanCpu.push_back(a.cpu);
        repairWall.push_back(b.wall);
        repairCpu.push_back(b.cpu);
        std::printf(
            "  round %d: scan %.2f s (CPU %.2f s), repair %.2f s (CPU %.2f s): %.2f, CPU %.2f\n",
            round + 1, a.wall, a.cpu, b.wall, b.cpu, b.wall / a.wall, b.cpu / a.cpu);
    }
    std::printf("  %s items found, scan exit %d, repair exit %d\n",
                Total(c.folder / "scan.json").c_str(), scanStatus, fixStatus);
    const double wall = Median(repairWall) / Median(scanWall);
    const double cpu = Median(repairCpu) / Median(scanCpu);
    bool met = wall <= 3 && cpu <= 3;
    for (const std::string& hive : c.hives) {
        const uint64_t before = fs::file_size(original / hive);
        const uint64_t after = fs::file_size(repaired / hive);
        const uint64_t rewritten = RewrittenBytes(original / hive, repaired / hive);
        // A hive grows by whole bins of 4 KB.
        const uint64_t bound = (2 * rewritten + 4095) / 4096 * 4096;
        const bool bounded = after <= before + bound;
        const std::string fault = hive::CheckImage(ReadFile(repaired / hive), true);
        met = met && bounded && fault.empty();
        std::printf(
            "  %s: %llu bytes before, %llu after (growth %lld); value cells rewritten %llu, "
            "twice that in whole bins %llu: %s; %s\n",
            hive.c_str(), static_cast<unsigned long long>(before),
            static_cast<unsigned long long>(after),
            static_cast<long long>(after) - static_cast<long long>(before),
            static_cast<unsigned long long>(rewritten), static_cast<unsigned long long>(bound),
            bounded ? "met" : "MISSED",
            fault.empty() ? "passes Windows' checks" : ("FAILS the checks: " + fault).c_str());
    }
    std::printf(
        "  medians of %d rounds, alternated: scan %.2f s (CPU %.2f s), repair %.2f s (CPU %.2f "
        "s); repair / scan %.2f, CPU %.2f (target <= 3: %s)\n",
        rounds, Median(scanWall), Median(scanCpu), Median(repairWall), Median(repairCpu), wall, cpu,
        wall <= 3 && cpu <= 3 ? "met" : "MISSED");
    return met;
}

// Registry text of keys that no scanner reports, about `bytes` long, 32
// keys to a key above them.
std::string Filler(size_t bytes, size_t valuesPerKey, size_t dataLength) {
    std::string text, data(dataLength, 'f');
    char line[128];
    size_t key = 0;
    while (text.size() < bytes) {
        std::snprintf(line, sizeof line,
                      "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Filler\\Area%02zu\\Group%02zu\\Key%02zu]\r\n",
                      key / 1024, key / 32 % 32, key % 32);
        ++key;
        text += line;
        for (size_t v = 0; v < valuesPerKey; ++v) {
            std::snprintf(line, sizeof line, "\"Setting%03zu\"=\"", v);
            text += line + data + "\"\r\n";
        }
    }
    return text;
}

Case StaleValues(const fs::path& work) {
    Case c{"3,000 stale values in one key (SharedDLLs)", work / "values", {"SOFTWARE"}, {}};
    const fs::path drive = c.folder / "drive_c";
    fs::create_directories(drive / "Keep");
    std::string text =
        "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\SharedDLLs]\r\n";
    char line[128];
    for (int i = 1; i <= 3000; ++i) {
        std::snprintf(line, sizeof line, "\"C:\\\\Stale\\\\library%05d.dll\"=dword:00000001\r\n",
                      i);
        text += line;
        if (i % 30 != 0) continue;
        std::snprintf(line, sizeof line, "keep%03d.dll", i / 30);
        std::ofstream(drive / "Keep" / line) << "x";
        text += std::string("\"C:\\\\Keep\\\\") + line + "\"=dword:00000002\r\n";
    }
    MakeHive(text + Filler(100 << 10, 4, 100), "HKLM\\SOFTWARE",
             c.folder / "original" / "SOFTWARE");
    c.scanArgs = {"--hive", "HKLM\\SOFTWARE={}/SOFTWARE", "--drive", "C=" + drive.string()};
    return c;
}

Case StaleKeys(const fs::path& work) {
    Case c{"3,000 stale keys (App Paths)", work / "keys", {"SOFTWARE"}, {}};
    const fs::path drive = c.folder / "drive_c";
    fs::create_directories(drive / "Keep");
    std::string text;
    char line[192];
    for (int i = 1; i <= 3000; ++i) {
        std::snprintf(line, sizeof line,
                      "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App "
                      "Paths\\stale%05d.exe]\r\n@=\"C:\\\\Stale\\\\stale%05d.exe\"\r\n",
                      i, i);
        text += line;
        if (i % 30 != 0) continue;
        std::snprintf(line, sizeof line, "keep%03d.exe", i / 30);
        std::ofstream(drive / "Keep" / line) << "x";
        text += std::string(
                    "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\"
                    "App Paths\\") +
                line + "]\r\n@=\"C:\\\\Keep\\\\" + line + "\"\r\n";
    }
    MakeHive(text + Filler(40 << 20, 4, 100), "HKLM\\SOFTWARE", c.folder / "original" / "SOFTWARE");
    c.scanArgs = {"--hive", "HKLM\\SOFTWARE={}/SOFTWARE", "--drive", "C=" + drive.string()};
    return c;
}

// The [key] sections of registry text whose key starts with `prefix`.
std::string Sections(const std::string& text, const std::string& prefix) {
    std::string out;
    bool keep = false;
    size_t pos = 0;
    while (pos < text.size()) {
        size_t end = text.find('\n', pos);
        if (end == std::string::npos) end = text.size();
        const std::string line = text.substr(pos, end + 1 - pos);
        if (!line.empty() && line[0] == '[') keep = line.compare(1, prefix.size(), prefix) == 0;
        if (keep) out += line;
        pos = end + 1;
    }
    return out;
}

Case Demo(const fs::path& work) {
    Case c{"the demo's whole installation (--windows)",
           work / "demo",
           {"WINDOWS/system32/config/SOFTWARE", "WINDOWS/system32/config/SYSTEM",
            "WINDOWS/system32/config/DEFAULT", "Documents and Settings/User/NTUSER.DAT"},
           {"--windows", "{}"}};
    const fs::path root = c.folder / "original";
    fs::create_directories(c.folder);
    fs::copy(QM_DEMO_DIR "/drive_c", root, fs::copy_options::recursive);
    std::string demo = ReadFile(QM_DEMO_DIR "/registry.reg");
    demo.erase(0, demo.find('\n') + 1);  // the REGEDIT4 line
    const std::string machine =
        "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion]\r\n"
        "\"CurrentVersion\"=\"5.1\"\r\n\"SystemRoot\"=\"C:\\\\WINDOWS\"\r\n"
        "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\ProfileList\\"
        "S-1-5-21-1-2-3-1000]\r\n\"ProfileImagePath\"=\"%SystemDrive%\\\\Documents and "
        "Settings\\\\User\"\r\n";
    const std::string system =
        "[HKEY_LOCAL_MACHINE\\SYSTEM\\Select]\r\n\"Current\"=dword:00000001\r\n"
        "[HKEY_LOCAL_MACHINE\\SYSTEM\\ControlSet001\\Control\\Session Manager\\Environment]\r\n"
        "\"Path\"=\"%SystemRoot%\\\\system32;%SystemRoot%\"\r\n";
    MakeHive(demo + machine, "HKLM\\SOFTWARE", root / c.hives[0]);
    MakeHive(system, "HKLM\\SYSTEM", root / c.hives[1]);
    MakeHive(demo, "HKU\\.DEFAULT", root / c.hives[2]);
    MakeHive(Sections(demo, "HKEY_CURRENT_USER"), "HKCU", root / c.hives[3]);
    return c;
}

}  // namespace
}  // namespace qm::bench

int main(int argc, char** argv) {
    using namespace qm::bench;
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    int rounds = 3;
    bool keep = false;
    fs::path work = fs::temp_directory_path() / ("qm-repair-bench-" + std::to_string(::getpid()));
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--rounds" && i + 1 < argc) {
            rounds = std::max(1, std::atoi(argv[++i]));
        } else if (arg == "--work" && i + 1 < argc) {
            work = argv[++i];
        } else if (arg == "--keep") {
            keep = true;
        } else {
            std::fprintf(stderr, "usage: repair_bench [--rounds N] [--work DIR] [--keep]\n");
            return 2;
        }
    }
    fs::remove_all(work);
    bool met = true;
    for (auto make : {&StaleValues, &StaleKeys, &Demo}) {
        const auto start = Clock::now();
        const Case c = make(work);
        std::printf("%s (hives built in %.1f s)\n", c.name.c_str(), Seconds(start));
        met = RunCase(c, rounds) && met;
    }
    if (!keep) fs::remove_all(work);
    std::printf("all targets %s\n", met ? "met" : "NOT met");
    return 0;
}
