#include "platform/hive/hive_commit.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <set>

#include "platform/hive/windows_installation.h"
#include "tests/platform/hive/hive_test_support.h"

namespace qm::hive {
namespace {

using namespace test;
using State = HiveOutcome::State;

const char* const kHives[] = {"SOFTWARE", "SYSTEM", "DEFAULT"};

// An installation of three hives, each with a value "Gone" to delete.
class CommitTest : public ::testing::Test {
  protected:
    void SetUp() override {
        dir_ = TestFolder();
        MakeInstallation(dir_ / "original");
        for (const char* hive : kHives) old_.push_back(ReadBytes(Config(dir_ / "original") / hive));
    }
    void TearDown() override {
        SetCommitHook(nullptr);
        fs::remove_all(dir_);
    }

    static fs::path Config(const fs::path& root) {
        return root / "Windows" / "System32" / "config";
    }
    static void MakeInstallation(const fs::path& root) {
        const std::string values = "\"Gone\"=\"x\"\r\n\"Stay\"=\"y\"\r\n";
        MakeHive(Config(root) / "SOFTWARE", "[HKEY_LOCAL_MACHINE\\SOFTWARE\\K]\r\n" + values,
                 hkey::kLocalMachine, "SOFTWARE");
        MakeHive(Config(root) / "SYSTEM", "[HKEY_LOCAL_MACHINE\\SYSTEM\\K]\r\n" + values,
                 hkey::kLocalMachine, "SYSTEM");
        MakeHive(Config(root) / "DEFAULT", "[HKEY_USERS\\.DEFAULT\\K]\r\n" + values, hkey::kUsers,
                 ".DEFAULT");
        // A stale log, which goes with the original when the hive is written.
        WriteBytes(Config(root) / "SOFTWARE.LOG1", "stale");
    }
    // A copy of the installation, opened for writing, with "Gone" deleted
    // from each hive.
    static void OpenChanged(const fs::path& root, Installation* out) {
        std::string error;
        ASSERT_TRUE(OpenInstallation(root.string(), "", true, out, &error)) << error;
        for (const char* key : {"SOFTWARE\\K", "SYSTEM\\K"}) {
            RegKey k(*out->registry);
            ASSERT_EQ(k.Open(hkey::kLocalMachine, key, access::kAllAccess), status::kSuccess);
            ASSERT_EQ(out->registry->DeleteValue(k.get(), "Gone"), status::kSuccess);
        }
        RegKey k(*out->registry);
        ASSERT_EQ(k.Open(hkey::kUsers, ".DEFAULT\\K", access::kAllAccess), status::kSuccess);
        ASSERT_EQ(out->registry->DeleteValue(k.get(), "Gone"), status::kSuccess);
    }
    fs::path Copy(const std::string& name) {
        const fs::path to = dir_ / name;
        fs::copy(dir_ / "original", to, fs::copy_options::recursive);
        return to;
    }
    static std::set<std::string> Entries(const fs::path& folder) {
        std::set<std::string> names;
        for (const auto& entry : fs::directory_iterator(folder))
            names.insert(entry.path().filename().string());
        return names;
    }

