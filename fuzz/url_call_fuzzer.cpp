// The installer plug-in's string stack and request building. The input
// gives the installer's string size, the stack's nodes (each allocated as
// the installer allocates it: the pointer, then the string size's bytes,
// sometimes a few more) and their texts, which may fill a node with no
// terminator. Nothing may be read past a node, exactly three nodes (or as
// many as there are) are taken and freed, and the request is either the
// whole address with both fields encoded or nothing at all.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "fuzz/fuzz_support.h"
#include "url_call.h"

namespace {

using callvane::StackNode;
using qm::fuzz::Check;

std::vector<StackNode*> g_freed;

void RecordAndFree(StackNode* node) {
    g_freed.push_back(node);
    std::free(node);
}

// What the fields should hold: the text up to its terminator, within the
// node's string size and a field's 255 bytes.
std::string Expected(const std::string& text, int stringSize) {
    const size_t limit = stringSize <= 0 ? 0 : std::min<size_t>(stringSize, 255);
    std::string kept = text.substr(0, std::min(limit, text.size()));
    return kept.substr(0, kept.find('\0'));
}

std::string Encode(const std::string& text) {
    static const char kHex[] = "0123456789ABCDEF";
    std::string out;
    for (unsigned char c : text) {
        if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
            c == '-' || c == '.' || c == '_' || c == '~') {
            out.push_back(static_cast<char>(c));
        } else {
            out += {'%', kHex[c >> 4], kHex[c & 15]};
        }
    }
    return out;
}

void CheckPercentEncode(FuzzedDataProvider& input) {
    const std::string text = input.ConsumeRandomLengthString(300);
    const size_t outSize = input.ConsumeIntegralInRange<size_t>(1, 1000);
    std::vector<char> out(outSize);
    const size_t needed = callvane::PercentEncode(text.data(), text.size(), out.data(), outSize);
    const std::string whole = Encode(text);
    Check(needed == whole.size(), "PercentEncode gives a wrong length");
    const std::string got(out.data(), strnlen(out.data(), outSize));
    Check(got.size() < outSize, "PercentEncode left no terminator");
    Check(whole.compare(0, got.size(), got) == 0, "PercentEncode wrote other text");
    // Only whole characters and escapes, as many as fit.
    size_t boundary = 0;
    for (unsigned char c : text) {
        const size_t piece = Encode(std::string(1, static_cast<char>(c))).size();
        if (boundary + piece > outSize - 1) break;
        boundary += piece;
    }
    Check(got.size() == boundary, "PercentEncode did not write exactly the pieces that fit");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzedDataProvider input(data, size);
    g_freed.clear();
    const int stringSize = input.ConsumeIntegralInRange<int>(-2, 1100);
    const size_t count = input.ConsumeIntegralInRange<size_t>(0, 5);

    // The nodes, the last one made at the bottom of the stack.
    std::vector<StackNode*> nodes(count);
    std::vector<std::string> texts(count);
    StackNode* top = nullptr;
    for (size_t i = count; i-- > 0;) {
        const size_t room = static_cast<size_t>(stringSize > 0 ? stringSize : 0) +
                            (input.ConsumeBool() ? input.ConsumeIntegralInRange<size_t>(0, 8) : 0);
        texts[i] = input.ConsumeBytesAsString(input.ConsumeIntegralInRange<size_t>(0, room));
        const size_t bytes = offsetof(StackNode, text) + room;
        auto* node = static_cast<StackNode*>(std::malloc(bytes));
        node->next = top;
        char* text = reinterpret_cast<char*>(node) + offsetof(StackNode, text);
        std::memcpy(text, texts[i].data(), texts[i].size());
        if (texts[i].size() < room) text[texts[i].size()] = '\0';
        nodes[i] = node;
        top = node;
    }

    const callvane::RequestFields fields =
        callvane::PopRequestFields(&top, stringSize, RecordAndFree);
    const size_t taken = std::min<size_t>(count, 3);
    Check(g_freed.size() == taken, "not exactly the three top nodes were freed");
    for (size_t i = 0; i < taken; ++i) Check(g_freed[i] == nodes[i], "nodes freed out of order");
    Check(top == (count > 3 ? nodes[3] : nullptr), "the stack's top is not the fourth node");
    const char* got[3] = {fields.web_address, fields.name, fields.email};
    std::string field[3];
    for (size_t i = 0; i < 3; ++i) {
        field[i] = std::string(got[i], strnlen(got[i], callvane::kFieldSize));
        Check(field[i].size() < callvane::kFieldSize, "a field has no terminator");
        Check(field[i] == (i < count ? Expected(texts[i], stringSize) : ""),
              "field " + std::to_string(i) + " holds other text than its node");
    }
    for (size_t i = 3; i < count; ++i) std::free(nodes[i]);

    char url[callvane::kRequestSize];
    std::memset(url, '#', sizeof url);
    const bool built = callvane::BuildRequestUrl(fields, url);
    const std::string whole = field[0] + "?Name=" + Encode(field[1]) + "&Email=" + Encode(field[2]);
    if (built) {
        Check(whole.size() < callvane::kRequestSize, "a request longer than its buffer");
        Check(std::string(url) == whole, "the request is not the address with both fields");
    } else {
        Check(url[0] == '\0', "a refused request left text behind");
        Check(whole.size() >= callvane::kRequestSize, "a request that fits was refused");
    }
    CheckPercentEncode(input);
    return 0;
}
