// The benchmarks' entry point: Google Benchmark's own, except that a benchmark that reports an
// error (SkipWithError) makes the run exit non-zero, so that a broken benchmark fails its caller.
#include <benchmark/benchmark.h>

namespace {

class ErrorCountingReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    for (const Run& run : runs) errors += run.error_occurred ? 1 : 0;
    ConsoleReporter::ReportRuns(runs);
  }
  int errors = 0;
};

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 2;
  ErrorCountingReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();
  return reporter.errors == 0 ? 0 : 1;
}
