// gac_list: an independent observer of the global assembly cache for the Wine suite.
//
// It talks to fusion.dll through the documented interfaces only (mingw's <fusion.h>)
// and shares no code with the tool, so a fault in the tool's cache code cannot hide
// itself in the suite's observations.
//
//   gac_list [--fusion PATH] list [NAME]        sorted display names, one per line
//   gac_list [--fusion PATH] order [NAME]       the same in the enumerator's own order
//   gac_list [--fusion PATH] install FILE...    installs files (refresh, no reference)
//   gac_list [--fusion PATH] uninstall NAME [--reference]
//                                               one UninstallAssembly call, prints the outcome
//   gac_list [--fusion PATH] lengths NAME       the length conventions of GetDisplayName/GetName
//
// Without --fusion the newest framework's fusion.dll below %WINDIR% is used.
#include <windows.h>
#include <fusion.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

namespace {

using CreateAssemblyCacheFn = HRESULT(WINAPI *)(IAssemblyCache **, DWORD);
using CreateAssemblyNameObjectFn = HRESULT(WINAPI *)(IAssemblyName **, LPCWSTR, DWORD, LPVOID);
using CreateAssemblyEnumFn = HRESULT(WINAPI *)(IAssemblyEnum **, IUnknown *, IAssemblyName *, DWORD, LPVOID);

// What the listing shows: enough to tell two versions and two signers apart.
constexpr DWORD kListFlags = ASM_DISPLAYF_VERSION | ASM_DISPLAYF_CULTURE | ASM_DISPLAYF_PUBLIC_KEY_TOKEN;
// The flags the tool itself uses when it reads an entry's name before uninstalling it.
constexpr DWORD kToolFlags = ASM_DISPLAYF_VERSION | ASM_DISPLAYF_PUBLIC_KEY_TOKEN | ASM_DISPLAYF_CUSTOM;

std::string Narrow(const std::wstring &text) {
    std::string out;
    for (wchar_t c : text) out.push_back(c < 0x80 ? static_cast<char>(c) : '?');
    return out;
}

template <typename T>
class ComPtr {
public:
    ComPtr() = default;
    ComPtr(const ComPtr &) = delete;
    ComPtr &operator=(const ComPtr &) = delete;
    ~ComPtr() {
        if (ptr_) ptr_->Release();
    }
    T **Out() { return &ptr_; }
    T *operator->() const { return ptr_; }
    T *Get() const { return ptr_; }

private:
    T *ptr_ = nullptr;
};

class Fusion {
public:
    explicit Fusion(const std::wstring &path) : module_(LoadLibraryW(path.c_str())) {
        if (!module_) return;
        createCache_ = reinterpret_cast<CreateAssemblyCacheFn>(
            reinterpret_cast<void *>(GetProcAddress(module_, "CreateAssemblyCache")));
        createName_ = reinterpret_cast<CreateAssemblyNameObjectFn>(
            reinterpret_cast<void *>(GetProcAddress(module_, "CreateAssemblyNameObject")));
        createEnum_ = reinterpret_cast<CreateAssemblyEnumFn>(
            reinterpret_cast<void *>(GetProcAddress(module_, "CreateAssemblyEnum")));
    }
    Fusion(const Fusion &) = delete;
    Fusion &operator=(const Fusion &) = delete;
    ~Fusion() {
        if (module_) FreeLibrary(module_);
    }

    bool Usable() const { return createCache_ && createName_ && createEnum_; }

    HRESULT OpenCache(IAssemblyCache **cache) const { return createCache_(cache, 0); }

