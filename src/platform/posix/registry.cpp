// POSIX stand-in for the Win32 registry calls: an in-memory registry with the roots
// HKEY_LOCAL_MACHINE and HKEY_CURRENT_USER, optionally backed by a .reg file.
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "platform/posix/reg_file.h"
#include "platform/posix/registry_store.h"
#include "platform/posix/registry_tree.h"
#include "platform/registry.h"

namespace platform {

namespace {

using standin::LowercaseName;
using standin::RegistryKey;
using standin::RegistryTree;
using standin::RegistryValue;

// Win32 codes only the stand-in produces.
constexpr LONG kErrorBadPathname = 161;              // ERROR_BAD_PATHNAME
constexpr LONG kErrorRegistryIoFailed = 1016;        // ERROR_REGISTRY_IO_FAILED
constexpr LONG kErrorKeyDeleted = 1018;              // ERROR_KEY_DELETED
constexpr REGSAM kViewFlags = KEY_WOW64_32KEY | KEY_WOW64_64KEY;
constexpr uintptr_t kFirstHandle = 0x1000;

struct OpenKey {
  std::shared_ptr<RegistryKey> key;
  REGSAM access = 0;
  std::string path;  // lowercased, from the root tag down, for the fault tables
};

// Names that would break a line of the backing file; Windows allows them, the tool never
// writes them, and refusing them keeps the file readable.
bool HasLineBreak(const std::string& name) { return name.find_first_of("\r\n") != std::string::npos; }

class StandInRegistry {
 public:
  void EnsureLoaded() {
    if (!loadPending_) return;
    loadPending_ = false;
    const char* path = std::getenv("ZT4GAC_REGISTRY");
    if (path != nullptr && *path != '\0') Load(path);
  }

  void Reset(bool loadFromEnvironment) {
    ReplaceTree(RegistryTree());
    backingPath_.clear();
    writeBack_ = false;
    loadPending_ = loadFromEnvironment;
    handles_.clear();
    denied_.clear();
    enumerationFaults_.clear();
  }

  bool Load(const std::string& path) {
    ReplaceTree(RegistryTree());
    backingPath_ = path;
    writeBack_ = false;
    std::string bytes;
    const int readResult = ReadWholeFile(path, &bytes);
    if (readResult == ENOENT) {
      writeBack_ = true;
      return true;
    }
    if (readResult != 0) return false;
    RegistryTree loaded;
    if (!standin::ParseRegFile(bytes, loaded)) return false;
    ReplaceTree(std::move(loaded));
    writeBack_ = true;
    return true;
  }

  // Writes the registry back after a change; false when the file could not be replaced.
  bool Persist() const {
    if (!writeBack_) return true;
    return standin::WriteFileAtomically(backingPath_, standin::FormatRegFile(tree_));
  }

  const RegistryTree& Tree() const { return tree_; }

  // The key and rights behind a handle; false for an unknown handle.
  bool Resolve(HKEY handle, OpenKey* open) const {
    if (handle == HKEY_LOCAL_MACHINE || handle == HKEY_CURRENT_USER) {
      open->key = tree_.Root(handle);
      open->access = KEY_ALL_ACCESS;
      open->path = handle == HKEY_LOCAL_MACHINE ? "hklm" : "hkcu";
      return true;
    }
    auto found = handles_.find(reinterpret_cast<uintptr_t>(handle));
    if (found == handles_.end()) return false;
    *open = found->second;
    return true;
  }

  HKEY AddHandle(OpenKey open) {
    const uintptr_t id = nextHandle_;
    nextHandle_ += 4;  // never reused, so a stale handle cannot name another key
    handles_.emplace(id, std::move(open));
    return reinterpret_cast<HKEY>(id);
  }

  bool RemoveHandle(HKEY handle) { return handles_.erase(reinterpret_cast<uintptr_t>(handle)) != 0; }
  int HandleCount() const { return static_cast<int>(handles_.size()); }

  void Deny(const std::string& path) { denied_.insert(path); }
  bool IsDenied(const std::string& path) const { return denied_.count(path) != 0; }

  void FailEnumeration(const std::string& path, DWORD index, LONG code) { enumerationFaults_[path][index] = code; }
  LONG EnumerationFault(const std::string& path, DWORD index) const {
    auto key = enumerationFaults_.find(path);
    if (key == enumerationFaults_.end()) return ERROR_SUCCESS;
    auto fault = key->second.find(index);
    return fault == key->second.end() ? ERROR_SUCCESS : fault->second;
  }

