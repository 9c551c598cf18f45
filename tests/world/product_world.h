// The product's world as the tool meets it on a machine, built on the host below a fresh folder:
// a Windows directory whose .NET Framework folders hold fusion.dll, the policy keys that list
// those frameworks, product installations with the provider files of both targets, and their
// registration as installed copies. The one builder of the unit tests, fuzz targets and benchmarks.
#pragma once

#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "platform/posix/standin.h"

namespace world {

// What regedit text for the stand-in registry begins with.
inline const std::string kRegeditHeader = std::string(platform::standin::kRegeditHeader) + "\n\n";

// The registry places the tool reads and writes, below HKEY_LOCAL_MACHINE.
inline const std::string kPolicyKey = "SOFTWARE\\Microsoft\\.NETFramework\\policy";
inline const std::string kCopiesKey = "SOFTWARE\\Ovk\\Zt4\\InstalledCopies";
inline const std::string kFoldersKey = "SOFTWARE\\Microsoft\\.NETFramework\\AssemblyFolders\\OVK.DATA.ZT4";

// Each target's folder and the version its provider files hold: what the fake fusion.dll
// installs them as, so that the cache tells the two targets apart.
inline const char* const kTargets[][2] = {{"netf20_32", "10.1.6.2"}, {"netf40_32", "10.1.6.4"}};
inline const char* const kProviders[] = {"Ovk.Data.Zt4", "Ovk.Data.Quillmor", "Ovk.Data.Zt4.ASP",
                                         "Ovk.Data.Zt4.Entity"};

class ProductWorld {
 public:
  // The stand-in's Windows directory is Root() + "/Windows" while the world lives.
  ProductWorld() {
    root_ = std::filesystem::temp_directory_path().string() + "/zt4gac-world-XXXXXX";
    if (mkdtemp(root_.data()) == nullptr) abort();
    setenv("ZT4GAC_WINDOWS_DIR", (root_ + "/Windows").c_str(), 1);
  }
  ~ProductWorld() {
    unsetenv("ZT4GAC_WINDOWS_DIR");
    std::error_code ignored;
    std::filesystem::remove_all(root_, ignored);
  }
  ProductWorld(const ProductWorld&) = delete;
  ProductWorld& operator=(const ProductWorld&) = delete;

  const std::string& Root() const { return root_; }

  // Lists the framework `version` (such as "v4.0") with the policy value `build`, and makes
  // `module` its fusion.dll (none when null).
  void AddFramework(const std::string& version, const char* module, const std::string& build = "30319") const {
    platform::standin::SetRegistryValue(HKEY_LOCAL_MACHINE, kPolicyKey + "\\" + version, build, REG_SZ, build + '\0');
    UseFusion(version, module, build);
  }

  // Makes the fusion.dll of that framework's folder a link to `module`, or removes it when null.
  // A link, not a copy: the tool's load then finds the module the test links, state and all.
  void UseFusion(std::string version, const char* module, const std::string& build = "30319") const {
    for (char& c : version) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);  // as the tool keys it
    const std::string folder = root_ + "/Windows/Microsoft.NET/Framework/" + version + "." + build;
    std::filesystem::create_directories(folder);
    std::filesystem::remove(folder + "/fusion.dll");
    if (module != nullptr) std::filesystem::create_symlink(module, folder + "/fusion.dll");
  }

  // Writes `content` to `relativePath` below Root(), folders as needed; returns the full path.
  std::string WriteFile(const std::string& relativePath, const std::string& content) const {
    const std::string path = root_ + "/" + relativePath;
    std::filesystem::create_directories(std::filesystem::path(path).parent_path());
    std::ofstream(path, std::ios::binary) << content;
    return path;
  }

  // A product installation below Root() with the four providers of each target; its full path.
  std::string MakeProduct(const std::string& relativePath) const {
    for (const auto& target : kTargets)
      for (const char* name : kProviders)
        WriteFile(relativePath + "/bin/" + target[0] + "/" + name + ".dll", target[1]);
    return root_ + "/" + relativePath;
  }

  // Registers the installed copy `name` with "Zt4 Path Name" `path`.
  static void RegisterCopy(const std::string& name, const std::string& path) {
    platform::standin::SetRegistryValue(HKEY_LOCAL_MACHINE, kCopiesKey + "\\" + name, "Zt4 Path Name", REG_SZ,
                                        path + '\0');
  }

 private:
  std::string root_;
};

}  // namespace world
