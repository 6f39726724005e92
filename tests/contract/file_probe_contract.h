// The behaviour the program relies on from a FileProbe, written once and run
// against every backend: the mapped host folders natively and the live file
// system under Wine. Each backend's test program instantiates the suite with
// a factory:
//
//   INSTANTIATE_TEST_SUITE_P(Mapped, FileProbeContract, ::testing::Values(&MakeMapped));
//
// Every test creates what it needs through the probe itself inside an empty
// scratch folder that the backend provides and removes again.
#pragma once

#include <gtest/gtest.h>

#include <cstddef>
#include <memory>
#include <string>
#include <vector>

#include "platform/file_probe.h"

namespace qm::test {

// Environment variables every backend sets for the suite.
inline constexpr char kWordVariable[] = "QM_CONTRACT_WORD";
inline constexpr char kWordValue[] = "alpha";
inline constexpr char kLongVariable[] = "QM_CONTRACT_LONG";
inline constexpr size_t kLongValueLength = 600;  // the value is that many 'L'

// Windows paths of the backend's world, without trailing backslashes.
struct FileProbeFacts {
    std::string scratch;     // empty, writable, removed afterwards
    std::string current;     // the current folder
    std::string windows;     // the Windows folder
    std::string system;      // the system folder
    std::string pathFolder;  // writable, the last entry of PATH
    char unmappedDrive = 0;  // a drive letter that names nothing
    char goneDrive = 0;      // a letter that names a folder that is gone
};

class FileProbeBackend {
  public:
    virtual ~FileProbeBackend() = default;
    virtual FileProbe& probe() = 0;
    virtual const FileProbeFacts& facts() const = 0;
    // Makes an empty file at a path too long for the probe's own ANSI
    // operations, with the folders on its way; removed with the scratch
    // folder.
    virtual void MakeLongPathFile(const std::string& path) = 0;
};

using FileProbeBackendFactory = std::unique_ptr<FileProbeBackend> (*)();

class FileProbeContract : public ::testing::TestWithParam<FileProbeBackendFactory> {
  protected:
    void SetUp() override;
    void TearDown() override;

    FileProbe& probe() { return backend_->probe(); }
    const FileProbeFacts& facts() const { return backend_->facts(); }
    // scratch + "\" + relative
    std::string Scratch(const std::string& relative) const;

    // Creates (or replaces) a file through the probe and checks that it was
    // written; `path` is a full Windows path.
    void WriteFile(const std::string& path, const std::string& content);
    // The whole content of a file read through the probe.
    std::string ReadFile(const std::string& path);
    // Creates a file whose removal TearDown takes care of (for files outside
    // the scratch folder).
    void WriteTemporaryFile(const std::string& path);
    // Fills scratch\list with the files the listing tests search, each
    // holding its own name.
    void MakeListing();
    // The names ListFolder gives for scratch\list\<pattern>, checking its
    // status.
    std::vector<std::string> List(const std::string& pattern, Status expected = status::kSuccess);

    std::unique_ptr<FileProbeBackend> backend_;
    std::vector<std::string> temporaryFiles_;
};

}  // namespace qm::test
