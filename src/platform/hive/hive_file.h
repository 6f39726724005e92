// One registry hive file (the NT "regf" format) opened through hivex: the
// checks made before anything is read, the names and values of its keys in
// the registry's terms, and the careful write at the end.
//
// Opening refuses a damaged file with a reason (a truncated file, a bad
// header, a key or value cell that does not read). A hive whose transaction
// logs still hold changes (a non-empty .LOG1 or .LOG2 beside it, or header
// sequence numbers that differ) is opened read-only with a warning: hivex
// does not replay logs, so writing it would lose what they hold.
//
// Not thread-safe; HiveRegistry locks around every use.
#pragma once

#include <hivex.h>

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/system_info.h"

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
    hive_value_h value = 0;
    uint32_t type = 0;
    uint32_t rawLength = 0;  // bytes in the hive (UTF-16 for text)
    std::string text;        // text data in the code page, for the text types
};

class HiveFile {
  public:
    // Opens `path`; read-only unless `writable` (and then still read-only
    // when the logs are pending). Null on failure, with `error`
    // "<path>: <reason>".
    static std::unique_ptr<HiveFile> Open(const std::string& path, bool writable,
                                          std::string* error);
    ~HiveFile();
    HiveFile(const HiveFile&) = delete;
    HiveFile& operator=(const HiveFile&) = delete;

    const std::string& path() const { return path_; }
    bool writable() const { return writable_; }
    // Why the hive is only read, when it has pending logs; empty otherwise.
    const std::string& warning() const { return warning_; }
    // True once something was changed and not yet committed.
    bool modified() const { return modified_; }
    // A read failed after opening: the file is damaged and never written.
    bool damaged() const { return !damage_.empty(); }
    const std::string& damage() const { return damage_; }

    hive_node_h root() const { return root_; }

    // Subkeys in the registry's name order (see memreg::CompareNames), and
    // values in the hive's order. Cached until the next change. False when
    // the hive cannot be read there (the hive is then marked damaged).
    bool Children(hive_node_h node, const std::vector<ChildEntry>** children);
    bool Values(hive_node_h node, const std::vector<ValueEntry>** values);
    // The exact child named `name` (code page), or 0.
    hive_node_h FindChild(hive_node_h node, std::string_view name);
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
    // Writes the hive as it is now to `newPath` (for building hives).
    bool SaveAs(const std::string& newPath, std::string* error);

    // Writes the changes: commits to "<path>.quillmend-new", opens that file
    // again and compares its whole tree with this one, then renames the
    // original to "<path>.quillmend-<date>.bak" and the new file to the
    // original's name. `backup` receives the .bak path. On failure nothing
    // replaces the original and `error` says why.
    bool Commit(const UtcTime& now, std::string* backup, std::string* error);

  private:
    HiveFile() = default;
    void MarkDamaged(const std::string& what);
    void Changed();
    struct Wanted;
    uint32_t SetValues(hive_node_h node, const std::vector<Wanted>& wanted);

    struct Listing;
    struct ListingCache;
    Listing* ListingOf(hive_node_h node);

    hive_h* h_ = nullptr;
    std::string path_;
    hive_node_h root_ = 0;
    bool writable_ = false;
    bool modified_ = false;
    std::string warning_;
    std::string damage_;
    std::unique_ptr<ListingCache> cache_;
};

}  // namespace qm::hive
