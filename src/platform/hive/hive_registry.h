// The registry over hive files: each hive is mounted at its place
// (HKLM\SOFTWARE, HKLM\SYSTEM, HKEY_USERS\<sid>, ...), and the keys and
// values are read from it through hivex when they are asked for. It keeps
// the in-memory registry's meaning: names in the code page, compared without
// regard to case by the same rules, subkeys listed in the same order, values
// in the order the hive holds them, the same statuses and buffer sizes.
// Entries that do not convert exactly into the code page are listed with
// status kNoUnicodeTranslation (see RegistryService).
//
// A mount may lie inside another hive's tree (the user's classes at
// HKCU\Software\Classes) and may show a key of a hive under another name
// (HKLM\SYSTEM\CurrentControlSet). Keys above and at mount points exist only
// here: they cannot be deleted, and keys cannot be created where no hive
// holds them. Changes go to the hives through hivex and reach the files only
// with Commit. All calls are safe from several threads.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "platform/hive/hive_commit.h"
#include "platform/hive/hive_file.h"
#include "platform/registry_service.h"

namespace qm {

class HiveRegistry : public RegistryService {
  public:
    HiveRegistry();
    ~HiveRegistry() override;

    // Shows the key `hiveKey` of `hive` (its root when empty) as the key
    // `path` of `root` (the root itself when empty). False when the hive
    // has no such key, the root is not one of HKCR, HKCU, HKLM, HKU and HKCC,
    // or something is mounted there already.
    bool Mount(HKey root, const std::string& path, std::shared_ptr<hive::HiveFile> hive,
               const std::string& hiveKey = "");

    // The hives mounted, each once, in the order first mounted.
    std::vector<std::shared_ptr<hive::HiveFile>> Hives() const;

    // Writes every changed hive, and every damaged one fails, as one
    // (hive::CommitHives): all of them or none. `outcomes` (may be null)
    // receives what became of each; `error`, when not every one was
    // written, says so with every hive's outcome.
    bool Commit(const UtcTime& now, std::vector<hive::HiveOutcome>* outcomes, std::string* error);

    size_t OpenHandleCount() const;

    // RegistryService. For Wow64Path: a 64-bit Windows' hives keep the
    // 32-bit programs' keys below Wow6432Node; where they are is told by the
    // system's rules (LayoutWow64Path). Names and text are in
    // Windows-1252.
    QM_REGISTRY_SERVICE_OVERRIDES;

  private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

}  // namespace qm
