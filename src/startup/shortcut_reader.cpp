#include "startup/shortcut_reader.h"

#include <cctype>
#include <cstdint>
#include <vector>

#include "startup/shell_link_format.h"

namespace qm {

namespace {

// A shortcut is a few hundred bytes; the format's sizes are 16 and 32-bit
// numbers, so nothing readable lies beyond a few megabytes. Reading stops
// there so that a huge file named *.lnk cannot exhaust memory.
constexpr size_t kMaxShortcutBytes = size_t{4} << 20;

// The wide-character buffer the path is converted into, terminating zero
// included.
constexpr size_t kMaxShortcutPath = 260;

}  // namespace

std::string ShortcutFileReader::CommandLine(const std::string& path) {
    std::unique_ptr<FileStream> file = files_.OpenFile(path, FileMode::kRead);
    if (!file) return {};
    std::vector<uint8_t> bytes;
    uint8_t block[4096];
    while (bytes.size() < kMaxShortcutBytes) {
        const size_t got = file->Read(block, sizeof block);
        if (got == 0) break;
        bytes.insert(bytes.end(), block, block + got);
    }
    ShellLinkFields fields;
    if (!ParseShellLink(bytes.data(), bytes.size(), fields)) return {};
    return fields.targetPath + " " + fields.arguments;
}

std::string ResolveShortcut(ShortcutReader& reader, std::string path) {
    std::string lower = path;
    for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (lower.find(".lnk") == std::string::npos) path += ".lnk";
    if (path.size() + 1 > kMaxShortcutPath) return {};
    return reader.CommandLine(path);
}

}  // namespace qm
