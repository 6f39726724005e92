// Little-endian numbers in the bytes of a hive file or its logs.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

namespace qm::hive {

inline uint16_t Le16(std::string_view b, size_t at) {
    return static_cast<uint16_t>(static_cast<uint8_t>(b[at]) | static_cast<uint8_t>(b[at + 1])
                                                                   << 8);
}

inline uint32_t Le32(std::string_view b, size_t at) {
    return uint32_t{static_cast<uint8_t>(b[at])} | uint32_t{static_cast<uint8_t>(b[at + 1])} << 8 |
           uint32_t{static_cast<uint8_t>(b[at + 2])} << 16 |
           uint32_t{static_cast<uint8_t>(b[at + 3])} << 24;
}

inline uint64_t Le64(std::string_view b, size_t at) {
    return uint64_t{Le32(b, at)} | uint64_t{Le32(b, at + 4)} << 32;
}

inline void PutLe32(std::span<char> b, size_t at, uint32_t value) {
    for (int i = 0; i < 4; ++i) b[at + i] = static_cast<char>(value >> (8 * i));
}

}  // namespace qm::hive
