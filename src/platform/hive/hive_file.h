// One registry hive file (the NT "regf" format) opened through hivex: the
// checks made before anything is read, the names and values of its keys in
// the registry's terms, the changes made to it, and the writing of a new
// file that holds them.
//
// Opening refuses a damaged file with a reason (a truncated file, a bad
// header, a key or value cell that does not read). A hive whose transaction
// logs still hold changes (a non-empty .LOG1 or .LOG2 beside it, or header
// sequence numbers that differ) is opened read-only with a warning: hivex
// does not replay logs, so writing it would lose what they hold. A hive
// opened for writing must also pass the checks Windows makes of a hive it
// loads (hive_image.h), its security cells included; one that does not is
// only read, with the fault as its warning.
//
// Changes are held here, not made in hivex at once: what the registry shows
// is the file with them. hivex only reads the file here. Writing the changes
// (WriteChanges) opens it again for writing in a child process, makes them
// all there, at most one call for each key's values, and commits that
// child's hive into a new file; hivex ends a process through assert()
// on some damaged blocks, and a child that ends so leaves nothing behind.
// The new file is then put right where hivex writes what Windows would not
// read (the order and hashes of subkey lists, big-data cells it leaves
// allocated), checked as Windows checks a hive, and compared with the tree
// held here. The original file is never written.
//
// Not thread-safe; HiveRegistry locks around every use.
#pragma once

#include <hivex.h>
#include <sys/stat.h>

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "platform/hive/hive_image.h"
#include "platform/hive/hive_raw.h"

namespace qm::hive {

// A subkey as the registry shows it: its code-page name (with '?' where a
// character has none) and whether that name is exact.
struct ChildEntry {
    std::string name;
    bool exact = true;
    hive_node_h node = 0;
};

// A value: its code-page name and whether name and text data are exact.
struct ValueEntry {
    std::string name;
    bool exact = true;         // name and (for text) data convert exactly
    bool nameExact = true;     // the name converts exactly and is no other's
    bool writableName = true;  // hivex can write the name back (no zero character)
    hive_value_h value = 0;    // 0 for a value held here
    uint32_t type = 0;
    uint32_t rawLength = 0;  // bytes in the hive (UTF-16 for text)
    std::string text;        // text data in the code page, for the text types
    // A value held here (written, or kept to be written again with the other
    // values of its key): its name as hivex takes it and its bytes.
    bool held = false;
    bool removed = false;  // deleted, and not yet taken out of the list
    std::string key;
    std::string bytes;
};

class HiveFile {
  public:
    // Opens `path`; read-only unless `writable` (and then still read-only
    // when it is dirty and its logs cannot be used, or the checks fail). A
    // symbolic link is not followed. Null on failure, with `error`
    // "<path>: <reason>".
    static std::unique_ptr<HiveFile> Open(const std::string& path, bool writable,
                                          std::string* error);
    ~HiveFile();
    HiveFile(const HiveFile&) = delete;
    HiveFile& operator=(const HiveFile&) = delete;

    const std::string& path() const { return path_; }
    bool writable() const { return writable_; }
    // Why the hive is only read, when it is; empty otherwise.
    const std::string& warning() const { return warning_; }
    // That the hive was recovered from its logs, and how far; empty otherwise.
    const std::string& notice() const { return notice_; }
    // The logs beside the hive (.LOG1, .LOG2) as they were when it was read.
    struct Log {
        std::string name;
        struct stat identity {};
    };
    const std::vector<Log>& logs() const { return logs_; }
    // True once something was changed and not yet written.
    bool modified() const { return modified_; }
    // A read failed after opening: the file is damaged and never written.
    bool damaged() const { return !damage_.empty(); }
    const std::string& damage() const { return damage_; }

    hive_node_h root() const { return root_; }

    // Subkeys in the registry's name order (see memreg::CompareNames), and
    // values in the hive's order, changes included. Kept until the next
    // change of that key. False when the hive cannot be read there (the
    // hive is then marked damaged).
    bool Children(hive_node_h node, const std::vector<ChildEntry>** children);
    bool Values(hive_node_h node, const std::vector<ValueEntry>** values);
    // The exact child named `name` (code page), or 0.
    hive_node_h FindChild(hive_node_h node, std::string_view name);
    // The value named `name` (code page) whose name is exact: kSuccess,
    // kFileNotFound, or kCantRead when the values do not read. `value` is
    // good until the next change.
    uint32_t FindValue(hive_node_h node, std::string_view name, const ValueEntry** value);
    // The value's data as the ANSI functions see it: text converted to the
    // code page. False when it cannot be read.
    bool ReadData(const ValueEntry& value, std::string* data);
    // Whether every key and value below and at `node` converts exactly.
    bool SubtreeExact(hive_node_h node);
    // Whether `node` lies in the tree of `top` (or is `top`).
    bool IsWithin(hive_node_h node, hive_node_h top);

