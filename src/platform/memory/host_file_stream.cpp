#include "platform/memory/host_file_stream.h"

#include <unistd.h>

#include <cerrno>

namespace qm::mapped {

HostFileStream::~HostFileStream() {
    ::close(fd_);
}

size_t HostFileStream::Read(void* buffer, size_t size) {
    auto* out = static_cast<char*>(buffer);
    size_t done = 0;
    while (done < size) {
        ssize_t got = ::read(fd_, out + done, size - done);
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) break;
        done += static_cast<size_t>(got);
    }
    return done;
}

bool HostFileStream::Write(const void* data, size_t size) {
    const auto* in = static_cast<const char*>(data);
    size_t done = 0;
    while (done < size) {
        ssize_t put = ::write(fd_, in + done, size - done);
        if (put < 0 && errno == EINTR) continue;
        if (put <= 0) return false;
        done += static_cast<size_t>(put);
    }
    return true;
}

// Writes go straight to the file; Flush asks for them to reach the disk.
// Files that cannot be synchronised (devices, pipes) have nothing to
// flush.
bool HostFileStream::Flush() {
    return ::fsync(fd_) == 0 || errno == EINVAL || errno == EROFS;
}

bool HostFileStream::Truncate(uint64_t size) {
    const auto length = static_cast<off_t>(size);
    if (length < 0 || static_cast<uint64_t>(length) != size) return false;
    return ::ftruncate(fd_, length) == 0 && ::lseek(fd_, length, SEEK_SET) == length;
}

Status ErrnoStatus(int error) {
    switch (error) {
        case ENOENT:
            return status::kFileNotFound;
        case ENOTDIR:
            return status::kPathNotFound;
        case EEXIST:
            return status::kAlreadyExists;
        case ENAMETOOLONG:
            return status::kFilenameExcedRange;
        case ENOMEM:
            return status::kNotEnoughMemory;
        case ENOSPC:
        case EIO:
            return status::kWriteFault;
        default:
            return status::kAccessDenied;
    }
}

}  // namespace qm::mapped
