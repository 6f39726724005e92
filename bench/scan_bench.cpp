// scan_bench: the full eight-category scan on a registry the size of a
// default Windows 11 installation (about 700,000 keys and 1,200,000 values
// at scale 1), against a bare walk that only enumerates every key and value
// of the same hives through RegistryService, measured in one run.
//
// The registry is synthetic and held in memory; drive C: is a host folder
// made to match it, where most of the paths the registry names exist.
//
//   scan_bench [--scale X] [--seed N] [--rounds N] [--save DIR] [--offline ROUNDS]
//
// The bare walk and the scan alternate --rounds times (5 unless told), each
// scan with a new file probe, as a scan in the program has; the ratio of
// each round and their median are printed, and what filing the items one
// per entry costs of the scan.
//
// --offline ROUNDS then writes HKLM\SOFTWARE as a registry text file and as
// a hive file, and opens and scans each in turn ROUNDS times (the offline
// repair's cost against a registry text file of the same content).
//
// --save DIR writes the registry as DIR/registry.reg and keeps the drive
// folder as DIR/drive_c, so that the same system can be scanned elsewhere
// (for example imported into a Wine prefix).
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <random>
#include <string>
#include <unordered_set>
#include <vector>

#include "bench/bench_support.h"
#include "bench/offline_bench.h"
#include "platform/memory/mapped_file_probe.h"
#include "platform/memory/memory_registry.h"
#include "scan/found_entries.h"
#include "scan/scan_driver.h"

namespace qm::bench {
namespace {

// Peak and current resident memory of this process in MiB (Linux).
double StatusMiB(const char* field) {
    std::ifstream status("/proc/self/status");
    std::string line;
    const std::string prefix = std::string(field) + ":";
    while (std::getline(status, line))
        if (line.rfind(prefix, 0) == 0) return std::atof(line.c_str() + prefix.size()) / 1024.0;
    return 0;
}

// Builds the synthetic system: keys and values through the registry
// service, files in the host folder that is drive C:.
class SystemBuilder {
  public:
    SystemBuilder(MemoryRegistry& registry, std::filesystem::path drive, double scale,
                  unsigned seed)
        : reg_(registry), drive_(std::move(drive)), scale_(scale), rng_(seed) {}

    void Build();

    long keys = 0;
    long values = 0;
    long files = 0;
    long missingPaths = 0;                // path values made to name nothing
    std::vector<std::string> systemDlls;  // the libraries made in the system folder

  private:
    int Scaled(double count) const { return std::max(1, static_cast<int>(count * scale_)); }
    bool Chance(double p) { return std::uniform_real_distribution<double>(0, 1)(rng_) < p; }
    int Pick(int n) { return std::uniform_int_distribution<int>(0, n - 1)(rng_); }

    // A key below an open key or a root; created afresh, counted once.
    RegKey Key(HKey parent, const std::string& path) {
        RegKey key(reg_);
        bool created = false;
        if (key.Create(parent, path.c_str(), access::kAllAccess, &created) != status::kSuccess) {
            std::fprintf(stderr, "scan_bench: cannot create %s\n", path.c_str());
            std::exit(1);
        }
        keys += created ? 1 : 0;
        return key;
    }
    void Text(const RegKey& key, const std::string& name, const std::string& text,
              uint32_t type = regtype::kSz) {
        reg_.SetValue(key.get(), name.c_str(), type, reinterpret_cast<const uint8_t*>(text.c_str()),
                      static_cast<uint32_t>(text.size() + 1));
        ++values;
    }
    void Dword(const RegKey& key, const std::string& name, uint32_t number) {
        const uint8_t bytes[4] = {static_cast<uint8_t>(number), static_cast<uint8_t>(number >> 8),
                                  static_cast<uint8_t>(number >> 16),
                                  static_cast<uint8_t>(number >> 24)};
        reg_.SetValue(key.get(), name.c_str(), regtype::kDword, bytes, 4);
        ++values;
    }
    void Binary(const RegKey& key, const std::string& name, size_t size) {
        std::vector<uint8_t> bytes(size);
        for (auto& b : bytes) b = static_cast<uint8_t>(rng_());
        reg_.SetValue(key.get(), name.c_str(), regtype::kBinary, bytes.data(),
                      static_cast<uint32_t>(bytes.size()));
        ++values;
    }

