// Writing a hive's changes into a new file: all of them made in hivex in one
// child process, the file hivex writes put right and checked.
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>

#include "platform/hive/hive_file.h"

namespace qm::hive {

struct HiveFile::Plan {
    std::vector<hive_node_h> deletions;  // keys of the file, none below another of them
    std::vector<hive_node_h> additions;  // keys made here, each after its parent
    std::vector<hive_node_h> valueKeys;  // keys whose values are written, one call each
    std::vector<uint32_t> freed;         // big-data cells of the values deleted
    std::vector<uint32_t> sorted;        // keys of the file that get new subkeys
};

namespace {

// What the child tells the parent: 'K' and the keys made below keys made
// (their offsets, for sorting), or 'E', the step that failed and errno.
enum Step : char {
    kOpening = 'o',
    kDeleting = 'd',
    kAdding = 'a',
    kSettingValues = 'v',
    kCommitting = 'c'
};

void PutNumber(std::string* out, uint64_t n) {
    for (int i = 0; i < 8; ++i) out->push_back(static_cast<char>(n >> (8 * i)));
}

uint64_t GetNumber(std::string_view in, size_t at) {
    uint64_t n = 0;
    for (int i = 0; i < 8; ++i) n |= uint64_t{static_cast<uint8_t>(in[at + i])} << (8 * i);
    return n;
}

[[noreturn]] void Tell(int pipe, const std::string& message, int status) {
    for (size_t done = 0; done < message.size();) {
        const ssize_t put = ::write(pipe, message.data() + done, message.size() - done);
        if (put < 0 && errno == EINTR) continue;
        if (put <= 0) break;
        done += static_cast<size_t>(put);
    }
    ::_exit(status);
}

[[noreturn]] void TellFailure(int pipe, Step step, size_t index, int error) {
    std::string message(1, 'E');
    message.push_back(step);
    PutNumber(&message, index);
    PutNumber(&message, static_cast<uint64_t>(error));
    Tell(pipe, message, 1);
}

}  // namespace

bool HiveFile::MakePlan(Plan* plan, std::string* error) {
    for (const auto& [node, edit] : edits_) {
        if (edit.deleted) {
            if (!edit.made && !Gone(Parent(node))) plan->deletions.push_back(node);
            continue;
        }
        if (Gone(node)) continue;
        if (edit.made) {
            plan->additions.push_back(node);
            if (!Made(edit.parent)) plan->sorted.push_back(static_cast<uint32_t>(edit.parent));
        }
        if (edit.valuesHeld && !(edit.made && edit.values.size() == edit.removed)) {
            for (const ValueEntry& value : edit.values) {
                if (!value.removed && value.key.find('\0') != std::string::npos) {
                    *error = "a value of " + PathOf(node) + " has a name hivex cannot write";
                    return false;
                }
            }
            plan->valueKeys.push_back(node);
        }
    }
    // The same changes give the same file: hivex places cells in the order
    // it is asked.
    std::sort(plan->deletions.begin(), plan->deletions.end());
    std::sort(plan->additions.begin(), plan->additions.end());
    std::sort(plan->valueKeys.begin(), plan->valueKeys.end());
    for (const auto& [key, cells] : facts_.bigData)
        if (Gone(key)) plan->freed.insert(plan->freed.end(), cells.begin(), cells.end());
    return true;
}

std::string HiveFile::PathOf(hive_node_h node) {
    std::vector<std::string> names;
    for (size_t depth = 0; node != 0 && node != root_ && depth < 512; ++depth) {
        names.emplace_back();
        auto edit = edits_.find(node);
        if (edit != edits_.end() && edit->second.made)
            names.back() = edit->second.key;
        else if (!RawNodeName(h_, node, &names.back()))
            names.back().assign(1, '?');
        node = Parent(node);
    }
    std::string path;
    for (auto name = names.rbegin(); name != names.rend(); ++name)
        path.append(1, '\\').append(*name);
    return path.empty() ? std::string(1, '\\') : path;
}

bool HiveFile::WriteChanges(int fd, std::string* error) {
    if (!damage_.empty()) {
        *error = damage_.substr(path_.size() + 2);
        return false;
    }
    if (!writable_) {
        *error = warning_.empty() ? "it was opened read-only" : "it is only read";
        return false;
    }
    Plan plan;
    if (!MakePlan(&plan, error)) return false;

    int pipes[2];
    if (::pipe2(pipes, O_CLOEXEC) != 0) {
        *error = "cannot start writing: " + ErrnoText(errno);
        return false;
    }
    UniqueFd reader(pipes[0]), writer(pipes[1]);
    std::fflush(nullptr);
    const pid_t pid = ::fork();
    if (pid < 0) {
        *error = "cannot start writing: " + ErrnoText(errno);
        return false;
    }
    if (pid == 0) {
        // The child: every change in hivex, then its hive into `fd`. hivex
        // says why it stops on a damaged block on the error stream.
        std::signal(SIGABRT, SIG_DFL);
        const int null = ::open("/dev/null", O_WRONLY);
        if (null >= 0) ::dup2(null, STDERR_FILENO);
        const int pipe = writer.get();
        errno = 0;
        hive_h* h = hivex_open(DescriptorPath(source_.get()).c_str(), HIVEX_OPEN_WRITE);
        if (h == nullptr) TellFailure(pipe, kOpening, 0, errno);
        for (size_t i = 0; i < plan.deletions.size(); ++i) {
            errno = 0;
            if (hivex_node_delete_child(h, plan.deletions[i]) != 0)
                TellFailure(pipe, kDeleting, i, errno);
        }
        std::unordered_map<hive_node_h, hive_node_h> real;
        auto inFile = [&](hive_node_h node) { return Made(node) ? real[node] : node; };
        std::string madeParents;
        for (size_t i = 0; i < plan.additions.size(); ++i) {
            const Edit& edit = edits_[plan.additions[i]];
            errno = 0;
            const hive_node_h node = hivex_node_add_child(h, inFile(edit.parent), edit.key.c_str());
            if (node == 0) TellFailure(pipe, kAdding, i, errno);
            real[plan.additions[i]] = node;
            if (Made(edit.parent)) PutNumber(&madeParents, inFile(edit.parent));
        }
        for (size_t i = 0; i < plan.valueKeys.size(); ++i) {
            std::vector<hive_set_value> set;
            for (const ValueEntry& value : edits_[plan.valueKeys[i]].values) {
                if (value.removed) continue;
                set.emplace_back();
                set.back().key = const_cast<char*>(value.key.c_str());
                SetTypeBits(&set.back().t, value.type);
                set.back().len = value.bytes.size();
                set.back().value = const_cast<char*>(value.bytes.data());
            }
            errno = 0;
            if (hivex_node_set_values(h, inFile(plan.valueKeys[i]), set.size(), set.data(), 0) != 0)
                TellFailure(pipe, kSettingValues, i, errno);
        }
        errno = 0;
        if (hivex_commit(h, DescriptorPath(fd).c_str(), 0) != 0)
            TellFailure(pipe, kCommitting, 0, errno);
        Tell(pipe, "K" + madeParents, 0);
    }
    writer = UniqueFd();
    std::string told;
    char buffer[4096];
    for (;;) {
        const ssize_t got = ::read(reader.get(), buffer, sizeof buffer);
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) break;
        told.append(buffer, static_cast<size_t>(got));
    }
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    if (WIFSIGNALED(status) || told.empty()) {
        *error = "hivex stopped on a damaged block while making the changes";
        return false;
    }
    if (told[0] == 'E' && told.size() >= 18) {
        const size_t index = GetNumber(told, 2);
        const std::string cause = ErrnoText(static_cast<int>(GetNumber(told, 10)));
        switch (told[1]) {
            case kDeleting:
                *error = "hivex could not delete the key " + PathOf(plan.deletions[index]) + ": " +
                         cause;
                break;
            case kAdding:
                *error =
                    "hivex could not add the key " + PathOf(plan.additions[index]) + ": " + cause;
                break;
            case kSettingValues:
                *error = "hivex could not write the values of " + PathOf(plan.valueKeys[index]) +
                         ": " + cause;
                break;
            case kOpening:
                *error = "hivex could not open the hive for writing: " + cause;
                break;
            default:
                *error = "hivex could not write the new file: " + cause;
        }
        return false;
    }
    if (told[0] != 'K' || !WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        *error = "the process that made the changes ended without saying so";
        return false;
    }
    for (size_t at = 1; at + 8 <= told.size(); at += 8)
        plan.sorted.push_back(static_cast<uint32_t>(GetNumber(told, at)));
    std::sort(plan.sorted.begin(), plan.sorted.end());
    plan.sorted.erase(std::unique(plan.sorted.begin(), plan.sorted.end()), plan.sorted.end());

