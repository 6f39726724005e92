// Removing registry keys, registry values and files. Before a key or value
// goes it is written to the backup stream, when one is set, and it goes
// only if it was written there in full: an entry that cannot be read
// completely, or that the stream cannot take, stays where it is.
#pragma once

#include <chrono>
#include <string>
#include <vector>

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

// One entry to remove: the key `path` of `root` with everything below it
// (`isKey`), or its value `valueName`.
struct Removal {
    HKey root = hkey::kNull;
    std::string path;
    std::string valueName;
    bool isKey = false;
    bool deleteSelf = true;  // for a key: false empties it and keeps it
};

// A removal whose entry is written to the backup stream and waits for the
// flush that lets it go.
struct StagedRemoval {
    Removal what;
    ExportedTree tree;     // a key's subtree as it was written
    uint64_t end = 0;      // the stream's size once its entry was written
    bool waiting = false;  // false: nothing was written, nothing is to delete
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

    // Either of the two, as `what` says.
    RemoveResult Remove(const Removal& what);

    // With a backup stream set, a removal in two steps, so that many entries
    // share one flush: Stage writes the entry to the stream without flushing
    // it and, when it was written, leaves it waiting in `staged`; otherwise
    // it returns the result the removal ends with, as Remove would. Finish
    // deletes a waiting entry once the stream has flushed it, and deletes
    // nothing (kWriteFault, not backed up) when that flush did not happen.
    RemoveResult Stage(const Removal& what, StagedRemoval& staged);
    RemoveResult Finish(const StagedRemoval& staged);

    // Deletes a file, but only one that exists and that no other program
    // holds open and is not read-only. kSuccess when it was deleted,
    // otherwise the status of the step that stopped it.
    Status RemoveFile(const std::string& path);

  private:
    // The deletion itself; `tree`, when given, is what the backup holds.
    RemoveResult Delete(const Removal& what, const ExportedTree* tree);

    RegistryService& registry_;
    FileProbe& files_;
    RegExportWriter writer_;
    RegTextStream* backup_ = nullptr;
};

// Removals that share one flush of the backup: each entry is written to the
// remover's stream as it is added, and Flush puts the batch on the disk with
// one flush and only then deletes its entries, in order. An entry that the
// flush did not reach (the stream failed) is not deleted.
class RemovalBatch {
  public:
    // A batch is due at this many entries, or this long after its first.
    static constexpr size_t kMostEntries = 256;
    static constexpr std::chrono::milliseconds kMostTime{100};

    explicit RemovalBatch(EntryRemover& remover) : remover_(remover) {}

    // Adds the removal `what`; null adds an entry that ends with `known`
    // as it is. True when the batch is due.
    bool Add(const Removal* what, RemoveResult known = {});
    // The results of the entries added since the last Flush, in order.
    std::vector<RemoveResult> Flush();

  private:
    EntryRemover& remover_;
    std::vector<StagedRemoval> staged_;
    std::vector<RemoveResult> results_;
    std::chrono::steady_clock::time_point started_;
};

}  // namespace qm
