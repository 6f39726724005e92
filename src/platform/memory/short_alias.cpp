#include "platform/memory/short_alias.h"

#include <cstdint>
#include <cstring>

#include "platform/name_case.h"

namespace qm::mapped {

namespace {

bool IsInvalidDosChar(char32_t c) {
    return c > 0x7F || (c != 0 && std::strchr("*?<>|\"+=,;[] ~.", static_cast<char>(c)) != nullptr);
}

}  // namespace

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

std::u32string ShortAlias(std::u32string_view name) {
    if (name.empty() || IsLegal8Dot3(name)) return {};
    static constexpr char kHashChars[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZ012345";
    uint16_t hash = 0xBEEF;
    size_t end = name.size();
    for (size_t p = 0; p + 1 < end; ++p)
        hash = static_cast<uint16_t>((hash << 3) ^ (hash >> 5) ^ LowerChar(name[p]) ^
                                     (LowerChar(name[p + 1]) << 8));
    hash = static_cast<uint16_t>((hash << 3) ^ (hash >> 5) ^ LowerChar(name[end - 1]));

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
    for (char32_t& c : alias) c = UpperChar(c);
    return alias;
}

}  // namespace qm::mapped
