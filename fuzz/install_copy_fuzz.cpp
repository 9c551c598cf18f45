// The installed-copy reader over a fuzzed registry: copy names, "Zt4 Path Name" values,
// component names and the version-8 marker of every length around the 64-, 100-, 255-, 256-
// and 260-byte bounds, some paths naming real directories of such lengths. Builds an
// InstallCopyList, searches it with FindCopyByPath and reads every copy through GetName and
// GetShortPath into buffers of exactly the size declared. No crash, no overrun, no leak, and
// no registry handle left open.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "copies/install_copy_list.h"
#include "fuzz_environment.h"
#include "platform/posix/registry_store.h"
#include "platform/posix/standin.h"

namespace {

namespace env = fuzz_environment;
using platform::standin::SetRegistryValue;

constexpr char kProductKey[] = "SOFTWARE\\Ovk\\Zt4";
constexpr char kCurrentVersionKey[] = "SOFTWARE\\Ovk\\Zt4\\CurrentVersion";
constexpr char kInstalledCopiesKey[] = "SOFTWARE\\Ovk\\Zt4\\InstalledCopies";
constexpr char kPathValue[] = "Zt4 Path Name";
constexpr size_t kBoundLengths[] = {0, 1, 2, 63, 64, 65, 99, 100, 101, 254, 255, 256, 257, 259, 260, 261};
constexpr size_t kMaxLength = 300;

// Directories whose paths are about as long as a path buffer holds, and a short one.
const std::vector<std::string>& Directories() {
  static const std::vector<std::string> directories = [] {
    std::vector<std::string> made;
    const std::string base = env::TemporaryRoot() + "/copies";
    made.push_back(base + "/Zt4 Home");
    for (size_t length : {250u, 254u, 255u, 256u, 259u, 260u, 261u}) {
      made.push_back(base + "/" + std::string(length - base.size() - 1, 'd'));
    }
    for (const std::string& directory : made) std::filesystem::create_directories(directory);
    return made;
  }();
  return directories;
}

size_t PickLength(FuzzedDataProvider& input) {
  if (input.ConsumeBool()) return input.PickValueInArray(kBoundLengths);
  return input.ConsumeIntegralInRange<size_t>(0, kMaxLength);
}

// `length` bytes: a few from the input, then a fill byte. `forbidden` bytes become 'x'.
std::string Text(FuzzedDataProvider& input, size_t length, const char* forbidden) {
  std::string text = input.ConsumeBytesAsString(input.ConsumeIntegralInRange<size_t>(0, 8));
  if (text.size() > length) text.resize(length);
  text.resize(length, static_cast<char>(input.ConsumeIntegralInRange<int>(0x20, 0xFF)));
  for (char& c : text) {
    if (c == '\0' || std::strchr(forbidden, c) != nullptr) c = 'x';
  }
  return text;
}

// A key name: never empty, no backslash (it would make a path of two keys).
std::string KeyName(FuzzedDataProvider& input) {
  const size_t length = PickLength(input);
  return Text(input, length == 0 ? 1 : length, "\\");
}

// A directory the way a copy's registry value or a caller names it.
std::string PathText(FuzzedDataProvider& input) {
  if (input.ConsumeBool()) {
    const std::vector<std::string>& directories = Directories();
    std::string path = directories[input.ConsumeIntegralInRange<size_t>(0, directories.size() - 1)];
    if (input.ConsumeBool()) path += '\\';
    return path;
  }
  return Text(input, PickLength(input), "");
}

// "Zt4 Path Name" or any other value: text with or without a terminator, or of another type.
void SetValue(FuzzedDataProvider& input, const std::string& key, const std::string& name, const std::string& text) {
  const DWORD types[] = {REG_SZ, REG_SZ, REG_EXPAND_SZ, REG_BINARY, REG_DWORD, REG_MULTI_SZ};
  const DWORD type = input.PickValueInArray(types);
  std::string bytes = text;
  if (input.ConsumeBool()) bytes += '\0';
  SetRegistryValue(HKEY_LOCAL_MACHINE, key, name, type, bytes);
}

void AddComponents(FuzzedDataProvider& input, HKEY root, const std::string& copyKey) {
  const int count = input.ConsumeIntegralInRange(0, 4);
  for (int i = 0; i < count; ++i) {
    SetRegistryValue(root, copyKey + "\\COMPONENTS", Text(input, PickLength(input), ""), REG_SZ, std::string(1, '\0'));
  }
}

// Fills the registry; returns the paths it recorded, for the search to look for.
std::vector<std::string> FillRegistry(FuzzedDataProvider& input) {
  std::vector<std::string> paths;
  auto setPath = [&](const std::string& key) {
    paths.push_back(PathText(input));
    SetValue(input, key, kPathValue, paths.back());
  };
  platform::standin::ResetRegistry();
  if (input.ConsumeBool()) {
    const std::string version = input.ConsumeBool() ? std::string("8") : Text(input, PickLength(input), "");
    SetValue(input, kCurrentVersionKey, "Version", version);
  }
  if (input.ConsumeBool()) setPath(kProductKey);
  const int copies = input.ConsumeIntegralInRange(0, 6);
  for (int i = 0; i < copies; ++i) {
    const std::string copyKey = std::string(kInstalledCopiesKey) + "\\" + KeyName(input);
    platform::standin::CreateRegistryKey(HKEY_LOCAL_MACHINE, copyKey);
    if (input.ConsumeIntegralInRange(0, 7) != 0) setPath(copyKey);
    const bool perUser = input.ConsumeBool();
    if (perUser) platform::standin::CreateRegistryKey(HKEY_LOCAL_MACHINE, copyKey + "\\Users");
    AddComponents(input, perUser ? HKEY_CURRENT_USER : HKEY_LOCAL_MACHINE, copyKey);
  }
  return paths;
}

// What the search is asked for: mostly a path the registry holds, in other letter case or
// with a trailing backslash added or taken away, else any directory text.
std::string SearchedDirectory(FuzzedDataProvider& input, const std::vector<std::string>& paths) {
  if (paths.empty() || input.ConsumeBool()) return PathText(input);
  std::string path = paths[input.ConsumeIntegralInRange<size_t>(0, paths.size() - 1)];
  if (input.ConsumeBool()) {
    for (char& c : path) c = (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
  }
  if (input.ConsumeBool()) {
    if (!path.empty() && path.back() == '\\') {
      path.pop_back();
    } else {
      path += '\\';
    }
  }
  return path;
}

// A heap buffer of exactly `size` bytes filled with a marker, so that a write past it is an
// overrun and a failed call can be seen to leave it alone.
std::vector<char> MarkedBuffer(size_t size) { return std::vector<char>(size, '\x5A'); }

bool Untouched(const std::vector<char>& buffer) {
  for (char c : buffer) {
    if (c != '\x5A') return false;
  }
  return true;
}

void ReadCopy(FuzzedDataProvider& input, const InstallCopy& copy) {
  FUZZ_CHECK(std::strlen(copy.GetPath()) < 256);
  FUZZ_CHECK(std::strlen(copy.GetKeyPath()) < 256);

  const size_t nameSize = PickLength(input);
  std::vector<char> name = MarkedBuffer(nameSize);
  const uint32_t named = copy.GetName(name.data(), static_cast<uint32_t>(nameSize));
  if (named == 0) {
    FUZZ_CHECK(std::memchr(name.data(), '\0', nameSize) != nullptr);
    FUZZ_CHECK(std::strlen(name.data()) <= InstallCopy::kMaxNameLength);
  } else {
    FUZZ_CHECK(named == E_COPY_BUFFER_TOO_SMALL || named == E_COPY_NULL_ARGUMENT);
    FUZZ_CHECK(Untouched(name));
  }

  const size_t pathSize = PickLength(input);
  std::vector<char> shortPath = MarkedBuffer(pathSize);
  if (copy.GetShortPath(shortPath.data(), static_cast<uint32_t>(pathSize)) == 0) {
    FUZZ_CHECK(std::memchr(shortPath.data(), '\0', pathSize) != nullptr);
  }

  for (const INODE<char>* node = copy.GetComponents().GetHead(); node != nullptr; node = node->next) {
    FUZZ_CHECK(std::strlen(node->data) < 255);
  }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  (void)Directories();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzedDataProvider input(data, size);
  const std::vector<std::string> paths = FillRegistry(input);
  {
    InstallCopyList copies(input.ConsumeBool(), input.ConsumeBool());
    FUZZ_CHECK(platform::standin::OpenRegistryHandleCount() == 0);

    const auto directory = env::ExactCopy(SearchedDirectory(input, paths));
    InstallCopy* found = nullptr;
    const uint32_t searched = copies.FindCopyByPath(directory.get(), &found);
    FUZZ_CHECK((searched == 0) == (found != nullptr));

    for (const INODE<InstallCopy>* node = copies.GetHead(); node != nullptr; node = node->next) {
      ReadCopy(input, *node->data);
    }
  }
  FUZZ_CHECK(platform::standin::OpenRegistryHandleCount() == 0);
  (void)platform::standin::TakeDebugOutput();
  return 0;
}
