// The command line's silent option, the text after the program name, and the
// single-instance name.
#include "app/start_options.h"

#include <gtest/gtest.h>

#include <string>

namespace qm {
namespace {

TEST(CommandLineTail, SkipsTheProgramNameQuotedOrNot) {
    const struct {
        const char* line;
        const char* tail;
    } cases[] = {
        {"Quillmend.exe -s", "-s"},
        {"Quillmend.exe", ""},
        {"", ""},
        {"\"C:\\Program Files\\Quillmend\\Quillmend.exe\" -s", "-s"},
        {"\"C:\\Program Files\\Quillmend\\Quillmend.exe\"", ""},
        {"\"C:\\a b\\Quillmend.exe\"-s", "-s"},
        {"Quillmend.exe \t  one two", "one two"},
        {"\"unclosed -s", ""},
        {"C:\\my-stuff\\Quillmend.exe", ""},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(CommandLineTail(c.line), c.tail) << c.line;
    }
}

TEST(IsSilentStart, MatchesTheTwoCharactersAnywhereCaseSensitively) {
    const struct {
        const char* tail;
        bool silent;
    } cases[] = {
        {"-s", true},  {"-silent", true}, {"/x -s", true}, {"a-sb", true}, {"", false},
        {"/s", false}, {"-S", false},     {"- s", false},  {"-", false},   {"s-", false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(IsSilentStart(c.tail), c.silent) << '"' << c.tail << '"';
    }
}

TEST(IsSilentStart, AHyphenSInTheProgramsOwnPathIsNotTheOption) {
    EXPECT_FALSE(IsSilentStart(CommandLineTail("C:\\my-stuff\\Quillmend.exe")));
    EXPECT_FALSE(IsSilentStart(CommandLineTail("\"C:\\my -stuff\\Quillmend.exe\"")));
    EXPECT_TRUE(IsSilentStart(CommandLineTail("\"C:\\my -stuff\\Quillmend.exe\" -s")));
}

TEST(InstanceName, IsTheProductASpaceAndTheStoredVersion) {
    EXPECT_EQ(InstanceName("1.0.0.1"), "Quillmend 1.0.0.1");
    EXPECT_EQ(InstanceName(""), "Quillmend ");
}

}  // namespace
}  // namespace qm
