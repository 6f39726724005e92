#include "backup/reg_export_writer.h"

#include <algorithm>
#include <utility>
#include <vector>

#include "platform/key_walk.h"
#include "platform/read_growing.h"
#include "platform/value_text.h"

namespace qm {

namespace {

constexpr char kHexDigits[] = "0123456789abcdef";

// A byte list breaks after every 21st byte counted from 0: its first line
// holds 22 bytes, every later line 21.
constexpr size_t kBytesPerLine = 21;

// Names longer than this are not real registry names (Windows allows 255
// characters for keys and 16383 for values); the buffers stop growing here.
constexpr uint32_t kLongestName = 65536;

// Whether text is characters of the code page alone. In a double-byte code
// page a lead byte without its second byte would take the closing quote
// (or the byte after it) for that byte when the file is read.
bool WholeCharacters(const char* text, size_t length, const CodePage& codePage) {
    if (!codePage.HasLeadBytes()) return true;
    const std::string_view bytes(text, length);
    std::string back;
    return codePage.FromUtf16(codePage.ToUtf16(bytes), back) && back == bytes;
}

// The format has no way to write a line break in a name, nor a name that
// is not whole characters.
bool NameFits(const char* name, size_t length, const CodePage& codePage) {
    for (size_t i = 0; i < length; ++i)
        if (name[i] == '\r' || name[i] == '\n') return false;
    return WholeCharacters(name, length, codePage);
}

// Plain strings are written between quotes only when reading them back
// gives exactly the same bytes: one terminating zero at the end, no
// control character (line breaks, and zero bytes inside the data, would not
// survive the quotes), and whole characters.
bool IsQuotable(const uint8_t* data, size_t length, const CodePage& codePage) {
    if (length == 0 || data[length - 1] != 0) return false;
    for (size_t i = 0; i + 1 < length; ++i)
        if (data[i] < 0x20) return false;
    return WholeCharacters(reinterpret_cast<const char*>(data), length - 1, codePage);
}

// Backslashes and quotes get a backslash before them: those that are
// characters of the code page, not the second byte of a two-byte character,
// which the registry editor reads as part of that character.
void AppendEscaped(std::string& out, const char* text, size_t length, const CodePage& codePage) {
    const std::string_view view(text, length);
    for (size_t i = 0; i < length;) {
        const size_t size = codePage.CharLength(view, i);
        if (size == 1 && (text[i] == '\\' || text[i] == '"')) out.push_back('\\');
        out.append(text + i, size);
        i += size;
    }
}

void AppendByteList(std::string& out, const uint8_t* data, size_t length) {
    out.reserve(out.size() + length * 3 + (length / kBytesPerLine) * 2 + 1);
    for (size_t i = 0; i < length; ++i) {
        out.push_back(kHexDigits[data[i] >> 4]);
        out.push_back(kHexDigits[data[i] & 0xF]);
        out.push_back(',');
        // A line break after bytes 21, 42, 63 ... (counted from 0), but
        // never after the last byte: a list ending in a continuation
        // backslash makes the registry editor drop the value.
        if (i > 0 && i % kBytesPerLine == 0 && i + 1 < length) out += "\\\n";
    }
    out.push_back('\n');
}

// What a failure to read one part of a subtree makes of the whole.
Status PartFailed(Status status) {
    return status == status::kInvalidName ? status : status::kCantRead;
}

bool IsTextType(uint32_t type) {
    return type == regtype::kSz || type == regtype::kExpandSz || type == regtype::kMultiSz;
}

// The root's name, and the subkey path after a backslash when there is one.
std::string KeyPath(const char* rootName, const std::string& subKey) {
    std::string path = rootName;
    if (!subKey.empty()) {
        path.push_back('\\');
        path += subKey;
    }
    return path;
}

void AppendHex32(std::string& out, uint32_t value, int digits) {
    for (int shift = (digits - 1) * 4; shift >= 0; shift -= 4)
        out.push_back(kHexDigits[(value >> shift) & 0xF]);
}

void AppendValueData(std::string& out, uint32_t type, const uint8_t* data, size_t length,
                     RegExportWriter::TextDataForm form, const CodePage& codePage) {
    if (type == regtype::kSz && IsQuotable(data, length, codePage)) {
        out.push_back('"');
        AppendEscaped(out, reinterpret_cast<const char*>(data), length - 1, codePage);
        out += "\"\n";
        return;
    }
    if (type == regtype::kDword && length == 4) {
        const uint32_t value =
            data[0] | (data[1] << 8) | (data[2] << 16) | (static_cast<uint32_t>(data[3]) << 24);
        out += "dword:";
        AppendHex32(out, value, 8);
        out.push_back('\n');
        return;
    }
    if (type == regtype::kBinary) {
        out += "hex:";
    } else {
        // The type in hexadecimal, as the registry editor reads it.
        out += "hex(";
        int digits = 1;
        while (digits < 8 && (type >> (digits * 4)) != 0) ++digits;
        AppendHex32(out, type, digits);
        out += "):";
    }
    if (form != nullptr && IsTextType(type)) {
        const std::vector<uint8_t> wide = Utf16LeBytes(*form, data, length);
        AppendByteList(out, wide.data(), wide.size());
    } else {
        AppendByteList(out, data, length);
    }
}

void AppendValueLine(std::string& out, const char* name, size_t nameLength, uint32_t type,
                     const uint8_t* data, size_t length, RegExportWriter::TextDataForm form,
                     const CodePage& codePage) {
    if (nameLength == 0) {
        out += "@ = ";
    } else {
        out.push_back('"');
        AppendEscaped(out, name, nameLength, codePage);
        out += "\" = ";
    }
    AppendValueData(out, type, data, length, form, codePage);
}

// Name and data buffers reused for every key of one export.
struct ValueBuffers {
    std::vector<char> name;
    std::vector<uint8_t> data;
};

// The section of an open key: an empty line, "[path]" and every value.
// `info` receives what the key reported about itself.
Status WriteValues(RegistryService& registry, HKey key, const std::string& path, std::string& out,
                   RegExportWriter::TextDataForm form, ValueBuffers& buffers, KeyInfo& info) {
    Status status = registry.QueryInfoKey(key, &info);
    if (status != status::kSuccess) return status;
    out += "\n[";
    out += path;
    out += "]\n";
    std::vector<char>& name = buffers.name;
    std::vector<uint8_t>& data = buffers.data;
    if (name.size() < info.maxValueNameLen + 1u) name.resize(info.maxValueNameLen + 1u);
    if (data.size() < info.maxValueLen + 1u) data.resize(info.maxValueLen + 1u);
    // As many values as the key reported: a value added while the key is
    // read is no more a race than one added between the backup and the
    // deletion, and reading until the end would cost a call per key.
    for (uint32_t index = 0; index < info.values; ++index) {
        uint32_t nameSize = 0, dataSize = 0, type = 0;
        status = ReadGrowing(
            [&] {
                nameSize = static_cast<uint32_t>(name.size());
                dataSize = static_cast<uint32_t>(data.size());
                return registry.EnumValue(key, index, name.data(), &nameSize, &type, data.data(),
                                          &dataSize);
            },
            [&] {
                // The name or the data grew since the key was measured (or
                // the measure was in other units): make room.
                KeyInfo now;
                if (registry.QueryInfoKey(key, &now) == status::kSuccess) info = now;
                const size_t names = std::max<size_t>(name.size() * 2, info.maxValueNameLen + 1u);
                name.resize(std::min<size_t>(names, kLongestName));
                data.resize(std::max<size_t>(
                    {data.size(), size_t{dataSize} + 1u, size_t{info.maxValueLen} + 1u}));
            });
        if (status == status::kNoMoreItems) break;  // values went while it was read
        if (status != status::kSuccess) return status::kCantRead;
        if (nameSize >= name.size() || dataSize > data.size()) return status::kCantRead;
        if (!NameFits(name.data(), nameSize, registry.codePage())) return status::kInvalidName;
        AppendValueLine(out, name.data(), nameSize, type, data.data(), dataSize, form,
                        registry.codePage());
    }
    return status::kSuccess;
}

// What a key is opened with for the walk: its values and its subkeys.
constexpr uint32_t kWalkAccess = access::kQueryValue | access::kEnumerateSubKeys;

// The walk below the top key: each key is opened once, for its values and
// its subkeys together (a key that allows only one of them could not be
// exported whole either way), parents are written before their children,
// and the top key's own values come last. As many subkeys are visited as
// each key reported when its values were read: subkeys added while the walk
// runs are not visited (and a deletion that follows leaves their parents in
// place).
class ExportWalk : public KeyWalk {
  public:
    ExportWalk(RegistryService& registry, std::string& out, RegExportWriter::TextDataForm form,
               ExportedTree* tree)
        : KeyWalk(registry, 256, kLongestName), out_(out), form_(form), tree_(tree) {}

