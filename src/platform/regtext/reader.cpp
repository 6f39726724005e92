// The reader: one pass over the lines of the file, a small state machine
// per line (the registry editor's own shape), building the document. Unlike
// the registry editor, which skips a line it cannot parse and goes on, the
// whole file is refused at the first malformed line: a backup that does not
// parse completely is not trusted at all.
#include <cstring>
#include <string>
#include <utility>

#include "platform/regtext/reg_text.h"

namespace qm::regtext {

namespace {

constexpr std::string_view kHeader4 = "REGEDIT4";
constexpr std::string_view kHeader5 = "Windows Registry Editor Version 5.00";

bool IsBlank(char c) {
    return c == ' ' || c == '\t';
}

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

size_t SkipBlanks(std::string_view s, size_t i) {
    while (i < s.size() && IsBlank(s[i])) ++i;
    return i;
}

// True when only blanks, or blanks and a ';' comment, are left from `i`.
bool OnlyCommentLeft(std::string_view s, size_t i) {
    i = SkipBlanks(s, i);
    return i == s.size() || s[i] == ';';
}

// Counts the line ends in `text` up to `end`, for errors found while decoding.
size_t LineAt(std::string_view text, size_t end, size_t unit) {
    size_t line = 1;
    for (size_t i = 0; i + unit <= end; i += unit) {
        const bool cr = text[i] == '\r' && (unit == 1 || text[i + 1] == 0);
        const bool lf = text[i] == '\n' && (unit == 1 || text[i + 1] == 0);
        if (lf) {
            ++line;
        } else if (cr) {
            const size_t next = i + unit;
            const bool crlf = next + unit <= text.size() && text[next] == '\n' &&
                              (unit == 1 || text[next + 1] == 0);
            if (!crlf) ++line;
        }
    }
    return line;
}

// UTF-16LE (after the byte-order mark) to UTF-8, so that line structure
// and the ASCII characters that make up the syntax stay as they are and
// every other character is kept for the entries.
bool DecodeUtf16(std::string_view bytes, std::string& out, ParseError& error) {
    if (bytes.size() % 2 != 0) {
        error = {LineAt(bytes, bytes.size() - 1, 2),
                 "the file ends in the middle of a UTF-16 character"};
        return false;
    }
    std::u16string units(bytes.size() / 2, u'\0');
    for (size_t i = 0; i < units.size(); ++i)
        units[i] = static_cast<char16_t>(static_cast<uint8_t>(bytes[2 * i]) |
                                         (static_cast<uint8_t>(bytes[2 * i + 1]) << 8));
    out = Utf16ToUtf8(units);
    return true;
}

// UTF-8 (after its byte-order mark): checked, and kept as it is.
bool CheckUtf8(std::string_view bytes, ParseError& error) {
    std::u16string units;
    size_t bad = 0;
    if (!Utf8ToUtf16(bytes, units, &bad)) {
        error = {LineAt(bytes, bad, 1), "invalid UTF-8"};
        return false;
    }
    return true;
}

// Text of a UTF-8 file part in the code page, as the ANSI functions would
// see it (characters outside the code page become '?'), and the UTF-16 text
// itself in `wide` when that loses anything (else `wide` is empty).
void ToCodePage(std::string_view utf8, const CodePage& codePage, std::string& text,
                std::u16string& wide) {
    Utf8ToUtf16(utf8, wide);
    if (codePage.FromUtf16(wide, text)) wide.clear();
}

std::vector<uint8_t> Utf16LeBytes(std::u16string_view units) {
    std::vector<uint8_t> bytes;
    bytes.reserve(units.size() * 2);
    for (char16_t unit : units) {
        bytes.push_back(static_cast<uint8_t>(unit));
        bytes.push_back(static_cast<uint8_t>(unit >> 8));
    }
    return bytes;
}

class Parser {
  public:
    // `unicodeText`: the text is UTF-8 (of a UTF-16 or UTF-8 file) rather
    // than code-page text; `wideFile`: hex data of text types is UTF-16LE.
    // The document holds text in `codePage`.
    Parser(std::string_view text, bool unicodeText, bool wideFile, const CodePage& codePage,
           Document& doc, ParseError& error)
        : text_(text),
          unicodeText_(unicodeText),
          wideFile_(wideFile),
          codePage_(codePage),
          steps_(unicodeText ? CodePage::Windows1252() : codePage),
          doc_(doc),
          error_(error) {}

    bool Run() {
        std::string_view line;
        if (!NextLine(line)) return Fail(0, "the file is empty");
        if (!ReadHeader(line)) return false;
        while (NextLine(line)) {
            if (std::memchr(line.data(), '\0', line.size()) != nullptr)
                return Fail("NUL character in the text");
            if (continuing_) {
                if (!ContinueHex(line)) return false;
            } else if (!ParseLine(line)) {
                return false;
            }
        }
        // A value whose last line ended in '\' is complete at the end of the
        // file, as the registry editor takes it.
        if (continuing_) FinishValue();
        return true;
    }

