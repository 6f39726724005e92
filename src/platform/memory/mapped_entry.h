// What the mapped file probe finds for a Windows path: the host path and
// what the host tells of it. Shared by the parts of the probe.
#pragma once

#include <string>

#include "platform/memory/host_folder.h"
#include "platform/memory/mapped_file_probe.h"

namespace qm {

struct MappedFileProbe::Entry {
    std::string host;
    mapped::HostStat info;
    mapped::HostStat folder;  // of the folder that holds it; nothing for a drive's folder
};

}  // namespace qm
