// The registry editor's text format: "REGEDIT4" files in the system code
// page and "Windows Registry Editor Version 5.00" files in UTF-16LE with a
// byte-order mark. The reader parses a whole file into a Document (nothing
// is applied anywhere until the file has parsed without error); the writer
// turns a Document back into file bytes.
//
// Inside a Document all names and text data are text in the system code
// page (the one the reader and writer are given, Windows-1252 unless told),
// as the ANSI registry functions see them: the UTF-16 text of a version 5
// file, including the data of hex(1), hex(2) and hex(7) values, is
// converted on reading and back on writing. REGEDIT4 files are read by
// character of that code page, so a double-byte character whose second
// byte is a backslash's is no escape and no key separator.
// Text without an exact code-page form is also kept as the file has it
// (Entry::wide...), and a version 5 file is written with it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/code_page.h"
#include "platform/registry_service.h"

namespace qm::regtext {

enum class Format {
    kRegedit4,  // "REGEDIT4", code-page text
    kVersion5,  // "Windows Registry Editor Version 5.00", UTF-16LE with BOM
};

struct Entry {
    enum class Kind {
        kKey,          // [ROOT\path]: the key exists; later values belong to it
        kDeleteKey,    // [-ROOT\path]: the key and everything below it go
        kValue,        // "name"=data (name empty for @)
        kDeleteValue,  // "name"=-
    };
    Kind kind = Kind::kKey;
    HKey root = hkey::kNull;
    std::string keyPath;  // below the root, without leading or trailing '\'; may be empty
    std::string name;     // value name; empty for the default value
    uint32_t type = 0;    // value type
    std::vector<uint8_t> data;
    size_t line = 0;  // 1-based line of the entry's start in the file
    // Text of a Unicode file that has no exact code-page form: the key path,
    // the value name, and a text value's data (UTF-16LE bytes), as the file
    // holds them. Empty when the fields above hold the text exactly; they
    // hold it as the ANSI functions would see it otherwise.
    std::u16string wideKeyPath{};
    std::u16string wideName{};
    std::vector<uint8_t> wideData{};
};

struct Document {
    Format format = Format::kVersion5;
    std::vector<Entry> entries;
};

struct ParseError {
    size_t line = 0;  // 1-based; 0 when the file as a whole is wrong (no header)
    std::string message;
};

// Parses a whole file whose text is in `codePage`. On failure returns
// false, fills `error`, and leaves `doc` empty.
bool Parse(std::string_view fileBytes, Document& doc, ParseError& error,
           const CodePage& codePage = CodePage::Windows1252());

// Writes the document in the given format (the header line, a blank line,
// then the entries; keys are separated by blank lines as the registry editor
// writes them). Text data is written quoted only when it reads back as the
// same bytes; anything else is written as hex(N).
std::string Write(const Document& doc, Format format,
                  const CodePage& codePage = CodePage::Windows1252());

// UTF-8 to UTF-16 code units. False for bytes that are not UTF-8 (overlong
// forms and encoded surrogates included), with the offset of the first bad
// sequence in `badOffset` when given.
bool Utf8ToUtf16(std::string_view text, std::u16string& out, size_t* badOffset = nullptr);
// UTF-16 code units to UTF-8; an unpaired surrogate becomes U+FFFD.
std::string Utf16ToUtf8(std::u16string_view text);

}  // namespace qm::regtext
