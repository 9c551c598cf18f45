// POSIX stand-in only: what tests can do to the stand-in registry beyond the Win32 calls:
// fill it directly, back it by a .reg file, inject faults and count open handles.
//
// Where the contents come from: at the first registry call of a process the stand-in reads
// the file named by ZT4GAC_REGISTRY (unset: an empty registry in memory only; a missing
// file: empty, created at the first change; a malformed or unreadable file: empty, and the
// file is never written). Every change is written back to the file at once, atomically.
// The functions below that read or change the registry perform that first load too, so a
// test that fills the registry is never overwritten by a later load.
#pragma once

#include <string>

#include "platform/types.h"

namespace platform::standin {

// An empty registry kept in memory only, no faults, no open handles (handles still held
// become unknown). ZT4GAC_REGISTRY is NOT read afterwards: a test that wants a file calls
// UseRegistryFile, so a developer's own ZT4GAC_REGISTRY can never be written by the tests.
void ResetRegistry();
// Like ResetRegistry, but the next registry call loads ZT4GAC_REGISTRY again as at start-up.
void ResetRegistryToEnvironment();

// Replaces the registry with the contents of `path` and writes every later change back to
// it. False when the file is malformed or unreadable: the registry is then empty and the
// file is never written. A missing file is not an error; it is created at the first change.
bool UseRegistryFile(const std::string& path);

void CreateRegistryKey(HKEY root, const std::string& keyPath);
// Creates the key and its parents as needed; `bytes` are stored as given.
void SetRegistryValue(HKEY root, const std::string& keyPath, const std::string& valueName, DWORD type,
                      const std::string& bytes);
// A REG_SZ value holding `text` and its terminator.
void SetRegistryString(HKEY root, const std::string& keyPath, const std::string& valueName,
                       const std::string& text);
bool RegistryKeyExists(HKEY root, const std::string& keyPath);
bool RegistryValueExists(HKEY root, const std::string& keyPath, const std::string& valueName);
// A REG_SZ or REG_EXPAND_SZ value's text up to its first NUL; false when absent or of another type.
bool ReadRegistryString(HKEY root, const std::string& keyPath, const std::string& valueName, std::string* text);
// The value's type and raw bytes; false when absent.
bool ReadRegistryValue(HKEY root, const std::string& keyPath, const std::string& valueName, DWORD* type,
                       std::string* bytes);

// Every open or create of that key (existing or not, through any handle) gives ERROR_ACCESS_DENIED,
// and so does deleting it.
void DenyRegistryAccess(HKEY root, const std::string& keyPath);
// RegEnumKeyExA and RegEnumValueA on that key at that index return `code` (before the
// index is checked against the number of items).
void FailRegistryEnumeration(HKEY root, const std::string& keyPath, DWORD index, LONG code);

// Handles opened or created and not yet closed (the predefined roots do not count).
int OpenRegistryHandleCount();

// The registry in the format changes are written back in (see FormatRegFile).
std::string ExportRegistry();

}  // namespace platform::standin