 private:
  // 0 with the contents, or the errno that stopped the read.
  static int ReadWholeFile(const std::string& path, std::string* bytes) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return errno;
    char buffer[1 << 16];
    for (;;) {
      const ssize_t n = ::read(fd, buffer, sizeof buffer);
      if (n < 0 && errno == EINTR) continue;
      if (n < 0) {
        const int error = errno;
        ::close(fd);
        return error == ENOENT ? EIO : error;
      }
      if (n == 0) break;
      bytes->append(buffer, static_cast<size_t>(n));
    }
    ::close(fd);
    return 0;
  }

  // Handles still open on the old keys report them deleted from now on.
  void ReplaceTree(RegistryTree tree) {
    tree_.localMachine->Clear();
    tree_.currentUser->Clear();
    tree_.localMachine = std::move(tree.localMachine);
    tree_.currentUser = std::move(tree.currentUser);
  }

  RegistryTree tree_;
  bool loadPending_ = true;
  std::string backingPath_;
  bool writeBack_ = false;
  std::map<uintptr_t, OpenKey> handles_;
  uintptr_t nextHandle_ = kFirstHandle;
  std::set<std::string> denied_;
  std::map<std::string, std::map<DWORD, LONG>> enumerationFaults_;
};

StandInRegistry& Registry() {
  static StandInRegistry registry;
  return registry;
}

std::string ChildPath(const std::string& parent, const std::string& name) { return parent + '\\' + LowercaseName(name); }

// Resolves `handle` for a call that needs `needed` rights on it.
LONG ResolveForUse(HKEY handle, REGSAM needed, OpenKey* open) {
  StandInRegistry& registry = Registry();
  registry.EnsureLoaded();
  if (!registry.Resolve(handle, open)) return ERROR_INVALID_HANDLE;
  if (open->key->IsDeleted()) return kErrorKeyDeleted;
  if ((open->access & needed) != needed) return ERROR_ACCESS_DENIED;
  return ERROR_SUCCESS;
}

// Creates the path below `start` (unless it is denied), undoing the creation when the change
// cannot be written back. *createdAny tells whether a key was new.
LONG CreatePath(const OpenKey& start, const std::vector<std::string>& names, bool mayCreate, OpenKey* result,
                bool* createdAny) {
  const StandInRegistry& registry = Registry();
  std::string path = start.path;
  for (const std::string& name : names) path = ChildPath(path, name);
  if (registry.IsDenied(path)) return ERROR_ACCESS_DENIED;

  std::shared_ptr<RegistryKey> key = start.key;
  std::shared_ptr<RegistryKey> firstCreatedParent;
  std::string firstCreatedName;
  for (const std::string& name : names) {
    std::shared_ptr<RegistryKey> next = key->Subkey(name);
    if (!next) {
      if (!mayCreate) return ERROR_ACCESS_DENIED;
      if (!firstCreatedParent) {
        firstCreatedParent = key;
        firstCreatedName = name;
      }
      next = key->AddSubkey(name, nullptr);
    }
    key = std::move(next);
  }
  if (firstCreatedParent && !registry.Persist()) {
    std::shared_ptr<RegistryKey> undone = firstCreatedParent->DetachSubkey(firstCreatedName);
    if (undone) undone->MarkDeleted();
    return kErrorRegistryIoFailed;
  }
  result->key = std::move(key);
  result->path = std::move(path);
  *createdAny = firstCreatedParent != nullptr;
  return ERROR_SUCCESS;
}

}  // namespace

LONG RegOpenKeyExA(HKEY root, LPCSTR subKey, DWORD /*options*/, REGSAM access, PHKEY result) {
  OpenKey parent;
  LONG status = ResolveForUse(root, 0, &parent);
  if (status != ERROR_SUCCESS) return status;
  if (result == nullptr) return ERROR_INVALID_PARAMETER;
  std::vector<std::string> names;
  if (!standin::SplitKeyPath(subKey, &names)) return kErrorBadPathname;

  OpenKey opened{parent.key, access & ~kViewFlags, parent.path};
  for (const std::string& name : names) {
    opened.key = opened.key->Subkey(name);
    if (!opened.key) return ERROR_FILE_NOT_FOUND;
    opened.path = ChildPath(opened.path, name);
  }
  if (Registry().IsDenied(opened.path)) return ERROR_ACCESS_DENIED;
  *result = Registry().AddHandle(std::move(opened));
  return ERROR_SUCCESS;
}

