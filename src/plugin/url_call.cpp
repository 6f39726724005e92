#include "url_call.h"

#include <cstring>

namespace callvane {
namespace {

// Where the text of a node starts. Reached through the node's address rather
// than the one-byte array so that reading past its first byte is plain
// pointer arithmetic over the block the installer allocated.
const char* NodeText(const StackNode* node) {
    return reinterpret_cast<const char*>(node) + offsetof(StackNode, text);
}

// The length of a field's text: up to its terminator, and never past the
// field even if it was filled without one.
std::size_t FieldLength(const char (&field)[kFieldSize]) {
    const void* end = std::memchr(field, '\0', kFieldSize - 1);
    return end == nullptr ? kFieldSize - 1
                          : static_cast<std::size_t>(static_cast<const char*>(end) - field);
}

bool IsUnreserved(unsigned char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' ||
           c == '.' || c == '_' || c == '~';
}

// Appends to a fixed buffer, remembering when something did not fit so that a
// cut result is never mistaken for a whole one.
class BoundedWriter {
  public:
    BoundedWriter(char* out, std::size_t size) : out_(out), size_(size) { out_[0] = '\0'; }

    void Append(const char* text, std::size_t length) {
        if (overflow_ || length > size_ - 1 - used_) {
            overflow_ = true;
            return;
        }
        std::memcpy(out_ + used_, text, length);
        used_ += length;
        out_[used_] = '\0';
    }
    void Append(const char* text) { Append(text, std::strlen(text)); }

    bool overflow() const { return overflow_; }

  private:
    char* out_;
    std::size_t size_;
    std::size_t used_ = 0;
    bool overflow_ = false;
};

}  // namespace

bool PopString(StackNode** top, int string_size, FreeNode free_node, char (&out)[kFieldSize]) {
    out[0] = '\0';
    if (top == nullptr || *top == nullptr) {
        return false;
    }
    StackNode* node = *top;
    std::size_t limit = kFieldSize - 1;
    if (string_size <= 0) {
        limit = 0;
    } else if (static_cast<std::size_t>(string_size) < limit) {
        limit = static_cast<std::size_t>(string_size);
    }
    const char* text = NodeText(node);
    std::size_t length = 0;
    while (length < limit && text[length] != '\0') {
        ++length;
    }
    std::memcpy(out, text, length);
    out[length] = '\0';
    *top = node->next;
    free_node(node);
    return true;
}

RequestFields PopRequestFields(StackNode** top, int string_size, FreeNode free_node) {
    RequestFields fields;
    PopString(top, string_size, free_node, fields.web_address);
    PopString(top, string_size, free_node, fields.name);
    PopString(top, string_size, free_node, fields.email);
    return fields;
}

std::size_t PercentEncode(const char* text, std::size_t length, char* out, std::size_t out_size) {
    static const char kHex[] = "0123456789ABCDEF";
    BoundedWriter writer(out, out_size);
    std::size_t needed = 0;
    for (const char* p = text; p != text + length; ++p) {
        const auto c = static_cast<unsigned char>(*p);
        if (IsUnreserved(c)) {
            writer.Append(p, 1);
            needed += 1;
        } else {
            const char escape[3] = {'%', kHex[c >> 4], kHex[c & 0x0F]};
            writer.Append(escape, sizeof escape);
            needed += 3;
        }
    }
    return needed;
}

bool BuildRequestUrl(const RequestFields& fields, char (&out)[kRequestSize]) {
    BoundedWriter writer(out, kRequestSize);
    // Each encoded field is at most three bytes per input byte.
    char encoded[kFieldSize * 3];
    writer.Append(fields.web_address, FieldLength(fields.web_address));
    writer.Append("?Name=");
    if (PercentEncode(fields.name, FieldLength(fields.name), encoded, sizeof encoded) >=
        sizeof encoded) {
        out[0] = '\0';
        return false;
    }
    writer.Append(encoded);
    writer.Append("&Email=");
    if (PercentEncode(fields.email, FieldLength(fields.email), encoded, sizeof encoded) >=
        sizeof encoded) {
        out[0] = '\0';
        return false;
    }
    writer.Append(encoded);
    if (writer.overflow()) {
        out[0] = '\0';
        return false;
    }
    return true;
}

}  // namespace callvane
