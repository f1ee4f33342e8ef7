// Runs every case and then prints, for each case run at two sizes, the
// ratio of its cost at the larger size to its cost at the smaller one (per
// item where the case counts items; for a case also run at size 0, its
// cost above that one's per item of size): flat growth shows as 1. The
// counters a case reports per item (heap_per_target) follow, at each size,
// and the mailbox commands a case counts (mailbox_*).
// With --benchmark_repetitions each cost is the median of the repetitions.
#include <benchmark/benchmark.h>
#include <stdio.h>
#include <unistd.h>

#include <algorithm>
#include <iterator>
#include <map>
#include <string>
#include <vector>

namespace {

class RatioReporter : public benchmark::ConsoleReporter {
 public:
  explicit RatioReporter(OutputOptions options) : ConsoleReporter(options) {}

  void ReportRuns(const std::vector<Run>& runs) override {
    ConsoleReporter::ReportRuns(runs);
    for (const Run& r : runs) {
      if (r.error_occurred || r.run_type != Run::RT_Iteration || r.run_name.args.empty()) continue;
      double seconds = r.GetAdjustedRealTime() / benchmark::GetTimeUnitMultiplier(r.time_unit);
      auto items = r.counters.find("items_per_second");
      bool per_item = items != r.counters.end() && items->second.value > 0;
      if (per_item) seconds = 1.0 / items->second.value;
      Cost& cost = sizes_[r.run_name.function_name][std::stol(r.run_name.args)];
      cost.runs.push_back(seconds);
      cost.per_item = per_item;
      for (const auto& [name, counter] : r.counters)
        if (name.ends_with("_per_target") || name.starts_with("mailbox_")) counters_[r.run_name.function_name + " " + name][std::stol(r.run_name.args)] = counter.value;
    }
  }

  void PrintRatios() const {
    printf("\n%-28s %8s %8s %16s %16s %7s\n", "case", "small", "large", "cost (small)", "cost (large)", "ratio");
    for (const auto& [name, by_size] : sizes_) {
      // Size 0 is the base the others are measured above.
      const auto base = by_size.find(0);
      const bool above = base != by_size.end() && by_size.size() >= 3;
      if (by_size.size() < 2) continue;
      const auto& [small_size, small] = above ? *std::next(by_size.begin()) : *by_size.begin();
      const auto& [large_size, large] = *by_size.rbegin();
      const char* unit = small.per_item ? "ns/item" : above ? "ns/size" : "ns/op";
      double s = small.median(), l = large.median();
      if (above) {
        s = (s - base->second.median()) / static_cast<double>(small_size);
        l = (l - base->second.median()) / static_cast<double>(large_size);
      }
      printf("%-28s %8ld %8ld %8.0f %-7s %8.0f %-7s %7.2f\n", name.c_str(), small_size, large_size, s * 1e9, unit,
             l * 1e9, unit, l / s);
    }
    for (const auto& [name, by_size] : counters_) {
      printf("%-45s", name.c_str());
      for (const auto& [size, value] : by_size)
        if (size > 0 || !name.ends_with("_per_target"))
          printf(name.find(" mailbox_") != std::string::npos ? " %8ld: %10.1f" : " %8ld: %10.0f", size, value);
      printf("\n");
    }
  }

 private:
  // The runs of one case at one size: one, or one per repetition.
  struct Cost {
    std::vector<double> runs;
    bool per_item = false;
    double median() const {
      std::vector<double> sorted = runs;
      std::sort(sorted.begin(), sorted.end());
      const size_t n = sorted.size();
      return n % 2 == 1 ? sorted[n / 2] : (sorted[n / 2 - 1] + sorted[n / 2]) / 2;
    }
  };
  std::map<std::string, std::map<long, Cost>> sizes_;
  std::map<std::string, std::map<long, double>> counters_;  // "case counter": value by size
};

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  // A reporter given here is not told --benchmark_color: colours only on a
  // terminal, so what reads the output through a pipe gets plain text.
  RatioReporter reporter(isatty(fileno(stdout)) ? benchmark::ConsoleReporter::OO_Defaults
                                                : benchmark::ConsoleReporter::OO_Tabular);
  benchmark::RunSpecifiedBenchmarks(&reporter);
  reporter.PrintRatios();
  benchmark::Shutdown();
  return 0;
}
