// The key tree behind MemoryRegistry: keys, values and the name rules of the
// registry. Nothing here locks; MemoryRegistry holds its mutex around every
// use.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <list>
#include <memory>
#include <set>
#include <string>
#include <string_view>
#include <unordered_map>

#include "platform/registry_names.h"

namespace qm::memreg {

// Longest key name component and value name the registry accepts, in
// bytes of the code page.
inline constexpr size_t kMaxKeyNameLength = 256;
inline constexpr size_t kMaxValueNameLength = 16383;

// The registry's name rules (platform/registry_names.h).
using ::qm::CompareNames;
using ::qm::FoldName;
using ::qm::NamesEqual;
using ::qm::PathNames;

enum class Mark : uint8_t { kNone, kReadOnly, kUnreadable };

struct Value {
    std::string name;
    std::string data;  // the bytes as set; short data needs no allocation of its own
    uint32_t type = 0;
    // Text without an exact code-page form, as it was loaded: the name, and
    // a text value's data (UTF-16LE bytes). Empty when `name` and `data`
    // hold it exactly; they hold it as the ANSI functions would see it
    // otherwise, and no name passed in reaches such a name.
    std::u16string wideName;
    std::string wideData;
};
using ValueList = std::list<Value>;

struct Key;
// Orders a key's children by the name rules of the tree's code page.
struct ChildLess {
    using is_transparent = void;
    const CodePage* codePage = &CodePage::Windows1252();
    bool operator()(const Key* a, const Key* b) const;
    bool operator()(const Key* a, std::string_view b) const;
    bool operator()(std::string_view a, const Key* b) const;
};
using ChildSet = std::set<Key*, ChildLess>;

struct Key {
    explicit Key(const CodePage& codePage) : children(ChildLess{&codePage}) {}
    // The code page of the tree's names.
    const CodePage& codePage() const { return *children.key_comp().codePage; }

    std::string name;
    // The name as it was loaded when it has no exact code-page form (see
    // Value); such a key sorts after the exact name it reads as, and no
    // path passed in reaches it.
    std::u16string wide;
    Key* parent = nullptr;
    ChildSet children;  // in name order
    ValueList values;   // in the order they were first set
    // Folded name -> value, kept only for keys with many values.
    std::unique_ptr<std::unordered_map<std::string, ValueList::iterator>> valueIndex;
    // Change stamps: they move whenever a child or a value is added or
    // removed, so that a cached enumeration position can tell it is stale.
    uint64_t childStamp = 0;
    uint64_t valueStamp = 0;
    // Longest child name, value name and value data (as the system reports
    // it); recomputed when a removal may have shortened one.
    uint32_t maxChildName = 0;
    uint32_t maxValueName = 0;
    uint32_t maxValueData = 0;
    bool lengthsStale = false;
    // Children and values with a wide name.
    uint32_t inexactChildren = 0;
    uint32_t inexactValues = 0;
    bool deleted = false;
    bool pinned = false;  // never deleted (roots and the classes key)
    Mark mark = Mark::kNone;
    uint32_t handles = 0;  // open handles that refer to this key
};

// The data length the system reports for a value in its key information:
// text is held as UTF-16 there, two bytes per code-page character.
uint32_t ReportedDataLength(const Value& value);

// The tree: owns every key, hands out change stamps, frees without
// recursion. Its names are text in one code page.
class Tree {
  public:
    explicit Tree(const CodePage& codePage) : codePage_(codePage) {}
    Tree(const Tree&) = delete;
    Tree& operator=(const Tree&) = delete;
    ~Tree();

    Key* NewRoot(std::string name);

    // The child of exactly that name, or of that name with that wide name.
    static Key* FindChild(const Key* parent, std::string_view name);
    static Key* FindChild(const Key* parent, std::string_view name, std::u16string_view wide);
    // Adds a child that does not exist yet.
    Key* AddChild(Key* parent, std::string_view name, std::u16string_view wide = {});
    // Removes a key that has no children. A key that handles still refer to
    // stays allocated, marked deleted, until the last of them is closed.
    void RemoveLeaf(Key* key);
    // Called when a handle to `key` is closed.
    void ReleaseHandle(Key* key);

    // The value of exactly that name, or of that wide name.
    static ValueList::iterator FindValue(Key* key, std::string_view name);
    static ValueList::iterator FindValue(Key* key, std::u16string_view wideName);
    // Sets a value; a wide name or wide data is kept beside its code-page
    // form (see Value).
    void SetValue(Key* key, std::string_view name, uint32_t type, std::string data,
                  std::u16string_view wideName = {}, std::string wideData = {});
    void EraseValue(Key* key, ValueList::iterator it);
    void ClearValues(Key* key);

    // Brings the longest-length fields of `key` up to date.
    static void RefreshLengths(Key* key);

  private:
    uint64_t NextStamp() { return ++stamp_; }
    static void FreeSubtree(Key* top);

    const CodePage& codePage_;
    std::list<Key*> roots_;
    std::set<Key*> orphans_;  // deleted keys kept alive by open handles
    uint64_t stamp_ = 0;
};

}  // namespace qm::memreg
