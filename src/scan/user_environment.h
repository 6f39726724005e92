// The environment variables of one user as that user's own programs see
// them, for the paths in that user's hive below HKEY_USERS. This process
// expands %USERPROFILE% and the like with its own user's values; a path in
// another user's hive, or in a service profile's, means that user's folders.
//
// A user's values come from the registry, in the order Windows builds a
// user's environment: the profile folder from ProfileList (USERPROFILE),
// the hive's Shell Folders (APPDATA, LOCALAPPDATA), then its Environment and
// its Volatile Environment, each overriding what came before. The service
// profiles are users of their own: .DEFAULT and S-1-5-18 are the system's
// (its ProfileList entry S-1-5-18), S-1-5-19 and S-1-5-20 the local and
// network services'. A hive "<user>_Classes" is that user's.
//
// Which variables belong to a user: the ones Windows sets per user
// (USERPROFILE, APPDATA, TEMP, HOMEPATH, USERNAME and the like) and every
// one that this process's own user sets in its Environment and Volatile
// Environment, since this process has those from its user. A user's value
// that the registry does not give is not known, and a text that names it
// cannot be expanded. Every other variable is the system's, the same for
// every user, and is expanded as this process expands it.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/file_probe.h"
#include "platform/registry_service.h"

namespace qm {

// The names of the variables that belong to a user, as described above.
std::vector<std::string> PersonalVariableNames(RegistryService& registry);

class UserEnvironment {
  public:
    // A user without any known value: every personal variable is unknown.
    UserEnvironment(FileProbe& files, const std::vector<std::string>& personal);
    // The user whose hive is HKEY_USERS\<hive>.
    UserEnvironment(RegistryService& registry, FileProbe& files,
                    const std::vector<std::string>& personal, const std::string& hive);

    // Expands `text` as ExpandEnvironmentStringsA would in one of the
    // user's own programs: a personal variable with the user's value, any
    // other with this process's. False when the text names a personal
    // variable whose value is not known, or the expansion does not fit
    // kMaxExpandedPath bytes with its terminating zero.
    bool Expand(std::string_view text, std::string& expanded) const;

  private:
    using Value = std::optional<std::string>;
    const Value* Find(std::string_view name) const;
    void Set(std::string_view name, Value value);
    // The key's text values as the user's variables; an expandable one is
    // expanded with what is known so far.
    void SetFromKey(RegistryService& registry, const std::string& subKey);
    // The text of an expandable value, or nothing when it names an unknown
    // personal variable.
    Value Expanded(std::string_view text) const;

    FileProbe& files_;
    std::vector<std::pair<std::string, Value>> values_;
};

}  // namespace qm
