// A depth-first walk over a key and every key below it. It keeps its own
// stack of the keys from the top key to the key being visited, so a chain of
// any depth costs heap, not call stack, and each key is opened relative to
// its parent, within the path length the ANSI functions take however deep it
// lies. A walk derives from KeyWalk and says in three hooks what a subkey
// listing gives (List), whether and how a listed subkey is opened and what
// is done on the way down (Enter), and what is done once a key's subkeys are
// all done with (Leave). Any hook may end the whole walk with Stop.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/registry_service.h"

namespace qm {

// Opens `subKey` of `root` with `access`, in steps when the path is longer
// than the ANSI open takes (`way` keeps the last step open).
Status OpenKeyPath(RegistryService& registry, HKey root, const std::string& subKey, uint32_t access,
                   RegKey& way, RegKey& key);

class KeyWalk {
  public:
    struct Level {
        RegKey key;
        uint32_t next = 0;            // the index of the next subkey to list
        uint32_t count = UINT32_MAX;  // how many subkeys List lists at most
        size_t pathLength = 0;        // path() at this key
        size_t tag = 0;               // the walk's own, per key
        uint32_t flags = 0;           // the same
    };

    // Subkey names are read `offered` bytes at a time (terminating zero
    // included); a longer name makes the buffer grow, up to `longest`.
    KeyWalk(RegistryService& registry, uint32_t offered, uint32_t longest);
    virtual ~KeyWalk() = default;
    KeyWalk(const KeyWalk&) = delete;
    KeyWalk& operator=(const KeyWalk&) = delete;

  protected:
    // Walks the tree of the open key `top.key`, whose path is `path`; a
    // subkey adds "\name" (only "name" to an empty path). kSuccess, or the
    // status given to Stop.
    Status Walk(Level top, std::string path);

    // The next subkey of `level`: kSuccess with its name (zero-terminated),
    // or the status that ends the level's listing and goes to Leave. The
    // default lists the registry at level.next while it is below count.
    virtual Status List(Level& level, std::string_view& name);
    // Subkey `name` of `parent` was listed and path() names it: true with
    // `child.key` open to visit it, false to pass it over.
    virtual bool Enter(Level& parent, std::string_view name, Level& child) = 0;
    // The subkeys of `level` are done with (`listed` ended them). True when
    // the key is gone, so that its index now lists the next subkey.
    virtual bool Leave(Level& level, Status listed) = 0;

    // Ends the walk once the current hook returns.
    void Stop(Status status) {
        stopped_ = true;
        stop_ = status;
    }
    std::vector<Level>& levels() { return levels_; }
    const std::string& path() const { return path_; }

    RegistryService& registry_;

  private:
    std::vector<Level> levels_;
    std::string path_;
    std::vector<char> name_;
    uint32_t longest_;
    bool stopped_ = false;
    Status stop_ = status::kSuccess;
};

}  // namespace qm