LONG RegCreateKeyExA(HKEY root, LPCSTR subKey, DWORD /*reserved*/, LPSTR /*keyClass*/, DWORD /*options*/,
                     REGSAM access, LPSECURITY_ATTRIBUTES /*security*/, PHKEY result, LPDWORD disposition) {
  OpenKey parent;
  LONG status = ResolveForUse(root, 0, &parent);
  if (status != ERROR_SUCCESS) return status;
  if (result == nullptr) return ERROR_INVALID_PARAMETER;
  std::vector<std::string> names;
  if (!standin::SplitKeyPath(subKey, &names)) return kErrorBadPathname;
  if (std::any_of(names.begin(), names.end(), HasLineBreak)) return ERROR_INVALID_PARAMETER;

  OpenKey created;
  bool createdAny = false;
  status = CreatePath(parent, names, (parent.access & KEY_CREATE_SUB_KEY) != 0, &created, &createdAny);
  if (status != ERROR_SUCCESS) return status;
  created.access = access & ~kViewFlags;
  *result = Registry().AddHandle(std::move(created));
  if (disposition != nullptr) *disposition = createdAny ? REG_CREATED_NEW_KEY : REG_OPENED_EXISTING_KEY;
  return ERROR_SUCCESS;
}

LONG RegEnumKeyExA(HKEY key, DWORD index, LPSTR name, LPDWORD nameLength, LPDWORD /*reserved*/, LPSTR keyClass,
                   LPDWORD classLength, PFILETIME lastWriteTime) {
  OpenKey open;
  LONG status = ResolveForUse(key, KEY_ENUMERATE_SUB_KEYS, &open);
  if (status != ERROR_SUCCESS) return status;
  if (name == nullptr || nameLength == nullptr) return ERROR_INVALID_PARAMETER;
  status = Registry().EnumerationFault(open.path, index);
  if (status != ERROR_SUCCESS) return status;
  const RegistryKey* subkey = open.key->SubkeyAt(index);
  if (subkey == nullptr) return ERROR_NO_MORE_ITEMS;
  const std::string& subkeyName = subkey->Name();
  if (subkeyName.size() + 1 > *nameLength) return ERROR_MORE_DATA;

  std::memcpy(name, subkeyName.c_str(), subkeyName.size() + 1);
  *nameLength = static_cast<DWORD>(subkeyName.size());
  if (keyClass != nullptr && classLength != nullptr && *classLength > 0) keyClass[0] = '\0';
  if (classLength != nullptr) *classLength = 0;
  if (lastWriteTime != nullptr) *lastWriteTime = FILETIME{0, 0};
  return ERROR_SUCCESS;
}

LONG RegEnumValueA(HKEY key, DWORD index, LPSTR name, LPDWORD nameLength, LPDWORD /*reserved*/, LPDWORD type,
                   LPBYTE data, LPDWORD dataLength) {
  OpenKey open;
  LONG status = ResolveForUse(key, KEY_QUERY_VALUE, &open);
  if (status != ERROR_SUCCESS) return status;
  if (name == nullptr || nameLength == nullptr || (data != nullptr && dataLength == nullptr)) {
    return ERROR_INVALID_PARAMETER;
  }
  status = Registry().EnumerationFault(open.path, index);
  if (status != ERROR_SUCCESS) return status;
  const std::vector<RegistryValue>& values = open.key->Values();
  if (index >= values.size()) return ERROR_NO_MORE_ITEMS;
  const RegistryValue& value = values[index];
  if (value.name.size() + 1 > *nameLength) return ERROR_MORE_DATA;
  if (data != nullptr && value.data.size() > *dataLength) {
    *dataLength = static_cast<DWORD>(value.data.size());
    return ERROR_MORE_DATA;
  }

  std::memcpy(name, value.name.c_str(), value.name.size() + 1);
  *nameLength = static_cast<DWORD>(value.name.size());
  if (type != nullptr) *type = value.type;
  // Raw bytes, as Windows copies them: no terminator is added that the value does not hold.
  // NOLINTNEXTLINE(bugprone-not-null-terminated-result)
  if (data != nullptr) std::memcpy(data, value.data.data(), value.data.size());
  if (dataLength != nullptr) *dataLength = static_cast<DWORD>(value.data.size());
  return ERROR_SUCCESS;
}

