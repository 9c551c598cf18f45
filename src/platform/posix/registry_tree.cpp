// POSIX stand-in only: the in-memory registry tree.
#include "platform/posix/registry_tree.h"

#include <algorithm>
#include <iterator>
#include <utility>

#include "platform/text.h"

namespace platform::standin {

std::string LowercaseName(std::string name) {
  AsciiLowercase(name);
  return name;
}

bool SplitKeyPath(const char* path, std::vector<std::string>* names) {
  names->clear();
  if (path == nullptr) return true;
  std::string current;
  for (const char* p = path;; ++p) {
    if (*p == '\\' || *p == '\0') {
      if (current.empty()) {
        if (*p == '\0' && (names->empty() || p != path)) return true;  // "" or trailing '\'
        return false;
      }
      names->push_back(std::move(current));
      current.clear();
      if (*p == '\0') return true;
    } else {
      current += *p;
    }
  }
}

void RegistryKey::MarkDeleted() {
  deleted_ = true;
  for (auto& entry : subkeys_) entry.second->MarkDeleted();
}

std::shared_ptr<RegistryKey> RegistryKey::Subkey(const std::string& name) const {
  auto found = subkeys_.find(LowercaseName(name));
  return found == subkeys_.end() ? nullptr : found->second;
}

std::shared_ptr<RegistryKey> RegistryKey::AddSubkey(const std::string& name, bool* created) {
  auto [position, inserted] = subkeys_.try_emplace(LowercaseName(name));
  if (inserted) {
    position->second = std::make_shared<RegistryKey>(name);
    orderedSubkeysStale_ = true;
  }
  if (created != nullptr) *created = inserted;
  return position->second;
}

std::shared_ptr<RegistryKey> RegistryKey::DetachSubkey(const std::string& name) {
  auto found = subkeys_.find(LowercaseName(name));
  if (found == subkeys_.end()) return nullptr;
  std::shared_ptr<RegistryKey> subkey = std::move(found->second);
  subkeys_.erase(found);
  orderedSubkeysStale_ = true;
  return subkey;
}

void RegistryKey::AttachSubkey(std::shared_ptr<RegistryKey> subkey) {
  std::string key = LowercaseName(subkey->Name());
  subkeys_[std::move(key)] = std::move(subkey);
  orderedSubkeysStale_ = true;
}

const RegistryKey* RegistryKey::SubkeyAt(size_t index) const {
  if (orderedSubkeysStale_) {
    orderedSubkeys_.clear();
    orderedSubkeys_.reserve(subkeys_.size());
    std::transform(subkeys_.begin(), subkeys_.end(), std::back_inserter(orderedSubkeys_),
                   [](const auto& entry) { return entry.second.get(); });
    orderedSubkeysStale_ = false;
  }
  return index < orderedSubkeys_.size() ? orderedSubkeys_[index] : nullptr;
}

const RegistryValue* RegistryKey::FindValue(const std::string& name) const {
  auto found = valueIndex_.find(LowercaseName(name));
  return found == valueIndex_.end() ? nullptr : &values_[found->second];
}

void RegistryKey::SetValue(const std::string& name, DWORD type, std::string data) {
  auto [position, inserted] = valueIndex_.try_emplace(LowercaseName(name), values_.size());
  if (inserted) {
    values_.push_back(RegistryValue{name, type, std::move(data)});
  } else {
    RegistryValue& value = values_[position->second];
    value.type = type;
    value.data = std::move(data);
  }
}

bool RegistryKey::RemoveValue(const std::string& name, size_t* position, RegistryValue* removed) {
  auto found = valueIndex_.find(LowercaseName(name));
  if (found == valueIndex_.end()) return false;
  const size_t index = found->second;
  if (position != nullptr) *position = index;
  if (removed != nullptr) *removed = std::move(values_[index]);
  values_.erase(values_.begin() + static_cast<std::ptrdiff_t>(index));
  RebuildValueIndex();
  return true;
}

void RegistryKey::InsertValue(size_t position, RegistryValue value) {
  if (position > values_.size()) position = values_.size();
  values_.insert(values_.begin() + static_cast<std::ptrdiff_t>(position), std::move(value));
  RebuildValueIndex();
}

void RegistryKey::Clear() {
  for (auto& entry : subkeys_) entry.second->MarkDeleted();
  subkeys_.clear();
  orderedSubkeysStale_ = true;
  values_.clear();
  valueIndex_.clear();
}

void RegistryKey::RebuildValueIndex() {
  valueIndex_.clear();
  for (size_t i = 0; i < values_.size(); ++i) valueIndex_.emplace(LowercaseName(values_[i].name), i);
}

// cppcheck-suppress constParameter ; HKEY is an opaque Win32 handle type, compared and never dereferenced
std::shared_ptr<RegistryKey> RegistryTree::Root(HKEY root) const {
  if (root == HKEY_LOCAL_MACHINE) return localMachine;
  if (root == HKEY_CURRENT_USER) return currentUser;
  return nullptr;
}

}  // namespace platform::standin
