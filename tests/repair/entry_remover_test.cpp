// Removing keys, values and files, and what reaches the backup first.
#include "repair/entry_remover.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <functional>

#include "platform/memory/mapped_file_probe.h"
#include "platform/memory/memory_registry.h"
#include "platform/regtext/reg_text.h"
#include "platform/value_text.h"
#include "tests/backup/memory_file.h"
#include "tests/backup/registry_snapshot.h"

namespace qm {
namespace {

namespace fs = std::filesystem;
using testing::MemoryFile;
using testing::MemoryFileState;
using testing::Snapshot;

// The in-memory registry, noting every key deletion with what the backup
// held at that moment.
class RecordingRegistry : public MemoryRegistry {
  public:
    Status DeleteKey(HKey parent, const char* subKey) override {
        deleted.push_back(subKey);
        backupAtDeletion.push_back(backup ? backup->bytes.size() : 0);
        return MemoryRegistry::DeleteKey(parent, subKey);
    }
    std::vector<std::string> deleted;
    std::vector<size_t> backupAtDeletion;
    std::shared_ptr<MemoryFileState> backup;
};

class EntryRemoverTest : public ::testing::Test {
  protected:
    EntryRemoverTest() {
        std::string pattern = (fs::temp_directory_path() / "qm-remover-XXXXXX").string();
        if (mkdtemp(pattern.data()) == nullptr) std::abort();
        root_ = pattern;
        MappedFilesConfig config;
        config.drives['C'] = root_.string();
        files_ = std::make_unique<MappedFileProbe>(config);
        remover_ = std::make_unique<EntryRemover>(registry_, *files_);
    }
    ~EntryRemoverTest() override { fs::remove_all(root_); }

    void Key(const std::string& path, const std::string& value = "") {
        RegKey key(registry_);
        ASSERT_EQ(key.Create(hkey::kCurrentUser, path.c_str(), access::kAllAccess),
                  status::kSuccess);
        if (!value.empty())
            registry_.SetValue(key.get(), "v", regtype::kSz,
                               reinterpret_cast<const uint8_t*>(value.c_str()),
                               static_cast<uint32_t>(value.size() + 1));
    }
    bool Exists(const std::string& path) {
        RegKey key(registry_);
        return key.Open(hkey::kCurrentUser, path.c_str(), access::kRead) == status::kSuccess;
    }
    void UseBackup() {
        registry_.backup = std::make_shared<MemoryFileState>();
        stream_ = std::make_unique<RegTextStream>(std::make_unique<MemoryFile>(registry_.backup),
                                                  RegTextStream::Encoding::kCodePage);
        remover_->SetBackupStream(stream_.get());
    }
    // The backup applied to `registry` (as a restore would).
    void Restore(MemoryRegistry& registry) {
        regtext::Document doc;
        regtext::ParseError error;
        ASSERT_TRUE(regtext::Parse("REGEDIT4\r\n" + registry_.backup->bytes, doc, error))
            << error.message;
        registry.Apply(doc);
    }

