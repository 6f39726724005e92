// The restore check: a registry text file against the in-memory registry.
#include "backup/restore_check.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "platform/memory/memory_registry.h"

namespace qm {
namespace {

regtext::Document Parsed(const std::string& text) {
    regtext::Document doc;
    regtext::ParseError error;
    EXPECT_TRUE(regtext::Parse(text, doc, error)) << error.line << ": " << error.message;
    return doc;
}

// The registry every case starts from.
constexpr const char* kRegistry =
    "REGEDIT4\n"
    "\n"
    "[HKEY_CURRENT_USER\\Software\\Demo]\n"
    "@=\"C:\\\\demo\"\n"
    "\"Count\"=dword:00000007\n"
    "\"Path\"=hex(2):25,41,25,00\n"
    "\"List\"=hex(7):61,00,62,00,00\n"
    "\"Bytes\"=hex:01,02,03\n"
    "\n"
    "[HKEY_CURRENT_USER\\Software\\Demo\\Sub]\n"
    "\"Name\"=\"caf\xE9\"\n"
    "\n"
    "[HKEY_CURRENT_USER\\Software\\Gone]\n"
    "\"x\"=\"1\"\n";

TEST(RestoreCheck, ComparesWhatTheImportWouldHaveStored) {
    struct Case {
        const char* what;
        std::string file;
        bool complete;
        size_t line;  // of the first difference
    };
    const std::string h = "REGEDIT4\n";
    const std::vector<Case> cases = {
        {"the same entries", kRegistry, true, 0},
        {"names in another case",
         h + "[HKEY_CURRENT_USER\\SOFTWARE\\demo\\SUB]\n\"NAME\"=\"caf\xE9\"\n", true, 0},
        {"text without its terminating zero",
         h + "[HKEY_CURRENT_USER\\Software\\Demo]\n\"Path\"=hex(2):25,41,25\n", true, 0},
        {"the key alone", h + "[HKEY_CURRENT_USER\\Software\\Demo\\Sub]\n", true, 0},
        {"a missing key", h + "[HKEY_CURRENT_USER\\Software\\Demo\\Other]\n", false, 2},
        {"a missing value", h + "\n[HKEY_CURRENT_USER\\Software\\Demo]\n\"Size\"=dword:1\n", false,
         4},
        {"other data", h + "[HKEY_CURRENT_USER\\Software\\Demo]\n\"Count\"=dword:00000008\n", false,
         3},
        {"other type, same bytes",
         h + "[HKEY_CURRENT_USER\\Software\\Demo]\n@=hex(2):43,3a,5c,64,65,6d,6f,00\n", false, 3},
        {"a longer binary", h + "[HKEY_CURRENT_USER\\Software\\Demo]\n\"Bytes\"=hex:01,02,03,00\n",
         false, 3},
        {"a key that should be gone", h + "[-HKEY_CURRENT_USER\\Software\\Gone]\n", false, 2},
        {"a key that is gone", h + "[-HKEY_CURRENT_USER\\Software\\Nowhere]\n", true, 0},
        {"a value that should be gone", h + "[HKEY_CURRENT_USER\\Software\\Gone]\n\"x\"=-\n", false,
         3},
        // A key made again after its deletion holds only what follows.
        {"deleted, then made again with what it holds",
         h + "[-HKEY_CURRENT_USER\\Software\\Demo\\Sub]\n[HKEY_CURRENT_USER\\Software\\Demo\\Sub]\n"
             "\"NAME\"=\"caf\xE9\"\n",
         true, 0},
        {"deleted, then made again, with values the deletion removed still there",
         h + "[-HKEY_CURRENT_USER\\Software\\Demo]\n[HKEY_CURRENT_USER\\Software\\Demo\\Sub]\n",
         false, 3},
        {"deleted, then made again, with a subkey the deletion removed still there",
         h + "[-HKEY_CURRENT_USER\\Software]\n[HKEY_CURRENT_USER\\Software\\Gone]\n\"x\"=\"1\"\n",
         false, 3},
        // Names match as the registry matches them, beyond ASCII too, and
        // HKEY_CLASSES_ROOT is HKEY_LOCAL_MACHINE\SOFTWARE\Classes.
        {"set, then deleted by its name in another case",
         h + "[HKEY_CURRENT_USER\\Software\\Demo]\n\"\x8A\"=\"1\"\n\"\x9A\"=-\n", true, 0},
        {"made in the classes root, then deleted below the machine's root",
         h + "[HKEY_CLASSES_ROOT\\Gone.Class]\n[-HKEY_LOCAL_MACHINE\\SOFTWARE\\Classes\\Gone.Class]"
             "\n",
         true, 0},
        {"deleted below a key that is checked",
         h + "[HKEY_CURRENT_USER\\Software\\Demo\\Sub\\Deep]\n\"v\"=\"1\"\n"
             "[-HKEY_CURRENT_USER\\Software\\Demo\\Sub]\n",
         false, 4},
        {"the last value line wins",
         h + "[HKEY_CURRENT_USER\\Software\\Demo]\n\"Count\"=dword:1\n\"Count\"=dword:7\n", true,
         0},
    };
    MemoryRegistry registry;
    registry.Apply(Parsed(kRegistry));
    for (const Case& c : cases) {
        const RestoreCheck check = CheckImported(registry, Parsed(c.file));
        EXPECT_EQ(check.complete, c.complete) << c.what << ": " << check.problem;
        EXPECT_EQ(check.line, c.line) << c.what << ": " << check.problem;
    }
    EXPECT_EQ(registry.OpenHandleCount(), 0u);
}

// A version 5 file holds its text in UTF-16LE; the registry, read through
// the ANSI functions, holds it in the code page.
TEST(RestoreCheck, ReadsBothFileFormsFromDisk) {
    MemoryRegistry registry;
    registry.Apply(Parsed(kRegistry));
    const regtext::Document doc = registry.Export(hkey::kCurrentUser, "Software\\Demo");
    ASSERT_FALSE(doc.entries.empty());

    struct MemoryProbe : FileProbe {
        std::string path, bytes;
        Existence CheckPath(const std::string&) override { return Existence::kMissing; }
        Existence FindOnPath(std::string&) override { return Existence::kMissing; }
        bool CanTellMissing(const std::string&) override { return true; }
        uint32_t ExpandEnvironment(const std::string&, std::string&, uint32_t) override {
            return 0;
        }
        bool SpecialFolder(int, std::string&) override { return false; }
        std::string ModuleFileName() override { return {}; }
        Status CreateFolder(const std::string&) override { return status::kAccessDenied; }
        Status DeleteFile(const std::string&) override { return status::kAccessDenied; }
        Status ListFolder(const std::string&, std::vector<FileEntry>&) override {
            return status::kPathNotFound;
        }
        std::unique_ptr<FileStream> OpenFile(const std::string& at, FileMode,
                                             Status* status) override {
            struct Reader : FileStream {
                std::string data;
                size_t at = 0;
                size_t Read(void* buffer, size_t size) override {
                    // A few bytes at a time, so the reader has to gather them.
                    const size_t n = std::min({size, data.size() - at, size_t{7}});
                    std::copy_n(data.data() + at, n, static_cast<char*>(buffer));
                    at += n;
                    return n;
                }
                bool Write(const void*, size_t) override { return false; }
                bool Flush() override { return false; }
            };
            if (at != path) {
                if (status != nullptr) *status = status::kFileNotFound;
                return nullptr;
            }
            auto reader = std::make_unique<Reader>();
            reader->data = bytes;
            return reader;
        }
    } files;
    files.path = "C:\\b.reg";
    for (auto format : {regtext::Format::kRegedit4, regtext::Format::kVersion5}) {
        files.bytes = regtext::Write(doc, format);
        EXPECT_EQ(files.bytes[0] == '\xFF', format == regtext::Format::kVersion5);
        EXPECT_TRUE(CheckImportedFile(registry, files, files.path).complete);
        // The same file with one character of a text changed.
        const std::string other = regtext::Write(
            Parsed(std::string("REGEDIT4\n") + "[HKEY_CURRENT_USER\\Software\\Demo\\Sub]\n"
                                               "\"Name\"=\"cafe\"\n"),
            format);
        files.bytes = other;
        EXPECT_FALSE(CheckImportedFile(registry, files, files.path).complete);
    }
    // Unreadable or unparsable files are never complete.
    files.bytes = "REGEDIT4\n[HKEY_CURRENT_USER\\Software\\Demo]\n\"x\"=dword:zz\n";
    RestoreCheck check = CheckImportedFile(registry, files, files.path);
    EXPECT_FALSE(check.complete);
    EXPECT_EQ(check.line, 3u);
    files.bytes.clear();
    EXPECT_FALSE(CheckImportedFile(registry, files, files.path).complete);
    EXPECT_FALSE(CheckImportedFile(registry, files, "C:\\other.reg").complete);
    EXPECT_EQ(registry.OpenHandleCount(), 0u);
}

}  // namespace
}  // namespace qm
