#include "cli/command_line.h"

#include <cstdint>
#include <cstring>

#include "cli/provider_installer.h"
#include "platform/types.h"

namespace {

// Both .NET Framework targets, taken from the "_32" folders; "9" qualifies what "-u" removes.
constexpr uint32_t kInstallTargetMask = 3;
constexpr int32_t kUse32BitTargets = 1;
constexpr const char* kUninstallVersionList = "9";

// The run's one installer, built for each command line and deleted by the next one; the last is
// never deleted, and the pointer keeps it reachable so that a leak checker does not count it.
ProviderInstaller* runInstaller = nullptr;

// Where Install reports its failed targets; nothing reads it afterwards.
int32_t failureHolder = 0;

}  // namespace

int RunCommandLine(int argc, char* argv[]) {
  // Built for every command line, recognised or not. Only a caller that runs several command
  // lines in one process (a fuzz target) replaces an earlier run's installer.
  delete runInstaller;
  runInstaller = new ProviderInstaller();

  if (argc < 2) return 0;
  const char* command = argv[1];

  if (std::strcmp(command, "-i") == 0) {
    if (argc < 3) return 0;
    size_t length = std::strlen(argv[2]);
    // An installer's directory property ends in a backslash, so "[INSTALLDIR]" in quotes
    // reaches us as DIR" (the C runtime reads \" as an escaped quote). No Windows path
    // holds a quote: drop it and take the directory the installer meant.
    if (length > 0 && argv[2][length - 1] == '"') --length;
    // An empty directory runs nothing; a longer one than MAX_PATH fits neither the buffer nor
    // the installed-copy lookup, so it is refused rather than cut.
    if (length == 0 || length > MAX_PATH) return 0;
    char installDir[MAX_PATH + 1] = {};
    std::memcpy(installDir, argv[2], length);
    (void)runInstaller->Install(installDir, &failureHolder, kInstallTargetMask, kUse32BitTargets);
  } else if (std::strcmp(command, "-u") == 0) {
    (void)runInstaller->Uninstall(kUninstallVersionList);
  }
  return 0;
}
