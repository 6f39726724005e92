// The host's folders as the mapped file probe reads them: a Windows name
// is found in a host folder without regard to case or as a short alias.
// Every listing of a host folder goes through this part.
#pragma once

#include <sys/stat.h>

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace qm::mapped {

std::string JoinHost(const std::string& folder, const std::string& name);

// The names in a host folder, without "." and "..", in the order the host
// gives them.
std::vector<std::string> ReadHostFolder(const std::string& folder);

// The host name of the entry of `folder` that the Windows name `name`
// means: the exact spelling, else the first (in byte order) of the names
// equal to it without regard to case, else of those whose short alias it is.
std::optional<std::string> FindHostName(const std::string& folder, std::string_view name);

// A host file without any write permission bit is read-only, as under Wine.
bool IsReadOnly(const struct stat& info);

// The host file's birth time where the file system records one, otherwise
// its last change of content, as FILETIME units.
uint64_t HostCreationTime(const std::string& hostPath, const struct stat& info);

}  // namespace qm::mapped
