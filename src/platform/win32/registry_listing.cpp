#include "platform/win32/registry_listing.h"

#include <algorithm>
#include <atomic>
#include <numeric>

#include "platform/read_growing.h"
#include "platform/win32/wide_text.h"

namespace qm::win32 {

namespace {

// The longest value name (16383 characters) and key name the registry takes.
constexpr DWORD kLongestValueName = 16384;
constexpr DWORD kLongestKeyName = 512;

std::atomic<uint64_t> registryCalls{0};

// Two names that convert to the same ANSI text are one name to the ANSI
// functions: neither may be used. Only a key with an inexact name can have
// such a pair, since exact names are told apart exactly as the registry
// tells them apart.
template <typename Entry>
void MarkSharedNames(std::vector<Entry>& entries) {
    if (std::all_of(entries.begin(), entries.end(), [](const Entry& e) { return e.usable; }))
        return;
    std::vector<std::wstring> keys;
    keys.reserve(entries.size());
    for (const Entry& entry : entries) keys.push_back(NameKey(entry.name));
    std::vector<size_t> order(entries.size());
    std::iota(order.begin(), order.end(), size_t{0});
    std::sort(order.begin(), order.end(), [&](size_t a, size_t b) { return keys[a] < keys[b]; });
    for (size_t i = 1; i < order.size(); ++i) {
        if (keys[order[i]] != keys[order[i - 1]]) continue;
        entries[order[i]].usable = false;
        entries[order[i - 1]].usable = false;
    }
}

}  // namespace

uint64_t RegistryCalls() {
    return registryCalls.load(std::memory_order_relaxed);
}

LONG Counted(LONG result) {
    registryCalls.fetch_add(1, std::memory_order_relaxed);
    return result;
}

SubKeyListing ListSubKeys(HKEY key, const ListingSize* size) {
    SubKeyListing listing;
    std::vector<wchar_t> name(std::max<size_t>(260, size != nullptr ? size->longestName + 1 : 0));
    for (DWORD index = 0; size == nullptr || index < size->count;) {
        DWORD size = static_cast<DWORD>(name.size());
        const LONG status = Counted(
            RegEnumKeyExW(key, index, name.data(), &size, nullptr, nullptr, nullptr, nullptr));
        if (status == ERROR_MORE_DATA && name.size() < kLongestKeyName) {
            name.resize(kLongestKeyName);
            continue;
        }
        if (status != ERROR_SUCCESS) {
            listing.end = status;
            break;
        }
        ListedKey entry;
        entry.wide.assign(name.data(), std::min<size_t>(size, name.size()));
        entry.usable = NarrowName(entry.wide, entry.name);
        listing.entries.push_back(std::move(entry));
        ++index;
    }
    MarkSharedNames(listing.entries);
    return listing;
}

ValueListing ListValues(HKEY key, const ListingSize* size) {
    ValueListing listing;
    std::vector<wchar_t> name(std::max<size_t>(260, size != nullptr ? size->longestName + 1 : 0));
    std::vector<BYTE> data(std::max<size_t>(2048, size != nullptr ? size->longestData + 2 : 0));
    for (DWORD index = 0; size == nullptr || index < size->count; ++index) {
        DWORD nameSize = 0, dataSize = 0, type = REG_NONE;
        // An entry whose size keeps changing while it is read is given up on.
        const LONG status = ReadGrowing(
            [&] {
                nameSize = static_cast<DWORD>(name.size());
                dataSize = static_cast<DWORD>(data.size());
                type = REG_NONE;
                return Counted(RegEnumValueW(key, index, name.data(), &nameSize, nullptr, &type,
                                             data.data(), &dataSize));
            },
            [&] {
                // The name, the data or both did not fit: make room for the
                // longest name and the data's reported size.
                name.resize(kLongestValueName);
                data.resize(std::max<size_t>({data.size() * 2, size_t{dataSize} + 2}));
            });
        if (status != ERROR_SUCCESS) {
            listing.end = status;
            break;
        }
        ListedValue entry;
        entry.wide.assign(name.data(), std::min<size_t>(nameSize, name.size()));
        entry.type = type;
        const bool nameExact = NarrowName(entry.wide, entry.name);
        const bool dataExact =
            NarrowData(type, data.data(), std::min<size_t>(dataSize, data.size()), entry.data);
        entry.usable = nameExact && dataExact;
        listing.entries.push_back(std::move(entry));
    }
    MarkSharedNames(listing.entries);
    return listing;
}

bool AllUsable(const SubKeyListing& listing) {
    return listing.end == ERROR_NO_MORE_ITEMS &&
           std::all_of(listing.entries.begin(), listing.entries.end(),
                       [](const ListedKey& e) { return e.usable; });
}

bool AllUsable(const ValueListing& listing) {
    return listing.end == ERROR_NO_MORE_ITEMS &&
           std::all_of(listing.entries.begin(), listing.entries.end(),
                       [](const ListedValue& e) { return e.usable; });
}

}  // namespace qm::win32
