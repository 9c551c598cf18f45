// Windows only: the shared registry tests run against the real registry, in a key of their own.
#include "platform/registry_sandbox.h"

namespace zt4test {

void PrepareRegistry() {}

}  // namespace zt4test
