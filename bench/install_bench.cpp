// The whole install command over 1 to 1,000 registered copies: in-process against the
// stand-in fusion.dll, and as the zt4gac process a product's setup starts.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <spawn.h>
#include <stdlib.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "cli/provider_installer.h"
#include "fusion_stub/fake_fusion_state.h"
#include "product_world.h"

extern char** environ;

namespace {

void BM_InstallCommand(benchmark::State& state) {
  const bench::ProductWorld world(static_cast<int>(state.range(0)), ZT4GAC_FAKE_FUSION);
  const std::string statePath = world.Root() + "/fusion-state.txt";
  setenv("ZT4GAC_WINDOWS_DIR", world.WindowsDirectory().c_str(), 1);
  setenv("ZT4GAC_FAKE_FUSION_STATE", statePath.c_str(), 1);
  world.FillRegistry();
  const std::string directory = world.ProductDirectory();
  ProviderInstaller installer;
  for (auto _ : state) {
    // Every run starts from the same cache and the same registration.
    state.PauseTiming();
    (void)fake_fusion::State().Save(statePath);
    platform::standin::SetRegistryString(HKEY_LOCAL_MACHINE,
                                         "SOFTWARE\\Microsoft\\.NETFramework\\AssemblyFolders\\OVK.DATA.ZT4",
                                         "Ovk.Data.Zt4", "C:\\Product\\bin");
    state.ResumeTiming();
    int32_t failed = 0;
    if (installer.Install(directory.c_str(), &failed, 3, 1) != 0) {
      state.SkipWithError("the install failed");
      break;
    }
  }
  platform::standin::ResetRegistry();
  unsetenv("ZT4GAC_FAKE_FUSION_STATE");
  unsetenv("ZT4GAC_WINDOWS_DIR");
  state.SetComplexityN(state.range(0));
}
BENCHMARK(BM_InstallCommand)->Arg(1)->Arg(100)->Arg(1000)->Unit(benchmark::kMillisecond)->Complexity();

double ChildCpuSeconds() {
  rusage usage{};
  getrusage(RUSAGE_CHILDREN, &usage);
  return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
         static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

// `zt4gac -i` from spawn to exit, over a registry file and the stand-in's state file that are
// put back before every run.
void BM_InstallProcess(benchmark::State& state) {
  const bench::ProductWorld world(static_cast<int>(state.range(0)), ZT4GAC_FAKE_FUSION);
  world.FillRegistry();
  const std::string registryText = platform::standin::ExportRegistry();
  platform::standin::ResetRegistry();
  const std::string registryPath = world.Root() + "/registry.reg";
  const std::string statePath = world.Root() + "/fusion-state.txt";

  std::vector<std::string> environment{"ZT4GAC_REGISTRY=" + registryPath,
                                       "ZT4GAC_WINDOWS_DIR=" + world.WindowsDirectory(),
                                       "ZT4GAC_FAKE_FUSION_STATE=" + statePath};
  for (char** variable = environ; *variable != nullptr; ++variable) {
    if (std::strncmp(*variable, "ZT4GAC_", 7) != 0) environment.push_back(*variable);
  }
  std::vector<char*> envp;
  for (std::string& variable : environment) envp.push_back(variable.data());
  envp.push_back(nullptr);
  std::vector<std::string> arguments{ZT4GAC_BINARY, "-i", world.ProductDirectory()};
  std::vector<char*> argv;
  for (std::string& argument : arguments) argv.push_back(argument.data());
  argv.push_back(nullptr);

  // The child's own CPU time as well: on a busy machine the wall time mostly measures the wait.
  const double childCpuBefore = ChildCpuSeconds();
  for (auto _ : state) {
    state.PauseTiming();
    std::ofstream(registryPath, std::ios::binary | std::ios::trunc) << registryText;
    (void)fake_fusion::State().Save(statePath);
    state.ResumeTiming();

    pid_t child = 0;
    int status = 0;
    if (posix_spawn(&child, ZT4GAC_BINARY, nullptr, nullptr, argv.data(), envp.data()) != 0 ||
        waitpid(child, &status, 0) != child || !WIFEXITED(status) || WEXITSTATUS(status) != 0) {
      state.SkipWithError("zt4gac did not run to a normal exit");
      break;
    }
  }
  // The last run must have done the whole job: the registration is gone.
  if (!platform::standin::UseRegistryFile(registryPath) ||
      platform::standin::RegistryKeyExists(HKEY_LOCAL_MACHINE,
                                           "SOFTWARE\\Microsoft\\.NETFramework\\AssemblyFolders\\OVK.DATA.ZT4")) {
    state.SkipWithError("the install did not finish");
  }
  platform::standin::ResetRegistry();
  state.counters["child_cpu_ms"] =
      benchmark::Counter((ChildCpuSeconds() - childCpuBefore) * 1e3 / static_cast<double>(state.iterations()));
  state.counters["registry_bytes"] = static_cast<double>(registryText.size());
}
BENCHMARK(BM_InstallProcess)->Arg(1)->Arg(1000)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(2.0);

}  // namespace