    // What hivex leaves wrong, put right: subkeys in Windows' order with
    // Windows' hashes, and the segments of deleted big data freed.
    MappedBytes bytes;
    if (!bytes.Map(fd, true)) {
        *error = "cannot read the new file back: " + ErrnoText(errno);
        return false;
    }
    const std::span<char> all(bytes.data(), bytes.size());
    std::string reason;
    if ((!plan.freed.empty() && !FreeCells(all, plan.freed, &reason)) ||
        (!plan.sorted.empty() && !SortSubkeys(all, plan.sorted, &reason))) {
        *error = "cannot put the new file right: " + reason;
        return false;
    }
    const std::string fault = CheckImage(bytes.view(), true);
    if (!fault.empty()) {
        *error = "the new file fails the checks Windows makes of a hive: " + fault;
        return false;
    }
    hive_h* fresh = hivex_open(DescriptorPath(fd).c_str(), 0);
    const bool same = fresh != nullptr && SameTree(fresh, bytes.view(), &reason);
    if (fresh != nullptr) hivex_close(fresh);
    if (!same) {
        *error = "the new file does not read back as written" +
                 (reason.empty() ? std::string() : ": " + reason);
        return false;
    }
    if (::fsync(fd) != 0) {
        *error = "cannot sync the new file: " + ErrnoText(errno);
        return false;
    }
    return true;
}

