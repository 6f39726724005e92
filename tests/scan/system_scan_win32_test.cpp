// The system scan suite against the live registry and file system: under
// Wine, those of the build folder's own Wine prefix (a 32-bit one), or of
// the shared 64-bit prefix when CTest runs it there.
#include <windows.h>

#include <filesystem>

#include "platform/win32/win32_file_probe.h"
#include "platform/win32/win32_registry.h"
#include "tests/scan/system_scan.h"

namespace qm::test {
namespace {

const wchar_t* W(const std::u16string& text) {
    return reinterpret_cast<const wchar_t*>(text.c_str());
}

template <typename Function>
Function Kernel(const char* name) {
    return reinterpret_cast<Function>(
        reinterpret_cast<void (*)()>(GetProcAddress(GetModuleHandleA("kernel32.dll"), name)));
}

// File-system redirection off while it lives (64-bit Windows only).
class NativeFiles {
  public:
    NativeFiles() {
        using Disable = BOOL(WINAPI*)(PVOID*);
        const auto disable = Kernel<Disable>("Wow64DisableWow64FsRedirection");
        active_ = disable != nullptr && disable(&old_);
    }
    ~NativeFiles() {
        using Revert = BOOL(WINAPI*)(PVOID);
        if (active_) Kernel<Revert>("Wow64RevertWow64FsRedirection")(old_);
    }

  private:
    PVOID old_ = nullptr;
    bool active_ = false;
};

class LiveBackend : public SystemBackend {
  public:
    RegistryService& registry() override { return registry_; }
    FileProbe& files() override { return files_; }
    void RemoveTree(const std::string& windowsPath) override {
        std::error_code ignored;
        std::filesystem::remove_all(windowsPath, ignored);
    }

    void SetWideText(HKey root, const std::u16string& keyPath, const std::u16string& name,
                     const std::u16string& text) override {
        HKEY key = nullptr;
        ASSERT_EQ(RegCreateKeyExW(reinterpret_cast<HKEY>(root), W(keyPath), 0, nullptr, 0,
                                  KEY_ALL_ACCESS | View(), nullptr, &key, nullptr),
                  ERROR_SUCCESS);
        EXPECT_EQ(RegSetValueExW(key, W(name), 0, REG_SZ, reinterpret_cast<const BYTE*>(W(text)),
                                 static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t))),
                  ERROR_SUCCESS);
        RegCloseKey(key);
    }
    void RemoveWideValue(HKey root, const std::u16string& keyPath,
                         const std::u16string& name) override {
        HKEY key = nullptr;
        if (RegOpenKeyExW(reinterpret_cast<HKEY>(root), W(keyPath), 0, KEY_ALL_ACCESS | View(),
                          &key) != ERROR_SUCCESS)
            return;
        RegDeleteValueW(key, W(name));
        RegCloseKey(key);
    }
    void RemoveWideKey(HKey root, const std::u16string& keyPath) override {
        // The test's own keys have no subkeys.
        using DeleteKeyEx = LONG(WINAPI*)(HKEY, LPCWSTR, REGSAM, DWORD);
        const auto deleteKeyEx = reinterpret_cast<DeleteKeyEx>(reinterpret_cast<void (*)()>(
            GetProcAddress(GetModuleHandleA("advapi32.dll"), "RegDeleteKeyExW")));
        if (registry_.TwoViews() && deleteKeyEx != nullptr)
            EXPECT_EQ(deleteKeyEx(reinterpret_cast<HKEY>(root), W(keyPath), KEY_WOW64_64KEY, 0),
                      ERROR_SUCCESS);
        else
            EXPECT_EQ(RegDeleteKeyW(reinterpret_cast<HKEY>(root), W(keyPath)), ERROR_SUCCESS);
    }
    void MakeWideFile(const std::u16string& path) override {
        const std::filesystem::path file(reinterpret_cast<const wchar_t*>(path.c_str()));
        std::error_code ignored;
        std::filesystem::create_directories(file.parent_path(), ignored);
        HANDLE handle = CreateFileW(file.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                    FILE_ATTRIBUTE_NORMAL, nullptr);
        ASSERT_NE(handle, INVALID_HANDLE_VALUE);
        CloseHandle(handle);
    }
    std::string MakeSystemFile(const std::string& name, bool native) override {
        const std::string windows = WindowsFolder();
        std::string made = windows + (native ? "\\System32\\" : "\\SysWOW64\\") + name;
        {
            NativeFiles off;
            HANDLE handle = CreateFileA(made.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                        FILE_ATTRIBUTE_NORMAL, nullptr);
            EXPECT_NE(handle, INVALID_HANDLE_VALUE) << made;
            if (handle != INVALID_HANDLE_VALUE) CloseHandle(handle);
        }
        return windows + "\\system32\\" + name;
    }
    void RemoveSystemFile(const std::string& name) override {
        NativeFiles off;
        const std::string windows = WindowsFolder();
        DeleteFileA((windows + "\\System32\\" + name).c_str());
        DeleteFileA((windows + "\\SysWOW64\\" + name).c_str());
    }

  private:
    REGSAM View() const { return registry_.TwoViews() ? KEY_WOW64_64KEY : 0; }
    std::string WindowsFolder() {
        std::string windows;
        files_.SpecialFolder(csidl::kWindows, windows);
        return windows;
    }

    Win32Registry registry_;
    Win32FileProbe files_;
};

std::unique_ptr<SystemBackend> MakeLive() {
    return std::make_unique<LiveBackend>();
}

INSTANTIATE_TEST_SUITE_P(Live, SystemScan, ::testing::Values(&MakeLive));

}  // namespace
}  // namespace qm::test
