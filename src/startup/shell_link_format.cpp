#include "startup/shell_link_format.h"

#include <cstring>

#include "platform/code_page.h"

namespace qm {

namespace {

constexpr size_t kHeaderSize = 0x4C;
// GetPath and GetArguments fill 1024-byte buffers, the last byte being the
// terminating zero.
constexpr size_t kTextLimit = 1023;

// {00021401-0000-0000-C000-000000000046} as stored.
constexpr uint8_t kShellLinkClsid[16] = {0x01, 0x14, 0x02, 0x00, 0x00, 0x00, 0x00, 0x00,
                                         0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46};
// My Computer, {20D04FE0-3AEA-1069-A2D8-08002B30309D}, the root of drive paths.
constexpr uint8_t kMyComputerClsid[16] = {0xE0, 0x4F, 0xD0, 0x20, 0xEA, 0x3A, 0x69, 0x10,
                                          0xA2, 0xD8, 0x08, 0x00, 0x2B, 0x30, 0x30, 0x9D};

namespace linkflag {
constexpr uint32_t kHasIdList = 0x0001;
constexpr uint32_t kHasLinkInfo = 0x0002;
constexpr uint32_t kHasName = 0x0004;
constexpr uint32_t kHasRelativePath = 0x0008;
constexpr uint32_t kHasWorkingDir = 0x0010;
constexpr uint32_t kHasArguments = 0x0020;
constexpr uint32_t kHasIconLocation = 0x0040;
constexpr uint32_t kIsUnicode = 0x0080;
constexpr uint32_t kForceNoLinkInfo = 0x0100;
}  // namespace linkflag

namespace infoflag {
constexpr uint32_t kLocalBasePath = 0x1;
constexpr uint32_t kNetworkLink = 0x2;
}  // namespace infoflag

constexpr uint32_t kFileEntryExtension = 0xBEEF0004;

// A window onto bytes that reads nothing outside itself. Every read says
// whether the bytes were there.
class Bytes {
  public:
    Bytes() = default;
    Bytes(const uint8_t* data, size_t size) : data_(data), size_(size) {}

    size_t size() const { return size_; }
    bool Has(size_t at, size_t count) const { return at <= size_ && size_ - at >= count; }
    Bytes Sub(size_t at, size_t count) const {
        return Has(at, count) ? Bytes(data_ + at, count) : Bytes();
    }

    bool U8(size_t at, uint8_t& value) const {
        if (!Has(at, 1)) return false;
        value = data_[at];
        return true;
    }
    bool U16(size_t at, uint16_t& value) const {
        if (!Has(at, 2)) return false;
        value = static_cast<uint16_t>(data_[at] | (data_[at + 1] << 8));
        return true;
    }
    bool U32(size_t at, uint32_t& value) const {
        if (!Has(at, 4)) return false;
        value = static_cast<uint32_t>(data_[at]) | (static_cast<uint32_t>(data_[at + 1]) << 8) |
                (static_cast<uint32_t>(data_[at + 2]) << 16) |
                (static_cast<uint32_t>(data_[at + 3]) << 24);
        return true;
    }
    bool Equals(size_t at, const uint8_t* bytes, size_t count) const {
        return Has(at, count) && std::memcmp(data_ + at, bytes, count) == 0;
    }

    // Code-page text from `at` up to a zero byte, which must lie inside.
    bool AnsiZ(size_t at, std::string& text) const {
        if (at >= size_) return false;
        const void* zero = std::memchr(data_ + at, 0, size_ - at);
        if (zero == nullptr) return false;
        text.assign(reinterpret_cast<const char*>(data_ + at),
                    static_cast<size_t>(static_cast<const uint8_t*>(zero) - (data_ + at)));
        return true;
    }
    // UTF-16 text from `at` up to a zero unit, which must lie inside,
    // converted to the code page.
    bool WideZ(size_t at, std::string& text) const {
        text.clear();
        for (uint16_t unit = 0;; at += 2) {
            if (!U16(at, unit)) return false;
            if (unit == 0) return true;
            text.push_back(static_cast<char>(Utf16CharToCodePage(unit)));
        }
    }
    // `count` characters (bytes, or UTF-16 units when `wide`) from `at`,
    // taken up to the first zero as the A functions see them.
    bool Counted(size_t at, size_t count, bool wide, std::string& text) const {
        const size_t bytes = wide ? count * 2 : count;
        if (!Has(at, bytes)) return false;
        text.clear();
        for (size_t i = 0; i < count; ++i) {
            uint16_t unit = data_[at + (wide ? 2 * i : i)];
            if (wide) unit = static_cast<uint16_t>(unit | (data_[at + 2 * i + 1] << 8));
            if (unit == 0) break;
            text.push_back(wide ? static_cast<char>(Utf16CharToCodePage(unit))
                                : static_cast<char>(unit));
        }
        return true;
    }

