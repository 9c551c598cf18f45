// POSIX stand-in only: the registry held in memory. Keys own their subkeys through
// shared pointers so that an open handle keeps its key alive after the key is deleted and
// can report the deletion instead of touching freed memory.
#pragma once

#include <cstddef>
#include <map>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "platform/types.h"

namespace platform::standin {

struct RegistryValue {
  std::string name;  // as written; "" is the default value
  DWORD type = REG_NONE;
  std::string data;  // the bytes exactly as set
};

// A key: subkeys looked up and enumerated by their ASCII-lowercased name, values kept in
// creation order with an index by lowercased name, so that neither lookups nor loading a
// large file scan siblings linearly.
class RegistryKey {
 public:
  explicit RegistryKey(std::string name) : name_(std::move(name)) {}

  const std::string& Name() const { return name_; }
  bool IsDeleted() const { return deleted_; }
  // Marks this key and everything below it deleted, for the handles still open on them.
  void MarkDeleted();

  std::shared_ptr<RegistryKey> Subkey(const std::string& name) const;
  // The existing subkey of that name, or a new one; *created tells which.
  std::shared_ptr<RegistryKey> AddSubkey(const std::string& name, bool* created);
  // Unlinks the subkey and hands it back (so a failed change can put it back), or null.
  std::shared_ptr<RegistryKey> DetachSubkey(const std::string& name);
  void AttachSubkey(std::shared_ptr<RegistryKey> subkey);
  size_t SubkeyCount() const { return subkeys_.size(); }
  // The index-th subkey in case-insensitive name order, or null past the end.
  const RegistryKey* SubkeyAt(size_t index) const;

  const std::vector<RegistryValue>& Values() const { return values_; }
  const RegistryValue* FindValue(const std::string& name) const;
  // Overwrites in place (keeping the name as first written and the position) or appends.
  void SetValue(const std::string& name, DWORD type, std::string data);
  // Removes the value; returns false when it is absent. *position and *removed receive
  // what is needed to undo the removal with InsertValue.
  bool RemoveValue(const std::string& name, size_t* position = nullptr, RegistryValue* removed = nullptr);
  void InsertValue(size_t position, RegistryValue value);
  void Clear();

 private:
  void RebuildValueIndex();

  std::string name_;
  bool deleted_ = false;
  std::map<std::string, std::shared_ptr<RegistryKey>> subkeys_;
  std::vector<RegistryValue> values_;
  std::unordered_map<std::string, size_t> valueIndex_;
  // Enumeration by index walks this snapshot instead of the map, so enumerating n
  // subkeys stays linear; rebuilt after the subkeys change.
  mutable std::vector<const RegistryKey*> orderedSubkeys_;
  mutable bool orderedSubkeysStale_ = true;
};

// The two roots the stand-in serves.
struct RegistryTree {
  std::shared_ptr<RegistryKey> localMachine = std::make_shared<RegistryKey>("HKEY_LOCAL_MACHINE");
  std::shared_ptr<RegistryKey> currentUser = std::make_shared<RegistryKey>("HKEY_CURRENT_USER");

  // The root a predefined handle names, or null for every other handle.
  std::shared_ptr<RegistryKey> Root(HKEY root) const;
};

std::string LowercaseName(std::string name);

// Splits "A\B\C" into its names. Null or "" is the key itself (no names); a trailing
// backslash is tolerated; an empty name inside the path (leading or doubled backslash)
// makes the path invalid and the result false.
bool SplitKeyPath(const char* path, std::vector<std::string>* names);

}  // namespace platform::standin
