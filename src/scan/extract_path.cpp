#include "scan/extract_path.h"

#include <algorithm>
#include <cstddef>
#include <string>
#include <utility>

#include "platform/c_text.h"
#include "platform/search_path.h"

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
// search path, so that is where we look too. ':' and '/' are never the
// second byte of a double-byte character; a backslash's byte may be.
bool IsBareName(const std::string& path, const CodePage& codePage) {
    return path.find_first_of(":/") == std::string::npos &&
           codePage.Find(path, '\\') == std::string::npos;
}

// The folders whose reference a 64-bit program reads otherwise: the
// reference as written and the one that names the 64-bit folder.
constexpr std::pair<const char*, const char*> kViewFolders[] = {
    {"%PROGRAMFILES%", "%ProgramW6432%"},
    {"%COMMONPROGRAMFILES%", "%CommonProgramW6432%"},
};

}  // namespace

std::string OtherViewText(const std::string& text, FileProbe& files) {
    if (text.find('%') == std::string::npos) return std::string();  // no reference in it
    std::string other = text;
    bool replaced = false;
    for (const auto& [reference, native] : kViewFolders) {
        const size_t length = std::char_traits<char>::length(reference);
        size_t at = FindNoCase(other, 0, reference, length);
        if (at == std::string::npos) continue;
        // Only where the system has that folder: without it the text would
        // name a folder called "%ProgramW6432%".
        std::string folder;
        const uint32_t size = files.ExpandEnvironment(native, folder, kMaxExpandedPath);
        if (size == 0 || size > kMaxExpandedPath || folder == native) continue;
        for (; at != std::string::npos; at = FindNoCase(other, at + 1, reference, length)) {
            other.replace(at, length, native);
            replaced = true;
        }
    }
    return replaced ? other : std::string();
}

bool ExtractPath(std::string& source, std::string& path, FileProbe& files, std::string* other) {
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

    const std::string text = source.substr(start);
    const uint32_t size = files.ExpandEnvironment(text, path, kMaxExpandedPath);
    if (size == 0 || size > kMaxExpandedPath) {
        path.clear();
        if (other != nullptr) other->clear();
        return false;
    }
    if (other != nullptr) {
        other->clear();
        const std::string otherText = OtherViewText(text, files);
        const uint32_t otherSize =
            otherText.empty() ? 0 : files.ExpandEnvironment(otherText, *other, kMaxExpandedPath);
        if (otherSize == 0 || otherSize > kMaxExpandedPath) other->clear();
    }
    return true;
}

Existence CheckTarget(const std::string& path, FileProbe& files, const CodePage& codePage,
                      const std::string& other, CheckLog* log) {
    const auto check = [&files, &codePage, log](const std::string& candidate) {
        // An entry that names nothing names no file that could exist.
        if (candidate.empty()) {
            if (log != nullptr) log->push_back({candidate, Existence::kMissing});
            return Existence::kMissing;
        }
        if (!IsBareName(candidate, codePage)) {
            const Existence answer = files.CheckPath(candidate);
            if (log != nullptr) log->push_back({candidate, answer});
            return answer;
        }
        std::string found = candidate;
        SearchFolders folders;
        if (log == nullptr || !files.SearchPlaces(folders)) {
            const Existence answer = files.FindOnPath(found);
            if (log != nullptr) log->push_back({candidate, answer});
            return answer;
        }
        // The same search as FindOnPath, each candidate tested and noted.
        found.assign(CText(candidate));
        return SearchForProgram(found, folders.systemFolder, folders.windowsFolder,
                                folders.pathVariable
                                    ? std::optional<std::string_view>(*folders.pathVariable)
                                    : std::nullopt,
                                [&files, log](const std::string& place) {
                                    const Existence answer = files.CheckPath(place);
                                    log->push_back({place, answer});
                                    return answer;
                                });
    };
    const Existence answer = check(path);
    if (answer == Existence::kExists || other.empty()) return answer;
    return EitherOf(answer, check(other));
}

}  // namespace qm
