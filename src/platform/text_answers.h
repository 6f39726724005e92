// An existence answer kept for each of many texts (paths, or whole value
// texts), by the exact text. The texts live in one string and their slots
// in one open-addressed table, so that a lookup reads one slot and the
// text's bytes, where a map of nodes reads a bucket, a node and the node's
// own string, each somewhere else in memory. A scan looks up the same few
// thousand texts hundreds of thousands of times, so that is most of what
// those lookups cost. Past `mostAnswers` texts, or `mostTextBytes` of them,
// the kept answers start again, so that memory stays bounded on any input.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/existence.h"

namespace qm {

class TextAnswers {
  public:
    explicit TextAnswers(size_t mostAnswers = size_t{1} << 18,
                         size_t mostTextBytes = size_t{64} << 20)
        : mostAnswers_(mostAnswers), mostTextBytes_(mostTextBytes) {}

    static uint64_t Hash(std::string_view text);

    // The kept answer for `text` (whose Hash is `hash`), if any.
    std::optional<Existence> Find(std::string_view text, uint64_t hash) const;
    std::optional<Existence> Find(std::string_view text) const { return Find(text, Hash(text)); }
    // Keeps the answer for a text that Find does not know.
    void Insert(std::string_view text, uint64_t hash, Existence answer);
    void Insert(std::string_view text, Existence answer) { Insert(text, Hash(text), answer); }
    void Clear();

  private:
    struct Slot {
        uint64_t hash = 0;
        uint32_t offset = 0;  // into text_
        uint32_t length = 0;
        bool used = false;
        Existence answer = Existence::kCannotTell;
    };
    void Grow();

    size_t mostAnswers_;
    size_t mostTextBytes_;
    std::vector<Slot> slots_;  // a power of two, never more than half used
    std::string text_;
    size_t used_ = 0;
};

}  // namespace qm