LONG RegQueryValueExA(HKEY key, LPCSTR valueName, LPDWORD /*reserved*/, LPDWORD type, LPBYTE data,
                      LPDWORD dataLength) {
  OpenKey open;
  LONG status = ResolveForUse(key, KEY_QUERY_VALUE, &open);
  if (status != ERROR_SUCCESS) return status;
  if (data != nullptr && dataLength == nullptr) return ERROR_INVALID_PARAMETER;
  const RegistryValue* value = open.key->FindValue(valueName != nullptr ? valueName : "");
  if (value == nullptr) return ERROR_FILE_NOT_FOUND;
  const auto size = static_cast<DWORD>(value->data.size());
  if (data != nullptr && size > *dataLength) {
    *dataLength = size;
    return ERROR_MORE_DATA;
  }
  // Raw bytes, as Windows copies them: no terminator is added that the value does not hold.
  // NOLINTNEXTLINE(bugprone-not-null-terminated-result)
  if (data != nullptr) std::memcpy(data, value->data.data(), size);
  if (type != nullptr) *type = value->type;
  if (dataLength != nullptr) *dataLength = size;
  return ERROR_SUCCESS;
}

LONG RegSetValueExA(HKEY key, LPCSTR valueName, DWORD /*reserved*/, DWORD type, const BYTE* data,
                    DWORD dataLength) {
  OpenKey open;
  LONG status = ResolveForUse(key, KEY_SET_VALUE, &open);
  if (status != ERROR_SUCCESS) return status;
  if (data == nullptr && dataLength != 0) return ERROR_INVALID_PARAMETER;
  const std::string name = valueName != nullptr ? valueName : "";
  if (HasLineBreak(name)) return ERROR_INVALID_PARAMETER;

  const RegistryValue* current = open.key->FindValue(name);
  const bool existed = current != nullptr;
  const RegistryValue previous = existed ? *current : RegistryValue();
  open.key->SetValue(name, type, data != nullptr ? std::string(reinterpret_cast<const char*>(data), dataLength) : "");
  if (!Registry().Persist()) {
    if (existed) {
      open.key->SetValue(previous.name, previous.type, previous.data);
    } else {
      open.key->RemoveValue(name);
    }
    return kErrorRegistryIoFailed;
  }
  return ERROR_SUCCESS;
}

LONG RegDeleteKeyA(HKEY root, LPCSTR subKey) {
  OpenKey parent;
  LONG status = ResolveForUse(root, 0, &parent);
  if (status != ERROR_SUCCESS) return status;
  std::vector<std::string> names;
  if (!standin::SplitKeyPath(subKey, &names)) return kErrorBadPathname;
  if (names.empty()) return ERROR_INVALID_PARAMETER;

  std::shared_ptr<RegistryKey> owner = parent.key;
  std::string path = parent.path;
  for (size_t i = 0; i + 1 < names.size(); ++i) {
    owner = owner->Subkey(names[i]);
    if (!owner) return ERROR_FILE_NOT_FOUND;
    path = ChildPath(path, names[i]);
  }
  std::shared_ptr<RegistryKey> target = owner->Subkey(names.back());
  if (!target) return ERROR_FILE_NOT_FOUND;
  if (Registry().IsDenied(ChildPath(path, names.back()))) return ERROR_ACCESS_DENIED;
  if (target->SubkeyCount() != 0) return ERROR_ACCESS_DENIED;

  owner->DetachSubkey(names.back());
  if (!Registry().Persist()) {
    owner->AttachSubkey(std::move(target));
    return kErrorRegistryIoFailed;
  }
  target->MarkDeleted();
  return ERROR_SUCCESS;
}

LONG RegDeleteValueA(HKEY key, LPCSTR valueName) {
  OpenKey open;
  LONG status = ResolveForUse(key, KEY_SET_VALUE, &open);
  if (status != ERROR_SUCCESS) return status;
  size_t position = 0;
  RegistryValue removed;
  if (!open.key->RemoveValue(valueName != nullptr ? valueName : "", &position, &removed)) {
    return ERROR_FILE_NOT_FOUND;
  }
  if (!Registry().Persist()) {
    open.key->InsertValue(position, std::move(removed));
    return kErrorRegistryIoFailed;
  }
  return ERROR_SUCCESS;
}

LONG RegCloseKey(HKEY key) {
  if (key == HKEY_LOCAL_MACHINE || key == HKEY_CURRENT_USER) return ERROR_SUCCESS;
  return Registry().RemoveHandle(key) ? ERROR_SUCCESS : ERROR_INVALID_HANDLE;
}

