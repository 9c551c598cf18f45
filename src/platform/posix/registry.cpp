// POSIX stand-in for the Win32 registry calls: the roots HKEY_LOCAL_MACHINE and
// HKEY_CURRENT_USER in memory, optionally backed by the ZT4GAC_REGISTRY file.
#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <set>
#include <utility>

#include "platform/posix/registry_tree.h"
#include "platform/posix/standin.h"
#include "platform/registry.h"

namespace platform {

namespace {

using standin::RegistryKey;
using standin::RegistryValue;

// Win32 codes only the stand-in produces.
constexpr LONG kErrorRegistryIoFailed = 1016;
constexpr LONG kErrorKeyDeleted = 1018;
constexpr REGSAM kViewFlags = KEY_WOW64_32KEY | KEY_WOW64_64KEY;
constexpr REGSAM kDeleteRight = 0x00010000;  // DELETE

// A handle names its key by path, so a key deleted under it is reported, never touched.
struct OpenKey {
  HKEY root = nullptr;
  std::vector<std::string> names;
  REGSAM access = 0;
};

bool HasLineBreak(const std::string& name) { return name.find_first_of("\r\n") != std::string::npos; }

bool WriteFileAtomically(const std::string& path, const std::string& text) {
  const std::string temporary = path + ".tmp";
  std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
  out << text;
  out.close();
  if (out && std::rename(temporary.c_str(), path.c_str()) == 0) return true;
  std::remove(temporary.c_str());
  return false;
}

class StandInRegistry {
 public:
  // The first call of a process loads ZT4GAC_REGISTRY, unless a test has reset the registry.
  void EnsureLoaded() {
    if (!environmentPending_) return;
    environmentPending_ = false;
    const char* path = std::getenv("ZT4GAC_REGISTRY");
    if (path != nullptr && *path != '\0') (void)LoadFile(path);
  }

  void Reset() {
    tree_ = std::make_unique<standin::RegistryTree>();
    environmentPending_ = false;
    backingFile_.clear();
    handles_.clear();
    denied_.clear();
    enumerationFaults_.clear();
    localMachineReadOnly_ = false;
  }

  bool LoadFile(const std::string& path) {
    Reset();
    std::ifstream in(path, std::ios::binary);
    if (!in && errno != ENOENT) return false;
    std::string text = in ? std::string(std::istreambuf_iterator<char>(in), {}) : std::string();
    if (in && !standin::ApplyRegistryText(text, tree_.get())) {
      Reset();
      return false;
    }
    backingFile_ = path;
    written_ = in ? std::move(text) : standin::FormatRegistryText(*tree_);
    return true;
  }

  bool Merge(const std::string& text) {
    EnsureLoaded();
    if (!standin::ApplyRegistryText(text, nullptr)) return false;
    (void)standin::ApplyRegistryText(text, tree_.get());
    (void)Persist();
    return true;
  }

  // Writes a change back to the file; when that fails, the registry returns to what the file
  // holds and the caller reports the error.
  LONG Persist() {
    if (backingFile_.empty()) return ERROR_SUCCESS;
    std::string text = standin::FormatRegistryText(*tree_);
    if (WriteFileAtomically(backingFile_, text)) {
      written_ = std::move(text);
      return ERROR_SUCCESS;
    }
    tree_ = std::make_unique<standin::RegistryTree>();
    (void)standin::ApplyRegistryText(written_, tree_.get());
    return kErrorRegistryIoFailed;
  }

  std::string Export() {
    EnsureLoaded();
    return standin::FormatRegistryText(*tree_);
  }

  // The key at root\names, created when `create` is set; null when absent or the root is unknown.
  // cppcheck-suppress constParameter ; HKEY is an opaque Win32 handle type, compared and never dereferenced
  RegistryKey* Find(HKEY root, const std::vector<std::string>& names, bool create = false) {
    EnsureLoaded();
    RegistryKey* key = root == HKEY_LOCAL_MACHINE  ? &tree_->localMachine
                       : root == HKEY_CURRENT_USER ? &tree_->currentUser
                                                   : nullptr;
    for (auto name = names.begin(); key != nullptr && name != names.end(); ++name) key = key->Subkey(*name, create);
    return key;
  }

