// The Run and RunOnce keys the startup manager lists and switches: those of
// HKEY_CURRENT_USER and HKEY_LOCAL_MACHINE, and on 64-bit Windows the
// 32-bit programs' keys of HKEY_LOCAL_MACHINE (below Wow6432Node), each
// with the location text of its rows, how its switched-off records name it,
// and the key of the system's own startup switch that belongs to it.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/registry_service.h"

namespace qm {

struct RunPlace {
    HKey root;
    const char* path;        // below the root, where the key lies
    const char* location;    // the location of its rows that are on ("HKLM/Run")
    const char* recordHkey;  // what its records hold in "hkey" and "key"
    const char* recordKey;
    uint32_t listAccess;  // what the key is opened with to be listed
    // The key of the system's startup switch for its values ("...\Run",
    // "...\Run32"), below the same root; null when there is none.
    const char* approvedKey;
    bool thirtyTwoBit;  // a 32-bit programs' key of 64-bit Windows
};

// The places, in the order their rows are listed.
const std::vector<RunPlace>& AllRunPlaces();

// The places `registry` has: the 32-bit programs' ones only where it has
// two views.
std::vector<const RunPlace*> RunPlaces(RegistryService& registry);

// The place whose rows that are on show `location`, or null.
const RunPlace* RunPlaceOfLocation(const std::string& location);

// The place a record's "hkey" and "key" name, or null: the texts this
// program writes ("Run", "RunOnce", or for a 32-bit programs' key its path),
// and the key's path as the System Configuration Utility writes it
// ("SOFTWARE\Microsoft\Windows\CurrentVersion\Run", any case).
const RunPlace* RunPlaceOfRecord(const std::string& hkeyText, const std::string& keyText);

// Whether the registry is that of 64-bit Windows, with the 32-bit view.
bool HasTwoViews(RegistryService& registry);

}  // namespace qm
