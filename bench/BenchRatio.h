// Runs the registered benchmarks and then prints, for each named pair, the
// ratio of the measured time to its baseline from the same run, with the
// target it should stay within. Figures, not assertions: the process exits 0
// whatever the ratios are.
#ifndef KW_BENCH_RATIO_H
#define KW_BENCH_RATIO_H

#include <benchmark/benchmark.h>

#include <cstdio>
#include <map>
#include <string>
#include <vector>

namespace kwbench {

struct Ratio {
  std::string measured;
  std::string baseline;
  double target;  // the measured time should be at most target x baseline
};

class CollectingReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    for (const Run& r : runs)
      if (r.run_type == Run::RT_Iteration || r.aggregate_name == "median")
        times_[r.benchmark_name()] = r.GetAdjustedRealTime();
    ConsoleReporter::ReportRuns(runs);
  }
  // Looks a benchmark up by its name up to the first '/' arguments as given.
  double Time(const std::string& name) const {
    auto it = times_.find(name);
    if (it != times_.end()) return it->second;
    for (const auto& kv : times_)
      if (kv.first.rfind(name, 0) == 0) return kv.second;
    return -1;
  }

 private:
  std::map<std::string, double> times_;
};

inline int RunWithRatios(int argc, char** argv, const std::vector<Ratio>& ratios) {
  benchmark::Initialize(&argc, argv);
  CollectingReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  std::printf("\nRatios (measured / baseline, same run):\n");
  for (const Ratio& r : ratios) {
    double m = reporter.Time(r.measured), b = reporter.Time(r.baseline);
    if (m < 0 || b <= 0) {
      std::printf("  %-50s not measured\n", r.measured.c_str());
      continue;
    }
    double ratio = m / b;
    std::printf("  %-50s / %-40s = %6.2f  (target <= %.2f: %s)\n", r.measured.c_str(),
                r.baseline.c_str(), ratio, r.target, ratio <= r.target ? "met" : "NOT MET");
  }
  benchmark::Shutdown();
  return 0;
}

}  // namespace kwbench

#endif
