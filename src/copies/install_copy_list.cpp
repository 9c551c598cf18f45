// Building the list of installed copies and searching it by directory.
#include "copies/install_copy_list.h"

#include <cstdlib>
#include <cstring>
#include <memory>

#include "platform/debug.h"
#include "platform/files.h"
#include "platform/registry.h"
#include "platform/text.h"
#include "platform/types.h"
#include "registry/provider_registration.h"

namespace {

constexpr char kCurrentVersionKey[] = "SOFTWARE\\Ovk\\Zt4\\CurrentVersion";
constexpr char kVersionValue[] = "Version";
constexpr DWORD kValueBufferSize = 256;
constexpr DWORD kSubkeyNameSize = 256;
constexpr size_t kDirectoryBufferSize = MAX_PATH + 1;

// True when the "Version" value is present and reads as the integer 8.
bool Version8Installed(REGSAM view) {
  platform::UniqueRegKey key;
  if (platform::RegOpenKeyExA(HKEY_LOCAL_MACHINE, kCurrentVersionKey, 0, KEY_QUERY_VALUE | view, key.put()) !=
      ERROR_SUCCESS) {
    return false;
  }
  // Whatever the value's type, its bytes are read as text; one byte more keeps a terminator.
  char version[kValueBufferSize + 1] = {};
  DWORD size = kValueBufferSize;
  const LONG read = platform::RegQueryValueExA(key.get(), kVersionValue, nullptr, nullptr,
                                               reinterpret_cast<BYTE*>(version), &size);
  return read == ERROR_SUCCESS && std::atoi(version) == 8;
}

}  // namespace

InstallCopyList::InstallCopyList(bool use32BitViewRequested, bool use64BitViewRequested)
    : use32BitView(use32BitViewRequested ? KEY_WOW64_32KEY : 0),
      use64BitView(use64BitViewRequested ? KEY_WOW64_64KEY : 0) {
  // An unreadable version-8 installation means the product's registry cannot be trusted:
  // no installed copies are read at all.
  if (!ReadVersion8Copy()) return;
  ReadInstalledCopies();
}

InstallCopyList::~InstallCopyList() = default;

bool InstallCopyList::ReadVersion8Copy() {
  if (!Version8Installed(use32BitView | use64BitView)) return true;
  auto copy = std::make_unique<InstallCopy>(kVersion8CopyName, use32BitView != 0, false);
  if (copy->IsInvalid()) {
    loadFailed = 1;
    return false;
  }
  version8Copy = copy.get();
  Append(std::move(copy));
  return true;
}

void InstallCopyList::ReadInstalledCopies() {
  platform::UniqueRegKey key;
  if (platform::RegOpenKeyExA(HKEY_LOCAL_MACHINE, kInstalledCopiesKey, 0,
                              KEY_QUERY_VALUE | KEY_ENUMERATE_SUB_KEYS | use32BitView | use64BitView,
                              key.put()) != ERROR_SUCCESS) {
    return;
  }
  char subkeyName[kSubkeyNameSize];
  for (DWORD index = 0;; ++index) {
    DWORD nameLength = sizeof subkeyName;
    const LONG result =
        platform::RegEnumKeyExA(key.get(), index, subkeyName, &nameLength, nullptr, nullptr, nullptr, nullptr);
    if (result == ERROR_NO_MORE_ITEMS) return;
    // A failure part-way keeps the copies read so far.
    if (result != ERROR_SUCCESS || nameLength >= sizeof subkeyName) {
      loadFailed = 1;
      return;
    }
    subkeyName[nameLength] = '\0';
    auto copy = std::make_unique<InstallCopy>(subkeyName, use32BitView != 0, false);
    if (copy->IsInvalid()) {
      platform::OutputDebugStringA("Invalid Installation Name");
      platform::OutputDebugStringA(subkeyName);
      continue;
    }
    Append(std::move(copy));
  }
}

uint32_t InstallCopyList::FindCopyByPath(const char* directory, InstallCopy** found) {
  const SavedCursor restoreCursor(*this);
  if (found == nullptr || directory == nullptr) return E_COPY_NULL_ARGUMENT;

  // A longer directory cannot be a copy's path (those are shorter than 256 bytes either way).
  size_t length = 0;
  while (length <= MAX_PATH && directory[length] != '\0') ++length;
  if (length > MAX_PATH) return E_COPY_NOT_FOUND;

  char trimmed[kDirectoryBufferSize];
  std::memcpy(trimmed, directory, length);
  trimmed[length] = '\0';
  if (length > 0 && trimmed[length - 1] == '\\') trimmed[length - 1] = '\0';

  char shortDirectory[kDirectoryBufferSize];
  const DWORD converted = platform::GetShortPathNameA(trimmed, shortDirectory, sizeof shortDirectory);
  // A result at or above the buffer size is the size needed: nothing usable was written.
  if (converted == 0 || converted >= sizeof shortDirectory) return E_COPY_SYSTEM_CALL;

  char shortCopyPath[kDirectoryBufferSize];
  for (InstallCopy* copy = GetNext(); copy != nullptr; copy = GetNext()) {
    if (copy->GetShortPath(shortCopyPath, sizeof shortCopyPath) != 0) continue;
    if (platform::_stricmp(shortDirectory, shortCopyPath) == 0) {
      *found = copy;
      return 0;
    }
  }
  return E_COPY_NOT_FOUND;
}
