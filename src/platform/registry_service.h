// The registry as the rest of the program sees it: the Win32 registry
// functions, one virtual call each, with their meaning kept exactly (the same
// statuses, the same in/out buffer sizes, enumeration by index that ends at
// the first non-zero status). Two backends implement it: the live registry
// (win32/) and a registry held in memory (memory/).
//
// Names and data are text in the system code page, as the ANSI functions see
// them; codePage says which one that is (a double-byte code page's names
// are split at backslashes by character, see platform/code_page.h). Every call is independent and
// may come from any thread; a key handle is used by the thread that opened it.
//
// Entries that do not convert exactly. A backend that holds names and text
// in UTF-16 may meet a key or value whose name, or a value whose text data,
// has no exact code-page form (a character outside the code page, a zero
// character inside a name, broken UTF-16). Such an entry keeps its place in
// the enumeration, but EnumKey and EnumValue give status
// kNoUnicodeTranslation at its index instead of a name, QueryValue gives that
// status for such a value, and no name the caller can pass reaches it. A
// walk steps over that index to the next one (NextIndexUsable); nothing
// reports, changes or backs up such an entry, and a backend refuses with the
// same status to delete a key that holds one, or to rewrite values beside a
// value whose name it could not write back. Two names that the conversion
// makes one text are both such entries: neither can be told from the other.
// DeleteValue refuses a value of that kind that a name still reaches, and
// DeleteKey and DeleteTree refuse a key that holds any such entry. (A key
// reached by its exact path is that key; the paths the program deletes come
// from enumerations, which never hand out such a name.)
//
// The two views of 64-bit Windows. There a 32-bit program such as this one
// sees parts of HKEY_LOCAL_MACHINE\SOFTWARE and of HKEY_CLASSES_ROOT in a
// view of its own: the system keeps those keys below keys named Wow6432Node
// and redirects the 32-bit program's names there. Every path this interface
// takes names a key where it lies (the 64-bit view), so the 32-bit view's
// keys are reached by their own paths ("SOFTWARE\Wow6432Node\..."), and an
// entry found, backed up and deleted through one path is always the same
// entry. Only an open or create with access::kWow64_32Key goes through the
// 32-bit view's redirection; Wow64Path says where a key of that view lies.
// With one view (32-bit Windows, or a registry without 32-bit keys) both are
// the same and nothing is redirected.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/code_page.h"
#include "platform/win32_codes.h"

namespace qm {

// An open key or a root key. The root keys carry the values of Windows'
// predefined handles.
using HKey = std::uintptr_t;

namespace hkey {
inline constexpr HKey kNull = 0;
inline constexpr HKey kClassesRoot = 0x80000000u;
inline constexpr HKey kCurrentUser = 0x80000001u;
inline constexpr HKey kLocalMachine = 0x80000002u;
inline constexpr HKey kUsers = 0x80000003u;
inline constexpr HKey kPerformanceData = 0x80000004u;
inline constexpr HKey kCurrentConfig = 0x80000005u;
inline constexpr HKey kDynData = 0x80000006u;

constexpr bool IsRoot(HKey key) {
    return key >= kClassesRoot && key <= kDynData;
}
}  // namespace hkey

// What RegQueryInfoKeyA reports. Lengths are in bytes without the
// terminating zero, as the system reports them.
struct KeyInfo {
    uint32_t subKeys = 0;
    uint32_t maxSubKeyLen = 0;
    uint32_t values = 0;
    uint32_t maxValueNameLen = 0;
    uint32_t maxValueLen = 0;
};

// One key's subkeys and values in enumeration order, as ListKey reads them:
// what EnumKey and EnumValue give at each index with buffers large enough.
// An entry that they give kNoUnicodeTranslation for is listed as not usable,
// without name or data. Each part ends with the status its enumeration gives
// after the last entry: kNoMoreItems, or the failure that cut it short (at
// the start when the handle may not list that part).
struct KeyListing {
    struct SubKey {
        std::string name;
        bool usable = true;
    };
    struct Value {
        std::string name;
        uint32_t type = 0;
        std::string data;
        bool usable = true;
    };
    std::vector<SubKey> subKeys;
    std::vector<Value> values;
    Status subKeysEnd = status::kNoMoreItems;
    Status valuesEnd = status::kNoMoreItems;

