// The system scan suite against the in-memory registry and drive C: mapped
// to a temporary folder laid out as a small Windows XP installation, and as
// a small 64-bit Windows one (both registry views, SysWOW64, two Program
// Files folders).
#include <filesystem>
#include <fstream>
#include <random>

#include "platform/memory/mapped_file_probe.h"
#include "platform/memory/memory_registry.h"
#include "platform/regtext/reg_text.h"
#include "tests/scan/system_scan.h"

namespace qm::test {
namespace {

// What the system itself holds in the keys the scanners read besides the
// test's own entries.
constexpr const char* kSystemRegistry = R"reg(REGEDIT4

[HKEY_CURRENT_USER\Software\Microsoft\Windows\CurrentVersion\Explorer\Shell Folders]
"Fonts"="C:\\WINDOWS\\Fonts"

[HKEY_CURRENT_USER\Software\Microsoft\Windows\CurrentVersion\Explorer\User Shell Folders]
"Fonts"=hex(2):25,53,79,73,74,65,6d,52,6f,6f,74,25,5c,46,6f,6e,74,73,00

[HKEY_LOCAL_MACHINE\SOFTWARE\Microsoft\Windows\CurrentVersion\Explorer\Shell Folders]
"Common Programs"="C:\\Documents and Settings\\All Users\\Start Menu\\Programs"

[HKEY_LOCAL_MACHINE\SOFTWARE\Microsoft\Windows NT\CurrentVersion\Fonts]
"Arial (TrueType)"="arial.ttf"

[HKEY_LOCAL_MACHINE\SOFTWARE\Classes\CLSID\{00000000-0000-0000-0000-000000000001}\InprocServer32]
@="C:\\WINDOWS\\system32\\shell32.dll"

[HKEY_USERS\.DEFAULT\Software\Microsoft]
)reg";

// What 64-bit Windows holds besides: the 32-bit programs' keys.
constexpr const char* kSystemRegistry64 = R"reg(REGEDIT4

[HKEY_LOCAL_MACHINE\SOFTWARE\Wow6432Node\Microsoft\Windows\CurrentVersion\Run]

[HKEY_LOCAL_MACHINE\SOFTWARE\Classes\Wow6432Node\CLSID]
)reg";

// Windows text (code-page bytes as UTF-16) as the host's UTF-8.
std::string HostText(const std::u16string& text) {
    return regtext::Utf16ToUtf8(text);
}

class MemoryBackend : public SystemBackend {
  public:
    explicit MemoryBackend(bool windows64 = false) {
        std::random_device random;
        root_ = std::filesystem::temp_directory_path() /
                ("qm-system-scan-" + std::to_string(random()) + std::to_string(random()));
        for (const char* folder :
             {"WINDOWS/system32", "WINDOWS/SysWOW64", "WINDOWS/Fonts", "Program Files",
              "Program Files (x86)", "Documents and Settings/User/Start Menu/Programs",
              "Documents and Settings/All Users/Start Menu/Programs"})
            std::filesystem::create_directories(root_ / folder);
        for (const char* file : {"WINDOWS/notepad.exe", "WINDOWS/regedit.exe",
                                 "WINDOWS/Fonts/arial.ttf", "WINDOWS/system32/shell32.dll"})
            std::ofstream(root_ / file).put('x');

        MappedFilesConfig config = MappedFilesConfig::Defaults();
        config.drives = {{'C', root_.string()}};
        if (windows64) {
            config.wow64 = true;
            // %ProgramFiles% names the 32-bit programs' folder here.
            for (auto& [name, value] : config.environment)
                if (name == "ProgramFiles") value = "C:\\Program Files (x86)";
            config.environment.push_back({"ProgramW6432", "C:\\Program Files"});
        }
        files_ = std::make_unique<MappedFileProbe>(config);

        for (const char* text : {kSystemRegistry, windows64 ? kSystemRegistry64 : nullptr}) {
            if (text == nullptr) continue;
            regtext::Document doc;
            regtext::ParseError error;
            if (regtext::Parse(text, doc, error)) registry_.Apply(doc);
            EXPECT_EQ(error.line, 0u) << error.message;
        }
        registry_.SetTwoViews(windows64);
    }
    ~MemoryBackend() override {
        EXPECT_EQ(registry_.OpenHandleCount(), 0u);
        std::error_code ignored;
        std::filesystem::remove_all(root_, ignored);
    }

