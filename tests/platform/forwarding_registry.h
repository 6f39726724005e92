// The forwarding registry of src/platform, under the name the tests use.
#pragma once

#include "platform/forwarding_registry.h"

namespace qm::testing {
using qm::ForwardingRegistry;
}  // namespace qm::testing
