// Code pages other than Windows-1252: conversion, stepping by character,
// the registry's name rules, the registry text reader and writer, and the
// in-memory registry's key paths, in 932 (double-byte) and 1251.
#include "platform/code_page.h"

#include <gtest/gtest.h>

#include "platform/memory/host_code_page.h"
#include "platform/memory/memory_registry.h"
#include "platform/registry_names.h"
#include "platform/regtext/reg_text.h"

namespace qm {
namespace {

const CodePage& Page(uint32_t number) {
    const CodePage* page = HostCodePage(number);
    if (page == nullptr) std::abort();
    return *page;
}

// "C:\一覧表\ソ": both characters end in the backslash's byte.
const std::string kJapanese = "C:\\\x88\xea\x97\x97\x95\x5c\\\x83\x5c";
const std::string kRussian = "\xcf\xf0\xee\xe3\xf0\xe0\xec\xec\xe0";  // Программа

TEST(CodePageTest, TextConvertsExactlyOnlyWhenTheCodePageHoldsIt) {
    struct Case {
        uint32_t page;
        std::u16string text;
        std::string bytes;
        bool exact;
    } const cases[] = {
        {932, u"C:\\一覧表\\ソ", kJapanese, true},
        {932, u"ｱ~\\", "\xb1~\\", true},  // a one-byte katakana and ASCII as it is
        {932, u"Ł表", "?\x95\x5c", false},
        {1251, u"Программа", kRussian, true},
        {1251, u"表", "?", false},
        {936, u"中文", "\xd6\xd0\xce\xc4", true},
        {1252, u"é€", "\xe9\x80", true},
    };
    for (const Case& c : cases) {
        const CodePage& page = Page(c.page);
        std::string bytes;
        EXPECT_EQ(page.FromUtf16(c.text, bytes), c.exact) << c.page;
        EXPECT_EQ(bytes, c.bytes) << c.page;
        if (c.exact) {
            EXPECT_EQ(page.ToUtf16(c.bytes), c.text) << c.page;
        }
    }
    // A lead byte with no character after it is no character.
    EXPECT_EQ(Page(932).ToUtf16("a\x95"), u"a\uFFFD");
}

TEST(CodePageTest, BackslashesAreFoundByCharacter) {
    const CodePage& page = Page(932);
    EXPECT_EQ(page.Find(kJapanese, '\\'), 2u);
    EXPECT_EQ(page.Find(kJapanese, '\\', 3), 9u);
    EXPECT_EQ(page.Find(kJapanese, '\\', 10), std::string::npos);
    EXPECT_EQ(page.FindLast(kJapanese, '\\', 0, kJapanese.size()), 9u);
    EXPECT_EQ(page.FindLast(kJapanese, '\\', 0, 8), 2u);
    std::vector<std::string> names;
    PathNames parts("SOFTWARE\\\x88\xea\x97\x97\x95\x5c\\\\Sub\\", page);
    for (std::string_view name; parts.Next(&name);) names.emplace_back(name);
    EXPECT_EQ(names, (std::vector<std::string>{"SOFTWARE", "\x88\xea\x97\x97\x95\x5c", "Sub"}));
}

TEST(CodePageTest, NamesCompareByCharacterWithoutRegardToCase) {
    struct Case {
        uint32_t page;
        std::string a, b;
        bool equal;
    } const cases[] = {
        // ア and ャ: their second bytes are 'A' and 'a', which is no case.
        {932, "\x83\x41", "\x83\x61", false},
        {932, "a\x83\x41", "A\x83\x41", true},
        {1251, kRussian, "\xef\xd0\xce\xc3\xd0\xc0\xcc\xcc\xc0", true},  // ПРОГРАММА
        {1251, "\xa8", "\xb8", true},                                    // Ё ё
        {1251, "\xa8", "\xe5", false},                                   // Ё е
    };
    for (const Case& c : cases) {
        const CodePage& page = Page(c.page);
        EXPECT_EQ(NamesEqual(c.a, c.b, page), c.equal) << c.page << " " << c.a;
        EXPECT_EQ(FoldName(c.a, page) == FoldName(c.b, page), c.equal) << c.page << " " << c.a;
        EXPECT_EQ(CompareNames(c.a, c.b, page) == 0, c.equal) << c.page << " " << c.a;
    }
}

// The file as UTF-16LE with a byte-order mark.
std::string Utf16File(std::u16string_view text) {
    std::string file = "\xFF\xFE";
    for (char16_t unit : text) {
        file.push_back(static_cast<char>(unit & 0xFF));
        file.push_back(static_cast<char>(unit >> 8));
    }
    return file;
}

TEST(CodePageTest, RegistryFilesReadInTheCodePage) {
    struct Case {
        uint32_t page;
        std::string file;
        std::string keyPath, name, data;
    } const cases[] = {
        // Code-page text: the second byte of 表 and ソ is neither a key
        // separator nor an escape.
        {932,
         "REGEDIT4\r\n[HKEY_CURRENT_USER\\Software\\\x88\xea\x97\x97\x95\x5c\\Sub]\r\n"
         "\"\x83\x5c\"=\"C:\\\\\x88\xea\x97\x97\x95\x5c\"\r\n",
         "Software\\\x88\xea\x97\x97\x95\x5c\\Sub", "\x83\x5c", "C:\\\x88\xea\x97\x97\x95\x5c"},
        // A version 5 file with Cyrillic names and data (quoted and hex(2)).
        {1251,
         Utf16File(u"Windows Registry Editor Version 5.00\r\n"
                   u"[HKEY_CURRENT_USER\\Software\\Программа]\r\n\"Программа\"=\"Программа\"\r\n"),
         "Software\\" + kRussian, kRussian, kRussian},
        {1251,
         Utf16File(u"Windows Registry Editor Version 5.00\r\n"
                   u"[HKEY_CURRENT_USER\\Software\\Программа]\r\n"
                   u"\"Программа\"=hex(2):1f,04,40,04,3e,04,00,00\r\n"),
         "Software\\" + kRussian, kRussian, "\xcf\xf0\xee"},
    };
    for (const Case& c : cases) {
        const CodePage& page = Page(c.page);
        regtext::Document doc;
        regtext::ParseError error;
        ASSERT_TRUE(regtext::Parse(c.file, doc, error, page)) << error.message;
        ASSERT_EQ(doc.entries.size(), 2u);
        const regtext::Entry& value = doc.entries[1];
        EXPECT_EQ(value.keyPath, c.keyPath);
        EXPECT_EQ(value.name, c.name);
        EXPECT_EQ(std::string(value.data.begin(), value.data.end()), c.data + '\0');
        EXPECT_TRUE(value.wideKeyPath.empty() && value.wideName.empty() && value.wideData.empty());

        // The in-memory registry of that code page holds it under those
        // names, and writes it back in either format so that it reads back
        // the same.
        MemoryRegistry registry(page);
        registry.Apply(doc);
        RegKey key(registry);
        ASSERT_EQ(key.Open(hkey::kCurrentUser, c.keyPath.c_str(), access::kRead), status::kSuccess);
        char name[64];
        uint32_t size = sizeof name;
        ASSERT_EQ(registry.EnumValue(key.get(), 0, name, &size, nullptr, nullptr, nullptr),
                  status::kSuccess);
        EXPECT_EQ(std::string(name, size), c.name);
        for (const regtext::Format format :
             {regtext::Format::kRegedit4, regtext::Format::kVersion5}) {
            const regtext::Document saved = registry.Export(hkey::kCurrentUser);
            regtext::Document again;
            ASSERT_TRUE(regtext::Parse(regtext::Write(saved, format, page), again, error, page))
                << error.message;
            ASSERT_EQ(again.entries.size(), saved.entries.size());
            for (size_t i = 0; i < saved.entries.size(); ++i) {
                EXPECT_EQ(again.entries[i].keyPath, saved.entries[i].keyPath);
                EXPECT_EQ(again.entries[i].name, saved.entries[i].name);
                EXPECT_EQ(again.entries[i].data, saved.entries[i].data);
            }
        }
    }
}

}  // namespace
}  // namespace qm
