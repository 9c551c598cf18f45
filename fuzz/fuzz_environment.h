// What the fuzz targets share: a temporary Windows directory that lives as long as the
// process, frameworks recorded in the stand-in registry with a fusion module in their folder,
// and text in heap blocks of exactly its own size, so that AddressSanitizer sees a read one
// byte past its end.
#pragma once

#include <stdlib.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>

#include "platform/posix/registry_store.h"
#include "platform/types.h"

namespace fuzz_environment {

inline const char kPolicyKey[] = "SOFTWARE\\Microsoft\\.NETFramework\\policy";

// Stops the run loudly: the libFuzzer driver records the input that got here.
#define FUZZ_CHECK(condition)                                                         \
  do {                                                                                \
    if (!(condition)) {                                                               \
      std::fprintf(stderr, "%s:%d: check failed: %s\n", __FILE__, __LINE__, #condition); \
      std::abort();                                                                   \
    }                                                                                 \
  } while (false)

// Where the temporary roots go: ZT4GAC_FUZZ_TMPDIR when set, else /dev/shm when there is
// one (the stand-in fusion.dll rewrites its state file on every call, which memory takes far
// faster than a disk), else /tmp.
inline std::string TemporaryParent() {
  const char* chosen = std::getenv("ZT4GAC_FUZZ_TMPDIR");
  if (chosen != nullptr && *chosen != '\0') return chosen;
  std::error_code ignored;
  return std::filesystem::is_directory("/dev/shm", ignored) ? "/dev/shm" : "/tmp";
}

// The process's temporary root with a "Windows" folder that ZT4GAC_WINDOWS_DIR names; removed
// when the process exits normally. Never destroyed, so the exit handler can still read it.
inline const std::string& TemporaryRoot() {
  static const std::string* const root = [] {
    std::string pattern = TemporaryParent() + "/zt4gac-fuzz-XXXXXX";
    FUZZ_CHECK(mkdtemp(pattern.data()) != nullptr);
    const auto* made = new std::string(pattern);
    std::filesystem::create_directories(*made + "/Windows");
    setenv("ZT4GAC_WINDOWS_DIR", (*made + "/Windows").c_str(), 1);
    std::atexit([] {
      std::error_code ignored;
      std::filesystem::remove_all(TemporaryRoot(), ignored);
    });
    return made;
  }();
  return *root;
}

inline std::string WindowsDirectory() { return TemporaryRoot() + "/Windows"; }

// Records framework `version` (e.g. "v4.0") with build `build` in the policy key, as the
// inventory reads it.
inline void RegisterFramework(const std::string& version, const std::string& build) {
  platform::standin::SetRegistryString(HKEY_LOCAL_MACHINE, std::string(kPolicyKey) + "\\" + version, build,
                                       build + "-" + build);
}

// Copies `module` as fusion.dll into the folder of framework `version`.`build`; returns its path.
inline std::string InstallFusionModule(const std::string& version, const std::string& build,
                                       const std::string& module) {
  const std::string directory = WindowsDirectory() + "/Microsoft.NET/Framework/" + version + "." + build;
  std::filesystem::create_directories(directory);
  const std::string path = directory + "/fusion.dll";
  std::filesystem::copy_file(module, path, std::filesystem::copy_options::overwrite_existing);
  return path;
}

// `text` NUL-terminated in a block of exactly text.size() + 1 bytes.
inline std::unique_ptr<char[]> ExactCopy(const std::string& text) {
  std::unique_ptr<char[]> copy(new char[text.size() + 1]);
  std::memcpy(copy.get(), text.data(), text.size());
  copy[text.size()] = '\0';
  return copy;
}

}  // namespace fuzz_environment
