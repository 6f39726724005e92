#include "platform/memory/memory_registry.h"
#include "tests/contract/registry_contract.h"

namespace qm::test {
namespace {

class MemoryBackend : public RegistryBackend {
  public:
    RegistryService& registry() override { return registry_; }
    const char* name() const override { return "memory"; }

  private:
    MemoryRegistry registry_;
};

std::unique_ptr<RegistryBackend> MakeMemory() {
    return std::make_unique<MemoryBackend>();
}

INSTANTIATE_TEST_SUITE_P(Memory, RegistryContract, ::testing::Values(&MakeMemory));

}  // namespace
}  // namespace qm::test
