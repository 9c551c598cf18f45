// Compile-time proof that the declarations in fusion.h match the binary interface of the real
// fusion.dll, as mingw-w64's own <fusion.h> (generated from the platform's IDL) gives it. Built
// for Windows targets only; it emits no code.
//
// Why a compiler has to check this: on 32-bit x86 a method without the COM calling convention
// (stdcall) still compiles and links, and the caller then cleans the stack that fusion.dll has
// already cleaned. Where the tool is tested as a 64-bit build, every calling convention is the
// same one and such a slip passes every test. A 64-bit-wide argument in place of a 32-bit one
// shifts the stack the same way. GCC makes stdcall part of a function's and a member-function
// pointer's type on i686, so comparing types finds both; on x86_64 the conventions collapse
// and only the argument types are compared.
//
// The vtable order itself is not a type and cannot be compared here; a slot out of order
// calls the wrong method on every architecture, which the end-to-end tests see.

#include <cstddef>
#include <type_traits>

#include "gac/fusion.h"

// mingw's <fusion.h> declares the same names as ours, so it goes into a namespace of its own.
// What it includes (the COM and RPC headers) comes first at global scope; their include
// guards then keep them out of the namespace, so only the fusion declarations land in it and
// IUnknown, GUID and the Win32 types stay the global ones that ours use too.
#include <objbase.h>
#include <ole2.h>
#include <rpc.h>
#include <rpcndr.h>

// Its uuid declarations specialise global templates, which cannot be done inside a namespace
// and are not needed here.
#pragma push_macro("__CRT_UUID_DECL")
#undef __CRT_UUID_DECL
namespace mingw {
// Its "typedef interface X X;" would otherwise find our global X and alias it.
struct IAssemblyCache;
struct IAssemblyCacheItem;
struct IAssemblyName;
struct IAssemblyEnum;
struct IInstallReferenceItem;
struct IInstallReferenceEnum;
#include <fusion.h>  // NOLINT(bugprone-suspicious-include): mingw-w64's header, not ours
}  // namespace mingw
#pragma pop_macro("__CRT_UUID_DECL")

