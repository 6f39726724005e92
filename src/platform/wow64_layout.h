// Where 64-bit Windows (7 and later) keeps the keys that its 32-bit programs
// see: the registry redirector's rules, for the backends that hold a
// registry themselves (the live one asks the system instead).
#pragma once

#include <string>
#include <string_view>

#include "platform/registry_service.h"

namespace qm {

// The key a 32-bit program reaches when it opens `path` below
// HKEY_LOCAL_MACHINE, as a path below HKEY_LOCAL_MACHINE. SOFTWARE and most
// keys below it go to SOFTWARE\Wow6432Node; the keys both views share stay
// where they are: SOFTWARE\Classes (except its class, interface and media
// keys, which go to SOFTWARE\Classes\Wow6432Node), App Paths, Fonts and the
// other shared keys of the system's list, and everything outside SOFTWARE.
// The path is text in `codePage`.
std::string Wow64MachinePath(std::string_view path, const CodePage& codePage);

// RegistryService::Wow64Path by those rules, for a registry that holds the
// keys of a 64-bit Windows (it has HKEY_LOCAL_MACHINE\SOFTWARE\Wow6432Node):
// the 32-bit view's own key of `subKey` below HKEY_LOCAL_MACHINE or
// HKEY_CLASSES_ROOT, when there is one.
Status LayoutWow64Path(RegistryService& registry, HKey root, const std::string& subKey,
                       std::string* path);

}  // namespace qm
