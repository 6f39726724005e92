// Shortcuts read through the shell's link object (Windows only).
#pragma once

#include <string>

#include "startup/shortcut_reader.h"

namespace qm {

// For each shortcut: COM is initialised for the thread, a shell link object
// is created (CLSID_ShellLink, IShellLinkA), the file is loaded through its
// IPersistFile, and GetPath (1024 bytes, UNC priority) and GetArguments
// (1024 bytes) are read; then everything is released and COM uninitialised.
// Any failed step gives the empty text. Where the system has no shell link
// object to create, the file is decoded by the format reader instead.
class ShellLinkObjectReader : public ShortcutReader {
  public:
    explicit ShellLinkObjectReader(FileProbe& files) : fallback_(files) {}
    std::string CommandLine(const std::string& path) override;

  private:
    ShortcutFileReader fallback_;
};

}  // namespace qm
