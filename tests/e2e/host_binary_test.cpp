// zt4gac run as a subprocess: a regedit-format registry file, a Windows directory whose newest
// framework folder holds the stand-in fusion.dll, and a product directory with the assembly
// files. What the run did is read back from the registry file and the stand-in's state file.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "fusion_stub/fake_fusion_state.h"
#include "platform/posix/registry_store.h"

extern char** environ;

#include "product_keys.h"

namespace {

using platform::standin::ReadRegistryString;
using platform::standin::RegistryKeyExists;
using platform::standin::RegistryValueExists;


std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream content;
  content << in.rdbuf();
  return content.str();
}

std::string Backslashed(std::string path) {
  for (char& c : path) c = c == '/' ? '\\' : c;
  return path;
}

// A string as a .reg file quotes it.
std::string RegQuoted(const std::string& text) {
  std::string quoted = "\"";
  for (char c : text) {
    if (c == '\\' || c == '"') quoted += '\\';
    quoted += c;
  }
  return quoted + "\"";
}

class HostBinaryTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/zt4gac-e2e-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    root_ = pattern;
    registryPath_ = root_ + "/registry.reg";
    statePath_ = root_ + "/fusion-state.txt";
    windowsDir_ = root_ + "/Windows";
    productDir_ = Backslashed(root_ + "/Product");
    const std::string frameworks = windowsDir_ + "/Microsoft.NET/Framework/";
    std::filesystem::create_directories(frameworks + "v2.0.50727");
    std::filesystem::create_directories(frameworks + "v4.0.30319");
    std::filesystem::copy_file(ZT4GAC_FAKE_FUSION, frameworks + "v4.0.30319/fusion.dll");

    // Every file gets the version of its target; the second assembly is then never "older".
    fake_fusion::State state;
    for (const auto& [folder, version] : {std::pair{"netf20_32", "10.1.6.2"}, std::pair{"netf40_32", "10.1.6.4"}}) {
      for (const std::string& name : kAssemblies) {
        const std::string path = root_ + "/Product/bin/" + folder + "/" + name + ".dll";
        std::filesystem::create_directories(std::filesystem::path(path).parent_path());
        std::ofstream(path, std::ios::binary) << "assembly";
        state.installVersions.push_back({path, fake_fusion::ParseVersion(version)});
      }
    }
    ASSERT_TRUE(state.Save(statePath_));
  }

  void TearDown() override {
    platform::standin::ResetRegistry();
    std::error_code ignored;
    std::filesystem::remove_all(root_, ignored);
  }

  // Both frameworks, the provider's AssemblyFolders registration, and the copies given as
  // name and path. The comment and CRLF line ends mean any rewrite changes the file's bytes.
  void WriteRegistry(const std::vector<std::pair<std::string, std::string>>& copies) {
    std::string file =
        "Windows Registry Editor Version 5.00\r\n\r\n"
        "; provider registration left by an earlier installer\r\n"
        "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\.NETFramework\\AssemblyFolders\\OVK.DATA.ZT4]\r\n"
        "@=\"C:\\\\Product\\\\bin\"\r\n"
        "\"Ovk.Data.Zt4\"=\"C:\\\\Product\\\\bin\"\r\n\r\n"
        "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\.NETFramework\\policy\\v2.0]\r\n"
        "\"50727\"=\"50727-50727\"\r\n\r\n"
        "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\.NETFramework\\policy\\v4.0]\r\n"
        "\"30319\"=\"30319-30319\"\r\n\r\n";
    for (const auto& [name, path] : copies) {
      file += "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Ovk\\Zt4\\InstalledCopies\\" + name + "]\r\n";
      file += "\"Zt4 Path Name\"=" + RegQuoted(path) + "\r\n\r\n";
    }
    std::ofstream(registryPath_, std::ios::binary) << file;
  }

  // Runs the binary with exactly these arguments after argument 0; it must exit 0 and print nothing.
  void RunSilently(const std::vector<std::string>& arguments) {
    std::vector<std::string> environment{"ZT4GAC_REGISTRY=" + registryPath_, "ZT4GAC_WINDOWS_DIR=" + windowsDir_,
                                         "ZT4GAC_FAKE_FUSION_STATE=" + statePath_};
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

    const std::string outPath = root_ + "/stdout";
    const std::string errPath = root_ + "/stderr";
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);

    pid_t child = 0;
    const int spawnError = posix_spawn(&child, ZT4GAC_BINARY, &actions, nullptr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    ASSERT_EQ(spawnError, 0) << std::strerror(spawnError);

    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "wait status " << status;
    EXPECT_EQ(ReadFile(outPath), "");
    EXPECT_EQ(ReadFile(errPath), "");
  }

  static std::string CopyValue(const std::string& valueName) {
    std::string text;
    return ReadRegistryString(HKEY_LOCAL_MACHINE, kCopiesKey, valueName, &text) ? text : "(absent)";
  }

  fake_fusion::State State() const { return fake_fusion::State::Load(statePath_); }
  std::vector<std::string> CachedNames() const {
    std::vector<std::string> names;
    for (const fake_fusion::Entry& entry : State().entries) names.push_back(entry.name);
    return names;
  }

  std::string root_;
  std::string registryPath_;
  std::string statePath_;
  std::string windowsDir_;
  std::string productDir_;
};

