// POSIX stand-in only: the registry held in memory, and the regedit text it is read from and
// written to (the ZT4GAC_REGISTRY file format).
#pragma once

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "platform/types.h"

namespace platform::standin {

struct RegistryValue {
  std::string name;  // as first written; "" is the default value
  DWORD type = REG_NONE;
  std::string data;  // the bytes exactly as set
};

struct RegistryKey {
  std::string name;  // as first written
  // By ASCII-lowercased name, so lookups ignore case and enumeration follows that order.
  std::map<std::string, std::unique_ptr<RegistryKey>> subkeys;
  std::vector<RegistryValue> values;  // in creation order, as Windows enumerates them

  // The subkey of that name (any case), created when missing and `create` is set; else null.
  RegistryKey* Subkey(const std::string& subkeyName, bool create = false);
  RegistryValue* FindValue(const std::string& valueName);
  void SetValue(const std::string& valueName, DWORD type, std::string bytes);
};

struct RegistryTree {
  RegistryKey localMachine{"HKEY_LOCAL_MACHINE", {}, {}};
  RegistryKey currentUser{"HKEY_CURRENT_USER", {}, {}};
};

std::string Lowercase(std::string text);

// Splits "A\B\" into {"A", "B"}; null or "" is the key itself. False for an empty name inside
// the path (a leading or doubled backslash), which Windows refuses too.
bool SplitKeyPath(const char* path, std::vector<std::string>* names);

// Applies regedit version-5 text to `tree`, or only checks it when `tree` is null, so that a
// malformed text can be refused before anything of it is applied.
bool ApplyRegistryText(const std::string& text, RegistryTree* tree);
// The tree as that text, keys in name order: a section per key that has values or no subkeys.
std::string FormatRegistryText(const RegistryTree& tree);

}  // namespace platform::standin
