#include "repair/entry_remover.h"

#include <algorithm>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/key_walk.h"

namespace qm {

namespace {

// Subkey names are read into 300 bytes, of which 299 are offered.
constexpr uint32_t kSubkeyNameSize = 299;
constexpr uint32_t kValueNameSize = 16384;

// Removes a key with its subkeys, deepest first, each key once its
// subkeys are done with. Without `tree` it lists the registry: a removed
// subkey leaves its index to the next one, and one that stays is passed
// over (and keeps its parent). With `tree` (the keys a backup holds) only
// those keys go, without listing them again: a key known to have no
// subkeys is removed straight from its parent's handle, and a key that
// gained a subkey since it was written keeps it and stays.
//
// Check() walks the same tree first and deletes nothing: it finds an entry
// that must stay as it is because its name or text has no exact code-page
// form (kNoUnicodeTranslation). Keys that cannot be read are passed over:
// the deletion cannot reach them either.
class TreeDeletion : public KeyWalk {
  public:
    TreeDeletion(RegistryService& registry, const ExportedTree* tree, bool deleteSelf)
        : KeyWalk(registry, kSubkeyNameSize, kSubkeyNameSize),
          tree_(tree),
          deleteSelf_(deleteSelf) {
        if (tree == nullptr) return;
        children_.resize(tree->size());
        for (size_t i = 1; i < tree->size(); ++i)
            children_[static_cast<size_t>((*tree)[i].parent)].push_back(i);
    }

    // kDeleted, or the status that kept the top key (the open's, the
    // listing's or the deletion's).
    Status Run(HKey base, const std::string& topPath) {
        base_ = base;
        check_ = false;
        Level top;
        top.key = RegKey(registry_);
        const Status opened = top.key.Open(base, topPath.c_str(), access::kDefault);
        if (opened != status::kSuccess) return opened;
        Walk(std::move(top), topPath);
        return result_;
    }

    Status Check(HKey base, const std::string& topPath) {
        check_ = true;
        Level top;
        top.key = RegKey(registry_);
        if (top.key.Open(base, topPath.c_str(), access::kRead) != status::kSuccess)
            return status::kSuccess;
        if (!ValuesExact(top.key.get())) return status::kNoUnicodeTranslation;
        return Walk(std::move(top), topPath);
    }

  protected:
    Status List(Level& level, std::string_view& name) override {
        for (; tree_ == nullptr; ++level.next) {
            const Status listed = KeyWalk::List(level, name);
            if (check_ && listed == status::kNoUnicodeTranslation) Stop(listed);
            if (!check_ || listed != status::kMoreData) return listed;
        }
        for (const std::vector<size_t>& kids = children_[level.tag]; level.next < kids.size();
             ++level.next) {
            const ExportedKey& key = (*tree_)[kids[level.next]];
            if (key.children != 0) {
                name = key.name;
                return status::kSuccess;
            }
            registry_.DeleteKey(level.key.get(), key.name.c_str());
        }
        return status::kNoMoreItems;
    }
    bool Enter(Level& parent, std::string_view name, Level& child) override {
        if (tree_ != nullptr) child.tag = children_[parent.tag][parent.next];
        if (child.key.Open(parent.key.get(), name.data(),
                           check_ ? access::kRead : access::kDefault) != status::kSuccess)
            return false;
        if (!check_ || ValuesExact(child.key.get())) return true;
        Stop(status::kNoUnicodeTranslation);
        return false;
    }
    bool Leave(Level&, Status listed) override {
        const std::vector<Level>& way = levels();
        const bool top = way.size() == 1;
        Status result = listed;
        if (!check_ && (!top || deleteSelf_) &&
            (listed == status::kNoMoreItems || listed == status::kBadKey)) {
            // The key lies in the one above it, under the last name of the path.
            const HKey parent = top ? base_ : way[way.size() - 2].key.get();
            const size_t from = top ? 0 : way[way.size() - 2].pathLength + 1;
            const Status removed = registry_.DeleteKey(parent, path().c_str() + from);
            result = removed == status::kSuccess ? EntryRemover::kDeleted : removed;
        }
        if (top) result_ = result;
        return tree_ == nullptr && result == EntryRemover::kDeleted;
    }

  private:
    bool ValuesExact(HKey key) {
        for (uint32_t index = 0;; ++index) {
            uint32_t size = kValueNameSize;
            const Status listed =
                registry_.EnumValue(key, index, value_.data(), &size, nullptr, nullptr, nullptr);
            if (listed == status::kNoUnicodeTranslation) return false;
            if (listed != status::kSuccess && listed != status::kMoreData) return true;
        }
    }

