// A small world for scanner tests: an in-memory registry filled from
// registry text, drive C: mapped to a fresh temporary folder, and the list,
// counters, stop flag and progress sink a scanner works with.
#pragma once

#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <memory>
#include <string>
#include <tuple>
#include <vector>

#include "platform/memory/mapped_file_probe.h"
#include "platform/memory/memory_registry.h"
#include "scan/scan_context.h"

namespace qm::testing {

// keyPath, valueName, data, category of one found item.
using Found = std::tuple<std::string, std::string, std::string, int>;
using Texts = std::vector<std::string>;

// Records progress texts; raises the stop flag when `stopAt` arrives, as a
// Stop Find press during the scan would.
struct RecordingSink : ProgressSink {
    explicit RecordingSink(std::atomic<int>& flag) : stop(flag) {}
    void Progress(const std::string& text) override {
        texts.push_back(text);
        if (!stopAt.empty() && text == stopAt) stop = 1;
    }
    std::atomic<int>& stop;
    std::string stopAt;
    Texts texts;
};

class ScanFixture : public ::testing::Test {
  protected:
    ScanFixture();
    ~ScanFixture() override;

    // Applies registry text (the REGEDIT4 header is added).
    void LoadRegistry(const std::string& body);
    // Creates a file or a folder for a "C:\..." path, with its parents.
    void MakeFile(const std::string& windowsPath);
    void MakeFolder(const std::string& windowsPath);

    // Runs one scanner (the probe is made from `config` on first use) and
    // returns everything in the list. Checks that every key was closed.
    std::vector<Found> Run(void (*scanner)(ScanContext&));
    FileProbe& Files();

    MemoryRegistry registry;
    MappedFilesConfig config;
    FoundItemList list;
    ScanCounters counters;
    std::atomic<int> stop{0};
    RecordingSink sink{stop};

  private:
    std::filesystem::path root_;
    std::unique_ptr<MappedFileProbe> files_;
};

}  // namespace qm::testing
