// The cache operations of AssemblyCacheClient. Every interface pointer is held by a ComPtr,
// so each is released before the operation returns, whichever way it returns.
#include <climits>
#include <cstring>
#include <vector>

#include "gac/assembly_cache_client.h"
#include "gac/com_ptr.h"
#include "platform/text.h"

namespace {

// What GetDisplayName is asked for: version, public key token and custom data; no culture.
constexpr DWORD kDisplayFlags = ASM_DISPLAYF_VERSION | ASM_DISPLAYF_PUBLIC_KEY_TOKEN | ASM_DISPLAYF_CUSTOM;

// A display-name length is fusion.dll's answer, not ours to trust: beyond the longest UTF-16
// string the platform handles (which also rules out a wrapping length + 1) it is a failed read.
constexpr DWORD kMaxDisplayNameLength = 32767;

// The first version that is not "older": 9.0.0.2, as (major << 16 | minor, build << 16 | revision).
constexpr DWORD kCurrentVersionHigh = 9u << 16;
constexpr DWORD kCurrentVersionLow = 2;

constexpr int kInstallFailed = 1;
constexpr int kUninstallFailed = 2;

// A caller's ANSI string in UTF-16, converted through the terminator into room for
// strlen + 1 units; a null string or a failed conversion leaves it unconverted.
class WideText {
 public:
  explicit WideText(const char* text) {
    if (text == nullptr) return;
    const size_t length = std::strlen(text);
    if (length >= static_cast<size_t>(INT_MAX)) return;
    units_.assign(length + 1, 0);
    converted_ = platform::MultiByteToWideChar(CP_ACP, 0, text, -1, units_.data(), static_cast<int>(length + 1)) != 0;
  }

  bool converted() const { return converted_; }
  LPCWSTR get() const { return units_.data(); }

 private:
  std::vector<WCHAR> units_;
  bool converted_ = false;
};

int UninstallResult(ULONG disposition) {
  return disposition == IASSEMBLYCACHE_UNINSTALL_DISPOSITION_STILL_IN_USE ? kUninstallFailed : 0;
}

}  // namespace

int AssemblyCacheClient::InstallAssemblyFile(const char* path) {
  return InstallAssemblyFileEx(path, nullptr, IASSEMBLYCACHE_INSTALL_FLAG_REFRESH);
}

int AssemblyCacheClient::InstallAssemblyFileW(LPCWSTR path) {
  return InstallAssemblyFileExW(path, nullptr, IASSEMBLYCACHE_INSTALL_FLAG_REFRESH);
}

int AssemblyCacheClient::InstallAssemblyFileEx(const char* path, const FUSION_INSTALL_REFERENCE* reference,
                                               DWORD flags) {
  const WideText widePath(path);
  if (!widePath.converted()) return kInstallFailed;
  return InstallAssemblyFileExW(widePath.get(), reference, flags);
}

int AssemblyCacheClient::InstallAssemblyFileExW(LPCWSTR path, const FUSION_INSTALL_REFERENCE* reference,
                                                DWORD flags) {
  ComPtr<IAssemblyCache> cache;
  // A success without an object is fusion.dll's fault, not a cache to call.
  if (FAILED(createAssemblyCache(cache.put(), 0)) || !cache) return kInstallFailed;
  // S_FALSE ("already there") counts as installed.
  return FAILED(cache->InstallAssembly(flags, path, reference)) ? kInstallFailed : 0;
}

int AssemblyCacheClient::InstallAssemblyFileWithReference(const char* path, GUID scheme, const char* identifier,
                                                          const char* nonCanonicalData) {
  const WideText wideIdentifier(identifier);
  if (!wideIdentifier.converted()) return kInstallFailed;
  const WideText wideData(nonCanonicalData);
  if (!wideData.converted()) return kInstallFailed;
  const WideText widePath(path);
  if (!widePath.converted()) return kInstallFailed;

  FUSION_INSTALL_REFERENCE reference{};
  reference.cbSize = sizeof(FUSION_INSTALL_REFERENCE);
  reference.dwFlags = 0;
  reference.guidScheme = scheme;
  reference.szIdentifier = wideIdentifier.get();
  reference.szNonCannonicalData = wideData.get();
  return InstallAssemblyFileExW(widePath.get(), &reference, IASSEMBLYCACHE_INSTALL_FLAG_REFRESH);
}

int AssemblyCacheClient::UninstallAssemblies(const char* displayName, const FUSION_INSTALL_REFERENCE* reference) {
  const WideText wideName(displayName);
  if (!wideName.converted()) return kUninstallFailed;
  return UninstallAssembliesW(wideName.get(), reference);
}

