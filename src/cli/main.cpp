// quillmend-scan: the scan engine without windows. Scans an in-memory
// registry loaded from registry text files against drive letters mapped to
// folders, or on Windows the live registry, and prints what it found.
#include <filesystem>
#include <iostream>
#include <memory>
#include <string>
#include <vector>

#include "cli/fix_command.h"
#include "cli/ignore_file.h"
#include "cli/options.h"
#include "cli/report.h"
#include "cli/startup_command.h"
#include "platform/memory/memory_registry.h"
#include "scan/scan_driver.h"

#ifdef _WIN32
#include "platform/win32/ansi_code_page.h"
#include "platform/win32/win32_file_probe.h"
#include "platform/win32/win32_registry.h"
#else
#include "cli/offline_registry.h"
#include "platform/memory/host_text.h"
#include "platform/memory/mapped_file_probe.h"
#endif

#ifndef QM_DEMO_DIR
#define QM_DEMO_DIR "demo"
#endif

namespace qm::cli {
namespace {

constexpr int kBadInput = 2;

// The scan driver's page, for a console: rows are the chosen categories,
// messages go to the error stream, everything else is not shown.
class ConsoleView : public QuietScanView {
  public:
    explicit ConsoleView(const bool (&ticked)[kCategoryCount + 1]) : ticked_(ticked) {}
    bool IsRowTicked(int row) override { return ticked_[row + 1]; }
    void ShowMessage(const std::string& text) override { std::cerr << text << '\n'; }

