// The .NET Framework versions installed on the machine, as the framework's registry policy
// key lists them, and where each version's directory lies below the Windows directory.
#pragma once

#include <map>
#include <string>

struct FrameworkRecord {
  std::string version;        // the record's key, e.g. "v2.0"
  std::string directoryName;  // key + "." + the last value name under the key's policy subkey
};

class FrameworkInventory {
 public:
  // Runs the detection once; later registry changes are not followed.
  FrameworkInventory();

  int HasFrameworks() const;
  // The greatest key in byte order ("v2.0" > "v10.0"); empty without records.
  std::string GetLatestVersion() const;
  // 0 when `version` compares greater (ASCII case-insensitively) than the newest key, else 1.
  int IsVersionSupported(const std::string& version) const;
  // Exact, case-sensitive key match; callers lowercase first.
  int HasVersion(const std::string& versionKey) const;
  // frameworkRoot + "\" + directoryName of the record, or empty when the key is absent.
  std::string GetFrameworkDirectory(const std::string& versionKey) const;

 private:
  void DetectFrameworks();

  std::map<std::string, FrameworkRecord> records;
  std::string frameworkRoot;
};
