// A reader of shortcut (.lnk) files in the published Shell Link binary
// format, for machines without the shell's link object. It gives what the
// link object's GetPath (with UNC priority) and GetArguments give for the
// same file: the target's full path and the argument text, in the system
// code page.
//
// The reader trusts nothing in the file: every size and offset is checked
// against the bytes that are there, nothing is read past them, and a file
// that is cut short or whose parts do not fit together is rejected as a
// whole, as the shell rejects it when loading.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace qm {

struct ShellLinkFields {
    // The target's full path: the link information's local base path (or
    // network share) joined with its common path suffix, or, when the file
    // has no usable link information, the path the item id list names.
    // Empty when the file names no file system path.
    std::string targetPath;
    // The command line arguments, empty when there are none.
    std::string arguments;
};

// Parses the bytes of a .lnk file. False when they are not a shell link or
// are malformed; `fields` is then left empty.
bool ParseShellLink(const uint8_t* data, size_t size, ShellLinkFields& fields);

}  // namespace qm