    // Changes. Each returns a Win32 status; the hive is marked modified.
    uint32_t AddChild(hive_node_h parent, std::string_view name, hive_node_h* child);
    uint32_t DeleteNode(hive_node_h node);
    // Sets (replaces or adds) one value, or with `data` null deletes it.
    uint32_t WriteValue(hive_node_h node, std::string_view name, uint32_t type,
                        const std::string* data);

    // A value to write: name and text data in the code page.
    struct NewValue {
        std::string name;
        uint32_t type = 0;
        std::string data;
    };
    // Replaces every value of `node` (for building hives: the old values'
    // names are not checked).
    uint32_t ReplaceValues(hive_node_h node, const std::vector<NewValue>& values);
    // Writes the hive with its changes to `newPath` (for building hives).
    bool SaveAs(const std::string& newPath, std::string* error);

    // What the commit of several hives (hive_commit.h) works with: the open
    // folder the file was found in, its name there, and what fstat told of
    // it when it was read (or last written).
    int folder() const { return folder_.get(); }
    int descriptor() const { return file_.get(); }
    const std::string& name() const { return name_; }
    const struct stat& identity() const { return identity_; }

    // Writes the hive with its changes into `fd`, an empty file opened for
    // reading and writing, and checks it: it passes Windows' checks with
    // equal sequence numbers, and holds exactly the tree held here. False
    // with `error` (the reason alone) when it cannot be written or fails.
    bool WriteChanges(int fd, std::string* error);
    // The file `fd` that WriteChanges wrote is now this hive's file.
    void Written(UniqueFd fd);

  private:
    HiveFile() = default;
    void MarkDamaged(const std::string& what);
    // A dirty hive: recovered from its logs into source_, or read as it
    // lies with a warning. False with `reason` when it cannot be read.
    bool Recover(uint64_t size, uint64_t* imageSize, std::string* reason);

    struct Listing;
    struct ListingCache;
    Listing* ListingOf(hive_node_h node);

    // A key this hive holds changes for.
    struct Edit {
        bool made = false;       // a key made here, not yet in the file
        bool deleted = false;    // the key was deleted (with its tree)
        hive_node_h parent = 0;  // of a key made here
        std::string key;         // of a key made here: its name as hivex takes it
        bool childrenHeld = false, valuesHeld = false;
        std::vector<ChildEntry> children;
        // The values held, in order; deleted ones are marked removed and
        // taken out when the list is next listed, so that deleting many
        // values of a key, one by one, costs no move of the others each time.
        std::vector<ValueEntry> values;
        size_t removed = 0;
        size_t hint = 0;  // where the last value found by name lies
        // kSuccess, or why the values can never be written again.
        uint32_t refusal = 0;
    };
    // The position of the held value named `name`, or values.size().
    static size_t HeldValue(Edit& edit, std::string_view name);
    static bool Made(hive_node_h node);
    hive_node_h Parent(hive_node_h node);
    // Whether the key or one above it was deleted.
    bool Gone(hive_node_h node);
    Edit* HoldChildren(hive_node_h node);
    Edit* HoldValues(hive_node_h node, uint32_t* status);

    // Writing (hive_write.cpp).
    struct Plan;
    bool MakePlan(Plan* plan, std::string* error);
    bool SameTree(hive_h* fresh, std::string_view freshBytes, std::string* reason);
    std::string PathOf(hive_node_h node);

    hive_h* h_ = nullptr;
    UniqueFd folder_;
    UniqueFd file_;    // the file under the hive's name: the one read, or the last one written
    UniqueFd source_;  // the hive read (the file, or the one recovered in memory)
    std::string path_, name_;
    struct stat identity_ {};
    hive_node_h root_ = 0;
    bool writable_ = false;
    bool modified_ = false;
    std::string warning_;
    std::string notice_;
    std::vector<Log> logs_;
    std::string singleLog_;  // the name of "<hive>.LOG" beside it, if there is one
    std::string damage_;
    ImageFacts facts_;
    std::unique_ptr<ListingCache> cache_;
    std::unordered_map<hive_node_h, Edit> edits_;
    hive_node_h nextMade_;
};

}  // namespace qm::hive
