#include "platform/memory/file_pattern.h"

#include <cstdint>
#include <vector>

#include "platform/c_text.h"
#include "platform/memory/host_text.h"
#include "platform/memory/mapped_file_probe.h"
#include "platform/name_case.h"

namespace qm {

namespace mapped {

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
                    result = UpperChar(c) == UpperChar(name[i]) && rows[j + 1][i + 1];
                }
            }
            rows[j][i] = result;
        }
        for (size_t i = 0; i <= n; ++i) counts[j][i + 1] = counts[j][i] + rows[j][i];
    }
    return rows[0][0];
}

}  // namespace mapped

bool MatchesFilePattern(const std::string& pattern, const std::string& name) {
    return mapped::MatchMask(mapped::WindowsToUnicode(CText(name)),
                             mapped::FixupMask(mapped::WindowsToUnicode(CText(pattern))));
}

}  // namespace qm
