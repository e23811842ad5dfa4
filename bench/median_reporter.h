#pragma once
// A console reporter that also keeps, per argument and benchmark, the median
// throughput in MB/s (or that of a single run) and the run's counters, for the
// summary that a benchmark program prints at the end; and the main() that the
// benchmark programs share.

#include <benchmark/benchmark.h>

#include <cstdio>
#include <map>
#include <string>
#include <vector>

namespace bench {

class TMedianReporter : public benchmark::ConsoleReporter {
 public:
  // Benchmark name to MB/s, per argument text.
  using TSpeeds = std::map<std::string, double>;

  void ReportRuns(const std::vector<Run>& runs) override {
    ConsoleReporter::ReportRuns(runs);
    for (const Run& run : runs) {
      const bool median = run.run_type == Run::RT_Aggregate && run.aggregate_name == "median";
      const bool single = run.run_type == Run::RT_Iteration && run.repetitions <= 1;
      if (!median && !single) continue;
      auto it = run.counters.find("bytes_per_second");
      if (it == run.counters.end()) continue;
      const std::string name = run.run_name.function_name;
      const std::string size = run.run_name.args;
      speed_[size][name] = it->second.value / 1e6;
      for (const auto& [counter, value] : run.counters) counters_[size][name][counter] = value.value;
    }
  }

  // What the program prints once every benchmark has run; nothing by default.
  virtual void PrintSummary() const {}

  const std::map<std::string, TSpeeds>& Speeds() const { return speed_; }
  // 0 when the benchmark did not run (or has no such counter).
  static double Get(const TSpeeds& speeds, const std::string& name) {
    auto it = speeds.find(name);
    return it == speeds.end() ? 0.0 : it->second;
  }
  bool HasCounter(const std::string& size, const std::string& name, const std::string& counter, double& value) const {
    auto s = counters_.find(size);
    if (s == counters_.end()) return false;
    auto n = s->second.find(name);
    if (n == s->second.end()) return false;
    auto c = n->second.find(counter);
    if (c == n->second.end()) return false;
    value = c->second;
    return true;
  }
  // The heading of one document size and the speed of every benchmark in it.
  static void PrintSpeeds(const std::string& size, const TSpeeds& speeds, int name_width) {
    std::printf("\n%s MB document, medians:\n", size.c_str());
    for (const auto& [name, mbs] : speeds) std::printf("  %-*s %8.0f MB/s\n", name_width, name.c_str(), mbs);
  }
  // ours / peer, or 0 when either did not run.
  static double Ratio(const TSpeeds& speeds, const std::string& ours, const std::string& peer) {
    const double a = Get(speeds, ours), b = Get(speeds, peer);
    return a > 0 && b > 0 ? a / b : 0.0;
  }

 private:
  std::map<std::string, TSpeeds> speed_;
  std::map<std::string, std::map<std::string, std::map<std::string, double>>> counters_;
};

// The main() of a benchmark program: runs the benchmarks that the arguments
// select through reporter, then prints its summary; the exit status.
inline int RunBenchmarks(int argc, char** argv, TMedianReporter& reporter) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  reporter.PrintSummary();
  benchmark::Shutdown();
  return 0;
}

}  // namespace bench
