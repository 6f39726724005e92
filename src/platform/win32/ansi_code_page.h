// The system's ANSI code page (GetACP): its lead bytes as IsDBCSLeadByteEx
// tells them, and its conversions as the ANSI functions make them
// (MultiByteToWideChar and WideCharToMultiByte with CP_ACP).
#pragma once

#include "platform/code_page.h"

namespace qm::win32 {

// One object for the life of the process; the code page does not change
// while a program runs.
const CodePage& AnsiCodePage();

}  // namespace qm::win32
