#include "backup/backup_store.h"

#include <cstdio>
#include <utility>

namespace qm {

namespace {

constexpr const char* kVersion5Header = "Windows Registry Editor Version 5.00";
constexpr const char* kVersion4Header = "REGEDIT4";

}  // namespace

std::string BackupStore::ProgramFolder() const {
    const std::string program = files_.ModuleFileName();
    const size_t slash = program.rfind('\\');
    if (slash == std::string::npos) return {};
    return program.substr(0, slash + 1);
}

std::string BackupStore::BackupFolder() const {
    if (!folder_.empty()) return folder_;
    return ProgramFolder() + "Backup";
}

std::string BackupStore::PathIn(const std::string& name) const {
    std::string path = BackupFolder();
    if (!path.empty() && path.back() != '\\' && path.back() != '/') path.push_back('\\');
    return path + name;
}

std::string BackupStore::BackupFileName(const UtcTime& time, int copy) {
    char name[96];
    if (copy <= 1) {
        std::snprintf(name, sizeof name, "QmRegBak %d-%d-%d %d-%d-%d.reg", time.day, time.month,
                      time.year, time.hour, time.minute, time.second);
    } else {
        std::snprintf(name, sizeof name, "QmRegBak %d-%d-%d %d-%d-%d (%d).reg", time.day,
                      time.month, time.year, time.hour, time.minute, time.second, copy);
    }
    return name;
}

const char* BackupStore::HeaderLine(const OsVersion* version) {
    if (version != nullptr && version->platformId == platform_id::kNt && version->major == 5 &&
        (version->minor == 0 || version->minor == 1))
        return kVersion5Header;
    return kVersion4Header;
}

std::unique_ptr<RegTextStream> BackupStore::CreateBackupFile(const CodePage& codePage,
                                                             std::string* path, Status* status) {
    Status last = status::kSuccess;
    for (int round = 0; round < 2; ++round) {
        const UtcTime now = system_.UtcNow();
        for (int copy = 1; copy <= kMaxCopies; ++copy) {
            const std::string filePath = PathIn(BackupFileName(now, copy));
            std::unique_ptr<FileStream> file =
                files_.OpenFile(filePath, FileMode::kCreateNew, &last);
            if (!file) {
                if (last == status::kFileExists || last == status::kAlreadyExists) continue;
                break;
            }
            OsVersion version;
            const char* header =
                format_ == Format::kRegedit4 ? kVersion4Header
                : format_ == Format::kVersion5
                    ? kVersion5Header
                    : HeaderLine(system_.GetOsVersion(&version) ? &version : nullptr);
            const auto encoding = header == kVersion5Header ? RegTextStream::Encoding::kUtf16
                                                            : RegTextStream::Encoding::kCodePage;
            auto stream = std::make_unique<RegTextStream>(std::move(file), encoding, codePage);
            if (!stream->Append(std::string(header) + "\n")) {
                stream->Close();
                files_.DeleteFile(filePath);
                if (status != nullptr) *status = status::kWriteFault;
                return nullptr;
            }
            if (path != nullptr) *path = filePath;
            if (status != nullptr) *status = status::kSuccess;
            return stream;
        }
        // Most likely the folder is missing: make it (an existing one is no
        // error) and try once more with a fresh time stamp.
        if (round == 0) files_.CreateFolder(BackupFolder());
    }
    if (status != nullptr) *status = last;
    return nullptr;
}

std::vector<BackupEntry> BackupStore::ListBackups() const {
    std::vector<BackupEntry> backups;
    std::vector<FileEntry> entries;
    if (files_.ListFolder(PathIn("*.*"), entries) != status::kSuccess) return backups;
    for (const FileEntry& entry : entries) {
        if (entry.isDirectory || entry.size == 0) continue;
        backups.push_back(
            BackupEntry{entry.name, PathIn(entry.name), entry.creationTime, entry.size});
    }
    return backups;
}

}  // namespace qm
