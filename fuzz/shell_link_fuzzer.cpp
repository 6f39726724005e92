// The shortcut reader on any bytes: nothing is read outside them, a refused
// file leaves the fields empty, and what is read fits the 1024-byte buffers
// the shell's link object fills.
#include <cstddef>
#include <cstdint>

#include "fuzz/fuzz_support.h"
#include "startup/shell_link_format.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    qm::ShellLinkFields fields;
    fields.targetPath = "stale";
    fields.arguments = "stale";
    const bool read = qm::ParseShellLink(data, size, fields);
    if (!read) {
        qm::fuzz::Check(fields.targetPath.empty() && fields.arguments.empty(),
                        "a refused file left text in the fields");
        return 0;
    }
    qm::fuzz::Check(fields.targetPath.size() < 1024 && fields.arguments.size() < 1024,
                    "a field is longer than the link object's 1024-byte buffer");
    return 0;
}
