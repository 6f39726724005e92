// Conversions between the ANSI code page and the UTF-16 that the registry
// and file system hold, for the live backends: the same conversion the ANSI
// functions make, and whether it is exact (gives back the very same UTF-16).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace qm::win32 {

// Code-page text as UTF-16 (MultiByteToWideChar with the ANSI code page).
std::wstring Widen(std::string_view text);

// UTF-16 as the ANSI functions hand it out (characters outside the code
// page replaced by their nearest form or '?'). True when converting `ansi`
// back gives `text` unchanged.
bool Narrow(std::wstring_view text, std::string& ansi);

// A name as the ANSI functions hand it out; true when it is exact and holds
// no zero character (which the ANSI functions would take for its end).
bool NarrowName(std::wstring_view name, std::string& ansi);

// Value data as the ANSI functions hand it out: text types (1, 2 and 7)
// converted from UTF-16, every other type as it is. False when text does
// not convert exactly, and for text of an odd number of bytes (whose last
// byte no conversion keeps).
bool NarrowData(uint32_t type, const uint8_t* data, size_t size, std::string& ansi);

// The form two names are compared in to tell whether the registry takes
// them for the same name: UTF-16 in upper case.
std::wstring NameKey(std::string_view ansiName);

}  // namespace qm::win32
