#include "platform/file_probe.h"

namespace qm {

Existence FileProbe::CheckPattern(const std::string& pattern) {
    std::vector<FileEntry> entries;
    const Status listed = ListFolder(pattern, entries);
    if (listed == status::kSuccess && !entries.empty()) return Existence::kExists;
    if ((listed == status::kFileNotFound || listed == status::kPathNotFound) &&
        CanTellMissing(pattern))
        return Existence::kMissing;
    return Existence::kCannotTell;
}

}  // namespace qm
