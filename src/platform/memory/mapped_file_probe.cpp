#include "platform/memory/mapped_file_probe.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <memory>
#include <string_view>

#include "platform/c_text.h"
#include "platform/memory/file_pattern.h"
#include "platform/memory/host_file_stream.h"
#include "platform/memory/host_folder.h"
#include "platform/memory/host_text.h"
#include "platform/memory/mapped_entry.h"
#include "platform/memory/short_alias.h"
#include "platform/memory/windows_path.h"
#include "platform/name_case.h"
#include "platform/search_path.h"

namespace qm {

using namespace mapped;

Existence MappedFileProbe::CheckPath(const std::string& path) {
    // A scan asks about the same paths many times over.
    uint64_t since = 0;
    if (std::optional<Existence> known = folders_->Recall(path, since)) return *known;
    Existence found = CheckAsWritten(path);
    if (found != Existence::kExists) {
        if (const std::optional<std::string> redirected = RedirectedPath(path))
            found = EitherOf(found, CheckAsWritten(*redirected));
    }
    folders_->Remember(path, found, since);
    return found;
}

Existence MappedFileProbe::CheckAsWritten(const std::string& path) const {
    // A device name exists where its folder does; where the folder is not
    // found the system names no file that could be missing.
    if (std::optional<Status> device = DevicePath(path, nullptr))
        return *device == status::kSuccess ? Existence::kExists : Existence::kCannotTell;
    // Existence is asked of paths of any length, as the wide functions take
    // them; only the ANSI operations keep to 260 bytes.
    const std::optional<std::string> full = FullPathName(path);
    if (!full) return Existence::kCannotTell;  // empty, or a network path
    Entry entry;
    const Status found = ResolveFull(*full, &entry, /*typeOnly=*/true);
    if (found == status::kSuccess) return Existence::kExists;
    if ((found == status::kFileNotFound || found == status::kPathNotFound) &&
        DrivePresent((*full)[0]))
        return Existence::kMissing;
    return Existence::kCannotTell;
}

bool MappedFileProbe::CanTellMissing(const std::string& path) {
    if (DevicePath(path, nullptr)) return false;
    const std::optional<std::string> full = FullPathName(path);
    return full && DrivePresent((*full)[0]);
}

bool MappedFileProbe::DrivePresent(char letter) const {
    const auto drive = config_.drives.find(letter);
    if (drive == config_.drives.end() || drive->second.empty()) return false;
    const HostStat root = folders_->Root(drive->second);
    return root.found && S_ISDIR(root.mode);
}

bool MappedFileProbe::SearchPlaces(SearchFolders& folders) {
    folders.systemFolder = config_.systemFolder;
    folders.windowsFolder = config_.windowsFolder;
    folders.pathVariable.reset();
    if (const std::optional<std::string> path = Variable("PATH"))
        folders.pathVariable.emplace(CText(*path));
    return true;
}

Existence MappedFileProbe::FindOnPath(std::string& name) {
    std::string file(CText(name));
    SearchFolders folders;
    SearchPlaces(folders);
    std::optional<std::string_view> entries;
    if (folders.pathVariable) entries = *folders.pathVariable;
    const Existence found =
        SearchForProgram(file, folders.systemFolder, folders.windowsFolder, entries,
                         [this](const std::string& candidate) { return CheckPath(candidate); });
    if (found == Existence::kExists) name = std::move(file);
    return found;
}

uint32_t MappedFileProbe::ExpandEnvironment(const std::string& text, std::string& expanded,
                                            uint32_t limit) {
    std::string_view source = CText(text);
    std::string out;
    size_t i = 0;
    while (i < source.size()) {
        if (source[i] != '%') {
            size_t next = source.find('%', i);
            if (next == std::string_view::npos) next = source.size();
            out.append(source.substr(i, next - i));
            i = next;
            continue;
        }
        size_t close = source.find('%', i + 1);
        if (close == std::string_view::npos) {  // an unfinished name stays as written
            out.append(source.substr(i));
            break;
        }
        std::string variable(source.substr(i + 1, close - i - 1));
        std::optional<std::string> value = variable.empty() ? std::nullopt : Variable(variable);
        if (value)
            out.append(CText(*value));
        else
            out.append(source.substr(i, close - i + 1));  // unknown: "%NAME%" stays
        i = close + 1;
    }
    // The size counts the terminating zero. The text is handed out only when
    // it fits with room to spare; otherwise the size is reported one byte
    // larger, as the system does.
    auto needed = static_cast<uint32_t>(std::min<size_t>(out.size() + 1, UINT32_MAX - 1));
    if (limit > needed) {
        expanded = std::move(out);
        return needed;
    }
    expanded.clear();
    return needed + 1;
}

bool MappedFileProbe::SpecialFolder(int csidl, std::string& path) {
    std::string folder;
    auto it = config_.specialFolders.find(csidl);
    if (it != config_.specialFolders.end())
        folder = it->second;
    else if (csidl == csidl::kWindows)
        folder = config_.windowsFolder;
    else if (csidl == csidl::kSystem)
        folder = config_.systemFolder;
    // Without being asked to create it, the shell reports a folder only when
    // it exists.
    if (folder.empty() || !PathExists(folder)) return false;
    path = folder;
    return true;
}

std::string MappedFileProbe::ModuleFileName() {
    return config_.moduleFileName;
}

Status MappedFileProbe::CreateFolder(const std::string& path) {
    Entry folder;
    std::string name;
    Status result = ResolveParent(path, &folder, &name);
    if (result != status::kSuccess) return result;
    if (name.empty() || folders_->Find(folder.host, folder.info, name))
        return status::kAlreadyExists;
    if (::mkdir(JoinHost(folder.host, WindowsToHost(name)).c_str(), 0777) != 0) {
        Status error = ErrnoStatus(errno);
        return error == status::kFileNotFound ? status::kPathNotFound : error;
    }
    folders_->Forget(folder.info);
    return status::kSuccess;
}

Status MappedFileProbe::DeleteFile(const std::string& path) {
    Entry entry;
    Status result = Resolve(path, &entry);
    if (result != status::kSuccess) return result;
    if (S_ISDIR(entry.info.mode) || IsReadOnly(entry.info.mode)) return status::kAccessDenied;
    if (::unlink(entry.host.c_str()) != 0) return ErrnoStatus(errno);
    folders_->Forget(entry.folder);
    return status::kSuccess;
}

Status MappedFileProbe::ListFolder(const std::string& pattern, std::vector<FileEntry>& entries) {
    const Status result = ListFolderAsWritten(pattern, entries);
    if (result != status::kFileNotFound && result != status::kPathNotFound) return result;
    const std::optional<std::string> redirected = RedirectedPath(pattern);
    return redirected ? ListFolderAsWritten(*redirected, entries) : result;
}

Status MappedFileProbe::ListFolderAsWritten(const std::string& pattern,
                                            std::vector<FileEntry>& entries) {
    entries.clear();
    std::string_view text = CText(pattern);
    if (text.size() > kMaxAnsiPath) return status::kFilenameExcedRange;
    std::string deviceName;
    if (std::optional<Status> device = DevicePath(pattern, &deviceName)) {
        if (*device != status::kSuccess) return *device;
        entries.push_back(FileEntry{deviceName, false, 0});
        return status::kSuccess;
    }
    std::optional<std::string> full = FullPathName(pattern);
    if (!full) return status::kPathNotFound;
    size_t slash = full->rfind('\\');
    std::string filePart = full->substr(slash + 1);
    if (filePart.empty()) return status::kFileNotFound;

    // The folder part must name a folder: a file there is ERROR_DIRECTORY.
    Entry folder;
    Status result = ResolveFull(full->substr(0, slash == 2 ? 3 : slash), &folder);
    if (result == status::kFileNotFound) return status::kPathNotFound;
    if (result != status::kSuccess) return result;
    if (!S_ISDIR(folder.info.mode)) return status::kDirectory;
    bool isRoot = slash == 2;

    auto makeEntry = [&](const std::string& host, std::string name) -> std::optional<FileEntry> {
        struct stat info {};
        const std::string hostPath = JoinHost(folder.host, host);
        if (::stat(hostPath.c_str(), &info) != 0) return std::nullopt;
        FileEntry entry;
        entry.name = std::move(name);
        entry.isDirectory = S_ISDIR(info.st_mode);
        entry.size = entry.isDirectory ? 0 : static_cast<uint64_t>(info.st_size);
        entry.creationTime = HostCreationTime(hostPath, info);
        return entry;
    };

    if (filePart.find_first_of("*?<>") == std::string::npos) {
        // No wildcard: the one entry of that name, in its stored spelling.
        if (HasInvalidNameChar(filePart)) return status::kInvalidName;
        std::optional<std::string> host = folders_->Find(folder.host, folder.info, filePart);
        std::optional<FileEntry> entry;
        if (host) entry = makeEntry(*host, UnicodeToWindows(HostToUnicode(*host)));
        if (!entry) return status::kFileNotFound;
        entries.push_back(std::move(*entry));
        return status::kSuccess;
    }

    std::u32string mask = FixupMask(WindowsToUnicode(PatternFileName(text)));
    if (!isRoot) {
        for (const char* dots : {".", ".."}) {
            std::u32string name = WindowsToUnicode(dots);
            if (!MatchMask(name, mask)) continue;
            if (std::optional<FileEntry> entry = makeEntry(dots, dots)) entries.push_back(*entry);
        }
    }
    size_t dotEntries = entries.size();

    std::vector<std::pair<std::u32string, FileEntry>> found;
    for (const std::string& host : folders_->Names(folder.host, folder.info)) {
        std::u32string name = HostToUnicode(host);
        if (name.find_first_of(U"\\/") != std::u32string::npos) continue;  // no Windows name
        if (!MatchMask(name, mask)) {
            std::u32string alias = ShortAlias(name);
            if (alias.empty() || !MatchMask(alias, mask)) continue;
        }
        if (std::optional<FileEntry> entry = makeEntry(host, UnicodeToWindows(name)))
            found.emplace_back(std::move(name), std::move(*entry));
    }
    std::sort(found.begin(), found.end(),
              [](const auto& a, const auto& b) { return NameLess(a.first, b.first); });
    entries.reserve(dotEntries + found.size());
    for (auto& item : found) entries.push_back(std::move(item.second));
    return entries.empty() ? status::kFileNotFound : status::kSuccess;
}

std::unique_ptr<FileStream> MappedFileProbe::OpenFile(const std::string& path, FileMode mode,
                                                      Status* status) {
    Status ignored = 0;
    Status& result = status != nullptr ? *status : ignored;
    auto fail = [&](Status why) -> std::unique_ptr<FileStream> {
        result = why;
        return nullptr;
    };
    if (CText(path).size() > kMaxAnsiPath) return fail(status::kFilenameExcedRange);

    int fd = -1;
    std::optional<HostStat> changed;  // the folder that opening for writing may change
    if (std::optional<Status> device = DevicePath(path, nullptr)) {
        // Devices read as empty and swallow what is written.
        if (*device != status::kSuccess) return fail(*device);
        fd = ::open("/dev/null", (mode == FileMode::kRead ? O_RDONLY : O_WRONLY) | O_CLOEXEC);
    } else if (mode == FileMode::kRead) {
        Entry entry;
        Status found = Resolve(path, &entry);
        if (found != status::kSuccess) return fail(found);
        if (S_ISDIR(entry.info.mode)) return fail(status::kAccessDenied);
        fd = ::open(entry.host.c_str(), O_RDONLY | O_CLOEXEC);
    } else if (mode == FileMode::kOpenExistingWrite) {
        // The host has no exclusive opens; what remains of the rule is that
        // folders and read-only files cannot be opened for writing.
        Entry entry;
        Status found = Resolve(path, &entry);
        if (found != status::kSuccess) return fail(found);
        if (S_ISDIR(entry.info.mode) || IsReadOnly(entry.info.mode))
            return fail(status::kAccessDenied);
        fd = ::open(entry.host.c_str(), O_WRONLY | O_CLOEXEC);
        changed = entry.folder;
    } else {
        std::optional<std::string> full = FullPathName(path);
        if (!full) return fail(status::kPathNotFound);
        if (full->size() > 3 && full->back() == '\\') {
            // A trailing backslash can only name an existing folder, which
            // cannot be opened as a file.
            Entry entry;
            Status found = ResolveFull(*full, &entry);
            if (found == status::kSuccess)
                return fail(mode == FileMode::kCreateNew ? status::kFileExists
                                                         : status::kAccessDenied);
            return fail(found == status::kFileNotFound ? status::kInvalidName : found);
        }
        Entry folder;
        std::string name;
        Status found = ResolveParent(path, &folder, &name);
        if (found != status::kSuccess) return fail(found);
        std::optional<std::string> existing = folders_->Find(folder.host, folder.info, name);
        struct stat info {};
        if (existing && ::stat(JoinHost(folder.host, *existing).c_str(), &info) == 0) {
            if (mode == FileMode::kCreateNew) return fail(status::kFileExists);
            if (S_ISDIR(info.st_mode) || IsReadOnly(info.st_mode))
                return fail(status::kAccessDenied);
            fd = ::open(JoinHost(folder.host, *existing).c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC);
        } else {
            int flags =
                O_WRONLY | O_CREAT | O_CLOEXEC | (mode == FileMode::kCreateNew ? O_EXCL : O_TRUNC);
            fd = ::open(JoinHost(folder.host, WindowsToHost(name)).c_str(), flags, 0666);
        }
        changed = folder.info;
    }
    if (changed) folders_->Forget(*changed);
    if (fd < 0) {
        Status error = ErrnoStatus(errno);
        return fail(error == status::kAlreadyExists ? status::kFileExists : error);
    }
    result = status::kSuccess;
    return std::make_unique<HostFileStream>(fd);
}

}  // namespace qm
