// --startup, --startup-off N and --startup-on N of quillmend-scan.
#pragma once

#include <ostream>

#include "cli/options.h"
#include "platform/file_probe.h"
#include "platform/registry_service.h"

namespace qm::cli {

// Lists the startup items, after switching row N off or on when asked
// (rows as the page lists them, from 1), as text or (with --json) as
// [{"name", "command", "location", "enabled"}].
// 0 when done, 1 when the row's item could not be switched, 2 for a row
// that does not exist.
int RunStartupCommand(const Options& options, RegistryService& registry, FileProbe& files,
                      std::ostream& out, std::ostream& err);

}  // namespace qm::cli
