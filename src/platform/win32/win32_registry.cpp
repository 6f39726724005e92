#include "platform/win32/win32_registry.h"

#include <shlwapi.h>
#include <windows.h>

namespace qm {

namespace {

HKEY ToHandle(HKey key) {
    return reinterpret_cast<HKEY>(key);
}
HKey FromHandle(HKEY key) {
    return reinterpret_cast<HKey>(key);
}
DWORD* AsDword(uint32_t* p) {
    static_assert(sizeof(DWORD) == sizeof(uint32_t));
    return reinterpret_cast<DWORD*>(p);
}

}  // namespace

Status Win32Registry::OpenKey(HKey parent, const char* subKey, uint32_t access, HKey* result) {
    // RegOpenKeyA is RegOpenKeyExA with MAXIMUM_ALLOWED, except that for an
    // empty subkey it hands back the parent's own handle; asking for a new
    // handle always keeps "the opener closes what it opened" true.
    HKEY key = nullptr;
    LONG status = RegOpenKeyExA(ToHandle(parent), subKey, 0, access, &key);
    *result = status == ERROR_SUCCESS ? FromHandle(key) : hkey::kNull;
    return status;
}

Status Win32Registry::CreateKey(HKey parent, const char* subKey, uint32_t access, HKey* result,
                                bool* created) {
    HKEY key = nullptr;
    DWORD disposition = 0;
    LONG status = RegCreateKeyExA(ToHandle(parent), subKey, 0, nullptr, REG_OPTION_NON_VOLATILE,
                                  access, nullptr, &key, &disposition);
    *result = status == ERROR_SUCCESS ? FromHandle(key) : hkey::kNull;
    if (created != nullptr)
        *created = status == ERROR_SUCCESS && disposition == REG_CREATED_NEW_KEY;
    return status;
}

Status Win32Registry::CloseKey(HKey key) {
    if (hkey::IsRoot(key)) return ERROR_SUCCESS;
    return RegCloseKey(ToHandle(key));
}

Status Win32Registry::EnumKey(HKey key, uint32_t index, char* name, uint32_t* nameSize) {
    return RegEnumKeyExA(ToHandle(key), index, name, AsDword(nameSize), nullptr, nullptr, nullptr,
                         nullptr);
}

Status Win32Registry::EnumValue(HKey key, uint32_t index, char* name, uint32_t* nameSize,
                                uint32_t* type, uint8_t* data, uint32_t* dataSize) {
    return RegEnumValueA(ToHandle(key), index, name, AsDword(nameSize), nullptr, AsDword(type),
                         data, AsDword(dataSize));
}

Status Win32Registry::QueryInfoKey(HKey key, KeyInfo* info) {
    DWORD subKeys = 0, maxSubKeyLen = 0, values = 0, maxValueNameLen = 0, maxValueLen = 0;
    LONG status =
        RegQueryInfoKeyA(ToHandle(key), nullptr, nullptr, nullptr, &subKeys, &maxSubKeyLen, nullptr,
                         &values, &maxValueNameLen, &maxValueLen, nullptr, nullptr);
    if (status == ERROR_SUCCESS) {
        info->subKeys = subKeys;
        info->maxSubKeyLen = maxSubKeyLen;
        info->values = values;
        info->maxValueNameLen = maxValueNameLen;
        info->maxValueLen = maxValueLen;
    }
    return status;
}

Status Win32Registry::QueryValue(HKey key, const char* name, uint32_t* type, uint8_t* data,
                                 uint32_t* dataSize) {
    return RegQueryValueExA(ToHandle(key), name, nullptr, AsDword(type), data, AsDword(dataSize));
}

Status Win32Registry::SetValue(HKey key, const char* name, uint32_t type, const uint8_t* data,
                               uint32_t size) {
    return RegSetValueExA(ToHandle(key), name, 0, type, data, size);
}

Status Win32Registry::DeleteValue(HKey key, const char* name) {
    return RegDeleteValueA(ToHandle(key), name);
}

Status Win32Registry::DeleteKey(HKey parent, const char* subKey) {
    return RegDeleteKeyA(ToHandle(parent), subKey);
}

Status Win32Registry::DeleteTree(HKey parent, const char* subKey) {
    return static_cast<Status>(SHDeleteKeyA(ToHandle(parent), subKey));
}

}  // namespace qm
