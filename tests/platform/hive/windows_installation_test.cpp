#include "platform/hive/windows_installation.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "platform/hive/hive_builder.h"

namespace qm::hive {
namespace {

namespace fs = std::filesystem;

const std::string kMinimal = QM_SOURCE_DIR "/tests/platform/hive/fixtures/minimal";

// Writes a hive at `path` holding the keys of registry text `text` below
// `root\prefix`.
void MakeHive(const fs::path& path, const std::string& text, HKey root, const std::string& prefix) {
    regtext::Document doc;
    regtext::ParseError parseError;
    ASSERT_TRUE(regtext::Parse("REGEDIT4\r\n\r\n" + text, doc, parseError)) << parseError.message;
    fs::create_directories(path.parent_path());
    std::string error;
    ASSERT_TRUE(BuildHive(kMinimal, doc, root, prefix, path.string(), &error)) << error;
}

std::string Text(RegistryService& registry, HKey root, const char* path, const char* name) {
    RegKey key(registry);
    if (key.Open(root, path, access::kRead) != status::kSuccess) return "(no key)";
    char data[512] = {};
    uint32_t size = sizeof data - 1;
    if (registry.QueryValue(key.get(), name, nullptr, reinterpret_cast<uint8_t*>(data), &size) !=
        status::kSuccess)
        return "(no value)";
    return data;
}

std::string Variable(const MappedFilesConfig& files, const std::string& name) {
    for (const auto& [n, value] : files.environment)
        if (n == name) return value;
    return "(unset)";
}

class InstallationTest : public ::testing::Test {
  protected:
    void SetUp() override {
        root_ = fs::temp_directory_path() /
                ("qm-win-" +
                 std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()) +
                 "-" + std::to_string(::getpid()));
        fs::remove_all(root_);
    }
    void TearDown() override { fs::remove_all(root_); }
    fs::path root_;
};

// Vista and later: hives under Users\, the ProfileList's accounts, the
// control set that Select\Current names, the environment from the hives.
TEST_F(InstallationTest, MountsAModernInstallation) {
    const fs::path config = root_ / "Windows" / "System32" / "config";
    MakeHive(config / "SOFTWARE",
             "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion]\r\n"
             "\"CurrentVersion\"=\"6.3\"\r\n\"SystemRoot\"=\"C:\\\\Windows\"\r\n"
             "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\ProfileList\\"
             "S-1-5-18]\r\n\"ProfileImagePath\"=\"%systemroot%"
             "\\\\system32\\\\config\\\\systemprofile\"\r\n"
             "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\ProfileList\\"
             "S-1-5-21-7-1001]\r\n\"ProfileImagePath\"=\"%SystemDrive%\\\\Users\\\\Alice\"\r\n"
             "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\ProfileList\\"
             "S-1-5-21-7-1002]\r\n\"ProfileImagePath\"=\"C:\\\\Users\\\\Bob\"\r\n"
             "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion]\r\n"
             "\"ProgramFilesDir\"=\"C:\\\\Program Files\"\r\n"
             "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Classes\\CLSID\\{1}]\r\n@=\"machine class\"\r\n",
             hkey::kLocalMachine, "SOFTWARE");
    MakeHive(
        config / "SYSTEM",
        "[HKEY_LOCAL_MACHINE\\SYSTEM\\Select]\r\n\"Current\"=dword:00000002\r\n"
        "[HKEY_LOCAL_MACHINE\\SYSTEM\\ControlSet001\\Control]\r\n\"Set\"=\"one\"\r\n"
        "[HKEY_LOCAL_MACHINE\\SYSTEM\\ControlSet002\\Control]\r\n\"Set\"=\"two\"\r\n"
        "[HKEY_LOCAL_MACHINE\\SYSTEM\\ControlSet002\\Control\\Session Manager\\Environment]\r\n"
        "\"Path\"=\"%SystemRoot%\\\\system32;%SystemRoot%;%NOSUCH%\"\r\n",
        hkey::kLocalMachine, "SYSTEM");
    MakeHive(config / "DEFAULT", "[HKEY_USERS\\.DEFAULT\\Software]\r\n\"Who\"=\"default\"\r\n",
             hkey::kUsers, ".DEFAULT");
    for (const char* name : {"Alice", "Bob", "Default"})
        MakeHive(root_ / "Users" / name / "NTUSER.DAT",
                 std::string("[HKEY_CURRENT_USER\\Software]\r\n\"Who\"=\"") + name +
                     "\"\r\n[HKEY_CURRENT_USER\\Software\\Microsoft\\Windows\\CurrentVersion\\"
                     "Explorer\\User Shell Folders]\r\n\"Programs\"=\"%USERPROFILE%\\\\Menu\"\r\n",
                 hkey::kCurrentUser, "");
    fs::create_directories(root_ / "ProgramData");
    MakeHive(
        root_ / "Users" / "Alice" / "AppData" / "Local" / "Microsoft" / "Windows" / "UsrClass.dat",
        "[HKEY_CURRENT_USER\\.txt]\r\n@=\"alice's class\"\r\n", hkey::kCurrentUser, "");

    Installation offline;
    std::string error;
    EXPECT_FALSE(OpenInstallation(root_.string(), "", true, &offline, &error));
    EXPECT_NE(error.find("--user NAME (profiles: Alice, Bob)"), std::string::npos) << error;
    EXPECT_FALSE(OpenInstallation(root_.string(), "Carol", true, &offline, &error));
    EXPECT_NE(error.find("no profile named \"Carol\""), std::string::npos) << error;

    ASSERT_TRUE(OpenInstallation(root_.string(), "alice", true, &offline, &error)) << error;
    RegistryService& r = *offline.registry;
    EXPECT_EQ(offline.user, "Alice");
    EXPECT_FALSE(offline.xpEra);
    EXPECT_TRUE(offline.warnings.empty());
    EXPECT_EQ(Text(r, hkey::kCurrentUser, "Software", "Who"), "Alice");
    EXPECT_EQ(Text(r, hkey::kCurrentUser, "Software\\Classes\\.txt", ""), "alice's class");
    EXPECT_EQ(Text(r, hkey::kUsers, "S-1-5-21-7-1002\\Software", "Who"), "Bob");
    EXPECT_EQ(Text(r, hkey::kUsers, "S-1-5-21-7-1001_Classes\\.txt", ""), "alice's class");
    EXPECT_EQ(Text(r, hkey::kUsers, ".DEFAULT\\Software", "Who"), "default");
    EXPECT_EQ(Text(r, hkey::kLocalMachine, "SYSTEM\\CurrentControlSet\\Control", "Set"), "two");
    EXPECT_EQ(Text(r, hkey::kClassesRoot, "CLSID\\{1}", ""), "machine class");
    char name[64];
    std::vector<std::string> users;
    for (uint32_t i = 0;; ++i) {
        uint32_t size = sizeof name;
        if (r.EnumKey(hkey::kUsers, i, name, &size) != status::kSuccess) break;
        users.push_back(name);
    }
    EXPECT_EQ(users, (std::vector<std::string>{".DEFAULT", "S-1-5-21-7-1001",
                                               "S-1-5-21-7-1001_Classes", "S-1-5-21-7-1002"}));
    // The control set shown as CurrentControlSet cannot be deleted.
    EXPECT_EQ(r.DeleteTree(hkey::kLocalMachine, "SYSTEM\\ControlSet002"), status::kAccessDenied);

    const MappedFilesConfig& files = offline.files;
    EXPECT_EQ(Variable(files, "Path"), "C:\\Windows\\system32;C:\\Windows;%NOSUCH%");
    EXPECT_EQ(Variable(files, "windir"), "C:\\Windows");
    EXPECT_EQ(Variable(files, "ProgramFiles"), "C:\\Program Files");
    EXPECT_EQ(Variable(files, "USERPROFILE"), "C:\\Users\\Alice");
    EXPECT_EQ(files.systemFolder, "C:\\Windows\\system32");
    auto folder = [&](int id) { return files.specialFolders.at(id); };
    EXPECT_EQ(folder(csidl::kPrograms), "C:\\Users\\Alice\\Menu");
    EXPECT_EQ(
        folder(csidl::kStartup),
        "C:\\Users\\Alice\\AppData\\Roaming\\Microsoft\\Windows\\Start Menu\\Programs\\Startup");
    EXPECT_EQ(folder(csidl::kCommonStartup),
              "C:\\ProgramData\\Microsoft\\Windows\\Start Menu\\Programs\\StartUp");
    MappedFileProbe probe(files);
    EXPECT_EQ(probe.CheckPath("C:\\Users\\Alice\\NTUSER.DAT"), Existence::kExists);
    EXPECT_EQ(probe.CheckPath("C:\\Users\\Nobody"), Existence::kMissing);
    // The installation's other drives and the network cannot be seen from
    // here: what lies there is never reported.
    EXPECT_EQ(probe.CheckPath("D:\\Games\\game.exe"), Existence::kCannotTell);
    EXPECT_EQ(probe.CheckPath("\\\\server\\share\\a.exe"), Existence::kCannotTell);
}

// Windows XP: lower-case hive names, Documents and Settings, no ProfileList;
// a damaged hive names itself.
TEST_F(InstallationTest, MountsAnXpInstallationAndRefusesDamage) {
    const fs::path config = root_ / "WINDOWS" / "system32" / "config";
    MakeHive(config / "software",
             "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion]\r\n"
             "\"CurrentVersion\"=\"5.1\"\r\n",
             hkey::kLocalMachine, "SOFTWARE");
    MakeHive(config / "system", "[HKEY_LOCAL_MACHINE\\SYSTEM\\Select]\r\n", hkey::kLocalMachine,
             "SYSTEM");
    MakeHive(root_ / "Documents and Settings" / "User" / "NTUSER.DAT",
             "[HKEY_CURRENT_USER\\Software]\r\n\"Who\"=\"User\"\r\n", hkey::kCurrentUser, "");
    Installation offline;
    std::string error;
    ASSERT_TRUE(OpenInstallation(root_.string(), "", false, &offline, &error)) << error;
    EXPECT_TRUE(offline.xpEra);
    EXPECT_EQ(offline.user, "User");
    EXPECT_EQ(Text(*offline.registry, hkey::kCurrentUser, "Software", "Who"), "User");
    EXPECT_EQ(Variable(offline.files, "SystemRoot"), "C:\\WINDOWS");
    EXPECT_EQ(Variable(offline.files, "USERPROFILE"), "C:\\Documents and Settings\\User");
    EXPECT_EQ(offline.files.specialFolders.at(csidl::kStartup),
              "C:\\Documents and Settings\\User\\Start Menu\\Programs\\Startup");

    std::ofstream(config / "system", std::ios::binary | std::ios::trunc) << "regf";
    EXPECT_FALSE(OpenInstallation(root_.string(), "", false, &offline, &error));
    EXPECT_EQ(error, (config / "system").string() +
                         ": truncated: 4 bytes, shorter than the 4096-byte header");
    fs::remove(config / "system");
    EXPECT_FALSE(OpenInstallation(root_.string(), "", false, &offline, &error));
    EXPECT_EQ(error, config.string() + ": the hive SYSTEM is missing");
}

}  // namespace
}  // namespace qm::hive
