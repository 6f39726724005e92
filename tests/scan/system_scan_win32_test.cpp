// The system scan suite against the live registry and file system: under
// Wine, those of the build folder's own Wine prefix.
#include <filesystem>

#include "platform/win32/win32_file_probe.h"
#include "platform/win32/win32_registry.h"
#include "tests/scan/system_scan.h"

namespace qm::test {
namespace {

class LiveBackend : public SystemBackend {
  public:
    RegistryService& registry() override { return registry_; }
    FileProbe& files() override { return files_; }
    void RemoveTree(const std::string& windowsPath) override {
        std::error_code ignored;
        std::filesystem::remove_all(windowsPath, ignored);
    }

  private:
    Win32Registry registry_;
    Win32FileProbe files_;
};

std::unique_ptr<SystemBackend> MakeLive() {
    return std::make_unique<LiveBackend>();
}

INSTANTIATE_TEST_SUITE_P(Live, SystemScan, ::testing::Values(&MakeLive));

}  // namespace
}  // namespace qm::test
