#include "model/framework_inventory.h"

#include <cstring>

#include "platform/files.h"
#include "platform/registry.h"
#include "platform/text.h"

namespace {

constexpr const char* kPolicyKeyPath = "SOFTWARE\\Microsoft\\.NETFramework\\policy";

// Sizes the detection has always used; a name that does not fit ends its enumeration.
constexpr UINT kWindowsDirectoryBufferSize = 1024;
constexpr DWORD kSubkeyNameBufferSize = 256;
constexpr DWORD kValueNameBufferSize = 100;

}  // namespace

FrameworkInventory::FrameworkInventory() {
  char windowsDirectory[kWindowsDirectoryBufferSize] = {};
  const UINT length = platform::GetWindowsDirectoryA(windowsDirectory, kWindowsDirectoryBufferSize);
  // A result as large as the buffer is the size it would need: the buffer holds no directory,
  // and a root without it would point fusion.dll's load at the current drive's root.
  if (length == 0 || length >= kWindowsDirectoryBufferSize) return;
  frameworkRoot = std::string(windowsDirectory) + "\\Microsoft.NET\\Framework";
  DetectFrameworks();
}

void FrameworkInventory::DetectFrameworks() {
  records.clear();

  platform::UniqueRegKey policyKey;
  if (platform::RegOpenKeyExA(HKEY_LOCAL_MACHINE, kPolicyKeyPath, 0, KEY_READ, policyKey.put()) != ERROR_SUCCESS) {
    return;
  }

  for (DWORD subkeyIndex = 0;; ++subkeyIndex) {
    char subkeyName[kSubkeyNameBufferSize];
    DWORD subkeyNameLength = kSubkeyNameBufferSize;
    if (platform::RegEnumKeyExA(policyKey.get(), subkeyIndex, subkeyName, &subkeyNameLength, nullptr, nullptr,
                                nullptr, nullptr) != ERROR_SUCCESS) {
      return;  // the end of the list and a name too long for the buffer end it alike
    }
    if (subkeyName[0] != 'v' && subkeyName[0] != 'V') continue;

    platform::AsciiLowercase(subkeyName);
    const std::string versionKey = subkeyName;

    platform::UniqueRegKey versionSubkey;
    if (platform::RegOpenKeyExA(HKEY_LOCAL_MACHINE, (std::string(kPolicyKeyPath) + "\\" + versionKey).c_str(), 0,
                                KEY_READ, versionSubkey.put()) != ERROR_SUCCESS) {
      return;  // keeps the records made so far
    }

    char valueName[kValueNameBufferSize] = {};
    FrameworkRecord candidate;
    bool foundValue = false;
    for (DWORD valueIndex = 0;; ++valueIndex) {
      DWORD valueNameLength = kValueNameBufferSize;
      if (platform::RegEnumValueA(versionSubkey.get(), valueIndex, valueName, &valueNameLength, nullptr, nullptr,
                                  nullptr, nullptr) != ERROR_SUCCESS) {
        break;
      }
      // Each value replaces the one before: the last one enumerated names the directory.
      candidate = FrameworkRecord{versionKey, versionKey + "." + valueName};
      foundValue = true;
    }
    if (foundValue) records[versionKey] = candidate;
  }
}

int FrameworkInventory::HasFrameworks() const { return records.empty() ? 0 : 1; }

std::string FrameworkInventory::GetLatestVersion() const {
  return records.empty() ? std::string() : records.rbegin()->first;
}

int FrameworkInventory::IsVersionSupported(const std::string& version) const {
  return platform::_stricmp(version.c_str(), GetLatestVersion().c_str()) > 0 ? 0 : 1;
}

int FrameworkInventory::HasVersion(const std::string& versionKey) const {
  return records.count(versionKey) != 0 ? 1 : 0;
}

std::string FrameworkInventory::GetFrameworkDirectory(const std::string& versionKey) const {
  const auto record = records.find(versionKey);
  if (record == records.end()) return {};
  return frameworkRoot + "\\" + record->second.directoryName;
}
