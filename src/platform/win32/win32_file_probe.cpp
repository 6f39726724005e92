#include "platform/win32/win32_file_probe.h"

#include <shlobj.h>
#include <windows.h>

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/search_path.h"
#include "platform/win32/system_functions.h"
#include "platform/win32/wide_text.h"

// <windows.h> renames DeleteFile to DeleteFileA; the interface's method
// keeps its own name.
#ifdef DeleteFile
#undef DeleteFile
#endif

namespace qm {

namespace {

class FindHandle {
  public:
    explicit FindHandle(HANDLE handle) : handle_(handle) {}
    ~FindHandle() {
        if (handle_ != INVALID_HANDLE_VALUE) FindClose(handle_);
    }
    FindHandle(const FindHandle&) = delete;
    FindHandle& operator=(const FindHandle&) = delete;
    HANDLE get() const { return handle_; }

  private:
    HANDLE handle_;
};

class Win32FileStream : public FileStream {
  public:
    explicit Win32FileStream(HANDLE file) : file_(file) {}
    ~Win32FileStream() override { CloseHandle(file_); }
    Win32FileStream(const Win32FileStream&) = delete;
    Win32FileStream& operator=(const Win32FileStream&) = delete;

    size_t Read(void* buffer, size_t size) override {
        auto* out = static_cast<char*>(buffer);
        size_t done = 0;
        while (done < size) {
            DWORD chunk = static_cast<DWORD>(std::min<size_t>(size - done, 1u << 30));
            DWORD got = 0;
            if (!ReadFile(file_, out + done, chunk, &got, nullptr) || got == 0) break;
            done += got;
        }
        return done;
    }

    bool Write(const void* data, size_t size) override {
        const auto* in = static_cast<const char*>(data);
        size_t done = 0;
        while (done < size) {
            DWORD chunk = static_cast<DWORD>(std::min<size_t>(size - done, 1u << 30));
            DWORD put = 0;
            if (!WriteFile(file_, in + done, chunk, &put, nullptr) || put == 0) return false;
            done += put;
        }
        return true;
    }

    bool Flush() override { return FlushFileBuffers(file_) != FALSE; }

    bool Truncate(uint64_t size) override {
        LONG high = static_cast<LONG>(size >> 32);
        DWORD low = SetFilePointer(file_, static_cast<LONG>(size & 0xFFFFFFFFu), &high, FILE_BEGIN);
        if (low == INVALID_SET_FILE_POINTER && GetLastError() != NO_ERROR) return false;
        return SetEndOfFile(file_) != FALSE;
    }

