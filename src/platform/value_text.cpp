#include "platform/value_text.h"

#include <algorithm>
#include <cstring>
#include <vector>

namespace qm {

namespace {

constexpr uint32_t kStringValueSize = 1024;

}  // namespace

Status QueryValueText(RegistryService& registry, HKey key, const char* name, uint8_t* buffer,
                      uint32_t offered, std::string& text) {
    uint32_t size = offered;
    const Status result = registry.QueryValue(key, name, nullptr, buffer, &size);
    if (result != status::kSuccess) return result;
    const auto* bytes = reinterpret_cast<const char*>(buffer);
    size = std::min(size, offered);
    const void* zero = std::memchr(bytes, '\0', size);
    text.assign(bytes, zero != nullptr ? static_cast<const char*>(zero) : bytes + size);
    return result;
}

std::string ReadStringValue(RegistryService& registry, HKey root, const std::string& subKey,
                            const std::string& valueName) {
    RegKey key(registry);
    if (key.Open(root, subKey.c_str(), access::kRead) != status::kSuccess) return {};
    std::vector<uint8_t> data(kStringValueSize);
    std::string text;
    if (QueryValueText(registry, key.get(), valueName.c_str(), data.data(), kStringValueSize,
                       text) != status::kSuccess)
        return {};
    return text;
}

}  // namespace qm
