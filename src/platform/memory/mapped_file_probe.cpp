#include "platform/memory/mapped_file_probe.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>
#include <memory>
#include <string_view>

namespace qm {

namespace {

// MAX_PATH: the buffers of the shell path functions.
constexpr size_t kMaxPath = 260;
// The longest path the ANSI file functions take: their conversion buffer
// holds 260 characters and the terminating zero.
constexpr size_t kMaxAnsiPath = 260;

// What a Win32 function sees of a std::string: the text up to its first
// zero byte.
std::string_view CText(const std::string& text) {
    return std::string_view(text.c_str());
}

// ---------------------------------------------------------------------------
// Characters: Windows-1252 on the Windows side, UTF-8 on the host.

// Windows-1252 bytes 0x80 to 0x9F; the rest of the code page is ISO 8859-1.
// The five undefined bytes map to the C1 control of the same number, as
// MultiByteToWideChar maps them.
constexpr std::array<char32_t, 32> kHighBytes{
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,  // 80-87
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,  // 88-8F
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,  // 90-97
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,  // 98-9F
};

char32_t FromCodePage(unsigned char byte) {
    return byte >= 0x80 && byte <= 0x9F ? kHighBytes[byte - 0x80] : byte;
}

char ToCodePage(char32_t c) {
    if (c < 0x80 || (c >= 0xA0 && c <= 0xFF)) return static_cast<char>(c);
    for (size_t i = 0; i < kHighBytes.size(); ++i)
        if (kHighBytes[i] == c) return static_cast<char>(0x80 + i);
    return '?';
}

std::u32string WindowsToUnicode(std::string_view text) {
    std::u32string out;
    out.reserve(text.size());
    for (char c : text) out.push_back(FromCodePage(static_cast<unsigned char>(c)));
    return out;
}

std::string UnicodeToWindows(std::u32string_view text) {
    std::string out;
    out.reserve(text.size());
    for (char32_t c : text) out.push_back(ToCodePage(c));
    return out;
}

void AppendUtf8(std::string& out, char32_t c) {
    if (c < 0x80) {
        out.push_back(static_cast<char>(c));
    } else if (c < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (c >> 6)));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else if (c < 0x10000) {
        out.push_back(static_cast<char>(0xE0 | (c >> 12)));
        out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xF0 | (c >> 18)));
        out.push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    }
}

std::string WindowsToHost(std::string_view name) {
    std::string out;
    for (char c : name) AppendUtf8(out, FromCodePage(static_cast<unsigned char>(c)));
    return out;
}

// Host names are decoded as UTF-8; a byte that does not start a valid
// sequence becomes U+FFFD, which no Windows-1252 name can equal.
std::u32string HostToUnicode(std::string_view name) {
    std::u32string out;
    size_t i = 0;
    while (i < name.size()) {
        auto lead = static_cast<unsigned char>(name[i]);
        if (lead < 0x80) {
            out.push_back(lead);
            ++i;
            continue;
        }
        size_t extra = 0;
        char32_t c = 0, least = 0;
        if (lead >= 0xC2 && lead <= 0xDF) {
            extra = 1, c = lead & 0x1F, least = 0x80;
        } else if (lead >= 0xE0 && lead <= 0xEF) {
            extra = 2, c = lead & 0x0F, least = 0x800;
        } else if (lead >= 0xF0 && lead <= 0xF4) {
            extra = 3, c = lead & 0x07, least = 0x10000;
        }
        bool valid = extra > 0 && i + extra < name.size();
        for (size_t k = 1; valid && k <= extra; ++k) {
            auto next = static_cast<unsigned char>(name[i + k]);
            valid = (next & 0xC0) == 0x80;
            c = (c << 6) | (next & 0x3F);
        }
        valid = valid && c >= least && c <= 0x10FFFF && !(c >= 0xD800 && c <= 0xDFFF);
        out.push_back(valid ? c : 0xFFFD);
        i += valid ? extra + 1 : 1;
    }
    return out;
}

// Latin Extended-A pairs an upper-case letter with the lower-case one next
// to it; in these ranges the odd code point is the lower-case one ...
bool OddIsLower(char32_t c) {
    return (c >= 0x100 && c <= 0x12F) || (c >= 0x132 && c <= 0x137) || (c >= 0x14A && c <= 0x177);
}
// ... and in these the even one.
bool EvenIsLower(char32_t c) {
    return (c >= 0x139 && c <= 0x148) || (c >= 0x179 && c <= 0x17E);
}

char32_t Upper(char32_t c) {
    if (c < 0x80) return c >= 'a' && c <= 'z' ? c - 0x20 : c;
    if (c < 0x100) {
        if (c == 0xB5) return 0x39C;
        if (c == 0xFF) return 0x178;
        return c >= 0xE0 && c != 0xF7 ? c - 0x20 : c;
    }
    if (c < 0x180) {
        if (c == 0x131) return 'I';
        if (c == 0x17F) return 'S';
        if (OddIsLower(c)) return c & 1 ? c - 1 : c;
        if (EvenIsLower(c)) return c & 1 ? c : c - 1;
        return c;
    }
    if (c >= 0x3B1 && c <= 0x3CB) return c == 0x3C2 ? 0x3A3 : c - 0x20;
    if (c == 0x3AC) return 0x386;
    if (c >= 0x3AD && c <= 0x3AF) return c - 0x25;
    if (c == 0x3CC) return 0x38C;
    if (c == 0x3CD || c == 0x3CE) return c - 0x3F;
    if (c >= 0x430 && c <= 0x44F) return c - 0x20;
    if (c >= 0x450 && c <= 0x45F) return c - 0x50;
    return c;
}

