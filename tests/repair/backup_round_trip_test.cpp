// Random key trees are deleted through the entry remover with a backup
// stream, the backup is imported again, and the registry must be exactly as
// it was. Natively the registry is the in-memory one and the importer the
// registry text reader; on Windows (and under Wine) they are the live
// registry and the system's own regedit.exe.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "backup/restore_check.h"
#include "platform/regtext/reg_text.h"
#include "repair/entry_remover.h"
#include "scan/file_path_scanner.h"
#include "tests/backup/registry_snapshot.h"

#ifdef _WIN32
#include "backup/regedit_import.h"
#include "platform/win32/win32_file_probe.h"
#include "platform/win32/win32_registry.h"
#else
#include "platform/memory/mapped_file_probe.h"
#include "platform/memory/memory_registry.h"
#include "tests/backup/memory_file.h"
#endif

namespace qm {
namespace {

using testing::Snapshot;
using testing::TreeSnapshot;

constexpr const char* kBase = "Software\\QuillmendRoundTrip";

// `prefix` and `n` in decimal (built by appending: GCC 12 warns wrongly
// about "literal" + std::to_string(n) in optimised MinGW builds).
std::string Numbered(const std::string& prefix, int n) {
    std::string text = prefix;
    text += std::to_string(n);
    return text;
}

#ifdef _WIN32
constexpr int kBatches = 10;
constexpr int kTreesPerBatch = 12;
#else
constexpr int kBatches = 30;
constexpr int kTreesPerBatch = 10;
#endif

// Random names with what the format has to take care of: blanks,
// quotes, brackets, '@', '=', ';', bytes above 127 (and, in value names,
// backslashes).
// Where two values part: "type a/b" or the first differing byte.
std::string Difference(const testing::ValueSnapshot& want, const testing::ValueSnapshot& got) {
    char text[128];
    if (want.type != got.type) {
        std::snprintf(text, sizeof text, "type %u became %u", want.type, got.type);
        return text;
    }
    size_t i = 0;
    while (i < want.data.size() && i < got.data.size() && want.data[i] == got.data[i]) ++i;
    std::snprintf(text, sizeof text, "size %zu became %zu, first difference at %zu (%02x / %02x)",
                  want.data.size(), got.data.size(), i, i < want.data.size() ? want.data[i] : 0u,
                  i < got.data.size() ? got.data[i] : 0u);
    return text;
}

class TreeMaker {
  public:
    TreeMaker(RegistryService& registry, uint32_t seed) : registry_(registry), random_(seed) {}

    void Make(const std::string& path) {
        struct Pending {
            std::string path;
            int depth;
        };
        std::vector<Pending> pending{{path, 0}};
        while (!pending.empty()) {
            const Pending key = pending.back();
            pending.pop_back();
            RegKey handle(registry_);
            ASSERT_EQ(handle.Create(hkey::kCurrentUser, key.path.c_str(), access::kAllAccess),
                      status::kSuccess)
                << key.path;
            const int values = Pick(6);
            for (int i = 0; i < values; ++i) SetRandomValue(handle.get(), i == 0 && Pick(3) == 0);
            const int children = key.depth < 3 ? Pick(4) : 0;
            for (int i = 0; i < children; ++i)
                pending.push_back({key.path + "\\" + Name(false), key.depth + 1});
        }
    }

  private:
    int Pick(int n) { return static_cast<int>(random_() % static_cast<uint32_t>(n)); }

    std::string Name(bool value) {
        static const std::string plain = "abcXYZ019 -_.'[]@=;{}";
        static const std::string special = "\"\xe9\xc4\xdf\x80\x9f\xff\xa0";
        std::string name;
        const int length = 1 + Pick(10);
        for (int i = 0; i < length; ++i) {
            const int kind = Pick(10);
            if (kind < 6)
                name.push_back(plain[Pick(static_cast<int>(plain.size()))]);
            else if (kind < 9 || !value)
                name.push_back(special[Pick(static_cast<int>(special.size()))]);
            else
                name.push_back('\\');
        }
        return name;
    }

