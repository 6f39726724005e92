#include "platform/win32/win32_registry.h"

#include <windows.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <cwctype>
#include <map>
#include <memory>
#include <mutex>
#include <utility>
#include <vector>

#include "platform/read_growing.h"
#include "platform/registry_answers.h"
#include "platform/win32/ansi_code_page.h"
#include "platform/win32/registry_listing.h"
#include "platform/win32/system_functions.h"
#include "platform/win32/wide_text.h"

namespace qm {

using win32::Counted;
using win32::ListedValue;
using win32::SubKeyListing;
using win32::ValueListing;

namespace {

using DeleteKeyExFunction = LONG(WINAPI*)(HKEY, LPCWSTR, REGSAM, DWORD);
// NtQueryKey of ntdll (every Windows NT has it, no import library does).
using QueryKeyFunction = LONG(WINAPI*)(HANDLE, int, PVOID, ULONG, PULONG);
constexpr int kKeyNameInformation = 3;
constexpr LONG kBufferOverflow = static_cast<LONG>(0x80000005);  // STATUS_BUFFER_OVERFLOW
constexpr LONG kBufferTooSmall = static_cast<LONG>(0xC0000023);  // STATUS_BUFFER_TOO_SMALL

HKEY ToHandle(HKey key) {
    return reinterpret_cast<HKEY>(key);
}
HKey FromHandle(HKEY key) {
    return reinterpret_cast<HKey>(key);
}

// Closes a key it owns.
class ScopedKey {
  public:
    ScopedKey() = default;
    explicit ScopedKey(HKEY key) : key_(key) {}
    ScopedKey(ScopedKey&& other) noexcept : key_(std::exchange(other.key_, nullptr)) {}
    ScopedKey& operator=(ScopedKey&& other) noexcept {
        if (this != &other) {
            Close();
            key_ = std::exchange(other.key_, nullptr);
        }
        return *this;
    }
    ScopedKey(const ScopedKey&) = delete;
    ScopedKey& operator=(const ScopedKey&) = delete;
    ~ScopedKey() { Close(); }
    void Close() {
        if (key_ != nullptr) Counted(RegCloseKey(key_));
        key_ = nullptr;
    }
    HKEY get() const { return key_; }
    HKEY* out() {
        Close();
        return &key_;
    }

  private:
    HKEY key_ = nullptr;
};

// Whether `text` starts with the ASCII text `prefix`, without regard to case.
bool StartsWithNoCase(std::wstring_view text, std::wstring_view prefix) {
    if (text.size() < prefix.size()) return false;
    for (size_t i = 0; i < prefix.size(); ++i)
        if (towupper(text[i]) != towupper(prefix[i])) return false;
    return true;
}

bool SameNoCase(std::wstring_view a, std::wstring_view b) {
    return a.size() == b.size() && StartsWithNoCase(a, b);
}

// The path below `root` of a key whose kernel name is `name`
// ("\REGISTRY\MACHINE\SOFTWARE\Wow6432Node\..." is "SOFTWARE\Wow6432Node\..."
// below HKEY_LOCAL_MACHINE). False when the name lies elsewhere.
bool PathBelowRoot(HKey root, std::wstring_view name, std::wstring& path) {
    constexpr std::wstring_view kMachine = L"\\REGISTRY\\MACHINE\\";
    constexpr std::wstring_view kUsers = L"\\REGISTRY\\USER\\";
    constexpr std::wstring_view kMachineClasses = L"\\REGISTRY\\MACHINE\\SOFTWARE\\Classes\\";
    constexpr std::wstring_view kUserClasses = L"_Classes";
    std::wstring_view rest;
    if (root == hkey::kLocalMachine && StartsWithNoCase(name, kMachine)) {
        rest = name.substr(kMachine.size());
    } else if (root == hkey::kUsers && StartsWithNoCase(name, kUsers)) {
        rest = name.substr(kUsers.size());
    } else if (root == hkey::kClassesRoot && StartsWithNoCase(name, kMachineClasses)) {
        rest = name.substr(kMachineClasses.size());
    } else if ((root == hkey::kCurrentUser || root == hkey::kClassesRoot) &&
               StartsWithNoCase(name, kUsers)) {
        // The user's hive ("S-1-5-21-...") or the user's classes
        // ("S-1-5-21-..._Classes"), whichever the root is made of.
        const std::wstring_view below = name.substr(kUsers.size());
        const size_t end = below.find(L'\\');
        if (end == std::wstring_view::npos) return false;
        const std::wstring_view hive = below.substr(0, end);
        const bool classes =
            hive.size() > kUserClasses.size() &&
            SameNoCase(hive.substr(hive.size() - kUserClasses.size()), kUserClasses);
        if (classes != (root == hkey::kClassesRoot)) return false;
        rest = below.substr(end + 1);
    } else {
        return false;
    }
    path.assign(rest);
    return !path.empty();
}

}  // namespace

struct Win32Registry::Impl {
    const bool twoViews = win32::RunsUnderWow64();
    const DeleteKeyExFunction deleteKeyEx =
        win32::SystemFunction<DeleteKeyExFunction>("advapi32.dll", "RegDeleteKeyExW");
    const QueryKeyFunction queryKey =
        win32::SystemFunction<QueryKeyFunction>("ntdll.dll", "NtQueryKey");

