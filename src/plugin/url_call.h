// The platform-free half of the installer plug-in: taking the three strings
// off the installer's string stack and turning them into the request address.
// The DLL entry point (callvane.cpp) adds only the Win32 parts: freeing the
// stack nodes with GlobalFree and sending the request through WinINet.
#pragma once

#include <cstddef>

namespace callvane {

// One node of the installer's string stack. The installer allocates each
// node with room for its string size (usually 1,024 bytes) after the pointer;
// `text` is declared with one byte only because its real length is only
// known at run time. The layout is the one ANSI installers hand to plug-ins.
struct StackNode {
    StackNode* next;
    char text[1];
};

// Releases a node that has been taken off the stack (GlobalFree in the DLL).
using FreeNode = void (*)(StackNode* node);

// Each string from the installer is kept to 255 bytes plus the terminator.
inline constexpr std::size_t kFieldSize = 256;
// The finished request address, terminator included, never exceeds this.
inline constexpr std::size_t kRequestSize = 1024;

// What the installer passes: popped in this order.
struct RequestFields {
    char web_address[kFieldSize] = {};
    char name[kFieldSize] = {};
    char email[kFieldSize] = {};
};

// Takes the top node off the stack: copies at most 255 bytes of its text
// (stopping at the terminator, and never reading more than `string_size`
// bytes of the node) into `out`, makes the next node the top and frees the
// popped node. On an empty stack (`top` or `*top` null) `out` becomes the
// empty string and false is returned.
bool PopString(StackNode** top, int string_size, FreeNode free_node, char (&out)[kFieldSize]);

// Pops the web address, the name and the e-mail address; a string missing
// from the stack is taken as empty.
RequestFields PopRequestFields(StackNode** top, int string_size, FreeNode free_node);

// Percent-encodes the `length` bytes of `text` as a query value into `out` (`out_size` bytes with
// the terminator, `out_size` > 0): ASCII letters, digits and "-._~" stay,
// every other byte becomes "%XX" with upper-case hex digits. Returns the
// length the whole encoding needs, without the terminator. When that is
// `out_size` or more, `out` holds only the characters and escapes that fitted
// whole, never part of an escape.
std::size_t PercentEncode(const char* text, std::size_t length, char* out, std::size_t out_size);

// Writes "<web address>?Name=<name>&Email=<e-mail>" into `out`, with the name
// and the e-mail address percent-encoded and the web address as given.
// Returns false, leaving `out` empty, when the address would not fit in
// kRequestSize bytes: no request is better than one cut in the middle.
bool BuildRequestUrl(const RequestFields& fields, char (&out)[kRequestSize]);

}  // namespace callvane
