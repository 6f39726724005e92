// FileProbe over the live file system: each call goes straight to the
// kernel32 / shlwapi / shell32 ANSI function of the same meaning.
#pragma once

#include "platform/file_probe.h"

namespace qm {

class Win32FileProbe : public FileProbe {
  public:
    bool PathExists(const std::string& path) override;
    bool FindOnPath(std::string& name) override;
    uint32_t ExpandEnvironment(const std::string& text, std::string& expanded,
                               uint32_t limit = kMaxExpandedPath) override;
    bool SpecialFolder(int csidl, std::string& path) override;
    std::string ModuleFileName() override;
    Status CreateFolder(const std::string& path) override;
    Status DeleteFile(const std::string& path) override;
    Status ListFolder(const std::string& pattern, std::vector<FileEntry>& entries) override;
    std::unique_ptr<FileStream> OpenFile(const std::string& path, FileMode mode,
                                         Status* status = nullptr) override;
};

}  // namespace qm
