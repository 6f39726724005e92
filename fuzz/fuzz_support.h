// What several fuzz targets share: the demo's drive C: as a small mapped
// drive, the whole in-memory registry as one document, comparing documents,
// and stopping the run with a message when a property does not hold.
#pragma once

#include <string>

#include "platform/memory/mapped_file_probe.h"
#include "platform/memory/memory_registry.h"
#include "platform/regtext/reg_text.h"

namespace qm::fuzz {

// The usual Windows XP configuration with drive C: mapped to the demo's
// folder in the source tree (read only: no target writes to it).
MappedFilesConfig DemoDrive();

// Every root that a registry file holds (HKEY_CLASSES_ROOT is part of
// HKEY_LOCAL_MACHINE), in one document, as a saved file would hold them.
regtext::Document ExportAll(const MemoryRegistry& registry, regtext::Format format);

// The entries as a text that names every field, for messages.
std::string Describe(const regtext::Entry& entry);

// The index of the first entry in which the two documents differ, or -1
// when they hold the same entries (the line numbers are not compared).
long FirstDifference(const regtext::Document& a, const regtext::Document& b);

// Prints what went wrong and aborts, which the fuzzer reports as a crash
// and saves the input for.
[[noreturn]] void Fail(const std::string& what);
inline void Check(bool holds, const std::string& what) {
    if (!holds) Fail(what);
}

}  // namespace qm::fuzz
