#include "platform/hive/windows_installation.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <map>
#include <vector>

#include "platform/c_text.h"
#include "platform/memory/host_text.h"
#include "platform/name_case.h"

namespace qm::hive {

namespace {

namespace fs = std::filesystem;

constexpr const char* kVersionKey = "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion";
constexpr const char* kProfileList = "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\ProfileList";
constexpr const char* kShellFolders =
    "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";
constexpr const char* kUserShellFolders =
    "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\User Shell Folders";

// A Windows name (code page) and a host name (UTF-8) that NTFS takes for
// one: the same characters without regard to case.
bool SameName(std::string_view windowsName, std::string_view hostName) {
    return EqualNoCase(mapped::WindowsToUnicode(windowsName), mapped::HostToUnicode(hostName));
}

// A host name (UTF-8) in the code page, as Windows names it.
std::string HostToWindows(std::string_view hostName) {
    return mapped::UnicodeToWindows(mapped::HostToUnicode(hostName));
}

// Where `path` really is, every link followed, when that lies inside the
// folder `realRoot` (itself a real path); empty otherwise.
std::string Inside(const std::string& path, const std::string& realRoot) {
    std::error_code ec;
    const std::string real = fs::canonical(path, ec).string();
    if (ec) return {};
    if (realRoot == "/" || real == realRoot || real.rfind(realRoot + "/", 0) == 0) return real;
    return {};
}

// A host path below `root` given as Windows names, each found without
// regard to case; empty when one is missing.
std::string FindPath(const std::string& root, std::initializer_list<const char*> names) {
    std::string path = root;
    for (const char* name : names) {
        path = FindEntry(path, name);
        if (path.empty()) return {};
    }
    return path;
}

// A text value of the registry, empty when it is missing or not text.
std::string ReadText(RegistryService& registry, HKey root, const std::string& path,
                     const char* name) {
    RegKey key(registry);
    if (key.Open(root, path.c_str(), access::kRead) != status::kSuccess) return {};
    uint32_t type = 0, size = 0;
    if (registry.QueryValue(key.get(), name, &type, nullptr, &size) != status::kSuccess ||
        !regtype::IsText(type) || size == 0)
        return {};
    std::string data(size, '\0');
    if (registry.QueryValue(key.get(), name, &type, reinterpret_cast<uint8_t*>(data.data()),
                            &size) != status::kSuccess)
        return {};
    data.resize(std::min<size_t>(size, data.size()));
    data.resize(CText(data).size());
    return data;
}

// The names of the subkeys of a key that convert exactly.
std::vector<std::string> SubKeys(RegistryService& registry, HKey root, const std::string& path) {
    std::vector<std::string> names;
    RegKey key(registry);
    if (key.Open(root, path.c_str(), access::kRead) != status::kSuccess) return names;
    char name[300];
    for (uint32_t index = 0;; ++index) {
        uint32_t size = sizeof name;
        const Status listed = registry.EnumKey(key.get(), index, name, &size);
        if (!NextIndexUsable(listed)) break;
        if (listed == status::kSuccess) names.emplace_back(name, size);
    }
    return names;
}

// %NAME% references replaced from `variables` (names without regard to
// case); unknown ones stay as they are.
std::string Expand(const std::string& text,
                   const std::vector<std::pair<std::string, std::string>>& variables) {
    std::string out;
    size_t pos = 0;
    while (pos < text.size()) {
        const size_t open = text.find('%', pos);
        const size_t close = open == std::string::npos ? open : text.find('%', open + 1);
        if (close == std::string::npos) break;
        const std::string name = text.substr(open + 1, close - open - 1);
        auto found = std::find_if(variables.begin(), variables.end(), [&](const auto& v) {
            return mapped::EqualNoCase(v.first, name);
        });
        out += text.substr(pos, open - pos);
        if (found != variables.end()) {
            out += found->second;
            pos = close + 1;
        } else {
            out += '%';
            pos = open + 1;
        }
    }
    return out + text.substr(std::min(pos, text.size()));
}

void SetVariable(std::vector<std::pair<std::string, std::string>>& variables,
                 const std::string& name, const std::string& value) {
    for (auto& variable : variables) {
        if (mapped::EqualNoCase(variable.first, name)) {
            variable.second = value;
            return;
        }
    }
    variables.emplace_back(name, value);
}

// The profile folder of a ProfileList entry, as a host path, when it lies
// on drive C: below the installation's root.
std::string ProfileFolder(const std::string& imagePath, const std::string& root,
                          const std::string& systemRoot) {
    std::string path = Expand(imagePath, {{"SystemDrive", "C:"}, {"SystemRoot", systemRoot}});
    if (path.size() < 3 || std::toupper(static_cast<unsigned char>(path[0])) != 'C' ||
        path[1] != ':')
        return {};
    std::string host = root;
    size_t pos = 3;
    while (pos <= path.size()) {
        const size_t end = std::min(path.find('\\', pos), path.size());
        if (end > pos) {
            host = FindEntry(host, path.substr(pos, end - pos));
            if (host.empty()) return {};
        }
        pos = end + 1;
    }
    return host;
}

// The identity of a file (device and inode), to tell one file reached by
// two paths.
std::pair<dev_t, ino_t> FileId(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) return {0, 0};
    return {st.st_dev, st.st_ino};
}

// The profile in `folder` (a host path), with its hives where they lie
// inside the installation; no NTUSER.DAT when it has none there.
Profile ProfileIn(const std::string& folder, const std::string& key, const std::string& realRoot) {
    Profile profile;
    profile.name = fs::path(folder).filename().string();
    profile.key = key;
    profile.ntUser = FindEntry(folder, "NTUSER.DAT");
    profile.usrClass =
        FindPath(folder, {"AppData", "Local", "Microsoft", "Windows", "UsrClass.dat"});
    if (profile.usrClass.empty())
        profile.usrClass = FindPath(
            folder, {"Local Settings", "Application Data", "Microsoft", "Windows", "UsrClass.dat"});
    if (Inside(folder, realRoot).empty() || Inside(profile.ntUser, realRoot).empty())
        profile.ntUser.clear();
    if (Inside(profile.usrClass, realRoot).empty()) profile.usrClass.clear();
    return profile;
}

// The users' profiles: the accounts of the ProfileList (S-1-5-21-...) whose
// folders hold a hive, or, when the list names none, every profile folder
// with an NTUSER.DAT except the templates. Each hive file is one profile's:
// a second entry naming the same folder (or the same file by another path)
// is left out, as Windows loads a file once.
std::vector<Profile> FindProfiles(RegistryService& registry, const std::string& root,
                                  const std::string& realRoot, const std::string& systemRoot) {
    std::vector<Profile> profiles;
    std::vector<std::pair<dev_t, ino_t>> files;
    auto add = [&](Profile profile) {
        if (profile.ntUser.empty()) return;
        const auto id = FileId(profile.ntUser);
        if (std::find(files.begin(), files.end(), id) != files.end()) return;
        files.push_back(id);
        if (!profile.usrClass.empty()) {
            const auto classes = FileId(profile.usrClass);
            if (std::find(files.begin(), files.end(), classes) != files.end())
                profile.usrClass.clear();
            else
                files.push_back(classes);
        }
        profiles.push_back(std::move(profile));
    };
    for (const std::string& sid : SubKeys(registry, hkey::kLocalMachine, kProfileList)) {
        if (!EqualAsciiNoCase(std::string_view(sid).substr(0, 9), "S-1-5-21-")) continue;
        const std::string image =
            ReadText(registry, hkey::kLocalMachine, std::string(kProfileList) + "\\" + sid,
                     "ProfileImagePath");
        const std::string folder = ProfileFolder(image, root, systemRoot);
        if (!folder.empty()) add(ProfileIn(folder, sid, realRoot));
    }
    if (!profiles.empty()) return profiles;
    for (const char* parent : {"Users", "Documents and Settings"}) {
        const std::string folder = FindEntry(root, parent);
        if (folder.empty()) continue;
        std::vector<std::string> names;
        std::error_code ec;
        for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec))
            names.push_back(it->path().filename().string());
        std::sort(names.begin(), names.end());
        for (const std::string& name : names) {
            bool shared = false;
            for (const char* common : {"Default", "Default User", "All Users", "Public",
                                       "LocalService", "NetworkService"})
                shared = shared || EqualAsciiNoCase(name, common);
            if (!shared) add(ProfileIn(folder + "/" + name, HostToWindows(name), realRoot));
        }
    }
    return profiles;
}

