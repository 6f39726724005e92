// The writer's layout: what the registry editor itself writes.
#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "platform/regtext/reg_text.h"

namespace qm::regtext {
namespace {

using namespace std::string_literals;

Entry Key(HKey root, std::string path, Entry::Kind kind = Entry::Kind::kKey) {
    Entry e;
    e.kind = kind;
    e.root = root;
    e.keyPath = std::move(path);
    return e;
}

Entry Value(const Entry& key, std::string name, uint32_t type, const std::string& data) {
    Entry e;
    e.kind = Entry::Kind::kValue;
    e.root = key.root;
    e.keyPath = key.keyPath;
    e.name = std::move(name);
    e.type = type;
    e.data.assign(data.begin(), data.end());
    return e;
}

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    size_t start = 0;
    for (size_t end; (end = text.find("\r\n", start)) != std::string::npos; start = end + 2)
        lines.push_back(text.substr(start, end - start));
    EXPECT_EQ(start, text.size()) << "text does not end in CR LF";
    return lines;
}

TEST(RegTextWriter, WritesTheRegistryEditorsLayout) {
    Document doc;
    const Entry demo = Key(hkey::kCurrentUser, "Software\\Demo");
    doc.entries = {
        demo,
        Value(demo, "", 1, "C:\\demo\0"s),
        Value(demo, "n", 4, "\x01\0\0\0"s),
        Value(demo, "big", 4, "\xff\x00\x00\x80"s),
        Value(demo, "e", 2, "%A%\0"s),
        Value(demo, "b", 3, ""),
        Value(demo, "q", 11, "\x01\0\0\0\0\0\0\0"s),
        Value(demo, "s\\\"q", 1, "say \"hi\"\0"s),
        Value(demo, "line\r\nend\0"s, 1, "x\0"s),
        Key(hkey::kLocalMachine, ""),
        Key(hkey::kClassesRoot, "Old", Entry::Kind::kDeleteKey),
        Key(hkey::kUsers, ".DEFAULT"),
    };
    Entry gone = Value(doc.entries.back(), "gone", 0, "");
    gone.kind = Entry::Kind::kDeleteValue;
    doc.entries.push_back(gone);

    const std::vector<std::string> expected = {
        "REGEDIT4",
        "",
        "[HKEY_CURRENT_USER\\Software\\Demo]",
        "@=\"C:\\\\demo\"",
        "\"n\"=dword:00000001",
        "\"big\"=dword:800000ff",
        "\"e\"=hex(2):25,41,25,00",
        "\"b\"=hex:",
        "\"q\"=hex(b):01,00,00,00,00,00,00,00",
        "\"s\\\\\\\"q\"=\"say \\\"hi\\\"\"",
        "\"line\\r\\nend\\0\"=\"x\"",
        "",
        "[HKEY_LOCAL_MACHINE]",
        "",
        "[-HKEY_CLASSES_ROOT\\Old]",
        "",
        "[HKEY_USERS\\.DEFAULT]",
        "\"gone\"=-",
        "",
    };
    EXPECT_EQ(Lines(Write(doc, Format::kRegedit4)), expected);
}

TEST(RegTextWriter, TextThatWouldNotReadBackIsWrittenAsHex) {
    const Entry key = Key(hkey::kCurrentUser, "K");
    struct Case {
        uint32_t type;
        std::string data;
        std::string line;
    };
    const Case cases[] = {
        {1, "ok\0"s, "\"v\"=\"ok\""},
        {1, "\0"s, "\"v\"=\"\""},
        {1, "\xe9\x80\0"s, "\"v\"=\"\xe9\x80\""},
        {1, "", "\"v\"=hex(1):"},
        {1, "no end", "\"v\"=hex(1):6e,6f,20,65,6e,64"},
        {1, "two\0\0"s, "\"v\"=hex(1):74,77,6f,00,00"},
        {1, "a\0b\0"s, "\"v\"=hex(1):61,00,62,00"},
        {1, "a\nb\0"s, "\"v\"=hex(1):61,0a,62,00"},
        {1, "tab\t\0"s, "\"v\"=hex(1):74,61,62,09,00"},
        {4, "\1\0\0"s, "\"v\"=hex(4):01,00,00"},
        {4, "", "\"v\"=hex(4):"},
        {7, "a\0\0"s, "\"v\"=hex(7):61,00,00"},
        {0, "", "\"v\"=hex(0):"},
        {0xffffffff, "\xff", "\"v\"=hex(ffffffff):ff"},
    };
    for (const Case& c : cases) {
        Document doc;
        doc.entries = {key, Value(key, "v", c.type, c.data)};
        const std::vector<std::string> lines = Lines(Write(doc, Format::kRegedit4));
        ASSERT_EQ(lines.size(), 5u);
        EXPECT_EQ(lines[3], c.line);
    }
}

// Hex data is wrapped like the registry editor wraps it: a line is broken
// once it reaches 77 characters, leaving room for the '\' within 80 columns,
// and continues after a two-blank indent; the first line's share depends on
// the name's length.
TEST(RegTextWriter, WrapsHexDataBeforeColumn80) {
    const Entry key = Key(hkey::kCurrentUser, "K");
    struct Case {
        std::string name;
        size_t size;
        std::vector<size_t> perLine;
    };
    const Case cases[] = {
        {"b", 60, {23, 25, 12}},  // "b"=hex: is 8 characters
        {"b", 23, {23}},          // the last byte has no comma: no break yet
        {"b", 24, {23, 1}},
        {"", 48, {24, 24}},                  // @=hex: is 6 characters
        {std::string(100, 'n'), 3, {1, 2}},  // a long name: one byte, then the indent
    };
    for (const Case& c : cases) {
        Document doc;
        doc.entries = {key, Value(key, c.name, 3, std::string(c.size, '\x5a'))};
        const std::vector<std::string> lines = Lines(Write(doc, Format::kRegedit4));
        ASSERT_EQ(lines.size(), 4 + c.perLine.size()) << c.name << " " << c.size;
        for (size_t i = 0; i < c.perLine.size(); ++i) {
            const std::string& line = lines[3 + i];
            const bool last = i + 1 == c.perLine.size();
            EXPECT_EQ(line.back() == '\\', !last) << line;
            if (c.name.size() < 20) {
                EXPECT_LE(line.size(), 80u) << line;
            }
            if (i > 0) {
                EXPECT_EQ(line.substr(0, 3), "  5") << line;
            }
            size_t bytes = 0;
            for (size_t p = line.find("5a"); p != std::string::npos; p = line.find("5a", p + 2))
                ++bytes;
            EXPECT_EQ(bytes, c.perLine[i]) << line;
        }
    }
}

TEST(RegTextWriter, Version5IsUtf16WithTextTypesInUtf16) {
    Document doc;
    const Entry key = Key(hkey::kLocalMachine, "S\xe9");
    doc.entries = {key, Value(key, "\x80", 2, "%\x80%\0"s), Value(key, "b", 3, "\x80"),
                   Value(key, "s", 1, "\x81\0"s)};
    const std::string bytes = Write(doc, Format::kVersion5);
    ASSERT_GE(bytes.size(), 2u);
    ASSERT_EQ(bytes.substr(0, 2), "\xFF\xFE");
    ASSERT_EQ(bytes.size() % 2, 0u);
    std::u16string text;
    for (size_t i = 2; i < bytes.size(); i += 2)
        text.push_back(static_cast<char16_t>(static_cast<uint8_t>(bytes[i]) |
                                             (static_cast<uint8_t>(bytes[i + 1]) << 8)));
    EXPECT_EQ(text,
              u"Windows Registry Editor Version 5.00\r\n"
              u"\r\n"
              u"[HKEY_LOCAL_MACHINE\\S\u00e9]\r\n"
              u"\"\u20ac\"=hex(2):25,00,ac,20,25,00,00,00\r\n"
              u"\"b\"=hex:80\r\n"
              u"\"s\"=\"\u0081\"\r\n"
              u"\r\n");
}

TEST(RegTextWriter, ValuesWithoutTheirSectionGetOne) {
    // A value must never land under the wrong key: one whose key is not the
    // section being written starts a section of its own.
    Document doc;
    const Entry a = Key(hkey::kCurrentUser, "A");
    const Entry b = Key(hkey::kCurrentUser, "B");
    const Entry deleted = Key(hkey::kCurrentUser, "A", Entry::Kind::kDeleteKey);
    doc.entries = {Value(a, "1", 4, "\1\0\0\0"s), a, Value(b, "2", 4, "\2\0\0\0"s), deleted,
                   Value(a, "3", 4, "\3\0\0\0"s)};
    Document back;
    ParseError error;
    ASSERT_TRUE(Parse(Write(doc, Format::kRegedit4), back, error)) << error.message;
    std::ostringstream shape;
    for (const Entry& e : back.entries)
        shape << static_cast<int>(e.kind) << ':' << e.keyPath << ':' << e.name << ' ';
    EXPECT_EQ(shape.str(), "0:A: 2:A:1 0:A: 0:B: 2:B:2 1:A: 0:A: 2:A:3 ");
}

}  // namespace
}  // namespace qm::regtext
