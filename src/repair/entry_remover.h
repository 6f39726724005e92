// Removing registry keys, registry values and files. Before a key or value
// goes it is written to the backup stream, when one is set, and it goes
// only if it was written there in full: an entry that cannot be read
// completely, or that the stream cannot take, stays where it is.
#pragma once

#include <string>

#include "backup/reg_export_writer.h"
#include "backup/reg_text_stream.h"
#include "platform/file_probe.h"
#include "platform/registry_service.h"

namespace qm {

// What a removal did: the status, and whether the entry stayed because it
// could not be written to the backup in full (rather than because the
// deletion itself failed). It reads as its status.
struct RemoveResult {
    Status status = status::kSuccess;
    bool notBackedUp = false;
    constexpr operator Status() const { return status; }
};

class EntryRemover {
  public:
    // What DeleteKeyTree returns when the key is gone: negative, so that no
    // Win32 status (all of which are 0 or more) can be taken for it.
    static constexpr Status kDeleted = -1;

    EntryRemover(RegistryService& registry, FileProbe& files)
        : registry_(registry), files_(files), writer_(registry) {}
    virtual ~EntryRemover() = default;
    EntryRemover(const EntryRemover&) = delete;
    EntryRemover& operator=(const EntryRemover&) = delete;

    // The stream that deletions are written to first; null for none. The
    // remover does not own it.
    void SetBackupStream(RegTextStream* stream) { backup_ = stream; }
    RegTextStream* backupStream() const { return backup_; }

    // Removes the key `keyPath` below `parent` with everything below it:
    // every subkey that can be removed is, deepest first; a subkey that
    // cannot be opened or removed stays, and so do the keys above it.
    // Returns kDeleted when the key itself was removed, otherwise the
    // status that kept it: the open's when it cannot be opened, the
    // enumeration's when that ended other than at the last subkey (for
    // example kMoreData for a name of 299 characters or more), or the
    // deletion's. With a backup stream set, a key whose subtree could not be
    // written to the backup in full is not touched at all and the export's
    // status is returned (see RegExportWriter); kWriteFault means the
    // stream has failed and takes nothing more. A tree holding an entry
    // without an exact code-page form is not touched at all
    // (kNoUnicodeTranslation, or the export's kCantRead). An empty `keyPath`
    // is refused with kInvalidParameter: it would name `parent` itself.
    RemoveResult DeleteKeyTree(HKey parent, const std::string& keyPath, bool deleteSelf = true);

    // Removes one value ("" is the key's default value). kSuccess when it
    // was removed; otherwise the status that kept it, including the export's
    // when a backup stream is set and the value could not be written to it.
    RemoveResult DeleteValue(HKey root, const std::string& subKey, const std::string& valueName);

    // Deletes a file, but only one that exists and that no other program
    // holds open and is not read-only. kSuccess when it was deleted,
    // otherwise the status of the step that stopped it.
    Status RemoveFile(const std::string& path);

  private:
    RegistryService& registry_;
    FileProbe& files_;
    RegExportWriter writer_;
    RegTextStream* backup_ = nullptr;
};

}  // namespace qm