    // Listings by handle and thread (root handles are shared between
    // threads). Any change made through this object starts a new
    // generation, and a listing of an older one is read again.
    using ListingKey = std::pair<HKEY, DWORD>;
    std::mutex mutex;
    std::atomic<uint64_t> generation{1};
    std::map<ListingKey, std::pair<uint64_t, std::shared_ptr<const SubKeyListing>>> keyLists;
    std::map<ListingKey, std::pair<uint64_t, std::shared_ptr<const ValueListing>>> valueLists;

    // The access an open or create asks for: the 64-bit view unless the
    // caller chose one, and no view at all where there is only one.
    uint32_t ViewAccess(uint32_t access) const {
        constexpr uint32_t views = access::kWow64_64Key | access::kWow64_32Key;
        if (!twoViews) return access & ~views;
        return (access & views) != 0 ? access : access | access::kWow64_64Key;
    }

    void Changed() { generation.fetch_add(1); }

    template <typename Listing, typename Map, typename Read>
    std::shared_ptr<const Listing> Cached(Map& map, HKEY key, bool fresh, Read read) {
        const ListingKey id{key, GetCurrentThreadId()};
        const uint64_t now = generation.load();
        if (!fresh) {
            std::lock_guard<std::mutex> lock(mutex);
            auto found = map.find(id);
            if (found != map.end() && found->second.first == now) return found->second.second;
        }
        auto listing = std::make_shared<const Listing>(read(key));
        std::lock_guard<std::mutex> lock(mutex);
        map[id] = {now, listing};
        return listing;
    }

    std::shared_ptr<const SubKeyListing> SubKeys(HKEY key, bool fresh) {
        return Cached<SubKeyListing>(keyLists, key, fresh,
                                     [](HKEY k) { return win32::ListSubKeys(k); });
    }
    std::shared_ptr<const ValueListing> Values(HKEY key, bool fresh) {
        return Cached<ValueListing>(valueLists, key, fresh,
                                    [](HKEY k) { return win32::ListValues(k); });
    }

    void Forget(HKEY key) {
        const ListingKey id{key, GetCurrentThreadId()};
        std::lock_guard<std::mutex> lock(mutex);
        keyLists.erase(id);
        valueLists.erase(id);
    }

    // Deletes one key that has no subkeys, in the 64-bit view.
    LONG DeleteOne(HKEY parent, const std::wstring& name) const {
        if (!twoViews) return Counted(RegDeleteKeyW(parent, name.c_str()));
        // Without the function the deletion would go to the 32-bit view's
        // key of that name, another key: nothing is deleted then.
        if (deleteKeyEx == nullptr) return ERROR_ACCESS_DENIED;
        return Counted(deleteKeyEx(parent, name.c_str(), KEY_WOW64_64KEY, 0));
    }

    // The kernel's name of the key `subKey` of `root` opened in `view`.
    bool KernelName(HKey root, const std::string& subKey, REGSAM view, std::wstring& name) const {
        ScopedKey key;
        if (Counted(RegOpenKeyExA(ToHandle(root), subKey.c_str(), 0, KEY_QUERY_VALUE | view,
                                  key.out())) != ERROR_SUCCESS)
            return false;
        return KernelName(key.get(), name);
    }

