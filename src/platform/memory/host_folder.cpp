#include "platform/memory/host_folder.h"

#include <dirent.h>
#include <fcntl.h>

#include <algorithm>
#include <memory>

#include "platform/memory/host_text.h"
#include "platform/memory/short_alias.h"
#include "platform/name_case.h"

namespace qm::mapped {

namespace {

struct DirCloser {
    void operator()(DIR* dir) const { closedir(dir); }
};
using DirHandle = std::unique_ptr<DIR, DirCloser>;

// 100-nanosecond intervals between 1601-01-01 and 1970-01-01 (UTC).
constexpr uint64_t kUnixEpochAsFileTime = 116444736000000000ull;

uint64_t ToFileTime(int64_t seconds, int64_t nanoseconds) {
    if (seconds < -static_cast<int64_t>(kUnixEpochAsFileTime / 10000000)) return 0;
    return static_cast<uint64_t>(static_cast<int64_t>(kUnixEpochAsFileTime) + seconds * 10000000 +
                                 nanoseconds / 100);
}

}  // namespace

std::string JoinHost(const std::string& folder, const std::string& name) {
    if (!folder.empty() && folder.back() == '/') return folder + name;
    return folder + "/" + name;
}

std::vector<std::string> ReadHostFolder(const std::string& folder) {
    std::vector<std::string> names;
    DirHandle dir(opendir(folder.c_str()));
    if (!dir) return names;
    while (dirent* item = readdir(dir.get())) {
        std::string name = item->d_name;
        if (name == "." || name == "..") continue;
        names.push_back(std::move(name));
    }
    return names;
}

std::optional<std::string> FindHostName(const std::string& folder, std::string_view name) {
    std::string exact = WindowsToHost(name);
    struct stat info {};
    if (::lstat(JoinHost(folder, exact).c_str(), &info) == 0) return exact;

    std::u32string wanted = WindowsToUnicode(name);
    std::vector<std::string> names = ReadHostFolder(folder);
    std::sort(names.begin(), names.end());
    for (const std::string& host : names)
        if (EqualNoCase(HostToUnicode(host), wanted)) return host;
    if (IsLegal8Dot3(wanted) && wanted.find(U' ') == std::u32string::npos) {
        for (const std::string& host : names) {
            std::u32string alias = ShortAlias(HostToUnicode(host));
            if (!alias.empty() && EqualNoCase(alias, wanted)) return host;
        }
    }
    return std::nullopt;
}

bool IsReadOnly(const struct stat& info) {
    return (info.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0;
}

uint64_t HostCreationTime(const std::string& hostPath, const struct stat& info) {
#ifdef STATX_BTIME
    struct statx extended {};
    if (::statx(AT_FDCWD, hostPath.c_str(), 0, STATX_BTIME, &extended) == 0 &&
        (extended.stx_mask & STATX_BTIME) != 0)
        return ToFileTime(extended.stx_btime.tv_sec, extended.stx_btime.tv_nsec);
#else
    (void)hostPath;
#endif
    return ToFileTime(info.st_mtim.tv_sec, info.st_mtim.tv_nsec);
}

}  // namespace qm::mapped
