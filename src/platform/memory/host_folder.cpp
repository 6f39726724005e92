#include "platform/memory/host_folder.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/inotify.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>

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

// Whatever can change which names a folder holds or what stat() tells of
// them, and the folder itself going away.
constexpr uint32_t kWatchedChanges = IN_CREATE | IN_DELETE | IN_MOVED_FROM | IN_MOVED_TO |
                                     IN_ATTRIB | IN_DELETE_SELF | IN_MOVE_SELF | IN_ONLYDIR;

uint64_t ToFileTime(int64_t seconds, int64_t nanoseconds) {
    if (seconds < -static_cast<int64_t>(kUnixEpochAsFileTime / 10000000)) return 0;
    return static_cast<uint64_t>(static_cast<int64_t>(kUnixEpochAsFileTime) + seconds * 10000000 +
                                 nanoseconds / 100);
}

HostStat FromStat(const struct stat& info) {
    return HostStat{true, info.st_mode, info.st_dev, info.st_ino};
}

// Equal for exactly the names EqualNoCase takes as equal.
std::u32string Folded(std::u32string name) {
    for (char32_t& c : name) c = UpperChar(c);
    return name;
}

// Names a folder's listing never holds, though the host finds them.
bool IsListedName(const std::string& name) {
    return !name.empty() && name != "." && name != ".." && name.find('/') == std::string::npos;
}

}  // namespace

std::string JoinHost(const std::string& folder, const std::string& name) {
    if (!folder.empty() && folder.back() == '/') return folder + name;
    return folder + "/" + name;
}

HostStat StatHost(const std::string& path) {
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0) return HostStat{};
    return FromStat(info);
}

struct HostFolders::Listing {
    std::vector<std::string> names;  // in the host's order
    // Whether the entry may be a symbolic link: what stat() tells of one can
    // change without its folder changing, so it is asked every time.
    std::vector<bool> links;
    // The listing's own word on each entry (DT_REG, DT_DIR, ...), and
    // whether stat() may look inside the folder at all: only then does a
    // plain file or folder that the listing names stat as that, so that the
    // listing may answer for stat().
    std::vector<unsigned char> types;
    bool searchable = false;
    std::vector<std::optional<HostStat>> stats;  // once asked
    std::unordered_map<std::string_view, size_t> exact;
    // The first name in byte order of each case-folded name, and of each
    // case-folded short alias (made when an alias is first looked up).
    std::unordered_map<std::u32string, size_t> folded;
    std::unordered_map<std::u32string, size_t> aliases;
    bool aliasesMade = false;

    void Read(const std::string& folder, DIR* dir) {
        while (dirent* item = readdir(dir)) {
            std::string name = item->d_name;
            if (name == "." || name == "..") continue;
            names.push_back(std::move(name));
            links.push_back(item->d_type == DT_LNK || item->d_type == DT_UNKNOWN);
            types.push_back(item->d_type);
        }
        searchable = ::access(folder.c_str(), X_OK) == 0;
        stats.resize(names.size());
        for (size_t i = 0; i < names.size(); ++i) {
            exact.emplace(names[i], i);
            Keep(folded, Folded(HostToUnicode(names[i])), i);
        }
    }

    void Keep(std::unordered_map<std::u32string, size_t>& index, std::u32string key, size_t i) {
        auto [it, added] = index.emplace(std::move(key), i);
        if (!added && names[i] < names[it->second]) it->second = i;
    }

    std::optional<size_t> Lookup(const std::string& host, std::string_view name) {
        if (auto it = exact.find(host); it != exact.end()) return it->second;
        const std::u32string wanted = WindowsToUnicode(name);
        const std::u32string key = Folded(wanted);
        if (auto it = folded.find(key); it != folded.end()) return it->second;
        if (!IsLegal8Dot3(wanted) || wanted.find(U' ') != std::u32string::npos) return std::nullopt;
        if (!aliasesMade) {
            for (size_t i = 0; i < names.size(); ++i) {
                std::u32string alias = ShortAlias(HostToUnicode(names[i]));
                if (!alias.empty()) Keep(aliases, Folded(std::move(alias)), i);
            }
            aliasesMade = true;
        }
        if (auto it = aliases.find(key); it != aliases.end()) return it->second;
        return std::nullopt;
    }

    HostStat Stat(const std::string& folder, size_t i, uint64_t& epoch, bool typeOnly) {
        if (stats[i]) return *stats[i];
        if (typeOnly && searchable && (types[i] == DT_REG || types[i] == DT_DIR))
            return HostStat{true, static_cast<mode_t>(types[i] == DT_DIR ? S_IFDIR : S_IFREG), 0,
                            0};
        const std::string path = JoinHost(folder, names[i]);
        if (links[i]) {
            struct stat info {};
            if (::lstat(path.c_str(), &info) != 0 || S_ISLNK(info.st_mode)) {
                ++epoch;
                return StatHost(path);
            }
            links[i] = false;
            return *(stats[i] = FromStat(info));
        }
        return *(stats[i] = StatHost(path));
    }
};

size_t HostFolders::KeyHash::operator()(const Key& key) const {
    return std::hash<uint64_t>()(static_cast<uint64_t>(key.inode) * 31 +
                                 static_cast<uint64_t>(key.device));
}

HostFolders::HostFolders() = default;

