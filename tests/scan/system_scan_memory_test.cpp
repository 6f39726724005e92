// The system scan suite against the in-memory registry and drive C: mapped
// to a temporary folder laid out as a small Windows XP installation.
#include <filesystem>
#include <fstream>
#include <random>

#include "platform/memory/mapped_file_probe.h"
#include "platform/memory/memory_registry.h"
#include "platform/regtext/reg_text.h"
#include "tests/scan/system_scan.h"

namespace qm::test {
namespace {

// What the system itself holds in the keys the scanners read besides the
// test's own entries.
constexpr const char* kSystemRegistry = R"reg(REGEDIT4

[HKEY_CURRENT_USER\Software\Microsoft\Windows\CurrentVersion\Explorer\Shell Folders]
"Fonts"="C:\\WINDOWS\\Fonts"

[HKEY_CURRENT_USER\Software\Microsoft\Windows\CurrentVersion\Explorer\User Shell Folders]
"Fonts"=hex(2):25,53,79,73,74,65,6d,52,6f,6f,74,25,5c,46,6f,6e,74,73,00

[HKEY_LOCAL_MACHINE\SOFTWARE\Microsoft\Windows\CurrentVersion\Explorer\Shell Folders]
"Common Programs"="C:\\Documents and Settings\\All Users\\Start Menu\\Programs"

[HKEY_LOCAL_MACHINE\SOFTWARE\Microsoft\Windows NT\CurrentVersion\Fonts]
"Arial (TrueType)"="arial.ttf"

[HKEY_LOCAL_MACHINE\SOFTWARE\Classes\CLSID\{00000000-0000-0000-0000-000000000001}\InprocServer32]
@="C:\\WINDOWS\\system32\\shell32.dll"

[HKEY_USERS\.DEFAULT\Software\Microsoft]
)reg";

class MemoryBackend : public SystemBackend {
  public:
    MemoryBackend() {
        std::random_device random;
        root_ = std::filesystem::temp_directory_path() /
                ("qm-system-scan-" + std::to_string(random()) + std::to_string(random()));
        for (const char* folder : {"WINDOWS/system32", "WINDOWS/Fonts",
                                   "Documents and Settings/User/Start Menu/Programs",
                                   "Documents and Settings/All Users/Start Menu/Programs"})
            std::filesystem::create_directories(root_ / folder);
        for (const char* file : {"WINDOWS/notepad.exe", "WINDOWS/regedit.exe",
                                 "WINDOWS/Fonts/arial.ttf", "WINDOWS/system32/shell32.dll"})
            std::ofstream(root_ / file).put('x');

        MappedFilesConfig config = MappedFilesConfig::Defaults();
        config.drives = {{'C', root_.string()}};
        files_ = std::make_unique<MappedFileProbe>(config);

        regtext::Document doc;
        regtext::ParseError error;
        if (regtext::Parse(kSystemRegistry, doc, error)) registry_.Apply(doc);
        EXPECT_EQ(error.line, 0u) << error.message;
    }
    ~MemoryBackend() override {
        EXPECT_EQ(registry_.OpenHandleCount(), 0u);
        std::error_code ignored;
        std::filesystem::remove_all(root_, ignored);
    }

    RegistryService& registry() override { return registry_; }
    FileProbe& files() override { return *files_; }
    void RemoveTree(const std::string& windowsPath) override {
        if (auto host = files_->HostPath(windowsPath)) {
            std::error_code ignored;
            std::filesystem::remove_all(*host, ignored);
        }
    }

  private:
    std::filesystem::path root_;
    MemoryRegistry registry_;
    std::unique_ptr<MappedFileProbe> files_;
};

std::unique_ptr<SystemBackend> MakeMemory() {
    return std::make_unique<MemoryBackend>();
}

INSTANTIATE_TEST_SUITE_P(Memory, SystemScan, ::testing::Values(&MakeMemory));

}  // namespace
}  // namespace qm::test