    RegistryService& registry() override { return registry_; }
    FileProbe& files() override { return *files_; }
    void RemoveTree(const std::string& windowsPath) override {
        if (auto host = files_->HostPath(windowsPath)) {
            std::error_code ignored;
            std::filesystem::remove_all(*host, ignored);
        }
    }

    void SetWideText(HKey root, const std::u16string& keyPath, const std::u16string& name,
                     const std::u16string& text) override {
        regtext::Document doc;
        regtext::Entry value;
        value.kind = regtext::Entry::Kind::kValue;
        value.root = root;
        const CodePage& page = registry_.codePage();
        // What converts exactly is held as the code page has it.
        if (!page.FromUtf16(keyPath, value.keyPath)) value.wideKeyPath = keyPath;
        if (!page.FromUtf16(name, value.name)) value.wideName = name;
        value.type = regtype::kSz;
        std::string data;
        const bool exactData = page.FromUtf16(text, data);
        value.data.assign(data.begin(), data.end());
        value.data.push_back(0);
        for (char16_t unit : text + u'\0') {
            if (exactData) break;
            value.wideData.push_back(static_cast<uint8_t>(unit));
            value.wideData.push_back(static_cast<uint8_t>(unit >> 8));
        }
        doc.entries.push_back(value);
        registry_.Apply(doc);
    }
    void RemoveWideValue(HKey root, const std::u16string& keyPath,
                         const std::u16string& name) override {
        Remove(root, keyPath, name, regtext::Entry::Kind::kDeleteValue);
    }
    void RemoveWideKey(HKey root, const std::u16string& keyPath) override {
        Remove(root, keyPath, {}, regtext::Entry::Kind::kDeleteKey);
    }
    void MakeWideFile(const std::u16string& path) override {
        // "C:\a\b" below the drive's folder, named in UTF-8 as host files are.
        std::string rest = HostText(path.substr(3));
        for (char& c : rest)
            if (c == '\\') c = '/';
        const std::filesystem::path file = root_ / rest;
        std::filesystem::create_directories(file.parent_path());
        std::ofstream(file).put('x');
    }
    std::string MakeSystemFile(const std::string& name, bool native) override {
        std::ofstream(root_ / "WINDOWS" / (native ? "system32" : "SysWOW64") / name).put('x');
        return "C:\\WINDOWS\\system32\\" + name;
    }
    void RemoveSystemFile(const std::string& name) override {
        std::error_code ignored;
        std::filesystem::remove(root_ / "WINDOWS" / "system32" / name, ignored);
        std::filesystem::remove(root_ / "WINDOWS" / "SysWOW64" / name, ignored);
    }

  private:
    void Remove(HKey root, const std::u16string& keyPath, const std::u16string& name,
                regtext::Entry::Kind kind) {
        regtext::Document doc;
        regtext::Entry entry;
        entry.kind = kind;
        entry.root = root;
        const CodePage& page = registry_.codePage();
        if (!page.FromUtf16(keyPath, entry.keyPath)) entry.wideKeyPath = keyPath;
        if (!page.FromUtf16(name, entry.name)) entry.wideName = name;
        doc.entries.push_back(entry);
        registry_.Apply(doc);
    }

    std::filesystem::path root_;
    MemoryRegistry registry_;
    std::unique_ptr<MappedFileProbe> files_;
};

std::unique_ptr<SystemBackend> MakeMemory() {
    return std::make_unique<MemoryBackend>();
}
std::unique_ptr<SystemBackend> MakeMemory64() {
    return std::make_unique<MemoryBackend>(true);
}

INSTANTIATE_TEST_SUITE_P(Memory, SystemScan, ::testing::Values(&MakeMemory));
INSTANTIATE_TEST_SUITE_P(Memory64, SystemScan, ::testing::Values(&MakeMemory64));

}  // namespace
}  // namespace qm::test
