#include "platform/memory/memory_registry.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <fstream>
#include <iterator>
#include <mutex>
#include <new>
#include <unordered_map>
#include <utility>
#include <vector>

#include "platform/key_handles.h"
#include "platform/memory/memory_registry_tree.h"
#include "platform/registry_answers.h"
#include "platform/wow64_layout.h"

namespace qm {

using memreg::Key;
using memreg::Mark;
using memreg::Tree;
using memreg::Value;
using memreg::ValueList;

namespace {

using answer::kSynchronize;
using answer::MapGenericAccess;

using answer::kMaxConvertibleName;
using answer::Text;

constexpr size_t kRootCount = hkey::kDynData - hkey::kClassesRoot + 1;

// What opening `key` with `requested` access grants, or false when the
// key's mark refuses it. MAXIMUM_ALLOWED grants everything the key allows.
bool Grant(const Key* key, uint32_t requested, uint32_t* granted) {
    const uint32_t mapped = MapGenericAccess(requested);
    const uint32_t explicitRights = mapped & ~access::kMaximumAllowed;
    uint32_t allowed = access::kAllAccess;
    switch (key->mark) {
        case Mark::kNone:
            *granted = explicitRights | ((mapped & access::kMaximumAllowed) ? allowed : 0);
            return true;
        case Mark::kReadOnly:
            allowed = access::kRead | kSynchronize;
            break;
        case Mark::kUnreadable:
            return false;
    }
    if (explicitRights & ~allowed) return false;
    *granted = explicitRights | ((mapped & access::kMaximumAllowed) ? allowed : 0);
    return true;
}

// Whether the child at `it` may be used: its name is exact and no other
// child of the key reads as the same name. Children of one name lie side by
// side.
bool ChildUsable(const Key* parent, memreg::ChildSet::const_iterator it) {
    if (!(*it)->wide.empty()) return false;
    if (parent->inexactChildren == 0) return true;
    const auto sameName = [&](memreg::ChildSet::const_iterator other) {
        return memreg::CompareNames((*other)->name, (*it)->name, parent->codePage()) == 0;
    };
    if (std::next(it) != parent->children.end() && sameName(std::next(it))) return false;
    return it == parent->children.begin() || !sameName(std::prev(it));
}

// Whether a value may be used: its name and data are exact and no value of
// another name reads as its name.
bool ValueUsable(const Key* key, const Value& value) {
    if (!value.wideName.empty() || !value.wideData.empty()) return false;
    if (key->inexactValues == 0) return true;
    for (const Value& other : key->values)
        if (!other.wideName.empty() && memreg::NamesEqual(other.name, value.name, key->codePage()))
            return false;
    return true;
}

// Whether every key and value of the tree at `top` may be used.
bool SubtreeUsable(const Key* top) {
    std::vector<const Key*> pending{top};
    while (!pending.empty()) {
        const Key* key = pending.back();
        pending.pop_back();
        if (key->inexactChildren != 0 || key->inexactValues != 0) return false;
        for (const Value& value : key->values)
            if (!value.wideData.empty()) return false;
        for (const Key* child : key->children) pending.push_back(child);
    }
    return true;
}

// The names of a key path and, when it has a wide form, of that form: the
// same names, each with its own wide form or empty when it is exact.
std::vector<std::pair<std::string_view, std::u16string>> PathParts(std::string_view path,
                                                                   std::u16string_view wide,
                                                                   const CodePage& codePage) {
    std::vector<std::pair<std::string_view, std::u16string>> parts;
    size_t pos = 0;
    size_t widePos = 0;
    while (pos <= path.size()) {
        const size_t end = std::min(codePage.Find(path, '\\', pos), path.size());
        const size_t wideEnd =
            widePos <= wide.size() ? std::min(wide.find(u'\\', widePos), wide.size()) : widePos;
        if (end > pos) {
            std::u16string name;
            if (!wide.empty() && widePos <= wide.size()) {
                name.assign(wide.substr(widePos, wideEnd - widePos));
                std::string exact;
                if (codePage.FromUtf16(name, exact)) name.clear();
            }
            parts.emplace_back(path.substr(pos, end - pos), std::move(name));
        }
        pos = end + 1;
        widePos = widePos <= wide.size() ? wideEnd + 1 : widePos;
    }
    return parts;
}

template <typename It>
struct Cursor {
    uint64_t stamp = 0;  // 0: no position cached
    size_t index = 0;
    It it{};
};

// The element at `index` (< size) of an ordered container, walking from
// whichever is nearest of the start, the end and the last position asked
// for. Enumerating by increasing (or decreasing) index costs O(1) a step.
template <typename Container, typename It>
It Nth(Container& items, size_t index, uint64_t stamp, Cursor<It>& cursor) {
    const size_t size = items.size();
    It it = items.begin();
    size_t from = 0;
    size_t cost = index;
    if (size - index < cost) {
        it = items.end();
        from = size;
        cost = size - index;
    }
    if (cursor.stamp == stamp) {
        const size_t distance = index > cursor.index ? index - cursor.index : cursor.index - index;
        if (distance < cost) {
            it = cursor.it;
            from = cursor.index;
        }
    }
    if (index >= from) {
        std::advance(it, static_cast<std::ptrdiff_t>(index - from));
    } else {
        std::advance(it, -static_cast<std::ptrdiff_t>(from - index));
    }
    cursor.stamp = stamp;
    cursor.index = index;
    cursor.it = it;
    return it;
}

struct Handle {
    Key* key = nullptr;
    uint32_t access = 0;
    Cursor<memreg::ChildSet::iterator> children;
    Cursor<ValueList::iterator> values;
};

}  // namespace

struct MemoryRegistry::Impl : KeyHandles<Handle, MemoryRegistry::Impl> {
    const CodePage& codePage;
    Tree tree;
    Key* classes = nullptr;
    bool twoViews = false;
    // Indexed by root handle - HKEY_CLASSES_ROOT; the slot of
    // HKEY_PERFORMANCE_DATA has no key.
    std::array<Handle, kRootCount> roots;

