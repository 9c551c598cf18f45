// The product's installed copies read from the registry, and the search for the copy that owns
// an installation directory.
#pragma once

#include <cstdint>

#include "copies/ilist.h"
#include "copies/install_copy.h"

class InstallCopyList : public ILIST<InstallCopy> {
 public:
  // Reads the version-8 copy (when "CurrentVersion" says 8) and then every copy under
  // "InstalledCopies", in the registry's order. Unreadable copies are left out.
  InstallCopyList(bool use32BitViewRequested, bool use64BitViewRequested);
  virtual ~InstallCopyList();

  // The first copy whose path names the same place as `directory` (at most MAX_PATH characters,
  // one trailing backslash ignored, compared as short paths without letter case). 0 and the copy
  // in *found; E_COPY_NULL_ARGUMENT, E_COPY_SYSTEM_CALL when the directory cannot be converted
  // (it does not exist), E_COPY_NOT_FOUND (also for a longer directory). *found is untouched on
  // failure; the list's cursor is as it was on every way out.
  uint32_t FindCopyByPath(const char* directory, InstallCopy** found);

  const InstallCopy* GetVersion8Copy() const { return version8Copy; }
  // 1 when the version-8 copy or the enumeration of "InstalledCopies" failed.
  int32_t GetLoadFailed() const { return loadFailed; }

 private:
  // False when construction must end: the version-8 installation is there but unreadable.
  bool ReadVersion8Copy();
  void ReadInstalledCopies();

  InstallCopy* version8Copy = nullptr;  // also in the list, which owns it
  uint32_t use32BitView = 0;            // KEY_WOW64_32KEY or 0
  uint32_t use64BitView = 0;            // KEY_WOW64_64KEY or 0
  int32_t loadFailed = 0;
};
