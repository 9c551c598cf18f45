// One installed copy of the product as the registry describes it: its name, installation path,
// registry key, whether it is the version-8 installation or a per-user copy, and its components.
#pragma once

#include <cstdint>

#include "copies/ilist.h"

// Results of the installed-copy operations; 0 is success.
constexpr uint32_t E_COPY_SYSTEM_CALL = 0x90000002u;       // a Windows call failed
constexpr uint32_t E_COPY_BUFFER_TOO_SMALL = 0x90000008u;  // the text and its terminator do not fit
constexpr uint32_t E_COPY_NULL_ARGUMENT = 0x9000000Cu;     // a required buffer or out-argument is null
constexpr uint32_t E_COPY_NOT_FOUND = 0x9000006Du;         // no copy matches

// The name the version-8 installation goes by; its key is the product key itself.
constexpr const char kVersion8CopyName[] = "Zt4V8";

class InstallCopy {
 public:
  static constexpr uint32_t kMaxNameLength = 64;

  // Reads the copy from the registry. A name longer than 64 characters is cut to 64 (and the cut
  // name names the key). The copy is invalid when its key or its "Zt4 Path Name" value cannot be
  // read, or the value does not fit; the components never make it invalid.
  InstallCopy(const char* copyName, bool use32BitView, bool use64BitView);
  virtual ~InstallCopy();

  InstallCopy(const InstallCopy&) = delete;
  InstallCopy& operator=(const InstallCopy&) = delete;

  // The name with its terminator. E_COPY_NULL_ARGUMENT for a null buffer, E_COPY_BUFFER_TOO_SMALL
  // when it does not fit `size` bytes; the buffer is untouched on failure.
  uint32_t GetName(char* buffer, uint32_t size) const;

  // The short form of the installation path. E_COPY_NULL_ARGUMENT for a null buffer,
  // E_COPY_SYSTEM_CALL when the path cannot be converted (it does not exist),
  // E_COPY_BUFFER_TOO_SMALL when the short form does not fit `size` bytes.
  uint32_t GetShortPath(char* buffer, uint32_t size) const;

  const char* GetPath() const { return path; }
  const char* GetKeyPath() const { return keyPath; }
  bool IsVersion8() const { return isVersion8 != 0; }
  bool IsPerUser() const { return perUser != 0; }
  bool IsInvalid() const { return invalid != 0; }
  const ILIST<char>& GetComponents() const { return components; }

 private:
  void ReadPath();
  void ReadPerUser();
  void ReadComponents();

  char name[kMaxNameLength + 1] = {};
  char path[256] = {};     // one trailing backslash of the registry value removed
  char keyPath[256] = {};  // below HKEY_LOCAL_MACHINE
  uint8_t isVersion8 = 0;
  uint8_t perUser = 0;       // the key has a "Users" subkey; components then live below HKEY_CURRENT_USER
  uint32_t use32BitView = 0;  // KEY_WOW64_32KEY or 0
  uint32_t use64BitView = 0;  // KEY_WOW64_64KEY or 0
  // The copy's installed products and database instances belong to the product query library,
  // which this tool does not carry: nothing here would ever fill them, so there are no fields.
  int32_t invalid = 0;
  ILIST<char> components;  // value names under the copy's "COMPONENTS" key, owned heap strings
};
