// A FileStream over bytes in memory that can be told to fail: after a number
// of bytes (a full disk, which keeps what fitted, as a short write does) or
// at every flush, or after a number of flushes.
#pragma once

#include <cstdint>
#include <cstring>
#include <limits>
#include <memory>
#include <string>

#include "platform/file_probe.h"

namespace qm::testing {

struct MemoryFileState {
    std::string bytes;
    size_t capacity = std::numeric_limits<size_t>::max();
    bool failFlush = false;
    int flushes = 0;
    int flushLimit = std::numeric_limits<int>::max();  // flushes after this many fail
};

class MemoryFile : public FileStream {
  public:
    explicit MemoryFile(std::shared_ptr<MemoryFileState> state) : state_(std::move(state)) {}
    size_t Read(void*, size_t) override { return 0; }
    bool Write(const void* data, size_t size) override {
        const size_t room = state_->capacity - std::min(state_->capacity, state_->bytes.size());
        state_->bytes.append(static_cast<const char*>(data), std::min(size, room));
        return size <= room;
    }
    bool Flush() override {
        ++state_->flushes;
        return !state_->failFlush && state_->flushes <= state_->flushLimit;
    }
    bool Truncate(uint64_t size) override {
        if (size > state_->bytes.size()) return false;
        state_->bytes.resize(size);
        return true;
    }

  private:
    std::shared_ptr<MemoryFileState> state_;
};

}  // namespace qm::testing
