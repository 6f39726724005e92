// How the mapped file probe turns a Windows path into a host path:
// completing it against the current folder, normalising it, and looking up
// each name in the host folders.
#include <sys/stat.h>

#include "platform/c_text.h"
#include "platform/memory/host_folder.h"
#include "platform/memory/host_text.h"
#include "platform/memory/mapped_entry.h"
#include "platform/memory/mapped_file_probe.h"
#include "platform/memory/windows_path.h"

namespace qm {

using namespace mapped;

MappedFileProbe::MappedFileProbe(MappedFilesConfig config)
    : config_(std::move(config)), folders_(std::make_unique<HostFolders>()) {
    // The current folder is kept as the system keeps it: normalised, with a
    // trailing backslash.
    std::string folder = config_.currentFolder;
    if (folder.size() >= 3 && folder[1] == ':' && IsSeparator(folder[2])) {
        folder[0] = DriveLetter(folder[0]);
        CollapsePath(folder, 3);
        if (folder.back() != '\\') folder.push_back('\\');
        currentFolder_ = folder;
    }
}

MappedFileProbe::~MappedFileProbe() = default;

std::optional<std::string> MappedFileProbe::Variable(const std::string& name) const {
    for (const auto& [key, value] : config_.environment)
        if (!key.empty() && EqualNoCase(key, name)) return value;
    return std::nullopt;
}

std::optional<std::string> MappedFileProbe::FullPathName(const std::string& path) const {
    std::string_view name = CText(path);
    if (name.find_first_not_of(' ') == std::string_view::npos) return std::nullopt;
    std::string full;
    if (IsSeparator(name[0])) {
        if (name.size() > 1 && IsSeparator(name[1])) return std::nullopt;  // \\server, \\.\device
        if (currentFolder_.empty()) return std::nullopt;
        full = currentFolder_.substr(0, 2);  // the root of the current drive
        full.append(name);
    } else if (name.size() >= 2 && name[1] == ':') {
        char drive = DriveLetter(name[0]);
        if (name.size() >= 3 && IsSeparator(name[2])) {
            full.assign(1, drive);
            full.append(name.substr(1));
        } else if (!currentFolder_.empty() && currentFolder_[0] == drive) {
            full = currentFolder_ + std::string(name.substr(2));
        } else {
            // Another drive's current folder lives in the "=X:" variable;
            // without one it is the drive's root.
            std::optional<std::string> folder = Variable(std::string{'=', drive, ':'});
            full = folder ? *folder + "\\" : std::string{drive, ':', '\\'};
            full.append(name.substr(2));
        }
    } else {
        if (currentFolder_.empty()) return std::nullopt;
        full = currentFolder_ + std::string(name);
    }
    if (full.size() < 3 || full[1] != ':' || !IsSeparator(full[2])) return std::nullopt;
    full[0] = DriveLetter(full[0]);
    CollapsePath(full, 3);
    return full;
}

Status MappedFileProbe::Resolve(const std::string& path, Entry* entry, bool typeOnly) const {
    if (CText(path).size() > kMaxAnsiPath) return status::kFilenameExcedRange;
    std::optional<std::string> full = FullPathName(path);
    if (!full) return status::kPathNotFound;
    return ResolveFull(*full, entry, typeOnly);
}

// Looks up a path that FullPathName has already normalised (normalising it
// again could drop one more trailing dot from a folder name).
Status MappedFileProbe::ResolveFull(const std::string& full, Entry* entry, bool typeOnly) const {
    auto drive = config_.drives.find(full[0]);
    if (drive == config_.drives.end() || drive->second.empty()) return status::kPathNotFound;

    std::vector<std::string> parts = SplitComponents(full);
    for (const std::string& part : parts)
        if (HasInvalidNameChar(part)) return status::kInvalidName;

    // A trailing backslash asks for a folder: what it follows is looked up
    // as the last name, and must be a folder.
    bool wantsFolder = !parts.empty() && parts.back().empty();
    if (wantsFolder) parts.pop_back();

    folders_->DropChanged();
    std::string host = drive->second;
    HostStat info = folders_->Root(host);
    if (!info.found || !S_ISDIR(info.mode)) return status::kPathNotFound;
    HostStat folder;
    for (size_t i = 0; i < parts.size(); ++i) {
        bool last = i + 1 == parts.size();
        HostStat next;
        std::optional<std::string> name =
            folders_->Find(host, info, parts[i], &next, typeOnly && last);
        if (!name || !next.found) return last ? status::kFileNotFound : status::kPathNotFound;
        if (!last && !S_ISDIR(next.mode)) return status::kPathNotFound;
        host = JoinHost(host, *name);
        folder = info;
        info = next;
    }
    if (wantsFolder && !S_ISDIR(info.mode)) return status::kInvalidName;
    entry->host = std::move(host);
    entry->info = info;
    entry->folder = folder;
    return status::kSuccess;
}

Status MappedFileProbe::ResolveParent(const std::string& path, Entry* folder,
                                      std::string* name) const {
    if (CText(path).size() > kMaxAnsiPath) return status::kFilenameExcedRange;
    std::optional<std::string> full = FullPathName(path);
    if (!full) return status::kPathNotFound;
    if (full->size() > 3 && full->back() == '\\') full->pop_back();
    size_t slash = full->rfind('\\');
    *name = full->substr(slash + 1);
    if (HasInvalidNameChar(*name)) return status::kInvalidName;
    Status result = ResolveFull(full->substr(0, slash == 2 ? 3 : slash), folder);
    if (result == status::kFileNotFound) return status::kPathNotFound;
    if (result != status::kSuccess) return result;
    if (!S_ISDIR(folder->info.mode)) return status::kPathNotFound;
    return status::kSuccess;
}

std::optional<Status> MappedFileProbe::DevicePath(const std::string& path,
                                                  std::string* name) const {
    std::string_view text = CText(path);
    std::optional<DeviceName> device = FindDeviceName(text);
    if (!device) return std::nullopt;
    if (name != nullptr) *name = std::string(text.substr(device->offset, device->length));
    if (device->offset == 0) return status::kSuccess;
    // The folder the device name is written in must exist.
    Entry folder;
    if (Resolve(std::string(text.substr(0, device->offset)), &folder) != status::kSuccess ||
        !S_ISDIR(folder.info.mode))
        return status::kPathNotFound;
    return status::kSuccess;
}

std::optional<std::string> MappedFileProbe::HostPath(const std::string& path) const {
    Entry entry;
    if (Resolve(path, &entry) != status::kSuccess) return std::nullopt;
    return entry.host;
}

std::optional<std::string> MappedFileProbe::RedirectedPath(const std::string& path) const {
    if (!config_.wow64) return std::nullopt;
    std::optional<std::string> full = FullPathName(path);
    if (!full) return std::nullopt;
    // The folders of System32 that both views share.
    static constexpr const char* kShared[] = {"catroot", "catroot2", "drivers\\etc", "logfiles",
                                              "spool"};
    const auto below = [&](const std::string& folder) -> std::optional<std::string> {
        const std::string prefix = config_.windowsFolder + "\\" + folder;
        if (full->size() < prefix.size() || !EqualNoCase(full->substr(0, prefix.size()), prefix))
            return std::nullopt;
        if (full->size() > prefix.size() && (*full)[prefix.size()] != '\\') return std::nullopt;
        return full->substr(prefix.size());
    };
    if (std::optional<std::string> rest = below("System32")) {
        for (const char* shared : kShared) {
            const std::string folder = std::string("\\") + shared;
            if (rest->size() >= folder.size() &&
                EqualNoCase(rest->substr(0, folder.size()), folder) &&
                (rest->size() == folder.size() || (*rest)[folder.size()] == '\\'))
                return std::nullopt;
        }
        return config_.windowsFolder + "\\SysWOW64" + *rest;
    }
    if (std::optional<std::string> rest = below("Sysnative"))
        return config_.windowsFolder + "\\System32" + *rest;
    return std::nullopt;
}

}  // namespace qm
