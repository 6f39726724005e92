// Importing a registry text file into the live registry the way a restore
// does it: the registry editor of the Windows folder, started through the
// shell with "/s" and the quoted file, waited for; on 64-bit Windows the
// system's own (64-bit) editor. Windows only.
#pragma once

#include <cstdint>
#include <string>

#include "platform/win32_codes.h"

namespace qm {

// kSuccess once the editor has run and ended (its exit code, which the
// editor does not use to report import errors, in `exitCode`); otherwise
// why it could not be started.
Status ImportWithRegedit(const std::string& file, uint32_t* exitCode = nullptr);

}  // namespace qm
