// GoogleTest's hook for platform adaptations, taken in place of its empty default by the
// mingw build. Debian's mingw-w64 has the win32 thread model, whose C++ library lacks the
// std::mutex and std::condition_variable that GoogleTest's Notification is made of. Only
// GoogleTest's thread helpers wait on one, for its own tests; the platform tests start no
// thread, so nothing ever waits here.
#pragma once

#define GTEST_HAS_NOTIFICATION_ 1

namespace testing::internal {

class Notification {
 public:
  void Notify() {}
  void WaitForNotification() {}
};

}  // namespace testing::internal
