#include "platform/memory/windows_path.h"

#include <algorithm>
#include <cstring>

#include "platform/name_case.h"

namespace qm::mapped {

namespace {

bool IsInvalidNameChar(char c) {
    return static_cast<unsigned char>(c) < 0x20 || std::strchr("*?<>|\":", c) != nullptr;
}

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

bool HasInvalidNameChar(std::string_view name) {
    return std::any_of(name.begin(), name.end(), IsInvalidNameChar);
}

bool IsSeparator(char c) {
    return c == '\\' || c == '/';
}

char DriveLetter(char c) {
    if (c >= 'a' && c <= 'z') return static_cast<char>(c - 'a' + 'A');
    return c;
}

std::optional<DeviceName> FindDeviceName(std::string_view path) {
    if (path.size() >= 2 && IsSeparator(path[0]) && IsSeparator(path[1])) return std::nullopt;
    size_t start = path.size() >= 2 && path[1] == ':' ? 2 : 0;
    for (size_t i = start; i < path.size(); ++i)
        if (IsSeparator(path[i])) start = i + 1;
    size_t end = start;
    while (end < path.size() && path[end] != '.' && path[end] != ':') ++end;
    while (end > start && path[end - 1] == ' ') --end;
    std::string_view name = path.substr(start, end - start);
    bool device = false;
    if (name.size() == 3) {
        for (const char* known : {"AUX", "CON", "NUL", "PRN"})
            device = device || EqualAsciiNoCase(name, known);
    } else if (name.size() == 4) {
        device = (EqualAsciiNoCase(name.substr(0, 3), "COM") ||
                  EqualAsciiNoCase(name.substr(0, 3), "LPT")) &&
                 name[3] >= '1' && name[3] <= '9';
    } else {
        device = EqualAsciiNoCase(name, "CONIN$") || EqualAsciiNoCase(name, "CONOUT$");
    }
    if (!device) return std::nullopt;
    return DeviceName{start, name.size()};
}

// Applies the system's normalisation to a full path whose first `mark`
// characters are its root ("C:\"): '/' becomes '\', runs of backslashes
// become one, "." and ".." components are applied without climbing above
// the root, one trailing dot is dropped from each folder name, and trailing
// dots and blanks are dropped from the end.
void CollapsePath(std::string& path, size_t mark) {
    std::replace(path.begin(), path.end(), '/', '\\');
    size_t out = std::max<size_t>(1, mark);
    for (size_t i = out; i < path.size(); ++i)
        if (path[i] != '\\' || path[out - 1] != '\\') path[out++] = path[i];
    if (out < path.size()) path.resize(out);

    auto at = [&](size_t i) { return i < path.size() ? path[i] : '\0'; };
    size_t p = mark;
    while (p < path.size()) {
        if (path[p] == '.') {
            char next = at(p + 1);
            if (next == '\\') {  // ".\" component
                path.erase(p, 2);
                continue;
            }
            if (next == '\0') {  // final "."
                if (p > mark) --p;
                path.resize(p);
                continue;
            }
            if (next == '.') {
                char third = at(p + 2);
                if (third == '\\') {  // "..\" component
                    size_t after = p + 3;
                    if (p > mark) {
                        --p;
                        while (p > mark && path[p - 1] != '\\') --p;
                    }
                    path.erase(p, after - p);
                    continue;
                }
                if (third == '\0') {  // final ".."
                    if (p > mark) {
                        --p;
                        while (p > mark && path[p - 1] != '\\') --p;
                        if (p > mark) --p;
                    }
                    path.resize(p);
                    continue;
                }
            }
        }
        while (p < path.size() && path[p] != '\\') ++p;
        if (p < path.size()) {
            if (p > mark && path[p - 1] == '.')
                path.erase(p - 1, 1);  // one trailing dot of a folder name
            else
                ++p;
        }
    }
    while (p > mark && (path[p - 1] == ' ' || path[p - 1] == '.')) --p;
    path.resize(p);
}

std::optional<std::string> ShellAppend(std::string_view folder, std::string_view name) {
    std::string joined;
    if (name.empty()) {
        joined = folder.substr(0, kMaxPath - 1);
    } else if (folder.empty()) {
        joined = name.substr(0, kMaxPath - 1);
    } else {
        joined = folder.substr(0, kMaxPath - 1);
        if (joined.back() != '\\') joined.push_back('\\');
        if (joined.size() + name.size() >= kMaxPath) return std::nullopt;
        joined.append(name);
    }
    return ShellCanonicalize(joined);
}

std::vector<std::string> SplitComponents(const std::string& full) {
    std::vector<std::string> parts;
    size_t start = 3;  // after "X:\"
    if (start > full.size()) return parts;
    while (true) {
        size_t slash = full.find('\\', start);
        if (slash == std::string::npos) {
            if (start < full.size() || !parts.empty()) parts.push_back(full.substr(start));
            break;
        }
        parts.push_back(full.substr(start, slash - start));
        start = slash + 1;
    }
    return parts;
}

}  // namespace qm::mapped
