#include "platform/text_answers.h"

#include <cstring>
#include <functional>

namespace qm {

namespace {

constexpr size_t kFirstSlots = 1024;

}  // namespace

uint64_t TextAnswers::Hash(std::string_view text) {
    return std::hash<std::string_view>{}(text);
}

std::optional<Existence> TextAnswers::Find(std::string_view text, uint64_t hash) const {
    if (slots_.empty()) return std::nullopt;
    const size_t mask = slots_.size() - 1;
    for (size_t i = hash & mask;; i = (i + 1) & mask) {
        const Slot& slot = slots_[i];
        if (!slot.used) return std::nullopt;
        if (slot.hash == hash && slot.length == text.size() &&
            std::memcmp(text_.data() + slot.offset, text.data(), text.size()) == 0)
            return slot.answer;
    }
}

void TextAnswers::Insert(std::string_view text, uint64_t hash, Existence answer) {
    if (used_ >= mostAnswers_ || text_.size() + text.size() > mostTextBytes_) Clear();
    if ((used_ + 1) * 2 > slots_.size()) Grow();
    const size_t mask = slots_.size() - 1;
    size_t i = hash & mask;
    while (slots_[i].used) i = (i + 1) & mask;
    slots_[i] = {hash, static_cast<uint32_t>(text_.size()), static_cast<uint32_t>(text.size()),
                 true, answer};
    text_.append(text);
    ++used_;
}

void TextAnswers::Grow() {
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

void TextAnswers::Clear() {
    slots_.clear();
    text_.clear();
    used_ = 0;
}

}  // namespace qm