    Status Run(RegKey top, uint32_t subKeys, const std::string& topPath) {
        Level start;
        start.key = std::move(top);
        start.count = subKeys;
        return Walk(std::move(start), topPath);
    }

  protected:
    Status List(Level& level, std::string_view& name) override {
        const Status listed = KeyWalk::List(level, name);
        if (listed != status::kSuccess && listed != status::kNoMoreItems)
            Stop(status::kCantRead);
        else if (listed == status::kSuccess &&
                 !NameFits(name.data(), name.size(), registry_.codePage()))
            Stop(status::kInvalidName);
        return listed;
    }

    bool Enter(Level& parent, std::string_view name, Level& child) override {
        if (child.key.Open(parent.key.get(), name.data(), kWalkAccess) != status::kSuccess) {
            Stop(status::kCantRead);
            return false;
        }
        if (!Write(child)) return false;
        if (tree_ != nullptr) {
            child.tag = tree_->size();
            tree_->push_back(ExportedKey{std::string(name), static_cast<int32_t>(parent.tag), 0});
            ++(*tree_)[parent.tag].children;
        }
        return true;
    }

    bool Leave(Level& level, Status) override {
        if (levels().size() == 1) Write(level);
        return false;
    }

  private:
    // The key's section; its subkey count bounds its listing.
    bool Write(Level& level) {
        KeyInfo info;
        const Status written =
            WriteValues(registry_, level.key.get(), path(), out_, form_, buffers_, info);
        if (written != status::kSuccess) Stop(PartFailed(written));
        level.count = info.subKeys;
        return written == status::kSuccess;
    }

