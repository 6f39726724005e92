// The offline part of scan_bench (--offline): the synthetic system's
// HKLM\SOFTWARE written both as a registry text file and, through hivex, as
// a hive file; each is opened and scanned in turn, in one run.
#pragma once

#include <filesystem>

#include "platform/file_probe.h"
#include "platform/memory/memory_registry.h"

#include <vector>

namespace qm::bench {

// Prints the times and their ratio; false when something failed.
bool RunOfflineBench(const MemoryRegistry& system, FileProbe& files,
                     const std::filesystem::path& work, int rounds);

}  // namespace qm::bench