namespace {

// A type from mingw's declarations, spelled with ours: their fusion types become ours,
// pointers and const are kept, everything else (DWORD, REFIID, IUnknown) is shared already.
template <typename T>
struct Ours {
  using type = T;
};
template <typename T>
struct Ours<T*> {
  using type = typename Ours<T>::type*;
};
template <typename T>
struct Ours<const T> {
  using type = const typename Ours<T>::type;
};
template <>
struct Ours<mingw::IAssemblyName> {
  using type = ::IAssemblyName;
};
template <>
struct Ours<mingw::IAssemblyCache> {
  using type = ::IAssemblyCache;
};
template <>
struct Ours<mingw::IAssemblyEnum> {
  using type = ::IAssemblyEnum;
};
template <>
struct Ours<mingw::IAssemblyCacheItem> {
  using type = ::IAssemblyCacheItem;
};
template <>
struct Ours<mingw::IInstallReferenceEnum> {
  using type = ::IInstallReferenceEnum;
};
template <>
struct Ours<mingw::FUSION_INSTALL_REFERENCE> {
  using type = ::FUSION_INSTALL_REFERENCE;
};
template <>
struct Ours<mingw::ASSEMBLY_INFO> {
  using type = ::ASSEMBLY_INFO;
};

// Their method as a method of our interface `To`. Only the COM calling convention is matched:
// every method they declare has it, and the result keeps it, so on i686 it differs from a
// method of ours that lacks it. On x86_64 the pattern is the plain one.
template <typename Method, typename To>
struct AsMethodOf;
template <typename R, typename C, typename... A, typename To>
struct AsMethodOf<R (STDMETHODCALLTYPE C::*)(A...), To> {
  using type = R (STDMETHODCALLTYPE To::*)(typename Ours<A>::type...);
};
// IUnknown's QueryInterface is overloaded (a template beside it), so its address has no one
// type; mingw's proxy prototype declares it as a function taking the object first.
template <typename R, typename C, typename... A, typename To>
struct AsMethodOf<R(STDMETHODCALLTYPE*)(C*, A...), To> {
  using type = R (STDMETHODCALLTYPE To::*)(typename Ours<A>::type...);
};

// Their export's type with our fusion types; again only the Win32 calling convention matches.
template <typename Function>
struct AsExport;
template <typename R, typename... A>
struct AsExport<R(WINAPI*)(A...)> {
  using type = R(WINAPI*)(typename Ours<A>::type...);
};

template <typename Theirs, typename Ours>
constexpr bool same = std::is_same<typename Theirs::type, Ours>::value;

// &(X::f) would not be a pointer to member, so `theirs` and `iface` stay bare.
// NOLINTBEGIN(bugprone-macro-parentheses)
#define ZT4GAC_SAME_METHOD(theirs, iface, method)                                      \
  static_assert(same<AsMethodOf<decltype(&theirs), iface>, decltype(&iface::method)>, \
                #iface "::" #method ": calling convention or argument types differ from the platform's")
// NOLINTEND(bugprone-macro-parentheses)
#define ZT4GAC_SAME_IUNKNOWN(iface)                                         \
  ZT4GAC_SAME_METHOD(IUnknown_QueryInterface_Proxy, iface, QueryInterface); \
  ZT4GAC_SAME_METHOD(::IUnknown::AddRef, iface, AddRef);                    \
  ZT4GAC_SAME_METHOD(::IUnknown::Release, iface, Release)

// Every slot of each interface the tool calls through, in vtable order.
ZT4GAC_SAME_IUNKNOWN(IAssemblyName);
ZT4GAC_SAME_METHOD(mingw::IAssemblyName::SetProperty, IAssemblyName, SetProperty);
ZT4GAC_SAME_METHOD(mingw::IAssemblyName::GetProperty, IAssemblyName, GetProperty);
ZT4GAC_SAME_METHOD(mingw::IAssemblyName::Finalize, IAssemblyName, Finalize);
ZT4GAC_SAME_METHOD(mingw::IAssemblyName::GetDisplayName, IAssemblyName, GetDisplayName);
ZT4GAC_SAME_METHOD(mingw::IAssemblyName::Reserved, IAssemblyName, Reserved);
ZT4GAC_SAME_METHOD(mingw::IAssemblyName::GetName, IAssemblyName, GetName);
ZT4GAC_SAME_METHOD(mingw::IAssemblyName::GetVersion, IAssemblyName, GetVersion);
ZT4GAC_SAME_METHOD(mingw::IAssemblyName::IsEqual, IAssemblyName, IsEqual);
ZT4GAC_SAME_METHOD(mingw::IAssemblyName::Clone, IAssemblyName, Clone);

ZT4GAC_SAME_IUNKNOWN(IAssemblyCache);
ZT4GAC_SAME_METHOD(mingw::IAssemblyCache::UninstallAssembly, IAssemblyCache, UninstallAssembly);
ZT4GAC_SAME_METHOD(mingw::IAssemblyCache::QueryAssemblyInfo, IAssemblyCache, QueryAssemblyInfo);
ZT4GAC_SAME_METHOD(mingw::IAssemblyCache::CreateAssemblyCacheItem, IAssemblyCache, CreateAssemblyCacheItem);
ZT4GAC_SAME_METHOD(mingw::IAssemblyCache::CreateAssemblyScavenger, IAssemblyCache, CreateAssemblyScavenger);
ZT4GAC_SAME_METHOD(mingw::IAssemblyCache::InstallAssembly, IAssemblyCache, InstallAssembly);

ZT4GAC_SAME_IUNKNOWN(IAssemblyEnum);
ZT4GAC_SAME_METHOD(mingw::IAssemblyEnum::GetNextAssembly, IAssemblyEnum, GetNextAssembly);
ZT4GAC_SAME_METHOD(mingw::IAssemblyEnum::Reset, IAssemblyEnum, Reset);
ZT4GAC_SAME_METHOD(mingw::IAssemblyEnum::Clone, IAssemblyEnum, Clone);

// The four exports the tool resolves by name and calls through these pointer types.
static_assert(same<AsExport<decltype(&mingw::CreateAssemblyCache)>, CreateAssemblyCacheFunction>,
              "CreateAssemblyCache: calling convention or argument types differ from the platform's");
static_assert(same<AsExport<decltype(&mingw::CreateAssemblyNameObject)>, CreateAssemblyNameObjectFunction>,
              "CreateAssemblyNameObject: calling convention or argument types differ from the platform's");
static_assert(same<AsExport<decltype(&mingw::CreateAssemblyEnum)>, CreateAssemblyEnumFunction>,
              "CreateAssemblyEnum: calling convention or argument types differ from the platform's");
static_assert(same<AsExport<decltype(&mingw::CreateInstallReferenceEnum)>, CreateInstallReferenceEnumFunction>,
              "CreateInstallReferenceEnum: calling convention or argument types differ from the platform's");

// The one structure the tool hands to fusion.dll: its size (which cbSize states) and where
// fusion.dll reads each field.
using TheirReference = mingw::FUSION_INSTALL_REFERENCE;
#define ZT4GAC_SAME_FIELD(field)                                                                            \
  static_assert(offsetof(FUSION_INSTALL_REFERENCE, field) == offsetof(TheirReference, field) &&             \
                    std::is_same<decltype(FUSION_INSTALL_REFERENCE::field),                                 \
                                 Ours<decltype(TheirReference::field)>::type>::value,                       \
                "FUSION_INSTALL_REFERENCE::" #field ": offset or type differs from the platform's")
static_assert(sizeof(FUSION_INSTALL_REFERENCE) == sizeof(TheirReference),
              "FUSION_INSTALL_REFERENCE: size differs from the platform's");
static_assert(alignof(FUSION_INSTALL_REFERENCE) == alignof(TheirReference),
              "FUSION_INSTALL_REFERENCE: alignment differs from the platform's");
ZT4GAC_SAME_FIELD(cbSize);
ZT4GAC_SAME_FIELD(dwFlags);
ZT4GAC_SAME_FIELD(guidScheme);
ZT4GAC_SAME_FIELD(szIdentifier);
ZT4GAC_SAME_FIELD(szNonCannonicalData);

}  // namespace
