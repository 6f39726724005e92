// The host's folders as the mapped file probe reads them: a Windows name
// is found in a host folder without regard to case or as a short alias.
// Every listing of a host folder goes through this part.
#pragma once

#include <sys/stat.h>

#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "platform/text_answers.h"

namespace qm::mapped {

std::string JoinHost(const std::string& folder, const std::string& name);

// What stat() tells of a host path, links followed: whether it names
// anything, and then its type and permissions and which file it is.
struct HostStat {
    bool found = false;
    mode_t mode = 0;
    dev_t device = 0;
    ino_t inode = 0;
};
HostStat StatHost(const std::string& path);

// The folders the probe has read. Each host folder is listed once, and its
// names are indexed without regard to case and by their short aliases, so
// that looking a name up costs no call to the host beyond one check for
// changes.
//
// How long it is kept: for the probe's life, as long as the folder does
// not change. A folder is watched (inotify) from before it is read, and a
// change by anyone (this program, another one, the user) drops what is kept
// of it, and every kept answer, at the next lookup; the probe's own changes
// drop it at once (Forget). What is not kept is read afresh every time: a
// folder that cannot be watched or listed, an entry that is a symbolic link
// (where it leads can change without its folder changing) and a drive's
// folder that is one. So a lookup answers as reading the host at that
// moment would; a scan sees the files as they are when it asks.
//
// All methods may be called from any thread.
class HostFolders {
  public:
    HostFolders();
    ~HostFolders();
    HostFolders(const HostFolders&) = delete;
    HostFolders& operator=(const HostFolders&) = delete;

    // Drops what is kept of every folder that changed since it was read.
    void DropChanged();

    // What stat() tells of a drive's folder.
    HostStat Root(const std::string& path);

    // The host name of the entry of `folder` (of which `where` tells) that
    // the Windows name `name` means: the exact spelling, else the first (in
    // byte order) of the names equal to it without regard to case, else of
    // those whose short alias it is. With `stat`, also what stat() tells of
    // that entry; with `typeOnly` as well, only whether it is a folder or a
    // file is asked for, which the listing already tells of a plain file or
    // folder (the rest of `stat` is then zero).
    std::optional<std::string> Find(const std::string& folder, const HostStat& where,
                                    std::string_view name, HostStat* stat = nullptr,
                                    bool typeOnly = false);

    // The names in the folder, without "." and "..", in the order the host
    // gives them.
    std::vector<std::string> Names(const std::string& folder, const HostStat& where);

    // Forgets what is kept of the folder: the probe has changed it.
    void Forget(const HostStat& folder);

    // Answers worked out from what is kept (whether a path exists), kept
    // themselves until anything kept is dropped. Recall first drops what
    // changed; without a kept answer it sets `since`, and Remember then keeps
    // the answer only if nothing was dropped or read afresh in between.
    std::optional<Existence> Recall(std::string_view question, uint64_t& since);
    void Remember(const std::string& question, Existence answer, uint64_t since);

  private:
    struct Listing;
    struct Key {
        dev_t device;
        ino_t inode;
        bool operator==(const Key&) const = default;
    };
    struct KeyHash {
        size_t operator()(const Key& key) const;
    };

    // The folder's listing: the one kept, else read now (and kept when it
    // can be watched; `scratch` holds it otherwise). Nothing when the
    // folder cannot be listed. Called with the lock held.
    Listing* Load(const std::string& folder, const HostStat& where,
                  std::unique_ptr<Listing>& scratch);
    // Starts watching the folder; the watch descriptor, or -1.
    int Watch(const std::string& folder);
    void DropChangedLocked();
    // Drops what is kept of the folder (all folders without `key`).
    void Drop(const Key* key);

    std::mutex mutex_;
    int events_ = -1;  // the inotify instance, or -1
    std::unordered_map<Key, std::unique_ptr<Listing>, KeyHash> listings_;
    std::unordered_map<std::string, HostStat> roots_;
    std::unordered_map<int, Key> watched_;  // watch descriptor to folder
    // The kept answers: a scan asks hundreds of thousands of times, and
    // most of the cost of an answer is finding it.
    TextAnswers answers_{size_t{1} << 20, size_t{256} << 20};
    uint64_t epoch_ = 0;  // counts what was dropped or read afresh
};

// A host file without any write permission bit is read-only, as under Wine.
bool IsReadOnly(mode_t mode);

// The host file's birth time where the file system records one, otherwise
// its last change of content, as FILETIME units.
uint64_t HostCreationTime(const std::string& hostPath, const struct stat& info);

}  // namespace qm::mapped