  private:
    HANDLE file_;
};

bool StartsWith(std::wstring_view text, std::wstring_view prefix) {
    return text.substr(0, prefix.size()) == prefix;
}

constexpr std::wstring_view kLongPrefix = L"\\\\?\\";    // \\?\ : the path as it stands
constexpr std::wstring_view kDevicePrefix = L"\\\\.\\";  // \\.\NUL and the like

// GetFullPathNameW: the path completed against the current folder and
// normalised as the file functions normalise it, at any length; empty for
// an empty or blank path, which names nothing, and when the system cannot
// complete the path.
std::wstring FullPath(const std::wstring& path) {
    if (path.find_first_not_of(L' ') == std::wstring::npos) return {};
    wchar_t buffer[MAX_PATH];
    DWORD length = GetFullPathNameW(path.c_str(), MAX_PATH, buffer, nullptr);
    if (length == 0) return {};
    if (length < MAX_PATH) return std::wstring(buffer, length);
    std::wstring full(length, L'\0');
    const DWORD size = length;
    length = GetFullPathNameW(path.c_str(), size, full.data(), nullptr);
    if (length == 0 || length >= size) return {};
    full.resize(length);
    return full;
}

// The drive letter (upper case) of a full path "X:\..." or "\\?\X:\...",
// or 0 for any other path (network, device).
wchar_t DriveOf(std::wstring_view full) {
    if (StartsWith(full, kLongPrefix)) full.remove_prefix(kLongPrefix.size());
    if (full.size() < 3 || full[1] != L':' || full[2] != L'\\') return 0;
    const wchar_t letter =
        full[0] >= L'a' && full[0] <= L'z' ? static_cast<wchar_t>(full[0] - L'a' + L'A') : full[0];
    return letter >= L'A' && letter <= L'Z' ? letter : 0;
}

// What GetFileAttributesW says of `path`: ERROR_SUCCESS when it exists,
// otherwise why not. A drive without its medium fails at once rather than
// asking the user for a disk, as PathFileExistsA makes it.
DWORD AttributesError(const std::wstring& path) {
    const UINT mode = SetErrorMode(SEM_FAILCRITICALERRORS);
    const bool found = GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
    const DWORD error = found ? ERROR_SUCCESS : GetLastError();
    SetErrorMode(mode);
    // A failure that gives no reason is no answer either.
    return found || error != ERROR_SUCCESS ? error : ERROR_GEN_FAILURE;
}

// The only answers that say a file is not there: the file, or a folder on
// its way, does not exist.
bool IsNotFound(DWORD error) {
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
}

// AttributesError as the 32-bit program sees the path and, on 64-bit
// Windows, as the system sees it (System32's drivers, a 64-bit program's
// own files): ERROR_SUCCESS when either view has it, "not found" only when
// neither has it.
DWORD AttributesErrorInEitherView(const std::wstring& path) {
    const DWORD error = AttributesError(path);
    if (error == ERROR_SUCCESS || !win32::RunsUnderWow64()) return error;
    win32::FileRedirectionOff off;
    if (!off.active()) return error;
    const DWORD native = AttributesError(path);
    // Found in the system's view, or not found in either: that view's
    // answer; otherwise why the first view could not tell.
    if (native == ERROR_SUCCESS) return native;
    return IsNotFound(error) ? native : error;
}

// A drive whose "not found" is believed: a local fixed drive whose root is
// there (a letter substituted for a folder that is gone has none).
bool AskFixedDrivePresent(wchar_t letter) {
    const wchar_t root[] = {letter, L':', L'\\', L'\0'};
    if (GetDriveTypeW(root) != DRIVE_FIXED) return false;
    return AttributesError(root) == ERROR_SUCCESS;
}

// AskFixedDrivePresent, kept for a second per drive: a scan asks about
// thousands of missing paths on the same few drives, and each question is
// several calls into the system (under Wine, one of them to its mount
// manager). Only a local fixed drive is ever kept as present, and such a
// drive does not come and go within a scan.
bool FixedDrivePresent(wchar_t letter) {
    constexpr uint64_t kKept = 1, kPresent = 2;
    constexpr DWORD kKeepMilliseconds = 1000;
    static std::atomic<uint64_t> answers[26];
    std::atomic<uint64_t>& answer = answers[letter - L'A'];
    const DWORD now = GetTickCount();
    const uint64_t kept = answer.load(std::memory_order_relaxed);
    if ((kept & kKept) != 0 && now - static_cast<DWORD>(kept >> 32) < kKeepMilliseconds)
        return (kept & kPresent) != 0;
    const bool present = AskFixedDrivePresent(letter);
    answer.store((uint64_t{now} << 32) | kKept | (present ? kPresent : 0),
                 std::memory_order_relaxed);
    return present;
}

// The form of the path that is tested: as written while it and its full
// form fit MAX_PATH, as PathFileExistsA tests it (normalising once more
// could drop one more trailing dot of a folder name); otherwise the full
// path with the \\?\ prefix, which the wide functions take at any length
// from Windows XP on and leave as it stands.
std::wstring TestedForm(const std::wstring& wide, const std::wstring& full) {
    if (wide.size() < MAX_PATH && full.size() < MAX_PATH) return wide;
    if (full.size() < MAX_PATH || StartsWith(full, kLongPrefix) || StartsWith(full, kDevicePrefix))
        return full;
    return std::wstring(kLongPrefix) + full;
}

}  // namespace

Existence Win32FileProbe::CheckPath(const std::string& path) {
    const std::wstring wide = win32::Widen(path.c_str());
    const std::wstring full = FullPath(wide);
    if (full.empty()) return Existence::kCannotTell;
    const bool device = StartsWith(full, kDevicePrefix);
    // A network path is not asked about: the answer could only be "exists"
    // or "cannot tell", and an unreachable server takes many seconds to say
    // so.
    const wchar_t drive = DriveOf(full);
    if (!device && drive == 0) return Existence::kCannotTell;

    const DWORD error = AttributesErrorInEitherView(TestedForm(wide, full));
    if (error == ERROR_SUCCESS) return Existence::kExists;
    if (!IsNotFound(error) || device || !FixedDrivePresent(drive)) return Existence::kCannotTell;
    // "C:\app.exe\" names a folder that is not there, but the file is: the
    // entry names it with a stray backslash, which is not a missing file.
    std::wstring stripped = full;
    while (stripped.size() > 3 && stripped.back() == L'\\') stripped.pop_back();
    if (stripped.size() != full.size() &&
        AttributesErrorInEitherView(TestedForm(stripped, stripped)) == ERROR_SUCCESS)
        return Existence::kCannotTell;
    return Existence::kMissing;
}

bool Win32FileProbe::CanTellMissing(const std::string& path) {
    const std::wstring full = FullPath(win32::Widen(path.c_str()));
    const wchar_t drive = DriveOf(full);
    return drive != 0 && !StartsWith(full, kDevicePrefix) && FixedDrivePresent(drive);
}

bool Win32FileProbe::SearchPlaces(SearchFolders& folders) {
    char system[MAX_PATH] = {};
    char windows[MAX_PATH] = {};
    const UINT systemLength = GetSystemDirectoryA(system, MAX_PATH);
    const UINT windowsLength = GetWindowsDirectoryA(windows, MAX_PATH);
    if (systemLength == 0 || systemLength >= MAX_PATH || windowsLength == 0 ||
        windowsLength >= MAX_PATH)
        return false;
    folders.systemFolder.assign(system, systemLength);
    folders.windowsFolder.assign(windows, windowsLength);
    folders.pathVariable.reset();
    const DWORD size = GetEnvironmentVariableA("PATH", nullptr, 0);
    if (size > 0) {
        std::vector<char> buffer(size + 1, '\0');
        const DWORD length = GetEnvironmentVariableA("PATH", buffer.data(), size + 1);
        if (length > 0 && length <= size) folders.pathVariable.emplace(buffer.data(), length);
    }
    return true;
}

Existence Win32FileProbe::FindOnPath(std::string& name) {
    SearchFolders folders;
    if (!SearchPlaces(folders)) return Existence::kCannotTell;
    std::string file = name.c_str();
    const Existence found = SearchForProgram(
        file, folders.systemFolder, folders.windowsFolder,
        folders.pathVariable ? std::optional<std::string_view>(*folders.pathVariable)
                             : std::nullopt,
        [this](const std::string& candidate) { return CheckPath(candidate); });
    if (found == Existence::kExists) name = std::move(file);
    return found;
}

uint32_t Win32FileProbe::ExpandEnvironment(const std::string& text, std::string& expanded,
                                           uint32_t limit) {
    std::vector<char> buffer(limit > 0 ? limit : 1, '\0');
    DWORD size =
        ExpandEnvironmentStringsA(text.c_str(), limit > 0 ? buffer.data() : nullptr, limit);
    if (size != 0 && size <= limit) {
        buffer.back() = '\0';
        expanded = buffer.data();
    } else {
        expanded.clear();
    }
    return size;
}

bool Win32FileProbe::SpecialFolder(int csidl, std::string& path) {
    // SHGetFolderPathA without CSIDL_FLAG_CREATE (shell32 of Windows 2000
    // and later): it reports a folder only when it exists.
    char buffer[MAX_PATH] = {};
    HRESULT result = SHGetFolderPathA(nullptr, csidl, nullptr, SHGFP_TYPE_CURRENT, buffer);
    buffer[MAX_PATH - 1] = '\0';
    if (result != S_OK || buffer[0] == '\0') return false;
    path = buffer;
    return true;
}

std::string Win32FileProbe::ModuleFileName() {
    // Windows XP neither terminates a truncated name nor says so other than
    // by filling the buffer; grow until the name fits with room to spare.
    for (DWORD size = MAX_PATH; size <= 32768; size *= 2) {
        std::vector<char> buffer(size + 1, '\0');
        DWORD length = GetModuleFileNameA(nullptr, buffer.data(), size);
        if (length == 0) return {};
        if (length < size) return std::string(buffer.data(), length);
    }
    return {};
}

Status Win32FileProbe::CreateFolder(const std::string& path) {
    if (CreateDirectoryA(path.c_str(), nullptr)) return status::kSuccess;
    return static_cast<Status>(GetLastError());
}

Status Win32FileProbe::DeleteFile(const std::string& path) {
    if (DeleteFileA(path.c_str())) return status::kSuccess;
    return static_cast<Status>(GetLastError());
}

Status Win32FileProbe::ListFolder(const std::string& pattern, std::vector<FileEntry>& entries) {
    // A folder that only the system's own view has (a 64-bit program's
    // folder below System32) is listed with redirection off.
    Status result = ListFolderOnce(pattern, entries);
    if ((result != status::kFileNotFound && result != status::kPathNotFound) ||
        !win32::RunsUnderWow64())
        return result;
    win32::FileRedirectionOff off;
    return off.active() ? ListFolderOnce(pattern, entries) : result;
}

Status Win32FileProbe::ListFolderOnce(const std::string& pattern, std::vector<FileEntry>& entries) {
    entries.clear();
    WIN32_FIND_DATAA data{};
    FindHandle find(FindFirstFileA(pattern.c_str(), &data));
    if (find.get() == INVALID_HANDLE_VALUE) return static_cast<Status>(GetLastError());
    do {
        FileEntry entry;
        data.cFileName[MAX_PATH - 1] = '\0';
        entry.name = data.cFileName;
        entry.isDirectory = (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
        entry.size = (static_cast<uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
        entry.creationTime = (static_cast<uint64_t>(data.ftCreationTime.dwHighDateTime) << 32) |
                             data.ftCreationTime.dwLowDateTime;
        entries.push_back(std::move(entry));
    } while (FindNextFileA(find.get(), &data));
    DWORD error = GetLastError();
    if (error != ERROR_NO_MORE_FILES) {
        entries.clear();
        return static_cast<Status>(error);
    }
    return status::kSuccess;
}

std::unique_ptr<FileStream> Win32FileProbe::OpenFile(const std::string& path, FileMode mode,
                                                     Status* status) {
    DWORD access = GENERIC_READ;
    DWORD share = FILE_SHARE_READ | FILE_SHARE_WRITE;
    DWORD disposition = OPEN_EXISTING;
    if (mode == FileMode::kCreateNew) {
        access = GENERIC_WRITE;
        share = 0;
        disposition = CREATE_NEW;
    } else if (mode == FileMode::kCreateAlways) {
        access = GENERIC_WRITE;
        share = 0;
        disposition = CREATE_ALWAYS;
    } else if (mode == FileMode::kOpenExistingWrite) {
        access = GENERIC_WRITE;
        share = 0;
    }
    HANDLE file = CreateFileA(path.c_str(), access, share, nullptr, disposition,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        if (status != nullptr) *status = static_cast<Status>(GetLastError());
        return nullptr;
    }
    if (status != nullptr) *status = status::kSuccess;
    return std::make_unique<Win32FileStream>(file);
}

}  // namespace qm