// Where an open folder really is.
std::string RealFolder(int fd) {
    std::error_code ec;
    return fs::read_symlink(DescriptorPath(fd), ec).string();
}

// Opens a hive file found inside the installation (`realRoot` is its real
// path), once: a file already open is the same hive. The file opened is the
// one found, in the folder found, whatever a link or a rename does to the
// path meanwhile.
std::shared_ptr<HiveFile> OpenHive(const std::string& path, const std::string& realRoot,
                                   bool writable, Installation* out,
                                   std::vector<std::shared_ptr<HiveFile>>* opened,
                                   std::string* error) {
    const std::string real = Inside(path, realRoot);
    if (real.empty()) {
        *error = path + ": leads outside " + realRoot + "; it is not opened";
        return nullptr;
    }
    const auto id = FileId(real);
    for (const auto& hive : *opened)
        if (hive->identity().st_dev == id.first && hive->identity().st_ino == id.second)
            return hive;
    std::error_code ec;
    std::shared_ptr<HiveFile> hive =
        HiveFile::Open(fs::is_symlink(path, ec) ? real : path, writable, error);
    if (hive == nullptr) return nullptr;
    if (RealFolder(hive->folder()) != fs::path(real).parent_path().string()) {
        *error = path + ": its folder moved while it was opened; it is not opened";
        return nullptr;
    }
    if (!hive->warning().empty()) out->warnings.push_back(hive->warning());
    if (!hive->notice().empty()) out->notices.push_back(hive->notice());
    opened->push_back(hive);
    return hive;
}

}  // namespace

