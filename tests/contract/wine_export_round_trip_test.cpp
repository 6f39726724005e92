// Registry files that no one here wrote: the whole registry of the test's own
// Wine prefix exported by the system's registry editor (regedit /e) and by
// reg.exe (reg export, one file per root), loaded into the in-memory
// registry, saved in both text forms, loaded again, and compared: the two
// trees must be identical in names, types and data bytes.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

#include "platform/memory/memory_registry.h"
#include "platform/win32/win32_registry.h"

namespace qm {
namespace {

// Runs a command line and waits for it; returns its exit code, or -1.
int RunAndWait(const std::string& commandLine) {
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    std::vector<char> line(commandLine.begin(), commandLine.end());
    line.push_back('\0');
    if (!CreateProcessA(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &startup, &process))
        return -1;
    WaitForSingleObject(process.hProcess, INFINITE);
    DWORD code = 0;
    GetExitCodeProcess(process.hProcess, &code);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return static_cast<int>(code);
}

std::string TempFolder() {
    char path[MAX_PATH];
    DWORD n = GetTempPathA(sizeof path, path);
    return std::string(path, n);
}

const std::vector<HKey> kSavedRoots = {hkey::kLocalMachine, hkey::kCurrentUser, hkey::kUsers,
                                       hkey::kCurrentConfig};

size_t CountKeys(const regtext::Document& doc) {
    size_t keys = 0;
    for (const auto& e : doc.entries) keys += e.kind == regtext::Entry::Kind::kKey;
    return keys;
}

// The two registries hold the same tree below every saved root.
void ExpectSameTrees(const MemoryRegistry& a, const MemoryRegistry& b, const std::string& what) {
    for (HKey root : kSavedRoots) {
        const regtext::Document da = a.Export(root);
        const regtext::Document db = b.Export(root);
        ASSERT_EQ(da.entries.size(), db.entries.size()) << what << " " << RootKeyFullName(root);
        for (size_t i = 0; i < da.entries.size(); ++i) {
            const auto& x = da.entries[i];
            const auto& y = db.entries[i];
            ASSERT_TRUE(x.kind == y.kind && x.keyPath == y.keyPath && x.name == y.name &&
                        x.type == y.type && x.data == y.data)
                << what << ": entry " << i << " differs: [" << x.keyPath << "] \"" << x.name
                << "\" vs [" << y.keyPath << "] \"" << y.name << "\"";
        }
    }
}

// The live registry below root\path in the form MemoryRegistry::Export
// gives: keys in pre-order, each followed by its values, all in enumeration
// order.
regtext::Document LiveTree(HKey root, const std::string& path) {
    Win32Registry live;
    regtext::Document doc;
    std::vector<std::string> pending{path};
    while (!pending.empty()) {
        const std::string keyPath = pending.back();
        pending.pop_back();
        RegKey key(live);
        if (key.Open(root, keyPath.c_str(), access::kRead) != status::kSuccess) continue;
        doc.entries.push_back({regtext::Entry::Kind::kKey, root, keyPath, "", 0, {}, 0});
        std::vector<uint8_t> data(1 << 20);
        for (uint32_t i = 0;; ++i) {
            char name[16384];
            uint32_t nameSize = sizeof name, type = 0, size = static_cast<uint32_t>(data.size());
            if (live.EnumValue(key.get(), i, name, &nameSize, &type, data.data(), &size) !=
                status::kSuccess)
                break;
            doc.entries.push_back({regtext::Entry::Kind::kValue, root, keyPath,
                                   std::string(name, nameSize), type,
                                   std::vector<uint8_t>(data.begin(), data.begin() + size), 0});
        }
        std::vector<std::string> children;
        for (uint32_t i = 0;; ++i) {
            char name[300];
            uint32_t nameSize = sizeof name;
            if (live.EnumKey(key.get(), i, name, &nameSize) != status::kSuccess) break;
            children.push_back(keyPath + "\\" + std::string(name, nameSize));
        }
        pending.insert(pending.end(), children.rbegin(), children.rend());
    }
    return doc;
}

TEST(WineExportLoad, TheLoadedTreeIsTheLiveTree) {
    // A part of the registry no test writes to, read from the whole-registry
    // export and from the live registry.
    const std::string exported = TempFolder() + "qm-export-live-check.reg";
    DeleteFileA(exported.c_str());
    ASSERT_EQ(RunAndWait("regedit.exe /e \"" + exported + "\""), 0);
    MemoryRegistry loaded;
    std::string error;
    ASSERT_TRUE(loaded.LoadFile(exported, &error)) << error;
    DeleteFileA(exported.c_str());

    const std::string path = "Software\\Microsoft\\Windows NT\\CurrentVersion";
    const regtext::Document fromFile = loaded.Export(hkey::kLocalMachine, path);
    const regtext::Document live = LiveTree(hkey::kLocalMachine, path);
    ASSERT_GT(live.entries.size(), 100u);
    ASSERT_EQ(fromFile.entries.size(), live.entries.size());
    for (size_t i = 0; i < live.entries.size(); ++i) {
        const auto& x = fromFile.entries[i];
        const auto& y = live.entries[i];
        EXPECT_TRUE(x.kind == y.kind && x.name == y.name && x.type == y.type && x.data == y.data &&
                    _stricmp(x.keyPath.c_str(), y.keyPath.c_str()) == 0)
            << "entry " << i << ": [" << x.keyPath << "] \"" << x.name << "\" vs [" << y.keyPath
            << "] \"" << y.name << "\"";
    }
}

struct ExportCase {
    const char* name;  // "regedit" or the root reg.exe exports
    size_t minimumKeys;
};

void PrintTo(const ExportCase& c, std::ostream* out) {
    *out << c.name;
}

class WineExportRoundTrip : public ::testing::TestWithParam<ExportCase> {};

TEST_P(WineExportRoundTrip, LoadSaveLoadGivesTheSameTree) {
    const std::string folder = TempFolder();
    const std::string name = GetParam().name;
    const std::string exported = folder + "qm-export-" + name + ".reg";
    DeleteFileA(exported.c_str());
    std::string command = name == std::string("regedit")
                              ? "regedit.exe /e \"" + exported + "\""
                              : "reg.exe export " + name + " \"" + exported + "\" /y";
    ASSERT_EQ(RunAndWait(command), 0) << command;

    MemoryRegistry first;
    std::string error;
    ASSERT_TRUE(first.LoadFile(exported, &error)) << error;
    size_t keys = 0;
    for (HKey root : kSavedRoots) keys += CountKeys(first.Export(root));
    // Far fewer keys than a fresh prefix holds means the file was not
    // really read.
    EXPECT_GE(keys, GetParam().minimumKeys);

    for (auto format : {regtext::Format::kVersion5, regtext::Format::kRegedit4}) {
        const std::string saved = folder + "qm-saved-" + name +
                                  (format == regtext::Format::kVersion5 ? "-5" : "-4") + ".reg";
        ASSERT_TRUE(first.SaveFile(saved, format, kSavedRoots, &error)) << error;
        MemoryRegistry second;
        ASSERT_TRUE(second.LoadFile(saved, &error)) << error;
        ExpectSameTrees(first, second, saved);
        DeleteFileA(saved.c_str());
    }
    DeleteFileA(exported.c_str());
}

INSTANTIATE_TEST_SUITE_P(Exports, WineExportRoundTrip,
                         ::testing::Values(ExportCase{"regedit", 2000}, ExportCase{"HKLM", 2000},
                                           ExportCase{"HKCU", 20}, ExportCase{"HKU", 50},
                                           ExportCase{"HKCR", 500}, ExportCase{"HKCC", 3}));

}  // namespace
}  // namespace qm
