// Reader cases, most of them modelled on the registry editor's own import
// tests: what it takes, what it stores, and where our reader refuses a file
// that the registry editor would import only in part.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/regtext/reg_text.h"

namespace qm::regtext {
namespace {

using namespace std::string_literals;

std::vector<uint8_t> Bytes(const std::string& s) {
    return {s.begin(), s.end()};
}

// The file as UTF-16LE with a byte-order mark. `text` is ASCII or code-page
// text, one UTF-16 unit per byte.
std::string Wide(const std::string& text) {
    std::string out = "\xFF\xFE";
    for (char16_t unit : CodePage::Windows1252().ToUtf16(text)) {
        out.push_back(static_cast<char>(unit & 0xFF));
        out.push_back(static_cast<char>(unit >> 8));
    }
    return out;
}

const std::string kHead4 = "REGEDIT4\n\n[HKEY_CURRENT_USER\\Test]\n";
const std::string kHead5 = "Windows Registry Editor Version 5.00\n\n[HKEY_CURRENT_USER\\Test]\n";

Document MustParse(const std::string& file) {
    Document doc;
    ParseError error;
    EXPECT_TRUE(Parse(file, doc, error)) << "line " << error.line << ": " << error.message;
    return doc;
}

// ---------------------------------------------------------------------------
// Headers and line structure

TEST(RegTextReader, HeadersTheRegistryEditorAccepts) {
    struct Case {
        std::string file;
        Format format;
    };
    const Case cases[] = {
        {"REGEDIT4", Format::kRegedit4},
        {"REGEDIT4\n", Format::kRegedit4},
        {" REGEDIT4\r\n", Format::kRegedit4},
        {"\tREGEDIT4\r", Format::kRegedit4},
        {"Windows Registry Editor Version 5.00\n", Format::kVersion5},
        // The version 5 header in an 8-bit file, and either header in UTF-16.
        {Wide("Windows Registry Editor Version 5.00\r\n"), Format::kVersion5},
        {Wide("REGEDIT4\r\n"), Format::kRegedit4},
        {"\xEF\xBB\xBFREGEDIT4\n", Format::kRegedit4},
    };
    for (const Case& c : cases) {
        Document doc;
        ParseError error;
        EXPECT_TRUE(Parse(c.file, doc, error)) << c.file << ": " << error.message;
        EXPECT_EQ(doc.format, c.format) << c.file;
        EXPECT_TRUE(doc.entries.empty());
    }
}

TEST(RegTextReader, RefusesWrongHeaders) {
    struct Case {
        std::string file;
        size_t line;
    };
    const Case cases[] = {
        {"", 0},
        {"\xFF\xFE", 0},
        {"regedit4\n", 1},
        {"Regedit4\n", 1},
        {"REGEDIT\n", 1},  // the Windows 3.1 form
        {"REGEDIT4 FOO\n", 1},
        {"REGEDIT 4\n", 1},
        {"REGEDIT5\n", 1},
        {"\nREGEDIT4\n", 1},
        {"AREGEDIT4\n", 1},
        {"Windows Registry Editor Version 4.00\n", 1},
        {"WINDOWS REGISTRY EDITOR VERSION 5.00\n", 1},
        {"Windows Registry Editor version 5.00\n", 1},
        // UTF-16 without its byte-order mark.
        {"R\0E\0G\0E\0D\0I\0T\0004\0\n\0"s, 1},
        {"\xFE\xFFREGEDIT4", 0},  // big-endian
    };
    for (const Case& c : cases) {
        Document doc;
        ParseError error;
        EXPECT_FALSE(Parse(c.file, doc, error)) << c.file;
        EXPECT_EQ(error.line, c.line) << c.file;
        EXPECT_FALSE(error.message.empty());
    }
}

TEST(RegTextReader, LineEndsBlankLinesAndComments) {
    const std::string bodies[] = {
        "REGEDIT4\n[HKEY_CURRENT_USER\\A]\n\"v\"=\"x\"\n",
        "REGEDIT4\r\n[HKEY_CURRENT_USER\\A]\r\n\"v\"=\"x\"\r\n",
        "REGEDIT4\r[HKEY_CURRENT_USER\\A]\r\"v\"=\"x\"\r",
        "REGEDIT4\n\n\r\n\r;comment\n  #comment \"x\"=\"y\"\n[HKEY_CURRENT_USER\\A]\n"
        "\t;\"c\"=\"d\"\n\n\n\"v\"=\"x\"",
    };
    for (const std::string& body : bodies) {
        const Document doc = MustParse(body);
        ASSERT_EQ(doc.entries.size(), 2u) << body;
        EXPECT_EQ(doc.entries[1].name, "v");
        EXPECT_EQ(doc.entries[1].data, Bytes("x"s + '\0'));
    }
    // Line numbers count CR, LF and CR LF alike.
    const Document doc = MustParse("REGEDIT4\r\n\r\r\n\n[HKEY_USERS\\A]\r\n\"v\"=dword:1");
    ASSERT_EQ(doc.entries.size(), 2u);
    EXPECT_EQ(doc.entries[0].line, 5u);
    EXPECT_EQ(doc.entries[1].line, 6u);
}

// ---------------------------------------------------------------------------
// Keys

TEST(RegTextReader, KeySections) {
    struct Case {
        std::string line;
        Entry::Kind kind;
        HKey root;
        std::string path;
    };
    const Case cases[] = {
        {"[HKEY_LOCAL_MACHINE\\Software\\A]", Entry::Kind::kKey, hkey::kLocalMachine,
         "Software\\A"},
        {"[HKEY_LOCAL_MACHINE]", Entry::Kind::kKey, hkey::kLocalMachine, ""},
        {"[HKEY_LOCAL_MACHINE\\]", Entry::Kind::kKey, hkey::kLocalMachine, ""},
        {"[hkey_CURRENT_user\\A\\]", Entry::Kind::kKey, hkey::kCurrentUser, "A"},
        {"[HKLM\\A\\\\B\\\\]", Entry::Kind::kKey, hkey::kLocalMachine, "A\\B"},
        {"[hkcr\\.txt]", Entry::Kind::kKey, hkey::kClassesRoot, ".txt"},
        {"[HKU\\.DEFAULT]", Entry::Kind::kKey, hkey::kUsers, ".DEFAULT"},
        {"[HKCC\\System]", Entry::Kind::kKey, hkey::kCurrentConfig, "System"},
        {"  [HKEY_CURRENT_USER\\A]  ", Entry::Kind::kKey, hkey::kCurrentUser, "A"},
        {"[HKEY_CURRENT_USER\\A] ;comment", Entry::Kind::kKey, hkey::kCurrentUser, "A"},
        // Key names keep blanks, quotes, brackets and slashes.
        {"[HKEY_CURRENT_USER\\Sub key1c ]", Entry::Kind::kKey, hkey::kCurrentUser, "Sub key1c "},
        {"[HKEY_CURRENT_USER\\A\t]", Entry::Kind::kKey, hkey::kCurrentUser, "A\t"},
        {"[HKEY_CURRENT_USER\\Subkey\"1]", Entry::Kind::kKey, hkey::kCurrentUser, "Subkey\"1"},
        {"[HKEY_CURRENT_USER\\a]b]", Entry::Kind::kKey, hkey::kCurrentUser, "a]b"},
        {"[HKEY_CURRENT_USER\\[x]]", Entry::Kind::kKey, hkey::kCurrentUser, "[x]"},
        {"[HKEY_CURRENT_USER\\https://winehq.org]", Entry::Kind::kKey, hkey::kCurrentUser,
         "https://winehq.org"},
        {"[HKEY_CURRENT_USER\\-x]", Entry::Kind::kKey, hkey::kCurrentUser, "-x"},
        {"[-HKEY_CURRENT_USER\\A\\B]", Entry::Kind::kDeleteKey, hkey::kCurrentUser, "A\\B"},
        {"[-hKeY_cUrReNt_UsEr\\sUbKeY3B]", Entry::Kind::kDeleteKey, hkey::kCurrentUser, "sUbKeY3B"},
    };
    for (const Case& c : cases) {
        const Document doc = MustParse("REGEDIT4\n" + c.line + "\n");
        ASSERT_EQ(doc.entries.size(), 1u) << c.line;
        const Entry& e = doc.entries[0];
        EXPECT_EQ(e.kind, c.kind) << c.line;
        EXPECT_EQ(e.root, c.root) << c.line;
        EXPECT_EQ(e.keyPath, c.path) << c.line;
        EXPECT_EQ(e.line, 2u);
    }
}

TEST(RegTextReader, ValuesBelongToTheirSection) {
    const Document doc = MustParse(
        "REGEDIT4\n[HKEY_CURRENT_USER\\A]\n\"a\"=dword:1\n[HKEY_LOCAL_MACHINE\\B]\n"
        "@=\"b\"\n[-HKEY_LOCAL_MACHINE\\C]\n[HKEY_USERS]\n\"c\"=-\n");
    ASSERT_EQ(doc.entries.size(), 7u);
    EXPECT_EQ(doc.entries[1].root, hkey::kCurrentUser);
    EXPECT_EQ(doc.entries[1].keyPath, "A");
    EXPECT_EQ(doc.entries[3].root, hkey::kLocalMachine);
    EXPECT_EQ(doc.entries[3].keyPath, "B");
    EXPECT_EQ(doc.entries[6].kind, Entry::Kind::kDeleteValue);
    EXPECT_EQ(doc.entries[6].root, hkey::kUsers);
    EXPECT_EQ(doc.entries[6].keyPath, "");
    EXPECT_EQ(doc.entries[6].name, "c");
}

// ---------------------------------------------------------------------------
// Values: one value line (or continued lines) below a key section each.

struct ValueCase {
    std::string text;  // the lines after the section header
    std::string name;
    uint32_t type;
    std::string data;
};

void ExpectValue(const std::string& head, const ValueCase& c) {
    Document doc;
    ParseError error;
    ASSERT_TRUE(Parse(head + c.text, doc, error))
        << c.text << "\nline " << error.line << ": " << error.message;
    ASSERT_EQ(doc.entries.size(), 2u) << c.text;
    const Entry& e = doc.entries[1];
    EXPECT_EQ(e.kind, Entry::Kind::kValue) << c.text;
    EXPECT_EQ(e.name, c.name) << c.text;
    EXPECT_EQ(e.type, c.type) << c.text;
    EXPECT_EQ(e.data, Bytes(c.data)) << c.text;
    EXPECT_EQ(e.line, 4u) << c.text;
}

TEST(RegTextReader, NamesStringsAndEscapes) {
    const ValueCase cases[] = {
        {"\"Wine\"=\"Test Value\"", "Wine", 1, "Test Value\0"s},
        {"@=\"Test\"", "", 1, "Test\0"s},
        {"@ \t= \t\"Test\"", "", 1, "Test\0"s},
        {"\"\"=\"Default Value Name\"", "", 1, "Default Value Name\0"s},
        {"  \"a\"  =  \"b\"  ", "a", 1, "b\0"s},
        {"\"Empty string\"=\"\"", "Empty string", 1, "\0"s},
        {"\"double\\\"quote\"=\"valid \\\"or\\\" not\"", "double\"quote", 1, "valid \"or\" not\0"s},
        {"\"single'quote\"=\"x\"", "single'quote", 1, "x\0"s},
        {"\"Wine\\\\31\"=\"C:\\\\a\\\\b\"", "Wine\\31", 1, "C:\\a\\b\0"s},
        {"\"123/\\\"4;'5\"=\"Random value name\"", "123/\"4;'5", 1, "Random value name\0"s},
        {"\"nl\"=\"a\\nb\\rc\"", "nl", 1, "a\nb\rc\0"s},
        {"\"nul\"=\"a\\0b\"", "nul", 1, "a\0b\0"s},
        {"\"Wine69a\"=\"\\\\0\"", "Wine69a", 1, "\\0\0"s},
        {"\"other\"=\"\\q\"", "other", 1, "q\0"s},
        {"\"x\"=\"#comment1\"", "x", 1, "#comment1\0"s},
        {"\"x\"=\"Value ;comment6\"", "x", 1, "Value ;comment6\0"s},
        {"\"x\"=\"Value 2\";comment", "x", 1, "Value 2\0"s},
        {"\"x\"=\"Value1\"\t\t;comment", "x", 1, "Value1\0"s},
        {"\"hi\"=\"\xE9\x80\x81\xFF\"", "hi", 1, "\xE9\x80\x81\xFF\0"s},
    };
    for (const ValueCase& c : cases) ExpectValue(kHead4, c);
}

TEST(RegTextReader, Dwords) {
    const ValueCase cases[] = {
        {"\"a\"=dword:00000782", "a", 4, "\x82\x07\0\0"s},
        {"\"a\"=dword:1", "a", 4, "\x01\0\0\0"s},
        {"\"a\"=dword:4444", "a", 4, "\x44\x44\0\0"s},
        {"\"a\"=dword:FFFFFFFF", "a", 4, "\xFF\xFF\xFF\xFF"s},
        {"\"a\"=dword:12345678", "a", 4, "\x78\x56\x34\x12"s},
        {"\"a\"=dword:1234;5678", "a", 4, "\x34\x12\0\0"s},
        {"\"a\"=dword:1234 ;5678", "a", 4, "\x34\x12\0\0"s},
        {"\"a\"=dword: 00000004 ", "a", 4, "\x04\0\0\0"s},
    };
    for (const ValueCase& c : cases) ExpectValue(kHead4, c);
}

TEST(RegTextReader, HexData) {
    const ValueCase cases[] = {
        {"\"a\"=hex:11,22,33,44,55,66,77,88", "a", 3, "\x11\x22\x33\x44\x55\x66\x77\x88"},
        {"\"a\"=hex:", "a", 3, ""},
        {"\"a\"=hex: ;comment", "a", 3, ""},
        {"\"a\"=hex:1,a,FF", "a", 3, "\x01\x0a\xff"},
        {"\"a\"=hex:01, 02,\t03", "a", 3, "\x01\x02\x03"},
        {"\"a\"=hex(2):25,50,41,54,48,25,00,", "a", 2, "%PATH%\0"s},
        {"\"a\"=hex(2):25,50,41,54,48,25,00  ;comment", "a", 2, "%PATH%\0"s},
        {"\"a\"=hex(2):25,50,41,54,48,25", "a", 2, "%PATH%"},  // stored as written
        {"\"a\"=hex(0):56,61,6c,75,65,00", "a", 0, "Value\0"s},
        {"\"a\"=hex(0):", "a", 0, ""},
        {"\"a\"=hex(4):", "a", 4, ""},
        {"\"a\"=hex(1):", "a", 1, ""},
        {"\"a\"=hex(10):56", "a", 0x10, "V"},
        {"\"a\"=hex(abcd):", "a", 0xabcd, ""},
        {"\"a\"=hex(7fffffff):00", "a", 0x7fffffff, "\0"s},
        {"\"a\"=hex(ffffffff):00", "a", 0xffffffff, "\0"s},
        {"\"a\"=hex(000000002):00", "a", 2, "\0"s},
        {"\"a\"=hex(b):01,00,00,00,00,00,00,00", "a", 11, "\x01\0\0\0\0\0\0\0"s},
    };
    for (const ValueCase& c : cases) ExpectValue(kHead4, c);
}

TEST(RegTextReader, ContinuationLines) {
    const std::string concat = "Line concatenation\0\0"s;
    const ValueCase cases[] = {
        {"\"a\"=hex(7):4c,69,6e,65,20,\\\n  63,6f,6e,63,61,74,65,6e,61,74,69,6f,6e,00,00", "a", 7,
         concat},
        // A comment after the '\', and ';' comments and blank lines between parts.
        {"\"a\"=hex(7):4c,69,6e,65,20,\\\n  63,6f,6e,\\;comment\n  63,61,74,\\;#comment\n"
         "  65,6e,61,74,69,6f,6e,00,00",
         "a", 7, concat},
        {"\"a\"=hex(7):4c,69,6e,65,20,\\\n  63,6f,6e,\\;comment\n  63,61,74,\\\n\n"
         "  65,6e,\\;comment\n\n  61,74,69,6f,6e,00,00",
         "a", 7, concat},
        {"\"a\"=hex(7):4c,69,6e,65,20,\\\n  63,6f,6e,63,61,74,\\\n;comment\n  65,6e,\\\n"
         "  ;comment\n \t\n\t \t\n  61,74,69,6f,6e,00,00",
         "a", 7, concat},
        {"\"a\"=hex(7):4c,69,6e,65,20,  \\\n  63,6f,6e,63,61,74,65,6e,61,74,69,6f,6e,00,00", "a", 7,
         concat},
        {"\"a\"=hex(7):4c,69,6e,65,20,\t\\\t ;c\n63,6f,6e,63,61,74,65,6e,61,74,69,6f,6e,00,00", "a",
         7, concat},
        // The value ends at a line without '\'.
        {"\"a\"=hex:11,22,33,44,\\;comment\n  55,66,;comment", "a", 3, "\x11\x22\x33\x44\x55\x66"},
        {"\"a\"=hex(2):\\\n  25,48,4f,4d,45,25,00", "a", 2, "%HOME%\0"s},
        {"\"a\"=hex(2):25,48,4f,4d,45,25,5c,\\\n  25,50,41,54,48,25,00", "a", 2,
         "%HOME%\\%PATH%\0"s},
        // A '\' on the file's last line: the value is complete at the end.
        {"\"a\"=hex(0):56,61,6c,75,65,\\", "a", 0, "Value"},
        {"\"a\"=hex:11,\\\n\n", "a", 3, "\x11"},
    };
    for (const ValueCase& c : cases) ExpectValue(kHead4, c);
}

TEST(RegTextReader, Version5TextIsConvertedToTheCodePage) {
    // Strings and names come from UTF-16; hex(1), hex(2) and hex(7) data are
    // UTF-16LE bytes, other types stay as they are.
    const ValueCase cases[] = {
        {"\"n\"=\"text\"", "n", 1, "text\0"s},
        {"\"a\"=hex(2):25,00,50,00,41,00,54,00,48,00,25,00,00,00", "a", 2, "%PATH%\0"s},
        {"\"a\"=hex(7):4c,00,00,00,00,00", "a", 7, "L\0\0"s},
        {"\"a\"=hex(1):41,00,42", "a", 1, "A"},  // the odd last byte is dropped
        {"\"a\"=hex(1):ac,20,81,00,00,01,3d,d8,00,de", "a", 1, "\x80\x81???"},
        {"\"a\"=hex(3):41,00,42", "a", 3, "A\0B"s},
        {"\"a\"=hex(0):41,00", "a", 0, "A\0"s},
        {"\"a\"=hex(7):", "a", 7, ""},
    };
    for (const ValueCase& c : cases)
        ExpectValue(Wide(kHead5), {Wide(c.text).substr(2), c.name, c.type, c.data});
    // Non-ASCII text: code-page characters come through, others become '?'.
    std::string file = "\xFF\xFE";
    auto add = [&](std::u16string_view s) {
        for (char16_t u : s) {
            file.push_back(static_cast<char>(u & 0xFF));
            file.push_back(static_cast<char>(u >> 8));
        }
    };
    add(u"Windows Registry Editor Version 5.00\r\n[HKEY_CURRENT_USER\\K\u00e9\u20ac\u4e2d]\r\n"
        u"\"\u0160\u0081\"=\"\u2122\U0001F600x\"\r\n");
    const Document doc = MustParse(file);
    ASSERT_EQ(doc.entries.size(), 2u);
    EXPECT_EQ(doc.entries[0].keyPath, "K\xE9\x80?");
    EXPECT_EQ(doc.entries[1].name, "\x8A\x81");
    EXPECT_EQ(doc.entries[1].data, Bytes("\x99??x\0"s));
}

TEST(RegTextReader, EightBitFilesKeepHexTextAsBytes) {
    // Whatever the header, hex(2) data in an 8-bit file is code-page bytes.
    ExpectValue("Windows Registry Editor Version 5.00\n\n[HKEY_CURRENT_USER\\Test]\n",
                {"\"a\"=hex(2):25,00,50,00", "a", 2, "%\0P\0"s});
    // A UTF-8 file: its text is decoded, its hex data are bytes.
    const Document doc =
        MustParse("\xEF\xBB\xBFREGEDIT4\n[HKCU\\\xC3\xA9]\n\"\xE2\x82\xAC\"=hex(1):e9,00\n");
    ASSERT_EQ(doc.entries.size(), 2u);
    EXPECT_EQ(doc.entries[0].keyPath, "\xE9");
    EXPECT_EQ(doc.entries[1].name, "\x80");
    EXPECT_EQ(doc.entries[1].data, Bytes("\xE9\0"s));
}

TEST(RegTextReader, Deletions) {
    const std::string lines[] = {"\"Wine46a\"=-", "\"Wine46b\"=  -", "\"Wine46c\"=  \t-\t  ",
                                 "\"Wine46e\"=- ;comment", "@=-"};
    for (const std::string& line : lines) {
        const Document doc = MustParse(kHead4 + line + "\n");
        ASSERT_EQ(doc.entries.size(), 2u) << line;
        EXPECT_EQ(doc.entries[1].kind, Entry::Kind::kDeleteValue) << line;
        EXPECT_TRUE(doc.entries[1].data.empty());
    }
}

// An excerpt of what Wine's "regedit /e" writes for a fresh prefix: UTF-16,
// wrapped hex(2) and hex(7) data, device property types such as
// hex(ffff0007), and a key name outside the code page.
TEST(RegTextReader, ReadsAWineExport) {
    const std::u16string text =
        u"Windows Registry Editor Version 5.00\r\n"
        u"\r\n"
        u"[HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Windows\\CurrentVersion]\r\n"
        u"\"CommonFilesDir\"=\"C:\\\\Program Files\\\\Common Files\"\r\n"
        u"\"FirstInstallDateTime\"=hex:21,81,7c,23\r\n"
        u"\"ProgramFilesPath\"=hex(2):25,00,50,00,72,00,6f,00,67,00,72,00,61,00,6d,00,46,\\\r\n"
        u"  00,69,00,6c,00,65,00,73,00,25,00,00,00\r\n"
        u"\"RegisteredOrganization\"=\"\"\r\n"
        u"\r\n"
        u"[HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Cryptography\\OID\\EncodingType 1\\"
        u"CertDllVerifyRevocation\\DEFAULT]\r\n"
        u"\"Dll\"=hex(7):63,00,72,00,79,00,70,00,74,00,6e,00,65,00,74,00,2e,00,64,00,6c,00,\\\r\n"
        u"  6c,00,00,00,00,00\r\n"
        u"\r\n"
        u"[HKEY_LOCAL_MACHINE\\System\\CurrentControlSet\\Enum\\DISPLAY\\Default_Monitor\\"
        u"0000&0000\\Properties\\{233a9ef3-afc4-4abd-b564-c32f21f1535b}\\0002]\r\n"
        u"@=hex(ffff0007):03,00,00,00\r\n"
        u"\r\n"
        u"[HKEY_USERS\\S-1-5-21-0-0-0-1000\\Control Panel\\International\\\U0001F30E]\r\n"
        u"\"Currencies\"=\"USD\"\r\n"
        u"\"~MHz\"=dword:00000830\r\n"
        u"\r\n";
    std::string file = "\xFF\xFE";
    for (char16_t unit : text) {
        file.push_back(static_cast<char>(unit & 0xFF));
        file.push_back(static_cast<char>(unit >> 8));
    }
    const Document doc = MustParse(file);
    ASSERT_EQ(doc.entries.size(), 12u);
    EXPECT_EQ(doc.format, Format::kVersion5);
    EXPECT_EQ(doc.entries[1].data, Bytes("C:\\Program Files\\Common Files\0"s));
    EXPECT_EQ(doc.entries[3].type, 2u);
    EXPECT_EQ(doc.entries[3].data, Bytes("%ProgramFiles%\0"s));
    EXPECT_EQ(doc.entries[4].data, Bytes("\0"s));
    EXPECT_EQ(doc.entries[5].keyPath,
              "Software\\Microsoft\\Cryptography\\OID\\EncodingType 1\\"
              "CertDllVerifyRevocation\\DEFAULT");
    EXPECT_EQ(doc.entries[6].data, Bytes("cryptnet.dll\0\0"s));
    EXPECT_EQ(doc.entries[8].type, 0xffff0007u);
    EXPECT_EQ(doc.entries[8].data, Bytes("\3\0\0\0"s));
    EXPECT_EQ(doc.entries[9].root, hkey::kUsers);
    EXPECT_EQ(doc.entries[9].keyPath, "S-1-5-21-0-0-0-1000\\Control Panel\\International\\??");
    EXPECT_EQ(doc.entries[11].data, Bytes("\x30\x08\0\0"s));
    EXPECT_EQ(doc.entries[11].line, 19u);
}

// ---------------------------------------------------------------------------
// Malformed files: refused whole, with the line of the fault.

TEST(RegTextReader, RefusesMalformedFilesAtTheRightLine) {
    struct Case {
        std::string body;  // after kHead4 (lines 1 to 3)
        size_t line;
    };
    const Case cases[] = {
        // Values and text outside sections.
        {"junk\n", 4},
        {"NameNoQuotes=\"Asdffdsa\"\n", 4},
        {"NameNoBeginQuote\"=\"x\"\n", 4},
        {"[-HKEY_CURRENT_USER\\X]\n\"Wine46a\"=dword:12345678\n", 5},
        // Names and strings.
        {"\"NameNoEndQuote=\"Asdffdsa\"\n", 4},
        {"\"MixedQuotes=Asdffdsa\"\n", 4},
        {"\"TestNoEndQuote\"=\"Asdffdsa\n", 4},
        {"\"TestNoBeginQuote\"=Asdffdsa\"\n", 4},
        {"\"TestNoQuotes\"=Asdffdsa\n", 4},
        {"\"Test38a\"=\n", 4},
        {"\"Test38b\"=\\\"\n", 4},
        {"\"Wine37a\"=\"foo\"bar\"\n", 4},
        {"\"Wine37b\"=\"foo\"\"bar\"\n", 4},
        {"\"Wine18\"=\"Value 6\"#\"Comment5\"=\"Value 5\"\n", 4},
        {"\"Wine39c\"=\"Value3\"  #comment\n", 4},
        {"\"Wine41b\"=\"Test \\\nValue\"\n", 4},
        {"\"Wine\\\n42a\"=\"Value 1\"\n", 4},
        {"\"Wine20\"=#\"Value 8\"\n", 4},
        {"\"Wine21\"=;\"Value 9\"\n", 4},
        {"@x=\"y\"\n", 4},
        {"\"a\"\n", 4},
        {"\"Wine46d\"=-\"Test\"\n", 4},
        {"\"Wine46f\"=- #comment\n", 4},
        {"\"a\"=str:\"x\"\n", 4},
        {"\"a\"=\"x\0y\"\n"s, 4},
        // Dwords.
        {"\"Wine33a\"=dword:\n", 4},
        {"\"Wine33b\"=dword:hello\n", 4},
        {"\"Wine33c\"=dword:123456789\n", 4},
        {"\"Wine33e\"=dword:000000001\n", 4},
        {"\"Wine34a\"=dword:12345678abc\n", 4},
        {"\"Wine34b\"=dword:12345678 abc\n", 4},
        {"\"Wine35a\"=dword:0x123\n", 4},
        {"\"Wine35b\"=dword:123 456\n", 4},
        {"\"Wine36c\"=dword:1234#5678\n", 4},
        {"\"Wine12\"=dword:01020304 #comment\n", 4},
        {"\"Wine41a\"=dword:1234\\\n5678\n", 4},
        {"\"a\"=DWORD:1\n", 4},
        // Hex types and bytes.
        {"\"Wine47i\"=hex(100000000):56\n", 4},
        {"\"Wine47j\"=hex(0x2):56\n", 4},
        {"\"Wine47l\"=hex(x2):56\n", 4},
        {"\"a\"=hex():56\n", 4},
        {"\"a\"=hex(2)56\n", 4},
        {"\"a\"=HEX:56\n", 4},
        {"\"Wine51a\"=hex(0):25,50,100,54\n", 4},
        {"\"a\"=hex:1g\n", 4},
        {"\"a\"=hex:11 22\n", 4},
        {"\"a\"=hex:11 ,22\n", 4},
        {"\"a\"=hex:11,,22\n", 4},
        {"\"Wine52k\"=hex(2):,\\\n  25,00\n", 4},
        {"\"Wine50c\"=hex(2):25,00  #comment\n", 4},
        {"\"Wine52a\"=hex(2):25,48\\,4f\n", 4},
        {"\"Wine52b\"=hex(2):25,48,\\4f,4d\n", 4},
        {"\"Wine52g\"=hex(2):25,48,4\\f,4d\n", 4},
        {"\"Wine61a\"=hex(0):25,48,/\n", 4},
        // Continuations.
        {"\"Multi-Line3\"=hex(7):4c,69,6e,65,20\\\n,63,00\n", 4},
        {"\"Multi-Line9\"=hex(7):4c,69,\\\n  63,\\#comment\n  65,00\n", 5},
        {"\"Wine14\"=hex(7):4c,69,\\\n  #comment\n  63,00\n", 5},
        {"\"Wine43c\"=hex(0):56,00\\\n,75,00\n", 4},
        {"\"Wine63a\"=hex(7):4c,\\\n  ,63,00\n", 5},
        {"\"Wine63b\"=hex(7):4c,\\\n  63,,6f\n", 5},
        {"\"Wine59a\"=hex:11,22,33,\\\n\\\n  44\n", 5},
        {"\"Wine59b\"=hex:11,22,33,\\\n  \\\n  44\n", 5},
        {"\"Wine52h\"=hex(2):25,48,4\\\n  f,4d\n", 4},
        // A value or key line where the rest of a continued value belongs.
        {"\"Wine55a\"=hex(2):4c,69,\\\n\"Wine55b\"=\"Test value\"\n", 5},
        {"\"Wine55g\"=hex(2):4c,69,\\\n\n\"Wine55h\"=\"Test value\"\n", 6},
        {"\"Wine54a\"=hex(2):4c,69,\\\n[HKEY_CURRENT_USER\\Test\\Subkey1]\n", 5},
        {"\"Wine58a\"=hex(2):4c,69,\\\n;comment\n@=\"Default value 2\"\n", 6},
        // Key lines.
        {"[HKEY_CURRENT_USER\\No_Closing_Bracket\n", 4},
        {"HKEY_CURRENT_USER\\No_Opening_Bracket]\n", 4},
        {"[ HKEY_CURRENT_USER\\Subkey1a]\n", 4},
        {"[\tHKEY_CURRENT_USER\\Subkey1b]\n", 4},
        {"[ -HKEY_CURRENT_USER\\Subkey2a]\n", 4},
        {"[- HKEY_CURRENT_USER\\Subkey2a]\n", 4},
        {"[HKEY_CURRENT_USERS\\Subkey4b]\n", 4},
        {"[\\HKEY_CURRENT_USER\\X]\n", 4},
        {"[]\n", 4},
        {"[-HKEY_CURRENT_USER]\n", 4},
        {"[-HKEY_CURRENT_USER\\]\n", 4},
        {"[HKEY_CURRENT_USER\\A] x\n", 4},
        {"[HKEY_CURRENT_USER\\Test\n\\Subkey2]\n", 4},
        // Later faults are found too: the whole file is read first.
        {"\"ok\"=dword:1\n\n\n\"bad\"=dword:\n", 7},
        {"\"ok\"=\"1\"\r\n\r\"bad\"\r\n", 6},
    };
    for (const Case& c : cases) {
        Document doc;
        ParseError error;
        doc.entries.resize(3);  // left empty on failure
        EXPECT_FALSE(Parse(kHead4 + c.body, doc, error)) << c.body;
        EXPECT_EQ(error.line, c.line) << c.body << "\n" << error.message;
        EXPECT_FALSE(error.message.empty());
        EXPECT_TRUE(doc.entries.empty()) << c.body;
    }
}

TEST(RegTextReader, ValueBeforeAnyKeyIsRefused) {
    Document doc;
    ParseError error;
    EXPECT_FALSE(Parse("REGEDIT4\n\n\"a\"=\"b\"\n", doc, error));
    EXPECT_EQ(error.line, 3u);
}

TEST(RegTextReader, BrokenEncodingsAreRefused) {
    Document doc;
    ParseError error;
    // UTF-16 with an odd byte count.
    EXPECT_FALSE(Parse(Wide("REGEDIT4\r\n\r\n[HKCU\\A]") + "x", doc, error));
    EXPECT_EQ(error.line, 3u);
    // Invalid UTF-8 on line 2: a stray continuation byte, then a truncated sequence.
    EXPECT_FALSE(Parse("\xEF\xBB\xBFREGEDIT4\n[HKCU\\\x80]\n", doc, error));
    EXPECT_EQ(error.line, 2u);
    EXPECT_FALSE(Parse("\xEF\xBB\xBFREGEDIT4\n\n[HKCU\\\xC3", doc, error));
    EXPECT_EQ(error.line, 3u);
    // Overlong encoding of '/'.
    EXPECT_FALSE(Parse("\xEF\xBB\xBFREGEDIT4\n[HKCU\\\xC0\xAF]\n", doc, error));
    EXPECT_EQ(error.line, 2u);
}

// A Wine export of a whole prefix has some two hundred thousand lines; the
// reader must stay linear. A large file of long continued values is read in
// one pass (a quadratic reader would not finish within the test's time).
TEST(RegTextReader, LargeFilesAreReadInOnePass) {
    std::string file = "REGEDIT4\r\n";
    const size_t keys = 20000;
    for (size_t k = 0; k < keys; ++k) {
        file += "\r\n[HKEY_LOCAL_MACHINE\\Software\\K";
        file += std::to_string(k);
        file += "]\r\n";
        file += "\"s\"=\"some text value\"\r\n\"b\"=hex:";
        for (int line = 0; line < 10; ++line) file += "00,01,02,03,04,05,06,07,08,09,\\\r\n  ";
        file += "ff\r\n";
    }
    const Document doc = MustParse(file);
    ASSERT_EQ(doc.entries.size(), keys * 3);
    EXPECT_EQ(doc.entries.back().data.size(), 101u);
    const std::string lastPath = std::string("Software\\K") += std::to_string(keys - 1);
    EXPECT_EQ(doc.entries.back().keyPath, lastPath);
}

}  // namespace
}  // namespace qm::regtext
