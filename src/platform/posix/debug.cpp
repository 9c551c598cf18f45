// POSIX stand-in for debugger output: a sink tests read, echoed to standard error only
// when ZT4GAC_DEBUG_OUTPUT=1, so the tool stays silent by default.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <utility>

#include "platform/debug.h"
#include "platform/posix/standin.h"

namespace platform {

namespace {
std::string& Sink() {
  static std::string sink;
  return sink;
}
}  // namespace

void OutputDebugStringA(LPCSTR text) {
  if (text == nullptr) return;
  Sink() += text;
  const char* echo = std::getenv("ZT4GAC_DEBUG_OUTPUT");
  if (echo != nullptr && std::strcmp(echo, "1") == 0) std::fputs(text, stderr);
}

namespace standin {
std::string TakeDebugOutput() { return std::exchange(Sink(), std::string()); }
}  // namespace standin

}  // namespace platform
