// What the mapped file probe finds for a Windows path: the host path and
// what the host tells of it. Shared by the parts of the probe.
#pragma once

#include <sys/stat.h>

#include <string>

#include "platform/memory/mapped_file_probe.h"

namespace qm {

struct MappedFileProbe::Entry {
    std::string host;
    struct stat info {};
};

}  // namespace qm
