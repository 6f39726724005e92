#include "platform/win32/win32_file_probe.h"

#include <shlobj.h>
#include <shlwapi.h>
#include <windows.h>

#include <algorithm>
#include <string>
#include <vector>

#include "platform/win32/system_functions.h"

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

// Whether the path a 32-bit program means could also be read with the
// system's own folders: only under WOW64, and then the test is made again
// with redirection off.
template <typename Test>
bool InEitherView(Test test) {
    if (test()) return true;
    if (!win32::RunsUnderWow64()) return false;
    win32::FileRedirectionOff off;
    return off.active() && test();
}

bool FindOnPathOnce(std::string& name);

}  // namespace

bool Win32FileProbe::PathExists(const std::string& path) {
    // A path exists when it exists as the 32-bit program sees it or as the
    // system sees it (System32's drivers, a 64-bit program's own files).
    return InEitherView([&] { return PathFileExistsA(path.c_str()) != FALSE; });
}

bool Win32FileProbe::FindOnPath(std::string& name) {
    return InEitherView([&] { return FindOnPathOnce(name); });
}

namespace {

bool FindOnPathOnce(std::string& name) {
    // PathFindOnPathA works in a MAX_PATH buffer that it also reads the name
    // from; a longer name cannot be passed to it safely.
    const char* text = name.c_str();
    size_t length = std::char_traits<char>::length(text);
    if (length >= MAX_PATH) return false;
    char buffer[MAX_PATH] = {};
    std::char_traits<char>::copy(buffer, text, length);
    if (!PathFindOnPathA(buffer, nullptr)) return false;
    buffer[MAX_PATH - 1] = '\0';
    name = buffer;
    return true;
}

}  // namespace

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
