#include "app/start_options.h"

#include "platform/settings_store.h"

namespace qm {
namespace {

bool IsBlank(char c) {
    return c == ' ' || c == '\t';
}

}  // namespace

std::string_view CommandLineTail(std::string_view commandLine) {
    size_t at = 0;
    if (!commandLine.empty() && commandLine[0] == '"') {
        const size_t close = commandLine.find('"', 1);
        at = close == std::string_view::npos ? commandLine.size() : close + 1;
    } else {
        while (at < commandLine.size() && !IsBlank(commandLine[at])) ++at;
    }
    while (at < commandLine.size() && IsBlank(commandLine[at])) ++at;
    return commandLine.substr(at);
}

bool IsSilentStart(std::string_view tail) {
    return tail.find(kSilentOption) != std::string_view::npos;
}

std::string InstanceName(std::string_view version) {
    std::string name = kProductName;
    name += ' ';
    name += version;
    return name;
}

}  // namespace qm
