// What the shared registry tests need from the platform they run on.
#pragma once

namespace zt4test {

// Makes the registry safe for tests to change. On the host: a fresh, empty stand-in registry
// in memory, so a developer's ZT4GAC_REGISTRY file is never touched. On Windows: nothing; the
// tests keep to a key of their own below HKEY_CURRENT_USER and remove it at the end.
void PrepareRegistry();

}  // namespace zt4test