    fs::path root_;
    RecordingRegistry registry_;
    std::unique_ptr<MappedFileProbe> files_;
    std::unique_ptr<EntryRemover> remover_;
    std::unique_ptr<RegTextStream> stream_;
};

TEST_F(EntryRemoverTest, BacksUpTheWholeTreeOnceThenDeletesDeepestFirst) {
    Key("Software\\T\\a\\a1\\a11", "1");
    Key("Software\\T\\b", "2");
    Key("Software\\T", "top");
    const auto before = Snapshot(registry_, hkey::kCurrentUser, "Software\\T");
    UseBackup();
    EXPECT_EQ(remover_->DeleteKeyTree(hkey::kCurrentUser, "Software\\T"), EntryRemover::kDeleted);
    EXPECT_EQ(registry_.deleted, (std::vector<std::string>{"a11", "a1", "a", "b", "Software\\T"}));
    for (size_t size : registry_.backupAtDeletion) EXPECT_EQ(size, registry_.backup->bytes.size());
    EXPECT_FALSE(Exists("Software\\T"));
    EXPECT_TRUE(Exists("Software"));
    MemoryRegistry restored;
    Restore(restored);
    EXPECT_TRUE(before == Snapshot(restored, hkey::kCurrentUser, "Software\\T"));
    EXPECT_EQ(registry_.OpenHandleCount(), 0u);
}

TEST_F(EntryRemoverTest, ASubkeyThatStaysKeepsItsAncestorsButNotItsSiblings) {
    struct Case {
        MemoryRegistry::Protection b;
        bool backup;
        Status result;
        bool siblingsGone;
    } cases[] = {
        // Unreadable: without a backup the rest goes; with one nothing does,
        // since the tree cannot be saved whole.
        {MemoryRegistry::Protection::kUnreadable, false, status::kAccessDenied, true},
        {MemoryRegistry::Protection::kUnreadable, true, status::kCantRead, false},
        // Readable but not deletable: saved whole, the rest goes.
        {MemoryRegistry::Protection::kReadOnly, true, status::kAccessDenied, true},
    };
    for (const Case& c : cases) {
        registry_.DeleteTree(hkey::kCurrentUser, "Software\\T");
        for (const char* name : {"A", "B", "C"}) Key(std::string("Software\\T\\") + name, name);
        Key("Software\\T\\B\\inner", "i");
        ASSERT_TRUE(registry_.SetProtection(hkey::kCurrentUser, "Software\\T\\B", c.b));
        if (c.backup)
            UseBackup();
        else
            remover_->SetBackupStream(nullptr);
        EXPECT_EQ(remover_->DeleteKeyTree(hkey::kCurrentUser, "Software\\T"), c.result);
        EXPECT_TRUE(Exists("Software\\T"));
        EXPECT_EQ(Exists("Software\\T\\A"), !c.siblingsGone);
        EXPECT_EQ(Exists("Software\\T\\C"), !c.siblingsGone);
        ASSERT_TRUE(registry_.SetProtection(hkey::kCurrentUser, "Software\\T\\B",
                                            MemoryRegistry::Protection::kNone));
        EXPECT_TRUE(Exists("Software\\T\\B"));
        // Below a read-only key the subkeys still go.
        EXPECT_EQ(Exists("Software\\T\\B\\inner"), c.b == MemoryRegistry::Protection::kUnreadable);
        if (c.backup && !c.siblingsGone) {
            EXPECT_TRUE(registry_.backup->bytes.empty());
        }
    }
}

TEST_F(EntryRemoverTest, RefusesWhatItCannotSaveAndWhatIsNotThere) {
    Key("Software\\T\\a", "1");
    UseBackup();
    // An empty path would name the root itself.
    EXPECT_EQ(remover_->DeleteKeyTree(hkey::kCurrentUser, ""), status::kInvalidParameter);
    EXPECT_EQ(remover_->DeleteKeyTree(hkey::kCurrentUser, "Software\\Missing"),
              status::kFileNotFound);
    const RemoveResult missing =
        remover_->DeleteValue(hkey::kCurrentUser, "Software\\T\\a", "missing");
    EXPECT_EQ(missing, status::kFileNotFound);
    EXPECT_FALSE(missing.notBackedUp);
    EXPECT_TRUE(registry_.deleted.empty());
    EXPECT_TRUE(registry_.backup->bytes.empty());

    // Once the backup cannot be written, nothing more is deleted.
    registry_.backup->capacity = 10;
    const RemoveResult unsaved = remover_->DeleteKeyTree(hkey::kCurrentUser, "Software\\T");
    EXPECT_EQ(unsaved, status::kWriteFault);
    EXPECT_TRUE(unsaved.notBackedUp);
    registry_.backup->capacity = SIZE_MAX;
    EXPECT_EQ(remover_->DeleteValue(hkey::kCurrentUser, "Software\\T\\a", "v"),
              status::kWriteFault);
    EXPECT_TRUE(Exists("Software\\T\\a"));
    EXPECT_TRUE(registry_.backup->bytes.empty());
    EXPECT_TRUE(registry_.deleted.empty());
}

TEST_F(EntryRemoverTest, DeletesTreesDeeperThanAnyStack) {
    {
        RegKey level(registry_);
        ASSERT_EQ(level.Create(hkey::kCurrentUser, "Software\\Deep", access::kAllAccess),
                  status::kSuccess);
        for (int depth = 0; depth < 1000; ++depth) {
            RegKey next(registry_);
            ASSERT_EQ(next.Create(level.get(), "d", access::kAllAccess), status::kSuccess);
            level = std::move(next);
        }
    }
    UseBackup();
    EXPECT_EQ(remover_->DeleteKeyTree(hkey::kCurrentUser, "Software\\Deep"),
              EntryRemover::kDeleted);
    EXPECT_EQ(registry_.deleted.size(), 1001u);
    EXPECT_FALSE(Exists("Software\\Deep"));
}

TEST_F(EntryRemoverTest, DeletesValuesItCouldSave) {
    Key("Software\\V");
    RegKey key(registry_);
    ASSERT_EQ(key.Open(hkey::kCurrentUser, "Software\\V", access::kAllAccess), status::kSuccess);
    const std::vector<uint8_t> big(5000, 0xAB);
    registry_.SetValue(key.get(), "", regtype::kSz, reinterpret_cast<const uint8_t*>("d"), 2);
    registry_.SetValue(key.get(), "big", regtype::kBinary, big.data(), 5000);
    registry_.SetValue(key.get(), "kept", regtype::kDword, big.data(), 4);
    const auto before = Snapshot(registry_, hkey::kCurrentUser, "Software\\V");

    // Without a stream nothing is written anywhere.
    EXPECT_EQ(remover_->DeleteValue(hkey::kCurrentUser, "Software\\V", ""), status::kSuccess);
    UseBackup();
    EXPECT_EQ(remover_->DeleteValue(hkey::kCurrentUser, "Software\\V", "big"), status::kSuccess);
    ASSERT_TRUE(registry_.SetProtection(hkey::kCurrentUser, "Software\\V",
                                        MemoryRegistry::Protection::kReadOnly));
    // Saved, but it cannot be deleted: it stays, and the caller hears why.
    const RemoveResult kept = remover_->DeleteValue(hkey::kCurrentUser, "Software\\V", "kept");
    EXPECT_EQ(kept, status::kAccessDenied);
    EXPECT_FALSE(kept.notBackedUp);
    ASSERT_TRUE(registry_.SetProtection(hkey::kCurrentUser, "Software\\V",
                                        MemoryRegistry::Protection::kNone));
    auto after = Snapshot(registry_, hkey::kCurrentUser, "Software\\V");
    EXPECT_EQ(after[""].size(), 1u);
    EXPECT_EQ(after[""].count("kept"), 1u);
    Restore(registry_);
    after = Snapshot(registry_, hkey::kCurrentUser, "Software\\V");
    after[""][""] = before.at("").at("");  // the one deleted without a backup
    EXPECT_TRUE(before == after);
}

TEST_F(EntryRemoverTest, RemovesOnlyFilesThatExistAndAreFree) {
    std::ofstream(root_ / "plain.lnk") << "x";
    std::ofstream(root_ / "locked.lnk") << "x";
    fs::permissions(root_ / "locked.lnk", fs::perms::owner_read);
    EXPECT_EQ(remover_->RemoveFile("C:\\plain.lnk"), status::kSuccess);
    EXPECT_FALSE(fs::exists(root_ / "plain.lnk"));
    EXPECT_EQ(remover_->RemoveFile("C:\\locked.lnk"), status::kAccessDenied);
    EXPECT_EQ(remover_->RemoveFile("C:\\missing.lnk"), status::kFileNotFound);
    EXPECT_TRUE(fs::exists(root_ / "locked.lnk"));
}

TEST_F(EntryRemoverTest, ReadStringValueReadsTextOfAnyTypeUpTo1024Bytes) {
    Key("Software\\S");
    RegKey key(registry_);
    ASSERT_EQ(key.Open(hkey::kCurrentUser, "Software\\S", access::kAllAccess), status::kSuccess);
    auto set = [&](const char* name, uint32_t type, const std::string& data) {
        registry_.SetValue(key.get(), name, type, reinterpret_cast<const uint8_t*>(data.data()),
                           static_cast<uint32_t>(data.size()));
    };
    set("text", regtype::kSz, std::string("C:\\x.exe\0", 9));
    set("two", regtype::kSz, std::string("a\0b\0", 4));
    set("bin", regtype::kBinary, "abc");
    set("full", regtype::kBinary, std::string(1024, 'f'));
    set("over", regtype::kSz, std::string(1024, 'o'));  // 1025 bytes with its zero
    struct {
        const char* subKey;
        const char* name;
        std::string text;
    } cases[] = {
        {"Software\\S", "text", "C:\\x.exe"}, {"Software\\S", "two", "a"},
        {"Software\\S", "bin", "abc"},        {"Software\\S", "full", std::string(1024, 'f')},
        {"Software\\S", "over", ""},          {"Software\\S", "missing", ""},
        {"Software\\Missing", "text", ""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ReadStringValue(registry_, hkey::kCurrentUser, c.subKey, c.name), c.text)
            << c.name;
}

}  // namespace
}  // namespace qm
