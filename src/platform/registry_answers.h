// How the registry functions hand out what they are asked for, shared by the
// backends that hold a tree of their own (in memory, hive files): access
// masks with their generic rights mapped, and names and data copied into the
// caller's buffers with the system's sizes and statuses.
#pragma once

#include <cstddef>
#include <cstdint>
#include <exception>
#include <mutex>
#include <string_view>

#include "platform/registry_service.h"

namespace qm::answer {

inline constexpr uint32_t kSynchronize = 0x00100000u;  // SYNCHRONIZE

// Value names are converted into a counted Unicode string by the ANSI
// functions, whose byte length must fit in 16 bits.
inline constexpr size_t kMaxConvertibleName = 32766;

// A name argument as the functions read it: null is the empty name.
constexpr std::string_view Text(const char* s) {
    return s == nullptr ? std::string_view() : s;
}

// Runs `call` under `mutex`; running out of memory on the way gives
// kNotEnoughMemory, as the system call would.
template <typename Call>
Status Locked(std::mutex& mutex, Call&& call) {
    try {
        std::lock_guard<std::mutex> lock(mutex);
        return call();
    } catch (const std::exception&) {
        return status::kNotEnoughMemory;
    }
}

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

// Whether RegEnumValueA takes these buffers: a name buffer and its size, and
// a size wherever there is a data buffer.
constexpr bool EnumValueArgsValid(const char* name, const uint32_t* nameSize, const uint8_t* data,
                                  const uint32_t* dataSize) {
    return name != nullptr && nameSize != nullptr && (data == nullptr || dataSize != nullptr);
}

// One value as RegEnumValueA hands it out: the data first, and the name only
// when the data fits.
Status PutEnumValue(std::string_view valueName, uint32_t valueType, std::string_view bytes,
                    char* name, uint32_t* nameSize, uint32_t* type, uint8_t* data,
                    uint32_t* dataSize);

// What RegQueryValueExA checks and sets before it looks at the key: the
// buffers, the handle, the outputs it clears and the name's length.
// kSuccess when the query goes on.
Status StartQueryValue(HKey key, const char* name, uint32_t* type, const uint8_t* data,
                       uint32_t* dataSize);

}  // namespace qm::answer
