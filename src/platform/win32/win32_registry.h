// RegistryService over the live Windows registry: each call goes straight to
// the advapi32 / shlwapi function of the same meaning.
#pragma once

#include "platform/registry_service.h"

namespace qm {

class Win32Registry : public RegistryService {
  public:
    Status OpenKey(HKey parent, const char* subKey, uint32_t access, HKey* result) override;
    Status CreateKey(HKey parent, const char* subKey, uint32_t access, HKey* result,
                     bool* created) override;
    Status CloseKey(HKey key) override;
    Status EnumKey(HKey key, uint32_t index, char* name, uint32_t* nameSize) override;
    Status EnumValue(HKey key, uint32_t index, char* name, uint32_t* nameSize, uint32_t* type,
                     uint8_t* data, uint32_t* dataSize) override;
    Status QueryInfoKey(HKey key, KeyInfo* info) override;
    Status QueryValue(HKey key, const char* name, uint32_t* type, uint8_t* data,
                      uint32_t* dataSize) override;
    Status SetValue(HKey key, const char* name, uint32_t type, const uint8_t* data,
                    uint32_t size) override;
    Status DeleteValue(HKey key, const char* name) override;
    Status DeleteKey(HKey parent, const char* subKey) override;
    Status DeleteTree(HKey parent, const char* subKey) override;
};

}  // namespace qm
