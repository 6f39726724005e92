// A FileProbe for machines without Windows: drive letters are mapped to
// folders of the host, and Windows paths are resolved component by
// component without regard to case, as the Windows file system does. The
// environment, the search path, the current folder and the special folders
// come from a configuration instead of the system.
#pragma once

#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "platform/file_probe.h"

namespace qm {

struct MappedFilesConfig {
    // Drive letter (upper case) to host folder, e.g. 'C' -> "/tmp/demo/c".
    std::map<char, std::string> drives;
    // Environment variables; names are matched without regard to case.
    // PATH, SystemRoot and windir are taken from here when set.
    std::vector<std::pair<std::string, std::string>> environment;
    std::string currentFolder = "C:\\";
    std::string windowsFolder = "C:\\WINDOWS";
    std::string systemFolder = "C:\\WINDOWS\\system32";
    // csidl id to path; kWindows and kSystem default to the folders above.
    std::map<int, std::string> specialFolders;
    std::string moduleFileName = "C:\\Program Files\\Quillmend\\Quillmend.exe";

    // The configuration the tools use unless told otherwise: SystemRoot and
    // windir are the Windows folder, PATH is the system folder, the Windows
    // folder and its System32\Wbem folder, and the usual special folders of
    // a Windows XP machine below C:\Documents and Settings.
    static MappedFilesConfig Defaults();
};

class MappedFileProbe : public FileProbe {
public:
    explicit MappedFileProbe(MappedFilesConfig config);

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

    // The host path of an existing file or folder, if the Windows path
    // resolves to one.
    std::optional<std::string> HostPath(const std::string& path) const;

    const MappedFilesConfig& config() const { return config_; }

private:
    MappedFilesConfig config_;
};

// Does `name` match `pattern` as the system's file search matches the last
// component of a FindFirstFileA pattern? ('*' any run of characters, '?'
// exactly one, case-insensitive, "*.*" matches every name.)
bool MatchesFilePattern(const std::string& pattern, const std::string& name);

}  // namespace qm