    explicit Impl(const CodePage& page) : codePage(page), tree(page) {
        Key* machine = tree.NewRoot("HKEY_LOCAL_MACHINE");
        Key* software = tree.AddChild(machine, "SOFTWARE");
        classes = tree.AddChild(software, "Classes");
        classes->pinned = true;
        roots[hkey::kClassesRoot - hkey::kClassesRoot].key = classes;
        roots[hkey::kCurrentUser - hkey::kClassesRoot].key = tree.NewRoot("HKEY_CURRENT_USER");
        roots[hkey::kLocalMachine - hkey::kClassesRoot].key = machine;
        roots[hkey::kUsers - hkey::kClassesRoot].key = tree.NewRoot("HKEY_USERS");
        roots[hkey::kCurrentConfig - hkey::kClassesRoot].key = tree.NewRoot("HKEY_CURRENT_CONFIG");
        roots[hkey::kDynData - hkey::kClassesRoot].key = tree.NewRoot("HKEY_DYN_DATA");
    }

    // The key that a root handle stands for, or null.
    Key* RootKey(HKey root) const {
        if (!hkey::IsRoot(root)) return nullptr;
        return roots[root - hkey::kClassesRoot].key;
    }

    // Looks up an open handle or a root handle, checks that it carries the
    // rights `need` and that its key still exists, in that order.
    Status Use(HKey key, uint32_t need, Handle** out) {
        Handle* handle = nullptr;
        if (hkey::IsRoot(key)) {
            handle = &roots[key - hkey::kClassesRoot];
            // A root is opened with the most access its key allows; one that
            // allows nothing cannot be opened and so is no handle at all.
            if (handle->key == nullptr ||
                !Grant(handle->key, access::kMaximumAllowed, &handle->access))
                return status::kInvalidHandle;
        } else {
            handle = Lookup(key);
            if (handle == nullptr) return status::kInvalidHandle;
        }
        if (need & ~handle->access) return status::kAccessDenied;
        if (handle->key->deleted) return status::kKeyDeleted;
        *out = handle;
        return status::kSuccess;
    }

    Status NewHandle(Key* key, uint32_t granted, HKey* result) {
        Handle handle;
        handle.key = key;
        handle.access = granted;
        *result = Add(handle);
        ++key->handles;
        return status::kSuccess;
    }

