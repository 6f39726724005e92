#include "scan/extract_path.h"

#include <algorithm>
#include <cstddef>

namespace qm {

namespace {

char UpperAscii(char c) {
    return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
}

// Position of the first occurrence of `upperNeedle` in `text` from `from`
// on, comparing ASCII letters without regard to case; npos when absent.
size_t FindNoCase(const std::string& text, size_t from, const char* upperNeedle, size_t length) {
    for (size_t i = from; i + length <= text.size(); ++i) {
        size_t k = 0;
        while (k < length && UpperAscii(text[i + k]) == upperNeedle[k]) ++k;
        if (k == length) return i;
    }
    return std::string::npos;
}

// A name with neither drive nor folder: the system looks for it on the
// search path, so that is where we look too.
bool IsBareName(const std::string& path) {
    return path.find_first_of(":\\/") == std::string::npos;
}

}  // namespace

bool ExtractPath(std::string& source, std::string& path, FileProbe& files) {
    // Leading quotes are skipped but stay in the source text.
    const size_t start = std::min(source.find_first_not_of('"'), source.size());

    // A closing quote ends the text; the arguments after it are dropped.
    const size_t closing = source.find('"', start);
    if (closing != std::string::npos) source.resize(closing);

    // Cut after whichever of the three extensions ends first, so that the
    // arguments after an unquoted program path are dropped too.
    size_t end = source.size();
    for (const char* ext : {".EXE", ".DLL", ".OCX"}) {
        const size_t at = FindNoCase(source, start, ext, 4);
        if (at != std::string::npos) end = std::min(end, at + 4);
    }
    source.resize(end);

    const uint32_t size = files.ExpandEnvironment(source.substr(start), path, kMaxExpandedPath);
    if (size == 0 || size > kMaxExpandedPath) {
        path.clear();
        return false;
    }
    return true;
}

bool TargetExists(const std::string& path, FileProbe& files) {
    if (path.empty()) return false;
    if (!IsBareName(path)) return files.PathExists(path);
    std::string found = path;
    return files.FindOnPath(found);
}

}  // namespace qm
