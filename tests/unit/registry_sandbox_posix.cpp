// Host only: the shared registry tests run against an empty in-memory stand-in registry.
#include "platform/posix/registry_store.h"
#include "platform/registry_sandbox.h"

namespace zt4test {

void PrepareRegistry() { platform::standin::ResetRegistry(); }

}  // namespace zt4test