HostFolders::~HostFolders() {
    if (events_ >= 0) ::close(events_);
}

int HostFolders::Watch(const std::string& folder) {
    if (events_ < 0) events_ = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (events_ < 0) return -1;
    return inotify_add_watch(events_, folder.c_str(), kWatchedChanges);
}

void HostFolders::DropChanged() {
    std::lock_guard<std::mutex> lock(mutex_);
    DropChangedLocked();
}

void HostFolders::DropChangedLocked() {
    int pending = 0;
    if (events_ < 0 || ::ioctl(events_, FIONREAD, &pending) != 0 || pending == 0) return;
    alignas(inotify_event) char buffer[4096];
    while (true) {
        const ssize_t size = ::read(events_, buffer, sizeof buffer);
        if (size <= 0) return;  // nothing more has changed
        for (ssize_t at = 0; at < size;) {
            const auto* event = reinterpret_cast<const inotify_event*>(buffer + at);
            at += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
            if (event->mask & IN_Q_OVERFLOW) {
                Drop(nullptr);
                continue;
            }
            auto watch = watched_.find(event->wd);
            if (watch == watched_.end()) continue;
            Drop(&watch->second);
            if (event->mask & IN_IGNORED) watched_.erase(watch);
        }
    }
}

void HostFolders::Drop(const Key* key) {
    ++epoch_;
    answers_.Clear();
    if (key == nullptr) {
        listings_.clear();
        roots_.clear();
        return;
    }
    listings_.erase(*key);
    std::erase_if(roots_, [&](const auto& root) {
        return root.second.device == key->device && root.second.inode == key->inode;
    });
}

HostStat HostFolders::Root(const std::string& path) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (auto it = roots_.find(path); it != roots_.end()) return it->second;
    const HostStat root = StatHost(path);
    // A drive that is a link may come to lead elsewhere: it is asked every time.
    struct stat link {};
    const bool isLink = ::lstat(path.c_str(), &link) != 0 || S_ISLNK(link.st_mode);
    const int watch = root.found && S_ISDIR(root.mode) && !isLink ? Watch(path) : -1;
    const HostStat now = watch >= 0 ? StatHost(path) : HostStat{};  // the folder watched?
    if (now.found && now.device == root.device && now.inode == root.inode) {
        watched_[watch] = Key{root.device, root.inode};
        roots_[path] = root;
    } else {
        ++epoch_;  // read afresh
    }
    return root;
}

HostFolders::Listing* HostFolders::Load(const std::string& folder, const HostStat& where,
                                        std::unique_ptr<Listing>& scratch) {
    const Key key{where.device, where.inode};
    if (auto it = listings_.find(key); it != listings_.end()) return it->second.get();
    // Watched before it is read, so that no change while it is read is missed.
    const int watch = Watch(folder);
    DirHandle dir(opendir(folder.c_str()));
    if (!dir) return nullptr;
    struct stat self {};
    const bool same = ::fstat(dirfd(dir.get()), &self) == 0 && self.st_dev == where.device &&
                      self.st_ino == where.inode;
    auto listing = std::make_unique<Listing>();
    listing->Read(folder, dir.get());
    if (watch < 0 || !same) {
        ++epoch_;
        scratch = std::move(listing);
        return scratch.get();
    }
    watched_[watch] = key;
    return (listings_[key] = std::move(listing)).get();
}

std::optional<std::string> HostFolders::Find(const std::string& folder, const HostStat& where,
                                             std::string_view name, HostStat* stat, bool typeOnly) {
    std::string host = WindowsToHost(name);
    std::lock_guard<std::mutex> lock(mutex_);
    std::unique_ptr<Listing> scratch;
    Listing* listing = IsListedName(host) ? Load(folder, where, scratch) : nullptr;
    if (listing == nullptr) {
        // No listing to look in: only the exact spelling can be found.
        ++epoch_;
        struct stat info {};
        const std::string path = JoinHost(folder, host);
        if (::lstat(path.c_str(), &info) != 0) return std::nullopt;
        if (stat != nullptr) *stat = StatHost(path);
        return host;
    }
    const std::optional<size_t> found = listing->Lookup(host, name);
    if (!found) return std::nullopt;
    if (stat != nullptr) *stat = listing->Stat(folder, *found, epoch_, typeOnly);
    return listing->names[*found];
}

std::vector<std::string> HostFolders::Names(const std::string& folder, const HostStat& where) {
    std::lock_guard<std::mutex> lock(mutex_);
    std::unique_ptr<Listing> scratch;
    Listing* listing = Load(folder, where, scratch);
    if (listing == nullptr) return {};
    return listing->names;
}

void HostFolders::Forget(const HostStat& folder) {
    std::lock_guard<std::mutex> lock(mutex_);
    const Key key{folder.device, folder.inode};
    Drop(&key);
}

std::optional<Existence> HostFolders::Recall(std::string_view question, uint64_t& since) {
    std::lock_guard<std::mutex> lock(mutex_);
    DropChangedLocked();
    if (std::optional<Existence> answer = answers_.Find(question)) return answer;
    since = epoch_;
    return std::nullopt;
}

void HostFolders::Remember(const std::string& question, Existence answer, uint64_t since) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (since == epoch_) answers_.Insert(question, answer);
}

bool IsReadOnly(mode_t mode) {
    return (mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0;
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
