// Compile once, evaluate many: MathParser against muparser on equivalent expressions, in one run.
// Prints ns per evaluation of both and their ratio (ours / muparser; at most 1.0 is the goal).
#include "expr/MathParser.h"

#include <benchmark/benchmark.h>
#include <muParser.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <map>
#include <string>
#include <vector>

namespace {

struct Case {
    std::string label;
    std::string ours;
    std::string theirs; // the same arithmetic in muparser's spelling
};

// Thirty operators of + - * / with variables and constants; no unary sign and no "^", whose
// meaning differs between the two evaluators.
const std::string Chain30 = "x+1.5*y-x/3+2*x*y-y/2+x-4*y+x*x-y+3-x/5+y*2-x+y/7-x*3+y-2.5*x+y*y-x/2+1";

const std::vector<Case> Cases = {
    {"2*x+sin(y)", "2*x+sin(y)", "2*x+sin(y)"},
    {"(1+2)*3-x/4", "(1+2)*3-x/4", "(1+2)*3-x/4"},
    {"x^2+3*x-7", "x^2+3*x-7", "x^2+3*x-7"},
    {"sqr(x*x+y*y)", "sqr(x*x+y*y)", "sqrt(x*x+y*y)"},
    {"chain of 30 operators", Chain30, Chain30},
    {"(x+y)*(x-y)/(1+x*x)", "(x+y)*(x-y)/(1+x*x)", "(x+y)*(x-y)/(1+x*x)"},
};

// Varying inputs so that neither side can keep a result from the previous round.
inline double XAt(int64_t i) {
    return 1.25 + static_cast<double>(i & 15) * 0.01;
}
inline double YAt(int64_t i) {
    return 0.75 + static_cast<double>(i & 7) * 0.02;
}

void BenchOurs(benchmark::State& state, const Case& c) {
    zep::MathParser parser;
    if (!parser.StoreExpression(c.ours)) {
        state.SkipWithError(parser.ErrorDescription().c_str());
        return;
    }
    int32_t xIndex = 0, yIndex = 0;
    for (int32_t i = 1; i <= parser.VarTop(); ++i) {
        if (parser.VarName(i) == "x") xIndex = i;
        if (parser.VarName(i) == "y") yIndex = i;
    }
    int64_t i = 0;
    for (auto _ : state) {
        parser.VarValue(xIndex, XAt(i));
        parser.VarValue(yIndex, YAt(i));
        benchmark::DoNotOptimize(parser.Eval());
        ++i;
    }
}

void BenchMuparser(benchmark::State& state, const Case& c) {
    double x = 0, y = 0;
    mu::Parser parser;
    parser.DefineVar("x", &x);
    parser.DefineVar("y", &y);
    parser.SetExpr(c.theirs);
    parser.Eval(); // the first call compiles
    int64_t i = 0;
    for (auto _ : state) {
        x = XAt(i);
        y = YAt(i);
        benchmark::DoNotOptimize(parser.Eval());
        ++i;
    }
}

// Collects the times while the console reporter prints its usual lines.
class RatioReporter : public benchmark::ConsoleReporter {
  public:
    void ReportRuns(const std::vector<Run>& runs) override {
        ConsoleReporter::ReportRuns(runs);
        // With --benchmark_repetitions the median stands for the benchmark, else the single run.
        for (const Run& run : runs) {
            if (run.error_occurred) continue;
            const std::string& name = run.run_name.function_name;
            if (run.run_type == Run::RT_Aggregate && run.aggregate_name == "median")
                nanoseconds[name] = run.GetAdjustedCPUTime();
            else if (run.run_type == Run::RT_Iteration && run.repetitions <= 1)
                nanoseconds[name] = run.GetAdjustedCPUTime();
        }
    }
    std::map<std::string, double> nanoseconds;
};

} // namespace

int main(int argc, char** argv) {
    for (const Case& c : Cases) {
        benchmark::RegisterBenchmark(("zep/" + c.label).c_str(), BenchOurs, c)->Unit(benchmark::kNanosecond);
        benchmark::RegisterBenchmark(("muparser/" + c.label).c_str(), BenchMuparser, c)
            ->Unit(benchmark::kNanosecond);
    }
    benchmark::Initialize(&argc, argv);
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();

    // Checks that both sides compute the same values before the figures mean anything.
    std::printf("\n%-26s %12s %12s %8s  %s\n", "expression", "zep ns", "muparser ns", "ratio", "same value");
    for (const Case& c : Cases) {
        const auto ours = reporter.nanoseconds.find("zep/" + c.label);
        const auto theirs = reporter.nanoseconds.find("muparser/" + c.label);
        if (ours == reporter.nanoseconds.end() || theirs == reporter.nanoseconds.end()) continue;
        zep::MathParser parser;
        parser.StoreExpression(c.ours);
        double x = XAt(3), y = YAt(3);
        for (int32_t i = 1; i <= parser.VarTop(); ++i)
            parser.VarValue(i, parser.VarName(i) == "x" ? x : y);
        mu::Parser mup;
        mup.DefineVar("x", &x);
        mup.DefineVar("y", &y);
        mup.SetExpr(c.theirs);
        const double a = parser.Eval(), b = mup.Eval();
        const bool same = std::fabs(a - b) <= 1e-12 * std::max(1.0, std::fabs(b));
        std::printf("%-26s %12.2f %12.2f %8.2f  %s\n", c.label.c_str(), ours->second, theirs->second,
                    ours->second / theirs->second, same ? "yes" : "NO");
    }
    return 0;
}
