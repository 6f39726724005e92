#include "platform/key_walk.h"

#include <algorithm>
#include <utility>

namespace qm {

Status OpenKeyPath(RegistryService& registry, HKey root, const std::string& subKey, uint32_t access,
                   RegKey& way, RegKey& key) {
    HKey base = hkey::kNull;
    std::string rest;
    const Status reached = ReachKeyPath(registry, root, subKey, way, base, rest);
    return reached == status::kSuccess ? key.Open(base, rest.c_str(), access) : reached;
}

KeyWalk::KeyWalk(RegistryService& registry, uint32_t offered, uint32_t longest)
    : registry_(registry), name_(offered + 1u), longest_(longest) {}

Status KeyWalk::List(Level& level, std::string_view& name) {
    if (level.next >= level.count) return status::kNoMoreItems;
    for (;;) {
        const uint32_t offered = static_cast<uint32_t>(name_.size() - 1);
        uint32_t size = offered;
        const Status listed = registry_.EnumKey(level.key.get(), level.next, name_.data(), &size);
        if (listed == status::kMoreData && offered < longest_) {
            name_.resize(std::min<size_t>(size_t{offered} * 4, longest_) + 1u);
            continue;
        }
        if (listed == status::kSuccess) {
            size = std::min(size, offered);
            name_[size] = '\0';
            name = std::string_view(name_.data(), size);
        }
        return listed;
    }
}

Status KeyWalk::Walk(Level top, std::string path) {
    stopped_ = false;
    path_ = std::move(path);
    top.pathLength = path_.size();
    levels_.clear();
    levels_.push_back(std::move(top));
    for (;;) {
        Level& level = levels_.back();
        std::string_view name;
        const Status listed = List(level, name);
        if (stopped_) return stop_;
        if (listed == status::kSuccess) {
            if (!path_.empty()) path_.push_back('\\');
            path_.append(name);
            Level child;
            child.key = RegKey(registry_);
            child.pathLength = path_.size();
            const bool visit = Enter(level, name, child);
            if (stopped_) return stop_;
            if (visit) {
                levels_.push_back(std::move(child));  // `level` is not used after this
                continue;
            }
            path_.resize(level.pathLength);
            ++level.next;
            continue;
        }
        const bool gone = Leave(level, listed);
        if (stopped_) return stop_;
        levels_.pop_back();
        if (levels_.empty()) return status::kSuccess;
        path_.resize(levels_.back().pathLength);
        if (!gone) ++levels_.back().next;
    }
}

}  // namespace qm