    std::string& out_;
    RegExportWriter::TextDataForm form_;
    ExportedTree* tree_;
    ValueBuffers buffers_;
};

}  // namespace

std::string RegExportWriter::FormatValueData(uint32_t type, const uint8_t* data, size_t length,
                                             TextDataForm form) const {
    std::string text;
    AppendValueData(text, type, data, length, form, registry_.codePage());
    return text;
}

Status RegExportWriter::ExportKeyText(HKey root, const std::string& subKey, std::string& out,
                                      TextDataForm form, ExportedTree* tree) {
    const char* rootName = RootKeyName(root);
    if (*rootName == '\0') return status::kInvalidHandle;
    RegKey way(registry_), top(registry_);
    Status status = OpenKeyPath(registry_, root, subKey, kWalkAccess, way, top);
    if (status != status::kSuccess) return status;
    KeyInfo info;
    status = registry_.QueryInfoKey(top.get(), &info);
    if (status != status::kSuccess) return PartFailed(status);

    const std::string topPath = KeyPath(rootName, subKey);
    out += '[';
    out += topPath;
    out += "]\n";
    if (tree != nullptr) {
        tree->clear();
        tree->push_back(ExportedKey{subKey, -1, 0});
    }
    return ExportWalk(registry_, out, form, tree).Run(std::move(top), info.subKeys, topPath);
}

Status RegExportWriter::ExportValueText(HKey root, const std::string& subKey,
                                        const std::string& valueName, std::string& out,
                                        TextDataForm form) {
    const char* rootName = RootKeyName(root);
    if (*rootName == '\0') return status::kInvalidHandle;
    RegKey way(registry_), key(registry_);
    Status status = OpenKeyPath(registry_, root, subKey, access::kDefault, way, key);
    if (status != status::kSuccess) return status;

    uint32_t type = 0;
    std::vector<uint8_t> data;
    status = ReadValueBytes(registry_, key.get(), valueName.c_str(), type, data);
    if (status != status::kSuccess) return status == status::kMoreData ? status::kCantRead : status;
    if (!NameFits(valueName.data(), valueName.size(), registry_.codePage()))
        return status::kInvalidName;

    out += "\n[";
    out += KeyPath(rootName, subKey);
    out += "]\n";
    AppendValueLine(out, valueName.data(), valueName.size(), type, data.data(), data.size(), form,
                    registry_.codePage());
    return status::kSuccess;
}

Status RegExportWriter::ExportKey(HKey root, const std::string& subKey, RegTextStream& stream,
                                  ExportedTree* tree) {
    std::string text;
    const Status status = ExportKeyText(root, subKey, text, stream.TextDataForm(), tree);
    if (status != status::kSuccess) return status;
    return stream.Append(text) ? status::kSuccess : status::kWriteFault;
}

Status RegExportWriter::ExportValue(HKey root, const std::string& subKey,
                                    const std::string& valueName, RegTextStream& stream) {
    std::string text;
    const Status status = ExportValueText(root, subKey, valueName, text, stream.TextDataForm());
    if (status != status::kSuccess) return status;
    return stream.Append(text) ? status::kSuccess : status::kWriteFault;
}

}  // namespace qm
