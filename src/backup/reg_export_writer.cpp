#include "backup/reg_export_writer.h"

#include <algorithm>
#include <cstdio>
#include <utility>
#include <vector>

namespace qm {

namespace {

constexpr char kHexDigits[] = "0123456789abcdef";

// Bytes on the first line of a byte list; every later line holds one less.
constexpr size_t kBytesPerLine = 21;

// A value whose size keeps changing between the size query and the read is
// given up after this many tries.
constexpr int kReadAttempts = 8;

// Names longer than this are not real registry names (Windows allows 255
// characters for keys and 16383 for values); the buffers stop growing here.
constexpr uint32_t kLongestName = 65536;

// The format has no way to write a line break in a name.
bool NameFits(const char* name, size_t length) {
    for (size_t i = 0; i < length; ++i)
        if (name[i] == '\r' || name[i] == '\n') return false;
    return true;
}

// Plain strings are written between quotes only when reading them back
// gives exactly the same bytes: one terminating zero at the end and no
// control character (line breaks, and zero bytes inside the data, would not
// survive the quotes).
bool IsQuotable(const uint8_t* data, size_t length) {
    if (length == 0 || data[length - 1] != 0) return false;
    for (size_t i = 0; i + 1 < length; ++i)
        if (data[i] < 0x20) return false;
    return true;
}

void AppendEscaped(std::string& out, const char* text, size_t length) {
    for (size_t i = 0; i < length; ++i) {
        if (text[i] == '\\' || text[i] == '"') out.push_back('\\');
        out.push_back(text[i]);
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

}  // namespace

std::string RegExportWriter::FormatValueData(uint32_t type, const uint8_t* data, size_t length,
                                             TextDataForm form) {
    std::string text;
    if (type == regtype::kSz && IsQuotable(data, length)) {
        text.push_back('"');
        AppendEscaped(text, reinterpret_cast<const char*>(data), length - 1);
        text += "\"\n";
        return text;
    }
    if (type == regtype::kDword && length == 4) {
        const uint32_t value =
            data[0] | (data[1] << 8) | (data[2] << 16) | (static_cast<uint32_t>(data[3]) << 24);
        char number[24];
        std::snprintf(number, sizeof number, "dword:%08x\n", static_cast<unsigned>(value));
        return number;
    }
    if (type == regtype::kBinary) {
        text = "hex:";
    } else {
        char prefix[24];
        std::snprintf(prefix, sizeof prefix, "hex(%x):", static_cast<unsigned>(type));
        text = prefix;
    }
    if (form != nullptr && IsTextType(type)) {
        const std::vector<uint8_t> wide = Utf16LeBytes(*form, data, length);
        AppendByteList(text, wide.data(), wide.size());
    } else {
        AppendByteList(text, data, length);
    }
    return text;
}

std::string RegExportWriter::ValueLine(const std::string& name, uint32_t type, const uint8_t* data,
                                       size_t length, TextDataForm form) {
    std::string line;
    if (name.empty()) {
        line = "@ = ";
    } else {
        line.push_back('"');
        AppendEscaped(line, name.data(), name.size());
        line += "\" = ";
    }
    line += FormatValueData(type, data, length, form);
    return line;
}

Status RegExportWriter::WriteKeySection(HKey parent, const std::string& name,
                                        const std::string& path, std::string& out,
                                        TextDataForm form) {
    RegKey key(registry_);
    Status status = key.Open(parent, name.c_str(), access::kQueryValue);
    if (status != status::kSuccess) return status;
    KeyInfo info;
    status = registry_.QueryInfoKey(key.get(), &info);
    if (status != status::kSuccess) return status;

    out += "\n[";
    out += path;
    out += "]\n";
    std::vector<char> nameBuffer(info.maxValueNameLen + 1u);
    std::vector<uint8_t> data(info.maxValueLen + 1u);
    for (uint32_t index = 0;; ++index) {
        uint32_t nameSize = 0, dataSize = 0, type = 0;
        for (int attempt = 0;; ++attempt) {
            nameSize = static_cast<uint32_t>(nameBuffer.size());
            dataSize = static_cast<uint32_t>(data.size());
            status = registry_.EnumValue(key.get(), index, nameBuffer.data(), &nameSize, &type,
                                         data.data(), &dataSize);
            if (status != status::kMoreData || attempt + 1 == kReadAttempts) break;
            // The name or the data grew since the key was measured (or the
            // measure was in other units): make room and read again.
            KeyInfo now;
            if (registry_.QueryInfoKey(key.get(), &now) == status::kSuccess) info = now;
            size_t names = std::max<size_t>(nameBuffer.size() * 2, info.maxValueNameLen + 1u);
            nameBuffer.resize(std::min<size_t>(names, kLongestName));
            size_t bytes = std::max<size_t>(
                {data.size(), size_t{dataSize} + 1u, size_t{info.maxValueLen} + 1u});
            data.resize(bytes);
        }
        if (status == status::kNoMoreItems) break;
        if (status != status::kSuccess) return status::kCantRead;
        if (nameSize >= nameBuffer.size() || dataSize > data.size()) return status::kCantRead;
        if (!NameFits(nameBuffer.data(), nameSize)) return status::kInvalidName;
        out +=
            ValueLine(std::string(nameBuffer.data(), nameSize), type, data.data(), dataSize, form);
    }
    return status::kSuccess;
}

Status RegExportWriter::ExportKeyText(HKey root, const std::string& subKey, std::string& out,
                                      TextDataForm form) {
    const char* rootName = RootKeyName(root);
    if (*rootName == '\0') return status::kInvalidHandle;
    RegKey top(registry_);
    Status status = top.Open(root, subKey.c_str(), access::kEnumerateSubKeys);
    if (status != status::kSuccess) return status;

    const std::string topPath = KeyPath(rootName, subKey);
    out += '[';
    out += topPath;
    out += "]\n";

    // The walk keeps, per level below the top key, the parent's handle and
    // the index of the subkey being visited; it grows with the tree, so no
    // depth is too deep and none costs call stack.
    struct Level {
        RegKey key;
        uint32_t index;
        size_t pathLength;
    };
    std::vector<Level> stack;
    RegKey current = std::move(top);
    uint32_t index = 0;
    std::string path = topPath;
    std::vector<char> name(1024);
    for (;;) {
        uint32_t nameSize = static_cast<uint32_t>(name.size());
        status = registry_.EnumKey(current.get(), index, name.data(), &nameSize);
        if (status == status::kMoreData && name.size() < kLongestName) {
            name.resize(name.size() * 2);
            continue;
        }
        if (status == status::kNoMoreItems) {
            if (stack.empty()) break;
            current = std::move(stack.back().key);
            index = stack.back().index + 1;
            path.resize(stack.back().pathLength);
            stack.pop_back();
            continue;
        }
        if (status != status::kSuccess || nameSize >= name.size()) return status::kCantRead;
        if (!NameFits(name.data(), nameSize)) return status::kInvalidName;

        const std::string child(name.data(), nameSize);
        const size_t parentLength = path.size();
        path.push_back('\\');
        path += child;
        status = WriteKeySection(current.get(), child, path, out, form);
        if (status != status::kSuccess) return PartFailed(status);
        RegKey opened(registry_);
        if (opened.Open(current.get(), child.c_str(), access::kEnumerateSubKeys) !=
            status::kSuccess)
            return status::kCantRead;
        stack.push_back(Level{std::move(current), index, parentLength});
        current = std::move(opened);
        index = 0;
    }
    current.Close();
    status = WriteKeySection(root, subKey, topPath, out, form);
    return status == status::kSuccess ? status : PartFailed(status);
}

Status RegExportWriter::ExportValueText(HKey root, const std::string& subKey,
                                        const std::string& valueName, std::string& out,
                                        TextDataForm form) {
    const char* rootName = RootKeyName(root);
    if (*rootName == '\0') return status::kInvalidHandle;
    RegKey key(registry_);
    Status status = key.Open(root, subKey.c_str(), access::kDefault);
    if (status != status::kSuccess) return status;

    uint32_t type = 0, size = 0;
    status = registry_.QueryValue(key.get(), valueName.c_str(), &type, nullptr, &size);
    if (status != status::kSuccess) return status;
    std::vector<uint8_t> data;
    for (int attempt = 0;; ++attempt) {
        data.resize(std::max<size_t>(size, 1));
        size = static_cast<uint32_t>(data.size());
        status = registry_.QueryValue(key.get(), valueName.c_str(), &type, data.data(), &size);
        if (status != status::kMoreData || attempt + 1 == kReadAttempts) break;
    }
    if (status != status::kSuccess) return status == status::kMoreData ? status::kCantRead : status;
    if (size > data.size()) return status::kCantRead;
    if (!NameFits(valueName.data(), valueName.size())) return status::kInvalidName;

    out += "\n[";
    out += KeyPath(rootName, subKey);
    out += "]\n";
    out += ValueLine(valueName, type, data.data(), size, form);
    return status::kSuccess;
}

Status RegExportWriter::ExportKey(HKey root, const std::string& subKey, RegTextStream& stream) {
    std::string text;
    const Status status = ExportKeyText(root, subKey, text, stream.TextDataForm());
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
