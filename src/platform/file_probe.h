// The file system as the rest of the program sees it: existence tests, the
// search path, environment expansion, special folders, and the few file
// operations the program makes (create a folder, delete, list, read and
// write whole files). Paths are Windows paths in the system code page
// ("C:\WINDOWS\system32\foo.dll"). Two backends implement it: the live file
// system (win32/) and drive letters mapped to host folders (memory/).
//
// No operation throws; failures come back as false, 0 or a status.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/existence.h"
#include "platform/win32_codes.h"

namespace qm {

// The longest expansion ExpandEnvironmentStringsA may give the program,
// terminating zero included.
inline constexpr uint32_t kMaxExpandedPath = 1024;

// One entry of a folder listing.
struct FileEntry {
    std::string name;  // the name as stored, without the folder
    bool isDirectory = false;
    uint64_t size = 0;
    // When the file was created, in FILETIME units (100 ns since 1601-01-01
    // UTC); 0 when the file system does not say.
    uint64_t creationTime = 0;
};

// A file opened for reading or writing. Closed when destroyed.
class FileStream {
  public:
    virtual ~FileStream() = default;
    // Reads up to `size` bytes; returns how many were read (0 at the end or
    // on an error).
    virtual size_t Read(void* buffer, size_t size) = 0;
    // Writes all `size` bytes or returns false.
    virtual bool Write(const void* data, size_t size) = 0;
    // Pushes buffered bytes to the file system; false on a write error.
    virtual bool Flush() = 0;
    // Cuts a file opened for writing back to its first `size` bytes and
    // goes on writing from there (SetFilePointer + SetEndOfFile). False when
    // that fails or the stream cannot do it.
    virtual bool Truncate(uint64_t size) {
        (void)size;
        return false;
    }
};

// The folders that FindOnPath searches for a bare name, as
// SearchForProgram (platform/search_path.h) takes them.
struct SearchFolders {
    std::string systemFolder;
    std::string windowsFolder;
    std::optional<std::string> pathVariable;  // PATH, when it is set
};

enum class FileMode {
    kRead,          // an existing file, for reading
    kCreateNew,     // a new file for writing; fails with kFileExists if there is one
    kCreateAlways,  // a file for writing, created or truncated
    // An existing file for writing, nothing shared with other openers and
    // nothing truncated (CreateFileA with GENERIC_WRITE, no sharing,
    // OPEN_EXISTING): succeeds only when no other program holds the file
    // open and it is not read-only.
    kOpenExistingWrite,
};

class FileProbe {
  public:
    virtual ~FileProbe() = default;

    // Whether a file or folder exists at `path` (a relative path is taken
    // from the current folder), in the three answers of platform/existence.h:
    // kMissing only when the system said that it, or a folder on its way,
    // does not exist (ERROR_FILE_NOT_FOUND, ERROR_PATH_NOT_FOUND) and
    // CanTellMissing(path) holds. Paths of any length are tested, not only
    // those the ANSI functions take. A network path is never tested
    // (kCannotTell), and a DOS device name exists where its folder does.
    virtual Existence CheckPath(const std::string& path) = 0;

    // CheckPath for callers that only act on what exists.
    bool PathExists(const std::string& path) { return CheckPath(path) == Existence::kExists; }

    // The search PathFindOnPathA makes for a bare file name (no ':' or ''):
    // the system folder, the Windows folder's "system" folder, the Windows
    // folder and then each folder of PATH, each candidate the folder and the
    // name joined as PathAppend joins them. kExists for the first candidate
    // that exists, with `name` replaced by it; kMissing when every
    // candidate is missing; otherwise kCannotTell, and also for a name that
    // is not bare.
    virtual Existence FindOnPath(std::string& name) = 0;

    // The folders FindOnPath searches, for a caller that tests each
    // candidate itself to see them one by one. False when the probe cannot
    // name them; its own FindOnPath then answers kCannotTell.
    virtual bool SearchPlaces(SearchFolders& folders) {
        (void)folders;
        return false;
    }

    // Whether the system's "not found" for `path` may be believed: its full
    // path lies on a local fixed drive that is present. False for drive
    // letters that name nothing, removable, optical, RAM and network drives,
    // network and device paths, and paths that cannot be completed.
    virtual bool CanTellMissing(const std::string& path) = 0;

    // Whether a file search (FindFirstFileA) for `pattern` finds anything,
    // in the same three answers: ListFolder's "nothing matches" or "no such
    // folder" counts as missing only where CanTellMissing holds.
    Existence CheckPattern(const std::string& pattern);

    // ExpandEnvironmentStringsA. Returns the size of the expansion in bytes
    // including the terminating zero (0 on failure). `expanded` receives the
    // text only when that size is at most `limit`; otherwise it is cleared.
    // Unknown %NAME% references stay as written.
    virtual uint32_t ExpandEnvironment(const std::string& text, std::string& expanded,
                                       uint32_t limit = kMaxExpandedPath) = 0;

    // SHGetSpecialFolderPathA / SHGetFolderPathA for one of the csidl ids,
    // without creating the folder. False when there is no such folder.
    virtual bool SpecialFolder(int csidl, std::string& path) = 0;

    // GetModuleFileNameA of the program itself.
    virtual std::string ModuleFileName() = 0;

    // CreateDirectoryA: the parent must exist. kAlreadyExists when it does.
    virtual Status CreateFolder(const std::string& path) = 0;

    // DeleteFileA.
    virtual Status DeleteFile(const std::string& path) = 0;

    // FindFirstFileA / FindNextFileA over `pattern` ("C:\dir\*.reg"). '*'
    // and '?' in the last component match as the system's file search
    // does, case-insensitively. "." and ".." are listed where the system
    // lists them. kFileNotFound when nothing matches, kPathNotFound when the
    // folder does not exist.
    virtual Status ListFolder(const std::string& pattern, std::vector<FileEntry>& entries) = 0;

    // CreateFileA for binary reading or writing. Null on failure, with the
    // reason in `status` when given.
    virtual std::unique_ptr<FileStream> OpenFile(const std::string& path, FileMode mode,
                                                 Status* status = nullptr) = 0;
};

}  // namespace qm
