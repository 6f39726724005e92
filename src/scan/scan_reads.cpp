#include "scan/scan_reads.h"

#include <algorithm>
#include <array>
#include <cstring>

#include "platform/value_text.h"

namespace qm::scan {

namespace {

using Buffer = std::array<char, kReadBufferSize>;

// Value data as text: the bytes read, up to the first zero byte. The data of
// a text value need not carry its terminating zero.
void AssignText(std::string& text, const char* bytes, uint32_t size) {
    const void* zero = std::memchr(bytes, '\0', size);
    text.assign(bytes, zero != nullptr ? static_cast<const char*>(zero) : bytes + size);
}

}  // namespace

Status EnumKeyName(RegistryService& registry, HKey key, uint32_t& index, std::string& name) {
    Buffer buffer;
    uint32_t size = kReadBufferSize;
    Status result;
    while ((result = registry.EnumKey(key, index, buffer.data(), &size)) ==
           status::kNoUnicodeTranslation) {
        ++index;
        size = kReadBufferSize;
    }
    if (result == status::kSuccess) name.assign(buffer.data(), std::min(size, kReadBufferSize));
    return result;
}

Status EnumValueName(RegistryService& registry, HKey key, uint32_t& index, std::string& name) {
    Buffer buffer;
    uint32_t size = kReadBufferSize;
    Status result;
    while ((result = registry.EnumValue(key, index, buffer.data(), &size, nullptr, nullptr,
                                        nullptr)) == status::kNoUnicodeTranslation) {
        ++index;
        size = kReadBufferSize;
    }
    if (result == status::kSuccess) name.assign(buffer.data(), std::min(size, kReadBufferSize));
    return result;
}

Status EnumValueText(RegistryService& registry, HKey key, uint32_t& index, std::string& name,
                     std::string& data) {
    Buffer nameBuffer;
    Buffer dataBuffer;
    uint32_t nameSize = kReadBufferSize;
    uint32_t dataSize = kReadBufferSize;
    Status result;
    while ((result = registry.EnumValue(key, index, nameBuffer.data(), &nameSize, nullptr,
                                        reinterpret_cast<uint8_t*>(dataBuffer.data()),
                                        &dataSize)) == status::kNoUnicodeTranslation) {
        ++index;
        nameSize = kReadBufferSize;
        dataSize = kReadBufferSize;
    }
    if (result == status::kSuccess) {
        name.assign(nameBuffer.data(), std::min(nameSize, kReadBufferSize));
        AssignText(data, dataBuffer.data(), std::min(dataSize, kReadBufferSize));
    }
    return result;
}

Status ReadValueText(RegistryService& registry, HKey key, const char* name, std::string& data) {
    std::array<uint8_t, kReadBufferSize> buffer;
    return QueryValueText(registry, key, name, buffer.data(), kReadBufferSize, data);
}

}  // namespace qm::scan