  private:
    const uint8_t* data_ = nullptr;
    size_t size_ = 0;
};

// The long name in a file entry's extension block, where the block's
// version puts it (3 on Windows XP, 7 to 9 on later systems).
bool LongNameOfExtension(const Bytes& block, std::string& name) {
    uint16_t version = 0;
    if (!block.U16(2, version) || version < 3) return false;
    size_t at = 0x14;
    if (version >= 7) at = 0x26;
    if (version >= 8) at += 4;
    if (version >= 9) at += 4;
    return block.WideZ(at, name) && !name.empty();
}

// The name of one file or folder item: the long name from the extension
// block that the item's last two bytes point at, or else the primary name
// stored after the fixed fields (the 8.3 name on Windows).
bool FileItemName(const Bytes& item, uint8_t type, std::string& name) {
    constexpr size_t kPrimaryName = 14;
    uint16_t extension = 0;
    uint16_t extensionSize = 0;
    uint32_t signature = 0;
    if (item.U16(item.size() - 2, extension) && extension >= kPrimaryName &&
        item.U16(extension, extensionSize) && extensionSize >= 8 &&
        item.Has(extension, extensionSize) && item.U32(extension + 4u, signature) &&
        signature == kFileEntryExtension &&
        LongNameOfExtension(item.Sub(extension, extensionSize), name))
        return true;
    const bool wide = (type & 0x04) != 0;
    return (wide ? item.WideZ(kPrimaryName, name) : item.AnsiZ(kPrimaryName, name)) &&
           !name.empty();
}

// Walks the item id list. False when its items do not fit in it (the file
// is malformed). `path` receives the file system path the list names: My
// Computer, a drive and then file and folder items; empty for anything
// else.
bool WalkIdList(const Bytes& list, std::string& path) {
    path.clear();
    bool resolvable = true;
    size_t at = 0;
    for (size_t index = 0;; ++index) {
        uint16_t itemSize = 0;
        if (!list.U16(at, itemSize)) return false;
        if (itemSize == 0) break;
        if (itemSize < 3 || !list.Has(at, itemSize)) return false;
        const Bytes item = list.Sub(at, itemSize);
        at += itemSize;
        if (!resolvable) continue;

        uint8_t type = 0;
        item.U8(2, type);
        std::string name;
        if (index == 0) {
            resolvable = type == 0x1F && item.Equals(4, kMyComputerClsid, 16);
        } else if (index == 1) {
            resolvable =
                (type & 0x70) == 0x20 && item.AnsiZ(3, name) && name.size() >= 2 && name[1] == ':';
            if (resolvable) path = name.back() == '\\' ? name : name + '\\';
        } else {
            resolvable = (type & 0x70) == 0x30 && FileItemName(item, type, name);
            if (resolvable) {
                if (path.back() != '\\') path += '\\';
                path += name;
            }
        }
    }
    if (!resolvable || path.empty()) path.clear();
    return true;
}

// The network share named by a CommonNetworkRelativeLink structure.
bool NetworkName(const Bytes& info, uint32_t offset, std::string& name) {
    uint32_t size = 0;
    if (!info.U32(offset, size) || size < 0x14 || !info.Has(offset, size)) return false;
    const Bytes link = info.Sub(offset, size);
    uint32_t nameOffset = 0;
    if (!link.U32(8, nameOffset)) return false;
    uint32_t wideOffset = 0;
    if (nameOffset > 0x14 && link.U32(0x14, wideOffset) && wideOffset != 0)
        return link.WideZ(wideOffset, name);
    return link.AnsiZ(nameOffset, name);
}

// Reads the LinkInfo structure that `info` spans. False when it is
// malformed. `path` receives the target it names, or stays empty.
bool ReadLinkInfo(const Bytes& info, std::string& path) {
    uint32_t headerSize = 0, flags = 0, localOffset = 0, networkOffset = 0, suffixOffset = 0;
    if (!info.U32(4, headerSize) || headerSize < 0x1C || headerSize > info.size() ||
        !info.U32(8, flags) || !info.U32(16, localOffset) || !info.U32(20, networkOffset) ||
        !info.U32(24, suffixOffset))
        return false;
    uint32_t localWide = 0, suffixWide = 0;
    if (headerSize >= 0x24 && (!info.U32(28, localWide) || !info.U32(32, suffixWide))) return false;

    // The Unicode forms, when the file has them, are what the shell
    // converts to the code page; the code-page forms were written in the
    // creating machine's code page.
    std::string suffix;
    if (suffixWide != 0 ? !info.WideZ(suffixWide, suffix) : !info.AnsiZ(suffixOffset, suffix))
        return false;
    std::string local, network;
    const bool hasLocal = (flags & infoflag::kLocalBasePath) != 0;
    const bool hasNetwork = (flags & infoflag::kNetworkLink) != 0;
    if (hasLocal &&
        (localWide != 0 ? !info.WideZ(localWide, local) : !info.AnsiZ(localOffset, local)))
        return false;
    if (hasNetwork && !NetworkName(info, networkOffset, network)) return false;

    // Asked with UNC priority, the share's path comes before a mapped drive.
    if (hasNetwork && !network.empty())
        path = suffix.empty() ? network : network + '\\' + suffix;
    else if (hasLocal)
        path = local + suffix;
    return true;
}

}  // namespace

bool ParseShellLink(const uint8_t* data, size_t size, ShellLinkFields& fields) {
    fields = ShellLinkFields{};
    const Bytes file(data, size);
    uint32_t headerSize = 0;
    uint32_t flags = 0;
    if (!file.U32(0, headerSize) || headerSize != kHeaderSize || !file.Has(0, kHeaderSize) ||
        !file.Equals(4, kShellLinkClsid, 16) || !file.U32(20, flags))
        return false;
    size_t at = kHeaderSize;

    std::string idListPath;
    if (flags & linkflag::kHasIdList) {
        uint16_t listSize = 0;
        if (!file.U16(at, listSize) || !file.Has(at + 2, listSize) ||
            !WalkIdList(file.Sub(at + 2, listSize), idListPath))
            return false;
        at += 2u + listSize;
    }

    std::string infoPath;
    bool useInfo = false;
    if (flags & linkflag::kHasLinkInfo) {
        uint32_t infoSize = 0;
        if (!file.U32(at, infoSize) || infoSize < 0x1C || !file.Has(at, infoSize) ||
            !ReadLinkInfo(file.Sub(at, infoSize), infoPath))
            return false;
        useInfo = (flags & linkflag::kForceNoLinkInfo) == 0 && !infoPath.empty();
        at += infoSize;
    }

    // The string data, in the order the format fixes.
    const bool wide = (flags & linkflag::kIsUnicode) != 0;
    std::string arguments;
    for (uint32_t bit : {linkflag::kHasName, linkflag::kHasRelativePath, linkflag::kHasWorkingDir,
                         linkflag::kHasArguments, linkflag::kHasIconLocation}) {
        if ((flags & bit) == 0) continue;
        uint16_t count = 0;
        std::string text;
        if (!file.U16(at, count) || !file.Counted(at + 2, count, wide, text)) return false;
        at += 2u + (wide ? 2u * count : count);
        if (bit == linkflag::kHasArguments) arguments = std::move(text);
    }

    fields.targetPath = useInfo ? infoPath : idListPath;
    fields.arguments = std::move(arguments);
    if (fields.targetPath.size() > kTextLimit) fields.targetPath.resize(kTextLimit);
    if (fields.arguments.size() > kTextLimit) fields.arguments.resize(kTextLimit);
    return true;
}

}  // namespace qm
