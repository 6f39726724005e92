#include "platform/wow64_layout.h"

#include <algorithm>
#include <vector>

#include "platform/registry_names.h"

namespace qm {

namespace {

constexpr std::string_view kSoftware = "SOFTWARE";
constexpr std::string_view kViewKey = "Wow6432Node";

// Below SOFTWARE: the keys (with everything below them) that 32-bit and
// 64-bit programs share.
constexpr std::string_view kShared[] = {
    "Classes",
    "Clients",
    "Policies",
    "RegisteredApplications",
    "Wow6432Node",
    "Microsoft\\COM3",
    "Microsoft\\Cryptography\\Services",
    "Microsoft\\EventSystem",
    "Microsoft\\OLE",
    "Microsoft\\RPC",
    "Microsoft\\SystemCertificates",
    "Microsoft\\Transaction Server",
    "Microsoft\\Windows\\CurrentVersion\\App Paths",
    "Microsoft\\Windows\\CurrentVersion\\Control Panel\\Cursors\\Schemes",
    "Microsoft\\Windows\\CurrentVersion\\Explorer\\AutoplayHandlers",
    "Microsoft\\Windows\\CurrentVersion\\Explorer\\DriveIcons",
    "Microsoft\\Windows\\CurrentVersion\\Explorer\\KindMap",
    "Microsoft\\Windows\\CurrentVersion\\Group Policy",
    "Microsoft\\Windows\\CurrentVersion\\Policies",
    "Microsoft\\Windows\\CurrentVersion\\PreviewHandlers",
    "Microsoft\\Windows\\CurrentVersion\\Setup",
    "Microsoft\\Windows\\CurrentVersion\\Telephony\\Locations",
    "Microsoft\\Windows NT\\CurrentVersion\\Console",
    "Microsoft\\Windows NT\\CurrentVersion\\FontDpi",
    "Microsoft\\Windows NT\\CurrentVersion\\FontLink",
    "Microsoft\\Windows NT\\CurrentVersion\\FontMapper",
    "Microsoft\\Windows NT\\CurrentVersion\\Fonts",
    "Microsoft\\Windows NT\\CurrentVersion\\FontSubstitutes",
    "Microsoft\\Windows NT\\CurrentVersion\\Gre_Initialize",
    "Microsoft\\Windows NT\\CurrentVersion\\LanguagePack",
    "Microsoft\\Windows NT\\CurrentVersion\\NetworkCards",
    "Microsoft\\Windows NT\\CurrentVersion\\Perflib",
    "Microsoft\\Windows NT\\CurrentVersion\\Ports",
    "Microsoft\\Windows NT\\CurrentVersion\\Print",
    "Microsoft\\Windows NT\\CurrentVersion\\ProfileList",
    "Microsoft\\Windows NT\\CurrentVersion\\Time Zones",
};

// Below SOFTWARE\Classes: the keys that each view has for itself.
constexpr std::string_view kClassesOwn[] = {"CLSID", "DirectShow", "Interface", "Media Type",
                                            "MediaFoundation"};

std::vector<std::string_view> Names(std::string_view path, const CodePage& codePage) {
    std::vector<std::string_view> names;
    PathNames parts(path, codePage);
    for (std::string_view name; parts.Next(&name);) names.push_back(name);
    return names;
}

// Whether the names from `from` on start with the names of `prefix`.
bool StartsWith(const std::vector<std::string_view>& names, size_t from, std::string_view prefix,
                const CodePage& codePage) {
    const std::vector<std::string_view> wanted = Names(prefix, codePage);
    if (names.size() - from < wanted.size()) return false;
    for (size_t i = 0; i < wanted.size(); ++i)
        if (!NamesEqual(names[from + i], wanted[i], codePage)) return false;
    return true;
}

std::string Joined(const std::vector<std::string_view>& names) {
    std::string path;
    for (std::string_view name : names) {
        if (!path.empty()) path.push_back('\\');
        path.append(name);
    }
    return path;
}

}  // namespace

std::string Wow64MachinePath(std::string_view path, const CodePage& codePage) {
    std::vector<std::string_view> names = Names(path, codePage);
    if (names.empty() || !NamesEqual(names[0], kSoftware)) return Joined(names);
    if (names.size() >= 2 && NamesEqual(names[1], "Classes")) {
        // The class keys of their own move into Classes\Wow6432Node.
        if (names.size() >= 3)
            for (std::string_view own : kClassesOwn)
                if (NamesEqual(names[2], own)) {
                    names.insert(names.begin() + 2, kViewKey);
                    break;
                }
        return Joined(names);
    }
    for (std::string_view shared : kShared)
        if (StartsWith(names, 1, shared, codePage)) return Joined(names);
    names.insert(names.begin() + 1, kViewKey);
    return Joined(names);
}

Status LayoutWow64Path(RegistryService& registry, HKey root, const std::string& subKey,
                       std::string* path) {
    constexpr std::string_view kClasses = "SOFTWARE\\Classes\\";
    if (path == nullptr || subKey.empty() ||
        (root != hkey::kLocalMachine && root != hkey::kClassesRoot))
        return status::kFileNotFound;
    RegKey key(registry);
    if (key.Open(hkey::kLocalMachine, "SOFTWARE\\Wow6432Node", access::kRead) != status::kSuccess)
        return status::kFileNotFound;
    const CodePage& codePage = registry.codePage();
    const std::string full = root == hkey::kClassesRoot ? std::string(kClasses) + subKey
                                                        : Joined(Names(subKey, codePage));
    std::string moved = Wow64MachinePath(full, codePage);
    if (moved.size() == full.size() && StartsWith(Names(moved, codePage), 0, full, codePage))
        return status::kFileNotFound;
    if (root == hkey::kClassesRoot) {
        if (!StartsWith(Names(moved, codePage), 0, kClasses, codePage))
            return status::kFileNotFound;
        moved.erase(0, kClasses.size());
    }
    if (key.Open(root, moved.c_str(), access::kRead) != status::kSuccess)
        return status::kFileNotFound;
    *path = std::move(moved);
    return status::kSuccess;
}

}  // namespace qm
