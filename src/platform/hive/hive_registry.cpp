#include "platform/hive/hive_registry.h"

#include <algorithm>
#include <cstring>
#include <mutex>
#include <string_view>
#include <unordered_map>

#include "platform/key_handles.h"
#include "platform/memory/memory_registry_tree.h"
#include "platform/registry_answers.h"
#include "platform/wow64_layout.h"

namespace qm {

using hive::ChildEntry;
using hive::HiveFile;
using hive::ValueEntry;

namespace {

using answer::kMaxConvertibleName;
using answer::Text;
using memreg::PathNames;

// A key that exists only here: a root, a mount point or a key on the way to
// one. `hive` and `node` are set for a mount point; the others show the key
// of the same name in the hive around them, if there is one.
struct MountKey {
    std::string name;
    std::vector<std::unique_ptr<MountKey>> children;
    HiveFile* hive = nullptr;
    hive_node_h node = 0;

    MountKey* Child(std::string_view childName) const {
        for (const auto& child : children)
            if (memreg::NamesEqual(child->name, childName)) return child.get();
        return nullptr;
    }
};

// Where a key is: a key of this registry's own, a hive's key, or both (a
// mount point, or a key on the way to one that a hive also holds).
struct Place {
    MountKey* mount = nullptr;
    HiveFile* hive = nullptr;
    hive_node_h node = 0;
};

// One subkey in a listing that mixes the registry's own keys with a hive's.
struct Listed {
    std::string name;
    bool exact = true;
};

struct Handle {
    Place place;
    uint32_t access = 0;
    bool deleted = false;
};

}  // namespace

struct HiveRegistry::Impl : KeyHandles<Handle, HiveRegistry::Impl> {
    std::vector<std::shared_ptr<HiveFile>> hives;
    std::unordered_map<HKey, std::unique_ptr<MountKey>> roots;

    Impl() {
        for (HKey root : {hkey::kClassesRoot, hkey::kCurrentUser, hkey::kLocalMachine, hkey::kUsers,
                          hkey::kCurrentConfig}) {
            auto key = std::make_unique<MountKey>();
            key->name = RootKeyFullName(root);
            roots.emplace(root, std::move(key));
        }
    }

    // The place of a mount key below `parent`'s place.
    static Place PlaceOf(MountKey* key, const Place& parent) {
        Place place;
        place.mount = key;
        if (key->hive != nullptr) {
            place.hive = key->hive;
            place.node = key->node;
        } else if (parent.hive != nullptr) {
            place.node = parent.hive->FindChild(parent.node, key->name);
            if (place.node != 0) place.hive = parent.hive;
        }
        return place;
    }

    Place RootPlace(HKey root) const {
        auto found = roots.find(root);
        if (found == roots.end()) return {};
        return PlaceOf(found->second.get(), Place{});
    }

    static bool FindIn(const Place& parent, std::string_view name, Place* out) {
        if (parent.mount != nullptr) {
            if (MountKey* key = parent.mount->Child(name)) {
                *out = PlaceOf(key, parent);
                return true;
            }
        }
        if (parent.hive == nullptr) return false;
        const hive_node_h node = parent.hive->FindChild(parent.node, name);
        if (node == 0) return false;
        *out = Place{nullptr, parent.hive, node};
        return true;
    }

    // What opening a key with `requested` rights grants: everything, as to
    // an administrator. A hive that is only read refuses the writes
    // themselves, so that scanners opening keys for reading and writing
    // still read it.
    static uint32_t Grant(uint32_t requested) {
        const uint32_t mapped = answer::MapGenericAccess(requested);
        return (mapped & ~access::kMaximumAllowed) |
               ((mapped & access::kMaximumAllowed) ? access::kAllAccess | answer::kSynchronize : 0);
    }

    Status Use(HKey key, uint32_t need, Handle** out) {
        static thread_local Handle rootHandle;
        if (hkey::IsRoot(key)) {
            if (roots.find(key) == roots.end()) return status::kInvalidHandle;
            rootHandle.place = RootPlace(key);
            rootHandle.deleted = false;
            rootHandle.access = Grant(access::kMaximumAllowed);
            if (need & ~rootHandle.access) return status::kAccessDenied;
            *out = &rootHandle;
            return status::kSuccess;
        }
        Handle* found = Lookup(key);
        if (found == nullptr) return status::kInvalidHandle;
        if (need & ~found->access) return status::kAccessDenied;
        if (found->deleted) return status::kKeyDeleted;
        *out = found;
        return status::kSuccess;
    }

