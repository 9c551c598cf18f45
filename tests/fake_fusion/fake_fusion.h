// The fake fusion.dll's controls: C functions that the module exports beside the four fusion
// entry points. The test programs link the module and call these; the tool loads the same
// module with LoadLibraryExA (through a link named fusion.dll), so both work on one state.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/types.h"

extern "C" {

// Forgets every cached assembly, script and fuzz input; the misuse count starts again at 0.
void FakeFusionReset();

// Caches the assembly `name` from a file holding `file`, its version "a.b.c.d" and optionally
// "+BUILD", the file's build, which an installation with the refresh flag must not lower: a file is
// installed as what it holds. Entries are enumerated in the order they were cached. An empty name
// makes an entry whose simple name is empty.
void FakeFusionAddEntry(const char* name, const char* file);

// The cache, one "name file\n" line per entry in enumeration order. Valid until the next call.
const char* FakeFusionListing();

// The `nth` call of `method` from now on (1: the next one; 0: every one) whose subject holds `match`
// returns `result` instead of doing its work when `result` is a failure, or does its work and
// then returns `result` when it is a success code. The subject is what the call names: the file
// path (InstallAssembly), the display name given (UninstallAssembly, CreateAssemblyNameObject),
// the name object's (CreateAssemblyEnum), the entry's own display name (GetNextAssembly, the one
// it would hand out; GetDisplayName, GetName, GetVersion); CreateAssemblyCache names nothing.
// `value` replaces what the call reports: whether an object is handed out (CreateAssemblyCache,
// CreateAssemblyNameObject, CreateAssemblyEnum, GetNextAssembly: 0 none, else one), the length
// (GetDisplayName, GetName) or the disposition (UninstallAssembly), which also decides whether the
// entry goes (only 1 and 3 say it is gone); InstallAssembly and GetVersion ignore it.
void FakeFusionScript(const char* method, const char* match, int nth, HRESULT result, DWORD value);

// Fuzzing: from now on every call takes its outcome (result, reported value, object or not)
// from these bytes, until they run out; then calls behave normally again. Not copied: the
// bytes must outlive their use.
void FakeFusionUseBytes(const uint8_t* data, size_t size);

// Scripted outcomes that have not fired yet (one for every call counts once it has fired).
int FakeFusionPendingScripts();

// Interface objects handed out and not yet released.
int FakeFusionLiveObjects();

// Calls made in a shape the documented interfaces do not allow (wrong flags, a reserved
// argument that is not null, a null out-pointer, a null buffer with a stated length).
// Each such call returns E_INVALIDARG.
int FakeFusionMisuse();
}