  private:
    bool Fail(std::string message) { return Fail(lineNo_, std::move(message)); }
    bool Fail(size_t line, std::string message) {
        error_.line = line;
        error_.message = std::move(message);
        return false;
    }

    // The next line without its line end (CR, LF or CR LF).
    bool NextLine(std::string_view& line) {
        if (pos_ >= text_.size()) return false;
        size_t end = pos_;
        while (end < text_.size() && text_[end] != '\r' && text_[end] != '\n') ++end;
        line = text_.substr(pos_, end - pos_);
        if (end < text_.size()) {
            if (text_[end] == '\r' && end + 1 < text_.size() && text_[end + 1] == '\n') ++end;
            ++end;
        }
        pos_ = end;
        ++lineNo_;
        return true;
    }

    bool ReadHeader(std::string_view line) {
        const std::string_view header = line.substr(SkipBlanks(line, 0));
        if (header == kHeader4) {
            doc_.format = Format::kRegedit4;
        } else if (header == kHeader5) {
            doc_.format = Format::kVersion5;
        } else {
            return Fail(
                "not a registry file: the first line is neither \"REGEDIT4\" nor "
                "\"Windows Registry Editor Version 5.00\"");
        }
        return true;
    }

    bool ParseLine(std::string_view line) {
        const size_t i = SkipBlanks(line, 0);
        if (i == line.size() || line[i] == ';' || line[i] == '#') return true;
        switch (line[i]) {
            case '[':
                return ParseKeyLine(line.substr(i + 1));
            case '@':
            case '"':
                return ParseValueLine(line.substr(i));
            default:
                return Fail("unexpected text; expected a [key], a value or a comment");
        }
    }

    // `s` is the line after the opening '['. The name ends at the line's
    // last ']', so key names may themselves hold ']'.
    bool ParseKeyLine(std::string_view s) {
        const size_t close = steps_.FindLast(s, ']', 0, s.size());
        if (close == std::string_view::npos) return Fail("missing ']' after the key name");
        if (!OnlyCommentLeft(s, close + 1)) return Fail("unexpected text after ']'");
        std::string_view name = s.substr(0, close);
        Entry entry;
        entry.kind = Entry::Kind::kKey;
        entry.line = lineNo_;
        if (!name.empty() && name[0] == '-') {
            entry.kind = Entry::Kind::kDeleteKey;
            name.remove_prefix(1);
        }
        const size_t slash = steps_.Find(name, '\\');
        const std::string_view rootName = name.substr(0, slash);
        entry.root = ParseRootKeyName(std::string(rootName));
        if (entry.root == hkey::kNull)
            return Fail("unknown root key \"" + std::string(rootName) + "\"");
        // Empty components (a trailing or doubled backslash) are dropped, as
        // the registry functions do.
        if (slash != std::string_view::npos) {
            std::string_view rest = name.substr(slash + 1);
            while (!rest.empty()) {
                const size_t next = steps_.Find(rest, '\\');
                const std::string_view part = rest.substr(0, next);
                if (!part.empty()) {
                    if (!entry.keyPath.empty()) entry.keyPath += '\\';
                    entry.keyPath.append(part);
                }
                if (next == std::string_view::npos) break;
                rest.remove_prefix(next + 1);
            }
        }
        if (entry.kind == Entry::Kind::kDeleteKey && entry.keyPath.empty())
            return Fail("a root key cannot be deleted");
        if (unicodeText_) {
            const std::string utf8 = std::move(entry.keyPath);
            ToCodePage(utf8, codePage_, entry.keyPath, entry.wideKeyPath);
        }
        inKey_ = entry.kind == Entry::Kind::kKey;
        keyRoot_ = entry.root;
        keyPath_ = entry.keyPath;
        wideKeyPath_ = entry.wideKeyPath;
        doc_.entries.push_back(std::move(entry));
        return true;
    }

    // Reads the rest of a double-quoted text starting at `i` (just after the
    // opening quote) and leaves `i` just after the closing quote. Escapes:
    // \\ and \" as themselves, \n, \r and \0 as the control characters, and
    // any other escaped character as itself, as the registry editor does.
    // A two-byte character is taken whole, whatever its second byte.
    bool ReadQuoted(std::string_view s, size_t& i, std::string& out) {
        while (i < s.size()) {
            if (steps_.CharLength(s, i) == 2) {
                out.append(s.substr(i, 2));
                i += 2;
                continue;
            }
            const char c = s[i++];
            if (c == '"') return true;
            if (c != '\\') {
                out.push_back(c);
                continue;
            }
            if (i == s.size()) break;
            if (steps_.CharLength(s, i) == 2) {
                out.append(s.substr(i, 2));
                i += 2;
                continue;
            }
            const char escaped = s[i++];
            switch (escaped) {
                case 'n':
                    out.push_back('\n');
                    break;
                case 'r':
                    out.push_back('\r');
                    break;
                case '0':
                    out.push_back('\0');
                    break;
                default:
                    out.push_back(escaped);
                    break;
            }
        }
        return false;
    }

