#include "cli/offline_registry.h"

#include <algorithm>
#include <filesystem>
#include <vector>

#include "platform/forwarding_registry.h"
#include "platform/hive/windows_installation.h"
#include "platform/memory/host_system_info.h"
#include "platform/memory/memory_registry.h"
#include "platform/memory/memory_registry_tree.h"
#include "platform/settings_store.h"

namespace qm::cli {

namespace {

// Creates HKLM\SOFTWARE\<program> only where it exists already.
class SettingsKeyGuard : public ForwardingRegistry {
  public:
    using ForwardingRegistry::ForwardingRegistry;
    Status CreateKey(HKey parent, const char* subKey, uint32_t access, HKey* result,
                     bool* created) override {
        const std::string settings = std::string("SOFTWARE\\") + kProductName;
        if (parent == hkey::kLocalMachine && subKey != nullptr &&
            memreg::NamesEqual(subKey, settings)) {
            const Status opened = inner_.OpenKey(parent, subKey, access, result);
            if (opened == status::kFileNotFound) return status::kAccessDenied;
            if (opened == status::kSuccess && created != nullptr) *created = false;
            return opened;
        }
        return inner_.CreateKey(parent, subKey, access, result, created);
    }
};

// Reads the Windows version's text, to tell an XP-era installation.
bool XpEra(RegistryService& registry) {
    RegKey key(registry);
    if (key.Open(hkey::kLocalMachine, "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion",
                 access::kRead) != status::kSuccess)
        return false;
    char text[16] = {};
    uint32_t size = sizeof text - 1;
    return registry.QueryValue(key.get(), "CurrentVersion", nullptr,
                               reinterpret_cast<uint8_t*>(text), &size) == status::kSuccess &&
           std::atoi(text) > 0 && std::atoi(text) < 6;
}

}  // namespace

bool OpenOffline(const OfflineOptions& options, bool write, OfflineRegistry* out,
                 std::string& error) {
    if (!options.windowsDir.empty()) {
        hive::Installation installation;
        if (!hive::OpenInstallation(options.windowsDir, options.user, write, &installation, &error))
            return false;
        out->registry = std::move(installation.registry);
        out->files = installation.files;
        out->xpEra = installation.xpEra;
        out->readOnly = installation.warnings;
        out->notices = installation.notices;
        out->hibernated = installation.hibernated;
    } else {
        out->registry = std::make_unique<HiveRegistry>();
    }
    std::shared_ptr<hive::HiveFile> software, system;
    for (const auto& [key, file] : options.hives) {
        // A file mounted twice is one hive: two copies would each write it.
        std::shared_ptr<hive::HiveFile> hive;
        for (const auto& mounted : out->registry->Hives()) {
            std::error_code ec;
            if (std::filesystem::equivalent(mounted->path(), file, ec)) hive = mounted;
        }
        if (hive == nullptr) {
            // A link given here is the user's choice: its file is the hive.
            std::error_code ec;
            const std::string path = std::filesystem::is_symlink(file, ec)
                                         ? std::filesystem::canonical(file, ec).string()
                                         : file;
            hive = hive::HiveFile::Open(ec ? file : path, write, &error);
            if (hive == nullptr) return false;
            if (!hive->warning().empty()) out->readOnly.push_back(hive->warning());
            if (!hive->notice().empty()) out->notices.push_back(hive->notice());
        }
        const size_t slash = key.find('\\');
        const HKey root = ParseRootKeyName(key.substr(0, slash));
        const std::string path = slash == std::string::npos ? "" : key.substr(slash + 1);
        if (!out->registry->Mount(root, path, hive)) {
            error = "--hive " + key + "=" + file + ": something is mounted there already";
            return false;
        }
        if (root == hkey::kLocalMachine && memreg::NamesEqual(path, "SOFTWARE")) software = hive;
        if (root == hkey::kLocalMachine && memreg::NamesEqual(path, "SYSTEM")) system = hive;
    }
    // Without --windows, what Windows derives from SOFTWARE and SYSTEM.
    if (options.windowsDir.empty() &&
        !hive::MountDerivedKeys(*out->registry, software, system, &error))
        return false;
    out->view = std::make_unique<SettingsKeyGuard>(*out->registry);
    if (options.windowsDir.empty()) {
        // Only hive files: their environment, and the drives --drive gives.
        out->files = hive::InstallationFiles(*out->registry, "", nullptr);
        out->files.drives.clear();
        out->xpEra = XpEra(*out->registry);
    }
    return true;
}

bool CommitOffline(HiveRegistry& registry, std::ostream& out, std::string& error) {
    HostSystemInfo clock;
    std::vector<hive::HiveOutcome> outcomes;
    if (!registry.Commit(clock.UtcNow(), &outcomes, &error)) return false;
    for (const hive::HiveOutcome& hive : outcomes)
        out << "Hive written: " << hive.path << " (the original is kept as " << hive.backup
            << ")\n";
    return true;
}

bool SaveOffline(RegistryService& registry, const std::string& file, std::string& error) {
    // The tree copied into an in-memory registry, which writes it.
    MemoryRegistry copy;
    std::vector<uint8_t> data(1 << 16);
    char name[1024];
    for (HKey root : {hkey::kLocalMachine, hkey::kCurrentUser, hkey::kUsers}) {
        std::vector<std::string> pending{""};
        while (!pending.empty()) {
            const std::string path = pending.back();
            pending.pop_back();
            RegKey from(registry), to(copy);
            if (from.Open(root, path.c_str(), access::kRead) != status::kSuccess) continue;
            if (!path.empty() &&
                to.Create(root, path.c_str(), access::kAllAccess) != status::kSuccess)
                continue;
            for (uint32_t index = 0;; ++index) {
                uint32_t nameSize = sizeof name, dataSize = 0, type = 0;
                Status s = registry.EnumValue(from.get(), index, name, &nameSize, &type, nullptr,
                                              &dataSize);
                if (!NextIndexUsable(s)) break;
                if (s != status::kSuccess) continue;
                if (dataSize > data.size()) data.resize(dataSize);
                dataSize = static_cast<uint32_t>(data.size());
                if (registry.QueryValue(from.get(), name, &type, data.data(), &dataSize) ==
                        status::kSuccess &&
                    to.IsOpen())
                    copy.SetValue(to.get(), name, type, data.data(), dataSize);
            }
            std::vector<std::string> children;
            for (uint32_t index = 0;; ++index) {
                uint32_t nameSize = sizeof name;
                const Status s = registry.EnumKey(from.get(), index, name, &nameSize);
                if (!NextIndexUsable(s)) break;
                if (s == status::kSuccess)
                    children.push_back(path.empty() ? name : path + "\\" + name);
            }
            // Visited in order: the last one pushed is taken first.
            pending.insert(pending.end(), children.rbegin(), children.rend());
        }
    }
    return copy.SaveFile(file, regtext::Format::kRegedit4,
                         {hkey::kLocalMachine, hkey::kCurrentUser, hkey::kUsers}, &error);
}

}  // namespace qm::cli