    // A null name enumerates the whole cache.
    HRESULT OpenEnum(const wchar_t *name, IAssemblyEnum **assemblies) const {
        ComPtr<IAssemblyName> pattern;
        if (name) {
            HRESULT hr = createName_(pattern.Out(), name, CANOF_PARSE_DISPLAY_NAME, nullptr);
            if (hr != S_OK) return hr;
        }
        return createEnum_(assemblies, nullptr, pattern.Get(), ASM_CACHE_GAC, nullptr);
    }

private:
    HMODULE module_;
    CreateAssemblyCacheFn createCache_ = nullptr;
    CreateAssemblyNameObjectFn createName_ = nullptr;
    CreateAssemblyEnumFn createEnum_ = nullptr;
};

std::wstring DisplayName(IAssemblyName *entry, DWORD flags) {
    DWORD length = 0;
    entry->GetDisplayName(nullptr, &length, flags);
    if (length == 0) return L"";
    std::vector<wchar_t> buffer(length + 1, L'\0');
    DWORD room = length + 1;
    if (FAILED(entry->GetDisplayName(buffer.data(), &room, flags))) return L"";
    return buffer.data();
}

std::wstring DefaultFusionPath() {
    wchar_t windows[MAX_PATH] = {};
    GetWindowsDirectoryW(windows, MAX_PATH);
    for (const wchar_t *dir : {L"v4.0.30319", L"v2.0.50727"}) {
        std::wstring path = std::wstring(windows) + L"\\Microsoft.NET\\Framework\\" + dir + L"\\fusion.dll";
        if (GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES) return path;
    }
    return L"fusion.dll";
}

int List(const Fusion &fusion, const wchar_t *name, bool sorted) {
    ComPtr<IAssemblyEnum> assemblies;
    HRESULT hr = fusion.OpenEnum(name, assemblies.Out());
    if (hr != S_OK) {
        // No match at all is reported by some fusion versions as a failure to create the enumerator.
        if (name) return 0;
        std::fprintf(stderr, "CreateAssemblyEnum failed: 0x%08lx\n", static_cast<unsigned long>(hr));
        return 1;
    }
    std::vector<std::string> names;
    for (;;) {
        ComPtr<IAssemblyName> entry;
        if (assemblies->GetNextAssembly(nullptr, entry.Out(), 0) != S_OK) break;
        names.push_back(Narrow(DisplayName(entry.Get(), kListFlags)));
    }
    if (sorted) std::sort(names.begin(), names.end());
    for (const std::string &line : names) std::printf("%s\n", line.c_str());
    return 0;
}

int Install(const Fusion &fusion, int count, wchar_t **files) {
    ComPtr<IAssemblyCache> cache;
    HRESULT hr = fusion.OpenCache(cache.Out());
    if (FAILED(hr)) {
        std::fprintf(stderr, "CreateAssemblyCache failed: 0x%08lx\n", static_cast<unsigned long>(hr));
        return 1;
    }
    int status = 0;
    for (int i = 0; i < count; ++i) {
        hr = cache->InstallAssembly(IASSEMBLYCACHE_INSTALL_FLAG_REFRESH, files[i], nullptr);
        if (FAILED(hr)) {
            std::fprintf(stderr, "InstallAssembly %s failed: 0x%08lx\n", Narrow(files[i]).c_str(),
                         static_cast<unsigned long>(hr));
            status = 1;
        }
    }
    return status;
}

int Uninstall(const Fusion &fusion, const wchar_t *name, bool withReference) {
    ComPtr<IAssemblyCache> cache;
    HRESULT hr = fusion.OpenCache(cache.Out());
    if (FAILED(hr)) {
        std::fprintf(stderr, "CreateAssemblyCache failed: 0x%08lx\n", static_cast<unsigned long>(hr));
        return 1;
    }
    // An opaque-string reference, the kind an installer would hold.
    static const GUID kOpaqueScheme = {0x2ec93463, 0xb0c3, 0x45e1, {0x83, 0x64, 0x32, 0x7e, 0x96, 0xae, 0xa8, 0x56}};
    wchar_t identifier[] = L"Zt4 test";
    FUSION_INSTALL_REFERENCE reference = {sizeof(FUSION_INSTALL_REFERENCE), 0, kOpaqueScheme, identifier, nullptr};
    ULONG disposition = 0;
    hr = cache->UninstallAssembly(0, name, withReference ? &reference : nullptr, &disposition);
    std::printf("hr=0x%08lx disposition=%lu\n", static_cast<unsigned long>(hr), disposition);
    return 0;
}

// Records how the platform reports lengths: the tool relies on a length-only query.
int Lengths(const Fusion &fusion, const wchar_t *name) {
    ComPtr<IAssemblyEnum> assemblies;
    HRESULT hr = fusion.OpenEnum(name, assemblies.Out());
    ComPtr<IAssemblyName> entry;
    if (hr != S_OK || assemblies->GetNextAssembly(nullptr, entry.Out(), 0) != S_OK) {
        std::fprintf(stderr, "no cache entry for %s\n", Narrow(name).c_str());
        return 1;
    }
    DWORD length = 0;
    hr = entry->GetDisplayName(nullptr, &length, kToolFlags);
    std::wstring text = DisplayName(entry.Get(), kToolFlags);
    std::printf("GetDisplayName(null) hr=0x%08lx length=%lu text=%u \"%s\"\n", static_cast<unsigned long>(hr),
                length, static_cast<unsigned>(text.size()), Narrow(text).c_str());
    length = 0;
    hr = entry->GetName(&length, nullptr);
    std::printf("GetName(null) hr=0x%08lx length=%lu\n", static_cast<unsigned long>(hr), length);
    return 0;
}

int Usage() {
    std::fprintf(stderr,
                 "usage: gac_list [--fusion PATH] list [NAME] | order [NAME] | install FILE... | uninstall NAME [--reference] | "
                 "lengths NAME\n");
    return 2;
}

}  // namespace

int wmain(int argc, wchar_t **argv) {
    int next = 1;
    std::wstring fusionPath;
    if (next + 1 < argc && std::wstring(argv[next]) == L"--fusion") {
        fusionPath = argv[next + 1];
        next += 2;
    } else {
        fusionPath = DefaultFusionPath();
    }
    if (next >= argc) return Usage();
    std::wstring command = argv[next++];

    Fusion fusion(fusionPath);
    if (!fusion.Usable()) {
        std::fprintf(stderr, "cannot use %s\n", Narrow(fusionPath).c_str());
        return 1;
    }
    if (command == L"list" || command == L"order")
        return List(fusion, next < argc ? argv[next] : nullptr, command == L"list");
    if (command == L"install" && next < argc) return Install(fusion, argc - next, argv + next);
    if (command == L"uninstall" && next < argc)
        return Uninstall(fusion, argv[next], next + 1 < argc && std::wstring(argv[next + 1]) == L"--reference");
    if (command == L"lengths" && next < argc) return Lengths(fusion, argv[next]);
    return Usage();
}
