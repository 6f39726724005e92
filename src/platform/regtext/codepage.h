// Single-character Windows-1252 mapping shared by the reader and the writer.
#pragma once

#include <cstdint>

namespace qm::regtext::detail {

// The UTF-16 code unit of a code-page byte. The five bytes that Windows-1252
// leaves undefined (0x81, 0x8D, 0x8F, 0x90, 0x9D) map to the C1 control of
// the same number, as MultiByteToWideChar does.
char16_t CodePageCharToUtf16(uint8_t byte);

// The code-page byte of a UTF-16 code unit, '?' when there is none.
uint8_t Utf16CharToCodePage(char16_t unit);

}  // namespace qm::regtext::detail