  private:
    const bool (&ticked_)[kCategoryCount + 1];
};

// The demo's files: a registry text file and, away from Windows, a folder
// that is drive C:.
void UseDemo(Options& options) {
    const std::string dir = QM_DEMO_DIR;
    options.registryFiles = {dir + "/registry.reg"};
#ifndef _WIN32
    options.drives = {{'C', dir + "/drive_c"}};
#endif
}

#ifndef _WIN32
// The drives and environment of the options over `config` (the defaults, or
// an offline installation's).
MappedFilesConfig FilesConfig(const Options& options, MappedFilesConfig config) {
    for (const auto& [letter, folder] : options.drives) config.drives[letter] = folder;
    for (const auto& variable : options.environment) {
        bool replaced = false;
        for (auto& existing : config.environment) {
            if (mapped::EqualNoCase(existing.first, variable.first)) {
                existing.second = variable.second;
                replaced = true;
            }
        }
        if (!replaced) config.environment.push_back(variable);
    }
    if (!options.searchPath.empty()) {
        for (auto& existing : config.environment) {
            if (!mapped::EqualNoCase(existing.first, "PATH")) continue;
            for (const auto& folder : options.searchPath) existing.second += ";" + folder;
        }
    }
    if (!options.currentFolder.empty()) config.currentFolder = options.currentFolder;
    return config;
}

// Drive letters mapped to host folders; every folder must be readable. A
// Windows folder with SysWOW64 in it is that of 64-bit Windows.
std::unique_ptr<FileProbe> MakeFileProbe(const Options& options, const MappedFilesConfig& base,
                                         std::string& error) {
    for (const auto& [letter, folder] : options.drives) {
        MappedFilesConfig single;
        single.drives[letter] = folder;
        if (!MappedFileProbe(single).PathExists(std::string(1, letter) + ":\\")) {
            error = std::string("drive ") + letter + ": folder \"" + folder + "\" cannot be read";
            return nullptr;
        }
    }
    MappedFilesConfig config = FilesConfig(options, base);
    config.wow64 = MappedFileProbe(config).PathExists(config.windowsFolder + "\\SysWOW64");
    return std::make_unique<MappedFileProbe>(config);
}
#else
// The live file system; drive mappings and a made-up environment have no
// meaning on Windows.
std::unique_ptr<FileProbe> MakeFileProbe(const Options& options, std::string& error) {
    if (!options.drives.empty() || !options.environment.empty() || !options.searchPath.empty() ||
        !options.currentFolder.empty()) {
        error = "--drive, --env, --search-path and --cwd are for scans away from Windows";
        return nullptr;
    }
    return std::make_unique<Win32FileProbe>();
}
#endif

// The code page of the registry that is scanned: the system's on Windows,
// and Windows-1252 for the registry files and hives elsewhere.
const CodePage& RegistryCodePage() {
#ifdef _WIN32
    return win32::AnsiCodePage();
#else
    return CodePage::Windows1252();
#endif
}

int Run(int argc, const char* const* argv) {
    Options options;
    const int parsed = ParseOptions(argc, argv, options);
    if (parsed >= 0) return parsed;
    std::string error;
    auto fail = [&error](const std::string& message = {}) {
        std::cerr << "quillmend-scan: " << (message.empty() ? error : message) << '\n';
        return kBadInput;
    };
    if (options.demo) UseDemo(options);
    // The entries to leave out, read before anything is opened or written.
    const CodePage& codePage = RegistryCodePage();
    std::vector<IgnoreEntry> alsoIgnored;
    for (const std::string& file : options.ignoreFiles)
        if (!ReadIgnoreFile(file, codePage, alsoIgnored, error)) return fail();
    if (!options.saveFile.empty() && options.registryFiles.empty() && !options.offline.Requested())
        return fail("--save writes the in-memory registry; give --registry FILE");

    std::unique_ptr<RegistryService> registry;
    MemoryRegistry* memoryRegistry = nullptr;
#ifndef _WIN32
    // Hive files of an installation: opened for writing only when this run
    // changes something, and then never while one of them is only read or
    // the installation's Windows is hibernated.
    OfflineRegistry offline;
    MappedFilesConfig filesBase = MappedFilesConfig::Defaults();
    const bool writes = options.fix || options.startupOff != 0 || options.startupOn != 0;
    if (options.offline.Requested()) {
        if (!OpenOffline(options.offline, writes, &offline, error)) return fail();
        for (const std::string& notice : offline.notices)
            std::cerr << "quillmend-scan: note: " << notice << '\n';
        for (const std::string& warning : offline.readOnly)
            std::cerr << "quillmend-scan: warning: " << warning << '\n';
        const std::string refused = std::string(options.fix ? "--fix" : "switching") + " refused: ";
        if (!offline.hibernated.empty()) {
            if (writes) return fail(refused + offline.hibernated + "; nothing is written");
            std::cerr << "quillmend-scan: warning: " << offline.hibernated << '\n';
        }
        if (writes && !offline.readOnly.empty())
            return fail(refused + "a hive is only read (see above), and nothing is written");
        filesBase = offline.files;
    }
    HiveRegistry* hives = offline.registry.get();
    auto save = [&](const std::string& file) {
        return hives != nullptr ? SaveOffline(*hives, file, error)
                                : SaveRegistry(memoryRegistry, file, error);
    };
    auto commit = [&](std::ostream& out) {
        if (hives == nullptr || CommitOffline(*hives, out, error)) return true;
        fail();
        return false;
    };
    registry = std::move(offline.view);
#else
    auto save = [&](const std::string& file) { return SaveRegistry(memoryRegistry, file, error); };
    auto commit = [](std::ostream&) { return true; };
#endif
    if (registry != nullptr) {
        // The hive files opened above.
    } else if (!options.registryFiles.empty()) {
        auto memory = std::make_unique<MemoryRegistry>();
        memoryRegistry = memory.get();
        for (const auto& file : options.registryFiles) {
            // A folder opens like a file on some systems and only fails
            // when read; say what is wrong instead.
            std::error_code ignored;
            if (std::filesystem::is_directory(file, ignored))
                return fail(file + ": is a folder, not a registry file");
            if (!memory->LoadFile(file, &error)) return fail();
        }
        // A registry that keeps 32-bit programs' keys apart is that of
        // 64-bit Windows, and has both views.
        RegKey view(*memory);
        memory->SetTwoViews(view.Open(hkey::kLocalMachine, "SOFTWARE\\Wow6432Node",
                                      access::kRead) == status::kSuccess);
        view.Close();
        registry = std::move(memory);
    } else {
#ifdef _WIN32
        registry = std::make_unique<Win32Registry>();
#else
        return fail("there is no live registry here; give --registry FILE");
#endif
    }

    if (!options.restoreFile.empty()) {
        const int restored =
            RestoreBackup(*registry, memoryRegistry, options.restoreFile, std::cerr, error);
        if (restored == kBadInput) return fail();
        if (restored != 0) return restored;
        if (!options.saveFile.empty() && !SaveRegistry(memoryRegistry, options.saveFile, error))
            return fail();
        return 0;
    }

    // The backup folder is made only once nothing refuses the repair.
    std::string backupFolder;
    if (options.fix && !PrepareBackupFolder(options, backupFolder, error)) return fail();
#ifndef _WIN32
    std::unique_ptr<FileProbe> files = MakeFileProbe(options, filesBase, error);
#else
    std::unique_ptr<FileProbe> files = MakeFileProbe(options, error);
#endif
    if (!files) return fail();

    if (options.startup) {
        int status = RunStartupCommand(options, *registry, *files, std::cout, std::cerr);
        if (!commit(options.json ? std::cerr : std::cout)) status = 1;
        if (status == 0 && !options.saveFile.empty() && !save(options.saveFile)) return fail();
        return status;
    }

    bool ticked[kCategoryCount + 1] = {};
    for (int c = 1; c <= kCategoryCount; ++c) ticked[c] = options.categories.empty();
    for (int c : options.categories) ticked[c] = true;

    ConsoleView view(ticked);
    ScanDriver driver(*registry, *files, view);
    driver.AlsoIgnore(std::move(alsoIgnored));
    std::unique_ptr<FixCommand> fix;
    if (options.fix) {
        fix = std::make_unique<FixCommand>(driver, *registry, *files, view, backupFolder);
#ifndef _WIN32
        // The backup is for the repaired Windows' own registry editor.
        if (hives != nullptr) fix->SetBackupFormat(offline.xpEra);
#endif
    }
    driver.ScanWorker();
    if (fix) fix->Run();

    const FoundItemList& found = fix ? fix->found() : driver.items();
    if (options.json)
        PrintJson(std::cout, found, driver.counters(), registry->codePage());
    else
        PrintText(std::cout, found, driver.counters(), ticked, registry->codePage());
    if (fix) fix->PrintBackup(options.json ? std::cerr : std::cout, options);
    const bool committed = commit(options.json ? std::cerr : std::cout);
    if (!options.saveFile.empty() && !save(options.saveFile)) return fail();
    if (!committed) return 1;
    return fix ? fix->ExitStatus() : 0;
}

}  // namespace
}  // namespace qm::cli

int main(int argc, char** argv) {
    return qm::cli::Run(argc, argv);
}
