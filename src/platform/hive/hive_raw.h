// What the hive files' code shares inside this folder: names, values and
// data as hivex hands them over and takes them, and reading a file through
// its descriptor.
#pragma once

#include <hivex.h>

#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

namespace qm::hive {

// Memory handed out by hivex, freed with free().
template <typename T>
struct Freed {
    T* p = nullptr;
    explicit Freed(T* pointer) : p(pointer) {}
    Freed(const Freed&) = delete;
    Freed& operator=(const Freed&) = delete;
    ~Freed() { std::free(p); }
};

// A file descriptor, closed when it goes.
class UniqueFd {
  public:
    UniqueFd() = default;
    explicit UniqueFd(int fd) : fd_(fd) {}
    UniqueFd(UniqueFd&& other) noexcept : fd_(other.release()) {}
    UniqueFd& operator=(UniqueFd&& other) noexcept;
    UniqueFd(const UniqueFd&) = delete;
    UniqueFd& operator=(const UniqueFd&) = delete;
    ~UniqueFd();
    int get() const { return fd_; }
    bool valid() const { return fd_ >= 0; }
    int release() {
        const int fd = fd_;
        fd_ = -1;
        return fd;
    }

  private:
    int fd_ = -1;
};

std::string ErrnoText(int error);

// The path that opens the file of an open descriptor again, whatever its
// name is now: how hivex is handed a file this program opened itself.
std::string DescriptorPath(int fd);

// The bytes of an open file mapped into memory: read-only, or shared and
// writable, so that what is written to them goes to the file.
class MappedBytes {
  public:
    MappedBytes() = default;
    MappedBytes(const MappedBytes&) = delete;
    MappedBytes& operator=(const MappedBytes&) = delete;
    ~MappedBytes();
    // False with errno set.
    bool Map(int fd, bool writable);
    char* data() { return data_; }
    size_t size() const { return size_; }
    std::string_view view() const { return {data_, size_}; }

  private:
    char* data_ = nullptr;
    size_t size_ = 0;
};

// The whole content of an open file; false with errno set.
bool ReadAll(int fd, std::string* bytes);
// Writes `bytes` at the start of an open file; false with errno set.
bool WriteAll(int fd, std::string_view bytes);

// A hive name (UTF-8 from hivex) in the code page, and whether that form is
// exact; `writable` tells whether hivex can take the name back (it holds no
// zero character and is valid UTF-8).
bool ConvertName(std::string_view utf8, std::string* name, bool* writable);
// Text data (UTF-16LE in the hive) as code-page bytes; false when it does
// not convert exactly.
bool ConvertText(const char* bytes, size_t length, std::string* out);
// Code-page text as the hive stores it (UTF-16LE), and a code-page name as
// hivex takes it (UTF-8).
std::string TextToHive(std::string_view codePage);
std::string NameToHive(std::string_view codePage);

// A node's or value's name as hivex gives it: UTF-8, zero characters
// included. False when it does not read.
bool RawNodeName(hive_h* h, hive_node_h node, std::string* name);
bool RawValueName(hive_h* h, hive_value_h value, std::string* name);

// hivex passes a value's type as its C enum, which a hive fills with any
// 32-bit number; in C++ an enum may hold only its own values, so the type is
// only ever copied in and out as its bytes, never read as the enum.
uint32_t TypeBits(const hive_type& type);
void SetTypeBits(hive_type* type, uint32_t bits);

// The type and length of a value, and its type and bytes; false when its
// cells do not read.
bool RawValueType(hive_h* h, hive_value_h value, uint32_t* type, size_t* length);
bool RawValueData(hive_h* h, hive_value_h value, uint32_t* type, std::string* data);

}  // namespace qm::hive