std::string FindEntry(const std::string& folder, const std::string& name) {
    // A name that the host would read as more than one name, or as a step
    // up, names nothing in a Windows folder.
    if (name.empty() || name == "." || name == ".." ||
        name.find_first_of(std::string("/\\\0", 3)) != std::string::npos)
        return {};
    std::error_code ec;
    const std::string exact = folder + "/" + mapped::WindowsToHost(name);
    if (fs::exists(exact, ec)) return exact;
    std::vector<std::string> matches;
    for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
        const std::string entry = it->path().filename().string();
        if (SameName(name, entry)) matches.push_back(entry);
    }
    if (matches.empty()) return {};
    std::sort(matches.begin(), matches.end());
    return folder + "/" + matches.front();
}

MappedFilesConfig InstallationFiles(RegistryService& registry, const std::string& root,
                                    const Profile* user) {
    MappedFilesConfig config = MappedFilesConfig::Defaults();
    config.drives = {{'C', root}};
    auto& env = config.environment;

    std::string systemRoot = ReadText(registry, hkey::kLocalMachine, kVersionKey, "SystemRoot");
    if (systemRoot.empty()) {
        const std::string folder = FindEntry(root, "Windows");
        systemRoot =
            "C:\\" + (folder.empty() ? std::string("WINDOWS")
                                     : HostToWindows(fs::path(folder).filename().string()));
    }
    SetVariable(env, "SystemDrive", "C:");
    SetVariable(env, "SystemRoot", systemRoot);
    SetVariable(env, "windir", systemRoot);
    config.windowsFolder = systemRoot;
    config.systemFolder = systemRoot + "\\system32";

    const std::string current = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion";
    const std::string programFiles =
        ReadText(registry, hkey::kLocalMachine, current, "ProgramFilesDir");
    if (!programFiles.empty()) SetVariable(env, "ProgramFiles", programFiles);
    const std::string common = ReadText(registry, hkey::kLocalMachine, current, "CommonFilesDir");
    if (!common.empty()) SetVariable(env, "CommonProgramFiles", common);

    // The system environment, each value expanded with what is known so far.
    const std::string environment =
        "SYSTEM\\CurrentControlSet\\Control\\Session Manager\\Environment";
    RegKey key(registry);
    if (key.Open(hkey::kLocalMachine, environment.c_str(), access::kRead) == status::kSuccess) {
        char name[300];
        for (uint32_t index = 0;; ++index) {
            uint32_t size = sizeof name;
            const Status listed =
                registry.EnumValue(key.get(), index, name, &size, nullptr, nullptr, nullptr);
            if (!NextIndexUsable(listed)) break;
            if (listed != status::kSuccess) continue;
            const std::string value = ReadText(registry, hkey::kLocalMachine, environment, name);
            if (!value.empty()) SetVariable(env, name, Expand(value, env));
        }
    }

    std::string profile;
    if (user != nullptr) {
        // The profile's folder as Windows names it: its path below the root.
        profile = "C:";
        for (const auto& part : fs::path(user->ntUser).parent_path().lexically_relative(root))
            profile.append(1, '\\').append(HostToWindows(part.string()));
        SetVariable(env, "USERPROFILE", profile);
        SetVariable(env, "HOMEPATH", profile.substr(2));
        SetVariable(env, "USERNAME", HostToWindows(user->name));
    }
    // The folders the shell uses: where Vista and later or XP put them by
    // default, then the shell's record of them ("Shell Folders"), then the
    // settings that record follows ("User Shell Folders").
    const bool modern = !root.empty() && !FindEntry(root, "ProgramData").empty();
    if (modern) {
        SetVariable(env, "ALLUSERSPROFILE", "C:\\ProgramData");
        SetVariable(env, "ProgramData", "C:\\ProgramData");
    }
    if (!profile.empty()) {
        const std::string appData =
            profile + (modern ? "\\AppData\\Roaming" : "\\Application Data");
        const std::string programs = modern ? appData + "\\Microsoft\\Windows\\Start Menu\\Programs"
                                            : profile + "\\Start Menu\\Programs";
        config.specialFolders[csidl::kAppData] = appData;
        config.specialFolders[csidl::kPrograms] = programs;
        config.specialFolders[csidl::kStartup] = programs + "\\Startup";
    }
    if (modern) {
        const std::string common = "C:\\ProgramData\\Microsoft\\Windows\\Start Menu\\Programs";
        config.specialFolders[csidl::kCommonPrograms] = common;
        config.specialFolders[csidl::kCommonStartup] = common + "\\StartUp";
    }
    config.specialFolders[csidl::kFonts] = systemRoot + "\\Fonts";
    const std::map<int, std::pair<HKey, const char*>> folders = {
        {csidl::kPrograms, {hkey::kCurrentUser, "Programs"}},
        {csidl::kStartup, {hkey::kCurrentUser, "Startup"}},
        {csidl::kAppData, {hkey::kCurrentUser, "AppData"}},
        {csidl::kFonts, {hkey::kCurrentUser, "Fonts"}},
        {csidl::kCommonPrograms, {hkey::kLocalMachine, "Common Programs"}},
        {csidl::kCommonStartup, {hkey::kLocalMachine, "Common Startup"}},
    };
    for (const char* record : {kShellFolders, kUserShellFolders}) {
        for (const auto& [id, where] : folders) {
            const std::string path =
                Expand(ReadText(registry, where.first, record, where.second), env);
            if (!path.empty() && path.find('%') == std::string::npos)
                config.specialFolders[id] = path;
        }
    }
    config.specialFolders[csidl::kWindows] = systemRoot;
    config.specialFolders[csidl::kSystem] = config.systemFolder;
    if (!programFiles.empty()) config.specialFolders[csidl::kProgramFiles] = programFiles;
    const std::string appData = config.specialFolders[csidl::kAppData];
    if (!appData.empty()) SetVariable(env, "APPDATA", appData);
    return config;
}