    // `s` starts at '@' or at the value name's opening quote.
    bool ParseValueLine(std::string_view s) {
        Entry entry;
        entry.kind = Entry::Kind::kValue;
        entry.line = lineNo_;
        size_t i = 1;
        if (s[0] == '"' && !ReadQuoted(s, i, entry.name))
            return Fail("unterminated value name (missing '\"')");
        if (unicodeText_) {
            const std::string utf8 = std::move(entry.name);
            ToCodePage(utf8, codePage_, entry.name, entry.wideName);
        }
        i = SkipBlanks(s, i);
        if (i == s.size() || s[i] != '=') return Fail("expected '=' after the value name");
        i = SkipBlanks(s, i + 1);
        if (!inKey_) return Fail("value outside a key section");
        entry.root = keyRoot_;
        entry.keyPath = keyPath_;
        entry.wideKeyPath = wideKeyPath_;
        const std::string_view data = s.substr(i);
        if (data.empty()) return Fail("missing value data after '='");

        if (data[0] == '-') {
            if (!OnlyCommentLeft(data, 1)) return Fail("unexpected text after '-'");
            entry.kind = Entry::Kind::kDeleteValue;
            doc_.entries.push_back(std::move(entry));
            return true;
        }
        if (data[0] == '"') {
            size_t k = 1;
            std::string text;
            if (!ReadQuoted(data, k, text)) return Fail("unterminated string (missing '\"')");
            if (!OnlyCommentLeft(data, k)) return Fail("unexpected text after the string");
            entry.type = regtype::kSz;
            if (unicodeText_) {
                const std::string utf8 = std::move(text);
                std::u16string wide;
                ToCodePage(utf8, codePage_, text, wide);
                if (!wide.empty()) {
                    wide.push_back(u'\0');
                    entry.wideData = Utf16LeBytes(wide);
                }
            }
            // The registry editor stores a string with its terminating zero.
            entry.data.assign(text.begin(), text.end());
            entry.data.push_back(0);
            doc_.entries.push_back(std::move(entry));
            return true;
        }
        if (data.starts_with("dword:")) return ParseDword(data.substr(6), std::move(entry));
        if (data.starts_with("hex:")) {
            entry.type = regtype::kBinary;
            return StartHex(data.substr(4), std::move(entry));
        }
        if (data.starts_with("hex(")) {
            size_t k = 4;
            uint64_t type = 0;
            const size_t first = k;
            while (k < data.size() && HexDigit(data[k]) >= 0) {
                type = type * 16 + static_cast<uint64_t>(HexDigit(data[k++]));
                if (type > 0xFFFFFFFFu) return Fail("value type in hex(...) is too large");
            }
            if (k == first || !data.substr(k).starts_with("):"))
                return Fail("bad value type; expected hex(N): with N in hexadecimal");
            entry.type = static_cast<uint32_t>(type);
            return StartHex(data.substr(k + 2), std::move(entry));
        }
        return Fail("unknown value data; expected \"text\", dword:, hex: or hex(N):");
    }

    bool ParseDword(std::string_view s, Entry entry) {
        size_t i = SkipBlanks(s, 0);
        const size_t first = i;
        uint32_t value = 0;
        while (i < s.size() && HexDigit(s[i]) >= 0) {
            if (i - first == 8) return Fail("dword with more than 8 hex digits");
            value = value * 16 + static_cast<uint32_t>(HexDigit(s[i++]));
        }
        if (i == first) return Fail("dword without hex digits");
        if (!OnlyCommentLeft(s, i)) return Fail("unexpected text after the dword");
        entry.type = regtype::kDword;
        entry.data = {static_cast<uint8_t>(value), static_cast<uint8_t>(value >> 8),
                      static_cast<uint8_t>(value >> 16), static_cast<uint8_t>(value >> 24)};
        doc_.entries.push_back(std::move(entry));
        return true;
    }

    enum class HexResult { kDone, kContinued, kError };

