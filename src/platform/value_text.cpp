#include "platform/value_text.h"

#include <algorithm>
#include <vector>

#include "platform/c_text.h"
#include "platform/read_growing.h"

namespace qm {

namespace {

constexpr uint32_t kStringValueSize = 1024;

}  // namespace

Status QueryValueText(RegistryService& registry, HKey key, const char* name, uint8_t* buffer,
                      uint32_t offered, std::string& text) {
    uint32_t size = offered;
    const Status result = registry.QueryValue(key, name, nullptr, buffer, &size);
    if (result != status::kSuccess) return result;
    text.assign(CText({reinterpret_cast<const char*>(buffer), std::min(size, offered)}));
    return result;
}

Status ReadValueBytes(RegistryService& registry, HKey key, const char* name, uint32_t& type,
                      std::vector<uint8_t>& bytes) {
    uint32_t size = 0;
    Status result = registry.QueryValue(key, name, &type, nullptr, &size);
    if (result != status::kSuccess) return result;
    // A read that finds the value grown gives the size it has now.
    result = ReadGrowing([&] {
        bytes.assign(std::max<uint32_t>(size, 1), 0);
        size = static_cast<uint32_t>(bytes.size());
        return registry.QueryValue(key, name, &type, bytes.data(), &size);
    });
    if (result != status::kSuccess) return result;
    if (size > bytes.size()) return status::kCantRead;
    bytes.resize(size);
    return status::kSuccess;
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
