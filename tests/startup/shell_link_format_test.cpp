// The shortcut file reader: files the shell wrote under Wine, variants built
// byte by byte, malformed and random input.
#include "startup/shell_link_format.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <optional>
#include <random>

#include "startup/shortcut_reader.h"
#include "tests/startup/link_builder.h"

namespace qm::test {
namespace {

using Result = std::optional<std::pair<std::string, std::string>>;

Result Parse(const std::string& bytes) {
    ShellLinkFields fields;
    if (!ParseShellLink(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size(), fields))
        return std::nullopt;
    return std::make_pair(fields.targetPath, fields.arguments);
}

std::string Fixture(const std::string& name) {
    std::ifstream in(std::string(QM_STARTUP_FIXTURES) + "/" + name, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

// What the shell's link object gave for these files when Wine's shell wrote
// them (IShellLinkA::GetPath with UNC priority, GetArguments).
const struct {
    const char* file;
    const char* target;
    const char* arguments;
} kShellWritten[] = {
    {"notes.lnk", "C:\\Apps\\notes.exe", ""},
    {"tool.lnk", "C:\\Program Files\\Tool\\tool.exe", "/min --tray"},
    {"accent.lnk", "C:\\Programme\\R\xe9sum\xe9\\caf\xe9.exe", "-x \xe9t\xe9"},
    {"unc.lnk", "\\\\server\\share\\dir\\app.exe", "-n"},
    {"long.lnk",
     "C:\\A very long folder name indeed\\Another long folder name\\program with long name.exe",
     "a b c"},
};

TEST(ShellLinkFormat, ReadsWhatTheShellWrote) {
    for (const auto& c : kShellWritten) {
        std::string bytes = Fixture(c.file);
        ASSERT_FALSE(bytes.empty()) << c.file;
        EXPECT_EQ(Parse(bytes), std::make_pair(std::string(c.target), std::string(c.arguments)))
            << c.file;
        // Without its link information the item id list names the same file.
        if (std::string(c.file) == "unc.lnk") continue;   // has no id list
        bytes[21] = static_cast<char>(bytes[21] | 0x01);  // ForceNoLinkInfo
        EXPECT_EQ(Parse(bytes)->first, c.target) << c.file << " from its id list";
    }
}

LinkSpec Local(const std::string& base, const std::string& suffix = "") {
    LinkSpec shape;
    shape.hasLinkInfo = true;
    shape.localBase = base;
    shape.suffix = suffix;
    return shape;
}

TEST(ShellLinkFormat, BuiltVariants) {
    const std::vector<std::string> items = {"C:\\", "Program Files", "app.exe"};
    LinkSpec wide = Local("C:\\Tools\\", "run.exe");
    wide.wideLinkInfo = true;
    LinkSpec mapped = Local("Z:\\", "run.exe");
    mapped.network = "\\\\srv\\share";
    LinkSpec xp, seven, forced = Local("C:\\Elsewhere.exe");
    xp.items = seven.items = forced.items = items;
    xp.extensionVersion = 3;
    seven.extensionVersion = 9;
    forced.moreFlags = 0x100;
    LinkSpec ansiArgs = Local("C:\\a.exe"), nul = ansiArgs, huge = ansiArgs, argsOnly;
    ansiArgs.wideStrings = false;
    ansiArgs.hasArguments = nul.hasArguments = huge.hasArguments = argsOnly.hasArguments = true;
    ansiArgs.arguments = argsOnly.arguments = "-a \xe9";
    nul.arguments = std::string("ab\0cd", 5);
    huge.arguments = std::string(2000, 'x');

    const std::vector<std::tuple<const char*, LinkSpec, std::string, std::string>> cases = {
        {"Unicode link information", wide, "C:\\Tools\\run.exe", ""},
        {"a share comes before its mapped drive", mapped, "\\\\srv\\share\\run.exe", ""},
        {"long names of an XP id list", xp, "C:\\Program Files\\app.exe", ""},
        {"long names of a newer id list", seven, "C:\\Program Files\\app.exe", ""},
        {"link information switched off", forced, "C:\\Program Files\\app.exe", ""},
        {"code-page arguments", ansiArgs, "C:\\a.exe", "-a \xe9"},
        {"arguments end at a zero", nul, "C:\\a.exe", "ab"},
        {"arguments cut to the buffer", huge, "C:\\a.exe", std::string(1023, 'x')},
        {"no target", argsOnly, "", "-a \xe9"},
    };
    for (const auto& [what, shape, target, arguments] : cases)
        EXPECT_EQ(Parse(BuildLink(shape)), std::make_pair(target, arguments)) << what;
}

TEST(ShellLinkFormat, RejectsMalformedFiles) {
    LinkSpec shape = Local("C:\\Tools\\", "run.exe");
    shape.items = {"C:\\", "Tools", "run.exe"};
    shape.hasArguments = true;
    shape.arguments = "-x";
    const std::string good = BuildLink(shape);
    ASSERT_TRUE(Parse(good));
    const size_t info = 0x4C + 2 + (good[0x4C] & 0xFF);  // after the id list
    auto patched = [&](size_t at, std::string bytes) {
        std::string copy = good;
        return copy.replace(at, bytes.size(), bytes);
    };
    const std::vector<std::pair<const char*, std::string>> cases = {
        {"header size", patched(0, "\x4D")},
        {"class id", patched(4, "\x02")},
        {"id list longer than the file", patched(0x4C, "\xFF\xFF")},
        {"id list item past the list", patched(0x4E, "\xF0")},
        {"link information past the file", patched(info, "\xFF\xFF\x00")},
        {"local path offset past the link information", patched(info + 16, "\xF0\x03")},
        {"suffix without its zero", patched(info + (good[info] & 0xFF) - 1, "x")},
        {"arguments past the file", patched(good.size() - 4 - 6, "\x40")},
        {"empty", ""},
    };
    for (const auto& [what, bytes] : cases) EXPECT_FALSE(Parse(bytes)) << what;
}

// A file cut anywhere is rejected or read as the whole file is; random and
// damaged files are read without touching a byte outside them (the
// sanitizers watch) and give texts that fit the shell's buffers.
TEST(ShellLinkFormat, CutRandomAndDamagedFiles) {
    std::vector<std::string> files;
    for (const auto& c : kShellWritten) files.push_back(Fixture(c.file));
    LinkSpec shape = Local("C:\\Tools\\", "run.exe");
    shape.items = {"C:\\", "Tools", "run.exe"};
    shape.extensionVersion = 9;
    shape.wideLinkInfo = shape.hasArguments = true;
    shape.network = "\\\\srv\\s";
    shape.arguments = "-x";
    files.push_back(BuildLink(shape));

    for (const std::string& file : files) {
        const Result whole = Parse(file);
        ASSERT_TRUE(whole);
        for (size_t cut = 0; cut < file.size(); ++cut) {
            const Result part = Parse(file.substr(0, cut));
            if (part) {
                EXPECT_EQ(part, whole) << "cut at " << cut;
            }
        }
    }
    std::mt19937 random(20240501);
    auto check = [](const std::string& bytes) {
        if (Result r = Parse(bytes)) {
            EXPECT_LE(r->first.size(), 1023u);
            EXPECT_LE(r->second.size(), 1023u);
        }
    };
    for (int round = 0; round < 20000; ++round) {
        std::string bytes = files[round % files.size()];
        if (round % 4 == 0) bytes.resize(0x4C + random() % 600);  // a real header, random rest
        for (size_t i = round % 4 == 0 ? 0x4C : 0; i < bytes.size(); ++i)
            if (round % 4 == 0 || random() % 64 == 0) bytes[i] = static_cast<char>(random());
        check(bytes);
    }
}

// Records the path it is asked to read.
struct PathRecorder : ShortcutReader {
    std::string CommandLine(const std::string& path) override {
        asked = path;
        return "read";
    }
    std::string asked;
};

TEST(ResolveShortcut, AddsTheExtensionAndRefusesOverlongPaths) {
    PathRecorder reader;
    EXPECT_EQ(ResolveShortcut(reader, "C:\\S\\Notes"), "read");
    EXPECT_EQ(reader.asked, "C:\\S\\Notes.lnk");
    ResolveShortcut(reader, "C:\\S\\Notes.LNK");
    EXPECT_EQ(reader.asked, "C:\\S\\Notes.LNK");
    const std::string longest = "C:\\" + std::string(252, 'n') + ".lnk";  // 259 characters
    EXPECT_EQ(ResolveShortcut(reader, longest), "read");
    reader.asked.clear();
    EXPECT_EQ(ResolveShortcut(reader, "C:\\n" + longest.substr(2)), "");
    EXPECT_EQ(reader.asked, "");
}

}  // namespace
}  // namespace qm::test
