#include "tests/ui/res_file.h"

#include <fstream>
#include <iterator>

namespace qm::ui::testing {
namespace {

uint32_t Read32(const std::vector<uint8_t>& b, size_t at) {
    return b[at] | (b[at + 1] << 8) | (b[at + 2] << 16) | (static_cast<uint32_t>(b[at + 3]) << 24);
}

uint16_t Read16(const std::vector<uint8_t>& b, size_t at) {
    return static_cast<uint16_t>(b[at] | (b[at + 1] << 8));
}

// A type or name field: a number (0xFFFF, n) or a text; -1 for a text.
bool ReadId(const std::vector<uint8_t>& b, size_t end, size_t* at, int* id) {
    if (*at + 2 > end) return false;
    if (Read16(b, *at) == 0xFFFF) {
        if (*at + 4 > end) return false;
        *id = Read16(b, *at + 2);
        *at += 4;
        return true;
    }
    *id = -1;
    for (;;) {
        if (*at + 2 > end) return false;
        const uint16_t c = Read16(b, *at);
        *at += 2;
        if (c == 0) return true;
    }
}

}  // namespace

std::optional<ResourceMap> ReadResFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return std::nullopt;
    const std::vector<uint8_t> b((std::istreambuf_iterator<char>(in)),
                                 std::istreambuf_iterator<char>());
    ResourceMap resources;
    size_t at = 0;
    while (at < b.size()) {
        if (b.size() - at < 8) return std::nullopt;
        const uint32_t dataSize = Read32(b, at);
        const uint32_t headerSize = Read32(b, at + 4);
        if (headerSize < 8 || b.size() - at < headerSize || b.size() - at - headerSize < dataSize) {
            return std::nullopt;
        }
        size_t field = at + 8;
        int type = 0, name = 0;
        if (!ReadId(b, at + headerSize, &field, &type) ||
            !ReadId(b, at + headerSize, &field, &name)) {
            return std::nullopt;
        }
        const size_t data = at + headerSize;
        if (dataSize > 0 && type >= 0 && name >= 0) {
            resources[{type, name}] =
                std::vector<uint8_t>(b.begin() + static_cast<long>(data),
                                     b.begin() + static_cast<long>(data + dataSize));
        }
        at = (data + dataSize + 3) & ~static_cast<size_t>(3);
    }
    return resources;
}

}  // namespace qm::ui::testing
