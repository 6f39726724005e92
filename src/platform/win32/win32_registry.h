// RegistryService over the live Windows registry.
//
// Opens and creates go to the ANSI advapi32 functions. On 64-bit Windows
// each of them asks for the 64-bit view (KEY_WOW64_64KEY) unless the caller
// asks for the 32-bit one, so that every path names the key where it lies,
// the 32-bit programs' keys below Wow6432Node included.
//
// Names and data are read through the UTF-16 functions and handed out as
// the ANSI functions would hand them out, except that an entry without an
// exact code-page form (or whose name converts to another entry's) gives
// kNoUnicodeTranslation (see RegistryService). An enumeration reads the
// key's whole list at index 0 (or after any change made through this
// object) and hands out the entries from it, so telling two such names
// apart costs no call of its own. Deletions go through the UTF-16 functions
// in the 64-bit view (RegDeleteKeyExW, loaded when the system has it) after
// the checks that keep what must stay.
#pragma once

#include <memory>

#include "platform/registry_service.h"

namespace qm {

class Win32Registry : public RegistryService {
  public:
    Win32Registry();
    ~Win32Registry() override;
    Win32Registry(const Win32Registry&) = delete;
    Win32Registry& operator=(const Win32Registry&) = delete;

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
    Status Wow64Path(HKey root, const std::string& subKey, std::string* path) override;

    // Whether this is a 32-bit program on 64-bit Windows.
    bool TwoViews() const;

  private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

}  // namespace qm