TEST_F(HostBinaryTest, InstallForARegisteredCopyThenUninstall) {
  WriteRegistry({{"Zt4Home", productDir_}});
  RunSilently({"-i", productDir_});
  // Everything the run wrote must read back.
  ASSERT_TRUE(platform::standin::UseRegistryFile(registryPath_));
  std::vector<std::string> bothTargets(std::begin(kAssemblies), std::end(kAssemblies));
  bothTargets.insert(bothTargets.end(), std::begin(kAssemblies), std::end(kAssemblies));
  EXPECT_EQ(CachedNames(), bothTargets);
  EXPECT_EQ(CopyValue("10.1.6.DEF.2"), "Zt4Home");
  EXPECT_EQ(CopyValue("10.1.6.DEF.4"), "Zt4Home");
  EXPECT_FALSE(RegistryKeyExists(HKEY_LOCAL_MACHINE, kFoldersKey));

  // The product's setup registers the folder again before the provider is taken out.
  platform::standin::SetRegistryString(HKEY_LOCAL_MACHINE, kFoldersKey, "Ovk.Data.Zt4", "C:\\Product\\bin");
  RunSilently({"-u"});
  ASSERT_TRUE(platform::standin::UseRegistryFile(registryPath_));
  EXPECT_TRUE(CachedNames().empty());
  EXPECT_EQ(State().live, 0);
  EXPECT_FALSE(RegistryValueExists(HKEY_LOCAL_MACHINE, kFoldersKey, "Ovk.Data.Zt4"));
  EXPECT_EQ(CopyValue("10.1.6.DEF.2"), "Zt4Home");
  EXPECT_EQ(CopyValue("10.1.6.DEF.4"), "Zt4Home");
}

// A directory no copy owns is installed without a copy record; one without a bin folder lacks
// the required Entity Framework provider, so both targets fail and the registration stays.
TEST_F(HostBinaryTest, InstallForADirectoryOfNoCopyAndForOneWithoutBinFolder) {
  WriteRegistry({{"Zt4Elsewhere", Backslashed(root_)}});
  RunSilently({"-i", productDir_});
  ASSERT_TRUE(platform::standin::UseRegistryFile(registryPath_));
  EXPECT_EQ(CachedNames().size(), 8u);
  EXPECT_EQ(CopyValue("10.1.6.DEF.2"), "(absent)");
  EXPECT_EQ(CopyValue("10.1.6.DEF.4"), "(absent)");
  EXPECT_FALSE(RegistryKeyExists(HKEY_LOCAL_MACHINE, kFoldersKey));

  WriteRegistry({{"Zt4Empty", Backslashed(root_)}});
  RunSilently({"-i", Backslashed(root_)});
  ASSERT_TRUE(platform::standin::UseRegistryFile(registryPath_));
  EXPECT_EQ(CachedNames().size(), 8u);  // only what the first run installed
  EXPECT_EQ(CopyValue("10.1.6.DEF.2"), "(absent)");
  EXPECT_TRUE(RegistryValueExists(HKEY_LOCAL_MACHINE, kFoldersKey, "Ovk.Data.Zt4"));
}

// Every argument shape exits 0 and prints nothing; those that name no command, or a directory
// too long for its buffer, run nothing: no fusion.dll call, the registry file byte for byte.
TEST_F(HostBinaryTest, EveryCommandLineExitsZeroSilentlyAndOnlyCommandsRun) {
  WriteRegistry({{"Zt4Home", productDir_}});
  const std::string before = ReadFile(registryPath_);
  const std::string longest = "C:\\" + std::string(257, 'd');  // exactly 260 characters still fit
  const std::vector<std::vector<std::string>> idle{
      {},    {"-i"}, {"-i", ""}, {"-I", productDir_}, {"/i", productDir_}, {"-iu", productDir_}, {"-U"}, {"u"},
      {""},  {"-i", "", "-u"}, {"-i", "C:\\" + std::string(300, 'd')}, {"-i", "C:\\" + std::string(100000, 'd')},
  };
  for (const std::vector<std::string>& shape : idle) {
    std::string label;
    for (const std::string& argument : shape) label += "[" + argument.substr(0, 12) + "]";
    SCOPED_TRACE(label);
    RunSilently(shape);
    EXPECT_EQ(ReadFile(registryPath_), before);
    EXPECT_TRUE(State().calls.empty());
  }
  for (const std::vector<std::string>& shape : std::vector<std::vector<std::string>>{
           {"-i", longest}, {"-i", productDir_, "ignored"}, {"-u", "extra", "more"}}) {
    SCOPED_TRACE(shape[0] + " " + shape[1].substr(0, 12));
    RunSilently(shape);
    EXPECT_FALSE(State().calls.empty());
  }
}

}  // namespace
