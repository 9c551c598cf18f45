// What the benchmarks run against: the product's world with `copies` registered product copies,
// each in a folder of its own with three components (the last copy owns the product, so a search
// walks the whole list), and .NET Framework 2.0 and 4.0.
#pragma once

#include <cstdio>
#include <filesystem>
#include <string>

#include "world/product_world.h"

namespace bench {

class BenchWorld : public world::ProductWorld {
 public:
  // `fusionModule`, when given, is the newest framework's fusion.dll.
  explicit BenchWorld(int copies, const char* fusionModule = nullptr) : copies_(copies) {
    platform::standin::ResetRegistry();
    AddFramework("v2.0", nullptr, "50727");
    AddFramework("v4.0", fusionModule);
    RestoreAssemblyFolders();
    for (int index = 0; index < copies; ++index) {
      const std::string name = CopyName(index);
      // Every copy's folder exists; the last one holds the product.
      const std::string directory = index + 1 < copies ? Root() + "/" + name : MakeProduct(name);
      std::filesystem::create_directories(directory);
      RegisterCopy(name, directory);
      for (const char* component : {"Client", "Server", "Tools"}) {
        platform::standin::SetRegistryValue(HKEY_LOCAL_MACHINE, world::kCopiesKey + "\\" + name + "\\COMPONENTS",
                                            component, REG_SZ, std::string("1") + '\0');
      }
    }
  }
  ~BenchWorld() { platform::standin::ResetRegistry(); }

  // Puts back what a finished install deletes.
  static void RestoreAssemblyFolders() {
    platform::standin::SetRegistryValue(HKEY_LOCAL_MACHINE, world::kFoldersKey, "Ovk.Data.Zt4", REG_SZ,
                                        std::string("C:\\Product\\bin") + '\0');
  }

  // The directory the last copy owns, as the tool is given it.
  std::string ProductDirectory() const { return Root() + "/" + CopyName(copies_ - 1); }

 private:
  // "Zt4Copy00042": fixed width, so the registry's name order is the numeric order.
  static std::string CopyName(int index) {
    char name[32];
    std::snprintf(name, sizeof name, "Zt4Copy%05d", index);
    return name;
  }

  int copies_;
};

}  // namespace bench
