#include "cli/fix_command.h"

#include <fstream>
#include <iterator>
#include <sstream>

#include "platform/regtext/reg_text.h"

#ifdef _WIN32
#include "backup/regedit_import.h"
#include "backup/restore_check.h"
#include "platform/win32/win32_file_probe.h"
#include "platform/win32/win32_system_info.h"
#else
#include <filesystem>

#include "platform/memory/host_system_info.h"
#endif

namespace qm::cli {

namespace {

std::unique_ptr<SystemInfo> MakeSystemInfo() {
#ifdef _WIN32
    return std::make_unique<Win32SystemInfo>();
#else
    return std::make_unique<HostSystemInfo>();
#endif
}

}  // namespace

bool PrepareBackupFolder(Options& options, std::string& windowsFolder, std::string& error) {
#ifdef _WIN32
    (void)error;
    windowsFolder = options.backupDir;
    return true;
#else
    std::error_code failed;
    std::filesystem::create_directories(options.backupDir, failed);
    if (failed || !std::filesystem::is_directory(options.backupDir)) {
        error = "cannot make the backup folder \"" + options.backupDir + "\"";
        return false;
    }
    for (char letter = 'Z'; letter >= 'D'; --letter) {
        bool used = false;
        for (const auto& drive : options.drives) used = used || drive.first == letter;
        if (used) continue;
        options.drives.emplace_back(letter, options.backupDir);
        windowsFolder = std::string(1, letter) + ":\\";
        return true;
    }
    error = "no drive letter is left for the backup folder";
    return false;
#endif
}

FixCommand::FixCommand(ScanDriver& driver, RegistryService& registry, FileProbe& files,
                       ScanView& view, const std::string& backupFolder)
    : driver_(driver),
      system_(MakeSystemInfo()),
      backups_(files, *system_),
      remover_(registry, files),
      engine_(driver, registry, backups_, remover_, view, [this](bool) {
          KeepFound();
          return true;
      }) {
    backups_.SetBackupFolder(backupFolder);
}

void FixCommand::KeepFound() {
    repaired_ = true;
    found_.Clear();
    driver_.items().ForEach(
        [this](const FoundItem& item) { found_.Append(std::make_unique<FoundItem>(item)); });
}

void FixCommand::Run() {
    if (repaired_) return;  // "repairafterfind" repaired at the end of the scan
    driver_.items().ForEach([](FoundItem& item) { item.selected = true; });
    driver_.SetState(ScanState::kStopFix);
    KeepFound();
    engine_.RunRepair(false);
}

void FixCommand::PrintBackup(std::ostream& out, const Options& options) const {
    const std::string& path = engine_.lastReport().backupPath;
    if (path.empty()) return;
#ifdef _WIN32
    (void)options;
    out << "Backup file: " << path << '\n';
#else
    const std::string name = path.substr(path.rfind('\\') + 1);
    out << "Backup file: " << (std::filesystem::path(options.backupDir) / name).string() << '\n';
#endif
}

int FixCommand::ExitStatus() const {
    const RepairReport& report = engine_.lastReport();
    return report.ran && !report.backupFailed && report.notRepaired.empty() ? 0 : 1;
}

int RestoreBackup(RegistryService& registry, MemoryRegistry* memory, const std::string& file,
                  std::ostream& out, std::string& error) {
    if (memory == nullptr) {
#ifdef _WIN32
        Win32FileProbe files;
        Status opened = status::kSuccess;
        if (files.OpenFile(file, FileMode::kRead, &opened) == nullptr) {
            error = "cannot read \"" + file + "\"";
            return 2;
        }
        const RestoreResult result = RestoreBackupFile(
            registry, files, [](const std::string& path) { return ImportWithRegedit(path); }, file);
        if (result.started != status::kSuccess) {
            error =
                "regedit.exe could not be started (error " + std::to_string(result.started) + ")";
            return 2;
        }
        const RestoreCheck& check = result.check;
        if (!check.complete) {
            // The check stops at the first entry that is not as the file
            // has it; the entries after it may or may not be back.
            out << "quillmend-scan: the restore is incomplete: "
                << (check.line != 0 ? "line " + std::to_string(check.line) + ": " : "")
                << check.problem << '\n'
                << "quillmend-scan: the backup file is kept: " << file << '\n';
            return 1;
        }
        if (result.deleted != status::kSuccess)
            out << "quillmend-scan: warning: the restored backup file could not be deleted (error "
                << result.deleted << ")\n";
        return 0;
#else
        (void)registry, (void)out;
        error = "there is no live registry here; give --registry FILE";
        return 2;
#endif
    }
    std::ifstream in(file, std::ios::binary);
    if (!in) {
        error = "cannot read \"" + file + "\"";
        return 2;
    }
    const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    regtext::Document doc;
    regtext::ParseError parseError;
    if (!regtext::Parse(bytes, doc, parseError, memory->codePage())) {
        error = file + ": line " + std::to_string(parseError.line) + ": " + parseError.message;
        return 2;
    }
    memory->Apply(doc);
    return 0;
}

bool SaveRegistry(const MemoryRegistry* memory, const std::string& file, std::string& error) {
    if (memory == nullptr) {
        error = "--save writes the in-memory registry; give --registry FILE";
        return false;
    }
    return memory->SaveFile(file, regtext::Format::kRegedit4,
                            {hkey::kLocalMachine, hkey::kCurrentUser, hkey::kUsers}, &error);
}

}  // namespace qm::cli