char32_t Lower(char32_t c) {
    if (c < 0x80) return c >= 'A' && c <= 'Z' ? c + 0x20 : c;
    if (c < 0x100) return c >= 0xC0 && c <= 0xDE && c != 0xD7 ? c + 0x20 : c;
    if (c < 0x180) {
        if (c == 0x130) return 'i';
        if (c == 0x178) return 0xFF;
        if (OddIsLower(c)) return c & 1 ? c : c + 1;
        if (EvenIsLower(c)) return c & 1 ? c + 1 : c;
        return c;
    }
    if ((c >= 0x391 && c <= 0x3A1) || (c >= 0x3A3 && c <= 0x3AB)) return c + 0x20;
    if (c == 0x386) return 0x3AC;
    if (c >= 0x388 && c <= 0x38A) return c + 0x25;
    if (c == 0x38C) return 0x3CC;
    if (c == 0x38E || c == 0x38F) return c + 0x3F;
    if (c >= 0x410 && c <= 0x42F) return c + 0x20;
    if (c >= 0x400 && c <= 0x40F) return c + 0x50;
    return c;
}

bool EqualNoCase(std::u32string_view a, std::u32string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (Upper(a[i]) != Upper(b[i])) return false;
    return true;
}

bool EqualNoCase(std::string_view a, std::string_view b) {
    return EqualNoCase(WindowsToUnicode(a), WindowsToUnicode(b));
}

// The order of a folder listing: by name without regard to case, then by
// the exact name.
bool NameLess(std::u32string_view a, std::u32string_view b) {
    size_t n = std::min(a.size(), b.size());
    for (size_t i = 0; i < n; ++i) {
        char32_t x = Upper(a[i]), y = Upper(b[i]);
        if (x != y) return x < y;
    }
    if (a.size() != b.size()) return a.size() < b.size();
    return a < b;
}

// Characters no Windows file name may hold.
bool IsInvalidNameChar(char c) {
    return static_cast<unsigned char>(c) < 0x20 || std::strchr("*?<>|\":", c) != nullptr;
}

bool HasInvalidNameChar(std::string_view name) {
    return std::any_of(name.begin(), name.end(), IsInvalidNameChar);
}

// ---------------------------------------------------------------------------
// Short (8.3) aliases, formed as Wine forms them for names that are not
// already valid 8.3 names.

bool IsInvalidDosChar(char32_t c) {
    return c > 0x7F || (c != 0 && std::strchr("*?<>|\"+=,;[] ~.", static_cast<char>(c)) != nullptr);
}

bool IsLegal8Dot3(std::u32string_view name) {
    if (name.size() > 12) return false;
    if (!name.empty() && name[0] == '.')
        return name.size() == 1 || (name.size() == 2 && name[1] == '.');
    int dot = -1;
    for (size_t i = 0; i < name.size(); ++i) {
        char32_t c = name[i];
        if (c > 0x7F) return false;
        if (c < 0x20 || std::strchr("*?<>|\"+=,;[] :/\\", static_cast<char>(c)) != nullptr)
            return false;
        if (c == '.') {
            if (dot != -1) return false;
            dot = static_cast<int>(i);
        }
    }
    int size = static_cast<int>(name.size());
    if (dot == -1) return size <= 8;
    if (dot > 8) return false;
    return size - dot > 1 && size - dot < 5;
}

