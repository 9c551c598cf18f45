// Reading one installed copy from the registry, with every registry text copied into its
// fixed buffer only when it fits.
#include "copies/install_copy.h"

#include <cstdio>
#include <cstring>
#include <memory>

#include "platform/files.h"
#include "platform/registry.h"
#include "platform/text.h"
#include "platform/types.h"
#include "registry/provider_registration.h"

namespace {

constexpr char kProductKey[] = "SOFTWARE\\Ovk\\Zt4";
constexpr char kPathValue[] = "Zt4 Path Name";
constexpr DWORD kValueBufferSize = 256;
constexpr DWORD kKeyBufferSize = 256;
constexpr DWORD kComponentNameSize = 255;

// The length of `text` when its terminator lies within `limit` bytes, else `limit`.
size_t BoundedLength(const char* text, size_t limit) {
  size_t length = 0;
  while (length < limit && text[length] != '\0') ++length;
  return length;
}

// Formats "<base>\<leaf>" into `buffer`; false when it was cut, so a cut path never opens a wrong key.
bool JoinKeyPath(char (&buffer)[kKeyBufferSize], const char* base, const char* leaf) {
  const int written = std::snprintf(buffer, sizeof buffer, "%s\\%s", base, leaf);
  return written >= 0 && static_cast<size_t>(written) < sizeof buffer;
}

}  // namespace

InstallCopy::InstallCopy(const char* copyName, bool use32BitViewRequested, bool use64BitViewRequested)
    : use32BitView(use32BitViewRequested ? KEY_WOW64_32KEY : 0),
      use64BitView(use64BitViewRequested ? KEY_WOW64_64KEY : 0) {
  if (copyName != nullptr) std::memcpy(name, copyName, BoundedLength(copyName, kMaxNameLength));

  // Without a name there is no key to read; only the components are looked for.
  if (name[0] != '\0') {
    if (platform::_stricmp(name, kVersion8CopyName) == 0) {
      isVersion8 = 1;
      std::snprintf(keyPath, sizeof keyPath, "%s", kProductKey);
    } else {
      // Cannot be cut: the key prefix and a 64-character name are far below 256 bytes.
      std::snprintf(keyPath, sizeof keyPath, "%s\\%s", kInstalledCopiesKey, name);
    }
    ReadPath();
    if (invalid != 0) return;
    ReadPerUser();
  }
  ReadComponents();
}

InstallCopy::~InstallCopy() = default;

void InstallCopy::ReadPath() {
  platform::UniqueRegKey key;
  if (platform::RegOpenKeyExA(HKEY_LOCAL_MACHINE, keyPath, 0, KEY_QUERY_VALUE | use32BitView | use64BitView,
                              key.put()) != ERROR_SUCCESS) {
    invalid = 1;
    return;
  }
  char value[kValueBufferSize];
  DWORD size = sizeof value;
  const LONG read = platform::RegQueryValueExA(key.get(), kPathValue, nullptr, nullptr,
                                               reinterpret_cast<BYTE*>(value), &size);
  key.reset();
  // A value stored without its terminator must still leave room for one in `path`.
  const size_t length = read == ERROR_SUCCESS ? BoundedLength(value, size < sizeof value ? size : sizeof value) : 0;
  if (read != ERROR_SUCCESS || length >= sizeof path) {
    invalid = 1;
    return;
  }
  std::memcpy(path, value, length);
  path[length] = '\0';
  if (length > 0 && path[length - 1] == '\\') path[length - 1] = '\0';
}

void InstallCopy::ReadPerUser() {
  char usersKeyPath[kKeyBufferSize];
  if (!JoinKeyPath(usersKeyPath, keyPath, "Users")) return;
  platform::UniqueRegKey usersKey;
  // No view flags here: the per-user marker is looked up in the caller's own view.
  if (platform::RegOpenKeyExA(HKEY_LOCAL_MACHINE, usersKeyPath, 0, KEY_QUERY_VALUE, usersKey.put()) ==
      ERROR_SUCCESS) {
    perUser = 1;
  }
}

void InstallCopy::ReadComponents() {
  char componentsKeyPath[kKeyBufferSize];
  if (!JoinKeyPath(componentsKeyPath, keyPath, "COMPONENTS")) return;
  platform::UniqueRegKey componentsKey;
  const LONG opened =
      perUser != 0
          ? platform::RegOpenKeyExA(HKEY_CURRENT_USER, componentsKeyPath, 0, KEY_QUERY_VALUE | use32BitView,
                                    componentsKey.put())
          : platform::RegOpenKeyExA(HKEY_LOCAL_MACHINE, componentsKeyPath, 0,
                                    KEY_QUERY_VALUE | use32BitView | use64BitView, componentsKey.put());
  if (opened != ERROR_SUCCESS) return;

  char valueName[kComponentNameSize];
  for (DWORD index = 0;; ++index) {
    DWORD nameLength = sizeof valueName;
    if (platform::RegEnumValueA(componentsKey.get(), index, valueName, &nameLength, nullptr, nullptr, nullptr,
                                nullptr) != ERROR_SUCCESS) {
      return;
    }
    const size_t length = BoundedLength(valueName, sizeof valueName);
    if (length == sizeof valueName) return;  // no terminator: nothing trustworthy to copy
    std::unique_ptr<char[]> component(new char[length + 1]);
    std::memcpy(component.get(), valueName, length + 1);
    components.Append(std::move(component));
  }
}

uint32_t InstallCopy::GetName(char* buffer, uint32_t size) const {
  if (buffer == nullptr) return E_COPY_NULL_ARGUMENT;
  const size_t length = std::strlen(name);
  if (length + 1 > size) return E_COPY_BUFFER_TOO_SMALL;
  std::memcpy(buffer, name, length + 1);
  return 0;
}

uint32_t InstallCopy::GetShortPath(char* buffer, uint32_t size) const {
  if (buffer == nullptr) return E_COPY_NULL_ARGUMENT;
  const DWORD length = platform::GetShortPathNameA(path, buffer, size);
  if (length == 0) return E_COPY_SYSTEM_CALL;
  // A result at or above `size` is the size needed, and the buffer holds nothing usable.
  if (length >= size) return E_COPY_BUFFER_TOO_SMALL;
  return 0;
}
