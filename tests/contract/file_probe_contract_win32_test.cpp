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

// Removes a folder tree that a test made (without following anything but
// real folders), walking it with an explicit stack.
void RemoveTree(const std::string& top) {
    std::vector<std::pair<std::string, bool>> stack{{top, false}};
    while (!stack.empty()) {
        auto [folder, emptied] = stack.back();
        if (emptied) {
            RemoveDirectoryA(folder.c_str());
            stack.pop_back();
            continue;
        }
        stack.back().second = true;
        WIN32_FIND_DATAA data;
        HANDLE find = FindFirstFileA((folder + "\\*").c_str(), &data);
        if (find == INVALID_HANDLE_VALUE) continue;
        do {
            std::string name = data.cFileName;
            if (name == "." || name == "..") continue;
            std::string path = folder + "\\" + name;
            if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
                stack.emplace_back(path, false);
            else
                DeleteFileA(path.c_str());
        } while (FindNextFileA(find, &data));
        FindClose(find);
    }
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

        oldPath_ = Variable("PATH");
        SetEnvironmentVariableA("PATH", (oldPath_ + ";" + facts_.pathFolder).c_str());
        SetEnvironmentVariableA(kWordVariable, kWordValue);
        SetEnvironmentVariableA(kLongVariable, std::string(kLongValueLength, 'L').c_str());
    }
    ~LiveBackend() override {
        SetEnvironmentVariableA("PATH", oldPath_.c_str());
        SetEnvironmentVariableA(kWordVariable, nullptr);
        SetEnvironmentVariableA(kLongVariable, nullptr);
        RemoveTree(facts_.scratch);
        RemoveTree(facts_.pathFolder);
    }

    FileProbe& probe() override { return probe_; }
    const FileProbeFacts& facts() const override { return facts_; }

  private:
    Win32FileProbe probe_;
    FileProbeFacts facts_;
    std::string oldPath_;
};

std::unique_ptr<FileProbeBackend> MakeLive() {
    return std::make_unique<LiveBackend>();
}

INSTANTIATE_TEST_SUITE_P(Live, FileProbeContract, ::testing::Values(&MakeLive));

}  // namespace
}  // namespace qm::test
