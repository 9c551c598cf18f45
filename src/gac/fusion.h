// The assembly-cache interfaces and entry points of the .NET Framework's fusion.dll, declared
// the way the platform documents them. fusion.dll is built without this tool's code, so the
// method order, the calling convention and the argument types below are a binary contract:
// the methods are pure virtual, in vtable order, with no virtual destructor (which would add
// a slot). The same declarations serve the real fusion.dll on Windows and the stand-in
// module on the host build.
#pragma once

#include "platform/types.h"

// Only ever passed as (null) pointers by this tool.
struct IUnknown;
struct IAssemblyCacheItem;
struct IInstallReferenceEnum;
struct ASSEMBLY_INFO;

struct FUSION_INSTALL_REFERENCE {
  DWORD cbSize;
  DWORD dwFlags;
  GUID guidScheme;
  LPCWSTR szIdentifier;
  LPCWSTR szNonCannonicalData;
};
using LPCFUSION_INSTALL_REFERENCE = const FUSION_INSTALL_REFERENCE*;
// 32 bytes in the 32-bit tool, as fusion.dll expects cbSize to say.
static_assert(sizeof(FUSION_INSTALL_REFERENCE) == 24 + 2 * sizeof(LPCWSTR), "no padding in the install reference");

struct IAssemblyName {
  virtual HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) = 0;
  virtual ULONG STDMETHODCALLTYPE AddRef() = 0;
  virtual ULONG STDMETHODCALLTYPE Release() = 0;

  virtual HRESULT STDMETHODCALLTYPE SetProperty(DWORD propertyId, LPVOID property, DWORD propertySize) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetProperty(DWORD propertyId, LPVOID property, LPDWORD propertySize) = 0;
  virtual HRESULT STDMETHODCALLTYPE Finalize() = 0;
  // *length: in, the room in `displayName` (UTF-16 units); out, the units needed or written,
  // terminator included.
  virtual HRESULT STDMETHODCALLTYPE GetDisplayName(LPWSTR displayName, LPDWORD length, DWORD displayFlags) = 0;
  virtual HRESULT STDMETHODCALLTYPE Reserved(REFIID iid, IUnknown* reserved1, IUnknown* reserved2,
                                             LPCWSTR reserved3, long long reserved4, LPVOID reserved5,
                                             DWORD reserved6, LPVOID* reserved7) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetName(LPDWORD length, WCHAR* name) = 0;
  // High word: major << 16 | minor; low word: build << 16 | revision.
  virtual HRESULT STDMETHODCALLTYPE GetVersion(LPDWORD versionHigh, LPDWORD versionLow) = 0;
  virtual HRESULT STDMETHODCALLTYPE IsEqual(IAssemblyName* name, DWORD compareFlags) = 0;
  virtual HRESULT STDMETHODCALLTYPE Clone(IAssemblyName** name) = 0;
};

struct IAssemblyCache {
  virtual HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) = 0;
  virtual ULONG STDMETHODCALLTYPE AddRef() = 0;
  virtual ULONG STDMETHODCALLTYPE Release() = 0;

  virtual HRESULT STDMETHODCALLTYPE UninstallAssembly(DWORD flags, LPCWSTR assemblyName,
                                                      LPCFUSION_INSTALL_REFERENCE reference,
                                                      ULONG* disposition) = 0;
  virtual HRESULT STDMETHODCALLTYPE QueryAssemblyInfo(DWORD flags, LPCWSTR assemblyName, ASSEMBLY_INFO* info) = 0;
  virtual HRESULT STDMETHODCALLTYPE CreateAssemblyCacheItem(DWORD flags, LPVOID reserved, IAssemblyCacheItem** item,
                                                            LPCWSTR assemblyName) = 0;
  virtual HRESULT STDMETHODCALLTYPE CreateAssemblyScavenger(IUnknown** reserved) = 0;
  virtual HRESULT STDMETHODCALLTYPE InstallAssembly(DWORD flags, LPCWSTR manifestFilePath,
                                                    LPCFUSION_INSTALL_REFERENCE reference) = 0;
};

struct IAssemblyEnum {
  virtual HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) = 0;
  virtual ULONG STDMETHODCALLTYPE AddRef() = 0;
  virtual ULONG STDMETHODCALLTYPE Release() = 0;

  // S_OK and a new entry in *name; S_FALSE past the last entry.
  virtual HRESULT STDMETHODCALLTYPE GetNextAssembly(LPVOID reserved, IAssemblyName** name, DWORD flags) = 0;
  virtual HRESULT STDMETHODCALLTYPE Reset() = 0;
  virtual HRESULT STDMETHODCALLTYPE Clone(IAssemblyEnum** copy) = 0;
};

// The four exports, resolved by name at run time.
using CreateAssemblyCacheFunction = HRESULT(WINAPI*)(IAssemblyCache** cache, DWORD reserved);
using CreateAssemblyNameObjectFunction = HRESULT(WINAPI*)(IAssemblyName** name, LPCWSTR assemblyName, DWORD flags,
                                                          LPVOID reserved);
using CreateAssemblyEnumFunction = HRESULT(WINAPI*)(IAssemblyEnum** entries, IUnknown* reserved,
                                                    IAssemblyName* name, DWORD cacheFlags, LPVOID reserved2);
using CreateInstallReferenceEnumFunction = HRESULT(WINAPI*)(IInstallReferenceEnum** references, IAssemblyName* name,
                                                            DWORD flags, LPVOID reserved);

// The documented values this tool passes or interprets.
constexpr DWORD CANOF_PARSE_DISPLAY_NAME = 0x1;
constexpr DWORD ASM_CACHE_GAC = 0x2;
constexpr DWORD ASM_DISPLAYF_VERSION = 0x1;
constexpr DWORD ASM_DISPLAYF_CULTURE = 0x2;
constexpr DWORD ASM_DISPLAYF_PUBLIC_KEY_TOKEN = 0x4;
constexpr DWORD ASM_DISPLAYF_CUSTOM = 0x10;
constexpr DWORD IASSEMBLYCACHE_INSTALL_FLAG_REFRESH = 0x1;

constexpr ULONG IASSEMBLYCACHE_UNINSTALL_DISPOSITION_UNINSTALLED = 1;
constexpr ULONG IASSEMBLYCACHE_UNINSTALL_DISPOSITION_STILL_IN_USE = 2;
constexpr ULONG IASSEMBLYCACHE_UNINSTALL_DISPOSITION_ALREADY_UNINSTALLED = 3;
constexpr ULONG IASSEMBLYCACHE_UNINSTALL_DISPOSITION_DELETE_PENDING = 4;
constexpr ULONG IASSEMBLYCACHE_UNINSTALL_DISPOSITION_HAS_INSTALL_REFERENCES = 5;
constexpr ULONG IASSEMBLYCACHE_UNINSTALL_DISPOSITION_REFERENCE_NOT_FOUND = 6;
