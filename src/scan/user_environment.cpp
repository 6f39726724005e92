#include "scan/user_environment.h"

#include <iterator>

#include "platform/c_text.h"
#include "platform/name_case.h"

namespace qm {

namespace {

constexpr const char* kProfileList = "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\ProfileList";
constexpr const char* kExplorer = "\\Software\\Microsoft\\Windows\\CurrentVersion\\Explorer";

// What Windows sets for each user, whatever the user's keys hold.
constexpr const char* kPerUser[] = {
    "USERPROFILE", "APPDATA",   "LOCALAPPDATA", "TEMP",       "TMP",           "HOMEDRIVE",
    "HOMEPATH",    "HOMESHARE", "USERNAME",     "USERDOMAIN", "USERDNSDOMAIN", "LOGONSERVER",
};

// The shell folders that are variables too.
constexpr std::pair<const char*, const char*> kFolderVariables[] = {
    {"AppData", "APPDATA"},
    {"Local AppData", "LOCALAPPDATA"},
};

// The text values of a key, their data cut at the first zero byte; none
// when the key cannot be read.
std::vector<KeyListing::Value> TextValues(RegistryService& registry, HKey root,
                                          const std::string& subKey) {
    RegKey key(registry);
    if (key.Open(root, subKey.c_str(), access::kRead) != status::kSuccess) return {};
    KeyListing listing;
    registry.ListKey(key.get(), listing::kValues, listing);
    std::vector<KeyListing::Value> values;
    for (KeyListing::Value& value : listing.values) {
        if (!value.usable || (value.type != regtype::kSz && value.type != regtype::kExpandSz))
            continue;
        value.data = std::string(CText(value.data));
        values.push_back(std::move(value));
    }
    return values;
}

const KeyListing::Value* Named(const std::vector<KeyListing::Value>& values,
                               std::string_view name) {
    for (const KeyListing::Value& value : values)
        if (EqualAsciiNoCase(value.name, name)) return &value;
    return nullptr;
}

bool EndsWithNoCase(std::string_view text, std::string_view suffix) {
    return text.size() >= suffix.size() &&
           EqualAsciiNoCase(text.substr(text.size() - suffix.size()), suffix);
}

}  // namespace

std::vector<std::string> PersonalVariableNames(RegistryService& registry) {
    std::vector<std::string> names(std::begin(kPerUser), std::end(kPerUser));
    for (const char* key : {"Environment", "Volatile Environment"})
        for (const KeyListing::Value& value : TextValues(registry, hkey::kCurrentUser, key))
            names.push_back(value.name);
    return names;
}

UserEnvironment::UserEnvironment(FileProbe& files, const std::vector<std::string>& personal)
    : files_(files) {
    for (const std::string& name : personal) Set(name, std::nullopt);
}

UserEnvironment::UserEnvironment(RegistryService& registry, FileProbe& files,
                                 const std::vector<std::string>& personal, const std::string& hive)
    : UserEnvironment(files, personal) {
    const std::string user =
        EndsWithNoCase(hive, "_Classes") ? hive.substr(0, hive.size() - 8) : hive;
    const std::string profile = EqualAsciiNoCase(user, ".DEFAULT") ? "S-1-5-18" : user;

    const std::vector<KeyListing::Value> image =
        TextValues(registry, hkey::kLocalMachine, std::string(kProfileList) + "\\" + profile);
    if (const KeyListing::Value* path = Named(image, "ProfileImagePath"))
        Set("USERPROFILE", path->type == regtype::kExpandSz ? Expanded(path->data) : path->data);

    // The shell's record of the folders, else the settings it follows.
    const std::vector<KeyListing::Value> shell =
        TextValues(registry, hkey::kUsers, user + kExplorer + "\\Shell Folders");
    const std::vector<KeyListing::Value> settings =
        TextValues(registry, hkey::kUsers, user + kExplorer + "\\User Shell Folders");
    for (const auto& [folder, variable] : kFolderVariables) {
        if (const KeyListing::Value* path = Named(shell, folder))
            Set(variable, path->data);
        else if (const KeyListing::Value* setting = Named(settings, folder))
            Set(variable, Expanded(setting->data));
    }

    SetFromKey(registry, user + "\\Environment");
    SetFromKey(registry, user + "\\Volatile Environment");
}

const UserEnvironment::Value* UserEnvironment::Find(std::string_view name) const {
    for (const auto& [known, value] : values_)
        if (EqualAsciiNoCase(known, name)) return &value;
    return nullptr;
}

void UserEnvironment::Set(std::string_view name, Value value) {
    for (auto& [known, old] : values_) {
        if (EqualAsciiNoCase(known, name)) {
            old = std::move(value);
            return;
        }
    }
    values_.emplace_back(std::string(name), std::move(value));
}

void UserEnvironment::SetFromKey(RegistryService& registry, const std::string& subKey) {
    for (const KeyListing::Value& value : TextValues(registry, hkey::kUsers, subKey))
        Set(value.name, value.type == regtype::kExpandSz ? Expanded(value.data) : value.data);
}

UserEnvironment::Value UserEnvironment::Expanded(std::string_view text) const {
    std::string expanded;
    if (!Expand(text, expanded)) return std::nullopt;
    return expanded;
}

bool UserEnvironment::Expand(std::string_view text, std::string& expanded) const {
    const std::string_view source = CText(text);
    expanded.clear();
    // The system's share of the text, expanded in one piece whenever a
    // personal variable comes between: references pair up from the left
    // ("%NAME%", an unknown one staying as written), so a piece that starts
    // after a reference pairs as it does within the whole text.
    std::string pending;
    std::string piece;
    const auto flush = [&] {
        if (pending.find('%') == std::string::npos) {
            expanded += pending;
        } else {
            const uint32_t size = files_.ExpandEnvironment(pending, piece, kMaxExpandedPath);
            if (size == 0 || size > kMaxExpandedPath) return false;
            expanded += piece;
        }
        pending.clear();
        return true;
    };
    size_t at = 0;
    while (at < source.size()) {
        const size_t open = source.find('%', at);
        const size_t close = open == std::string_view::npos ? open : source.find('%', open + 1);
        if (close == std::string_view::npos) {
            pending.append(source.substr(at));
            break;
        }
        const Value* value = Find(source.substr(open + 1, close - open - 1));
        if (value == nullptr) {
            pending.append(source.substr(at, close + 1 - at));
        } else {
            if (!value->has_value()) return false;  // not known for this user
            pending.append(source.substr(at, open - at));
            if (!flush()) return false;
            expanded += **value;
        }
        at = close + 1;
    }
    return flush() && expanded.size() + 1 < kMaxExpandedPath;
}

}  // namespace qm
