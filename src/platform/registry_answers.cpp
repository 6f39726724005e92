#include "platform/registry_answers.h"

#include <cstring>

namespace qm::answer {

namespace {

constexpr uint32_t kGenericRead = 0x80000000u;
constexpr uint32_t kGenericWrite = 0x40000000u;
constexpr uint32_t kGenericExecute = 0x20000000u;
constexpr uint32_t kGenericAll = 0x10000000u;
constexpr uint32_t kWow64Flags = 0x00000300u;  // KEY_WOW64_64KEY | KEY_WOW64_32KEY

}  // namespace

uint32_t MapGenericAccess(uint32_t access) {
    if (access & kGenericRead) access |= access::kRead;
    if (access & kGenericWrite) access |= access::kWrite;
    if (access & kGenericExecute) access |= access::kRead;
    if (access & kGenericAll) access |= access::kAllAccess;
    return access & ~(kGenericRead | kGenericWrite | kGenericExecute | kGenericAll | kWow64Flags);
}

Status PutKeyName(std::string_view name, char* buffer, uint32_t* size) {
    if (name.size() >= *size) return status::kMoreData;
    std::memcpy(buffer, name.data(), name.size());
    buffer[name.size()] = '\0';
    *size = static_cast<uint32_t>(name.size());
    return status::kSuccess;
}

Status PutValueName(std::string_view name, char* buffer, uint32_t* size) {
    if (name.size() >= *size) {
        if (*size > 0) {
            std::memcpy(buffer, name.data(), *size - 1);
            buffer[*size - 1] = '\0';
        }
        return status::kMoreData;
    }
    std::memcpy(buffer, name.data(), name.size());
    buffer[name.size()] = '\0';
    *size = static_cast<uint32_t>(name.size());
    return status::kSuccess;
}

Status PutValueData(std::string_view bytes, uint32_t type, uint8_t* data, uint32_t* size) {
    const auto length = static_cast<uint32_t>(bytes.size());
    Status result = status::kSuccess;
    if (data != nullptr && (length > 0 || !regtype::IsText(type))) {
        if (length > *size) {
            result = status::kMoreData;
        } else if (length > 0) {
            std::memcpy(data, bytes.data(), length);
            if (regtype::IsText(type) && length < *size && data[length - 1] != 0) data[length] = 0;
        }
    }
    if (size != nullptr) *size = length;
    return result;
}

Status PutEnumValue(std::string_view valueName, uint32_t valueType, std::string_view bytes,
                    char* name, uint32_t* nameSize, uint32_t* type, uint8_t* data,
                    uint32_t* dataSize) {
    Status result = PutValueData(bytes, valueType, data, dataSize);
    if (result == status::kSuccess) result = PutValueName(valueName, name, nameSize);
    if (type != nullptr) *type = valueType;
    return result;
}

Status StartQueryValue(HKey key, const char* name, uint32_t* type, const uint8_t* data,
                       uint32_t* dataSize) {
    if (data != nullptr && dataSize == nullptr) return status::kInvalidParameter;
    if (key == hkey::kNull) return status::kInvalidHandle;
    if (data == nullptr && dataSize != nullptr) *dataSize = 0;
    if (type != nullptr) *type = regtype::kNone;
    if (Text(name).size() > kMaxConvertibleName) return status::kInvalidParameter;
    return status::kSuccess;
}

}  // namespace qm::answer
