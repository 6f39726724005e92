#include "startup/system_switch.h"

#include <algorithm>
#include <cstdint>
#include <vector>

namespace qm {

namespace {

// The longest StartupApproved value read; the system writes 12 bytes.
constexpr uint32_t kLongestFlag = 64;
// Bytes 4 to 11: the time the item was switched off.
constexpr size_t kTimeStart = 4;
constexpr size_t kTimeEnd = 12;

bool ReadFlag(RegistryService& registry, HKey key, const std::string& name, uint32_t& type,
              std::vector<uint8_t>& bytes) {
    bytes.assign(kLongestFlag, 0);
    uint32_t size = kLongestFlag;
    if (registry.QueryValue(key, name.c_str(), &type, bytes.data(), &size) != status::kSuccess)
        return false;
    bytes.resize(size);
    return type == regtype::kBinary && !bytes.empty();
}

}  // namespace

bool HeldBySystem(RegistryService& registry, HKey root, const char* approvedKey,
                  const std::string& name) {
    if (approvedKey == nullptr) return false;
    RegKey key(registry);
    if (key.Open(root, approvedKey, access::kRead) != status::kSuccess) return false;
    uint32_t type = 0;
    std::vector<uint8_t> bytes;
    return ReadFlag(registry, key.get(), name, type, bytes) && (bytes[0] & 1) != 0;
}

bool ReleaseFromSystem(RegistryService& registry, HKey root, const char* approvedKey,
                       const std::string& name) {
    if (approvedKey == nullptr) return false;
    RegKey key(registry);
    if (key.Open(root, approvedKey, access::kRead | access::kSetValue) != status::kSuccess)
        return false;
    uint32_t type = 0;
    std::vector<uint8_t> bytes;
    if (!ReadFlag(registry, key.get(), name, type, bytes)) return false;
    if ((bytes[0] & 1) == 0) return true;
    bytes[0] = static_cast<uint8_t>(bytes[0] & ~1u);
    std::fill(bytes.begin() + static_cast<std::ptrdiff_t>(std::min(kTimeStart, bytes.size())),
              bytes.begin() + static_cast<std::ptrdiff_t>(std::min(kTimeEnd, bytes.size())), 0);
    return registry.SetValue(key.get(), name.c_str(), type, bytes.data(),
                             static_cast<uint32_t>(bytes.size())) == status::kSuccess;
}

}  // namespace qm
