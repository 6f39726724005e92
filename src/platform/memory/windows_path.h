// Windows path text as the system's path functions read and rewrite it.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace qm::mapped {

// The longest path the ANSI file functions take: their conversion buffer
// holds 260 characters and the terminating zero.
constexpr size_t kMaxAnsiPath = 260;

// Characters no Windows file name may hold.
bool HasInvalidNameChar(std::string_view name);
bool IsSeparator(char c);
char DriveLetter(char c);

// Where a path names a DOS device (NUL, CON, PRN, AUX, COM1-9, LPT1-9,
// CONIN$, CONOUT$), the position of the device name: it is the last
// component, whatever extension, ':' or trailing blanks follow it.
struct DeviceName {
    size_t offset;
    size_t length;
};
std::optional<DeviceName> FindDeviceName(std::string_view path);

// Applies the system's normalisation to a full path whose first `mark`
// characters are its root ("C:\").
void CollapsePath(std::string& path, size_t mark);

// The names of a full path after its "X:\"; a trailing backslash leaves an
// empty last name.
std::vector<std::string> SplitComponents(const std::string& full);

}  // namespace qm::mapped
