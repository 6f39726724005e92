// A small world for the deep scanners' tests: an in-memory registry, drive
// C: mapped to a fresh temporary folder, and the list, counters, stop flag
// and progress sink that a scanner works with.
#pragma once

#include <gtest/gtest.h>

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "platform/memory/mapped_file_probe.h"
#include "platform/memory/memory_registry.h"
#include "scan/scan_context.h"

namespace qm::repairtest {

// `prefix` followed by `n` in decimal.
inline std::string Numbered(const char* prefix, long long n) {
    std::string text(prefix);
    text += std::to_string(n);
    return text;
}

// What a test expects of one found item.
struct Found {
    std::string keyPath;
    std::string valueName;
    std::string data;
    int category = 0;
    bool operator==(const Found&) const = default;
};
void PrintTo(const Found& found, std::ostream* out);

// Keeps the progress texts (unless told not to) and calls a hook with each,
// so that a test can raise the stop flag at a chosen text or look at the
// registry while the scan runs.
class Sink : public ProgressSink {
  public:
    void Progress(const std::string& text) override {
        ++count;
        if (keepTexts) texts.push_back(text);
        if (onText) onText(text);
    }

    bool keepTexts = true;
    size_t count = 0;
    std::vector<std::string> texts;
    std::function<void(const std::string&)> onText;
};

class ScannerWorld : public ::testing::Test {
  protected:
    ScannerWorld();
    ~ScannerWorld() override;

    // Creates the key (and its parents).
    void MakeKey(HKey root, const std::string& path);
    // Sets a text value with its terminating zero.
    void SetText(HKey root, const std::string& path, const std::string& name,
                 const std::string& text, uint32_t type = regtype::kSz);
    // Sets a value to exactly these bytes.
    void SetBytes(HKey root, const std::string& path, const std::string& name, uint32_t type,
                  const std::string& bytes);
    void Protect(HKey root, const std::string& path, MemoryRegistry::Protection protection);

    // Creates a file or a folder for a "C:\..." path, with its parents.
    void MakeFile(const std::string& windowsPath);
    void MakeFolder(const std::string& windowsPath);
    void SetEnv(const std::string& name, const std::string& value);

    // Stops the scan when `text` is reported.
    void StopAt(const std::string& text);

    // Runs a scanner and returns what it found. Checks that the counters
    // match the list and that every key the scanner opened was closed.
    std::vector<Found> Run(const std::function<void(ScanContext&)>& scanner);

    FileProbe& Files();

    MemoryRegistry registry;
    MappedFilesConfig config;
    FoundItemList list;
    ScanCounters counters;
    std::atomic<int> stop{0};
    Sink sink;

  private:
    RegKey CreatePath(HKey root, const std::string& path);
    std::filesystem::path HostPath(const std::string& windowsPath) const;

    std::filesystem::path root_;
    std::unique_ptr<MappedFileProbe> files_;
};

}  // namespace qm::repairtest
