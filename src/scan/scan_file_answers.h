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
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "platform/file_probe.h"

namespace qm {

class ScanFileAnswers : public FileProbe {
  public:
    explicit ScanFileAnswers(FileProbe& inner) : inner_(inner) {}

    bool PathExists(const std::string& path) override;
    bool FindOnPath(std::string& name) override;

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
    // Each path's existence, by its exact text, in one open-addressed table
    // over one string of all the paths: a lookup reads one slot and the
    // path's bytes, where a map of nodes reads a bucket, a node and the
    // node's own string, each somewhere else in memory. Most of a scan's
    // questions are answered here, so that is most of what they cost.
    class PathTable {
      public:
        // The kept answer for `path`, if any.
        std::optional<bool> Find(std::string_view path, uint64_t hash) const;
        // Keeps the answer for a path that Find does not know.
        void Insert(std::string_view path, uint64_t hash, bool answer);
        bool Full() const;
        void Clear();

      private:
        struct Slot {
            uint64_t hash = 0;
            uint32_t offset = 0;  // into text_
            uint32_t length = 0;
            bool used = false;
            bool answer = false;
        };
        void Grow();

        std::vector<Slot> slots_;  // a power of two, never more than half used
        std::string text_;
        size_t used_ = 0;
    };

    void Forget();

    FileProbe& inner_;
    PathTable exists_;
    // A bare name -> the full path found for it, or nothing.
    std::unordered_map<std::string, std::optional<std::string>> found_;
};

}  // namespace qm
