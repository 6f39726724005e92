#include "platform/hive/hive_raw.h"

#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "platform/code_page.h"
#include "platform/regtext/reg_text.h"

namespace qm::hive {

UniqueFd& UniqueFd::operator=(UniqueFd&& other) noexcept {
    if (this != &other) {
        if (fd_ >= 0) ::close(fd_);
        fd_ = other.release();
    }
    return *this;
}

UniqueFd::~UniqueFd() {
    if (fd_ >= 0) ::close(fd_);
}

std::string ErrnoText(int error) {
    return error != 0 ? std::strerror(error) : "unknown error";
}

std::string DescriptorPath(int fd) {
    return "/proc/self/fd/" + std::to_string(fd);
}

MappedBytes::~MappedBytes() {
    if (data_ != nullptr) ::munmap(data_, size_);
}

bool MappedBytes::Map(int fd, bool writable) {
    struct stat st {};
    if (::fstat(fd, &st) != 0) return false;
    if (st.st_size <= 0) {
        errno = EIO;
        return false;
    }
    void* at = ::mmap(nullptr, static_cast<size_t>(st.st_size),
                      writable ? PROT_READ | PROT_WRITE : PROT_READ,
                      writable ? MAP_SHARED : MAP_PRIVATE, fd, 0);
    if (at == MAP_FAILED) return false;
    data_ = static_cast<char*>(at);
    size_ = static_cast<size_t>(st.st_size);
    return true;
}

bool ReadAll(int fd, std::string* bytes) {
    struct stat st {};
    if (::fstat(fd, &st) != 0) return false;
    bytes->assign(static_cast<size_t>(st.st_size), '\0');
    size_t done = 0;
    while (done < bytes->size()) {
        const ssize_t got =
            ::pread(fd, bytes->data() + done, bytes->size() - done, static_cast<off_t>(done));
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) {
            if (got == 0) errno = EIO;  // shorter than it said
            return false;
        }
        done += static_cast<size_t>(got);
    }
    return true;
}

bool WriteAll(int fd, std::string_view bytes) {
    size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t put =
            ::pwrite(fd, bytes.data() + done, bytes.size() - done, static_cast<off_t>(done));
        if (put < 0 && errno == EINTR) continue;
        if (put <= 0) return false;
        done += static_cast<size_t>(put);
    }
    return true;
}

// A zero character inside a name has no code-page form: no ANSI name can
// carry it.
bool ConvertName(std::string_view utf8, std::string* name, bool* writable) {
    std::u16string units;
    *writable = regtext::Utf8ToUtf16(utf8, units) &&
                std::find(units.begin(), units.end(), u'\0') == units.end();
    if (CodePage::Windows1252().FromUtf16(units, *name) && *writable) return true;
    std::replace(name->begin(), name->end(), '\0', '?');
    return false;
}

bool ConvertText(const char* bytes, size_t length, std::string* out) {
    std::u16string units(length / 2, u'\0');
    for (size_t i = 0; i < units.size(); ++i)
        units[i] = static_cast<char16_t>(static_cast<uint8_t>(bytes[2 * i]) |
                                         static_cast<uint8_t>(bytes[2 * i + 1]) << 8);
    return CodePage::Windows1252().FromUtf16(units, *out) && length % 2 == 0;
}

std::string TextToHive(std::string_view codePage) {
    const std::u16string units = CodePage::Windows1252().ToUtf16(codePage);
    std::string bytes(units.size() * 2, '\0');
    for (size_t i = 0; i < units.size(); ++i) {
        bytes[2 * i] = static_cast<char>(units[i] & 0xFF);
        bytes[2 * i + 1] = static_cast<char>(units[i] >> 8);
    }
    return bytes;
}

std::string NameToHive(std::string_view codePage) {
    return regtext::Utf16ToUtf8(CodePage::Windows1252().ToUtf16(codePage));
}

bool RawNodeName(hive_h* h, hive_node_h node, std::string* name) {
    errno = 0;
    Freed<char> text(hivex_node_name(h, node));
    if (text.p == nullptr) return false;
    const size_t length = hivex_node_name_len(h, node);
    name->assign(text.p, length != 0 ? length : std::strlen(text.p));
    return true;
}

bool RawValueName(hive_h* h, hive_value_h value, std::string* name) {
    errno = 0;
    Freed<char> text(hivex_value_key(h, value));
    if (text.p == nullptr) return false;
    const size_t length = hivex_value_key_len(h, value);
    name->assign(text.p, errno == 0 ? length : std::strlen(text.p));
    return true;
}

static_assert(sizeof(hive_type) == sizeof(uint32_t));

uint32_t TypeBits(const hive_type& type) {
    uint32_t bits = 0;
    std::memcpy(&bits, &type, sizeof bits);
    return bits;
}

void SetTypeBits(hive_type* type, uint32_t bits) {
    std::memcpy(type, &bits, sizeof bits);
}

bool RawValueType(hive_h* h, hive_value_h value, uint32_t* type, size_t* length) {
    hive_type t;
    if (hivex_value_type(h, value, &t, length) != 0) return false;
    *type = TypeBits(t);
    return true;
}

bool RawValueData(hive_h* h, hive_value_h value, uint32_t* type, std::string* data) {
    size_t length = 0;
    hive_type t;
    errno = 0;
    Freed<char> bytes(hivex_value_value(h, value, &t, &length));
    if (bytes.p == nullptr && errno != 0) return false;
    *type = TypeBits(t);
    data->assign(bytes.p != nullptr ? bytes.p : "", bytes.p != nullptr ? length : 0);
    return true;
}

}  // namespace qm::hive