bool MountDerivedKeys(HiveRegistry& registry, const std::shared_ptr<HiveFile>& software,
                      const std::shared_ptr<HiveFile>& system, std::string* error) {
    // HKCR is the machine's classes.
    if (software != nullptr && software->FindChild(software->root(), "Classes") != 0)
        registry.Mount(hkey::kClassesRoot, "", software, "Classes");
    if (system == nullptr) return true;
    // The control set that Windows starts with.
    RegKey select(registry);
    uint32_t current = 0, size = sizeof current, type = 0;
    if (select.Open(hkey::kLocalMachine, "SYSTEM\\Select", access::kRead) == status::kSuccess &&
        registry.QueryValue(select.get(), "Current", &type, reinterpret_cast<uint8_t*>(&current),
                            &size) == status::kSuccess &&
        type == regtype::kDword && current >= 1 && current <= 999) {
        char name[16];
        std::snprintf(name, sizeof name, "ControlSet%03u", current);
        if (!registry.Mount(hkey::kLocalMachine, "SYSTEM\\CurrentControlSet", system, name)) {
            *error = system->path() + ": Select\\Current names " + name + ", which it lacks";
            return false;
        }
    }
    return true;
}

std::string Hibernated(const std::string& root) {
    const std::string path = FindEntry(root, "hiberfil.sys");
    if (path.empty()) return {};
    UniqueFd fd(::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
    struct stat st {};
    if (fd.valid() && ::fstat(fd.get(), &st) == 0 && S_ISREG(st.st_mode) &&
        st.st_size < static_cast<off_t>(4))
        return {};
    char signature[4] = {};
    // One that is there but does not read may hold a saved system: writing
    // is refused then, as for one that does.
    if (!fd.valid() || !S_ISREG(st.st_mode) ||
        ::pread(fd.get(), signature, sizeof signature, 0) != sizeof signature)
        return path + ": it cannot be read to tell whether this Windows is hibernated (" +
               ErrnoText(fd.valid() ? (S_ISREG(st.st_mode) ? errno : EINVAL) : errno) +
               "); a Windows that resumes from hibernation would undo a repair";
    std::string text(signature, sizeof signature);
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    if (text != "hibr" && text != "rstr") return {};
    return path +
           ": this Windows is hibernated, or was shut down with Fast Startup; when it "
           "resumes it writes its saved memory back, and a repair made now would be lost or "
           "undo itself. Start it and shut it down in full (hold Shift while choosing Shut "
           "down, or run \"shutdown /s /t 0\"), or turn Fast Startup off; if it no longer "
           "starts, deleting hiberfil.sys discards the saved session. Then repair it again";
}

bool OpenInstallation(const std::string& root, const std::string& user, bool writable,
                      Installation* out, std::string* error) {
    std::error_code ec;
    const std::string realRoot = fs::canonical(root, ec).string();
    const std::string config = FindPath(root, {"Windows", "System32", "config"});
    if (ec || config.empty()) {
        *error = root +
                 ": no Windows\\System32\\config folder; is this the root of a Windows "
                 "partition?";
        return false;
    }
    out->registry = std::make_unique<HiveRegistry>();
    out->warnings.clear();
    out->notices.clear();
    out->hibernated = Hibernated(root);
    HiveRegistry& registry = *out->registry;
    std::vector<std::shared_ptr<HiveFile>> opened;

    std::shared_ptr<HiveFile> software, system;
    for (const char* name : {"SOFTWARE", "SYSTEM"}) {
        const std::string path = FindEntry(config, name);
        if (path.empty()) {
            *error = config + ": the hive " + name + " is missing";
            return false;
        }
        std::shared_ptr<HiveFile> hive = OpenHive(path, realRoot, writable, out, &opened, error);
        if (hive == nullptr) return false;
        registry.Mount(hkey::kLocalMachine, name, hive);
        (std::string(name) == "SOFTWARE" ? software : system) = hive;
    }
    if (software == system) {
        *error = software->path() + ": is both SOFTWARE and SYSTEM";
        return false;
    }
    if (!MountDerivedKeys(registry, software, system, error)) return false;

    const std::string defaultHive = FindEntry(config, "DEFAULT");
    if (!defaultHive.empty()) {
        std::shared_ptr<HiveFile> hive =
            OpenHive(defaultHive, realRoot, writable, out, &opened, error);
        if (hive == nullptr) return false;
        registry.Mount(hkey::kUsers, ".DEFAULT", hive);
    }

    const std::string systemRoot =
        ReadText(registry, hkey::kLocalMachine, kVersionKey, "SystemRoot");
    out->profiles =
        FindProfiles(registry, root, realRoot, systemRoot.empty() ? "C:\\WINDOWS" : systemRoot);
    const Profile* chosen = nullptr;
    std::string names;
    for (const Profile& profile : out->profiles) {
        if (!names.empty()) names += ", ";
        names += profile.name;
        if (!user.empty() &&
            EqualNoCase(mapped::HostToUnicode(profile.name), mapped::HostToUnicode(user)))
            chosen = &profile;
    }
    if (user.empty() && out->profiles.size() == 1) chosen = &out->profiles.front();
    if (chosen == nullptr && (!user.empty() || out->profiles.size() > 1)) {
        *error = (user.empty() ? std::string("several profiles; pick one with --user NAME")
                               : "no profile named \"" + user + "\"") +
                 " (profiles: " + (names.empty() ? std::string("none") : names) + ")";
        return false;
    }
    for (const Profile& profile : out->profiles) {
        std::shared_ptr<HiveFile> ntUser =
            OpenHive(profile.ntUser, realRoot, writable, out, &opened, error);
        if (ntUser == nullptr) return false;
        registry.Mount(hkey::kUsers, profile.key, ntUser);
        std::shared_ptr<HiveFile> classes;
        if (!profile.usrClass.empty()) {
            classes = OpenHive(profile.usrClass, realRoot, writable, out, &opened, error);
            if (classes == nullptr) return false;
            registry.Mount(hkey::kUsers, profile.key + "_Classes", classes);
        }
        if (&profile == chosen) {
            out->user = profile.name;
            registry.Mount(hkey::kCurrentUser, "", ntUser);
            if (classes != nullptr)
                registry.Mount(hkey::kCurrentUser, "Software\\Classes", classes);
        }
    }

    out->files = InstallationFiles(registry, root, chosen);
    const std::string version =
        ReadText(registry, hkey::kLocalMachine, kVersionKey, "CurrentVersion");
    out->xpEra = version.empty() ? !FindEntry(root, "Documents and Settings").empty()
                                 : std::atoi(version.c_str()) < 6;
    return true;
}

}  // namespace qm::hive
