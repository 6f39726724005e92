// Reads a compiled resource file (.res) into its resources, for tests that
// check the templates and pictures that windres made.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace qm::ui::testing {

// Resources by (type number, id number); named resources are left out.
using ResourceMap = std::map<std::pair<int, int>, std::vector<uint8_t>>;

// Nothing when the file cannot be read or is not a well-formed .res file.
std::optional<ResourceMap> ReadResFile(const std::string& path);

}  // namespace qm::ui::testing
