// Which command a command line runs: "-i <dir>" installs, "-u" removes, anything else nothing.
#include <string>
#include <vector>

#include "cli/command_line.h"
#include "tool_test.h"

namespace {

TEST_F(ToolTest, CommandLineRunsAtMostOneCommandAndExitsZero) {
  AddFramework("v4.0", kFake);
  const std::string dir = MakeProduct("P");
  // Products whose directories are exactly as long as the tool takes, and one character longer.
  const std::string longest = MakeProduct("L/" + std::string(MAX_PATH - Root().size() - 3, 'x'));
  const std::string tooLong = MakeProduct("L/" + std::string(MAX_PATH - Root().size() - 2, 'y'));
  ASSERT_EQ(longest.size(), MAX_PATH);
  const std::string before = "Ovk.Data.Zt4 8.0.0.0\n";
  const struct {
    const char* name;
    std::vector<std::string> arguments;
    const char* outcome;  // "installed", "removed" or "nothing"
  } rows[] = {
      {"no arguments", {}, "nothing"},
      {"-i alone", {"-i"}, "nothing"},
      {"-i empty", {"-i", ""}, "nothing"},
      {"-ix", {"-ix", dir}, "nothing"},
      {"-U", {"-U"}, "nothing"},
      {"-i a quote alone", {"-i", "\""}, "nothing"},  // the quote dropped leaves an empty directory
      {"-i", {"-i", dir}, "installed"},
      {"-i, a backslash and more", {"-i", dir + "\\", "extra"}, "installed"},
      {"-i as installers quote it", {"-i", dir + "\""}, "installed"},  // "[INSTALLDIR]" in quotes
      {"-i of 260 characters", {"-i", longest}, "installed"},
      {"-i of 260 and a quote", {"-i", longest + "\""}, "installed"},
      {"-i of 261 characters", {"-i", tooLong}, "nothing"},
      {"-u", {"-u"}, "removed"},
      {"-u and more", {"-u", "-i", dir}, "removed"},
  };
  for (const auto& row : rows) {
    FakeFusionReset();
    FakeFusionAddEntry("Ovk.Data.Zt4", "8.0.0.0");
    std::vector<std::string> arguments = {"zt4gac.exe"};
    arguments.insert(arguments.end(), row.arguments.begin(), row.arguments.end());
    std::vector<char*> argv;
    for (std::string& argument : arguments) argv.push_back(argument.data());
    argv.push_back(nullptr);

    EXPECT_EQ(RunCommandLine(static_cast<int>(arguments.size()), argv.data()), 0) << row.name;
    const std::string listing = FakeFusionListing();
    const std::string outcome = listing == before ? "nothing" : listing.empty() ? "removed"
                                : listing.size() > before.size() ? "installed" : "other";
    EXPECT_EQ(outcome, row.outcome) << row.name;
  }
}

}  // namespace