    fs::path dir_;
    std::vector<std::string> old_;
};

// A failure anywhere before the switch changes nothing; one during the
// switch puts back what was switched, and says what became of each hive.
// Written hives keep their original's mode, owner and times.
TEST_F(CommitTest, EveryHiveIsWrittenOrNone) {
    struct Fail {
        CommitStep step;
        int hive;
    };
    struct Case {
        const char* name;
        std::vector<Fail> failures;
        std::vector<State> states;
        const char* message;
    };
    const std::vector<Case> cases = {
        {"written", {}, {State::kWritten, State::kWritten, State::kWritten}, ""},
        {"the second not written",
         {{CommitStep::kWriteNew, 1}},
         {State::kLeft, State::kLeft, State::kLeft},
         "no hive was changed"},
        {"the second not switched",
         {{CommitStep::kReplace, 1}},
         {State::kPutBack, State::kLeft, State::kLeft},
         "SOFTWARE: put back as it was"},
        {"the first not put back",
         {{CommitStep::kReplace, 1}, {CommitStep::kPutBack, 0}},
         {State::kStuck, State::kLeft, State::kLeft},
         "could not be put back"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const fs::path root = Copy(c.name);
        const fs::path config = Config(root);
        const fs::path software = config / "SOFTWARE";
        // Mode, owner and times of the original, to be carried over.
        ::chmod(software.c_str(), 0640);
        if (::geteuid() == 0) {
            ASSERT_EQ(::chown(software.c_str(), 4321, 8765), 0);
        }
        const struct timespec times[2] = {{978307200, 0}, {978307200, 500}};
        ASSERT_EQ(::utimensat(AT_FDCWD, software.c_str(), times, 0), 0);
        struct stat before {};
        ::stat(software.c_str(), &before);
        const std::set<std::string> entries = Entries(config);

        Installation installation;
        OpenChanged(root, &installation);
        SetCommitHook([&](CommitStep step, const std::string& hive) {
            for (const Fail& f : c.failures)
                if (step == f.step && hive == (config / kHives[f.hive]).string()) return false;
            return true;
        });
        std::vector<HiveOutcome> outcomes;
        std::string error;
        const bool written =
            installation.registry->Commit({2026, 1, 2, 3, 4, 5}, &outcomes, &error);
        SetCommitHook(nullptr);
        EXPECT_EQ(written, c.failures.empty()) << error;
        ASSERT_EQ(outcomes.size(), 3u);
        for (size_t i = 0; i < 3; ++i) {
            EXPECT_EQ(outcomes[i].state, c.states[i]) << kHives[i] << ": " << error;
            const std::string now = ReadBytes(config / kHives[i]);
            if (c.states[i] == State::kLeft || c.states[i] == State::kPutBack) {
                EXPECT_EQ(now, old_[i]) << kHives[i];
            } else {
                EXPECT_NE(now, old_[i]) << kHives[i];
                EXPECT_EQ(ReadBytes(outcomes[i].backup), old_[i]) << kHives[i];
            }
        }
        const bool logAside = c.states[0] == State::kWritten || c.states[0] == State::kStuck;
        EXPECT_EQ(
            ReadBytes(logAside ? fs::path(outcomes[0].backup + ".LOG1") : config / "SOFTWARE.LOG1"),
            "stale");
        EXPECT_NE(fs::exists(config / "SOFTWARE.LOG1"), logAside);
        if (!written) {
            for (const char* hive : kHives)
                EXPECT_NE(error.find(std::string(hive) + ": "), std::string::npos) << error;
            EXPECT_NE(error.find(c.message), std::string::npos) << error;
        }
        if (c.states[0] == State::kLeft || c.states[0] == State::kPutBack) {
            EXPECT_EQ(Entries(config), entries);  // nothing left behind
            continue;
        }
        struct stat after {};
        ::stat(software.c_str(), &after);
        EXPECT_NE(after.st_ino, before.st_ino);
        EXPECT_EQ(after.st_mode & 07777, 0640u);
        EXPECT_EQ(std::make_pair(after.st_uid, after.st_gid),
                  std::make_pair(before.st_uid, before.st_gid));
        EXPECT_EQ(after.st_mtim.tv_sec, before.st_mtim.tv_sec);
        EXPECT_EQ(after.st_mtim.tv_nsec, before.st_mtim.tv_nsec);
    }
}

// Stopped at any step of the commit, the installation opens again with each
// hive whole: either the original or the repaired one.
TEST_F(CommitTest, AStopAtAnyStepLeavesEachHiveOldOrNew) {
    std::vector<std::string> repaired;
    {
        const fs::path root = Copy("reference");
        Installation installation;
        OpenChanged(root, &installation);
        std::string error;
        ASSERT_TRUE(installation.registry->Commit({2026, 1, 2, 3, 4, 5}, nullptr, &error)) << error;
        for (const char* hive : kHives) repaired.push_back(ReadBytes(Config(root) / hive));
    }
    std::set<std::string> seen;  // which hives were new, as a pattern
    int step = 0;
    for (;; ++step) {
        const fs::path root = Copy("stop" + std::to_string(step));
        const pid_t pid = ::fork();
        ASSERT_GE(pid, 0);
        if (pid == 0) {
            Installation installation;
            OpenChanged(root, &installation);
            int calls = 0;
            SetCommitHook([&](CommitStep, const std::string&) {
                if (calls++ == step) ::_exit(0);  // the process ends here, as if killed
                return true;
            });
            std::string error;
            installation.registry->Commit({2026, 1, 2, 3, 4, 5}, nullptr, &error);
            ::_exit(3);  // every step was passed
        }
        int status = 0;
        ::waitpid(pid, &status, 0);
        ASSERT_TRUE(WIFEXITED(status));
        if (WEXITSTATUS(status) == 3) break;
        Installation again;
        std::string error;
        ASSERT_TRUE(OpenInstallation(root.string(), "", false, &again, &error)) << error;
        std::string pattern;
        for (size_t i = 0; i < 3; ++i) {
            const std::string now = ReadBytes(Config(root) / kHives[i]);
            EXPECT_TRUE(now == old_[i] || now == repaired[i]) << kHives[i] << " at step " << step;
            pattern += now == repaired[i] ? 'N' : 'O';
        }
        seen.insert(pattern);
    }
    // Three hives written, then three steps each to switch them.
    EXPECT_GE(step, 3 + 3 * 3);
    EXPECT_EQ(seen, (std::set<std::string>{"OOO", "NOO", "NNO", "NNN"}));
}

// A link planted at a name the commit might use is never followed: the new
// file is made in a private folder, and an old .bak name is passed by.
TEST_F(CommitTest, PlantedLinksAreNotFollowed) {
    const fs::path root = Copy("links");
    const fs::path config = Config(root);
    WriteBytes(dir_ / "victim", "victim");
    for (const char* name : {"SOFTWARE.quillmend-new", "SOFTWARE.quillmend-20260102-030405.bak"})
        fs::create_symlink(dir_ / "victim", config / name);
    Installation installation;
    OpenChanged(root, &installation);
    std::vector<HiveOutcome> outcomes;
    std::string error;
    ASSERT_TRUE(installation.registry->Commit({2026, 1, 2, 3, 4, 5}, &outcomes, &error)) << error;
    EXPECT_EQ(ReadBytes(dir_ / "victim"), "victim");
    EXPECT_FALSE(fs::is_symlink(config / "SOFTWARE"));
    EXPECT_EQ(outcomes[0].backup, (config / "SOFTWARE.quillmend-20260102-030405-2.bak").string());
    EXPECT_EQ(ReadBytes(outcomes[0].backup), old_[0]);

    // A hive that is itself a link is not opened as one.
    std::unique_ptr<HiveFile> linked =
        HiveFile::Open((config / "SOFTWARE.quillmend-new").string(), true, &error);
    EXPECT_EQ(linked, nullptr);
    EXPECT_NE(error.find("is a symbolic link"), std::string::npos) << error;
}

}  // namespace
}  // namespace qm::hive
