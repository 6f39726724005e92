#include "platform/hive/hive_commit.h"

#include <fcntl.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <utility>
#include <vector>

namespace qm::hive {

namespace {

CommitHook& Hook() {
    static CommitHook hook;
    return hook;
}

// A step about to be made: false (errno EIO) when the test hook fails it.
bool Step(CommitStep step, const std::string& hive) {
    if (Hook() && !Hook()(step, hive)) {
        errno = EIO;
        return false;
    }
    return true;
}

std::string TwoDigits(int n) {
    char text[16];
    std::snprintf(text, sizeof text, "%02d", n);
    return text;
}

std::string RandomName() {
    unsigned char random[8] = {};
    if (::getrandom(random, sizeof random, 0) != sizeof random) {
        const auto now = static_cast<unsigned long long>(::getpid()) ^
                         static_cast<unsigned long long>(std::time(nullptr));
        std::memcpy(random, &now, sizeof random);
    }
    std::string name = ".quillmend-";
    for (unsigned char byte : random) {
        char hex[3];
        std::snprintf(hex, sizeof hex, "%02x", byte);
        name += hex;
    }
    return name;
}

bool SameFile(const struct stat& a, const struct stat& b) {
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

// The work on one hive and how far it got.
struct Work {
    HiveFile* hive = nullptr;
    HiveOutcome* out = nullptr;
    std::string privateName;  // the private folder's name beside the hive
    UniqueFd privateFolder;
    UniqueFd fresh;  // the new file, in the private folder under the hive's name
    struct stat freshStat {};
    std::string backupName;
    bool kept = false;      // the original has its .bak name
    bool replaced = false;  // the new file is in place
    // The logs set aside: each one's name and the name it has now.
    std::vector<std::pair<std::string, std::string>> logsAside;

    int folder() const { return hive->folder(); }
    const std::string& name() const { return hive->name(); }
    const std::string& path() const { return hive->path(); }
};

bool Fail(std::string* reason, const std::string& what, int error) {
    *reason = what + ": " + ErrnoText(error);
    return false;
}

// The hive is still the file that was read: the same file under its name,
// not changed since.
bool Unchanged(const Work& w, std::string* reason) {
    struct stat now {};
    if (::fstatat(w.folder(), w.name().c_str(), &now, AT_SYMLINK_NOFOLLOW) != 0)
        return Fail(reason, "the hive cannot be found again", errno);
    const struct stat& then = w.hive->identity();
    if (!SameFile(now, then) || now.st_size != then.st_size ||
        now.st_mtim.tv_sec != then.st_mtim.tv_sec || now.st_mtim.tv_nsec != then.st_mtim.tv_nsec) {
        *reason = "the hive was changed or replaced on the disk since it was read";
        return false;
    }
    return true;
}

// Gives `fd` the owner, mode and times of `original`, and syncs it.
bool CarryOver(int fd, const struct stat& original, std::string* reason) {
    struct stat now {};
    if (::fstat(fd, &now) != 0) return Fail(reason, "cannot read the new file's owner", errno);
    if ((now.st_uid != original.st_uid || now.st_gid != original.st_gid) &&
        ::fchown(fd, original.st_uid, original.st_gid) != 0)
        return Fail(reason, "cannot give the new file the original's owner", errno);
    if (::fchmod(fd, original.st_mode & 07777) != 0)
        return Fail(reason, "cannot give the new file the original's mode", errno);
    const struct timespec times[2] = {original.st_atim, original.st_mtim};
    if (::futimens(fd, times) != 0)
        return Fail(reason, "cannot give the new file the original's times", errno);
    if (::fstat(fd, &now) != 0 || now.st_uid != original.st_uid || now.st_gid != original.st_gid ||
        (now.st_mode & 07777) != (original.st_mode & 07777)) {
        *reason = "the new file does not keep the original's owner and mode";
        return false;
    }
    if (::fsync(fd) != 0) return Fail(reason, "cannot sync the new file", errno);
    return true;
}

// Writes the hive's new file in a private folder beside it.
bool Prepare(Work& w, std::string* reason) {
    if (!Step(CommitStep::kWriteNew, w.path()))
        return Fail(reason, "cannot write the new file", errno);
    if (!Unchanged(w, reason)) return false;
    for (int tries = 0;; ++tries) {
        w.privateName = RandomName();
        if (::mkdirat(w.folder(), w.privateName.c_str(), 0700) == 0) break;
        if (errno != EEXIST || tries > 16)
            return Fail(reason, "cannot make a private folder beside the hive", errno);
    }
    w.privateFolder = UniqueFd(::openat(w.folder(), w.privateName.c_str(),
                                        O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    if (!w.privateFolder.valid())
        return Fail(reason, "cannot open the private folder beside the hive", errno);
    w.fresh = UniqueFd(::openat(w.privateFolder.get(), w.name().c_str(),
                                O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600));
    if (!w.fresh.valid()) return Fail(reason, "cannot make the new file", errno);
    if (!w.hive->WriteChanges(w.fresh.get(), reason) ||
        !CarryOver(w.fresh.get(), w.hive->identity(), reason))
        return false;
    if (::fstat(w.fresh.get(), &w.freshStat) != 0)
        return Fail(reason, "cannot read the new file's identity", errno);
    return true;
}

// Keeps the original under the .bak name: a second link to it, or a copy
// where the file system has no hard links.
bool KeepOriginal(Work& w, std::string* reason) {
    if (::linkat(w.folder(), w.name().c_str(), w.folder(), w.backupName.c_str(), 0) == 0) {
        w.kept = true;
        struct stat kept {};
        if (::fstatat(w.folder(), w.backupName.c_str(), &kept, AT_SYMLINK_NOFOLLOW) != 0 ||
            !SameFile(kept, w.hive->identity())) {
            *reason = "the link kept as the original is not the original";
            return false;
        }
        return true;
    }
    if (errno != EPERM && errno != EOPNOTSUPP && errno != EMLINK && errno != ENOSYS)
        return Fail(reason, "cannot keep the original as " + w.backupName, errno);
    UniqueFd copy(::openat(w.folder(), w.backupName.c_str(),
                           O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600));
    if (!copy.valid()) return Fail(reason, "cannot keep the original as " + w.backupName, errno);
    w.kept = true;
    std::string bytes;
    if (!ReadAll(w.hive->descriptor(), &bytes) || !WriteAll(copy.get(), bytes))
        return Fail(reason, "cannot copy the original to " + w.backupName, errno);
    return CarryOver(copy.get(), w.hive->identity(), reason);
}

// Renames `from` to `to` in `folder`, never over a file that is there.
bool RenameNew(int folder, const std::string& from, const std::string& to) {
    if (::renameat2(folder, from.c_str(), folder, to.c_str(), RENAME_NOREPLACE) == 0) return true;
    if (errno != EINVAL && errno != ENOSYS) return false;
    struct stat taken {};
    if (::fstatat(folder, to.c_str(), &taken, AT_SYMLINK_NOFOLLOW) == 0) {
        errno = EEXIST;
        return false;
    }
    return ::renameat(folder, from.c_str(), folder, to.c_str()) == 0;
}

// Whether the hive's logs are still as they were when it was read: one that
// changed means Windows is writing it, and nothing is switched then.
bool LogsUnchanged(const Work& w, std::string* reason) {
    for (const HiveFile::Log& log : w.hive->logs()) {
        struct stat now {};
        if (::fstatat(w.folder(), log.name.c_str(), &now, AT_SYMLINK_NOFOLLOW) != 0) {
            if (errno == ENOENT) continue;
            return Fail(reason, "cannot find the log " + log.name + " again", errno);
        }
        if (!SameFile(now, log.identity) || now.st_size != log.identity.st_size ||
            now.st_mtim.tv_sec != log.identity.st_mtim.tv_sec ||
            now.st_mtim.tv_nsec != log.identity.st_mtim.tv_nsec) {
            *reason = "the log " + log.name + " was changed since the hive was read";
            return false;
        }
    }
    return true;
}

// Sets the hive's logs aside beside its original, as <original>.LOG1 and
// .LOG2: the .bak set keeps the hive as it was, logs included. This comes
// after the new file is in place, so that the hive under its name always
// has its logs or is clean (and Windows ignores the logs of a clean hive).
bool SetLogsAside(Work& w, std::string* reason) {
    for (const HiveFile::Log& log : w.hive->logs()) {
        const std::string aside = w.backupName + log.name.substr(w.name().size());
        if (!RenameNew(w.folder(), log.name, aside)) {
            if (errno == ENOENT) continue;
            return Fail(reason, "cannot set the log " + log.name + " aside as " + aside, errno);
        }
        w.logsAside.emplace_back(log.name, aside);
    }
    return true;
}

// Gives the logs set aside their names again, last first.
bool PutLogsBack(Work& w, std::string* reason) {
    bool all = true;
    for (auto it = w.logsAside.rbegin(); it != w.logsAside.rend(); ++it) {
        if (::renameat(w.folder(), it->second.c_str(), w.folder(), it->first.c_str()) != 0)
            all = Fail(reason, "cannot give the log " + it->first + " its name back", errno);
    }
    w.logsAside.clear();
    return all;
}

// Switches one hive: the original kept as .bak with its logs, the new file
// in its place. What is left to undo on failure is in `w`.
bool Switch(Work& w, std::string* reason) {
    if (!Step(CommitStep::kKeepOriginal, w.path()))
        return Fail(reason, "cannot keep the original", errno);
    if (!Unchanged(w, reason) || !LogsUnchanged(w, reason) || !KeepOriginal(w, reason))
        return false;
    if (!Step(CommitStep::kReplace, w.path()) ||
        ::renameat(w.privateFolder.get(), w.name().c_str(), w.folder(), w.name().c_str()) != 0)
        return Fail(reason, "cannot put the new file in place", errno);
    w.replaced = true;
    struct stat now {};
    if (::fstatat(w.folder(), w.name().c_str(), &now, AT_SYMLINK_NOFOLLOW) != 0 ||
        !SameFile(now, w.freshStat)) {
        *reason = "what was put in place is not the new file";
        return false;
    }
    if (!SetLogsAside(w, reason)) return false;
    if (!Step(CommitStep::kSyncFolder, w.path()) || ::fsync(w.folder()) != 0)
        return Fail(reason, "cannot sync the hive's folder", errno);
    return true;
}

// Puts a switched hive's original back in place, and its logs. The logs
// go back first, beside the new file, which is clean, so that a dirty
// original is never under its name without them.
bool PutBack(Work& w, std::string* reason) {
    if (!Step(CommitStep::kPutBack, w.path()))
        return Fail(reason, "cannot put the original back", errno);
    const bool logs = PutLogsBack(w, reason);
    if (::renameat(w.folder(), w.backupName.c_str(), w.folder(), w.name().c_str()) != 0)
        return Fail(reason, "cannot put the original back", errno);
    ::fsync(w.folder());
    return logs;
}

// Removes what is left of the private folder.
void CleanUp(Work& w) {
    if (!w.privateFolder.valid()) return;
    ::unlinkat(w.privateFolder.get(), w.name().c_str(), 0);
    w.privateFolder = UniqueFd();
    ::unlinkat(w.folder(), w.privateName.c_str(), AT_REMOVEDIR);
}

std::string BackupPath(const Work& w) {
    const std::filesystem::path hive(w.path());
    return hive.has_parent_path() ? (hive.parent_path() / w.backupName).string() : w.backupName;
}

}  // namespace

void SetCommitHook(CommitHook hook) {
    Hook() = std::move(hook);
}

bool CommitHives(const std::vector<HiveFile*>& hives, const UtcTime& now,
                 std::vector<HiveOutcome>* outcomes) {
    outcomes->assign(hives.size(), HiveOutcome{});
    std::vector<Work> work(hives.size());
    for (size_t i = 0; i < hives.size(); ++i) {
        work[i].hive = hives[i];
        work[i].out = &(*outcomes)[i];
        work[i].out->path = hives[i]->path();
    }
    auto cleanUp = [&] {
        for (Work& w : work) CleanUp(w);
    };
    for (Work& w : work) {
        if (!Prepare(w, &w.out->reason)) {
            cleanUp();
            return false;
        }
    }
    const std::string stamp = std::to_string(now.year) + TwoDigits(now.month) + TwoDigits(now.day) +
                              "-" + TwoDigits(now.hour) + TwoDigits(now.minute) +
                              TwoDigits(now.second);
    for (size_t i = 0; i < work.size(); ++i) {
        Work& w = work[i];
        const std::string base = w.name() + ".quillmend-" + stamp;
        w.backupName = base + ".bak";
        struct stat taken {};
        for (int n = 2;
             ::fstatat(w.folder(), w.backupName.c_str(), &taken, AT_SYMLINK_NOFOLLOW) == 0; ++n)
            w.backupName = base + "-" + std::to_string(n) + ".bak";
        if (Switch(w, &w.out->reason)) {
            w.out->state = HiveOutcome::State::kWritten;
            w.out->backup = BackupPath(w);
            continue;
        }
        // Undo this hive, then the ones switched before it, last first.
        std::string why;
        if (w.replaced) {
            w.out->state =
                PutBack(w, &why) ? HiveOutcome::State::kPutBack : HiveOutcome::State::kStuck;
        } else {
            if (!PutLogsBack(w, &why)) w.out->reason += "; " + why;
            if (w.kept) ::unlinkat(w.folder(), w.backupName.c_str(), 0);
        }
        if (w.out->state == HiveOutcome::State::kStuck) {
            w.out->reason += "; " + why;
            w.out->backup = BackupPath(w);
        }
        for (size_t k = i; k-- > 0;) {
            Work& done = work[k];
            if (PutBack(done, &done.out->reason)) {
                done.out->state = HiveOutcome::State::kPutBack;
                done.out->backup.clear();
            } else {
                done.out->state = HiveOutcome::State::kStuck;
            }
        }
        cleanUp();
        return false;
    }
    for (Work& w : work) {
        w.hive->Written(std::move(w.fresh));
        CleanUp(w);
    }
    return true;
}

std::string DescribeOutcomes(const std::vector<HiveOutcome>& outcomes) {
    std::string text;
    for (const HiveOutcome& o : outcomes) {
        text += o.path + ": ";
        switch (o.state) {
            case HiveOutcome::State::kWritten:
                text += "written; the original is kept as " + o.backup;
                break;
            case HiveOutcome::State::kLeft:
                text += "left as it was";
                if (!o.reason.empty()) text += " (" + o.reason + ")";
                break;
            case HiveOutcome::State::kPutBack:
                text += "put back as it was";
                if (!o.reason.empty()) text += " (" + o.reason + ")";
                break;
            case HiveOutcome::State::kStuck:
                text += "holds the changes, and its original could not be put back (" + o.reason +
                        "); the original is " + o.backup;
                break;
        }
        text += "\n";
    }
    return text;
}

}  // namespace qm::hive