  // The handle's key and what it was opened as, when the handle grants `needed`.
  LONG Resolve(HKEY handle, REGSAM needed, RegistryKey** key, OpenKey* open) {
    if (handle == HKEY_LOCAL_MACHINE || handle == HKEY_CURRENT_USER) {
      *open = OpenKey{handle, {}, Refuses(handle, KEY_ALL_ACCESS) ? KEY_READ : KEY_ALL_ACCESS};
    } else {
      const auto found = handles_.find(handle);
      if (found == handles_.end()) return ERROR_INVALID_HANDLE;
      *open = found->second;
    }
    *key = Find(open->root, open->names);
    if (*key == nullptr) return kErrorKeyDeleted;
    return (open->access & needed) == needed ? ERROR_SUCCESS : ERROR_ACCESS_DENIED;
  }

  HKEY AddHandle(OpenKey open) {
    nextHandle_ += 4;  // never reused, so a stale handle cannot name another key
    const auto handle = reinterpret_cast<HKEY>(nextHandle_);
    handles_.emplace(handle, std::move(open));
    return handle;
  }
  bool CloseHandle(HKEY handle) { return handles_.erase(handle) != 0; }
  int HandleCount() const { return static_cast<int>(handles_.size()); }

  void SetLocalMachineReadOnly(bool readOnly) { localMachineReadOnly_ = readOnly; }
  // Whether a caller without administrator rights is refused `access` below `root`.
  // cppcheck-suppress constParameter ; HKEY is an opaque Win32 handle type, compared and never dereferenced
  bool Refuses(HKEY root, REGSAM access) const {
    return localMachineReadOnly_ && root == HKEY_LOCAL_MACHINE && (access & ~(KEY_READ | kViewFlags)) != 0;
  }

  void Deny(HKEY root, const std::string& path) { denied_.insert(FaultPath(root, path)); }
  bool IsDenied(HKEY root, const std::vector<std::string>& names) const {
    return denied_.count(FaultPath(root, names)) != 0;
  }
  void FailEnumeration(HKEY root, const std::string& path, DWORD index, LONG code) {
    enumerationFaults_[{FaultPath(root, path), index}] = code;
  }
  LONG EnumerationFault(const OpenKey& open, DWORD index) const {
    const auto found = enumerationFaults_.find({FaultPath(open.root, open.names), index});
    return found == enumerationFaults_.end() ? ERROR_SUCCESS : found->second;
  }

 private:
  // The case-folded spelling of a key that the fault tables are keyed by.
  static std::string FaultPath(HKEY root, const std::vector<std::string>& names) {
    std::string path = std::to_string(reinterpret_cast<uintptr_t>(root));
    for (const std::string& name : names) path += '\\' + standin::Lowercase(name);
    return path;
  }
  static std::string FaultPath(HKEY root, const std::string& path) {
    std::vector<std::string> names;
    (void)standin::SplitKeyPath(path.c_str(), &names);
    return FaultPath(root, names);
  }