    // The values of the key behind a handle; `noHive` when the key lies
    // outside every hive and so has none.
    static Status ValuesOf(const Handle& h, Status noHive, const std::vector<ValueEntry>** values) {
        if (h.place.hive == nullptr) return noHive;
        if (!h.place.hive->Values(h.place.node, values)) return status::kCantRead;
        return status::kSuccess;
    }

    // The value `name` of the key behind a handle. A value whose name reads
    // as this one only with a character replaced is not this one.
    static Status ExactValue(const Handle& h, std::string_view name, const ValueEntry** out) {
        if (h.place.hive == nullptr) return status::kFileNotFound;
        const Status s = static_cast<Status>(h.place.hive->FindValue(h.place.node, name, out));
        if (s != status::kSuccess) return s;
        return (*out)->exact ? status::kSuccess : status::kNoUnicodeTranslation;
    }

    Status NewHandle(const Place& place, uint32_t granted, HKey* result) {
        *result = Add(Handle{place, granted, false});
        return status::kSuccess;
    }

    static Status Walk(Place place, std::string_view path, Place* out) {
        if (!path.empty() && path.front() == '\\') return status::kBadPathname;
        PathNames names(path, CodePage::Windows1252());
        std::string_view name;
        while (names.Next(&name)) {
            if (name.size() > memreg::kMaxKeyNameLength) return status::kInvalidParameter;
            if (!FindIn(place, name, &place)) return status::kFileNotFound;
        }
        *out = place;
        return status::kSuccess;
    }

    Status Resolve(HKey parent, std::string_view path, Place* out) {
        Handle* base = nullptr;
        const Status s = Use(parent, 0, &base);
        if (s != status::kSuccess) return s;
        return Walk(base->place, path, out);
    }

    // The subkeys of a place that mixes mount keys with a hive's keys: the
    // mount keys hide the hive's keys of the same name.
    static bool MixedListing(const Place& place, std::vector<Listed>* out) {
        if (place.hive != nullptr) {
            const std::vector<ChildEntry>* children = nullptr;
            if (!place.hive->Children(place.node, &children)) return false;
            for (const ChildEntry& child : *children)
                if (place.mount->Child(child.name) == nullptr)
                    out->push_back({child.name, child.exact});
        }
        for (const auto& key : place.mount->children) out->push_back({key->name, true});
        std::stable_sort(out->begin(), out->end(), [](const Listed& a, const Listed& b) {
            return memreg::CompareNames(a.name, b.name) < 0;
        });
        return true;
    }

    // Subkey `index` of a place; kNoMoreItems past the end.
    static Status SubKeyAt(const Place& place, uint32_t index, std::string* name, bool* exact) {
        if (place.mount == nullptr || place.mount->children.empty()) {
            if (place.hive == nullptr) return status::kNoMoreItems;
            const std::vector<ChildEntry>* children = nullptr;
            if (!place.hive->Children(place.node, &children)) return status::kCantRead;
            if (index >= children->size()) return status::kNoMoreItems;
            *name = (*children)[index].name;
            *exact = (*children)[index].exact;
            return status::kSuccess;
        }
        std::vector<Listed> listed;
        if (!MixedListing(place, &listed)) return status::kCantRead;
        if (index >= listed.size()) return status::kNoMoreItems;
        *name = listed[index].name;
        *exact = listed[index].exact;
        return status::kSuccess;
    }

    // Whether deleting the hive key `node` would take a mount point with it.
    bool HoldsMountPoint(const HiveFile* hive, hive_node_h node, HiveFile* owner) const {
        std::vector<const MountKey*> pending;
        for (const auto& [root, key] : roots) pending.push_back(key.get());
        while (!pending.empty()) {
            const MountKey* key = pending.back();
            pending.pop_back();
            if (key->hive == hive && owner->IsWithin(key->node, node)) return true;
            for (const auto& child : key->children) pending.push_back(child.get());
        }
        return false;
    }