namespace standin {

namespace {
// The key at `keyPath` below a root, or null; the first load happens here too.
std::shared_ptr<RegistryKey> FindKey(HKEY root, const std::string& keyPath) {
  Registry().EnsureLoaded();
  std::shared_ptr<RegistryKey> key = Registry().Tree().Root(root);
  std::vector<std::string> names;
  if (!key || !SplitKeyPath(keyPath.c_str(), &names)) return nullptr;
  for (const std::string& name : names) {
    key = key->Subkey(name);
    if (!key) return nullptr;
  }
  return key;
}

std::shared_ptr<RegistryKey> MakeKey(HKEY root, const std::string& keyPath) {
  Registry().EnsureLoaded();
  std::shared_ptr<RegistryKey> key = Registry().Tree().Root(root);
  std::vector<std::string> names;
  if (!key || !SplitKeyPath(keyPath.c_str(), &names)) return nullptr;
  for (const std::string& name : names) key = key->AddSubkey(name, nullptr);
  return key;
}

// The lowercased path the fault tables use, or "" for a root or path the stand-in does not serve.
// cppcheck-suppress constParameter ; HKEY is an opaque Win32 handle type, compared and never dereferenced
std::string FaultPath(HKEY root, const std::string& keyPath) {
  std::vector<std::string> names;
  if ((root != HKEY_LOCAL_MACHINE && root != HKEY_CURRENT_USER) || !SplitKeyPath(keyPath.c_str(), &names)) {
    return {};
  }
  std::string path = root == HKEY_LOCAL_MACHINE ? "hklm" : "hkcu";
  for (const std::string& name : names) path = ChildPath(path, name);
  return path;
}
}  // namespace

void ResetRegistry() { Registry().Reset(false); }
void ResetRegistryToEnvironment() { Registry().Reset(true); }

bool UseRegistryFile(const std::string& path) {
  Registry().Reset(false);
  return Registry().Load(path);
}

void CreateRegistryKey(HKEY root, const std::string& keyPath) {
  if (MakeKey(root, keyPath)) (void)Registry().Persist();
}

void SetRegistryValue(HKEY root, const std::string& keyPath, const std::string& valueName, DWORD type,
                      const std::string& bytes) {
  std::shared_ptr<RegistryKey> key = MakeKey(root, keyPath);
  if (!key) return;
  key->SetValue(valueName, type, bytes);
  (void)Registry().Persist();
}

void SetRegistryString(HKEY root, const std::string& keyPath, const std::string& valueName,
                       const std::string& text) {
  SetRegistryValue(root, keyPath, valueName, REG_SZ, std::string(text.c_str(), text.size() + 1));
}

bool RegistryKeyExists(HKEY root, const std::string& keyPath) { return FindKey(root, keyPath) != nullptr; }

bool RegistryValueExists(HKEY root, const std::string& keyPath, const std::string& valueName) {
  std::shared_ptr<RegistryKey> key = FindKey(root, keyPath);
  return key && key->FindValue(valueName) != nullptr;
}

bool ReadRegistryValue(HKEY root, const std::string& keyPath, const std::string& valueName, DWORD* type,
                       std::string* bytes) {
  std::shared_ptr<RegistryKey> key = FindKey(root, keyPath);
  const RegistryValue* value = key ? key->FindValue(valueName) : nullptr;
  if (value == nullptr) return false;
  if (type != nullptr) *type = value->type;
  if (bytes != nullptr) *bytes = value->data;
  return true;
}

bool ReadRegistryString(HKEY root, const std::string& keyPath, const std::string& valueName, std::string* text) {
  DWORD type = REG_NONE;
  std::string bytes;
  if (!ReadRegistryValue(root, keyPath, valueName, &type, &bytes)) return false;
  if (type != REG_SZ && type != REG_EXPAND_SZ) return false;
  if (text != nullptr) *text = bytes.substr(0, bytes.find('\0'));
  return true;
}

void DenyRegistryAccess(HKEY root, const std::string& keyPath) {
  const std::string path = FaultPath(root, keyPath);
  if (!path.empty()) Registry().Deny(path);
}

void FailRegistryEnumeration(HKEY root, const std::string& keyPath, DWORD index, LONG code) {
  const std::string path = FaultPath(root, keyPath);
  if (!path.empty()) Registry().FailEnumeration(path, index, code);
}

int OpenRegistryHandleCount() { return Registry().HandleCount(); }

std::string ExportRegistry() {
  Registry().EnsureLoaded();
  return FormatRegFile(Registry().Tree());
}

}  // namespace standin

}  // namespace platform