    void Clear() {
        subKeys.clear();
        values.clear();
        subKeysEnd = valuesEnd = status::kNoMoreItems;
    }
    // An entry that is not usable keeps neither its name nor its data.
    void AddSubKey(bool usable, std::string_view name) {
        subKeys.push_back({usable ? std::string(name) : std::string(), usable});
    }
    void AddValue(bool usable, std::string_view name, uint32_t type, std::string_view data) {
        if (usable) {
            values.push_back({std::string(name), type, std::string(data), true});
        } else {
            values.push_back({{}, 0, {}, false});
        }
    }
};

// What ListKey reads; a part not asked for stays empty.
namespace listing {
inline constexpr uint32_t kSubKeys = 1;
inline constexpr uint32_t kValues = 2;
}  // namespace listing

class RegistryService {
  public:
    virtual ~RegistryService() = default;

    // RegOpenKeyExA. An empty or null `subKey` opens `parent` again. With
    // access::kDefault it is RegOpenKeyA (the system's default access).
    virtual Status OpenKey(HKey parent, const char* subKey, uint32_t access, HKey* result) = 0;

    // RegCreateKeyExA with no class and default options. Creates every
    // missing key on the way. `created` (may be null) tells whether the last
    // key was new.
    virtual Status CreateKey(HKey parent, const char* subKey, uint32_t access, HKey* result,
                             bool* created) = 0;

    // RegCloseKey. Closing a root key is a no-op that succeeds.
    virtual Status CloseKey(HKey key) = 0;

    // RegEnumKeyExA. `nameSize`: in, the buffer's size in bytes including
    // room for the terminating zero; out, the name's length without it.
    // kMoreData when the name does not fit, kNoMoreItems past the end.
    virtual Status EnumKey(HKey key, uint32_t index, char* name, uint32_t* nameSize) = 0;

    // RegEnumValueA. `nameSize` as for EnumKey. `type`, `data` and
    // `dataSize` may be null. When `data` is given but too small the status
    // is kMoreData and `dataSize` receives the size needed.
    virtual Status EnumValue(HKey key, uint32_t index, char* name, uint32_t* nameSize,
                             uint32_t* type, uint8_t* data, uint32_t* dataSize) = 0;

    // The subkeys and values (as `parts` asks) of the open `key`, each read
    // once: the backends read a whole key in one pass with buffers sized to
    // it. This default reads through EnumKey and EnumValue.
    virtual void ListKey(HKey key, uint32_t parts, KeyListing& out);

    // RegQueryInfoKeyA, the counts and longest lengths only.
    virtual Status QueryInfoKey(HKey key, KeyInfo* info) = 0;

    // RegQueryValueExA. An empty or null name is the key's default value.
    // kFileNotFound when there is no such value; kMoreData (with the size
    // needed in `dataSize`) when `data` is too small; with `data` null only
    // the size and type are returned.
    virtual Status QueryValue(HKey key, const char* name, uint32_t* type, uint8_t* data,
                              uint32_t* dataSize) = 0;

    // RegSetValueExA. The bytes are stored as given, except that text (types
    // 1, 2 and 7) whose last byte is not a zero is stored with a terminating
    // zero added, as the system does for zero-terminated text whose size
    // leaves the zero out. Pass text with its zero in memory after it.
    virtual Status SetValue(HKey key, const char* name, uint32_t type, const uint8_t* data,
                            uint32_t size) = 0;

    // RegDeleteValueA.
    virtual Status DeleteValue(HKey key, const char* name) = 0;

    // RegDeleteKeyA: deletes one key that has no subkeys (a key with
    // subkeys gives kAccessDenied, as on Windows NT).
    virtual Status DeleteKey(HKey parent, const char* subKey) = 0;

    // SHDeleteKeyA: deletes a key with everything below it.
    virtual Status DeleteTree(HKey parent, const char* subKey) = 0;

    // Where 32-bit programs find the key they name `subKey` of `root`: its
    // path below `root`, when that is another key than `subKey` itself
    // (kSuccess). kFileNotFound when the registry has one view only, the key
    // is shared between the views, or the 32-bit view has no such key.
    virtual Status Wow64Path(HKey root, const std::string& subKey, std::string* path) {
        (void)root, (void)subKey, (void)path;
        return status::kFileNotFound;
    }

    // The code page of every name and text this registry takes and hands
    // out.
    virtual const CodePage& codePage() const = 0;

