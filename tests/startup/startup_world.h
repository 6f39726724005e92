// A machine for the startup manager's tests: natively the in-memory
// registry with drive C: mapped to a fresh temporary folder, under Wine the
// live registry and file system. Either way HKEY_CURRENT_USER and
// HKEY_LOCAL_MACHINE are redirected to keys of a private sandbox key, and
// the Windows folder, the two Startup folders and the Shell Folders values
// naming them are the test's own, so that nothing of the machine is read or
// changed.
#pragma once

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "platform/file_probe.h"
#include "platform/registry_service.h"
#include "startup/startup_item.h"

namespace qm::test {

class StartupWorld {
  public:
    static std::unique_ptr<StartupWorld> Make();
    virtual ~StartupWorld() = default;

    virtual RegistryService& registry() = 0;
    virtual FileProbe& files() = 0;
    virtual ShortcutReader& shortcuts() = 0;
    StartupServices services() { return {registry(), files(), shortcuts()}; }

    // Opens of `path` below `root` that ask for any right of `rights` are
    // refused with kAccessDenied.
    virtual void Deny(HKey root, const std::string& path, uint32_t rights) = 0;

    // Folders (Windows paths); all exist when the world is made.
    std::string userStartup, commonStartup, windows;

    // Registry and file helpers, through the services.
    void SetText(HKey root, const std::string& path, const std::string& name,
                 const std::string& text, uint32_t type = 1);
    void WriteFile(const std::string& path, const std::string& bytes);
    bool ReadFile(const std::string& path, std::string& bytes);
    // Every key and value of both sandboxed roots, and every file of the
    // test's folders with its bytes, one line each.
    std::vector<std::string> Snapshot();
    // The values of one key as name -> "type:text".
    std::map<std::string, std::string> Values(HKey root, const std::string& path);
};

}  // namespace qm::test
