#include <filesystem>

#include "platform/hive/hive_builder.h"
#include "platform/hive/hive_registry.h"
#include "tests/contract/registry_contract.h"

namespace qm::test {
namespace {

namespace fs = std::filesystem;

// HKEY_CURRENT_USER (also below HKEY_USERS, as an installation's user) and
// HKLM\SOFTWARE (with HKCR its classes) as writable hive files made from the
// minimal test hive.
class HiveBackend : public RegistryBackend {
  public:
    HiveBackend() {
        dir_ = fs::temp_directory_path() / ("qm-contract-" + ContractScratchName());
        fs::create_directories(dir_);
        const std::string minimal = QM_SOURCE_DIR "/tests/platform/hive/fixtures/minimal";
        regtext::Document doc;
        regtext::Entry classes;
        classes.root = hkey::kLocalMachine;
        classes.keyPath = "SOFTWARE\\Classes";
        doc.entries.push_back(classes);
        std::string error;
        const std::string software = (dir_ / "SOFTWARE").string();
        const std::string user = (dir_ / "NTUSER.DAT").string();
        EXPECT_TRUE(
            hive::BuildHive(minimal, doc, hkey::kLocalMachine, "SOFTWARE", software, &error))
            << error;
        fs::copy_file(minimal, user);
        fs::permissions(user, fs::perms::owner_write, fs::perm_options::add);
        std::shared_ptr<hive::HiveFile> machine = hive::HiveFile::Open(software, true, &error);
        std::shared_ptr<hive::HiveFile> current = hive::HiveFile::Open(user, true, &error);
        EXPECT_TRUE(machine && current) << error;
        registry_.Mount(hkey::kLocalMachine, "SOFTWARE", machine);
        registry_.Mount(hkey::kClassesRoot, "", machine, "Classes");
        registry_.Mount(hkey::kCurrentUser, "", current);
        registry_.Mount(hkey::kUsers, "S-1-5-21-1-2-3-1000", current);
    }
    ~HiveBackend() override {
        std::error_code ignored;
        fs::remove_all(dir_, ignored);
    }
    RegistryService& registry() override { return registry_; }
    const char* name() const override { return "hive"; }

  private:
    fs::path dir_;
    HiveRegistry registry_;
};

std::unique_ptr<RegistryBackend> MakeHive() {
    return std::make_unique<HiveBackend>();
}

INSTANTIATE_TEST_SUITE_P(Hive, RegistryContract, ::testing::Values(&MakeHive));

}  // namespace
}  // namespace qm::test
