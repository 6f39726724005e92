// A FileStream over a host file descriptor, and the Win32 status of a host
// error.
#pragma once

#include "platform/file_probe.h"

namespace qm::mapped {

// Owns the descriptor and closes it.
class HostFileStream : public FileStream {
  public:
    explicit HostFileStream(int fd) : fd_(fd) {}
    ~HostFileStream() override;
    HostFileStream(const HostFileStream&) = delete;
    HostFileStream& operator=(const HostFileStream&) = delete;

    size_t Read(void* buffer, size_t size) override;
    bool Write(const void* data, size_t size) override;
    bool Flush() override;
    bool Truncate(uint64_t size) override;

  private:
    int fd_;
};

Status ErrnoStatus(int error);

}  // namespace qm::mapped
