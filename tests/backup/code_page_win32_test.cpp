// The live registry in code page 932 (Wine started in a Japanese locale, see
// CMakeLists.txt): a key whose name ends in 表 and whose names and text end
// in it or in ソ (both end in the backslash's byte) is backed up in either
// format, deleted, imported again by the system's registry editor, and the
// restore check, reading the file in the ANSI code page, finds all of it.
#include <windows.h>
// <windows.h> renames DeleteFile; the file probe's method keeps its name.
#undef DeleteFile

#include <gtest/gtest.h>

#include <string>

#include "backup/reg_export_writer.h"
#include "backup/reg_text_stream.h"
#include "backup/regedit_import.h"
#include "backup/restore_check.h"
#include "platform/win32/win32_file_probe.h"
#include "platform/win32/win32_registry.h"
#include "tests/backup/registry_snapshot.h"

namespace qm {
namespace {

const std::string kTop = "Software\\QmCodePage";
const std::string kName = "\x88\xea\x97\x97\x95\x5c";  // 一覧表
const std::string kSo = "\x83\x5c";                    // ソ

void Set(RegistryService& registry, const std::string& path, const std::string& name,
         const std::string& text) {
    RegKey key(registry);
    ASSERT_EQ(key.Create(hkey::kCurrentUser, path.c_str(), access::kAllAccess), status::kSuccess);
    ASSERT_EQ(registry.SetValue(key.get(), name.c_str(), regtype::kSz,
                                reinterpret_cast<const uint8_t*>(text.c_str()),
                                static_cast<uint32_t>(text.size() + 1)),
              status::kSuccess);
}

TEST(CodePageWin32Test, DoubleByteNamesComeBackThroughTheRegistryEditor) {
    Win32Registry registry;
    Win32FileProbe files;
    ASSERT_EQ(registry.codePage().number(), 932u)
        << "the test runs in a Japanese locale (LANG, LC_ALL and LOCPATH)";
    ASSERT_TRUE(registry.codePage().IsLeadByte(0x95));
    registry.DeleteTree(hkey::kCurrentUser, kTop.c_str());

    const std::string key = kTop + "\\" + kName;
    Set(registry, key, "", kSo + kName);
    Set(registry, key, kSo, kName + "\\" + kSo);
    Set(registry, key + "\\" + kName, kName, "x");
    const testing::TreeSnapshot before = testing::Snapshot(registry, hkey::kCurrentUser, kTop);
    ASSERT_EQ(before.count(kName + "\\" + kName), 1u);

    std::string temp;
    files.ExpandEnvironment("%TEMP%", temp);
    for (const auto encoding :
         {RegTextStream::Encoding::kCodePage, RegTextStream::Encoding::kUtf16}) {
        const bool v5 = encoding == RegTextStream::Encoding::kUtf16;
        const std::string path = temp + (v5 ? "\\qm-cp932-v5.reg" : "\\qm-cp932-v4.reg");
        files.DeleteFile(path);
        {
            RegTextStream stream(files.OpenFile(path, FileMode::kCreateNew), encoding,
                                 registry.codePage());
            ASSERT_TRUE(
                stream.Append(v5 ? "Windows Registry Editor Version 5.00\n" : "REGEDIT4\n"));
            ASSERT_EQ(RegExportWriter(registry).ExportKey(hkey::kCurrentUser, key, stream),
                      status::kSuccess);
            ASSERT_TRUE(stream.Close());
        }
        ASSERT_EQ(registry.DeleteTree(hkey::kCurrentUser, key.c_str()), status::kSuccess);
        EXPECT_FALSE(CheckImportedFile(registry, files, path).complete);

        ASSERT_EQ(ImportWithRegedit(path), status::kSuccess);
        const RestoreCheck check = CheckImportedFile(registry, files, path);
        EXPECT_TRUE(check.complete) << (v5 ? "version 5: " : "REGEDIT4: ") << "line " << check.line
                                    << ": " << check.problem;
        EXPECT_EQ(testing::Snapshot(registry, hkey::kCurrentUser, kTop), before)
            << (v5 ? "version 5" : "REGEDIT4");
        files.DeleteFile(path);
    }
    registry.DeleteTree(hkey::kCurrentUser, kTop.c_str());
}

}  // namespace
}  // namespace qm
