// Any bytes through the stand-in registry's .reg reader: no crash and no leak, and whatever
// it accepts, the writer writes back so that the reader reads the same registry again.
#include <cstddef>
#include <cstdint>
#include <string>

#include "fuzz_environment.h"
#include "platform/posix/reg_file.h"
#include "platform/posix/registry_tree.h"

namespace {

using platform::standin::RegistryKey;
using platform::standin::RegistryTree;

// Same names as written, same values in the same order, same subkeys.
bool SameKey(const RegistryKey& left, const RegistryKey& right) {
  if (left.Name() != right.Name() || left.SubkeyCount() != right.SubkeyCount()) return false;
  const auto& leftValues = left.Values();
  const auto& rightValues = right.Values();
  if (leftValues.size() != rightValues.size()) return false;
  for (size_t i = 0; i < leftValues.size(); ++i) {
    if (leftValues[i].name != rightValues[i].name || leftValues[i].type != rightValues[i].type ||
        leftValues[i].data != rightValues[i].data) {
      return false;
    }
  }
  for (size_t i = 0; i < left.SubkeyCount(); ++i) {
    if (!SameKey(*left.SubkeyAt(i), *right.SubkeyAt(i))) return false;
  }
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string bytes(reinterpret_cast<const char*>(data), size);
  RegistryTree parsed;
  if (!platform::standin::ParseRegFile(bytes, parsed)) return 0;

  const std::string written = platform::standin::FormatRegFile(parsed);
  RegistryTree reread;
  FUZZ_CHECK(platform::standin::ParseRegFile(written, reread));
  FUZZ_CHECK(SameKey(*parsed.localMachine, *reread.localMachine));
  FUZZ_CHECK(SameKey(*parsed.currentUser, *reread.currentUser));
  FUZZ_CHECK(platform::standin::FormatRegFile(reread) == written);
  return 0;
}
