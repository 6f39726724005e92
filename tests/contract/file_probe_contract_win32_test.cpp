#include "file_probe_contract.h"
#include "platform/win32/win32_file_probe.h"

#include <windows.h>

#include <string>
#include <vector>

namespace qm::test {
namespace {

std::string WithoutTrailingBackslash(std::string path) {
    if (path.size() > 3 && path.back() == '\\') path.pop_back();
    return path;
}

std::string MakeTempFolder(const char* tag) {
    static int counter = 0;
    char temp[MAX_PATH] = {};
    GetTempPathA(MAX_PATH, temp);
    std::string folder = WithoutTrailingBackslash(temp) + "\\qmfp-" + tag + "-" +
                         std::to_string(GetCurrentProcessId()) + "-" + std::to_string(++counter);
    CreateDirectoryA(folder.c_str(), nullptr);
    return folder;
}

std::wstring LongForm(const std::string& path) {
    return L"\\\\?\\" + std::wstring(path.begin(), path.end());
}

// Removes a folder tree that a test made (without following anything but
// real folders), walking it with an explicit stack, at any depth.
void RemoveTree(const std::string& top) {
    std::vector<std::pair<std::wstring, bool>> stack{{LongForm(top), false}};
    while (!stack.empty()) {
        auto [folder, emptied] = stack.back();
        if (emptied) {
            RemoveDirectoryW(folder.c_str());
            stack.pop_back();
            continue;
        }
        stack.back().second = true;
        WIN32_FIND_DATAW data;
        HANDLE find = FindFirstFileW((folder + L"\\*").c_str(), &data);
        if (find == INVALID_HANDLE_VALUE) continue;
        do {
            std::wstring name = data.cFileName;
            if (name == L"." || name == L"..") continue;
            std::wstring path = folder + L"\\" + name;
            if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
                stack.emplace_back(path, false);
            else
                DeleteFileW(path.c_str());
        } while (FindNextFileW(find, &data));
        FindClose(find);
    }
}

// The last drive letter from Z: down that names nothing, other than `other`.
char FreeDriveLetter(char other) {
    const DWORD used = GetLogicalDrives();
    for (char letter = 'Z'; letter > 'D'; --letter)
        if ((used & (1u << (letter - 'A'))) == 0 && letter != other) return letter;
    return 0;
}

std::string Variable(const char* name) {
    DWORD size = GetEnvironmentVariableA(name, nullptr, 0);
    if (size == 0) return {};
    std::string value(size, '\0');
    value.resize(GetEnvironmentVariableA(name, value.data(), size));
    return value;
}

// The live file system under a fresh temporary folder; a second one is put
// at the end of PATH.
class LiveBackend : public FileProbeBackend {
  public:
    LiveBackend() {
        char buffer[MAX_PATH] = {};
        facts_.scratch = MakeTempFolder("scratch");
        facts_.pathFolder = MakeTempFolder("path");
        GetCurrentDirectoryA(MAX_PATH, buffer);
        facts_.current = WithoutTrailingBackslash(buffer);
        GetWindowsDirectoryA(buffer, MAX_PATH);
        facts_.windows = WithoutTrailingBackslash(buffer);
        GetSystemDirectoryA(buffer, MAX_PATH);
        facts_.system = WithoutTrailingBackslash(buffer);

        // A letter that names nothing, and one substituted for a folder that
        // is not there (as a removed stick's letter may still be).
        facts_.unmappedDrive = FreeDriveLetter(0);
        const char gone = FreeDriveLetter(facts_.unmappedDrive);
        goneDrive_ = {gone, ':', '\0'};
        if (gone != 0 &&
            DefineDosDeviceA(0, goneDrive_.c_str(), (facts_.scratch + "\\gone-drive").c_str()))
            facts_.goneDrive = gone;

        oldPath_ = Variable("PATH");
        SetEnvironmentVariableA("PATH", (oldPath_ + ";" + facts_.pathFolder).c_str());
        SetEnvironmentVariableA(kWordVariable, kWordValue);
        SetEnvironmentVariableA(kLongVariable, std::string(kLongValueLength, 'L').c_str());
    }
    ~LiveBackend() override {
        SetEnvironmentVariableA("PATH", oldPath_.c_str());
        SetEnvironmentVariableA(kWordVariable, nullptr);
        SetEnvironmentVariableA(kLongVariable, nullptr);
        if (facts_.goneDrive != 0)
            DefineDosDeviceA(DDD_REMOVE_DEFINITION, goneDrive_.c_str(), nullptr);
        RemoveTree(facts_.scratch);
        RemoveTree(facts_.pathFolder);
    }

    FileProbe& probe() override { return probe_; }
    const FileProbeFacts& facts() const override { return facts_; }
    void MakeLongPathFile(const std::string& path) override {
        for (size_t at = path.find('\\', 3); at != std::string::npos; at = path.find('\\', at + 1))
            CreateDirectoryW(LongForm(path.substr(0, at)).c_str(), nullptr);
        HANDLE file = CreateFileW(LongForm(path).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                  FILE_ATTRIBUTE_NORMAL, nullptr);
        ASSERT_NE(file, INVALID_HANDLE_VALUE) << path << " error " << GetLastError();
        CloseHandle(file);
    }

  private:
    Win32FileProbe probe_;
    FileProbeFacts facts_;
    std::string oldPath_;
    std::string goneDrive_;
};

std::unique_ptr<FileProbeBackend> MakeLive() {
    return std::make_unique<LiveBackend>();
}

INSTANTIATE_TEST_SUITE_P(Live, FileProbeContract, ::testing::Values(&MakeLive));

}  // namespace
}  // namespace qm::test
