// POSIX stand-in only: the text format regedit exports and imports, read into and written
// from the in-memory registry. Pure functions over bytes, so tests and fuzzers need no disk.
#pragma once

#include <string>

#include "platform/posix/registry_tree.h"

namespace platform::standin {

// Applies a .reg file ("Windows Registry Editor Version 5.00" in UTF-16LE with BOM or in
// UTF-8 with or without BOM, or "REGEDIT4") to `tree`. False on anything malformed; the
// tree is then half-applied and the caller must discard it.
bool ParseRegFile(const std::string& bytes, RegistryTree& tree);

// The whole tree as a "Windows Registry Editor Version 5.00" file in UTF-8 without BOM.
// Every key gets its own section, so keys without values survive; ParseRegFile reads the
// result back to the same tree.
std::string FormatRegFile(const RegistryTree& tree);

// Writes `content` to a temporary file beside `path`, flushes it to disk and renames it
// over `path`, so the file holds either its old or its new content at every moment.
bool WriteFileAtomically(const std::string& path, const std::string& content);

}  // namespace platform::standin
