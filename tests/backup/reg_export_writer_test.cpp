// The registry text export: its exact layout, every value's data form, and
// that an entry reaches the stream whole or not at all.
#include "backup/reg_export_writer.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/memory/memory_registry.h"
#include "platform/regtext/reg_text.h"
#include "tests/backup/memory_file.h"

namespace qm {
namespace {

using testing::MemoryFile;
using testing::MemoryFileState;

std::vector<uint8_t> Bytes(const std::string& text) {
    return std::vector<uint8_t>(text.begin(), text.end());
}

void Set(RegistryService& registry, HKey root, const std::string& path, const std::string& name,
         uint32_t type, const std::vector<uint8_t>& data) {
    RegKey key(registry);
    ASSERT_EQ(key.Create(root, path.c_str(), access::kAllAccess), status::kSuccess) << path;
    ASSERT_EQ(registry.SetValue(key.get(), name.c_str(), type, data.data(),
                                static_cast<uint32_t>(data.size())),
              status::kSuccess);
}

void MakeKey(RegistryService& registry, HKey root, const std::string& path) {
    RegKey key(registry);
    ASSERT_EQ(key.Create(root, path.c_str(), access::kAllAccess), status::kSuccess) << path;
}

struct Stream {
    std::shared_ptr<MemoryFileState> file = std::make_shared<MemoryFileState>();
    RegTextStream stream{std::make_unique<MemoryFile>(file), RegTextStream::Encoding::kCodePage};
};

TEST(RegExportWriterTest, WritesTheWorkedExampleLineForLine) {
    MemoryRegistry registry;
    Set(registry, hkey::kCurrentUser, "Software\\Demo", "", regtype::kSz, Bytes("C:\\demo"));
    Set(registry, hkey::kCurrentUser, "Software\\Demo\\A", "n", regtype::kDword, {1, 0, 0, 0});
    MakeKey(registry, hkey::kCurrentUser, "Software\\Demo\\A\\B");
    Stream out;
    ASSERT_EQ(RegExportWriter(registry).ExportKey(hkey::kCurrentUser, "Software\\Demo", out.stream),
              status::kSuccess);
    EXPECT_EQ(out.file->bytes,
              "[HKEY_CURRENT_USER\\Software\\Demo]\r\n"
              "\r\n"
              "[HKEY_CURRENT_USER\\Software\\Demo\\A]\r\n"
              "\"n\" = dword:00000001\r\n"
              "\r\n"
              "[HKEY_CURRENT_USER\\Software\\Demo\\A\\B]\r\n"
              "\r\n"
              "[HKEY_CURRENT_USER\\Software\\Demo]\r\n"
              "@ = \"C:\\\\demo\"\r\n");
    EXPECT_EQ(out.file->flushes, 1);

    // A key with nothing in it: its header line twice; one value: its own
    // section; names with a backslash or a quote are escaped.
    MakeKey(registry, hkey::kCurrentUser, "Software\\Empty");
    Set(registry, hkey::kLocalMachine, "SOFTWARE\\V", "a\\b \"c\"", regtype::kSz, Bytes("x"));
    std::string text;
    RegExportWriter writer(registry);
    ASSERT_EQ(writer.ExportKeyText(hkey::kCurrentUser, "Software\\Empty", text), status::kSuccess);
    ASSERT_EQ(writer.ExportValueText(hkey::kLocalMachine, "SOFTWARE\\V", "a\\b \"c\"", text),
              status::kSuccess);
    EXPECT_EQ(text,
              "[HKEY_CURRENT_USER\\Software\\Empty]\n\n[HKEY_CURRENT_USER\\Software\\Empty]\n"
              "\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\V]\n\"a\\\\b \\\"c\\\"\" = \"x\"\n");
}

TEST(RegExportWriterTest, EveryValueIsWrittenInAFormThatReadsBackExactly) {
    MemoryRegistry registry;
    const RegExportWriter writer(registry);
    const std::string zero(1, '\0');
    struct Case {
        uint32_t type;
        std::string data;
        const char* text;
    } cases[] = {
        {regtype::kSz, "C:\\a\\b" + zero, "\"C:\\\\a\\\\b\"\n"},
        {regtype::kSz, "say \"hi\"" + zero, "\"say \\\"hi\\\"\"\n"},
        {regtype::kSz, "\xe9t\xe9" + zero, "\"\xe9t\xe9\"\n"},
        // Bytes after the first zero, no zero at the end, nothing at all,
        // or a line break: quotes would lose or change bytes.
        {regtype::kSz, "a" + zero + "b" + zero, "hex(1):61,00,62,00,\n"},
        {regtype::kSz, "ab", "hex(1):61,62,\n"},
        {regtype::kSz, "", "hex(1):\n"},
        {regtype::kSz, "a\r\n" + zero, "hex(1):61,0d,0a,00,\n"},
        {regtype::kDword, std::string("\xff\0\0\0", 4), "dword:000000ff\n"},
        {regtype::kDword, "\x01\x02\x03", "hex(4):01,02,03,\n"},
        {regtype::kDword, std::string("\x01\0\0\0\0", 5), "hex(4):01,00,00,00,00,\n"},
        {regtype::kExpandSz, "%A%" + zero, "hex(2):25,41,25,00,\n"},
        {regtype::kMultiSz, "a" + zero + zero, "hex(7):61,00,00,\n"},
        {regtype::kBinary, "", "hex:\n"},
        {regtype::kNone, "", "hex(0):\n"},
        {5, "\x01\x02\x03\x04", "hex(5):01,02,03,04,\n"},
        {6, "L", "hex(6):4c,\n"},
        {8, "\x08", "hex(8):08,\n"},
        {10, "\x0a", "hex(a):0a,\n"},
        {regtype::kQword, std::string("\x01\0\0\0\0\0\0\0", 8),
         "hex(b):01,00,00,00,00,00,00,00,\n"},
        {0x12345678, "\x7f", "hex(12345678):7f,\n"},
    };
    for (const Case& c : cases) {
        const auto* data = reinterpret_cast<const uint8_t*>(c.data.data());
        const std::string text = writer.FormatValueData(c.type, data, c.data.size());
        EXPECT_EQ(text, c.text) << "type " << c.type;
        // And the reader gives back the very type and bytes.
        regtext::Document doc;
        regtext::ParseError error;
        ASSERT_TRUE(
            regtext::Parse("REGEDIT4\r\n[HKEY_CURRENT_USER\\x]\r\n\"v\" = " + text, doc, error))
            << error.message;
        ASSERT_EQ(doc.entries.size(), 2u);
        EXPECT_EQ(doc.entries[1].type, c.type);
        EXPECT_EQ(doc.entries[1].data, Bytes(c.data)) << text;
    }
    // In version 5 files text data is UTF-16LE.
    const std::string expand = "%\x80%" + zero;
    EXPECT_EQ(
        writer.FormatValueData(regtype::kExpandSz, reinterpret_cast<const uint8_t*>(expand.data()),
                               expand.size(), &CodePage::Windows1252()),
        "hex(2):25,00,ac,20,25,00,00,00,\n");
}

TEST(RegExportWriterTest, ByteListsBreakAfterEvery21stByteButNeverAfterTheLast) {
    MemoryRegistry registry;
    const RegExportWriter writer(registry);
    for (size_t n : {0, 1, 21, 22, 23, 42, 43, 44, 64, 65, 2048}) {
        std::vector<uint8_t> data(n);
        for (size_t i = 0; i < n; ++i) data[i] = static_cast<uint8_t>(i * 7);
        const std::string text = writer.FormatValueData(regtype::kBinary, data.data(), n);
        ASSERT_EQ(text.back(), '\n');
        // The registry editor drops a value whose list ends in a
        // continuation backslash (22, 43, 64 ... bytes).
        EXPECT_EQ(text.find("\\\n\n"), std::string::npos) << n;
        std::vector<std::string> lines;
        for (size_t start = 0; start < text.size();) {
            const size_t end = text.find('\n', start);
            lines.push_back(text.substr(start, end - start));
            start = end + 1;
        }
        size_t bytes = 0;
        for (size_t i = 0; i < lines.size(); ++i) {
            const bool last = i + 1 == lines.size();
            std::string line = lines[i];
            if (i == 0) line = line.substr(4);  // "hex:"
            ASSERT_EQ(!last, !line.empty() && line.back() == '\\') << n << ": line " << i;
            if (!last) line.pop_back();
            const size_t onLine = line.size() / 3;
            EXPECT_EQ(line.size(), onLine * 3);
            if (!last) {
                EXPECT_EQ(onLine, i == 0 ? 22u : 21u) << n << ": line " << i;
            }
            bytes += onLine;
        }
        EXPECT_EQ(bytes, n);
    }
}

TEST(RegExportWriterTest, AnEntryThatCannotBeReadInFullIsNotWrittenAtAll) {
    MemoryRegistry registry;
    Set(registry, hkey::kCurrentUser, "Software\\T", "v", regtype::kSz, Bytes("top"));
    Set(registry, hkey::kCurrentUser, "Software\\T\\ok", "v", regtype::kSz, Bytes("ok"));
    Set(registry, hkey::kCurrentUser, "Software\\T\\locked", "v", regtype::kSz, Bytes("no"));
    Set(registry, hkey::kCurrentUser, "Software\\T\\zz", "v", regtype::kSz, Bytes("after"));
    ASSERT_TRUE(registry.SetProtection(hkey::kCurrentUser, "Software\\T\\locked",
                                       MemoryRegistry::Protection::kUnreadable));
    Set(registry, hkey::kCurrentUser, "Software\\N", "two\nlines", regtype::kSz, Bytes("x"));
    MakeKey(registry, hkey::kCurrentUser, "Software\\K\\bad\rname");

    RegExportWriter writer(registry);
    Stream out;
    ASSERT_TRUE(out.stream.Append("REGEDIT4\n"));
    EXPECT_EQ(writer.ExportKey(0x1234, "Software\\T", out.stream), status::kInvalidHandle);
    EXPECT_EQ(writer.ExportKey(hkey::kCurrentUser, "Software\\Missing", out.stream),
              status::kFileNotFound);
    EXPECT_EQ(writer.ExportKey(hkey::kCurrentUser, "Software\\T", out.stream), status::kCantRead);
    EXPECT_EQ(writer.ExportKey(hkey::kCurrentUser, "Software\\N", out.stream),
              status::kInvalidName);
    EXPECT_EQ(writer.ExportKey(hkey::kCurrentUser, "Software\\K", out.stream),
              status::kInvalidName);
    EXPECT_EQ(writer.ExportValue(hkey::kCurrentUser, "Software\\T", "missing", out.stream),
              status::kFileNotFound);
    EXPECT_EQ(writer.ExportValue(hkey::kCurrentUser, "Software\\T\\locked", "v", out.stream),
              status::kAccessDenied);
    EXPECT_EQ(out.file->bytes, "REGEDIT4\r\n");
    EXPECT_EQ(out.file->flushes, 1);
    // What can be read still can be.
    EXPECT_EQ(writer.ExportValue(hkey::kCurrentUser, "Software\\T", "v", out.stream),
              status::kSuccess);
}

// A value of a root key itself: its section is the root's name alone, with
// no backslash after it, and it reads back as that root's value.
TEST(RegExportWriterTest, AValueOfARootKeyIsWrittenUnderTheRootsName) {
    MemoryRegistry registry;
    Set(registry, hkey::kCurrentUser, "", "top", regtype::kSz, Bytes("C:\\x"));
    std::string text;
    ASSERT_EQ(RegExportWriter(registry).ExportValueText(hkey::kCurrentUser, "", "top", text),
              status::kSuccess);
    EXPECT_EQ(text, "\n[HKEY_CURRENT_USER]\n\"top\" = \"C:\\\\x\"\n");
}

TEST(RegTextStreamTest, AFailedWriteOrFlushLeavesOnlyWholeEntries) {
    for (bool failFlush : {false, true}) {
        auto file = std::make_shared<MemoryFileState>();
        RegTextStream stream(std::make_unique<MemoryFile>(file),
                             RegTextStream::Encoding::kCodePage);
        ASSERT_TRUE(stream.Append("REGEDIT4\n"));
        ASSERT_TRUE(stream.Append("\n[HKEY_CURRENT_USER\\a]\n\"v\" = dword:00000001\n"));
        const std::string whole = file->bytes;
        if (failFlush)
            file->failFlush = true;
        else
            file->capacity = whole.size() + 20;  // the disk fills up inside the next entry
        EXPECT_FALSE(stream.Append("\n[HKEY_CURRENT_USER\\b]\n\"v\" = hex:01,02,03,04,05,06,\n"));
        EXPECT_TRUE(stream.failed());
        EXPECT_EQ(file->bytes, whole);
        file->capacity = std::numeric_limits<size_t>::max();
        file->failFlush = false;
        EXPECT_FALSE(stream.Append("\n[HKEY_CURRENT_USER\\c]\n"));
        EXPECT_FALSE(stream.Close());
        EXPECT_EQ(file->bytes, whole);
    }
}

}  // namespace
}  // namespace qm