    const ExportedTree* tree_;
    bool deleteSelf_;
    bool check_ = false;
    std::vector<std::vector<size_t>> children_;
    std::vector<char> value_ = std::vector<char>(kValueNameSize + 1);
    HKey base_ = hkey::kNull;
    Status result_ = status::kSuccess;
};

// The way to a removal's key: a key deeper than the ANSI functions reach is
// opened and deleted from a key above it, as the scan walk reached it. An
// empty path is refused: it would name the root itself.
Status ReachKey(RegistryService& registry, const Removal& what, RegKey& way, HKey& base,
                std::string& rest) {
    if (what.path.empty()) return status::kInvalidParameter;
    return ReachKeyPath(registry, what.root, what.path, way, base, rest);
}

}  // namespace

RemoveResult EntryRemover::DeleteKeyTree(HKey parent, const std::string& keyPath, bool deleteSelf) {
    return Remove(Removal{parent, keyPath, "", true, deleteSelf});
}

RemoveResult EntryRemover::DeleteValue(HKey root, const std::string& subKey,
                                       const std::string& valueName) {
    return Remove(Removal{root, subKey, valueName, false});
}

RemoveResult EntryRemover::Remove(const Removal& what) {
    if (backup_ == nullptr) return Delete(what, nullptr);
    StagedRemoval staged;
    const RemoveResult written = Stage(what, staged);
    if (!staged.waiting) return written;
    backup_->Flush();
    return Finish(staged);
}

RemoveResult EntryRemover::Stage(const Removal& what, StagedRemoval& staged) {
    staged.waiting = false;
    if (what.isKey) {
        RegKey way(registry_);
        HKey base = hkey::kNull;
        std::string rest;
        const Status reached = ReachKey(registry_, what, way, base, rest);
        if (reached != status::kSuccess) return {reached};
    }
    // The entry's text, appended whole to the stream and not flushed yet.
    std::string text;
    Status exported = status::kWriteFault;
    if (backup_ != nullptr && !backup_->failed()) {
        exported = what.isKey ? writer_.ExportKeyText(what.root, what.path, text,
                                                      backup_->TextDataForm(), &staged.tree)
                              : writer_.ExportValueText(what.root, what.path, what.valueName, text,
                                                        backup_->TextDataForm());
        if (exported == status::kSuccess && !backup_->Write(text)) exported = status::kWriteFault;
    }
    // A missing entry is no failure of the backup: there is nothing to keep.
    if (exported != status::kSuccess) return {exported, exported != status::kFileNotFound};
    staged.what = what;
    staged.end = backup_->size();
    staged.waiting = true;
    return {status::kSuccess};
}

RemoveResult EntryRemover::Finish(const StagedRemoval& staged) {
    if (backup_ == nullptr || !staged.waiting || staged.end > backup_->flushed())
        return {status::kWriteFault, true};
    return Delete(staged.what, &staged.tree);
}

RemoveResult EntryRemover::Delete(const Removal& what, const ExportedTree* tree) {
    if (!what.isKey) {
        RegKey way(registry_), key(registry_);
        const Status opened =
            OpenKeyPath(registry_, what.root, what.path,
                        access::kRead | access::kSetValue | access::kCreateSubKey, way, key);
        if (opened != status::kSuccess) return {opened};
        return {registry_.DeleteValue(key.get(), what.valueName.c_str())};
    }
    RegKey way(registry_);
    HKey base = hkey::kNull;
    std::string rest;
    const Status reached = ReachKey(registry_, what, way, base, rest);
    if (reached != status::kSuccess) return {reached};
    TreeDeletion deletion(registry_, tree, what.deleteSelf);
    // Nothing of a tree goes while any of it must stay (the export of a
    // backed-up tree has refused such a tree already).
    if (tree == nullptr) {
        const Status checked = deletion.Check(base, rest);
        if (checked != status::kSuccess) return {checked};
    }
    return {deletion.Run(base, rest)};
}

bool RemovalBatch::Add(const Removal* what, RemoveResult known) {
    if (staged_.empty()) started_ = std::chrono::steady_clock::now();
    StagedRemoval& staged = staged_.emplace_back();
    results_.push_back(what != nullptr ? remover_.Stage(*what, staged) : known);
    return staged_.size() >= kMostEntries ||
           std::chrono::steady_clock::now() - started_ >= kMostTime;
}

std::vector<RemoveResult> RemovalBatch::Flush() {
    RegTextStream* backup = remover_.backupStream();
    if (backup != nullptr && std::any_of(staged_.begin(), staged_.end(),
                                         [](const StagedRemoval& s) { return s.waiting; }))
        backup->Flush();
    for (size_t i = 0; i < staged_.size(); ++i)
        if (staged_[i].waiting) results_[i] = remover_.Finish(staged_[i]);
    staged_.clear();
    return std::exchange(results_, {});
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
