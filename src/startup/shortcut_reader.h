// Turning a Startup-folder shortcut into the command line that the startup
// list shows: the target path, one blank, and the arguments.
#pragma once

#include <string>

#include "platform/file_probe.h"

namespace qm {

// Reads one shortcut file. Implementations: the shell's link object on
// Windows (win32_shortcut_reader.h), and the file format reader below
// everywhere else.
class ShortcutReader {
  public:
    virtual ~ShortcutReader() = default;
    // The target path, a blank and the arguments of the shortcut at `path`;
    // the empty text when it cannot be read. The blank is there also when
    // there are no arguments.
    virtual std::string CommandLine(const std::string& path) = 0;
};

// Reads the file through a FileProbe and decodes it with ParseShellLink,
// so that shortcuts on a mapped drive can be read without a shell.
class ShortcutFileReader : public ShortcutReader {
  public:
    explicit ShortcutFileReader(FileProbe& files) : files_(files) {}
    std::string CommandLine(const std::string& path) override;

  private:
    FileProbe& files_;
};

// The command line of the shortcut at `path`, with ".lnk" appended when the
// path (in lower case) does not contain it. A path that does not fit the
// shell's 260-character path buffer cannot be loaded and gives the empty
// text.
std::string ResolveShortcut(ShortcutReader& reader, std::string path);

}  // namespace qm
