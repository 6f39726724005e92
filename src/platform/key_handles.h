// The open key handles of a backend that keeps its keys itself (in memory,
// over hive files), and the one lock under which every call of such a
// backend runs. `Handle` is what the backend keeps per open key; `Backend`
// derives from this class and looks handles up with
// `Status Use(HKey key, uint32_t need, Handle** out)`, root handles
// included, checking that the handle carries the rights `need`.
#pragma once

#include <cstddef>
#include <mutex>
#include <string_view>
#include <unordered_map>
#include <utility>

#include "platform/registry_answers.h"

namespace qm {

template <typename Handle, typename Backend>
class KeyHandles {
  public:
    std::mutex& mutex() const { return mutex_; }

    // Runs `call` under the lock; kNotEnoughMemory when memory runs out.
    template <typename Call>
    Status Locked(Call&& call) const {
        return answer::Locked(mutex_, call);
    }

    // Runs `call` with the handle `key` under the lock, once Use found it
    // with the rights `need`; Use's status when it did not.
    template <typename Call>
    Status WithHandle(HKey key, uint32_t need, Call&& call) {
        return Locked([&]() -> Status {
            Handle* handle = nullptr;
            const Status found = static_cast<Backend*>(this)->Use(key, need, &handle);
            return found != status::kSuccess ? found : call(handle);
        });
    }

    // SHDeleteKeyA's two forms: with no subkey the parent handle, which
    // must allow reading and enumerating, goes to `emptyParent`; otherwise
    // the path (one leading backslash allowed below HKEY_CLASSES_ROOT) goes
    // to `deletePath`. Both run under the lock.
    template <typename EmptyParent, typename DeletePath>
    Status DeleteTree(HKey parent, const char* subKey, EmptyParent&& emptyParent,
                      DeletePath&& deletePath) {
        std::string_view path = answer::Text(subKey);
        if (path.empty()) {
            return WithHandle(parent, access::kQueryValue, [&](Handle* handle) -> Status {
                if (!(handle->access & access::kEnumerateSubKeys)) return status::kAccessDenied;
                return emptyParent(handle);
            });
        }
        if (parent == hkey::kClassesRoot && path.front() == '\\') path.remove_prefix(1);
        return Locked([&]() -> Status { return deletePath(path); });
    }

    // Hands out a handle value: small multiples of four as the system hands
    // out, never reaching the range of the predefined root handles, and
    // never one that is open.
    HKey Add(Handle handle) {
        HKey value = hkey::kNull;
        do {
            value = next_;
            next_ = next_ >= kLast ? kFirst : next_ + 4;
        } while (open_.count(value) != 0);
        open_.emplace(value, std::move(handle));
        return value;
    }

    // The open handle `key`, or null (also for root handles).
    Handle* Lookup(HKey key) {
        auto found = open_.find(key);
        return found == open_.end() ? nullptr : &found->second;
    }

    // RegCloseKey: root handles are never closed; `closed` sees the handle
    // just before it goes.
    template <typename Closed>
    Status Close(HKey key, Closed&& closed) {
        if (key == hkey::kNull) return status::kInvalidHandle;
        if (key >= hkey::kClassesRoot) return status::kSuccess;
        return Locked([&] {
            auto found = open_.find(key);
            if (found == open_.end()) return status::kInvalidHandle;
            closed(found->second);
            open_.erase(found);
            return status::kSuccess;
        });
    }

    // Every open handle, under the caller's lock.
    template <typename Visit>
    void ForEach(Visit&& visit) {
        for (auto& [value, handle] : open_) visit(handle);
    }

    size_t Count() const {
        std::lock_guard<std::mutex> lock(mutex_);
        return open_.size();
    }

  private:
    static constexpr HKey kFirst = 0x1000;
    static constexpr HKey kLast = 0x7FFFFFF0;

    mutable std::mutex mutex_;
    std::unordered_map<HKey, Handle> open_;
    HKey next_ = kFirst;
};

}  // namespace qm