    // Appends the comma-separated bytes of `s`. A byte is one or two hex
    // digits with optional blanks before it; the list may end in a comma, a
    // ';' comment, or a '\' that continues it on a later line.
    HexResult ParseHexList(std::string_view s, std::vector<uint8_t>& out) {
        size_t i = 0;
        for (;;) {
            i = SkipBlanks(s, i);
            if (i == s.size() || s[i] == ';') return HexResult::kDone;
            if (s[i] == '\\') {
                if (OnlyCommentLeft(s, i + 1)) return HexResult::kContinued;
                Fail("unexpected text after the continuation '\\'");
                return HexResult::kError;
            }
            int value = HexDigit(s[i]);
            if (value < 0) {
                Fail("bad hex byte");
                return HexResult::kError;
            }
            ++i;
            if (i < s.size() && HexDigit(s[i]) >= 0) value = value * 16 + HexDigit(s[i++]);
            if (i < s.size() && HexDigit(s[i]) >= 0) {
                Fail("hex byte with more than two digits");
                return HexResult::kError;
            }
            out.push_back(static_cast<uint8_t>(value));
            if (i < s.size() && s[i] == ',') {
                ++i;
                continue;
            }
            if (OnlyCommentLeft(s, i)) return HexResult::kDone;
            Fail("expected ',' after a hex byte");
            return HexResult::kError;
        }
    }

    bool StartHex(std::string_view s, Entry entry) {
        pending_ = std::move(entry);
        switch (ParseHexList(s, pending_.data)) {
            case HexResult::kDone:
                FinishValue();
                return true;
            case HexResult::kContinued:
                continuing_ = true;
                return true;
            case HexResult::kError:
                break;
        }
        return false;
    }

    // A line after one that ended in '\'. Blank lines and ';' comments may
    // stand between the parts; anything that is not hex data is an error (the
    // registry editor would drop the value and the line).
    bool ContinueHex(std::string_view line) {
        const size_t i = SkipBlanks(line, 0);
        if (i == line.size() || line[i] == ';') return true;
        if (HexDigit(line[i]) < 0)
            return Fail("expected the rest of the hex data after a line ending in '\\'");
        switch (ParseHexList(line.substr(i), pending_.data)) {
            case HexResult::kDone:
                FinishValue();
                return true;
            case HexResult::kContinued:
                return true;
            case HexResult::kError:
                break;
        }
        return false;
    }

    void FinishValue() {
        continuing_ = false;
        // Text types in a UTF-16 file hold UTF-16LE bytes; the document holds
        // code-page text. An odd last byte is dropped, as the ANSI functions
        // do; what does not convert exactly is kept as the file has it.
        if (wideFile_ && regtype::IsText(pending_.type)) {
            std::vector<uint8_t>& data = pending_.data;
            std::u16string units(data.size() / 2, u'\0');
            for (size_t k = 0; k < units.size(); ++k)
                units[k] = static_cast<char16_t>(data[2 * k] | (data[2 * k + 1] << 8));
            std::string text;
            if (!codePage_.FromUtf16(units, text) || data.size() % 2 != 0) pending_.wideData = data;
            data.assign(text.begin(), text.end());
        }
        doc_.entries.push_back(std::move(pending_));
        pending_ = Entry{};
    }

    std::string_view text_;
    bool unicodeText_;
    bool wideFile_;
    const CodePage& codePage_;
    // What the text is stepped through by: the code page for code-page
    // text; UTF-8 needs no care, as its ASCII bytes are characters.
    const CodePage& steps_;
    Document& doc_;
    ParseError& error_;
    size_t pos_ = 0;
    size_t lineNo_ = 0;
    bool inKey_ = false;
    HKey keyRoot_ = hkey::kNull;
    std::string keyPath_;
    std::u16string wideKeyPath_;
    bool continuing_ = false;
    Entry pending_;
};

}  // namespace

bool Parse(std::string_view fileBytes, Document& doc, ParseError& error, const CodePage& codePage) {
    doc = Document{};
    error = ParseError{};
    std::string decoded;
    std::string_view text = fileBytes;
    bool wide = false;
    bool unicode = false;
    auto startsWith = [&](std::initializer_list<uint8_t> bom) {
        if (fileBytes.size() < bom.size()) return false;
        size_t i = 0;
        for (uint8_t b : bom)
            if (static_cast<uint8_t>(fileBytes[i++]) != b) return false;
        return true;
    };
    if (startsWith({0xFF, 0xFE})) {
        wide = unicode = true;
        if (!DecodeUtf16(fileBytes.substr(2), decoded, error)) return false;
        text = decoded;
    } else if (startsWith({0xFE, 0xFF})) {
        error = {0, "UTF-16 big-endian files are not supported"};
        return false;
    } else if (startsWith({0xEF, 0xBB, 0xBF})) {
        // Not written by the registry editor, but a plain text editor may
        // save a file so: its text is read as UTF-8, its hex data as bytes.
        text = fileBytes.substr(3);
        if (!CheckUtf8(text, error)) return false;
        unicode = true;
    }
    Parser parser(text, unicode, wide, codePage, doc, error);
    if (!parser.Run()) {
        doc = Document{};
        return false;
    }
    return true;
}

}  // namespace qm::regtext