int AssemblyCacheClient::UninstallAssembliesW(LPCWSTR displayName, const FUSION_INSTALL_REFERENCE* reference) {
  {
    // Only proves that the cache can be opened; each entry below gets a fresh one.
    ComPtr<IAssemblyCache> probe;
    if (FAILED(createAssemblyCache(probe.put(), 0))) return kUninstallFailed;
  }

  ComPtr<IAssemblyEnum> entries;
  {
    ComPtr<IAssemblyName> pattern;
    // Without a pattern the enumeration below would list, and remove, every cached assembly.
    if (createAssemblyNameObject(pattern.put(), displayName, CANOF_PARSE_DISPLAY_NAME, nullptr) != S_OK || !pattern) {
      return kUninstallFailed;
    }
    // No enumerator: nothing matches, so nothing is left to remove.
    if (createAssemblyEnum(entries.put(), nullptr, pattern.get(), ASM_CACHE_GAC, nullptr) != S_OK || !entries) {
      return 0;
    }
  }

  // One failed entry makes the whole call a failure, even when later entries go.
  int result = 0;
  for (;;) {
    ComPtr<IAssemblyName> entry;
    const HRESULT next = entries->GetNextAssembly(nullptr, entry.put(), 0);
    if (next != S_OK || !entry) {
      if (FAILED(next)) result = kUninstallFailed;
      break;
    }

    DWORD length = 0;
    HRESULT read = entry->GetDisplayName(nullptr, &length, kDisplayFlags);
    if (length != 0) {
      if (length > kMaxDisplayNameLength) {
        result = kUninstallFailed;
        break;
      }
      std::vector<WCHAR> name(length + 1, 0);  // the extra unit keeps it terminated whatever is written
      DWORD room = length;
      read = entry->GetDisplayName(name.data(), &room, kDisplayFlags);
      if (SUCCEEDED(read) && UninstallOne(name.data(), reference) != 0) result = kUninstallFailed;
    }
    // An entry whose name cannot be read stays in the cache: a failure. Any read short of a plain
    // success (S_FALSE too) ends the walk.
    if (FAILED(read)) result = kUninstallFailed;
    if (read != S_OK) break;
  }
  return result;
}

int AssemblyCacheClient::UninstallExactName(const char* displayName, const FUSION_INSTALL_REFERENCE* reference) {
  const WideText wideName(displayName);
  if (!wideName.converted()) return kUninstallFailed;
  return UninstallOne(wideName.get(), reference);
}

int AssemblyCacheClient::UninstallExactNameW(LPCWSTR displayName, const FUSION_INSTALL_REFERENCE* reference) {
  return UninstallOne(displayName, reference);
}

int AssemblyCacheClient::UninstallOne(LPCWSTR displayName, const FUSION_INSTALL_REFERENCE* reference) {
  ComPtr<IAssemblyCache> cache;
  if (FAILED(createAssemblyCache(cache.put(), 0)) || !cache) return kUninstallFailed;
  ULONG disposition = 0;
  if (FAILED(cache->UninstallAssembly(0, displayName, reference, &disposition))) return kUninstallFailed;
  return UninstallResult(disposition);
}

int AssemblyCacheClient::IsOlderVersionCached(const char* name) {
  const WideText wideName(name);
  if (!wideName.converted()) return 0;
  {
    ComPtr<IAssemblyCache> probe;
    if (FAILED(createAssemblyCache(probe.put(), 0))) return 0;
  }

  ComPtr<IAssemblyEnum> entries;
  {
    ComPtr<IAssemblyName> pattern;
    // Without a pattern every assembly in the cache would be looked at.
    if (createAssemblyNameObject(pattern.put(), wideName.get(), CANOF_PARSE_DISPLAY_NAME, nullptr) != S_OK ||
        !pattern) {
      return 0;
    }
    if (createAssemblyEnum(entries.put(), nullptr, pattern.get(), ASM_CACHE_GAC, nullptr) != S_OK || !entries) {
      return 0;
    }
  }

  // Any older cached copy counts, whatever the enumeration order: the store lists "10.1.6.2"
  // before "8.1.0.0", and the other product relies on the older one. So a newer entry does not
  // end the walk, and an entry without a readable name or version says nothing and is passed
  // over, lest an older copy listed after it go unprotected. The first older entry ends it, and
  // so does an enumeration that hands out no entry, at its end or failing: nothing older seen.
  for (;;) {
    ComPtr<IAssemblyName> entry;
    if (entries->GetNextAssembly(nullptr, entry.put(), 0) != S_OK || !entry) return 0;

    DWORD nameLength = 0;
    (void)entry->GetName(&nameLength, nullptr);
    DWORD high = 0;
    DWORD low = 0;
    if (nameLength == 0 || FAILED(entry->GetVersion(&high, &low))) continue;
    // Unsigned 16-bit components compare in the same order as the packed words.
    if (high < kCurrentVersionHigh || (high == kCurrentVersionHigh && low < kCurrentVersionLow)) return 1;
  }
}
