// The behaviour the program relies on from a RegistryService, written once
// and run against every backend: the in-memory registry natively and the
// live registry under Wine. Each backend's test program instantiates the
// suite with a factory:
//
//   INSTANTIATE_TEST_SUITE_P(Memory, RegistryContract, ::testing::Values(&MakeMemory));
//
// Every test works below a scratch key that the fixture creates empty and
// deletes afterwards.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "platform/registry_service.h"

namespace qm::test {

class RegistryBackend {
  public:
    virtual ~RegistryBackend() = default;
    virtual RegistryService& registry() = 0;
    virtual const char* name() const = 0;
};

using RegistryBackendFactory = std::unique_ptr<RegistryBackend> (*)();

class RegistryContract : public ::testing::TestWithParam<RegistryBackendFactory> {
  protected:
    void SetUp() override;
    void TearDown() override;

    RegistryService& reg() { return backend_->registry(); }
    // The scratch key's path below HKEY_CURRENT_USER, and a handle to it
    // with full access.
    const std::string& scratchPath() const { return scratchPath_; }
    HKey scratch() const { return scratch_.get(); }

    // Creates scratch\path (with its parents) and closes it.
    void MakeKey(const std::string& path);
    void SetString(HKey key, const char* name, const std::string& text, bool withZero = true);

    std::unique_ptr<RegistryBackend> backend_;
    std::string scratchPath_;
    RegKey scratch_;
};

std::string ContractScratchName();

}  // namespace qm::test
