// The writer: the text is built in the code page with CR LF line ends and,
// for the version 5 format, turned into UTF-16LE at the end. The layout
// follows the registry editor's own export: a blank line before every key
// section, @= for the default value, hex data wrapped before column 80 with
// a '\' and a two-blank indent, and a blank line at the end.
#include <cstdio>
#include <string>

#include "platform/regtext/codepage.h"
#include "platform/regtext/reg_text.h"

namespace qm::regtext {

namespace {

constexpr char kHexDigits[] = "0123456789abcdef";

// Where the registry editor wraps hex data: once a line (indent included,
// the continuation '\' not) reaches this many characters.
constexpr size_t kHexLineWrap = 77;

// A value name between quotes. Line ends and NUL cannot stand in the text,
// so they are escaped like the registry editor does.
void AppendQuoted(std::string& out, std::string_view text) {
    out.push_back('"');
    for (char c : text) {
        switch (c) {
            case '\\':
                out += "\\\\";
                break;
            case '"':
                out += "\\\"";
                break;
            case '\r':
                out += "\\r";
                break;
            case '\n':
                out += "\\n";
                break;
            case '\0':
                out += "\\0";
                break;
            default:
                out.push_back(c);
                break;
        }
    }
    out.push_back('"');
}

// REG_SZ data can be written as "text" only when reading it back gives the
// same bytes: exactly one terminating zero and no control characters (which
// the registry editors do not all read alike).
bool IsQuotable(const Entry& entry) {
    if (entry.type != regtype::kSz || entry.data.empty() || entry.data.back() != 0) return false;
    for (size_t i = 0; i + 1 < entry.data.size(); ++i)
        if (entry.data[i] < 0x20) return false;
    return true;
}

void AppendKeyHeader(std::string& out, bool deletion, HKey root, const std::string& path) {
    out += "\r\n[";
    if (deletion) out.push_back('-');
    out += RootKeyFullName(root);
    if (!path.empty()) {
        out.push_back('\\');
        out += path;
    }
    out += "]\r\n";
}

// `lineLength` is what the line already holds (name part and type prefix).
void AppendHexBytes(std::string& out, const std::vector<uint8_t>& bytes, size_t lineLength) {
    for (size_t i = 0; i < bytes.size(); ++i) {
        out.push_back(kHexDigits[bytes[i] >> 4]);
        out.push_back(kHexDigits[bytes[i] & 0xF]);
        if (i + 1 == bytes.size()) break;
        out.push_back(',');
        lineLength += 3;
        if (lineLength >= kHexLineWrap) {
            out += "\\\r\n  ";
            lineLength = 2;
        }
    }
}

void AppendValue(std::string& out, const Entry& entry, Format format) {
    const size_t lineStart = out.size();
    if (entry.name.empty()) {
        out.push_back('@');
    } else {
        AppendQuoted(out, entry.name);
    }
    out.push_back('=');
    if (entry.kind == Entry::Kind::kDeleteValue) {
        out += "-\r\n";
        return;
    }
    if (IsQuotable(entry)) {
        out.push_back('"');
        for (size_t i = 0; i + 1 < entry.data.size(); ++i) {
            const char c = static_cast<char>(entry.data[i]);
            if (c == '\\' || c == '"') out.push_back('\\');
            out.push_back(c);
        }
        out += "\"\r\n";
        return;
    }
    if (entry.type == regtype::kDword && entry.data.size() == 4) {
        const uint32_t value = entry.data[0] | (entry.data[1] << 8) | (entry.data[2] << 16) |
                               (static_cast<uint32_t>(entry.data[3]) << 24);
        char text[32];
        std::snprintf(text, sizeof text, "dword:%08x\r\n", value);
        out += text;
        return;
    }
    if (entry.type == regtype::kBinary) {
        out += "hex:";
    } else {
        char text[32];
        std::snprintf(text, sizeof text, "hex(%x):", entry.type);
        out += text;
    }
    const size_t lineLength = out.size() - lineStart;
    if (format == Format::kVersion5 && regtype::IsText(entry.type)) {
        // The version 5 format holds text types as UTF-16LE.
        std::vector<uint8_t> wide;
        wide.reserve(entry.data.size() * 2);
        for (uint8_t b : entry.data) {
            const char16_t unit = detail::CodePageCharToUtf16(b);
            wide.push_back(static_cast<uint8_t>(unit));
            wide.push_back(static_cast<uint8_t>(unit >> 8));
        }
        AppendHexBytes(out, wide, lineLength);
    } else {
        AppendHexBytes(out, entry.data, lineLength);
    }
    out += "\r\n";
}

}  // namespace

std::string Write(const Document& doc, Format format) {
    std::string text =
        format == Format::kRegedit4 ? "REGEDIT4\r\n" : "Windows Registry Editor Version 5.00\r\n";
    // The key that values are written under. A value whose key is not the
    // current section gets a section of its own first.
    bool inSection = false;
    HKey sectionRoot = hkey::kNull;
    const std::string* sectionPath = nullptr;
    for (const Entry& entry : doc.entries) {
        switch (entry.kind) {
            case Entry::Kind::kKey:
            case Entry::Kind::kDeleteKey:
                AppendKeyHeader(text, entry.kind == Entry::Kind::kDeleteKey, entry.root,
                                entry.keyPath);
                inSection = entry.kind == Entry::Kind::kKey;
                sectionRoot = entry.root;
                sectionPath = &entry.keyPath;
                break;
            case Entry::Kind::kValue:
            case Entry::Kind::kDeleteValue:
                if (!inSection || sectionRoot != entry.root || *sectionPath != entry.keyPath) {
                    AppendKeyHeader(text, false, entry.root, entry.keyPath);
                    inSection = true;
                    sectionRoot = entry.root;
                    sectionPath = &entry.keyPath;
                }
                AppendValue(text, entry, format);
                break;
        }
    }
    text += "\r\n";
    if (format == Format::kRegedit4) return text;

    std::string bytes;
    bytes.reserve(2 + text.size() * 2);
    bytes += "\xFF\xFE";
    for (char c : text) {
        const char16_t unit = detail::CodePageCharToUtf16(static_cast<uint8_t>(c));
        bytes.push_back(static_cast<char>(unit & 0xFF));
        bytes.push_back(static_cast<char>(unit >> 8));
    }
    return bytes;
}

}  // namespace qm::regtext
