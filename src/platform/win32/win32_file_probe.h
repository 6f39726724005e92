// FileProbe over the live file system: each call goes straight to the
// kernel32 / shell32 ANSI function of the same meaning, except the
// existence tests. CheckPath asks GetFileAttributesW (a path too long for
// the ANSI functions in its \\?\ form) and believes "not found" only on a
// local fixed drive that is present; FindOnPath makes the shell's search
// with that test. On 64-bit Windows the existence tests (CheckPath,
// FindOnPath, ListFolder) also look with file-system redirection off when
// the 32-bit program's view does not find the path, so that a path is
// missing only when it is missing in both views.
#pragma once

#include "platform/file_probe.h"

namespace qm {

class Win32FileProbe : public FileProbe {
  public:
    Existence CheckPath(const std::string& path) override;
    Existence FindOnPath(std::string& name) override;
    bool SearchPlaces(SearchFolders& folders) override;
    bool CanTellMissing(const std::string& path) override;
    uint32_t ExpandEnvironment(const std::string& text, std::string& expanded,
                               uint32_t limit = kMaxExpandedPath) override;
    bool SpecialFolder(int csidl, std::string& path) override;
    std::string ModuleFileName() override;
    Status CreateFolder(const std::string& path) override;
    Status DeleteFile(const std::string& path) override;
    Status ListFolder(const std::string& pattern, std::vector<FileEntry>& entries) override;
    std::unique_ptr<FileStream> OpenFile(const std::string& path, FileMode mode,
                                         Status* status = nullptr) override;

  private:
    static Status ListFolderOnce(const std::string& pattern, std::vector<FileEntry>& entries);
};

}  // namespace qm
