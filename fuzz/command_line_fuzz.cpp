// The whole tool in-process: any registry, any command line, and a fusion.dll that fails
// wherever the input says. This reaches the framework detection, the installed-copy reader and
// the search for the owning copy, both commands, and the cache operations they use.
//
// Input: byte 0 is a count n; the next n bytes drive the fake fusion.dll's outcomes; the rest is
// the registry as regedit text after its header line, then at each NUL byte one argument
// follows. Every 0x02 byte stands for the directory of a complete product installation.
#include <cstring>
#include <memory>
#include <vector>

#include "cli/command_line.h"
#include "fuzz_environment.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const size_t faults = size == 0 ? 0 : data[0] < size ? data[0] : size - 1;
  std::vector<std::string> arguments{world::kRegeditHeader};  // the registry first
  for (size_t at = 1 + faults; at < size; ++at) {
    if (data[at] == 0) arguments.emplace_back();
    else arguments.back() += data[at] == 2 ? ProductDirectory() : std::string(1, static_cast<char>(data[at]));
  }
  platform::standin::ResetRegistry();
  if (!platform::standin::LoadRegistryText(arguments[0])) return -1;
  arguments[0] = "zt4gac";
  // Each argument in a block of exactly its size, so that AddressSanitizer sees a read past it.
  std::vector<std::unique_ptr<char, void (*)(void*)>> blocks;
  std::vector<char*> argv;
  for (const std::string& a : arguments) argv.push_back(blocks.emplace_back(strdup(a.c_str()), free).get());
  argv.push_back(nullptr);
  StartInput(data + 1, faults);
  FUZZ_CHECK(RunCommandLine(static_cast<int>(arguments.size()), argv.data()) == 0);
  CheckNothingLeft();
  return 0;
}
