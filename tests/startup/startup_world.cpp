#include "tests/startup/startup_world.h"

#include <algorithm>
#include <atomic>
#include <cctype>
#include <utility>

#ifdef _WIN32
#include <windows.h>
// <windows.h> renames DeleteFile; the file probe's method keeps its name.
#undef DeleteFile

#include "platform/win32/win32_file_probe.h"
#include "platform/win32/win32_registry.h"
#include "startup/win32_shortcut_reader.h"
#else
#include <stdlib.h>
#include <unistd.h>

#include <filesystem>

#include "platform/memory/mapped_file_probe.h"
#include "platform/memory/memory_registry.h"
#endif

namespace qm::test {
namespace {

std::string Lower(std::string text) {
    for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

// Sends HKEY_CURRENT_USER and HKEY_LOCAL_MACHINE to two keys below a
// sandbox key of the real HKEY_CURRENT_USER, and refuses chosen opens.
class SandboxRegistry : public RegistryService {
  public:
    SandboxRegistry(RegistryService& inner, std::string base)
        : inner_(inner), base_(std::move(base)) {
        inner_.CreateKey(hkey::kCurrentUser, (base_ + "\\HKCU").c_str(), access::kAllAccess, &user_,
                         nullptr);
        inner_.CreateKey(hkey::kCurrentUser, (base_ + "\\HKLM").c_str(), access::kAllAccess,
                         &machine_, nullptr);
    }
    ~SandboxRegistry() override {
        inner_.CloseKey(user_);
        inner_.CloseKey(machine_);
        inner_.DeleteTree(hkey::kCurrentUser, base_.c_str());
    }
    void Deny(HKey root, const std::string& path, uint32_t rights) {
        denied_.push_back({root, Lower(path), rights});
    }

    Status OpenKey(HKey p, const char* s, uint32_t a, HKey* r) override {
        return Refused(p, s, a) ? status::kAccessDenied : inner_.OpenKey(Map(p), s, a, r);
    }
    Status CreateKey(HKey p, const char* s, uint32_t a, HKey* r, bool* c) override {
        return Refused(p, s, a) ? status::kAccessDenied : inner_.CreateKey(Map(p), s, a, r, c);
    }
    Status CloseKey(HKey k) override { return inner_.CloseKey(k); }
    Status EnumKey(HKey k, uint32_t i, char* n, uint32_t* ns) override {
        return inner_.EnumKey(Map(k), i, n, ns);
    }
    Status EnumValue(HKey k, uint32_t i, char* n, uint32_t* ns, uint32_t* t, uint8_t* d,
                     uint32_t* ds) override {
        return inner_.EnumValue(Map(k), i, n, ns, t, d, ds);
    }
    Status QueryInfoKey(HKey k, KeyInfo* i) override { return inner_.QueryInfoKey(Map(k), i); }
    Status QueryValue(HKey k, const char* n, uint32_t* t, uint8_t* d, uint32_t* ds) override {
        return inner_.QueryValue(Map(k), n, t, d, ds);
    }
    Status SetValue(HKey k, const char* n, uint32_t t, const uint8_t* d, uint32_t s) override {
        return inner_.SetValue(Map(k), n, t, d, s);
    }
    Status DeleteValue(HKey k, const char* n) override { return inner_.DeleteValue(Map(k), n); }
    Status DeleteKey(HKey p, const char* s) override { return inner_.DeleteKey(Map(p), s); }
    Status DeleteTree(HKey p, const char* s) override { return inner_.DeleteTree(Map(p), s); }
    const CodePage& codePage() const override { return inner_.codePage(); }

  private:
    struct Rule {
        HKey root;
        std::string path;
        uint32_t rights;
    };
    HKey Map(HKey key) const {
        return key == hkey::kCurrentUser ? user_ : key == hkey::kLocalMachine ? machine_ : key;
    }
    bool Refused(HKey parent, const char* sub, uint32_t rights) const {
        const std::string path = Lower(sub != nullptr ? sub : "");
        return std::any_of(denied_.begin(), denied_.end(), [&](const Rule& rule) {
            return rule.root == parent && rule.path == path && (rule.rights & rights) != 0;
        });
    }

    RegistryService& inner_;
    std::string base_;
    HKey user_ = hkey::kNull, machine_ = hkey::kNull;
    std::vector<Rule> denied_;
};

// The machine's files, with the test's own Windows folder.
class WorldFiles : public FileProbe {
  public:
    WorldFiles(FileProbe& inner, std::string windows) : inner_(inner), windows_(windows) {}
    Existence CheckPath(const std::string& p) override { return inner_.CheckPath(p); }
    Existence FindOnPath(std::string& n) override { return inner_.FindOnPath(n); }
    bool CanTellMissing(const std::string& p) override { return inner_.CanTellMissing(p); }
    uint32_t ExpandEnvironment(const std::string& t, std::string& e, uint32_t l) override {
        return inner_.ExpandEnvironment(t, e, l);
    }
    bool SpecialFolder(int csidl, std::string& path) override {
        if (csidl != csidl::kWindows) return inner_.SpecialFolder(csidl, path);
        path = windows_;
        return true;
    }
    std::string ModuleFileName() override { return inner_.ModuleFileName(); }
    Status CreateFolder(const std::string& p) override { return inner_.CreateFolder(p); }
    Status DeleteFile(const std::string& p) override { return inner_.DeleteFile(p); }
    Status ListFolder(const std::string& p, std::vector<FileEntry>& e) override {
        return inner_.ListFolder(p, e);
    }
    std::unique_ptr<FileStream> OpenFile(const std::string& p, FileMode m, Status* s) override {
        return inner_.OpenFile(p, m, s);
    }

  private:
    FileProbe& inner_;
    std::string windows_;
};

std::atomic<int> worldCount{0};

class World : public StartupWorld {
  public:
    World() {
#ifdef _WIN32
        const std::string tag =
            std::to_string(GetCurrentProcessId()) + "-" + std::to_string(++worldCount);
        char temp[MAX_PATH] = {};
        GetTempPathA(MAX_PATH, temp);
        top_ = std::string(temp) + "qm-startup-" + tag;
        CreateDirectoryA(top_.c_str(), nullptr);
        const std::string drive = top_;
#else
        const std::string tag = std::to_string(getpid()) + "-" + std::to_string(++worldCount);
        std::string pattern = (std::filesystem::temp_directory_path() / "qm-startup-XXXXXX");
        top_ = mkdtemp(pattern.data()) != nullptr ? pattern : "";
        MappedFilesConfig config;
        config.drives['C'] = top_;
        mapped_ = std::make_unique<MappedFileProbe>(config);
        const std::string drive = "C:";
#endif
        userStartup = drive + "\\User Startup";
        commonStartup = drive + "\\Common Startup";
        windows = drive + "\\WINDOWS";
        sandbox_ = std::make_unique<SandboxRegistry>(live_, "Software\\QuillmendTest\\" + tag);
        files_ = std::make_unique<WorldFiles>(base(), windows);
#ifdef _WIN32
        reader_ = std::make_unique<ShellLinkObjectReader>(*files_);
#else
        reader_ = std::make_unique<ShortcutFileReader>(*files_);
#endif
        for (const std::string& folder : {userStartup, commonStartup, windows})
            files_->CreateFolder(folder);
        SetText(hkey::kCurrentUser, startupkey::kShellFolders, "Startup", userStartup);
        SetText(hkey::kLocalMachine, startupkey::kShellFolders, "Common Startup", commonStartup);
    }
    ~World() override {
        sandbox_.reset();
#ifdef _WIN32
        for (const std::string& folder :
             {userStartup, commonStartup, windows + "\\pss", windows, top_}) {
            std::vector<FileEntry> entries;
            live_files_.ListFolder(folder + "\\*", entries);
            for (const FileEntry& e : entries)
                if (!e.isDirectory) DeleteFileA((folder + "\\" + e.name).c_str());
            RemoveDirectoryA(folder.c_str());
        }
#else
        std::error_code ignored;
        if (!top_.empty()) std::filesystem::remove_all(top_, ignored);
#endif
    }

    RegistryService& registry() override {
        return *sandbox_;
    }
    FileProbe& files() override {
        return *files_;
    }
    ShortcutReader& shortcuts() override {
        return *reader_;
    }
    void Deny(HKey root, const std::string& path, uint32_t rights) override {
        sandbox_->Deny(root, path, rights);
    }

  private:
#ifdef _WIN32
    FileProbe& base() {
        return live_files_;
    }
    Win32Registry live_;
    Win32FileProbe live_files_;
    std::string top_;
    std::unique_ptr<SandboxRegistry> sandbox_;
    std::unique_ptr<WorldFiles> files_;
#else
    FileProbe& base() {
        return *mapped_;
    }
    MemoryRegistry live_;
    std::string top_;
    std::unique_ptr<MappedFileProbe> mapped_;
    std::unique_ptr<SandboxRegistry> sandbox_;
    std::unique_ptr<WorldFiles> files_;
#endif
    std::unique_ptr<ShortcutReader> reader_;
};

}  // namespace

std::unique_ptr<StartupWorld> StartupWorld::Make() {
    return std::make_unique<World>();
}

void StartupWorld::SetText(HKey root, const std::string& path, const std::string& name,
                           const std::string& text, uint32_t type) {
    RegKey key(registry());
    key.Create(root, path.c_str(), access::kAllAccess);
    registry().SetValue(key.get(), name.c_str(), type,
                        reinterpret_cast<const uint8_t*>(text.c_str()),
                        static_cast<uint32_t>(text.size() + 1));
}

void StartupWorld::WriteFile(const std::string& path, const std::string& bytes) {
    auto out = files().OpenFile(path, FileMode::kCreateAlways);
    if (out) out->Write(bytes.data(), bytes.size());
}

bool StartupWorld::ReadFile(const std::string& path, std::string& bytes) {
    auto in = files().OpenFile(path, FileMode::kRead);
    bytes.clear();
    char block[4096];
    for (size_t got; in && (got = in->Read(block, sizeof block)) != 0;) bytes.append(block, got);
    return in != nullptr;
}

std::map<std::string, std::string> StartupWorld::Values(HKey root, const std::string& path) {
    std::map<std::string, std::string> values;
    RegKey key(registry());
    if (key.Open(root, path.c_str(), access::kRead) != status::kSuccess) return values;
    char name[1024];
    uint8_t data[4096];
    for (uint32_t i = 0;; ++i) {
        uint32_t nameSize = sizeof name, dataSize = sizeof data, type = 0;
        if (registry().EnumValue(key.get(), i, name, &nameSize, &type, data, &dataSize) !=
            status::kSuccess)
            break;
        values[std::string(name, nameSize)] =
            std::to_string(type) + ":" + std::string(reinterpret_cast<char*>(data), dataSize);
    }
    return values;
}

std::vector<std::string> StartupWorld::Snapshot() {
    std::vector<std::string> lines;
    for (const auto& [root, label] :
         {std::pair{hkey::kCurrentUser, "HKCU"}, std::pair{hkey::kLocalMachine, "HKLM"}}) {
        std::vector<std::string> pending{""};
        while (!pending.empty()) {
            const std::string path = pending.back();
            pending.pop_back();
            const std::string keyLine = std::string(label) + "\\" + path;
            lines.push_back(keyLine);
            for (const auto& [name, value] : Values(root, path))
                lines.push_back(keyLine + " : " + name + " = " + value);
            RegKey key(registry());
            key.Open(root, path.c_str(), access::kRead);
            char sub[1024];
            for (uint32_t i = 0;; ++i) {
                uint32_t size = sizeof sub;
                if (registry().EnumKey(key.get(), i, sub, &size) != status::kSuccess) break;
                pending.push_back(path.empty() ? sub : path + "\\" + sub);
            }
        }
    }
    for (const std::string& folder : {userStartup, commonStartup, windows + "\\pss"}) {
        std::vector<FileEntry> entries;
        files().ListFolder(folder + "\\*", entries);
        for (const FileEntry& entry : entries) {
            std::string bytes;
            if (!entry.isDirectory && ReadFile(folder + "\\" + entry.name, bytes))
                lines.push_back(folder + "\\" + entry.name + " = " + bytes);
        }
    }
    std::sort(lines.begin(), lines.end());
    return lines;
}

}  // namespace qm::test