    // An empty file at a Windows path below C:\, with its folders.
    void MakeFile(const std::string& windowsPath);
    std::filesystem::path Host(const std::string& windowsPath) const;

    std::string Guid(uint32_t kind, uint32_t n) {
        char text[48];
        std::snprintf(text, sizeof text, "{%08X-%04X-4%03X-8%03X-%012X}", 0x5EED0000u + kind,
                      n & 0xFFFF, (n >> 16) & 0xFFF, kind & 0xFFF, n);
        return text;
    }

    // A file the registry may name: most exist, `missing` of them do not.
    std::string ExistingFile() {
        ++pathsNamed_;
        return files_[Pick(static_cast<int>(files_.size()))];
    }
    std::string SomeFile(double missing = 0.03);
    std::string ProductFolder() { return productFolders_[Pick(productFolders_.size())]; }

    void MakeDrive();
    void MakeClasses();
    void MakeInstalledPrograms();
    void MakeSmallLists();
    void MakeFiller(long keyTarget, long valueTarget);

    MemoryRegistry& reg_;
    std::filesystem::path drive_;
    double scale_;
    std::mt19937 rng_;
    std::unordered_set<std::string> madeFolders_;
    std::vector<std::string> files_;  // every file made, as Windows paths
    std::vector<std::string> systemFiles_;
    std::vector<std::string> productFolders_;
    std::vector<std::string> progIds_;
    std::vector<std::string> classIds_;
    long pathsNamed_ = 0;
    int fontFiles_ = 0;
};

std::filesystem::path SystemBuilder::Host(const std::string& windowsPath) const {
    std::string relative = windowsPath.substr(3);
    for (char& c : relative)
        if (c == '\\') c = '/';
    return drive_ / relative;
}

void SystemBuilder::MakeFile(const std::string& windowsPath) {
    const std::filesystem::path host = Host(windowsPath);
    const std::string folder = host.parent_path().string();
    if (madeFolders_.insert(folder).second) std::filesystem::create_directories(folder);
    std::ofstream{host};
    files_.push_back(windowsPath);
    ++files;
}

std::string SystemBuilder::SomeFile(double missing) {
    if (!Chance(missing)) return ExistingFile();
    ++missingPaths;
    ++pathsNamed_;
    switch (Pick(3)) {
        case 0:  // a program that was removed with its folder
            return "C:\\Program Files\\Removed" + std::to_string(Pick(100000)) + "\\app.exe";
        case 1:  // a file gone from a folder that is still there
            return ProductFolder() + "\\gone" + std::to_string(Pick(100000)) + ".dll";
        default:
            return "C:\\Windows\\System32\\gone" + std::to_string(Pick(100000)) + ".dll";
    }
}

void SystemBuilder::MakeDrive() {
    for (int i = 0; i < Scaled(3000); ++i) {
        const std::string name =
            "C:\\Windows\\System32\\sys" + std::to_string(i) + (i % 5 == 0 ? ".exe" : ".dll");
        MakeFile(name);
        systemFiles_.push_back(name);
        if (i % 5 != 0) systemDlls.push_back(name);
    }
    for (const char* name : {"notepad.exe", "regedit.exe", "explorer.exe"})
        MakeFile(std::string("C:\\Windows\\") + name);
    fontFiles_ = Scaled(800);
    for (int i = 0; i < fontFiles_; ++i)
        MakeFile("C:\\Windows\\Fonts\\font" + std::to_string(i) + ".ttf");
    for (int v = 0; v < Scaled(600); ++v) {
        const int products = 1 + Pick(4);
        for (int p = 0; p < products; ++p) {
            const std::string folder =
                "C:\\Program Files\\Vendor" + std::to_string(v) + "\\Product " + std::to_string(p);
            productFolders_.push_back(folder);
            for (const char* file :
                 {"app.exe", "core.dll", "ui.dll", "shell.dll", "help.chm", "uninst.exe"})
                MakeFile(folder + "\\" + file);
        }
    }
    std::filesystem::create_directories(
        Host("C:\\ProgramData\\Microsoft\\Windows\\Start Menu\\Programs"));
    std::filesystem::create_directories(
        Host("C:\\Documents and Settings\\User\\Start Menu\\Programs"));
}

void SystemBuilder::MakeClasses() {
    RegKey classes = Key(hkey::kLocalMachine, "SOFTWARE\\Classes");
    RegKey clsidRoot = Key(classes.get(), "CLSID");
    RegKey appIdRoot = Key(classes.get(), "AppID");
    const int appIds = Scaled(3000);
    for (int i = 0; i < appIds; ++i) Text(Key(appIdRoot.get(), Guid(2, i)), "", "Application");
    for (int i = 0; i < Scaled(1000); ++i) {
        RegKey named = Key(appIdRoot.get(), "app" + std::to_string(i) + ".exe");
        Text(named, "AppID", Guid(2, Chance(0.02) ? appIds + i : Pick(appIds)));
    }

    for (int i = 0; i < Scaled(40000); ++i) {
        const std::string id = Guid(1, i);
        classIds_.push_back(id);
        RegKey cls = Key(clsidRoot.get(), id);
        Text(cls, "", "Class " + std::to_string(i));
        const int kind = Pick(20);
        if (kind < 16) {
            RegKey server = Key(cls.get(), "InprocServer32");
            Text(server, "",
                 Chance(0.5) ? systemFiles_[Pick(systemFiles_.size())] : SomeFile(0.03));
            Text(server, "ThreadingModel", "Both");
        }
        if (kind >= 15) {
            RegKey server = Key(cls.get(), "LocalServer32");
            Text(server, "", "\"" + SomeFile(0.03) + "\" -Embedding");
        }
        if (Chance(0.3)) {
            const std::string progId =
                "Vendor" + std::to_string(Pick(600)) + ".Thing" + std::to_string(i);
            Text(Key(cls.get(), "ProgID"), "", progId + ".1");
            Text(Key(cls.get(), "VersionIndependentProgID"), "", progId);
            progIds_.push_back(progId);
        }
        if (Chance(0.1)) Text(cls, "AppID", Guid(2, Chance(0.02) ? appIds + i : Pick(appIds)));
        if (Chance(0.2)) Key(cls.get(), "Implemented Categories\\" + Guid(3, Pick(50)));
    }

    for (size_t i = 0; i < progIds_.size(); ++i) {
        RegKey progId = Key(classes.get(), progIds_[i]);
        Text(progId, "", "Thing");
        Text(Key(progId.get(), "CLSID"), "",
             Chance(0.02) ? Guid(1, 0x100000 + static_cast<uint32_t>(i))
                          : classIds_[Pick(classIds_.size())]);
        if (Chance(0.3)) Text(Key(progId.get(), "CurVer"), "", progIds_[i] + ".1");
    }
    for (int i = 0; i < Scaled(4000); ++i) {
        RegKey ext = Key(classes.get(), ".ext" + std::to_string(i));
        Text(ext, "", progIds_.empty() ? "txtfile" : progIds_[Pick(progIds_.size())]);
        Key(ext.get(), "OpenWithProgids");
    }

    RegKey typeLibs = Key(classes.get(), "TypeLib");
    for (int i = 0; i < Scaled(8000); ++i) {
        RegKey version = Key(typeLibs.get(), Guid(4, i) + "\\1.0");
        Text(version, "", "Type library");
        Text(Key(version.get(), "0\\win32"), "", SomeFile(0.03));
        Text(Key(version.get(), "FLAGS"), "", "0");
        Text(Key(version.get(), "HELPDIR"), "", ProductFolder());
    }

    RegKey interfaces = Key(classes.get(), "Interface");
    for (int i = 0; i < Scaled(20000); ++i) {
        RegKey iface = Key(interfaces.get(), Guid(5, i));
        Text(iface, "", "IThing" + std::to_string(i));
        Text(Key(iface.get(), "ProxyStubClsid32"), "", classIds_[Pick(classIds_.size())]);
        RegKey lib = Key(iface.get(), "TypeLib");
        Text(lib, "", Guid(4, Pick(Scaled(8000))));
        Text(lib, "Version", "1.0");
    }
}

void SystemBuilder::MakeInstalledPrograms() {
    RegKey uninstall =
        Key(hkey::kLocalMachine, "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall");
    for (int i = 0; i < Scaled(10000); ++i) {
        RegKey entry =
            Key(uninstall.get(), Chance(0.4) ? Guid(6, i) : "Program" + std::to_string(i));
        const std::string folder = ProductFolder();
        Text(entry, "DisplayName", "Program " + std::to_string(i));
        if (Chance(0.4)) {
            Text(entry, "UninstallString", "MsiExec.exe /X" + Guid(6, i));
        } else if (Chance(0.95)) {
            Text(entry, "UninstallString", "\"" + folder + "\\uninst.exe\" /S");
        } else {
            ++missingPaths;
            Text(entry, "UninstallString",
                 "\"C:\\Program Files\\Removed" + std::to_string(i) + "\\uninst.exe\" /S");
        }
        Text(entry, "DisplayIcon", folder + "\\app.exe,0");
        Text(entry, "InstallLocation", folder + "\\");
        Text(entry, "Publisher", "Vendor");
        Text(entry, "DisplayVersion", "1.0." + std::to_string(i));
        Dword(entry, "EstimatedSize", 1000 + i);
        Dword(entry, "NoModify", 1);
    }

    RegKey shared =
        Key(hkey::kLocalMachine, "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\SharedDLLs");
    for (int i = 0; i < Scaled(3000); ++i) Dword(shared, SomeFile(0.03), 1 + Pick(5));

    RegKey appPaths =
        Key(hkey::kLocalMachine, "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Paths");
    for (int i = 0; i < Scaled(400); ++i) {
        RegKey app = Key(appPaths.get(), "app" + std::to_string(i) + ".exe");
        const std::string file = SomeFile(0.03);
        Text(app, "", file);
        Text(app, "Path", file.substr(0, file.rfind('\\')));
    }

    RegKey help = Key(hkey::kLocalMachine, "SOFTWARE\\Microsoft\\Windows\\HELP");
    for (int i = 0; i < Scaled(500); ++i) {
        const std::string folder = ProductFolder();
        if (Chance(0.97)) {
            Text(help, "help" + std::to_string(i) + ".chm", folder);
            MakeFile(folder + "\\help" + std::to_string(i) + ".chm");
        } else {
            ++missingPaths;
            Text(help, "gone" + std::to_string(i) + ".hlp", folder);
        }
    }
}

void SystemBuilder::MakeSmallLists() {
    RegKey fonts =
        Key(hkey::kLocalMachine, "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Fonts");
    for (int i = 0; i < fontFiles_; ++i) {
        if (Chance(0.02)) {
            ++missingPaths;
            Text(fonts, "Gone " + std::to_string(i) + " (TrueType)",
                 "gone" + std::to_string(i) + ".ttf");
        } else {
            Text(fonts, "Font " + std::to_string(i) + " (TrueType)",
                 "font" + std::to_string(i) + ".ttf");
        }
    }
    RegKey userShell =
        Key(hkey::kCurrentUser,
            "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\User Shell Folders");
    Text(userShell, "Fonts", "%SystemRoot%\\Fonts", regtype::kExpandSz);
    RegKey shell = Key(hkey::kCurrentUser,
                       "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders");
    Text(shell, "Fonts", "C:\\Windows\\Fonts");
    RegKey common = Key(hkey::kLocalMachine,
                        "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders");
    Text(common, "Common Programs", "C:\\ProgramData\\Microsoft\\Windows\\Start Menu\\Programs");

    for (HKey root : {hkey::kLocalMachine, hkey::kCurrentUser}) {
        RegKey run = Key(root, "Software\\Microsoft\\Windows\\CurrentVersion\\Run");
        for (int i = 0; i < 25; ++i)
            Text(run, "Startup" + std::to_string(i), SomeFile(0.05) + " /tray");
    }
    RegKey order = Key(hkey::kCurrentUser,
                       "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\MenuOrder\\Start "
                       "Menu2\\Programs");
    for (int i = 0; i < 60; ++i) {
        const std::string name = "Folder " + std::to_string(i);
        Key(order.get(), name);
        if (i % 10 != 0)
            std::filesystem::create_directories(
                Host("C:\\ProgramData\\Microsoft\\Windows\\Start Menu\\Programs\\" + name));
    }
}

// Settings trees of programs, services and users, to the key and value
// counts of the whole registry. A tenth of their text values are paths.
void SystemBuilder::MakeFiller(long keyTarget, long valueTarget) {
    const char* roots[] = {"SOFTWARE\\Vendors", "SYSTEM\\ControlSet001\\Services",
                           "SOFTWARE\\Microsoft\\Components"};
    const std::string users[] = {".DEFAULT\\Software",
                                 "S-1-5-21-1004336348-1177238915-682003330-1001\\Software",
                                 "S-1-5-21-1004336348-1177238915-682003330-1001_Classes"};
    std::vector<RegKey> stack;
    long component = 0;
    while (keys < keyTarget) {
        // 80% of the filler in HKEY_LOCAL_MACHINE, the rest in HKEY_USERS.
        RegKey top = Chance(0.8) ? Key(hkey::kLocalMachine, roots[Pick(3)])
                                 : Key(hkey::kUsers, users[Pick(3)]);
        stack.clear();
        stack.push_back(Key(top.get(), "Component" + std::to_string(component++)));
        const int size = 5 + Pick(60);
        for (int n = 0; n < size && keys < keyTarget; ++n) {
            // Walk down, up or sideways, to depths of up to eight.
            const int move = Pick(3);
            if (move == 0 && stack.size() > 1) stack.pop_back();
            if (move == 2 && stack.size() < 8)
                stack.push_back(Key(stack.back().get(), "Sub" + std::to_string(n)));
            RegKey key = Key(stack.back().get(), "Key" + std::to_string(n));
            const double perKey = static_cast<double>(valueTarget - values) /
                                  static_cast<double>(keyTarget - keys + 1);
            const int count = std::poisson_distribution<int>(std::max(0.0, perKey))(rng_);
            for (int v = 0; v < count; ++v) {
                const std::string name = "Value" + std::to_string(v);
                const int type = Pick(20);
                if (type < 8) {
                    Dword(key, name, static_cast<uint32_t>(rng_()));
                } else if (type < 17) {
                    Text(key, name,
                         Chance(0.1) ? SomeFile(0.03)
                                     : "setting text " + std::to_string(Pick(1000)));
                } else if (type < 19) {
                    Binary(key, name, 8 + Pick(56));
                } else {
                    // A system file written as "%SystemRoot%\\System32\\...".
                    Text(key, name,
                         "%SystemRoot%" + systemFiles_[Pick(systemFiles_.size())].substr(10),
                         regtype::kExpandSz);
                }
            }
        }
    }
}

void SystemBuilder::Build() {
    MakeDrive();
    MakeClasses();
    MakeInstalledPrograms();
    MakeSmallLists();
    MakeFiller(static_cast<long>(700000 * scale_), static_cast<long>(1200000 * scale_));
}

int Main(int argc, char** argv) {
    double scale = 1.0;
    unsigned seed = 1;
    std::string save;
    int offlineRounds = 0;
    int rounds = 5;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--scale" && i + 1 < argc) {
            scale = std::atof(argv[++i]);
        } else if (arg == "--seed" && i + 1 < argc) {
            seed = static_cast<unsigned>(std::atol(argv[++i]));
        } else if (arg == "--save" && i + 1 < argc) {
            save = argv[++i];
        } else if (arg == "--rounds" && i + 1 < argc) {
            rounds = std::max(1, std::atoi(argv[++i]));
        } else if (arg == "--offline" && i + 1 < argc) {
            offlineRounds = std::max(1, std::atoi(argv[++i]));
        } else {
            std::fprintf(stderr,
                         "usage: scan_bench [--scale X] [--seed N] [--rounds N] [--save DIR] "
                         "[--offline N]\n");
            return 2;
        }
    }
    if (scale <= 0) scale = 1.0;

