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

    QM_REGISTRY_SERVICE_OVERRIDES;

    // Whether this is a 32-bit program on 64-bit Windows.
    bool TwoViews() const;

  private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

}  // namespace qm
