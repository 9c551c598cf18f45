// Which command a command line runs: "-i <dir>" installs, "-u" removes, anything else nothing.
#include <string>
#include <vector>

#include "cli/command_line.h"
#include "tool_test.h"

namespace {

TEST_F(ToolTest, CommandLineRunsAtMostOneCommandAndExitsZero) {
  AddFramework("v4.0", "30319");
  const std::string dir = MakeProduct("P");
  const std::string before = "Ovk.Data.Zt4 8.0.0.0\n";
  const struct {
    std::vector<std::string> arguments;
    const char* outcome;  // "installed", "removed" or "nothing"
  } rows[] = {
      {{}, "nothing"}, {{"-i"}, "nothing"}, {{"-i", ""}, "nothing"}, {{"-I", dir}, "nothing"}, {{"/i", dir}, "nothing"},
      {{"-ix", dir}, "nothing"}, {{"-U"}, "nothing"}, {{"-i", std::string(MAX_PATH + 1, 'x')}, "nothing"},
      {{"-i", "\""}, "nothing"},  // the quote dropped leaves an empty directory
      {{"-i", dir}, "installed"}, {{"-i", dir + "\\", "extra"}, "installed"},
      {{"-i", dir + "\""}, "installed"}, {{"-i", dir + "\\\""}, "installed"},  // an installer's "[INSTALLDIR]"
      {{"-u"}, "removed"}, {{"-u", "-i", dir}, "removed"},
  };
  for (const auto& row : rows) {
    FakeFusionReset();
    FakeFusionAddEntry("Ovk.Data.Zt4", "8.0.0.0");
    std::vector<std::string> arguments = {"zt4gac.exe"};
    arguments.insert(arguments.end(), row.arguments.begin(), row.arguments.end());
    std::vector<char*> argv;
    for (std::string& argument : arguments) argv.push_back(argument.data());
    argv.push_back(nullptr);

    EXPECT_EQ(RunCommandLine(static_cast<int>(arguments.size()), argv.data()), 0);
    const std::string listing = FakeFusionListing();
    const std::string outcome = listing == before ? "nothing" : listing.empty() ? "removed"
                                : listing.size() > before.size() ? "installed" : "other";
    EXPECT_EQ(outcome, row.outcome) << (arguments.size() > 1 ? arguments[1] : "") << " "
                                    << (arguments.size() > 2 ? arguments[2] : "");
  }
}

}  // namespace