    // Follows `path` from `base` through existing keys.
    static Status Walk(Key* base, std::string_view path, Key** out) {
        if (!path.empty() && path.front() == '\\') return status::kBadPathname;
        Key* key = base;
        memreg::PathNames names(path, base->codePage());
        std::string_view name;
        while (names.Next(&name)) {
            if (name.size() > memreg::kMaxKeyNameLength) return status::kInvalidParameter;
            key = Tree::FindChild(key, name);
            if (key == nullptr) return status::kFileNotFound;
        }
        *out = key;
        return status::kSuccess;
    }

    // The existing key at `path` below the open key or root `parent`. The
    // caller holds the lock.
    Status Resolve(HKey parent, std::string_view path, Key** out) {
        Handle* base = nullptr;
        Status s = Use(parent, 0, &base);
        if (s != status::kSuccess) return s;
        return Walk(base->key, path, out);
    }

    // Where the 32-bit view's redirection takes `path` below `base`: the key
    // to walk from and the path to walk. Only keys of HKEY_LOCAL_MACHINE
    // move, and only when the registry has two views.
    std::pair<Key*, std::string> Redirected(Key* base, std::string_view path) const {
        if (!twoViews) return {base, std::string(path)};
        std::string full(path);
        const Key* top = base;
        for (; top->parent != nullptr; top = top->parent)
            full.insert(0, full.empty() ? top->name : top->name + "\\");
        Key* machine = RootKey(hkey::kLocalMachine);
        if (top != machine) return {base, std::string(path)};
        return {machine, Wow64MachinePath(full, codePage)};
    }

    // Follows `path` from `base`, creating the keys that are missing. Keys
    // created before a failure stay, as they do in the system.
    Status WalkCreating(Key* base, std::string_view path, Key** out, bool* created) {
        if (!path.empty() && path.front() == '\\') return status::kBadPathname;
        Key* key = base;
        // With no name at all the key itself is opened again, and the system
        // reports that as a new key.
        bool made = true;
        memreg::PathNames names(path, codePage);
        std::string_view name;
        while (names.Next(&name)) {
            if (name.size() > memreg::kMaxKeyNameLength) return status::kInvalidParameter;
            Key* child = Tree::FindChild(key, name);
            made = child == nullptr;
            if (made) {
                // A marked key does not let anyone add subkeys to it.
                if (key->mark != Mark::kNone) return status::kAccessDenied;
                child = tree.AddChild(key, name);
            }
            key = child;
        }
        *out = key;
        *created = made;
        return status::kSuccess;
    }

    // Path lookup for the file-level operations: empty names are skipped and
    // a name the registry would refuse gives null. `wide`, when not empty,
    // is the path as a file holds it (see regtext::Entry::wideKeyPath).
    static Key* Find(Key* base, std::string_view path, std::u16string_view wide = {}) {
        Key* key = base;
        if (key == nullptr) return nullptr;
        for (const auto& [name, wideName] : PathParts(path, wide, base->codePage())) {
            if (key == nullptr) break;
            if (name.size() > memreg::kMaxKeyNameLength) return nullptr;
            key = Tree::FindChild(key, name, wideName);
        }
        return key;
    }

    Key* FindOrCreate(Key* base, std::string_view path, std::u16string_view wide = {}) {
        Key* key = base;
        for (const auto& [name, wideName] : PathParts(path, wide, codePage)) {
            if (name.size() > memreg::kMaxKeyNameLength) return nullptr;
            Key* child = Tree::FindChild(key, name, wideName);
            key = child != nullptr ? child : tree.AddChild(key, name, wideName);
        }
        return key;
    }

    // SHDeleteKeyA: deletes `top` and everything below it, deepest keys
    // first and each key's subkeys in order. A key that cannot be opened for
    // reading, or cannot itself be deleted, stops the deletion there with
    // kAccessDenied, and whatever was not yet deleted stays.
    Status DeleteChecked(Key* top) {
        if (top->mark == Mark::kUnreadable) return status::kAccessDenied;
        std::vector<Key*> path{top};
        while (!path.empty()) {
            Key* key = path.back();
            if (!key->children.empty()) {
                Key* child = *key->children.begin();
                if (child->mark == Mark::kUnreadable) return status::kAccessDenied;
                path.push_back(child);
                continue;
            }
            if (key->pinned || key->mark != Mark::kNone) return status::kAccessDenied;
            path.pop_back();
            tree.RemoveLeaf(key);
        }
        return status::kSuccess;
    }