    std::filesystem::path work = save.empty() ? std::filesystem::temp_directory_path() /
                                                    ("qm-scan-bench-" + std::to_string(::getpid()))
                                              : std::filesystem::path(save);
    const std::filesystem::path drive = work / "drive_c";
    std::filesystem::remove_all(drive);
    std::filesystem::create_directories(drive);

    MemoryRegistry registry;
    SystemBuilder builder(registry, drive, scale, seed);
    auto start = Clock::now();
    builder.Build();
    const double buildTime = Seconds(start);
    std::printf(
        "synthetic system (scale %.2f): %ld keys, %ld values, %ld files, %ld paths "
        "made to name nothing; built in %.1f s\n",
        scale, builder.keys, builder.values, builder.files, builder.missingPaths, buildTime);
    const double builtPeak = StatusMiB("VmHWM");
    std::printf("memory after building: %.0f MiB resident, peak %.0f MiB\n", StatusMiB("VmRSS"),
                builtPeak);

    MappedFilesConfig config = MappedFilesConfig::Defaults();
    config.drives = {{'C', drive.string()}};
    config.windowsFolder = "C:\\Windows";
    config.systemFolder = "C:\\Windows\\System32";
    for (auto& [name, value] : config.environment) {
        if (name == "SystemRoot" || name == "windir") value = "C:\\Windows";
        if (name == "Path") value = "C:\\Windows\\System32;C:\\Windows";
    }
    config.specialFolders[csidl::kWindows] = "C:\\Windows";
    config.specialFolders[csidl::kSystem] = "C:\\Windows\\System32";
    config.specialFolders[csidl::kFonts] = "C:\\Windows\\Fonts";

