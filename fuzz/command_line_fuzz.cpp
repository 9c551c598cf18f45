// Any argument vector through the entry point's dispatch into the commands, against a
// registry with the frameworks, an installed copy and the AssemblyFolders key, and the
// stand-in fusion.dll in both framework folders over a small cache. The registry and the
// cache are rebuilt for every input; the files are made once. Whatever the arguments, no
// registry handle and no interface object may be left, an unrelated cached assembly must
// stay, and a command line that names no command must change nothing in the registry.
//
// The input is the argument list after argument 0, split at NUL bytes. Two lead bytes make
// arguments the input could not easily spell:
//   0x01 h m l f <rest>  (h*65536 + m*256 + l) mod 100001 bytes f (0 gives 'A'), then <rest>
//   0x02 <rest>          the installation directory the registry names, then <rest>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "cli/command_line.h"
#include "fusion_stub/fake_fusion_state.h"
#include "fuzz_environment.h"
#include "model/assembly_catalog.h"
#include "platform/posix/registry_store.h"
#include "platform/posix/standin.h"

namespace {

namespace env = fuzz_environment;
using platform::standin::SetRegistryString;

constexpr char kLongArgument = '\x01';
constexpr char kInstallDirArgument = '\x02';
constexpr size_t kMaxLongArgument = 100000;
constexpr size_t kMaxArguments = 64;

// The product's installation, with every provider assembly of both 32-bit targets in place.
const std::string& InstallDirectory() {
  static const std::string directory = [] {
    const std::string made = env::TemporaryRoot() + "/Zt4 Home";
    for (const CatalogEntry& entry : targetTable32) {
      for (const std::string* assembly :
           {&entry.mainAssembly, &entry.secondAssembly, &entry.aspAssembly, &entry.entityAssembly}) {
        const std::string path = platform::standin::ToPosixPath(AssemblyFilePath(made, entry, *assembly).c_str());
        std::filesystem::create_directories(std::filesystem::path(path).parent_path());
        std::ofstream(path, std::ios::binary) << "assembly " << *assembly;
      }
    }
    setenv("ZT4GAC_FAKE_FUSION_STATE", (env::TemporaryRoot() + "/fusion-state.txt").c_str(), 1);
    env::InstallFusionModule("v2.0", "50727", ZT4GAC_FAKE_FUSION);
    env::InstallFusionModule("v4.0", "30319", ZT4GAC_FAKE_FUSION);
    return made;
  }();
  return directory;
}

void SeedRegistry() {
  platform::standin::ResetRegistry();
  env::RegisterFramework("v2.0", "50727");
  env::RegisterFramework("v4.0", "30319");
  SetRegistryString(HKEY_LOCAL_MACHINE, "SOFTWARE\\Ovk\\Zt4\\InstalledCopies\\Zt4Home", "Zt4 Path Name",
                    InstallDirectory() + "\\");
  SetRegistryString(HKEY_LOCAL_MACHINE, "SOFTWARE\\Microsoft\\.NETFramework\\AssemblyFolders\\OVK.DATA.ZT4",
                    "Ovk.Data.Zt4", InstallDirectory());
}

constexpr char kUnrelatedAssembly[] = "Unrelated.Assembly";

fake_fusion::Entry Cached(const std::string& name, const std::string& version) {
  fake_fusion::Entry entry;
  entry.name = name;
  entry.version = fake_fusion::ParseVersion(version);
  entry.displayName = name + ", Version=" + version + ", PublicKeyToken=0123456789abcdef";
  return entry;
}

// Both providers installed, an older second provider, and an assembly the tool never touches.
void SeedCache() {
  fake_fusion::State state;
  state.entries = {Cached("Ovk.Data.Zt4", "9.0.0.2"), Cached("Ovk.Data.Quillmor", "8.0.0.0"),
                   Cached("Ovk.Data.Zt4.Entity", "9.0.0.2"), Cached(kUnrelatedAssembly, "9.0.0.2")};
  FUZZ_CHECK(state.Save(getenv("ZT4GAC_FAKE_FUSION_STATE")));
}

std::string DecodeArgument(const std::string& piece) {
  if (piece.size() >= 5 && piece[0] == kLongArgument) {
    const auto byte = [&piece](size_t at) { return static_cast<size_t>(static_cast<unsigned char>(piece[at])); };
    const size_t length = ((byte(1) << 16) | (byte(2) << 8) | byte(3)) % (kMaxLongArgument + 1);
    const char fill = piece[4] == '\0' ? 'A' : piece[4];
    return std::string(length, fill) + piece.substr(5);
  }
  if (!piece.empty() && piece[0] == kInstallDirArgument) return InstallDirectory() + piece.substr(1);
  return piece;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  (void)InstallDirectory();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::vector<std::unique_ptr<char[]>> arguments;
  arguments.push_back(env::ExactCopy("zt4gac"));
  if (size > 0) {
    const std::string input(reinterpret_cast<const char*>(data), size);
    size_t begin = 0;
    while (arguments.size() <= kMaxArguments) {
      const size_t end = input.find('\0', begin);
      arguments.push_back(env::ExactCopy(DecodeArgument(input.substr(begin, end - begin))));
      if (end == std::string::npos) break;
      begin = end + 1;
    }
  }
  std::vector<char*> argv;
  for (const auto& argument : arguments) argv.push_back(argument.get());
  argv.push_back(nullptr);

  SeedRegistry();
  SeedCache();
  const std::string before = platform::standin::ExportRegistry();
  FUZZ_CHECK(RunCommandLine(static_cast<int>(arguments.size()), argv.data()) == 0);
  FUZZ_CHECK(platform::standin::OpenRegistryHandleCount() == 0);
  const fake_fusion::State cache = fake_fusion::State::Load(getenv("ZT4GAC_FAKE_FUSION_STATE"));
  FUZZ_CHECK(cache.live == 0);
  bool unrelatedStays = false;
  for (const fake_fusion::Entry& entry : cache.entries) unrelatedStays |= entry.name == kUnrelatedAssembly;
  FUZZ_CHECK(unrelatedStays);

  // Only the two command words may change anything.
  const bool command = arguments.size() >= 2 && (std::string(argv[1]) == "-i" || std::string(argv[1]) == "-u");
  if (!command) FUZZ_CHECK(platform::standin::ExportRegistry() == before);
  (void)platform::standin::TakeDebugOutput();
  return 0;
}