    // A [-key] line of an imported file: marks are ignored; a pinned key (a
    // root or the classes key), and so each key above it, is emptied of its
    // values instead of removed.
    void Purge(Key* top) {
        struct Level {
            Key* key;
            memreg::ChildSet::iterator next;
        };
        std::vector<Level> levels{{top, top->children.begin()}};
        while (!levels.empty()) {
            Level& level = levels.back();
            if (level.next != level.key->children.end()) {
                Key* child = *level.next;
                ++level.next;
                levels.push_back({child, child->children.begin()});
                continue;
            }
            Key* key = level.key;
            levels.pop_back();
            if (key->pinned || !key->children.empty()) {
                tree.ClearValues(key);
            } else {
                tree.RemoveLeaf(key);
            }
        }
    }

    // A key path as a file holds it: empty unless a name on it has a wide
    // form.
    struct ExportPath {
        std::string text;
        std::u16string wide;
        size_t inexact = 0;  // names on the path that have a wide form

        void Push(const Key* key) {
            if (!text.empty()) {
                text += '\\';
                wide += u'\\';
            }
            text += key->name;
            wide += key->wide.empty() ? key->codePage().ToUtf16(key->name) : key->wide;
            if (!key->wide.empty()) ++inexact;
        }
    };

    static void AddKeyEntries(regtext::Document& doc, HKey root, const ExportPath& path,
                              const Key* key) {
        const std::u16string noWide;
        const std::u16string& widePath = path.inexact != 0 ? path.wide : noWide;
        regtext::Entry entry;
        entry.kind = regtext::Entry::Kind::kKey;
        entry.root = root;
        entry.keyPath = path.text;
        entry.wideKeyPath = widePath;
        doc.entries.push_back(std::move(entry));
        for (const Value& value : key->values) {
            regtext::Entry v;
            v.kind = regtext::Entry::Kind::kValue;
            v.root = root;
            v.keyPath = path.text;
            v.wideKeyPath = widePath;
            v.name = value.name;
            v.wideName = value.wideName;
            v.type = value.type;
            v.data.assign(value.data.begin(), value.data.end());
            v.wideData.assign(value.wideData.begin(), value.wideData.end());
            doc.entries.push_back(std::move(v));
        }
    }

    // Pre-order walk: each key, its values, then its subkeys in order.
    void ExportInto(regtext::Document& doc, HKey root, std::string_view path) const {
        Key* start = Find(RootKey(root), path);
        if (start == nullptr) return;
        // The start key's path in the case the keys were created with.
        std::vector<const Key*> chain;
        for (const Key* k = start; k != RootKey(root) && k != nullptr; k = k->parent)
            chain.push_back(k);
        ExportPath keyPath;
        for (auto k = chain.rbegin(); k != chain.rend(); ++k) keyPath.Push(*k);
        AddKeyEntries(doc, root, keyPath, start);

        struct Level {
            const Key* key;
            memreg::ChildSet::const_iterator next;
            ExportPath path;
        };
        std::vector<Level> levels{{start, start->children.begin(), keyPath}};
        while (!levels.empty()) {
            Level& level = levels.back();
            if (level.next == level.key->children.end()) {
                levels.pop_back();
                continue;
            }
            const Key* child = *level.next++;
            ExportPath childPath = level.path;
            childPath.Push(child);
            AddKeyEntries(doc, root, childPath, child);
            levels.push_back({child, child->children.begin(), std::move(childPath)});
        }
    }