    // Deletes a hive key and everything below it, after the checks that
    // keep what must stay: mount points, entries that do not convert
    // exactly, read-only hives.
    Status DeleteHiveTree(const Place& place) {
        if (place.mount != nullptr || place.hive == nullptr) return status::kAccessDenied;
        HiveFile* hive = place.hive;
        if (!hive->writable()) return status::kAccessDenied;
        if (place.node == hive->root() || HoldsMountPoint(hive, place.node, hive))
            return status::kAccessDenied;
        if (!hive->SubtreeExact(place.node)) return status::kNoUnicodeTranslation;
        ForEach([&](Handle& handle) {
            if (handle.place.hive == hive && hive->IsWithin(handle.place.node, place.node))
                handle.deleted = true;
        });
        return static_cast<Status>(hive->DeleteNode(place.node));
    }
};

HiveRegistry::HiveRegistry() : impl_(std::make_unique<Impl>()) {}
HiveRegistry::~HiveRegistry() = default;

bool HiveRegistry::Mount(HKey root, const std::string& path, std::shared_ptr<HiveFile> hive,
                         const std::string& hiveKey) {
    std::lock_guard<std::mutex> lock(impl_->mutex());
    auto found = impl_->roots.find(root);
    if (found == impl_->roots.end() || hive == nullptr) return false;
    hive_node_h node = hive->root();
    std::string_view name;
    for (PathNames names(hiveKey, CodePage::Windows1252()); names.Next(&name);) {
        node = hive->FindChild(node, name);
        if (node == 0) return false;
    }
    MountKey* key = found->second.get();
    for (PathNames names(path, CodePage::Windows1252()); names.Next(&name);) {
        MountKey* child = key->Child(name);
        if (child == nullptr) {
            key->children.push_back(std::make_unique<MountKey>());
            child = key->children.back().get();
            child->name = std::string(name);
        }
        key = child;
    }
    if (key->hive != nullptr) return false;
    key->hive = hive.get();
    key->node = node;
    if (std::find(impl_->hives.begin(), impl_->hives.end(), hive) == impl_->hives.end())
        impl_->hives.push_back(std::move(hive));
    return true;
}

std::vector<std::shared_ptr<HiveFile>> HiveRegistry::Hives() const {
    std::lock_guard<std::mutex> lock(impl_->mutex());
    return impl_->hives;
}

bool HiveRegistry::Commit(const UtcTime& now, std::vector<hive::HiveOutcome>* outcomes,
                          std::string* error) {
    std::lock_guard<std::mutex> lock(impl_->mutex());
    // A hive found damaged while changing it fails the commit with the
    // reason, even when nothing in it changed.
    std::vector<HiveFile*> changed;
    for (const auto& hive : impl_->hives)
        if (hive->modified() || hive->damaged()) changed.push_back(hive.get());
    std::vector<hive::HiveOutcome> results;
    const bool written = changed.empty() || hive::CommitHives(changed, now, &results);
    if (!written && error != nullptr) {
        bool touched = false;
        for (const hive::HiveOutcome& outcome : results)
            touched = touched || outcome.state != hive::HiveOutcome::State::kLeft;
        *error = std::string(touched ? "the changes were not written, and not every hive is as "
                                       "it was:\n"
                                     : "the changes were not written; no hive was changed:\n") +
                 hive::DescribeOutcomes(results);
        if (!error->empty() && error->back() == '\n') error->pop_back();
    }
    if (outcomes != nullptr) *outcomes = std::move(results);
    return written;
}

size_t HiveRegistry::OpenHandleCount() const {
    return impl_->Count();
}

Status HiveRegistry::OpenKey(HKey parent, const char* subKey, uint32_t access, HKey* result) {
    if (result == nullptr) return status::kInvalidParameter;
    *result = hkey::kNull;
    std::string_view path = Text(subKey);
    if (path.size() > kMaxSubKeyPath) return status::kMoreData;
    // HKEY_CLASSES_ROOT takes one leading backslash.
    if (parent == hkey::kClassesRoot && !path.empty() && path.front() == '\\')
        path.remove_prefix(1);
    return impl_->Locked([&] {
        Place place;
        Status s = impl_->Resolve(parent, path, &place);
        if (s != status::kSuccess) return s;
        return impl_->NewHandle(place, Impl::Grant(access), result);
    });
}

Status HiveRegistry::CreateKey(HKey parent, const char* subKey, uint32_t access, HKey* result,
                               bool* created) {
    if (result == nullptr) return status::kInvalidParameter;
    *result = hkey::kNull;
    const std::string_view path = Text(subKey);
    if (path.size() > kMaxSubKeyPath) return status::kMoreData;
    if (!path.empty() && path.front() == '\\') return status::kBadPathname;
    return impl_->Locked([&] {
        Handle* base = nullptr;
        Status s = impl_->Use(parent, 0, &base);
        if (s != status::kSuccess) return s;
        Place place = base->place;
        bool made = true;
        PathNames names(path, CodePage::Windows1252());
        std::string_view name;
        while (names.Next(&name)) {
            if (name.size() > memreg::kMaxKeyNameLength) return status::kInvalidParameter;
            Place next;
            made = !Impl::FindIn(place, name, &next);
            if (made) {
                if (place.hive == nullptr ||
                    (place.mount != nullptr && place.mount->hive == nullptr && place.node == 0))
                    return status::kAccessDenied;
                hive_node_h child = 0;
                s = static_cast<Status>(place.hive->AddChild(place.node, name, &child));
                if (s != status::kSuccess) return s;
                next = Place{nullptr, place.hive, child};
            }
            place = next;
        }
        s = impl_->NewHandle(place, Impl::Grant(access), result);
        if (s == status::kSuccess && created != nullptr) *created = made;
        return s;
    });
}

Status HiveRegistry::CloseKey(HKey key) {
    return impl_->Close(key, [](const Handle&) {});
}

Status HiveRegistry::EnumKey(HKey key, uint32_t index, char* name, uint32_t* nameSize) {
    if (name == nullptr || nameSize == nullptr) return status::kInvalidParameter;
    return impl_->WithHandle(key, access::kEnumerateSubKeys, [&](Handle* h) {
        std::string childName;
        bool exact = true;
        const Status s = Impl::SubKeyAt(h->place, index, &childName, &exact);
        if (s != status::kSuccess) return s;
        if (!exact) return status::kNoUnicodeTranslation;
        return answer::PutKeyName(childName, name, nameSize);
    });
}

Status HiveRegistry::EnumValue(HKey key, uint32_t index, char* name, uint32_t* nameSize,
                               uint32_t* type, uint8_t* data, uint32_t* dataSize) {
    if (!answer::EnumValueArgsValid(name, nameSize, data, dataSize))
        return status::kInvalidParameter;
    return impl_->WithHandle(key, access::kQueryValue, [&](Handle* h) {
        const std::vector<ValueEntry>* values = nullptr;
        const Status s = Impl::ValuesOf(*h, status::kNoMoreItems, &values);
        if (s != status::kSuccess) return s;
        if (index >= values->size()) return status::kNoMoreItems;
        const ValueEntry value = (*values)[index];
        if (!value.exact) return status::kNoUnicodeTranslation;
        std::string bytes;
        if (!h->place.hive->ReadData(value, &bytes)) return status::kCantRead;
        return answer::PutEnumValue(value.name, value.type, bytes, name, nameSize, type, data,
                                    dataSize);
    });
}

void HiveRegistry::ListKey(HKey key, uint32_t parts, KeyListing& out) {
    out.Clear();
    if (parts & listing::kSubKeys) {
        out.subKeysEnd = impl_->WithHandle(key, access::kEnumerateSubKeys, [&](Handle* h) {
            const Place& place = h->place;
            if (place.mount == nullptr || place.mount->children.empty()) {
                if (place.hive == nullptr) return status::kNoMoreItems;
                const std::vector<ChildEntry>* children = nullptr;
                if (!place.hive->Children(place.node, &children)) return status::kCantRead;
                for (const ChildEntry& child : *children) out.AddSubKey(child.exact, child.name);
                return status::kNoMoreItems;
            }
            std::vector<Listed> listed;
            if (!Impl::MixedListing(place, &listed)) return status::kCantRead;
            for (const Listed& child : listed) out.AddSubKey(child.exact, child.name);
            return status::kNoMoreItems;
        });
    }
    if (parts & listing::kValues) {
        out.valuesEnd = impl_->WithHandle(key, access::kQueryValue, [&](Handle* h) {
            const std::vector<ValueEntry>* values = nullptr;
            const Status s = Impl::ValuesOf(*h, status::kNoMoreItems, &values);
            if (s != status::kSuccess) return s;
            for (const ValueEntry& value : *values) {
                std::string bytes;
                if (value.exact && !h->place.hive->ReadData(value, &bytes))
                    return status::kCantRead;
                out.AddValue(value.exact, value.name, value.type, bytes);
            }
            return status::kNoMoreItems;
        });
    }
}

Status HiveRegistry::QueryInfoKey(HKey key, KeyInfo* info) {
    return impl_->WithHandle(key, access::kQueryValue, [&](Handle* h) {
        if (info == nullptr) return status::kSuccess;
        *info = KeyInfo{};
        const Place& place = h->place;
        if (place.mount != nullptr && !place.mount->children.empty()) {
            std::vector<Listed> listed;
            if (!Impl::MixedListing(place, &listed)) return status::kCantRead;
            info->subKeys = static_cast<uint32_t>(listed.size());
            for (const Listed& child : listed)
                info->maxSubKeyLen =
                    std::max(info->maxSubKeyLen, static_cast<uint32_t>(child.name.size()));
        } else if (place.hive != nullptr) {
            const std::vector<ChildEntry>* children = nullptr;
            if (!place.hive->Children(place.node, &children)) return status::kCantRead;
            info->subKeys = static_cast<uint32_t>(children->size());
            for (const ChildEntry& child : *children)
                info->maxSubKeyLen =
                    std::max(info->maxSubKeyLen, static_cast<uint32_t>(child.name.size()));
        }
        if (place.hive != nullptr) {
            const std::vector<ValueEntry>* values = nullptr;
            if (!place.hive->Values(place.node, &values)) return status::kCantRead;
            info->values = static_cast<uint32_t>(values->size());
            for (const ValueEntry& value : *values) {
                info->maxValueNameLen =
                    std::max(info->maxValueNameLen, static_cast<uint32_t>(value.name.size()));
                info->maxValueLen = std::max(info->maxValueLen, value.rawLength);
            }
        }
        return status::kSuccess;
    });
}

Status HiveRegistry::QueryValue(HKey key, const char* name, uint32_t* type, uint8_t* data,
                                uint32_t* dataSize) {
    const Status checked = answer::StartQueryValue(key, name, type, data, dataSize);
    if (checked != status::kSuccess) return checked;
    const std::string_view valueName = Text(name);
    return impl_->WithHandle(key, access::kQueryValue, [&](Handle* h) {
        const ValueEntry* found = nullptr;
        const Status s = Impl::ExactValue(*h, valueName, &found);
        if (s != status::kSuccess) return s;
        const ValueEntry value = *found;
        std::string bytes;
        if (!h->place.hive->ReadData(value, &bytes)) return status::kCantRead;
        if (type != nullptr) *type = value.type;
        return answer::PutValueData(bytes, value.type, data, dataSize);
    });
}

Status HiveRegistry::SetValue(HKey key, const char* name, uint32_t type, const uint8_t* data,
                              uint32_t size) {
    if (key == hkey::kNull) return status::kInvalidHandle;
    if (data == nullptr && size > 0) return status::kNoAccess;
    const bool addZero = size > 0 && regtype::IsText(type) && data[size - 1] != 0;
    const std::string_view valueName = Text(name);
    if (valueName.size() > memreg::kMaxValueNameLength) return status::kInvalidParameter;
    return impl_->WithHandle(key, access::kSetValue, [&](Handle* h) {
        if (h->place.hive == nullptr) return status::kAccessDenied;
        const ValueEntry* found = nullptr;
        const auto s =
            static_cast<Status>(h->place.hive->FindValue(h->place.node, valueName, &found));
        if (s != status::kSuccess && s != status::kFileNotFound) return s;
        if (found != nullptr && !found->exact) return status::kNoUnicodeTranslation;
        std::string bytes;
        if (size > 0) bytes.assign(reinterpret_cast<const char*>(data), size);
        if (addZero) bytes.push_back('\0');
        return static_cast<Status>(
            h->place.hive->WriteValue(h->place.node, valueName, type, &bytes));
    });
}

Status HiveRegistry::DeleteValue(HKey key, const char* name) {
    if (key == hkey::kNull) return status::kInvalidHandle;
    const std::string_view valueName = Text(name);
    if (valueName.size() > kMaxConvertibleName) return status::kInvalidParameter;
    return impl_->WithHandle(key, access::kSetValue, [&](Handle* h) {
        const ValueEntry* found = nullptr;
        const Status s = Impl::ExactValue(*h, valueName, &found);
        if (s != status::kSuccess) return s;
        return static_cast<Status>(
            h->place.hive->WriteValue(h->place.node, valueName, regtype::kNone, nullptr));
    });
}

Status HiveRegistry::DeleteKey(HKey parent, const char* subKey) {
    if (subKey == nullptr) return status::kInvalidParameter;
    if (parent == hkey::kNull) return status::kInvalidHandle;
    const std::string_view path = subKey;
    if (path.size() > kMaxSubKeyPath) return status::kMoreData;
    return impl_->Locked([&] {
        Place place;
        Status s = impl_->Resolve(parent, path, &place);
        if (s != status::kSuccess) return s;
        if (place.mount != nullptr) return status::kAccessDenied;
        const std::vector<ChildEntry>* children = nullptr;
        if (!place.hive->Children(place.node, &children)) return status::kCantRead;
        if (!children->empty()) return status::kAccessDenied;
        return impl_->DeleteHiveTree(place);
    });
}

Status HiveRegistry::DeleteTree(HKey parent, const char* subKey) {
    const auto emptyParent = [&](Handle* h) -> Status {
        // The parent's subkeys and values go, the parent stays.
        const Place place = h->place;
        if (place.mount != nullptr && !place.mount->children.empty()) return status::kAccessDenied;
        if (place.hive == nullptr) return status::kSuccess;
        if (!place.hive->SubtreeExact(place.node)) return status::kNoUnicodeTranslation;
        for (;;) {
            const std::vector<ChildEntry>* children = nullptr;
            if (!place.hive->Children(place.node, &children)) return status::kCantRead;
            if (children->empty()) break;
            const Status s =
                impl_->DeleteHiveTree(Place{nullptr, place.hive, children->front().node});
            if (s != status::kSuccess) return s;
        }
        const std::vector<ValueEntry>* values = nullptr;
        if (!place.hive->Values(place.node, &values)) return status::kCantRead;
        while (!values->empty()) {
            if (!(h->access & access::kSetValue)) return status::kAccessDenied;
            const std::string name = values->front().name;
            const auto s = static_cast<Status>(
                place.hive->WriteValue(place.node, name, regtype::kNone, nullptr));
            if (s != status::kSuccess) return s;
            if (!place.hive->Values(place.node, &values)) return status::kCantRead;
        }
        return status::kSuccess;
    };
    return impl_->DeleteTree(parent, subKey, emptyParent, [&](std::string_view path) {
        Place place;
        const Status s = impl_->Resolve(parent, path, &place);
        return s != status::kSuccess ? s : impl_->DeleteHiveTree(place);
    });
}

Status HiveRegistry::Wow64Path(HKey root, const std::string& subKey, std::string* path) {
    return LayoutWow64Path(*this, root, subKey, path);
}

const CodePage& HiveRegistry::codePage() const {
    return CodePage::Windows1252();
}

Status HiveRegistry::KeyIdentity(HKey key, std::string* identity) {
    if (identity == nullptr) return status::kInvalidParameter;
    // A hive's key is its node, however many mounts show it (the user's hive
    // as HKEY_CURRENT_USER and below HKEY_USERS, the control set as
    // CurrentControlSet); a key outside every hive is this registry's own.
    return impl_->WithHandle(key, 0, [&](Handle* h) {
        const Place& place = h->place;
        if (place.hive != nullptr)
            *identity = "hive " + std::to_string(reinterpret_cast<std::uintptr_t>(place.hive)) +
                        " " + std::to_string(place.node);
        else
            *identity = "mount " + std::to_string(reinterpret_cast<std::uintptr_t>(place.mount));
        return status::kSuccess;
    });
}

}  // namespace qm
