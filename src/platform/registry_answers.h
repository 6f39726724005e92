// How the registry functions hand out what they are asked for, shared by the
// backends that hold a tree of their own (in memory, hive files): access
// masks with their generic rights mapped, and names and data copied into the
// caller's buffers with the system's sizes and statuses.
#pragma once

#include <cstdint>
#include <string_view>

#include "platform/win32_codes.h"

namespace qm::answer {

inline constexpr uint32_t kSynchronize = 0x00100000u;  // SYNCHRONIZE

// GENERIC_READ/WRITE/EXECUTE/ALL as the key rights they stand for; the
// WOW64 view flags dropped.
uint32_t MapGenericAccess(uint32_t access);

// RegEnumKeyExA's name: it must fit with its terminating zero; if not,
// nothing is written, the size stays as it was and the status is kMoreData.
Status PutKeyName(std::string_view name, char* buffer, uint32_t* size);

// RegEnumValueA's name: when it does not fit, as much as fits (with a zero)
// and kMoreData.
Status PutValueName(std::string_view name, char* buffer, uint32_t* size);

// Value data for RegQueryValueExA and RegEnumValueA: kMoreData with the
// buffer untouched when it is too small; text that fits gets a terminating
// zero when there is room. `size` (may be null without `data`) receives the
// data's size.
Status PutValueData(std::string_view bytes, uint32_t type, uint8_t* data, uint32_t* size);

}  // namespace qm::answer
