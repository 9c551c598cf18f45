// What the benchmarks run against: a temporary directory with one existing folder per
// registered product copy (the last copy owns the product directory, so a search walks the
// whole list), the provider files of both targets, and a Windows directory with the .NET
// Framework folders; and the stand-in registry filled to match.
#pragma once

#include <stdlib.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

#include "platform/posix/registry_store.h"

namespace bench {

inline std::string Backslashed(std::string path) {
  for (char& c : path) c = c == '/' ? '\\' : c;
  return path;
}

// "Zt4Copy00042": fixed width, so the registry's name order is the numeric order.
inline std::string CopyName(int index) {
  char name[32];
  std::snprintf(name, sizeof name, "Zt4Copy%05d", index);
  return name;
}

class ProductWorld {
 public:
  // `fusionModule`, when given, is copied into the newest framework's folder as fusion.dll.
  explicit ProductWorld(int copies, const std::string& fusionModule = "") : copies_(copies) {
    char pattern[] = "/tmp/zt4gac-bench-XXXXXX";
    if (mkdtemp(pattern) == nullptr) std::abort();
    root_ = pattern;
    windowsDir_ = root_ + "/Windows";
    for (const char* framework : {"v2.0.50727", "v4.0.30319"}) {
      std::filesystem::create_directories(windowsDir_ + "/Microsoft.NET/Framework/" + framework);
    }
    if (!fusionModule.empty()) {
      std::filesystem::copy_file(fusionModule, windowsDir_ + "/Microsoft.NET/Framework/v4.0.30319/fusion.dll");
    }
    for (int index = 0; index < copies; ++index) std::filesystem::create_directories(CopyDirectory(index));
    for (const char* folder : {"netf20_32", "netf40_32"}) {
      for (const char* name : {"Ovk.Data.Zt4", "Ovk.Data.Quillmor", "Ovk.Data.Zt4.ASP", "Ovk.Data.Zt4.Entity"}) {
        const std::string directory = CopyDirectory(copies - 1) + "/bin/" + folder;
        std::filesystem::create_directories(directory);
        std::ofstream(directory + "/" + name + ".dll", std::ios::binary) << "assembly";
      }
    }
  }
  ~ProductWorld() {
    std::error_code ignored;
    std::filesystem::remove_all(root_, ignored);
  }
  ProductWorld(const ProductWorld&) = delete;
  ProductWorld& operator=(const ProductWorld&) = delete;

  // Resets the stand-in registry to: both frameworks, the provider's AssemblyFolders key, and
  // every copy with its path and four components.
  void FillRegistry() const {
    using platform::standin::SetRegistryString;
    platform::standin::ResetRegistry();
    SetRegistryString(HKEY_LOCAL_MACHINE, "SOFTWARE\\Microsoft\\.NETFramework\\policy\\v2.0", "50727", "50727-50727");
    SetRegistryString(HKEY_LOCAL_MACHINE, "SOFTWARE\\Microsoft\\.NETFramework\\policy\\v4.0", "30319", "30319-30319");
    SetRegistryString(HKEY_LOCAL_MACHINE, "SOFTWARE\\Microsoft\\.NETFramework\\AssemblyFolders\\OVK.DATA.ZT4",
                      "Ovk.Data.Zt4", "C:\\Product\\bin");
    for (int index = 0; index < copies_; ++index) {
      const std::string key = "SOFTWARE\\Ovk\\Zt4\\InstalledCopies\\" + CopyName(index);
      SetRegistryString(HKEY_LOCAL_MACHINE, key, "Zt4 Path Name", Backslashed(CopyDirectory(index)));
      for (const char* component : {"Client", "Server", "Tools", "Samples"}) {
        SetRegistryString(HKEY_LOCAL_MACHINE, key + "\\COMPONENTS", component, "1");
      }
    }
  }

  std::string CopyDirectory(int index) const { return root_ + "/copies/" + CopyName(index); }
  // The directory the last copy owns, Windows-shaped, as the tool is given it.
  std::string ProductDirectory() const { return Backslashed(CopyDirectory(copies_ - 1)); }
  const std::string& Root() const { return root_; }
  const std::string& WindowsDirectory() const { return windowsDir_; }

 private:
  int copies_;
  std::string root_;
  std::string windowsDir_;
};

}  // namespace bench
