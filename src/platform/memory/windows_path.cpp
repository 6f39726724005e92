#include "platform/memory/windows_path.h"

#include <algorithm>
#include <cstring>

#include "platform/name_case.h"

namespace qm::mapped {

namespace {

bool IsInvalidNameChar(char c) {
    return static_cast<unsigned char>(c) < 0x20 || std::strchr("*?<>|\":", c) != nullptr;
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
