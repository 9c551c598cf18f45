// Any bytes as the ZT4GAC_REGISTRY text: no crash and no leak; refused text merges nothing,
// and accepted text exports as text that reads back to the same registry.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "platform/posix/standin.h"

namespace standin = platform::standin;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  standin::ResetRegistry();
  static const std::string empty = standin::ExportRegistry();
  const bool accepted = standin::LoadRegistryText(std::string(reinterpret_cast<const char*>(data), size));
  const std::string exported = standin::ExportRegistry();
  if (!accepted && exported != empty) std::abort();
  standin::ResetRegistry();
  if (!standin::LoadRegistryText(exported) || standin::ExportRegistry() != exported) std::abort();
  return 0;
}