    void ApplyLocked(const regtext::Document& doc) {
        // Entries come grouped by key; remember the last one looked up.
        Key* lastKey = nullptr;
        const regtext::Entry* last = nullptr;
        for (const regtext::Entry& entry : doc.entries) {
            Key* base = RootKey(entry.root);
            if (base == nullptr) continue;
            const bool sameKey = lastKey != nullptr && last->root == entry.root &&
                                 last->keyPath == entry.keyPath &&
                                 last->wideKeyPath == entry.wideKeyPath;
            switch (entry.kind) {
                case regtext::Entry::Kind::kKey:
                case regtext::Entry::Kind::kValue: {
                    Key* key =
                        sameKey ? lastKey : FindOrCreate(base, entry.keyPath, entry.wideKeyPath);
                    lastKey = key;
                    last = &entry;
                    if (key == nullptr || entry.kind == regtext::Entry::Kind::kKey) break;
                    if (entry.name.size() > memreg::kMaxValueNameLength) break;
                    tree.SetValue(key, entry.name, entry.type,
                                  std::string(entry.data.begin(), entry.data.end()), entry.wideName,
                                  std::string(entry.wideData.begin(), entry.wideData.end()));
                    break;
                }
                case regtext::Entry::Kind::kDeleteKey: {
                    lastKey = nullptr;
                    Key* key = Find(base, entry.keyPath, entry.wideKeyPath);
                    if (key != nullptr) Purge(key);
                    break;
                }
                case regtext::Entry::Kind::kDeleteValue: {
                    Key* key = sameKey ? lastKey : Find(base, entry.keyPath, entry.wideKeyPath);
                    if (key == nullptr) break;
                    auto it = entry.wideName.empty() ? Tree::FindValue(key, entry.name)
                                                     : Tree::FindValue(key, entry.wideName);
                    if (it != key->values.end()) tree.EraseValue(key, it);
                    break;
                }
            }
        }
    }
};

MemoryRegistry::MemoryRegistry(const CodePage& codePage)
    : impl_(std::make_unique<Impl>(codePage)) {}

MemoryRegistry::~MemoryRegistry() = default;

Status MemoryRegistry::OpenKey(HKey parent, const char* subKey, uint32_t access, HKey* result) {
    if (result == nullptr) return status::kInvalidParameter;
    std::string_view path = Text(subKey);
    // A root with no subkey opens as itself, without any check.
    if (hkey::IsRoot(parent) && path.empty()) {
        *result = parent;
        return status::kSuccess;
    }
    *result = hkey::kNull;
    if (parent == hkey::kNull) return status::kInvalidHandle;
    // One leading backslash is allowed below HKEY_CLASSES_ROOT.
    if (parent == hkey::kClassesRoot && !path.empty() && path.front() == '\\')
        path.remove_prefix(1);
    if (path.size() > kMaxSubKeyPath) return status::kMoreData;
    return impl_->Locked([&] {
        Key* key = nullptr;
        Status s = status::kSuccess;
        if (access & access::kWow64_32Key) {
            Handle* base = nullptr;
            s = impl_->Use(parent, 0, &base);
            if (s != status::kSuccess) return s;
            if (!path.empty() && path.front() == '\\') return status::kBadPathname;
            const auto [from, redirected] = impl_->Redirected(base->key, path);
            s = Impl::Walk(from, redirected, &key);
        } else {
            s = impl_->Resolve(parent, path, &key);
        }
        if (s != status::kSuccess) return s;
        uint32_t granted = 0;
        if (!Grant(key, access, &granted)) return status::kAccessDenied;
        return impl_->NewHandle(key, granted, result);
    });
}

Status MemoryRegistry::CreateKey(HKey parent, const char* subKey, uint32_t access, HKey* result,
                                 bool* created) {
    if (result == nullptr) return status::kBadKey;
    *result = hkey::kNull;
    if (created != nullptr) *created = false;
    if (parent == hkey::kNull) return status::kInvalidHandle;
    const std::string_view path = Text(subKey);
    if (path.size() > kMaxSubKeyPath) return status::kMoreData;
    return impl_->Locked([&] {
        // No rights on the parent handle are needed to create below it.
        Handle* base = nullptr;
        Status s = impl_->Use(parent, 0, &base);
        if (s != status::kSuccess) return s;
        Key* key = nullptr;
        bool made = false;
        if (access & access::kWow64_32Key) {
            if (!path.empty() && path.front() == '\\') return status::kBadPathname;
            const auto [from, redirected] = impl_->Redirected(base->key, path);
            s = impl_->WalkCreating(from, redirected, &key, &made);
        } else {
            s = impl_->WalkCreating(base->key, path, &key, &made);
        }
        if (s != status::kSuccess) return s;
        uint32_t granted = 0;
        if (!Grant(key, access, &granted)) return status::kAccessDenied;
        s = impl_->NewHandle(key, granted, result);
        if (s == status::kSuccess && created != nullptr) *created = made;
        return s;
    });
}

Status MemoryRegistry::CloseKey(HKey key) {
    return impl_->Close(key, [&](const Handle& handle) { impl_->tree.ReleaseHandle(handle.key); });
}

Status MemoryRegistry::EnumKey(HKey key, uint32_t index, char* name, uint32_t* nameSize) {
    if (name == nullptr || nameSize == nullptr) return status::kInvalidParameter;
    return impl_->WithHandle(key, access::kEnumerateSubKeys, [&](Handle* h) {
        Key* k = h->key;
        if (index >= k->children.size()) return status::kNoMoreItems;
        const auto child = Nth(k->children, index, k->childStamp, h->children);
        if (!ChildUsable(k, child)) return status::kNoUnicodeTranslation;
        return answer::PutKeyName((*child)->name, name, nameSize);
    });
}

Status MemoryRegistry::EnumValue(HKey key, uint32_t index, char* name, uint32_t* nameSize,
                                 uint32_t* type, uint8_t* data, uint32_t* dataSize) {
    if (!answer::EnumValueArgsValid(name, nameSize, data, dataSize))
        return status::kInvalidParameter;
    return impl_->WithHandle(key, access::kQueryValue, [&](Handle* h) {
        Key* k = h->key;
        if (index >= k->values.size()) return status::kNoMoreItems;
        const Value& value = *Nth(k->values, index, k->valueStamp, h->values);
        if (!ValueUsable(k, value)) return status::kNoUnicodeTranslation;
        return answer::PutEnumValue(value.name, value.type, value.data, name, nameSize, type, data,
                                    dataSize);
    });
}

void MemoryRegistry::ListKey(HKey key, uint32_t parts, KeyListing& out) {
    out.Clear();
    if (parts & listing::kSubKeys) {
        out.subKeysEnd = impl_->WithHandle(key, access::kEnumerateSubKeys, [&](Handle* h) {
            const Key* k = h->key;
            for (auto child = k->children.begin(); child != k->children.end(); ++child)
                out.AddSubKey(ChildUsable(k, child), (*child)->name);
            return status::kNoMoreItems;
        });
    }
    if (parts & listing::kValues) {
        out.valuesEnd = impl_->WithHandle(key, access::kQueryValue, [&](Handle* h) {
            const Key* k = h->key;
            for (const Value& value : k->values)
                out.AddValue(ValueUsable(k, value), value.name, value.type, value.data);
            return status::kNoMoreItems;
        });
    }
}

Status MemoryRegistry::QueryInfoKey(HKey key, KeyInfo* info) {
    return impl_->WithHandle(key, access::kQueryValue, [&](Handle* h) {
        if (info == nullptr) return status::kSuccess;
        Key* k = h->key;
        Tree::RefreshLengths(k);
        info->subKeys = static_cast<uint32_t>(k->children.size());
        info->maxSubKeyLen = k->maxChildName;
        info->values = static_cast<uint32_t>(k->values.size());
        info->maxValueNameLen = k->maxValueName;
        info->maxValueLen = k->maxValueData;
        return status::kSuccess;
    });
}

Status MemoryRegistry::QueryValue(HKey key, const char* name, uint32_t* type, uint8_t* data,
                                  uint32_t* dataSize) {
    const Status checked = answer::StartQueryValue(key, name, type, data, dataSize);
    if (checked != status::kSuccess) return checked;
    return impl_->WithHandle(key, access::kQueryValue, [&](Handle* h) {
        auto it = Tree::FindValue(h->key, Text(name));
        if (it == h->key->values.end()) return status::kFileNotFound;
        if (!it->wideData.empty()) return status::kNoUnicodeTranslation;
        if (type != nullptr) *type = it->type;
        return answer::PutValueData(it->data, it->type, data, dataSize);
    });
}

Status MemoryRegistry::SetValue(HKey key, const char* name, uint32_t type, const uint8_t* data,
                                uint32_t size) {
    if (key == hkey::kNull) return status::kInvalidHandle;
    if (data == nullptr && size > 0) return status::kNoAccess;
    // Text whose size leaves out its terminating zero is stored with one.
    // The system does so when the byte just past the given size is a zero;
    // reading past the caller's buffer is not ours to do, and every caller
    // here passes zero-terminated text, so the zero is always added.
    const bool addZero = size > 0 && regtype::IsText(type) && data[size - 1] != 0;
    const std::string_view valueName = Text(name);
    if (valueName.size() > kMaxConvertibleName) return status::kInvalidParameter;
    return impl_->WithHandle(key, access::kSetValue, [&](Handle* h) {
        if (valueName.size() > memreg::kMaxValueNameLength) return status::kInvalidParameter;
        std::string bytes;
        if (size > 0) bytes.assign(reinterpret_cast<const char*>(data), size);
        if (addZero) bytes.push_back('\0');
        impl_->tree.SetValue(h->key, valueName, type, std::move(bytes));
        return status::kSuccess;
    });
}

Status MemoryRegistry::DeleteValue(HKey key, const char* name) {
    if (key == hkey::kNull) return status::kInvalidHandle;
    const std::string_view valueName = Text(name);
    if (valueName.size() > kMaxConvertibleName) return status::kInvalidParameter;
    return impl_->WithHandle(key, access::kSetValue, [&](Handle* h) {
        auto it = Tree::FindValue(h->key, valueName);
        if (it == h->key->values.end()) return status::kFileNotFound;
        if (!ValueUsable(h->key, *it)) return status::kNoUnicodeTranslation;
        impl_->tree.EraseValue(h->key, it);
        return status::kSuccess;
    });
}

Status MemoryRegistry::DeleteKey(HKey parent, const char* subKey) {
    if (subKey == nullptr) return status::kInvalidParameter;
    if (parent == hkey::kNull) return status::kInvalidHandle;
    // The key is opened for DELETE below the parent's own handle, so the
    // leading backslash that HKEY_CLASSES_ROOT otherwise takes is refused
    // here, and an empty subkey names the parent itself.
    const std::string_view path = subKey;
    if (path.size() > kMaxSubKeyPath) return status::kMoreData;
    return impl_->Locked([&] {
        Key* key = nullptr;
        Status s = impl_->Resolve(parent, path, &key);
        if (s != status::kSuccess) return s;
        uint32_t granted = 0;
        if (!Grant(key, access::kDelete, &granted)) return status::kAccessDenied;
        if (key->pinned || !key->children.empty()) return status::kAccessDenied;
        if (!SubtreeUsable(key)) return status::kNoUnicodeTranslation;
        impl_->tree.RemoveLeaf(key);
        return status::kSuccess;
    });
}

Status MemoryRegistry::DeleteTree(HKey parent, const char* subKey) {
    const auto emptyParent = [&](Handle* h) {
        // The parent's subkeys and values go, the parent stays. Reading the
        // key's information and enumerating it need those rights on the
        // handle; deleting values needs KEY_SET_VALUE.
        Key* key = h->key;
        if (!SubtreeUsable(key)) return status::kNoUnicodeTranslation;
        while (!key->children.empty()) {
            const Status s = impl_->DeleteChecked(*key->children.begin());
            if (s != status::kSuccess) return s;
        }
        if (!key->values.empty()) {
            if (!(h->access & access::kSetValue)) return status::kAccessDenied;
            impl_->tree.ClearValues(key);
        }
        return status::kSuccess;
    };
    return impl_->DeleteTree(parent, subKey, emptyParent, [&](std::string_view path) {
        Key* key = nullptr;
        const Status s = impl_->Resolve(parent, path, &key);
        if (s != status::kSuccess) return s;
        // Nothing is deleted unless all of it may be.
        if (!SubtreeUsable(key)) return status::kNoUnicodeTranslation;
        return impl_->DeleteChecked(key);
    });
}

Status MemoryRegistry::Wow64Path(HKey root, const std::string& subKey, std::string* path) {
    {
        std::lock_guard<std::mutex> lock(impl_->mutex());
        if (!impl_->twoViews) return status::kFileNotFound;
    }
    return LayoutWow64Path(*this, root, subKey, path);
}

const CodePage& MemoryRegistry::codePage() const {
    return impl_->codePage;
}

Status MemoryRegistry::KeyIdentity(HKey key, std::string* identity) {
    if (identity == nullptr) return status::kInvalidParameter;
    // The key's node: one for every path that reaches it, HKEY_CLASSES_ROOT
    // and HKEY_LOCAL_MACHINE\SOFTWARE\Classes included.
    return impl_->WithHandle(key, 0, [&](Handle* h) {
        *identity = std::to_string(reinterpret_cast<std::uintptr_t>(h->key));
        return status::kSuccess;
    });
}

void MemoryRegistry::SetTwoViews(bool twoViews) {
    std::lock_guard<std::mutex> lock(impl_->mutex());
    impl_->twoViews = twoViews;
}

bool MemoryRegistry::SetProtection(HKey root, const std::string& path, Protection protection) {
    std::lock_guard<std::mutex> lock(impl_->mutex());
    Key* key = Impl::Find(impl_->RootKey(root), path);
    if (key == nullptr) return false;
    switch (protection) {
        case Protection::kNone:
            key->mark = Mark::kNone;
            break;
        case Protection::kReadOnly:
            key->mark = Mark::kReadOnly;
            break;
        case Protection::kUnreadable:
            key->mark = Mark::kUnreadable;
            break;
    }
    return true;
}

void MemoryRegistry::Apply(const regtext::Document& doc) {
    try {
        std::lock_guard<std::mutex> lock(impl_->mutex());
        impl_->ApplyLocked(doc);
    } catch (const std::exception&) {
        // Out of memory: what was applied so far stays.
    }
}

bool MemoryRegistry::LoadFile(const std::string& hostPath, std::string* error) {
    auto fail = [&](const std::string& what) {
        if (error != nullptr) *error = hostPath + ": " + what;
        return false;
    };
    try {
        std::ifstream in(hostPath, std::ios::binary);
        if (!in) return fail("cannot open the file");
        std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        if (in.bad()) return fail("cannot read the file");
        regtext::Document doc;
        regtext::ParseError parseError;
        if (!regtext::Parse(bytes, doc, parseError, impl_->codePage)) {
            if (parseError.line == 0) return fail(parseError.message);
            return fail("line " + std::to_string(parseError.line) + ": " + parseError.message);
        }
        std::lock_guard<std::mutex> lock(impl_->mutex());
        impl_->ApplyLocked(doc);
        return true;
    } catch (const std::bad_alloc&) {
        return fail("out of memory");
    } catch (const std::exception&) {
        // The stream library throws when the path names something that
        // opens but cannot be read as a file, such as a folder.
        return fail("cannot read the file");
    }
}

regtext::Document MemoryRegistry::Export(HKey root, const std::string& path) const {
    regtext::Document doc;
    try {
        std::lock_guard<std::mutex> lock(impl_->mutex());
        impl_->ExportInto(doc, root, path);
    } catch (const std::exception&) {
        // Never hand out part of a tree as if it were all of it.
        doc.entries.clear();
    }
    return doc;
}

bool MemoryRegistry::SaveFile(const std::string& hostPath, regtext::Format format,
                              const std::vector<HKey>& roots, std::string* error) const {
    auto fail = [&](const std::string& what) {
        if (error != nullptr) *error = hostPath + ": " + what;
        return false;
    };
    try {
        regtext::Document doc;
        doc.format = format;
        {
            std::lock_guard<std::mutex> lock(impl_->mutex());
            for (HKey root : roots) {
                // HKEY_CLASSES_ROOT is part of HKEY_LOCAL_MACHINE.
                if (root == hkey::kClassesRoot) continue;
                impl_->ExportInto(doc, root, "");
            }
        }
        const std::string bytes = regtext::Write(doc, format, impl_->codePage);
        std::ofstream out(hostPath, std::ios::binary | std::ios::trunc);
        if (!out) return fail("cannot create the file");
        out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
        out.close();
        if (!out) return fail("cannot write the file");
        return true;
    } catch (const std::exception&) {
        return fail("out of memory");
    }
}

size_t MemoryRegistry::OpenHandleCount() const {
    return impl_->Count();
}

}  // namespace qm
