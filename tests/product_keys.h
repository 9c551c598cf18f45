// The registry keys and assembly names the tests look for, written out independently of the
// tool's own constants so that a wrong constant in the tool fails a test.
#pragma once

#include <string>
#include <vector>

inline const std::string kCopiesKey = "SOFTWARE\\Ovk\\Zt4\\InstalledCopies";
inline const std::string kFoldersKey = "SOFTWARE\\Microsoft\\.NETFramework\\AssemblyFolders\\OVK.DATA.ZT4";
inline const std::vector<std::string> kAssemblies{"Ovk.Data.Zt4", "Ovk.Data.Quillmor", "Ovk.Data.Zt4.ASP",
                                                  "Ovk.Data.Zt4.Entity"};
