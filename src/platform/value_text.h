// Reading a registry value. As text, whatever its type: its bytes up to the
// first zero byte, or all of them when there is none; the data of a text
// value need not carry its terminating zero. Each text read goes through a
// buffer of a fixed size: a value that does not fit gives kMoreData, as the
// system call with that buffer would, and is not read. ReadValueBytes reads
// a value whole, whatever its size.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/registry_service.h"

namespace qm {

// RegQueryValueExA of `name` ("" is the default value) of the open `key`
// into `buffer`, of which `offered` bytes are offered. `text` is set only on
// kSuccess.
Status QueryValueText(RegistryService& registry, HKey key, const char* name, uint8_t* buffer,
                      uint32_t offered, std::string& text);

// The type and all the bytes of a value, whatever their size, read again
// (kMoreDataReads times at most) while it grows in between; its status, or
// kMoreData when it kept growing.
Status ReadValueBytes(RegistryService& registry, HKey key, const char* name, uint32_t& type,
                      std::vector<uint8_t>& bytes);

// The text of one value read with KEY_READ into 1024 bytes. The empty text
// when the key cannot be opened or the value cannot be read, including a
// value of more than 1024 bytes.
std::string ReadStringValue(RegistryService& registry, HKey root, const std::string& subKey,
                            const std::string& valueName);

}  // namespace qm
