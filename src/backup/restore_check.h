// Whether the registry holds what importing a registry text file would have
// put there. The registry editor's exit code says nothing about the import
// (it ends with 0 also when it refused the file), so a restore trusts only
// this check before it deletes a backup file.
//
// The file is read with the registry text reader, whose document holds
// names and text data as the ANSI registry functions see them, whatever
// the file's form (REGEDIT4 in the code page, version 5 in UTF-16LE). The
// entries are played in order to work out what the import leaves behind:
// every key that must exist with each of its values (type and data), and
// every key or value that a "[-key]" or "name"=- line must have removed.
#pragma once

#include <cstddef>
#include <functional>
#include <string>

#include "platform/file_probe.h"
#include "platform/registry_service.h"
#include "platform/regtext/reg_text.h"

namespace qm {

struct RestoreCheck {
    bool complete = false;
    // The file line of the first entry found missing or different (0 when
    // the file itself could not be read or parsed), and what is wrong.
    size_t line = 0;
    std::string problem;
};

// Checks a parsed file against the registry.
RestoreCheck CheckImported(RegistryService& registry, const regtext::Document& doc);

// Reads and parses the file at `path`, then checks it. A file that cannot
// be read or does not parse is never complete.
RestoreCheck CheckImportedFile(RegistryService& registry, FileProbe& files,
                               const std::string& path);

// Imports a backup file into the registry and returns once that has ended:
// kSuccess when the import ran, whatever it achieved; otherwise why it
// could not be started.
using BackupImporter = std::function<Status(const std::string& path)>;

struct RestoreResult {
    Status started = status::kSuccess;  // the importer's answer
    RestoreCheck check;                 // what the registry holds afterwards, once it ran
    Status deleted = status::kSuccess;  // the file's deletion, once complete
};

// A restore of one backup file: the import, the check, and the deletion of
// the file once the registry holds everything it describes. A file whose
// import could not be started, or did not bring everything back, stays.
RestoreResult RestoreBackupFile(RegistryService& registry, FileProbe& files,
                                const BackupImporter& importer, const std::string& path);

}  // namespace qm
