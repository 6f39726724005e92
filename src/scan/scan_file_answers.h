// The file questions of one scan, answered once per path. A scan asks about
// the same few thousand paths hundreds of thousands of times (every class
// of a library names the same file, every entry of a program's keys its
// folder), and on a live system each answer costs a call into the file
// system. The scan driver puts this in front of the probe for the length of
// one scan, so that the whole scan sees each path as it was when the scan
// first asked about it; the next scan asks afresh. Changes through it (a
// folder made, a file deleted or opened) forget every kept answer.
#pragma once

#include <cstddef>
#include <string>
#include <unordered_map>
#include <vector>

#include "platform/file_probe.h"
#include "platform/text_answers.h"

namespace qm {

class ScanFileAnswers : public FileProbe {
  public:
    explicit ScanFileAnswers(FileProbe& inner) : inner_(inner) {}

    Existence CheckPath(const std::string& path) override;
    Existence FindOnPath(std::string& name) override;
    bool SearchPlaces(SearchFolders& folders) override { return inner_.SearchPlaces(folders); }
    bool CanTellMissing(const std::string& path) override { return inner_.CanTellMissing(path); }

    uint32_t ExpandEnvironment(const std::string& text, std::string& expanded,
                               uint32_t limit) override {
        return inner_.ExpandEnvironment(text, expanded, limit);
    }
    bool SpecialFolder(int csidl, std::string& path) override {
        return inner_.SpecialFolder(csidl, path);
    }
    std::string ModuleFileName() override { return inner_.ModuleFileName(); }
    Status CreateFolder(const std::string& path) override;
    Status DeleteFile(const std::string& path) override;
    Status ListFolder(const std::string& pattern, std::vector<FileEntry>& entries) override {
        return inner_.ListFolder(pattern, entries);
    }
    std::unique_ptr<FileStream> OpenFile(const std::string& path, FileMode mode,
                                         Status* status) override;

  private:
    void Forget();

    FileProbe& inner_;
    TextAnswers exists_;  // each path's existence, by its exact text
    // A bare name -> what the search answered, and the full path it found.
    struct Search {
        Existence answer;
        std::string found;
    };
    std::unordered_map<std::string, Search> found_;
};

}  // namespace qm