    void SetRandomValue(HKey key, bool defaultValue) {
        static const uint32_t types[] = {0, 1, 1, 1, 2, 3,  3,  4,         4,
                                         5, 6, 7, 8, 9, 10, 11, 0x12345678};
        static const size_t sizes[] = {0, 1, 21, 22, 23, 43, 64, 2048};
        const uint32_t type = types[Pick(sizeof types / sizeof types[0])];
        size_t size = Pick(60) == 0 ? 100000 : sizes[Pick(sizeof sizes / sizeof sizes[0])];
        std::vector<uint8_t> data(size);
        if (type == regtype::kSz && Pick(2) == 0) {
            // Text that can stand between quotes, with quotes and backslashes.
            const std::string text = "C:\\Program Files\\\"x\" " + Name(false);
            data.assign(text.begin(), text.end());
            data.push_back(0);
        } else if (type == regtype::kDword && Pick(2) == 0) {
            data.resize(4);
            for (auto& b : data) b = static_cast<uint8_t>(random_());
        } else {
            for (auto& b : data) b = static_cast<uint8_t>(random_());
        }
#ifdef _WIN32
        // The system's registry editor ends every text value it imports
        // with a zero byte; a value stored without one (which programs can
        // write, and which the backup holds byte for byte) comes back with
        // one (the registry text reader gives them back exactly).
        if (regtype::IsText(type) && !data.empty() && data.back() != 0) data.push_back(0);
#endif
        const std::string name = defaultValue ? std::string() : Name(true);
        ASSERT_EQ(registry_.SetValue(key, name.c_str(), type, data.data(),
                                     static_cast<uint32_t>(data.size())),
                  status::kSuccess);
    }

    RegistryService& registry_;
    std::mt19937 random_;
};

class BackupRoundTripTest : public ::testing::Test {
  protected:
#ifdef _WIN32
    Win32Registry registry_;
    Win32FileProbe files_;
#else
    MemoryRegistry registry_;
    // Drive C: is the host's temporary folder, which has no "QmGone".
    MappedFileProbe files_{[] {
        MappedFilesConfig config;
        config.drives['C'] = std::filesystem::temp_directory_path().string();
        return config;
    }()};
#endif

    void SetUp() override {
        registry_.DeleteTree(hkey::kCurrentUser, kBase);
    }
    void TearDown() override {
        registry_.DeleteTree(hkey::kCurrentUser, kBase);
    }

    // A backup stream in the given form, and the import of what it holds.
    struct Backup {
#ifdef _WIN32
        std::string path;
#else
        std::shared_ptr<testing::MemoryFileState> file;
#endif
        std::unique_ptr<RegTextStream> stream;
    };

    Backup Open(RegTextStream::Encoding encoding, int batch) {
        Backup backup;
#ifdef _WIN32
        std::string temp;
        files_.ExpandEnvironment("%TEMP%", temp);
        backup.path = Numbered(temp + "\\qm-round-trip-", batch) + ".reg";
        files_.DeleteFile(backup.path);
        backup.stream = std::make_unique<RegTextStream>(
            files_.OpenFile(backup.path, FileMode::kCreateNew), encoding, registry_.codePage());
#else
        (void)batch;
        backup.file = std::make_shared<testing::MemoryFileState>();
        backup.stream = std::make_unique<RegTextStream>(
            std::make_unique<testing::MemoryFile>(backup.file), encoding, registry_.codePage());
#endif
        const bool v5 = encoding == RegTextStream::Encoding::kUtf16;
        EXPECT_TRUE(
            backup.stream->Append(v5 ? "Windows Registry Editor Version 5.00\n" : "REGEDIT4\n"));
        return backup;
    }

