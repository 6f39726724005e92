// Builds shortcut files byte by byte as the Shell Link format lays them
// out, for the variants that the shell on this machine does not write
// (Unicode link information, network shares, Windows' own item id lists).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace qm::test {

struct LinkSpec {
    // Item id list below My Computer: the drive ("C:\") and the names
    // below it. Empty: no id list.
    std::vector<std::string> items;
    // 0: names stored in the item itself; 3 or 9: a short name in the item
    // and the long name in an extension block of that version.
    int extensionVersion = 0;
    bool hasLinkInfo = false;
    std::string localBase, suffix, network;  // link information
    bool wideLinkInfo = false;               // Unicode offsets (header 0x24)
    bool hasArguments = false;
    std::string arguments;
    bool wideStrings = true;
    uint32_t moreFlags = 0;
};

class Bytes {
  public:
    Bytes& u8(uint32_t v) { return raw(std::string(1, static_cast<char>(v))); }
    Bytes& u16(uint32_t v) { return u8(v & 0xFF).u8(v >> 8); }
    Bytes& u32(uint32_t v) { return u16(v & 0xFFFF).u16(v >> 16); }
    Bytes& raw(const std::string& b) { return data += b, *this; }
    Bytes& ansiz(const std::string& s) { return raw(s).u8(0); }
    Bytes& widez(const std::string& s) {
        for (unsigned char c : s) u16(c);  // Latin-1 text: code page and UTF-16 agree
        return u16(0);
    }
    size_t size() const { return data.size(); }
    std::string data;
};

inline std::string BuildLink(const LinkSpec& shape) {
    uint32_t flags = shape.moreFlags;
    if (!shape.items.empty()) flags |= 0x01;
    if (shape.hasLinkInfo) flags |= 0x02;
    if (shape.hasArguments) flags |= 0x20;
    if (shape.wideStrings) flags |= 0x80;
    Bytes out;
    out.u32(0x4C).raw(std::string("\x01\x14\x02\0\0\0\0\0\xC0\0\0\0\0\0\0\x46", 16)).u32(flags);
    out.raw(std::string(0x4C - 24, '\0'));

    if (!shape.items.empty()) {
        Bytes list;
        list.u16(20).u8(0x1F).u8(0x50).raw(
            std::string("\xE0\x4F\xD0\x20\xEA\x3A\x69\x10\xA2\xD8\x08\x00\x2B\x30\x30\x9D", 16));
        Bytes drive;
        drive.u8(0x2F).ansiz(shape.items[0]);
        list.u16(drive.size() + 2).raw(drive.data);
        for (size_t i = 1; i < shape.items.size(); ++i) {
            Bytes item;  // type, pad, size, date, attributes, primary name
            item.u8(0x32).u8(0).u32(0).u32(0).u16(0x20);
            const bool split = shape.extensionVersion != 0;
            item.ansiz(split ? "SHORT~" + std::to_string(i) : shape.items[i]);
            if (item.size() % 2) item.u8(0);
            if (split) {
                const size_t start = item.size() + 2;
                Bytes block;
                block.u16(0).u16(shape.extensionVersion).u32(0xBEEF0004).u32(0).u32(0);
                block.u16(shape.extensionVersion >= 7 ? 0x2E : 0x14);
                if (shape.extensionVersion >= 7) block.raw(std::string(18, '\0'));
                block.u16(0);  // long string size
                if (shape.extensionVersion >= 8) block.u32(0);
                if (shape.extensionVersion >= 9) block.u32(0);
                block.widez(shape.items[i]).u16(start);
                block.data[0] = static_cast<char>(block.size());
                item.raw(block.data);
            }
            list.u16(item.size() + 2).raw(item.data);
        }
        list.u16(0);
        out.u16(list.size()).raw(list.data);
    }

    if (shape.hasLinkInfo) {
        const uint32_t header = shape.wideLinkInfo ? 0x24 : 0x1C;
        const bool local = !shape.localBase.empty(), net = !shape.network.empty();
        Bytes body;  // strings after the header, offsets counted from the start
        uint32_t localAt = 0, netAt = 0, suffixAt = 0, localWideAt = 0, suffixWideAt = 0;
        if (local) body.u32(0x10).raw(std::string(12, '\0'));  // volume id
        if (local) localAt = header + body.size(), body.ansiz(shape.localBase);
        if (net) {
            netAt = header + body.size();
            body.u32(0x14 + shape.network.size() + 1).u32(0).u32(0x14).u32(0).u32(0);
            body.ansiz(shape.network);
        }
        suffixAt = header + body.size(), body.ansiz(shape.suffix);
        if (shape.wideLinkInfo) {
            if (local) localWideAt = header + body.size(), body.widez(shape.localBase);
            suffixWideAt = header + body.size(), body.widez(shape.suffix);
        }
        out.u32(header + body.size()).u32(header).u32((local ? 1 : 0) | (net ? 2 : 0));
        out.u32(local ? header : 0).u32(localAt).u32(netAt).u32(suffixAt);
        if (shape.wideLinkInfo) out.u32(localWideAt).u32(suffixWideAt);
        out.raw(body.data);
    }

    if (shape.hasArguments) {
        out.u16(shape.arguments.size());
        for (unsigned char c : shape.arguments) shape.wideStrings ? out.u16(c) : out.u8(c);
    }
    return out.u32(0).data;
}

}  // namespace qm::test