    // The bare walk of the hives the File/Path scan walks, and the scan,
    // alternated.
    long walkKeys = 0, walkValues = 0;
    std::vector<double> walkTimes, scanTimes, ratios;
    std::unique_ptr<MappedFileProbe> mapped;
    std::unique_ptr<TimedProbe> files;
    std::unique_ptr<ScanDriver> driver;
    NullView view;
    for (int round = 1; round <= rounds; ++round) {
        walkKeys = walkValues = 0;
        start = Clock::now();
        BareWalk(registry, hkey::kLocalMachine, walkKeys, walkValues);
        BareWalk(registry, hkey::kUsers, walkKeys, walkValues);
        walkTimes.push_back(Seconds(start));

        driver.reset();
        mapped = std::make_unique<MappedFileProbe>(config);
        files = std::make_unique<TimedProbe>(*mapped);
        view.progressTexts = 0;
        driver = std::make_unique<ScanDriver>(registry, *files, view, CategoryTimes::Scanners());
        start = Clock::now();
        driver->ScanWorker();
        scanTimes.push_back(Seconds(start));
        ratios.push_back(scanTimes.back() / walkTimes.back());
        std::printf(
            "round %d: bare walk %.3f s, scan %.3f s (file probe %.3f s), scan / bare walk "
            "%.2f, %d items\n",
            round, walkTimes.back(), scanTimes.back(),
            files->exists.seconds + files->missing.seconds + files->listings.seconds +
                files->other.seconds,
            ratios.back(), driver->counters().totalCount);
    }
    const double walkTime = Median(walkTimes);
    const double scanTime = Median(scanTimes);

