// Whatever the writer writes, the reader gives back unchanged, in both
// formats; and the code-page conversion under both is lossless for every
// code-page byte.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "platform/regtext/reg_text.h"

namespace qm::regtext {
namespace {

using namespace std::string_literals;

TEST(RegTextCodePage, EveryByteSurvivesUtf16AndBack) {
    std::string all;
    for (int b = 0; b < 256; ++b) all.push_back(static_cast<char>(b));
    const CodePage& page = CodePage::Windows1252();
    const std::u16string wide = page.ToUtf16(all);
    ASSERT_EQ(wide.size(), 256u);
    std::string back;
    EXPECT_TRUE(page.FromUtf16(wide, back));
    EXPECT_EQ(back, all);
    EXPECT_EQ(wide[0x41], u'A');
    EXPECT_EQ(wide[0x80], u'\u20ac');
    EXPECT_EQ(wide[0x8A], u'\u0160');
    EXPECT_EQ(wide[0x9F], u'\u0178');
    EXPECT_EQ(wide[0xE9], u'\u00e9');
    // The five bytes Windows-1252 leaves open map to the C1 controls.
    for (int b : {0x81, 0x8D, 0x8F, 0x90, 0x9D}) EXPECT_EQ(wide[b], static_cast<char16_t>(b));
}

TEST(RegTextCodePage, CharactersWithoutACodePageFormBecomeQuestionMarks) {
    std::string text;
    EXPECT_FALSE(
        CodePage::Windows1252().FromUtf16(u"\u0080\u0100\u4e2d\U0001F600\u2122\u00ff", text));
    EXPECT_EQ(text, "?????\x99\xff");
}

// Random documents of the shape the reader produces: sections with their
// values, deletions, all value types, and names and data built from the
// characters most likely to break quoting, escaping and line structure.
class DocumentMaker {
  public:
    explicit DocumentMaker(uint32_t seed) : rng_(seed) {}

    Document Make() {
        Document doc;
        doc.format = Pick(2) == 0 ? Format::kRegedit4 : Format::kVersion5;
        const size_t sections = Pick(8);
        for (size_t s = 0; s < sections; ++s) {
            Entry key;
            key.kind = Pick(6) == 0 ? Entry::Kind::kDeleteKey : Entry::Kind::kKey;
            key.root = hkey::kClassesRoot + Pick(7);
            const size_t depth = key.kind == Entry::Kind::kDeleteKey ? 1 + Pick(3) : Pick(4);
            for (size_t d = 0; d < depth; ++d) {
                if (d > 0) key.keyPath += '\\';
                key.keyPath += KeyName();
            }
            doc.entries.push_back(key);
            if (key.kind == Entry::Kind::kDeleteKey) continue;
            const size_t values = Pick(6);
            for (size_t v = 0; v < values; ++v) doc.entries.push_back(MakeValue(key));
        }
        return doc;
    }

  private:
    size_t Pick(size_t n) { return std::uniform_int_distribution<size_t>(0, n - 1)(rng_); }
    char AnyByte() { return static_cast<char>(Pick(256)); }

    // Key names: anything but the separator and the line ends.
    std::string KeyName() {
        static const std::string nasty = " \t[]\"';#@=-,./:%*?\x80\x81\x9f\xa0\xe9\xff\x1a";
        std::string name;
        const size_t length = 1 + Pick(12);
        while (name.size() < length) {
            const char c = Pick(2) == 0 ? nasty[Pick(nasty.size())] : AnyByte();
            if (c != '\\' && c != '\r' && c != '\n' && c != '\0') name.push_back(c);
        }
        return name;
    }

    std::string Text(size_t maxLength) {
        static const std::string nasty = "\\\"\r\n\0\t ;#[]=@-,\x80\x81\x8d\x9d\xe9\xff"s;
        std::string text;
        const size_t length = Pick(maxLength + 1);
        while (text.size() < length)
            text.push_back(Pick(2) == 0 ? nasty[Pick(nasty.size())] : AnyByte());
        return text;
    }

    std::string PrintableText(size_t maxLength) {
        std::string text;
        const size_t length = Pick(maxLength + 1);
        while (text.size() < length) {
            const char c = AnyByte();
            if (static_cast<uint8_t>(c) >= 0x20) text.push_back(c);
        }
        return text;
    }

    Entry MakeValue(const Entry& key) {
        Entry value;
        value.kind = Pick(8) == 0 ? Entry::Kind::kDeleteValue : Entry::Kind::kValue;
        value.root = key.root;
        value.keyPath = key.keyPath;
        value.name = Pick(5) == 0 ? std::string() : Text(16);
        if (value.kind == Entry::Kind::kDeleteValue) return value;
        static const uint32_t types[] = {0, 1, 1, 1, 2, 3, 4, 4, 5, 6, 7, 8, 9, 10, 11};
        value.type = Pick(10) == 0 ? static_cast<uint32_t>(rng_()) : types[Pick(std::size(types))];
        std::string data;
        switch (Pick(5)) {
            case 0:  // a plain string with its terminator
                data = PrintableText(40);
                data.push_back('\0');
                break;
            case 1:  // exactly a dword
                data = Text(0);
                for (int i = 0; i < 4; ++i) data.push_back(AnyByte());
                break;
            case 2:  // long data, many continuation lines
                data = Text(3000);
                break;
            default:
                data = Text(60);
                break;
        }
        value.data.assign(data.begin(), data.end());
        return value;
    }

    std::mt19937 rng_;
};

std::string Describe(const Entry& e) {
    std::string text = std::to_string(static_cast<int>(e.kind)) + " root " +
                       std::to_string(e.root) + " [" + e.keyPath + "] \"" + e.name + "\" type " +
                       std::to_string(e.type) + " data";
    for (uint8_t b : e.data) {
        text += ' ';
        text += std::to_string(b);
    }
    return text;
}

TEST(RegTextRoundTrip, WrittenDocumentsReadBackIdentically) {
    for (uint32_t seed = 1; seed <= 800; ++seed) {
        const Document doc = DocumentMaker(seed).Make();
        for (Format format : {Format::kRegedit4, Format::kVersion5}) {
            const std::string file = Write(doc, format);
            Document back;
            ParseError error;
            ASSERT_TRUE(Parse(file, back, error))
                << "seed " << seed << " line " << error.line << ": " << error.message;
            ASSERT_EQ(back.format, format);
            ASSERT_EQ(back.entries.size(), doc.entries.size()) << "seed " << seed;
            for (size_t i = 0; i < doc.entries.size(); ++i) {
                const Entry& a = doc.entries[i];
                const Entry& b = back.entries[i];
                const bool same = a.kind == b.kind && a.root == b.root && a.keyPath == b.keyPath &&
                                  a.name == b.name && a.type == b.type && a.data == b.data;
                ASSERT_TRUE(same) << "seed " << seed << " entry " << i << "\n  wrote "
                                  << Describe(a) << "\n  read  " << Describe(b);
            }
        }
    }
}

}  // namespace
}  // namespace qm::regtext
