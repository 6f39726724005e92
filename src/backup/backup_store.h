// The folder of backup files beside the program ("<program folder>Backup"),
// new backup files in it, and its listing.
//
// A new file is named "QmRegBak D-M-YYYY h-m-s.reg" after the current UTC
// time (no leading zeros). It is always a file of its own: it is created
// only if no file of that name exists, and when one does (a second backup
// within the same second) the name gets " (2)", " (3)" ... before ".reg".
// It starts with the header line: "Windows Registry Editor Version 5.00" on
// Windows 2000 and XP, whose registry editor reads text data in such files
// as UTF-16 (so the file is written in UTF-16LE), and "REGEDIT4" everywhere
// else.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "backup/reg_text_stream.h"
#include "platform/file_probe.h"
#include "platform/system_info.h"

namespace qm {

struct BackupEntry {
    std::string name;  // without the folder
    std::string path;
    uint64_t creationTime = 0;  // FILETIME units, UTC
    uint64_t size = 0;
};

class BackupStore {
  public:
    // How many names one second's time stamp may take.
    static constexpr int kMaxCopies = 100;

    BackupStore(FileProbe& files, SystemInfo& system) : files_(files), system_(system) {}

    // The running program's folder with its trailing backslash, or "" when
    // it cannot be had (paths are then relative to the current folder).
    std::string ProgramFolder() const;
    // The program folder followed by "Backup", unless a folder was set.
    std::string BackupFolder() const;
    // Keeps backups in `folder` instead (the headless scanner's choice).
    void SetBackupFolder(std::string folder) { folder_ = std::move(folder); }
    // Writes the files for another system than the running one: REGEDIT4 (code page) when
    // `regedit4`, version 5.00 (UTF-16LE) otherwise. For an installation repaired from another
    // system, whose own registry editor imports the backup.
    void SetFormatFor(bool regedit4) { format_ = regedit4 ? Format::kRegedit4 : Format::kVersion5; }

    // Creates a new backup file holding its header line and returns it
    // ready for entries of text in `codePage` (the registry's), with its
    // full path in `path`. When the file
    // cannot be created, the Backup folder is created and a fresh name
    // tried once more; null when that fails too, with the last status in
    // `status` (kWriteFault when not even the header could be written; that
    // file is removed again).
    std::unique_ptr<RegTextStream> CreateBackupFile(const CodePage& codePage,
                                                    std::string* path = nullptr,
                                                    Status* status = nullptr);

    // The files of the Backup folder in the file system's order, without
    // folders and empty files.
    std::vector<BackupEntry> ListBackups() const;

    // "QmRegBak 6-12-2026 14-5-9.reg" for copy 1, "... (2).reg" for copy 2.
    static std::string BackupFileName(const UtcTime& time, int copy = 1);
    // The first line for a system of that version (null: unknown).
    static const char* HeaderLine(const OsVersion* version);

  private:
    std::string PathIn(const std::string& name) const;

    enum class Format { kRunningSystem, kRegedit4, kVersion5 };
    FileProbe& files_;
    SystemInfo& system_;
    std::string folder_;
    Format format_ = Format::kRunningSystem;
};

}  // namespace qm
