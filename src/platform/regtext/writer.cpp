// The writer: the text is built in UTF-16 with CR LF line ends, from the
// entries' code-page text or, where they keep it, from the text that has no
// code-page form; it ends as UTF-16LE for the version 5 format and as
// code-page text for REGEDIT4 (which cannot hold the latter). The layout
// follows the registry editor's own export: a blank line before every key
// section, @= for the default value, hex data wrapped before column 80 with
// a '\' and a two-blank indent, and a blank line at the end.
#include <cstdio>
#include <string>

#include "platform/regtext/reg_text.h"

namespace qm::regtext {

namespace {

constexpr char kHexDigits[] = "0123456789abcdef";

// Where the registry editor wraps hex data: once a line (indent included,
// the continuation '\' not) reaches this many characters.
constexpr size_t kHexLineWrap = 77;

using Text = std::u16string;

void Append(Text& out, std::string_view ascii) {
    out.append(ascii.begin(), ascii.end());
}

// Code-page text, or the text it stands for when that is kept.
Text Wide(std::string_view text, const std::u16string& kept, const CodePage& codePage) {
    return kept.empty() ? codePage.ToUtf16(text) : kept;
}

// A value name between quotes. Line ends and NUL cannot stand in the text,
// so they are escaped like the registry editor does.
void AppendQuoted(Text& out, std::u16string_view text) {
    out.push_back('"');
    for (char16_t c : text) {
        switch (c) {
            case '\\':
                out += u"\\\\";
                break;
            case '"':
                out += u"\\\"";
                break;
            case '\r':
                out += u"\\r";
                break;
            case '\n':
                out += u"\\n";
                break;
            case '\0':
                out += u"\\0";
                break;
            default:
                out.push_back(c);
                break;
        }
    }
    out.push_back('"');
}

// REG_SZ data can be written as "text" only when reading it back gives the
// same bytes: exactly one terminating zero, no control characters (which
// the registry editors do not all read alike), and characters of the code
// page alone. `text` receives the text without its zero.
bool IsQuotable(const Entry& entry, const CodePage& codePage, Text& text) {
    if (entry.type != regtype::kSz || entry.data.empty() || entry.data.back() != 0) return false;
    for (size_t i = 0; i + 1 < entry.data.size(); ++i)
        if (entry.data[i] < 0x20) return false;
    const std::string_view bytes(reinterpret_cast<const char*>(entry.data.data()),
                                 entry.data.size() - 1);
    text = codePage.ToUtf16(bytes);
    std::string back;
    return codePage.FromUtf16(text, back) && back == bytes;
}

void AppendKeyHeader(Text& out, bool deletion, const Entry& entry, const CodePage& codePage) {
    out += u"\r\n[";
    if (deletion) out.push_back('-');
    Append(out, RootKeyFullName(entry.root));
    if (!entry.keyPath.empty()) {
        out.push_back('\\');
        out += Wide(entry.keyPath, entry.wideKeyPath, codePage);
    }
    out += u"]\r\n";
}

// `lineLength` is what the line already holds (name part and type prefix).
void AppendHexBytes(Text& out, const std::vector<uint8_t>& bytes, size_t lineLength) {
    for (size_t i = 0; i < bytes.size(); ++i) {
        out.push_back(kHexDigits[bytes[i] >> 4]);
        out.push_back(kHexDigits[bytes[i] & 0xF]);
        if (i + 1 == bytes.size()) break;
        out.push_back(',');
        lineLength += 3;
        if (lineLength >= kHexLineWrap) {
            out += u"\\\r\n  ";
            lineLength = 2;
        }
    }
}

void AppendValue(Text& out, const Entry& entry, Format format, const CodePage& codePage) {
    const size_t lineStart = out.size();
    if (entry.name.empty() && entry.wideName.empty()) {
        out.push_back('@');
    } else {
        AppendQuoted(out, Wide(entry.name, entry.wideName, codePage));
    }
    out.push_back('=');
    if (entry.kind == Entry::Kind::kDeleteValue) {
        out += u"-\r\n";
        return;
    }
    const bool keptText = format == Format::kVersion5 && !entry.wideData.empty();
    Text quoted;
    if (!keptText && IsQuotable(entry, codePage, quoted)) {
        out.push_back('"');
        for (const char16_t c : quoted) {
            if (c == '\\' || c == '"') out.push_back('\\');
            out.push_back(c);
        }
        out += u"\"\r\n";
        return;
    }
    if (entry.type == regtype::kDword && entry.data.size() == 4) {
        const uint32_t value = entry.data[0] | (entry.data[1] << 8) | (entry.data[2] << 16) |
                               (static_cast<uint32_t>(entry.data[3]) << 24);
        char text[32];
        std::snprintf(text, sizeof text, "dword:%08x\r\n", value);
        Append(out, text);
        return;
    }
    if (entry.type == regtype::kBinary) {
        out += u"hex:";
    } else {
        char text[32];
        std::snprintf(text, sizeof text, "hex(%x):", entry.type);
        Append(out, text);
    }
    const size_t lineLength = out.size() - lineStart;
    if (keptText && regtype::IsText(entry.type)) {
        AppendHexBytes(out, entry.wideData, lineLength);
    } else if (format == Format::kVersion5 && regtype::IsText(entry.type)) {
        // The version 5 format holds text types as UTF-16LE.
        const Text units = codePage.ToUtf16(
            std::string_view(reinterpret_cast<const char*>(entry.data.data()), entry.data.size()));
        std::vector<uint8_t> wide;
        wide.reserve(units.size() * 2);
        for (const char16_t unit : units) {
            wide.push_back(static_cast<uint8_t>(unit));
            wide.push_back(static_cast<uint8_t>(unit >> 8));
        }
        AppendHexBytes(out, wide, lineLength);
    } else {
        AppendHexBytes(out, entry.data, lineLength);
    }
    out += u"\r\n";
}

}  // namespace

std::string Write(const Document& doc, Format format, const CodePage& codePage) {
    Text text =
        format == Format::kRegedit4 ? u"REGEDIT4\r\n" : u"Windows Registry Editor Version 5.00\r\n";
    // The key that values are written under. A value whose key is not the
    // current section gets a section of its own first.
    const Entry* section = nullptr;
    const auto same = [](const Entry& a, const Entry& b) {
        return a.root == b.root && a.keyPath == b.keyPath && a.wideKeyPath == b.wideKeyPath;
    };
    for (const Entry& entry : doc.entries) {
        switch (entry.kind) {
            case Entry::Kind::kKey:
            case Entry::Kind::kDeleteKey:
                AppendKeyHeader(text, entry.kind == Entry::Kind::kDeleteKey, entry, codePage);
                section = entry.kind == Entry::Kind::kKey ? &entry : nullptr;
                break;
            case Entry::Kind::kValue:
            case Entry::Kind::kDeleteValue:
                if (section == nullptr || !same(*section, entry)) {
                    AppendKeyHeader(text, false, entry, codePage);
                    section = &entry;
                }
                AppendValue(text, entry, format, codePage);
                break;
        }
    }
    text += u"\r\n";
    if (format == Format::kRegedit4) {
        std::string bytes;
        codePage.FromUtf16(text, bytes);
        return bytes;
    }

    std::string bytes;
    bytes.reserve(2 + text.size() * 2);
    bytes += "\xFF\xFE";
    for (char16_t unit : text) {
        bytes.push_back(static_cast<char>(unit & 0xFF));
        bytes.push_back(static_cast<char>(unit >> 8));
    }
    return bytes;
}

}  // namespace qm::regtext
