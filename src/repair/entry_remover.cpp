#include "repair/entry_remover.h"

#include <algorithm>
#include <cstring>
#include <utility>
#include <vector>

namespace qm {

namespace {

// Subkey names are read into 300 bytes, of which 299 are offered.
constexpr uint32_t kSubkeyNameSize = 299;
constexpr uint32_t kValueNameSize = 16384;

// Whether any entry of the tree at `path` below `base` is one that must stay
// as it is because its name or text has no exact code-page form
// (kNoUnicodeTranslation); kSuccess otherwise. Keys that cannot be read are
// passed over: the deletion cannot reach them either.
Status CheckTreeExact(RegistryService& registry, HKey base, const std::string& path) {
    std::vector<RegKey> pending;
    {
        RegKey top(registry);
        if (top.Open(base, path.c_str(), access::kRead) != status::kSuccess)
            return status::kSuccess;
        pending.push_back(std::move(top));
    }
    std::vector<char> name(kValueNameSize + 1);
    while (!pending.empty()) {
        RegKey key = std::move(pending.back());
        pending.pop_back();
        for (uint32_t index = 0;; ++index) {
            uint32_t size = kValueNameSize;
            const Status listed =
                registry.EnumValue(key.get(), index, name.data(), &size, nullptr, nullptr, nullptr);
            if (listed == status::kNoUnicodeTranslation) return listed;
            if (listed != status::kSuccess && listed != status::kMoreData) break;
        }
        for (uint32_t index = 0;; ++index) {
            uint32_t size = kSubkeyNameSize;
            const Status listed = registry.EnumKey(key.get(), index, name.data(), &size);
            if (listed == status::kNoUnicodeTranslation) return listed;
            if (listed == status::kMoreData) continue;
            if (listed != status::kSuccess) break;
            RegKey child(registry);
            if (child.Open(key.get(), std::string(name.data(), size).c_str(), access::kRead) ==
                status::kSuccess)
                pending.push_back(std::move(child));
        }
    }
    return status::kSuccess;
}

}  // namespace

Status EntryRemover::DeleteKeyTree(HKey parent, const std::string& keyPath, bool deleteSelf) {
    lastBackupFailed_ = false;
    if (keyPath.empty()) return status::kInvalidParameter;
    // A key deeper than the ANSI functions reach is opened and deleted from
    // a key above it, as the scan walk reached it.
    RegKey way(registry_);
    HKey base = hkey::kNull;
    std::string rest;
    const Status reached = ReachKeyPath(registry_, parent, keyPath, way, base, rest);
    if (reached != status::kSuccess) return reached;
    if (backup_ != nullptr) {
        ExportedTree tree;
        const Status exported = backup_->failed()
                                    ? status::kWriteFault
                                    : writer_.ExportKey(parent, keyPath, *backup_, &tree);
        if (exported != status::kSuccess) {
            // A missing key is no failure of the backup: there is nothing to keep.
            lastBackupFailed_ = exported != status::kFileNotFound;
            return exported;
        }
        return DeleteExportedTree(base, rest, tree, deleteSelf);
    }

    // Nothing of a tree goes while any of it must stay.
    const Status checked = CheckTreeExact(registry_, base, rest);
    if (checked != status::kSuccess) return checked;

    // Depth first without recursion: each frame is one key being emptied,
    // with the handle of the key it lies in, its name there, its own handle
    // and the index of the next subkey to visit. A removed subkey leaves its
    // index to the next one; one that stays is passed over.
    struct Frame {
        HKey parent;
        std::string name;
        RegKey key;
        uint32_t index;
    };
    std::vector<Frame> stack;
    {
        RegKey top(registry_);
        const Status opened = top.Open(base, rest.c_str(), access::kDefault);
        if (opened != status::kSuccess) return opened;
        stack.push_back(Frame{base, rest, std::move(top), 0});
    }
    char name[kSubkeyNameSize + 1];
    for (;;) {
        Frame& frame = stack.back();
        uint32_t nameSize = kSubkeyNameSize;
        const Status listed = registry_.EnumKey(frame.key.get(), frame.index, name, &nameSize);
        if (listed == status::kSuccess) {
            RegKey child(registry_);
            std::string childName(name, std::min(nameSize, kSubkeyNameSize));
            if (child.Open(frame.key.get(), childName.c_str(), access::kDefault) !=
                status::kSuccess) {
                ++frame.index;  // it stays, and so does this key
                continue;
            }
            const HKey here = frame.key.get();
            stack.push_back(Frame{here, std::move(childName), std::move(child), 0});
            continue;
        }
        // The subkeys are done with; the key itself goes when the last one
        // went and it should go.
        Status result = listed;
        const bool removeThis = stack.size() > 1 || deleteSelf;
        if (removeThis && (listed == status::kNoMoreItems || listed == status::kBadKey)) {
            const Status removed = registry_.DeleteKey(frame.parent, frame.name.c_str());
            result = removed == status::kSuccess ? kDeleted : removed;
        }
        stack.pop_back();
        if (stack.empty()) return result;
        if (result != kDeleted) ++stack.back().index;
    }
}

Status EntryRemover::DeleteExportedTree(HKey parent, const std::string& topPath,
                                        const ExportedTree& tree, bool deleteSelf) {
    // The keys the backup holds, removed as the walk below would remove
    // them (deepest first, siblings in order, a key after its subkeys) but
    // without listing them again: a key known to have no subkeys is removed
    // straight from its parent's handle. A key that gained a subkey since it
    // was written keeps it and stays.
    std::vector<std::vector<int32_t>> children(tree.size());
    for (size_t i = 1; i < tree.size(); ++i)
        children[static_cast<size_t>(tree[i].parent)].push_back(static_cast<int32_t>(i));

    struct Frame {
        HKey parent;
        int32_t node;
        RegKey key;
        size_t next;
    };
    std::vector<Frame> stack;
    {
        RegKey top(registry_);
        const Status opened = top.Open(parent, topPath.c_str(), access::kDefault);
        if (opened != status::kSuccess) return opened;
        stack.push_back(Frame{parent, 0, std::move(top), 0});
    }
    for (;;) {
        Frame& frame = stack.back();
        const std::vector<int32_t>& kids = children[static_cast<size_t>(frame.node)];
        if (frame.next < kids.size()) {
            const int32_t child = kids[frame.next++];
            const ExportedKey& key = tree[static_cast<size_t>(child)];
            if (key.children == 0) {
                registry_.DeleteKey(frame.key.get(), key.name.c_str());
                continue;
            }
            RegKey opened(registry_);
            if (opened.Open(frame.key.get(), key.name.c_str(), access::kDefault) !=
                status::kSuccess)
                continue;  // it stays, and so does this key
            const HKey here = frame.key.get();
            stack.push_back(Frame{here, child, std::move(opened), 0});
            continue;
        }
        Status result = status::kNoMoreItems;
        if (stack.size() > 1 || deleteSelf) {
            const std::string& name =
                frame.node == 0 ? topPath : tree[static_cast<size_t>(frame.node)].name;
            const Status removed = registry_.DeleteKey(frame.parent, name.c_str());
            result = removed == status::kSuccess ? kDeleted : removed;
        }
        stack.pop_back();
        if (stack.empty()) return result;
    }
}

Status EntryRemover::DeleteValue(HKey root, const std::string& subKey,
                                 const std::string& valueName) {
    lastBackupFailed_ = false;
    if (backup_ != nullptr) {
        const Status exported = backup_->failed()
                                    ? status::kWriteFault
                                    : writer_.ExportValue(root, subKey, valueName, *backup_);
        if (exported != status::kSuccess) {
            // A missing entry is no failure of the backup: there is nothing to keep.
            lastBackupFailed_ = exported != status::kFileNotFound;
            return exported;
        }
    }
    RegKey way(registry_), key(registry_);
    HKey base = hkey::kNull;
    std::string rest;
    Status opened = ReachKeyPath(registry_, root, subKey, way, base, rest);
    if (opened == status::kSuccess)
        opened =
            key.Open(base, rest.c_str(), access::kRead | access::kSetValue | access::kCreateSubKey);
    if (opened != status::kSuccess) return opened;
    return registry_.DeleteValue(key.get(), valueName.c_str());
}

Status EntryRemover::RemoveFile(const std::string& path) {
    Status status = status::kSuccess;
    // It must exist ...
    if (!files_.OpenFile(path, FileMode::kRead, &status)) return status;
    // ... and nobody else may have it open, nor may it be read-only.
    if (!files_.OpenFile(path, FileMode::kOpenExistingWrite, &status)) return status;
    return files_.DeleteFile(path);
}

}  // namespace qm
