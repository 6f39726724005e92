// Registry reads shared by the category scanners. Every read goes through a
// 1024-byte buffer: a name or a value that does not fit gives kMoreData, as
// it would for the system call with that buffer, and never more than the
// buffer is taken. Value data is handed back as text up to its first zero
// byte.
//
// The enumerations step `index` over the entries that do not convert exactly
// into the code page (kNoUnicodeTranslation, see RegistryService), so a loop
// `for (index = 0; EnumKeyName(..., index, ...) == kSuccess; ++index)` sees
// every other entry and never one of those.
#pragma once

#include <cstdint>
#include <string>

#include "platform/registry_service.h"

namespace qm::scan {

inline constexpr uint32_t kReadBufferSize = 1024;

// RegEnumKeyExA: the name of subkey `index`.
Status EnumKeyName(RegistryService& registry, HKey key, uint32_t& index, std::string& name);

// RegEnumValueA asking for the name only.
Status EnumValueName(RegistryService& registry, HKey key, uint32_t& index, std::string& name);

// RegEnumValueA asking for name and data (the type is not asked for).
Status EnumValueText(RegistryService& registry, HKey key, uint32_t& index, std::string& name,
                     std::string& data);

// RegQueryValueExA of one value by name ("" is the default value).
Status ReadValueText(RegistryService& registry, HKey key, const char* name, std::string& data);

}  // namespace qm::scan
