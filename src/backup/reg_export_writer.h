// Registry content as registry editor text, for backups: ExportKey writes a
// key with its whole subtree, ExportValue one value of one key. Each builds
// the entry's text in memory and appends it to the backup stream only when
// every part of it could be read, so a backup never holds part of an entry;
// the status says whether the entry is in the file in full.
//
// Layout (each "\n" is CR LF in the file): ExportKey writes the top key's
// header line, then for every key below it, parents before children and
// siblings in enumeration order, an empty line, its header line and its
// values, and last an empty line, the top key's header line again and the
// top key's own values. ExportValue writes an empty line, the key's header
// line and the one value. A value line is "@ = " or "\"name\" = " and the
// data: "text" for plain strings, dword:%08x for four-byte numbers, hex: for
// binary data and hex(N): (N in hexadecimal) for everything else, so that
// every value reads back with exactly its type and bytes. Byte lists carry
// 22 bytes on their first line and 21 on each further line, every byte
// followed by a comma, and never end in a continuation backslash.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "backup/reg_text_stream.h"
#include "platform/registry_service.h"

namespace qm {

// The keys an export walked, for a deletion that follows it, in the order
// they were written: the top key first, parents before children, siblings
// in enumeration order. `parent` indexes this list (-1 for the top key,
// whose name is the subkey path it was exported from).
struct ExportedKey {
    std::string name;
    int32_t parent = -1;
    uint32_t children = 0;
};
using ExportedTree = std::vector<ExportedKey>;

class RegExportWriter {
  public:
    // null: text data as code-page bytes; otherwise as UTF-16LE from that
    // code page (RegTextStream::TextDataForm).
    using TextDataForm = const CodePage*;

    explicit RegExportWriter(RegistryService& registry) : registry_(registry) {}

    // Statuses: kSuccess when the entry was appended in full; kInvalidHandle
    // when `root` is not a predefined root; the open's or the read's status
    // when the key or value cannot be read (kFileNotFound when it does not
    // exist); kCantRead when part of the subtree cannot be read; kInvalidName
    // when a name holds a line break, which the format cannot carry;
    // kWriteFault when the stream could not take the text. Nothing is
    // appended unless the status is kSuccess.
    // `tree`, when given, receives the keys written.
    Status ExportKey(HKey root, const std::string& subKey, RegTextStream& stream,
                     ExportedTree* tree = nullptr);
    Status ExportValue(HKey root, const std::string& subKey, const std::string& valueName,
                       RegTextStream& stream);

    // The same, appending the text to `out` (on failure `out` may hold part
    // of it).
    Status ExportKeyText(HKey root, const std::string& subKey, std::string& out,
                         TextDataForm form = nullptr, ExportedTree* tree = nullptr);
    Status ExportValueText(HKey root, const std::string& subKey, const std::string& valueName,
                           std::string& out, TextDataForm form = nullptr);

    // A value's data text, line end included.
    std::string FormatValueData(uint32_t type, const uint8_t* data, size_t length,
                                TextDataForm form = nullptr) const;

    // "HKEY_LOCAL_MACHINE" and the other six; "" for any other handle.
    static const char* RootKeyName(HKey root) { return RootKeyFullName(root); }

  private:
    RegistryService& registry_;
};

}  // namespace qm
