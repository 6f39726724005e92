// SystemInfo of the running Windows.
#pragma once

#include "platform/system_info.h"

namespace qm {

class Win32SystemInfo : public SystemInfo {
  public:
    UtcTime UtcNow() override;
    bool GetOsVersion(OsVersion* version) override;
};

}  // namespace qm