bool HiveFile::SameTree(hive_h* fresh, std::string_view freshBytes, std::string* reason) {
    using Named = std::pair<std::string, hive_node_h>;
    // The subkeys of a key of either tree with their names as hivex gives
    // them.
    auto rawChildren = [](hive_h* h, hive_node_h node, std::vector<Named>* out) {
        Freed<hive_node_h> children(hivex_node_children(h, node));
        if (children.p == nullptr) return false;
        for (size_t i = 0; children.p[i] != 0; ++i) {
            std::string name;
            if (!RawNodeName(h, children.p[i], &name)) return false;
            out->emplace_back(std::move(name), children.p[i]);
        }
        return true;
    };
    auto expected = [&](hive_node_h node, std::vector<Named>* out) {
        auto edit = edits_.find(node);
        if (edit == edits_.end() || !edit->second.childrenHeld) return rawChildren(h_, node, out);
        for (const ChildEntry& child : edit->second.children) {
            auto made = edits_.find(child.node);
            std::string name;
            if (made != edits_.end() && made->second.made)
                name = made->second.key;
            else if (!RawNodeName(h_, child.node, &name))
                return false;
            out->emplace_back(std::move(name), child.node);
        }
        return true;
    };
    struct Raw {
        std::string key;
        uint32_t type = 0;
        std::string data;
        bool operator==(const Raw&) const = default;
    };
    auto rawValues = [](hive_h* h, hive_node_h node, std::vector<Raw>* out) {
        Freed<hive_value_h> values(hivex_node_values(h, node));
        if (values.p == nullptr) return false;
        for (size_t i = 0; values.p[i] != 0; ++i) {
            Raw raw;
            if (!RawValueName(h, values.p[i], &raw.key) ||
                !RawValueData(h, values.p[i], &raw.type, &raw.data))
                return false;
            out->push_back(std::move(raw));
        }
        return true;
    };

    // A key nothing changed lies where it lay, in cells that hold what they
    // held byte for byte; the others are compared by what they hold.
    MappedBytes original;
    HiveCells before, after;
    if (!original.Map(source_.get(), false) || !before.Read(original.view(), reason) ||
        !after.Read(freshBytes, reason)) {
        if (reason->empty()) *reason = "the original does not read again: " + ErrnoText(errno);
        return false;
    }
    std::vector<uint32_t> cellsBefore, cellsAfter, subkeysBefore, subkeysAfter;
    std::vector<std::pair<hive_node_h, hive_node_h>> pending{{root_, hivex_root(fresh)}};
    while (!pending.empty()) {
        const auto [mine, theirs] = pending.back();
        pending.pop_back();
        auto edit = edits_.find(mine);
        const bool untouched =
            edit == edits_.end() || !(edit->second.made || edit->second.childrenHeld ||
                                      edit->second.valuesHeld || edit->second.deleted);
        if (untouched && mine == theirs) {
            cellsBefore.clear(), cellsAfter.clear(), subkeysBefore.clear(), subkeysAfter.clear();
            const auto key = static_cast<uint32_t>(mine);
            bool same = before.KeyCells(key, &cellsBefore, &subkeysBefore) &&
                        after.KeyCells(key, &cellsAfter, &subkeysAfter) &&
                        cellsBefore == cellsAfter && subkeysBefore == subkeysAfter;
            for (size_t i = 0; same && i < cellsBefore.size(); ++i)
                same = before.Cell(cellsBefore[i]) == after.Cell(cellsBefore[i]);
            if (!same) {
                *reason = PathOf(mine) + " changed, though nothing was to change it";
                return false;
            }
            for (uint32_t subkey : subkeysBefore) pending.emplace_back(subkey, subkey);
            continue;
        }
        std::vector<Raw> want, have;
        if (edit != edits_.end() && edit->second.valuesHeld) {
            for (const ValueEntry& value : edit->second.values)
                if (!value.removed) want.push_back({value.key, value.type, value.bytes});
        } else if (!rawValues(h_, mine, &want)) {
            *reason = "the values of " + PathOf(mine) + " do not read";
            return false;
        }
        if (!rawValues(fresh, theirs, &have) || want != have) {
            *reason = "the values of " + PathOf(mine) + " differ";
            return false;
        }
        std::vector<Named> a, b;
        if (!expected(mine, &a) || !rawChildren(fresh, theirs, &b)) {
            *reason = "the subkeys of " + PathOf(mine) + " do not read";
            return false;
        }
        std::sort(a.begin(), a.end());
        std::sort(b.begin(), b.end());
        if (a.size() != b.size()) {
            *reason = PathOf(mine) + " holds another number of subkeys";
            return false;
        }
        for (size_t i = 0; i < a.size(); ++i) {
            if (a[i].first != b[i].first) {
                *reason = "the subkeys of " + PathOf(mine) + " differ";
                return false;
            }
            pending.emplace_back(a[i].second, b[i].second);
        }
    }
    return true;
}

void HiveFile::Written(UniqueFd fd) {
    file_ = std::move(fd);
    ::fstat(file_.get(), &identity_);
    modified_ = false;
    // The logs were set aside with the original: the hive now stands alone.
    logs_.clear();
    notice_.clear();
}

bool HiveFile::SaveAs(const std::string& newPath, std::string* error) {
    UniqueFd out(::open(newPath.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0644));
    std::string reason;
    if (!out.valid()) {
        reason = ErrnoText(errno);
    } else if (WriteChanges(out.get(), &reason)) {
        return true;
    }
    if (error != nullptr) *error = newPath + ": cannot write the hive: " + reason;
    return false;
}

}  // namespace qm::hive
