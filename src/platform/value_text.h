// Reading a registry value as text, whatever its type: its bytes up to the
// first zero byte, or all of them when there is none. The data of a text
// value need not carry its terminating zero. Each read goes through a
// buffer of a fixed size: a value that does not fit gives kMoreData, as the
// system call with that buffer would, and is not read.
#pragma once

#include <cstdint>
#include <string>

#include "platform/registry_service.h"

namespace qm {

// RegQueryValueExA of `name` ("" is the default value) of the open `key`
// into `buffer`, of which `offered` bytes are offered. `text` is set only on
// kSuccess.
Status QueryValueText(RegistryService& registry, HKey key, const char* name, uint8_t* buffer,
                      uint32_t offered, std::string& text);

// The text of one value read with KEY_READ into 1024 bytes. The empty text
// when the key cannot be opened or the value cannot be read, including a
// value of more than 1024 bytes.
std::string ReadStringValue(RegistryService& registry, HKey root, const std::string& subKey,
                            const std::string& valueName);

}  // namespace qm
