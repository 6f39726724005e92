#include <stdlib.h>

#include <algorithm>
#include <filesystem>
#include <fstream>

#include "file_probe_contract.h"
#include "platform/memory/mapped_file_probe.h"

namespace qm::test {
namespace {

namespace fs = std::filesystem;

// Drive C: is a fresh host folder laid out like a small Windows machine.
class MappedBackend : public FileProbeBackend {
  public:
    MappedBackend() {
        std::string pattern = (fs::temp_directory_path() / "qm-mapped-XXXXXX").string();
        if (mkdtemp(pattern.data()) == nullptr)
            throw fs::filesystem_error("mkdtemp", std::error_code());
        root_ = pattern;
        for (const char* folder :
             {"WINDOWS/system32", "WINDOWS/System", "scratch", "cwd", "pathdir"})
            fs::create_directories(root_ / folder);

        MappedFilesConfig config;
        config.drives['C'] = root_.string();
        config.environment = {
            {kWordVariable, kWordValue},
            {kLongVariable, std::string(kLongValueLength, 'L')},
            {"PATH", "C:\\WINDOWS\\system32;C:\\WINDOWS;C:\\pathdir"},
        };
        config.drives['R'] = (root_ / "gone").string();  // never made
        config.currentFolder = "C:\\cwd";
        probe_ = std::make_unique<MappedFileProbe>(config);
        facts_ = {"C:\\scratch",           "C:\\cwd",        "C:\\WINDOWS",
                  "C:\\WINDOWS\\system32", "C:\\pathdir",
                  /*unmappedDrive=*/'Q',   /*goneDrive=*/'R'};
    }
    ~MappedBackend() override {
        std::error_code ignored;
        fs::remove_all(root_, ignored);
    }

    FileProbe& probe() override { return *probe_; }
    const FileProbeFacts& facts() const override { return facts_; }
    void MakeLongPathFile(const std::string& path) override {
        std::string relative = path.substr(3);  // below "C:\"
        std::replace(relative.begin(), relative.end(), '\\', '/');
        const fs::path host = root_ / relative;
        fs::create_directories(host.parent_path());
        std::ofstream(host).put('x');
    }

  private:
    fs::path root_;
    std::unique_ptr<MappedFileProbe> probe_;
    FileProbeFacts facts_;
};

std::unique_ptr<FileProbeBackend> MakeMapped() {
    return std::make_unique<MappedBackend>();
}

INSTANTIATE_TEST_SUITE_P(Mapped, FileProbeContract, ::testing::Values(&MakeMapped));

}  // namespace
}  // namespace qm::test