// Empty when `name` needs no alias.
std::u32string ShortAlias(std::u32string_view name) {
    if (name.empty() || IsLegal8Dot3(name)) return {};
    static constexpr char kHashChars[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZ012345";
    uint16_t hash = 0xBEEF;
    size_t end = name.size();
    for (size_t p = 0; p + 1 < end; ++p)
        hash = static_cast<uint16_t>((hash << 3) ^ (hash >> 5) ^ Lower(name[p]) ^
                                     (Lower(name[p + 1]) << 8));
    hash = static_cast<uint16_t>((hash << 3) ^ (hash >> 5) ^ Lower(name[end - 1]));

    size_t start = 0;
    while (start < end && name[start] == '.') ++start;
    size_t ext = end;  // the last dot after the first character, if any
    for (size_t p = start + 1; p + 1 < end; ++p)
        if (name[p] == '.') ext = p;

    std::u32string alias;
    int room = 4;
    for (size_t p = 0; room > 0 && p < end && p != ext; ++p) {
        if (name[p] == '.') continue;
        alias.push_back(IsInvalidDosChar(name[p]) ? U'_' : name[p]);
        --room;
    }
    while (room-- >= 0) alias.push_back('~');
    alias.push_back(static_cast<char32_t>(kHashChars[(hash >> 10) & 0x1F]));
    alias.push_back(static_cast<char32_t>(kHashChars[(hash >> 5) & 0x1F]));
    alias.push_back(static_cast<char32_t>(kHashChars[hash & 0x1F]));
    if (ext != end) {
        alias.push_back('.');
        for (size_t p = ext + 1, n = 0; n < 3 && p < end; ++p, ++n)
            alias.push_back(IsInvalidDosChar(name[p]) ? U'_' : name[p]);
    }
    for (char32_t& c : alias) c = Upper(c);
    return alias;
}

// ---------------------------------------------------------------------------
// File name patterns.

// The last component of a pattern as PathFindFileName sees it.
std::string_view PatternFileName(std::string_view pattern) {
    size_t start = 0;
    for (size_t i = 0; i < pattern.size(); ++i) {
        char c = pattern[i];
        if ((c == '\\' || c == '/' || c == ':') && i + 1 < pattern.size() &&
            pattern[i + 1] != '\\' && pattern[i + 1] != '/')
            start = i + 1;
    }
    return pattern.substr(start);
}

// Rewrites a FindFirstFile pattern into the directory-query form: trailing
// dots and blanks go, a dot before '*' or '?' becomes the DOS dot '"', '?'
// becomes the DOS '?' '>', and a final '*' of a pattern that ended in a dot
// becomes the DOS '*' '<' (a name without extension).
std::u32string FixupMask(std::u32string mask) {
    size_t len = mask.size();
    if (len == 0) return mask;
    bool noExtension = mask[len - 1] == '.';
    while (len > 0 && (mask[len - 1] == '.' || mask[len - 1] == ' ')) --len;
    for (size_t i = 0; i < len; ++i) {
        char32_t next = i + 1 < mask.size() ? mask[i + 1] : 0;
        if (mask[i] == '.' && (next == '*' || next == '?'))
            mask[i] = '"';
        else if (mask[i] == '?')
            mask[i] = '>';
    }
    mask.resize(len);
    if (noExtension && len > 0 && mask[len - 1] == '*') mask[len - 1] = '<';
    return mask;
}

// Matches a name against a rewritten mask as the directory query does.
// matches[j][i] tells whether name[i..] matches mask[j..]; each row depends
// only on the rows after it, so the table is filled from the end and no
// pattern can make the match recurse or backtrack.
bool MatchMask(std::u32string_view name, std::u32string_view mask) {
    if (name == U"..") name = U".";  // the parent is matched as "."
    const size_t n = name.size(), k = mask.size();
    auto isTrailer = [](char32_t c) { return c == '*' || c == '<' || c == '"' || c == '>'; };

    // row(j)[i] and, for range queries, count(j)[i] = true entries in row(j)[0..i).
    std::vector<std::vector<uint8_t>> rows(k + 1, std::vector<uint8_t>(n + 1));
    std::vector<std::vector<uint32_t>> counts(k + 1, std::vector<uint32_t>(n + 2));
    auto anyIn = [&](size_t row, size_t from, size_t to) {  // any true in [from, to)
        return counts[row][to] > counts[row][from];
    };

    for (size_t j = k + 1; j-- > 0;) {
        bool trailersOnly = true;
        for (size_t t = j; t < k; ++t) trailersOnly = trailersOnly && isTrailer(mask[t]);
        for (size_t i = 0; i <= n; ++i) {
            bool result = false;
            if (i == n || j == k) {
                result = i == n && trailersOnly;
            } else {
                char32_t m = mask[j];
                if (m == '*') {
                    size_t next = j;
                    while (next < k && mask[next] == '*') ++next;
                    result = next == k || anyIn(next, i, n + 1);
                } else if (m == '<') {
                    size_t next = j + 1, p = i;
                    bool hadDot = false;
                    while (p < n && !result) {
                        size_t segmentEnd = p;
                        while (segmentEnd < n && name[segmentEnd] != '.') ++segmentEnd;
                        if (segmentEnd == n && hadDot) break;
                        if (segmentEnd < n) {
                            hadDot = true;
                            ++segmentEnd;
                        }
                        if (next < k) result = anyIn(next, p, segmentEnd);
                        p = segmentEnd;
                    }
                    result = result || rows[next][p];
                } else if (m == '?') {
                    result = rows[j + 1][i + 1];
                } else if (m == '>') {
                    if (name[i] == '.') {
                        size_t next = j + 1;
                        while (next < k && mask[next] == '>') ++next;
                        result = next == k ? rows[k][i + 1] : rows[next][i];
                    } else {
                        result = rows[j + 1][i + 1];
                    }
                } else {
                    char32_t c = m == '"' ? U'.' : m;
                    result = Upper(c) == Upper(name[i]) && rows[j + 1][i + 1];
                }
            }
            rows[j][i] = result;
        }
        for (size_t i = 0; i <= n; ++i) counts[j][i + 1] = counts[j][i] + rows[j][i];
    }
    return rows[0][0];
}

// ---------------------------------------------------------------------------
// Path text.

bool IsSeparator(char c) {
    return c == '\\' || c == '/';
}

char DriveLetter(char c) {
    if (c >= 'a' && c <= 'z') return static_cast<char>(c - 'a' + 'A');
    return c;
}

bool EqualsAsciiNoCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (Upper(static_cast<unsigned char>(a[i])) != Upper(static_cast<unsigned char>(b[i])))
            return false;
    return true;
}

