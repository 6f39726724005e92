// One key's subkeys or values read through the UTF-16 registry functions and
// turned into what the ANSI functions would hand out, each entry marked
// with whether it may be used: its name (and a value's text data) converts
// exactly, and no other entry of the key converts to the same name.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

#include "platform/win32_codes.h"

namespace qm::win32 {

struct ListedKey {
    std::wstring wide;  // the name as the registry holds it
    std::string name;   // as the ANSI functions give it
    bool usable = true;
};

struct ListedValue {
    std::wstring wide;
    std::string name;
    uint32_t type = 0;
    std::string data;  // as the ANSI functions give it
    bool usable = true;
};

// The entries in enumeration order, and the status the enumeration ended
// with after the last of them (kNoMoreItems, or the failure that cut it
// short; a failure at index 0 leaves no entries).
struct SubKeyListing {
    std::vector<ListedKey> entries;
    Status end = status::kNoMoreItems;
};
struct ValueListing {
    std::vector<ListedValue> entries;
    Status end = status::kNoMoreItems;
};

// What a key reported of one part (RegQueryInfoKeyW): how many entries,
// the longest name in characters and the longest data in bytes. A listing
// given it reads that many entries, with buffers that fit them, and no
// more.
struct ListingSize {
    DWORD count = 0;
    DWORD longestName = 0;
    DWORD longestData = 0;
};

// Without `size` a listing reads until the enumeration ends.
SubKeyListing ListSubKeys(HKEY key, const ListingSize* size = nullptr);
ValueListing ListValues(HKEY key, const ListingSize* size = nullptr);

// How many registry functions the live backend has called in this process
// (the live benchmark prints them per key). Counted counts one call and
// hands its result back.
uint64_t RegistryCalls();
LONG Counted(LONG result);

// Whether every entry of the listing may be used and the listing is
// complete.
bool AllUsable(const SubKeyListing& listing);
bool AllUsable(const ValueListing& listing);

}  // namespace qm::win32
