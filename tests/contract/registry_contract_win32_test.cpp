#include "platform/win32/win32_registry.h"
#include "tests/contract/registry_contract.h"

namespace qm::test {
namespace {

class LiveBackend : public RegistryBackend {
  public:
    RegistryService& registry() override { return registry_; }
    const char* name() const override { return "win32"; }

  private:
    Win32Registry registry_;
};

std::unique_ptr<RegistryBackend> MakeLive() {
    return std::make_unique<LiveBackend>();
}

INSTANTIATE_TEST_SUITE_P(Live, RegistryContract, ::testing::Values(&MakeLive));

}  // namespace
}  // namespace qm::test
