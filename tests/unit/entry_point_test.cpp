// The real zt4gac binary, run as a subprocess with exact argument vectors.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

extern char** environ;

namespace {

// A regedit-style file with a comment and CRLF line ends: any rewrite would change its bytes.
const char kRegistryFile[] =
    "Windows Registry Editor Version 5.00\r\n"
    "\r\n"
    "; provider registration left by an earlier installer\r\n"
    "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\.NETFramework\\AssemblyFolders\\OVK.DATA.ZT4]\r\n"
    "@=\"C:\\\\Product\\\\bin\"\r\n"
    "\"Ovk.Data.Zt4\"=\"C:\\\\Product\\\\bin\"\r\n"
    "\r\n"
    "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\.NETFramework\\policy\\v2.0]\r\n"
    "\"50727\"=\"50727-50727\"\r\n"
    "\r\n"
    "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Ovk\\Zt4\\InstalledCopies]\r\n"
    "\"10.1.6.DEF.2\"=\"Zt4Home\"\r\n"
    "\r\n";

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream content;
  content << in.rdbuf();
  return content.str();
}

struct RunResult {
  int exitStatus = -1;  // -1 unless the process exited normally
  std::string standardOutput;
  std::string standardError;
};

class EntryPointTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/zt4gac-entry-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    directory_ = pattern;
    registryPath_ = directory_ + "/registry.reg";
    std::ofstream(registryPath_, std::ios::binary) << kRegistryFile;
  }
  void TearDown() override {
    for (const char* name : {"/registry.reg", "/stdout", "/stderr"}) std::remove((directory_ + name).c_str());
    rmdir(directory_.c_str());
  }

  // Runs the binary with exactly these arguments after argument 0, on the test's registry file.
  RunResult Run(const std::vector<std::string>& arguments) {
    std::vector<std::string> environment{"ZT4GAC_REGISTRY=" + registryPath_, "ZT4GAC_WINDOWS_DIR=C:\\Windows"};
    for (char** variable = environ; *variable != nullptr; ++variable) {
      if (std::strncmp(*variable, "ZT4GAC_", 7) != 0) environment.push_back(*variable);
    }
    std::vector<char*> envp;
    for (std::string& variable : environment) envp.push_back(variable.data());
    envp.push_back(nullptr);

    std::vector<std::string> argumentCopies{ZT4GAC_BINARY};
    argumentCopies.insert(argumentCopies.end(), arguments.begin(), arguments.end());
    std::vector<char*> argv;
    for (std::string& argument : argumentCopies) argv.push_back(argument.data());
    argv.push_back(nullptr);

    const std::string outPath = directory_ + "/stdout";
    const std::string errPath = directory_ + "/stderr";
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);

    RunResult result;
    pid_t child = 0;
    const int spawnError = posix_spawn(&child, ZT4GAC_BINARY, &actions, nullptr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    EXPECT_EQ(spawnError, 0) << std::strerror(spawnError);
    if (spawnError != 0) return result;

    int status = 0;
    EXPECT_EQ(waitpid(child, &status, 0), child);
    if (WIFEXITED(status)) result.exitStatus = WEXITSTATUS(status);
    result.standardOutput = ReadFile(outPath);
    result.standardError = ReadFile(errPath);
    return result;
  }

  std::string RegistryFileBytes() const { return ReadFile(registryPath_); }

 private:
  std::string directory_;
  std::string registryPath_;
};

// Command lines that must run no command: they leave the registry file byte for byte as it was.
TEST_F(EntryPointTest, UnrecognisedOrIncompleteCommandLinesRunNothingSilently) {
  const std::string tooLong(300, 'd');
  const std::string huge(100000, 'd');
  const std::vector<std::vector<std::string>> shapes{
      {},          {"-i"},        {"-i", ""},         {"-I", "C:\\Product"},         {"/i", "C:\\Product"},
      {"-iu", "C:\\Product"}, {"-U"}, {"u"}, {""}, {"-i", "C:\\" + tooLong},
      {"-i", "C:\\" + huge},  {"-i", "", "-u"},
  };
  for (const std::vector<std::string>& shape : shapes) {
    std::string label;
    for (const std::string& argument : shape) label += "[" + argument.substr(0, 12) + "]";
    SCOPED_TRACE(label);

    const RunResult result = Run(shape);
    EXPECT_EQ(result.exitStatus, 0);
    EXPECT_EQ(result.standardOutput, "");
    EXPECT_EQ(result.standardError, "");
    EXPECT_EQ(RegistryFileBytes(), kRegistryFile);
  }
}

TEST_F(EntryPointTest, RecognisedCommandsExitZeroSilently) {
  const std::string longest = "C:\\" + std::string(257, 'd');  // exactly 260 characters still fit
  for (const RunResult& result : {Run({"-i", "C:\\Product"}), Run({"-i", longest}), Run({"-u"}),
                                  Run({"-u", "extra", "more"}), Run({"-i", "C:\\Product", "ignored"})}) {
    EXPECT_EQ(result.exitStatus, 0);
    EXPECT_EQ(result.standardOutput, "");
    EXPECT_EQ(result.standardError, "");
  }
}

}  // namespace
