#!/usr/bin/env bash
# Fault seeding: the guard of the test suite's power. Each fault below is one small, plausible
# edit of src/ (outside the stand-in, src/platform/posix, which only the tests run on). The script
# applies each alone to a copy of the working tree (build/seed/tree, so the tree you work in is
# never touched), then runs, stopping at the first that fails:
#   1. the unit tests, built with AddressSanitizer and UndefinedBehaviorSanitizer, once;
#   2. a replay of the committed fuzz corpora (-runs=0: memory safety is the fuzzers' job);
#   3. the i686 build of zt4gac.exe (its compile-time check of the 32-bit contract);
#   4. the Wine end-to-end suite, for the faults still alive.
# It prints each fault as killed (and by what) or SURVIVED, and a total; it exits non-zero when
# a fault survived or did not apply. Faults that nothing here can observe are listed as "unseen"
# with the reason, and are not run.
#
#   scripts/seed-faults.sh [--no-wine] [TEXT]   only the faults whose line holds TEXT
#
# Run it before tests are cut, merged or loosened, and add a fault for every decision added to
# src/. Builds are incremental (build/seed/); a full run of about 130 faults takes 30-40 minutes
# on two cores, most of it compiling, the Wine suite a minute or two for each fault it sees.
set -uo pipefail

cd "$(dirname "${BASH_SOURCE[0]}")/.." || exit 2
source scripts/lib/packages.sh

