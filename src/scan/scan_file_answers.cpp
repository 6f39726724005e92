#include "scan/scan_file_answers.h"

#include <cstring>
#include <functional>

namespace qm {

namespace {

// Far above the distinct paths of a whole registry; past it (or past as many
// bytes of path text) the kept answers start again, so that memory stays
// bounded on any input.
constexpr size_t kMostAnswers = size_t{1} << 18;
constexpr size_t kMostTextBytes = size_t{64} << 20;
constexpr size_t kFirstSlots = 1024;

}  // namespace

std::optional<bool> ScanFileAnswers::PathTable::Find(std::string_view path, uint64_t hash) const {
    if (slots_.empty()) return std::nullopt;
    const size_t mask = slots_.size() - 1;
    for (size_t i = hash & mask;; i = (i + 1) & mask) {
        const Slot& slot = slots_[i];
        if (!slot.used) return std::nullopt;
        if (slot.hash == hash && slot.length == path.size() &&
            std::memcmp(text_.data() + slot.offset, path.data(), path.size()) == 0)
            return slot.answer;
    }
}

void ScanFileAnswers::PathTable::Insert(std::string_view path, uint64_t hash, bool answer) {
    if ((used_ + 1) * 2 > slots_.size()) Grow();
    const size_t mask = slots_.size() - 1;
    size_t i = hash & mask;
    while (slots_[i].used) i = (i + 1) & mask;
    slots_[i] = {hash, static_cast<uint32_t>(text_.size()), static_cast<uint32_t>(path.size()),
                 true, answer};
    text_.append(path);
    ++used_;
}

void ScanFileAnswers::PathTable::Grow() {
    std::vector<Slot> old(slots_.empty() ? kFirstSlots : slots_.size() * 2);
    old.swap(slots_);
    const size_t mask = slots_.size() - 1;
    for (const Slot& slot : old) {
        if (!slot.used) continue;
        size_t i = slot.hash & mask;
        while (slots_[i].used) i = (i + 1) & mask;
        slots_[i] = slot;
    }
}

bool ScanFileAnswers::PathTable::Full() const {
    return used_ >= kMostAnswers || text_.size() >= kMostTextBytes;
}

void ScanFileAnswers::PathTable::Clear() {
    slots_.clear();
    text_.clear();
    used_ = 0;
}

bool ScanFileAnswers::PathExists(const std::string& path) {
    const uint64_t hash = std::hash<std::string_view>{}(path);
    if (const std::optional<bool> kept = exists_.Find(path, hash)) return *kept;
    const bool found = inner_.PathExists(path);
    if (exists_.Full()) exists_.Clear();
    exists_.Insert(path, hash, found);
    return found;
}

bool ScanFileAnswers::FindOnPath(std::string& name) {
    if (auto it = found_.find(name); it != found_.end()) {
        if (!it->second) return false;
        name = *it->second;
        return true;
    }
    std::string searched = name;
    const bool found = inner_.FindOnPath(searched);
    if (found_.size() >= kMostAnswers) found_.clear();
    found_.emplace(name, found ? std::optional<std::string>(searched) : std::nullopt);
    if (found) name = std::move(searched);
    return found;
}

Status ScanFileAnswers::CreateFolder(const std::string& path) {
    Forget();
    return inner_.CreateFolder(path);
}

Status ScanFileAnswers::DeleteFile(const std::string& path) {
    Forget();
    return inner_.DeleteFile(path);
}

std::unique_ptr<FileStream> ScanFileAnswers::OpenFile(const std::string& path, FileMode mode,
                                                      Status* status) {
    Forget();
    return inner_.OpenFile(path, mode, status);
}

void ScanFileAnswers::Forget() {
    exists_.Clear();
    found_.clear();
}

}  // namespace qm
