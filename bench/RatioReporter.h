// A console reporter that prints, after the table, the ratio of each measured benchmark to its
// baseline of the same run.
#pragma once

#include <benchmark/benchmark.h>

#include <cstdio>
#include <map>
#include <string>
#include <vector>

namespace zep::bench {

struct RatioPair {
    std::string measured;
    std::string baseline;
    std::string goal; // printed after the ratio, may be empty
};

class RatioReporter : public benchmark::ConsoleReporter {
  public:
    explicit RatioReporter(std::vector<RatioPair> pairs) : pairs_(std::move(pairs)) {}

    void ReportRuns(const std::vector<Run>& runs) override {
        for (const auto& run : runs)
            if (run.run_type == Run::RT_Iteration) times_[run.benchmark_name()] = run.GetAdjustedRealTime();
        ConsoleReporter::ReportRuns(runs);
    }

    void Finalize() override {
        ConsoleReporter::Finalize();
        for (const auto& pair : pairs_) {
            const auto m = times_.find(pair.measured);
            const auto b = times_.find(pair.baseline);
            if (m == times_.end() || b == times_.end() || b->second <= 0) continue;
            std::printf("ratio %s / %s = %.2f%s%s\n", pair.measured.c_str(), pair.baseline.c_str(),
                        m->second / b->second, pair.goal.empty() ? "" : " ", pair.goal.c_str());
        }
    }

  private:
    std::vector<RatioPair> pairs_;
    std::map<std::string, double> times_;
};

} // namespace zep::bench