# ---- the faults ------------------------------------------------------------------------------
# A line that does not start with "-", "+" or "?" names the file of the next fault. Then its text,
# "- " and a line of it, once or more (it must occur exactly once in the file); the replacement,
# "+ " and a line of it, once or more; and, for a fault that nothing here can observe, "? " and
# why. Such an unseen fault is listed, not run. The example package's faults (examples/) come
# last: only the Wine suite's package cases can see them.
FAULTS=$(cat <<'END'
src/cli/command_line.cpp
- if (argc < 2) return 0;
+ if (argc < 1) return 0;
src/cli/command_line.cpp
- std::strcmp(command, "-i") == 0
+ std::strncmp(command, "-i", 2) == 0
src/cli/command_line.cpp
- if (argc < 3) return 0;
+ if (argc < 2) return 0;
src/cli/command_line.cpp
- if (length > 0 && argv[2][length - 1] == '"') --length;
+ if (length > 0 && argv[2][length] == '"') --length;
src/cli/command_line.cpp
- length > MAX_PATH) return 0;
+ length >= MAX_PATH) return 0;
src/cli/command_line.cpp
- length > MAX_PATH) return 0;
+ length > MAX_PATH + 1) return 0;
src/cli/command_line.cpp
- kInstallTargetMask = 3;
+ kInstallTargetMask = 1;
src/cli/command_line.cpp
- kUse32BitTargets = 1;
+ kUse32BitTargets = 0;
src/cli/command_line.cpp
- kUninstallVersionList = "9";
+ kUninstallVersionList = "";
src/cli/command_line.cpp
- std::strcmp(command, "-u") == 0
+ std::strcmp(command, "-U") == 0
src/cli/command_line.cpp
- if (length == 0 || length > MAX_PATH)
+ if (length > MAX_PATH)
? Install refuses an empty directory itself (result 3) before it touches anything
src/cli/install_command.cpp
- copies.FindCopyByPath(installDir, &owner) == 0
+ copies.FindCopyByPath(installDir, &owner) != 0
src/cli/install_command.cpp
- (void)owner->GetName(copyName, sizeof copyName);
+ (void)owner->GetName(copyName, sizeof copyName + 1);
src/cli/install_command.cpp
- kCopyNameSize = 64;
+ kCopyNameSize = 65;
src/cli/install_command.cpp
- if (failedTargets != nullptr) *failedTargets = 0;
+ ;
src/cli/install_command.cpp
- installDir[0] == '\0') return 3;
+ installDir[0] == '\0') return 0;
src/cli/install_command.cpp
- if (HasFrameworks() == 0) return 0;
+ if (HasFrameworks() == 0) return 4;
src/cli/install_command.cpp
- if (cache.LoadFusion(nullptr) != 0) return 4;
+ if (cache.LoadFusion(nullptr) != 0) return 1;
src/cli/install_command.cpp
- use32BitTargets != 0 ? targetTable32 : targetTable
+ use32BitTargets == 0 ? targetTable32 : targetTable
src/cli/install_command.cpp
- index < kCatalogEntryCount;
+ index < kCatalogEntryCount - 1;
src/cli/install_command.cpp
- if (!IsSelectedByMask(entry, targetMask)) continue;
+ if (!IsSelectedByMask(entry, targetMask | 3)) continue;
src/cli/install_command.cpp
- if (IsVersionSupported(entry.runtimeVersion) == 0) continue;
+ ;
src/cli/install_command.cpp
- assembly == &entry.secondAssembly && cache.IsOlderVersionCached
+ assembly != &entry.entityAssembly && cache.IsOlderVersionCached
src/cli/install_command.cpp
- if (assembly == &entry.entityAssembly) failed |= entry.frameworkBit;
+ if (assembly != &entry.mainAssembly) failed |= entry.frameworkBit;
src/cli/install_command.cpp
- if (assembly == &entry.entityAssembly) failed |= entry.frameworkBit;
+ if (assembly == &entry.entityAssembly) failed |= 1;
src/cli/install_command.cpp
- if (cache.InstallAssemblyFile(path.c_str()) != 0) {
+ if (cache.InstallAssemblyFile(path.c_str()) == 1 && index == 0) {
src/cli/install_command.cpp
- failed |= entry.frameworkBit;
-       } else {
+ failed |= 3;
+       } else {
src/cli/install_command.cpp
- installedAny = true;
+ ;
src/cli/install_command.cpp
- if (installedAny && !copyName.empty()) {
+ if ((installedAny || index >= 0) && !copyName.empty()) {
src/cli/install_command.cpp
- if (installedAny && !copyName.empty()) {
+ if (installedAny) {
src/cli/install_command.cpp
- RecordProviderCopy(entry.copyValueName.c_str()
+ RecordProviderCopy(table[0].copyValueName.c_str()
src/cli/install_command.cpp
- if (failedTargets != nullptr) *failedTargets = failed;
+ ;
src/cli/install_command.cpp
- if (failed != 0) return 1;
+ if (failed == 3) return 1;
src/cli/install_command.cpp
- ClearAssemblyFolders();
-   return 0;
+ return 0;
src/cli/install_command.cpp
- if (installDir == nullptr) return copyName;
+ ;
? the entry point never passes a null directory, and the copy search refuses one itself
src/cli/install_command.cpp
- if (assembly->empty()) continue;
+ ;
? the catalogue names all four assemblies of both targets
src/cli/uninstall_command.cpp
- if (HasFrameworks() == 0) return 0;
+ if (HasFrameworks() == 0) return 4;
src/cli/uninstall_command.cpp
- if (cache.LoadFusion(nullptr) != 0) return 4;
+ if (cache.LoadFusion(nullptr) != 0) return 0;
src/cli/uninstall_command.cpp
- versionList != nullptr && versionList[0] != '\0'
+ versionList != nullptr
? an empty text copied gives the same empty working list
src/cli/uninstall_command.cpp
- remove(kMainAssembly);
+ remove(kAspAssembly);
src/cli/uninstall_command.cpp
- (void)RemoveRegistration("");
+ (void)RemoveRegistration("9");
src/cli/uninstall_command.cpp
- (void)RemoveRegistration("");
-     return anyFailed ? 1 : 0;
+ (void)RemoveRegistration("");
+     return 0;
src/cli/uninstall_command.cpp
- workingList.find(';')
+ workingList.find(',')
src/cli/uninstall_command.cpp
- workingList.erase(0, separator + 1);
+ workingList.erase(0, separator);
src/cli/uninstall_command.cpp
- if (item.empty()) continue;
+ ;
src/cli/uninstall_command.cpp
- cache.IsOlderVersionCached(kSecondAssembly) == 0
+ cache.IsOlderVersionCached(kMainAssembly) == 0
src/cli/uninstall_command.cpp
- remove(VersionedName(kEntityAssembly, item));
+ remove(VersionedName(kAspAssembly, item));
src/cli/uninstall_command.cpp
- (void)RemoveRegistration(item);
+ (void)RemoveRegistration(workingList);
src/cli/uninstall_command.cpp
- != 0) anyFailed = true;
+ == 2 && displayName.find("Entity") != std::string::npos) anyFailed = true;
src/cli/uninstall_command.cpp
- } while (!workingList.empty());
-
-   return anyFailed ? 1 : 0;
+ } while (!workingList.empty());
+
+   return 0;
src/cli/uninstall_command.cpp
- ",File Version="
+ ", Version="
? Wine's fusion.dll and the fake ignore the attribute: only Windows' fusion.dll reads the -u display names
src/cli/uninstall_command.cpp
- return std::string(assembly) + ",File Version=" + version;
+ return std::string(assembly);
? as above: without the attribute Wine removes the same entries
src/model/assembly_catalog.cpp
- {1, "netf20_32", "v2.0"
+ {1, "netf20", "v2.0"
src/model/assembly_catalog.cpp
- {2, "netf40_32", "v4.0"
+ {3, "netf40_32", "v4.0"
src/model/assembly_catalog.cpp
- {2, "netf40_32", "v4.0"
+ {2, "netf40_32", "v4.5"
src/model/assembly_catalog.cpp
- "10.1.6.DEF.4", "10.1.6.4"},
- };
-
- const CatalogEntry targetTable32
+ "10.1.6.DEF.4", "10.1.6.2"},
+ };
+
+ const CatalogEntry targetTable32
src/model/assembly_catalog.cpp
- "Ovk.Data.Zt4.Entity",
-      "10.1.6.DEF.4", "10.1.6.4"},
- };
-
- bool
+ "Ovk.Data.Zt4.Entity",
+      "10.1.6.DEF.2", "10.1.6.4"},
+ };
+
+ bool
src/model/assembly_catalog.cpp
- {2, "netf40_32", "v4.0", "Ovk.Data.Zt4", "Ovk.Data.Quillmor", "Ovk.Data.Zt4.ASP"
+ {2, "netf40_32", "v4.0", "Ovk.Data.Zt4", "Ovk.Data.Quillmor", "Ovk.Data.Zt4.Asp"
src/model/assembly_catalog.cpp
- return entry.providerVersion.compare(0, versionPrefix.size(), versionPrefix) == 0;
+ return entry.providerVersion.find(versionPrefix) != std::string::npos;
src/model/assembly_catalog.cpp
- (endsWithBackslash ? "bin\\" : "\\bin\\")
+ (endsWithBackslash ? "bin\\" : "bin\\")
src/model/assembly_catalog.cpp
- return (mask & bit) == bit;
+ return (mask & bit) != 0;
? each frameworkBit is a single bit, so both tests agree
src/model/assembly_catalog.cpp
- (endsWithBackslash ? "bin\\" : "\\bin\\")
+ "\\bin\\"
? both file systems take the doubled separator after a trailing backslash
src/model/framework_inventory.cpp
- if (length == 0 || length >= kWindowsDirectoryBufferSize) return;
+ if (length >= kWindowsDirectoryBufferSize) return;
src/model/framework_inventory.cpp
- if (subkeyName[0] != 'v' && subkeyName[0] != 'V') continue;
+ if (subkeyName[0] != 'v') continue;
src/model/framework_inventory.cpp
- if (subkeyName[0] != 'v' && subkeyName[0] != 'V') continue;
+ ;
src/model/framework_inventory.cpp
- platform::AsciiLowercase(subkeyName);
+ ;
src/model/framework_inventory.cpp
- return;  // keeps the records made so far
+ continue;
src/model/framework_inventory.cpp
- kSubkeyNameBufferSize = 256;
+ kSubkeyNameBufferSize = 255;
src/model/framework_inventory.cpp
- kValueNameBufferSize = 100;
+ kValueNameBufferSize = 99;
src/model/framework_inventory.cpp
- versionKey + "." + valueName
+ versionKey + valueName
src/model/framework_inventory.cpp
- foundValue = true;
+ foundValue = true; break;
src/model/framework_inventory.cpp
- if (foundValue) records[versionKey] = candidate;
+ if (foundValue || candidate.version.empty()) records[versionKey] = candidate;
src/model/framework_inventory.cpp
- records.rbegin()->first
+ records.begin()->first
src/model/framework_inventory.cpp
- GetLatestVersion().c_str()) > 0 ? 0 : 1;
+ GetLatestVersion().c_str()) >= 0 ? 0 : 1;
src/model/framework_inventory.cpp
- return records.count(versionKey) != 0 ? 1 : 0;
+ return records.count(versionKey) != 0 || !records.empty() ? 1 : 0;
src/model/framework_inventory.cpp
- if (record == records.end()) return {};
+ ;
src/model/framework_inventory.cpp
- return frameworkRoot + "\\" + record->second.directoryName;
+ return frameworkRoot + record->second.directoryName;
src/model/framework_inventory.cpp
- KEY_READ, versionSubkey.put()
+ KEY_ALL_ACCESS, versionSubkey.put()
src/model/framework_inventory.cpp
- length >= kWindowsDirectoryBufferSize
+ length > kWindowsDirectoryBufferSize
? no Windows directory comes near 1024 characters
src/gac/assembly_cache_client.cpp
- if (!HasFrameworks()) return 3;
+ if (!HasFrameworks()) return 4;
src/gac/assembly_cache_client.cpp
- platform::AsciiLowercase(versionKey);
+ ;
src/gac/assembly_cache_client.cpp
- if (!HasVersion(versionKey)) return 4;
+ if (!HasVersion(versionKey)) return 6;
src/gac/assembly_cache_client.cpp
- directory + "\\fusion.dll"
+ directory + "fusion.dll"
src/gac/assembly_cache_client.cpp
- if (!platform::FileExists(path.c_str())) return 8;
+ ;
src/gac/assembly_cache_client.cpp
- if (!fusionModule) return 7;
+ if (!fusionModule) return 8;
src/gac/assembly_cache_client.cpp
- "CreateAssemblyEnum");
+ "CreateAssemblyEnumW");
src/gac/assembly_cache_client.cpp
- if (createAssemblyEnum == nullptr) return 11;
+ if (createAssemblyEnum == nullptr) return 10;
src/gac/assembly_cache_client.cpp
- if (createInstallReferenceEnum == nullptr) return 12;
+ ;
src/gac/assembly_cache_client.cpp
- if (directory.empty()) return 6;
+ ;
? a recorded framework's directory is never empty
src/gac/cache_operations.cpp
- ASM_DISPLAYF_PUBLIC_KEY_TOKEN | ASM_DISPLAYF_CUSTOM;
+ ASM_DISPLAYF_PUBLIC_KEY_TOKEN;
src/gac/cache_operations.cpp
- kMaxDisplayNameLength = 32767;
+ kMaxDisplayNameLength = 32766;
src/gac/cache_operations.cpp
- kCurrentVersionHigh = 9u << 16;
+ kCurrentVersionHigh = 8u << 16;
src/gac/cache_operations.cpp
- kCurrentVersionLow = 2;
+ kCurrentVersionLow = 1;
src/gac/cache_operations.cpp
- if (high < kCurrentVersionHigh ||
+ if (high <= kCurrentVersionHigh ||
src/gac/cache_operations.cpp
- (high == kCurrentVersionHigh && low < kCurrentVersionLow)
+ (high >> 16 == 9 && (low & 0xFFFF) < kCurrentVersionLow)
src/gac/cache_operations.cpp
- (high == kCurrentVersionHigh && low < kCurrentVersionLow)
+ (high == kCurrentVersionHigh && low <= kCurrentVersionLow)
src/gac/cache_operations.cpp
- units_.assign(length + 1, 0);
+ units_.assign(length, 0);
src/gac/cache_operations.cpp
- platform::MultiByteToWideChar(CP_ACP,
+ platform::MultiByteToWideChar(65001,
src/gac/cache_operations.cpp
- disposition == IASSEMBLYCACHE_UNINSTALL_DISPOSITION_STILL_IN_USE ?
+ disposition != IASSEMBLYCACHE_UNINSTALL_DISPOSITION_UNINSTALLED ?
src/gac/cache_operations.cpp
- return InstallAssemblyFileEx(path, nullptr, IASSEMBLYCACHE_INSTALL_FLAG_REFRESH);
+ return InstallAssemblyFileEx(path, nullptr, 0);
src/gac/cache_operations.cpp
- return InstallAssemblyFileEx(path, nullptr, IASSEMBLYCACHE_INSTALL_FLAG_REFRESH);
+ return InstallAssemblyFileEx(path, nullptr, 2);
src/gac/cache_operations.cpp
- if (FAILED(createAssemblyCache(cache.put(), 0)) || !cache) return kInstallFailed;
+ if (FAILED(createAssemblyCache(cache.put(), 0))) return kInstallFailed;
src/gac/cache_operations.cpp
- return FAILED(cache->InstallAssembly(flags, path, reference)) ? kInstallFailed : 0;
+ return cache->InstallAssembly(flags, path, reference) != S_OK ? kInstallFailed : 0;
src/gac/cache_operations.cpp
- if (FAILED(createAssemblyCache(probe.put(), 0))) return kUninstallFailed;
+ if (FAILED(createAssemblyCache(probe.put(), 0))) return 0;
src/gac/cache_operations.cpp
- displayName, CANOF_PARSE_DISPLAY_NAME, nullptr) != S_OK || !pattern) {
+ displayName, CANOF_PARSE_DISPLAY_NAME, nullptr) != S_OK) {
src/gac/cache_operations.cpp
- createAssemblyNameObject(pattern.put(), displayName, CANOF_PARSE_DISPLAY_NAME
+ createAssemblyNameObject(pattern.put(), displayName, 0
src/gac/cache_operations.cpp
- ASM_CACHE_GAC, nullptr) != S_OK || !entries) {
-       return 0;
-     }
-   }
-
-   // One failed
+ ASM_CACHE_GAC, nullptr) != S_OK || !entries) {
+       return kUninstallFailed;
+     }
+   }
+
+   // One failed
src/gac/cache_operations.cpp
- nothing is left to remove.
-     if (createAssemblyEnum(entries.put(), nullptr, pattern.get(), ASM_CACHE_GAC
+ nothing is left to remove.
+     if (createAssemblyEnum(entries.put(), nullptr, pattern.get(), 1
src/gac/cache_operations.cpp
- if (FAILED(next)) result = kUninstallFailed;
+ ;
src/gac/cache_operations.cpp
- if (FAILED(read)) result = kUninstallFailed;
+ ;
src/gac/cache_operations.cpp
- if (read != S_OK) break;
+ if (FAILED(read)) break;
src/gac/cache_operations.cpp
- DWORD room = length;
+ DWORD room = length - 1;
src/gac/cache_operations.cpp
- if (FAILED(createAssemblyCache(cache.put(), 0)) || !cache) return kUninstallFailed;
+ if (FAILED(createAssemblyCache(cache.put(), 0))) return kUninstallFailed;
src/gac/cache_operations.cpp
- if (FAILED(cache->UninstallAssembly(0, displayName
+ if (FAILED(cache->UninstallAssembly(1, displayName
src/gac/cache_operations.cpp
- if (FAILED(createAssemblyCache(probe.put(), 0))) return 0;
+ if (FAILED(createAssemblyCache(probe.put(), 0))) return 1;
src/gac/cache_operations.cpp
- wideName.get(), CANOF_PARSE_DISPLAY_NAME, nullptr) != S_OK ||
-         !pattern) {
+ wideName.get(), CANOF_PARSE_DISPLAY_NAME, nullptr) != S_OK) {
src/gac/cache_operations.cpp
- if (entries->GetNextAssembly(nullptr, entry.put(), 0) != S_OK || !entry) return 0;
+ if (entries->GetNextAssembly(nullptr, entry.put(), 0) != S_OK) return 0;
src/gac/cache_operations.cpp
- if (nameLength == 0 || FAILED(entry->GetVersion(&high, &low))) continue;
+ if (FAILED(entry->GetVersion(&high, &low))) continue;
src/gac/cache_operations.cpp
- if (nameLength == 0 || FAILED(entry->GetVersion(&high, &low))) continue;
+ if (nameLength == 0 || (entry->GetVersion(&high, &low), false)) continue;
src/gac/cache_operations.cpp
- if (nameLength == 0 || FAILED(entry->GetVersion(&high, &low))) continue;
+ if (nameLength == 0 || FAILED(entry->GetVersion(&high, &low))) return 0;
src/gac/cache_operations.cpp
- ULONG disposition = 0;
+ ULONG disposition = 2;
? fusion.dll always sets the disposition it is handed
src/gac/cache_operations.cpp
- if (!wideName.converted()) return 0;
+ if (!wideName.converted()) return 1;
? the one name asked about is ASCII and always converts
src/gac/cache_operations.cpp
- reference.cbSize = sizeof(FUSION_INSTALL_REFERENCE);
+ reference.cbSize = 0;
? no command installs with a reference
src/gac/cache_operations.cpp
- UninstallOne(name.data(), reference)
+ UninstallOne(name.data(), nullptr)
? the commands pass no install reference
src/CMakeLists.txt
- -Wl,--no-insert-timestamp
+ -Wl,--insert-timestamp
? the test command's windows-x86 step builds twice and compares the bytes; this script builds once
src/gac/com_ptr.h
- static void Close(Interface* object) { (void)object->Release(); }
+ static void Close(Interface*) {}
src/gac/fusion.h
- virtual HRESULT STDMETHODCALLTYPE InstallAssembly(DWORD flags
+ virtual HRESULT InstallAssembly(DWORD flags
src/gac/fusion.h
- using CreateAssemblyCacheFunction = HRESULT(WINAPI*)(
+ using CreateAssemblyCacheFunction = HRESULT(*)(
src/platform/unique_handle.h
- ~UniqueHandle() { reset(); }
+ ~UniqueHandle() {}
src/platform/text.cpp
- (c >= 'A' && c <= 'Z')
+ (c >= 'A' && c < 'Z')
src/platform/text.cpp
- if (difference != 0 || *l == 0) return difference;
+ if (difference != 0) return difference;
src/platform/win32/files.cpp
- && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
+ || false;
src/platform/win32/text.cpp
- return ::MultiByteToWideChar(codePage,
+ return ::MultiByteToWideChar(CP_UTF8 + 0 * codePage,
src/platform/win32/registry.cpp
- return ::RegDeleteValueA(key, valueName);
+ return ::RegDeleteValueA(key, valueName[0] != '\0' ? valueName + 1 : valueName);
src/platform/win32/registry.cpp
- return ::RegOpenKeyExA(root, subKey, options, access, result);
+ return ::RegOpenKeyExA(root, subKey, options, KEY_ALL_ACCESS, result);
? Wine grants every right; the host's read-only mode sees the callers' masks, not this layer
src/platform/win32/modules.cpp
- return ::FreeLibrary(module);
+ return TRUE;
? the process ends right after the module would be freed
src/registry/assembly_folders.cpp
- KEY_ALL_ACCESS, nullptr, installedCopies.put()
+ KEY_QUERY_VALUE, nullptr, installedCopies.put()
src/registry/assembly_folders.cpp
- static_cast<DWORD>(std::strlen(copyName) + 1)
+ static_cast<DWORD>(std::strlen(copyName))
src/registry/assembly_folders.cpp
- copyValueName, 0, REG_SZ,
+ copyValueName, 0, REG_EXPAND_SZ,
src/registry/assembly_folders.cpp
- (void)platform::RegDeleteKeyA(HKEY_LOCAL_MACHINE, kAssemblyFoldersKeyPath);
+ ;
src/registry/assembly_folders.cpp
- kInstalledCopiesKey, 0, KEY_SET_VALUE,
+ kInstalledCopiesKey, 0, KEY_QUERY_VALUE,
src/registry/assembly_folders.cpp
- if (MatchesProviderVersion(entry, versionPrefix)) {
+ if (!versionPrefix.empty()) {
src/registry/assembly_folders.cpp
- if (result == ERROR_SUCCESS) result = platform::RegDeleteValueA
+ if (result == ERROR_SUCCESS) (void)platform::RegDeleteValueA
? the uninstall command, its one caller, does not look at the registration's result
src/registry/assembly_folders.cpp
- kAssemblyFoldersValueName = "Ovk.Data.Zt4";
+ kAssemblyFoldersValueName = "OVK.DATA.ZT4X";
src/registry/assembly_folders.cpp
- AssemblyFolders\\OVK.DATA.ZT4";
+ AssemblyFolders\\OVK.DATA.ZT5";
src/registry/assembly_folders.cpp
- for (const CatalogEntry& entry : targetTable) {
+ for (const CatalogEntry& entry : targetTable32) {
? the two tables' value names and provider versions are the same
src/registry/assembly_folders.cpp
- kAssemblyFoldersKeyPath, 0, KEY_QUERY_VALUE,
+ kAssemblyFoldersKeyPath, 0, KEY_SET_VALUE,
? a caller with the rights to delete the key may open it either way; one without may delete nothing
src/copies/install_copy.cpp
- BoundedLength(copyName, kMaxNameLength)
+ BoundedLength(copyName, kMaxNameLength + 1)
src/copies/install_copy.cpp
- if (platform::_stricmp(name, kVersion8CopyName) == 0) {
+ if (std::strcmp(name, kVersion8CopyName) == 0) {
src/copies/install_copy.cpp
- std::snprintf(keyPath, sizeof keyPath, "%s", kProductKey);
+ std::snprintf(keyPath, sizeof keyPath, "%s\\%s", kProductKey, name);
src/copies/install_copy.cpp
- KEY_QUERY_VALUE | use32BitView | use64BitView,
-                               key.put()) != ERROR_SUCCESS) {
+ KEY_ALL_ACCESS | use32BitView | use64BitView,
+                               key.put()) != ERROR_SUCCESS) {
src/copies/install_copy.cpp
- if (read != ERROR_SUCCESS || length >= sizeof path) {
+ if (read != ERROR_SUCCESS || length > sizeof path) {
src/copies/install_copy.cpp
- if (length > 0 && path[length - 1] == '\\') path[length - 1] = '\0';
+ ;
src/copies/install_copy.cpp
- if (length + 1 > size) return E_COPY_BUFFER_TOO_SMALL;
+ if (length > size) return E_COPY_BUFFER_TOO_SMALL;
src/copies/install_copy.cpp
- if (length == 0) return E_COPY_SYSTEM_CALL;
+ if (length == 0) return 0;
? the search's buffer then still holds the short path of the copy before, which did not match
src/copies/install_copy.cpp
- ReadPerUser();
-   }
+ }
? the components the per-user marker steers are read by no command
src/copies/install_copy.cpp
- if (length >= size) return E_COPY_BUFFER_TOO_SMALL;
+ ;
? a short path is never longer than the long one, which fits
src/copies/install_copy_list.cpp
- std::atoi(version) == 8
+ std::atoi(version) >= 8
src/copies/install_copy_list.cpp
- KEY_QUERY_VALUE | view, key.put()) !=
+ KEY_ALL_ACCESS | view, key.put()) !=
src/copies/install_copy_list.cpp
- loadFailed = 1;
-     return false;
+ loadFailed = 1;
+     return true;
src/copies/install_copy_list.cpp
- KEY_QUERY_VALUE | KEY_ENUMERATE_SUB_KEYS | use32BitView
+ KEY_ALL_ACCESS | use32BitView
src/copies/install_copy_list.cpp
- if (result == ERROR_NO_MORE_ITEMS) return;
+ ;
src/copies/install_copy_list.cpp
- platform::OutputDebugStringA("Invalid Installation Name");
+ ;
src/copies/install_copy_list.cpp
- if (length > MAX_PATH) return E_COPY_NOT_FOUND;
+ if (length >= MAX_PATH) return E_COPY_NOT_FOUND;
src/copies/install_copy_list.cpp
- if (length > 0 && trimmed[length - 1] == '\\') trimmed[length - 1] = '\0';
+ ;
src/copies/install_copy_list.cpp
- if (copy->GetShortPath(shortCopyPath, sizeof shortCopyPath) != 0) continue;
+ (void)copy->GetShortPath(shortCopyPath, sizeof shortCopyPath);
? as above: a copy whose path cannot be converted compares the short path of the one before
src/copies/install_copy_list.cpp
- if (platform::_stricmp(shortDirectory, shortCopyPath) == 0) {
+ if (std::strcmp(shortDirectory, shortCopyPath) == 0) {
src/copies/install_copy_list.cpp
- if (converted == 0 || converted >= sizeof shortDirectory)
+ if (converted == 0)
? a short path is never longer than the long one, which fits
src/copies/install_copy_list.cpp
- if (result != ERROR_SUCCESS || nameLength >= sizeof subkeyName) {
+ if (result != ERROR_SUCCESS) {
? a name that does not fit is never reported as a success
src/copies/ilist.h
- ~SavedCursor() { list.cursor = list.savedCursor; }
+ ~SavedCursor() {}
src/copies/ilist.h
- OwnedPointer release(node->data);
+ (void)node->data;
examples/installer/zt4gac-example.wxs
- <RemoveExistingProducts Sequence="1501"/>
+ <RemoveExistingProducts Sequence="6601"/>
examples/installer/zt4gac-example.wxs
- <MajorUpgrade DowngradeErrorMessage="A newer version of this product is already installed."/>
+ <!-- -->
examples/installer/zt4gac-example.wxs
- <Custom Action="GacRemove" Sequence="3499">
+ <Custom Action="GacRemove" Sequence="1">
examples/installer/zt4gac-example.wxs
- <Custom Action="GacInstall" Sequence="5010">NOT REMOVE
+ <Custom Action="GacInstall" Sequence="4999">NOT REMOVE
examples/installer/zt4gac-example.wxs
- <Custom Action="GacInstall" Sequence="5010">NOT REMOVE
+ <Custom Action="GacInstall" Sequence="5010">NOT Installed
examples/installer/zt4gac-example.wxs
- FileKey="zt4gac.exe" ExeCommand="-i &quot;[INSTALLDIR]&quot;"
+ FileKey="zt4gac.exe" ExeCommand="-i [INSTALLDIR]"
examples/installer/zt4gac-example.wxs
- ExeCommand="-u"
-                   Execute="deferred" Impersonate="no"
+ ExeCommand="-u"
+                   Execute="deferred" Impersonate="yes"
examples/installer/zt4gac-example.wxs
- Key="SOFTWARE\Ovk\Zt4\InstalledCopies\Zt4Home1"
+ Key="SOFTWARE\Ovk\Zt4\InstalledCopies\Zt4Home2"
examples/installer/build-package.sh
- ('GacInstallRollback', 3394,
+ ('GacInstallRollback', 3330,
examples/installer/build-package.sh
- ('GacRemoveRollback', 3394,
+ ('GacRemoveRollback', 3138,
examples/installer/build-package.sh
- ('GacInstallRollback', 'NOT REMOVE', 5009)
+ ('GacInstallRollback', 'NOT REMOVE', 5011)
examples/installer/build-package.sh
- ('GacInstallRollback', 3394, 'ToolBin', '-u')
+ ('GacInstallRollback', 3394, 'ToolBin', '-i')
examples/installer/build-package.sh
- -D Version="$version"
+ -D Version=1.0.0
src/copies/ilist.h
- head = node;
-       cursor = node;
+ head = node;
? the copy search saves and clears the cursor; no command iterates the list
END
)

# ---- running them ----------------------------------------------------------------------------
wine=1 only=
for argument; do
  case $argument in
    --no-wine) wine=0 ;;
    *) only=$argument ;;
  esac
done

readonly SEED=build/seed TREE=build/seed/tree BUILD=build/seed/asan
readonly LOG=build/seed/log
apt_install_missing clang libclang-rt-14-dev cmake ninja-build googletest libgtest-dev g++-mingw-w64-i686 >/dev/null
mkdir -p "$SEED" "$LOG"

# The tree as it is now, tracked files only; a file whose bytes did not change keeps its old
# time, so the builds below stay incremental from one run to the next.
sync_tree() {
  local file
  mkdir -p "$TREE"
  while IFS= read -r -d '' file; do
    [[ -f $file ]] || continue
    if ! cmp -s "$file" "$TREE/$file"; then
      mkdir -p "$(dirname "$TREE/$file")"
      cp -p "$file" "$TREE/$file"
    fi
  done < <(git ls-files -z)
}

# One clang build of the unit tests and the fuzz targets, both sanitized.
configure() {
  local flags="-fsanitize=fuzzer-no-link,address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer"
  cmake -S "$TREE" -B "$BUILD" -G Ninja -DCMAKE_BUILD_TYPE=Debug -DCMAKE_C_COMPILER=clang \
    -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_C_FLAGS="$flags" -DCMAKE_CXX_FLAGS="$flags" -DZT4GAC_BUILD_TESTS=ON \
    -DZT4GAC_BUILD_FUZZ=ON >"$LOG/configure.log" 2>&1 &&
    cmake -S "$TREE" -B "$TREE/build/windows-x86" -G Ninja -DCMAKE_BUILD_TYPE=Release \
      -DCMAKE_TOOLCHAIN_FILE="$PWD/$TREE/cmake/mingw-i686.cmake" >>"$LOG/configure.log" 2>&1
}

export ASAN_OPTIONS=detect_leaks=1:halt_on_error=1 UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1

# The phases on the host: prints what killed the fault, BROKEN, or nothing when it lived.
host_phases() {
  # A fault that does not compile is no plausible fault: its text needs mending.
  if ! ninja -C "$BUILD" zt4gac_tests command_line_fuzz >"$LOG/build.log" 2>&1; then
    echo "BROKEN"
    return
  fi
  if ! timeout 60 "$BUILD/tests/zt4gac_tests" --gtest_brief=1 >"$LOG/unit.log" 2>&1; then
    echo "unit tests"
    return
  fi
  if ! timeout 120 "$BUILD/fuzz/command_line_fuzz" -runs=0 -artifact_prefix="$LOG/" \
    "$TREE/fuzz/corpus/command_line_fuzz" >"$LOG/fuzz.log" 2>&1; then
    echo "fuzz corpus"
    return
  fi
  # Only the compile-time check of the 32-bit contract may fail it; anything else is a broken fault.
  if ! ninja -C "$TREE/build/windows-x86" zt4gac >"$LOG/i686.log" 2>&1; then
    grep -q "static assertion failed" "$LOG/i686.log" && echo "i686 check" || echo BROKEN
  fi
}

# apply FILE TEXT REPLACEMENT: the edit, in the tree's copy; fails unless TEXT occurs exactly once.
apply() {
  local path=$TREE/$1 content
  content=$(<"$path") && content+=$'\n'
  local rest=${content#*"$2"}
  [[ $rest != "$content" && $rest != *"$2"* ]] || return 1
  printf '%s' "${content/"$2"/"$3"}" >"$path"
}
# The file as it was before the fault, with a new time, so that the next build compiles it again.
save() { cp "$TREE/$1" "$SEED/saved"; }
restore() { cp "$SEED/saved" "$TREE/$1"; }

# describe FILE TEXT REPLACEMENT: the fault in one line, its first line that the edit changes.
describe() {
  local -a before after
  local line=0
  mapfile -t before <<<"$2"
  mapfile -t after <<<"$3"
  while ((line + 1 < ${#before[@]})) && [[ ${before[line]} == "${after[line]:-}" ]]; do line=$((line + 1)); done
  local from=${before[line]} to=${after[line]:-}
  printf '%s: %s -> %s\n' "$1" "${from#"${from%%[! ]*}"}" "${to#"${to%%[! ]*}"}"
}

# The fault list as four arrays, one entry per fault; texts keep their line breaks.
files=() texts=() replacements=() reasons=()
while IFS= read -r line; do
  case $line in
    -|"- "*) texts[-1]+=$'\n'${line:2} ;;
    +|"+ "*) replacements[-1]+=$'\n'${line:2} ;;
    "? "*) reasons[-1]=${line:2} ;;
    ?*) files+=("$line") texts+=("") replacements+=("") reasons+=("") ;;
  esac
done <<<"$FAULTS"

sync_tree
configure || { cat "$LOG/configure.log"; exit 1; }
# The clean tree must pass every phase, or no fault can be told apart.
clean=$(host_phases)
if [[ -n $clean ]]; then
  echo "the unchanged tree fails: $clean (logs in $LOG)" >&2
  exit 1
fi

killed=0 survived=0 broken=0 unseen=0 total=0
survivors=()
for index in "${!files[@]}"; do
  file=${files[$index]} text=${texts[$index]#$'\n'} replacement=${replacements[$index]#$'\n'}
  label=$(describe "$file" "$text" "$replacement")
  [[ -z $only || "$file $text $replacement" == *"$only"* ]] || continue
  if [[ -n ${reasons[$index]} ]]; then
    unseen=$((unseen + 1))
    printf '%-9s %-12s %s\n          (%s)\n' unseen "" "$label" "${reasons[$index]}"
    continue
  fi
  total=$((total + 1))
  save "$file"
  if ! apply "$file" "$text" "$replacement"; then
    broken=$((broken + 1))
    printf '%-9s %-12s %s\n' BROKEN "no such text" "$label"
    continue
  fi
  by=$(host_phases)
  restore "$file"
  if [[ $by == BROKEN ]]; then
    broken=$((broken + 1))
    printf '%-9s %-12s %s\n' BROKEN "no build" "$label"
  elif [[ -n $by ]]; then
    killed=$((killed + 1))
    printf '%-9s %-12s %s\n' killed "$by" "$label"
  else
    survivors+=("$file"$'\x1f'"$text"$'\x1f'"$replacement"$'\x1f'"$label")
  fi
done

for survivor in "${survivors[@]}"; do
  IFS=$'\x1f' read -r -d '' file text replacement label <<<"$survivor"$'\x1f'
  if ((wine)); then
    save "$file"
    apply "$file" "$text" "$replacement"
    # The example package's faults need only the package's cases.
    filter= && [[ $file == examples/* ]] && filter=package
    timeout 900 bash "$TREE/tests/wine/run.sh" $filter >"$LOG/wine.log" 2>&1
    status=$?
    restore "$file"
    if ((status != 0)); then
      killed=$((killed + 1))
      printf '%-9s %-12s %s\n' killed "wine suite" "$label"
      continue
    fi
  fi
  survived=$((survived + 1))
  printf '%-9s %-12s %s\n' SURVIVED "" "$label"
done
# What the host phases left built from a fault is built again, clean, by the next run.
ninja -C "$BUILD" zt4gac_tests >/dev/null 2>&1

echo "faults: $total run, $killed killed, $survived survived, $broken did not apply; $unseen listed as unseen"
((survived == 0 && broken == 0))
