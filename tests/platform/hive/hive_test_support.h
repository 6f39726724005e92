// What the hive tests share: files as bytes, hives built from registry
// text, the fields of a hive's records, and a folder of the test's own.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "platform/hive/hive_builder.h"
#include "platform/hive/hive_bytes.h"

namespace qm::hive::test {

namespace fs = std::filesystem;
using hive::Le32;
using hive::PutLe32;

inline const std::string kFixtures = QM_SOURCE_DIR "/tests/platform/hive/fixtures";
inline const std::string kMinimal = kFixtures + "/minimal";

inline std::string ReadBytes(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

inline void WriteBytes(const fs::path& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
}

// The base block's checksum made right again after a change to it.
inline void FixChecksum(std::string& bytes) {
    uint32_t sum = 0;
    for (size_t at = 0; at < 0x1FC; at += 4) sum ^= Le32(bytes, at);
    PutLe32(bytes, 0x1FC, sum);
}

// Writes a hive at `path` holding the keys of registry text `text` (without
// its first line) below `root\prefix`.
inline void MakeHive(const fs::path& path, const std::string& text, HKey root,
                     const std::string& prefix) {
    regtext::Document doc;
    regtext::ParseError parseError;
    ASSERT_TRUE(regtext::Parse("REGEDIT4\r\n\r\n" + text, doc, parseError)) << parseError.message;
    fs::create_directories(path.parent_path());
    std::string error;
    ASSERT_TRUE(BuildHive(kMinimal, doc, root, prefix, path.string(), &error)) << error;
}

// A folder of the running test's own, empty.
inline fs::path TestFolder() {
    const fs::path folder =
        fs::temp_directory_path() /
        ("qm-hive-" + std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()) +
         "-" + std::to_string(::getpid()));
    fs::remove_all(folder);
    fs::create_directories(folder);
    return folder;
}

}  // namespace qm::hive::test
