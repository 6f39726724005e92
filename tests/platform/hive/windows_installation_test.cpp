#include "platform/hive/windows_installation.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <set>

#include "tests/platform/hive/hive_test_support.h"

namespace qm::hive {
namespace {

using test::MakeHive;
namespace fs = std::filesystem;

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

// Profile folders are found as NTUSER.DAT's file system names them: a
// registry name in the code page is the same folder as its UTF-8 name on
// the host, without regard to case. Two entries for one folder are one
// profile, and its hive is opened once. Paths from the registry stay inside
// the installation: no step up, no link that leads out of it.
TEST_F(InstallationTest, ProfilesAreTheFoldersNtfsNamesAndStayInside) {
    const fs::path config = root_ / "Windows" / "System32" / "config";
    std::string list;
    auto profile = [&](const char* sid, const char* path) {
        list += std::string(
                    "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows "
                    "NT\\CurrentVersion\\ProfileList\\S-1-5-21-9-") +
                sid + "]\r\n\"ProfileImagePath\"=\"" + path + "\"\r\n";
    };
    profile("1001", "C:\\\\Users\\\\Jos\xE9");
    profile("1002", "C:\\\\Users\\\\User");
    profile("1003", "C:\\\\USERS\\\\user");            // the same folder again
    profile("1004", "C:\\\\..\\\\outside\\\\Victim");  // a step up
    profile("1005", "C:\\\\Users\\\\Away");            // a link that leads out
    profile("1006", "C:\\\\Users\\\\Planted");         // a hive that is such a link
    profile("1007", "C:\\\\Users\\\\a/../../outside\\\\Victim");
    MakeHive(config / "SOFTWARE",
             "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion]\r\n"
             "\"CurrentVersion\"=\"6.1\"\r\n" +
                 list,
             hkey::kLocalMachine, "SOFTWARE");
    MakeHive(config / "SYSTEM", "", hkey::kLocalMachine, "SYSTEM");
    // The folder's name on the host (UTF-8), and in the registry's text.
    for (const auto& [folder, who] :
         {std::pair{"Jos\xC3\xA9", "Jos\xE9"}, std::pair{"User", "User"}})
        MakeHive(root_ / "Users" / folder / "NTUSER.DAT",
                 std::string("[HKEY_CURRENT_USER\\Software]\r\n\"Who\"=\"") + who + "\"\r\n",
                 hkey::kCurrentUser, "");
    const fs::path outside = root_.string() + "-outside";
    MakeHive(outside / "Victim" / "NTUSER.DAT", "", hkey::kCurrentUser, "");
    fs::create_directories(root_ / "Users" / "Planted");
    fs::create_directory_symlink(outside / "Victim", root_ / "Users" / "Away");
    fs::create_symlink(outside / "Victim" / "NTUSER.DAT",
                       root_ / "Users" / "Planted" / "NTUSER.DAT");

    Installation offline;
    std::string error;
    EXPECT_FALSE(OpenInstallation(root_.string(), "", true, &offline, &error));
    EXPECT_NE(error.find("(profiles: Jos\xC3\xA9, User)"), std::string::npos) << error;
    ASSERT_TRUE(OpenInstallation(root_.string(), "JOS\xC3\x89", true, &offline, &error)) << error;
    EXPECT_EQ(offline.user, "Jos\xC3\xA9");
    EXPECT_EQ(Text(*offline.registry, hkey::kCurrentUser, "Software", "Who"), "Jos\xE9");
    EXPECT_EQ(Variable(offline.files, "USERNAME"), "Jos\xE9");
    EXPECT_EQ(Variable(offline.files, "USERPROFILE"), "C:\\Users\\Jos\xE9");
    std::set<std::string> hives;
    for (const auto& hive : offline.registry->Hives()) hives.insert(hive->path());
    EXPECT_EQ(hives.size(), 4u);  // SOFTWARE, SYSTEM and one NTUSER.DAT each
    for (const std::string& path : hives) EXPECT_EQ(path.find("outside"), std::string::npos);
    fs::remove_all(outside);
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

// Only a hibernation file that holds a saved memory image blocks writing.
TEST_F(InstallationTest, AHibernatedWindowsIsToldByItsHibernationFile) {
    fs::create_directories(root_);
    EXPECT_EQ(Hibernated(root_.string()), "");
    const std::pair<std::string, bool> files[] = {
        {"", false},
        {std::string(4096, '\0'), false},
        {"wake" + std::string(60, 'x'), false},
        {"hibr", true},
        {"HIBR" + std::string(4092, '\0'), true},
        {"RSTR", true},
    };
    for (const auto& [bytes, hibernated] : files) {
        test::WriteBytes(root_ / "HIBERFIL.SYS", bytes);
        const std::string message = Hibernated(root_.string());
        EXPECT_EQ(!message.empty(), hibernated) << bytes.substr(0, 4);
        EXPECT_EQ(message.find("Fast Startup") != std::string::npos, hibernated);
    }
}

}  // namespace
}  // namespace qm::hive
