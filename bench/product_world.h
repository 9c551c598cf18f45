// What the benchmarks run against: a temporary directory with one existing folder per
// registered product copy (the last copy owns the product directory, so a search walks the
// whole list), the provider files of both targets, and a Windows directory with the .NET
// Framework folders; and the stand-in registry filled to match.
#pragma once

#include <stdlib.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "platform/posix/standin.h"

namespace bench {

// "Zt4Copy00042": fixed width, so the registry's name order is the numeric order.
inline std::string CopyName(int index) {
  char name[32];
  std::snprintf(name, sizeof name, "Zt4Copy%05d", index);
  return name;
}

class ProductWorld {
 public:
  // `fusionModule`, when given, is linked into the newest framework's folder as fusion.dll.
  explicit ProductWorld(int copies, const std::string& fusionModule = "") : copies_(copies) {
    char pattern[] = "/tmp/zt4gac-bench-XXXXXX";
    if (mkdtemp(pattern) == nullptr) std::abort();
    root_ = pattern;
    setenv("ZT4GAC_WINDOWS_DIR", (root_ + "/Windows").c_str(), 1);
    for (const char* framework : {"v2.0.50727", "v4.0.30319"}) {
      std::filesystem::create_directories(root_ + "/Windows/Microsoft.NET/Framework/" + framework);
    }
    if (!fusionModule.empty()) {
      std::filesystem::create_symlink(fusionModule, root_ + "/Windows/Microsoft.NET/Framework/v4.0.30319/fusion.dll");
    }
    for (int index = 0; index < copies; ++index) std::filesystem::create_directories(CopyDirectory(index));
    for (const char* folder : {"netf20_32", "netf40_32"}) {
      for (const char* name : {"Ovk.Data.Zt4", "Ovk.Data.Quillmor", "Ovk.Data.Zt4.ASP", "Ovk.Data.Zt4.Entity"}) {
        const std::string directory = CopyDirectory(copies - 1) + "/bin/" + folder;
        std::filesystem::create_directories(directory);
        std::ofstream(directory + "/" + name + ".dll", std::ios::binary) << "10.1.6.2";
      }
    }
  }
  ~ProductWorld() {
    platform::standin::ResetRegistry();
    unsetenv("ZT4GAC_WINDOWS_DIR");
    std::error_code ignored;
    std::filesystem::remove_all(root_, ignored);
  }
  ProductWorld(const ProductWorld&) = delete;
  ProductWorld& operator=(const ProductWorld&) = delete;

  // Resets the stand-in registry to: both frameworks, the provider's AssemblyFolders key, and
  // every copy with its path and three components.
  void FillRegistry() const {
    std::string text = std::string(kHeader) + kFrameworks + kAssemblyFolders;
    for (int index = 0; index < copies_; ++index) {
      const std::string key = "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Ovk\\Zt4\\InstalledCopies\\" + CopyName(index);
      text += key + "]\r\n\"Zt4 Path Name\"=\"" + CopyDirectory(index) + "\"\r\n\r\n";
      text += key + "\\COMPONENTS]\r\n\"Client\"=\"1\"\r\n\"Server\"=\"1\"\r\n\"Tools\"=\"1\"\r\n\r\n";
    }
    platform::standin::ResetRegistry();
    if (!platform::standin::LoadRegistryText(text)) std::abort();
  }

  // Puts back what a finished install deletes.
  static void RestoreAssemblyFolders() {
    if (!platform::standin::LoadRegistryText(std::string(kHeader) + kAssemblyFolders)) std::abort();
  }

  std::string CopyDirectory(int index) const { return root_ + "/copies/" + CopyName(index); }
  // The directory the last copy owns, as the tool is given it.
  std::string ProductDirectory() const { return CopyDirectory(copies_ - 1); }

 private:
  static constexpr char kHeader[] = "Windows Registry Editor Version 5.00\r\n\r\n";
  static constexpr char kFrameworks[] =
      "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\.NETFramework\\policy\\v2.0]\r\n\"50727\"=\"50727-50727\"\r\n\r\n"
      "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\.NETFramework\\policy\\v4.0]\r\n\"30319\"=\"30319-30319\"\r\n\r\n";
  static constexpr char kAssemblyFolders[] =
      "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\.NETFramework\\AssemblyFolders\\OVK.DATA.ZT4]\r\n"
      "\"Ovk.Data.Zt4\"=\"C:\\\\Product\\\\bin\"\r\n\r\n";

  int copies_;
  std::string root_;
};

}  // namespace bench