  std::unique_ptr<standin::RegistryTree> tree_ = std::make_unique<standin::RegistryTree>();
  bool environmentPending_ = true;
  std::string backingFile_;
  std::string written_;  // what the backing file holds
  std::map<HKEY, OpenKey> handles_;
  uintptr_t nextHandle_ = 0x1000;
  std::set<std::string> denied_;
  std::map<std::pair<std::string, DWORD>, LONG> enumerationFaults_;
  bool localMachineReadOnly_ = false;
};

StandInRegistry& Registry() {
  static StandInRegistry registry;
  return registry;
}

// Opens root\subKey, creating what is missing when `create` is set.
LONG OpenOrCreate(HKEY root, LPCSTR subKey, REGSAM access, bool create, PHKEY result, LPDWORD disposition) {
  RegistryKey* parent = nullptr;
  OpenKey open;
  LONG status = Registry().Resolve(root, 0, &parent, &open);
  if (status != ERROR_SUCCESS) return status;
  std::vector<std::string> names;
  if (!standin::SplitKeyPath(subKey, &names)) return ERROR_BAD_PATHNAME;
  if (result == nullptr || (create && std::any_of(names.begin(), names.end(), HasLineBreak))) {
    return ERROR_INVALID_PARAMETER;  // a line break would break a line of the backing file
  }
  open.names.insert(open.names.end(), names.begin(), names.end());
  open.access = access & ~kViewFlags;
  if (Registry().IsDenied(open.root, open.names)) return ERROR_ACCESS_DENIED;
  const bool existed = Registry().Find(open.root, open.names) != nullptr;
  if (!existed && !create) return ERROR_FILE_NOT_FOUND;
  // As on Windows, an existing key is checked for the access asked, a new one for its creation.
  if (Registry().Refuses(open.root, existed ? open.access : KEY_CREATE_SUB_KEY)) return ERROR_ACCESS_DENIED;
  if (!existed) {
    (void)Registry().Find(open.root, open.names, true);
    status = Registry().Persist();
    if (status != ERROR_SUCCESS) return status;
  }
  *result = Registry().AddHandle(std::move(open));
  if (disposition != nullptr) *disposition = existed ? REG_OPENED_EXISTING_KEY : REG_CREATED_NEW_KEY;
  return ERROR_SUCCESS;
}

// The value's type and bytes into what the caller passed; ERROR_MORE_DATA with the size needed.
LONG CopyValue(const RegistryValue& value, LPDWORD type, LPBYTE data, LPDWORD dataLength) {
  if (data != nullptr && dataLength == nullptr) return ERROR_INVALID_PARAMETER;
  const auto size = static_cast<DWORD>(value.data.size());
  const bool fits = data == nullptr || size <= *dataLength;
  // Raw bytes, as Windows copies them: no terminator is added that the value does not hold.
  // NOLINTNEXTLINE(bugprone-not-null-terminated-result)
  if (fits && data != nullptr) std::memcpy(data, value.data.data(), size);
  if (type != nullptr) *type = value.type;
  if (dataLength != nullptr) *dataLength = size;
  return fits ? ERROR_SUCCESS : ERROR_MORE_DATA;
}

// The name and its terminator into `name`, or ERROR_MORE_DATA when they do not fit.
LONG CopyName(const std::string& text, LPSTR name, LPDWORD nameLength) {
  if (name == nullptr || nameLength == nullptr) return ERROR_INVALID_PARAMETER;
  if (text.size() + 1 > *nameLength) return ERROR_MORE_DATA;
  std::memcpy(name, text.c_str(), text.size() + 1);
  *nameLength = static_cast<DWORD>(text.size());
  return ERROR_SUCCESS;
}

}  // namespace

LONG RegOpenKeyExA(HKEY root, LPCSTR subKey, DWORD /*options*/, REGSAM access, PHKEY result) {
  return OpenOrCreate(root, subKey, access, false, result, nullptr);
}

// The class, options and security the tool passes change nothing here.
LONG RegCreateKeyExA(HKEY root, LPCSTR subKey, DWORD /*reserved*/, LPSTR /*keyClass*/, DWORD /*options*/,
                     REGSAM access, LPSECURITY_ATTRIBUTES /*security*/, PHKEY result, LPDWORD disposition) {
  return OpenOrCreate(root, subKey, access, true, result, disposition);
}

// The tool asks for names only: class and last-write time are never filled in.
LONG RegEnumKeyExA(HKEY key, DWORD index, LPSTR name, LPDWORD nameLength, LPDWORD /*reserved*/,
                   LPSTR /*keyClass*/, LPDWORD /*classLength*/, PFILETIME /*lastWriteTime*/) {
  RegistryKey* node = nullptr;
  OpenKey open;
  LONG status = Registry().Resolve(key, KEY_ENUMERATE_SUB_KEYS, &node, &open);
  if (status == ERROR_SUCCESS) status = Registry().EnumerationFault(open, index);
  if (status != ERROR_SUCCESS) return status;
  if (index >= node->subkeys.size()) return ERROR_NO_MORE_ITEMS;
  return CopyName(std::next(node->subkeys.begin(), index)->second->name, name, nameLength);
}

LONG RegEnumValueA(HKEY key, DWORD index, LPSTR name, LPDWORD nameLength, LPDWORD /*reserved*/, LPDWORD type,
                   LPBYTE data, LPDWORD dataLength) {
  RegistryKey* node = nullptr;
  OpenKey open;
  LONG status = Registry().Resolve(key, KEY_QUERY_VALUE, &node, &open);
  if (status == ERROR_SUCCESS) status = Registry().EnumerationFault(open, index);
  if (status != ERROR_SUCCESS) return status;
  if (index >= node->values.size()) return ERROR_NO_MORE_ITEMS;
  const RegistryValue& value = node->values[index];
  status = CopyName(value.name, name, nameLength);
  return status != ERROR_SUCCESS ? status : CopyValue(value, type, data, dataLength);
}

LONG RegQueryValueExA(HKEY key, LPCSTR valueName, LPDWORD /*reserved*/, LPDWORD type, LPBYTE data,
                      LPDWORD dataLength) {
  RegistryKey* node = nullptr;
  OpenKey open;
  const LONG status = Registry().Resolve(key, KEY_QUERY_VALUE, &node, &open);
  if (status != ERROR_SUCCESS) return status;
  const RegistryValue* value = node->FindValue(valueName != nullptr ? valueName : "");
  return value == nullptr ? ERROR_FILE_NOT_FOUND : CopyValue(*value, type, data, dataLength);
}

LONG RegSetValueExA(HKEY key, LPCSTR valueName, DWORD /*reserved*/, DWORD type, const BYTE* data,
                    DWORD dataLength) {
  RegistryKey* node = nullptr;
  OpenKey open;
  const LONG status = Registry().Resolve(key, KEY_SET_VALUE, &node, &open);
  if (status != ERROR_SUCCESS) return status;
  const std::string name = valueName != nullptr ? valueName : "";
  if ((data == nullptr && dataLength != 0) || HasLineBreak(name)) return ERROR_INVALID_PARAMETER;
  node->SetValue(name, type, std::string(reinterpret_cast<const char*>(data), data != nullptr ? dataLength : 0));
  return Registry().Persist();
}

LONG RegDeleteKeyA(HKEY root, LPCSTR subKey) {
  RegistryKey* parent = nullptr;
  OpenKey open;
  const LONG status = Registry().Resolve(root, 0, &parent, &open);
  if (status != ERROR_SUCCESS) return status;
  std::vector<std::string> names;
  if (!standin::SplitKeyPath(subKey, &names)) return ERROR_BAD_PATHNAME;
  if (names.empty()) return ERROR_INVALID_PARAMETER;
  open.names.insert(open.names.end(), names.begin(), names.end());
  RegistryKey* target = Registry().Find(open.root, open.names);
  if (target == nullptr) return ERROR_FILE_NOT_FOUND;
  // Windows refuses a key with subkeys with this code too.
  if (Registry().IsDenied(open.root, open.names) || Registry().Refuses(open.root, kDeleteRight) ||
      !target->subkeys.empty()) {
    return ERROR_ACCESS_DENIED;
  }
  open.names.pop_back();
  Registry().Find(open.root, open.names)->subkeys.erase(standin::Lowercase(names.back()));
  return Registry().Persist();
}

LONG RegDeleteValueA(HKEY key, LPCSTR valueName) {
  RegistryKey* node = nullptr;
  OpenKey open;
  const LONG status = Registry().Resolve(key, KEY_SET_VALUE, &node, &open);
  if (status != ERROR_SUCCESS) return status;
  const RegistryValue* value = node->FindValue(valueName != nullptr ? valueName : "");
  if (value == nullptr) return ERROR_FILE_NOT_FOUND;
  node->values.erase(node->values.begin() + (value - node->values.data()));
  return Registry().Persist();
}

LONG RegCloseKey(HKEY key) {
  if (key == HKEY_LOCAL_MACHINE || key == HKEY_CURRENT_USER) return ERROR_SUCCESS;
  return Registry().CloseHandle(key) ? ERROR_SUCCESS : ERROR_INVALID_HANDLE;
}

namespace standin {

namespace {
std::vector<std::string> Names(const std::string& keyPath) {
  std::vector<std::string> names;
  (void)SplitKeyPath(keyPath.c_str(), &names);
  return names;
}
}  // namespace

void ResetRegistry() { Registry().Reset(); }
bool LoadRegistryFile(const std::string& path) { return Registry().LoadFile(path); }
bool LoadRegistryText(const std::string& text) { return Registry().Merge(text); }
std::string ExportRegistry() { return Registry().Export(); }

void SetRegistryValue(HKEY root, const std::string& keyPath, const std::string& valueName, DWORD type,
                      const std::string& bytes) {
  RegistryKey* key = Registry().Find(root, Names(keyPath), true);
  if (key == nullptr) return;
  key->SetValue(valueName, type, bytes);
  (void)Registry().Persist();
}

bool RegistryKeyExists(HKEY root, const std::string& keyPath) {
  return Registry().Find(root, Names(keyPath)) != nullptr;
}

bool ReadRegistryString(HKEY root, const std::string& keyPath, const std::string& valueName, std::string* text) {
  RegistryKey* key = Registry().Find(root, Names(keyPath));
  const RegistryValue* value = key != nullptr ? key->FindValue(valueName) : nullptr;
  if (value == nullptr || value->type != REG_SZ) return false;
  if (text != nullptr) *text = value->data.substr(0, value->data.find('\0'));
  return true;
}

void DenyRegistryAccess(HKEY root, const std::string& keyPath) { Registry().Deny(root, keyPath); }
void SetLocalMachineReadOnly(bool readOnly) { Registry().SetLocalMachineReadOnly(readOnly); }
void FailRegistryEnumeration(HKEY root, const std::string& keyPath, DWORD index, LONG code) {
  Registry().FailEnumeration(root, keyPath, index, code);
}
int OpenRegistryHandleCount() { return Registry().HandleCount(); }

}  // namespace standin

}  // namespace platform