    // Which key the open key or root `key` is, whatever path reached it: two
    // handles give the same `identity` exactly when they stand for one key
    // (the current user's hive is also a key of HKEY_USERS, the two views of
    // 64-bit Windows share some keys, and a registry link such as
    // CurrentControlSet shows another key under its own name). The text is
    // the backend's own and means something only beside another text of the
    // same backend while both keys exist. kCallNotImplemented where the
    // registry cannot tell.
    virtual Status KeyIdentity(HKey key, std::string* identity) {
        (void)key, (void)identity;
        return status::kCallNotImplemented;
    }
};

// The declarations of every call above, for a backend's class: the three
// backends implement the whole interface, and this keeps their lists the
// interface's own.
#define QM_REGISTRY_SERVICE_OVERRIDES                                                              \
    Status OpenKey(HKey parent, const char* subKey, uint32_t access, HKey* result) override;       \
    Status CreateKey(HKey parent, const char* subKey, uint32_t access, HKey* result,               \
                     bool* created) override;                                                      \
    Status CloseKey(HKey key) override;                                                            \
    Status EnumKey(HKey key, uint32_t index, char* name, uint32_t* nameSize) override;             \
    Status EnumValue(HKey key, uint32_t index, char* name, uint32_t* nameSize, uint32_t* type,     \
                     uint8_t* data, uint32_t* dataSize) override;                                  \
    void ListKey(HKey key, uint32_t parts, KeyListing& out) override;                              \
    Status QueryInfoKey(HKey key, KeyInfo* info) override;                                         \
    Status QueryValue(HKey key, const char* name, uint32_t* type, uint8_t* data,                   \
                      uint32_t* dataSize) override;                                                \
    Status SetValue(HKey key, const char* name, uint32_t type, const uint8_t* data, uint32_t size) \
        override;                                                                                  \
    Status DeleteValue(HKey key, const char* name) override;                                       \
    Status DeleteKey(HKey parent, const char* subKey) override;                                    \
    Status DeleteTree(HKey parent, const char* subKey) override;                                   \
    Status Wow64Path(HKey root, const std::string& subKey, std::string* path) override;            \
    const CodePage& codePage() const override;                                                     \
    Status KeyIdentity(HKey key, std::string* identity) override

// The places of one key that a scan reads: `subKey` itself, and, where
// 32-bit programs have a key of their own in its place, that key's path.
std::vector<std::string> KeyViews(RegistryService& registry, HKey root, const std::string& subKey);

// Whether an enumeration that got `result` at some index goes on with the
// next index: true for a listed entry and for one that does not convert
// exactly (which the caller passes over), false at the end or on failure.
constexpr bool NextIndexUsable(Status result) {
    return result == status::kSuccess || result == status::kNoUnicodeTranslation;
}

// Owns one open key and closes it when it goes out of scope.
class RegKey {
  public:
    RegKey() = default;
    explicit RegKey(RegistryService& registry) : registry_(&registry) {}
    RegKey(const RegKey&) = delete;
    RegKey& operator=(const RegKey&) = delete;
    RegKey(RegKey&& other) noexcept
        : registry_(other.registry_), key_(std::exchange(other.key_, hkey::kNull)) {}
    RegKey& operator=(RegKey&& other) noexcept {
        if (this != &other) {
            Close();
            registry_ = other.registry_;
            key_ = std::exchange(other.key_, hkey::kNull);
        }
        return *this;
    }
    ~RegKey() { Close(); }

    Status Open(HKey parent, const char* subKey, uint32_t access) {
        Close();
        return registry_->OpenKey(parent, subKey, access, &key_);
    }
    Status Create(HKey parent, const char* subKey, uint32_t access, bool* created = nullptr) {
        Close();
        return registry_->CreateKey(parent, subKey, access, &key_, created);
    }
    void Close() {
        if (key_ != hkey::kNull) registry_->CloseKey(key_);
        key_ = hkey::kNull;
    }

    bool IsOpen() const { return key_ != hkey::kNull; }
    HKey get() const { return key_; }
    RegistryService& registry() const { return *registry_; }

  private:
    RegistryService* registry_ = nullptr;
    HKey key_ = hkey::kNull;
};

// The longest subkey path the ANSI open, create and delete functions take:
// they convert it into a buffer of 260 characters and fail with kMoreData
// beyond that.
inline constexpr size_t kMaxSubKeyPath = 260;

// A way to a key whose path below `parent` may be longer than that: `base`
// and `rest` such that `rest` (at most kMaxSubKeyPath bytes) names the key
// below `base`. A path short enough is left as it is (`base` is `parent`,
// at no cost); a longer one has its leading names opened read-only in
// steps of whole names (cut at backslash characters of the registry's code
// page), and `holder` keeps the last of them open as
// `base`. kSuccess, or the status of the step that failed (kMoreData for a
// single name longer than the limit).
Status ReachKeyPath(RegistryService& registry, HKey parent, const std::string& path, RegKey& holder,
                    HKey& base, std::string& rest);

// Full root key names ("HKEY_LOCAL_MACHINE") and back. Empty / kNull when
// unknown. The parser also takes the short forms HKLM, HKCU, HKCR, HKU and
// HKCC, in any case.
const char* RootKeyFullName(HKey root);
HKey ParseRootKeyName(const std::string& name);

}  // namespace qm
