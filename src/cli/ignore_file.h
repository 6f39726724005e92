// The ignore entries of --ignore-file: a text file in UTF-8 (or the code
// page), one entry a line in the form of scan/ignore_list.h; empty lines
// and lines that start with '#' say nothing.
#pragma once

#include <string>
#include <vector>

#include "platform/code_page.h"
#include "scan/ignore_list.h"

namespace qm::cli {

// Reads the file's entries into `entries`, names in `codePage` (the code
// page of the registry they are to match); false with "FILE: line N: what"
// (or why it cannot be read) in `error`.
bool ReadIgnoreFile(const std::string& file, const CodePage& codePage,
                    std::vector<IgnoreEntry>& entries, std::string& error);

}  // namespace qm::cli
