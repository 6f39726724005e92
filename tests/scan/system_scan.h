// The eight scanners against a whole system: the test writes its entries
// into the very keys the scanners read, beside whatever the system already
// holds there, makes files in a folder of drive C:, runs each scanner and
// compares the items that name its own entries. Everything it wrote is
// removed afterwards.
//
// The suite runs against every backend, each test program instantiating it
// with a factory:
//  - under Wine against the live registry and file system of the build's
//    own Wine prefix;
//  - natively against the in-memory registry and a mapped drive C: set up
//    as a small Windows installation.
#pragma once

#include <gtest/gtest.h>

#include <initializer_list>
#include <memory>
#include <string>
#include <tuple>
#include <vector>

#include "platform/file_probe.h"
#include "platform/registry_service.h"
#include "scan/scan_context.h"

namespace qm::test {

class SystemBackend {
  public:
    virtual ~SystemBackend() = default;
    virtual RegistryService& registry() = 0;
    virtual FileProbe& files() = 0;
    // Removes a folder with everything in it (the FileProbe deletes files
    // only).
    virtual void RemoveTree(const std::string& windowsPath) = 0;

    // Names and text that the code page may not hold, written and removed
    // past the rules that keep the program away from them: a REG_SZ value
    // (its key made as needed), one value, a key with everything below it,
    // and an empty file (its folder made as needed).
    virtual void SetWideText(HKey root, const std::u16string& keyPath, const std::u16string& name,
                             const std::u16string& text) = 0;
    virtual void RemoveWideValue(HKey root, const std::u16string& keyPath,
                                 const std::u16string& name) = 0;
    virtual void RemoveWideKey(HKey root, const std::u16string& keyPath) = 0;
    virtual void MakeWideFile(const std::u16string& path) = 0;

    // 64-bit Windows: an empty file in the system's own System32 (`native`)
    // or in the 32-bit programs' one, and the path that programs write for
    // either, "<Windows folder>\system32\<name>". Removed from both.
    virtual std::string MakeSystemFile(const std::string& name, bool native) = 0;
    virtual void RemoveSystemFile(const std::string& name) = 0;
};

using SystemBackendFactory = std::unique_ptr<SystemBackend> (*)();

// keyPath, valueName, data, category.
using Item = std::tuple<std::string, std::string, std::string, int>;

class SystemScan : public ::testing::TestWithParam<SystemBackendFactory> {
  protected:
    void SetUp() override;
    void TearDown() override;

    RegistryService& reg() { return backend_->registry(); }
    FileProbe& files() { return backend_->files(); }

    // Writes a value, creating its key; both are removed in TearDown (the
    // key only if this test created it).
    void SetText(HKey root, const std::string& keyPath, const std::string& name,
                 const std::string& text, uint32_t type = 1 /* REG_SZ */);
    void SetDword(HKey root, const std::string& keyPath, const std::string& name, uint32_t value);
    void MakeKey(HKey root, const std::string& keyPath);

    // Makes an empty file (and its folders) below the test's folder, or a
    // single file or folder elsewhere that TearDown removes.
    void MakeFile(const std::string& path);
    void MakeFolder(const std::string& path);
    // The backend's writes past the rules (see SystemBackend); removed in
    // TearDown, the key too when it is the test's own.
    void SetWideText(HKey root, const std::u16string& keyPath, const std::u16string& name,
                     const std::u16string& text, bool ownKey = false);
    std::string MakeSystemFile(const std::string& name, bool native);
    SystemBackend& backend() { return *backend_; }

    // Runs scanners in turn as a scan does, one item per entry, and returns
    // the items that name this test's entries, in list order.
    std::vector<Item> Run(std::initializer_list<void (*)(ScanContext&)> scanners);
    std::vector<Item> Run(void (*scanner)(ScanContext&)) { return Run({scanner}); }

    std::string base_;  // the test's folder on drive C:
    std::string gone_;  // a folder below it that never exists

  private:
    void RememberKey(HKey root, const std::string& keyPath);

    std::unique_ptr<SystemBackend> backend_;
    std::vector<std::pair<HKey, std::string>> createdKeys_;
    std::vector<std::tuple<HKey, std::string, std::string>> addedValues_;
    std::vector<std::string> outsideFiles_;
    std::vector<std::string> outsideFolders_;
    std::vector<std::tuple<HKey, std::u16string, std::u16string>> wideValues_;
    std::vector<std::pair<HKey, std::u16string>> wideKeys_;
    std::vector<std::string> systemFiles_;
};

// What a test's entries are named by: a key, value or path with this text,
// or a class or library GUID starting with kGuidPrefix.
inline constexpr const char* kMarker = "QmSystemScan";
inline constexpr const char* kGuidPrefix = "{51CA7E57-";

}  // namespace qm::test
