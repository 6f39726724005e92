// A FileProbe for machines without Windows: drive letters are mapped to
// folders of the host, and Windows paths are resolved component by
// component without regard to case, as the Windows file system does. The
// environment, the search path, the current folder and the special folders
// come from a configuration instead of the system.
//
// The probe answers as the ANSI functions do under Wine, so that the same
// tests pass against both backends:
//  - A path is completed against the current folder ("x", "\x", "C:x"),
//    '/' separates like '\', "." and ".." components are applied, runs of
//    separators count as one, one trailing dot is dropped from each folder
//    name and every trailing dot and blank from the last name
//    ("C:\a.txt. " is "C:\a.txt"). The ANSI operations take at most 260
//    bytes; the existence tests take paths of any length.
//  - A path is missing only on a drive letter that is mapped to a host
//    folder that is there, as the live probe says it only for local fixed
//    drives that are present. A drive letter without a folder, or mapped to
//    a folder that is gone, a network path, a device name in a folder that
//    is not found and a name the system refuses leave the question open
//    (kCannotTell). A scan of a disk taken out of its machine cannot see the
//    other drives, and so never reports what lies on them.
//  - A name is looked up with its exact spelling first; otherwise the host
//    entries that equal it without regard to case are candidates and the
//    one whose host name sorts first (byte order) is taken. A name may also
//    be the short (8.3) alias that Wine derives for a long name.
//  - Windows names are Windows-1252 text; host names are UTF-8. Case is
//    folded as the registry folds it (platform/name_case.h).
//  - Folder listings give "." and ".." first (never for a drive's root) and
//    then the entries in the order Wine gives: by name without regard to
//    case, then by exact name. Wildcards match as the system's file search
//    matches them, including its DOS rules ("*.*" is every name, "*." the
//    names without extension, "?" before a dot may match nothing) and the
//    short aliases ("*.htm" finds "page.html").
//  - A host file without any write permission bit is read-only, as under
//    Wine: it cannot be deleted or overwritten.
//  - With `wow64` the drives are those of 64-bit Windows as this 32-bit
//    program sees them: the existence tests (CheckPath, FindOnPath,
//    ListFolder) find a path in the Windows folder's System32 also in
//    SysWOW64, and one in Sysnative in System32, as the live probe does
//    with and without file-system redirection.
//
// All methods may be called from any thread. Beyond its configuration the
// probe keeps what it has read of the host's folders, for as long as they
// do not change (see host_folder.h), and its answers to CheckPath. Its
// parts: host_text (code page and UTF-8), short_alias, file_pattern,
// windows_path (path text), host_folder (every read of a host folder),
// host_file_stream, mapped_file_resolve (Windows path to host path) and
// this class's operations.
#pragma once

#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "platform/file_probe.h"

namespace qm {

namespace mapped {
class HostFolders;
}

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
    // The Windows folder holds SysWOW64 beside System32 (see above).
    bool wow64 = false;

    // The configuration the tools use unless told otherwise: SystemRoot and
    // windir are the Windows folder, PATH is the system folder, the Windows
    // folder and its System32\Wbem folder, and the usual special folders of
    // a Windows XP machine below C:\Documents and Settings.
    static MappedFilesConfig Defaults();
};

class MappedFileProbe : public FileProbe {
  public:
    explicit MappedFileProbe(MappedFilesConfig config);
    ~MappedFileProbe() override;

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

    // The host path of an existing file or folder, if the Windows path
    // resolves to one.
    std::optional<std::string> HostPath(const std::string& path) const;

    // The full Windows path that `path` names once it is completed against
    // the current folder and normalised as the system normalises it, or
    // nothing for an empty or network path.
    std::optional<std::string> FullPathName(const std::string& path) const;

    const MappedFilesConfig& config() const { return config_; }

  private:
    struct Entry;
    // The path as the 32-bit view's file-system redirection makes it, or
    // nothing when it changes nothing (or there is no such view).
    std::optional<std::string> RedirectedPath(const std::string& path) const;
    Existence CheckAsWritten(const std::string& path) const;
    // Whether the drive letter is mapped to a host folder that is there.
    bool DrivePresent(char letter) const;
    Status ListFolderAsWritten(const std::string& pattern, std::vector<FileEntry>& entries);
    // With `typeOnly`, of the entry itself only whether it is a folder is
    // asked for: existence questions need no more.
    Status Resolve(const std::string& path, Entry* entry, bool typeOnly = false) const;
    Status ResolveFull(const std::string& full, Entry* entry, bool typeOnly = false) const;
    Status ResolveParent(const std::string& path, Entry* folder, std::string* name) const;
    std::optional<Status> DevicePath(const std::string& path, std::string* name) const;
    std::optional<std::string> Variable(const std::string& name) const;

    MappedFilesConfig config_;
    std::string currentFolder_;  // normalised, ends in a backslash
    std::unique_ptr<mapped::HostFolders> folders_;
};

// Does `name` match `pattern` as the system's file search matches the last
// component of a FindFirstFileA pattern? ('*' any run of characters, '?'
// exactly one, case-insensitive, "*.*" matches every name.) Short aliases
// are not considered here; ListFolder adds them.
bool MatchesFilePattern(const std::string& pattern, const std::string& name);

}  // namespace qm