// Where a path names a DOS device (NUL, CON, PRN, AUX, COM1-9, LPT1-9,
// CONIN$, CONOUT$), the position of the device name: it is the last
// component, whatever extension, ':' or trailing blanks follow it.
struct DeviceName {
    size_t offset;
    size_t length;
};
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
            device = device || EqualsAsciiNoCase(name, known);
    } else if (name.size() == 4) {
        device = (EqualsAsciiNoCase(name.substr(0, 3), "COM") ||
                  EqualsAsciiNoCase(name.substr(0, 3), "LPT")) &&
                 name[3] >= '1' && name[3] <= '9';
    } else {
        device = EqualsAsciiNoCase(name, "CONIN$") || EqualsAsciiNoCase(name, "CONOUT$");
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

// PathAppend as PathFindOnPath uses it: the folder and a file name (never a
// path) joined with one backslash and canonicalised; nothing when the result
// would not fit MAX_PATH.
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

std::string JoinHost(const std::string& folder, const std::string& name) {
    if (!folder.empty() && folder.back() == '/') return folder + name;
    return folder + "/" + name;
}

// ---------------------------------------------------------------------------
// Host folders.

struct DirCloser {
    void operator()(DIR* dir) const { closedir(dir); }
};
using DirHandle = std::unique_ptr<DIR, DirCloser>;

std::vector<std::string> ReadHostFolder(const std::string& folder) {
    std::vector<std::string> names;
    DirHandle dir(opendir(folder.c_str()));
    if (!dir) return names;
    while (dirent* item = readdir(dir.get())) {
        std::string name = item->d_name;
        if (name == "." || name == "..") continue;
        names.push_back(std::move(name));
    }
    return names;
}

// The host name of the entry of `folder` that the Windows name `name`
// means: the exact spelling, else the first (in byte order) of the names
// equal to it without regard to case, else of those whose short alias it is.
std::optional<std::string> FindHostName(const std::string& folder, std::string_view name) {
    std::string exact = WindowsToHost(name);
    struct stat info {};
    if (::lstat(JoinHost(folder, exact).c_str(), &info) == 0) return exact;

    std::u32string wanted = WindowsToUnicode(name);
    std::vector<std::string> names = ReadHostFolder(folder);
    std::sort(names.begin(), names.end());
    for (const std::string& host : names)
        if (EqualNoCase(HostToUnicode(host), wanted)) return host;
    if (IsLegal8Dot3(wanted) && wanted.find(U' ') == std::u32string::npos) {
        for (const std::string& host : names) {
            std::u32string alias = ShortAlias(HostToUnicode(host));
            if (!alias.empty() && EqualNoCase(alias, wanted)) return host;
        }
    }
    return std::nullopt;
}

// ---------------------------------------------------------------------------
// Streams over host files.

class HostFileStream : public FileStream {
  public:
    explicit HostFileStream(int fd) : fd_(fd) {}
    ~HostFileStream() override { ::close(fd_); }
    HostFileStream(const HostFileStream&) = delete;
    HostFileStream& operator=(const HostFileStream&) = delete;

    size_t Read(void* buffer, size_t size) override {
        auto* out = static_cast<char*>(buffer);
        size_t done = 0;
        while (done < size) {
            ssize_t got = ::read(fd_, out + done, size - done);
            if (got < 0 && errno == EINTR) continue;
            if (got <= 0) break;
            done += static_cast<size_t>(got);
        }
        return done;
    }

    bool Write(const void* data, size_t size) override {
        const auto* in = static_cast<const char*>(data);
        size_t done = 0;
        while (done < size) {
            ssize_t put = ::write(fd_, in + done, size - done);
            if (put < 0 && errno == EINTR) continue;
            if (put <= 0) return false;
            done += static_cast<size_t>(put);
        }
        return true;
    }

    // Writes go straight to the file; Flush asks for them to reach the disk.
    // Files that cannot be synchronised (devices, pipes) have nothing to
    // flush.
    bool Flush() override { return ::fsync(fd_) == 0 || errno == EINVAL || errno == EROFS; }

    bool Truncate(uint64_t size) override {
        const auto length = static_cast<off_t>(size);
        if (length < 0 || static_cast<uint64_t>(length) != size) return false;
        return ::ftruncate(fd_, length) == 0 && ::lseek(fd_, length, SEEK_SET) == length;
    }

  private:
    int fd_;
};

Status ErrnoStatus(int error) {
    switch (error) {
        case ENOENT:
            return status::kFileNotFound;
        case ENOTDIR:
            return status::kPathNotFound;
        case EEXIST:
            return status::kAlreadyExists;
        case ENAMETOOLONG:
            return status::kFilenameExcedRange;
        case ENOMEM:
            return status::kNotEnoughMemory;
        case ENOSPC:
        case EIO:
            return status::kWriteFault;
        default:
            return status::kAccessDenied;
    }
}

bool IsReadOnly(const struct stat& info) {
    return (info.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0;
}

// 100-nanosecond intervals between 1601-01-01 and 1970-01-01 (UTC).
constexpr uint64_t kUnixEpochAsFileTime = 116444736000000000ull;

uint64_t ToFileTime(int64_t seconds, int64_t nanoseconds) {
    if (seconds < -static_cast<int64_t>(kUnixEpochAsFileTime / 10000000)) return 0;
    return static_cast<uint64_t>(static_cast<int64_t>(kUnixEpochAsFileTime) + seconds * 10000000 +
                                 nanoseconds / 100);
}

// The host file's birth time where the file system records one, otherwise
// its last change of content, as FILETIME units.
uint64_t HostCreationTime(const std::string& hostPath, const struct stat& info) {
#ifdef STATX_BTIME
    struct statx extended {};
    if (::statx(AT_FDCWD, hostPath.c_str(), 0, STATX_BTIME, &extended) == 0 &&
        (extended.stx_mask & STATX_BTIME) != 0)
        return ToFileTime(extended.stx_btime.tv_sec, extended.stx_btime.tv_nsec);
#else
    (void)hostPath;
#endif
    return ToFileTime(info.st_mtim.tv_sec, info.st_mtim.tv_nsec);
}

}  // namespace

// ---------------------------------------------------------------------------

struct MappedFileProbe::Entry {
    std::string host;
    struct stat info {};
};

MappedFileProbe::MappedFileProbe(MappedFilesConfig config) : config_(std::move(config)) {
    // The current folder is kept as the system keeps it: normalised, with a
    // trailing backslash.
    std::string folder = config_.currentFolder;
    if (folder.size() >= 3 && folder[1] == ':' && IsSeparator(folder[2])) {
        folder[0] = DriveLetter(folder[0]);
        CollapsePath(folder, 3);
        if (folder.back() != '\\') folder.push_back('\\');
        currentFolder_ = folder;
    }
}

std::optional<std::string> MappedFileProbe::Variable(const std::string& name) const {
    for (const auto& [key, value] : config_.environment)
        if (!key.empty() && EqualNoCase(key, name)) return value;
    return std::nullopt;
}

std::optional<std::string> MappedFileProbe::FullPathName(const std::string& path) const {
    std::string_view name = CText(path);
    if (name.find_first_not_of(' ') == std::string_view::npos) return std::nullopt;
    std::string full;
    if (IsSeparator(name[0])) {
        if (name.size() > 1 && IsSeparator(name[1])) return std::nullopt;  // \\server, \\.\device
        if (currentFolder_.empty()) return std::nullopt;
        full = currentFolder_.substr(0, 2);  // the root of the current drive
        full.append(name);
    } else if (name.size() >= 2 && name[1] == ':') {
        char drive = DriveLetter(name[0]);
        if (name.size() >= 3 && IsSeparator(name[2])) {
            full = std::string(1, drive) + std::string(name.substr(1));
        } else if (!currentFolder_.empty() && currentFolder_[0] == drive) {
            full = currentFolder_ + std::string(name.substr(2));
        } else {
            // Another drive's current folder lives in the "=X:" variable;
            // without one it is the drive's root.
            std::optional<std::string> folder = Variable(std::string{'=', drive, ':'});
            full = folder ? *folder + "\\" : std::string{drive, ':', '\\'};
            full.append(name.substr(2));
        }
    } else {
        if (currentFolder_.empty()) return std::nullopt;
        full = currentFolder_ + std::string(name);
    }
    if (full.size() < 3 || full[1] != ':' || !IsSeparator(full[2])) return std::nullopt;
    full[0] = DriveLetter(full[0]);
    CollapsePath(full, 3);
    return full;
}

Status MappedFileProbe::Resolve(const std::string& path, Entry* entry) const {
    if (CText(path).size() > kMaxAnsiPath) return status::kFilenameExcedRange;
    std::optional<std::string> full = FullPathName(path);
    if (!full) return status::kPathNotFound;
    return ResolveFull(*full, entry);
}

// Looks up a path that FullPathName has already normalised (normalising it
// again could drop one more trailing dot from a folder name).
Status MappedFileProbe::ResolveFull(const std::string& full, Entry* entry) const {
    auto drive = config_.drives.find(full[0]);
    if (drive == config_.drives.end() || drive->second.empty()) return status::kPathNotFound;

    std::vector<std::string> parts = SplitComponents(full);
    for (const std::string& part : parts)
        if (HasInvalidNameChar(part)) return status::kInvalidName;

    // A trailing backslash asks for a folder: what it follows is looked up
    // as the last name, and must be a folder.
    bool wantsFolder = !parts.empty() && parts.back().empty();
    if (wantsFolder) parts.pop_back();

    std::string host = drive->second;
    struct stat info {};
    if (::stat(host.c_str(), &info) != 0 || !S_ISDIR(info.st_mode)) return status::kPathNotFound;
    for (size_t i = 0; i < parts.size(); ++i) {
        bool last = i + 1 == parts.size();
        std::optional<std::string> name = FindHostName(host, parts[i]);
        std::string next = name ? JoinHost(host, *name) : std::string();
        if (!name || ::stat(next.c_str(), &info) != 0)
            return last ? status::kFileNotFound : status::kPathNotFound;
        if (!last && !S_ISDIR(info.st_mode)) return status::kPathNotFound;
        host = std::move(next);
    }
    if (wantsFolder && !S_ISDIR(info.st_mode)) return status::kInvalidName;
    entry->host = std::move(host);
    entry->info = info;
    return status::kSuccess;
}

Status MappedFileProbe::ResolveParent(const std::string& path, std::string* hostFolder,
                                      std::string* name) const {
    if (CText(path).size() > kMaxAnsiPath) return status::kFilenameExcedRange;
    std::optional<std::string> full = FullPathName(path);
    if (!full) return status::kPathNotFound;
    if (full->size() > 3 && full->back() == '\\') full->pop_back();
    size_t slash = full->rfind('\\');
    *name = full->substr(slash + 1);
    if (HasInvalidNameChar(*name)) return status::kInvalidName;
    Entry folder;
    Status result = ResolveFull(full->substr(0, slash == 2 ? 3 : slash), &folder);
    if (result == status::kFileNotFound) return status::kPathNotFound;
    if (result != status::kSuccess) return result;
    if (!S_ISDIR(folder.info.st_mode)) return status::kPathNotFound;
    *hostFolder = folder.host;
    return status::kSuccess;
}

std::optional<Status> MappedFileProbe::DevicePath(const std::string& path,
                                                  std::string* name) const {
    std::string_view text = CText(path);
    std::optional<DeviceName> device = FindDeviceName(text);
    if (!device) return std::nullopt;
    if (name != nullptr) *name = std::string(text.substr(device->offset, device->length));
    if (device->offset == 0) return status::kSuccess;
    // The folder the device name is written in must exist.
    Entry folder;
    if (Resolve(std::string(text.substr(0, device->offset)), &folder) != status::kSuccess ||
        !S_ISDIR(folder.info.st_mode))
        return status::kPathNotFound;
    return status::kSuccess;
}

std::optional<std::string> MappedFileProbe::HostPath(const std::string& path) const {
    Entry entry;
    if (Resolve(path, &entry) != status::kSuccess) return std::nullopt;
    return entry.host;
}

std::optional<std::string> MappedFileProbe::RedirectedPath(const std::string& path) const {
    if (!config_.wow64) return std::nullopt;
    std::optional<std::string> full = FullPathName(path);
    if (!full) return std::nullopt;
    // The folders of System32 that both views share.
    static constexpr const char* kShared[] = {"catroot", "catroot2", "drivers\\etc", "logfiles",
                                              "spool"};
    const auto below = [&](const std::string& folder) -> std::optional<std::string> {
        const std::string prefix = config_.windowsFolder + "\\" + folder;
        if (full->size() < prefix.size() || !EqualNoCase(full->substr(0, prefix.size()), prefix))
            return std::nullopt;
        if (full->size() > prefix.size() && (*full)[prefix.size()] != '\\') return std::nullopt;
        return full->substr(prefix.size());
    };
    if (std::optional<std::string> rest = below("System32")) {
        for (const char* shared : kShared) {
            const std::string folder = std::string("\\") + shared;
            if (rest->size() >= folder.size() &&
                EqualNoCase(rest->substr(0, folder.size()), folder) &&
                (rest->size() == folder.size() || (*rest)[folder.size()] == '\\'))
                return std::nullopt;
        }
        return config_.windowsFolder + "\\SysWOW64" + *rest;
    }
    if (std::optional<std::string> rest = below("Sysnative"))
        return config_.windowsFolder + "\\System32" + *rest;
    return std::nullopt;
}

bool MappedFileProbe::PathExists(const std::string& path) {
    if (PathExistsAsWritten(path)) return true;
    const std::optional<std::string> redirected = RedirectedPath(path);
    return redirected && PathExistsAsWritten(*redirected);
}

bool MappedFileProbe::PathExistsAsWritten(const std::string& path) const {
    if (CText(path).size() > kMaxAnsiPath) return false;
    if (std::optional<Status> device = DevicePath(path, nullptr))
        return *device == status::kSuccess;
    if (config_.unseenPathsExist) {
        const std::optional<std::string> full = FullPathName(path);
        if (full ? config_.drives.count((*full)[0]) == 0
                 : path.size() >= 2 && IsSeparator(path[0]) && IsSeparator(path[1]))
            return true;
    }
    Entry entry;
    return Resolve(path, &entry) == status::kSuccess;
}

bool MappedFileProbe::FindOnPath(std::string& name) {
    std::string_view file = CText(name);
    // The caller's buffer is MAX_PATH bytes, and only a bare file name is
    // searched for.
    if (file.size() >= kMaxPath) return false;
    if (file.find_first_of(":\\") != std::string_view::npos) return false;

    // Each candidate folder is tried in turn; a candidate that does not fit
    // MAX_PATH ends the whole search, as it does in the shell.
    enum class Outcome { kFound, kMissing, kAbort };
    auto tryFolder = [&](std::string_view folder) {
        std::optional<std::string> candidate = ShellAppend(folder, file);
        if (!candidate) return Outcome::kAbort;
        if (!PathExists(*candidate)) return Outcome::kMissing;
        name = *candidate;
        return Outcome::kFound;
    };

    std::string windowsFolder = config_.windowsFolder.substr(0, kMaxPath - 1);
    std::optional<std::string> systemDotSystem = ShellAppend(windowsFolder, "System");
    for (const std::optional<std::string>& folder :
         {std::optional<std::string>(config_.systemFolder.substr(0, kMaxPath - 1)), systemDotSystem,
          std::optional<std::string>(windowsFolder)}) {
        if (!folder) return false;
        Outcome outcome = tryFolder(*folder);
        if (outcome != Outcome::kMissing) return outcome == Outcome::kFound;
    }

    std::optional<std::string> path = Variable("PATH");
    if (!path || CText(*path).empty()) return false;
    std::string_view entries = CText(*path);
    size_t pos = 0;
    while (true) {
        while (pos < entries.size() && entries[pos] == ' ') ++pos;
        size_t end = entries.find(';', pos);
        std::string_view folder =
            entries.substr(pos, end == std::string_view::npos ? std::string_view::npos : end - pos);
        if (folder.size() >= kMaxPath) return false;
        // An empty entry names the current folder, as a relative path does.
        Outcome outcome = tryFolder(folder);
        if (outcome != Outcome::kMissing) return outcome == Outcome::kFound;
        if (end == std::string_view::npos) return false;
        pos = end + 1;
    }
}

uint32_t MappedFileProbe::ExpandEnvironment(const std::string& text, std::string& expanded,
                                            uint32_t limit) {
    std::string_view source = CText(text);
    std::string out;
    size_t i = 0;
    while (i < source.size()) {
        if (source[i] != '%') {
            size_t next = source.find('%', i);
            if (next == std::string_view::npos) next = source.size();
            out.append(source.substr(i, next - i));
            i = next;
            continue;
        }
        size_t close = source.find('%', i + 1);
        if (close == std::string_view::npos) {  // an unfinished name stays as written
            out.append(source.substr(i));
            break;
        }
        std::string variable(source.substr(i + 1, close - i - 1));
        std::optional<std::string> value = variable.empty() ? std::nullopt : Variable(variable);
        if (value)
            out.append(CText(*value));
        else
            out.append(source.substr(i, close - i + 1));  // unknown: "%NAME%" stays
        i = close + 1;
    }
    // The size counts the terminating zero. The text is handed out only when
    // it fits with room to spare; otherwise the size is reported one byte
    // larger, as the system does.
    auto needed = static_cast<uint32_t>(std::min<size_t>(out.size() + 1, UINT32_MAX - 1));
    if (limit > needed) {
        expanded = std::move(out);
        return needed;
    }
    expanded.clear();
    return needed + 1;
}

bool MappedFileProbe::SpecialFolder(int csidl, std::string& path) {
    std::string folder;
    auto it = config_.specialFolders.find(csidl);
    if (it != config_.specialFolders.end())
        folder = it->second;
    else if (csidl == csidl::kWindows)
        folder = config_.windowsFolder;
    else if (csidl == csidl::kSystem)
        folder = config_.systemFolder;
    // Without being asked to create it, the shell reports a folder only when
    // it exists.
    if (folder.empty() || !PathExists(folder)) return false;
    path = folder;
    return true;
}

std::string MappedFileProbe::ModuleFileName() {
    return config_.moduleFileName;
}

Status MappedFileProbe::CreateFolder(const std::string& path) {
    std::string folder, name;
    Status result = ResolveParent(path, &folder, &name);
    if (result != status::kSuccess) return result;
    if (name.empty() || FindHostName(folder, name)) return status::kAlreadyExists;
    if (::mkdir(JoinHost(folder, WindowsToHost(name)).c_str(), 0777) != 0) {
        Status error = ErrnoStatus(errno);
        return error == status::kFileNotFound ? status::kPathNotFound : error;
    }
    return status::kSuccess;
}

Status MappedFileProbe::DeleteFile(const std::string& path) {
    Entry entry;
    Status result = Resolve(path, &entry);
    if (result != status::kSuccess) return result;
    if (S_ISDIR(entry.info.st_mode) || IsReadOnly(entry.info)) return status::kAccessDenied;
    if (::unlink(entry.host.c_str()) != 0) return ErrnoStatus(errno);
    return status::kSuccess;
}

Status MappedFileProbe::ListFolder(const std::string& pattern, std::vector<FileEntry>& entries) {
    const Status result = ListFolderAsWritten(pattern, entries);
    if (result != status::kFileNotFound && result != status::kPathNotFound) return result;
    const std::optional<std::string> redirected = RedirectedPath(pattern);
    return redirected ? ListFolderAsWritten(*redirected, entries) : result;
}

Status MappedFileProbe::ListFolderAsWritten(const std::string& pattern,
                                            std::vector<FileEntry>& entries) {
    entries.clear();
    std::string_view text = CText(pattern);
    if (text.size() > kMaxAnsiPath) return status::kFilenameExcedRange;
    std::string deviceName;
    if (std::optional<Status> device = DevicePath(pattern, &deviceName)) {
        if (*device != status::kSuccess) return *device;
        entries.push_back(FileEntry{deviceName, false, 0});
        return status::kSuccess;
    }
    std::optional<std::string> full = FullPathName(pattern);
    if (!full) return status::kPathNotFound;
    size_t slash = full->rfind('\\');
    std::string filePart = full->substr(slash + 1);
    if (filePart.empty()) return status::kFileNotFound;

    // The folder part must name a folder: a file there is ERROR_DIRECTORY.
    Entry folder;
    Status result = ResolveFull(full->substr(0, slash == 2 ? 3 : slash), &folder);
    if (result == status::kFileNotFound) return status::kPathNotFound;
    if (result != status::kSuccess) return result;
    if (!S_ISDIR(folder.info.st_mode)) return status::kDirectory;
    bool isRoot = slash == 2;

    auto makeEntry = [&](const std::string& host, std::string name) -> std::optional<FileEntry> {
        struct stat info {};
        const std::string hostPath = JoinHost(folder.host, host);
        if (::stat(hostPath.c_str(), &info) != 0) return std::nullopt;
        FileEntry entry;
        entry.name = std::move(name);
        entry.isDirectory = S_ISDIR(info.st_mode);
        entry.size = entry.isDirectory ? 0 : static_cast<uint64_t>(info.st_size);
        entry.creationTime = HostCreationTime(hostPath, info);
        return entry;
    };

    if (filePart.find_first_of("*?<>") == std::string::npos) {
        // No wildcard: the one entry of that name, in its stored spelling.
        if (HasInvalidNameChar(filePart)) return status::kInvalidName;
        std::optional<std::string> host = FindHostName(folder.host, filePart);
        std::optional<FileEntry> entry;
        if (host) entry = makeEntry(*host, UnicodeToWindows(HostToUnicode(*host)));
        if (!entry) return status::kFileNotFound;
        entries.push_back(std::move(*entry));
        return status::kSuccess;
    }

    std::u32string mask = FixupMask(WindowsToUnicode(PatternFileName(text)));
    if (!isRoot) {
        for (const char* dots : {".", ".."}) {
            std::u32string name = WindowsToUnicode(dots);
            if (!MatchMask(name, mask)) continue;
            if (std::optional<FileEntry> entry = makeEntry(dots, dots)) entries.push_back(*entry);
        }
    }
    size_t dotEntries = entries.size();

    std::vector<std::pair<std::u32string, FileEntry>> found;
    for (const std::string& host : ReadHostFolder(folder.host)) {
        std::u32string name = HostToUnicode(host);
        if (name.find_first_of(U"\\/") != std::u32string::npos) continue;  // no Windows name
        if (!MatchMask(name, mask)) {
            std::u32string alias = ShortAlias(name);
            if (alias.empty() || !MatchMask(alias, mask)) continue;
        }
        if (std::optional<FileEntry> entry = makeEntry(host, UnicodeToWindows(name)))
            found.emplace_back(std::move(name), std::move(*entry));
    }
    std::sort(found.begin(), found.end(),
              [](const auto& a, const auto& b) { return NameLess(a.first, b.first); });
    entries.reserve(dotEntries + found.size());
    for (auto& item : found) entries.push_back(std::move(item.second));
    return entries.empty() ? status::kFileNotFound : status::kSuccess;
}

std::unique_ptr<FileStream> MappedFileProbe::OpenFile(const std::string& path, FileMode mode,
                                                      Status* status) {
    Status ignored = 0;
    Status& result = status != nullptr ? *status : ignored;
    auto fail = [&](Status why) -> std::unique_ptr<FileStream> {
        result = why;
        return nullptr;
    };
    if (CText(path).size() > kMaxAnsiPath) return fail(status::kFilenameExcedRange);

    int fd = -1;
    if (std::optional<Status> device = DevicePath(path, nullptr)) {
        // Devices read as empty and swallow what is written.
        if (*device != status::kSuccess) return fail(*device);
        fd = ::open("/dev/null", (mode == FileMode::kRead ? O_RDONLY : O_WRONLY) | O_CLOEXEC);
    } else if (mode == FileMode::kRead) {
        Entry entry;
        Status found = Resolve(path, &entry);
        if (found != status::kSuccess) return fail(found);
        if (S_ISDIR(entry.info.st_mode)) return fail(status::kAccessDenied);
        fd = ::open(entry.host.c_str(), O_RDONLY | O_CLOEXEC);
    } else if (mode == FileMode::kOpenExistingWrite) {
        // The host has no exclusive opens; what remains of the rule is that
        // folders and read-only files cannot be opened for writing.
        Entry entry;
        Status found = Resolve(path, &entry);
        if (found != status::kSuccess) return fail(found);
        if (S_ISDIR(entry.info.st_mode) || IsReadOnly(entry.info))
            return fail(status::kAccessDenied);
        fd = ::open(entry.host.c_str(), O_WRONLY | O_CLOEXEC);
    } else {
        std::optional<std::string> full = FullPathName(path);
        if (!full) return fail(status::kPathNotFound);
        if (full->size() > 3 && full->back() == '\\') {
            // A trailing backslash can only name an existing folder, which
            // cannot be opened as a file.
            Entry entry;
            Status found = ResolveFull(*full, &entry);
            if (found == status::kSuccess)
                return fail(mode == FileMode::kCreateNew ? status::kFileExists
                                                         : status::kAccessDenied);
            return fail(found == status::kFileNotFound ? status::kInvalidName : found);
        }
        std::string folder, name;
        Status found = ResolveParent(path, &folder, &name);
        if (found != status::kSuccess) return fail(found);
        std::optional<std::string> existing = FindHostName(folder, name);
        struct stat info {};
        if (existing && ::stat(JoinHost(folder, *existing).c_str(), &info) == 0) {
            if (mode == FileMode::kCreateNew) return fail(status::kFileExists);
            if (S_ISDIR(info.st_mode) || IsReadOnly(info)) return fail(status::kAccessDenied);
            fd = ::open(JoinHost(folder, *existing).c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC);
        } else {
            int flags =
                O_WRONLY | O_CREAT | O_CLOEXEC | (mode == FileMode::kCreateNew ? O_EXCL : O_TRUNC);
            fd = ::open(JoinHost(folder, WindowsToHost(name)).c_str(), flags, 0666);
        }
    }
    if (fd < 0) {
        Status error = ErrnoStatus(errno);
        return fail(error == status::kAlreadyExists ? status::kFileExists : error);
    }
    result = status::kSuccess;
    return std::make_unique<HostFileStream>(fd);
}

MappedFilesConfig MappedFilesConfig::Defaults() {
    MappedFilesConfig config;
    const std::string windows = config.windowsFolder;
    const std::string system = config.systemFolder;
    const std::string profiles = "C:\\Documents and Settings";
    const std::string user = profiles + "\\User";
    const std::string allUsers = profiles + "\\All Users";
    const std::string programFiles = "C:\\Program Files";
    config.environment = {
        {"ALLUSERSPROFILE", allUsers},
        {"APPDATA", user + "\\Application Data"},
        {"CommonProgramFiles", programFiles + "\\Common Files"},
        {"ComSpec", system + "\\cmd.exe"},
        {"HOMEDRIVE", "C:"},
        {"HOMEPATH", "\\Documents and Settings\\User"},
        {"OS", "Windows_NT"},
        {"Path", system + ";" + windows + ";" + system + "\\Wbem"},
        {"PATHEXT", ".COM;.EXE;.BAT;.CMD;.VBS;.VBE;.JS;.JSE;.WSF;.WSH"},
        {"ProgramFiles", programFiles},
        {"SystemDrive", "C:"},
        {"SystemRoot", windows},
        {"TEMP", user + "\\Local Settings\\Temp"},
        {"TMP", user + "\\Local Settings\\Temp"},
        {"USERNAME", "User"},
        {"USERPROFILE", user},
        {"windir", windows},
    };
    config.specialFolders = {
        {csidl::kPrograms, user + "\\Start Menu\\Programs"},
        {csidl::kStartup, user + "\\Start Menu\\Programs\\Startup"},
        {csidl::kFonts, windows + "\\Fonts"},
        {csidl::kCommonPrograms, allUsers + "\\Start Menu\\Programs"},
        {csidl::kCommonStartup, allUsers + "\\Start Menu\\Programs\\Startup"},
        {csidl::kAppData, user + "\\Application Data"},
        {csidl::kWindows, windows},
        {csidl::kSystem, system},
        {csidl::kProgramFiles, programFiles},
    };
    return config;
}

bool MatchesFilePattern(const std::string& pattern, const std::string& name) {
    return MatchMask(WindowsToUnicode(CText(name)), FixupMask(WindowsToUnicode(CText(pattern))));
}

}  // namespace qm