    // Imports the backup; `text` receives what it held.
    void Import(Backup& backup, std::string* text = nullptr) {
        ASSERT_TRUE(backup.stream->Close());
#ifdef _WIN32
        if (text != nullptr) {
            auto in = files_.OpenFile(backup.path, FileMode::kRead);
            ASSERT_TRUE(in);
            char block[4096];
            for (size_t n; (n = in->Read(block, sizeof block)) != 0;) text->append(block, n);
        }
        ASSERT_EQ(ImportWithRegedit(backup.path), status::kSuccess);
        files_.DeleteFile(backup.path);
#else
        regtext::Document doc;
        regtext::ParseError error;
        ASSERT_TRUE(regtext::Parse(backup.file->bytes, doc, error))
            << error.line << ": " << error.message;
        registry_.Apply(doc);
        if (text != nullptr) *text = backup.file->bytes;
#endif
    }
};

TEST_F(BackupRoundTripTest, DeletedTreesComeBackExactly) {
    int trees = 0, values = 0;
    for (int batch = 0; batch < kBatches; ++batch) {
        TreeMaker maker(registry_, 1000u + static_cast<uint32_t>(batch));
        for (int t = 0; t < kTreesPerBatch; ++t)
            maker.Make(Numbered(std::string(kBase) + "\\T", t));
        const TreeSnapshot before = Snapshot(registry_, hkey::kCurrentUser, kBase);
        ASSERT_GT(before.size(), static_cast<size_t>(kTreesPerBatch));

        // Every other batch in the version 5 form (UTF-16LE).
        Backup backup =
            Open(batch % 2 ? RegTextStream::Encoding::kUtf16 : RegTextStream::Encoding::kCodePage,
                 batch);
        EntryRemover remover(registry_, files_);
        remover.SetBackupStream(backup.stream.get());
        for (int t = 0; t < kTreesPerBatch; ++t) {
            const std::string tree = Numbered(std::string(kBase) + "\\T", t);
            if (t % 2 == 0) {
                ASSERT_EQ(remover.DeleteKeyTree(hkey::kCurrentUser, tree), EntryRemover::kDeleted)
                    << tree;
                ++trees;
                continue;
            }
            // The top key's values one by one, its subkeys as trees.
            for (const auto& [name, value] : before.at(Numbered("T", t))) {
                ASSERT_EQ(remover.DeleteValue(hkey::kCurrentUser, tree, name), status::kSuccess);
                ++values;
            }
            for (const auto& [path, keyValues] : before) {
                const std::string prefix = Numbered("T", t) + "\\";
                if (path.rfind(prefix, 0) != 0 ||
                    path.find('\\', prefix.size()) != std::string::npos)
                    continue;
                ASSERT_EQ(
                    remover.DeleteKeyTree(hkey::kCurrentUser, std::string(kBase) + "\\" + path),
                    EntryRemover::kDeleted);
                ++trees;
            }
        }
        const TreeSnapshot emptied = Snapshot(registry_, hkey::kCurrentUser, kBase);
        ASSERT_EQ(emptied.size(), 1u + kTreesPerBatch / 2);  // the base and the emptied keys
        Import(backup);
        const TreeSnapshot after = Snapshot(registry_, hkey::kCurrentUser, kBase);
        ASSERT_EQ(after.size(), before.size()) << "batch " << batch;
        for (const auto& [path, keyValues] : before) {
            ASSERT_EQ(after.count(path), 1u) << "batch " << batch << ": " << path;
            for (const auto& [name, value] : keyValues) {
                ASSERT_EQ(after.at(path).count(name), 1u) << path << " value " << name;
                EXPECT_TRUE(after.at(path).at(name) == value)
                    << "batch " << batch << ": " << path << " value \"" << name << "\" type "
                    << value.type << " size " << value.data.size() << ": "
                    << Difference(value, after.at(path).at(name));
            }
            EXPECT_EQ(after.at(path).size(), keyValues.size()) << path;
        }
        registry_.DeleteTree(hkey::kCurrentUser, kBase);
    }
    std::printf("%d trees and %d values deleted and restored\n", trees, values);
}

// The ANSI open functions take 260 bytes of path. A value in a key deeper
// than that is found by the File/Path walk, which opens each key below its
// parent; it is backed up, deleted and restored exactly, and so is a key
// whose own name takes its path past the limit (a long Uninstall entry).
TEST_F(BackupRoundTripTest, EntriesBeyondTheOpenPathLimitAreFoundDeletedAndRestored) {
    std::string deep = kBase;
    {
        RegKey key(registry_);
        ASSERT_EQ(key.Create(hkey::kCurrentUser, kBase, access::kAllAccess), status::kSuccess);
        for (char level = 'a'; level < 'e'; ++level) {
            const std::string name(80, level);
            RegKey child(registry_);
            ASSERT_EQ(child.Create(key.get(), name.c_str(), access::kAllAccess), status::kSuccess);
            key = std::move(child);
            deep += "\\" + name;
        }
        const std::string gone = "C:\\QmGone\\tool.exe /run";
        ASSERT_EQ(registry_.SetValue(key.get(), "Cmd", regtype::kSz,
                                     reinterpret_cast<const uint8_t*>(gone.c_str()),
                                     static_cast<uint32_t>(gone.size() + 1)),
                  status::kSuccess);
        RegKey entry(registry_);
        const std::string longName(230, 'u');
        ASSERT_EQ(entry.Create(hkey::kCurrentUser, (std::string(kBase) + "\\" + longName).c_str(),
                               access::kAllAccess),
                  status::kSuccess);
        ASSERT_EQ(registry_.SetValue(entry.get(), "DisplayName", regtype::kSz,
                                     reinterpret_cast<const uint8_t*>("x"), 2),
                  status::kSuccess);
    }
    ASSERT_GT(deep.size(), 300u);
    const TreeSnapshot before = Snapshot(registry_, hkey::kCurrentUser, kBase);

    FoundItemList items;
    ScanCounters counters;
    std::atomic<int> stop{0};
    ScanContext context{registry_, files_, items, counters, stop, nullptr};
    WalkFileReferences(context, hkey::kCurrentUser, kBase, std::string("HKCU\\") + kBase);
    std::vector<std::string> found;
    items.ForEach(
        [&](const FoundItem& item) { found.push_back(item.keyPath + "|" + item.valueName); });
    ASSERT_EQ(found, std::vector<std::string>{"HKCU\\" + deep + "|Cmd"});

    Backup backup = Open(RegTextStream::Encoding::kCodePage, 99);
    EntryRemover remover(registry_, files_);
    remover.SetBackupStream(backup.stream.get());
    EXPECT_EQ(remover.DeleteValue(hkey::kCurrentUser, deep, "Cmd"), status::kSuccess);
    EXPECT_EQ(remover.DeleteKeyTree(hkey::kCurrentUser,
                                    std::string(kBase) + "\\" + std::string(230, 'u')),
              EntryRemover::kDeleted);
    TreeSnapshot emptied = before;
    emptied.at(deep.substr(std::string(kBase).size() + 1)).clear();
    emptied.erase(std::string(230, 'u'));
    EXPECT_TRUE(Snapshot(registry_, hkey::kCurrentUser, kBase) == emptied);

    std::string text;
    Import(backup, &text);
    EXPECT_TRUE(Snapshot(registry_, hkey::kCurrentUser, kBase) == before);
    regtext::Document doc;
    regtext::ParseError error;
    ASSERT_TRUE(regtext::Parse(text, doc, error)) << error.message;
    EXPECT_TRUE(CheckImported(registry_, doc).complete) << CheckImported(registry_, doc).problem;
}

}  // namespace
}  // namespace qm