    // The kernel's name of the open key `key` ("\REGISTRY\MACHINE\..."):
    // the names the keys were made with, wherever a link or a shared view
    // led the open.
    bool KernelName(HKEY key, std::wstring& name) const {
        if (queryKey == nullptr) return false;
        std::vector<BYTE> buffer(1024);
        for (int attempt = 0; attempt < 4; ++attempt) {
            ULONG length = 0;
            const LONG result = Counted(queryKey(key, kKeyNameInformation, buffer.data(),
                                                 static_cast<ULONG>(buffer.size()), &length));
            if ((result == kBufferOverflow || result == kBufferTooSmall) &&
                length > buffer.size()) {
                buffer.resize(length);
                continue;
            }
            if (result != 0 || buffer.size() < sizeof(ULONG)) return false;
            ULONG bytes = 0;
            std::memcpy(&bytes, buffer.data(), sizeof bytes);
            if (bytes > buffer.size() - sizeof(ULONG)) return false;
            name.assign(bytes / sizeof(wchar_t), L'\0');
            std::memcpy(name.data(), buffer.data() + sizeof(ULONG), name.size() * sizeof(wchar_t));
            return true;
        }
        return false;
    }

    // Whether everything in the tree below the open key `top` may be
    // deleted: every name, and every value's text, converts exactly and is
    // no other's. Keys that cannot be opened are passed over: a deletion
    // stops there anyway.
    Status CheckTree(HKEY top) const {
        std::vector<std::wstring> pending{std::wstring()};
        while (!pending.empty()) {
            const std::wstring path = std::move(pending.back());
            pending.pop_back();
            ScopedKey opened;
            HKEY key = top;
            if (!path.empty()) {
                if (Counted(RegOpenKeyExW(top, path.c_str(), 0, ViewAccess(KEY_READ),
                                          opened.out())) != ERROR_SUCCESS)
                    continue;
                key = opened.get();
            }
            const ValueListing values = win32::ListValues(key);
            if (values.end != ERROR_NO_MORE_ITEMS) return values.end;
            if (!win32::AllUsable(values)) return status::kNoUnicodeTranslation;
            const SubKeyListing keys = win32::ListSubKeys(key);
            if (keys.end != ERROR_NO_MORE_ITEMS) return keys.end;
            if (!win32::AllUsable(keys)) return status::kNoUnicodeTranslation;
            for (const auto& child : keys.entries)
                pending.push_back(path.empty() ? child.wide : path + L"\\" + child.wide);
        }
        return status::kSuccess;
    }

