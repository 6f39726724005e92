// Code pages away from Windows, for the in-memory registry (and the tests
// that run it in another code page than Windows-1252): tables made once per
// code page with the C library's iconv, which knows the Windows code pages
// by name ("CP1251", "CP932" ...).
#pragma once

#include <cstdint>

#include "platform/code_page.h"

namespace qm {

// The code page of that number, made on first use and kept for the life of
// the process; Windows-1252 is CodePage::Windows1252(). Null when the C
// library does not know it, or it is neither a single-byte code page nor
// one of the double-byte code pages 932, 936, 949 and 950.
const CodePage* HostCodePage(uint32_t number);

}  // namespace qm
