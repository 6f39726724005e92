#include "platform/search_path.h"

#include <string>

namespace qm {

namespace {

// PathIsUNCServerShare: "\\server\share" and nothing more.
bool IsUncServerShare(std::string_view path) {
    if (path.size() < 2 || path[0] != '\\' || path[1] != '\\') return false;
    size_t slashes = 0;
    for (size_t i = 2; i < path.size(); ++i)
        if (path[i] == '\\' && ++slashes > 1) return false;
    return slashes == 1;
}

// PathCanonicalize of the shell functions: a purely textual removal of "."
// and ".." components. It works in place on a buffer, and what it leaves
// behind a cut is read again by later steps, so the buffer is kept whole
// and `end` marks the text.
std::string ShellCanonicalize(std::string_view path) {
    if (path.empty()) return "\\";
    std::string buffer(path.size() + 2, '\0');
    size_t src = 0, end = 0;
    auto at = [&](size_t i) { return i < path.size() ? path[i] : '\0'; };
    if (path[0] == '\\') {
        buffer[end++] = path[src++];
    } else if (path.size() > 1 && path[1] == ':') {
        buffer[end++] = path[src++];
        buffer[end++] = path[src++];
        if (at(src) == '\\') buffer[end++] = path[src++];
    }
    while (src < path.size()) {
        if (path[src] == '.') {
            if (at(src + 1) == '\\' &&
                (src == 0 || path[src - 1] == '\\' || path[src - 1] == ':')) {
                src += 2;  // skip ".\"
                continue;
            }
            if (at(src + 1) == '.' && end != 0 && buffer[end - 1] == '\\') {
                // "\.." backs up one folder, over the root when it has no
                // backslash after "X:", but never over a server name.
                buffer[end] = '\0';
                if (end > 1 && buffer[end - 1] == '\\' && (buffer[end - 2] != '\\' || end > 2)) {
                    if (buffer[end - 2] == ':' && (end > 3 || buffer[end - 3] == ':')) {
                        end -= 2;
                        while (end > 0 && buffer[end] != '\\') --end;
                        if (buffer[end] == '\\')
                            ++end;
                        else
                            end = 0;
                    } else if (buffer[end - 2] != ':' &&
                               !IsUncServerShare(std::string_view(buffer.data(), end))) {
                        end -= 2;
                    }
                }
                while (end > 0 && buffer[end] != '\\') --end;
                if (end == 0) {
                    buffer[end++] = '\\';
                    ++src;
                }
                src += 2;
                continue;
            }
        }
        buffer[end++] = path[src++];
    }
    if (end == 2 && buffer[1] == ':') buffer[end++] = '\\';
    buffer.resize(end);
    return buffer;
}

}  // namespace

std::string ShellAppend(std::string_view folder, std::string_view name) {
    std::string joined;
    if (name.empty()) {
        joined = folder;
    } else if (folder.empty()) {
        joined = name;
    } else {
        joined = folder;
        if (joined.back() != '\\') joined.push_back('\\');
        joined.append(name);
    }
    return ShellCanonicalize(joined);
}

Existence SearchForProgram(std::string& name, std::string_view systemFolder,
                           std::string_view windowsFolder,
                           std::optional<std::string_view> pathVariable,
                           const std::function<Existence(const std::string&)>& test) {
    if (name.find_first_of(":\\") != std::string::npos) return Existence::kCannotTell;
    Existence answer = Existence::kMissing;
    // Each candidate in turn; the answer stays "missing" only while every
    // candidate so far was missing.
    const auto tried = [&](std::string_view folder) {
        std::string candidate = ShellAppend(folder, name);
        const Existence found = test(candidate);
        if (found == Existence::kExists) {
            name = std::move(candidate);
            return true;
        }
        if (found == Existence::kCannotTell) answer = Existence::kCannotTell;
        return false;
    };

    if (tried(systemFolder) || tried(ShellAppend(windowsFolder, "System")) || tried(windowsFolder))
        return Existence::kExists;
    if (!pathVariable || pathVariable->empty()) return answer;
    const std::string_view entries = *pathVariable;
    size_t pos = 0;
    while (true) {
        while (pos < entries.size() && entries[pos] == ' ') ++pos;
        const size_t end = entries.find(';', pos);
        const std::string_view folder =
            entries.substr(pos, end == std::string_view::npos ? std::string_view::npos : end - pos);
        if (tried(folder)) return Existence::kExists;
        if (end == std::string_view::npos) return answer;
        pos = end + 1;
    }
}

}  // namespace qm