    // Deletes every subkey of the open key `top`, deepest first, as
    // SHDeleteKey does: a key that cannot be opened or deleted stops it.
    Status EmptyTree(HKEY top) const {
        struct Frame {
            ScopedKey key;
            std::wstring name;
        };
        std::vector<Frame> stack;
        stack.push_back(Frame{});
        std::vector<wchar_t> name(512);
        for (;;) {
            HKEY here = stack.size() == 1 ? top : stack.back().key.get();
            DWORD size = static_cast<DWORD>(name.size());
            const LONG listed = Counted(
                RegEnumKeyExW(here, 0, name.data(), &size, nullptr, nullptr, nullptr, nullptr));
            if (listed == ERROR_SUCCESS) {
                Frame child;
                child.name.assign(name.data(), size);
                const LONG opened = Counted(RegOpenKeyExW(here, child.name.c_str(), 0,
                                                          ViewAccess(KEY_READ), child.key.out()));
                if (opened != ERROR_SUCCESS) return opened;
                stack.push_back(std::move(child));
                continue;
            }
            if (listed != ERROR_NO_MORE_ITEMS) return listed;
            if (stack.size() == 1) return status::kSuccess;
            Frame done = std::move(stack.back());
            stack.pop_back();
            done.key.Close();
            HKEY parent = stack.size() == 1 ? top : stack.back().key.get();
            const LONG deleted = DeleteOne(parent, done.name);
            if (deleted != ERROR_SUCCESS) return deleted;
        }
    }
};

Win32Registry::Win32Registry() : impl_(std::make_unique<Impl>()) {}

Win32Registry::~Win32Registry() = default;

bool Win32Registry::TwoViews() const {
    return impl_->twoViews;
}

Status Win32Registry::OpenKey(HKey parent, const char* subKey, uint32_t access, HKey* result) {
    // RegOpenKeyA is RegOpenKeyExA with MAXIMUM_ALLOWED, except that for an
    // empty subkey it hands back the parent's own handle; asking for a new
    // handle always keeps "the opener closes what it opened" true.
    HKEY key = nullptr;
    LONG status =
        Counted(RegOpenKeyExA(ToHandle(parent), subKey, 0, impl_->ViewAccess(access), &key));
    *result = status == ERROR_SUCCESS ? FromHandle(key) : hkey::kNull;
    return status;
}

Status Win32Registry::CreateKey(HKey parent, const char* subKey, uint32_t access, HKey* result,
                                bool* created) {
    HKEY key = nullptr;
    DWORD disposition = 0;
    LONG status =
        Counted(RegCreateKeyExA(ToHandle(parent), subKey, 0, nullptr, REG_OPTION_NON_VOLATILE,
                                impl_->ViewAccess(access), nullptr, &key, &disposition));
    *result = status == ERROR_SUCCESS ? FromHandle(key) : hkey::kNull;
    if (status == ERROR_SUCCESS && disposition == REG_CREATED_NEW_KEY) impl_->Changed();
    if (created != nullptr)
        *created = status == ERROR_SUCCESS && disposition == REG_CREATED_NEW_KEY;
    return status;
}

Status Win32Registry::CloseKey(HKey key) {
    impl_->Forget(ToHandle(key));
    if (hkey::IsRoot(key)) return ERROR_SUCCESS;
    return Counted(RegCloseKey(ToHandle(key)));
}

Status Win32Registry::EnumKey(HKey key, uint32_t index, char* name, uint32_t* nameSize) {
    if (name == nullptr || nameSize == nullptr) return status::kInvalidParameter;
    const auto listing = impl_->SubKeys(ToHandle(key), index == 0);
    if (index >= listing->entries.size()) return listing->end;
    const win32::ListedKey& entry = listing->entries[index];
    if (!entry.usable) return status::kNoUnicodeTranslation;
    return answer::PutKeyName(entry.name, name, nameSize);
}

Status Win32Registry::EnumValue(HKey key, uint32_t index, char* name, uint32_t* nameSize,
                                uint32_t* type, uint8_t* data, uint32_t* dataSize) {
    if (!answer::EnumValueArgsValid(name, nameSize, data, dataSize))
        return status::kInvalidParameter;
    const auto listing = impl_->Values(ToHandle(key), index == 0);
    if (index >= listing->entries.size()) return listing->end;
    const ListedValue& value = listing->entries[index];
    if (!value.usable) return status::kNoUnicodeTranslation;
    return answer::PutEnumValue(value.name, value.type, value.data, name, nameSize, type, data,
                                dataSize);
}

void Win32Registry::ListKey(HKey key, uint32_t parts, KeyListing& out) {
    out.Clear();
    // One question for the counts and longest lengths of both parts; a key
    // that does not answer it is listed until its enumerations end.
    win32::ListingSize keys, values;
    const bool sized =
        Counted(RegQueryInfoKeyW(ToHandle(key), nullptr, nullptr, nullptr, &keys.count,
                                 &keys.longestName, nullptr, &values.count, &values.longestName,
                                 &values.longestData, nullptr, nullptr)) == ERROR_SUCCESS;
    if (parts & listing::kSubKeys) {
        const SubKeyListing listed = win32::ListSubKeys(ToHandle(key), sized ? &keys : nullptr);
        for (const win32::ListedKey& entry : listed.entries)
            out.AddSubKey(entry.usable, entry.name);
        out.subKeysEnd = listed.end;
    }
    if (parts & listing::kValues) {
        const ValueListing listed = win32::ListValues(ToHandle(key), sized ? &values : nullptr);
        for (const ListedValue& entry : listed.entries)
            out.AddValue(entry.usable, entry.name, entry.type, entry.data);
        out.valuesEnd = listed.end;
    }
}

Status Win32Registry::QueryInfoKey(HKey key, KeyInfo* info) {
    DWORD subKeys = 0, maxSubKeyLen = 0, values = 0, maxValueNameLen = 0, maxValueLen = 0;
    LONG status = Counted(RegQueryInfoKeyA(ToHandle(key), nullptr, nullptr, nullptr, &subKeys,
                                           &maxSubKeyLen, nullptr, &values, &maxValueNameLen,
                                           &maxValueLen, nullptr, nullptr));
    if (status == ERROR_SUCCESS) {
        info->subKeys = subKeys;
        info->maxSubKeyLen = maxSubKeyLen;
        info->values = values;
        info->maxValueNameLen = maxValueNameLen;
        info->maxValueLen = maxValueLen;
    }
    return status;
}

Status Win32Registry::QueryValue(HKey key, const char* name, uint32_t* type, uint8_t* data,
                                 uint32_t* dataSize) {
    const Status checked = answer::StartQueryValue(key, name, type, data, dataSize);
    if (checked != status::kSuccess) return checked;
    const std::wstring wide = win32::Widen(answer::Text(name));

    // Read in one call into room for what the caller offers (text takes
    // up to two bytes per code-page byte in UTF-16); more only when it is
    // larger.
    const size_t offered = data != nullptr ? size_t{*dataSize} : 0;
    std::vector<BYTE> buffer(std::max<size_t>(offered * 2 + 2, 256));
    DWORD valueType = REG_NONE;
    DWORD size = 0;
    const LONG result = ReadGrowing(
        [&] {
            size = static_cast<DWORD>(buffer.size());
            return Counted(RegQueryValueExW(ToHandle(key), wide.c_str(), nullptr, &valueType,
                                            buffer.data(), &size));
        },
        [&] { buffer.resize(std::max<size_t>(size, buffer.size() * 2)); });
    if (result != ERROR_SUCCESS) return result;
    std::string bytes;
    if (!win32::NarrowData(valueType, buffer.data(), std::min<size_t>(size, buffer.size()), bytes))
        return status::kNoUnicodeTranslation;
    const Status copied = answer::PutValueData(bytes, valueType, data, dataSize);
    if (type != nullptr) *type = valueType;
    return copied;
}

Status Win32Registry::SetValue(HKey key, const char* name, uint32_t type, const uint8_t* data,
                               uint32_t size) {
    const LONG result = Counted(RegSetValueExA(ToHandle(key), name, 0, type, data, size));
    impl_->Changed();
    return result;
}

Status Win32Registry::DeleteValue(HKey key, const char* name) {
    const std::string valueName = name == nullptr ? std::string() : name;
    // The value goes only when its text converts exactly and no other value
    // of the key shares its name through the conversion. Where the handle
    // may not read, the system's own check of the deletion is all there is.
    uint32_t size = 0;
    const Status read = QueryValue(key, valueName.c_str(), nullptr, nullptr, &size);
    if (read == status::kNoUnicodeTranslation || read == status::kFileNotFound) return read;
    if (read == status::kSuccess) {
        const auto listing = impl_->Values(ToHandle(key), true);
        const std::wstring wanted = win32::NameKey(valueName);
        for (const ListedValue& value : listing->entries)
            if (!value.usable && win32::NameKey(value.name) == wanted)
                return status::kNoUnicodeTranslation;
    }
    const LONG result = Counted(RegDeleteValueA(ToHandle(key), name));
    impl_->Changed();
    return result;
}

Status Win32Registry::DeleteKey(HKey parent, const char* subKey) {
    if (subKey == nullptr) return status::kInvalidParameter;
    if (parent == hkey::kNull) return status::kInvalidHandle;
    if (std::strlen(subKey) > kMaxSubKeyPath) return status::kMoreData;
    {
        // Only a key without subkeys, whose values may all go.
        ScopedKey key;
        const LONG opened = Counted(
            RegOpenKeyExA(ToHandle(parent), subKey, 0, impl_->ViewAccess(KEY_READ), key.out()));
        if (opened != ERROR_SUCCESS) return opened;
        DWORD subKeys = 0;
        const LONG info =
            Counted(RegQueryInfoKeyW(key.get(), nullptr, nullptr, nullptr, &subKeys, nullptr,
                                     nullptr, nullptr, nullptr, nullptr, nullptr, nullptr));
        if (info != ERROR_SUCCESS) return info;
        if (subKeys != 0) return status::kAccessDenied;
        const ValueListing values = win32::ListValues(key.get());
        if (values.end != ERROR_NO_MORE_ITEMS) return values.end;
        if (!win32::AllUsable(values)) return status::kNoUnicodeTranslation;
    }
    const LONG result = impl_->DeleteOne(ToHandle(parent), win32::Widen(subKey));
    impl_->Changed();
    return result;
}

Status Win32Registry::DeleteTree(HKey parent, const char* subKey) {
    std::string path = subKey == nullptr ? std::string() : subKey;
    if (parent == hkey::kClassesRoot && !path.empty() && path.front() == '\\') path.erase(0, 1);
    if (path.size() > kMaxSubKeyPath) return status::kMoreData;
    ScopedKey opened;
    HKEY top = ToHandle(parent);
    if (!path.empty()) {
        const LONG result = Counted(RegOpenKeyExA(ToHandle(parent), path.c_str(), 0,
                                                  impl_->ViewAccess(KEY_READ), opened.out()));
        if (result != ERROR_SUCCESS) return result;
        top = opened.get();
    }
    // Nothing is deleted unless all of it may be.
    Status result = impl_->CheckTree(top);
    if (result != status::kSuccess) return result;
    impl_->Changed();
    result = impl_->EmptyTree(top);
    if (result != status::kSuccess) return result;
    if (!path.empty()) {
        opened.Close();
        return impl_->DeleteOne(ToHandle(parent), win32::Widen(path));
    }
    // No subkey: the key's values go, the key stays.
    std::vector<wchar_t> name(16384);
    for (;;) {
        DWORD size = static_cast<DWORD>(name.size());
        const LONG listed =
            Counted(RegEnumValueW(top, 0, name.data(), &size, nullptr, nullptr, nullptr, nullptr));
        if (listed == ERROR_NO_MORE_ITEMS) return status::kSuccess;
        if (listed != ERROR_SUCCESS) return listed;
        const std::wstring valueName(name.data(), size);
        const LONG deleted = Counted(RegDeleteValueW(top, valueName.c_str()));
        if (deleted != ERROR_SUCCESS) return deleted;
    }
}

Status Win32Registry::Wow64Path(HKey root, const std::string& subKey, std::string* path) {
    if (!impl_->twoViews || impl_->queryKey == nullptr || path == nullptr || subKey.empty())
        return status::kFileNotFound;
    // The key a 32-bit program opens by that path, and the one that the
    // path names where it lies: the same key when the views share it.
    std::wstring name32, name64;
    if (!impl_->KernelName(root, subKey, KEY_WOW64_32KEY, name32)) return status::kFileNotFound;
    if (impl_->KernelName(root, subKey, KEY_WOW64_64KEY, name64) && SameNoCase(name32, name64))
        return status::kFileNotFound;
    std::wstring below;
    std::string ansi;
    if (!PathBelowRoot(root, name32, below) || !win32::NarrowName(below, ansi))
        return status::kFileNotFound;
    if (SameNoCase(below, win32::Widen(subKey))) return status::kFileNotFound;
    *path = std::move(ansi);
    return status::kSuccess;
}

const CodePage& Win32Registry::codePage() const {
    return win32::AnsiCodePage();
}

Status Win32Registry::KeyIdentity(HKey key, std::string* identity) {
    if (identity == nullptr) return status::kInvalidParameter;
    if (impl_->queryKey == nullptr) return status::kCallNotImplemented;
    std::wstring name;
    ScopedKey opened;
    HKEY handle = ToHandle(key);
    // A root key's handle is the system's stand-in, which the kernel does
    // not know (opening it again hands the stand-in back): the current
    // user's hive is opened as such, and the fixed roots are keys of known
    // names. The names are compared in upper case, as the registry compares
    // names: the kernel spells each key as it was made, and a fixed root's
    // name here may be spelt otherwise.
    switch (key) {
        case hkey::kCurrentUser: {
            const LONG result = Counted(RegOpenCurrentUser(KEY_QUERY_VALUE, opened.out()));
            if (result != ERROR_SUCCESS) return result;
            handle = opened.get();
            break;
        }
        case hkey::kLocalMachine:
            name = L"\\REGISTRY\\MACHINE";
            break;
        case hkey::kUsers:
            name = L"\\REGISTRY\\USER";
            break;
        case hkey::kClassesRoot:
            name = L"\\REGISTRY\\MACHINE\\SOFTWARE\\CLASSES";
            break;
        default:
            if (hkey::IsRoot(key)) return status::kInvalidHandle;
    }
    if (name.empty() && !impl_->KernelName(handle, name)) return status::kCantRead;
    for (wchar_t& c : name) c = static_cast<wchar_t>(towupper(c));
    identity->assign(reinterpret_cast<const char*>(name.data()), name.size() * sizeof(wchar_t));
    return status::kSuccess;
}

}  // namespace qm
