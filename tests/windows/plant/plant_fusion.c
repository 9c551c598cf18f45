// A foreign fusion.dll, for the Wine case that plants DLLs: it imports plant_import.dll and, once
// loaded, asks for plant_byname.dll by bare name, as a framework's own fusion.dll may ask for its
// siblings. Its four entry points fail, so the tool changes nothing in the cache.
#include <windows.h>

__declspec(dllimport) int PlantHelper(void);

HRESULT WINAPI CreateAssemblyCache(void* cache, DWORD reserved) {
  (void)cache, (void)reserved;
  return E_FAIL;
}
HRESULT WINAPI CreateAssemblyNameObject(void* name, LPCWSTR text, DWORD flags, void* reserved) {
  (void)name, (void)text, (void)flags, (void)reserved;
  return E_FAIL;
}
HRESULT WINAPI CreateAssemblyEnum(void* assemblyEnum, void* unknown, void* name, DWORD flags, void* reserved) {
  (void)assemblyEnum, (void)unknown, (void)name, (void)flags, (void)reserved;
  return E_FAIL;
}
HRESULT WINAPI CreateInstallReferenceEnum(void* referenceEnum, void* name, DWORD flags, void* reserved) {
  (void)referenceEnum, (void)name, (void)flags, (void)reserved;
  return E_FAIL;
}

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved) {
  (void)instance, (void)reserved;
  if (reason == DLL_PROCESS_ATTACH && PlantHelper() == 1) (void)LoadLibraryA("plant_byname.dll");
  return TRUE;
}