    std::printf("bare walk of HKLM and HKU: %ld keys, %ld values in %.3f s (%.0f keys/s)\n",
                walkKeys, walkValues, walkTime, walkKeys / walkTime);
    std::printf("full scan, all eight categories: %.3f s (%.0f keys/s of HKLM and HKU), %d items",
                scanTime, walkKeys / scanTime, driver->counters().totalCount);
    for (int c = 1; c <= kCategoryCount; ++c)
        std::printf("%s%d", c == 1 ? " (" : " ", driver->counters().categoryCount[c]);
    std::printf(" by category), %ld progress texts shown\n", view.progressTexts);
    // What keeping one item per entry costs the scan: the last scan's items
    // filed again, as the scan files each one it finds, once per round.
    std::vector<double> fileTimes;
    size_t lookups = 0;
    for (int round = 1; round <= rounds; ++round) {
        FoundEntries entries(registry);
        start = Clock::now();
        driver->items().ForEach([&](const FoundItem& item) { entries.Admit(item); });
        fileTimes.push_back(Seconds(start));
        lookups = entries.IdentityLookups();
    }
    std::printf(
        "one item per entry: %d items filed in %.4f s, %zu of them with a key identity looked "
        "up; %.2f%% of the scan\n",
        driver->counters().totalCount, Median(fileTimes), lookups,
        100.0 * Median(fileTimes) / scanTime);
    std::printf("last round:\n");
    std::printf(
        "  of which the file probe: %.3f s: existence tests of %ld paths that exist "
        "in %.3f s and of %ld that do not in %.3f s, %ld folder listings in %.3f s, %ld "
        "other calls in %.3f s\n",
        files->exists.seconds + files->missing.seconds + files->listings.seconds +
            files->other.seconds,
        files->exists.calls, files->exists.seconds, files->missing.calls, files->missing.seconds,
        files->listings.calls, files->listings.seconds, files->other.calls, files->other.seconds);
    // What one existence test costs, by where the path leads.
    const auto perTest = [&](const std::string& folder, bool exists) {
        const size_t n = 200;
        const auto begin = Clock::now();
        for (size_t i = 0; i < n; ++i)
            mapped->PathExists(exists ? builder.systemDlls[i % builder.systemDlls.size()]
                                      : folder + "\\gone" + std::to_string(i) + ".dll");
        return Seconds(begin) / n * 1e6;
    };
    std::printf(
        "  one existence test: %.0f us for a file in the system folder (%ld files), %.0f "
        "us for a file missing from it, %.0f us for a file missing from C:\\\n",
        perTest("C:\\Windows\\System32", true),
        static_cast<long>(builder.systemDlls.size() * 5 / 4),
        perTest("C:\\Windows\\System32", false), perTest("C:", false));
    std::printf("  by category: %s\n", CategoryTimes::Text().c_str());
    std::printf("scan / bare walk: %.2f, the median of %d rounds (%.2f to %.2f)\n", Median(ratios),
                rounds, *std::min_element(ratios.begin(), ratios.end()),
                *std::max_element(ratios.begin(), ratios.end()));
    std::printf("peak memory: %.0f MiB (%.0f MiB of it reached while building)\n",
                StatusMiB("VmHWM"), builtPeak);

    if (offlineRounds > 0 && !RunOfflineBench(registry, *mapped, work, offlineRounds)) return 1;

    if (!save.empty()) {
        std::string error;
        if (!registry.SaveFile((work / "registry.reg").string(), regtext::Format::kRegedit4,
                               {hkey::kLocalMachine, hkey::kUsers, hkey::kCurrentUser}, &error)) {
            std::fprintf(stderr, "scan_bench: %s\n", error.c_str());
            return 1;
        }
        std::printf("saved %s and %s\n", (work / "registry.reg").c_str(), drive.c_str());
    } else {
        std::filesystem::remove_all(work);
    }
    return 0;
}

}  // namespace
}  // namespace qm::bench

int main(int argc, char** argv) {
    return qm::bench::Main(argc, argv);
}
