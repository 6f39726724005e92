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

// By name; among keys of the same name the exact one first, then those with
// a wide name in the order of their UTF-16 units. A name looked up is the
// exact one's.
bool ChildLess::operator()(const Key* a, const Key* b) const {
    const int order = CompareNames(a->name, b->name, *codePage);
    if (order != 0) return order < 0;
    if (a->wide.empty() != b->wide.empty()) return a->wide.empty();
    return a->wide < b->wide;
}
bool ChildLess::operator()(const Key* a, std::string_view b) const {
    return CompareNames(a->name, b, *codePage) < 0;
}
bool ChildLess::operator()(std::string_view a, const Key* b) const {
    const int order = CompareNames(a, b->name, *codePage);
    return order != 0 ? order < 0 : !b->wide.empty();
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
    auto key = std::make_unique<Key>(codePage_);
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

Key* Tree::FindChild(const Key* parent, std::string_view name, std::u16string_view wide) {
    if (wide.empty()) return FindChild(parent, name);
    Key probe(parent->codePage());
    probe.name.assign(name);
    probe.wide.assign(wide);
    auto it = parent->children.find(&probe);
    return it == parent->children.end() ? nullptr : *it;
}

Key* Tree::AddChild(Key* parent, std::string_view name, std::u16string_view wide) {
    auto key = std::make_unique<Key>(codePage_);
    key->name.assign(name);
    key->wide.assign(wide);
    key->parent = parent;
    key->childStamp = key->valueStamp = NextStamp();
    parent->children.insert(key.get());
    if (!key->wide.empty()) ++parent->inexactChildren;
    parent->childStamp = NextStamp();
    parent->maxChildName = std::max(parent->maxChildName, Length32(name.size()));
    return key.release();
}

void Tree::RemoveLeaf(Key* key) {
    Key* parent = key->parent;
    // Registered first: if that fails, nothing has changed yet.
    if (key->handles > 0) orphans_.insert(key);
    parent->children.erase(key);
    if (!key->wide.empty()) --parent->inexactChildren;
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
    const CodePage& codePage = key->codePage();
    if (key->valueIndex) {
        auto found = key->valueIndex->find(FoldName(name, codePage));
        return found == key->valueIndex->end() ? key->values.end() : found->second;
    }
    return std::find_if(key->values.begin(), key->values.end(), [&](const Value& v) {
        return v.wideName.empty() && NamesEqual(v.name, name, codePage);
    });
}

ValueList::iterator Tree::FindValue(Key* key, std::u16string_view wideName) {
    return std::find_if(key->values.begin(), key->values.end(),
                        [&](const Value& v) { return v.wideName == wideName; });
}

void Tree::SetValue(Key* key, std::string_view name, uint32_t type, std::string data,
                    std::u16string_view wideName, std::string wideData) {
    auto it = wideName.empty() ? FindValue(key, name) : FindValue(key, wideName);
    if (it != key->values.end()) {
        // An existing value keeps its name and its place.
        const uint32_t before = ReportedDataLength(*it);
        it->type = type;
        it->data = std::move(data);
        it->wideData = std::move(wideData);
        const uint32_t after = ReportedDataLength(*it);
        if (after < before && before >= key->maxValueData) key->lengthsStale = true;
        key->maxValueData = std::max(key->maxValueData, after);
        return;
    }
    key->values.push_back(Value{std::string(name), std::move(data), type, std::u16string(wideName),
                                std::move(wideData)});
    auto added = std::prev(key->values.end());
    // The index holds the values that a name reaches, those of exact names.
    try {
        if (!wideName.empty()) {
            ++key->inexactValues;
        } else if (key->valueIndex) {
            key->valueIndex->emplace(FoldName(name, codePage_), added);
        } else if (key->values.size() > kValueIndexThreshold) {
            auto index = std::make_unique<std::unordered_map<std::string, ValueList::iterator>>();
            index->reserve(key->values.size() * 2);
            for (auto v = key->values.begin(); v != key->values.end(); ++v)
                if (v->wideName.empty()) index->emplace(FoldName(v->name, codePage_), v);
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
    if (!it->wideName.empty()) {
        --key->inexactValues;
    } else if (key->valueIndex) {
        key->valueIndex->erase(FoldName(it->name, codePage_));
    }
    if (it->name.size() >= key->maxValueName || ReportedDataLength(*it) >= key->maxValueData)
        key->lengthsStale = true;
    key->values.erase(it);
    key->valueStamp = NextStamp();
}

void Tree::ClearValues(Key* key) {
    key->valueIndex.reset();
    key->values.clear();
    key->inexactValues = 0;
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
