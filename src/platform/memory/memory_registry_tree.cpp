#include "platform/memory/memory_registry_tree.h"

#include <algorithm>
#include <array>
#include <limits>
#include <vector>

#include "platform/win32_codes.h"

namespace qm::memreg {

namespace {

// Above this many values a key keeps a hash index of its value names.
constexpr size_t kValueIndexThreshold = 16;

uint32_t Length32(size_t n) {
    return static_cast<uint32_t>(std::min<size_t>(n, std::numeric_limits<uint32_t>::max()));
}

}  // namespace

bool ChildLess::operator()(const Key* a, const Key* b) const {
    return CompareNames(a->name, b->name) < 0;
}
bool ChildLess::operator()(const Key* a, std::string_view b) const {
    return CompareNames(a->name, b) < 0;
}
bool ChildLess::operator()(std::string_view a, const Key* b) const {
    return CompareNames(a, b->name) < 0;
}

uint32_t ReportedDataLength(const Value& value) {
    const size_t n = value.data.size();
    return Length32(regtype::IsText(value.type) ? n * 2 : n);
}

Tree::~Tree() {
    for (Key* root : roots_) FreeSubtree(root);
    for (Key* orphan : orphans_) FreeSubtree(orphan);
}

void Tree::FreeSubtree(Key* top) {
    std::vector<Key*> pending{top};
    while (!pending.empty()) {
        Key* key = pending.back();
        pending.pop_back();
        for (Key* child : key->children) pending.push_back(child);
        delete key;
    }
}

Key* Tree::NewRoot(std::string name) {
    auto key = std::make_unique<Key>();
    key->name = std::move(name);
    key->pinned = true;
    key->childStamp = key->valueStamp = NextStamp();
    roots_.push_back(key.get());
    return key.release();
}

Key* Tree::FindChild(const Key* parent, std::string_view name) {
    auto it = parent->children.find(name);
    return it == parent->children.end() ? nullptr : *it;
}

Key* Tree::AddChild(Key* parent, std::string_view name) {
    auto key = std::make_unique<Key>();
    key->name.assign(name);
    key->parent = parent;
    key->childStamp = key->valueStamp = NextStamp();
    parent->children.insert(key.get());
    parent->childStamp = NextStamp();
    parent->maxChildName = std::max(parent->maxChildName, Length32(name.size()));
    return key.release();
}

void Tree::RemoveLeaf(Key* key) {
    Key* parent = key->parent;
    // Registered first: if that fails, nothing has changed yet.
    if (key->handles > 0) orphans_.insert(key);
    parent->children.erase(key);
    parent->childStamp = NextStamp();
    if (key->name.size() >= parent->maxChildName) parent->lengthsStale = true;
    key->parent = nullptr;
    key->deleted = true;
    if (key->handles > 0) {
        ClearValues(key);
    } else {
        delete key;
    }
}

void Tree::ReleaseHandle(Key* key) {
    if (--key->handles == 0 && key->deleted) {
        orphans_.erase(key);
        delete key;
    }
}

ValueList::iterator Tree::FindValue(Key* key, std::string_view name) {
    if (key->valueIndex) {
        auto found = key->valueIndex->find(FoldName(name));
        return found == key->valueIndex->end() ? key->values.end() : found->second;
    }
    return std::find_if(key->values.begin(), key->values.end(),
                        [&](const Value& v) { return NamesEqual(v.name, name); });
}

void Tree::SetValue(Key* key, std::string_view name, uint32_t type, std::string data) {
    auto it = FindValue(key, name);
    if (it != key->values.end()) {
        // An existing value keeps its name and its place.
        const uint32_t before = ReportedDataLength(*it);
        it->type = type;
        it->data = std::move(data);
        const uint32_t after = ReportedDataLength(*it);
        if (after < before && before >= key->maxValueData) key->lengthsStale = true;
        key->maxValueData = std::max(key->maxValueData, after);
        return;
    }
    key->values.push_back(Value{std::string(name), std::move(data), type});
    auto added = std::prev(key->values.end());
    try {
        if (key->valueIndex) {
            key->valueIndex->emplace(FoldName(name), added);
        } else if (key->values.size() > kValueIndexThreshold) {
            auto index = std::make_unique<std::unordered_map<std::string, ValueList::iterator>>();
            index->reserve(key->values.size() * 2);
            for (auto v = key->values.begin(); v != key->values.end(); ++v)
                index->emplace(FoldName(v->name), v);
            key->valueIndex = std::move(index);
        }
    } catch (...) {
        key->values.pop_back();
        throw;
    }
    key->valueStamp = NextStamp();
    key->maxValueName = std::max(key->maxValueName, Length32(name.size()));
    key->maxValueData = std::max(key->maxValueData, ReportedDataLength(*added));
}

void Tree::EraseValue(Key* key, ValueList::iterator it) {
    if (key->valueIndex) key->valueIndex->erase(FoldName(it->name));
    if (it->name.size() >= key->maxValueName || ReportedDataLength(*it) >= key->maxValueData)
        key->lengthsStale = true;
    key->values.erase(it);
    key->valueStamp = NextStamp();
}

void Tree::ClearValues(Key* key) {
    key->valueIndex.reset();
    key->values.clear();
    key->valueStamp = NextStamp();
    key->lengthsStale = true;
}

void Tree::RefreshLengths(Key* key) {
    if (!key->lengthsStale) return;
    uint32_t child = 0, name = 0, data = 0;
    for (const Key* c : key->children) child = std::max(child, Length32(c->name.size()));
    for (const Value& v : key->values) {
        name = std::max(name, Length32(v.name.size()));
        data = std::max(data, ReportedDataLength(v));
    }
    key->maxChildName = child;
    key->maxValueName = name;
    key->maxValueData = data;
    key->lengthsStale = false;
}

}  // namespace qm::memreg
