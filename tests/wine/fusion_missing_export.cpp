// fusion_missing_export.dll: a fusion.dll as a damaged or foreign framework might carry
// it, with three of the four entry points the tool resolves and no
// "CreateInstallReferenceEnum". The tool must refuse the whole library and do nothing.
//
// The three exports never do any cache work: each one leaves a marker file beside the
// library (its own path and ".called") and answers E_NOTIMPL, so a scenario can tell
// whether the tool called into a library it should have rejected.
#include <windows.h>

#include <string>

namespace {

void LeaveMarker() {
    HMODULE self = nullptr;
    if (!GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                            reinterpret_cast<LPCSTR>(&LeaveMarker), &self)) {
        return;
    }
    char path[MAX_PATH] = {};
    const DWORD length = GetModuleFileNameA(self, path, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) return;
    const std::string marker = std::string(path) + ".called";
    HANDLE file = CreateFileA(marker.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file != INVALID_HANDLE_VALUE) CloseHandle(file);
}

}  // namespace

// The out pointers are cleared as a real fusion.dll does on failure.
extern "C" __declspec(dllexport) HRESULT WINAPI CreateAssemblyCache(void **cache, DWORD) {
    LeaveMarker();
    if (cache) *cache = nullptr;
    return E_NOTIMPL;
}

extern "C" __declspec(dllexport) HRESULT WINAPI CreateAssemblyNameObject(void **name, LPCWSTR, DWORD, LPVOID) {
    LeaveMarker();
    if (name) *name = nullptr;
    return E_NOTIMPL;
}

extern "C" __declspec(dllexport) HRESULT WINAPI CreateAssemblyEnum(void **assemblies, void *, void *, DWORD, LPVOID) {
    LeaveMarker();
    if (assemblies) *assemblies = nullptr;
    return E_NOTIMPL;
}
